#pragma once
// The report control: an HTML view the host makes inside an extension's window. The extension
// hands it a callback object through which the control fetches the page it shows; the control
// shows, resizes, reloads and prints that page. The host registers the control's factory as a
// class object (kClsid); an extension reaches it only through this header.
#include <cstdint>
#include <string>

#include "com/Unknown.h"
#include "hostframework/interfaces/DocViewInterfaces.h"

namespace ManagedReportView {

// A rectangle in the parent's client coordinates.
struct PosRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// What the control asks of the window that shows it.
struct IInteropInterface {
    // The page to show: false, with `html` left alone, when there is none.
    virtual bool GetHtml(std::wstring& html) = 0;
    // Reserved: answers 0.
    virtual int Reserved() = 0;

protected:
    ~IInteropInterface() = default;
};

// The control. It belongs to whoever made it through the factory, who ends it with Destroy (never
// with delete: the control lives in the host's module).
struct IReportControl {
    // Fills the given size of the parent's client area (from its top-left corner).
    virtual void SetSize(std::int32_t width, std::int32_t height) = 0;
    // Moves and sizes the control in its parent.
    virtual void SetPosition(const PosRect& rect) = 0;
    // Fetches the page again through GetHtml and shows it (an empty page when there is none).
    virtual void Reload() = 0;
    // The child window that shows the page.
    virtual WindowHandle Window() = 0;
    // The page last fetched, as UTF-8 (empty when GetHtml gave none).
    virtual std::string ShownHtml() = 0;
    // How many times the page has been fetched.
    virtual int ReloadCount() = 0;
    // Prints the shown page into a PDF file without asking; false when it could not.
    virtual bool PrintToFile(const wchar_t* title, const char* pdfPath) = 0;
    // Prints the shown page with `title` as the job's title: into the process's print-to-file
    // PDF when one is set, else through the browser engine's print dialog. False when cancelled
    // or failed.
    virtual bool Print(const wchar_t* title) = 0;
    // Ends the control and its window.
    virtual void Destroy() = 0;

protected:
    ~IReportControl() = default;
};

// The host's class object that makes report controls.
struct IReportControlFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4F1C2A9E-8B37-4D65-9E02-7A3C5B61D8F4}");
    static constexpr CLSID kClsid = vx::com::MakeGuid("{B7E40D12-3C59-4A8F-A61B-2D9F07C3E5A1}");
    // Makes a control as a child of `parent` at `rect`; null when none can be made (no parent
    // window, no host object, no browser engine: the headless window system without a display).
    virtual IReportControl* CreateReportControl(WindowHandle parent, IInteropInterface* host, const PosRect& rect) = 0;

protected:
    ~IReportControlFactory() = default;
};

} // namespace ManagedReportView
