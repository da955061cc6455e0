#include "host/hrvdoc/Session.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "com/Bstr.h"
#include "com/Persist.h"
#include "foundation/IKELString.h"
#include "foundation/stream/MemoryStream.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hostframework/interfaces/DocViewInterfaces.h"

namespace vx::host {

namespace {

constexpr char kMagic[8] = { 'V', 'X', 'S', 'E', 'S', 'S', 'N', '1' };
constexpr std::uint32_t kObjectSection = 1, kChannelSection = 2, kLinkSection = 3, kPlotStateSection = 4,
                        kCalculationSection = 5;
// The persisted objects a document hands out: 0 the settings, 1 the data.
constexpr DWORD kPersistedObjects = 2;
constexpr DWORD kPersistedType = 2;

class Writer {
public:
    void U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    // A section: its kind, key and length, then the body.
    void Section(std::uint32_t kind, std::uint32_t key, const Writer& body)
    {
        U32(kind);
        U32(key);
        U32(static_cast<std::uint32_t>(body.bytes.size()));
        Raw(body.bytes.data(), body.bytes.size());
    }
    void F64(double v)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        U32(static_cast<std::uint32_t>(bits));
        U32(static_cast<std::uint32_t>(bits >> 32));
    }
    void Raw(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    void Text(const std::wstring& text)
    {
        // UTF-16 units: a character beyond the first plane becomes a surrogate pair.
        std::vector<std::uint16_t> units;
        for (wchar_t c : text) {
            const auto u = static_cast<std::uint32_t>(c);
            if (u < 0x10000) {
                units.push_back(static_cast<std::uint16_t>(u));
            } else {
                const std::uint32_t v = u - 0x10000;
                units.push_back(static_cast<std::uint16_t>(0xD800 + (v >> 10)));
                units.push_back(static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
            }
        }
        U32(static_cast<std::uint32_t>(units.size()));
        for (std::uint16_t u : units) {
            bytes.push_back(static_cast<std::uint8_t>(u));
            bytes.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    }
    std::vector<std::uint8_t> bytes;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size)
        : mData(data)
        , mSize(size)
    {
    }
    bool AtEnd() const { return mPos == mSize; }
    std::size_t Left() const { return mSize - mPos; }
    const std::uint8_t* Take(std::size_t n, const char* what)
    {
        if (n > Left())
            throw SessionError(std::string("it ends inside ") + what);
        const std::uint8_t* p = mData + mPos;
        mPos += n;
        return p;
    }
    std::uint32_t U32(const char* what)
    {
        const std::uint8_t* p = Take(4, what);
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    }
    double F64(const char* what)
    {
        const std::uint64_t low = U32(what);
        const std::uint64_t bits = low | std::uint64_t(U32(what)) << 32;
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::wstring Text(const char* what)
    {
        const std::uint32_t units = U32(what);
        if (units > Left() / 2)
            throw SessionError(std::string("it ends inside ") + what);
        const std::uint8_t* p = Take(std::size_t(units) * 2, what);
        std::wstring text;
        for (std::uint32_t i = 0; i < units; ++i) {
            std::uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
            if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
                const std::uint32_t lo = p[2 * i + 2] | (p[2 * i + 3] << 8);
                if (lo >= 0xDC00 && lo < 0xE000) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
            text += static_cast<wchar_t>(u);
        }
        return text;
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

template <class I> I* QueryFor(IUnknown* object)
{
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(I::kIid, &out)))
        return nullptr;
    return static_cast<I*>(out);
}

// Saves the object into memory; false when it cannot be saved.
bool SaveObject(IUnknown* object, BOOL clearDirty, std::vector<std::uint8_t>* bytes, GUID* classId)
{
    auto* persist = QueryFor<IPersistStreamInit>(object);
    if (!persist)
        return false;
    KEL::MemoryStream* stream = KEL::MemoryStream::Create();
    bool ok = SUCCEEDED(persist->Save(stream, clearDirty));
    if (ok && classId)
        ok = SUCCEEDED(persist->GetClassID(classId));
    if (ok && bytes)
        *bytes = stream->Bytes();
    stream->Release();
    persist->Release();
    return ok;
}

// The id text of a calculation class (what names it across processes).
std::wstring IdText(ICalculationClass* c)
{
    IKELString* text = nullptr;
    if (!c || FAILED(c->GetIdText(&text)) || !text)
        return {};
    BSTR b = nullptr;
    text->GetBSTR(&b);
    std::wstring id = b ? b : L"";
    SysFreeString(b);
    text->Release();
    return id;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

void RestoreCalculation(HrvHostDocument& host, const SessionContent::ChannelCalc& calc)
{
    const std::string what = "its calculation of the channel " + Narrow(calc.channel);
    CalculationClassRegistry& classes = host.CalculationClasses();
    std::optional<DWORD> classId;
    for (DWORD id : classes.CalculationClassIds())
        if (IdText(classes.CalculationClass(id)) == calc.calcClass)
            classId = id;
    if (!classId)
        throw SessionError(what + " needs the calculation " + Narrow(calc.calcClass) + ", which no extension offers");
    KEL::MemoryStream* stream = KEL::MemoryStream::Create(calc.settings, STGM_READ);
    IUnknown* settings = nullptr;
    HRESULT hr = classes.LoadSettingsOfType(calc.settingsClass, stream, &settings);
    stream->Release();
    if (FAILED(hr))
        throw SessionError(what + " has settings that cannot be read");
    vx::hf::ChannelRef ref;
    hr = host.Document().CreateNamedChannel(0, calc.channel.c_str(), nullptr, &ref);
    if (SUCCEEDED(hr))
        hr = classes.ComputeChannel(host.Document(), ref.number, *classId, settings, host.CalculationFactory());
    settings->Release();
    if (FAILED(hr))
        throw SessionError(what + " cannot be made again");
}

} // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t {};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::vector<std::uint8_t> EncodeSession(const SessionContent& content)
{
    Writer w;
    w.Raw(kMagic, sizeof kMagic);
    w.U32(kSessionFormatVersion);
    w.U32(static_cast<std::uint32_t>(content.objects.size() + content.channels.size() + content.links.size()
        + content.plotStates.size() + content.calculations.size()));
    for (const auto& object : content.objects) {
        w.U32(kObjectSection);
        w.U32(object.index);
        w.U32(static_cast<std::uint32_t>(sizeof(GUID) + object.bytes.size()));
        w.Raw(&object.classId, sizeof(GUID));
        w.Raw(object.bytes.data(), object.bytes.size());
    }
    for (const auto& channel : content.channels) {
        Writer body;
        body.Text(channel.name);
        body.Text(channel.formula);
        w.Section(kChannelSection, 0, body);
    }
    for (const auto& link : content.links) {
        w.U32(kLinkSection);
        w.U32(0);
        w.U32(16);
        for (std::uint32_t v : { link.from.mChannel, link.from.mKind, link.to.mChannel, link.to.mKind })
            w.U32(v);
    }
    for (const auto& state : content.plotStates) {
        Writer body;
        body.U32(state.number);
        body.Text(state.plotId);
        body.Text(state.itemId);
        body.F64(state.first);
        body.F64(state.second);
        body.Text(state.text);
        body.U32(state.flag);
        w.Section(kPlotStateSection, 0, body);
    }
    for (const auto& calc : content.calculations) {
        Writer body;
        body.Text(calc.channel);
        body.Text(calc.calcClass);
        body.Raw(&calc.settingsClass, sizeof(GUID));
        body.Raw(calc.settings.data(), calc.settings.size());
        w.Section(kCalculationSection, 0, body);
    }
    w.U32(Crc32(w.bytes.data(), w.bytes.size()));
    return std::move(w.bytes);
}

SessionContent DecodeSession(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < sizeof kMagic + 12 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        throw SessionError("it is not a session file");
    const std::size_t body = bytes.size() - 4;
    Reader tail(bytes.data() + body, 4);
    if (tail.U32("its checksum") != Crc32(bytes.data(), body))
        throw SessionError("its checksum does not match its content");
    Reader r(bytes.data() + sizeof kMagic, body - sizeof kMagic);
    const std::uint32_t version = r.U32("its header");
    if (version > kSessionFormatVersion)
        throw SessionError("it was written by a newer version (format " + std::to_string(version) + ")");
    const std::uint32_t count = r.U32("its header");
    SessionContent content;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t kind = r.U32("a section header");
        const std::uint32_t key = r.U32("a section header");
        const std::uint32_t length = r.U32("a section header");
        Reader section(r.Take(length, "a section"), length);
        if (kind == kObjectSection) {
            SessionContent::Object object;
            object.index = key;
            std::memcpy(&object.classId, section.Take(sizeof(GUID), "an object's class"), sizeof(GUID));
            const std::size_t size = section.Left();
            const std::uint8_t* p = section.Take(size, "an object");
            object.bytes.assign(p, p + size);
            content.objects.push_back(std::move(object));
        } else if (kind == kChannelSection) {
            SessionContent::NamedChannel channel;
            channel.name = section.Text("a channel's name");
            channel.formula = section.Text("a channel's formula");
            content.channels.push_back(std::move(channel));
        } else if (kind == kLinkSection) {
            SessionContent::Link link;
            link.from.mChannel = section.U32("a link");
            link.from.mKind = section.U32("a link");
            link.to.mChannel = section.U32("a link");
            link.to.mKind = section.U32("a link");
            content.links.push_back(link);
        } else if (kind == kPlotStateSection) {
            SessionContent::PlotState state;
            state.number = section.U32("a plot's state");
            state.plotId = section.Text("a plot's state");
            state.itemId = section.Text("a plot's state");
            state.first = section.F64("a plot's state");
            state.second = section.F64("a plot's state");
            state.text = section.Text("a plot's state");
            const std::uint32_t flag = section.U32("a plot's state");
            if (state.number < 2 || state.number > 5 || flag > 0xFF || !section.AtEnd())
                throw SessionError("a plot's state in it is damaged");
            state.flag = static_cast<BYTE>(flag);
            content.plotStates.push_back(std::move(state));
        } else if (kind == kCalculationSection) {
            SessionContent::ChannelCalc calc;
            calc.channel = section.Text("a channel calculation");
            calc.calcClass = section.Text("a channel calculation");
            std::memcpy(&calc.settingsClass, section.Take(sizeof(GUID), "a channel calculation"), sizeof(GUID));
            const std::size_t size = section.Left();
            const std::uint8_t* p = section.Take(size, "a channel calculation");
            calc.settings.assign(p, p + size);
            content.calculations.push_back(std::move(calc));
        }
        // Sections of a kind this version does not know are passed over.
    }
    if (!r.AtEnd())
        throw SessionError("it holds bytes after its last section");
    return content;
}

std::uint64_t SessionSizeLimit(const Recording& recording)
{
    constexpr std::uint64_t kFixedPart = 1 << 20;
    constexpr double kBeatsPerSecond = 20;
    // Two sets (added, removed) of positions of two 32-bit words, with the stream's own framing.
    constexpr std::uint64_t kBytesPerBeat = 2 * 8;
    double seconds = 0;
    for (const auto& record : recording.records)
        seconds += static_cast<double>(record.length) * record.interval;
    const double beats = std::ceil(std::min(seconds, 1e9) * kBeatsPerSecond);
    return kFixedPart + static_cast<std::uint64_t>(beats) * kBytesPerBeat;
}

std::string SessionPathFor(const std::string& recording)
{
    return recording + ".varnex-session";
}

SessionContent CollectSession(HrvHostDocument& host)
{
    SessionContent content;
    for (const auto& [index, object] : host.stored) {
        SessionContent::Object saved;
        saved.index = index;
        if (!SaveObject(object, 0, &saved.bytes, &saved.classId))
            throw SessionError("the analysis object " + std::to_string(index) + " could not be saved");
        content.objects.push_back(std::move(saved));
    }
    for (const std::wstring& name : host.NamedChannels())
        if (host.Engine().HasChannel(name))
            content.channels.push_back({ name, host.Engine().Formula(name) });
    for (const auto& computed : host.Document().ComputedChannels()) {
        SessionContent::ChannelCalc saved;
        const std::wstring* name = host.Document().NameOfNumber(computed.channel);
        IUnknown* settings = nullptr;
        const bool ok = name && SUCCEEDED(computed.calc->GetSettings(&settings)) && settings
            && SaveObject(settings, 0, &saved.settings, &saved.settingsClass);
        if (settings)
            settings->Release();
        if (!ok)
            throw SessionError(
                "the calculation of channel " + std::to_string(computed.channel) + " could not be saved");
        saved.channel = *name;
        saved.calcClass = IdText(computed.calcClass);
        content.calculations.push_back(std::move(saved));
    }
    for (const auto& [from, to] : host.links)
        content.links.push_back(
            { { std::uint32_t(from >> 32), std::uint32_t(from) }, { std::uint32_t(to >> 32), std::uint32_t(to) } });
    return content;
}

void ClearSessionDirty(HrvHostDocument& host)
{
    host.savedComputedChanges = host.Document().ComputedChanges();
    for (const auto& [index, object] : host.stored)
        SaveObject(object, 1, nullptr, nullptr);
}

bool SessionDirty(HrvHostDocument& host)
{
    for (const auto& [index, object] : host.stored) {
        auto* persist = QueryFor<IPersistStreamInit>(object);
        const bool dirty = persist && persist->IsDirty() == S_OK;
        if (persist)
            persist->Release();
        if (dirty)
            return true;
    }
    return host.Document().ComputedChanges() != host.savedComputedChanges;
}

void RestoreSessionChannels(HrvHostDocument& host, const SessionContent& content)
{
    for (const auto& channel : content.channels)
        if (!host.AddChannel(channel.name.c_str(), channel.formula.c_str()))
            throw SessionError(
                "its channel " + std::string(channel.name.begin(), channel.name.end()) + " cannot be made again");
    for (const auto& link : content.links)
        host.AddChannelLink(link.from, link.to);
    for (const auto& calc : content.calculations)
        RestoreCalculation(host, calc);
    host.savedComputedChanges = host.Document().ComputedChanges();
}

std::vector<DWORD> LoadSessionObjects(HrvHostDocument& host, IUnknown* document, const SessionContent* content)
{
    std::vector<DWORD> loaded;
    auto* custom = QueryFor<ICustomDocument2>(document);
    if (!custom)
        return loaded;
    for (DWORD index = 0; index < kPersistedObjects; ++index) {
        IUnknown* object = nullptr;
        DWORD word = 0;
        if (custom->GetChildObject(index, kPersistedType, &object, &word) != S_OK || !object)
            continue;
        auto* persist = QueryFor<IPersistStreamInit>(object);
        const SessionContent::Object* saved = nullptr;
        if (content)
            for (const auto& o : content->objects)
                if (o.index == index)
                    saved = &o;
        GUID classId {};
        if (persist && saved && SUCCEEDED(persist->GetClassID(&classId)) && classId == saved->classId) {
            KEL::MemoryStream* stream = KEL::MemoryStream::Create(saved->bytes, STGM_READ);
            if (SUCCEEDED(persist->Load(stream))) {
                loaded.push_back(index);
                auto* persisted = QueryFor<IPersist>(object);
                if (persisted) {
                    host.StoreObject(index, persisted);
                    persisted->Release();
                }
            }
            stream->Release();
        } else if (persist) {
            persist->InitNew();
        }
        if (persist)
            persist->Release();
        object->Release();
    }
    custom->OnOpened();
    custom->Release();
    return loaded;
}

} // namespace vx::host
