#pragma once
// The time base of the event loop: message times and timers read it. In real use it is the steady
// clock; tests install a ManualClock and move time forward themselves, so no test ever sleeps to
// wait for a timer. (Wall time, the tick count and the performance counter are the time module's,
// time/Clock.h; this clock only paces the event loop.)
#include <atomic>
#include <cstdint>

#include "com/HResult.h"

namespace vx::ui {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed origin; never goes backwards.
    virtual std::uint64_t NowMs() const = 0;
    // True when time moves only when told to (the event loop then never waits for a timer).
    virtual bool IsManual() const { return false; }
};

class SteadyClock final : public Clock {
public:
    std::uint64_t NowMs() const override;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(std::uint64_t startMs = 1000)
        : mNow(startMs)
    {
    }

    std::uint64_t NowMs() const override { return mNow.load(); }
    bool IsManual() const override { return true; }

    // Moves time forward and wakes every thread waiting for messages, so that a waiting loop
    // sees the timers that have become due.
    void Advance(std::uint64_t ms);

private:
    std::atomic<std::uint64_t> mNow;
};

// The process-wide clock. SetClock(nullptr) restores the steady clock; the caller keeps a clock it
// installs alive until it is replaced. Returns the previous clock.
Clock* SetClock(Clock* clock);
Clock& GetClock();

} // namespace vx::ui
