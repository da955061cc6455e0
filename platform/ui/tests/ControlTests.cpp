// Painting windows, input routing, menus, dialogs from templates, the standard controls and the
// desktop services, all headless.
#include "MessageLog.h"

#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/Paint.h"

using namespace uitest;

namespace {

constexpr Colour kRed = Colour::Rgb(255, 0, 0);

class Painting : public UiTest { };

TEST_F(Painting, ChildrenPaintIntoTheirTopLevelImageAtTheirPositionAndInsideTheirArea)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE, { 100, 100, 300, 200 });
    HWND child = Child(top, L"child", 1, WS_CHILD | WS_VISIBLE, { 20, 10, 60, 40 });
    SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_PAINT)
            return std::nullopt;
        PaintDC dc(hwnd);
        // Paints far past its own area: only its client area may change.
        dc.FillSolidRect({ -50, -50, 500, 500 }, hwnd == child ? kRed : Colour::Rgb(0, 0, 255));
        return 0;
    });
    BitmapPtr image = CaptureWindow(top);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetSize(), (Size { 200, 100 }));
    EXPECT_EQ(image->Pixel(20, 10), kRed);
    EXPECT_EQ(image->Pixel(59, 39), kRed);
    EXPECT_EQ(image->Pixel(60, 40), Colour::Rgb(0, 0, 255));
    EXPECT_EQ(image->Pixel(19, 10), Colour::Rgb(0, 0, 255));
    Rect update;
    EXPECT_FALSE(GetUpdateRect(child, &update, false)); // the paint validated it
}

TEST_F(Painting, AParentWithClipChildrenLeavesItsChildrensPixelsAlone)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, { 0, 0, 100, 100 });
    HWND child = Child(top, L"child", 1, WS_CHILD | WS_VISIBLE, { 10, 10, 30, 30 });
    SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message != WM_PAINT)
            return std::nullopt;
        PaintDC dc(hwnd);
        dc.FillSolidRect({ 0, 0, 100, 100 }, hwnd == child ? kRed : Colour::Rgb(0, 0, 255));
        return 0;
    });
    CaptureWindow(top);
    InvalidateRect(top, nullptr, true); // the parent alone repaints
    BitmapPtr image = CaptureWindow(top);
    EXPECT_EQ(image->Pixel(15, 15), kRed);
    EXPECT_EQ(image->Pixel(5, 5), Colour::Rgb(0, 0, 255));
}

TEST_F(Painting, ScrollingMovesPixelsAndInvalidatesWhatWasUncovered)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE, { 0, 0, 40, 20 });
    {
        WindowDC dc(top);
        dc.FillSolidRect({ 0, 0, 40, 20 }, Colour::Rgb(255, 255, 255));
        dc.FillSolidRect({ 10, 0, 11, 20 }, kRed);
    }
    ValidateRect(top, nullptr);
    ASSERT_TRUE(ScrollWindowEx(top, -5, 0, nullptr));
    BitmapPtr image = GetWindowImage(top);
    EXPECT_EQ(image->Pixel(5, 3), kRed);
    EXPECT_NE(image->Pixel(10, 3), kRed);
    Rect update;
    ASSERT_TRUE(GetUpdateRect(top, &update, false));
    EXPECT_EQ(update, (Rect { 35, 0, 40, 20 }));
}

class Input : public UiTest { };

TEST_F(Input, MouseGoesToTheChildUnderItOrToTheCaptureAndLeaveIsSynthesised)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE, { 0, 0, 200, 100 });
    HWND a = Child(top, L"a", 1, WS_CHILD | WS_VISIBLE, { 0, 0, 50, 50 });
    HWND b = Child(top, L"b", 2, WS_CHILD | WS_VISIBLE, { 100, 0, 150, 50 });
    RunUntilIdle();
    // A shaped window gives up the pixels outside its region.
    const Region corner(Rect { 0, 0, 10, 10 });
    SetWindowRgn(b, &corner, false);

    InjectMouse(top, WM_MOUSEMOVE, { 5, 5 });
    RunUntilIdle();
    TRACKMOUSEEVENT track { TME_LEAVE, a };
    ASSERT_TRUE(TrackMouseEvent(&track));
    Take();
    InjectMouse(top, WM_MOUSEMOVE, { 120, 20 }); // inside b's rectangle, outside its region
    RunUntilIdle();
    auto got = Take();
    const auto has = [&](const std::vector<Recorded>& log, const char* who, UINT message) {
        return std::any_of(
            log.begin(), log.end(), [&](const Recorded& r) { return r.window == who && r.message == message; });
    };
    EXPECT_TRUE(has(got, "a", WM_MOUSELEAVE));
    EXPECT_TRUE(has(got, "top", WM_MOUSEMOVE));
    EXPECT_FALSE(has(got, "b", WM_MOUSEMOVE));

    SetCapture(a);
    InjectMouse(top, WM_LBUTTONDOWN, { 105, 5 }, MK_LBUTTON);
    RunUntilIdle();
    got = Take();
    EXPECT_TRUE(has(got, "a", WM_LBUTTONDOWN));
    EXPECT_TRUE(GetKeyState(VK_LBUTTON) & 0x8000);
    SetCapture(b);
    got = Take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].window, "a");
    EXPECT_EQ(got[0].message, WM_CAPTURECHANGED);
    EXPECT_EQ(got[0].lParam, reinterpret_cast<LPARAM>(b));
    ReleaseCapture();
    InjectMouse(top, WM_LBUTTONUP, { 105, 5 });
    RunUntilIdle();
    EXPECT_FALSE(GetKeyState(VK_LBUTTON) & 0x8000);
}

