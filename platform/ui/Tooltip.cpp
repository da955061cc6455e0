#include "ui/Tooltip.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "ui/Controls.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace vx::ui {

namespace {

constexpr UINT_PTR kInitialTimer = 1, kPopTimer = 2;

struct Tools {
    std::vector<TOOLINFOW> tools;
    bool active = true;
    UINT initialMs = 500;
    UINT popMs = 5000;
    int current = -1; // the tool under the mouse
    bool shown = false;
};

std::mutex gToolsMutex;
std::map<HWND, Tools> gTools;

bool SameTool(const TOOLINFOW& a, const TOOLINFOW& b)
{
    return a.hwnd == b.hwnd && a.uId == b.uId;
}

// The tool under a point of `window`'s client area, or -1.
int ToolAt(const Tools& t, HWND window, Point client)
{
    for (std::size_t i = 0; i < t.tools.size(); ++i) {
        const TOOLINFOW& tool = t.tools[i];
        if (tool.uFlags & TTF_IDISHWND) {
            if (reinterpret_cast<HWND>(tool.uId) == window)
                return static_cast<int>(i);
        } else if (tool.hwnd == window && tool.rect.Contains(client)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Hide(HWND tooltip, Tools& t)
{
    KillTimer(tooltip, kInitialTimer);
    KillTimer(tooltip, kPopTimer);
    t.shown = false;
    ShowWindow(tooltip, SW_HIDE);
}

void Show(HWND tooltip, Tools& t)
{
    if (t.current < 0 || t.current >= static_cast<int>(t.tools.size()))
        return;
    const std::wstring text = t.tools[static_cast<std::size_t>(t.current)].text;
    if (text.empty())
        return;
    SetWindowText(tooltip, text);
    std::unique_ptr<DC> dc = DC::CreateMemory();
    dc->SelectFont(ControlFont(tooltip));
    Rect measured { 0, 0, 300, 0 };
    dc->DrawText(text, measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    const Point cursor = GetCursorPos();
    SetWindowPos(tooltip, nullptr, cursor.x, cursor.y + 20, measured.Width() + 8, measured.Height() + 4,
        SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(tooltip, SW_SHOWNOACTIVATE);
    t.shown = true;
    SetTimer(tooltip, kPopTimer, t.popMs);
}

} // namespace

void ForgetTooltipTools(HWND tooltip)
{
    std::lock_guard lock(gToolsMutex);
    gTools.erase(tooltip);
}

bool TooltipToolMessage(HWND tooltip, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    std::unique_lock lock(gToolsMutex);
    Tools& t = gTools[tooltip];
    const auto* info = reinterpret_cast<const TOOLINFOW*>(lParam);
    auto find = [&](const TOOLINFOW* key) {
        return key
            ? std::find_if(t.tools.begin(), t.tools.end(), [&](const TOOLINFOW& tool) { return SameTool(tool, *key); })
            : t.tools.end();
    };
    result = 0;
    switch (message) {
    case TTM_ADDTOOLW:
        if (!info || find(info) != t.tools.end())
            return true;
        t.tools.push_back(*info);
        result = 1;
        return true;
    case TTM_DELTOOLW:
        if (auto it = find(info); it != t.tools.end()) {
            const bool wasCurrent = t.current == it - t.tools.begin();
            t.tools.erase(it);
            t.current = -1;
            lock.unlock();
            if (wasCurrent)
                Hide(tooltip, gTools[tooltip]);
        }
        return true;
    case TTM_NEWTOOLRECTW:
        if (auto it = find(info); it != t.tools.end())
            it->rect = info->rect;
        return true;
    case TTM_UPDATETIPTEXTW:
        if (auto it = find(info); it != t.tools.end()) {
            it->text = info->text;
            if (t.shown && t.current == it - t.tools.begin()) {
                lock.unlock();
                SetWindowText(tooltip, info->text);
            }
        }
        return true;
    case TTM_GETTEXTW:
        if (auto it = find(info); it != t.tools.end())
            const_cast<TOOLINFOW*>(info)->text = it->text;
        return true;
    case TTM_GETTOOLCOUNT:
        result = static_cast<LRESULT>(t.tools.size());
        return true;
    case TTM_SETDELAYTIME:
        if (wParam == TTDT_INITIAL)
            t.initialMs = static_cast<UINT>(std::max<LPARAM>(0, lParam));
        else if (wParam == TTDT_AUTOPOP)
            t.popMs = static_cast<UINT>(std::max<LPARAM>(0, lParam));
        return true;
    case TTM_ACTIVATE:
        t.active = wParam != 0;
        if (!t.active) {
            t.current = -1;
            lock.unlock();
            Hide(tooltip, gTools[tooltip]);
        }
        return true;
    case TTM_POP: {
        lock.unlock();
        Hide(tooltip, gTools[tooltip]);
        return true;
    }
    case TTM_RELAYEVENT: {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (!msg || !t.active)
            return true;
        if (msg->message == WM_LBUTTONDOWN || msg->message == WM_RBUTTONDOWN || msg->message == WM_MBUTTONDOWN
            || msg->message == WM_MOUSELEAVE) {
            lock.unlock();
            Hide(tooltip, gTools[tooltip]);
            return true;
        }
        if (msg->message != WM_MOUSEMOVE)
            return true;
        const Point client { static_cast<short>(LOWORD(msg->lParam)), static_cast<short>(HIWORD(msg->lParam)) };
        const int tool = ToolAt(t, msg->hwnd, client);
        if (tool == t.current)
            return true; // resting on the same tool (or on none)
        t.current = tool;
        const UINT initial = t.initialMs;
        lock.unlock();
        Hide(tooltip, gTools[tooltip]);
        if (tool >= 0)
            SetTimer(tooltip, kInitialTimer, std::max<UINT>(USER_TIMER_MINIMUM, initial));
        return true;
    }
    case WM_TIMER:
        if (wParam == kInitialTimer) {
            KillTimer(tooltip, kInitialTimer);
            lock.unlock();
            Show(tooltip, gTools[tooltip]);
            return true;
        }
        if (wParam == kPopTimer) {
            lock.unlock();
            Hide(tooltip, gTools[tooltip]);
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace vx::ui
