#include "host/calc/ReadAhead.h"

#include <algorithm>

namespace vx::calc {

class ReadAhead::AheadSamples final : public Signal {
public:
    AheadSamples(ReadAhead& owner, std::size_t index)
        : mOwner(owner)
        , mIndex(index)
    {
    }
    TimeBase Info(int record) override { return mOwner.mSources[mIndex].samples->Info(record); }
    void Read(int record, int64_t start, std::span<float> out) override
    {
        mOwner.ReadSamples(mIndex, record, start, out);
    }

private:
    ReadAhead& mOwner;
    std::size_t mIndex;
};

class ReadAhead::AheadEvents final : public EventSignal {
public:
    AheadEvents(ReadAhead& owner, std::size_t index)
        : mOwner(owner)
        , mIndex(index)
    {
    }
    TimeBase Info(int record) override { return mOwner.mSources[mIndex].events->Info(record); }
    uint32_t RecordSize() override { return mOwner.mSources[mIndex].events->RecordSize(); }
    void Read(int record, int64_t start, int64_t end, EventBuffer& out) override
    {
        mOwner.ReadEvents(mIndex, record, start, end, out);
    }

private:
    ReadAhead& mOwner;
    std::size_t mIndex;
};

ReadAhead::ReadAhead(std::vector<StageSource> sources, StageCopies copies, int record)
    : mSources(std::move(sources))
    , mCopies(std::move(copies))
    , mRecord(record)
{
    for (std::size_t i = 0; i < mSources.size(); ++i) {
        const StageSource& s = mSources[i];
        mSampleStandIns.push_back(s.samples ? std::make_unique<AheadSamples>(*this, i) : nullptr);
        mEventStandIns.push_back(s.events ? std::make_unique<AheadEvents>(*this, i) : nullptr);
        const TimeBase tb = s.samples ? s.samples->Info(record) : s.events->Info(record);
        mLength = i == 0 ? tb.length : std::min(mLength, tb.length);
    }
    mLastSegment = mLength > 0 ? (mLength - 1) / kSegment : 0;
    // Enough queued segments that every worker has one while the reader uses another.
    mDepth = static_cast<int64_t>(mCopies.size()) + 1;
    mReleased = mCopies.empty() || mLength <= 0;
}

ReadAhead::~ReadAhead()
{
    Release();
}

Signal* ReadAhead::Samples(std::size_t i) const
{
    return mSampleStandIns.at(i).get();
}

EventSignal* ReadAhead::Events(std::size_t i) const
{
    return mEventStandIns.at(i).get();
}

StageCopies ReadAhead::Release()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWorkReady.notify_all();
    for (std::thread& t : mWorkers)
        t.join();
    mWorkers.clear();
    mWindow.clear();
    mSpare.clear();
    // What the copies keep between reads is of no use until a new read-ahead starts with them.
    for (std::vector<StageSource>& copy : mCopies)
        for (StageSource& stage : copy) {
            if (stage.samples)
                stage.samples->Trim();
            if (stage.events)
                stage.events->Trim();
        }
    mReleased = true;
    return std::move(mCopies);
}

bool ReadAhead::Serves(int record, int64_t start, int64_t end)
{
    if (mReleased || record != mRecord || end <= 0 || start >= mLength)
        return false;
    if (mStarted)
        return true;
    if (mFirstRead < 0 || start < mFirstRead)
        mFirstRead = std::max<int64_t>(start, 0);
    if (end - mFirstRead < 2 * kSegment)
        return false;
    // The reader walks on through the record: the workers start.
    mStarted = true;
    for (std::size_t w = 0; w < mCopies.size(); ++w)
        mWorkers.emplace_back([this, w] { Work(w); });
    return true;
}

void ReadAhead::ReadSamples(std::size_t i, int record, int64_t start, std::span<float> out)
{
    const int64_t end = start + static_cast<int64_t>(out.size());
    if (out.empty() || !Serves(record, start, end)) {
        mSources[i].samples->Read(record, start, out);
        return;
    }
    const int64_t from = std::max<int64_t>(start, 0), to = std::min(end, mLength);
    for (int64_t pos = from; pos < to;) {
        const Segment& s = Need(pos / kSegment);
        const int64_t segmentStart = s.index * kSegment;
        const int64_t n = std::min(to, segmentStart + kSegment) - pos;
        std::copy_n(s.samples[i].begin() + (pos - segmentStart), n, out.begin() + (pos - start));
        pos += n;
    }
    // Constant extension beyond the record's edges, as every stage reads.
    if (start < 0)
        std::fill(out.begin(), out.begin() + (from - start), out[static_cast<std::size_t>(from - start)]);
    if (end > mLength)
        std::fill(out.begin() + (to - start), out.end(), out[static_cast<std::size_t>(to - 1 - start)]);
}

