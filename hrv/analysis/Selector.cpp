#include "hrv/analysis/Selector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace HRV {

bool SelectorParams::Read(std::wistream& in, std::string& error)
{
    double type = 0, interpolate = 0;
    in >> type >> interpolate;
    if (in.fail() || !std::isfinite(type) || !std::isfinite(interpolate)) {
        error = "HRVSelector: the parameters do not read as a type and an interpolation flag";
        return false;
    }
    mType = type >= -1e9 && type <= 1e9 ? static_cast<int32_t>(type) : -1;
    mInterpolate = interpolate > 0;
    return true;
}

void SelectorParams::Write(std::wostream& out) const
{
    out << mType << L' ' << (mInterpolate ? 1 : 0);
}

bool SelectorParams::OpenSources(IUnknown* const* sources, ULONG count, double, int32_t, std::string& error)
{
    ClearSources();
    if (count >= 1 && sources)
        mSource = EEH3::CursorHandle(OpenEvents<FiducialEvent>(sources[0], kEventEnd - 1));
    if (!mSource) {
        error = "HRVSelector: needs an event channel of beats";
        return false;
    }
    mHasSources = true;
    return true;
}

void SelectorParams::ClearSources()
{
    mSource = {};
    mHasSources = false;
}

SelectorState SelectorAlgorithm::Initial(const Params&, int32_t start)
{
    SelectorState s;
    // An event source has no length of its own: the record ends where its events end.
    s.mDataEnd = kEventEnd - 1;
    s.mNext = start;
    s.mCursorPosition = start;
    return s;
}

double SelectorAlgorithm::Value(int32_t type, const FiducialEvent& b)
{
    switch (type) {
    case 0:
        return b.mRR;
    case 1:
        return b.mDeltaRR;
    case 2:
        return b.mRate * 60.0;
    case 3:
        return b.mActivity;
    case 4:
        return b.mMobility;
    case 5:
        return b.mComplexity;
    default:
        return MissingValue();
    }
}

bool SelectorAlgorithm::Step(State& st, Params& p, Event& ev)
{
    if (st.mStopped || st.mNext >= st.mDataEnd || !p.mHasSources) {
        st.mStopped = true;
        st.mNext = kEventEnd;
        return false;
    }
    bool produced = false;
    int32_t pos = 0;
    const std::byte* record = nullptr;
    if (NextEventAt(*p.mSource, st.mCursorPosition, pos, &record) && pos < st.mDataEnd) {
        FiducialEvent beat;
        const std::size_t size = std::min<std::size_t>(p.mSource->RecordSize(), sizeof beat);
        std::memcpy(&beat, record, size);
        ev = SelectorEvent();
        ev.mValue = p.mSource->RecordSize() >= sizeof(FiducialEvent) ? Value(p.mType, beat) : MissingValue();
        const double x = static_cast<double>(pos) + beat.mFraction;
        ev.mPosition = static_cast<int32_t>(x + 0.5);
        ev.mFraction = static_cast<float>(x - ev.mPosition);
        st.mCursorPosition = pos + 1;
        produced = true;
    }
    int32_t next = 0;
    if (NextEventAt(*p.mSource, st.mCursorPosition, next) && next < st.mDataEnd)
        st.mNext = next;
    else
        st.mNext = kEventEnd;
    return produced;
}

} // namespace HRV
