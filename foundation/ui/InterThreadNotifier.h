#pragma once
// Runs calls on the thread that created the notifier: any thread posts (wParam, lParam), and the
// creating thread's message loop calls Notify with them, in the order posted. A hidden window of
// the creating thread carries the calls; calls still queued when the notifier goes are dropped
// with that window.
#include "ui/Messages.h"

namespace KEL {

using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::LRESULT;
using vx::ui::WPARAM;

class KELInterThreadNotifierImpl;

class KELInterThreadNotifierStableInterface {
public:
    virtual LRESULT Notify(WPARAM wParam, LPARAM lParam) = 0;
    virtual ~KELInterThreadNotifierStableInterface() = default;
};

class InterThreadNotifier : public KELInterThreadNotifierStableInterface {
public:
    InterThreadNotifier();
    ~InterThreadNotifier() override;
    InterThreadNotifier(const InterThreadNotifier&) = delete;
    InterThreadNotifier& operator=(const InterThreadNotifier&) = delete;

    // From any thread: the call runs later on the creating thread. False when the window is gone.
    bool Post(WPARAM wParam, LPARAM lParam);
    // From any thread: waits for the call's result (0 when the window is gone).
    LRESULT Send(WPARAM wParam, LPARAM lParam);
    HWND Window() const;

private:
    KELInterThreadNotifierImpl* mImpl;
};

} // namespace KEL