TEST_F(Input, KeyFiltersSeeKeysFirstAndCanSwallowThem)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE);
    SetFocus(top);
    std::vector<WPARAM> seen;
    const int id = AddKeyFilter([&](const MSG& msg) {
        seen.push_back(msg.wParam);
        return msg.wParam == VK_F1;
    });
    Take();
    InjectKey(WM_KEYDOWN, VK_F1);
    InjectKey(WM_KEYDOWN, 'A');
    RunUntilIdle();
    RemoveKeyFilter(id);
    EXPECT_EQ(seen, (std::vector<WPARAM> { VK_F1, 'A' }));
    std::vector<WPARAM> delivered;
    for (const Recorded& r : Take())
        if (r.message == WM_KEYDOWN)
            delivered.push_back(r.wParam);
    EXPECT_EQ(delivered, std::vector<WPARAM> { 'A' });
}

class Menus : public UiTest { };

TEST_F(Menus, TemplatesEditingAndPopupChoices)
{
    const MenuTemplate bar = {
        { L"&File", 0, MF_POPUP, { { L"&Open", 100 }, { L"", 0, MF_SEPARATOR }, { L"&Close", 102 } } },
        { L"&Help", 0, MF_POPUP, { { L"&About", 900 } } },
    };
    HMENU menu = MenuFromTemplate(bar, false);
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(GetMenuItemCount(file), 3);
    // Extensions insert before an anchor command, found in any submenu.
    ASSERT_TRUE(InsertMenu(menu, 102, MF_BYCOMMAND | MF_STRING, 200, L"&Analyse"));
    EXPECT_EQ(GetMenuItemID(file, 2), 200u);
    EXPECT_EQ(GetMenuString(menu, 200, MF_BYCOMMAND), L"&Analyse");
    EXPECT_EQ(EnableMenuItem(menu, 200, MF_GRAYED), 0);
    EXPECT_EQ(GetMenuState(menu, 200, MF_BYCOMMAND) & MF_GRAYED, int(MF_GRAYED));
    EXPECT_EQ(EnableMenuItem(menu, 999, MF_GRAYED), -1);

    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE);
    SetHook([&](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_INITMENUPOPUP)
            EnableMenuItem(reinterpret_cast<HMENU>(wParam), 200, MF_ENABLED);
        return std::nullopt;
    });
    std::optional<Rect> excluded;
    SetPopupHandler([&](const PopupRequest& request) {
        excluded = request.exclude;
        return 200u;
    });
    const Rect avoid { 10, 10, 50, 30 };
    EXPECT_EQ(TrackPopupMenuEx(file, TPM_RETURNCMD, 10, 30, top, &avoid), 200u); // enabled by WM_INITMENUPOPUP
    EXPECT_EQ(excluded, avoid);
    // A greyed choice is no choice.
    SetHook({});
    EnableMenuItem(menu, 200, MF_GRAYED);
    EXPECT_EQ(TrackPopupMenuEx(file, TPM_RETURNCMD, 0, 0, top, nullptr), 0u);
    SetPopupHandler({});
    // Headless without a handler: the scripted choice, posted as WM_COMMAND.
    QueuePopupChoice(100);
    Take();
    EXPECT_EQ(TrackPopupMenuEx(file, 0, 0, 0, top, nullptr), 1u);
    RunUntilIdle();
    const auto got = Take();
    EXPECT_TRUE(std::any_of(
        got.begin(), got.end(), [](const Recorded& r) { return r.message == WM_COMMAND && LOWORD(r.wParam) == 100; }));
    EXPECT_TRUE(DeleteMenu(menu, 0, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(file)); // a deleted submenu is destroyed
    DestroyMenu(menu);
}

