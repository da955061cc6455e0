#include "MessageLog.h"

#include "log/Log.h"
#include "ui/Backend.h"
#include "ui/EventLoop.h"
#include "ui/Paint.h"

using namespace uitest;

namespace {

class Windows : public UiTest { };

TEST_F(Windows, CreatingAVisibleChildSendsTheCreationMessagesInOrder)
{
    HWND parent = Top(L"parent");
    Take();
    HWND child = Child(parent, L"child", 7, WS_CHILD | WS_VISIBLE, { 10, 20, 110, 70 });
    ASSERT_NE(child, nullptr);
    const Expected kSequence[] = {
        { "child", WM_NCCREATE },
        { "child", WM_NCCALCSIZE, kW, 0 },
        { "child", WM_CREATE },
        { "child", WM_SIZE, kW | kL, SIZE_RESTORED, MAKELPARAM(100, 50) },
        { "child", WM_MOVE, kL, 0, MAKELPARAM(10, 20) },
        { "parent", WM_PARENTNOTIFY, kW | kL, MAKEWPARAM(WM_CREATE, 7), reinterpret_cast<LPARAM>(child) },
        { "child", WM_SHOWWINDOW, kW, 1 },
        { "child", WM_WINDOWPOSCHANGING },
        { "child", WM_WINDOWPOSCHANGED },
    };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    EXPECT_EQ(GetWindowText(child), L"child");
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetDlgItem(parent, 7), child);
    EXPECT_EQ(GetDlgCtrlID(child), 7);
    EXPECT_EQ(GetClassName(child), L"RecordingWindow");
    EXPECT_TRUE(IsWindowVisible(child) == false); // its parent is hidden
}

TEST_F(Windows, DestroyingATreeSendsDestroyParentFirstAndNcDestroyChildrenFirst)
{
    HWND parent = Top(L"parent");
    HWND child1 = Child(parent, L"child1", 1);
    HWND grand = Child(child1, L"grand", 3);
    HWND child2 = Child(parent, L"child2", 2);
    Take();
    ASSERT_TRUE(DestroyWindow(parent));
    static const Expected kSequence[] = {
        { "parent", WM_DESTROY },
        { "child1", WM_DESTROY },
        { "grand", WM_DESTROY },
        { "child2", WM_DESTROY },
        { "grand", WM_NCDESTROY },
        { "child1", WM_NCDESTROY },
        { "child2", WM_NCDESTROY },
        { "parent", WM_NCDESTROY },
    };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    for (HWND hwnd : { parent, child1, grand, child2 })
        EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Windows, DestroyingAVisibleChildNotifiesItsParentsAndHidesItFirst)
{
    HWND parent = Top(L"parent");
    HWND middle = Child(parent, L"middle", 4);
    HWND child = Child(middle, L"child", 9);
    HWND grand = Child(child, L"grand", 3);
    HWND sibling = Child(middle, L"sibling", 5);
    Take();
    ASSERT_TRUE(DestroyWindow(child));
    const Expected kSequence[] = {
        { "middle", WM_PARENTNOTIFY, kW | kL, MAKEWPARAM(WM_DESTROY, 9), reinterpret_cast<LPARAM>(child) },
        { "parent", WM_PARENTNOTIFY, kW | kL, MAKEWPARAM(WM_DESTROY, 9), reinterpret_cast<LPARAM>(child) },
        { "child", WM_SHOWWINDOW, kW, 0 },
        { "child", WM_WINDOWPOSCHANGING },
        { "child", WM_WINDOWPOSCHANGED },
        { "child", WM_DESTROY },
        { "grand", WM_DESTROY },
        { "grand", WM_NCDESTROY },
        { "child", WM_NCDESTROY },
    };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    EXPECT_FALSE(IsWindow(grand));
    EXPECT_EQ(GetWindow(middle, GW_CHILD), sibling);
    EXPECT_EQ(GetWindow(sibling, GW_HWNDPREV), nullptr);
}

TEST_F(Windows, ParentNotificationStopsAtAChildThatRefusesIt)
{
    HWND parent = Top(L"parent");
    HWND quiet = CreateWindowEx(WS_EX_NOPARENTNOTIFY, kClass, L"quiet", WS_CHILD, 0, 0, 10, 10, parent, 1, nullptr);
    Take();
    HWND child = Child(quiet, L"child", 2, WS_CHILD);
    static const Expected kSequence[] = {
        { "child", WM_NCCREATE }, { "child", WM_NCCALCSIZE }, { "child", WM_CREATE }, { "child", WM_SIZE },
        { "child", WM_MOVE }, { "quiet", WM_PARENTNOTIFY, kW, MAKEWPARAM(WM_CREATE, 2) }, // not passed on to "parent"
    };
    EXPECT_TRUE(SequenceIs(Take(), kSequence));
    EXPECT_TRUE(IsChild(parent, child));
    EXPECT_FALSE(IsChild(child, parent));
}

