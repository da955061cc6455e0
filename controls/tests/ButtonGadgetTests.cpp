// The picture button and the gadget strip, driven headless: mouse input injected as messages, a
// manual clock for the tooltip and the flash, results read as states, drawing commands and pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls/BmpTxtButton.h"
#include "controls/GadgetWindow.h"
#include "ui/Clock.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Resources.h"
#include "ui/Window.h"

using namespace vx::ui;
using namespace KELControls;

namespace {

constexpr int kButtonId = 200, kPlainId = 201;
constexpr WORD kPngOnly = 501, kSvg = 502;

HMODULE Module()
{
    static const int anchor = 0;
    return vx::res::ModuleOf(&anchor);
}

BitmapPtr SolidGlyph(Colour c, int side = 16)
{
    BitmapPtr b = Bitmap::Create(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            b->SetArgb(x, y, 0xFF000000u | (std::uint32_t(c.Red()) << 16) | (std::uint32_t(c.Green()) << 8) | c.Blue());
    b->MarkDirty();
    return b;
}

Point Centre(const Rect& r)
{
    return { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
}

class ButtonsAndGadgets : public testing::Test {
protected:
    void SetUp() override
    {
        mPreviousClock = SetClock(&mClock);
        UseDpi(96);
    }
    void TearDown() override
    {
        mStrip.reset();
        if (mDialog && IsWindow(mDialog))
            DestroyWindow(mDialog);
        RunUntilIdle();
        SetMonitors({});
        SetClock(mPreviousClock);
    }
    static void UseDpi(int dpi) { SetMonitors({ { { 0, 0, 1600, 1000 }, { 0, 0, 1600, 960 }, dpi, true } }); }

    HWND MakeDialog()
    {
        DialogTemplate t;
        t.caption = L"Buttons";
        t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
        t.units = { 10, 10, 200, 100 };
        t.items = {
            { kButtonClass, L"Detect", kButtonId, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 10, 50, 80, 70 } },
            { kButtonClass, L"Plain", kPlainId, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 100, 50, 170, 70 } },
        };
        mDialog = CreateDialogIndirectParam(
            t, nullptr,
            [this](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                if (message == WM_COMMAND)
                    mCommands.push_back(int(LOWORD(wParam)));
                return message == WM_INITDIALOG;
            },
            0);
        return mDialog;
    }

    // A point of a child window in the dialog's client coordinates.
    Point InDialog(HWND child, Point p) const
    {
        ClientToScreen(child, &p);
        ScreenToClient(mDialog, &p);
        return p;
    }
    void Mouse(HWND child, UINT message, Point p)
    {
        InjectMouse(mDialog, message, InDialog(child, p));
        RunUntilIdle();
    }
    // Moves the clock in steps of at most 100 ms, so that every timer period is seen.
    void Advance(std::uint64_t ms)
    {
        for (std::uint64_t done = 0; done < ms; done += 100) {
            mClock.Advance(std::min<std::uint64_t>(100, ms - done));
            RunUntilIdle();
        }
    }

    ManualClock mClock;
    Clock* mPreviousClock = nullptr;
    HWND mDialog = nullptr;
    std::vector<int> mCommands;
    std::unique_ptr<UxGadgetWindow> mStrip;
};

// ---- Grey glyphs and the flash --------------------------------------------------------------

TEST_F(ButtonsAndGadgets, TheGreyMatrixSaturatesAtWhiteAndDropsTheKeyColour)
{
    struct Case {
        std::uint32_t in, out;
    };
    // Black gets the 0.4 offset; white would exceed 1.0 in every channel and is held at 255; the
    // key colour turns transparent; alpha is kept (premultiplied values).
    const Case cases[] = {
        { 0xFF000000, 0xFF666666 },
        { 0xFFFFFFFF, 0xFFFFFFFF },
        { 0xFF0000FF, 0xFF9F9FA5 },
        { 0xFFC0C0C0, 0x00000000 },
        { 0x80000000, 0x80333333 },
    };
    for (const Case& c : cases) {
        BitmapPtr one = Bitmap::Create(1, 1);
        one->SetArgb(0, 0, c.in);
        one->MarkDirty();
        EXPECT_EQ(GreyGlyph(one)->Argb(0, 0), c.out) << std::hex << c.in;
    }
}

TEST_F(ButtonsAndGadgets, TheFlashAlphaFollowsTheClockWithinAByte)
{
    struct Case {
        std::uint64_t ms;
        int alpha;
    };
    // Period 1666.7 ms; 417 ms is just past the crest, where the unclamped formula nears 256.
    const Case cases[] = { { 0, 128 }, { 417, 255 }, { 1250, 0 }, { 60417, 255 }, { 120000, 128 } };
    for (const Case& c : cases)
        EXPECT_EQ(FlashAlpha(c.ms), c.alpha) << c.ms;
    for (std::uint64_t ms = 0; ms < 2000; ++ms) {
        const int a = FlashAlpha(ms);
        ASSERT_TRUE(a >= 0 && a <= 255) << ms;
    }
}

// ---- The picture button ------------------------------------------------------------------------

TEST_F(ButtonsAndGadgets, TheTooltipShowsAfterARestAndAClickSuppressesItUntilTheMouseLeaves)
{
    ASSERT_TRUE(MakeDialog());
    TBmpTxtButton button(mDialog, kButtonId, L"Run the detector");
    TBmpTxtButton silent(mDialog, kPlainId, L"");
    HWND hwnd = button.GetHandle();

    Mouse(hwnd, WM_MOUSEMOVE, { 10, 10 });
    EXPECT_TRUE(button.IsHot());
    EXPECT_FALSE(button.TooltipWindow());
    Advance(500);
    HWND tip = button.TooltipWindow();
    ASSERT_TRUE(tip);
    auto* popup = dynamic_cast<KEL::Popup*>(SubclassedWindow::FromHandle(tip));
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->Text(), L"Run the detector");
    Rect tipRect;
    GetWindowRect(tip, &tipRect);
    const Point cursor = GetCursorPos();
    // The popup goes at the cursor moved by (-3, 19), and moves itself a further (2, 2).
    EXPECT_EQ(tipRect.left, cursor.x - 3 + 2);
    EXPECT_EQ(tipRect.top, cursor.y + 19 + 2);

