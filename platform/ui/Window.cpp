#include "ui/Window.h"

#include <algorithm>
#include <cwchar>

#include "log/Log.h"
#include "ui/Controls.h"
#include "ui/MessageQueue.h"
#include "ui/ScrollBars.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

using detail::Lock;
using detail::Window;

namespace {

// What a backend without display bounds counts as its screen.
constexpr Rect kFallbackDisplay { 0, 0, 1920, 1080 };

detail::State& S()
{
    return detail::GetState();
}

Rect DisplayBounds()
{
    auto backend = detail::BackendSnapshot();
    return backend->GetDisplayBounds ? backend->GetDisplayBounds() : kFallbackDisplay;
}

// Screen position of a window's client origin.
Point ClientOriginLocked(const Window& window)
{
    Point origin = window.clientRect.TopLeft();
    if (const Window* parent = window.parent ? detail::FindWindowLocked(window.parent) : nullptr) {
        const Point parentOrigin = ClientOriginLocked(*parent);
        origin = origin.Offset(parentOrigin.x, parentOrigin.y);
    }
    return origin;
}

Point ParentOriginLocked(const Window& window)
{
    const Window* parent = window.parent ? detail::FindWindowLocked(window.parent) : nullptr;
    return parent ? ClientOriginLocked(*parent) : Point {};
}

// Runs `read` on a window under the lock; `fallback` for a stale handle.
template <class R, class F> R WithWindow(HWND hwnd, R fallback, F read)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    return window ? read(*window) : fallback;
}

// Moves a point between a window's client coordinates and the screen (direction +1 or -1).
bool MapClientPoint(HWND hwnd, Point* point, int direction)
{
    return point != nullptr && WithWindow(hwnd, false, [&](const Window& window) {
        const Point origin = ClientOriginLocked(window);
        *point = point->Offset(direction * origin.x, direction * origin.y);
        return true;
    });
}

// The calling thread's own window, or null (stale handle, or a window of another thread).
Window* OwnWindowLocked(HWND hwnd)
{
    detail::ThreadQueue* queue = detail::ExistingQueue();
    return queue ? detail::FindOwnWindowLocked(hwnd, *queue) : nullptr;
}

template <class Op> void CallBackend(Op op)
{
    auto backend = detail::BackendSnapshot();
    op(*backend);
}

void UnlinkLocked(Window& window)
{
    if (Window* parent = window.parent ? detail::FindWindowLocked(window.parent) : nullptr)
        std::erase(parent->children, window.handle);
    window.parent = nullptr;
}

// WM_PARENTNOTIFY goes to the parent and on up while the windows passed are children that do not
// refuse it (WS_EX_NOPARENTNOTIFY).
void SendParentNotify(HWND child, UINT event)
{
    HWND hwnd = child;
    LONG_PTR id = GetWindowLongPtr(child, GWLP_ID);
    for (;;) {
        const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        const auto exStyle = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_EXSTYLE));
        HWND parent = GetParent(hwnd);
        if ((style & WS_CHILD) == 0 || (exStyle & WS_EX_NOPARENTNOTIFY) != 0 || parent == nullptr)
            return;
        SendMessage(
            parent, WM_PARENTNOTIFY, MAKEWPARAM(event, static_cast<unsigned>(id)), reinterpret_cast<LPARAM>(child));
        hwnd = parent;
    }
}

std::vector<HWND> ChildrenOf(HWND hwnd)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    return window ? window->children : std::vector<HWND> {};
}

std::vector<HWND> OwnedWindows(HWND owner)
{
    std::vector<HWND> owned;
    Lock lock(S().lock);
    for (const auto& [key, window] : S().windows)
        if (window->owner == owner && !window->destroying)
            owned.push_back(window->handle);
    return owned;
}