TEST_F(Windows, RefusedCreationGivesNullAndOnlyNcDestroy)
{
    struct Case {
        UINT refusedAt;
        LRESULT answer;
    };
    static const Case kCases[] = { { WM_NCCREATE, 0 }, { WM_CREATE, -1 } };
    for (const auto& c : kCases) {
        SetHook([&](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (message == c.refusedAt)
                return c.answer;
            return std::nullopt;
        });
        HWND parent = Top(L"parent");
        EXPECT_EQ(parent, nullptr);
        auto got = Take();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().message, WM_NCDESTROY);
        EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const Recorded& r) { return r.message == WM_DESTROY; }), 0);
        EXPECT_EQ(got.back().window, "parent");
    }
    SetHook({});
    vx::log::Capture capture;
    EXPECT_EQ(CreateWindowEx(0, L"NoSuchClass", L"x", WS_POPUP, 0, 0, 1, 1, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(capture.Lines(), std::vector<std::string> { "ui: CreateWindowEx: the window class is not registered" });
    EXPECT_EQ(Child(reinterpret_cast<HWND>(0x12345), L"orphan"), nullptr);
}

TEST_F(Windows, MaximiseFillsTheParentAndRestoreBringsTheRectangleBack)
{
    HWND frame = Top(L"frame", WS_POPUP | WS_VISIBLE, { 0, 0, 400, 300 });
    HWND view = Child(frame, L"view", 1, WS_CHILD | WS_VISIBLE, { 10, 10, 110, 60 });
    Take();
    EXPECT_TRUE(ShowWindow(view, SW_MAXIMIZE));
    static const Expected kMaximise[] = {
        { "view", WM_WINDOWPOSCHANGING },
        { "view", WM_NCCALCSIZE },
        { "view", WM_WINDOWPOSCHANGED },
        { "view", WM_MOVE, kL, 0, MAKELPARAM(0, 0) },
        { "view", WM_SIZE, kW | kL, SIZE_MAXIMIZED, MAKELPARAM(400, 300) },
    };
    EXPECT_TRUE(SequenceIs(Take(), kMaximise));
    EXPECT_TRUE(IsZoomed(view));
    EXPECT_TRUE(ShowWindow(view, SW_RESTORE));
    static const Expected kRestore[] = {
        { "view", WM_WINDOWPOSCHANGING },
        { "view", WM_NCCALCSIZE },
        { "view", WM_WINDOWPOSCHANGED },
        { "view", WM_MOVE, kL, 0, MAKELPARAM(10, 10) },
        { "view", WM_SIZE, kW | kL, SIZE_RESTORED, MAKELPARAM(100, 50) },
    };
    EXPECT_TRUE(SequenceIs(Take(), kRestore));
    EXPECT_FALSE(IsZoomed(view));
    // Moving to where it already is changes nothing and says so.
    EXPECT_TRUE(MoveWindow(view, 10, 10, 100, 50, true));
    static const Expected kNoChange[] = { { "view", WM_WINDOWPOSCHANGING }, { "view", WM_WINDOWPOSCHANGED } };
    EXPECT_TRUE(SequenceIs(Take(), kNoChange));
    // A move alone keeps the client size: no WM_NCCALCSIZE, no WM_SIZE.
    EXPECT_TRUE(MoveWindow(view, 30, 40, 100, 50, true));
    static const Expected kMove[] = {
        { "view", WM_WINDOWPOSCHANGING },
        { "view", WM_WINDOWPOSCHANGED },
        { "view", WM_MOVE, kL, 0, MAKELPARAM(30, 40) },
    };
    EXPECT_TRUE(SequenceIs(Take(), kMove));
    Rect rect;
    GetWindowRect(view, &rect);
    EXPECT_EQ(rect, (Rect { 30, 40, 130, 90 }));
}

TEST_F(Windows, CoordinatesFollowTheParentChain)
{
    HWND top = Top(L"top", WS_POPUP, { 100, 200, 500, 600 });
    HWND child = Child(top, L"child", 1, WS_CHILD, { 10, 20, 110, 120 });
    HWND grand = Child(child, L"grand", 2, WS_CHILD, { 5, 5, 15, 15 });
    Rect rect;
    ASSERT_TRUE(GetWindowRect(grand, &rect));
    EXPECT_EQ(rect, (Rect { 115, 225, 125, 235 }));
    ASSERT_TRUE(GetClientRect(grand, &rect));
    EXPECT_EQ(rect, (Rect { 0, 0, 10, 10 }));
    Point p { 1, 2 };
    ASSERT_TRUE(ClientToScreen(grand, &p));
    EXPECT_EQ(p, (Point { 116, 227 }));
    ASSERT_TRUE(ScreenToClient(child, &p));
    EXPECT_EQ(p, (Point { 6, 7 }));
    EXPECT_EQ(GetAncestor(grand, GA_ROOT), top);
    EXPECT_EQ(GetAncestor(grand, GA_PARENT), child);
    // Hit testing by default: inside the client area, or nowhere.
    EXPECT_EQ(SendMessage(grand, WM_NCHITTEST, 0, MAKELPARAM(115, 225)), HTCLIENT);
    EXPECT_EQ(SendMessage(grand, WM_NCHITTEST, 0, MAKELPARAM(125, 225)), HTNOWHERE);
}

TEST_F(Windows, ANonClientFrameFromNcCalcSizeShrinksTheClientArea)
{
    SetHook([](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_NCCALCSIZE)
            return std::nullopt;
        auto* rect = reinterpret_cast<Rect*>(lParam);
        *rect = rect->Inflate(-2, -2);
        return 0;
    });
    HWND top = Top(L"framed", WS_POPUP, { 0, 0, 100, 50 });
    Rect rect;
    GetClientRect(top, &rect);
    EXPECT_EQ(rect, (Rect { 0, 0, 96, 46 }));
    Point p { 0, 0 };
    ClientToScreen(top, &p);
    EXPECT_EQ(p, (Point { 2, 2 }));
}

