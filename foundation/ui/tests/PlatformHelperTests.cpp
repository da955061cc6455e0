#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/ui/PlatformHelpers.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/Window.h"

using namespace vx::ui;

namespace {

TEST(NiceSteps, RoundUpAndDownFollowTheOneTwoFiveSeries)
{
    struct Case {
        double in, up, down;
    };
    const Case cases[] = { { 1.0, 2, 0.5 }, { 1.6, 5, 1 }, { 3, 5, 2 }, { 7, 10, 5 }, { 9.6, 20, 5 },
        { 0.03, 0.05, 0.02 }, { 1.2, 2, 0.5 }, { 2, 5, 1 }, { 4, 5, 2 }, { 250, 500, 200 } };
    for (const Case& c : cases) {
        double up = c.in, down = c.in;
        EXPECT_DOUBLE_EQ(KEL::RoundUpToNiceStep(up), c.up) << c.in;
        EXPECT_DOUBLE_EQ(up, c.up) << "changed in place";
        EXPECT_DOUBLE_EQ(KEL::RoundDownToNiceStep(down), c.down) << c.in;
    }
    // Values without a decade come back unchanged instead of turning a non-finite quotient into
    // an integer.
    for (double odd : { 0.0, -3.0, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::denorm_min() }) {
        double up = odd, down = odd;
        EXPECT_EQ(KEL::RoundUpToNiceStep(up), odd);
        EXPECT_EQ(KEL::RoundDownToNiceStep(down), odd);
    }
    double nan = std::nan("");
    EXPECT_TRUE(std::isnan(KEL::RoundUpToNiceStep(nan)));
}

TEST(Colours, HsvConversionAndBrightnessAdjustment)
{
    const KEL::ColourHSV red(0x0000FF);
    EXPECT_DOUBLE_EQ(red.hue, 0);
    EXPECT_DOUBLE_EQ(red.saturation, 1);
    EXPECT_DOUBLE_EQ(red.value, 255.0 / 256);
    const KEL::ColourHSV black(0xFF000000u);
    EXPECT_EQ(black.hue, -1);
    EXPECT_EQ(black.alpha, 0xFF000000u);
    KEL::ColourHSV green(0x00FF00);
    EXPECT_DOUBLE_EQ(green.hue, 120);

    // Grey (saturation 0): factor 0.5 moves the value halfway to 1.
    const COLORREF grey = 0x808080; // value 128/256 = 0.5
    const COLORREF lighter = KEL::AdjustColourBrightness(grey, 0.5);
    EXPECT_EQ(lighter & 0xFF, static_cast<DWORD>(0.75 * 255));
    EXPECT_EQ(lighter & 0xFF, (lighter >> 8) & 0xFF);
    // Saturation 0.8 with factor 0.25: saturation 0.55, value half of the way to 1.
    const COLORREF saturated = 0x3333FF; // r = 255/256, g = b = 51/256: s = 0.8
    const KEL::ColourHSV before(saturated);
    ASSERT_NEAR(before.saturation, 0.8, 1e-9);
    const KEL::ColourHSV after(KEL::AdjustColourBrightness(saturated, 0.25));
    EXPECT_NEAR(after.saturation, 0.55, 0.01);
    EXPECT_NEAR(after.value, (before.value + 1) / 2 * 255 / 256, 0.01);
    // -2 acts as -1.
    EXPECT_EQ(KEL::AdjustColourBrightness(grey, -2), KEL::AdjustColourBrightness(grey, -1));
    EXPECT_EQ(KEL::AdjustColourBrightness(grey, -1), 0u);
}

class WithMonitors : public testing::Test {
protected:
    void SetUp() override
    {
        SetMonitors({ { { 0, 0, 1000, 800 }, { 0, 0, 1000, 760 }, 96, true },
            { { 1000, 0, 2000, 800 }, { 1000, 0, 2000, 800 }, 144, false } });
    }
    void TearDown() override { SetMonitors({}); }
};

TEST_F(WithMonitors, RectanglesAreMovedOntoTheNearestWorkArea)
{
    Rect r { 800, 700, 950, 900 }; // over the bottom of the first work area
    KEL::ClampRectToWorkArea(r);
    EXPECT_EQ(r, (Rect { 800, 560, 950, 760 }));
    Rect big { -50, -50, 1200, 900 }; // larger than the work area: top-left ends on its corner
    KEL::ClampRectToWorkArea(big);
    EXPECT_EQ(big.TopLeft(), (Point { 0, 0 }));
}

TEST_F(WithMonitors, DpiComesFromTheWindowsMonitorAndFallsBackToThePrimary)
{
    RegisterClass({ L"DpiProbe", 0, DefWindowProc });
    HWND second = CreateWindowEx(0, L"DpiProbe", L"", WS_POPUP, 1200, 100, 100, 100, nullptr, 0, nullptr);
    HWND offscreen = CreateWindowEx(0, L"DpiProbe", L"", WS_POPUP, -900, -900, 100, 100, nullptr, 0, nullptr);
    EXPECT_EQ(ShcoreDLL::GetDpiForWindow(second).y, 144);
    EXPECT_EQ(ShcoreDLL::GetDpiForWindow(offscreen).x, 96);
    EXPECT_EQ(ShcoreDLL::GetDpiForWindow(nullptr).x, 96);
    // Nothing is cached: the next call sees changed monitors.
    SetMonitors({ { { 0, 0, 3000, 800 }, { 0, 0, 3000, 800 }, 120, true } });
    EXPECT_EQ(ShcoreDLL::GetDpiForWindow(second).x, 120);
    DestroyWindow(second);
    DestroyWindow(offscreen);
}

TEST(Fonts, DialogFontsScaleWithTheDeviceAndTheLanguage)
{
    DC screen(nullptr, DeviceCaps { DT_RASDISPLAY, 32, 120, 120, {} });
    const Font f = KEL::CreateDialogFont(screen, 9);
    EXPECT_EQ(f.face, L"MS Shell Dlg 2");
    EXPECT_EQ(f.height, MulDiv(9, 120, 72));
    EXPECT_EQ(f.pitchAndFamily, 34);
    EXPECT_EQ(f.outPrecision, 0);
    EXPECT_EQ(KEL::CreateDialogFont(screen, 9, 900).outPrecision, 7);
    EXPECT_EQ(KEL::CreateDialogFont(screen, 0).height, MulDiv(10, 120, 72));
    GetApplication().language = 0x0411; // Japanese
    EXPECT_EQ(KEL::CreateDialogFont(screen, 0).height, MulDiv(12, 120, 72));
    GetApplication().language = 0;
    // The window and viewport extents scale the logical height.
    screen.SetMapMode(MM_ANISOTROPIC);
    screen.SetWindowExt({ 2, 2 });
    screen.SetViewportExt({ 1, 1 });
    EXPECT_EQ(KEL::PointsToLogicalY(screen, 9), 2 * MulDiv(9, 120, 72));
    DC printer(nullptr, DeviceCaps { DT_RASPRINTER, 24, 600, 600, {} });
    EXPECT_EQ(KEL::CreateScaledGUIFont(printer).outPrecision, 7);
}

TEST(Frames, DrawFrameRectPaintsOnlyTheEdgesAndRestoresTheBackground)
{
    BitmapPtr b = Bitmap::Create(10, 10);
    DC dc(b);
    dc.FillSolidRect({ 0, 0, 10, 10 }, Colour::Rgb(255, 255, 255));
    dc.SetBkColor(Colour::Rgb(1, 1, 1));
    dc.StartRecording();
    KEL::DrawFrameRect(dc, { 2, 2, 8, 8 }, 0x0000FF);
    dc.Flush();
    EXPECT_EQ(b->Pixel(2, 5), Colour::Rgb(255, 0, 0));
    EXPECT_EQ(b->Pixel(7, 7), Colour::Rgb(255, 0, 0));
    EXPECT_EQ(b->Pixel(5, 5), Colour::Rgb(255, 255, 255));
    EXPECT_EQ(b->Pixel(8, 8), Colour::Rgb(255, 255, 255));
    EXPECT_EQ(dc.GetBkColor(), Colour::Rgb(1, 1, 1));
    const auto commands = dc.DescribeCommands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[1], "TextOut 2,2 \"\" opt2 2,2,8,3");
}