// WM_DESTROY: the window first, then its children (top of the z-order first), depth first.
void SendDestroyTree(HWND hwnd)
{
    {
        Lock lock(S().lock);
        Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr || window->destroying)
            return;
        window->destroying = true;
    }
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : ChildrenOf(hwnd))
        SendDestroyTree(child);
}

// WM_NCDESTROY: children first; then the window leaves the tree and the table.
void FreeWindowTree(HWND hwnd)
{
    for (HWND child : ChildrenOf(hwnd))
        FreeWindowTree(child);
    bool topLevel = false;
    {
        Lock lock(S().lock);
        Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr)
            return;
        window->destroying = true;
        topLevel = window->IsTopLevel();
        UnlinkLocked(*window);
    }
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);
    if (topLevel) {
        CallBackend([&](Backend& backend) {
            if (backend.WindowDestroyed)
                backend.WindowDestroyed(hwnd);
        });
    }
    Lock lock(S().lock);
    Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return;
    // Children made during WM_NCDESTROY would be left without a parent; they go too, silently.
    for (HWND child : window->children) {
        if (Window* orphan = detail::FindWindowLocked(child))
            orphan->parent = nullptr;
    }
    detail::ForgetWindowLocked(*window);
    detail::EraseWindowLocked(hwnd);
}

// Sends WM_NCCALCSIZE for a new window rectangle (parent coordinates) and stores both rectangles.
void ApplyRect(HWND hwnd, const Rect& windowRect)
{
    Rect client = windowRect;
    SendMessage(hwnd, WM_NCCALCSIZE, 0, reinterpret_cast<LPARAM>(&client));
    Lock lock(S().lock);
    if (Window* window = detail::FindWindowLocked(hwnd)) {
        window->windowRect = windowRect;
        // A procedure may only take area away from the window for its frame.
        window->clientRect = windowRect.Contains(client) ? client : windowRect;
        window->update = window->update.Intersect(Rect::FromPointSize({}, window->clientRect.GetSize()));
    }
}

void SendSizeAndMove(HWND hwnd)
{
    Rect client;
    bool maximised = false;
    {
        Lock lock(S().lock);
        const Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr)
            return;
        client = window->clientRect;
        maximised = (window->style & WS_MAXIMIZE) != 0;
    }
    SendMessage(hwnd, WM_SIZE, maximised ? SIZE_MAXIMIZED : SIZE_RESTORED,
        MAKELPARAM(static_cast<unsigned>(client.Width()), static_cast<unsigned>(client.Height())));
    SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<unsigned>(client.left), static_cast<unsigned>(client.top)));
}

LRESULT DefWindowPosChanged(HWND hwnd, const WINDOWPOS& pos)
{
    Rect client;
    bool maximised = false;
    {
        Lock lock(S().lock);
        const Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr)
            return 0;
        client = window->clientRect;
        maximised = (window->style & WS_MAXIMIZE) != 0;
    }
    if ((pos.flags & SWP_NOMOVE) == 0)
        SendMessage(
            hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<unsigned>(client.left), static_cast<unsigned>(client.top)));
    if ((pos.flags & SWP_NOSIZE) == 0)
        SendMessage(hwnd, WM_SIZE, maximised ? SIZE_MAXIMIZED : SIZE_RESTORED,
            MAKELPARAM(static_cast<unsigned>(client.Width()), static_cast<unsigned>(client.Height())));
    return 0;
}

LRESULT DefGetText(HWND hwnd, WPARAM capacity, wchar_t* buffer)
{
    if (buffer == nullptr || capacity == 0)
        return 0;
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    const std::wstring text = window ? window->text : std::wstring {};
    const std::size_t count = std::min<std::size_t>(text.size(), capacity - 1);
    std::wmemcpy(buffer, text.data(), count);
    buffer[count] = L'\0';
    return static_cast<LRESULT>(count);
}

