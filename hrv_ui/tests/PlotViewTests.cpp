// The six plot views over the fake web view, on the analysis of record 100: their markup (kept
// as golden files, each compiled and checked as script), refresh flags and latch, the markup
// throttle, scale ranges, and what dragging, resizing and clicking do to the document.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "caf/Documents.h"
#include "caf/FrameworkServices.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hrv/document/Document.h"
#include "hrv_ui/PlotViews.h"
#include "integration/ExtensionChain.h"
#include "plotcontrol/compiler/MarkupScript.h"
#include "text/Unicode.h"
#include "ui/MessageQueue.h"
#include "webview/FakeWebView.h"

using namespace HRV;
using vx::host::Recording;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::filesystem::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? dir : VX_TEST_DATA_DIR;
}

std::string Utf8(const std::wstring& s)
{
    return vx::text::UnitsToUtf8(s);
}

// Record 100 analysed by the document as the host's Analyse command does, once for the suite.
struct Analysed {
    Analysed()
        : host(std::make_shared<Recording>(vx::host::ImportWfdb(TestData() / "mitdb" / "100.hea", {})), {})
    {
        vx::integration::InstallExtensionEnumerators(host.Engine());
        doc = new Document(static_cast<IRecordingDocument*>(parent), nullptr, 0);
        doc->AddRef();
        host.Attach(static_cast<ICAFCommandHandler*>(doc));
        doc->OnCommand(Document::CommandId(kCmdAnalyse));
    }
    ~Analysed()
    {
        doc->Close();
        host.Detach();
        doc->Release();
        parent->Release();
    }
    vx::host::HrvHostDocument host;
    vx::host::HrvHostDocumentObject* parent = new vx::host::HrvHostDocumentObject(host);
    Document* doc = nullptr;
};

class PlotViews : public caf::test::RegisteredFramework {
protected:
    static void SetUpTestSuite()
    {
        RegisteredFramework::SetUpTestSuite();
        sAnalysed = new Analysed;
    }
    static void TearDownTestSuite()
    {
        delete sAnalysed;
        sAnalysed = nullptr;
        RegisteredFramework::TearDownTestSuite();
    }
    void SetUp() override
    {
        ASSERT_GT(doc->Engine().mRR.size(), 100u);
        saved = doc->GetSettings();
        site = new caf::HostViewSite(static_cast<IHRVDocument*>(doc));
        site->AddRef();
    }
    void TearDown() override
    {
        views.clear();
        site->CloseViews();
        site->Release();
        doc->GetSettings() = saved;
        doc->OnCommand(Document::CommandId(kCmdAnalyse));
    }

    // A view of the class number (1 tachogram ... 6 Poincaré) made and created in the site's frame.
    template <class View> View& Open()
    {
        auto view = std::make_unique<View>(site->Frame(), nullptr, nullptr, site, nullptr);
        View& v = *view;
        v.SetClock([this] { return now; });
        EXPECT_TRUE(v.Create());
        views.push_back(std::move(view));
        return v;
    }
    // The markup scripts the view's page was sent, in order.
    static std::vector<std::string> MarkupScripts(vx::webview::FakeWebView* page)
    {
        std::vector<std::string> out;
        for (const std::string& s : page->evaluated)
            if (s.find("etch.make_plot('local'") != std::string::npos)
                out.push_back(s);
        return out;
    }
    static HRESULT Message(PlotViewBase& view, DWORD id, DWORD kind)
    {
        auto* m = new caf::HostMessage(0, id, kind, nullptr);
        m->AddRef();
        const HRESULT hr = view.HandleTableMessage(m);
        m->Release();
        return hr;
    }
    static void Changing(PlotViewBase& view, DWORD kind) { Message(view, Document::MsgIdAnalysisChanging(), kind); }
    static void ResetLatch(PlotViewBase& view) { DispatchCommand(&view, PlotViewBase::kCmdResetLatch); }

    static inline Analysed* sAnalysed = nullptr;
    Document* doc = sAnalysed->doc;
    Settings saved;
    caf::HostViewSite* site = nullptr;
    vx::webview::FakeEngine engine;
    std::vector<std::unique_ptr<PlotViewBase>> views;
    double now = 100.0;
};

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// node's syntax check of a script; empty when it passes (or when node is not there).
std::string ScriptSyntaxError(const std::string& script)
{
#ifdef VX_NODE_EXECUTABLE
    const auto file = std::filesystem::temp_directory_path() / ("plotview_" + std::to_string(::getpid()) + ".js");
    std::ofstream(file) << script;
    const std::string command = std::string(VX_NODE_EXECUTABLE) + " --check " + file.string() + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int status = pipe ? ::pclose(pipe) : -1;
    std::filesystem::remove(file);
    return status == 0 ? std::string() : "node --check failed: " + out;
#else
    (void)script;
    return {};
#endif
}

} // namespace

