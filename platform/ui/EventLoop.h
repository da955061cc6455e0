#pragma once
// The calling thread's event loop.
#include <cstdint>
#include <functional>

#include "ui/Messages.h"

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

// What the loops do with each message: the keyboard filters, then the thread's translators
// (accelerators, dialog navigation; the latest added first; true consumes the message), then
// DispatchMessage.
using MessageTranslator = std::function<bool(const MSG&)>;
int AddMessageTranslator(MessageTranslator translator);
void RemoveMessageTranslator(int id);
void ProcessMessage(const MSG& msg);

// Idle-time work (the command enablers of menus and tool bars): run each time the thread's queue
// has run dry, by RunMessageLoop before it waits and by RunUntilIdle once at its end.
int AddIdleHandler(std::function<void()> handler);
void RemoveIdleHandler(int id);
void RunIdleHandlers();

} // namespace vx::ui