// A window that draws its own frame: WM_NCPAINT follows each paint of the client area (from the
// queue and from UpdateWindow) and draws around it in window coordinates; SWP_FRAMECHANGED asks
// for the frame again at the same size, moves or not.
TEST_F(Windows, AFrameIsPaintedAfterTheClientAreaAndAskedForAgainWhenItChanges)
{
    constexpr Colour kFrame = Colour::Rgb(0, 0, 255), kClient = Colour::Rgb(255, 0, 0);
    int inset = 3;
    SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_NCCALCSIZE) {
            auto* rect = reinterpret_cast<Rect*>(lParam);
            *rect = { rect->left + inset, rect->top + 2 * inset, rect->right - inset, rect->bottom - inset };
            return 0;
        }
        if (message == WM_PAINT) {
            PaintDC dc(hwnd);
            Rect client;
            GetClientRect(hwnd, &client);
            dc.FillSolidRect(client, kClient);
            return 0;
        }
        if (message == WM_NCPAINT) {
            WindowDC dc(hwnd, true);
            Rect window;
            GetWindowRect(hwnd, &window);
            Point origin {};
            ClientToScreen(hwnd, &origin);
            Rect client;
            GetClientRect(hwnd, &client);
            dc.ExcludeClipRect(client.Offset(origin.x - window.left, origin.y - window.top));
            dc.FillSolidRect(Rect::FromPointSize({}, window.GetSize()), kFrame);
            return 0;
        }
        return std::nullopt;
    });
    HWND top = Top(L"framed", WS_POPUP, { 10, 20, 110, 70 });
    Take();
    ShowWindow(top, SW_SHOWNA);
    RunUntilIdle();
    std::vector<UINT> paints;
    for (const Recorded& r : Take())
        if (r.message == WM_PAINT || r.message == WM_NCPAINT)
            paints.push_back(r.message);
    EXPECT_EQ(paints, (std::vector<UINT> { WM_PAINT, WM_NCPAINT }));
    struct Probe {
        Point at; // window coordinates
        Colour colour;
    };
    const auto shows = [&](std::initializer_list<Probe> probes) {
        BitmapPtr image = CaptureWindow(top);
        for (const Probe& p : probes)
            EXPECT_EQ(image->Pixel(p.at.x, p.at.y), p.colour) << p.at.x << "," << p.at.y;
    };
    shows({ { { 0, 0 }, kFrame }, { { 2, 10 }, kFrame }, { { 3, 6 }, kClient }, { { 96, 46 }, kClient },
        { { 97, 46 }, kFrame }, { { 50, 5 }, kFrame } });

    // The same size, a thicker frame: asked again only with SWP_FRAMECHANGED; the client area's new
    // size is a size change, painted with its frame.
    inset = 5;
    SetWindowPos(top, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    Rect client;
    GetClientRect(top, &client);
    EXPECT_EQ(client.GetSize(), (Size { 94, 41 }));
    Take();
    SetWindowPos(top, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    static const Expected kFrameChanged[] = {
        { "framed", WM_WINDOWPOSCHANGING },
        { "framed", WM_NCCALCSIZE },
        { "framed", WM_WINDOWPOSCHANGED },
        { "framed", WM_SIZE, kL, 0, MAKELPARAM(90, 35) },
    };
    EXPECT_TRUE(SequenceIs(Take(), kFrameChanged));
    Point origin {};
    ClientToScreen(top, &origin);
    EXPECT_EQ(origin, (Point { 15, 30 }));
    shows({ { { 4, 8 }, kFrame }, { { 3, 6 }, kFrame }, { { 5, 10 }, kClient }, { { 94, 44 }, kClient },
        { { 95, 44 }, kFrame } });

    // Moved with it: the client area goes along once, not twice.
    SetWindowPos(top, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    origin = {};
    ClientToScreen(top, &origin);
    EXPECT_EQ(origin, (Point { 45, 60 }));
    GetClientRect(top, &client);
    EXPECT_EQ(client.GetSize(), (Size { 90, 35 }));
}

TEST_F(Windows, TextStylesAndLongs)
{
    HWND top = Top(L"title");
    EXPECT_TRUE(SetWindowText(top, L"new title"));
    EXPECT_EQ(GetWindowText(top), L"new title");
    EXPECT_EQ(SetWindowLongPtr(top, GWLP_USERDATA, 42), 0);
    EXPECT_EQ(GetWindowLongPtr(top, GWLP_USERDATA), 42);
    EXPECT_EQ(SetWindowLongPtr(top, GWLP_USERDATA, 43), 42);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtr(top, GWL_STYLE)), WS_POPUP);
    EXPECT_EQ(GetWindowLongPtr(top, 12345), 0);

    Take();
    EXPECT_FALSE(EnableWindow(top, false)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(top));
    EXPECT_TRUE(EnableWindow(top, false)); // no change, no message
    EXPECT_TRUE(EnableWindow(top, true));
    static const Expected kEnable[] = { { "title", WM_ENABLE, kW, 0 }, { "title", WM_ENABLE, kW, 1 } };
    EXPECT_TRUE(SequenceIs(Take(), kEnable));
}

