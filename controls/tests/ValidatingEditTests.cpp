// Numeric fields, their error markers and balloons, and the invalid-settings warning, driven
// headless: keystrokes and mouse moves as messages, a manual clock, results read as texts,
// states and pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "controls/BalloonHelp.h"
#include "controls/DialogSettingsWarningDlg.h"
#include "controls/ErrorProvider.h"
#include "controls/Popup.h"
#include "controls/ValidatingEdit.h"
#include "ui/Animation.h"
#include "ui/Clock.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::ui;
using namespace KELControls;

namespace {

constexpr int kValueId = 100, kValueMarkerId = 101, kCountId = 102, kCountMarkerId = 103;

DialogTemplate FieldsTemplate()
{
    DialogTemplate t;
    t.caption = L"Settings";
    t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
    t.units = { 10, 10, 200, 90 };
    t.items = {
        { kEditClass, L"", kValueId, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 10, 10, 80, 22 } },
        { kStaticClass, L"", kValueMarkerId, WS_CHILD | WS_VISIBLE, { 82, 10, 92, 22 } },
        { kEditClass, L"", kCountId, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 10, 30, 80, 42 } },
        { kStaticClass, L"", kCountMarkerId, WS_CHILD | WS_VISIBLE, { 82, 30, 92, 42 } },
        { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, { 60, 65, 110, 79 } },
        { kButtonClass, L"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 120, 65, 170, 79 } },
    };
    return t;
}

class Controls : public testing::Test {
protected:
    void SetUp() override
    {
        mPreviousClock = SetClock(&mClock);
        SetMonitors({ { { 0, 0, 1600, 1000 }, { 0, 0, 1600, 960 }, 96, true } });
        SetDecimalSeparator(L'.');
        TakeMessageBoxRequests();
    }
    void TearDown() override
    {
        if (mDialog && IsWindow(mDialog))
            DestroyWindow(mDialog);
        RunUntilIdle();
        SetDecimalSeparator(0);
        SetMonitors({});
        SetClock(mPreviousClock);
        TakeMessageBoxRequests();
    }

    HWND MakeDialog(DialogProc proc = {})
    {
        if (!proc)
            proc = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_INITDIALOG; };
        mDialog = CreateDialogIndirectParam(FieldsTemplate(), nullptr, proc, 0);
        return mDialog;
    }

    static void Type(HWND edit, const std::wstring& keys)
    {
        for (wchar_t c : keys)
            SendMessage(edit, WM_CHAR, c, 0);
    }

    ManualClock mClock;
    Clock* mPreviousClock = nullptr;
    HWND mDialog = nullptr;
};

// ---- Numbers ---------------------------------------------------------------------------------

TEST_F(Controls, AWholeTextIsOneNumberAndTheBoundsAreInclusive)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit edit(mDialog, kValueId, 0, 10);
    struct Case {
        const wchar_t* text;
        bool number;
        bool valid;
    };
    const Case cases[] = {
        { L"0", true, true },
        { L"10", true, true },
        { L"10.0001", true, false },
        { L"1e3", true, false },
        { L"-0.5", true, false },
        { L"", false, false },
        { L"-", false, false },
        { L"e", false, false },
        { L"1e", false, false },
        { L"5 ", false, false },
        { L"5x", false, false },
        { L"2.5", true, true },
    };
    for (const Case& c : cases) {
        edit.SetText(c.text);
        EXPECT_EQ(edit.IsValidNumber(), c.number) << std::string(c.text, c.text + std::wcslen(c.text));
        EXPECT_EQ(edit.GetValidator()->IsValid(c.text), c.valid) << std::string(c.text, c.text + std::wcslen(c.text));
    }
}

TEST_F(Controls, GetValueRoundsToThePrecisionAndKeepsValuesTheScaleCannotReach)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit edit(mDialog, kValueId, -1e308, 1e308);
    struct Case {
        const wchar_t* text;
        int precision;
        double expected;
    };
    const Case cases[] = {
        { L"1234.5678", 3, 1235 },
        { L"1234.5678", 5, 1234.57 },
        { L"0.0123456", 0, 0.0123456 },
        { L"0", 4, 0 },
        { L"abc", 4, 0 },
        { L"1e-300", 0, 1e-300 },
        { L"-1e-305", 3, -1e-305 },
        { L"12xyz", 0, 12 },
    };
    for (const Case& c : cases) {
        edit.SetText(c.text);
        edit.precision = c.precision;
        const double v = edit.GetValue();
        ASSERT_TRUE(std::isfinite(v));
        EXPECT_NEAR(v, c.expected, std::fabs(c.expected) * 1e-12) << c.precision;
    }
    // Only the first 29 characters count: the 30th (a letter) is never seen.
    edit.SetText(std::wstring(29, L'1') + L"x");
    EXPECT_TRUE(edit.IsValidNumber());
    EXPECT_GT(edit.GetValue(), 1e28);
}

TEST_F(Controls, SetValueWritesThePrecisionInFixedOrDefaultNotation)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit edit(mDialog, kValueId, 0, 10);
    edit.fixed = true;
    edit.SetValue(0.1);
    EXPECT_EQ(edit.GetText(), L"0.100000000");
    edit.fixed = false;
    edit.SetValue(0.1);
    EXPECT_EQ(edit.GetText(), L"0.1");
    edit.precision = 3;
    edit.SetValue(1234.5678);
    EXPECT_EQ(edit.GetText(), L"1.23e+03");
}

