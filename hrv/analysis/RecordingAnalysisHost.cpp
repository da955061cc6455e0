#include "hrv/analysis/RecordingAnalysisHost.h"

#include "hostframework/interfaces/TickPosition.h"

#include <algorithm>

namespace HRV {

DWORD EventEnumerationKind(const ChannelRef& channel)
{
    return (channel.mKind & 0xFF) == 4 ? 0x80000004u : 0xC0000000u;
}

RecordingAnalysisHost::RecordingAnalysisHost(IRecordingDoc* document, const ChannelRef& sourceChannel)
    : mDocument(document)
    , mSource(sourceChannel)
{
    if (mDocument) {
        mDocument->AddRef();
        if (FAILED(mDocument->QueryInterface(IDocumentTime::kIid, reinterpret_cast<void**>(&mTime))))
            mTime = nullptr;
    }
}

RecordingAnalysisHost::~RecordingAnalysisHost()
{
    if (mTime)
        mTime->Release();
    if (mDocument)
        mDocument->Release();
}

int32_t RecordingAnalysisHost::RecordCount()
{
    LONG count = 0;
    if (!mTime || FAILED(mTime->GetRecordCount(&count)))
        return 0;
    return count;
}

bool RecordingAnalysisHost::GetRecordInfo(int32_t record, RecordInfo& info)
{
    if (!mDocument || !mTime)
        return false;
    double interval = 0, start = 0;
    std::int64_t endTick = 0;
    if (FAILED(mDocument->GetSampleInterval(mSource.mKind, record, mSource.mChannel, &interval))
        || FAILED(mTime->GetTickTime(vx::hf::MakeTickPosition(record, 0), &start))
        || FAILED(mTime->GetRecordEndTick(record, &endTick)))
        return false;
    // The document's clock gives the time of the record's first sample directly: no time
    // offset and no base offset remain to subtract.
    info = { interval, start, 0.0, 0, vx::hf::TickOffset(endTick) };
    return true;
}

IEnumEventEx* RecordingAnalysisHost::OpenEvents(const ChannelRef& channel, int32_t record, int32_t start, int32_t end)
{
    if (!mDocument)
        return nullptr;
    const DWORD kind = EventEnumerationKind(channel);
    IUnknown* sourceObject = nullptr;
    if (FAILED(mDocument->GetSourceObject(kind, record, channel.mChannel, &sourceObject)) || !sourceObject)
        return nullptr;
    ISourceData* data = nullptr;
    const HRESULT hr = sourceObject->QueryInterface(ISourceData::kIid, reinterpret_cast<void**>(&data));
    sourceObject->Release();
    if (FAILED(hr) || !data)
        return nullptr;
    IUnknown* stream = nullptr;
    const HRESULT got = data->GetStream(kind, std::max(start, 0), end, 0, &stream);
    data->Release();
    if (FAILED(got) || !stream)
        return nullptr;
    IEnumEventEx* events = nullptr;
    if (FAILED(stream->QueryInterface(IEnumEventEx::kIid, reinterpret_cast<void**>(&events))))
        events = nullptr;
    stream->Release();
    return events;
}

int32_t RecordingAnalysisHost::SampledRecord()
{
    return std::max(RecordCount() - 1, 0);
}

} // namespace HRV
