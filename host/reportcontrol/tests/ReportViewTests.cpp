// The HRV report view of the real extension, loaded as the desktop host loads it, over the host's
// report control with the fake web view: the page it shows follows the analysis, Copy puts the
// page on the clipboard as text and as "HTML Format" with offsets that hold, Print writes the
// shown page into a PDF, and a view without a control or without a document still answers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "host/tests/HrvExtensionTest.h"
#include "hostframework/docview/ViewBase.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/interfaces/ReportInterfaces.h"
#include "reportcontrol/ReportControl.h"
#include "text/Unicode.h"
#include "ui/Desktop.h"
#include "ui/Window.h"
#include "varnex/startup/ExtensionLoader.h"
#include "varnex/views/ViewFrames.h"
#include "webview/FakeWebView.h"

namespace {

namespace fs = std::filesystem;
namespace ui = vx::ui;

constexpr DWORD kMsgCopy = 0x80010008u, kMsgPrint = 0x8001000Bu, kMsgQuery = 0x8001000Cu;
constexpr DWORD kCmdSettings = 1, kCmdReportView = 3, kCmdAllBeatsNormal = 13, kCmdAnalyse = 18;

using vx::com::Query;

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::wstring ClipboardUnicode()
{
    auto bytes = ui::GetClipboardData(ui::CF_UNICODETEXT);
    if (!bytes || bytes->size() < sizeof(wchar_t))
        return L"(none)";
    std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes->data(), text.size() * sizeof(wchar_t));
    EXPECT_EQ(text.back(), L'\0') << "the text carries its terminating zero";
    text.pop_back();
    return text;
}

std::string ClipboardBytes(const wchar_t* format)
{
    auto bytes = ui::GetClipboardData(ui::RegisterClipboardFormat(format));
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("(none)");
}

// The "HTML Format" text read as a program that pastes it would: the header's four offsets,
// checked against the places they name; the fragment between the two comments.
struct HtmlClip {
    unsigned startHtml = 0, endHtml = 0, startFragment = 0, endFragment = 0;
    std::string fragment;
};
HtmlClip ParseHtmlClip(std::string clip)
{
    HtmlClip c;
    EXPECT_FALSE(clip.empty());
    EXPECT_EQ(clip.back(), '\0') << "the clipboard copy carries its terminating zero";
    if (!clip.empty() && clip.back() == '\0')
        clip.pop_back();
    const auto field = [&](const char* name) {
        const std::size_t at = clip.find(name);
        EXPECT_NE(at, std::string::npos) << name;
        const std::string digits = clip.substr(at + std::strlen(name), 8);
        EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
        EXPECT_EQ(clip.substr(at + std::strlen(name) + 8, 2), "\r\n");
        return static_cast<unsigned>(std::stoul(digits));
    };
    EXPECT_EQ(clip.rfind("Version:0.9\r\n", 0), 0u);
    c.startHtml = field("StartHTML:");
    c.endHtml = field("EndHTML:");
    c.startFragment = field("StartFragment:");
    c.endFragment = field("EndFragment:");
    EXPECT_EQ(c.endHtml, clip.size());
    EXPECT_EQ(clip.substr(c.startHtml, 6), "<html>");
    EXPECT_EQ(clip.substr(c.startFragment, 13), "<!--StartFrag");
    EXPECT_EQ(clip.substr(c.endFragment, 11), "<!--EndFrag");
    EXPECT_EQ(clip.substr(c.endHtml - 7), "</html>");
    const std::size_t open = clip.find("-->\r\n", c.startFragment);
    if (open != std::string::npos && c.endFragment >= open + 5 + 2)
        c.fragment = clip.substr(open + 5, c.endFragment - (open + 5) - 2);
    return c;
}

std::string TempPath(const std::string& name)
{
    return (fs::temp_directory_path() / (std::to_string(::getpid()) + "-" + name)).string();
}