TEST_F(Menus, AcceleratorsBecomeCommandsOnlyWithTheirModifiers)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE);
    const AcceleratorTable table = { { FVIRTKEY | FCONTROL, 'S', 57603 } };
    const MSG plain { top, WM_KEYDOWN, 'S', 0, 0 };
    Take();
    EXPECT_FALSE(TranslateAccelerator(top, table, plain));
    SetKeyDown(VK_CONTROL, true);
    EXPECT_TRUE(TranslateAccelerator(top, table, plain));
    SetKeyDown(VK_CONTROL, false);
    const auto got = Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, MAKEWPARAM(57603, 1));
}

// A dialog of the kind the settings dialogs use: an edit, two radio buttons, OK and Cancel.
DialogTemplate SampleDialog()
{
    DialogTemplate t;
    t.caption = L"Sample";
    t.units = { 0, 0, 200, 100 };
    t.items = {
        { kStaticClass, L"&Name:", -1, WS_CHILD | WS_VISIBLE, { 7, 9, 40, 17 } },
        { kEditClass, L"abc", 10, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 45, 7, 193, 21 } },
        { kButtonClass, L"One", 11, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
            { 7, 30, 80, 40 } },
        { kButtonClass, L"Two", 12, WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, { 7, 42, 80, 52 } },
        { kButtonClass, L"Disabled", 13, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED, { 90, 30, 150, 44 } },
        { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON,
            { 89, 79, 139, 93 } },
        { kButtonClass, L"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 143, 79, 193, 93 } },
    };
    return t;
}

class Dialogs : public UiTest { };

TEST_F(Dialogs, ControlsSitWhereTheirDialogUnitsSay)
{
    std::vector<int> initialised;
    HWND dialog = CreateDialogIndirectParam(
        SampleDialog(), nullptr,
        [&](HWND, UINT message, WPARAM, LPARAM param) -> INT_PTR {
            if (message == WM_INITDIALOG)
                initialised.push_back(static_cast<int>(param));
            return message == WM_INITDIALOG;
        },
        42);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(initialised, std::vector<int> { 42 });
    const Font* font = GetDialogFont(dialog);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->height, -MulDiv(8, 96, 72));
    const DialogBaseUnits base = GetDialogBaseUnits(*font);
    EXPECT_GT(base.x, 3);
    EXPECT_GT(base.y, 8);
    HWND ok = GetDlgItem(dialog, IDOK);
    Rect r;
    GetWindowRect(ok, &r);
    Point p = r.TopLeft();
    ScreenToClient(dialog, &p);
    EXPECT_EQ(p, (Point { MulDiv(89, base.x, 4), MulDiv(79, base.y, 8) }));
    EXPECT_EQ(r.Width(), MulDiv(139, base.x, 4) - MulDiv(89, base.x, 4));
    Rect client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.GetSize(), (Size { MulDiv(200, base.x, 4), MulDiv(100, base.y, 8) }));
    Rect units { 0, 0, 4, 8 };
    ASSERT_TRUE(MapDialogRect(dialog, &units));
    EXPECT_EQ(units, (Rect { 0, 0, base.x, base.y }));
    // The first tab stop has the focus with its text selected.
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 10));
    EXPECT_EQ(SendMessage(GetDlgItem(dialog, 10), EM_GETSEL, 0, 0), MAKELPARAM(0, 3));
    DestroyWindow(dialog);
}

