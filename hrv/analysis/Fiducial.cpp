#include "hrv/analysis/Fiducial.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace HRV {

namespace {

bool Finite(double v)
{
    return std::isfinite(v);
}

} // namespace

BeatNumberCache::BeatNumberCache(IEventIdCache* cache)
    : mCache(cache)
{
    if (mCache)
        mCache->AddRef();
}

BeatNumberCache::~BeatNumberCache()
{
    if (mCache)
        mCache->Release();
}

int32_t BeatNumberCache::Get(int32_t record) const
{
    if (mCache) {
        DWORD id = 0;
        return mCache->GetId(record, &id) == S_OK ? static_cast<int32_t>(id) : 0;
    }
    auto it = mNumbers.find(record);
    return it == mNumbers.end() ? 0 : it->second;
}

void BeatNumberCache::Raise(int32_t record, int32_t number)
{
    if (number <= Get(record))
        return;
    if (mCache)
        mCache->SetId(record, static_cast<DWORD>(number));
    else
        mNumbers[record] = number;
}

UserEventMarks::UserEventMarks(IUserEventData* data)
    : mData(data)
{
    if (mData)
        mData->AddRef();
}

UserEventMarks::~UserEventMarks()
{
    if (mData)
        mData->Release();
}

bool UserEventMarks::FirstAtOrAfter(int set, int32_t record, int32_t offset, int32_t& found) const
{
    if (!mData)
        return false;
    Position from;
    from.mRecord = record;
    from.mOffset = offset;
    Position at;
    if (mData->FindAtOrAfter(&from, static_cast<DWORD>(set), &at) != S_OK || at.mRecord != record)
        return false;
    found = at.mOffset;
    return true;
}

bool FiducialParams::Read(std::wistream& in, std::string& error)
{
    double window, polarity, rrMin, rrMax, ffMin, ffMax;
    in >> window >> polarity >> rrMin >> rrMax >> ffMin >> ffMax;
    // The range: start record, start offset, end record, end offset, each rounded to a whole
    // number; negative starts mean 0 and negative ends the end.
    int32_t rect[4];
    if (!in.fail())
        EEH3::ReadIntRect(in, rect);
    double exclude;
    in >> exclude;
    if (in.fail()) {
        error = "Fiducial: the parameters do not read as eleven numbers";
        return false;
    }
    // A width that is not a positive finite number would make an empty or negative window.
    if (!(window > 0) || !Finite(window)) {
        error = "Fiducial: the width must be a positive finite number of seconds";
        return false;
    }
    if (polarity != 0 && polarity != 1) {
        error = "Fiducial: the type must be 0 (maximum) or 1 (minimum)";
        return false;
    }
    if (!Finite(rrMin) || !Finite(rrMax) || !Finite(ffMin) || !Finite(ffMax) || std::isnan(exclude)) {
        error = "Fiducial: the RR and form-factor limits must be finite numbers";
        return false;
    }
    mWindow = window;
    mPolarity = static_cast<int32_t>(polarity);
    mRRMin = rrMin;
    mRRMax = rrMax;
    mComplexityMin = ffMin;
    mComplexityMax = ffMax;
    mStartOffset = rect[0];
    mStartRecord = rect[1];
    mEndOffset = rect[2];
    mEndRecord = rect[3];
    // All four limits 0: the whole recording.
    if (mStartRecord == 0 && mStartOffset == 0 && mEndRecord == 0 && mEndOffset == 0)
        mEndRecord = mEndOffset = kEventEnd;
    mExcludeEctopics = exclude > 0;
    mWindowSamples = 0;
    return true;
}

void FiducialParams::Write(std::wostream& out) const
{
    out << mWindow << L' ' << mPolarity << L' ' << mRRMin << L' ' << mRRMax << L' ' << mComplexityMin << L' '
        << mComplexityMax << L' ' << mStartRecord << L' ' << mStartOffset << L' ' << mEndRecord << L' ' << mEndOffset
        << L' ' << (mExcludeEctopics ? L"1.0" : L"0.0");
}