    // The click closes it and keeps it away while the mouse stays.
    Mouse(hwnd, WM_LBUTTONDOWN, { 10, 10 });
    EXPECT_FALSE(button.TooltipWindow());
    Mouse(hwnd, WM_LBUTTONUP, { 10, 10 });
    EXPECT_EQ(mCommands, std::vector<int>({ kButtonId }));
    EXPECT_TRUE(button.TooltipSuppressed());
    Mouse(hwnd, WM_MOUSEMOVE, { 12, 10 });
    Advance(2000);
    EXPECT_FALSE(button.TooltipWindow());

    // Leaving clears the suppression and the hot look; coming back shows the tip again.
    Mouse(silent.GetHandle(), WM_MOUSEMOVE, { 5, 5 });
    EXPECT_FALSE(button.TooltipSuppressed());
    EXPECT_FALSE(button.IsHot());
    EXPECT_EQ(button.State() & TBmpTxtButton::kHighlighted, 0u);
    // The silent button never started a timer.
    Advance(1000);
    EXPECT_FALSE(silent.TooltipWindow());
    Mouse(hwnd, WM_MOUSEMOVE, { 10, 10 });
    Advance(500);
    EXPECT_TRUE(button.TooltipWindow());
    // The popup lives for the lifetime, then goes.
    Advance(5000);
    EXPECT_FALSE(button.TooltipWindow());
}

