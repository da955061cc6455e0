// Command enabling of a frame's menu bar at idle time: the frame's answers grey, check and rename
// the items; items it does not answer for keep their state.
#include <gtest/gtest.h>

#include "ui/CommandEnabler.h"
#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

constexpr UINT kSave = 10, kAnalyse = 11, kMarkers = 12, kUnknown = 13;

struct Answers {
    bool canSave = false;
    bool markers = true;
    std::wstring analyseText = L"Analyse";
    int asked = 0;
};
Answers* gAnswers = nullptr;

LRESULT FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COMMAND_ENABLE)
        return DefWindowProc(hwnd, message, wParam, lParam);
    auto* enabler = reinterpret_cast<CommandEnabler*>(lParam);
    ++gAnswers->asked;
    switch (enabler->GetId()) {
    case kSave:
        enabler->Enable(gAnswers->canSave);
        break;
    case kAnalyse:
        enabler->SetText(gAnswers->analyseText);
        break;
    case kMarkers:
        enabler->SetCheck(gAnswers->markers ? 1 : 0);
        break;
    default:
        break; // not ours: left as it is
    }
    return 0;
}

TEST(CommandEnabling, TheIdlePassAsksTheFrameAboutEveryCommandOfItsBar)
{
    Answers answers;
    gAnswers = &answers;
    RegisterClass({ L"EnablerFrame", 0, FrameProc });
    HWND frame = CreateWindowEx(0, L"EnablerFrame", L"", WS_OVERLAPPED, 0, 0, 300, 200, nullptr, 0, nullptr);
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenu(file, MF_STRING, kSave, L"&Save");
    AppendMenu(file, MF_SEPARATOR, 0, L"");
    AppendMenu(file, MF_STRING | MF_GRAYED, kUnknown, L"Other");
    HMENU hrv = CreatePopupMenu();
    HMENU view = CreatePopupMenu();
    AppendMenu(hrv, MF_STRING, kAnalyse, L"Analyse");
    AppendMenu(view, MF_STRING, kMarkers, L"Markers");
    AppendMenu(hrv, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"View");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(hrv), L"HRV");
    SetMenu(frame, bar);
    const int handler = AddMenuBarEnabler(frame);

    RunUntilIdle();
    EXPECT_EQ(answers.asked, 4); // every command item, submenus included; no separators
    EXPECT_EQ(GetMenuState(bar, kSave, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);
    EXPECT_EQ(GetMenuState(bar, kUnknown, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED); // unanswered: kept
    EXPECT_EQ(GetMenuState(bar, kMarkers, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);

    // The state follows the frame's answers at the next idle time.
    answers.canSave = true;
    answers.markers = false;
    answers.analyseText = L"Analyse again";
    PostMessage(frame, WM_NULL, 0, 0);
    RunUntilIdle();
    EXPECT_EQ(GetMenuState(bar, kSave, MF_BYCOMMAND) & MF_GRAYED, 0);
    EXPECT_EQ(GetMenuState(bar, kMarkers, MF_BYCOMMAND) & MF_CHECKED, 0);
    EXPECT_EQ(GetMenuString(bar, kAnalyse, MF_BYCOMMAND), L"Analyse again");
    EXPECT_EQ(GetMenuItemID(hrv, 0), kAnalyse);

    // Gone with its frame.
    DestroyWindow(frame);
    answers.asked = 0;
    RunUntilIdle();
    EXPECT_EQ(answers.asked, 0);
    RemoveIdleHandler(handler);
    DestroyMenu(bar);
    UnregisterClass(L"EnablerFrame");
    gAnswers = nullptr;
}

} // namespace
