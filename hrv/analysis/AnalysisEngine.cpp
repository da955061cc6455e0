#include "hrv/analysis/AnalysisEngine.h"

#include "hrv/core/Settings.h"
#include "ui/Input.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace HRV {

void EventReader::Open(IEnumEventEx* events)
{
    Close();
    mEvents = events;
    mEnded = false;
}

void EventReader::Close()
{
    if (mEvents)
        mEvents->Release();
    mEvents = nullptr;
}

bool EventReader::Fill(int32_t end, std::vector<FiducialEvent>& out)
{
    out.clear();
    if (!mEvents || mEnded)
        return false;
    DWORD size = 0;
    if (FAILED(mEvents->GetRecordSize(&size)) || size < 8)
        return false;
    mBuffer.resize(static_cast<std::size_t>(size) * 8);
    DWORD count = 0;
    LONG next = kEventEnd;
    const HRESULT hr = mEvents->Next(static_cast<DWORD>(mBuffer.size()), end, mBuffer.data(), &count, &next);
    if (FAILED(hr))
        return false;
    if (hr != S_OK)
        mEnded = true;
    count = std::min<DWORD>(count, 8);
    for (DWORD i = 0; i < count; ++i) {
        FiducialEvent e;
        std::memcpy(&e, mBuffer.data() + static_cast<std::size_t>(i) * size, std::min<std::size_t>(size, sizeof e));
        out.push_back(e);
    }
    return !out.empty();
}

bool AnalysisMemo::Recall(
    AnalysisEngine& engine, uint32_t what, double startTime, double endTime, const AnalysisParameters& settings) const
{
    std::lock_guard lock(mMutex);
    if (!mValid || what != mWhat || startTime != mStartTime || endTime != mEndTime || !(settings == mSettings)
        || engine.mRR != mRR || engine.mDeltaRR != mDeltaRR || engine.mRate != mRate || engine.mBeatTimes != mBeatTimes)
        return false;
    engine.mStats = mStats;
    engine.mSegments = mSegments;
    engine.mSpectrum = mSpectrum;
    return true;
}

void AnalysisMemo::Store(
    const AnalysisEngine& engine, uint32_t what, double startTime, double endTime, const AnalysisParameters& settings)
{
    std::lock_guard lock(mMutex);
    mValid = true;
    mWhat = what;
    mStartTime = startTime;
    mEndTime = endTime;
    mSettings = settings;
    mRR = engine.mRR;
    mDeltaRR = engine.mDeltaRR;
    mRate = engine.mRate;
    mBeatTimes = engine.mBeatTimes;
    mBeatCount = engine.mBeats.size();
    mStats = engine.mStats;
    mSegments = engine.mSegments;
    mSpectrum = engine.mSpectrum;
}

void AnalysisMemo::Presize(AnalysisEngine& engine) const
{
    std::lock_guard lock(mMutex);
    if (!mValid)
        return;
    engine.mBeats.reserve(mBeatCount);
    engine.mPoincarePoints.reserve(mRR.size());
    for (std::vector<double>* series : { &engine.mRR, &engine.mDeltaRR, &engine.mRate, &engine.mBeatTimes })
        series->reserve(mRR.size());
}

AnalysisEngine::AnalysisEngine() = default;

void AnalysisEngine::Reset()
{
    mStats = IntervalStats();
    mSegments = SegmentStats();
    mSpectrum = Spectrum();
    mPoincarePoints.clear();
    mBeats.clear();
    mRR.clear();
    mDeltaRR.clear();
    mRate.clear();
    mBeatTimes.clear();
    mNormalCount = mEctopicCount = 0;
    const double nan = [] {
        const uint64_t bits = 0x7FF8600000000000ull;
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }();
    mMinRR = mMaxRR = mMinComplexity = mMaxComplexity = nan;
}

void AnalysisEngine::UpdateExtents(const BeatPoint& b)
{
    const auto widen = [](double& lo, double& hi, double v) {
        if (std::isnan(v))
            return;
        if (std::isnan(lo) || v < lo)
            lo = v;
        if (std::isnan(hi) || v > hi)
            hi = v;
    };
    widen(mMinRR, mMaxRR, b.mRR);
    widen(mMinComplexity, mMaxComplexity, b.mComplexity);
}

void AnalysisEngine::AddUsed(const FiducialEvent& e, int32_t record, double time)
{
    mPoincarePoints.push_back({ e.mRR - e.mDeltaRR, e.mRR, e.mBeatNumber, e.mPosition, record });
    mRR.push_back(e.mRR);
    mDeltaRR.push_back(e.mDeltaRR);
    mRate.push_back(e.mRate);
    mBeatTimes.push_back(time);
    if ((e.mClass & 0xFF) != 0)
        ++mEctopicCount;
    else
        ++mNormalCount;
}

std::size_t AnalysisEngine::ReadRecord(
    IAnalysisHost* host, const ChannelRef& channel, int32_t record, int32_t startOffset, int32_t endOffset)
{
    if (!host)
        return 0;
    IEnumEventEx* events = host->OpenEvents(channel, record, startOffset, endOffset);
    if (!events)
        return 0;
    RecordInfo info;
    const bool haveInfo = host->GetRecordInfo(record, info);
    EventReader reader;
    reader.Open(events);
    std::size_t added = 0;
    std::vector<FiducialEvent> block;
    while (reader.Fill(endOffset, block)) {
        for (const FiducialEvent& e : block) {
            if (e.mPosition == kEventEnd || std::isnan(e.mRR) || std::isnan(e.mDeltaRR))
                continue;
            const BeatPoint beat { e.mRR, e.mComplexity, e.mBeatNumber, e.mPosition, record };
            mBeats.push_back(beat);
            UpdateExtents(beat);
            if (e.IsUsed()) {
                AddUsed(e, record, haveInfo ? TimeOfPosition(info, e.mPosition) : 0.0);
                ++added;
            }
        }
    }
    return added;
}