TEST_F(Controls, TheUsersSeparatorIsTypedReadAndWrittenAlike)
{
    SetDecimalSeparator(L',');
    ASSERT_TRUE(MakeDialog());
    DoubleEdit edit(mDialog, kValueId, 0, 10);
    HWND hwnd = edit.GetHandle();
    Type(hwnd, L"1.,5");
    EXPECT_EQ(edit.GetText(), L"1,5"); // the point never reaches the text
    EXPECT_TRUE(edit.IsValidNumber());
    EXPECT_DOUBLE_EQ(edit.GetValue(), 1.5);
    EXPECT_TRUE(edit.GetValidator()->IsValid(L"1,5"));
    EXPECT_FALSE(edit.GetValidator()->IsValid(L"1.5"));

    // What the dialog writes passes its own validator.
    edit.SetValue(2.25);
    EXPECT_EQ(edit.GetText(), L"2,25");
    EXPECT_TRUE(edit.GetValidator()->IsValid(edit.GetText()));
    Validator* v = edit.GetValidator();
    std::wstring text;
    double in = 7.5;
    EXPECT_EQ(v->Transfer(text, &in, TransferDirection::SetData), 0u); // no transfer option
    v->SetOption(Validator::voTransfer);
    EXPECT_EQ(v->Transfer(text, &in, TransferDirection::SetData), sizeof(double));
    EXPECT_EQ(text, L"7,5");
    EXPECT_TRUE(v->IsValid(text));
    double out = 0;
    text = L"3,25";
    v->Transfer(text, &out, TransferDirection::GetData);
    EXPECT_DOUBLE_EQ(out, 3.25);
}

// ---- Reporting --------------------------------------------------------------------------------

TEST_F(Controls, WithoutAMarkerKeystrokesAreSilentAndValidationShowsTheRangeMessage)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit edit(mDialog, kValueId, 0, 10);
    Type(edit.GetHandle(), L"12a");
    EXPECT_EQ(edit.GetText(), L"12"); // the letter is filtered
    EXPECT_TRUE(TakeMessageBoxRequests().empty());
    EXPECT_FALSE(edit.Validate());
    const auto boxes = TakeMessageBoxRequests();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Please enter a number from 0 to 10.");
    EXPECT_EQ(boxes[0].type & 0x30, 0x30u);
    EXPECT_EQ(GetFocus(), edit.GetHandle());
}

TEST_F(Controls, AMarkerFollowsEachKeystrokeAndSwallowsTheValidationMessageBox)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit value(mDialog, kValueId, 0, 10);
    ErrorProvider valueMarker(mDialog, kValueMarkerId);
    value.SetErrorProvider(&valueMarker);
    IntEdit count(mDialog, kCountId, 1, 5);
    ErrorProvider countMarker(mDialog, kCountMarkerId);
    count.SetErrorProvider(&countMarker);
    EXPECT_TRUE(GetWindowLongPtr(count.GetHandle(), GWL_STYLE) & ES_NUMBER);
    EXPECT_FALSE(IsWindowVisible(valueMarker.GetHandle()));

    Type(value.GetHandle(), L"1");
    EXPECT_FALSE(IsWindowVisible(valueMarker.GetHandle()));
    Type(value.GetHandle(), L"2");
    EXPECT_TRUE(IsWindowVisible(valueMarker.GetHandle()));
    EXPECT_EQ(valueMarker.Title(), L"Invalid Value");
    EXPECT_EQ(valueMarker.Message(), L"Value must be in range 0 to 10.");
    EXPECT_FALSE(value.Validate());
    EXPECT_TRUE(TakeMessageBoxRequests().empty()); // the marker speaks instead
    Type(value.GetHandle(), L"\b");
    EXPECT_FALSE(IsWindowVisible(valueMarker.GetHandle()));
    EXPECT_EQ(valueMarker.Title(), L"");
    EXPECT_EQ(valueMarker.Message(), L"");

    Type(count.GetHandle(), L"7");
    EXPECT_TRUE(IsWindowVisible(countMarker.GetHandle()));
    EXPECT_EQ(countMarker.Message(), L"Value must be in range 1 to 5.");
    // Dropping the provider brings back the bounds with the plain validator.
    count.SetErrorProvider(nullptr);
    EXPECT_FALSE(count.Validate());
    ASSERT_EQ(TakeMessageBoxRequests().size(), 1u);
    count.SetText(L"5");
    EXPECT_TRUE(count.Validate());
}

// ---- The marker ---------------------------------------------------------------------------------

