#include "host/recording/HostSources.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/base/ExceptionBoundary.h"

namespace vx::host {

vx::hf::RateRatio RatioOf(double interval, double offset)
{
    vx::hf::RateRatio r;
    r.offset = offset;
    if (interval > 0 && std::isfinite(interval)) {
        const double rate = 1.0 / interval;
        if (std::abs(rate - std::round(rate)) < 1e-9 * rate && rate < 1e12) {
            r.numerator = 1;
            r.denominator = static_cast<int64_t>(std::llround(rate));
        } else {
            r.numerator = static_cast<int64_t>(std::llround(interval * 1e9));
            r.denominator = 1'000'000'000;
        }
    }
    return r;
}

HostFloatStream::HostFloatStream(std::shared_ptr<const Recording> recording, int channel, int record)
    : mRecording(std::move(recording))
    , mChannel(channel)
    , mRecord(record)
{
}

HostFloatStream::HostFloatStream(
    std::shared_ptr<const Recording> recording, std::shared_ptr<calc::Signal> signal, int record)
    : mRecording(std::move(recording))
    , mSignal(std::move(signal))
    , mChannel(-1)
    , mRecord(record)
{
}

int64_t HostFloatStream::Length() const
{
    if (mSignal)
        return mRecord >= 0 && mRecord < mRecording->RecordCount() ? mSignal->Info(mRecord).length : 0;
    return mRecording->ChannelLength(mChannel, mRecord);
}

HRESULT HostFloatStream::GetLength(LONG* length)
{
    if (!length)
        return E_POINTER;
    *length = static_cast<LONG>(std::min<int64_t>(Length(), 0x7FFFFFFF));
    return S_OK;
}

HRESULT HostFloatStream::SeekRelative(LONG distance, LONG* position)
{
    ++seeks;
    mPosition = std::clamp<int64_t>(mPosition + distance, 0, Length());
    if (position)
        *position = static_cast<LONG>(mPosition);
    return S_OK;
}

HRESULT HostFloatStream::GetPosition(LONG* position)
{
    if (!position)
        return E_POINTER;
    *position = static_cast<LONG>(mPosition);
    return S_OK;
}

HRESULT HostFloatStream::GetRecord(LONG* record)
{
    if (!record)
        return E_POINTER;
    *record = mRecord;
    return S_OK;
}

HRESULT HostFloatStream::GetTimeBase(vx::hf::RateRatio* ratio)
{
    if (!ratio)
        return E_POINTER;
    const calc::TimeBase tb = mSignal
        ? (mRecord >= 0 && mRecord < mRecording->RecordCount() ? mSignal->Info(mRecord) : calc::TimeBase {})
        : mRecording->ChannelInfo(mChannel, mRecord);
    const double start = mRecord >= 0 && mRecord < mRecording->RecordCount()
        ? mRecording->records[static_cast<std::size_t>(mRecord)].startTime
        : 0.0;
    *ratio = RatioOf(tb.interval, start);
    return S_OK;
}

HRESULT HostFloatStream::Read(ULONG count, float* buffer, ULONG* read)
{
    ++reads;
    if (!read || (!buffer && count))
        return E_POINTER;
    *read = 0;
    if ((!mSignal && (mChannel < 0 || mChannel >= mRecording->ChannelCount())) || mRecord < 0
        || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    const int64_t n = std::min<int64_t>(count, Length() - mPosition);
    if (n <= 0)
        return mRecord == mRecording->samplingRecord ? S_OK : S_FALSE;
    // A formula that cannot be evaluated: the stream is broken, nothing is thrown.
    const HRESULT hr = vx::hf::Guarded("reading a channel of the recording", [&] {
        if (mSignal)
            mSignal->Read(mRecord, mPosition, std::span(buffer, static_cast<std::size_t>(n)));
        else
            mRecording->ReadPhysical(mChannel, mRecord, mPosition, std::span(buffer, static_cast<std::size_t>(n)));
    });
    if (FAILED(hr))
        return hr;
    mPosition += n;
    *read = static_cast<ULONG>(n);
    return S_OK;
}

HostEventSource::HostEventSource(std::shared_ptr<const Recording> recording, int eventChannel, int record)
    : mRecording(std::move(recording))
    , mRecord(record)
{
    static const std::vector<std::byte> kNone;
    const EventChannel& c = mRecording->eventChannels.at(static_cast<std::size_t>(eventChannel));
    mRecordSize = c.recordSize;
    // Shares the recording's bytes (kept alive by the recording) without copying them.
    if (record >= 0 && record < static_cast<int>(c.records.size()))
        mBytes
            = std::shared_ptr<const std::vector<std::byte>>(mRecording, &c.records[static_cast<std::size_t>(record)]);
    else
        mBytes = std::shared_ptr<const std::vector<std::byte>>(std::shared_ptr<void>(), &kNone);
}

HostEventSource::HostEventSource(std::shared_ptr<const Recording> recording,
    std::shared_ptr<const std::vector<std::byte>> bytes, uint32_t recordSize, int record)
    : mRecording(std::move(recording))
    , mRecord(record)
    , mRecordSize(recordSize)
    , mBytes(bytes ? std::move(bytes) : std::make_shared<const std::vector<std::byte>>())
{
}

HostEventSource::HostEventSource(
    std::shared_ptr<const Recording> recording, const std::shared_ptr<calc::EventSignal>& signal, int record)
    : mRecording(std::move(recording))
    , mRecord(record)
{
    calc::EventBuffer buffer;
    buffer.recordSize = signal->RecordSize();
    if (record >= 0 && record < mRecording->RecordCount())
        signal->Read(record, 0, std::max<int64_t>(signal->Info(record).length, 1), buffer);
    mRecordSize = buffer.recordSize;
    mBytes = std::make_shared<const std::vector<std::byte>>(std::move(buffer.bytes));
}

int32_t HostEventSource::PositionAt(std::size_t i) const
{
    int32_t p;
    std::memcpy(&p, mBytes->data() + i * mRecordSize, sizeof p);
    return p;
}

HRESULT HostEventSource::Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next)
{
    ++reads;
    if (!count || !next || (!buffer && bufferBytes))
        return E_POINTER;
    *count = 0;
    *next = 0x7FFFFFFF;
    const std::size_t total = Count();
    const std::size_t room = mRecordSize ? bufferBytes / mRecordSize : 0;
    auto* out = static_cast<std::byte*>(buffer);
    while (*count < room && mIndex < total && PositionAt(mIndex) < endOffset) {
        std::memcpy(out + std::size_t(*count) * mRecordSize, mBytes->data() + mIndex * mRecordSize, mRecordSize);
        ++*count;
        ++mIndex;
    }
    if (mIndex < total)
        *next = PositionAt(mIndex);
    return S_OK;
}

HRESULT HostEventSource::Find(LONG backward, LONG start, LONG, LONG)
{
    ++finds;
    const std::size_t total = Count();
    // The first event at or after start (events are in position order).
    std::size_t i = 0, n = total;
    while (n > 0) {
        const std::size_t half = n / 2;
        if (PositionAt(i + half) < start) {
            i += half + 1;
            n -= half + 1;
        } else {
            n = half;
        }
    }
    if (backward && i > 0 && (i == total || PositionAt(i) != start))
        --i;
    mIndex = i;
    return S_OK;
}

HRESULT HostEventSource::GetPosition(LONG* position)
{
    if (!position)
        return E_POINTER;
    *position = mIndex < Count() ? PositionAt(mIndex) : 0x7FFFFFFF;
    return S_OK;
}

HRESULT HostEventSource::Reserved6(LONG* result)
{
    if (result)
        *result = 0;
    return E_NOTIMPL;
}

HRESULT HostEventSource::Clone(IEnumEventEx** out)
{
    if (!out)
        return E_POINTER;
    auto* copy = new HostEventSource(*this);
    copy->mIndex = mIndex;
    *out = copy;
    return S_OK;
}

HRESULT HostEventSource::GetRecordSize(ULONG* size)
{
    if (!size)
        return E_POINTER;
    *size = mRecordSize;
    return S_OK;
}

HRESULT HostEventSource::GetEventType(DWORD* type)
{
    if (!type)
        return E_POINTER;
    *type = 0;
    return S_OK;
}

HRESULT HostEventSource::Reserved10(LONG* result)
{
    if (result)
        *result = 0;
    return E_NOTIMPL;
}

HRESULT HostEventSource::GetTimeBase(vx::hf::RateRatio* ratio)
{
    if (!ratio)
        return E_POINTER;
    const calc::TimeBase tb = mRecording->RecordInfo(mRecord);
    *ratio = RatioOf(tb.interval,
        mRecord >= 0 && mRecord < mRecording->RecordCount()
            ? mRecording->records[static_cast<std::size_t>(mRecord)].startTime
            : 0.0);
    return S_OK;
}

} // namespace vx::host
