#include "host/hrvdoc/HrvDataPadHost.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/String.h"
#include "host/hrvdoc/EventSeek.h"

namespace vx::host {
namespace {

// A replay of events read before: the same records, positions and end as the document's own
// enumeration of a complete record gives.
class ReplayEvents final : public SimpleUnknownImp1<IEnumEventEx, 1> {
public:
    explicit ReplayEvents(std::shared_ptr<const CachedAnalysisHost::Events> events)
        : mEvents(std::move(events))
        , mCount(mEvents->count)
        , mSize(mEvents->recordSize)
    {
    }
    HRESULT Next(DWORD bufferBytes, LONG endOffset, void* buffer, DWORD* count, LONG* next) override
    {
        if (!count || !next || (!buffer && bufferBytes))
            return E_POINTER;
        *count = 0;
        *next = 0x7FFFFFFF;
        if (endOffset < 0)
            endOffset = 0x7FFFFFFF;
        const std::size_t room = mSize ? bufferBytes / mSize : 0;
        auto* out = static_cast<std::byte*>(buffer);
        while (*count < room && mIndex < mCount && Position(mIndex) < endOffset) {
            std::memcpy(out + std::size_t(*count) * mSize, mEvents->Record(mIndex, mRun), mSize);
            ++*count;
            ++mIndex;
        }
        if (mIndex < mCount) {
            *next = Position(mIndex);
            return S_OK;
        }
        return S_FALSE;
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = mIndex < mCount ? Position(mIndex) : 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT GetRecordSize(DWORD* size) override { return size ? (*size = mSize, S_OK) : E_POINTER; }
    HRESULT GetEventType(DWORD* id) override { return id ? (*id = mEvents->typeId, S_OK) : E_POINTER; }
    // The first event at or after `start`; with `backward`, the last one before it when none
    // stands exactly there.
    HRESULT Find(LONG backward, LONG start, LONG, LONG) override
    {
        mIndex = SeekEvent(
            mCount, [this](std::size_t i) { return Position(i); }, start, backward != 0);
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
        auto* copy = new ReplayEvents(mEvents);
        copy->mIndex = mIndex;
        *out = copy;
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
        return ratio ? (*ratio = mEvents->timeBase, S_OK) : E_POINTER;
    }

private:
    // Every event record starts with its 32-bit position.
    LONG Position(std::size_t i) const
    {
        LONG p;
        std::memcpy(&p, mEvents->Record(i, mRun), sizeof p);
        return p;
    }
    std::shared_ptr<const CachedAnalysisHost::Events> mEvents;
    mutable std::size_t mRun = 0; // the run of the record last read
    std::size_t mCount;
    DWORD mSize;
    std::size_t mIndex = 0;
};

} // namespace

const std::byte* CachedAnalysisHost::Events::Record(std::size_t i, std::size_t& run) const
{
    if (run >= runs.size() || i < starts[run] || i >= starts[run] + runs[run].count)
        run = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), i) - starts.begin()) - 1;
    return runs[run].block->data() + (runs[run].first + (i - starts[run])) * recordSize;
}

void CachedAnalysisHost::Events::Append(const std::byte* records, std::size_t n)
{
    while (n > 0) {
        if (!filling || runs.empty() || runs.back().block != filling || runs.back().count == kPerBlock) {
            filling = std::make_shared<std::vector<std::byte>>();
            filling->reserve(kPerBlock * recordSize);
            runs.push_back({ filling, 0, 0 });
            starts.push_back(count);
        }
        calc::SharedEventRun& last = runs.back();
        const std::size_t take = std::min(n, kPerBlock - last.count);
        filling->insert(filling->end(), records, records + take * recordSize);
        last.count += take;
        records += take * recordSize;
        count += take;
        n -= take;
    }
}

void CachedAnalysisHost::Events::Share(const calc::SharedEvents& shared)
{
    for (const calc::SharedEventRun& run : shared.runs) {
        runs.push_back(run);
        starts.push_back(count);
        count += run.count;
    }
}

