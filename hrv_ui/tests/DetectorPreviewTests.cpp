// The detector settings' preview on the stand-in host, headless: the beats it marks over the
// user's selection are the ones the preview detector finds on that stretch when it is run directly
// with the values in the dialog's fields, and they follow each valid change of a field; an invalid
// field leaves the last detection shown. Closing the dialog leaves none of the preview's channels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Detector.h"
#include "hrv_ui/DetectorPreview.h"
#include "hrv_ui/Dialogs.h"
#include "integration/ExtensionChain.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Gdi.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

using namespace HRV;
using vx::host::HrvHostDocument;
using vx::host::Recording;
namespace ui = vx::ui;
namespace Item = HRV::ControlId;

namespace {

std::shared_ptr<Recording> Record100()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    const std::filesystem::path data = dir ? dir : VX_TEST_DATA_DIR;
    static const auto recording = std::make_shared<Recording>(vx::host::ImportWfdb(data / "mitdb" / "100.hea", {}));
    return recording;
}

// The preview's selection: 20 s to 32 s of record 100 at 360 Hz.
constexpr std::int32_t kFirst = 7200, kLast = 11520;

// The beats the preview detector finds when it runs by itself on another host document over the
// same recording, with `values` over [kFirst, kLast).
std::vector<double> DirectBeats(const Settings& values)
{
    HrvHostDocument other(Record100());
    EXPECT_EQ(vx::integration::InstallExtensionEnumerators(other.Engine(), {}, CAFFrameWork::GetTypeIdRegistry()), 2);
    PreviewDetector detector(&other);
    DetectorSettings d = DetectorSettingsFrom(values);
    d.mRangeStart = { 0, kFirst };
    d.mRangeEnd = { 0, kLast };
    EXPECT_TRUE(detector.Update(0xFF000000u, &d));
    std::vector<double> beats;
    for (const FiducialEvent& e : vx::integration::ReadBeats(other.Engine(), detector.StageName(7), 0, kFirst, kLast))
        beats.push_back(e.mPosition + static_cast<double>(e.mFraction));
    return beats;
}

// What the preview paints: the columns of its beat marks (the centres of their circles), and for
// each trace colour the rows its segments cover.
struct Painted {
    std::vector<int> marks;
    std::map<std::uint32_t, std::pair<int, int>> rows; // colour -> lowest, highest row
};

Painted Paint(VarnDraw::PreviewDataWinWButtons& pane)
{
    auto dc = ui::DC::CreateRecording({ 1200, 400 });
    pane.Paint(*dc, pane.PaneRect());
    Painted painted;
    ui::Point origin {};
    std::uint32_t pen = 0;
    for (const ui::DrawCommand& c : dc->Commands()) {
        if (c.op == ui::DrawCommand::Op::SetViewportOrg)
            origin = c.points.front();
        if (c.op == ui::DrawCommand::Op::SelectPen)
            pen = c.pen.colour.value;
        if (c.op == ui::DrawCommand::Op::Ellipse)
            painted.marks.push_back(origin.x + (c.rect.left + c.rect.right - 1) / 2);
        if (c.op == ui::DrawCommand::Op::PolyPolyline)
            for (ui::Point p : c.points) {
                auto [it, fresh] = painted.rows.try_emplace(pen, p.y, p.y);
                it->second = { std::min(it->second.first, p.y), std::max(it->second.second, p.y) };
            }
    }
    return painted;
}

// The columns where the preview's record source puts `beats` inside the plot.
std::vector<int> ColumnsOf(VarnDraw::PreviewDataWinWButtons& pane, const std::vector<double>& beats)
{
    std::vector<int> columns;
    IRecordSource* source = nullptr;
    if (pane.GetRecordSource(&source) != S_OK || !source)
        return columns;
    const int left = pane.ChannelStrip(0)->StripRect().left;
    for (double beat : beats) {
        double x = 0;
        source->SampleToPixel(0x80000000u, 0, beat, &x);
        if (x >= 0 && x < pane.PlotWidth())
            columns.push_back(left + static_cast<int>(std::floor(x + 0.5)));
    }
    source->Release();
    return columns;
}

void Type(HWND dialog, int id, const std::wstring& text)
{
    HWND edit = ui::GetDlgItem(dialog, id);
    ui::SetWindowText(edit, L"");
    for (wchar_t c : text)
        ui::SendMessage(edit, ui::WM_CHAR, static_cast<ui::WPARAM>(c), 0);
}

class DetectorPreviewTest : public caf::test::RegisteredFramework { };

} // namespace