std::size_t AnalysisEngine::Analyse(uint32_t what, IAnalysisHost* host, const ChannelRef& channel, RecordPosition start,
    RecordPosition end, const AnalysisParameters& settings)
{
    if (mOnline || (what & 0xFFFFFF) == 0 || !host)
        return 0;
    const int32_t count = host->RecordCount();
    // 0x7FFFFFFF: not set (the recording's start or end); 0x7FFFFFFE: the last record.
    if (start.mRecord == kEventEnd) {
        start.mRecord = 0;
        start.mOffset = 0;
    }
    if (end.mRecord == kEventEnd || end.mRecord == kEventEnd - 1 || end.mRecord >= count) {
        if (end.mRecord == kEventEnd || end.mRecord >= count)
            end.mOffset = kEventEnd;
        end.mRecord = count - 1;
    }
    start.mRecord = std::max(start.mRecord, 0);
    start.mOffset = std::max(start.mOffset, 0);
    if (what > 0xFFFFFF) {
        // The record walk of a full analysis runs under the wait cursor, restored on every way out.
        struct WaitCursor {
            int previous = vx::ui::SetCursor(vx::ui::IDC_WAIT);
            ~WaitCursor() { vx::ui::SetCursor(previous); }
        } wait;
        Reset();
        if (mMemo)
            mMemo->Presize(*this);
        for (int32_t r = start.mRecord; r <= end.mRecord && r < count; ++r)
            ReadRecord(
                host, channel, r, r == start.mRecord ? start.mOffset : 0, r == end.mRecord ? end.mOffset : kEventEnd);
    }
    RecordInfo first, last;
    double startTime = 0, endTime = 0;
    if (count > 0 && host->GetRecordInfo(start.mRecord, first))
        startTime = TimeOfPosition(first, start.mOffset);
    if (count > 0 && end.mRecord >= 0 && host->GetRecordInfo(end.mRecord, last)) {
        // The end of the record when the range runs to it.
        const auto endOffset = static_cast<int32_t>(std::min<int64_t>(end.mOffset, last.mLength));
        endTime = TimeOfPosition(last, endOffset);
    }
    if (mMemo && mMemo->Recall(*this, what, startTime, endTime, settings))
        return mRR.size();
    mStats.Compute(what, mRR, mDeltaRR, mRate, settings);
    mSegments.Compute(what, mRR, mBeatTimes, startTime, endTime, settings);
    ComputeSpectrum(mSpectrum, what & 0xFF, mRR, mBeatTimes, settings);
    if (mMemo)
        mMemo->Store(*this, what, startTime, endTime, settings);
    return mRR.size();
}

std::size_t AnalysisEngine::Analyse(
    uint32_t what, IAnalysisHost* host, const ChannelRef& channel, const Settings* settings)
{
    if (!settings)
        return 0;
    return Analyse(what, host, channel, { settings->mRangeStart.mRecord, settings->mRangeStart.mOffset },
        { settings->mRangeEnd.mRecord, settings->mRangeEnd.mOffset }, AnalysisParametersFrom(*settings));
}

bool AnalysisEngine::StartOnline(IAnalysisHost* host, const ChannelRef& channel, int32_t record, int32_t position,
    const AnalysisParameters& settings)
{
    if (!host)
        return false;
    mRecording = host;
    mFiducialChannel = channel;
    mSettings = settings;
    if (!host->GetRecordInfo(record, mRecordInfo))
        return false;
    mTimeBase = mRecordInfo.mStartTime - mRecordInfo.mTimeOffset;
    mSegments.mSegmentLength = settings.mSDARRAveraging;
    mSegments.mSegmentEnd = mTimeBase + settings.mSDARRAveraging;
    IEnumEventEx* events = host->OpenEvents(channel, record, position, mReaderEnd);
    if (!events)
        return false;
    mReader.Open(events);
    mOnline = true;
    return true;
}

void AnalysisEngine::StopOnline()
{
    mReader.Close();
    mOnline = false;
    mRecording = nullptr;
}

int AnalysisEngine::ProcessOnline()
{
    if (!mOnline || !mRecording)
        return 1;
    bool added = false;
    std::vector<FiducialEvent> block;
    while (mOnline && mReader.IsOpen() && mReader.Fill(mReaderEnd, block)) {
        for (const FiducialEvent& e : block) {
            if (std::isnan(e.mRR) || e.mPosition == kEventEnd)
                continue;
            const int32_t record = mRecording->SampledRecord();
            const BeatPoint beat { e.mRR, e.mComplexity, e.mBeatNumber, e.mPosition, record };
            mBeats.push_back(beat);
            UpdateExtents(beat);
            if (e.IsUsed()) {
                const double time
                    = (static_cast<double>(e.mPosition) - mRecordInfo.mBase) * mRecordInfo.mInterval + mTimeBase;
                AddUsed(e, record, time);
                mStats.AddInterval(e.mRR, e.mDeltaRR, e.mRate);
                mSegments.AddInterval(e.mRR, time);
                added = true;
            }
        }
    }
    // One spectrum for the whole block of new data: recomputing it per beat would make a long
    // online session quadratic in its beats.
    if (added) {
        ComputeSpectrum(mSpectrum, 0xFF, mRR, mBeatTimes, mSettings);
        ++mSpectrumUpdates;
    }
    return added ? 0 : 1;
}

} // namespace HRV
