// Drawing event comments: the commands a comment draws with at 96 and 144 dots per inch, the
// pixels of its disc, line and label, the label fonts per resolution, and the flash of a marker,
// which inverts what it covers and leaves nothing behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostframework/comments/CommentDrawing.h"
#include "hostframework/comments/Comments.h"
#include "ui/Desktop.h"
#include "ui/Paint.h"
#include "ui/Window.h"

using namespace vx::ui;
using vx::hf::EventDataComment;

namespace {

constexpr DWORD kRed = 0x0000FF;

// A comment with a fill colour (through its draw class) and a text.
class Paint final : public SimpleUnknownImp1<IEventDraw, 0> {
public:
    HRESULT GetMarkColour(const void*, ULONG, DWORD* colour) override { return *colour = kRed, S_OK; }
    HRESULT GetHintText(const void*, ULONG, BSTR* text) override
    {
        *text = SysAllocString(L"Beat 12");
        return S_OK;
    }
};

struct Comment {
    EventDataComment* c;
    explicit Comment(DWORD displayFlags)
    {
        auto* paint = new Paint;
        paint->AddRef();
        const unsigned char record[8] = {};
        c = new EventDataComment(0, 300, 0, record, sizeof record, 5, paint);
        c->AddRef();
        c->SetDisplayFlags(displayFlags);
        paint->Release();
    }
    ~Comment() { c->Release(); }
};

DeviceCaps Screen(int dpi)
{
    return { DT_RASDISPLAY, 32, dpi, dpi, {} };
}

std::vector<std::string> Recorded(int dpi, DWORD displayFlags, DWORD flags)
{
    Comment comment(displayFlags);
    auto dc = DC::CreateRecording({ 200, 200 }, Screen(dpi));
    CommentDrawInfo info;
    info.point = { 100, 20 };
    info.bottom = 150;
    info.alternativeBottom = 120;
    info.flags = flags;
    EXPECT_EQ(comment.c->Draw(dc.get(), nullptr, &info), S_OK);
    return dc->DescribeCommands();
}

} // namespace

TEST(CommentDrawing, CommandsOfTheLabelLineAndDisc)
{
    const vx::hf::CommentFonts& f96 = vx::hf::GetCommentFonts(*DC::CreateRecording({ 1, 1 }, Screen(96)), 96);
    const vx::hf::CommentFonts& f144 = vx::hf::GetCommentFonts(*DC::CreateRecording({ 1, 1 }, Screen(144)), 144);
    const std::string disc96 = "Ellipse 97,20,104,27";
    const std::string disc192 = "Ellipse 94,20,107,33";
    auto font = [](const Font& f) { return "Font MS Shell Dlg 2 " + std::to_string(f.height) + " w400 esc900"; };
    auto text = [](const vx::hf::CommentFonts& f, int bottom) {
        return "TextOut " + std::to_string(100 - f.rotatedHeight - 2) + "," + std::to_string(bottom - 1)
            + " \"Beat 12\"";
    };
    struct Case {
        const char* name;
        int dpi;
        DWORD display, flags;
        std::vector<std::string> wanted; // in this order
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        { "disc only", 96, 0, 0, { "Pen #000000 w0", "Brush #ff0000", disc96 }, { "LineTo 100,150", "TextOut" } },
        { "selected", 96, 0, CommentDrawInfo::kSelected, { "Brush #000000", disc96 }, {} },
        { "line to the bottom", 96, 0, CommentDrawInfo::kLine, { "MoveTo 100,20", "LineTo 100,150", disc96 },
            { "TextOut" } },
        { "line, alternative bottom", 96, 0, CommentDrawInfo::kLineToo | CommentDrawInfo::kUseAlternativeBottom,
            { "MoveTo 100,20", "LineTo 100,120", disc96 }, {} },
        { "no label without display flags", 96, 0, CommentDrawInfo::kLabel, { disc96 }, { "TextOut" } },
        { "label at 96 dpi", 96, 1, CommentDrawInfo::kLabel | CommentDrawInfo::kLine,
            { "Save", font(f96.rotated), "TextColour #000000", text(f96, 150), "Restore 1", "LineTo 100,150", disc96 },
            {} },
        { "label at 144 dpi", 144, 1, CommentDrawInfo::kLabel,
            { "Save", font(f144.rotated), text(f144, 150), "Restore 1", disc96 }, {} },
        { "disc at 192 dpi", 192, 0, 0, { disc192 }, {} },
    };
    for (const Case& c : cases) {
        const std::vector<std::string> got = Recorded(c.dpi, c.display, c.flags);
        std::size_t at = 0;
        for (const std::string& w : c.wanted) {
            while (at < got.size() && got[at].rfind(w, 0) != 0)
                ++at;
            EXPECT_LT(at, got.size()) << c.name << ": " << w << " missing or out of order in "
                                      << ::testing::PrintToString(got);
        }
        for (const std::string& a : c.absent)
            for (const std::string& g : got)
                EXPECT_NE(g.rfind(a, 0), 0u) << c.name << ": " << g;
    }
    EXPECT_GT(f144.rotated.height * f144.rotated.height, f96.rotated.height * f96.rotated.height);
}

