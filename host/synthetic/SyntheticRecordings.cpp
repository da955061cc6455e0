#include "host/synthetic/SyntheticRecordings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <set>

#include "caf/CafHost.h"
#include "com/Ref.h"
#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/calc/CalcError.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "host/extcalc/StageFloatStream.h"
#include "host/recording/HostDocument.h"

namespace vx::host {
namespace {

constexpr GUID kRecordDataFactoryType = vx::com::MakeGuid("{087B8989-C731-48AF-9B76-A38483EAB354}");
constexpr GUID kArithmeticCalcType = vx::com::MakeGuid("{88736FEF-F85F-4B09-862A-B4E59B348DE4}");
constexpr LONG kEnd = 0x7FFFFFFF;

using vx::com::Query;
using vx::com::Ref;

// Records of synthetic record data that hold every tick their source announced: complete, even
// before the source ends them.
class CompleteRecords {
public:
    void Set(const HostDocument* document, int record, bool complete)
    {
        std::lock_guard lock(mMutex);
        if (complete)
            mComplete[document].insert(record);
        else
            mComplete[document].erase(record);
    }
    void Forget(const HostDocument* document)
    {
        std::lock_guard lock(mMutex);
        mComplete.erase(document);
    }
    bool Complete(const HostDocument* document, int record)
    {
        std::lock_guard lock(mMutex);
        auto it = mComplete.find(document);
        return it != mComplete.end() && it->second.count(record);
    }

private:
    std::mutex mMutex;
    std::map<const HostDocument*, std::set<int>> mComplete;
};

CompleteRecords& Completed()
{
    static CompleteRecords records;
    return records;
}

// A formula that reads no recorded channel, evaluated at a sample interval without an end: the
// samples a data source hands to a recording sink.
class GeneratorRecording final : public calc::IRecording {
public:
    explicit GeneratorRecording(double interval)
        : mInterval(interval)
    {
    }
    int RecordCount() const override { return 1; }
    int ChannelCount() const override { return 0; }
    calc::TimeBase ChannelInfo(int, int) const override { return {}; }
    calc::TimeBase RecordInfo(int) const override { return { kEnd, mInterval }; }
    void ReadChannel(int, int, int64_t, std::span<float> out, bool) override
    {
        std::fill(out.begin(), out.end(), 0.0f);
    }

private:
    double mInterval;
};

// A compiled formula of a record of a document, compiled again as the record grows. While the
// record grows only what has settled is shown: the data up to the length at the last compile,
// and events up to kSettleSeconds before it. A compile waits until a second of new data has
// arrived, so that reading along a growing record does not recompute its blocks at every step.
class GrowingFormula {
public:
    GrowingFormula(HostDocument* document, std::wstring formula, int record, double interval)
        : mDocument(document)
        , mFormula(std::move(formula))
        , mRecord(record)
        , mInterval(interval)
    {
        mDocument->AddRef();
    }
    // A generator over an endless record.
    GrowingFormula(std::wstring formula, double interval)
        : mFormula(std::move(formula))
        , mInterval(interval)
        , mGenerator(std::make_shared<calc::Engine>(std::make_shared<GeneratorRecording>(interval)))
    {
    }
    GrowingFormula(const GrowingFormula&) = delete;
    GrowingFormula& operator=(const GrowingFormula&) = delete;
    ~GrowingFormula()
    {
        mCompiled = {};
        if (mDocument)
            mDocument->Release();
    }

