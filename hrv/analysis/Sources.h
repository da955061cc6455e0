#pragma once
// Cursors over the host's sources of one record, as the enumerators read them: the samples of a
// channel (IFloatStreamEx) read in stretches, and an event source (IEnumEventEx) searched for its
// next event. The cursors keep no position that matters to the result (positions live in the
// enumerators' states, so that a state copied into a checkpoint resumes exactly); they only cache
// what they read.
#include "hostframework/interfaces/CalcInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace HRV {

// A counted reference to a host interface.
template <class I> class HostRef {
public:
    HostRef() = default;
    explicit HostRef(I* p)
        : mP(p)
    {
        if (mP)
            mP->AddRef();
    }
    HostRef(const HostRef& o)
        : HostRef(o.mP)
    {
    }
    HostRef& operator=(const HostRef& o)
    {
        HostRef copy(o);
        std::swap(mP, copy.mP);
        return *this;
    }
    ~HostRef()
    {
        if (mP)
            mP->Release();
    }
    I* Get() const { return mP; }

private:
    I* mP = nullptr;
};

// The sample interval of a time base, seconds (0 when unusable).
double IntervalOf(const vx::hf::RateRatio& ratio);

class SampleCursor {
public:
    // Holds the source's sample stream; false when it is not one or the host refuses.
    bool Open(IUnknown* source);
    int64_t Length() const { return mLength; }
    double Interval() const { return mInterval; }
    // Reads the length again (a record that is still being sampled grows); true while the host
    // says the record grows.
    bool Refresh();
    bool Growing() const { return mGrowing; }
    // Samples [start, start + count) that lie inside the record (fewer at its end, none past it).
    void Read(int64_t start, int64_t count, std::vector<float>& out) const;

private:
    HostRef<IFloatStreamEx> mStream;
    int64_t mLength = 0;
    bool mGrowing = false;
    double mInterval = 0.0;
};

class EventCursor {
public:
    // Holds the source's event interface; events are searched below `limit`.
    bool Open(IUnknown* source, int64_t limit);
    uint32_t RecordSize() const { return mRecordSize; }
    // Events are searched below a new limit from here on (what was read is read again).
    void SetLimit(int64_t limit);
    // The first event at or after `from` below the limit: its position and its record bytes.
    bool NextAt(int32_t from, int32_t& position, const std::byte** record = nullptr);

private:
    void Fill(int32_t from);

    HostRef<IEnumEventEx> mSource;
    int64_t mLimit = 0;
    uint32_t mRecordSize = 16;
    // Every event with a position in [mCacheStart, mCacheEnd); none at or after mCacheEnd when
    // mExhausted.
    int32_t mCacheStart = 0;
    int32_t mCacheEnd = 0;
    bool mExhausted = false;
    std::vector<int32_t> mPositions;
    std::vector<std::byte> mRecords;
};

} // namespace HRV