TEST_F(Dialogs, TabEnterAndEscapeWorkInAModalRun)
{
    int focusAtEnd = 0;
    HWND dialogWindow = nullptr;
    std::vector<int> commands;
    auto proc = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND) {
            commands.push_back(LOWORD(wParam));
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                focusAtEnd = GetDlgCtrlID(GetFocus());
                EndDialog(hwnd, LOWORD(wParam));
            }
            return 1;
        }
        return message == WM_INITDIALOG;
    };
    auto run = [&](std::vector<std::pair<int, bool>> keys) {
        SetDialogScript([&, keys](HWND dialog) {
            dialogWindow = dialog;
            for (auto [key, shift] : keys) {
                if (shift)
                    SetKeyDown(VK_SHIFT, true);
                InjectKey(WM_KEYDOWN, key);
                // Keys are handled in order as the loop runs; shift is read while handling.
                RunUntilIdle();
                if (shift)
                    SetKeyDown(VK_SHIFT, false);
            }
        });
        commands.clear();
        HWND owner = Top(L"owner", WS_POPUP | WS_VISIBLE);
        bool ownerDisabledDuringRun = false;
        SetHook([&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
            if (hwnd == owner && message == WM_ENABLE && wParam == 0)
                ownerDisabledDuringRun = true;
            return std::nullopt;
        });
        const INT_PTR result = DialogBoxIndirectParam(SampleDialog(), owner, proc, 0);
        SetHook({});
        SetDialogScript({});
        EXPECT_TRUE(ownerDisabledDuringRun);
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_FALSE(IsWindow(dialogWindow));
        return result;
    };
    // Enter in the edit gives the default button; Escape gives IDCANCEL.
    EXPECT_EQ(run({ { VK_RETURN, false } }), IDOK);
    EXPECT_EQ(run({ { VK_ESCAPE, false } }), IDCANCEL);
    // Tab skips the disabled button and the second radio button (no tab stop): edit -> One -> OK.
    EXPECT_EQ(run({ { VK_TAB, false }, { VK_TAB, false }, { VK_RETURN, false } }), IDOK);
    // Shift+Tab from the edit wraps to Cancel; Enter on a focused push button clicks that button.
    EXPECT_EQ(run({ { VK_TAB, true }, { VK_RETURN, false } }), IDCANCEL);
    EXPECT_EQ(focusAtEnd, IDCANCEL);
    // Arrows move among the controls of a group and check the radio button they reach; the
    // disabled button of the group is passed over.
    int checked = 0;
    SetDialogScript([&](HWND dialog) {
        InjectKey(WM_KEYDOWN, VK_TAB);
        InjectKey(WM_KEYDOWN, VK_DOWN);
        InjectKey(WM_KEYDOWN, VK_DOWN); // wraps to the first radio button
        InjectKey(WM_KEYDOWN, VK_DOWN);
        RunUntilIdle();
        checked = SendMessage(GetDlgItem(dialog, 12), BM_GETCHECK, 0, 0) == LRESULT(BST_CHECKED) ? 12 : 11;
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), 12);
        EXPECT_EQ(SendMessage(GetDlgItem(dialog, 11), BM_GETCHECK, 0, 0), 0);
        InjectKey(WM_KEYDOWN, VK_ESCAPE);
    });
    EXPECT_EQ(DialogBoxIndirectParam(SampleDialog(), nullptr, proc, 0), IDCANCEL);
    EXPECT_EQ(checked, 12);
    // A dialog nobody answers is cancelled rather than hanging a headless run.
    SetDialogScript({});
    EXPECT_EQ(DialogBoxIndirectParam(SampleDialog(), nullptr, proc, 0), IDCANCEL);
}

class Controls : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        InitCommonControls();
        mParent = Top(L"parent", WS_POPUP | WS_VISIBLE, { 0, 0, 300, 200 });
    }
    HWND Make(const wchar_t* cls, DWORD style, int id, const wchar_t* text = L"")
    {
        return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 24, mParent, id, nullptr);
    }
    std::vector<WPARAM> Notifications(UINT message = WM_COMMAND)
    {
        std::vector<WPARAM> out;
        for (const Recorded& r : Take())
            if (r.window == "parent" && r.message == message)
                out.push_back(r.wParam);
        return out;
    }
    HWND mParent = nullptr;
};