TEST_F(ButtonsAndGadgets, AToggleStaysDownWhileOnAndAReleaseOutsideSendsNoClick)
{
    ASSERT_TRUE(MakeDialog());
    TBmpTxtButton button(mDialog, kButtonId, L"");
    button.SetToggleMode(true);
    HWND hwnd = button.GetHandle();
    Mouse(hwnd, WM_LBUTTONDOWN, { 10, 10 });
    Mouse(hwnd, WM_LBUTTONUP, { 10, 10 });
    EXPECT_TRUE(button.IsToggledOn());
    EXPECT_TRUE(button.State() & TBmpTxtButton::kPressed);
    Mouse(hwnd, WM_LBUTTONDOWN, { 10, 10 });
    Mouse(hwnd, WM_LBUTTONUP, { 10, 10 });
    EXPECT_FALSE(button.IsToggledOn());
    EXPECT_FALSE(button.State() & TBmpTxtButton::kPressed);
    EXPECT_EQ(mCommands.size(), 2u);

    TBmpTxtButton plain(mDialog, kPlainId, L"");
    Mouse(plain.GetHandle(), WM_LBUTTONDOWN, { 10, 10 });
    EXPECT_TRUE(plain.State() & TBmpTxtButton::kPressed);
    Mouse(plain.GetHandle(), WM_LBUTTONUP, { -30, 10 });
    EXPECT_FALSE(plain.State() & TBmpTxtButton::kPressed);
    EXPECT_EQ(mCommands.size(), 2u);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ButtonsAndGadgets, ADisabledButtonDrawsAGreyGlyphAndAnEmbossedCaption)
{
    ASSERT_TRUE(MakeDialog());
    TBmpTxtButton button(mDialog, kButtonId, L"");
    button.SetGlyph(SolidGlyph(Colour::Rgb(255, 0, 0)));
    auto paint = [&] {
        Rect client;
        GetClientRect(button.GetHandle(), &client);
        BitmapPtr target = Bitmap::Create(client.Width(), client.Height());
        auto dc = std::make_unique<DC>(target);
        dc->StartRecording();
        button.Paint(*dc);
        dc->Flush();
        return std::make_pair(target, dc->Commands());
    };
    auto captionColours = [](const std::vector<DrawCommand>& commands) {
        std::vector<Colour> colours;
        Colour current {};
        for (const DrawCommand& c : commands) {
            if (c.op == DrawCommand::Op::SetTextColour)
                current = c.colour;
            if (c.op == DrawCommand::Op::DrawText && c.text == L"Detect" && !(c.value & DT_CALCRECT))
                colours.push_back(current);
        }
        return colours;
    };
    // The glyph's middle pixel: red when enabled, grey when disabled.
    auto glyphCentre = [&](const BitmapPtr& image, const std::vector<DrawCommand>& commands) {
        for (const DrawCommand& c : commands)
            if (c.op == DrawCommand::Op::AlphaBlit)
                return image->Pixel(c.rect.left + 8, c.rect.top + 8);
        return Colour {};
    };

    auto [enabled, enabledCommands] = paint();
    EXPECT_EQ(glyphCentre(enabled, enabledCommands), Colour::Rgb(255, 0, 0));
    EXPECT_EQ(captionColours(enabledCommands), std::vector<Colour>({ GetSysColor(COLOR_BTNTEXT) }));

    EnableWindow(button.GetHandle(), false);
    EXPECT_TRUE(button.State() & TBmpTxtButton::kDisabled);
    auto [disabled, disabledCommands] = paint();
    const Colour grey = glyphCentre(disabled, disabledCommands);
    EXPECT_EQ(grey.Red(), grey.Green());
    EXPECT_NEAR(grey.Red(), 159, 1);
    EXPECT_EQ(captionColours(disabledCommands),
        std::vector<Colour>({ GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW) }));
}

// ---- Gadgets ----------------------------------------------------------------------------------

