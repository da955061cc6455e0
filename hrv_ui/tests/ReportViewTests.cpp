// The report view's side of the report control: the calls it makes of a control (recorded by a
// control of the test's own, registered as the host registers its factory), the page it gives the
// control, the error text that stands in for a page that cannot be made, and the "HTML Format"
// text of pages of a few sizes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "com/ClassObjects.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hrv/datapad/Parameters.h"
#include "hrv/document/Document.h"
#include "hrv_ui/ReportContent.h"
#include "hrv_ui/ReportView.h"
#include "res/Resource.h"
#include "ui/Window.h"

using namespace HRV;
using namespace ManagedReportView;
namespace ui = vx::ui;

namespace {

std::vector<std::string> gCalls;

class RecordingControl final : public IReportControl {
public:
    explicit RecordingControl(IInteropInterface* host)
        : mHost(host)
    {
    }
    void SetSize(std::int32_t w, std::int32_t h) override
    {
        gCalls.push_back("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    void SetPosition(const PosRect&) override { gCalls.push_back("position"); }
    void Reload() override
    {
        std::wstring html;
        shown = mHost->GetHtml(html) ? html : L"(none)";
        gCalls.push_back("reload");
    }
    WindowHandle Window() override { return nullptr; }
    std::string ShownHtml() override { return {}; }
    int ReloadCount() override { return 0; }
    bool PrintToFile(const wchar_t*, const char*) override { return false; }
    bool Print(const wchar_t* title) override
    {
        gCalls.push_back("print " + std::string(title, title + std::wcslen(title)));
        return true;
    }
    void Destroy() override
    {
        gCalls.push_back("destroy");
        delete this;
    }
    std::wstring shown;
    static RecordingControl* last;

private:
    IInteropInterface* mHost;
};
RecordingControl* RecordingControl::last = nullptr;

class Factory final : public SimpleUnknownImp1<IReportControlFactory, 0> {
public:
    IReportControl* CreateReportControl(WindowHandle parent, IInteropInterface* host, const PosRect& rect) override
    {
        gCalls.push_back("create " + std::to_string(rect.width) + "x" + std::to_string(rect.height)
            + (parent ? "" : " without parent"));
        return RecordingControl::last = new RecordingControl(host);
    }
};

std::shared_ptr<vx::host::Recording> OneMinute()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup channel;
    channel.title = L"ECG";
    r->AddChannel(channel);
    r->AddRecord(1.0 / 360, 0.0);
    r->records[0].channels[0].Append(std::vector<float>(360 * 60));
    r->records[0].length = 360 * 60;
    return r;
}

ui::HWND Parent()
{
    static const bool registered = ui::RegisterClass({ L"ReportViewTestParent", 0, ui::DefWindowProc });
    (void)registered;
    return ui::CreateWindowEx(0, L"ReportViewTestParent", L"", ui::WS_OVERLAPPED, 0, 0, 400, 300, nullptr, 0, nullptr);
}

// The module's template is replaced for a test and put back afterwards.
class TemplateOverride {
public:
    explicit TemplateOverride(const std::string& text)
    {
        LoadReportTemplate(mSaved);
        Set(text);
    }
    ~TemplateOverride() { Set(mSaved.ToUtf8()); }

private:
    static void Set(const std::string& text)
    {
        static const int anchor = 0;
        vx::res::AddResource(vx::res::ModuleOf(&anchor), RT_HTML, MAKEINTRESOURCEW(kReportTemplateId), 0,
            { reinterpret_cast<const BYTE*>(text.data()), text.size() });
    }
    KEL::String mSaved;
};

class ReportViewWindow : public caf::test::RegisteredFramework {
protected:
    void SetUp() override
    {
        gCalls.clear();
        auto* factory = new Factory;
        factory->AddRef();
        ASSERT_EQ(CoRegisterClassObject(
                      IReportControlFactory::kClsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &mCookie),
            S_OK);
        factory->Release();
        document->AddRef();
        recording->AttachChild(DocumentClassKey(), static_cast<IHRVDocument*>(document));
        Settings& s = document->GetSettings();
        s.mRangeStart = { 0, 0 };
        s.mRangeEnd = { kPositionNotSet, 0 };
        document->Engine().mRR = { 0.8, 0.8, 0.8 };
        document->Engine().mStats.mCount = 3;
        document->Engine().mStats.mSumRR = 2.4;
        mParent = Parent();
    }
    void TearDown() override
    {
        ui::DestroyWindow(mParent);
        CoRevokeClassObject(mCookie);
        recording->DetachChildren();
        document->Close();
        document->Release();
        recording->Release();
    }
    std::unique_ptr<ReportView> MakeView(IUnknown* hostDocument)
    {
        return std::make_unique<ReportView>(mParent, nullptr, nullptr, nullptr, nullptr, hostDocument);
    }
    IUnknown* HostDocument() { return static_cast<IDataPadSource*>(recording); }

