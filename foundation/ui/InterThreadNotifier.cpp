#include "foundation/ui/InterThreadNotifier.h"

#include <mutex>

#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace KEL {

namespace {

constexpr UINT kNotify = vx::ui::WM_USER + 1;
constexpr UINT kDestroy = vx::ui::WM_USER + 2;
const wchar_t* const kClassName = L"KELInterThreadNotifierImpl";

} // namespace

// The hidden window: WM_USER + 1 calls the notifier, WM_USER + 2 destroys the window on its own
// thread.
class KELInterThreadNotifierImpl {
public:
    explicit KELInterThreadNotifierImpl(InterThreadNotifier* owner)
        : mOwner(owner)
    {
        static std::once_flag once;
        std::call_once(once, [] {
            vx::ui::RegisterClass({ kClassName, vx::ui::CS_HREDRAW | vx::ui::CS_VREDRAW | vx::ui::CS_DBLCLKS, Proc });
        });
        mWindow = vx::ui::CreateWindowEx(0, kClassName, L"", vx::ui::WS_POPUP, 0, 0, 0, 0, nullptr, 0, this);
    }

    ~KELInterThreadNotifierImpl()
    {
        if (mWindow && vx::ui::IsWindow(mWindow) && vx::ui::GetWindowThreadId(mWindow) == vx::ui::GetCurrentThreadId())
            vx::ui::DestroyWindow(mWindow);
    }

    HWND Window() const { return mWindow; }

private:
    static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == vx::ui::WM_NCCREATE) {
            const auto* cs = reinterpret_cast<const vx::ui::CREATESTRUCTW*>(lParam);
            vx::ui::SetWindowLongPtr(
                hwnd, vx::ui::GWLP_USERDATA, reinterpret_cast<vx::ui::LONG_PTR>(cs->lpCreateParams));
        }
        auto* self
            = reinterpret_cast<KELInterThreadNotifierImpl*>(vx::ui::GetWindowLongPtr(hwnd, vx::ui::GWLP_USERDATA));
        switch (message) {
        case kNotify:
            return self && self->mOwner ? self->mOwner->Notify(wParam, lParam) : 0;
        case kDestroy:
            vx::ui::DestroyWindow(hwnd);
            return 1;
        default:
            return vx::ui::DefWindowProc(hwnd, message, wParam, lParam);
        }
    }

    InterThreadNotifier* mOwner;
    HWND mWindow = nullptr;
};

InterThreadNotifier::InterThreadNotifier()
    : mImpl(new KELInterThreadNotifierImpl(this))
{
}

InterThreadNotifier::~InterThreadNotifier()
{
    // The window goes on its own thread first, so no queued call can reach this object once it
    // is being destroyed; calls still queued go with the window.
    if (HWND window = mImpl->Window(); window && vx::ui::IsWindow(window))
        vx::ui::SendMessage(window, kDestroy, 0, 0);
    delete mImpl;
}

bool InterThreadNotifier::Post(WPARAM wParam, LPARAM lParam)
{
    return vx::ui::PostMessage(mImpl->Window(), kNotify, wParam, lParam);
}

LRESULT InterThreadNotifier::Send(WPARAM wParam, LPARAM lParam)
{
    HWND window = mImpl->Window();
    return vx::ui::IsWindow(window) ? vx::ui::SendMessage(window, kNotify, wParam, lParam) : 0;
}

HWND InterThreadNotifier::Window() const
{
    return mImpl->Window();
}

} // namespace KEL