std::vector<std::size_t> CachedAnalysisHost::Generation() const
{
    std::vector<std::size_t> g { mDocument.UpdateCount(), mDocument.channelRequests.size() };
    for (const Record& r : mDocument.GetRecording().records)
        g.push_back(static_cast<std::size_t>(r.length));
    return g;
}

IEnumEventEx* CachedAnalysisHost::OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end)
{
    if (record == mDocument.GetRecording().samplingRecord) {
        ++mDocumentReads;
        return mDocument.OpenEvents(channel, record, start, end);
    }
    if (auto g = Generation(); g != mGeneration) {
        mCache.clear();
        mGeneration = std::move(g);
    }
    const Key key { channel.mChannel, channel.mKind, record, start, end };
    auto it = mCache.find(key);
    if (it == mCache.end()) {
        ++mDocumentReads;
        IEnumEventEx* live = mDocument.OpenEvents(channel, record, start, end);
        if (!live)
            return nullptr;
        auto events = std::make_shared<Events>();
        live->GetRecordSize(&events->recordSize);
        live->GetEventType(&events->typeId);
        live->GetTimeBase(&events->timeBase);
        if (events->recordSize < sizeof(LONG)) {
            live->Release();
            return nullptr;
        }
        // The engine's own blocks of a channel's events are held, not copied, where it keeps them.
        calc::SharedEvents shared;
        if (mDocument.ShareEvents(channel, record, start, end, shared) && shared.recordSize == events->recordSize) {
            live->Release();
            events->Share(shared);
            return new ReplayEvents(mCache.emplace(key, std::move(events)).first->second);
        }
        std::vector<std::byte> block(std::size_t(events->recordSize) * 64);
        HRESULT hr = S_OK;
        while (hr == S_OK) {
            DWORD count = 0;
            LONG next = 0;
            hr = live->Next(static_cast<DWORD>(block.size()), end, block.data(), &count, &next);
            if (FAILED(hr)) {
                live->Release();
                return nullptr;
            }
            events->Append(block.data(), count);
            if (hr == S_OK && (count == 0 || next >= end))
                break; // nothing more before the end asked for
        }
        live->Release();
        it = mCache.emplace(key, std::move(events)).first;
    }
    return new ReplayEvents(it->second);
}

HrvDataAccess::HrvDataAccess(HrvHostDocument& document)
    : mDocument(document)
{
}