    vx::host::HrvHostDocument host { OneMinute() };
    vx::host::HrvHostDocumentObject* recording = new vx::host::HrvHostDocumentObject(host);
    Document* document = new Document(static_cast<IRecordingDocument*>(recording), nullptr, 0);
    DWORD mCookie = 0;
    ui::HWND mParent = nullptr;
};

TEST_F(ReportViewWindow, CallsItsControlInTheOrderOfItsLife)
{
    auto view = MakeView(HostDocument());
    EXPECT_TRUE(gCalls.empty()) << "no control before the window is made";
    ASSERT_TRUE(view->Create());
    RecordingControl* control = RecordingControl::last;
    ASSERT_TRUE(control);
    EXPECT_EQ(control->shown, view->Report().ToWString());
    EXPECT_NE(control->shown.find(L"<td class=\"rowtitle\">Average RR</td><td>800 ms</td>"), std::wstring::npos);

    ui::MoveWindow(view->Handle(), 0, 0, 250, 120, true);
    view->RebuildReport();
    const std::wstring first = control->shown;
    view->RebuildReport(); // nothing changed: the same page
    EXPECT_EQ(control->shown, first);
    document->Engine().mRR = { 0.8, 0.8 }; // fewer than three intervals
    view->RebuildReport();
    EXPECT_EQ(control->shown, L"The report is unavailable as there are not enough beats to analyze.");
    EXPECT_EQ(view->PrintReport(), S_OK);
    std::int32_t size[2] = { 0, 0 };
    view->GetPreferredSize(0, reinterpret_cast<std::uintptr_t>(size));
    EXPECT_EQ(size[0], 300);
    EXPECT_EQ(size[1], 200);
    view.reset();

    const std::vector<std::string> expected = {
        "create 400x300",
        "reload",
        "size 250x120",
        "reload",
        "reload",
        "reload",
        "print Print HRV Report",
        "destroy",
    };
    EXPECT_EQ(gCalls, expected);
}

TEST_F(ReportViewWindow, APageThatCannotBeMadeShowsWhyAndNothingIsThrown)
{
    struct Case {
        const char* what;
        std::string templateText;
        bool withDocument;
        std::wstring starts;
    };
    const Case cases[] = {
        { "a placeholder beyond the values", "<p>%1% %39%</p>", true, L"The report cannot be shown: " },
        { "a malformed directive", "<p>%1% %q</p>", true, L"The report cannot be shown: " },
        { "an empty template", "", true, L"The report cannot be shown: " },
        { "no document", "<p>%1%</p>", false, L"The report is unavailable as HRV has not been analyzed." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemplateOverride bad(c.templateText);
        auto view = MakeView(c.withDocument ? HostDocument() : nullptr);
        ASSERT_TRUE(view->Create());
        EXPECT_EQ(RecordingControl::last->shown.rfind(c.starts, 0), 0u)
            << std::string(RecordingControl::last->shown.begin(), RecordingControl::last->shown.end());
        view->RebuildReport();
        EXPECT_EQ(RecordingControl::last->shown.rfind(c.starts, 0), 0u);
    }
}

TEST(ReportHtmlClipboard, OffsetsNameThePlacesOfTheHeaderAndTheFragment)
{
    for (const std::string& page :
        { std::string(), std::string("x"), std::string("<p>\xC2\xB5s</p>"), std::string(5000, 'a') }) {
        const std::string clip = HtmlClipboardText(page);
        const std::size_t n = page.size();
        char header[200];
        std::snprintf(header, sizeof header,
            "Version:0.9\r\nStartHTML:00000097\r\nEndHTML:%08zu\r\nStartFragment:00000111\r\nEndFragment:%08zu\r\n",
            172 + n, 136 + n);
        EXPECT_EQ(clip.substr(0, 97), header);
        EXPECT_EQ(clip.size(), 172 + n);
        EXPECT_EQ(clip.substr(97, 6), "<html>");
        EXPECT_EQ(clip.substr(111, 23), "<!--StartFragment -->\r\n");
        EXPECT_EQ(clip.substr(134, n), page);
        EXPECT_EQ(clip.substr(136 + n), "<!--EndFragment-->\r\n</body>\r\n</html>");
    }
}

} // namespace