bool FiducialParams::OpenSources(IUnknown* const* sources, ULONG count, double dt, int32_t record, std::string& error)
{
    ClearSources();
    if (count >= 2 && sources) {
        mSignal = EEH3::CursorHandle(OpenSamples(sources[0], mSignalLength, mSignalGrowing, mSignalInterval));
        if (mSignal)
            mReference = EEH3::CursorHandle(OpenEvents<KELEventBase>(sources[1], mSignalLength));
    }
    if (!mSignal || !mReference) {
        error = "Fiducial: needs a sampled signal and an event channel";
        ClearSources();
        return false;
    }
    if (!(dt > 0) || !Finite(dt))
        dt = mSignalInterval;
    const double samples = mWindow / dt + 0.5;
    if (!(dt > 0) || !Finite(dt) || !(samples < static_cast<double>(std::numeric_limits<int32_t>::max() / 4))) {
        error = "Fiducial: the width is too large for the sample interval";
        ClearSources();
        return false;
    }
    mDt = dt;
    mWindowSamples = std::max(static_cast<int32_t>(samples), 1);
    mRecord = record;
    mHasSources = true;
    return true;
}

void FiducialParams::ClearSources()
{
    mSignal = {};
    mReference = {};
    mSignalLength = 0;
    mSignalGrowing = false;
    mSignalInterval = 0.0;
    mHasSources = false;
}

FiducialState FiducialAlgorithm::Initial(const Params& p, int32_t start)
{
    FiducialState s;
    s.mDataEnd = static_cast<int32_t>(std::min<int64_t>(p.mSignalLength, kEventEnd - 1));
    s.mNext = start;
    s.mSearchEnd = start;
    s.mReferencePosition = start;
    return s;
}

int32_t FiducialAlgorithm::SettledEnd(Params& p, bool& growing)
{
    LONG now = 0;
    const HRESULT hr = p.mSignal ? p.mSignal->GetLength(&now) : E_FAIL;
    if (SUCCEEDED(hr) && now >= 0) {
        p.mSignalGrowing = hr == S_FALSE;
        if (now != p.mSignalLength) {
            // The record has grown: both cursors read up to its new end.
            p.mSignalLength = now;
            p.mSignal->SetLimit(now);
            p.mReference->SetLimit(static_cast<LONG>(std::min<int64_t>(now, kEventEnd - 1)));
        }
    }
    growing = p.mSignalGrowing;
    const int64_t length = std::min<int64_t>(p.mSignalLength, kEventEnd - 1);
    const int64_t settled = growing ? length - p.mWindowSamples - 1 : length;
    return static_cast<int32_t>(std::max<int64_t>(settled, 0));
}

int32_t FiducialAlgorithm::FindPeak(State& st, Params& p)
{
    if (st.mPendingPosition != kEventEnd)
        return st.mPendingPosition;
    const int32_t w = p.mWindowSamples;
    const int32_t h = w / 2;
    if (!p.mHasSources)
        return kEventEnd;
    int32_t ref = 0;
    if (!NextEventAt(*p.mReference, st.mReferencePosition, ref) || ref >= st.mDataEnd) {
        st.mPendingPosition = kEventEnd;
        st.mProgress = false;
        st.mReferencePosition = st.mDataEnd;
        return kEventEnd; // the reference events of the whole record have been read
    }
    st.mReferencePosition = ref + 1;
    const int32_t s = std::max(ref - h, 0);
    std::vector<float> window;
    ReadSamples(*p.mSignal, s, static_cast<int64_t>(w) + 1, window);
    if (window.empty()) {
        st.mProgress = true;
        return st.mDataEnd;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < window.size(); ++i)
        if (p.mPolarity == 1 ? window[i] < window[best] : window[i] > window[best])
            best = i;
    const int32_t f = s + static_cast<int32_t>(best);
    st.mProgress = true;
    if (f >= st.mDataEnd)
        return st.mDataEnd;
    if (f >= st.mSearchEnd) {
        st.mPendingPosition = f;
        st.mPendingValue = window[best];
        st.mPendingOffset = f - ref;
        st.mSearchEnd = s + static_cast<int32_t>(window.size());
        return f;
    }
    return st.mSearchEnd; // a duplicate of the previous beat
}