LRESULT CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER)
        return 1000
            + CallWindowProc(
                reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_USERDATA)), hwnd, message, wParam, lParam);
    return CallWindowProc(
        reinterpret_cast<WNDPROC>(GetWindowLongPtr(hwnd, GWLP_USERDATA)), hwnd, message, wParam, lParam);
}

TEST_F(Windows, SubclassingReplacesTheProcedureAndChainsToTheOldOne)
{
    HWND top = Top(L"sub");
    SetHook([](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_USER)
            return 5;
        return std::nullopt;
    });
    const LONG_PTR old = SetWindowLongPtr(top, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc));
    EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(&RecordingProc));
    SetWindowLongPtr(top, GWLP_USERDATA, old);
    EXPECT_EQ(SendMessage(top, WM_USER, 0, 0), 1005);
    EXPECT_EQ(SetWindowLongPtr(top, GWLP_WNDPROC, 0), 0); // never to nothing
}

TEST_F(Windows, StaleHandlesAreRefusedEverywhere)
{
    HWND top = Top(L"gone");
    ASSERT_TRUE(DestroyWindow(top));
    Take();
    Rect rect;
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(DestroyWindow(top));
    EXPECT_EQ(SendMessage(top, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessage(top, WM_USER, 0, 0));
    EXPECT_FALSE(GetWindowRect(top, &rect));
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    EXPECT_EQ(SetTimer(top, 1, 100), 0u);
    EXPECT_EQ(GetWindowText(top), L"");
    EXPECT_EQ(GetParent(top), nullptr);
    EXPECT_FALSE(PostCall(top, [] {}));
    EXPECT_TRUE(Take().empty());
    // A fresh window never gets the old number back.
    EXPECT_NE(Top(L"new"), top);
}

TEST_F(Windows, ClassesAreUniqueAndStayWhileTheyHaveWindows)
{
    EXPECT_FALSE(RegisterClass({ kClass, 0, RecordingProc })); // taken
    EXPECT_FALSE(RegisterClass({ L"NoProcedure", 0, nullptr }));
    EXPECT_FALSE(RegisterClass({ L"", 0, RecordingProc }));
    ASSERT_TRUE(RegisterClass({ L"Temporary", CS_DBLCLKS, RecordingProc }));
    HWND w = CreateWindowEx(0, L"Temporary", L"t", WS_POPUP, 0, 0, 1, 1, nullptr, 0, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(UnregisterClass(L"Temporary"));
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClass(L"Temporary"));
    EXPECT_FALSE(UnregisterClass(L"Temporary"));
}

TEST_F(Windows, NullArgumentsAreRefused)
{
    vx::log::Capture capture; // the missing class is reported
    HWND w = Top(L"w");
    EXPECT_FALSE(GetWindowRect(w, nullptr));
    EXPECT_FALSE(GetClientRect(w, nullptr));
    EXPECT_FALSE(ClientToScreen(w, nullptr));
    EXPECT_FALSE(PeekMessage(nullptr, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessage(nullptr, nullptr, 0, 0), -1);
    EXPECT_EQ(DispatchMessage(nullptr), 0);
    EXPECT_FALSE(PostCall(w, {}));
    EXPECT_FALSE(SendCall(w, {}));
    EXPECT_FALSE(IsWindow(nullptr));
    EXPECT_FALSE(DestroyWindow(nullptr));
    EXPECT_EQ(CreateWindowEx(0, nullptr, L"x", WS_POPUP, 0, 0, 1, 1, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(CallWindowProc(nullptr, w, WM_USER, 0, 0), 0);
    EXPECT_TRUE(SetWindowText(w, L""));
    EXPECT_EQ(GetWindowText(w), L"");
}

TEST_F(Windows, CloseDestroysByDefault)
{
    HWND top = Top(L"closing");
    EXPECT_EQ(SendMessage(top, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(top));
}

TEST_F(Windows, SetParentMovesAWindowAndRefusesCycles)
{
    HWND a = Top(L"a");
    HWND b = Top(L"b");
    HWND child = Child(a, L"child", 1);
    EXPECT_EQ(SetParent(child, b), a);
    EXPECT_EQ(GetParent(child), b);
    EXPECT_EQ(GetWindow(a, GW_CHILD), nullptr);
    EXPECT_EQ(GetWindow(b, GW_CHILD), child);
    EXPECT_EQ(SetParent(b, child), nullptr); // b would become its own ancestor
    EXPECT_EQ(SetParent(child, child), nullptr);
    DestroyWindow(b);
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(Windows, TheBackendSeesTopLevelWindowsOnly)
{
    std::vector<std::string> calls;
    auto spy = std::make_shared<Backend>();
    spy->name = "spy";
    spy->WindowCreated = [&](HWND) {
        calls.push_back("created");
        return true;
    };
    spy->WindowDestroyed = [&](HWND) { calls.push_back("destroyed"); };
    spy->WindowShown = [&](HWND, bool visible) { calls.push_back(visible ? "shown" : "hidden"); };
    spy->WindowMoved = [&](HWND, const Rect& r) {
        calls.push_back("moved " + std::to_string(r.left) + "," + std::to_string(r.top) + " "
            + std::to_string(r.Width()) + "x" + std::to_string(r.Height()));
    };
    spy->WindowTextChanged
        = [&](HWND, const std::wstring& text) { calls.push_back("text " + std::string(text.begin(), text.end())); };
    spy->GetDisplayBounds = [] { return Rect { 0, 0, 800, 600 }; };
    auto previous = SetBackend(spy);

    HWND top = Top(L"main", WS_OVERLAPPED | WS_VISIBLE, { 0, 0, 0, 0 });
    HWND child = Child(top, L"child", 1);
    SetWindowText(child, L"ignored");
    SetWindowText(top, L"renamed");
    ShowWindow(top, SW_MAXIMIZE);
    DestroyWindow(top);
    const std::vector<std::string> expected
        = { "created", "text main", "shown", "text renamed", "moved 0,0 800x600", "hidden", "destroyed" };
    EXPECT_EQ(calls, expected);

    calls.clear();
    spy->WindowCreated = [&](HWND) { return false; };
    Take();
    EXPECT_EQ(Top(L"refused"), nullptr);
    EXPECT_TRUE(Take().empty()); // the window procedure never ran
    EXPECT_TRUE(calls.empty());
    SetBackend(previous);
    EXPECT_EQ(GetBackend()->name, "headless");
}

TEST_F(Windows, DefaultSizeOfAnOverlappedWindowComesFromTheDisplay)
{
    HWND top = CreateWindowEx(0, kClass, L"main", WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
        CW_USEDEFAULT, nullptr, 0, nullptr);
    mWindows.push_back(top);
    Rect rect;
    GetWindowRect(top, &rect);
    EXPECT_EQ(rect, (Rect { 0, 0, 1440, 810 })); // three quarters of the headless 1920 x 1080 display
}

} // namespace