TEST_F(PlotViews, EachViewWritesItsGoldenMarkupForRecord100ThatCompilesToValidScript)
{
    struct Case {
        const char* golden;
        std::function<PlotViewBase&()> open;
    };
    const Case cases[] = {
        { "tachogram.etch", [&]() -> PlotViewBase& { return Open<TachogramView>(); } },
        { "power-density.etch", [&]() -> PlotViewBase& { return Open<SpectrumView>(); } },
        { "rr_histogram.etch", [&]() -> PlotViewBase& { return Open<RRHistogramView>(); } },
        { "delta_rr_histogram.etch", [&]() -> PlotViewBase& { return Open<DeltaRRHistogramView>(); } },
        { "classifier.etch", [&]() -> PlotViewBase& { return Open<ClassifierView>(); } },
        { "poincare.etch", [&]() -> PlotViewBase& { return Open<PoincareView>(); } },
    };
    const std::filesystem::path goldens = std::filesystem::path(VX_PLOT_GOLDEN_DIR);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        PlotViewBase& view = c.open();
        const std::string markup = Utf8(view.Control().GetMarkup());
        ASSERT_FALSE(markup.empty());
        if (std::getenv("VX_UPDATE_GOLDEN"))
            std::ofstream(goldens / c.golden, std::ios::binary) << markup;
        EXPECT_EQ(markup, ReadFile(goldens / c.golden));
        std::string script;
        ASSERT_TRUE(Etch::GetSetMarkupJS(markup, "local", script)) << markup;
        EXPECT_EQ(ScriptSyntaxError(script), "");
    }
}

TEST_F(PlotViews, ThePoincareEllipseHasSD2ForItsMajorAxisAndIsLeftOutWhenSD2HasNoValue)
{
    // The whole record: the half axes are SD2 and SD1, in milliseconds.
    const double sd2 = doc->Engine().mStats.SD2(), sd1 = doc->Engine().mStats.SD1();
    ASSERT_GT(sd2, 0.0);
    const std::string whole = Utf8(Open<PoincareView>().Control().GetMarkup());
    char axes[96];
    std::snprintf(axes, sizeof axes, ", a:%g, b:%g, rotate: -45", sd2 * 1000, sd1 * 1000);
    EXPECT_NE(whole.find(axes), std::string::npos) << whole;

    // 1518-1522 s with every interval kept: an ectopic beat and its pause make the changes vary
    // more than the intervals, 2 SDRR^2 - SDSD^2 / 2 is below zero and SD2 has no value.
    const std::size_t opened = views.size();
    vx::host::HrvHostDocument& host = sAnalysed->host;
    host.hasSelection = true;
    host.selectionStart = { 1518 * 360, 0 };
    host.selectionEnd = { 1522 * 360, 0 };
    doc->GetSettings().mUseSelection = true;
    doc->GetSettings().mExcludeEctopics = false;
    doc->OnCommand(Document::CommandId(kCmdAnalyse));
    host.hasSelection = false;
    ASSERT_EQ(doc->Engine().mRR.size(), 3u);
    EXPECT_TRUE(std::isnan(doc->Engine().mStats.SD2()));
    const std::string none = Utf8(Open<PoincareView>().Control().GetMarkup());
    ASSERT_EQ(views.size(), opened + 1);
    EXPECT_EQ(none.find("ellipse"), std::string::npos) << none;
    EXPECT_NE(none.find("hrv_poincare_view"), std::string::npos) << none;
}

TEST_F(PlotViews, TheTachogramRegistersItsSourceAndItsRangesFollowTheIntervals)
{
    TachogramView& view = Open<TachogramView>();
    ASSERT_NE(view.Source(), nullptr);
    IEtchEnumInfo* info = InfoOf(view.Source());
    std::int64_t count = 0;
    info->GetCount(&count);
    EXPECT_EQ(static_cast<std::size_t>(count), doc->Engine().mRR.size());
    // Kind 6 at set-up stores the ranges when unset: x is the interval count, y in milliseconds.
    ASSERT_NE(view.Control().GetPersistTask(), nullptr);
    const PlotRanges r = view.ComputeRanges(ContextOf(*doc, false), info);
    info->Release();
    EXPECT_EQ(r.xMax, static_cast<double>(count));
    EXPECT_GT(r.yMin, 300.0);
    EXPECT_EQ(view.Control().GetPersistTask()->XRange(), (KEL::ScaleRangePair { r.xMax, r.xMin }));
}