TEST_F(Controls, TheMarkerNormalisesItsOptionsAndDrawsTheChosenIconAtTheScaledSize)
{
    struct Case {
        unsigned in, out;
    };
    const Case cases[] = { { 0, 9 }, { 8 | 16 | 32, 16 | 1 }, { 32 | 2 | 4, 32 | 2 }, { 64 | 4, 64 | 4 | 8 } };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorProvider::NormaliseOptions(c.in), c.out) << c.in;

    for (int dpi : { 96, 144 }) {
        SetMonitors({ { { 0, 0, 1600, 1000 }, { 0, 0, 1600, 960 }, dpi, true } });
        ASSERT_TRUE(MakeDialog());
        ErrorProvider marker(mDialog, kValueMarkerId);
        const int side = dpi * 12 / 96;
        EXPECT_EQ(marker.IconSize(), (Size { side, side }));
        Rect r;
        GetWindowRect(marker.GetHandle(), &r);
        EXPECT_EQ(r.GetSize(), (Size { side, side }));
        ShowWindow(marker.GetHandle(), SW_SHOW);
        BitmapPtr image = CaptureWindow(mDialog);
        ASSERT_TRUE(image);
        Point at { 0, 0 };
        ClientToScreen(marker.GetHandle(), &at);
        Rect dialog;
        GetWindowRect(mDialog, &dialog);
        // Most of the marker is the error icon's red; the face colour is grey.
        int red = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const Colour c = image->Pixel(at.x - dialog.left + x, at.y - dialog.top + y);
                red += c.Red() > 150 && c.Green() < 120 && c.Blue() < 120;
            }
        EXPECT_GT(red, side * side / 3) << dpi;
        DestroyWindow(mDialog);
        mDialog = nullptr;
    }
}