TEST_F(DetectorPreviewTest, MarksTheBeatsTheDetectorFindsWithTheFieldsValues)
{
    HrvHostDocument host(Record100());
    ASSERT_EQ(vx::integration::InstallExtensionEnumerators(host.Engine(), {}, CAFFrameWork::GetTypeIdRegistry()), 2);
    host.hasSelection = true;
    host.selectionStart = { kFirst, 0 };
    host.selectionEnd = { kLast, 0 };
    const std::size_t namedBefore = host.NamedChannels().size();

    Settings settings;
    // Each step types into a field; the preview then shows the beats of the values typed so far
    // (an invalid entry changes nothing).
    struct Step {
        const char* what;
        int field;
        const wchar_t* text;
        const wchar_t* name; // the settings field it sets; null for an invalid entry
        const wchar_t* value;
    };
    const Step steps[] = {
        { "as opened", 0, nullptr, nullptr, nullptr },
        { "a minimum period of 1 s", Item::kMinPeriod, L"1000", L"MinPeriod", L"1" },
        { "a window out of range", Item::kWindow, L"50", nullptr, nullptr },
        { "a higher peak", Item::kPeakHeight, L"6", L"MinPeakHeight", L"6" },
        { "the peak as it was", Item::kPeakHeight, L"3", L"MinPeakHeight", L"3" },
    };
    Settings expected;
    expected.CopyFields(settings);
    std::vector<std::size_t> counts;
    bool ran = false;
    AdvancedSettingsDialog* running = nullptr;
    const ui::DialogScript previous = ui::SetDialogScript([&](HWND dialog) {
        ran = true;
        HRVPreviewPane* preview = running ? running->Preview() : nullptr;
        ASSERT_NE(preview, nullptr);
        ASSERT_NE(preview->Window(), nullptr);
        VarnDraw::PreviewDataWinWButtons& pane = *preview->Window();
        // The preview covers the placeholder, shows the selection and marks its beats.
        EXPECT_FALSE(ui::IsWindowVisible(ui::GetDlgItem(dialog, ExtLib::kPreviewPlaceholderId)));
        EXPECT_GT(pane.PlotWidth(), 400);
        EXPECT_EQ(preview->First(), kFirst);
        EXPECT_EQ(preview->Last(), kLast);
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            if (step.text)
                Type(dialog, step.field, step.text);
            if (step.name) {
                ASSERT_TRUE(expected.SetField(step.name, step.value, nullptr));
            }
            const std::vector<double> beats = DirectBeats(expected);
            ASSERT_FALSE(beats.empty());
            const Painted painted = Paint(pane);
            EXPECT_EQ(painted.marks, ColumnsOf(pane, beats));
            counts.push_back(painted.marks.size());
            // Each trace on its own scale over the whole strip: the source over the channel's
            // value range, the stage over -10 .. 10 S.D.
            const int height = pane.ChannelStrip(0)->StripRect().Height();
            const auto source = painted.rows.find(preview->SourceColour());
            const auto stage = painted.rows.find(HRVPreviewPane::kStageColour);
            ASSERT_NE(source, painted.rows.end());
            ASSERT_NE(stage, painted.rows.end());
            EXPECT_GE(source->second.first, 0);
            EXPECT_LE(source->second.second, height + 1);
            EXPECT_GT(source->second.second - source->second.first, height / 4);
            // The stage's quiet values (about 0 S.D. between beats) lie at the strip's middle:
            // its lowest point is a little below it; its peaks reach higher.
            EXPECT_GE(stage->second.second, height / 2);
            EXPECT_LT(stage->second.second, height * 7 / 10);
        }
        // The scales' ranges: the channel's value range from the host, and -10 .. 10 S.D.
        double low = 0, high = 0;
        ASSERT_TRUE(ExtLib::GetChannelValueRange(&host.Document(), 0, low, high));
        const auto rangeOf = [&](int number) {
            vx::hf::DisplayRange range {};
            IHostScale* scale = nullptr;
            if (pane.GetScale(0, number, &scale) == S_OK && scale) {
                if (const auto ranged = vx::hf::Query<IScaleRange>(scale))
                    ranged->GetRange(&range);
                scale->Release();
            }
            return range;
        };
        EXPECT_DOUBLE_EQ(rangeOf(1).bottom, low);
        EXPECT_DOUBLE_EQ(rangeOf(1).top, high);
        EXPECT_DOUBLE_EQ(rangeOf(2).bottom, HRVPreviewPane::kStageBottom);
        EXPECT_DOUBLE_EQ(rangeOf(2).top, HRVPreviewPane::kStageTop);
        ui::SendMessage(dialog, ui::WM_COMMAND, ui::IDCANCEL, 0);
    });
    {
        AdvancedSettingsDialog dialog(nullptr, settings, L"mV", {}, &host);
        running = &dialog;
        EXPECT_EQ(dialog.Run(), ui::IDCANCEL);
    }
    ui::SetDialogScript(previous);
    ASSERT_TRUE(ran);
    // The values changed what was found: a minimum period of 1 s leaves fewer beats.
    ASSERT_EQ(counts.size(), std::size(steps));
    EXPECT_LT(counts[1], counts[0]);
    // Cancel kept the settings; the preview's channels are gone with the dialog.
    EXPECT_EQ(settings.mMinPeriod, Settings().mMinPeriod);
    EXPECT_EQ(host.NamedChannels().size(), namedBefore);
    EXPECT_FALSE(host.Engine().HasChannel(PreviewDetector(nullptr).StageName(7)));
}
