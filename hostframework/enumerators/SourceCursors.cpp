#include "hostframework/enumerators/SourceCursors.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>

#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"

namespace EEH3 {
namespace {

// p + 1 without passing the largest position.
LONG After(LONG p)
{
    return p == std::numeric_limits<LONG>::max() ? p : p + 1;
}

// A source that is itself a calculation enumerator starts where it is told through its own Seek;
// false for any other source.
bool SeekAsCalcEnum(IUnknown* source, LONG p)
{
    ICalcEnum* calc = nullptr;
    if (FAILED(source->QueryInterface(ICalcEnum::kIid, reinterpret_cast<void**>(&calc))) || !calc)
        return false;
    calc->Seek(p);
    calc->Release();
    return true;
}

// Moves a sample stream to p, relative to where the stream says it is (0 when it cannot say).
void SeekStreamTo(IFloatStreamEx* stream, LONG p)
{
    LONG current = 0;
    if (FAILED(stream->GetPosition(&current)))
        current = 0;
    stream->SeekRelative(static_cast<LONG>(int64_t(p) - current), nullptr);
}

} // namespace

bool eeh_SourceEnum::IsValid()
{
    if (mAtEnd)
        return false;
    if (HasBuffered())
        return true;
    return Next();
}

void eeh_SourceEnum::Reset()
{
    mIndex = 0;
    mCount = 0;
}

void eeh_SourceEnum::SetLimit(LONG limit)
{
    mReadLimit = limit;
    mLimit = limit;
    mAtEnd = false;
    Reset();
}

// --- FloatExWrapper ------------------------------------------------------------------------------

FloatExWrapper::FloatExWrapper(IFloatStreamEx* stream, LONG limit)
    : eeh_SourceEnum(limit, limit)
    , mStream(stream)
{
    if (mStream)
        mStream->AddRef();
}

FloatExWrapper::~FloatExWrapper()
{
    if (mStream)
        mStream->Release();
}

LONG FloatExWrapper::Position()
{
    if (!mStream || mAtEnd)
        return mBufferStart;
    if (HasBuffered())
        return mBufferStart + static_cast<LONG>(mIndex);
    LONG p = 0;
    if (FAILED(mStream->GetPosition(&p)))
        p = mLimit;
    return std::min(p, mLimit);
}

bool FloatExWrapper::Next()
{
    if (!mStream) {
        // A cursor that only counts; it stops counting at the largest position.
        if (mBufferStart < std::numeric_limits<LONG>::max())
            ++mBufferStart;
        return true;
    }
    if (HasBuffered()) {
        ++mIndex;
        if (mIndex < mCount)
            return true;
    }
    mIndex = 0;
    mCount = 0;
    const LONG start = Position();
    mBufferStart = start;
    // A block is read while its start lies below the limit, so the sample at limit - 1 is read
    // too.
    if (start < mLimit) {
        const ULONG want = static_cast<ULONG>(std::min<int64_t>(int64_t(mLimit) - start, kBlock));
        mBuffer.resize(want);
        ULONG got = 0;
        const HRESULT hr = mStream->Read(want, mBuffer.data(), &got);
        got = std::min(got, want); // never trust a count beyond the buffer
        if (got > 0 && SUCCEEDED(hr)) {
            mCount = got;
            mIndex = 0;
            return true;
        }
        if (got == 0 && hr == S_OK)
            return false; // no data yet, but not at the end
    } else {
        mBufferStart = mLimit;
    }
    mAtEnd = true;
    return false;
}

bool FloatExWrapper::IsValid()
{
    if (!mStream)
        return true;
    return eeh_SourceEnum::IsValid();
}

void FloatExWrapper::SeekTo(LONG p)
{
    if (p >= mLimit) {
        mAtEnd = true;
        // The buffered block no longer starts where it did; drop it so a later seek back does
        // not take its samples for those of the limit.
        mIndex = 0;
        mCount = 0;
        mBufferStart = mLimit;
        return;
    }
    if (!mStream) {
        mBufferStart = p;
        return;
    }
    if (mCount > 0 && !mAtEnd && p >= mBufferStart && int64_t(p) < int64_t(mBufferStart) + mCount) {
        mIndex = static_cast<ULONG>(p - mBufferStart);
        return;
    }
    if (!mAtEnd && p == Position())
        return;
    // The move is relative to where the stream really is (after a buffered block that is the
    // block's end, after reaching the end wherever the last read left it).
    SeekStreamTo(mStream, p);
    Reset();
    mAtEnd = false;
}

void FloatExWrapper::SetStart(LONG p)
{
    mSeekRequested = true;
    if (mStream && !SeekAsCalcEnum(mStream, p))
        SeekStreamTo(mStream, p);
}

HRESULT FloatExWrapper::GetLength(LONG* length) const
{
    if (!length)
        return E_POINTER;
    return mStream ? mStream->GetLength(length) : E_FAIL;
}

HRESULT FloatExWrapper::GetTimeBase(vx::hf::RateRatio* ratio)
{
    if (!ratio)
        return E_POINTER;
    if (mStream)
        return mStream->GetTimeBase(ratio);
    *ratio = vx::hf::RateRatio {};
    return S_OK;
}

void FloatExWrapper::Reset()
{
    eeh_SourceEnum::Reset();
    mBufferStart = 0;
    if (!mBuffer.empty())
        mBuffer[0] = 0.0f;
}

// --- EventWrapper --------------------------------------------------------------------------------

EventWrapper::EventWrapper(IEnumEventEx* source, LONG limit)
    : eeh_SourceEnum(limit, limit)
    , mSource(source)
{
    if (!mSource) {
        mAtEnd = true;
        return;
    }
    mSource->AddRef();
    ULONG size = 0;
    if (FAILED(mSource->GetRecordSize(&size)) || size < sizeof(int32_t) || size > (1u << 20)) {
        // Every record opens with its position; a source that cannot say how long its records
        // are gives nothing to read.
        mAtEnd = true;
        return;
    }
    mReportedRecordSize = size;
    mRecordSize = static_cast<LONG>(size);
    mBufferBytes = static_cast<LONG>(std::max<ULONG>(size * kCapacity, 1));
    mCapacity = kCapacity;
    mBuffer.resize(static_cast<std::size_t>(mBufferBytes));
}

EventWrapper::~EventWrapper()
{
    if (mSource)
        mSource->Release();
}

LONG EventWrapper::RecordPosition(ULONG i) const
{
    int32_t p;
    std::memcpy(&p, mBuffer.data() + std::size_t(i) * std::size_t(mRecordSize), sizeof p);
    return p;
}

LONG EventWrapper::Position()
{
    if (mAtEnd || !mSource)
        return kNoPosition;
    if (HasBuffered())
        return RecordPosition(mIndex);
    LONG p = kNoPosition;
    if (FAILED(mSource->GetPosition(&p)))
        return kNoPosition;
    return p;
}

bool EventWrapper::Next()
{
    if (!mSource || mRecordSize <= 0) {
        mAtEnd = true;
        return false;
    }
    if (HasBuffered()) {
        ++mIndex;
        if (mIndex < mCount)
            return true;
    }
    Empty();
    ULONG got = 0;
    LONG next = kNoPosition;
    const HRESULT hr = mSource->Next(static_cast<ULONG>(mBufferBytes), mReadLimit, mBuffer.data(), &got, &next);
    got = std::min<ULONG>(got, static_cast<ULONG>(mCapacity)); // never beyond the buffer
    if (got > 0 && SUCCEEDED(hr)) {
        mCount = got;
        mIndex = 0;
        return true;
    }
    if (next >= mLimit || hr != S_OK)
        mAtEnd = true;
    return false;
}

void EventWrapper::SeekTo(LONG p)
{
    if (!mSource) {
        mAtEnd = true;
        return;
    }
    if (Position() == p)
        return;
    if (p < mLimit) {
        mAtEnd = false;
        if (mCount > 0 && p >= RecordPosition(0) && p <= RecordPosition(mCount - 1)) {
            ULONG i = 0;
            while (i < mCount && RecordPosition(i) < p)
                ++i;
            mIndex = i;
            return;
        }
    }
    Empty();
    mSource->Find(0, p, 0, After(p));
    LONG current = kNoPosition;
    if (FAILED(mSource->GetPosition(&current)))
        current = kNoPosition;
    if (current == kNoPosition || p >= mLimit)
        mAtEnd = true;
}

void EventWrapper::SetStart(LONG p)
{
    mSeekRequested = true;
    if (mSource && !SeekAsCalcEnum(mSource, p))
        mSource->Find(0, p, p, After(p));
}

void EventWrapper::SetLimit(LONG limit)
{
    eeh_SourceEnum::SetLimit(limit);
    if (!mSource || mRecordSize <= 0)
        mAtEnd = true;
}

IEnumEventEx* EventWrapper::CloneSource() const
{
    if (!mSource)
        return nullptr;
    IEnumEventEx* copy = nullptr;
    if (SUCCEEDED(mSource->Clone(&copy)) && copy)
        return copy;
    mSharedSource = true;
    mSource->AddRef();
    return mSource;
}

HRESULT EventWrapper::GetTimeBase(vx::hf::RateRatio* ratio)
{
    if (!ratio)
        return E_POINTER;
    if (mSource)
        return mSource->GetTimeBase(ratio);
    *ratio = vx::hf::RateRatio {};
    return S_OK;
}

// --- ReadIntRect ---------------------------------------------------------------------------------

namespace {
int32_t ToInt32(double v)
{
    if (std::isnan(v))
        return std::numeric_limits<int32_t>::min();
    const double r = std::round(v); // half away from zero
    if (r > 2147483647.0)
        return 0x7FFFFFFF;
    if (r < -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}
} // namespace

void ReadIntRect(std::wistream& in, int32_t out[4])
{
    const std::locale old = in.imbue(std::locale::classic());
    double values[4] = { 0.0, 0.0, 2147483647.0, 2147483647.0 };
    // A failed read leaves its value and every later one (the stream stays failed); the read
    // goes through a scratch value, since a failed extraction writes 0.
    for (double& v : values) {
        double read = 0.0;
        if (!(in >> read))
            break;
        v = read;
    }
    const double a = values[0], b = values[1], c = values[2], d = values[3];
    in.imbue(old);
    out[0] = ToInt32(b);
    out[1] = ToInt32(a);
    out[2] = ToInt32(d);
    out[3] = ToInt32(c);
    if (out[1] < 0)
        out[1] = 0;
    if (out[0] < 0)
        out[0] = 0;
    if (out[3] < 0)
        out[3] = 0x7FFFFFFF;
    if (out[2] < 0)
        out[2] = 0x7FFFFFFF;
}

HRESULT SelectorUnit(IUnitName** out)
{
    if (!out)
        return E_POINTER;
    auto* unit = new KEL::UnitEntry(KEL::String(L"?"), KEL::kPrefixNone);
    unit->AddRef();
    *out = unit;
    return S_OK;
}

} // namespace EEH3