    // Compiles when needed; true when the compiled form changed.
    bool Refresh()
    {
        if (mGenerator) {
            if (!mCompiled.samples && !mCompiled.events) {
                mCompiled = mGenerator->Compile(mFormula);
                mLength = kEnd;
                return true;
            }
            return false;
        }
        const Recording& data = mDocument->Data();
        const int64_t length = data.RecordInfo(mRecord).length;
        const bool growing = data.samplingRecord == mRecord && !Completed().Complete(mDocument, mRecord);
        const int64_t step = mInterval > 0 ? std::max<int64_t>(1, std::llround(1.0 / mInterval)) : 1;
        const bool compiled = mCompiled.samples || mCompiled.events;
        if (compiled && (length == mLength || (growing && length < mLength + step)) && growing == mGrowing)
            return false;
        mCompiled = mDocument->Engine().Compile(mFormula);
        mLength = length;
        mGrowing = growing;
        return true;
    }
    const calc::Compiled& Compiled() const { return mCompiled; }
    int Record() const { return mRecord; }
    double Interval() const { return mInterval; }
    bool Growing() const { return mGrowing; }
    int64_t Length() const { return std::min<int64_t>(mLength, kEnd); }
    // The end of the settled events.
    int64_t EventLimit() const
    {
        if (!mGrowing)
            return Length();
        const auto settle = static_cast<int64_t>(std::ceil(kSettleSeconds / std::max(mInterval, 1e-9)));
        return std::max<int64_t>(0, Length() - settle);
    }

private:
    HostDocument* mDocument = nullptr;
    std::wstring mFormula;
    int mRecord = 0;
    double mInterval = 0.0;
    std::shared_ptr<calc::Engine> mGenerator;
    calc::Compiled mCompiled;
    int64_t mLength = 0;
    bool mGrowing = false;
};

// The samples of a formula as a stream. GetLength answers S_FALSE while the record still grows.
class FormulaStage {
public:
    explicit FormulaStage(std::unique_ptr<GrowingFormula> formula)
        : mFormula(std::move(formula))
    {
    }
    void Refresh() { mFormula->Refresh(); }
    int64_t Length() const { return mFormula->Length(); }
    bool Growing() const { return mFormula->Growing(); }
    int Record() const { return mFormula->Record(); }
    double Interval() const { return mFormula->Interval(); }
    void Read(int64_t position, std::span<float> out)
    {
        mFormula->Compiled().samples->Read(mFormula->Record(), position, out);
    }
    bool Samples() { return mFormula->Refresh(), mFormula->Compiled().samples != nullptr; }

private:
    std::unique_ptr<GrowingFormula> mFormula;
};

using FormulaStream = extcalc::StageFloatStream<FormulaStage>;

// The events of a formula. Next continues from the settled end while the record grows (S_OK,
// next at that end) and says that no event follows (next 0x7FFFFFFF) once it is complete.
class FormulaEvents final : public SimpleUnknownImp1<IEnumEventEx, 0> {
public:
    explicit FormulaEvents(std::unique_ptr<GrowingFormula> formula)
        : mFormula(std::move(formula))
    {
        mFormula->Refresh();
        mEvents.recordSize = mFormula->Compiled().events->RecordSize();
    }
    HRESULT Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) override
    {
        if (!count || !next || (!buffer && bufferBytes))
            return E_POINTER;
        *count = 0;
        *next = kEnd;
        const ULONG size = mEvents.recordSize;
        if (size == 0)
            return E_FAIL;
        return vx::hf::Guarded("IEnumEventEx::Next", [&] {
            Refresh();
            const int64_t limit = mFormula->EventLimit();
            const int64_t upTo = std::min<int64_t>(endOffset < 0 ? kEnd : endOffset, limit);
            auto* out = static_cast<std::byte*>(buffer);
            while (*count < bufferBytes / size && Fetch(upTo)) {
                std::memcpy(out + std::size_t(*count) * size, mEvents.Record(mIndex), size);
                mPosition = mEvents.Position(mIndex) + 1;
                ++mIndex;
                ++*count;
            }
            if (Fetch(upTo))
                *next = mEvents.Position(mIndex);
            else if (upTo < limit || mFormula->Growing())
                *next = static_cast<LONG>(std::max<int64_t>(upTo, mPosition));
        });
    }
    HRESULT Find(LONG, LONG start, LONG lower, LONG) override
    {
        mPosition = std::max<LONG>({ start, lower, 0 });
        Drop();
        return S_OK;
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = static_cast<LONG>(std::min<int64_t>(mPosition, kEnd));
        return S_OK;
    }
    HRESULT Reserved6(LONG* result) override { return result ? (*result = 0, E_NOTIMPL) : E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx** out) override { return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER; }
    HRESULT GetRecordSize(ULONG* size) override { return size ? (*size = mEvents.recordSize, S_OK) : E_POINTER; }
    HRESULT GetEventType(DWORD* type) override { return type ? (*type = 0, S_OK) : E_POINTER; }
    HRESULT Reserved10(LONG* result) override { return result ? (*result = 0, E_NOTIMPL) : E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        return ratio ? (*ratio = extcalc::RatioOf(mFormula->Interval()), S_OK) : E_POINTER;
    }

private:
    void Refresh()
    {
        if (mFormula->Refresh())
            Drop();
    }
    void Drop()
    {
        mEvents.Clear();
        mIndex = 0;
        mFrom = mTo = mPosition;
    }
    // Makes mIndex name the next event at or after mPosition below upTo.
    bool Fetch(int64_t upTo)
    {
        constexpr int64_t kStretch = 1 << 16;
        for (;;) {
            while (mIndex < mEvents.Count() && mEvents.Position(mIndex) < mPosition)
                ++mIndex;
            if (mIndex < mEvents.Count())
                return mEvents.Position(mIndex) < upTo;
            if (mTo >= upTo)
                return false;
            const int64_t from = std::max(mPosition, mTo);
            const int64_t to = std::min(from + kStretch, upTo);
            mEvents.Clear();
            mIndex = 0;
            if (from < to)
                mFormula->Compiled().events->Read(mFormula->Record(), from, to, mEvents);
            mFrom = from;
            mTo = std::max(to, from);
        }
    }

