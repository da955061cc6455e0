#include "hrv_ui/ReportView.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "com/ClassObjects.h"
#include "foundation/ResString.h"
#include "foundation/base/ExceptionBoundary.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/interfaces/RecordingInterfaces.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/datapad/Parameters.h"
#include "hrv/document/Document.h"
#include "hrv_ui/ReportContent.h"
#include "log/Log.h"
#include "res/Resource.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

namespace HRV {

namespace ui = vx::ui;
using namespace ManagedReportView;

namespace {

constexpr UINT kStringCopyReport = 10;
constexpr UINT kStringPrintReport = 11;

const vx::res::StringTableRegistrar kTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { kStringCopyReport, L"Copy HRV Report" },
        { kStringPrintReport, L"Print HRV Report" },
    });

const std::wstring& MenuText(UINT id)
{
    static const int anchor = 0;
    static const std::wstring copy = KEL::GetResString(vx::res::ModuleOf(&anchor), kStringCopyReport, true).ToWString();
    static const std::wstring print
        = KEL::GetResString(vx::res::ModuleOf(&anchor), kStringPrintReport, true).ToWString();
    return id == kStringCopyReport ? copy : print;
}

// The host's report control, made through its factory; null when the host offers none.
IReportControl* CreateReportControl(WindowHandle parent, IInteropInterface* host, const PosRect& rect)
{
    IReportControlFactory* factory = nullptr;
    if (FAILED(CoGetClassObject(IReportControlFactory::kClsid, CLSCTX_SERVER, nullptr, IReportControlFactory::kIid,
            reinterpret_cast<void**>(&factory)))
        || !factory) {
        vx::log::WriteLine("HRV report: the host offers no report control");
        return nullptr;
    }
    IReportControl* control = factory->CreateReportControl(parent, host, rect);
    factory->Release();
    return control;
}

const DWORD* AnalysisChangedId()
{
    static const DWORD id = Document::MsgIdAnalysisChanged();
    return &id;
}
const DWORD* ViewEventId(DWORD low)
{
    static const DWORD base = DWORD(HostTypeIndex(vx::com::MakeGuid("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}"))) << 16;
    static const DWORD ids[2] = { base | 2, base | 8 };
    return low == 2 ? &ids[0] : &ids[1];
}
const DWORD* ViewEvent2()
{
    return ViewEventId(2);
}
const DWORD* ViewEvent8()
{
    return ViewEventId(8);
}

using Rows = EventRows<ReportView>;
const EventTableEntry kReportRows[] = {
    Rows::Header(),
    Rows::Message<&ReportView::CopyReport>(EventIdOf(kMsgCopyReport)),
    Rows::Message<&ReportView::PrintReport>(EventIdOf(kMsgPrintReport)),
    Rows::Message<&ReportView::AnswerQuery>(EventIdOf(kMsgReportQuery)),
    Rows::Observer<&ReportView::RebuildReport>(EventIdOf(&AnalysisChangedId)),
    Rows::ObserverPair<&ReportView::GetPreferredSize>(EventIdOf(kEventPreferredSize)),
    Rows::Observer<&ReportView::RebuildReport>(EventIdOf(&ViewEvent2)),
    Rows::Observer<&ReportView::RebuildReport>(EventIdOf(&ViewEvent8)),
    Rows::End(),
};

// Eight zero-padded decimal digits written over the eight zeros after `label`.
void FillOffset(std::string& buffer, const char* label, std::size_t value)
{
    const std::size_t at = buffer.find(label) + std::char_traits<char>::length(label);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(value));
    buffer.replace(at, 8, digits, 8);
}

UINT HtmlFormat()
{
    static const UINT format = ui::RegisterClipboardFormat(L"HTML Format");
    return format;
}
// What GTK programs paste as HTML: the page itself, without the header.
UINT PlainHtmlFormat()
{
    static const UINT format = ui::RegisterClipboardFormat(L"text/html");
    return format;
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

} // namespace

bool ReportControlHost::GetHtml(std::wstring& html)
{
    if (mHtml.IsEmpty())
        return false;
    html = mHtml.ToWString();
    return true;
}

std::string HtmlClipboardText(const std::string& utf8)
{
    std::string buffer;
    buffer.reserve(utf8.size() + 400);
    buffer
        += "Version:0.9\r\nStartHTML:00000000\r\nEndHTML:00000000\r\nStartFragment:00000000\r\nEndFragment:00000000\r\n"
           "<html><body>\r\n<!--StartFragment -->\r\n";
    buffer += utf8;
    buffer += "\r\n";
    buffer += "<!--EndFragment-->\r\n</body>\r\n</html>";
    FillOffset(buffer, "StartHTML:", buffer.find("<html>"));
    FillOffset(buffer, "EndHTML:", buffer.size());
    FillOffset(buffer, "StartFragment:", buffer.find("<!--StartFrag"));
    FillOffset(buffer, "EndFragment:", buffer.rfind("<!--EndFrag"));
    return buffer;
}