LRESULT DefSetText(HWND hwnd, const wchar_t* text)
{
    bool topLevel = false;
    std::wstring copy = text ? text : L"";
    {
        Lock lock(S().lock);
        Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr)
            return 0;
        window->text = copy;
        topLevel = window->IsTopLevel();
    }
    if (topLevel) {
        CallBackend([&](Backend& backend) {
            if (backend.WindowTextChanged)
                backend.WindowTextChanged(hwnd, copy);
        });
    }
    return 1;
}

LRESULT DefHitTest(HWND hwnd, LPARAM lParam)
{
    Point point { static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam))),
        static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam))) };
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return HTNOWHERE;
    const Point origin = ParentOriginLocked(*window);
    if (window->clientRect.Offset(origin.x, origin.y).Contains(point))
        return HTCLIENT;
    if (!window->windowRect.Offset(origin.x, origin.y).Contains(point) || !(window->style & (WS_VSCROLL | WS_HSCROLL)))
        return HTNOWHERE;
    const Point inWindow { point.x - origin.x - window->windowRect.left, point.y - origin.y - window->windowRect.top };
    lock.unlock();
    if (NonClientScrollBarRect(hwnd, SB_VERT).Contains(inWindow))
        return HTVSCROLL;
    if (NonClientScrollBarRect(hwnd, SB_HORZ).Contains(inWindow))
        return HTHSCROLL;
    return HTNOWHERE;
}

void InvalidateTree(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, true);
    for (HWND child : ChildrenOf(hwnd))
        InvalidateTree(child);
}

void NotifyBackendMoved(HWND hwnd)
{
    Rect rect;
    if (!GetWindowRect(hwnd, &rect))
        return;
    CallBackend([&](Backend& backend) {
        if (backend.WindowMoved)
            backend.WindowMoved(hwnd, rect);
    });
}

void NotifyBackendLayout(HWND hwnd)
{
    CallBackend([&](Backend& backend) {
        if (backend.WindowLayoutChanged)
            backend.WindowLayoutChanged(hwnd);
    });
}

// CW_USEDEFAULT: an overlapped top-level window gets three quarters of the display; otherwise
// a default position or size is 0.
void ApplyDefaultGeometry(CREATESTRUCTW& cs)
{
    const auto style = static_cast<DWORD>(cs.style);
    if ((style & (WS_CHILD | WS_POPUP)) == 0 && cs.cx == CW_USEDEFAULT) {
        const Rect display = DisplayBounds();
        cs.cx = display.Width() * 3 / 4;
        cs.cy = display.Height() * 3 / 4;
    }
    if (cs.x == CW_USEDEFAULT)
        cs.x = cs.y = 0;
    if (cs.cx == CW_USEDEFAULT)
        cs.cx = cs.cy = 0;
    cs.cx = std::max(cs.cx, 0);
    cs.cy = std::max(cs.cy, 0);
}

// Puts a new window into the table, at the bottom of its parent's children. Null for an unknown
// class or a parent that is not the calling thread's.
HWND AddWindow(const CREATESTRUCTW& cs)
{
    auto queue = detail::CurrentQueue();
    const auto style = static_cast<DWORD>(cs.style);
    Lock lock(S().lock);
    auto cls = cs.lpszClass ? S().classes.find(cs.lpszClass) : S().classes.end();
    if (cls == S().classes.end()) {
        lock.unlock();
        vx::log::WriteLine("ui: CreateWindowEx: the window class is not registered");
        return nullptr;
    }
    Window* parent = (style & WS_CHILD) ? detail::FindOwnWindowLocked(cs.hwndParent, *queue) : nullptr;
    if ((style & WS_CHILD) && parent == nullptr)
        return nullptr;
    auto window = std::make_unique<Window>();
    HWND hwnd = reinterpret_cast<HWND>(S().nextHandle);
    S().nextHandle += 4;
    window->handle = hwnd;
    window->windowClass = cls->second;
    window->queue = queue;
    window->parent = cs.hwndParent;
    window->style = style & ~(WS_VISIBLE | WS_MAXIMIZE); // set by the show that follows creation
    window->exStyle = cs.dwExStyle;
    window->windowRect = window->clientRect = Rect::FromPointSize({ cs.x, cs.y }, { cs.cx, cs.cy });
    window->id = cs.hMenu;
    window->proc = cls->second->proc;
    ++cls->second->windowCount;
    if (parent)
        parent->children.push_back(hwnd);
    S().windows.emplace(reinterpret_cast<std::uintptr_t>(hwnd), std::move(window));
    return hwnd;
}