    std::unique_ptr<GrowingFormula> mFormula;
    calc::EventBuffer mEvents;
    std::size_t mIndex = 0;
    int64_t mPosition = 0;
    int64_t mFrom = 0;
    int64_t mTo = 0;
};

// The pieces of "name(a, b, ...)": false when the text is not one call.
bool SplitCall(const std::wstring& text, std::wstring& name, std::vector<std::wstring>& args)
{
    const auto trim = [](std::wstring s) {
        const auto b = s.find_first_not_of(L" \t\r\n");
        const auto e = s.find_last_not_of(L" \t\r\n");
        return b == std::wstring::npos ? std::wstring() : s.substr(b, e - b + 1);
    };
    const std::wstring t = trim(text);
    const auto open = t.find(L'(');
    if (open == std::wstring::npos || t.empty() || t.back() != L')')
        return false;
    name = trim(t.substr(0, open));
    args.clear();
    int depth = 0;
    std::wstring current;
    for (std::size_t i = open + 1; i + 1 < t.size(); ++i) {
        const wchar_t c = t[i];
        if (c == L'(')
            ++depth;
        if (c == L')' && --depth < 0)
            return false; // "f(a)(b)" is not one call
        if (c == L',' && depth == 0) {
            args.push_back(trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (depth != 0)
        return false;
    if (!trim(current).empty() || !args.empty())
        args.push_back(trim(current));
    return !name.empty();
}

bool ParseNumber(const std::wstring& text, double& value)
{
    std::string narrow;
    for (wchar_t c : text) {
        if (c > 127)
            return false;
        narrow += static_cast<char>(c);
    }
    const char* end = narrow.data() + narrow.size();
    const auto r = std::from_chars(narrow.data(), end, value);
    return !narrow.empty() && r.ec == std::errc() && r.ptr == end;
}

// The host's formula calculation: a formula over a record of a document.
class FormulaCalc final : public SimpleUnknownImp1<ICalcEnum, 0> {
public:
    FormulaCalc(DWORD classId, HostDocument* document, std::shared_ptr<const ExtensionEnumerators> enumerators)
        : mClassId(classId)
        , mDocument(document)
        , mEnumerators(std::move(enumerators))
    {
        if (mDocument)
            mDocument->AddRef();
    }
    ~FormulaCalc() override
    {
        Clear();
        if (mDocument)
            mDocument->Release();
    }

    // The stream or event interface of what Init started; the enumerator's own for a call of an
    // extension's enumerator function.
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IFloatStreamEx::kIid && mStream.Get())
            return mStream.Get()->QueryInterface(iid, out);
        if (iid == IEnumEventEx::kIid && mEvents.Get())
            return mEvents.Get()->QueryInterface(iid, out);
        if (iid == IEnumEventEx::kIid && mExtension.Get())
            return mExtension.Get()->QueryInterface(iid, out);
        return SimpleUnknownImp1<ICalcEnum, 0>::QueryInterface(iid, out);
    }

    HRESULT GetClassId(DWORD* id) override { return id ? (*id = mClassId, S_OK) : E_POINTER; }
    HRESULT GetClassObject(IUnknown** out) override { return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER; }
    HRESULT SetParams(const wchar_t* text, DWORD* flags) override
    {
        if (!text)
            return E_INVALIDARG;
        mFormula = text;
        if (flags)
            *flags = 0;
        return S_OK;
    }
    HRESULT GetParams(BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        *text = SysAllocStringLen(mFormula.c_str(), static_cast<UINT>(mFormula.size()));
        return S_OK;
    }
    HRESULT Clone(ICalcEnum** out) override { return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER; }

    HRESULT Init(LONG record, ULONG count, IUnknown* const*, IUnitName* const*, double interval, DWORD) override
    {
        Clear();
        // A formula that does not compile is an invalid argument.
        const HRESULT hr = vx::hf::Guarded("the formula calculation's Init", [&] {
            if (count == 0) {
                // Started without sources: the samples of the formula alone, at the interval.
                if (!(interval > 0))
                    return E_INVALIDARG;
                auto* stream = new FormulaStream(std::make_unique<GrowingFormula>(mFormula, interval));
                mStream = Ref<IFloatStreamEx>(stream);
                return stream->GetStage().Samples() ? S_OK : (Clear(), E_INVALIDARG);
            }
            if (!mDocument || record < 0 || record >= mDocument->Data().RecordCount())
                return E_INVALIDARG;
            const double dt = mDocument->Data().records[static_cast<std::size_t>(record)].interval;
            // The extension's enumerator hears from the host whether the record still grows; the
            // caller's start mode is not its flags.
            const bool growing = mDocument->Data().samplingRecord == record && !Completed().Complete(mDocument, record);
            if (StartExtension(record, dt, growing ? kCalcEnumSampling : 0u))
                return S_OK;
            const calc::Compiled compiled = mDocument->Engine().Compile(mFormula);
            auto formula = std::make_unique<GrowingFormula>(mDocument, mFormula, record, dt);
            if (compiled.samples) {
                auto* stream = new FormulaStream(std::move(formula));
                mStream = Ref<IFloatStreamEx>(stream);
            } else {
                auto* events = new FormulaEvents(std::move(formula));
                mEvents = Ref<IEnumEventEx>(events);
            }
            return S_OK;
        });
        if (FAILED(hr) && hr != E_INVALIDARG) {
            Clear();
            return hr == E_OUTOFMEMORY ? hr : E_INVALIDARG;
        }
        return hr;
    }

    HRESULT Seek(LONG position) override
    {
        if (mExtension.Get())
            return mExtension.Get()->Seek(position);
        if (mStream.Get()) {
            LONG at = 0;
            mStream.Get()->GetPosition(&at);
            return mStream.Get()->SeekRelative(position - at, nullptr);
        }
        if (mEvents.Get())
            return mEvents.Get()->Find(0, position, position, kEnd);
        return E_UNEXPECTED;
    }

    HRESULT ClearSources() override
    {
        Clear();
        return S_OK;
    }

private:
    void Clear()
    {
        if (mExtension.Get())
            mExtension.Get()->ClearSources();
        mExtension = {};
        mStream = {};
        mEvents = {};
    }

    // A call of an extension's enumerator function: the enumerator itself, over the arguments
    // evaluated as the host's sources. False when the formula is no such call.
    bool StartExtension(LONG record, double dt, DWORD mode)
    {
        std::wstring name;
        std::vector<std::wstring> args;
        if (!mEnumerators || !SplitCall(mFormula, name, args))
            return false;
        const ExtensionEnumerators::Entry* entry = mEnumerators->Find(name);
        if (!entry || args.size() != entry->description.params.size())
            return false;
        std::vector<Ref<IUnknown>> sources;
        std::vector<IUnknown*> raw;
        std::vector<double> numbers;
        for (std::size_t i = 0; i < args.size(); ++i) {
            using Kind = calc::EnumeratorParam::Kind;
            const Kind kind = entry->description.params[i].kind;
            if (kind == Kind::Number) {
                double v = 0;
                if (!ParseNumber(args[i], v))
                    throw calc::CalcError("argument " + std::to_string(i + 1) + " must be a number");
                numbers.push_back(v);
                continue;
            }
            auto formula = std::make_unique<GrowingFormula>(mDocument, args[i], static_cast<int>(record), dt);
            formula->Refresh();
            const bool samples = formula->Compiled().samples != nullptr;
            if (samples != (kind == Kind::Samples))
                throw calc::CalcError("argument " + std::to_string(i + 1) + " is of the wrong kind");
            IUnknown* source = samples ? static_cast<IUnknown*>(new FormulaStream(std::move(formula)))
                                       : static_cast<IUnknown*>(new FormulaEvents(std::move(formula)));
            sources.emplace_back(source);
            raw.push_back(source);
        }
        ICalcEnum* extension = nullptr;
        if (FAILED(entry->classObject->CreateInstance(nullptr, &extension)) || !extension)
            throw calc::CalcError("the enumerator could not be created");
        mExtension = Ref<ICalcEnum>::Adopt(extension);
        const std::wstring params = calc::FormatEnumeratorParams(entry->description, numbers, raw.size());
        DWORD flags = 0;
        if (FAILED(extension->SetParams(params.c_str(), &flags))
            || FAILED(extension->Init(record, static_cast<ULONG>(raw.size()), raw.data(), nullptr, dt, mode)))
            throw calc::CalcError("the enumerator refused its parameters or sources");
        return true;
    }

    DWORD mClassId;
    HostDocument* mDocument;
    std::shared_ptr<const ExtensionEnumerators> mEnumerators;
    std::wstring mFormula;
    Ref<ICalcEnum> mExtension;
    Ref<IFloatStreamEx> mStream;
    Ref<IEnumEventEx> mEvents;
};

// The enumerator classes of the extension being tested. The factory and the calculation class
// live as long as the process (an extension may keep them without a reference); what they make
// takes the table of the moment.
std::mutex& TableMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<const ExtensionEnumerators>& Table()
{
    static std::shared_ptr<const ExtensionEnumerators> table;
    return table;
}
std::shared_ptr<const ExtensionEnumerators> CurrentTable()
{
    std::lock_guard lock(TableMutex());
    return Table();
}

class FormulaCalcClass final : public SimpleUnknownImp1<IEnumCreator, 0> {
public:
    void SetClassId(DWORD classId) { mClassId = classId; }
    HRESULT CreateEnumerator(IUnknown* document, ICalcEnum** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        const auto doc = Query<IRecordingDoc>(document);
        auto* host = dynamic_cast<HostDocument*>(doc.Get());
        if (!host)
            return E_INVALIDARG;
        return vx::hf::Guarded("the formula calculation class's CreateEnumerator", [&] {
            auto* calc = new FormulaCalc(mClassId, host, CurrentTable());
            calc->AddRef();
            *out = calc;
        });
    }

private:
    DWORD mClassId = 0;
};

// Record data of one recording, with its recording sink: a record is written channel by channel
// from the data source's channel sources, as many ticks at a time as the source commits. Every
// channel of a record is at the record's tick rate. A record whose ticks have all been committed
// is complete.
class SyntheticRecordData final : public SimpleUnknownImp2<IHostRecordData, IRecordingSink, 0> {
public:
    explicit SyntheticRecordData(std::shared_ptr<const ExtensionEnumerators> enumerators)
        : mDocument(new HostDocument(std::make_shared<Recording>()))
    {
        if (enumerators)
            extcalc::RegisterExtensionEnumerators(mDocument->Engine(), enumerators->ClassObjects());
    }
    ~SyntheticRecordData() override
    {
        DropRecord();
        Completed().Forget(mDocument);
        mDocument->Release();
    }

    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IRecordingDoc::kIid || iid == IChannelNames::kIid || iid == IOnlineRegistry::kIid
            || iid == IChannelCollection::kIid || iid == IChannelValues::kIid || iid == IDocumentTime::kIid)
            return mDocument->QueryInterface(iid, out);
        return SimpleUnknownImp2<IHostRecordData, IRecordingSink, 0>::QueryInterface(iid, out);
    }