TEST(CommentDrawing, PenOfTheLineOnTheWindowAndElsewhere)
{
    Comment comment(0);
    CommentDrawInfo info;
    info.point = { 10, 5 };
    info.bottom = 60;
    info.flags = CommentDrawInfo::kLine;
    struct Case {
        int dpi;
        bool onTarget;
        std::string pen;
    };
    for (const Case& c :
        { Case { 96, true, "Pen #c0c0c0 w1 alternate" }, Case { 96, false, "Pen #c0c0c0 w1 dot geometric" },
            Case { 192, false, "Pen #c0c0c0 w2 dot geometric" } }) {
        auto dc = DC::CreateRecording({ 100, 100 }, Screen(c.dpi));
        comment.c->Draw(dc.get(), c.onTarget ? dc.get() : nullptr, &info);
        const std::vector<std::string> got = dc->DescribeCommands();
        bool found = false;
        for (const std::string& g : got)
            found = found || g.rfind(c.pen, 0) == 0;
        EXPECT_TRUE(found) << c.pen << " at " << c.dpi << " in " << ::testing::PrintToString(got);
    }
}

TEST(CommentDrawing, PixelsOfTheDiscLineAndLabel)
{
    for (int dpi : { 96, 144 }) {
        Comment comment(1);
        BitmapPtr image = Bitmap::Create(200, 200);
        DC dc(image, Screen(dpi));
        dc.FillSolidRect({ 0, 0, 200, 200 }, { 0xFFFFFF });
        CommentDrawInfo info;
        info.point = { 120, 20 };
        info.bottom = 190;
        info.flags = CommentDrawInfo::kLabel | CommentDrawInfo::kLine;
        comment.c->Draw(&dc, &dc, &info);
        dc.Flush();
        const vx::hf::CommentFonts& fonts = vx::hf::GetCommentFonts(dc, dpi);
        EXPECT_EQ(image->Pixel(120, 23), Colour { kRed }) << dpi << ": the middle of the disc";
        EXPECT_EQ(image->Pixel(120, 20), Colour { 0 }) << dpi << ": its black outline";
        // Every other pixel of the line, from the disc to the bottom.
        int silver = 0;
        for (int y = 40; y < 60; ++y)
            silver += image->Pixel(120, y) == Colour { 0xC0C0C0 } ? 1 : 0;
        EXPECT_EQ(silver, 10) << dpi;
        // The label reads upwards left of the line, within the rotated font's height.
        int inked = 0, outside = 0;
        for (int x = 0; x < 200; ++x)
            for (int y = 30; y < 190; ++y) {
                const bool dark = image->Pixel(x, y).Red() < 100;
                const bool inBand = x >= 120 - fonts.rotatedHeight - 2 && x < 120 - 2;
                inked += dark && inBand;
                outside += dark && !inBand && x != 120;
            }
        EXPECT_GT(inked, 20) << dpi;
        EXPECT_EQ(outside, 0) << dpi;
    }
}

TEST(CommentDrawing, FontsPerResolutionAndLanguage)
{
    auto dc = DC::CreateRecording({ 1, 1 }, Screen(96));
    const vx::hf::CommentFonts& a = vx::hf::GetCommentFonts(*dc, 96);
    EXPECT_EQ(&a, &vx::hf::GetCommentFonts(*dc, 96)) << "made once";
    EXPECT_EQ(a.rotated.escapement, 900);
    EXPECT_EQ(a.upright.escapement, 0);
    EXPECT_GT(a.rotatedHeight, 0);
    EXPECT_EQ(a.rotatedHeight, a.uprightHeight);
    const vx::hf::CommentFonts& b = vx::hf::GetCommentFonts(*dc, 144);
    EXPECT_GT(b.uprightHeight, a.uprightHeight);
    // Japanese: 12 points instead of 10.
    const WORD language = GetApplication().language;
    GetApplication().language = 0x0411;
    const vx::hf::CommentFonts& j = vx::hf::GetCommentFonts(*dc, 96);
    GetApplication().language = language;
    EXPECT_NE(&j, &a);
    EXPECT_GT(j.uprightHeight, a.uprightHeight);
}

namespace {

LRESULT PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PaintDC dc(hwnd);
        Rect r;
        GetClientRect(hwnd, &r);
        dc.FillSolidRect(r, { 0xFFFFFF });
        return 0;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// A frame with a sizing border holding a child that shows the trace.
struct Frame {
    HWND frame = nullptr, child = nullptr;
    std::vector<int> waits;
    std::vector<Colour> probes; // what the frame showed at the probe point after each frame drawn
    Point probe {};

