#include "hrv/analysis/Sources.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace HRV {

double IntervalOf(const vx::hf::RateRatio& r)
{
    if (r.numerator <= 0 || r.denominator <= 0)
        return 0.0;
    return static_cast<double>(r.numerator) / static_cast<double>(r.denominator);
}

bool SampleCursor::Open(IUnknown* source)
{
    *this = SampleCursor();
    if (!source)
        return false;
    void* p = nullptr;
    if (FAILED(source->QueryInterface(IFloatStreamEx::kIid, &p)) || !p)
        return false;
    auto* stream = static_cast<IFloatStreamEx*>(p);
    mStream = HostRef<IFloatStreamEx>(stream);
    stream->Release();
    LONG length = 0;
    const HRESULT hr = stream->GetLength(&length);
    if (FAILED(hr) || length < 0) {
        mStream = {};
        return false;
    }
    mLength = length;
    mGrowing = hr == S_FALSE;
    vx::hf::RateRatio ratio;
    if (SUCCEEDED(stream->GetTimeBase(&ratio)))
        mInterval = IntervalOf(ratio);
    return true;
}

bool SampleCursor::Refresh()
{
    LONG length = 0;
    IFloatStreamEx* s = mStream.Get();
    if (!s)
        return false;
    const HRESULT hr = s->GetLength(&length);
    if (SUCCEEDED(hr) && length >= 0) {
        mLength = length;
        mGrowing = hr == S_FALSE;
    }
    return mGrowing;
}

void SampleCursor::Read(int64_t start, int64_t count, std::vector<float>& out) const
{
    start = std::max<int64_t>(start, 0);
    const int64_t end = std::min(start + std::max<int64_t>(count, 0), mLength);
    out.resize(static_cast<std::size_t>(std::max<int64_t>(end - start, 0)));
    IFloatStreamEx* s = mStream.Get();
    if (out.empty() || !s)
        return;
    LONG current = 0, moved = 0;
    if (FAILED(s->GetPosition(&current)) || FAILED(s->SeekRelative(static_cast<LONG>(start - current), &moved))
        || moved != start) {
        out.clear();
        return;
    }
    std::size_t filled = 0;
    while (filled < out.size()) {
        ULONG read = 0;
        const HRESULT hr = s->Read(static_cast<ULONG>(out.size() - filled), out.data() + filled, &read);
        if (FAILED(hr) || read == 0)
            break;
        filled += std::min<std::size_t>(read, out.size() - filled);
    }
    out.resize(filled);
}

bool EventCursor::Open(IUnknown* source, int64_t limit)
{
    *this = EventCursor();
    if (!source)
        return false;
    void* p = nullptr;
    if (FAILED(source->QueryInterface(IEnumEventEx::kIid, &p)) || !p)
        return false;
    auto* events = static_cast<IEnumEventEx*>(p);
    mSource = HostRef<IEnumEventEx>(events);
    events->Release();
    ULONG size = 0;
    if (FAILED(events->GetRecordSize(&size)) || size < 8) {
        mSource = {};
        return false;
    }
    mRecordSize = size;
    mLimit = std::clamp<int64_t>(limit, 0, 0x7FFFFFFF);
    return true;
}

void EventCursor::SetLimit(int64_t limit)
{
    limit = std::clamp<int64_t>(limit, 0, 0x7FFFFFFF);
    if (limit == mLimit)
        return;
    mLimit = limit;
    mPositions.clear();
    mRecords.clear();
    mCacheStart = mCacheEnd = 0;
    mExhausted = false;
}

void EventCursor::Fill(int32_t from)
{
    // One stretch of 2^16 samples at a time: a few hundred beats at most.
    constexpr int64_t kStretch = 1 << 16;
    const auto end = static_cast<int32_t>(std::min<int64_t>(from + kStretch, mLimit));
    mPositions.clear();
    mRecords.clear();
    mCacheStart = from;
    mCacheEnd = from;
    mExhausted = false;
    IEnumEventEx* s = mSource.Get();
    if (!s || from >= end)
        return;
    if (FAILED(s->Find(0, from, from, end)))
        return;
    std::vector<std::byte> buffer(static_cast<std::size_t>(mRecordSize) * 64);
    // A source whose record still grows stops short of the end asked for: what lies beyond
    // `reached` is not known yet.
    int32_t reached = end;
    for (;;) {
        ULONG count = 0;
        LONG next = 0x7FFFFFFF;
        const HRESULT hr = s->Next(static_cast<ULONG>(buffer.size()), end, buffer.data(), &count, &next);
        if (FAILED(hr))
            return; // the stretch stays unread: nothing is cached
        count = std::min<ULONG>(count, 64);
        for (ULONG i = 0; i < count; ++i) {
            int32_t pos;
            std::memcpy(&pos, buffer.data() + i * mRecordSize, sizeof pos);
            if (pos < from || pos >= end || (!mPositions.empty() && pos < mPositions.back()))
                continue;
            mPositions.push_back(pos);
            mRecords.insert(mRecords.end(), buffer.data() + i * mRecordSize, buffer.data() + (i + 1) * mRecordSize);
        }
        if (next == 0x7FFFFFFF) {
            mExhausted = true;
            break;
        }
        if (next >= end || count == 0 || hr != S_OK) {
            if (count == 0 && hr == S_OK && next < end)
                reached = std::max(next, from);
            break;
        }
    }
    mCacheEnd = mExhausted ? end : reached;
}

bool EventCursor::NextAt(int32_t from, int32_t& position, const std::byte** record)
{
    from = std::max(from, 0);
    for (;;) {
        if (from >= mLimit)
            return false;
        if (from < mCacheStart || (from >= mCacheEnd && !(mExhausted && from >= mCacheStart)))
            Fill(from);
        if (mCacheEnd <= from && !mExhausted)
            return false; // the host gave nothing
        auto it = std::lower_bound(mPositions.begin(), mPositions.end(), from);
        if (it != mPositions.end()) {
            position = *it;
            if (record)
                *record = mRecords.data() + static_cast<std::size_t>(it - mPositions.begin()) * mRecordSize;
            return true;
        }
        if (mExhausted)
            return false;
        from = mCacheEnd;
    }
}

} // namespace HRV