    // IHostRecordData
    HRESULT GetEndPosition(DWORD, vx::hf::RecordTick* end) override
    {
        if (!end)
            return E_POINTER;
        const Recording& data = mDocument->Data();
        if (data.records.empty())
            return S_FALSE;
        end->record = data.RecordCount() - 1;
        end->tick = static_cast<std::int32_t>(std::min<int64_t>(data.records.back().length, kEnd));
        return S_OK;
    }
    HRESULT GetRecordStartTime(DWORD, LONG record, double* seconds) override
    {
        if (!seconds)
            return E_POINTER;
        const Recording& data = mDocument->Data();
        if (record < 0 || record >= data.RecordCount())
            return E_INVALIDARG;
        *seconds = data.records[static_cast<std::size_t>(record)].startTime;
        return S_OK;
    }
    HRESULT GetDataTick(LONG record, LONG tick, LONG* dataTick) override
    {
        if (!dataTick)
            return E_POINTER;
        const Recording& data = mDocument->Data();
        if (record < 0 || record >= data.RecordCount())
            return E_INVALIDARG;
        const int64_t length = data.records[static_cast<std::size_t>(record)].length;
        *dataTick = static_cast<LONG>(std::clamp<int64_t>(tick, 0, std::max<int64_t>(length - 1, 0)));
        return S_OK;
    }