TEST_F(PlotViews, OneRefreshPerLatchAndTheChangedMessageAlwaysSendsMarkup)
{
    SpectrumView& view = Open<SpectrumView>();
    auto* page = engine.Last();
    const std::size_t first = MarkupScripts(page).size();
    ASSERT_EQ(first, 1u);
    Changing(view, 3); // the latch is still set from set-up
    EXPECT_EQ(MarkupScripts(page).size(), first);
    ResetLatch(view);
    Changing(view, 3);
    EXPECT_EQ(MarkupScripts(page).size(), first + 1);
    Changing(view, 3); // a second change before the host's reset
    EXPECT_EQ(MarkupScripts(page).size(), first + 1);
    Message(view, Document::MsgIdAnalysisChanged(), 3);
    Message(view, Document::MsgIdAnalysisChanged(), 3);
    EXPECT_EQ(MarkupScripts(page).size(), first + 3);
}

TEST_F(PlotViews, WhileThrottledTheLatestMarkupGoesOutWhenTheIntervalEnds)
{
    struct Case {
        const char* name;
        double interval;
        std::function<HRVViewBaseYT&()> open;
        std::vector<double>* data;
    };
    const Case cases[] = {
        { "tachogram", 0.05, [&]() -> HRVViewBaseYT& { return Open<TachogramView>(); }, &doc->Engine().mRR },
        { "histogram", 2.0, [&]() -> HRVViewBaseYT& { return Open<RRHistogramView>(); },
            &doc->Engine().mStats.mRRHistogram.mCounts },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HRVViewBaseYT& view = c.open();
        auto* page = engine.Last();
        ResetLatch(view);
        Changing(view, 0); // sampling starts: throttle on, and the first markup goes at once
        ASSERT_TRUE(view.Throttling());
        const std::size_t sent = MarkupScripts(page).size();
        now += c.interval / 2;
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        EXPECT_EQ(MarkupScripts(page).size(), sent); // inside the interval: kept back
        EXPECT_TRUE(view.HasPendingMarkup());
        // Newer results inside the same interval: their markup is the one that must go out.
        c.data->push_back(c.data->back());
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        IEtchEnumInfo* info = InfoOf(view.Source());
        const std::wstring latest = view.BuildMarkup(ContextOf(*doc, false), info);
        info->Release();
        view.FlushThrottledMarkup(); // the timer, still inside the interval
        EXPECT_EQ(MarkupScripts(page).size(), sent);
        now += c.interval;
        view.FlushThrottledMarkup();
        EXPECT_EQ(MarkupScripts(page).size(), sent + 1);
        EXPECT_FALSE(view.HasPendingMarkup());
        EXPECT_EQ(view.Control().GetMarkup(), latest);
        c.data->pop_back();
        // A refresh a whole interval later goes out at once.
        now += c.interval * 1.01;
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        EXPECT_EQ(MarkupScripts(page).size(), sent + 2);
        // Sampling ends (kind 2): throttle off, every markup at once.
        ResetLatch(view);
        Changing(view, 2);
        EXPECT_FALSE(view.Throttling());
        const std::size_t unthrottled = MarkupScripts(page).size();
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        EXPECT_EQ(MarkupScripts(page).size(), unthrottled + 2);
    }
}

TEST_F(PlotViews, AnEmptyAnalysisClearsThePlotsSourcesAndEmptyRangesNeverOverwrite)
{
    PoincareView& view = Open<PoincareView>();
    KEL::EtchPersistTask* task = view.Control().GetPersistTask();
    ASSERT_NE(task, nullptr);
    const KEL::ScaleRangePair stored = task->XRange();
    ASSERT_FALSE(KEL::IsScaleRangeEmpty(stored));
    auto* page = engine.Last();
    // Record 100 has data: a RequestPixData call for the x source answers numbers.
    const std::string id = page->Call("etch_proxy_RequestPixData", R"(["$HRV_Poincare_X", 0, 1, 4])");
    ASSERT_TRUE(page->ReplyTo(id));
    EXPECT_NE(page->ReplyTo(id)->result.find(','), std::string::npos);

    const std::vector<PoincarePoint> kept = doc->Engine().mPoincarePoints;
    doc->Engine().mPoincarePoints.clear();
    ResetLatch(view);
    Changing(view, 5); // cleared: rebuild when not empty, otherwise clear the control's sources
    const std::string again = page->Call("etch_proxy_HasData", "[]");
    EXPECT_EQ(page->ReplyTo(again)->result, R"({"result":false})");
    // The ranges of the empty analysis are those of the settings, never (0, 0) over a stored pair.
    EXPECT_FALSE(KEL::IsScaleRangeEmpty(task->XRange()));
    doc->Engine().mPoincarePoints = kept;
}

