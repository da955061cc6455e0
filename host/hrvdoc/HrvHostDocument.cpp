#include "host/hrvdoc/HrvHostDocument.h"
#include "host/hrvdoc/PreviewSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "foundation/String.h"
#include "host/calc/CalcError.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "host/hrvdoc/EventSeek.h"
#include "host/recording/HostSources.h"
#include "hostframework/base/ExceptionBoundary.h"
#include "hostframework/base/SimpleUnknownImp.h"
#include "hostframework/comments/Comments.h"
#include "hostframework/interfaces/MessageInterfaces.h"

namespace vx::host {

namespace {

std::string Hex(DWORD v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The engine's refusal of a detector channel in the user's words. The detector's only low-pass
// filter is its first stage, whose cut-off is the LowPassCutoff setting.
HrvHostDocument::ChannelRefusal RefusalOf(const std::wstring& name, const calc::CalcError& e)
{
    if (const auto* cutoff = dynamic_cast<const calc::CutoffError*>(&e))
        return { "record " + std::to_string(cutoff->Record() + 1) + " is sampled at " + Number(cutoff->Rate())
                + " Hz, too slowly for the detector's low-pass cut-off LowPassCutoff of " + Number(cutoff->Cutoff())
                + " Hz, which must lie below half the sample rate (" + Number(0.5 * cutoff->Rate()) + " Hz)",
            "LowPassCutoff" };
    return { "the detector's channel " + Narrow(name) + " cannot be made: " + e.what(), "" };
}

// A message the host routes: its id and flags, no data.
class HostMessage final : public SimpleUnknownImp1<IMessage, 1> {
public:
    HostMessage(DWORD id, DWORD flags)
        : mId(id)
        , mFlags(flags)
    {
    }
    HRESULT GetId(DWORD* id) override { return id ? (*id = mId, S_OK) : E_POINTER; }
    HRESULT GetFlags(DWORD* flags) override { return flags ? (*flags = mFlags, S_OK) : E_POINTER; }
    HRESULT Clone(IMessage** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new HostMessage(mId, mFlags);
        return S_OK;
    }
    HRESULT GetData(IUnknown** out) override
    {
        if (out)
            *out = nullptr;
        return S_FALSE;
    }
    HRESULT SetSender(ULONGLONG) override { return S_OK; }
    HRESULT IsSender(ULONGLONG, WORD* isSender) override { return isSender ? (*isSender = 0, S_OK) : E_POINTER; }

private:
    DWORD mId;
    DWORD mFlags;
};

// The events of a named event channel in a record, read from the engine as the host evaluates
// them. While the record is being sampled it hands out only what the host has settled and
// answers S_OK with nothing when it has no more yet.
class LiveEventEnum final : public SimpleUnknownImp1<IEnumEventEx, 1> {
public:
    LiveEventEnum(HrvHostDocument& host, std::wstring name, int32_t record, int32_t start, int32_t end)
        : mHost(host)
        , mName(std::move(name))
        , mRecord(record)
        , mPosition(start)
        , mEnd(end)
    {
        mEvents.recordSize = RecordSizeNow();
    }

    HRESULT Next(DWORD bufferBytes, LONG endOffset, void* buffer, DWORD* count, LONG* next) override
    {
        if (!count || !next || (!buffer && bufferBytes))
            return E_POINTER;
        *count = 0;
        *next = 0x7FFFFFFF;
        if (endOffset < 0)
            endOffset = 0x7FFFFFFF;
        const uint32_t size = mEvents.recordSize;
        const std::size_t room = size ? bufferBytes / size : 0;
        auto* out = static_cast<std::byte*>(buffer);
        try {
            for (;;) {
                if (mIndex >= mEvents.Count())
                    Refill();
                if (*count >= room || mIndex >= mEvents.Count() || mEvents.Position(mIndex) >= endOffset)
                    break;
                std::memcpy(out + std::size_t(*count) * size, mEvents.Record(mIndex), size);
                ++*count;
                ++mIndex;
            }
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        if (mIndex < mEvents.Count()) {
            *next = mEvents.Position(mIndex);
            return S_OK;
        }
        // At the end only when the record is complete and read to its end (or the asked end).
        const bool complete = mHost.EventLimit(mRecord) >= mHost.GetRecording().records[std::size_t(mRecord)].length;
        return complete && mPosition >= std::min<int64_t>(mEnd, mHost.EventLimit(mRecord)) ? S_FALSE : S_OK;
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = mIndex < mEvents.Count() ? mEvents.Position(mIndex) : 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT GetRecordSize(DWORD* size) override { return size ? (*size = mEvents.recordSize, S_OK) : E_POINTER; }
    // The type of the channel's events: what the enumerator that makes them reports.
    HRESULT GetEventType(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = 0;
        try {
            calc::Compiled c = mHost.Engine().Channel(mName);
            if (c.events)
                *id = c.events->EventType();
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        return S_OK;
    }

    // Positions the source on the first event at or after `start`; with `backward`, on the last
    // event before it when none stands exactly there. What was buffered is read again from
    // `lower`, so a seek backwards finds events that were already handed out.
    HRESULT Find(LONG backward, LONG start, LONG lower, LONG) override
    {
        mEvents = calc::EventBuffer {};
        mEvents.recordSize = RecordSizeNow();
        mIndex = 0;
        mPosition = std::max<int32_t>(backward ? lower : start, 0);
        try {
            Refill(start); // an event after what is read lies beyond `start`
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        mIndex = SeekEvent(
            mEvents.Count(), [this](std::size_t i) { return mEvents.Position(i); }, start, backward != 0);
        return S_OK;
    }
    HRESULT Reserved6(LONG* result) override
    {
        if (result)
            *result = 0;
        return E_NOTIMPL;
    }
    HRESULT Clone(IEnumEventEx** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new LiveEventEnum(*this);
        return S_OK;
    }
    HRESULT Reserved10(LONG* result) override
    {
        if (result)
            *result = 0;
        return E_NOTIMPL;
    }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        if (!ratio)
            return E_POINTER;
        const Recording& recording = mHost.GetRecording();
        const double start = mRecord >= 0 && mRecord < recording.RecordCount()
            ? recording.records[std::size_t(mRecord)].startTime
            : 0.0;
        *ratio = RatioOf(recording.RecordInfo(mRecord).interval, start);
        return S_OK;
    }

private:
    LiveEventEnum(const LiveEventEnum& other)
        : SimpleUnknownImp1<IEnumEventEx, 1>()
        , mHost(other.mHost)
        , mName(other.mName)
        , mRecord(other.mRecord)
        , mPosition(other.mPosition)
        , mEnd(other.mEnd)
        , mEvents(other.mEvents)
        , mIndex(other.mIndex)
    {
    }

    uint32_t RecordSizeNow()
    {
        try {
            calc::Compiled c = mHost.Engine().Channel(mName);
            return c.events ? c.events->RecordSize() : 16;
        } catch (const calc::CalcError&) {
            return 16;
        }
    }
    // Reads on from what has settled since the last read, from the channel as it is compiled now:
    // a stretch of kStretch ticks at a time, or more until one holds an event (and at least up to
    // `through`), so that a long record's events are never all held here beside the channel's own.
    static constexpr int64_t kStretch = int64_t(1) << 20;
    void Refill(int64_t through = -1)
    {
        const int64_t limit = std::min<int64_t>(mEnd, mHost.EventLimit(mRecord));
        if (limit <= mPosition)
            return;
        mHost.EnsureCompiledForData();
        calc::Compiled c = mHost.Engine().Channel(mName);
        if (!c.events)
            return;
        calc::EventBuffer fresh;
        fresh.recordSize = c.events->RecordSize();
        while (mPosition < limit && (fresh.Count() == 0 || mPosition <= through)) {
            const int64_t to = std::min<int64_t>(limit, int64_t(mPosition) + kStretch);
            c.events->Read(mRecord, mPosition, to, fresh);
            mPosition = static_cast<int32_t>(to);
        }
        if (mIndex >= mEvents.Count()) {
            mEvents = std::move(fresh);
            mIndex = 0;
            return;
        }
        // Keep what is still unread, then the new events.
        calc::EventBuffer kept;
        kept.recordSize = fresh.recordSize;
        for (std::size_t i = mIndex; i < mEvents.Count(); ++i)
            kept.Append(mEvents.Record(i));
        for (std::size_t i = 0; i < fresh.Count(); ++i)
            kept.Append(fresh.Record(i));
        mEvents = std::move(kept);
        mIndex = 0;
    }

    HrvHostDocument& mHost;
    std::wstring mName;
    int32_t mRecord;
    int32_t mPosition;
    int32_t mEnd;
    calc::EventBuffer mEvents;
    std::size_t mIndex = 0;
};

} // namespace

HrvHostDocument::HrvHostDocument(std::shared_ptr<Recording> recording, HrvHostOptions opts)
    : options(std::move(opts))
    , mRecording(recording)
    , mDocument(new HostDocument(std::move(recording)))
{
    mDocument->SetChannelSetupListener(
        [this](std::uint32_t channel, IChannelCalc* calc) { NotifyChannelSetup(channel, calc); });
}

HrvHostDocument::~HrvHostDocument()
{
    // A paced play ends with the sinks told, while they are still there.
    mPlay.reset();
    mDocument->SetChannelSetupListener({});
    Detach();
    if (onlineSink)
        mDocument->RemoveSink(onlineSink);
    mDocument->Release();
    for (auto& [id, child] : dataChildren)
        child->Release();
    for (auto& [index, object] : stored)
        object->Release();
    if (mCalcFactory)
        mCalcFactory->Release();
}

void HrvHostDocument::Attach(IUnknown* document)
{
    Detach();
    if (document) {
        document->QueryInterface(IMessageHandler::kIid, reinterpret_cast<void**>(&mDocumentHandler));
        document->QueryInterface(IObserver::kIid, reinterpret_cast<void**>(&mDocumentObserver));
    }
}

void HrvHostDocument::Detach()
{
    if (mDocumentHandler)
        mDocumentHandler->Release();
    mDocumentHandler = nullptr;
    if (mDocumentObserver)
        mDocumentObserver->Release();
    mDocumentObserver = nullptr;
}

void HrvHostDocument::NotifyChannelSetup(std::uint32_t channel, IChannelCalc* calc)
{
    log.push_back("channel setup " + std::to_string(channel) + (calc ? " calculated" : " plain"));
    // The channel number and its calculation (null when it lost it), as the notification's two
    // values.
    if (mDocumentObserver && mChannelSetupEvent)
        mDocumentObserver->OnNotify(nullptr, mChannelSetupEvent, channel, reinterpret_cast<std::uintptr_t>(calc));
}

bool HrvHostDocument::GetSelection(HRV::Position& start, HRV::Position& end)
{
    if (!hasSelection)
        return false;
    start = selectionStart;
    end = selectionEnd;
    return true;
}

void HrvHostDocument::ClearSelection()
{
    hasSelection = false;
    selectionIsPoint = false;
    log.push_back("selection.clear");
    if (options.selectionChanged)
        options.selectionChanged();
}

void HrvHostDocument::SelectRegion(HRV::Position start, HRV::Position end)
{
    hasSelection = true;
    selectionIsPoint = false; // a region; the host marks a cursor after setting it
    selectionStart = start;
    selectionEnd = end;
    log.push_back("selection.region " + std::to_string(start.mRecord) + ":" + std::to_string(start.mOffset) + "-"
        + std::to_string(end.mRecord) + ":" + std::to_string(end.mOffset));
    if (options.selectionChanged)
        options.selectionChanged();
}

void HrvHostDocument::SelectChannel(uint32_t channel)
{
    log.push_back("selection.channel " + std::to_string(channel));
}

HRV::Position HrvHostDocument::DataEnd()
{
    const int last = mRecording->RecordCount() - 1;
    if (last < 0)
        return { 0, 0 };
    return { static_cast<int32_t>(mRecording->records[static_cast<std::size_t>(last)].length), last };
}

HRESULT HrvHostDocument::ChannelTitle(int32_t channel, BSTR* title)
{
    if (!title)
        return E_POINTER;
    *title = nullptr;
    if (channel < 0 || channel >= mRecording->ChannelCount())
        return E_INVALIDARG;
    const std::wstring& text = mRecording->channels[static_cast<std::size_t>(channel)].title;
    *title = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *title ? S_OK : E_OUTOFMEMORY;
}

HRESULT HrvHostDocument::ChannelUnit(int32_t channel, BSTR* unit)
{
    if (!unit)
        return E_POINTER;
    *unit = nullptr;
    if (channel < 0 || channel >= mRecording->ChannelCount())
        return E_INVALIDARG;
    const std::wstring& text = mRecording->channels[static_cast<std::size_t>(channel)].unit;
    *unit = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *unit ? S_OK : E_OUTOFMEMORY;
}

bool HrvHostDocument::RegionExists(HRV::Position start, HRV::Position end)
{
    const int count = mRecording->RecordCount();
    const auto inside = [&](HRV::Position p, bool isEnd) {
        if (p.mRecord == HRV::kLastRecord)
            return count > 0;
        if (p.mRecord < 0 || p.mRecord >= count)
            return false;
        return p.mOffset == 0x7FFFFFFF
            || (p.mOffset >= 0
                && p.mOffset <= mRecording->records[static_cast<std::size_t>(p.mRecord)].length - (isEnd ? 0 : 1) + 1);
    };
    return inside(start, false) && inside(end, true) && !(end < start);
}

bool HrvHostDocument::ChannelHasData(uint32_t channel, uint32_t, int32_t startRecord, int32_t endRecord)
{
    const int count = mRecording->RecordCount();
    if (endRecord == HRV::kLastRecord)
        endRecord = count - 1;
    if (channel >= static_cast<uint32_t>(mRecording->ChannelCount()) || startRecord < 0 || endRecord >= count)
        return false;
    for (int r = startRecord; r <= endRecord; ++r)
        if (mRecording->ChannelLength(static_cast<int>(channel), r) > 0)
            return true;
    return false;
}

void HrvHostDocument::LegacyLoaded(DWORD id)
{
    log.push_back("legacy " + Hex(id));
}

HRESULT HrvHostDocument::Store::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != IDataChildStore::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IDataChildStore*>(this);
    return S_OK;
}

HRESULT HrvHostDocument::Store::GetDataChild(DWORD id, IVarnDataChildData** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto it = mDocument.dataChildren.find(id);
    if (it == mDocument.dataChildren.end())
        return S_FALSE;
    *out = it->second;
    (*out)->AddRef();
    return S_OK;
}

bool HrvHostDocument::AddDataChild(IVarnDataChildData* child)
{
    return vx::hf::GuardedValue<bool>("host document: add data child", false, [&]() -> bool {
        DWORD id = 0;
        if (!child || FAILED(child->GetChildDataId(&id)) || dataChildren.count(id))
            return false;
        dataChildren[id] = child; // before the reference: a failed insert holds none
        child->AddRef();
        log.push_back("store.add " + Hex(id));
        return true;
    });
}

bool HrvHostDocument::RemoveDataChild(DWORD id)
{
    auto it = dataChildren.find(id);
    if (it == dataChildren.end())
        return false;
    it->second->Release();
    dataChildren.erase(it);
    log.push_back("store.remove " + Hex(id));
    return true;
}

bool HrvHostDocument::StoreObject(DWORD index, IPersist* object)
{
    return vx::hf::GuardedValue<bool>("host document: store object", false, [&]() -> bool {
        if (!object)
            return false;
        IPersist*& slot = stored[index]; // before the reference: a failed insert holds none
        object->AddRef();
        if (slot)
            slot->Release();
        slot = object;
        log.push_back("persist.store " + std::to_string(index));
        return true;
    });
}

HRESULT HrvHostDocument::RegisterOnlineSink(IOnlineDataSink* sink)
{
    if (!sink)
        return E_POINTER;
    const HRESULT hr = mDocument->AddSink(sink);
    if (FAILED(hr))
        return hr;
    onlineSink = sink;
    log.push_back("online.register");
    return S_OK;
}

HRESULT HrvHostDocument::UnregisterOnlineSink(IOnlineDataSink* sink)
{
    if (!sink || mDocument->RemoveSink(sink) != S_OK)
        return S_FALSE;
    if (sink == onlineSink)
        onlineSink = nullptr;
    log.push_back("online.unregister");
    return S_OK;
}

void HrvHostDocument::SendUpdate(DWORD messageId, DWORD code)
{
    updates.emplace_back(messageId, code);
    if (options.updated)
        options.updated(messageId, code);
}

HRESULT HrvHostDocument::SendDocumentMessage(DWORD messageId, DWORD flags)
{
    log.push_back("message " + Hex(messageId));
    if (!mDocumentHandler)
        return S_FALSE;
    auto* message = new HostMessage(messageId, flags);
    const HRESULT hr = mDocumentHandler->HandleMessage(message);
    message->Release();
    return hr;
}

namespace {

// Reads the packed record field by field: a double may sit at any byte, so every field is copied.
class PackedRecord {
public:
    PackedRecord(const void* data, std::size_t size)
        : mData(static_cast<const unsigned char*>(data))
        , mSize(data ? size : 0)
    {
    }
    template <class T> bool Read(T& out)
    {
        if (mSize - mPos < sizeof(T))
            return false;
        std::memcpy(&out, mData + mPos, sizeof(T));
        mPos += sizeof(T);
        return true;
    }

private:
    const unsigned char* mData;
    std::size_t mSize;
    std::size_t mPos = 0;
};

std::wstring TextOf(const IKELString* rep)
{
    if (!rep)
        return {};
    // The sender keeps its string: the record only borrowed it, so the text is copied.
    KEL::String s;
    s.AssignFromInterface(const_cast<IKELString*>(rep));
    return s.ToWString();
}

} // namespace

HRESULT HrvHostDocument::SendHostMessage(DWORD messageId, DWORD flags, const void* data, std::size_t size)
{
    return vx::hf::Guarded("host document: host message", [&]() -> HRESULT {
        log.push_back("hostmessage " + Hex(messageId) + " " + Hex(flags));
        PackedRecord record(data, size);
        DWORD descriptor = 0;
        if (messageId == 0x80010000u) {
            // Open a view: {4, view class id}.
            DWORD classId = 0;
            if (!record.Read(descriptor) || !record.Read(classId) || descriptor != 4)
                return E_INVALIDARG;
            openedViews.push_back(classId);
            return options.openView ? options.openView(classId) : S_OK;
        }
        if (messageId == 0x800C0086u) {
            // A guide line's value and texts.
            int32_t channel = 0, line = 0;
            double value = 0.0;
            const IKELString* label = nullptr;
            const IKELString* second = nullptr;
            if (!record.Read(descriptor) || descriptor != 0x77322 || !record.Read(channel) || !record.Read(line)
                || !record.Read(value) || !record.Read(label) || !record.Read(second) || line < 1 || line > 2)
                return E_INVALIDARG;
            GuideLine& g = guides[channel].lines[line - 1];
            g.value = value;
            g.label = TextOf(label);
            g.secondLabel = TextOf(second);
            return S_OK;
        }
        if (messageId == 0x800C0084u) {
            // A guide line shown or hidden, with its colour.
            int32_t channel = 0, line = 0;
            DWORD shown = 0, second = 0, colour = 0;
            if (!record.Read(descriptor) || descriptor != 0x21122 || !record.Read(channel) || !record.Read(line)
                || !record.Read(shown) || !record.Read(second) || !record.Read(colour) || line < 1 || line > 2)
                return E_INVALIDARG;
            GuideLine& g = guides[channel].lines[line - 1];
            g.shown = shown != 0;
            g.colour = colour;
            return S_OK;
        }
        if (messageId == 0x800C0085u) {
            // The band between the lines.
            int32_t channel = 0;
            DWORD on = 0, colour = 0, a = 0, b = 0, on2 = 0, colour2 = 0;
            if (!record.Read(descriptor) || descriptor != 0x2121212 || !record.Read(channel) || !record.Read(on)
                || !record.Read(colour) || !record.Read(a) || !record.Read(b) || !record.Read(on2)
                || !record.Read(colour2))
                return E_INVALIDARG;
            ChannelGuides& g = guides[channel];
            g.band = on != 0;
            g.bandColour = colour;
            return S_OK;
        }
        return S_FALSE;
    });
}

HRESULT HrvHostDocument::RouteMessage(IMessage* message)
{
    return vx::hf::Guarded("host document: route message", [&]() -> HRESULT {
        DWORD id = 0;
        if (!message || FAILED(message->GetId(&id)))
            return E_POINTER;
        log.push_back("route " + Hex(id));
        void* out = nullptr;
        if (id != IShowComment2Message::kMessageId || FAILED(message->QueryInterface(IShowComment2Message::kIid, &out)))
            return S_FALSE;
        auto* show = static_cast<IShowComment2Message*>(out);
        IVarnComment* comment = nullptr;
        show->GetComment(&comment);
        ShownComment shown;
        show->GetValue(&shown.value);
        show->Release();
        if (!comment)
            return S_FALSE;
        IKELString* text = nullptr;
        comment->GetInfo(&shown.position, &shown.channel, nullptr, &text);
        comment->GetKind(&shown.kind);
        comment->GetFillColour(0, &shown.fill);
        KEL::String t;
        t.AssignRep(text);
        shown.text = t.ToWString();
        shownComments.push_back(shown);
        if (options.showComment)
            options.showComment(comment);
        comment->Release();
        return S_OK;
    });
}

int HrvHostDocument::MessageBox(const wchar_t* captionText, const wchar_t* textText, UINT style, DWORD value)
{
    const std::wstring caption = captionText ? captionText : L"";
    const std::wstring text = textText ? textText : L"";
    log.push_back(
        "messagebox " + Narrow(caption) + " " + Hex(style) + " " + Hex(value) + " " + Narrow(text.substr(0, 32)));
    messages.push_back(text);
    return options.messageBoxAnswer;
}

int HrvHostDocument::RunSettings(HRV::ISettingsEditor* settings)
{
    DWORD channels = 0;
    if (settings)
        settings->GetChannelCount(&channels);
    log.push_back("dialog.settings " + std::to_string(channels));
    if (settings && options.settingsDialog)
        return options.settingsDialog(*settings);
    return options.userAnswersDialogs ? 0 : 2;
}

// ---- Detector host

bool HrvHostDocument::HasData(const HRV::ChannelRef& c, int32_t record)
{
    if (c.mChannel >= static_cast<uint32_t>(mRecording->ChannelCount()) || record < 0 || record >= RecordCount())
        return false;
    return mRecording->ChannelLength(static_cast<int>(c.mChannel), record) > 0;
}

double HrvHostDocument::SampleInterval(const HRV::ChannelRef& c, int32_t record)
{
    if (c.mChannel >= static_cast<uint32_t>(mRecording->ChannelCount()) || record < 0 || record >= RecordCount())
        return 0.0;
    return mRecording->ChannelInfo(static_cast<int>(c.mChannel), record).interval;
}

bool HrvHostDocument::AddChannel(const wchar_t* nameText, const wchar_t* formulaText)
{
    return vx::hf::GuardedValue<bool>("host document: add channel", false, [&]() -> bool {
        if (!nameText || !formulaText)
            return false;
        const std::wstring name = nameText, formula = formulaText;
        channelRequests.push_back(L"+" + name);
        vx::hf::ChannelRef ref;
        const bool existed = mDocument->LookUp(0, name.c_str(), &ref) == S_OK;
        if (FAILED(mDocument->CreateNamedChannel(0, name.c_str(), nullptr, &ref)))
            return false;
        ForgetRefusal(name);
        try {
            Engine().SetFormula(name, formula);
        } catch (const calc::CalcError& e) {
            log.push_back("channel refused " + Narrow(name) + ": " + e.what());
            mRefusals.emplace_back(name, RefusalOf(name, e));
            // A refused new channel leaves no empty name behind.
            if (!existed)
                mDocument->RemoveName(0, name.c_str());
            return false;
        }
        if (std::find(mNames.begin(), mNames.end(), name) == mNames.end())
            mNames.push_back(name);
        return true;
    });
}

bool HrvHostDocument::RemoveChannel(const wchar_t* nameText, bool)
{
    return vx::hf::GuardedValue<bool>("host document: remove channel", false, [&]() -> bool {
        if (!nameText)
            return false;
        const std::wstring name = nameText;
        channelRequests.push_back(L"-" + name);
        ForgetRefusal(name);
        if (!Engine().HasChannel(name))
            return false;
        mNames.erase(std::remove(mNames.begin(), mNames.end(), name), mNames.end());
        return mDocument->RemoveName(0, name.c_str()) == S_OK;
    });
}

void HrvHostDocument::ForgetRefusal(const std::wstring& name)
{
    std::erase_if(mRefusals, [&](const auto& refusal) { return refusal.first == name; });
}

HrvHostDocument::ChannelRefusal HrvHostDocument::StandingRefusal() const
{
    return mRefusals.empty() ? ChannelRefusal {} : mRefusals.front().second;
}

bool HrvHostDocument::FindChannel(const wchar_t* nameText, HRV::ChannelRef& out)
{
    return vx::hf::GuardedValue<bool>("host document: find channel", false, [&]() -> bool {
        if (!nameText)
            return false;
        const std::wstring name = nameText;
        vx::hf::ChannelRef ref;
        if (!Engine().HasChannel(name) || mDocument->LookUp(0, name.c_str(), &ref) != S_OK)
            return false;
        out = { ref.number, ref.kind };
        return true;
    });
}

std::wstring HrvHostDocument::ChannelName(const HRV::ChannelRef& ref) const
{
    const std::wstring* name = mDocument->NameOfNumber(ref.mChannel);
    return name ? *name : std::wstring();
}

static std::pair<uint64_t, uint64_t> LinkKey(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return { (uint64_t(a.mChannel) << 32) | a.mKind, (uint64_t(b.mChannel) << 32) | b.mKind };
}

bool HrvHostDocument::HasChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return links.count(LinkKey(a, b)) > 0;
}
bool HrvHostDocument::AddChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return links.insert(LinkKey(a, b)).second;
}
bool HrvHostDocument::RemoveChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
{
    return links.erase(LinkKey(a, b)) > 0;
}

bool HrvHostDocument::LinkedEventChannel(const HRV::ChannelRef& channel, int32_t index, HRV::ChannelRef& out)
{
    int32_t n = 0;
    for (const auto& [from, to] : links)
        if (to == ((uint64_t(channel.mChannel) << 32) | channel.mKind) && n++ == index) {
            out = { uint32_t(from >> 32), uint32_t(from) };
            return true;
        }
    return false;
}

namespace {
// The host's comments on a channel of a record, in the walk's order.
class HostCommentEnum final : public SimpleUnknownImp1<IEnumHostComments, 1> {
public:
    HostCommentEnum(std::vector<HostCommentEntry> entries, bool forwards)
        : mEntries(std::move(entries))
        , mForwards(forwards)
    {
    }
    HRESULT Next(LONG limit, IVarnComment** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (mNext >= mEntries.size())
            return S_FALSE;
        const HostCommentEntry& e = mEntries[mNext];
        if (mForwards ? e.offset > limit : e.offset < limit)
            return S_FALSE;
        ++mNext;
        auto* comment = new vx::hf::EventDataComment(e.record, e.offset, e.channel, nullptr, 0, 0, nullptr);
        comment->SetText(e.text.c_str());
        comment->AddRef();
        *out = comment;
        return S_OK;
    }

private:
    std::vector<HostCommentEntry> mEntries;
    bool mForwards;
    std::size_t mNext = 0;
};
} // namespace

IEnumHostComments* HrvHostDocument::OpenComments(
    const HRV::ChannelRef& channel, int32_t record, int32_t start, bool forwards)
{
    std::vector<HostCommentEntry> entries;
    for (const HostCommentEntry& e : comments)
        if (e.channel == channel.mChannel && e.record == record && (forwards ? e.offset >= start : e.offset <= start))
            entries.push_back(e);
    if (entries.empty())
        return nullptr;
    std::stable_sort(entries.begin(), entries.end(), [&](const HostCommentEntry& a, const HostCommentEntry& b) {
        return forwards ? a.offset < b.offset : a.offset > b.offset;
    });
    return new HostCommentEnum(std::move(entries), forwards);
}

bool HrvHostDocument::SetChannelKept(const wchar_t* name, WORD state)
{
    if (!name || !Engine().HasChannel(name))
        return false;
    keptChannels[name].first = state;
    log.push_back("channel.kept " + Narrow(name) + " " + Hex(state));
    return true;
}

bool HrvHostDocument::SetChannelGroup(const wchar_t* name, const wchar_t* group)
{
    if (!name || !group || !Engine().HasChannel(name))
        return false;
    keptChannels[name].second = group;
    log.push_back("channel.group " + Narrow(name) + " " + Narrow(group));
    return true;
}

void HrvHostDocument::EnsureCompiledForData()
{
    int64_t samples = 0;
    for (const Record& r : mRecording->records)
        samples += r.length;
    if (samples != mCompiledFor) {
        RecompileChannels();
        mCompiledFor = samples;
    }
}

void HrvHostDocument::RecompileChannels()
{
    for (const std::wstring& name : mNames)
        if (Engine().HasChannel(name)) {
            try {
                Engine().SetFormula(name, Engine().Formula(name));
            } catch (const calc::CalcError&) {
                // A channel that no longer compiles keeps its previous form; its reader reports it.
            }
        }
}

// ---- Analysis host

bool HrvHostDocument::GetRecordInfo(int32_t record, HRV::RecordInfo& info)
{
    if (record < 0 || record >= RecordCount())
        return false;
    const Record& r = mRecording->records[static_cast<std::size_t>(record)];
    info.mInterval = r.interval;
    info.mStartTime = r.startTime;
    info.mTimeOffset = 0.0;
    info.mBase = 0;
    info.mLength = r.length;
    return true;
}

IEnumEventEx* HrvHostDocument::OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end)
{
    return vx::hf::GuardedValue<IEnumEventEx*>("host document: open events", nullptr, [&]() -> IEnumEventEx* {
        const std::wstring name = ChannelName(channel);
        if (name.empty() || !Engine().HasChannel(name) || record < 0 || record >= RecordCount())
            return nullptr;
        EnsureCompiledForData();
        return new LiveEventEnum(*this, name, record, std::max(start, 0), end);
    });
}

bool HrvHostDocument::ShareEvents(
    const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end, calc::SharedEvents& out)
{
    return vx::hf::GuardedValue<bool>("host document: share events", false, [&] {
        const std::wstring name = ChannelName(channel);
        if (name.empty() || !Engine().HasChannel(name) || record < 0 || record >= RecordCount()
            || EventLimit(record) < mRecording->records[static_cast<std::size_t>(record)].length)
            return false;
        EnsureCompiledForData();
        const calc::Compiled c = Engine().Channel(name);
        try {
            return c.events && c.events->ReadShared(record, std::max(start, 0), end, out);
        } catch (const calc::CalcError&) {
            return false; // the live enumeration reports it
        }
    });
}

int32_t HrvHostDocument::SampledRecord()
{
    return mRecording->samplingRecord >= 0 ? mRecording->samplingRecord : RecordCount() - 1;
}

int64_t HrvHostDocument::EventLimit(int32_t record)
{
    if (record < 0 || record >= RecordCount())
        return 0;
    const Record& r = mRecording->records[static_cast<std::size_t>(record)];
    if (record != mRecording->samplingRecord || mRecordComplete)
        return r.length;
    const auto settle = static_cast<int64_t>(std::ceil(options.onlineSettleSeconds / r.interval));
    return std::max<int64_t>(0, r.length - settle);
}

bool HrvHostDocument::RecordGrowing(int32_t record) const
{
    return record >= 0 && record == mRecording->samplingRecord && !mRecordComplete;
}

int HrvHostDocument::RegisterEnumerators(const std::vector<IUnknown*>& classObjects)
{
    return extcalc::RegisterExtensionEnumerators(
        Engine(), classObjects, DataStore(), [this](int record) { return RecordGrowing(record); });
}

void HrvHostDocument::RegisterCalculationClasses(const std::vector<IUnknown*>& classObjects, ITypeIdRegistry* types)
{
    mCalcClasses.RegisterAll(classObjects);
    // The host's formula calculation and its settings, as the calculations' glue names them.
    constexpr GUID kArithmeticCalcType = vx::com::MakeGuid("{88736FEF-F85F-4B09-862A-B4E59B348DE4}");
    constexpr GUID kFormulaCalcType = vx::com::MakeGuid("{C3397303-5AAD-11D3-AB07-00A0CC40B4CE}");
    WORD calcIndex = 0, settingsIndex = 0;
    if (types) {
        types->GetTypeIndex(kArithmeticCalcType, &calcIndex);
        types->GetTypeIndex(kFormulaCalcType, &settingsIndex);
    }
    if (mCalcFactory)
        mCalcFactory->Release();
    mCalcFactory = new HostObjectFactory(DWORD(calcIndex) << 16, DWORD(settingsIndex) << 16 | 1);
    // The recording's notifications, under the type of the host's recording events.
    constexpr GUID kRecordingEventsType = vx::com::MakeGuid("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");
    WORD eventsIndex = 0;
    if (types && SUCCEEDED(types->GetTypeIndex(kRecordingEventsType, &eventsIndex)) && eventsIndex)
        mChannelSetupEvent = DWORD(eventsIndex) << 16 | 6;
}

// ---- Analysis manager

HRESULT HrvHostDocument::Register(const wchar_t* title, const wchar_t*, int32_t* clientId)
{
    if (!clientId || !title)
        return E_POINTER;
    const int32_t id = managerClients.empty() ? 1 : managerClients.rbegin()->first + 1;
    managerClients[id] = title;
    *clientId = id;
    log.push_back("manager.register " + std::to_string(id));
    return S_OK;
}

HRESULT HrvHostDocument::ReportStored(int32_t clientId, DWORD, IPersistStreamInit* object, DWORD flags)
{
    if (!object || !managerClients.count(clientId))
        return E_INVALIDARG;
    log.push_back("manager.stored " + std::to_string(clientId) + " " + std::to_string(flags));
    return S_OK;
}

HRESULT HrvHostDocument::Drop(int32_t clientId)
{
    log.push_back("manager.drop " + std::to_string(clientId));
    return managerClients.erase(clientId) ? S_OK : S_FALSE;
}

HRESULT HrvHostDocument::Confirm(int32_t clientId)
{
    return managerClients.count(clientId) ? S_OK : S_FALSE;
}

HRESULT HrvHostDocument::ReportRange(int32_t clientId, DWORD value, HRV::Position, HRV::Position)
{
    log.push_back("manager.range " + std::to_string(clientId) + " " + std::to_string(value));
    return S_OK;
}

// ---- Online play

bool HrvHostDocument::BeginOnline(const Recording& source, int sourceRecord)
{
    if (sourceRecord < 0 || sourceRecord >= source.RecordCount() || source.ChannelCount() != mRecording->ChannelCount())
        return false;
    const Record& from = source.records[static_cast<std::size_t>(sourceRecord)];
    mRecordComplete = false;
    if (!mDocument->StartSampling(from.interval)) {
        log.push_back("online.refused");
        return false;
    }
    // Channels decoded from a file on first read are shared, not copied: the record being sampled
    // shows more of them block by block, and a channel nothing reads is never decoded.
    Record& sampled = mRecording->records[static_cast<std::size_t>(mRecording->samplingRecord)];
    std::vector<SampleStore> shared;
    for (const SampleStore& s : from.channels)
        if (auto prefix = SampleStore::Prefix(s, 0))
            shared.push_back(std::move(*prefix));
    const bool share = shared.size() == sampled.channels.size() && sampled.length == 0;
    mOnlineShared = share;
    if (share)
        sampled.channels = std::move(shared);
    // Otherwise the record being sampled holds what the source's channels hold (16-bit samples
    // stay 16-bit) and has room for the whole record: it never grows by copying itself.
    for (std::size_t c = 0; c < sampled.channels.size() && !share; ++c) {
        if (sampled.channels[c].Length() == 0 && from.channels[c].IsInt16())
            sampled.channels[c] = SampleStore(std::vector<int16_t> {});
        sampled.channels[c].Reserve(sampled.channels[c].Length() + from.channels[c].Length());
    }
    if (options.online)
        options.online(mRecording->samplingRecord, HrvHostOptions::OnlineStep::Started);
    return true;
}

void HrvHostDocument::DeliverOnline(const std::vector<std::span<const float>>& block)
{
    const int record = mRecording->samplingRecord;
    // A record that shares the source's channels only shows more of them.
    if (mOnlineShared)
        mDocument->DeliverShared(block.empty() ? 0 : static_cast<int64_t>(block.front().size()));
    else
        mDocument->DeliverBlock(block);
    if (options.online)
        options.online(record, HrvHostOptions::OnlineStep::Block);
}

void HrvHostDocument::EndOnline()
{
    const int record = mRecording->samplingRecord;
    // The record has all its data from here on: what it holds has settled.
    mRecordComplete = true;
    mDocument->StopSampling();
    mRecordComplete = false;
    if (options.online && record >= 0)
        options.online(record, HrvHostOptions::OnlineStep::Stopped);
}

bool HrvHostDocument::PlayOnline(const Recording& source, int sourceRecord, double blockSeconds)
{
    if (OnlinePlaying() || !BeginOnline(source, sourceRecord))
        return false;
    const Record& from = source.records[static_cast<std::size_t>(sourceRecord)];
    const auto block = std::max<int64_t>(1, static_cast<int64_t>(std::llround(blockSeconds / from.interval)));
    std::vector<std::vector<float>> values(static_cast<std::size_t>(source.ChannelCount()));
    std::vector<std::span<const float>> spans(values.size());
    for (int64_t at = 0; at < from.length; at += block) {
        const int64_t n = std::min(block, from.length - at);
        if (mOnlineShared) {
            mDocument->DeliverShared(n);
            if (options.online)
                options.online(mRecording->samplingRecord, HrvHostOptions::OnlineStep::Block);
            continue;
        }
        for (std::size_t c = 0; c < values.size(); ++c) {
            values[c].resize(static_cast<std::size_t>(n));
            from.channels[c].Read(at, values[c]);
            spans[c] = values[c];
        }
        DeliverOnline(spans);
    }
    EndOnline();
    return true;
}

bool HrvHostDocument::StartOnlinePlay(
    std::shared_ptr<const Recording> source, int sourceRecord, double blockSeconds, double speed)
{
    if (OnlinePlaying() || !source || !(speed > 0) || !(blockSeconds > 0) || sourceRecord < 0
        || sourceRecord >= source->RecordCount())
        return false;
    const Record& from = source->records[static_cast<std::size_t>(sourceRecord)];
    const auto block = std::max<int64_t>(1, static_cast<int64_t>(std::llround(blockSeconds / from.interval)));
    // A block is due when the acquisition would have finished it.
    const double periodMs = static_cast<double>(block) * from.interval / speed * 1000.0;
    PlaybackTarget target;
    target.channels = mRecording->ChannelCount();
    const Recording* played = source.get();
    target.start = [this, played, sourceRecord](
                       double) { return BeginOnline(*played, sourceRecord) ? mRecording->samplingRecord : -1; };
    target.deliver = [this](int, const std::vector<std::span<const float>>& block) { DeliverOnline(block); };
    target.stop = [this] { EndOnline(); };
    mPlay = std::make_unique<TimedPlayback>(std::move(source), sourceRecord, std::move(target), block,
        static_cast<UINT>(std::clamp(std::llround(periodMs), 10LL, 3600000LL)));
    if (!mPlay->Start()) {
        mPlay.reset();
        return false;
    }
    return true;
}

bool HrvHostDocument::OnlinePlaying() const
{
    return mPlay && mPlay->Running();
}

void HrvHostDocument::StopOnlinePlay()
{
    if (mPlay)
        mPlay->Stop();
}

HRESULT HrvHostDocument::PreviewSource(uint32_t channel, IUnknown** source)
{
    if (!source)
        return E_POINTER;
    auto* preview = new HostPreviewSource(*this, channel);
    preview->AddRef();
    *source = static_cast<IPreviewHost*>(preview);
    return S_OK;
}

} // namespace vx::host