    // IRecordingSink
    HRESULT CanSample(const wchar_t*, VARIANT_BOOL* canSample) override
    {
        if (!canSample)
            return E_POINTER;
        *canSample = mSource.Get() ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    }
    HRESULT PrepareRecord(DWORD) override { return S_OK; }
    HRESULT AnnounceChannel(ULONG channel, VARIANT_BOOL inSet, const vx::hf::ChannelDisplay* display,
        vx::hf::TickRatio channelInterval, vx::hf::TickRatio tickInterval, DWORD, IRecordingDataSource*) override
    {
        if (mSource.Get())
            return E_UNEXPECTED;
        Announced a;
        a.channel = channel;
        a.inSet = inSet != VARIANT_FALSE;
        a.sameRate = channelInterval.numerator * tickInterval.denominator
            == tickInterval.numerator * channelInterval.denominator;
        if (display) {
            a.top = display->top;
            a.bottom = display->bottom;
            a.unit = display->unit ? display->unit : L"";
        }
        mAnnounced.push_back(a);
        return S_OK;
    }
    HRESULT StartRecord(
        DWORD, IRecordingDataSource* source, double tickInterval, double startTime, DWORD, DWORD, VARIANT_BOOL) override
    {
        if (!source || !(tickInterval > 0) || mSource.Get())
            return E_INVALIDARG;
        const HRESULT hr = vx::hf::Guarded(
            "the recording sink's StartRecord", [&] { return Start(source, tickInterval, startTime); });
        if (FAILED(hr))
            DropRecord();
        return hr;
    }
    HRESULT CommitTicks(ULONG ticks, ULONG) override
    {
        if (!mSource.Get() || mDocument->Data().samplingRecord < 0)
            return E_UNEXPECTED;
        ticks = static_cast<ULONG>(std::min<int64_t>(ticks, mTotal - mCommitted));
        const HRESULT hr = vx::hf::Guarded("the recording sink's CommitTicks", [&] {
            std::vector<std::vector<float>> values(mStreams.size(), std::vector<float>(ticks));
            std::vector<std::span<const float>> spans;
            for (std::size_t c = 0; c < mStreams.size(); ++c) {
                ULONG filled = 0;
                while (filled < ticks) {
                    ULONG read = 0;
                    if (FAILED(mStreams[c].Get()->Read(ticks - filled, values[c].data() + filled, &read)) || read == 0)
                        return E_FAIL; // the source gave fewer samples than it committed
                    filled += read;
                }
                spans.emplace_back(values[c]);
            }
            if (ticks > 0 && !mDocument->DeliverBlock(spans))
                return E_FAIL;
            return S_OK;
        });
        if (hr != S_OK)
            return hr;
        mCommitted += ticks;
        if (mCommitted >= mTotal) // every tick is there: the record is complete
            Completed().Set(mDocument, mDocument->Data().samplingRecord, true);
        return S_OK;
    }
    HRESULT EndRecord(DWORD, DWORD* result) override
    {
        if (result)
            *result = 0;
        mDocument->StopSampling();
        return S_OK;
    }
    HRESULT CloseRecord(VARIANT_BOOL) override
    {
        mDocument->StopSampling();
        DropRecord();
        return S_OK;
    }

private:
    struct Announced {
        ULONG channel = 0;
        bool inSet = false;
        bool sameRate = true;
        float top = 1.0f;
        float bottom = -1.0f;
        std::wstring unit;
    };

