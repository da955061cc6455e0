#pragma once
// Cursors over the host's sources of one record, as the enumerators read them: a sampled source
// read in stretches, and an event source searched for its next event. The cursors keep no
// position of their own (positions live in the enumerators' states, so that a state copied into
// a checkpoint resumes exactly); they only cache what they read.
#include "hostframework/interfaces/CalcEnumInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace HRV {

// A counted reference to a host source.
class SourceRef {
public:
    SourceRef() = default;
    explicit SourceRef(ICalcSource* source);
    SourceRef(const SourceRef& other);
    SourceRef& operator=(const SourceRef& other);
    ~SourceRef();
    ICalcSource* Get() const { return mSource; }

private:
    ICalcSource* mSource = nullptr;
};

class SampleCursor {
public:
    // Reads the source's length, interval and rate ratio; false when the host refuses.
    bool Open(ICalcSource* source);
    int64_t Length() const { return mLength; }
    double Interval() const { return mInterval; }
    double RateRatio() const { return mRatio; }
    // Samples [start, start + count) that lie inside the record (fewer at its end, none past it).
    void Read(int64_t start, int64_t count, std::vector<float>& out) const;

private:
    SourceRef mSource;
    int64_t mLength = 0;
    double mInterval = 0.0;
    double mRatio = 1.0;
};

class EventCursor {
public:
    bool Open(ICalcSource* source);
    int64_t Length() const { return mLength; }
    uint32_t RecordSize() const { return mRecordSize; }
    double RateRatio() const { return mRatio; }
    // The first event at or after `from`: its position and its record bytes. False when there is
    // none before the end of the record.
    bool NextAt(int32_t from, int32_t& position, const std::byte** record = nullptr);

private:
    void Fill(int32_t from);

    SourceRef mSource;
    int64_t mLength = 0;
    double mRatio = 1.0;
    uint32_t mRecordSize = 16;
    // Every event with a position in [mCacheStart, mCacheEnd).
    int32_t mCacheStart = 0;
    int32_t mCacheEnd = 0;
    std::vector<int32_t> mPositions;
    std::vector<std::byte> mRecords;
};

} // namespace HRV