TEST_F(ButtonsAndGadgets, GlyphsAreMadeAtTheMonitorsDpiAndRemadeWhenItChanges)
{
    struct Case {
        int side96, dpi, pixels;
    };
    const Case cases[] = { { 16, 96, 16 }, { 16, 144, 24 }, { 20, 96, 20 }, { 20, 144, 30 } };
    for (const Case& c : cases) {
        UseDpi(c.dpi);
        ASSERT_TRUE(MakeDialog());
        mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 0, 0 });
        mStrip->SetModule(Module());
        auto* gadget = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(1, kSvg, Size { c.side96, c.side96 }));
        ASSERT_TRUE(gadget->Glyph());
        EXPECT_EQ(gadget->Glyph()->GetSize(), (Size { c.pixels, c.pixels })) << c.side96 << " " << c.dpi;
        EXPECT_EQ(gadget->Bounds().GetSize(), (Size { c.pixels + 6, c.pixels + 6 }));
        mStrip.reset();
        DestroyWindow(mDialog);
    }
    // The window moves to a 144-DPI monitor: the next paint remakes the 16-pixel glyph at 24.
    UseDpi(96);
    ASSERT_TRUE(MakeDialog());
    mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 0, 0 });
    mStrip->SetModule(Module());
    auto* gadget = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(1, kSvg, Size { 16, 16 }));
    const BitmapPtr before = gadget->Glyph();
    UseDpi(144);
    gadget->UpdateImages();
    EXPECT_NE(gadget->Glyph(), before);
    EXPECT_EQ(gadget->Glyph()->GetSize(), (Size { 24, 24 }));
}

TEST_F(ButtonsAndGadgets, APngOfTheWrongSizeIsScaledAndAMissingImageGivesNone)
{
    UseDpi(144);
    BitmapPtr png = UxSizableButtonGadget::CreateImage(Module(), kPngOnly, { 16, 16 }, 1.5, 1.5);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->GetSize(), (Size { 24, 24 }));
    // The PNG is white with one green pixel at its top left, which now covers about 5 by 8.
    EXPECT_GT(png->Pixel(1, 1).Green(), 200);
    EXPECT_LT(png->Pixel(1, 1).Red(), 100);
    EXPECT_EQ(png->Pixel(20, 20), Colour::Rgb(255, 255, 255));
    EXPECT_EQ(png->Alpha(20, 20), 255);
    EXPECT_FALSE(UxSizableButtonGadget::CreateImage(Module(), 999, { 16, 16 }, 1.0, 1.0));
}

