#pragma once
// The HRV report view: the window that shows a document's analysis as the HTML report. It does
// not render HTML itself: the host's report control, made as a child of the window, shows the
// page that the window's control host gives it. The page is rebuilt whenever the analysis
// changes; Copy puts it on the clipboard as text and as HTML, Print prints it through the control.
#include <string>

#include "foundation/String.h"
#include "hostframework/docview/ViewBase.h"
#include "hostframework/interfaces/ReportControlInterfaces.h"

namespace HRV {

class Document;

// What the report control reads the page through.
class ReportControlHost final : public ManagedReportView::IInteropInterface {
public:
    // False, with `html` left alone, while there is no page.
    bool GetHtml(std::wstring& html) override;
    int Reserved() override { return 0; }
    void SetHtml(const KEL::String& html) { mHtml = html; }

private:
    KEL::String mHtml;
};

// The host's message ids the view answers, and its preferred size.
inline constexpr DWORD kMsgCopyReport = 0x80010008u;
inline constexpr DWORD kMsgPrintReport = 0x8001000Bu;
inline constexpr DWORD kMsgReportQuery = 0x8001000Cu;
inline constexpr DWORD kEventPreferredSize = 0x80080002u;
inline constexpr int kReportPreferredWidth = 300, kReportPreferredHeight = 200;

// The report placed on the clipboard as "HTML Format": the header with its four offsets, the
// page as the fragment. `utf8` is the whole page.
std::string HtmlClipboardText(const std::string& utf8);

class ReportView final : public ViewBase {
public:
    // `hostDocument` is the recording's host document (not held: it outlives its views); the
    // view finds its HRV document through it. Null: the view shows why there is no report.
    ReportView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module,
        IUnknown* hostDocument);
    ~ReportView() override;

    // Makes the window, then the control, and shows the first report.
    bool Create() override;
    // The control goes before the window it lives in.
    void Destroy() override;

    std::wstring GetCopyCommandText() override;
    std::wstring GetPrintCommandText() override;
    bool CanPrint() override { return true; }
    bool CanCopy() override { return true; }
    bool IsThirdCommandEnabled() override { return false; }

    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override;
    void ForEachEntry(TableEntryAction& action) override;

    HRESULT CopyReport();
    HRESULT PrintReport();
    HRESULT AnswerQuery() { return S_FALSE; }
    void RebuildReport();
    void GetPreferredSize(ULONGLONG flags, ULONGLONG output);

    vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;
    const KEL::String& Report() const noexcept { return mReport; }

private:
    void SetupWindow();
    void EvSize(int width, int height);
    // Builds mReport from mTemplate; a failure becomes the page's text.
    void BuildReportText();
    void ShowReport();
    void DestroyControl();

    IUnknown* mHostDocument; // not held
    Document* mDocument = nullptr; // not held
    ManagedReportView::IReportControl* mControl = nullptr; // owned; ended with Destroy
    ReportControlHost* mControlHost = nullptr; // owned
    KEL::String mTemplate;
    KEL::String mReport;
    bool mHaveTemplate = false;
};

} // namespace HRV
