#pragma once
// The beat selector: one value event per beat carrying a single chosen measure of the beat, so
// that the host can draw the measure as a channel.
#include "hrv/analysis/FiducialEvent.h"
#include "hrv/analysis/Sources.h"

#include <istream>
#include <ostream>
#include <string>

namespace HRV {

struct SelectorParams {
    int32_t mType = 0; // 0 RR, 1 delta-RR, 2 rate per minute, 3 activity, 4 mobility, 5 complexity
    bool mInterpolate = false;
    // The cursor over the beat events of parameter "Source".
    EEH3::CursorHandle<EEH3::EventWrapperEx<FiducialEvent>> mSource;
    bool mHasSources = false;

    bool Read(std::wistream& in, std::string& error);
    // The type and the interpolation flag, separated by a space; no terminator character is
    // written into the text.
    void Write(std::wostream& out) const;
    bool OpenSources(IUnknown* const* sources, ULONG count, double dt, int32_t record, std::string& error);
    void ClearSources();
};

struct SelectorState {
    int32_t mDataEnd = 0;
    bool mStopped = false;
    int32_t mNext = 0;
    int32_t mCursorPosition = 0;
};

struct SelectorAlgorithm {
    using Params = SelectorParams;
    using State = SelectorState;
    using Event = SelectorEvent;
    static constexpr uint32_t kRecordSize = sizeof(SelectorEvent);

    static State Initial(const Params& p, int32_t start);
    static bool Step(State& state, Params& params, Event& event);
    // The measure of a beat by type; NaN for a type outside 0-5.
    static double Value(int32_t type, const FiducialEvent& beat);
};

} // namespace HRV
