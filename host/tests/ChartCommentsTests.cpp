// The recording's comments on the desktop chart: drawn on their channels' traces, and the popup
// that a click on a marker or the document's request opens (headless).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/String.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/comments/CommentPopup.h"
#include "hostframework/comments/Comments.h"
#include "ui/Desktop.h"
#include "ui/Gdi.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "varnex/desktop/chart/ChartComments.h"

using namespace vx::ui;
using varnex::ChartComments;

namespace {

constexpr int kStripHeight = 100;

std::shared_ptr<vx::host::Recording> MakeRecording()
{
    auto r = std::make_shared<vx::host::Recording>();
    for (int c = 0; c < 2; ++c) {
        vx::host::ChannelSetup channel;
        channel.title = L"ECG" + std::to_wstring(c);
        r->AddChannel(channel);
    }
    for (int k = 0; k < 2; ++k)
        r->records[static_cast<std::size_t>(r->AddRecord(0.001, k * 3600.5))].length = 10000;
    r->comments.push_back({ 0, 2000, -1, L"(N normal rhythm" });
    r->comments.push_back({ 0, 5000, 1, L"Noise" });
    r->comments.push_back({ 1, 1000, 0, L"Second record" });
    return r;
}

int gOtherClicks = 0;
LRESULT ChartStandIn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN)
        ++gOtherClicks;
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// Strip `channel` drawn at 25 samples a pixel into its own image, as the chart's strips draw.
BitmapPtr DrawStrip(ChartComments& comments, int channel, LONG record, double firstSample = 0)
{
    BitmapPtr image = Bitmap::Create(400, kStripHeight);
    DC dc(image, DeviceCaps { DT_RASDISPLAY, 32, 96, 96, {} });
    dc.FillSolidRect({ 0, 0, 400, kStripHeight }, { 0xFFFFFF });
    VarnDraw::IVarnRecordDrawer* drawer = comments.MakeDrawer(channel);
    drawer->SetRecord(record, 0);
    VarnDraw::DrawParams p;
    p.samplesPerPixel = 25;
    p.firstSample = firstSample;
    p.xFrom = 0;
    p.xTo = 400;
    p.strip = { 0, 0, 400, kStripHeight };
    EXPECT_EQ(drawer->Draw(&dc, &p), S_OK);
    drawer->Release();
    dc.Flush();
    return image;
}

class ChartCommentsTest : public caf::test::RegisteredFramework {
protected:
    void SetUp() override
    {
        static bool registered = RegisterClass({ L"ChartStandIn", 0, ChartStandIn });
        (void)registered;
        chart = CreateWindowEx(
            0, L"ChartStandIn", L"chart", WS_POPUP, 100, 300, 400, 2 * kStripHeight, nullptr, 0, nullptr);
        ShowWindow(chart, SW_SHOW);
        comments = std::make_unique<ChartComments>(MakeRecording());
        comments->Attach(chart, [](int channel) {
            return Rect { 0, channel * kStripHeight, 400, (channel + 1) * kStripHeight };
        });
        strips[0] = DrawStrip(*comments, 0, 0);
        strips[1] = DrawStrip(*comments, 1, 0);
        gOtherClicks = 0;
    }
    void TearDown() override
    {
        comments.reset();
        DestroyWindow(chart);
    }
    std::wstring PopupText()
    {
        auto* popup = comments->Popup();
        if (!popup)
            return L"";
        auto* window = reinterpret_cast<vx::hf::CommentPopup*>(GetWindowLongPtr(popup, GWLP_USERDATA));
        IVarnComment* comment = nullptr;
        window->GetComment(&comment);
        IKELString* text = nullptr;
        comment->GetInfo(nullptr, nullptr, nullptr, &text);
        comment->Release();
        KEL::String s;
        s.AssignRep(text);
        return s.ToWString();
    }
    HWND chart = nullptr;
    std::unique_ptr<ChartComments> comments;
    BitmapPtr strips[2];
};

} // namespace