TEST_F(Controls, HoveringTheMarkerShowsOneBalloonThatClosesWhenTheMouseLeaves)
{
    ASSERT_TRUE(MakeDialog());
    DoubleEdit value(mDialog, kValueId, 0, 10);
    ErrorProvider marker(mDialog, kValueMarkerId);
    value.SetErrorProvider(&marker);
    Type(value.GetHandle(), L"99");
    ASSERT_TRUE(IsWindowVisible(marker.GetHandle()));

    Point centre { 6, 6 };
    ClientToScreen(marker.GetHandle(), &centre);
    Point inDialog = centre;
    ScreenToClient(mDialog, &inDialog);
    InjectMouse(mDialog, WM_MOUSEMOVE, inDialog);
    RunUntilIdle();
    HWND balloon = marker.BalloonWindow();
    ASSERT_TRUE(balloon);
    EXPECT_TRUE(IsWindowVisible(balloon));
    EXPECT_EQ(GetWindowText(balloon), L"Invalid Value");
    auto* object = WTL::CBalloonHelp::FromWindow(balloon);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->Content(), L"Value must be in range 0 to 10.");

    // A second show (a click on the marker while the balloon is up) keeps the one balloon.
    SendMessage(marker.GetHandle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(marker.BalloonWindow(), balloon);
    EXPECT_EQ(GetCapture(), balloon);

    // Inside the marker the balloon stays; outside it closes and deletes itself.
    Point inBalloon = { centre.x + 1, centre.y };
    ScreenToClient(balloon, &inBalloon);
    InjectMouse(balloon, WM_MOUSEMOVE, inBalloon);
    RunUntilIdle();
    EXPECT_TRUE(IsWindow(balloon));
    Point away = { centre.x + 40, centre.y + 40 };
    ScreenToClient(balloon, &away);
    InjectMouse(balloon, WM_MOUSEMOVE, away);
    RunUntilIdle();
    EXPECT_FALSE(IsWindow(balloon));
    EXPECT_EQ(marker.BalloonWindow(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
}

// ---- The popup ------------------------------------------------------------------------------------

TEST_F(Controls, ThePopupWrapsAt300PixelsAndStaysInsideTheWorkArea)
{
    const std::wstring longLine(200, L'x');
    const std::wstring words = L"a long single line of words that must wrap somewhere before it gets too wide to read";
    KEL::Popup wrapped(nullptr, { 100, 100 }, words);
    Rect r;
    GetWindowRect(wrapped.GetHandle(), &r);
    EXPECT_LE(r.Width(), 305);
    KEL::Popup oneLine(nullptr, { 100, 100 }, L"x");
    Rect line;
    GetWindowRect(oneLine.GetHandle(), &line);
    EXPECT_GE(r.Height() - 2, 2 * (line.Height() - 2)); // more than one line
    EXPECT_EQ(r.left, 102);
    EXPECT_EQ(r.top, 102);
    EXPECT_TRUE(IsWindowVisible(wrapped.GetHandle()));

    struct Case {
        Point at;
        const char* rule;
    };
    for (const Case& c :
        { Case { { 1590, 100 }, "right" }, Case { { 100, 955 }, "bottom" }, Case { { -50, -40 }, "left and top" } }) {
        KEL::Popup popup(nullptr, c.at, L"Some text");
        GetWindowRect(popup.GetHandle(), &r);
        EXPECT_LE(r.right, 1600 - 10) << c.rule;
        EXPECT_LE(r.bottom, 960) << c.rule;
        EXPECT_GE(r.left, 0) << c.rule;
        EXPECT_GE(r.top, 0) << c.rule;
    }
    KEL::Popup below(nullptr, { 100, 955 }, L"Some text");
    GetWindowRect(below.GetHandle(), &r);
    EXPECT_EQ(r.bottom, 957 - 3); // above the point

    // The create step makes a window that went away again, in the same place.
    const Rect before = r;
    DestroyWindow(below.GetHandle());
    ASSERT_TRUE(below.Create());
    GetWindowRect(below.GetHandle(), &r);
    EXPECT_EQ(r, before);
    EXPECT_TRUE(IsWindowVisible(below.GetHandle()));
}

// The popup's own font is the 8-point tool-bar font at the DPI of the monitor it opens on.
TEST_F(Controls, ThePopupsFontFollowsItsMonitorsDpi)
{
    SetMonitors({ { { 0, 0, 1000, 1000 }, { 0, 0, 1000, 960 }, 96, true },
        { { 1000, 0, 2000, 1000 }, { 1000, 0, 2000, 960 }, 144, false } });
    KEL::Popup normal(nullptr, { 100, 100 }, L"Sampling");
    KEL::Popup large(nullptr, { 1100, 100 }, L"Sampling");
    EXPECT_EQ(normal.GetFont().height, -11);
    EXPECT_EQ(large.GetFont().height, -16);
    Rect a, b;
    GetWindowRect(normal.GetHandle(), &a);
    GetWindowRect(large.GetHandle(), &b);
    EXPECT_GT(b.Width(), a.Width());
}

TEST_F(Controls, ThePopupOfAHiddenHostExistsButIsNotShownAndThePopupModeCountsTheHover)
{
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND main = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP, 0, 0, 100, 100, nullptr, 0, nullptr);
    GetApplication().mainWindow = main;
    {
        KEL::Popup popup(nullptr, { 100, 100 }, L"Hidden");
        EXPECT_TRUE(IsWindow(popup.GetHandle()));
        EXPECT_FALSE(IsWindowVisible(popup.GetHandle()));
    }
    GetApplication().mainWindow = nullptr;
    DestroyWindow(main);

    ASSERT_TRUE(MakeDialog());
    ErrorProvider marker(mDialog, kValueMarkerId);
    marker.SetOptions(ErrorProvider::kPopup | ErrorProvider::kWarningIcon);
    marker.SetMessage(L"Too large");
    ShowWindow(marker.GetHandle(), SW_SHOW);
    Point at { 3, 3 };
    ClientToScreen(marker.GetHandle(), &at);
    ScreenToClient(mDialog, &at);
    InjectMouse(mDialog, WM_MOUSEMOVE, at);
    RunUntilIdle();
    EXPECT_EQ(marker.PopupWindow(), nullptr);
    RunFor(50);
    ASSERT_TRUE(marker.PopupWindow());
    EXPECT_TRUE(IsWindowVisible(marker.PopupWindow()));
    RunFor(4900);
    EXPECT_TRUE(marker.PopupWindow());
    RunFor(100);
    EXPECT_EQ(marker.PopupWindow(), nullptr); // five seconds of hover, then gone
}

// ---- The balloon ----------------------------------------------------------------------------------

TEST_F(Controls, TheBalloonPointsItsTailAtTheAnchorFromTheQuadrantsSide)
{
    for (int dpi : { 96, 144 }) {
        SetMonitors({ { { 0, 0, 1600, 1000 }, { 0, 0, 1600, 960 }, dpi, true } });
        WTL::CBalloonHelp balloon;
        const Point lowerRight { 1400, 900 };
        ASSERT_TRUE(balloon.Create(nullptr, L"Title", L"Some content", &lowerRight, 0x8000));
        EXPECT_EQ(balloon.Margin(), dpi == 96 ? 8 : 12);
        EXPECT_EQ(balloon.TailHeight(), dpi == 96 ? 20 : 30);
        Rect r;
        GetWindowRect(balloon.GetHandle(), &r);
        EXPECT_FALSE(balloon.TailOnTop());
        EXPECT_EQ(r.top + balloon.TailTip().y, lowerRight.y);
        EXPECT_EQ(r.left + balloon.TailTip().x, lowerRight.x);
        const int w = r.Width(), t = balloon.TailHeight();
        EXPECT_EQ(balloon.TailBaseLeft().x, 3 * (w - t) / 4);
        EXPECT_EQ(balloon.TailBaseLeft().y, r.Height() - t);
        // Made but not shown, and holding the capture.
        EXPECT_FALSE(IsWindowVisible(balloon.GetHandle()));
        EXPECT_EQ(GetCapture(), balloon.GetHandle());
    }
    // An anchor at the left edge of the upper half: tail on top, the window kept on the monitor
    // and the tip still on the anchor.
    WTL::CBalloonHelp balloon;
    const Point upperLeft { 2, 5 };
    ASSERT_TRUE(balloon.Create(nullptr, L"Title", L"Some content", &upperLeft, 0x8000));
    Rect r;
    GetWindowRect(balloon.GetHandle(), &r);
    EXPECT_TRUE(balloon.TailOnTop());
    EXPECT_GE(r.left, 0);
    EXPECT_EQ(r.top, upperLeft.y);
    EXPECT_EQ(balloon.TailTip().x, balloon.Margin()); // clamped to the margin
    // Only the tip followed the shift; with kMoveTailBase the base goes along (to the margin).
    WTL::CBalloonHelp moved;
    ASSERT_TRUE(moved.Create(nullptr, L"Title", L"Some content", &upperLeft, 0x8000 | 0x10000));
    EXPECT_GT(balloon.TailBaseLeft().x, balloon.Margin());
    EXPECT_EQ(moved.TailBaseLeft().x, moved.Margin());
    EXPECT_EQ(moved.TailTip(), balloon.TailTip());
}

// The window is only the rounded body and the tail: mouse input outside them passes through,
// and the display shows nothing there.
TEST_F(Controls, TheBalloonsWindowIsItsBodyAndTail)
{
    WTL::CBalloonHelp balloon;
    const Point anchor { 400, 300 };
    ASSERT_TRUE(balloon.Create(nullptr, L"Title", L"Some content", &anchor, 0x8000));
    Region shape;
    ASSERT_TRUE(GetWindowRgn(balloon.GetHandle(), &shape));
    Rect r;
    GetWindowRect(balloon.GetHandle(), &r);
    const int t = balloon.TailHeight();
    ASSERT_TRUE(balloon.TailOnTop());
    EXPECT_TRUE(shape.Contains({ balloon.TailTip().x, t / 4 })); // near the tail's tip
    EXPECT_TRUE(shape.Contains({ r.Width() / 2, t + r.Height() / 2 - t / 2 })); // the body
    EXPECT_FALSE(shape.Contains({ 0, 0 })); // above the body, beside the tail
    EXPECT_FALSE(shape.Contains({ r.Width() - 1, t })); // a rounded corner
    EXPECT_FALSE(shape.Contains({ balloon.TailTip().x + t, 1 }));
}

// Option 1: a close button in the title line that turns hot under the mouse, presses, and closes
// the balloon when released on it (and only then).
TEST_F(Controls, TheCloseButtonClosesTheBalloonWhenReleasedOnIt)
{
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND top = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, 0, nullptr);
    auto* balloon = new WTL::CBalloonHelp();
    const Point anchor { 500, 500 };
    ASSERT_TRUE(balloon->Create(top, L"Title", L"Some content", &anchor, WTL::CBalloonHelp::kShowCloseButton | 0x1000));
    HWND hwnd = balloon->GetHandle();
    const Rect close = balloon->CloseButton();
    ASSERT_FALSE(close.IsEmpty());
    Rect client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(close.right, client.right); // at the right of the title line by default
    EXPECT_EQ(close.top, 0);
    const Point on { (close.left + close.right) / 2, (close.top + close.bottom) / 2 };
    auto at = [&](Point client) {
        ClientToScreen(hwnd, &client);
        return client;
    };
    const Point onScreen = at(on), offScreen = at({ close.left - 20, on.y });

    InjectMouse(hwnd, WM_MOUSEMOVE, on);
    RunUntilIdle();
    EXPECT_EQ(balloon->CloseButtonState(), DFCS_HOT);
    // Pressed on the button, released beside it: the balloon stays, the button is flat again.
    InjectMouse(hwnd, WM_LBUTTONDOWN, on, MK_LBUTTON);
    RunUntilIdle();
    EXPECT_EQ(balloon->CloseButtonState(), DFCS_HOT | DFCS_PUSHED);
    Point off = offScreen;
    ScreenToClient(hwnd, &off);
    InjectMouse(hwnd, WM_MOUSEMOVE, off, MK_LBUTTON);
    InjectMouse(hwnd, WM_LBUTTONUP, off);
    RunUntilIdle();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(balloon->CloseButtonState() & DFCS_PUSHED, 0u);
    // Pressed and released on it: closed, and the object deleted itself.
    Point again = onScreen;
    ScreenToClient(hwnd, &again);
    InjectMouse(hwnd, WM_MOUSEMOVE, again);
    InjectMouse(hwnd, WM_LBUTTONDOWN, again, MK_LBUTTON);
    InjectMouse(hwnd, WM_LBUTTONUP, again);
    RunFor(250); // after the fade-out
    EXPECT_FALSE(IsWindow(hwnd));
    DestroyWindow(top);
}