// MIT-BIH record 100 in the host's recording document, its HRV document opened through the
// extension's document class and analysed as the desktop host's HRV menu does it; the document's
// views open in host frames with the host's report control (over the fake web view unless a test
// takes the engine away).
class ReportViewOfRecord : public vx::host::test::HrvExtensionTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mReportControl.Registered());
        caf::SetApplicationFlag(L"kel\\application\\visible", false);
        ASSERT_NO_FATAL_FAILURE(HrvExtensionTest::SetUp());

        vx::host::HrvHostOptions options;
        options.messageBoxAnswer = ui::IDOK;
        options.settingsDialog = [](HRV::ISettingsEditor&) { return 1; };
        mHost = std::make_unique<vx::host::HrvHostDocument>(
            std::make_shared<vx::host::Recording>(vx::host::ImportFile(VX_SAMPLE_RECORD)), options);
        mHost->RegisterEnumerators(mClassObjects);
        for (IUnknown* c : mClassObjects)
            if (const auto documentClass = Query<ICustomDocClass>(c))
                documentClass->RegisterCommands(Query<ICAFCommandHandler>(c).Get(), 0);
        const auto commands = caf::RegisteredCommands();
        auto hrv = std::find_if(commands.begin(), commands.end(),
            [](const caf::RegisteredCommand& c) { return c.path.rfind(L"HRV|", 0) == 0; });
        ASSERT_NE(hrv, commands.end());
        mHostObject = new vx::host::HrvHostDocumentObject(*mHost);
        mRecording = new caf::HostDocument(L"100.hea", static_cast<HRV::IDataPadSource*>(mHostObject));
        mRecording->AddRef();
        HRESULT hr = E_FAIL;
        ICustomDocument2* document = mRecording->OpenDocument(hrv->classGuid, 0, &hr);
        ASSERT_TRUE(document) << std::hex << hr;
        mCommands = Query<ICAFCommandHandler>(document);
        ASSERT_TRUE(mCommands);
        WORD typeIndex = 0;
        if (const auto types = Query<ITypeIdRegistry>(mFramework->Object()))
            types->GetTypeIndex(hrv->classGuid, &typeIndex);
        mClassKey = DWORD(typeIndex) << 16;
        mHostObject->AttachChild(mClassKey, document);
        mHost->Attach(document);
        mAttached = true;
    }

    void TearDown() override
    {
        mViews.reset();
        if (mHost) {
            mHost->options.openView = nullptr;
            mHost->options.updated = nullptr;
        }
        if (mAttached) {
            mHost->Detach();
            mHostObject->DetachChildren();
        }
        mCommands.Reset();
        if (mRecording)
            mRecording->Release();
        if (mHostObject)
            static_cast<HRV::IDataPadSource*>(mHostObject)->Release();
        mHost.reset();
        HrvExtensionTest::TearDown();
        ui::SetPrintToFile("");
    }

    // The host's view frames of the recording, told of the document's updates.
    void OpenViewFrames(IUnknown* document)
    {
        mViews = std::make_unique<varnex::ViewFrames>(mClassObjects, nullptr, document);
        mHost->options.openView = [this](DWORD classId) { return mViews->Open(classId); };
        mHost->options.updated = [this](DWORD id, DWORD code) { mViews->Notify(id, code); };
    }
    HRESULT Command(DWORD number) { return mCommands->OnCommand(mClassKey | number); }
    void Analyse()
    {
        ASSERT_TRUE(SUCCEEDED(Command(kCmdSettings)));
        ASSERT_TRUE(SUCCEEDED(Command(kCmdAnalyse)));
    }
    // The report the extension gives the host without a window (what `--report` writes).
    std::wstring ReportOfTheRecording()
    {
        for (IUnknown* c : mClassObjects)
            if (const auto source = Query<IReportSource>(c)) {
                IKELString* text = nullptr;
                source->GetReport(static_cast<IHostDocumentData*>(mRecording), &text);
                KEL::String page;
                page.AssignRep(text);
                return page.ToWString();
            }
        return L"(no report source)";
    }
    DWORD ReportClassId()
    {
        DWORD id = 0;
        for (IUnknown* o : mClassObjects)
            if (const auto v = Query<IDocViewClass>(o)) {
                IKELString* name = nullptr;
                KEL::String text;
                if (SUCCEEDED(v->GetName(&name)))
                    text.AssignRep(name);
                if (text.ToWString() == L"HRV Report View")
                    v->GetClassId(&id);
            }
        return id;
    }
    ui::HWND ReportWindow()
    {
        const auto& sites = mViews->Sites();
        if (sites.empty() || sites.back()->Views().empty())
            return nullptr;
        const ui::HWND client = sites.back()->ClientWindowOf(sites.back()->Views().back());
        return client ? ui::GetWindow(client, ui::GW_CHILD) : nullptr;
    }

    std::unique_ptr<vx::webview::FakeEngine> mEngine = std::make_unique<vx::webview::FakeEngine>();
    vx::host::ReportControlRegistration mReportControl;
    std::unique_ptr<vx::host::HrvHostDocument> mHost;
    vx::host::HrvHostDocumentObject* mHostObject = nullptr;
    caf::HostDocument* mRecording = nullptr;
    vx::com::Ref<ICAFCommandHandler> mCommands;
    DWORD mClassKey = 0;
    bool mAttached = false;
    std::unique_ptr<varnex::ViewFrames> mViews;
};