TEST(Dialogs, DialogBaseTakesTheLanguageOfTheApplicationOrTheHost)
{
    static const int anchor = 0;
    const HMODULE module = vx::res::ModuleOf(&anchor);
    DialogTemplate english;
    english.caption = L"Settings";
    english.units = { 0, 0, 100, 50 };
    english.items = { { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | 1, { 10, 30, 50, 44 } } };
    DialogTemplate german = english;
    german.caption = L"Einstellungen";
    AddDialogTemplate(module, 300, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), english);
    AddDialogTemplate(module, 300, MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT), german);

    vx::res::SetUserInterfaceLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT));
    KEL::DialogBase noParent(nullptr, 300, module);
    ASSERT_TRUE(noParent.HasTemplate());
    EXPECT_EQ(noParent.Template()->caption, L"Einstellungen");

    RegisterClass({ L"DialogOwner", 0, DefWindowProc });
    HWND owner = CreateWindowEx(0, L"DialogOwner", L"", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
    GetApplication().language = MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
    KEL::DialogBase withParent(owner, 300, module);
    EXPECT_EQ(withParent.Template()->caption, L"Settings");
    GetApplication().language = 0;
    vx::res::SetUserInterfaceLanguage(0);

    // The base ends the dialog on Enter (the default button).
    SetDialogScript([](HWND) { InjectKey(WM_KEYDOWN, VK_RETURN); });
    EXPECT_EQ(withParent.Execute(), IDOK);
    SetDialogScript({});
    EXPECT_EQ(KEL::DialogBase(owner, 301, module).Execute(), -1);
    DestroyWindow(owner);
}