    HRESULT Start(IRecordingDataSource* source, double tickInterval, double startTime)
    {
        Recording& data = mDocument->Data();
        std::vector<Announced> recorded;
        for (const Announced& a : mAnnounced)
            if (a.inSet)
                recorded.push_back(a);
        mAnnounced.clear();
        if (recorded.empty())
            return E_INVALIDARG;
        for (const Announced& a : recorded)
            if (!a.sameRate)
                return E_INVALIDARG; // channels slower than the ticks are not recorded here
        if (data.ChannelCount() == 0) {
            for (const Announced& a : recorded) {
                ChannelSetup setup;
                setup.title = L"Ch" + std::to_wstring(a.channel + 1);
                setup.unit = a.unit;
                if (std::isfinite(a.top) && std::isfinite(a.bottom)) {
                    setup.displayHigh = a.top;
                    setup.displayLow = a.bottom;
                }
                data.AddChannel(setup);
            }
        } else if (static_cast<std::size_t>(data.ChannelCount()) != recorded.size()) {
            return E_INVALIDARG; // every record of a recording has the same channels
        }
        LONG total = 0;
        if (FAILED(source->GetTicks(&total)) || total < 0)
            return E_INVALIDARG;
        std::vector<Ref<IFloatStreamEx>> streams;
        for (const Announced& a : recorded) {
            IUnknown* channelSource = nullptr;
            if (FAILED(source->CreateChannelSource(0, static_cast<LONG>(a.channel), &channelSource)) || !channelSource)
                return E_FAIL;
            const auto held = Ref<IUnknown>::Adopt(channelSource);
            auto stream = Query<IFloatStreamEx>(channelSource);
            if (!stream)
                return E_NOINTERFACE;
            streams.push_back(std::move(stream));
        }
        if (!mDocument->StartSampling(tickInterval))
            return E_FAIL;
        data.records.back().startTime = startTime;
        mSource = Ref<IRecordingDataSource>(source);
        mStreams = std::move(streams);
        mTotal = total;
        mCommitted = 0;
        Completed().Set(mDocument, data.samplingRecord, mTotal == 0);
        return S_OK;
    }