TEST_F(ButtonsAndGadgets, AClickedGadgetSendsItsCommandAndHoverPressAndFlashShowOnItsFace)
{
    ASSERT_TRUE(MakeDialog());
    mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 0, 0 });
    mStrip->SetModule(Module());
    auto* first = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(41, kSvg, Size { 16, 16 }));
    auto* second = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(42, kPngOnly, Size { 16, 16 }));
    HWND strip = mStrip->GetHandle();
    EXPECT_EQ(second->Bounds().left, first->Bounds().right);

    // A face pixel between the glyph and the edge of the first gadget.
    auto facePixel = [&] {
        BitmapPtr image = CaptureWindow(mDialog);
        Point p { first->Bounds().left + 2, first->Bounds().top + 2 };
        ClientToScreen(strip, &p);
        Rect dialog;
        GetWindowRect(mDialog, &dialog);
        return image->Pixel(p.x - dialog.left, p.y - dialog.top);
    };
    const Colour idle = facePixel();

    const Point centre = Centre(first->Bounds());
    Mouse(strip, WM_MOUSEMOVE, centre);
    EXPECT_TRUE(first->PaintFlags() & UxSizableButtonGadget::kPaintHot);
    Mouse(strip, WM_MOUSEMOVE, Centre(second->Bounds()));
    EXPECT_FALSE(first->PaintFlags() & UxSizableButtonGadget::kPaintHot);
    EXPECT_TRUE(second->PaintFlags() & UxSizableButtonGadget::kPaintHot);

    Mouse(strip, WM_LBUTTONDOWN, centre);
    EXPECT_EQ(first->PaintFlags(), unsigned(UxSizableButtonGadget::kPaintPressed));
    EXPECT_NE(facePixel(), idle);
    Mouse(strip, WM_LBUTTONUP, centre);
    EXPECT_EQ(mCommands, std::vector<int>({ 41 }));
    // Released outside: no command; a disabled gadget takes no press.
    Mouse(strip, WM_LBUTTONDOWN, centre);
    Mouse(strip, WM_LBUTTONUP, { centre.x, centre.y + 100 });
    second->SetEnabled(false);
    Mouse(strip, WM_LBUTTONDOWN, Centre(second->Bounds()));
    Mouse(strip, WM_LBUTTONUP, Centre(second->Bounds()));
    EXPECT_EQ(mCommands, std::vector<int>({ 41 }));
    Mouse(mDialog, WM_MOUSEMOVE, { 300, 150 });

    // Flashing: the face follows the clock, one tick per timer period.
    first->SetFlash(1);
    ASSERT_TRUE(first->Start(0.1));
    mClock.Advance(1250 - mClock.NowMs() % 60000 % 1667 + 1667); // a trough: alpha 0
    RunUntilIdle();
    const Colour trough = facePixel();
    Advance(833); // the crest
    const Colour crest = facePixel();
    EXPECT_EQ(trough, idle);
    EXPECT_NEAR(crest.Red(), 0xC8, 2);
    EXPECT_NEAR(crest.Green(), 0xF0, 2);
    EXPECT_NEAR(crest.Blue(), 0xFF, 2);
    first->Stop();
}

TEST_F(ButtonsAndGadgets, TheEnablerDisablesChecksAndRenamesOnlyATextGadget)
{
    ASSERT_TRUE(MakeDialog());
    mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 0, 0 });
    mStrip->SetModule(Module());
    auto* glyphOnly = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(1, kSvg, Size { 16, 16 }));
    auto* named = mStrip->Insert(std::make_unique<UxSizableButtonGadget>(2, kSvg, Size { 16, 16 }, 1, L"Auto"));
    UxSizableButtonGadgetEnabler(*glyphOnly).SetText(L"X");
    EXPECT_EQ(glyphOnly->Text(), L"");
    UxSizableButtonGadgetEnabler enabler(*named);
    enabler.SetText(L"Manual");
    EXPECT_EQ(named->Text(), L"Manual");
    enabler.Enable(false);
    Mouse(mStrip->GetHandle(), WM_LBUTTONDOWN, Centre(named->Bounds()));
    Mouse(mStrip->GetHandle(), WM_LBUTTONUP, Centre(named->Bounds()));
    EXPECT_TRUE(mCommands.empty());
    enabler.Enable(true);
    enabler.SetCheck(true);
    Mouse(mStrip->GetHandle(), WM_LBUTTONDOWN, Centre(named->Bounds()));
    Mouse(mStrip->GetHandle(), WM_LBUTTONUP, Centre(named->Bounds()));
    EXPECT_EQ(mCommands, std::vector<int>({ 2 }));
}

