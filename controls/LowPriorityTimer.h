#pragma once
// A window-less timer of the user-interface thread that calls its owner's Tick at the low
// priority of timer messages. Start replaces a running timer (one timer per object); Start after
// Stop starts afresh.
#include <memory>

#include "ui/Messages.h"

namespace KEL {

class LowPriorityTimer {
public:
    // 0 seconds: made stopped.
    explicit LowPriorityTimer(double seconds = 0);
    virtual ~LowPriorityTimer();
    LowPriorityTimer(const LowPriorityTimer&) = delete;
    LowPriorityTimer& operator=(const LowPriorityTimer&) = delete;

    // The period is round(min(seconds * 1000, 2147483647)) milliseconds. Negative and NaN seconds
    // are refused (false, the timer unchanged).
    bool Start(double seconds);
    void Stop();
    bool IsRunning() const;
    vx::ui::UINT_PTR Id() const;
    UINT PeriodMs() const;

protected:
    virtual void Tick() = 0;

private:
    struct Record;
    std::unique_ptr<Record> mRecord;
};

} // namespace KEL
