#pragma once
// The fiducial detection core: for every reference event (a detected peak) it finds the beat's
// fiducial point in the signal, merges the user's added beats and drops the removed ones,
// numbers the beats, measures RR, delta-RR and the Hjorth complexity of the beat's waveform, and
// classifies the interval against the normal-beat box.
#include "hrv/analysis/FiducialEvent.h"
#include "hrv/analysis/Sources.h"
#include "hrv/core/HRVInterfaces.h"

#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

namespace HRV {

// The user's beat marks of a document: set 0 the beats the user added, set 1 the beats removed.
class IBeatMarks {
public:
    virtual ~IBeatMarks() = default;
    // The first mark of the set in the record at or after offset.
    virtual bool FirstAtOrAfter(int set, int32_t record, int32_t offset, int32_t& found) const = 0;
};

// The highest beat number reached in each record, so that numbers continue across records.
// Without the document's cache the numbers are kept here.
class BeatNumberCache {
public:
    BeatNumberCache() = default;
    // Keeps the numbers in the document's beat-number cache (record index to highest number).
    explicit BeatNumberCache(IEventIdCache* cache);
    BeatNumberCache(const BeatNumberCache&) = delete;
    BeatNumberCache& operator=(const BeatNumberCache&) = delete;
    ~BeatNumberCache();
    int32_t Get(int32_t record) const;
    void Raise(int32_t record, int32_t number);

private:
    IEventIdCache* mCache = nullptr;
    std::map<int32_t, int32_t> mNumbers;
};

// The document's user beat marks (IUserEventData) as the fiducial core reads them.
class UserEventMarks final : public IBeatMarks {
public:
    explicit UserEventMarks(IUserEventData* data);
    UserEventMarks(const UserEventMarks&) = delete;
    UserEventMarks& operator=(const UserEventMarks&) = delete;
    ~UserEventMarks() override;
    bool FirstAtOrAfter(int set, int32_t record, int32_t offset, int32_t& found) const override;

private:
    IUserEventData* mData;
};

// The function's arguments and what the enumerator derives from its sources.
struct FiducialParams {
    double mWindow = 0.08; // search and complexity window, seconds
    int32_t mPolarity = 0; // 0: maximum, 1: minimum
    double mRRMin = 0.0;
    double mRRMax = 0.0;
    double mComplexityMin = 0.0;
    double mComplexityMax = 0.0;
    int32_t mStartRecord = 0;
    int32_t mStartOffset = 0;
    int32_t mEndRecord = kEventEnd;
    int32_t mEndOffset = kEventEnd;
    bool mExcludeEctopics = false;

    double mDt = 0.0;
    int32_t mWindowSamples = 0;
    int32_t mRecord = 0;
    // The source cursors: the signal's samples (read in blocks of 1024) and the reference events,
    // each limited to the samples of the record; the signal's length, whether it still grows
    // and its own sample interval.
    EEH3::CursorHandle<EEH3::FloatExWrapper> mSignal;
    EEH3::CursorHandle<EEH3::EventWrapperEx<KELEventBase>> mReference;
    int64_t mSignalLength = 0;
    bool mSignalGrowing = false;
    double mSignalInterval = 0.0;
    bool mHasSources = false;
    std::shared_ptr<const IBeatMarks> mMarks;
    std::shared_ptr<BeatNumberCache> mNumbers;

    // The numeric arguments from "width polarity rrmin rrmax ffmin ffmax startrec startoff endrec
    // endoff exclude". False with a message when the text does not parse or a value is refused.
    bool Read(std::wistream& in, std::string& error);
    void Write(std::wostream& out) const;
    // Opens the signal (first) and reference-event (second) sources of a record and derives the
    // window in samples; false with a message when a source is missing or the window is unusable.
    bool OpenSources(IUnknown* const* sources, ULONG count, double dt, int32_t record, std::string& error);
    void ClearSources();
};

// The running state of one record; copied whole into checkpoints.
struct FiducialState {
    int32_t mDataEnd = 0;
    bool mStopped = false;
    bool mMeasuring = true;
    int32_t mNext = 0;
    int32_t mLastBeatNumber = 0;
    bool mHasLast = false;
    int32_t mLastPosition = 0;
    float mLastFraction = 0.0f;
    double mLastRR = MissingValue();
    uint32_t mLastClass = kClassUnclassified;
    int32_t mPendingPosition = kEventEnd;
    double mPendingValue = 0.0;
    int32_t mPendingOffset = 0;
    int32_t mSearchEnd = 0; // next sample not yet searched
    bool mProgress = false;
    int32_t mReferencePosition = 0; // where the reference cursor searches next
};

struct FiducialAlgorithm {
    using Params = FiducialParams;
    using State = FiducialState;
    using Event = FiducialEvent;
    static constexpr uint32_t kRecordSize = sizeof(FiducialEvent);

    // A fresh state of the record that starts at `start`.
    static State Initial(const Params& p, int32_t start);
    // Produces at most one beat; true when one was produced before the end of the data.
    static bool Step(State& state, Params& params, Event& event);

    // Reads again how far the sources of a record that is still being sampled reach; the end of
    // the data that the detection may use now (a window short of the samples while the record
    // grows, so that every window it reads is whole), and whether the record still grows.
    static int32_t SettledEnd(Params& params, bool& growing);

    static int32_t FindPeak(State& state, Params& params);
    static int32_t NextCandidate(State& state, Params& params, bool restart);
    static void MeasureComplexity(int32_t position, Params& params, Event& event);
};

// Hjorth parameters of a waveform (Hjorth, Electroenceph clin Neurophysiol 29:306-310, 1970),
// with the first derivative smoothed by a moving average of length m. All three are NaN when the
// derivative or the moving average cannot be formed (too few samples).
void ComputeHjorth(
    int m, double dt, const std::vector<float>& x, double& activity, double& mobility, double& complexity);
bool Derivative(double dt, const std::vector<float>& in, std::vector<float>& out);
bool MovingAverage(int length, const std::vector<float>& in, std::vector<float>& out);
double SumOfSquaredDeviations(const std::vector<float>& v);

} // namespace HRV
