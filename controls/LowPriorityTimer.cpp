#include "controls/LowPriorityTimer.h"

#include <algorithm>
#include <cmath>

#include "ui/Timer.h"

namespace KEL {

// The timer record: the callback reaches the object through it, and it lives as long as the
// object, so a restarted timer never calls through anything freed.
struct LowPriorityTimer::Record {
    LowPriorityTimer* owner = nullptr;
    vx::ui::UINT_PTR id = 0;
    UINT period = 0;
};

LowPriorityTimer::LowPriorityTimer(double seconds)
    : mRecord(std::make_unique<Record>())
{
    mRecord->owner = this;
    if (seconds != 0)
        Start(seconds);
}

LowPriorityTimer::~LowPriorityTimer()
{
    Stop();
}

bool LowPriorityTimer::Start(double seconds)
{
    if (std::isnan(seconds) || seconds < 0)
        return false;
    const double ms = std::min(seconds * 1000, 2147483647.0);
    const auto period = static_cast<UINT>(std::trunc(ms + 0.5));
    Record* record = mRecord.get();
    const vx::ui::UINT_PTR id
        = vx::ui::SetTimer(nullptr, record->id, period, [record](vx::ui::HWND, UINT, vx::ui::UINT_PTR, DWORD) {
              if (record->owner)
                  record->owner->Tick();
          });
    record->id = id;
    record->period = id ? period : 0;
    return id != 0;
}

void LowPriorityTimer::Stop()
{
    if (mRecord->id != 0)
        vx::ui::KillTimer(nullptr, mRecord->id);
    mRecord->id = 0;
    mRecord->period = 0;
}

bool LowPriorityTimer::IsRunning() const
{
    return mRecord->id != 0;
}

vx::ui::UINT_PTR LowPriorityTimer::Id() const
{
    return mRecord->id;
}

UINT LowPriorityTimer::PeriodMs() const
{
    return mRecord->period;
}

} // namespace KEL
