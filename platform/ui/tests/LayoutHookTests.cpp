// The backend hears of every change that moves a window's pixels on the screen (child windows
// included): it keeps native widgets over windows in step with them.
#include "MessageLog.h"

#include "ui/Backend.h"

using namespace uitest;

namespace {

class LayoutHook : public UiTest { };

TEST_F(LayoutHook, ChildMovesSizesVisibilityReparentingAndDestructionReachTheBackend)
{
    std::vector<HWND> changed;
    auto spy = std::make_shared<Backend>();
    spy->name = "spy";
    spy->WindowLayoutChanged = [&](HWND hwnd) {
        // Called with no lock of the core held: the backend may ask about windows.
        Rect r;
        EXPECT_EQ(GetWindowRect(hwnd, &r), IsWindow(hwnd));
        changed.push_back(hwnd);
    };
    auto previous = SetBackend(spy);

    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE, { 0, 0, 300, 200 });
    HWND other = Top(L"other", WS_POPUP | WS_VISIBLE, { 0, 0, 300, 200 });
    HWND child = Child(top, L"child");
    changed.clear();

    struct Case {
        const char* what;
        std::function<void()> change;
        HWND heard; // null: nothing is heard
    };
    const Case cases[] = {
        { "move", [&] { SetWindowPos(child, nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, child },
        { "size", [&] { SetWindowPos(child, nullptr, 0, 0, 70, 30, SWP_NOMOVE | SWP_NOZORDER); }, child },
        { "same place and size", [&] { MoveWindow(child, 5, 6, 70, 30, true); }, nullptr },
        { "z-order only", [&] { SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }, nullptr },
        { "hide", [&] { ShowWindow(child, SW_HIDE); }, child },
        { "show", [&] { ShowWindow(child, SW_SHOW); }, child },
        { "new parent", [&] { SetParent(child, other); }, child },
        { "top-level moved", [&] { MoveWindow(other, 40, 40, 300, 200, true); }, other },
    };
    for (const Case& c : cases) {
        changed.clear();
        c.change();
        EXPECT_EQ(changed, c.heard ? std::vector<HWND> { c.heard } : std::vector<HWND> {}) << c.what;
    }

    // Destroyed with its parent: the change is heard after the window is gone.
    changed.clear();
    HWND grandChild = Child(child, L"grandchild");
    changed.clear();
    DestroyWindow(child);
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.back(), child);
    EXPECT_FALSE(IsWindow(grandChild));

    SetBackend(previous);
}

} // namespace
