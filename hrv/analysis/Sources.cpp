#include "hrv/analysis/Sources.h"

#include <algorithm>
#include <cstring>

namespace HRV {

SourceRef::SourceRef(ICalcSource* source)
    : mSource(source)
{
    if (mSource)
        mSource->AddRef();
}

SourceRef::SourceRef(const SourceRef& other)
    : SourceRef(other.mSource)
{
}

SourceRef& SourceRef::operator=(const SourceRef& other)
{
    if (this != &other) {
        SourceRef copy(other);
        std::swap(mSource, copy.mSource);
    }
    return *this;
}

SourceRef::~SourceRef()
{
    if (mSource)
        mSource->Release();
}

namespace {
double Ratio(ICalcSource* source)
{
    LONG num = 1, den = 1;
    if (FAILED(source->GetRateRatio(&num, &den)) || num <= 0 || den <= 0)
        return 1.0;
    return static_cast<double>(num) / static_cast<double>(den);
}
} // namespace

bool SampleCursor::Open(ICalcSource* source)
{
    if (!source)
        return false;
    DWORD kind = 0;
    if (FAILED(source->GetInfo(&mLength, &mInterval, &kind)) || !(kind & kCalcSourceSampled))
        return false;
    mSource = SourceRef(source);
    mRatio = Ratio(source);
    return true;
}

void SampleCursor::Read(int64_t start, int64_t count, std::vector<float>& out) const
{
    start = std::max<int64_t>(start, 0);
    const int64_t end = std::min(start + std::max<int64_t>(count, 0), mLength);
    out.resize(static_cast<std::size_t>(std::max<int64_t>(end - start, 0)));
    if (out.empty() || !mSource.Get())
        return;
    if (FAILED(mSource.Get()->ReadSamples(start, static_cast<DWORD>(out.size()), out.data())))
        out.clear();
}

bool EventCursor::Open(ICalcSource* source)
{
    if (!source)
        return false;
    double interval = 0;
    DWORD kind = 0;
    if (FAILED(source->GetInfo(&mLength, &interval, &kind)) || !(kind & kCalcSourceEvents))
        return false;
    mSource = SourceRef(source);
    mRatio = Ratio(source);
    mCacheStart = mCacheEnd = 0;
    mPositions.clear();
    mRecords.clear();
    return true;
}

void EventCursor::Fill(int32_t from)
{
    // One stretch of 2^16 samples at a time: a few hundred beats at most.
    constexpr int64_t kStretch = 1 << 16;
    const auto end = static_cast<int32_t>(std::min<int64_t>(from + kStretch, std::min<int64_t>(mLength, 0x7FFFFFFF)));
    mPositions.clear();
    mRecords.clear();
    mCacheStart = from;
    mCacheEnd = from;
    if (!mSource.Get())
        return;
    std::vector<std::byte> buffer(64 * 128);
    int32_t at = from;
    while (at < end) {
        DWORD size = 0, count = 0;
        LONG next = end;
        const HRESULT hr = mSource.Get()->ReadEvents(at, end, static_cast<DWORD>(buffer.size()), buffer.data(), &size,
            &count, &next);
        if (FAILED(hr) || size < 8 || size > buffer.size())
            break;
        mRecordSize = size;
        count = std::min<DWORD>(count, static_cast<DWORD>(buffer.size() / size));
        for (DWORD i = 0; i < count; ++i) {
            int32_t p;
            std::memcpy(&p, buffer.data() + i * size, sizeof p);
            mPositions.push_back(p);
            mRecords.insert(mRecords.end(), buffer.data() + i * size, buffer.data() + (i + 1) * size);
        }
        if (next <= at)
            break;
        at = next;
    }
    mCacheEnd = at;
}

bool EventCursor::NextAt(int32_t from, int32_t& position, const std::byte** record)
{
    from = std::max(from, 0);
    for (;;) {
        if (from >= mLength)
            return false;
        if (from < mCacheStart || from >= mCacheEnd)
            Fill(from);
        if (mCacheEnd <= from)
            return false; // the host gave nothing
        auto it = std::lower_bound(mPositions.begin(), mPositions.end(), from);
        if (it != mPositions.end()) {
            position = *it;
            if (record)
                *record = mRecords.data() + static_cast<std::size_t>(it - mPositions.begin()) * mRecordSize;
            return true;
        }
        from = mCacheEnd;
    }
}

} // namespace HRV
