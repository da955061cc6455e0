#pragma once
// The analysis engine: reads the beat events of the fiducial channel over the analysis range,
// keeps the usable intervals, and computes the interval statistics, the SDARR segments and the
// spectrum from them; in batch over a range, or incrementally while the host samples.
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hrv/analysis/Detector.h"
#include "hrv/analysis/FiducialEvent.h"
#include "hrv/core/Settings.h"
#include "hrv/stats/AnalysisParameters.h"
#include "hrv/stats/BandPowers.h"
#include "hrv/stats/IntervalStats.h"
#include "hrv/stats/SegmentStats.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace HRV {

class Settings;

struct PoincarePoint {
    double mPreviousRR;
    double mRR;
    int32_t mBeatNumber;
    int32_t mOffset;
    int32_t mRecord;
};

struct BeatPoint {
    double mRR;
    double mComplexity;
    int32_t mBeatNumber;
    int32_t mOffset;
    int32_t mRecord;
};

// Beat events read from a host event enumeration in blocks of eight.
class EventReader {
public:
    EventReader() = default;
    EventReader(const EventReader&) = delete;
    EventReader& operator=(const EventReader&) = delete;
    ~EventReader() { Close(); }
    void Open(IEnumEventEx* events); // takes the caller's reference
    void Close();
    bool IsOpen() const { return mEvents != nullptr; }
    // The next block of at most eight events before end; false when the host gave none.
    bool Fill(int32_t end, std::vector<FiducialEvent>& out);

private:
    IEnumEventEx* mEvents = nullptr;
    std::vector<std::byte> mBuffer;
    bool mEnded = false;
};

class AnalysisEngine;

// The statistics, segments and spectrum of the last set of intervals computed with it, handed
// to every engine that analyses the same intervals with the same parameters: the data-pad
// parameters of one range each analyse it, and compute these once. The intervals themselves
// are the key, so a memo never answers for beats that changed. Engines on several threads may
// share one.
class AnalysisMemo {
public:
    // Copies the remembered results into the engine when its intervals, the range times, the
    // work asked for and the parameters are those remembered.
    bool Recall(AnalysisEngine& engine, uint32_t what, double startTime, double endTime,
        const AnalysisParameters& settings) const;
    void Store(const AnalysisEngine& engine, uint32_t what, double startTime, double endTime,
        const AnalysisParameters& settings);
    // Sizes the engine's beat list and series for the beats and intervals last stored, so that
    // the next analysis of a range (most often the same one) appends without regrowing them.
    void Presize(AnalysisEngine& engine) const;

private:
    mutable std::mutex mMutex;
    bool mValid = false;
    uint32_t mWhat = 0;
    double mStartTime = 0, mEndTime = 0;
    AnalysisParameters mSettings;
    std::vector<double> mRR, mDeltaRR, mRate, mBeatTimes;
    std::size_t mBeatCount = 0;
    IntervalStats mStats;
    SegmentStats mSegments;
    Spectrum mSpectrum;
};

class AnalysisEngine {
public:
    AnalysisEngine();

    void Reset();
    // The batch analysis of the range; the number of used intervals, or 0 without work when
    // online processing is active or bits 0-23 of `what` are all 0.
    std::size_t Analyse(uint32_t what, IAnalysisHost* host, const ChannelRef& fiducialChannel, RecordPosition start,
        RecordPosition end, const AnalysisParameters& settings);
    // The same with the range and parameters of the document's settings (0 for null settings).
    std::size_t Analyse(
        uint32_t what, IAnalysisHost* host, const ChannelRef& fiducialChannel, const Settings* settings);
    std::size_t ReadRecord(
        IAnalysisHost* host, const ChannelRef& fiducialChannel, int32_t record, int32_t startOffset, int32_t endOffset);

    // Online: starts processing the record being sampled from `position`.
    bool StartOnline(IAnalysisHost* host, const ChannelRef& fiducialChannel, int32_t record, int32_t position,
        const AnalysisParameters& settings);
    void StopOnline();
    // Consumes the events the online reader has; 0 when at least one used interval was added,
    // 1 otherwise. The spectrum is recomputed once for the whole block, not once per beat.
    int ProcessOnline();

    void UpdateExtents(const BeatPoint& beat);

    IntervalStats mStats;
    SegmentStats mSegments;
    Spectrum mSpectrum;
    std::vector<PoincarePoint> mPoincarePoints;
    std::vector<BeatPoint> mBeats;
    double mMinRR = 0.8;
    double mMaxRR = 1.2;
    double mMinComplexity = 1.0;
    double mMaxComplexity = 1.5;
    uint64_t mNormalCount = 0;
    uint64_t mEctopicCount = 0;
    std::vector<double> mRR;
    std::vector<double> mDeltaRR;
    std::vector<double> mRate;
    std::vector<double> mBeatTimes;
    IAnalysisHost* mRecording = nullptr;
    AnalysisParameters mSettings = DefaultAnalysisParameters();
    ChannelRef mFiducialChannel;
    bool mOnline = false;
    RecordInfo mRecordInfo;
    double mTimeBase = 0.0;
    EventReader mReader;
    int32_t mReaderEnd = kEventEnd;
    uint64_t mSpectrumUpdates = 0; // online spectrum computations, for tests of the online cost
    // Shared results of batch analyses (null: every analysis computes its own).
    std::shared_ptr<AnalysisMemo> mMemo;

private:
    void AddUsed(const FiducialEvent& e, int32_t record, double time);
};

} // namespace HRV
