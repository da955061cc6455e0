#include "ui/Input.h"

#include <array>
#include <atomic>
#include <map>
#include <mutex>

#include "ui/Backend.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/ScrollBars.h"
#include "ui/Window.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

namespace {

struct ThreadInput {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    HWND tracked = nullptr; // asked for WM_MOUSELEAVE
    HWND underMouse = nullptr;
    std::map<int, KeyFilter> filters;
    int nextFilter = 1;
};

ThreadInput& Input()
{
    thread_local ThreadInput input;
    return input;
}

std::array<std::atomic<unsigned short>, 256> gKeys {};
std::atomic<int> gCursor { IDC_ARROW };
std::atomic<int> gCursorX { 0 }, gCursorY { 0 };

HWND Live(HWND hwnd)
{
    return IsWindow(hwnd) ? hwnd : nullptr;
}

} // namespace

HWND SetFocus(HWND hwnd)
{
    ThreadInput& in = Input();
    HWND previous = Live(in.focus);
    if (hwnd && (!IsWindow(hwnd) || GetWindowThreadId(hwnd) != GetCurrentThreadId() || !IsWindowEnabled(hwnd)))
        return nullptr;
    if (hwnd == previous)
        return previous;
    in.focus = hwnd;
    if (previous)
        SendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && in.focus == hwnd) {
        HWND root = GetAncestor(hwnd, GA_ROOT);
        if (root != Live(in.active))
            SetActiveWindow(root);
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus()
{
    return Live(Input().focus);
}

HWND SetActiveWindow(HWND hwnd)
{
    ThreadInput& in = Input();
    HWND previous = Live(in.active);
    if (hwnd == previous || (hwnd && !IsWindow(hwnd)))
        return previous;
    in.active = hwnd;
    if (previous)
        SendMessage(previous, WM_ACTIVATE, 0 /*WA_INACTIVE*/, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd)
        SendMessage(hwnd, WM_ACTIVATE, 1 /*WA_ACTIVE*/, reinterpret_cast<LPARAM>(previous));
    return previous;
}

HWND GetActiveWindow()
{
    return Live(Input().active);
}

HWND SetCapture(HWND hwnd)
{
    ThreadInput& in = Input();
    HWND previous = Live(in.capture);
    in.capture = hwnd;
    if (previous && previous != hwnd)
        SendMessage(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return previous;
}

bool ReleaseCapture()
{
    ThreadInput& in = Input();
    HWND previous = Live(in.capture);
    in.capture = nullptr;
    if (previous)
        SendMessage(previous, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWND GetCapture()
{
    return Live(Input().capture);
}

short GetKeyState(int virtualKey)
{
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    return static_cast<short>(gKeys[std::size_t(virtualKey)].load());
}

short GetAsyncKeyState(int virtualKey)
{
    return static_cast<short>(GetKeyState(virtualKey) & 0x8000);
}

void SetKeyDown(int virtualKey, bool down)
{
    if (virtualKey < 0 || virtualKey > 255)
        return;
    auto& key = gKeys[std::size_t(virtualKey)];
    unsigned short value = key.load();
    if (down && !(value & 0x8000))
        value ^= 1;
    value = static_cast<unsigned short>(down ? (value | 0x8000) : (value & 0x7FFF));
    key.store(value);
}

bool TrackMouseEvent(TRACKMOUSEEVENT* request)
{
    if (!request)
        return false;
    ThreadInput& in = Input();
    if (request->dwFlags & TME_CANCEL) {
        if (in.tracked == request->hwndTrack)
            in.tracked = nullptr;
        return true;
    }
    if (!IsWindow(request->hwndTrack))
        return false;
    if (request->dwFlags & TME_LEAVE) {
        in.tracked = request->hwndTrack;
        // Asking while the mouse is elsewhere gives the leave at once, as the original does.
        if (in.underMouse != request->hwndTrack) {
            in.tracked = nullptr;
            PostMessage(request->hwndTrack, WM_MOUSELEAVE, 0, 0);
        }
    }
    return true;
}

int SetCursor(int cursorId)
{
    const int previous = gCursor.exchange(cursorId);
    if (previous != cursorId) {
        auto backend = detail::BackendSnapshot();
        if (backend->CursorChanged)
            backend->CursorChanged(cursorId);
    }
    return previous;
}

int GetCursor()
{
    return gCursor.load();
}

Point GetCursorPos()
{
    return { gCursorX.load(), gCursorY.load() };
}

Point GetPointerPos()
{
    auto backend = detail::BackendSnapshot();
    Point at;
    if (backend->QueryPointer && backend->QueryPointer(at))
        return at;
    return GetCursorPos();
}

int AddKeyFilter(KeyFilter filter)
{
    ThreadInput& in = Input();
    const int id = in.nextFilter++;
    in.filters.emplace(id, std::move(filter));
    return id;
}

void RemoveKeyFilter(int id)
{
    Input().filters.erase(id);
}

bool PassKeyFilters(const MSG& msg)
{
    if (msg.message < WM_KEYDOWN || msg.message > WM_SYSKEYUP)
        return true;
    // A filter may remove itself (or others) while it runs.
    auto filters = Input().filters;
    for (auto& [id, filter] : filters)
        if (filter && filter(msg))
            return false;
    return true;
}

HWND ChildWindowFromPointDeep(HWND parent, Point screen)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        Rect r;
        GetWindowRect(child, &r);
        if (!r.Contains(screen))
            continue;
        Region shape;
        if (GetWindowRgn(child, &shape) && !shape.Contains({ screen.x - r.left, screen.y - r.top }))
            continue;
        if (!IsWindowEnabled(child))
            return parent;
        return ChildWindowFromPointDeep(child, screen);
    }
    return parent;
}

void InjectMouse(HWND topLevel, UINT message, Point client, WPARAM keys)
{
    ThreadInput& in = Input();
    Point screen = client;
    ClientToScreen(topLevel, &screen);
    gCursorX = screen.x;
    gCursorY = screen.y;
    switch (message) {
    case WM_LBUTTONDOWN:
        SetKeyDown(VK_LBUTTON, true);
        break;
    case WM_LBUTTONUP:
        SetKeyDown(VK_LBUTTON, false);
        break;
    case WM_RBUTTONDOWN:
        SetKeyDown(VK_RBUTTON, true);
        break;
    case WM_RBUTTONUP:
        SetKeyDown(VK_RBUTTON, false);
        break;
    default:
        break;
    }
    HWND target = Live(in.capture);
    if (!target)
        target = ChildWindowFromPointDeep(topLevel, screen);
    if (message == WM_MOUSEMOVE) {
        HWND hit = ChildWindowFromPointDeep(topLevel, screen);
        if (hit != in.underMouse) {
            if (in.tracked && in.tracked == in.underMouse && in.tracked != Live(in.capture)) {
                PostMessage(in.tracked, WM_MOUSELEAVE, 0, 0);
                in.tracked = nullptr;
            }
            in.underMouse = hit;
        }
        if (!Live(in.capture) && target)
            SendMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, message));
    }
    if (!target)
        return;
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
        HWND root = GetAncestor(target, GA_ROOT);
        // Mouse activation: a click on an inactive window activates it unless it answers
        // MA_NOACTIVATE (3) or MA_NOACTIVATEANDEAT (4).
        if (root != GetActiveWindow()) {
            const LRESULT answer
                = SendMessage(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root), MAKELPARAM(HTCLIENT, message));
            if (answer != 3 && answer != 4)
                SetActiveWindow(root);
            if (answer == 2 || answer == 4) // ...AND EAT
                return;
        }
    }
    Point local = screen;
    ScreenToClient(target, &local);
    Rect targetClient;
    GetClientRect(target, &targetClient);
    if (!Live(in.capture) && !targetClient.Contains(local) && message >= WM_MOUSEMOVE && message <= WM_LBUTTONUP) {
        // Outside the client area: the frame's parts (its scroll bars) get the non-client message.
        const LPARAM at
            = MAKELPARAM(static_cast<unsigned>(screen.x) & 0xFFFF, static_cast<unsigned>(screen.y) & 0xFFFF);
        const LRESULT hit = SendMessage(target, WM_NCHITTEST, 0, at);
        if (hit != HTCLIENT && hit != HTNOWHERE) {
            PostMessage(target, message - WM_MOUSEMOVE + WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), at);
            return;
        }
    }
    PostMessage(target, message, keys,
        MAKELPARAM(static_cast<unsigned>(local.x) & 0xFFFF, static_cast<unsigned>(local.y) & 0xFFFF));
}

void InjectKey(UINT message, int virtualKey, wchar_t character)
{
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
        SetKeyDown(virtualKey, true);
    else if (message == WM_KEYUP || message == WM_SYSKEYUP)
        SetKeyDown(virtualKey, false);
    HWND target = GetFocus();
    if (!target)
        target = GetActiveWindow();
    if (!target)
        return;
    if (message == WM_CHAR)
        PostMessage(target, WM_CHAR, static_cast<WPARAM>(character), 1);
    else
        PostMessage(target, message, static_cast<WPARAM>(virtualKey), 1);
}

} // namespace vx::ui