ReportView::ReportView(
    WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module, IUnknown* hostDocument)
    : ViewBase(parent, viewClass, view, site, module)
    , mHostDocument(hostDocument)
    , mDocument(hostDocument ? FindDocument(hostDocument) : nullptr)
{
}

ReportView::~ReportView()
{
    Destroy();
    delete mControlHost;
}

bool ReportView::Create()
{
    if (!ViewBase::Create())
        return false;
    SetupWindow();
    return true;
}

void ReportView::Destroy()
{
    DestroyControl();
    ViewBase::Destroy();
}

void ReportView::DestroyControl()
{
    if (IReportControl* control = std::exchange(mControl, nullptr))
        control->Destroy();
}

void ReportView::SetupWindow()
{
    delete std::exchange(mControlHost, new ReportControlHost);
    ui::Rect client;
    ui::GetClientRect(Handle(), &client);
    const PosRect rect { client.left, client.top, client.right - client.left, client.bottom - client.top };
    DestroyControl();
    mControl = CreateReportControl(Handle(), mControlHost, rect);
    try {
        mHaveTemplate = LoadReportTemplate(mTemplate);
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("HRV report: the template cannot be read: ") + e.what());
        mHaveTemplate = false;
    }
    BuildReportText();
    ShowReport();
}

void ReportView::BuildReportText()
{
    if (!mHaveTemplate) {
        mReport = KEL::String(L"The report cannot be shown: this module has no report template.");
        return;
    }
    if (!mDocument) {
        mReport = KEL::GetResString(vx::res::ModuleOf(&kReportRows), kStringReportNotAnalysed, true);
        return;
    }
    const auto host = vx::hf::Query<IRecordingDocument>(mHostDocument);
    try {
        BuildReport(mTemplate, mDocument, mDocument->GetSettings(), host.Get(), mReport);
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("HRV report: the report cannot be made: ") + e.what());
        mReport = KEL::String(L"The report cannot be shown: " + KEL::String(std::string(e.what())).ToWString());
    }
}

void ReportView::ShowReport()
{
    if (mControlHost)
        mControlHost->SetHtml(mReport);
    if (mControl)
        mControl->Reload();
}

void ReportView::RebuildReport()
{
    BuildReportText();
    ShowReport();
}

void ReportView::EvSize(int width, int height)
{
    if (mControl)
        mControl->SetSize(width, height);
}

void ReportView::GetPreferredSize(ULONGLONG, ULONGLONG output)
{
    if (auto* size = reinterpret_cast<std::int32_t*>(static_cast<std::uintptr_t>(output))) {
        size[0] = kReportPreferredWidth;
        size[1] = kReportPreferredHeight;
    }
}

HRESULT ReportView::CopyReport()
{
    const std::wstring text = mReport.ToWString();
    std::vector<std::uint8_t> units((text.size() + 1) * sizeof(wchar_t), 0);
    std::memcpy(units.data(), text.data(), text.size() * sizeof(wchar_t));
    if (!ui::OpenClipboard(Handle()))
        return S_OK;
    ui::EmptyClipboard();
    ui::SetClipboardData(ui::CF_UNICODETEXT, std::move(units));
    ui::CloseClipboard();
    const std::string utf8 = mReport.ToUtf8();
    // The HTML goes on beside the text; when the clipboard cannot be opened again only the text
    // is there.
    if (ui::OpenClipboard(nullptr)) {
        std::vector<std::uint8_t> html = Bytes(HtmlClipboardText(utf8));
        html.push_back(0);
        ui::SetClipboardData(HtmlFormat(), std::move(html));
        ui::SetClipboardData(PlainHtmlFormat(), Bytes(utf8));
        ui::CloseClipboard();
    }
    return S_OK;
}

HRESULT ReportView::PrintReport()
{
    if (mControl)
        mControl->Print(GetPrintCommandText().c_str());
    return S_OK;
}

std::wstring ReportView::GetCopyCommandText()
{
    return MenuText(kStringCopyReport);
}

std::wstring ReportView::GetPrintCommandText()
{
    return MenuText(kStringPrintReport);
}

const EventTable& ReportView::GetEventTable()
{
    static const EventTable table(kReportRows);
    return table;
}

const EventTableEntry* ReportView::FindEntry(const EventTrigger& trigger, void** object)
{
    if (const EventTableEntry* row = FindInTable(this, trigger, object))
        return row;
    return ViewBase::FindEntry(trigger, object);
}

void ReportView::ForEachEntry(TableEntryAction& action)
{
    ForEachInTable(this, action);
    ViewBase::ForEachEntry(action);
}

ui::LRESULT ReportView::WindowProc(UINT message, ui::WPARAM wParam, ui::LPARAM lParam)
{
    if (message == ui::WM_SIZE) {
        const auto packed = static_cast<std::uintptr_t>(lParam);
        vx::hf::GuardedValue<int>("report view", 0, [&] {
            EvSize(ui::LOWORD(packed), ui::HIWORD(packed));
            return 0;
        });
        return 0;
    }
    return ViewBase::WindowProc(message, wParam, lParam);
}

} // namespace HRV