bool BackendAcceptsWindow(HWND hwnd)
{
    bool accepted = true;
    CallBackend([&](Backend& backend) {
        if (backend.WindowCreated)
            accepted = backend.WindowCreated(hwnd);
    });
    return accepted;
}

// The creation messages, in the original platform's order; false when the window refused or
// was destroyed on the way.
bool RunCreationMessages(HWND hwnd, CREATESTRUCTW& cs)
{
    if (SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
        FreeWindowTree(hwnd);
        return false;
    }
    ApplyRect(hwnd, Rect::FromPointSize({ cs.x, cs.y }, { cs.cx, cs.cy }));
    if (SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        FreeWindowTree(hwnd);
        return false;
    }
    SendSizeAndMove(hwnd);
    const auto style = static_cast<DWORD>(cs.style);
    if (style & WS_CHILD)
        SendParentNotify(hwnd, WM_CREATE);
    if (style & WS_MAXIMIZE)
        ShowWindow(hwnd, SW_MAXIMIZE);
    else if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd);
}

} // namespace

bool RegisterClass(const WindowClass& windowClass)
{
    if (windowClass.name.empty() || windowClass.proc == nullptr)
        return false;
    Lock lock(S().lock);
    auto record = std::make_shared<detail::WindowClassRecord>();
    record->name = windowClass.name;
    record->style = windowClass.style;
    record->proc = windowClass.proc;
    return S().classes.emplace(windowClass.name, std::move(record)).second;
}

bool UnregisterClass(const std::wstring& name)
{
    Lock lock(S().lock);
    auto it = S().classes.find(name);
    if (it == S().classes.end() || it->second->windowCount != 0)
        return false;
    S().classes.erase(it);
    return true;
}

HWND CreateWindowEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int cx,
    int cy, HWND parent, LONG_PTR id, void* createParam)
{
    const bool child = (style & WS_CHILD) != 0;
    CREATESTRUCTW cs;
    cs.lpCreateParams = createParam;
    cs.hMenu = child ? id : 0;
    cs.hwndParent = child ? parent : nullptr;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = text;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    ApplyDefaultGeometry(cs);
    HWND hwnd = AddWindow(cs);
    if (hwnd == nullptr)
        return nullptr;
    if (!child && parent) {
        // A top-level window made with a parent is owned by that window's top-level window: it
        // stays above it and goes with it.
        Lock lock(S().lock);
        const Window* owner = detail::FindWindowLocked(parent);
        while (owner && owner->parent)
            owner = detail::FindWindowLocked(owner->parent);
        if (Window* window = detail::FindWindowLocked(hwnd); window && owner)
            window->owner = owner->handle;
    }
    if (!child && !BackendAcceptsWindow(hwnd)) {
        Lock lock(S().lock);
        detail::EraseWindowLocked(hwnd);
        return nullptr;
    }
    return RunCreationMessages(hwnd, cs) ? hwnd : nullptr;
}

bool DestroyWindow(HWND hwnd)
{
    DWORD style = 0;
    {
        Lock lock(S().lock);
        Window* window = OwnWindowLocked(hwnd);
        if (window == nullptr || window->destroying)
            return false;
        style = window->style;
    }
    if (style & WS_CHILD)
        SendParentNotify(hwnd, WM_DESTROY);
    // Owned windows go first.
    for (HWND owned : OwnedWindows(hwnd))
        DestroyWindow(owned);
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_HIDE);
    SendDestroyTree(hwnd);
    FreeWindowTree(hwnd);
    if (style & WS_CHILD)
        NotifyBackendLayout(hwnd);
    return true;
}