    Frame()
    {
        static bool registered = RegisterClass({ L"CommentTestFrame", 0, PlainProc });
        (void)registered;
        frame = CreateWindowEx(
            0, L"CommentTestFrame", L"f", WS_POPUP | vx::hf::kSizingBorderStyle, 10, 10, 300, 200, nullptr, 0, nullptr);
        child
            = CreateWindowEx(0, L"CommentTestFrame", L"c", WS_CHILD | WS_VISIBLE, 20, 30, 240, 150, frame, 1, nullptr);
        ShowWindow(frame, SW_SHOW);
        UpdateWindow(frame);
        vx::hf::SetCommentAnimationWait([this](int ms) {
            waits.push_back(ms);
            if (BitmapPtr image = GetWindowImage(frame))
                probes.push_back(image->Pixel(probe.x, probe.y));
        });
    }
    ~Frame()
    {
        vx::hf::SetCommentAnimationWait({});
        DestroyWindow(frame);
    }
    BitmapPtr Image() const { return GetWindowImage(frame)->Copy(); }
};

bool SameImage(const BitmapPtr& a, const BitmapPtr& b)
{
    for (int y = 0; y < a->Height(); ++y)
        for (int x = 0; x < a->Width(); ++x)
            if (a->Pixel(x, y) != b->Pixel(x, y))
                return false;
    return true;
}

} // namespace

TEST(CommentAnimation, InvertsEachFrameAndLeavesNothingBehind)
{
    Comment comment(0);
    for (DWORD shape : { 0u, 1u }) {
        Frame f;
        const BitmapPtr before = f.Image();
        // Frame 0 is the from rectangle itself; its left edge, in the child's coordinates
        // (20, 30) into the frame.
        const Rect from { 40, 40, 140, 100 }, to { 80, 60, 100, 80 };
        f.probe = { 20 + 40, 30 + 70 };
        ASSERT_EQ(comment.c->AnimateShape(f.child, shape, &from, &to, 200), S_OK);
        EXPECT_EQ(f.waits, (std::vector<int> { 50, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20 })) << shape;
        ASSERT_EQ(f.probes.size(), 11u);
        EXPECT_EQ(f.probes[0], Colour { 0xFFFFFF }) << "nothing drawn before the first frame";
        EXPECT_EQ(f.probes[1], Colour { 0 }) << shape << ": the first frame inverts white to black";
        EXPECT_EQ(f.probes[2], Colour { 0xFFFFFF }) << shape << ": later frames lie inside";
        EXPECT_TRUE(SameImage(before, f.Image())) << shape;
    }
}

TEST(CommentAnimation, OnlyOnAShownWindowAndOverTheMarker)
{
    Comment comment(0);
    const Rect r { 10, 10, 20, 20 };
    {
        Frame f;
        ShowWindow(f.child, SW_HIDE);
        comment.c->AnimateShape(f.child, 1, &r, &r, 100);
        EXPECT_TRUE(f.waits.empty()) << "hidden";
        ShowWindow(f.child, SW_SHOW);
        SetWindowLongPtr(f.frame, GWL_STYLE, GetWindowLongPtr(f.frame, GWL_STYLE) | WS_MINIMIZE);
        comment.c->AnimateShape(f.child, 1, &r, &r, 100);
        EXPECT_TRUE(f.waits.empty()) << "minimised";
    }
    {
        // The flash: a circle 50 pixels out shrinking onto the marker, only where the point is
        // over the window itself.
        Frame f;
        f.probe = { 20 + 100 - 3 - 50, 30 + 40 + 3 };
        EXPECT_EQ(comment.c->Highlight(f.child, { 100, 40 }, 100), S_OK);
        EXPECT_EQ(f.waits.size(), 11u);
        ASSERT_FALSE(f.probes.empty());
        f.waits.clear();
        comment.c->Highlight(f.child, { 400, 40 }, 100);
        EXPECT_TRUE(f.waits.empty()) << "beyond the window";
        comment.c->Highlight(f.frame, { 30, 40 }, 100);
        EXPECT_TRUE(f.waits.empty()) << "over the child, not the frame";
    }
    EXPECT_EQ(comment.c->AnimateShape(nullptr, 1, nullptr, &r, 100), E_INVALIDARG);
}

TEST(CommentDrawing, HitTestOnTheMarker)
{
    Comment comment(0);
    struct Case {
        int dpi;
        Point point;
        HRESULT hr;
        DWORD code;
    };
    const Case cases[] = {
        { 96, { 100, 53 }, S_OK, 4 },
        { 96, { 97, 50 }, S_OK, 4 },
        { 96, { 104, 53 }, S_FALSE, 0 },
        { 96, { 100, 49 }, S_FALSE, 0 },
        { 192, { 106, 62 }, S_OK, 4 },
    };
    for (const Case& c : cases) {
        auto dc = DC::CreateRecording({ 1, 1 }, Screen(c.dpi));
        DWORD code = 99;
        EXPECT_EQ(comment.c->HitTest(dc.get(), { 100, 50 }, c.point, &code), c.hr) << c.point.x << "," << c.point.y;
        EXPECT_EQ(code, c.code);
    }
}
