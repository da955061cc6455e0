#include "host/hrvdoc/DocumentHostSide.h"

#include <cstring>

#include "foundation/String.h"
#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/hrvdoc/LogLines.h"
#include "host/hrvdoc/PreviewSource.h"
#include "hostframework/comments/Comments.h"
#include "hostframework/interfaces/MessageInterfaces.h"

namespace vx::host {

namespace {

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

} // namespace

DocumentHostSide::DocumentHostSide(HrvHostState& state, Sides sides)
    : mState(state)
    , mSides(sides)
{
}

bool DocumentHostSide::GetSelection(HRV::Position& start, HRV::Position& end)
{
    if (!mState.hasSelection)
        return false;
    start = mState.selectionStart;
    end = mState.selectionEnd;
    return true;
}

void DocumentHostSide::ClearSelection()
{
    mState.hasSelection = false;
    mState.selectionIsPoint = false;
    if (auto* log = mState.Log())
        log->push_back("selection.clear");
    if (mState.options.selectionChanged)
        mState.options.selectionChanged();
}

void DocumentHostSide::SelectRegion(HRV::Position start, HRV::Position end)
{
    mState.hasSelection = true;
    mState.selectionIsPoint = false; // a region; the host marks a cursor after setting it
    mState.selectionStart = start;
    mState.selectionEnd = end;
    if (auto* log = mState.Log())
        log->push_back("selection.region " + std::to_string(start.mRecord) + ":" + std::to_string(start.mOffset) + "-"
            + std::to_string(end.mRecord) + ":" + std::to_string(end.mOffset));
    if (mState.options.selectionChanged)
        mState.options.selectionChanged();
}

void DocumentHostSide::SelectChannel(uint32_t channel)
{
    if (auto* log = mState.Log())
        log->push_back("selection.channel " + std::to_string(channel));
}

HRV::Position DocumentHostSide::DataEnd()
{
    const int last = mState.GetRecording().RecordCount() - 1;
    if (last < 0)
        return { 0, 0 };
    return { static_cast<int32_t>(mState.GetRecording().records[static_cast<std::size_t>(last)].length), last };
}

HRESULT DocumentHostSide::ChannelTitle(int32_t channel, BSTR* title)
{
    if (!title)
        return E_POINTER;
    *title = nullptr;
    if (channel < 0 || channel >= mState.GetRecording().ChannelCount())
        return E_INVALIDARG;
    const std::wstring& text = mState.GetRecording().channels[static_cast<std::size_t>(channel)].title;
    *title = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *title ? S_OK : E_OUTOFMEMORY;
}

HRESULT DocumentHostSide::ChannelUnit(int32_t channel, BSTR* unit)
{
    if (!unit)
        return E_POINTER;
    *unit = nullptr;
    if (channel < 0 || channel >= mState.GetRecording().ChannelCount())
        return E_INVALIDARG;
    const std::wstring& text = mState.GetRecording().channels[static_cast<std::size_t>(channel)].unit;
    *unit = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *unit ? S_OK : E_OUTOFMEMORY;
}

bool DocumentHostSide::RegionExists(HRV::Position start, HRV::Position end)
{
    const int count = mState.GetRecording().RecordCount();
    const auto inside = [&](HRV::Position p, bool isEnd) {
        if (p.mRecord == HRV::kLastRecord)
            return count > 0;
        if (p.mRecord < 0 || p.mRecord >= count)
            return false;
        return p.mOffset == 0x7FFFFFFF
            || (p.mOffset >= 0
                && p.mOffset
                    <= mState.GetRecording().records[static_cast<std::size_t>(p.mRecord)].length - (isEnd ? 0 : 1) + 1);
    };
    return inside(start, false) && inside(end, true) && !(end < start);
}

bool DocumentHostSide::ChannelHasData(uint32_t channel, uint32_t, int32_t startRecord, int32_t endRecord)
{
    const int count = mState.GetRecording().RecordCount();
    if (endRecord == HRV::kLastRecord)
        endRecord = count - 1;
    if (channel >= static_cast<uint32_t>(mState.GetRecording().ChannelCount()) || startRecord < 0 || endRecord >= count)
        return false;
    for (int r = startRecord; r <= endRecord; ++r)
        if (mState.GetRecording().ChannelLength(static_cast<int>(channel), r) > 0)
            return true;
    return false;
}

void DocumentHostSide::LegacyLoaded(DWORD id)
{
    if (auto* log = mState.Log())
        log->push_back("legacy " + HexText(id));
}

HRESULT DocumentHostSide::Store::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != IDataChildStore::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IDataChildStore*>(this);
    return S_OK;
}

HRESULT DocumentHostSide::Store::GetDataChild(DWORD id, IVarnDataChildData** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto it = mState.dataChildren.find(id);
    if (it == mState.dataChildren.end())
        return S_FALSE;
    *out = it->second;
    (*out)->AddRef();
    return S_OK;
}

