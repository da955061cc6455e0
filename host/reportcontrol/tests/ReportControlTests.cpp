// The host's report control over the fake web view: made only where it can show pages, it shows
// what its host object gives on every reload, fills the size it is given and prints the shown page
// into a PDF; extensions reach it through the factory in the class-object table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "com/ClassObjects.h"
#include "reportcontrol/ReportControl.h"
#include "ui/Desktop.h"
#include "ui/Window.h"
#include "webview/FakeWebView.h"

namespace {

namespace ui = vx::ui;
using namespace ManagedReportView;

class Host final : public IInteropInterface {
public:
    bool GetHtml(std::wstring& html) override
    {
        ++asked;
        if (page.empty())
            return false;
        html = page;
        return true;
    }
    int Reserved() override { return 0; }
    std::wstring page;
    int asked = 0;
};

ui::HWND Parent()
{
    static const bool registered = ui::RegisterClass({ L"ReportControlTestParent", 0, ui::DefWindowProc });
    (void)registered;
    return ui::CreateWindowEx(
        0, L"ReportControlTestParent", L"", ui::WS_OVERLAPPED, 0, 0, 640, 480, nullptr, 0, nullptr);
}

IReportControl* MakeThroughFactory(ui::HWND parent, IInteropInterface* host, const PosRect& rect)
{
    IReportControlFactory* factory = nullptr;
    if (FAILED(CoGetClassObject(IReportControlFactory::kClsid, CLSCTX_SERVER, nullptr, IReportControlFactory::kIid,
            reinterpret_cast<void**>(&factory))))
        return nullptr;
    IReportControl* control = factory->CreateReportControl(parent, host, rect);
    factory->Release();
    return control;
}

TEST(ReportControl, ShowsWhatItsHostGivesOnEveryReloadAndFillsItsSize)
{
    vx::webview::FakeEngine engine;
    vx::host::ReportControlRegistration registration;
    const ui::HWND parent = Parent();
    Host host;
    IReportControl* control = MakeThroughFactory(parent, &host, { 10, 20, 300, 200 });
    ASSERT_TRUE(control);
    vx::webview::FakeWebView* view = engine.Last();
    ASSERT_TRUE(view);
    EXPECT_EQ(host.asked, 0) << "nothing is fetched before the first reload";
    EXPECT_EQ(ui::GetParent(control->Window()), parent);
    EXPECT_EQ(ui::GetParent(view->widgetWindow), control->Window());

    struct Step {
        std::wstring page;
        std::string shown;
    };
    const Step steps[] = {
        { L"", "" }, // no page: an empty one
        { L"<p>R\u00E9sum\u00E9</p>", "<p>R\xC3\xA9sum\xC3\xA9</p>" },
        { L"<p>second</p>", "<p>second</p>" },
        { L"", "" },
    };
    int reloads = 0;
    for (const Step& s : steps) {
        host.page = s.page;
        control->Reload();
        EXPECT_EQ(control->ReloadCount(), ++reloads);
        EXPECT_EQ(host.asked, reloads);
        EXPECT_EQ(view->html, s.shown);
        EXPECT_EQ(control->ShownHtml(), s.shown);
    }

    control->SetSize(500, 400);
    ui::Rect r;
    ui::GetWindowRect(control->Window(), &r);
    ui::Point origin { r.left, r.top };
    ui::ScreenToClient(parent, &origin);
    EXPECT_EQ(origin.x, 10);
    EXPECT_EQ(origin.y, 20);
    EXPECT_EQ(r.Width(), 500);
    EXPECT_EQ(r.Height(), 400);
    EXPECT_EQ(view->width, 500);
    EXPECT_EQ(view->height, 400);
    control->SetPosition({ 0, 0, 50, 40 });
    ui::GetClientRect(view->widgetWindow, &r);
    EXPECT_EQ(r.Width(), 50);
    EXPECT_EQ(r.Height(), 40);

    const ui::HWND window = control->Window();
    control->Destroy();
    EXPECT_FALSE(ui::IsWindow(window));
    EXPECT_TRUE(engine.Live().empty());
    ui::DestroyWindow(parent);
}

TEST(ReportControl, IsNotMadeWhereItCouldNotWork)
{
    const ui::HWND parent = Parent();
    Host host;
    {
        // No browser engine (the headless window system without a display).
        EXPECT_EQ(vx::host::HtmlReportControl::Create(parent, &host, { 0, 0, 10, 10 }), nullptr);
        ui::HWND child = ui::GetWindow(parent, ui::GW_CHILD);
        EXPECT_EQ(child, nullptr) << "no window is left behind";
    }
    vx::webview::FakeEngine engine;
    EXPECT_EQ(vx::host::HtmlReportControl::Create(nullptr, &host, { 0, 0, 10, 10 }), nullptr);
    EXPECT_EQ(vx::host::HtmlReportControl::Create(parent, nullptr, { 0, 0, 10, 10 }), nullptr);
    engine.failCreate = true;
    EXPECT_EQ(vx::host::HtmlReportControl::Create(parent, &host, { 0, 0, 10, 10 }), nullptr);
    EXPECT_EQ(engine.created, 0);
    // Without the registration there is no factory to reach.
    EXPECT_EQ(MakeThroughFactory(parent, &host, { 0, 0, 10, 10 }), nullptr);
    ui::DestroyWindow(parent);
}

TEST(ReportControl, PrintsTheShownPageIntoAPdf)
{
    vx::webview::FakeEngine engine;
    const ui::HWND parent = Parent();
    Host host;
    host.page = L"<html><head><title>t</title><style>h3 { color: red; }</style></head><body><h3>Time-Domain</h3>"
                L"<table><tr><td>RMSSD</td><td>41 ms</td></tr></table></body></html>";
    IReportControl* control = vx::host::HtmlReportControl::Create(parent, &host, { 0, 0, 300, 200 });
    ASSERT_TRUE(control);
    control->Reload();
    const std::string pdf
        = (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-control.pdf")).string();
    EXPECT_FALSE(control->PrintToFile(L"Report", ""));
    ASSERT_TRUE(control->PrintToFile(L"Report", pdf.c_str()));
    std::string text;
    if (FILE* pipe = popen(("pdftotext '" + pdf + "' -").c_str(), "r")) {
        char buffer[1024];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    std::filesystem::remove(pdf);
    EXPECT_NE(text.find("Time-Domain"), std::string::npos) << text;
    EXPECT_NE(text.find("RMSSD 41 ms"), std::string::npos) << text;
    EXPECT_EQ(text.find("color"), std::string::npos) << "style text is not page text";

    // Print asks the engine's dialog when the process has no file to print into.
    ui::SetPrintToFile("");
    engine.Last()->printDialogAnswer = WEBVIEW_ERROR_CANCELED;
    EXPECT_FALSE(control->Print(L"Print HRV Report"));
    engine.Last()->printDialogAnswer = WEBVIEW_ERROR_OK;
    EXPECT_TRUE(control->Print(L"Print HRV Report"));
    EXPECT_EQ(engine.Last()->printed.back().path, "");
    EXPECT_EQ(engine.Last()->printed.back().title, "Print HRV Report");
    control->Destroy();
    ui::DestroyWindow(parent);
}

} // namespace