TEST_F(PlotViews, DraggedBandLimitsAreOrderedClampedAndReanalysed)
{
    SpectrumView& view = Open<SpectrumView>();
    Settings& s = doc->GetSettings();
    const double lfBefore = doc->Engine().mSpectrum.mLFPower;
    // Another id or too few values change nothing.
    const double six[] = { 0.01, 0.05, 0.05, 0.1, 0.1, 0.3 };
    view.OnBandsDragged(L"other", six, 6);
    view.OnBandsDragged(L"spectrum_freq_bands", six, 5);
    EXPECT_EQ(s.mLFHigh, saved.mLFHigh);

    struct Case {
        double in[6];
        double out[6];
    };
    const double top = s.mMaxFrequency;
    const Case cases[] = {
        { { 0.003, 0.04, 0.04, 0.10, 0.10, 0.4 }, { 0.003, 0.04, 0.04, 0.10, 0.10, 0.4 } },
        // Crossed limits are put in order; beyond the spectrum they stop at its ends.
        { { 0.04, 0.003, 0.2, 0.1, -1.0, 9.0 }, { 0.0, 0.003, 0.04, 0.1, 0.2, top } },
        // A NaN limit keeps the one it had.
        { { 0.003, 0.04, kNaN, 0.12, 0.12, 0.4 }, { 0.003, 0.04, 0.04, 0.12, 0.12, 0.4 } },
    };
    for (const Case& c : cases) {
        const KEL::EtchValuesNotice notice { KEL::String(L"spectrum_freq_bands"), c.in, 6 };
        view.OnPlotNotice(KEL::kVLinesDragged, &notice);
        const double got[6] = { s.mVLFLow, s.mVLFHigh, s.mLFLow, s.mLFHigh, s.mHFLow, s.mHFHigh };
        for (int i = 0; i < 6; ++i)
            EXPECT_DOUBLE_EQ(got[i], c.out[i]) << i;
    }
    // The document re-analysed with the new bands: the low-frequency power changed.
    EXPECT_NE(doc->Engine().mSpectrum.mLFPower, lfBefore);

    // The page's drag of the LF/HF boundary, as the plot sends it: the ratio follows.
    const auto ratio = [&] { return doc->Engine().mSpectrum.mLFPower / doc->Engine().mSpectrum.mHFPower; };
    auto* page = engine.Last();
    page->Call("etch_proxy_VLinesDragged", R"(["spectrum_freq_bands", [0.0033, 0.04, 0.04, 0.15, 0.15, 0.4]])");
    const double before = ratio();
    EXPECT_DOUBLE_EQ(s.mLFHigh, 0.15);
    page->Call("etch_proxy_VLinesDragged", R"(["spectrum_freq_bands", [0.0033, 0.04, 0.04, 0.25, 0.25, 0.4]])");
    EXPECT_DOUBLE_EQ(s.mLFHigh, 0.25);
    EXPECT_DOUBLE_EQ(s.mHFLow, 0.25);
    EXPECT_GT(ratio(), before);
}

TEST_F(PlotViews, AResizedBoxIsSwappedWhenReversedAndClamped)
{
    ClassifierView& view = Open<ClassifierView>();
    Settings& s = doc->GetSettings();
    struct Case {
        double in[4];
        double rrMin, rrMax, cMin, cMax;
    };
    const Case cases[] = {
        { { 500, 1200, 0.5, 2.0 }, 0.5, 1.2, 0.5, 2.0 },
        { { 1200, 500, 2.0, 0.5 }, 0.5, 1.2, 0.5, 2.0 }, // dragged past each other
        { { -100, 90000, -1, 20 }, 0.0, 60.0, 0.0, 10.0 }, // clamped
    };
    for (const Case& c : cases) {
        const KEL::EtchValuesNotice notice { KEL::String(L"classifier_box"), c.in, 4 };
        view.OnPlotNotice(KEL::kBoxResized, &notice);
        EXPECT_DOUBLE_EQ(s.mRRMin, c.rrMin);
        EXPECT_DOUBLE_EQ(s.mRRMax, c.rrMax);
        EXPECT_DOUBLE_EQ(s.mComplexityMin, c.cMin);
        EXPECT_DOUBLE_EQ(s.mComplexityMax, c.cMax);
    }
    const double other[] = { 1, 2, 3, 4 };
    view.OnBoxResized(L"spectrum_freq_bands", other, 4);
    view.OnBoxResized(L"classifier_box", other, 3);
    EXPECT_DOUBLE_EQ(s.mRRMax, 60.0);
}