bool DocumentHostSide::AddDataChild(IVarnDataChildData* child)
{
    return vx::hf::GuardedValue<bool>("host document: add data child", false, [&]() -> bool {
        DWORD id = 0;
        if (!child || FAILED(child->GetChildDataId(&id)) || mState.dataChildren.count(id))
            return false;
        mState.dataChildren[id] = child; // before the reference: a failed insert holds none
        child->AddRef();
        if (auto* log = mState.Log())
            log->push_back("store.add " + HexText(id));
        return true;
    });
}

bool DocumentHostSide::RemoveDataChild(DWORD id)
{
    auto it = mState.dataChildren.find(id);
    if (it == mState.dataChildren.end())
        return false;
    it->second->Release();
    mState.dataChildren.erase(it);
    if (auto* log = mState.Log())
        log->push_back("store.remove " + HexText(id));
    return true;
}

bool DocumentHostSide::StoreObject(DWORD index, IPersist* object)
{
    return vx::hf::GuardedValue<bool>("host document: store object", false, [&]() -> bool {
        if (!object)
            return false;
        IPersist*& slot = mState.stored[index]; // before the reference: a failed insert holds none
        object->AddRef();
        if (slot)
            slot->Release();
        slot = object;
        if (auto* log = mState.Log())
            log->push_back("persist.store " + std::to_string(index));
        return true;
    });
}

HRESULT DocumentHostSide::RegisterOnlineSink(IOnlineDataSink* sink)
{
    if (!sink)
        return E_POINTER;
    const HRESULT hr = mState.Document().AddSink(sink);
    if (FAILED(hr))
        return hr;
    mState.onlineSink = sink;
    if (auto* log = mState.Log())
        log->push_back("online.register");
    return S_OK;
}

HRESULT DocumentHostSide::UnregisterOnlineSink(IOnlineDataSink* sink)
{
    if (!sink || mState.Document().RemoveSink(sink) != S_OK)
        return S_FALSE;
    if (sink == mState.onlineSink)
        mState.onlineSink = nullptr;
    if (auto* log = mState.Log())
        log->push_back("online.unregister");
    return S_OK;
}

HRESULT DocumentHostSide::SendDocumentMessage(DWORD messageId, DWORD flags)
{
    if (auto* log = mState.Log())
        log->push_back("message " + HexText(messageId));
    if (!mState.documentHandler)
        return S_FALSE;
    auto* message = new HostMessage(messageId, flags);
    const HRESULT hr = mState.documentHandler->HandleMessage(message);
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

HRESULT DocumentHostSide::SendHostMessage(DWORD messageId, DWORD flags, const void* data, std::size_t size)
{
    return vx::hf::Guarded("host document: host message", [&]() -> HRESULT {
        if (auto* log = mState.Log())
            log->push_back("hostmessage " + HexText(messageId) + " " + HexText(flags));
        PackedRecord record(data, size);
        DWORD descriptor = 0;
        if (messageId == 0x80010000u) {
            // Open a view: {4, view class id}.
            DWORD classId = 0;
            if (!record.Read(descriptor) || !record.Read(classId) || descriptor != 4)
                return E_INVALIDARG;
            mState.openedViews.push_back(classId);
            return mState.options.openView ? mState.options.openView(classId) : S_OK;
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
            GuideLine& g = mState.guides[channel].lines[line - 1];
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
            GuideLine& g = mState.guides[channel].lines[line - 1];
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
            ChannelGuides& g = mState.guides[channel];
            g.band = on != 0;
            g.bandColour = colour;
            return S_OK;
        }
        return S_FALSE;
    });
}

HRESULT DocumentHostSide::RouteMessage(IMessage* message)
{
    return vx::hf::Guarded("host document: route message", [&]() -> HRESULT {
        DWORD id = 0;
        if (!message || FAILED(message->GetId(&id)))
            return E_POINTER;
        if (auto* log = mState.Log())
            log->push_back("route " + HexText(id));
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
        mState.shownComments.push_back(shown);
        if (mState.options.showComment)
            mState.options.showComment(comment);
        comment->Release();
        return S_OK;
    });
}

int DocumentHostSide::MessageBox(const wchar_t* captionText, const wchar_t* textText, UINT style, DWORD value)
{
    const std::wstring caption = captionText ? captionText : L"";
    const std::wstring text = textText ? textText : L"";
    if (auto* log = mState.Log())
        log->push_back("messagebox " + NarrowText(caption) + " " + HexText(style) + " " + HexText(value) + " "
            + NarrowText(text.substr(0, 32)));
    mState.MessageShown(text);
    return mState.options.messageBoxAnswer;
}

int32_t DocumentHostSide::ShownChannelCount()
{
    ULONG count = 0;
    mState.Document().GetShownChannelCount(&count);
    return static_cast<int32_t>(count);
}

IChannelCalc* DocumentHostSide::ChannelCalculation(int32_t channel)
{
    return channel >= 0 ? mState.Document().ChannelCalcOf(static_cast<uint32_t>(channel)) : nullptr;
}

HRESULT DocumentHostSide::PreviewSource(uint32_t channel, IUnknown** source)
{
    if (!source)
        return E_POINTER;
    auto* preview = new HostPreviewSource(mState, *this, channel);
    preview->AddRef();
    *source = static_cast<IPreviewHost*>(preview);
    return S_OK;
}

} // namespace vx::host