int32_t FiducialAlgorithm::NextCandidate(State& st, Params& p, bool restart)
{
    int32_t c = kEventEnd;
    for (;;) {
        if (restart) {
            st.mPendingPosition = kEventEnd;
            st.mProgress = false;
        }
        c = FindPeak(st, p);
        if (st.mPendingPosition != kEventEnd && p.mMarks) {
            int32_t removed = 0;
            if (p.mMarks->FirstAtOrAfter(1, p.mRecord, st.mPendingPosition, removed)
                && removed == st.mPendingPosition) {
                restart = true;
                continue;
            }
        }
        if (c < st.mDataEnd && st.mPendingPosition == kEventEnd && st.mProgress) {
            restart = false;
            continue;
        }
        return c;
    }
}

namespace {
int32_t NextUserBeat(const FiducialParams& p, const FiducialState& st)
{
    if (!p.mMarks)
        return kEventEnd;
    const int32_t from = st.mHasLast ? st.mLastPosition + 1 : 0;
    int32_t u = kEventEnd;
    if (!p.mMarks->FirstAtOrAfter(0, p.mRecord, from, u))
        return kEventEnd;
    return u;
}

uint32_t Classify(const FiducialParams& p, const FiducialEvent& e, uint32_t lastClass)
{
    if (std::isnan(e.mRR) || std::isnan(e.mComplexity))
        return kClassUnclassified;
    uint32_t c = 0;
    if (e.mRR < p.mRRMin || e.mRR > p.mRRMax)
        c |= kClassRROutside;
    if (e.mComplexity < p.mComplexityMin || e.mComplexity > p.mComplexityMax)
        c |= kClassComplexityOutside;
    const bool normal = (c & (kClassRROutside | kClassComplexityOutside)) == 0;
    if (!p.mExcludeEctopics || normal)
        c |= kClassIntervalUsable;
    if (!std::isnan(e.mDeltaRR) && (!p.mExcludeEctopics || (normal && (lastClass & 0xFF) == 0)))
        c |= kClassDeltaUsable;
    return c;
}
} // namespace

bool FiducialAlgorithm::Step(State& st, Params& p, Event& ev)
{
    if (st.mStopped) {
        st.mNext = kEventEnd;
        return false;
    }
    if (p.mRecord < p.mStartRecord || p.mRecord > p.mEndRecord
        || (p.mRecord == p.mStartRecord && st.mDataEnd <= p.mStartOffset)) {
        st.mNext = kEventEnd;
        st.mStopped = true;
        return false;
    }
    if (st.mNext >= st.mDataEnd) {
        st.mNext = kEventEnd;
        st.mStopped = true;
        return false;
    }
    int32_t c = NextCandidate(st, p, false);
    const int32_t u = NextUserBeat(p, st);
    const bool user = u != kEventEnd && u < std::max(st.mHasLast ? st.mLastPosition + 1 : 0, c);
    const int32_t b = user ? u : st.mPendingPosition;
    bool produced = false;
    if (b != kEventEnd && b < st.mDataEnd) {
        ev = FiducialEvent();
        const bool afterStart = p.mRecord != p.mStartRecord || b >= p.mStartOffset;
        const bool beforeEnd = p.mRecord != p.mEndRecord || b < p.mEndOffset;
        if (afterStart && beforeEnd) {
            int32_t last = st.mLastBeatNumber;
            if (last == 0 && p.mNumbers)
                last = p.mNumbers->Get(p.mRecord - 1);
            ev.mBeatNumber = last + 1;
        }
        ev.mPosition = b;
        ev.mFraction = 0.0f;
        ev.mPeakOffset = user ? 0 : st.mPendingOffset;
        ev.mPeakValue = user ? 0.0 : st.mPendingValue;
        if (st.mMeasuring) {
            if (st.mHasLast) {
                ev.mRR = (static_cast<double>(b) - (static_cast<double>(st.mLastPosition) + st.mLastFraction)) * p.mDt;
                ev.mRate = 1.0 / ev.mRR;
            } else {
                ev.mRR = MissingValue();
                ev.mRate = MissingValue();
            }
            ev.mDeltaRR = std::isnan(ev.mRR) || std::isnan(st.mLastRR) ? MissingValue() : ev.mRR - st.mLastRR;
            MeasureComplexity(b, p, ev);
            ev.mClass = Classify(p, ev, st.mLastClass);
            if (user)
                ev.mClass |= kClassUserAdded;
        }
        if (ev.mBeatNumber != 0)
            st.mLastBeatNumber = ev.mBeatNumber;
        st.mHasLast = true;
        st.mLastPosition = b;
        st.mLastFraction = 0.0f;
        st.mLastRR = ev.mRR;
        st.mLastClass = ev.mClass;
        if (p.mNumbers && ev.mBeatNumber > p.mNumbers->Get(p.mRecord))
            p.mNumbers->Raise(p.mRecord, ev.mBeatNumber);
        if (!user)
            c = NextCandidate(st, p, true);
        produced = true;
    }
    const int32_t nextUser = NextUserBeat(p, st);
    int32_t next = std::min(nextUser, st.mPendingPosition != kEventEnd ? st.mPendingPosition : c);
    if (next != kEventEnd)
        next = std::min(next, st.mDataEnd);
    st.mNext = next;
    if (next == kEventEnd && !produced)
        st.mStopped = true;
    return produced;
}