TEST_F(ChartCommentsTest, EachCommentIsDrawnOnItsChannelsTracesInItsRecord)
{
    // 2000 samples at 25 a pixel: x = 80; 5000: x = 200 (channel 1 only); the comment of record 1
    // is not drawn in record 0.
    struct Probe {
        int strip, x, y;
        Colour colour;
        const char* what;
    };
    const Probe probes[] = {
        { 0, 80, 3, { 0 }, "the disc's outline on channel 0" },
        { 0, 80, 6, { 0xFFFFFF }, "its white fill" },
        { 1, 80, 3, { 0 }, "the comment of the whole record on channel 1 too" },
        { 1, 200, 3, { 0 }, "the comment of channel 1" },
        { 0, 200, 3, { 0xFFFFFF }, "not on channel 0" },
        { 0, 40, 3, { 0xFFFFFF }, "nothing of record 1 (x = 40)" },
    };
    for (const Probe& p : probes)
        EXPECT_EQ(strips[p.strip]->Pixel(p.x, p.y), p.colour) << p.what;
    // The dotted line runs down the strip, and the label reads upwards left of it.
    int dots = 0, label = 0;
    for (int y = 20; y < kStripHeight - 1; ++y) {
        dots += strips[0]->Pixel(80, y) != Colour { 0xFFFFFF };
        for (int x = 50; x < 78; ++x)
            label += strips[0]->Pixel(x, y).Red() < 100;
    }
    EXPECT_GT(dots, 20);
    EXPECT_GT(label, 20);
    Point centre;
    ASSERT_TRUE(comments->MarkerCentre(0, centre));
    EXPECT_EQ(centre, (Point { 80, 6 }));
}

TEST_F(ChartCommentsTest, AClickOnAMarkerOpensItsPopupAboveIt)
{
    // The marker of "Noise" on strip 1: (197, 103) to (204, 110) in the chart.
    SendMessage(chart, WM_LBUTTONDOWN, 0, MAKELPARAM(200, kStripHeight + 6));
    ASSERT_NE(comments->Popup(), nullptr);
    EXPECT_EQ(gOtherClicks, 0) << "the click was the comment's";
    EXPECT_EQ(PopupText(), L"Noise");
    EXPECT_TRUE(IsWindowVisible(comments->Popup()));
    Rect popup;
    GetWindowRect(comments->Popup(), &popup);
    Point top { 200, kStripHeight + 3 };
    ClientToScreen(chart, &top);
    EXPECT_EQ(popup.bottom, top.y) << "just above the marker";
    EXPECT_EQ(popup.left, top.x);

    // A click elsewhere closes it and goes on to the chart.
    SendMessage(chart, WM_LBUTTONDOWN, 0, MAKELPARAM(300, 50));
    EXPECT_EQ(comments->Popup(), nullptr);
    EXPECT_EQ(gOtherClicks, 1);

    // Scrolled by 100 pixels: the marker is clicked where the strip shows it now.
    DrawStrip(*comments, 1, 0, 2500);
    SendMessage(chart, WM_LBUTTONDOWN, 0, MAKELPARAM(200, kStripHeight + 6));
    EXPECT_EQ(comments->Popup(), nullptr);
    SendMessage(chart, WM_LBUTTONDOWN, 0, MAKELPARAM(100, kStripHeight + 6));
    EXPECT_EQ(PopupText(), L"Noise");
}

TEST_F(ChartCommentsTest, TheDocumentsRequestOpensThePopupOnTheMarkerOrAtTheTop)
{
    struct Case {
        const char* what;
        int record, offset;
        DWORD display;
        bool opens;
        Point anchor; // client coordinates of the chart
    };
    const Case cases[] = {
        { "a comment the chart shows", 0, 2000, 0, true, { 80, 3 } },
        { "one it does not show", 0, 9000, 0, true, { 200, 3 } },
        { "one that opens no popup", 0, 2000, vx::hf::kNoPopupFlag, false, {} },
    };
    for (const Case& c : cases) {
        auto* comment = new vx::hf::EventDataComment(c.record, c.offset, 0, nullptr, 0, 0, nullptr);
        comment->AddRef();
        comment->SetText(L"Beat comment");
        comment->SetDisplayFlags(c.display);
        EXPECT_EQ(comments->Show(comment), c.opens) << c.what;
        if (c.opens) {
            ASSERT_NE(comments->Popup(), nullptr) << c.what;
            EXPECT_EQ(PopupText(), L"Beat comment");
            Rect popup;
            GetWindowRect(comments->Popup(), &popup);
            Point anchor = c.anchor;
            ClientToScreen(chart, &anchor);
            EXPECT_EQ(popup.bottom, anchor.y) << c.what;
        } else {
            EXPECT_EQ(comments->Popup(), nullptr) << c.what;
        }
        comments->ClosePopup();
        EXPECT_EQ(comment->Release(), 0u) << c.what << ": the popup let its comment go";
    }
}

TEST_F(ChartCommentsTest, TimeTextsCountFromTheRecordingsStart)
{
    struct Case {
        int record;
        std::int64_t offset;
        const wchar_t* text;
    };
    for (const Case& c : { Case { 0, 2000, L"00:00:02.000" }, Case { 0, 1, L"00:00:00.001" },
             Case { 1, 999, L"01:00:01.499" }, Case { 5, 10, L"00:00:00.000" } })
        EXPECT_EQ(comments->TimeText(c.record, c.offset), c.text) << c.record << " " << c.offset;
}