bool IsWindow(HWND hwnd)
{
    return WithWindow(hwnd, false, [](const Window&) { return true; });
}

DWORD GetWindowThreadId(HWND hwnd)
{
    return WithWindow(hwnd, DWORD { 0 }, [](const Window& window) { return window.queue->threadId; });
}

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        DefSetText(hwnd, cs ? cs->lpszName : nullptr);
        return 1;
    }
    case WM_SETTEXT:
        return DefSetText(hwnd, reinterpret_cast<const wchar_t*>(lParam));
    case WM_GETTEXT:
        return DefGetText(hwnd, wParam, reinterpret_cast<wchar_t*>(lParam));
    case WM_GETTEXTLENGTH: {
        Lock lock(S().lock);
        const Window* window = detail::FindWindowLocked(hwnd);
        return window ? static_cast<LRESULT>(window->text.size()) : 0;
    }
    case WM_WINDOWPOSCHANGED:
        return lParam ? DefWindowPosChanged(hwnd, *reinterpret_cast<const WINDOWPOS*>(lParam)) : 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT:
        ValidateRect(hwnd, nullptr);
        return 0;
    case WM_NCHITTEST:
        return DefHitTest(hwnd, lParam);
    case WM_NCCALCSIZE: {
        // Room for the frame's scroll bars beside and below the client area.
        auto* r = reinterpret_cast<Rect*>(lParam);
        const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        if (r && (style & (WS_VSCROLL | WS_HSCROLL))) {
            const int size = ScrollBarSize(hwnd);
            if (style & WS_VSCROLL)
                r->right = std::max(r->left, r->right - size);
            if (style & WS_HSCROLL)
                r->bottom = std::max(r->top, r->bottom - size);
        }
        return 0;
    }
    case WM_NCPAINT:
        PaintNonClientScrollBars(hwnd);
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == static_cast<WPARAM>(HTVSCROLL) || wParam == static_cast<WPARAM>(HTHSCROLL))
            TrackNonClientScrollBar(hwnd, wParam == static_cast<WPARAM>(HTVSCROLL) ? SB_VERT : SB_HORZ,
                { static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                    static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam))) });
        return 0;
    default:
        return 0;
    }
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

HWND GetParent(HWND hwnd)
{
    return WithWindow(hwnd, HWND { nullptr }, [](const Window& window) { return window.parent; });
}

HWND GetOwner(HWND hwnd)
{
    return WithWindow(hwnd, HWND { nullptr }, [](const Window& window) { return window.owner; });
}

HWND SetParent(HWND hwnd, HWND newParent)
{
    Lock lock(S().lock);
    Window* window = OwnWindowLocked(hwnd);
    Window* parent = newParent ? OwnWindowLocked(newParent) : nullptr;
    if (window == nullptr || (newParent != nullptr && parent == nullptr) || newParent == hwnd
        || (newParent != nullptr && detail::IsDescendantLocked(hwnd, newParent)))
        return nullptr;
    HWND previous = window->parent;
    // The window keeps its position relative to its parent's client area, as on the original
    // platform.
    UnlinkLocked(*window);
    window->parent = newParent;
    if (parent)
        parent->children.push_back(hwnd);
    lock.unlock();
    NotifyBackendLayout(hwnd);
    return previous;
}

HWND GetAncestor(HWND hwnd, UINT relation)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return nullptr;
    if (relation == GA_PARENT)
        return window->parent;
    if (relation == GA_ROOT) {
        while (window->parent != nullptr)
            window = detail::FindWindowLocked(window->parent);
        return window->handle;
    }
    return nullptr;
}