void FiducialAlgorithm::MeasureComplexity(int32_t position, Params& p, Event& ev)
{
    const int32_t w = p.mWindowSamples;
    const int32_t s = std::max(position - w / 2, 0);
    std::vector<float> x;
    ReadSamples(*p.mSignal, s, w, x);
    // The derivative's step is the signal's own sample interval.
    const double step = p.mSignalInterval > 0 ? p.mSignalInterval : p.mDt;
    const int m = static_cast<int>(w * 0.05 + 0.5);
    ComputeHjorth(m, step, x, ev.mActivity, ev.mMobility, ev.mComplexity);
}

bool Derivative(double dt, const std::vector<float>& in, std::vector<float>& out)
{
    const std::size_t n = in.size();
    if (n < 2)
        return false;
    out.resize(n);
    out[0] = static_cast<float>((static_cast<double>(in[1]) - in[0]) / dt);
    for (std::size_t i = 1; i + 1 < n; ++i)
        out[i] = static_cast<float>((static_cast<double>(in[i + 1]) - in[i - 1]) / (2.0 * dt));
    out[n - 1] = static_cast<float>((static_cast<double>(in[n - 1]) - in[n - 2]) / dt);
    return true;
}

bool MovingAverage(int length, const std::vector<float>& in, std::vector<float>& out)
{
    const std::size_t l = static_cast<std::size_t>(std::max(length, 1));
    if (in.size() < static_cast<std::size_t>(std::max(length, 0)) || in.size() < l)
        return false;
    out.resize(in.size());
    double sum = 0;
    for (std::size_t i = 0; i < l; ++i)
        sum += in[i];
    for (std::size_t i = 0; i < l; ++i)
        out[i] = static_cast<float>(sum / static_cast<double>(l));
    for (std::size_t i = l; i < in.size(); ++i) {
        sum += static_cast<double>(in[i]) - in[i - l];
        out[i] = static_cast<float>(sum / static_cast<double>(l));
    }
    return true;
}

double SumOfSquaredDeviations(const std::vector<float>& v)
{
    const std::size_t n = v.size();
    if (n < 2)
        return 0.0;
    double sum = 0, sumSq = 0;
    for (float x : v) {
        sum += x;
        sumSq += static_cast<double>(x) * x;
    }
    const double mean = sum / static_cast<double>(n);
    return sumSq - static_cast<double>(n) * mean * mean;
}

void ComputeHjorth(
    int m, double dt, const std::vector<float>& x, double& activity, double& mobility, double& complexity)
{
    std::vector<float> d1, s1, d2;
    // Values from vectors that could not be filled would be garbage: report no values instead.
    if (!Derivative(dt, x, d1) || !MovingAverage(m, d1, s1) || !Derivative(dt, s1, d2)) {
        activity = mobility = complexity = MissingValue();
        return;
    }
    const auto var = [](const std::vector<float>& v) {
        return v.size() < 2 ? 0.0 : SumOfSquaredDeviations(v) / static_cast<double>(v.size() - 1);
    };
    const double vx = var(x), vs1 = var(s1), vd2 = var(d2);
    activity = vx;
    mobility = std::sqrt(vs1 / vx);
    complexity = std::sqrt(vd2 * vx) / vs1;
}

} // namespace HRV
