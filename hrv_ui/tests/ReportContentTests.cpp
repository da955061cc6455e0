// The report page of a fixed analysis: every placeholder's value and number format, the measures
// that are missing, the two sentences shown in place of the page, the host's time texts and the
// module's own template.
#include <gtest/gtest.h>

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "com/Bstr.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hrv/document/Document.h"
#include "hrv_ui/ReportContent.h"

using namespace HRV;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Two records at 360 Hz: one minute from 0 s, two minutes from 100 s.
std::shared_ptr<vx::host::Recording> TwoRecords()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->AddChannel(channel);
    const std::pair<double, int64_t> records[] = { { 0.0, 360 * 60 }, { 100.0, 360 * 120 } };
    for (const auto& [start, length] : records) {
        const int i = r->AddRecord(1.0 / 360, start);
        r->records[static_cast<std::size_t>(i)].channels[0].Append(
            std::vector<float>(static_cast<std::size_t>(length)));
        r->records[static_cast<std::size_t>(i)].length = length;
    }
    return r;
}

// A document with a fixed analysis on the host's recording document. The numbers are chosen so
// that a wrong divisor (N for N - 1), a wrong scale or a wrong format shows in the text.
struct FixedAnalysis {
    FixedAnalysis()
        : host(TwoRecords(), Options())
    {
        document->AddRef();
        Settings& s = document->GetSettings();
        s.mRangeStart = { 3600, 0 }; // 10 s into the first record
        s.mRangeEnd = { kPositionNotSet, 1 }; // the end of the second record
        s.mPRRThreshold = 0.05;
        s.mVLFLow = 0.0033, s.mVLFHigh = 0.04;
        s.mLFLow = 0.04, s.mLFHigh = 0.15;
        s.mHFLow = 0.15, s.mHFHigh = 0.4;
        AnalysisEngine& e = document->Engine();
        e.mRR = { 0.7, 0.8, 0.9, 0.8 };
        e.mNormalCount = 3;
        e.mEctopicCount = 1;
        IntervalStats& st = e.mStats;
        st.mCount = 4;
        st.mSumRR = 3.2; // mean 0.8 s
        st.mMedianRR = 0.0004;
        st.mM2RR = 0.03; // SDRR 0.1 s (over N: 86.6 ms)
        st.mSumRate = 5.0; // 75 BPM
        st.mM2Rate = 0.0075; // SD rate 3 BPM
        st.mM2DeltaRR = 0.0012; // SDSD 20 ms, SD1 14.14 ms
        st.mSumSqDeltaRR = 0.0036; // RMSSD 30 ms
        st.mCountOverThreshold = 1;
        e.mSegments.mNumSegments = 3;
        e.mSegments.mM2OfMeans = 0.0008; // SDARR 20 ms
        e.mSpectrum.mTotalPower = 0.00125;
        e.mSpectrum.mVLFPower = 0.00025;
        e.mSpectrum.mLFPower = 0.0006;
        e.mSpectrum.mHFPower = 0.0004;
    }
    ~FixedAnalysis()
    {
        document->Release();
        recording->Release();
    }
    static vx::host::HrvHostOptions Options()
    {
        vx::host::HrvHostOptions o;
        o.windowName = L"Rec <1> & \"co\"";
        return o;
    }
    // The report of the fixed analysis from a template of its own.
    std::vector<std::wstring> Fields(const KEL::String& reportTemplate)
    {
        KEL::String out;
        EXPECT_EQ(BuildReport(reportTemplate, document, document->GetSettings(), recording, out), ReportKind::Page);
        std::vector<std::wstring> fields;
        std::wstring field;
        for (wchar_t c : out.View()) {
            if (c == L'|') {
                fields.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        fields.push_back(field);
        return fields;
    }
    std::vector<std::wstring> Fields()
    {
        std::wstring all;
        for (int i = 1; i <= 38; ++i)
            all += (i > 1 ? L"|%" : L"%") + std::to_wstring(i) + L"%";
        return Fields(KEL::String(all));
    }

    vx::host::HrvHostDocument host;
    vx::host::HrvHostDocumentObject* recording = new vx::host::HrvHostDocumentObject(host);
    Document* document = new Document(nullptr, nullptr, 0);
};

class ReportContent : public caf::test::RegisteredFramework {
protected:
    FixedAnalysis fixed;
    Document* document = fixed.document;
    IRecordingDocument* recording = fixed.recording;
};

TEST_F(ReportContent, EveryPlaceholderOfAFixedAnalysis)
{
    const wchar_t* const expected[38] = {
        L"Rec &lt;1&gt; &amp; &quot;co&quot;", // window name, escaped for the page
        L"1", L"0:00:10.000", // start: block 1, 10 s
        L"2", L"0:03:40.000", // end of block 2: 100 s + 120 s
        L"4", L"3", L"1", // beats
        L"800 ms", L"400 \u00B5s", L"100 ms", L"20 ms", L"0.125", // RR, median, SDRR, SDARR, CVRR
        L"75 BPM", L"3 BPM", L"20 ms", L"30 ms", // rate, SD rate, SDSD, RMSSD
        L"50", L"25 %", // pRR50
        L"0.0033", L"0.04 Hz", L"0.04", L"0.15 Hz", L"0.15", L"0.4 Hz", // bands
        L"ms\u00B2", // power unit
        L"1250", L"250", L"20", L"600", L"48", L"60", L"400", L"32", L"40", L"1.5", // powers
        L"14.14 ms", L"140.7 ms", // SD1, SD2
    };
    auto references = [&] {
        recording->AddRef();
        return recording->Release();
    };
    const ULONG before = references();
    const long bstrs = vx::com::LiveBstrCount();
    const std::vector<std::wstring> fields = fixed.Fields();
    ASSERT_EQ(fields.size(), 38u);
    for (std::size_t i = 0; i < 38; ++i)
        EXPECT_EQ(fields[i], expected[i]) << "%" << i + 1 << "%";
    // What the report asked of the host it let go of.
    EXPECT_EQ(references(), before);
    EXPECT_EQ(vx::com::LiveBstrCount(), bstrs);
}

TEST_F(ReportContent, MissingMeasuresAreADash)
{
    struct Case {
        const char* what;
        void (*change)(AnalysisEngine&);
        std::vector<int> dashes; // placeholders written "-"
    };
    const Case cases[] = {
        { "no total power", [](AnalysisEngine& e) { e.mSpectrum.mTotalPower = 0.0, e.mSpectrum.mVLFPower = 0.0; },
            { 29, 31, 32, 34, 35 } },
        { "no HF power", [](AnalysisEngine& e) { e.mSpectrum.mHFPower = 0.0; }, { 36 } },
        { "all power below LF", [](AnalysisEngine& e) { e.mSpectrum.mVLFPower = e.mSpectrum.mTotalPower; },
            { 32, 35 } },
        { "one SDARR segment", [](AnalysisEngine& e) { e.mSegments.mNumSegments = 1; }, { 12 } },
        { "a spectrum that could not be computed",
            [](AnalysisEngine& e) {
                e.mSpectrum.mTotalPower = kNaN, e.mSpectrum.mVLFPower = kNaN;
                e.mSpectrum.mLFPower = kNaN, e.mSpectrum.mHFPower = kNaN;
            },
            { 27, 28, 29, 30, 31, 32, 33, 34, 35, 36 } },
        { "a NaN median", [](AnalysisEngine& e) { e.mStats.mMedianRR = kNaN; }, { 10 } },
        { "NaN RR deviations", [](AnalysisEngine& e) { e.mStats.mM2RR = kNaN; }, { 11, 13, 38 } },
        // SDSD 40 ms against SDRR 10 ms: 2 SDRR^2 - SDSD^2 / 2 is -600 ms^2, and SD2 does not exist.
        { "differences wider than the intervals allow",
            [](AnalysisEngine& e) { e.mStats.mM2RR = 0.0003, e.mStats.mM2DeltaRR = 0.0048; }, { 38 } },
    };
    for (const Case& c : cases) {
        FixedAnalysis fixture;
        c.change(fixture.document->Engine());
        const std::vector<std::wstring> fields = fixture.Fields();
        ASSERT_EQ(fields.size(), 38u);
        for (int i = 1; i <= 38; ++i) {
            const bool dash = std::find(c.dashes.begin(), c.dashes.end(), i) != c.dashes.end();
            if (dash)
                EXPECT_EQ(fields[static_cast<std::size_t>(i - 1)], L"-") << c.what << ": %" << i << "%";
            else
                EXPECT_NE(fields[static_cast<std::size_t>(i - 1)], L"-") << c.what << ": %" << i << "%";
        }
    }
}

TEST_F(ReportContent, SentencesInPlaceOfThePage)
{
    const KEL::String reportTemplate(L"%1% %2% %3% %4% %5% %6% %7% %8% %9% %10% %11% %12% %13% %14% %15% %16% %17% "
                                     L"%18% %19% %20% %21% %22% %23% %24% %25% %26% %27% %28% %29% %30% %31% %32% "
                                     L"%33% %34% %35% %36% %37% %38%");
    const std::wstring notAnalysed = L"The report is unavailable as HRV has not been analyzed.";
    const std::wstring tooFew = L"The report is unavailable as there are not enough beats to analyze.";
    Settings& s = document->GetSettings();
    KEL::String out;

    s.mRangeEnd = kUnsetPosition; // start set, end not
    EXPECT_EQ(BuildReport(reportTemplate, document, s, recording, out), ReportKind::NotAnalysed);
    EXPECT_EQ(out.View(), notAnalysed);
    s.mRangeEnd = { 100, 0 };

    document->Engine().mRR = { 0.8, 0.8 };
    EXPECT_EQ(BuildReport(reportTemplate, document, s, recording, out), ReportKind::TooFewBeats);
    EXPECT_EQ(out.View(), tooFew);
    EXPECT_EQ(BuildReport(reportTemplate, nullptr, s, recording, out), ReportKind::TooFewBeats);

    document->Engine().mRR = { 0.8, 0.8, 0.8 };
    EXPECT_EQ(BuildReport(reportTemplate, document, s, recording, out), ReportKind::Page);
    EXPECT_NE(out.View().find(L"800 ms"), std::wstring_view::npos);

    // A template with a placeholder too many is the format's error, not a page.
    EXPECT_THROW(BuildReport(KEL::String(std::wstring(reportTemplate.View()) + L" %39%"), document, s, recording, out),
        boost::io::format_error);
}

// A recording document that answers only the time texts, and records what it is asked.
class TimeTextHost final : public IRecordingDocument {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (iid != IUnknown::kIid && iid != IRecordingDocument::kIid)
            return *out = nullptr, E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    IDocumentHost* DocumentHost() override { return nullptr; }
    HRESULT GetTimeDisplayMode(DWORD* m) override { return *m = mode, S_OK; }
    HRESULT PositionToText(std::int64_t position, DWORD flags, DWORD m, IKELString** out) override
    {
        asked.push_back({ position, flags, m });
        *out = nullptr;
        if (m == 0xBAD)
            return E_FAIL;
        *out = KEL::String(L"t<" + std::to_wstring(flags >> 20) + L">").CopyRep();
        return S_OK;
    }
    struct Call {
        std::int64_t position;
        DWORD flags, mode;
    };
    DWORD mode = 0;
    std::vector<Call> asked;
};

TEST_F(ReportContent, TimeFlagsFollowTheHostsDisplayMode)
{
    struct Case {
        DWORD mode, flags;
        const wchar_t* text;
    };
    const Case cases[] = {
        { 0, 0x10000000u, L"t&lt;256&gt;" }, { 3, 0x10800000u, L"t&lt;264&gt;" },
        { 0x203, 0x10800000u, L"t&lt;264&gt;" }, // only the low byte counts
        { 4, 0x10000000u, L"t&lt;256&gt;" }, { 0xBAD, 0x10000000u, L"-" }, // the host has no text
    };
    for (const Case& c : cases) {
        TimeTextHost times;
        times.mode = c.mode;
        document->GetSettings().mRangeEnd = { 7200, 0 };
        const ReportValues values = MakeReportValues(*document, document->GetSettings(), &times);
        ASSERT_EQ(times.asked.size(), 2u);
        EXPECT_EQ(times.asked[0].position, vx::hf::MakeTickPosition(0, 3600));
        EXPECT_EQ(times.asked[1].position, vx::hf::MakeTickPosition(0, 7200));
        for (const auto& call : times.asked) {
            EXPECT_EQ(call.flags, c.flags) << c.mode;
            EXPECT_EQ(call.mode, c.mode);
        }
        EXPECT_EQ(values[2], c.text);
        EXPECT_EQ(values[0], L""); // no window name
    }
}

TEST_F(ReportContent, TheModulesTemplateMakesThePage)
{
    KEL::String reportTemplate;
    ASSERT_TRUE(LoadReportTemplate(reportTemplate));
    const std::wstring_view t = reportTemplate.View();
    EXPECT_EQ(t.substr(0, 15), L"<!DOCTYPE html>");
    // CR LF line ends throughout.
    const auto lineFeeds = std::count(t.begin(), t.end(), L'\n');
    EXPECT_GT(lineFeeds, 100);
    EXPECT_EQ(std::count(t.begin(), t.end(), L'\r'), lineFeeds);

    KEL::String out;
    ASSERT_EQ(BuildReport(reportTemplate, document, document->GetSettings(), recording, out), ReportKind::Page);
    const std::wstring page(out.View());
    const wchar_t* const parts[] = {
        L"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
        L"<title>Rec &lt;1&gt; &amp; &quot;co&quot;</title>",
        L"font-size: 83.33%;",
        L"<h3>General</h3>",
        L"<tr><td class=\"rowtitle\">Analysis Start</td><td>Block: 1, 0:00:10.000</td></tr>",
        L"<tr><td class=\"rowtitle\">Analysis End</td><td>Block: 2, 0:03:40.000</td></tr>",
        L"<tr><td class=\"rowtitle\">Total Included Beats</td><td>4</td></tr>",
        L"<h3>Time-Domain</h3>",
        L"<tr><td class=\"rowtitle\">Median RR</td><td>400 \u00B5s</td></tr>",
        L"<tr><td class=\"rowtitle\">pRR50</td><td>25 %</td></tr>",
        L"<div class=\"box right\">",
        L"<h3>Frequency-Domain</h3>",
        L"<tr><td class=\"rowtitle\">LF Band</td><td>0.04 - 0.15 Hz</td></tr>",
        L"<tr><th>Band</th><th>Power(ms\u00B2)</th><th>Power(%)</th><th>Power(nu)</th></tr>",
        L"<tr><td class=\"rowtitle\">Total</td><td>1250</td><td></td><td></td></tr>",
        L"<tr><td class=\"rowtitle\">LF</td><td>600</td><td>48</td><td>60</td></tr>",
        L"<tr><td class=\"rowtitle\">LF/HF</td><td></td><td>1.5</td><td></td></tr>",
        L"<h3>Nonlinear</h3>",
        L"<tr><td class=\"rowtitle\">SD2</td><td>140.7 ms</td></tr>",
    };
    for (const wchar_t* part : parts)
        EXPECT_NE(page.find(part), std::wstring::npos) << KEL::String(part).ToUtf8();
    // Every placeholder was filled.
    for (int i = 1; i <= 38; ++i)
        EXPECT_EQ(page.find(L"%" + std::to_wstring(i) + L"%"), std::wstring::npos) << i;
}

} // namespace

TEST_F(ReportContent, TheHostWritesTimesFromTheRecordingsStart)
{
    struct Case {
        HRV::Position position;
        DWORD mode;
        HRESULT result;
        const wchar_t* text;
    };
    const Case cases[] = {
        { { 0, 0 }, 0, S_OK, L"0:00:00.000" }, { { 1, 0 }, 0, S_OK, L"0:00:00.003" }, // one sample at 360 Hz
        { { 0, 1 }, 0, S_OK, L"0:01:40.000" }, // the second record starts at 100 s
        { { 360 * 120, 1 }, 0x100, S_OK, L"0:03:40.000" }, // only the low byte names the mode
        { { 0, 2 }, 0, E_INVALIDARG, nullptr }, // no such record
        { { 0, 0 }, 3, E_INVALIDARG, nullptr }, // a mode this host does not show
    };
    for (const Case& c : cases) {
        IKELString* text = nullptr;
        EXPECT_EQ(recording->PositionToText(
                      vx::hf::MakeTickPosition(c.position.mRecord, c.position.mOffset), 0x10000000u, c.mode, &text),
            c.result);
        KEL::String s;
        s.AssignRep(text);
        EXPECT_EQ(s.View(), c.text ? std::wstring_view(c.text) : std::wstring_view()) << c.position.mOffset;
    }
    DWORD mode = 99;
    EXPECT_EQ(recording->GetTimeDisplayMode(&mode), S_OK);
    EXPECT_EQ(mode, 0u);
}