TEST_F(ButtonsAndGadgets, AMenuGadgetDropsItsMenuBesideItselfAndTheClosingClickDoesNotReopenIt)
{
    ASSERT_TRUE(MakeDialog());
    mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 0, 0 });
    mStrip->SetModule(Module());
    HMENU menu = CreatePopupMenu();
    AppendMenu(menu, MF_STRING, 71, L"Compress");
    AppendMenu(menu, MF_STRING, 72, L"Expand");
    auto* gadget = static_cast<UxButtonMenuGadget*>(
        mStrip->Insert(std::make_unique<UxButtonMenuGadget>(70, menu, mDialog, kSvg, Size { 16, 16 }, L"")));
    EXPECT_EQ(gadget->Caption(), L"Compress");
    EXPECT_STREQ(gadget->ClassName(), L"UxButtonMenuGadget");
    HWND strip = mStrip->GetHandle();
    Rect screen = gadget->Bounds();
    Point origin { 0, 0 };
    ClientToScreen(strip, &origin);
    screen = screen.Offset(origin.x, origin.y);

    std::vector<PopupRequest> requests;
    UINT choice = 72;
    bool clickWhileOpen = false;
    PopupHandler previous = SetPopupHandler([&](const PopupRequest& r) -> UINT {
        requests.push_back(r);
        if (clickWhileOpen) { // the user clicks the gadget again to close the menu
            clickWhileOpen = false;
            InjectMouse(mDialog, WM_LBUTTONDOWN, InDialog(strip, Centre(gadget->Bounds())));
        }
        return choice;
    });
    Mouse(strip, WM_LBUTTONDOWN, Centre(gadget->Bounds()));
    Mouse(strip, WM_LBUTTONUP, Centre(gadget->Bounds()));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].at, (Point { screen.left, screen.top }));
    EXPECT_EQ(requests[0].flags, TPM_VERTICAL);
    ASSERT_TRUE(requests[0].exclude);
    EXPECT_EQ(*requests[0].exclude, screen);
    EXPECT_EQ(mCommands, std::vector<int>({ 72 }));
    EXPECT_EQ(gadget->PaintFlags() & UxSizableButtonGadget::kPaintPressed, 0u);

    // The right button opens it at the bottom-left corner.
    Mouse(strip, WM_RBUTTONDOWN, Centre(gadget->Bounds()));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].at, (Point { screen.left, screen.bottom }));
    EXPECT_EQ(requests[1].flags, 0u);

    choice = 0;
    clickWhileOpen = true;
    Mouse(strip, WM_LBUTTONDOWN, Centre(gadget->Bounds()));
    Mouse(strip, WM_LBUTTONUP, Centre(gadget->Bounds()));
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(gadget->LastCommand(), 0u);
    SetPopupHandler(previous);
}

// Renders a strip with gadgets and picture buttons to a PNG for a look by eye.
TEST_F(ButtonsAndGadgets, ScreenshotOfAStripAndButtons)
{
    UseDpi(144);
    ASSERT_TRUE(MakeDialog());
    TBmpTxtButton button(mDialog, kButtonId, L"tip");
    button.SetGlyph(SolidGlyph(Colour::Rgb(200, 30, 30)));
    TBmpTxtButton off(mDialog, kPlainId, L"");
    off.SetGlyph(SolidGlyph(Colour::Rgb(30, 30, 200)));
    EnableWindow(off.GetHandle(), false);
    mStrip = std::make_unique<UxGadgetWindow>(mDialog, Point { 4, 4 });
    mStrip->SetModule(Module());
    mStrip->Insert(std::make_unique<UxSizableButtonGadget>(1, kSvg, Size { 16, 16 }));
    mStrip->Insert(std::make_unique<UxSizableButtonGadget>(2, kPngOnly, Size { 16, 16 }))->SetPressedLook(true);
    mStrip->Insert(std::make_unique<UxSizableButtonGadget>(3, kSvg, Size { 16, 16 }))->SetEnabled(false);
    mStrip->Insert(std::make_unique<UxSizableButtonGadget>(4, kSvg, Size { 20, 20 }, 1, L"Zoom"))->SetFlash(1);
    Mouse(button.GetHandle(), WM_MOUSEMOVE, { 10, 10 });
    BitmapPtr image = CaptureWindow(mDialog);
    ASSERT_TRUE(image);
    if (const char* dir = std::getenv("VX_SCREENSHOT_DIR")) {
        EXPECT_TRUE(image->SavePng(std::string(dir) + "/controls_buttons_gadgets.png"));
    }
}

} // namespace