TEST(Themes, KnownClassesOpenAndPaintUnknownOnesDoNot)
{
    using KELLinkingUtils::UxThemeDLL;
    EXPECT_EQ(UxThemeDLL::OpenThemeData(nullptr, L"NOSUCH"), nullptr);
    auto theme = UxThemeDLL::OpenThemeData(nullptr, L"Nosuch;Toolbar");
    ASSERT_NE(theme, nullptr);
    BitmapPtr b = Bitmap::Create(20, 20);
    DC dc(b);
    EXPECT_EQ(UxThemeDLL::DrawThemeBackground(theme, dc, 1, 3, { 0, 0, 20, 20 }), S_OK);
    dc.Flush();
    EXPECT_EQ(b->Alpha(0, 0), 255); // the pressed edge was drawn
    EXPECT_EQ(UxThemeDLL::CloseThemeData(theme), S_OK);
    EXPECT_EQ(UxThemeDLL::DrawThemeBackground(nullptr, dc, 1, 1, { 0, 0, 1, 1 }), E_HANDLE);
}

// The balloon's theme calls: the balloon part's rounded region, and body titles drawn and
// measured bold in the context's font, body text as it is.
TEST(Themes, TheBalloonsRegionAndTextStyles)
{
    using KELLinkingUtils::UxThemeDLL;
    auto tooltip = UxThemeDLL::OpenThemeData(nullptr, L"TOOLTIP");
    auto text = UxThemeDLL::OpenThemeData(nullptr, L"TEXTSTYLE");
    ASSERT_TRUE(tooltip && text);
    auto dc = DC::CreateRecording({ 200, 100 });
    Region region;
    ASSERT_EQ(
        UxThemeDLL::GetThemeBackgroundRegion(tooltip, *dc, UxThemeDLL::TTP_BALLOON, 1, { 0, 0, 100, 50 }, &region),
        S_OK);
    EXPECT_TRUE(region.Contains({ 50, 25 }));
    EXPECT_FALSE(region.Contains({ 0, 0 })); // a rounded corner
    ASSERT_EQ(
        UxThemeDLL::GetThemeBackgroundRegion(tooltip, *dc, UxThemeDLL::TTP_CLOSE, 1, { 0, 0, 10, 10 }, &region), S_OK);
    EXPECT_TRUE(region.Contains({ 0, 0 }));

    Font font;
    font.height = -12;
    dc->SelectFont(font);
    Rect title, body;
    ASSERT_EQ(UxThemeDLL::GetThemeTextExtent(
                  text, *dc, UxThemeDLL::TEXT_BODYTITLE, 0, L"Invalid Value", DT_SINGLELINE, nullptr, &title),
        S_OK);
    ASSERT_EQ(UxThemeDLL::GetThemeTextExtent(
                  text, *dc, UxThemeDLL::TEXT_BODYTEXT, 0, L"Invalid Value", DT_SINGLELINE, nullptr, &body),
        S_OK);
    EXPECT_GT(title.Width(), body.Width()); // bold is wider
    EXPECT_EQ(dc->GetFont(), font); // the context keeps its font

    dc->StartRecording();
    ASSERT_EQ(
        UxThemeDLL::DrawThemeText(text, *dc, UxThemeDLL::TEXT_BODYTITLE, 0, L"Title", DT_SINGLELINE, { 0, 0, 100, 20 }),
        S_OK);
    bool boldTitle = false;
    for (const DrawCommand& c : dc->Commands())
        boldTitle = boldTitle || (c.op == DrawCommand::Op::SelectFont && c.font.weight == FW_BOLD);
    EXPECT_TRUE(boldTitle);
    EXPECT_EQ(UxThemeDLL::DrawThemeText(nullptr, *dc, 1, 0, L"x", 0, { 0, 0, 1, 1 }), E_HANDLE);
}

} // namespace
