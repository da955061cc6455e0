// Two copies of the same window class (as the host's and an extension's copies of a UI library
// register it) live side by side, and each window runs the procedure of the copy that made it.
#include <gtest/gtest.h>

#include "ui/MessageQueue.h"
#include "ui/ModuleClass.h"
#include "ui/Window.h"

namespace {

using namespace vx::ui;

constexpr UINT kWhose = WM_USER + 7;
LRESULT First(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return m == kWhose ? 1 : DefWindowProc(h, m, w, l);
}
LRESULT Second(HWND h, UINT m, WPARAM w, LPARAM l)
{
    return m == kWhose ? 2 : DefWindowProc(h, m, w, l);
}

} // namespace

TEST(ModuleClass, EachCopyOfAClassKeepsItsOwnProcedure)
{
    const std::wstring first = ModuleClassName(L"SharedChartClass", &First);
    const std::wstring second = ModuleClassName(L"SharedChartClass", &Second);
    EXPECT_EQ(first, ModuleClassName(L"SharedChartClass", &First)) << "the same copy, the same name";
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(L"SharedChartClass@", 0), 0u);
    ASSERT_TRUE(RegisterClass({ first, 0, &First }));
    ASSERT_TRUE(RegisterClass({ second, 0, &Second })) << "the second copy is not refused";
    HWND a = CreateWindowEx(0, first.c_str(), L"", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
    HWND b = CreateWindowEx(0, second.c_str(), L"", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(SendMessage(a, kWhose, 0, 0), 1);
    EXPECT_EQ(SendMessage(b, kWhose, 0, 0), 2);
    DestroyWindow(a);
    DestroyWindow(b);
    EXPECT_TRUE(UnregisterClass(second)) << "one copy goes without the other";
    EXPECT_FALSE(RegisterClass({ first, 0, &Second })) << "the first copy is still there";
    EXPECT_TRUE(UnregisterClass(first));
}
