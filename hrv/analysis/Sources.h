#pragma once
// How the enumerators read their sources through the framework's cursors: a stretch of a
// channel's samples, and the first event at or after a position. The algorithms keep their
// positions in their states (so that a state copied into a checkpoint resumes exactly) and move
// the cursors there before each read; the cursors buffer what they read.
#include "hostframework/enumerators/SourceCursors.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace HRV {

// The sample interval of a time base, seconds (0 when unusable).
double IntervalOf(const vx::hf::RateRatio& ratio);

// A sample cursor over the source's stream, its limit the stream's length; null when the source
// is no sample stream or cannot tell its length. `length`, `growing` and `interval` get what the
// stream tells.
std::unique_ptr<EEH3::FloatExWrapper> OpenSamples(IUnknown* source, int64_t& length, bool& growing, double& interval);

// An event cursor over the source's events below `limit`; null when the source is no event
// source or its records are shorter than a position and a fraction.
template <class T> std::unique_ptr<EEH3::EventWrapperEx<T>> OpenEvents(IUnknown* source, int64_t limit);

// Samples [start, start + count) that lie below the cursor's limit (fewer at the end of the data,
// none past it).
void ReadSamples(EEH3::FloatExWrapper& cursor, int64_t start, int64_t count, std::vector<float>& out);

// The first event at or after `from` below the cursor's limit: its position and its record bytes.
// False when there is none, or none yet in a record that is being sampled.
bool NextEventAt(EEH3::EventWrapper& cursor, int32_t from, int32_t& position, const std::byte** record = nullptr);

} // namespace HRV