    void DropRecord()
    {
        mStreams.clear();
        mSource = {};
        mTotal = mCommitted = 0;
    }

    HostDocument* mDocument;
    std::vector<Announced> mAnnounced;
    Ref<IRecordingDataSource> mSource;
    std::vector<Ref<IFloatStreamEx>> mStreams;
    int64_t mTotal = 0;
    int64_t mCommitted = 0;
};

class RecordDataFactory final : public SimpleUnknownImp1<IGenericClassObject, 0> {
public:
    void SetClassKey(DWORD key) { mClassKey = key; }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (out && iid == ICAFClassObject::kIid) {
            *out = static_cast<IGenericClassObject*>(this);
            AddRef();
            return S_OK;
        }
        return SimpleUnknownImp1::QueryInterface(iid, out);
    }
    HRESULT GetClassId(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = mClassKey;
        return S_OK;
    }
    // New, empty record data; the factory makes them for nobody in particular.
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return vx::hf::Guarded("the record data factory's CreateInstance", [&] {
            auto* data = new SyntheticRecordData(CurrentTable());
            data->AddRef();
            const HRESULT hr = data->QueryInterface(iid, out);
            data->Release();
            return hr;
        });
    }

private:
    DWORD mClassKey = 0;
};

} // namespace

ExtensionEnumerators::ExtensionEnumerators(const std::vector<IUnknown*>& classObjects)
{
    for (IUnknown* object : classObjects) {
        if (!object)
            continue;
        object->AddRef();
        mObjects.push_back(object);
        auto description = extcalc::DescribeEnumeratorClass(object);
        ICalcEnumClass2* cls = description ? Query<ICalcEnumClass2>(object).Detach() : nullptr;
        if (cls)
            mEntries.push_back({ std::move(*description), cls });
    }
}