HWND GetWindow(HWND hwnd, UINT relation)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return nullptr;
    if (relation == GW_CHILD)
        return window->children.empty() ? nullptr : window->children.front();
    const Window* parent = window->parent ? detail::FindWindowLocked(window->parent) : nullptr;
    if (parent == nullptr || (relation != GW_HWNDNEXT && relation != GW_HWNDPREV))
        return nullptr;
    const auto& siblings = parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), hwnd);
    if (relation == GW_HWNDNEXT)
        return it + 1 < siblings.end() ? *(it + 1) : nullptr;
    return it != siblings.begin() ? *(it - 1) : nullptr;
}

bool IsChild(HWND parent, HWND hwnd)
{
    Lock lock(S().lock);
    return parent != nullptr && detail::IsDescendantLocked(parent, hwnd);
}

HWND GetDlgItem(HWND parent, int id)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(parent);
    if (window == nullptr)
        return nullptr;
    for (HWND child : window->children) {
        const Window* c = detail::FindWindowLocked(child);
        if (c != nullptr && c->id == id)
            return child;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    return static_cast<int>(GetWindowLongPtr(hwnd, GWLP_ID));
}

std::wstring GetClassName(HWND hwnd)
{
    return WithWindow(hwnd, std::wstring {}, [](const Window& window) { return window.windowClass->name; });
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index)
{
    Lock lock(S().lock);
    const Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_ID:
        return window->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(window->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(window->exStyle);
    case GWLP_USERDATA:
        return window->userData;
    default:
        return 0;
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value)
{
    Lock lock(S().lock);
    Window* window = detail::FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        // Only the owning thread may subclass, and never to nothing.
        if (window->queue.get() != detail::ExistingQueue() || value == 0)
            return 0;
        previous = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWLP_ID:
        std::swap(window->id, value);
        return value;
    case GWL_STYLE:
        previous = static_cast<LONG_PTR>(window->style);
        window->style = static_cast<DWORD>(value);
        return previous;
    case GWL_EXSTYLE:
        previous = static_cast<LONG_PTR>(window->exStyle);
        window->exStyle = static_cast<DWORD>(value);
        return previous;
    case GWLP_USERDATA:
        std::swap(window->userData, value);
        return value;
    default:
        return 0;
    }
}