TEST_F(ReportViewOfRecord, ShowsTheReportOfTheAnalysisAndFollowsItsChanges)
{
    OpenViewFrames(static_cast<IHostDocumentData*>(mRecording));
    Analyse();
    ASSERT_EQ(Command(kCmdReportView), S_OK);
    ASSERT_EQ(mViews->Sites().size(), 1u);
    vx::webview::FakeWebView* page = mEngine->Last();
    ASSERT_TRUE(page);
    const std::wstring report = ReportOfTheRecording();
    ASSERT_EQ(report.rfind(L"<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(page->html, vx::text::UnitsToUtf8(report));
    const std::string before = page->html;
    EXPECT_NE(before.find("<td class=\"rowtitle\">Included Ectopic Beats</td>"), std::string::npos);

    // Every beat made normal: the analysis changes and the page with it, without opening anything.
    ASSERT_TRUE(SUCCEEDED(Command(kCmdAllBeatsNormal)));
    EXPECT_EQ(mEngine->Live().size(), 1u);
    EXPECT_EQ(page->html, vx::text::UnitsToUtf8(ReportOfTheRecording()));
    EXPECT_NE(page->html.find("<td class=\"rowtitle\">Included Ectopic Beats</td><td>0</td>"), std::string::npos);
    EXPECT_NE(page->html, before);

    // The control fills the view, as the view's size changes.
    const ui::HWND view = ReportWindow();
    ASSERT_TRUE(view);
    ui::MoveWindow(view, 0, 0, 420, 310, true);
    EXPECT_EQ(page->width, 420);
    EXPECT_EQ(page->height, 310);
    ui::Rect widget;
    ui::GetClientRect(page->widgetWindow, &widget);
    EXPECT_EQ(widget.Width(), 420);
    EXPECT_EQ(widget.Height(), 310);

    // Closing the view ends its web view.
    mViews->CloseAll();
    EXPECT_TRUE(mEngine->Live().empty());
    EXPECT_EQ(mEngine->destroyed, mEngine->created);
}

TEST_F(ReportViewOfRecord, CopyPlacesThePageAsTextAndAsHtmlWithOffsetsThatHold)
{
    OpenViewFrames(static_cast<IHostDocumentData*>(mRecording));
    Analyse();
    ASSERT_EQ(Command(kCmdReportView), S_OK);
    bool enabled = false;
    std::wstring text;
    ASSERT_TRUE(mViews->EnableOnActiveView(ViewBase::kCmdCopy, enabled, text));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(text, L"Copy HRV Report");
    ASSERT_TRUE(mViews->EnableOnActiveView(ViewBase::kCmdPrint, enabled, text));
    EXPECT_TRUE(enabled);
    EXPECT_EQ(text, L"Print HRV Report");

    ASSERT_EQ(mViews->SendToActiveView(kMsgCopy), S_OK);
    const std::wstring report = ReportOfTheRecording();
    EXPECT_EQ(ClipboardUnicode(), report);
    const std::string utf8 = vx::text::UnitsToUtf8(report);
    const HtmlClip clip = ParseHtmlClip(ClipboardBytes(L"HTML Format"));
    const unsigned n = static_cast<unsigned>(utf8.size());
    EXPECT_EQ(clip.startHtml, 97u);
    EXPECT_EQ(clip.startFragment, 111u);
    EXPECT_EQ(clip.endFragment, 136u + n);
    EXPECT_EQ(clip.endHtml, 172u + n);
    EXPECT_EQ(clip.fragment, utf8);
    EXPECT_EQ(ClipboardBytes(L"text/html"), utf8);
    // The report holds a character beyond ASCII (the micro sign of its units): the offsets count
    // bytes of UTF-8, not characters.
    EXPECT_NE(utf8.size(), report.size());

    // The message the view answers S_FALSE to is not taken.
    EXPECT_EQ(mViews->SendToActiveView(kMsgQuery), S_FALSE);
}

TEST_F(ReportViewOfRecord, PrintWritesTheShownPageIntoThePdfWithItsHeadings)
{
    OpenViewFrames(static_cast<IHostDocumentData*>(mRecording));
    Analyse();
    ASSERT_EQ(Command(kCmdReportView), S_OK);
    vx::webview::FakeWebView* page = mEngine->Last();
    ASSERT_TRUE(page);
    const std::string pdf = TempPath("report.pdf");
    ui::SetPrintToFile(pdf);
    ASSERT_EQ(mViews->SendToActiveView(kMsgPrint), S_OK);
    ASSERT_EQ(page->printed.size(), 1u);
    EXPECT_EQ(page->printed[0].title, "Print HRV Report");
    EXPECT_EQ(page->printed[0].html, page->html);
    ASSERT_TRUE(fs::exists(pdf));
    const std::string text = Lower(Shell("pdftotext '" + pdf + "' -"));
    fs::remove(pdf);
    for (const char* heading : { "general", "time-domain", "frequency-domain", "nonlinear", "average rr", "sd1" })
        EXPECT_NE(text.find(heading), std::string::npos) << heading << "\n" << text;
    // A measured value, as the page shows it.
    const std::string cell = "<td class=\"rowtitle\">SD1</td><td>";
    const std::size_t at = page->html.find(cell);
    ASSERT_NE(at, std::string::npos);
    const std::string sd1
        = page->html.substr(at + cell.size(), page->html.find('<', at + cell.size()) - at - cell.size());
    EXPECT_NE(text.find("sd1 " + Lower(sd1)), std::string::npos) << sd1;

    // Without a file to print into, the engine's print dialog is asked; cancelling it prints nothing.
    ui::SetPrintToFile("");
    ASSERT_EQ(mViews->SendToActiveView(kMsgPrint), S_OK);
    ASSERT_EQ(page->printed.size(), 2u);
    EXPECT_EQ(page->printed[1].path, "");
}

TEST_F(ReportViewOfRecord, WithoutABrowserEngineTheViewOpensAndCopiesWithoutAControl)
{
    mEngine.reset(); // the headless window system alone: no web view can be made
    OpenViewFrames(static_cast<IHostDocumentData*>(mRecording));
    Analyse();
    ASSERT_EQ(Command(kCmdReportView), S_OK);
    const ui::HWND view = ReportWindow();
    ASSERT_TRUE(view);
    EXPECT_EQ(ui::GetWindow(view, ui::GW_CHILD), nullptr) << "no control window is left behind";
    ui::MoveWindow(view, 0, 0, 200, 100, true);
    ui::SetPrintToFile(TempPath("never.pdf"));
    EXPECT_EQ(mViews->SendToActiveView(kMsgPrint), S_OK);
    EXPECT_FALSE(fs::exists(TempPath("never.pdf")));
    ASSERT_TRUE(SUCCEEDED(Command(kCmdAllBeatsNormal)));
    ASSERT_EQ(mViews->SendToActiveView(kMsgCopy), S_OK);
    EXPECT_EQ(ClipboardUnicode(), ReportOfTheRecording());
}

TEST_F(ReportViewOfRecord, ASentenceStandsInForThePageWhenThereIsNoAnalysis)
{
    struct Case {
        const char* what;
        bool withDocument;
        bool analysed;
        std::wstring expected;
    };
    const Case cases[] = {
        { "a document not analysed yet", true, false, L"The report is unavailable as HRV has not been analyzed." },
        { "no document given to the view", false, true, L"The report is unavailable as HRV has not been analyzed." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenViewFrames(c.withDocument ? static_cast<IHostDocumentData*>(mRecording) : nullptr);
        if (c.analysed)
            Analyse();
        ASSERT_EQ(mViews->Open(ReportClassId()), S_OK);
        vx::webview::FakeWebView* page = mEngine->Last();
        ASSERT_TRUE(page);
        EXPECT_EQ(page->html, vx::text::UnitsToUtf8(c.expected));
        ASSERT_EQ(mViews->SendToActiveView(kMsgCopy), S_OK);
        EXPECT_EQ(ClipboardUnicode(), c.expected);
        EXPECT_EQ(ParseHtmlClip(ClipboardBytes(L"HTML Format")).fragment, vx::text::UnitsToUtf8(c.expected));
        mViews->CloseAll();
    }
}

} // namespace
