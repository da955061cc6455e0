#pragma once
// Walking the events of a host channel over a stretch of a recording, record by record, as the
// beat-mark commands do when they remove the beats inside the user's selection.
#include <cstdint>
#include <functional>

#include "hostframework/comments/EventWalk.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace HRV {

// Calls `handler` (record, event record) for every event of `channel` from `start` to `end`:
// `start`'s record from its offset, whole records between, `end`'s record up to its offset. A
// record whose events the host refuses is skipped. Nothing is walked when either position is
// not set, and never past the host's last record.
void ForEachEventInRange(IAnalysisHost* host, const ChannelRef& channel, Position start, Position end,
    const std::function<void(int32_t record, const void* event)>& handler);

// The comment of the next event the walk hands out: the host's comment when the walk chose one,
// else a comment made for the event from its channel's draw class. 0 with *out held (when out is
// not null), 1 when the walk has no further event.
int NextEventComment(vx::hf::MultiSourceEventWalk& walk, IVarnComment** out);

} // namespace HRV