TEST_F(Controls, TheDistanceRuleClosesOnAFourPixelMoveButNotOnThree)
{
    // The cursor rests at (500, 500) when the balloon opens.
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND top = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, 0, nullptr);
    InjectMouse(top, WM_MOUSEMOVE, { 500, 500 });
    RunUntilIdle();
    auto* balloon = new WTL::CBalloonHelp();
    const Point anchor { 500, 500 };
    ASSERT_TRUE(balloon->Create(nullptr, L"T", L"C", &anchor, 0x200 | 0x1000));
    HWND hwnd = balloon->GetHandle();
    // It fades in over 200 ms (the user's tooltip effects are on by default)...
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindowOpacity(hwnd), 0);
    RunFor(100);
    EXPECT_GT(GetWindowOpacity(hwnd), 0);
    EXPECT_LT(GetWindowOpacity(hwnd), 255);
    RunFor(120); // the steps are 16 ms apart: the last comes at 208 ms
    EXPECT_EQ(GetWindowOpacity(hwnd), 255);
    Point p { 503, 497 };
    ScreenToClient(hwnd, &p);
    InjectMouse(hwnd, WM_MOUSEMOVE, p);
    RunUntilIdle();
    ASSERT_TRUE(IsWindow(hwnd));
    p = { 504, 500 };
    ScreenToClient(hwnd, &p);
    InjectMouse(hwnd, WM_MOUSEMOVE, p);
    // ...and out, and only then closes.
    RunFor(100);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_GT(GetWindowOpacity(hwnd), 0);
    EXPECT_LT(GetWindowOpacity(hwnd), 255);
    RunFor(150);
    EXPECT_FALSE(IsWindow(hwnd)); // and the object deleted itself (ASan would see a leak otherwise)

    // Without the effects (or with options 0x2000 and 0x4000) it shows and goes at once.
    SetTooltipEffects({ true, false });
    balloon = new WTL::CBalloonHelp();
    ASSERT_TRUE(balloon->Create(nullptr, L"T", L"C", &anchor, 0x200 | 0x1000));
    hwnd = balloon->GetHandle();
    EXPECT_EQ(GetWindowOpacity(hwnd), 255);
    balloon->Hide();
    RunUntilIdle();
    EXPECT_FALSE(IsWindow(hwnd));
    SetTooltipEffects({});
    DestroyWindow(top);
}