void ReadAhead::ReadEvents(std::size_t i, int record, int64_t start, int64_t end, EventBuffer& out)
{
    if (start >= end || !Serves(record, start, end)) {
        mSources[i].events->Read(record, start, end, out);
        return;
    }
    start = std::max<int64_t>(start, 0);
    end = std::min(end, mLength);
    for (int64_t k = start / kSegment; k * kSegment < end; ++k) {
        const EventBuffer& events = Need(k).events[i];
        for (std::size_t e = 0; e < events.Count(); ++e) {
            const int32_t pos = events.Position(e);
            if (pos >= end)
                break;
            if (pos >= start)
                out.Append(events.Record(e));
        }
    }
}

// A segment object for index k, reusing the buffers of one that is no longer needed (called
// with the lock held).
std::unique_ptr<ReadAhead::Segment> ReadAhead::Spare(int64_t k)
{
    std::unique_ptr<Segment> s;
    if (mSpare.empty())
        s = std::make_unique<Segment>();
    else {
        s = std::move(mSpare.back());
        mSpare.pop_back();
    }
    s->index = k;
    s->state = State::Queued;
    s->error = nullptr;
    return s;
}

ReadAhead::Segment* ReadAhead::Find(int64_t k)
{
    if (mWindow.empty() || k < mWindow.front()->index || k > mWindow.back()->index)
        return nullptr;
    return mWindow[static_cast<std::size_t>(k - mWindow.front()->index)].get();
}

const ReadAhead::Segment& ReadAhead::Need(int64_t k)
{
    std::unique_lock lock(mMutex);
    // A jump backwards or far ahead starts the window afresh; segments being computed for the old
    // window are dropped when they finish.
    const bool jump = !mWindow.empty() && (k < mWindow.front()->index || k > mWindow.back()->index + 1);
    // One segment stays behind the reader.
    while (!mWindow.empty() && (jump || mWindow.front()->index < k - 1)) {
        mSpare.push_back(std::move(mWindow.front()));
        mWindow.pop_front();
    }
    if (mWindow.empty())
        mWindow.push_back(Spare(k));
    bool queued = false;
    while (mWindow.back()->index < std::min(k + mDepth, mLastSegment)) {
        mWindow.push_back(Spare(mWindow.back()->index + 1));
        queued = true;
    }
    Segment* segment = Find(k);
    if (segment->state == State::Queued) {
        // No worker has taken it: the reader computes it with its own stages rather than wait.
        segment->state = State::Running;
        lock.unlock();
        if (queued)
            mWorkReady.notify_all();
        Compute(mSources, *segment);
        lock.lock();
        segment->state = State::Done;
    } else {
        if (queued)
            mWorkReady.notify_all();
        mSegmentDone.wait(lock, [&] { return segment->state == State::Done; });
    }
    if (segment->error)
        std::rethrow_exception(segment->error);
    return *segment;
}

void ReadAhead::Compute(const std::vector<StageSource>& stages, Segment& segment) const
{
    try {
        const int64_t start = segment.index * kSegment;
        const int64_t end = std::min(mLength, start + kSegment);
        segment.samples.resize(stages.size());
        segment.events.resize(stages.size());
        for (std::size_t i = 0; i < stages.size(); ++i) {
            if (stages[i].samples)
                segment.samples[i].resize(static_cast<std::size_t>(end - start));
            if (stages[i].events) {
                segment.events[i].Clear();
                segment.events[i].recordSize = stages[i].events->RecordSize();
            }
        }
        // A block at a time, sampled sources first: the stages below keep the blocks around the
        // one being read (their look-around), the event stages built on them find them there, and
        // no stage holds a whole segment.
        for (int64_t from = start; from < end; from += BlockSignal::kBlock) {
            const int64_t to = std::min(end, from + BlockSignal::kBlock);
            for (std::size_t i = 0; i < stages.size(); ++i)
                if (stages[i].samples)
                    stages[i].samples->Read(mRecord, from,
                        std::span<float>(segment.samples[i])
                            .subspan(static_cast<std::size_t>(from - start), static_cast<std::size_t>(to - from)));
            for (std::size_t i = 0; i < stages.size(); ++i)
                if (stages[i].events)
                    stages[i].events->Read(mRecord, from, to, segment.events[i]);
        }
    } catch (...) {
        segment.error = std::current_exception();
    }
}

void ReadAhead::Work(std::size_t worker)
{
    const std::vector<StageSource>& stages = mCopies[worker];
    std::unique_lock lock(mMutex);
    for (;;) {
        Segment* job = nullptr;
        mWorkReady.wait(lock, [&] {
            if (mStop)
                return true;
            for (const auto& s : mWindow)
                if (s->state == State::Queued) {
                    job = s.get();
                    return true;
                }
            return false;
        });
        if (mStop)
            return;
        job->state = State::Running;
        // Computed into a spare segment: the reader may drop the window's one meanwhile.
        std::unique_ptr<Segment> result = Spare(job->index);
        lock.unlock();
        Compute(stages, *result);
        lock.lock();
        if (Segment* s = Find(result->index); s && s->state == State::Running) {
            std::swap(s->samples, result->samples);
            std::swap(s->events, result->events);
            std::swap(s->error, result->error);
            s->state = State::Done;
            mSegmentDone.notify_all();
        }
        mSpare.push_back(std::move(result));
    }
}

} // namespace vx::calc
