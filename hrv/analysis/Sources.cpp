#include "hrv/analysis/Sources.h"

#include <algorithm>

#include "hrv/analysis/FiducialEvent.h"

namespace HRV {

namespace {
LONG ClampPosition(int64_t p)
{
    return static_cast<LONG>(std::clamp<int64_t>(p, 0, EEH3::kNoPosition));
}

// Events this far ahead of the cursor are found by a seek of the source rather than by reading
// every event in between.
constexpr int32_t kStepAhead = 1 << 16;
} // namespace

double IntervalOf(const vx::hf::RateRatio& r)
{
    if (r.numerator <= 0 || r.denominator <= 0)
        return 0.0;
    return static_cast<double>(r.numerator) / static_cast<double>(r.denominator);
}

std::unique_ptr<EEH3::FloatExWrapper> OpenSamples(IUnknown* source, int64_t& length, bool& growing, double& interval)
{
    length = 0;
    growing = false;
    interval = 0.0;
    void* p = nullptr;
    if (!source || FAILED(source->QueryInterface(IFloatStreamEx::kIid, &p)) || !p)
        return nullptr;
    auto* stream = static_cast<IFloatStreamEx*>(p);
    LONG n = 0;
    const HRESULT hr = stream->GetLength(&n);
    std::unique_ptr<EEH3::FloatExWrapper> cursor;
    if (SUCCEEDED(hr) && n >= 0) {
        length = n;
        growing = hr == S_FALSE;
        vx::hf::RateRatio ratio;
        if (SUCCEEDED(stream->GetTimeBase(&ratio)))
            interval = IntervalOf(ratio);
        cursor = std::make_unique<EEH3::FloatExWrapper>(stream, ClampPosition(length));
    }
    stream->Release(); // the cursor holds its own
    return cursor;
}

template <class T> std::unique_ptr<EEH3::EventWrapperEx<T>> OpenEvents(IUnknown* source, int64_t limit)
{
    void* p = nullptr;
    if (!source || FAILED(source->QueryInterface(IEnumEventEx::kIid, &p)) || !p)
        return nullptr;
    auto* events = static_cast<IEnumEventEx*>(p);
    auto cursor = std::make_unique<EEH3::EventWrapperEx<T>>(events, ClampPosition(limit));
    events->Release();
    if (cursor->RecordSize() < sizeof(KELEventBase))
        return nullptr;
    return cursor;
}

template std::unique_ptr<EEH3::EventWrapperEx<KELEventBase>> OpenEvents(IUnknown*, int64_t);
template std::unique_ptr<EEH3::EventWrapperEx<FiducialEvent>> OpenEvents(IUnknown*, int64_t);

void ReadSamples(EEH3::FloatExWrapper& cursor, int64_t start, int64_t count, std::vector<float>& out)
{
    out.clear();
    start = std::max<int64_t>(start, 0);
    const int64_t end = std::min(start + std::max<int64_t>(count, 0), static_cast<int64_t>(cursor.Limit()));
    if (start >= end)
        return;
    out.reserve(static_cast<std::size_t>(end - start));
    for (int64_t p = start; p < end; ++p) {
        const auto at = static_cast<LONG>(p);
        // Inside the buffered block this only moves the cursor; past it the stream is moved to p
        // from wherever it is.
        cursor.SeekTo(at);
        if (!cursor.IsValid() || cursor.Position() != at)
            break;
        out.push_back(cursor.Value());
    }
}

bool NextEventAt(EEH3::EventWrapper& cursor, int32_t from, int32_t& position, const std::byte** record)
{
    from = std::max(from, 0);
    if (from >= cursor.Limit())
        return false;
    // On from an earlier event the cursor reads on (unless another cursor may have moved the
    // source it shares); anywhere else the source is moved to from.
    const bool ahead = !cursor.SharesSource() && cursor.HasBuffered() && cursor.Position() < from
        && from - cursor.Position() <= kStepAhead;
    if (!ahead)
        cursor.SeekTo(from);
    if (!cursor.IsValid())
        return false;
    while (cursor.Position() < from)
        if (!cursor.Next())
            return false;
    position = cursor.Position();
    if (position >= cursor.Limit())
        return false;
    if (record)
        *record = cursor.Current();
    return true;
}

} // namespace HRV