// ---- The warning dialog ---------------------------------------------------------------------------

TEST_F(Controls, TheWarningIsCentredOnTheWorkAreaAndKeepsItsCornerOnASmallOne)
{
    for (const Rect work : { Rect { 0, 0, 1600, 960 }, Rect { 100, 50, 200, 100 } }) {
        SetMonitors({ { { 0, 0, 1600, 1000 }, work, 96, true } });
        HWND seen = nullptr;
        Rect window;
        Colour markerCorner;
        SetDialogScript([&](HWND dialog) {
            seen = dialog;
            GetWindowRect(dialog, &window);
            BitmapPtr image = CaptureWindow(dialog);
            Point marker { 0, 0 };
            ClientToScreen(GetDlgItem(dialog, DialogSettingsWarningDlg::kMarkerId), &marker);
            markerCorner = image->Pixel(marker.x - window.left, marker.y - window.top);
            EndDialog(dialog, IDCANCEL);
        });
        DialogSettingsWarningDlg warning(nullptr);
        warning.Execute();
        SetDialogScript({});
        ASSERT_TRUE(seen);
        if (work.Width() > window.Width()) {
            EXPECT_EQ(window.left, work.left + (work.Width() - window.Width()) / 2);
            EXPECT_EQ(window.top, work.top + (work.Height() - window.Height()) / 2);
        } else {
            EXPECT_EQ(window.left, work.left);
            EXPECT_EQ(window.top, work.top);
        }
        // The marker sits on the face colour without an edge.
        EXPECT_EQ(markerCorner, GetSysColor(COLOR_BTNFACE));
    }
}

// ---- A settings dialog, end to end ------------------------------------------------------------------