TEST_F(PlotViews, AViewWhoseDocumentIsClosedReadsNothing)
{
    // A document of its own, closed while its view is open.
    vx::host::HrvHostDocument host(
        std::make_shared<Recording>(vx::host::ImportWfdb(TestData() / "mitdb" / "100.hea", {})), {});
    vx::integration::InstallExtensionEnumerators(host.Engine());
    auto* parent = new vx::host::HrvHostDocumentObject(host);
    auto* own = new Document(static_cast<IRecordingDocument*>(parent), nullptr, 0);
    own->AddRef();
    host.Attach(static_cast<ICAFCommandHandler*>(own));
    own->Engine().mRR = { 0.8, 0.9, 0.85 };
    auto* ownSite = new caf::HostViewSite(static_cast<IHRVDocument*>(own));
    ownSite->AddRef();
    {
        TachogramView view(ownSite->Frame(), nullptr, nullptr, ownSite, nullptr);
        ASSERT_TRUE(view.Create());
        auto* page = engine.Last();
        IEnumFloatEx* source = view.Source();
        ASSERT_NE(source, nullptr);
        source->AddRef(); // as a page still reading would hold it

        // The host closes the document; whatever its vectors hold afterwards is not the view's.
        own->DisconnectSender();
        own->Engine().mRR = { 0.7, 0.7, 0.7, 0.7 };
        Message(view, Document::MsgIdAnalysisChanged(), 3);
        const std::string id = page->Call("etch_proxy_HasData", "[]");
        EXPECT_EQ(page->ReplyTo(id)->result, R"({"result":false})");
        float values[4];
        ULONG fetched = 9;
        source->Skip(-10, nullptr);
        EXPECT_EQ(source->Next(4, values, &fetched), S_OK);
        EXPECT_EQ(fetched, 0u);
        source->Release();
    }
    ownSite->CloseViews();
    ownSite->Release();
    host.Detach();
    own->Release();
    parent->Release();
}

TEST_F(PlotViews, ClicksShowTheCommentOfTheirBeatUnlessItHasNone)
{
    doc->GetSettings().mShowEventMarkers = true;
    TachogramView& tachogram = Open<TachogramView>();
    PoincareView& poincare = Open<PoincareView>();
    // Out of range, empty and unreadable labels and a point without a record do nothing; none
    // of them may reach past the points.
    const std::size_t n = doc->Engine().mPoincarePoints.size();
    for (const std::wstring& label :
        { std::to_wstring(n) + L"\t0.8", std::wstring(L""), std::wstring(L"x"), std::wstring(L"-1\t0") })
        tachogram.OnTachogramClick(L"", label);
    poincare.OnPlotClick(L"", L"360\t2147483647");
    poincare.OnPlotClick(L"", L"garbage");
    EXPECT_TRUE(sAnalysed->host.shownComments.empty());
}

TEST_F(PlotViews, TheViewsTimerSendsTheKeptMarkupOnceTheIntervalHasPassed)
{
    TachogramView& view = Open<TachogramView>();
    auto* page = engine.Last();
    ResetLatch(view);
    Changing(view, 0);
    const std::size_t sent = MarkupScripts(page).size();
    now += 0.01;
    Message(view, Document::MsgIdAnalysisChanged(), 3);
    ASSERT_TRUE(view.HasPendingMarkup());
    now += 0.05; // the interval is over; the window's timer is due within a few milliseconds
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    vx::ui::MSG msg;
    while (view.HasPendingMarkup() && std::chrono::steady_clock::now() < deadline)
        if (vx::ui::PeekMessage(&msg, nullptr, 0, 0, vx::ui::PM_REMOVE))
            vx::ui::DispatchMessage(&msg);
    EXPECT_FALSE(view.HasPendingMarkup());
    EXPECT_EQ(MarkupScripts(page).size(), sent + 1);
}