HRESULT HrvDataAccess::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IDataAccess::kIid)
        *out = static_cast<IDataAccess*>(this);
    else if (iid == HRV::IRecordData::kIid)
        *out = static_cast<HRV::IRecordData*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HrvDataAccess::Release()
{
    const ULONG count = --mCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT HrvDataAccess::GetChannelSetting(DWORD, LONG, LONG, IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT HrvDataAccess::GetText(DWORD, LONG, LONG, BSTR* text)
{
    if (text)
        *text = nullptr;
    return E_NOTIMPL;
}

HRESULT HrvDataAccess::GetSourceDescriptor(DWORD, vx::hf::SourceDescriptor* out)
{
    if (!out)
        return E_POINTER;
    *out = vx::hf::SourceDescriptor {};
    return S_OK;
}

HRESULT HrvDataAccess::ResolvePosition(std::int64_t* position, DWORD)
{
    if (!position)
        return E_POINTER;
    int32_t record = vx::hf::TickRecord(*position);
    const int32_t last = mDocument.LastRecord();
    if (record == HRV::kLastRecord)
        record = last;
    if (record < 0 || record > last)
        return E_INVALIDARG;
    int32_t offset = vx::hf::TickOffset(*position);
    if (offset == 0x7FFFFFFF)
        offset = static_cast<int32_t>(mDocument.GetRecording().records[static_cast<std::size_t>(record)].length);
    *position = vx::hf::MakeTickPosition(record, offset);
    return S_OK;
}

HrvHostDocumentObject::HrvHostDocumentObject(HrvHostDocument& document)
    : mDocument(document)
    , mAccess(new HrvDataAccess(document))
{
}

HrvHostDocumentObject::~HrvHostDocumentObject()
{
    DetachChildren();
    mAccess->Release();
}

HRESULT HrvHostDocumentObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == HRV::IDataPadSource::kIid)
        *out = static_cast<HRV::IDataPadSource*>(this);
    else if (iid == HRV::IRecordingDocument::kIid)
        *out = static_cast<HRV::IRecordingDocument*>(this);
    else if (iid == IDocumentWindowName::kIid)
        *out = static_cast<IDocumentWindowName*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HrvHostDocumentObject::Release()
{
    const ULONG count = --mCount;
    if (count == 0)
        delete this;
    return count;
}

void HrvHostDocumentObject::AttachChild(DWORD classKey, IUnknown* document)
{
    if (document)
        document->AddRef();
    auto [it, added] = mChildren.emplace(classKey, document);
    if (!added) {
        if (it->second)
            it->second->Release();
        it->second = document;
    }
}

void HrvHostDocumentObject::DetachChildren()
{
    auto children = std::move(mChildren);
    mChildren.clear();
    for (auto& [key, child] : children)
        if (child)
            child->Release();
}

HRESULT HrvHostDocumentObject::GetDataAccess(const vx::hf::SourceDescriptor* source, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!source || source->code != vx::hf::kNoSourceCode)
        return E_INVALIDARG;
    mAccess->AddRef();
    *out = static_cast<IDataAccess*>(mAccess);
    return S_OK;
}

HRESULT HrvHostDocumentObject::GetChildDocument(DWORD classKey, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const auto it = mChildren.find(classKey);
    if (it == mChildren.end() || !it->second)
        return S_FALSE;
    it->second->AddRef();
    *out = it->second;
    return S_OK;
}

HRESULT HrvHostDocumentObject::PositionToTime(
    IUnknown*, const vx::hf::SourceDescriptor*, std::int64_t position, DWORD, DWORD, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    HRV::RecordInfo info;
    int32_t record = vx::hf::TickRecord(position);
    if (record == HRV::kLastRecord)
        record = mDocument.LastRecord();
    if (!mDocument.GetRecordInfo(record, info))
        return E_INVALIDARG;
    VariantClear(out);
    out->vt = VT_R8;
    out->dblVal = HRV::TimeOfPosition(info, vx::hf::TickOffset(position));
    return S_OK;
}

HRESULT HrvHostDocumentObject::GetTimeDisplayMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    *mode = kTimeFromStart;
    return S_OK;
}

HRESULT HrvHostDocumentObject::PositionToText(std::int64_t position, DWORD, DWORD mode, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if ((mode & 0xFF) != kTimeFromStart)
        return E_INVALIDARG;
    VARIANT time;
    VariantInit(&time);
    const HRESULT hr = PositionToTime(nullptr, nullptr, position, 0, 0, &time);
    if (FAILED(hr))
        return hr;
    const double t = time.dblVal;
    if (!std::isfinite(t))
        return E_FAIL;
    // Rounded to the millisecond first, so that 59.9996 s is written 0:01:00.000.
    const auto ms = static_cast<long long>(std::llround(std::abs(t) * 1000.0));
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%03lld", t < 0 && ms != 0 ? "-" : "", ms / 3600000,
        ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    *out = KEL::String(text, KEL::String::kUtf8).CopyRep();
    return S_OK;
}

HRESULT HrvHostDocumentObject::GetWindowName(BSTR* out)
{
    if (!out)
        return E_POINTER;
    const std::wstring& name = mDocument.options.windowName;
    *out = SysAllocStringLen(name.c_str(), static_cast<UINT>(name.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace vx::host