TEST_F(Controls, ButtonsClickCheckAndKeepOneRadioOfAGroup)
{
    HWND check = Make(kButtonClass, BS_AUTOCHECKBOX, 1, L"Check");
    HWND r1 = Make(kButtonClass, BS_AUTORADIOBUTTON | WS_GROUP, 2, L"A");
    HWND r2 = Make(kButtonClass, BS_AUTORADIOBUTTON, 3, L"B");
    HWND after = Make(kButtonClass, BS_AUTORADIOBUTTON | WS_GROUP, 4, L"Other group");
    SendMessage(after, BM_SETCHECK, BST_CHECKED, 0);
    Take();
    // A click is a press and a release inside the button.
    InjectMouse(mParent, WM_LBUTTONDOWN, { 15, 15 });
    InjectMouse(mParent, WM_LBUTTONUP, { 15, 15 });
    RunUntilIdle();
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EXPECT_EQ(Notifications(), std::vector<WPARAM> { MAKEWPARAM(1, BN_CLICKED) });
    // Released outside: no click.
    InjectMouse(mParent, WM_LBUTTONDOWN, { 15, 15 });
    InjectMouse(mParent, WM_LBUTTONUP, { 250, 150 });
    RunUntilIdle();
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EXPECT_TRUE(Notifications().empty());

    SendMessage(r1, BM_CLICK, 0, 0);
    SendMessage(r2, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(r1, BM_GETCHECK, 0, 0), 0);
    EXPECT_EQ(SendMessage(r2, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EXPECT_EQ(SendMessage(after, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
    EnableWindow(check, false);
    SendMessage(check, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
}

TEST_F(Controls, EditTypingRespectsSelectionLimitNumbersAndReadOnly)
{
    HWND edit = Make(kEditClass, ES_NUMBER, 5, L"12");
    SetFocus(edit);
    SendMessage(edit, EM_SETSEL, 0, -1);
    SendMessage(edit, EM_LIMITTEXT, 3, 0);
    Take();
    for (wchar_t c : std::wstring(L"9x876"))
        SendMessage(edit, WM_CHAR, c, 0);
    EXPECT_EQ(GetWindowText(edit), L"987"); // replaced the selection, letters refused, limit kept
    SendMessage(edit, WM_CHAR, L'\b', 0);
    EXPECT_EQ(GetWindowText(edit), L"98");
    EXPECT_EQ(Notifications().size(), 4u); // EN_CHANGE for each change (9, 8, 7, backspace)
    SendMessage(edit, EM_SETREADONLY, 1, 0);
    SendMessage(edit, WM_CHAR, L'1', 0);
    EXPECT_EQ(GetWindowText(edit), L"98");
}

TEST_F(Controls, ListsSelectByKeysAndByTheDropDownAndNotify)
{
    HWND combo = Make(kComboBoxClass, CBS_DROPDOWNLIST, 7);
    for (const wchar_t* s : { L"Human", L"Dog", L"Rat" })
        SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 5, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Rat")), 2);
    SendMessage(combo, CB_SETCURSEL, 0, 0);
    Take();
    SendMessage(combo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
    QueuePopupChoice(3); // the third item of the drop-down
    InjectMouse(mParent, WM_LBUTTONDOWN, { 20, 15 });
    RunUntilIdle();
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Notifications(), (std::vector<WPARAM> { MAKEWPARAM(7, CBN_SELCHANGE), MAKEWPARAM(7, CBN_SELCHANGE) }));
    wchar_t text[16] = {};
    EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 3);
    EXPECT_EQ(std::wstring(text), L"Rat");
}

TEST_F(Controls, ScrollInformationIsClampedAsTheOriginalPlatformDoes)
{
    struct Case {
        int min, max;
        UINT page;
        int pos;
        UINT expectedPage;
        int expectedPos;
    };
    const Case cases[] = {
        { 0, 99, 10, 95, 10, 90 }, // the page stays inside the range
        { 0, 99, 200, 50, 100, 0 }, // page larger than the range
        { 10, 20, 0, 5, 0, 10 }, // below the minimum
        { 5, 4, 3, 7, 0, 5 }, // an empty range
    };
    HWND bar = Make(kScrollBarClass, 0, 9);
    for (const Case& c : cases) {
        SCROLLINFO in;
        in.fMask = SIF_ALL;
        in.nMin = c.min;
        in.nMax = c.max;
        in.nPage = c.page;
        in.nPos = c.pos;
        EXPECT_EQ(SetScrollInfo(bar, SB_CTL, in, false), c.expectedPos) << c.pos;
        SCROLLINFO out;
        out.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &out));
        EXPECT_EQ(out.nPage, c.expectedPage);
        EXPECT_EQ(out.nPos, c.expectedPos);
    }
}

TEST_F(Controls, AScrollBarTurnsPressesIntoCodesAndDragsItsThumb)
{
    // 120 x 24: arrows of 24 at both ends, a track of 72 between them, and a thumb of the
    // smallest size (8) for a page of 1% of the range; 99000 thumb positions after the first,
    // more than the 16 bits of a scroll message hold.
    HWND bar = Make(kScrollBarClass, 0, 9);
    SCROLLINFO in;
    in.fMask = SIF_ALL;
    in.nMin = 0;
    in.nMax = 99999;
    in.nPage = 1000;
    in.nPos = 0;
    SetScrollInfo(bar, SB_CTL, in, false);
    const auto press = [&](UINT message, int x) {
        SendMessage(bar, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(static_cast<unsigned>(x), 12u));
    };
    const auto codes = [&] {
        std::vector<WPARAM> out;
        for (WPARAM w : Notifications(WM_HSCROLL))
            out.push_back(LOWORD(w));
        return out;
    };
    const auto track = [&] {
        SCROLLINFO info;
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(bar, SB_CTL, &info);
        return info.nTrackPos;
    };
    Take();
    struct Click {
        int x;
        std::vector<WPARAM> codes;
    };
    const Click clicks[] = {
        { 5, { SB_LINEUP, SB_ENDSCROLL } }, // left arrow
        { 115, { SB_LINEDOWN, SB_ENDSCROLL } }, // right arrow
        { 60, { SB_PAGEDOWN, SB_ENDSCROLL } }, // the track right of the thumb
    };
    for (const Click& c : clicks) {
        press(WM_LBUTTONDOWN, c.x);
        press(WM_LBUTTONUP, c.x);
        EXPECT_EQ(codes(), c.codes) << c.x;
    }
    // A press on the thumb (24 to 32) drags it: the owner follows with the track code, the
    // track position holds the whole position, and the release gives the thumb's place.
    press(WM_LBUTTONDOWN, 27);
    EXPECT_EQ(GetCapture(), bar);
    EXPECT_TRUE(codes().empty()) << "a press on the thumb is no page";
    press(WM_MOUSEMOVE, 27 + 32); // half the room of 64
    EXPECT_EQ(codes(), (std::vector<WPARAM> { SB_THUMBTRACK }));
    EXPECT_EQ(track(), 49500);
    press(WM_MOUSEMOVE, 500); // past the end: the last position
    EXPECT_EQ(track(), 99000);
    press(WM_LBUTTONUP, 500);
    EXPECT_EQ(codes(), (std::vector<WPARAM> { SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL }));
    EXPECT_EQ(track(), 99000);
    EXPECT_EQ(GetCapture(), nullptr);
    // Moving without a press drags nothing.
    press(WM_MOUSEMOVE, 40);
    EXPECT_TRUE(codes().empty());

    // The arrows carry their glyphs: a triangle of button-text colour pointing outwards.
    BitmapPtr image = CaptureWindow(mParent);
    ASSERT_TRUE(image);
    const Colour ink = GetSysColor(COLOR_BTNTEXT);
    EXPECT_EQ(image->Pixel(10 + 12, 10 + 12), ink);
    EXPECT_EQ(image->Pixel(10 + 120 - 12, 10 + 12), ink);
    EXPECT_NE(image->Pixel(10 + 17, 10 + 12), ink) << "the left arrow's triangle points left";
    EXPECT_EQ(image->Pixel(10 + 10, 10 + 12), ink);
}

TEST_F(Controls, SliderAndUpDownMoveWithinTheirRangeAndTellTheParent)
{
    HWND slider = Make(kSliderClass, 0, 20);
    SendMessage(slider, TBM_SETRANGE, 1, MAKELPARAM(0, 10));
    SendMessage(slider, TBM_SETPOS, 1, 9);
    Take();
    SendMessage(slider, WM_KEYDOWN, VK_RIGHT, 0);
    SendMessage(slider, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(SendMessage(slider, TBM_GETPOS, 0, 0), 10);
    EXPECT_EQ(Notifications(WM_HSCROLL), (std::vector<WPARAM> { TB_LINEDOWN, TB_ENDTRACK, TB_LINEDOWN, TB_ENDTRACK }));

    HWND buddy = Make(kEditClass, 0, 21);
    HWND spin = Make(kUpDownClass, UDS_SETBUDDYINT, 22);
    SendMessage(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
    SendMessage(spin, UDM_SETRANGE32, 1, 3);
    SendMessage(spin, UDM_SETPOS32, 0, 2);
    Take();
    SendMessage(spin, WM_KEYDOWN, VK_UP, 0);
    SendMessage(spin, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(SendMessage(spin, UDM_GETPOS32, 0, 0), 3);
    EXPECT_EQ(GetWindowText(buddy), L"3");
    // Every step is offered to the parent first (UDN_DELTAPOS), also the one the limit stops.
    EXPECT_EQ(Notifications(WM_NOTIFY), (std::vector<WPARAM> { 22, 22 }));
    // A parent that answers the notification takes the step over: the up-down stays put.
    int offered = 0;
    SetHook([&](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_NOTIFY)
            return std::nullopt;
        const auto* change = reinterpret_cast<const NMUPDOWN*>(lParam);
        offered = change->hdr.code == UDN_DELTAPOS ? change->iDelta : 0;
        return 1;
    });
    SendMessage(spin, WM_KEYDOWN, VK_DOWN, 0);
    SetHook({});
    EXPECT_EQ(offered, -1);
    EXPECT_EQ(SendMessage(spin, UDM_GETPOS32, 0, 0), 3);
}

TEST_F(Controls, PaintingEveryControlDrawsSomethingAndNeverFails)
{
    const std::pair<const wchar_t*, DWORD> kinds[]
        = { { kButtonClass, BS_DEFPUSHBUTTON }, { kButtonClass, BS_AUTOCHECKBOX }, { kButtonClass, BS_GROUPBOX },
              { kStaticClass, SS_CENTER }, { kEditClass, 0 }, { kComboBoxClass, CBS_DROPDOWNLIST },
              { kListBoxClass, 0 }, { kScrollBarClass, 0 }, { kSliderClass, 0 }, { kUpDownClass, 0 } };
    for (const auto& [cls, style] : kinds) {
        HWND c = Make(cls, style, 30, L"Text");
        WindowDC clear(mParent);
        clear.FillSolidRect({ 0, 0, 300, 200 }, Colour::Rgb(1, 2, 3));
        clear.Flush();
        BitmapPtr image = CaptureWindow(mParent);
        int changed = 0;
        for (int y = 10; y < 34; ++y)
            for (int x = 10; x < 130; ++x)
                changed += image->Pixel(x, y) != Colour::Rgb(1, 2, 3);
        EXPECT_GT(changed, 100) << std::string(cls, cls + std::wcslen(cls));
        DestroyWindow(c);
    }
}

class Desktop : public UiTest {
protected:
    void TearDown() override
    {
        SetMonitors({});
        UiTest::TearDown();
    }
};

TEST_F(Desktop, MonitorsGiveDpiAndWorkAreasWithThePrimaryAsTheFallback)
{
    SetMonitors({ { { 0, 0, 1920, 1080 }, { 0, 0, 1920, 1040 }, 96, true },
        { { 1920, 0, 3840, 2160 }, { 1920, 0, 3840, 2160 }, 192, false } });
    HWND left = Top(L"left", WS_POPUP, { 100, 100, 300, 200 });
    HWND right = Top(L"right", WS_POPUP, { 2000, 100, 2300, 200 });
    HWND nowhere = Top(L"nowhere", WS_POPUP, { -5000, -5000, -4000, -4000 });
    EXPECT_EQ(GetDpiForWindow(left), 96);
    EXPECT_EQ(GetDpiForWindow(right), 192);
    EXPECT_EQ(GetDpiForWindow(nowhere), 96);
    EXPECT_EQ(GetDpiForWindow(nullptr), 96);
    EXPECT_EQ(MonitorFromWindow(nowhere, MONITOR_DEFAULTTONULL), nullptr);
    Monitor info;
    ASSERT_TRUE(GetMonitorInfo(MonitorFromRect({ 3000, 3000, 3100, 3100 }, MONITOR_DEFAULTTONEAREST), &info));
    EXPECT_EQ(info.dpi, 192);
}

TEST_F(Desktop, MessageBoxesAreAnsweredByScriptOrDefaultAndOwnedPopupsGoWithTheirOwner)
{
    TakeMessageBoxRequests();
    QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBox(nullptr, L"Save?", L"Varnex", MB_YESNOCANCEL), IDNO);
    EXPECT_EQ(MessageBox(nullptr, L"Sure?", L"Varnex", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBox(nullptr, L"Done", L"Varnex", MB_OK), IDOK);
    const auto requests = TakeMessageBoxRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].text, L"Save?");

    HWND owner = Top(L"owner", WS_POPUP | WS_VISIBLE);
    HWND popup = CreateWindowEx(0, kClass, L"popup", WS_POPUP, 0, 0, 10, 10, owner, 0, nullptr);
    ASSERT_TRUE(popup);
    EXPECT_EQ(GetOwner(popup), owner);
    NoteActivePopup(popup);
    EXPECT_EQ(GetLastActivePopup(owner), popup);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(GetLastActivePopup(owner), owner);
}

TEST(Clipboard, KeepsNamedFormatsUntilEmptiedAndTellsTheListenerOnClose)
{
    const UINT html = RegisterClipboardFormat(L"HTML Format");
    EXPECT_EQ(RegisterClipboardFormat(L"HTML Format"), html);
    EXPECT_GE(html, 0xC000u);
    EXPECT_EQ(GetClipboardFormatName(html), L"HTML Format");
    int told = 0;
    SetClipboardListener([&] { ++told; });
    EXPECT_FALSE(SetClipboardData(html, { 1 })); // not open
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_FALSE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(html, { 'h', 'i' });
    CloseClipboard();
    EXPECT_EQ(told, 1);
    ASSERT_TRUE(SetClipboardText(L"RR\t0.8"));
    EXPECT_EQ(GetClipboardText(), std::optional<std::wstring>(L"RR\t0.8"));
    EXPECT_FALSE(IsClipboardFormatAvailable(html)); // emptied by the text
    SetClipboardListener({});
}

TEST(Clipboard, AFormatMadeWhenReadIsMadeOnceAndOnlyForAReader)
{
    const UINT png = RegisterClipboardFormat(L"PNG"), svg = RegisterClipboardFormat(L"image/svg+xml;utf8");
    int made = 0;
    const auto maker = [&made](std::vector<std::uint8_t> bytes) {
        return [&made, bytes] {
            ++made;
            return bytes;
        };
    };
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    ASSERT_TRUE(SetClipboardDataLater(png, maker({ 'p', 'n', 'g' })));
    SetClipboardData(svg, { 's' });
    CloseClipboard();
    EXPECT_TRUE(IsClipboardFormatAvailable(png));
    EXPECT_EQ(ClipboardFormats().size(), 2u);
    EXPECT_EQ(GetClipboardData(svg), std::vector<std::uint8_t>({ 's' }));
    EXPECT_EQ(made, 0); // reading another format makes nothing
    EXPECT_EQ(GetClipboardData(png), std::vector<std::uint8_t>({ 'p', 'n', 'g' }));
    EXPECT_EQ(GetClipboardData(png), std::vector<std::uint8_t>({ 'p', 'n', 'g' }));
    EXPECT_EQ(made, 1);

    // Emptied before anyone read it: never made. Made now on request, and an empty result takes
    // the format off the clipboard.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardDataLater(png, maker({ 'x' }));
    EmptyClipboard();
    SetClipboardDataLater(png, maker({}));
    CloseClipboard();
    MakeClipboardDataNow();
    EXPECT_EQ(made, 2);
    EXPECT_FALSE(IsClipboardFormatAvailable(png));
    EXPECT_EQ(GetClipboardData(png), std::nullopt);
    EXPECT_FALSE(SetClipboardDataLater(png, maker({ 'y' }))); // not open
}

} // namespace

namespace {

class Loop : public UiTest { };

TEST_F(Loop, WindowAcceleratorsAndIdleHandlersRunFromTheLoop)
{
    HWND top = Top(L"top", WS_POPUP | WS_VISIBLE);
    HWND child = Child(top, L"child", 1);

    SetWindowAccelerators(top, { { FVIRTKEY, VK_F1, 4000 } });
    int idle = 0;
    const int handler = AddIdleHandler([&] { ++idle; });
    SetFocus(child);
    Take();
    InjectKey(WM_KEYDOWN, VK_F1); // goes to the focused child; the frame's table turns it into a command
    RunUntilIdle();
    RemoveIdleHandler(handler);
    const auto got = Take();
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [](const Recorded& r) {
        return r.window == "top" && r.message == WM_COMMAND && r.wParam == MAKEWPARAM(4000, 1);
    }));
    EXPECT_FALSE(std::any_of(got.begin(), got.end(), [](const Recorded& r) { return r.message == WM_KEYDOWN; }));
    EXPECT_EQ(idle, 1);
    DestroyWindow(top);
    InjectKey(WM_KEYDOWN, VK_F1);
    RunUntilIdle(); // the table went with its window
    SetWindowAccelerators(top, {});
}

} // namespace

namespace {

class Showing : public UiTest { };

TEST_F(Showing, NoActivateFormsShowWithoutTakingActivation)
{
    HWND main = Top(L"main", WS_POPUP | WS_VISIBLE);
    SetActiveWindow(main);
    for (int command : { SW_SHOWNOACTIVATE, SW_SHOWNA }) {
        HWND tip = Top(L"tip", WS_POPUP);
        SetWindowLongPtr(tip, GWL_EXSTYLE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
        EXPECT_FALSE(ShowWindow(tip, command));
        EXPECT_TRUE(IsWindowVisible(tip));
        EXPECT_EQ(GetActiveWindow(), main);
        // A click on it does not activate it either: it answers MA_NOACTIVATE.
        SetHook([&](HWND hwnd, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (hwnd == tip && message == WM_MOUSEACTIVATE)
                return 3;
            return std::nullopt;
        });
        InjectMouse(tip, WM_LBUTTONDOWN, { 1, 1 });
        RunUntilIdle();
        SetHook({});
        EXPECT_EQ(GetActiveWindow(), main);
        DestroyWindow(tip);
    }
}

} // namespace
