#pragma once
// The engine's own stages computed ahead of an extension enumerator on worker threads.
//
// An enumerator walks its sources (a filtered channel, the peak events of a stage chain) from the
// start of a record to its end on the thread that created it. Every stage computes its output on
// a fixed grid of blocks, so a stretch of a stage's output is the same whichever object computes
// it and whatever it computed before. Each worker thread therefore gets a private copy of the
// sources' stage graph (compiled from the same formulas) and computes whole segments of the
// record ahead of the enumerator; the enumerator's stand-in sources hand out those segments. The
// segments overlap nothing: each copy reads the look-back and look-ahead its stages need from its
// own stages, exactly as a single pass would.
//
// Only a record whose samples stay as they are is read ahead (see IRecording::ReadsConcurrently).
// Reading starts on the enumerator's thread through the sources themselves; once the enumerator
// has walked forward through a whole segment the workers start, so that short reads (a preview, a
// data-pad value) never compute more than they ask for.
#include "host/calc/Functions.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vx::calc {

// A source of an enumerator: a sampled stage or an event stage.
struct StageSource {
    SignalPtr samples;
    EventSignalPtr events;
};
// Private copies of the same sources, one set per worker thread.
using StageCopies = std::vector<std::vector<StageSource>>;

class ReadAhead {
public:
    // Samples per segment: the unit of work of a worker.
    static constexpr int64_t kSegment = 8 * BlockSignal::kBlock;

    // The sources as the enumerator's thread reads them, the copies of the workers (one worker
    // per set) and the record read ahead.
    ReadAhead(std::vector<StageSource> sources, StageCopies copies, int record);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The stand-in of source i (the one that is set), valid for the life of this object.
    Signal* Samples(std::size_t i) const;
    EventSignal* Events(std::size_t i) const;

    // True while the copies are held (not yet released).
    bool HoldsCopies() const { return !mReleased; }
    // Stops the workers and hands their copies back, trimmed; the stand-ins then read the sources
    // directly.
    StageCopies Release();

private:
    class AheadSamples;
    class AheadEvents;
    enum class State { Queued, Running, Done };
    struct Segment {
        int64_t index = 0;
        State state = State::Queued;
        std::exception_ptr error;
        std::vector<std::vector<float>> samples; // per source (empty for event sources)
        std::vector<EventBuffer> events; // per source (empty for sampled sources)
    };

    void ReadSamples(std::size_t i, int record, int64_t start, std::span<float> out);
    void ReadEvents(std::size_t i, int record, int64_t start, int64_t end, EventBuffer& out);
    // Whether a read of [start, end) of the record is served from segments; starts the workers
    // when the reader has walked through a whole segment.
    bool Serves(int record, int64_t start, int64_t end);
    // The finished segment k (its computation rethrown when it failed), the window of queued
    // segments moved up to it.
    const Segment& Need(int64_t k);
    void Compute(const std::vector<StageSource>& stages, Segment& segment) const;
    void Work(std::size_t worker);
    Segment* Find(int64_t k);
    std::unique_ptr<Segment> Spare(int64_t k);

    std::vector<StageSource> mSources;
    StageCopies mCopies;
    int mRecord;
    int64_t mLength = 0;
    int64_t mLastSegment = 0;
    int64_t mDepth = 0;
    std::vector<std::unique_ptr<Signal>> mSampleStandIns;
    std::vector<std::unique_ptr<EventSignal>> mEventStandIns;

    bool mReleased = false;
    bool mStarted = false;
    int64_t mFirstRead = -1;
    std::mutex mMutex;
    std::condition_variable mWorkReady;
    std::condition_variable mSegmentDone;
    bool mStop = false;
    std::deque<std::unique_ptr<Segment>> mWindow; // consecutive indices
    std::vector<std::unique_ptr<Segment>> mSpare; // buffers of segments no longer needed
    std::vector<std::thread> mWorkers;
};

} // namespace vx::calc