ExtensionEnumerators::~ExtensionEnumerators()
{
    for (Entry& e : mEntries)
        e.classObject->Release();
    for (IUnknown* o : mObjects)
        o->Release();
}

const ExtensionEnumerators::Entry* ExtensionEnumerators::Find(const std::wstring& functionName) const
{
    const auto lower = [](std::wstring s) {
        for (wchar_t& c : s)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        return s;
    };
    const std::wstring wanted = lower(functionName);
    for (const Entry& e : mEntries) {
        const std::string& n = e.description.functionName;
        if (lower(std::wstring(n.begin(), n.end())) == wanted)
            return &e;
    }
    return nullptr;
}

SyntheticRecordingHost::SyntheticRecordingHost(ITypeIdRegistry* types, const std::vector<IUnknown*>& classObjects)
    : mEnumerators(std::make_shared<ExtensionEnumerators>(classObjects))
{
    WORD factoryIndex = 0, calcIndex = 0;
    if (types) {
        types->GetTypeIndex(kRecordDataFactoryType, &factoryIndex);
        types->GetTypeIndex(kArithmeticCalcType, &calcIndex);
    }
    mFactoryKey = DWORD(factoryIndex) << 16;
    mCalcKey = DWORD(calcIndex) << 16;
    static RecordDataFactory* const factory = [] {
        auto* f = new RecordDataFactory;
        f->AddRef(); // the process's
        return f;
    }();
    static FormulaCalcClass* const calcClass = [] {
        auto* c = new FormulaCalcClass;
        c->AddRef();
        return c;
    }();
    calcClass->SetClassId(mCalcKey);
    factory->SetClassKey(mFactoryKey);
    mFactory = static_cast<IGenericClassObject*>(factory);
    mCalcClass = static_cast<IEnumCreator*>(calcClass);
    {
        std::lock_guard lock(TableMutex());
        Table() = mEnumerators;
    }
    caf::SetHostClassProvider([this](DWORD key, REFIID iid, void** out) { return Create(key, iid, out); });
}

SyntheticRecordingHost::~SyntheticRecordingHost()
{
    caf::SetHostClassProvider({});
    std::lock_guard lock(TableMutex());
    Table().reset();
}

HRESULT SyntheticRecordingHost::Create(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (classKey == mFactoryKey && mFactoryKey != 0)
        return mFactory->QueryInterface(iid, out);
    if (classKey == mCalcKey && mCalcKey != 0)
        return mCalcClass->QueryInterface(iid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

IUnknown* SyntheticRecordingHost::NewRecordData()
{
    void* out = nullptr;
    if (FAILED(static_cast<IGenericClassObject*>(mFactory)->CreateInstance(nullptr, IHostRecordData::kIid, &out)))
        return nullptr;
    return static_cast<IHostRecordData*>(out);
}

} // namespace vx::host