TEST_F(Controls, ABadValueShowsTheMarkerTheBalloonAndTheWarningUntilCorrected)
{
    std::unique_ptr<DoubleEdit> value;
    std::unique_ptr<ErrorProvider> marker;
    int warnings = 0;
    std::wstring warningText;
    bool closed = false;
    HWND balloon = nullptr;
    HWND dialog = MakeDialog([&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            value = std::make_unique<DoubleEdit>(hwnd, kValueId, 0.5, 2.5);
            marker = std::make_unique<ErrorProvider>(hwnd, kValueMarkerId);
            value->SetErrorProvider(marker.get());
            value->precision = 3;
            value->SetValue(1.0);
            return 1;
        }
        if (message == WM_COMMAND && (wParam & 0xFFFF) == IDOK) {
            if (!value->Validate() || IsWindowVisible(marker->GetHandle())) {
                DialogSettingsWarningDlg(hwnd).Execute();
                return 1;
            }
            closed = true;
            DestroyWindow(hwnd);
            return 1;
        }
        return 0;
    });
    ASSERT_TRUE(dialog);
    EXPECT_EQ(value->GetText(), L"1");
    SetFocus(value->GetHandle());
    SendMessage(value->GetHandle(), EM_SETSEL, 0, -1);
    Type(value->GetHandle(), L"3");
    ASSERT_TRUE(IsWindowVisible(marker->GetHandle()));

    Point at { 5, 5 };
    ClientToScreen(marker->GetHandle(), &at);
    ScreenToClient(dialog, &at);
    InjectMouse(dialog, WM_MOUSEMOVE, at);
    RunUntilIdle();
    balloon = marker->BalloonWindow();
    ASSERT_TRUE(balloon);
    EXPECT_EQ(WTL::CBalloonHelp::FromWindow(balloon)->Content(), L"Value must be in range 0.5 to 2.5.");
    if (BitmapPtr image = CaptureWindow(balloon))
        image->SavePng(testing::TempDir() + "balloon.png");
    WTL::CBalloonHelp::FromWindow(balloon)->Hide();
    RunUntilIdle();

    SetDialogScript([&](HWND warning) {
        ++warnings;
        for (HWND child = GetWindow(warning, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            warningText += GetWindowText(child) + L"|";
        EXPECT_EQ(GetWindowText(warning), L"Varnex");
        if (BitmapPtr image = CaptureWindow(warning))
            image->SavePng(testing::TempDir() + "warning.png");
        SendMessage(GetDlgItem(warning, IDCANCEL), BM_CLICK, 0, 0);
    });
    SendMessage(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    RunUntilIdle();
    EXPECT_EQ(warnings, 1);
    EXPECT_NE(warningText.find(L"One or more settings are invalid and need correcting."), std::wstring::npos);
    EXPECT_FALSE(closed);
    ASSERT_TRUE(IsWindow(dialog));

    Type(value->GetHandle(), L"\b2");
    EXPECT_FALSE(IsWindowVisible(marker->GetHandle()));
    SendMessage(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    RunUntilIdle();
    SetDialogScript({});
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(IsWindow(dialog));
    mDialog = nullptr;
}

} // namespace

namespace {

TEST_F(Controls, LeavingAPopupMarkerStopsItsTimerAndDeletesThePopup)
{
    ASSERT_TRUE(MakeDialog());
    ErrorProvider marker(mDialog, kValueMarkerId);
    marker.SetOptions(ErrorProvider::kPopup | ErrorProvider::kWarningIcon);
    marker.SetMessage(L"Too large");
    ShowWindow(marker.GetHandle(), SW_SHOW);
    Point at { 3, 3 };
    ClientToScreen(marker.GetHandle(), &at);
    ScreenToClient(mDialog, &at);
    InjectMouse(mDialog, WM_MOUSEMOVE, at);
    RunFor(100);
    ASSERT_TRUE(marker.PopupWindow());
    SendMessage(marker.GetHandle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(marker.PopupWindow(), nullptr);
    RunFor(200); // the timer stopped with it: nothing comes back
    EXPECT_EQ(marker.PopupWindow(), nullptr);
}

TEST_F(Controls, AMarkersLinkShowsInItsBalloonAndAClickOnItClosesTheBalloonAndRunsTheLink)
{
    struct Case {
        const char* what;
        unsigned options;
        bool callback;
        bool link;
    };
    const Case cases[] = {
        { "link option, text and callback", ErrorProvider::kLink, true, true },
        { "without the option", 0, true, false },
        { "without a callback", ErrorProvider::kLink, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(MakeDialog());
        int clicks = 0;
        {
            ErrorProvider marker(mDialog, kValueMarkerId);
            marker.SetOptions(ErrorProvider::kBalloon | ErrorProvider::kErrorIcon | c.options);
            marker.SetTitle(L"Invalid Value");
            marker.SetMessage(L"Value must be in range 0 to 10.");
            marker.SetLinkText(L"Set the range");
            if (c.callback)
                marker.SetLinkCallback([&] { ++clicks; });
            ShowWindow(marker.GetHandle(), SW_SHOW);
            SendMessage(marker.GetHandle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
            HWND hwnd = marker.BalloonWindow();
            ASSERT_TRUE(hwnd);
            auto* balloon = WTL::CBalloonHelp::FromWindow(hwnd);
            ASSERT_TRUE(balloon);
            const Rect link = balloon->LinkRect();
            EXPECT_EQ(!link.IsEmpty(), c.link);
            if (c.link) {
                // Below the message, inside the balloon: the hand over it, and a click on it.
                Rect client;
                GetClientRect(hwnd, &client);
                EXPECT_TRUE(client.Contains(Point { link.right - 1, link.bottom - 1 }));
                const Point on { (link.left + link.right) / 2, (link.top + link.bottom) / 2 };
                InjectMouse(hwnd, WM_MOUSEMOVE, on);
                RunUntilIdle();
                ASSERT_TRUE(IsWindow(hwnd)); // the balloon stays open while the mouse is over it
                EXPECT_EQ(GetCursor(), IDC_HAND);
                InjectMouse(hwnd, WM_LBUTTONDOWN, on, MK_LBUTTON);
                InjectMouse(hwnd, WM_LBUTTONUP, on);
                RunFor(250);
                EXPECT_FALSE(IsWindow(hwnd));
            }
        }
        EXPECT_EQ(clicks, c.link ? 1 : 0);
        DestroyWindow(mDialog);
        mDialog = nullptr;
    }
}

TEST_F(Controls, TheBalloonsContentIsAtLeastItsMinimumWidth)
{
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND top = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, 0, nullptr);
    const Point anchor { 500, 500 };
    int widths[2] = {};
    for (int minimum : { 0, 400 }) {
        WTL::CBalloonHelp balloon;
        balloon.SetMinimumWidth(minimum);
        ASSERT_TRUE(balloon.Create(top, L"T", L"Short", &anchor, WTL::CBalloonHelp::kNoShow));
        Rect window;
        GetWindowRect(balloon.GetHandle(), &window);
        widths[minimum ? 1 : 0] = window.Width();
        DestroyWindow(balloon.GetHandle());
    }
    EXPECT_LT(widths[0], 400);
    EXPECT_EQ(widths[1], 400 + 2 * 8); // the minimum and the two margins
    DestroyWindow(top);
}

TEST_F(Controls, APrintedBalloonIsDrawnIntoTheGivenContextAndItsShadedOutlineAddsTwoShades)
{
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND top = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, 0, nullptr);
    const Point anchor { 200, 200 };
    BitmapPtr pictures[2];
    for (int shaded = 0; shaded < 2; ++shaded) {
        WTL::CBalloonHelp balloon;
        ASSERT_TRUE(balloon.Create(top, L"Title", L"Some content", &anchor,
            WTL::CBalloonHelp::kNoShow | (shaded ? WTL::CBalloonHelp::kShadedOutline : 0u)));
        Rect window;
        GetWindowRect(balloon.GetHandle(), &window);
        const Rect whole = Rect::FromPointSize({}, window.GetSize());
        BitmapPtr picture = Bitmap::Create(whole.Width(), whole.Height());
        DC dc(picture);
        dc.FillSolidRect(whole, Colour::Rgb(0, 128, 0));
        SendMessage(balloon.GetHandle(), WM_PRINT, reinterpret_cast<WPARAM>(&dc), 0x2 | 0x4);
        dc.Flush();
        // The body's middle in the balloon's colour.
        EXPECT_EQ(picture->Pixel(whole.Width() / 2, whole.bottom - balloon.Margin() - 2), GetSysColor(COLOR_INFOBK));
        pictures[shaded] = picture;
        DestroyWindow(balloon.GetHandle());
    }
    int differing = 0;
    for (int y = 0; y < pictures[0]->Height(); ++y)
        for (int x = 0; x < pictures[0]->Width(); ++x)
            differing += pictures[0]->Argb(x, y) != pictures[1]->Argb(x, y);
    EXPECT_GT(differing, pictures[0]->Width()); // a shade along the outline
    DestroyWindow(top);
}

// The balloon draws its outline in its frame and its contents in a client area kept inside the
// margin, with the tail outside it on whichever side the tail is; the display shows the same
// picture as WM_PRINT.
TEST_F(Controls, TheBalloonsContentsSitInsideItsFrameOnTheSideAwayFromTheTail)
{
    RegisterClass({ L"ControlsTestTop", 0, &DefWindowProc });
    HWND top = CreateWindowEx(0, L"ControlsTestTop", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 1000, nullptr, 0, nullptr);
    const Colour back = GetSysColor(COLOR_INFOBK), text = GetSysColor(COLOR_INFOTEXT);
    struct Case {
        const char* what;
        Point anchor;
        bool tailOnTop;
    };
    const Case cases[] = {
        { "anchor in the upper half", { 400, 200 }, true },
        // The same balloon moved: the same size, the frame on the other side.
        { "anchor in the lower half", { 400, 800 }, false },
        { "back to the upper half", { 420, 300 }, true },
    };
    WTL::CBalloonHelp balloon;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(balloon.Create(
            top, L"Title", L"Some content", &c.anchor, WTL::CBalloonHelp::kNoFadeIn | WTL::CBalloonHelp::kNoFadeOut));
        HWND hwnd = balloon.GetHandle();
        ASSERT_EQ(balloon.TailOnTop(), c.tailOnTop);
        const int m = balloon.Margin(), t = balloon.TailHeight();
        Rect window, client;
        GetWindowRect(hwnd, &window);
        GetClientRect(hwnd, &client);
        Point origin {};
        ClientToScreen(hwnd, &origin);
        EXPECT_EQ(origin.x - window.left, m);
        EXPECT_EQ(origin.y - window.top, c.tailOnTop ? m + t : m);
        EXPECT_EQ(client.GetSize(), (Size { window.Width() - 2 * m, window.Height() - 2 * m - t }));

        BitmapPtr shown = CaptureWindow(hwnd);
        ASSERT_TRUE(shown);
        Region shape;
        ASSERT_TRUE(GetWindowRgn(hwnd, &shape));
        // The body's edges through its middle (beside the tail), outlined; the margin inside them
        // plain.
        const int x = window.Width() / 2;
        int bodyTop = 0, bodyBottom = window.Height() - 1;
        while (!shape.Contains({ x, bodyTop }))
            ++bodyTop;
        while (!shape.Contains({ x, bodyBottom }))
            --bodyBottom;
        EXPECT_EQ(bodyTop, c.tailOnTop ? t : 0);
        const int y = (bodyTop + bodyBottom) / 2;
        for (const Point edge :
            { Point { 0, y }, Point { window.Width() - 1, y }, Point { x, bodyTop }, Point { x, bodyBottom } })
            EXPECT_EQ(shown->Pixel(edge.x, edge.y), text) << edge.x << "," << edge.y;
        // (Clear of the rounded corners.)
        for (int across = 5; across < window.Width() - 5; ++across)
            for (int down : { bodyTop + 1, bodyTop + m - 1, bodyBottom - m + 1, bodyBottom - 1 })
                ASSERT_EQ(shown->Pixel(across, down), back) << across << "," << down;
        for (int down = bodyTop + 5; down < bodyBottom - 5; ++down)
            for (int across : { 1, m - 1, window.Width() - m, window.Width() - 2 })
                ASSERT_EQ(shown->Pixel(across, down), back) << across << "," << down;
        // The title in the client area's first line.
        int dark = 0;
        for (int across = 0; across < client.Width(); ++across)
            for (int down = 0; down < client.Height() / 2; ++down)
                dark += shown->Pixel(origin.x - window.left + across, origin.y - window.top + down) == text;
        EXPECT_GT(dark, 20);

        BitmapPtr printed = Bitmap::Create(window.Width(), window.Height());
        DC dc(printed);
        SendMessage(hwnd, WM_PRINT, reinterpret_cast<WPARAM>(&dc), 0x2 | 0x4);
        dc.Flush();
        int differing = 0;
        for (int y = 0; y < window.Height(); ++y)
            for (int x = 0; x < window.Width(); ++x)
                differing += shape.Contains({ x, y }) && printed->Argb(x, y) != shown->Argb(x, y);
        EXPECT_EQ(differing, 0);
    }
    DestroyWindow(balloon.GetHandle());
    DestroyWindow(top);
}

} // namespace
