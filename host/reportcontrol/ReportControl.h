#pragma once
// The host's report control: an HTML view over the web view, made inside an extension's window.
// It shows the page its callback object gives (fetched again on every Reload), fills the size it
// is given and prints the page through the web view's print operation. Without a browser engine
// (the headless window system without a display) no control is made.
#include <string>

#include "hostframework/interfaces/ReportControlInterfaces.h"
#include "webview/WebView.h"

namespace vx::host {

class HtmlReportControl final : public ManagedReportView::IReportControl {
public:
    // Null when the parent is not a window, the host object is missing or no web view can be made.
    static HtmlReportControl* Create(
        WindowHandle parent, ManagedReportView::IInteropInterface* host, const ManagedReportView::PosRect& rect);

    void SetSize(std::int32_t width, std::int32_t height) override;
    void SetPosition(const ManagedReportView::PosRect& rect) override;
    void Reload() override;
    WindowHandle Window() override { return mWindow; }
    std::string ShownHtml() override { return mShown; }
    int ReloadCount() override { return mReloads; }
    bool PrintToFile(const wchar_t* title, const char* pdfPath) override;
    bool Print(const wchar_t* title) override;
    void Destroy() override;

private:
    explicit HtmlReportControl(ManagedReportView::IInteropInterface* host);
    ~HtmlReportControl();
    bool Make(WindowHandle parent, const ManagedReportView::PosRect& rect);
    bool PrintInto(const wchar_t* title, const std::string& pdfPath);

    ManagedReportView::IInteropInterface* mHost; // not held: the window that made the control owns it
    WindowHandle mWindow = nullptr;
    webview_t mWebView = nullptr;
    std::string mShown;
    int mReloads = 0;
};

// Registers the factory of report controls in the process's class-object table for the object's
// lifetime.
class ReportControlRegistration {
public:
    ReportControlRegistration();
    ~ReportControlRegistration();
    ReportControlRegistration(const ReportControlRegistration&) = delete;
    ReportControlRegistration& operator=(const ReportControlRegistration&) = delete;
    bool Registered() const noexcept { return mCookie != 0; }

private:
    DWORD mCookie = 0;
};

} // namespace vx::host
