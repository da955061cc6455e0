#pragma once
// The calling thread's event loop.
#include <cstdint>

namespace vx::ui {

// Dispatches every message that is ready now (including due timers and pending paints) until
// none is left, without waiting. A pending WM_QUIT ends the run and stays pending. Returns the
// number of messages dispatched.
int RunUntilIdle();

// Dispatches messages until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Runs the loop for `ms` milliseconds. With a manual clock the clock is moved from one due timer
// to the next, running until idle at each, so every tick in the span is delivered; with the
// steady clock it waits in real time. Ends early, leaving it pending, at WM_QUIT.
void RunFor(std::uint64_t ms);

} // namespace vx::ui