bool SetWindowText(HWND hwnd, const std::wstring& text)
{
    return IsWindow(hwnd) && SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

std::wstring GetWindowText(HWND hwnd)
{
    const auto length = SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessage(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return text;
}

bool GetWindowRect(HWND hwnd, Rect* rect)
{
    return rect != nullptr && WithWindow(hwnd, false, [&](const Window& window) {
        const Point origin = ParentOriginLocked(window);
        *rect = window.windowRect.Offset(origin.x, origin.y);
        return true;
    });
}

bool GetClientRect(HWND hwnd, Rect* rect)
{
    return rect != nullptr && WithWindow(hwnd, false, [&](const Window& window) {
        *rect = Rect::FromPointSize({}, window.clientRect.GetSize());
        return true;
    });
}

bool ClientToScreen(HWND hwnd, Point* point)
{
    return MapClientPoint(hwnd, point, 1);
}

bool ScreenToClient(HWND hwnd, Point* point)
{
    return MapClientPoint(hwnd, point, -1);
}

bool SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    WINDOWPOS pos { hwnd, insertAfter, x, y, cx, cy, flags };
    Rect before;
    bool wasVisible = false;
    bool topLevel = false;
    {
        Lock lock(S().lock);
        const Window* window = OwnWindowLocked(hwnd);
        if (window == nullptr)
            return false;
        before = window->windowRect;
        wasVisible = (window->style & WS_VISIBLE) != 0;
        topLevel = window->IsTopLevel();
    }
    if (flags & SWP_NOMOVE) {
        pos.x = before.left;
        pos.y = before.top;
    }
    if (flags & SWP_NOSIZE) {
        pos.cx = before.Width();
        pos.cy = before.Height();
    }
    SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    const Rect after = Rect::FromPointSize({ pos.x, pos.y }, { std::max(pos.cx, 0), std::max(pos.cy, 0) });
    // The changed message tells only what really changed.
    pos.flags |= (after.TopLeft() == before.TopLeft() ? SWP_NOMOVE : 0)
        | (after.GetSize() == before.GetSize() ? SWP_NOSIZE : 0);
    const bool newFrame = (pos.flags & SWP_NOSIZE) == 0 || (flags & SWP_FRAMECHANGED) != 0;
    if (newFrame) {
        // SWP_FRAMECHANGED asks for the frame again at the same size; a client area that changes
        // size with it is reported as a size change (WM_SIZE).
        Rect client;
        GetClientRect(hwnd, &client);
        ApplyRect(hwnd, after);
        Rect now;
        GetClientRect(hwnd, &now);
        if (now.GetSize() != client.GetSize())
            pos.flags &= ~SWP_NOSIZE;
    }
    bool visible = wasVisible;
    {
        Lock lock(S().lock);
        Window* window = detail::FindWindowLocked(hwnd);
        if (window == nullptr)
            return false;
        if (!newFrame && (pos.flags & (SWP_NOMOVE | SWP_NOSIZE)) == SWP_NOSIZE) {
            // A move keeps the frame: the client area moves with the window.
            window->clientRect = window->clientRect.Offset(after.left - before.left, after.top - before.top);
            window->windowRect = after;
        }
        if (pos.flags & SWP_SHOWWINDOW)
            window->style |= WS_VISIBLE;
        else if (pos.flags & SWP_HIDEWINDOW)
            window->style &= ~WS_VISIBLE;
        visible = (window->style & WS_VISIBLE) != 0;
        if (!visible)
            window->update = {};
    }
    if (visible && !wasVisible && (pos.flags & SWP_NOREDRAW) == 0)
        InvalidateTree(hwnd); // everything shown with it needs painting
    else if (visible && newFrame && (pos.flags & SWP_NOREDRAW) == 0)
        InvalidateRect(hwnd, nullptr, true);
    if (topLevel) {
        if ((pos.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE))
            NotifyBackendMoved(hwnd);
        if (visible != wasVisible)
            CallBackend([&](Backend& backend) {
                if (backend.WindowShown)
                    backend.WindowShown(hwnd, visible);
            });
    }
    if ((pos.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE) || visible != wasVisible)
        NotifyBackendLayout(hwnd);
    SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return true;
}

bool MoveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint)
{
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

bool ShowWindow(HWND hwnd, int command)
{
    DWORD style = 0;
    Rect restore;
    Rect maximised;
    {
        Lock lock(S().lock);
        Window* window = OwnWindowLocked(hwnd);
        if (window == nullptr)
            return false;
        style = window->style;
        restore = window->restoreRect;
        if (const Window* parent = window->parent ? detail::FindWindowLocked(window->parent) : nullptr)
            maximised = Rect::FromPointSize({}, parent->clientRect.GetSize());
    }
    const bool wasVisible = (style & WS_VISIBLE) != 0;
    const bool wasMaximised = (style & WS_MAXIMIZE) != 0;
    if ((style & WS_CHILD) == 0 && command == SW_MAXIMIZE)
        maximised = DisplayBounds();
    constexpr UINT kKeep = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    switch (command) {
    case SW_HIDE:
        if (!wasVisible)
            return false;
        SendMessage(hwnd, WM_SHOWWINDOW, 0, 0);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, kKeep | SWP_HIDEWINDOW);
        return true;
    case SW_MAXIMIZE:
        if (!wasVisible)
            SendMessage(hwnd, WM_SHOWWINDOW, 1, 0);
        if (!wasMaximised) {
            Lock lock(S().lock);
            if (Window* window = detail::FindWindowLocked(hwnd)) {
                window->restoreRect = window->windowRect;
                window->style |= WS_MAXIMIZE;
            }
        }
        SetWindowPos(hwnd, nullptr, maximised.left, maximised.top, maximised.Width(), maximised.Height(),
            SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return wasVisible;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        // Showing never activates here: activation follows input (and SetActiveWindow), so the
        // no-activate forms differ only in that they leave a maximised window as it is.
        if (!wasVisible)
            SendMessage(hwnd, WM_SHOWWINDOW, 1, 0);
        if ((command == SW_RESTORE || command == SW_SHOWNORMAL) && wasMaximised) {
            {
                Lock lock(S().lock);
                if (Window* window = detail::FindWindowLocked(hwnd))
                    window->style &= ~WS_MAXIMIZE;
            }
            SetWindowPos(hwnd, nullptr, restore.left, restore.top, restore.Width(), restore.Height(),
                SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        } else if (!wasVisible) {
            SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, kKeep | SWP_SHOWWINDOW);
        }
        return wasVisible;
    default:
        return wasVisible;
    }
}

bool IsWindowVisible(HWND hwnd)
{
    return WithWindow(hwnd, false, [](const Window& window) { return detail::IsVisibleLocked(window); });
}

bool IsZoomed(HWND hwnd)
{
    return (GetWindowLongPtr(hwnd, GWL_STYLE) & WS_MAXIMIZE) != 0;
}

bool IsWindowEnabled(HWND hwnd)
{
    return WithWindow(hwnd, false, [](const Window& window) { return (window.style & WS_DISABLED) == 0; });
}

bool EnableWindow(HWND hwnd, bool enable)
{
    bool wasDisabled = false;
    {
        Lock lock(S().lock);
        Window* window = OwnWindowLocked(hwnd);
        if (window == nullptr)
            return false;
        wasDisabled = (window->style & WS_DISABLED) != 0;
        const bool changes = wasDisabled == enable;
        if (!changes)
            return wasDisabled;
        window->style ^= WS_DISABLED;
    }
    SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    return wasDisabled;
}

bool InvalidateRect(HWND hwnd, const Rect* rect, bool erase)
{
    Lock lock(S().lock);
    Window* window = OwnWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    if (!detail::IsVisibleLocked(*window))
        return true;
    const Rect client = Rect::FromPointSize({}, window->clientRect.GetSize());
    const Rect area = rect ? rect->Intersect(client) : client;
    if (!area.IsEmpty()) {
        window->update = window->update.Union(area);
        window->erase = window->erase || erase;
    }
    return true;
}

bool ValidateRect(HWND hwnd, const Rect* rect)
{
    Lock lock(S().lock);
    Window* window = OwnWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    // One bounding rectangle cannot lose a part; it is cleared only when wholly validated, so a
    // partial validation costs a repaint, never a missed one.
    if (rect == nullptr || rect->Contains(window->update)) {
        window->update = {};
        window->erase = false;
    }
    return true;
}

bool GetUpdateRect(HWND hwnd, Rect* rect, bool /*erase*/)
{
    return WithWindow(hwnd, false, [&](const Window& window) {
        if (rect)
            *rect = window.update;
        return !window.update.IsEmpty();
    });
}

bool UpdateWindow(HWND hwnd)
{
    bool needsPaint = false;
    bool frame = false;
    {
        Lock lock(S().lock);
        const Window* window = OwnWindowLocked(hwnd);
        if (window == nullptr)
            return false;
        needsPaint = !window->update.IsEmpty() && detail::IsVisibleLocked(*window);
        frame = window->HasNonClientArea();
    }
    if (needsPaint) {
        SendMessage(hwnd, WM_PAINT, 0, 0);
        if (frame)
            SendMessage(hwnd, WM_NCPAINT, 1, 0);
    }
    for (HWND child : ChildrenOf(hwnd))
        UpdateWindow(child);
    return true;
}

} // namespace vx::ui
