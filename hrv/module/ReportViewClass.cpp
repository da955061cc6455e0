#include "hrv/module/ReportViewClass.h"

#include <exception>
#include <string>

#include "hostframework/events/ComQuery.h"
#include "hrv/datapad/Parameters.h"
#include "hrv/document/Document.h"
#include "hrv_ui/ReportContent.h"
#include "log/Log.h"

namespace HRV {

HRESULT ReportViewClass::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IReportSource::kIid) {
        *out = static_cast<IReportSource*>(this);
        AddRef();
        return S_OK;
    }
    return ViewClass::QueryInterface(iid, out);
}

HRESULT ReportViewClass::GetReport(IUnknown* hostDocument, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    Document* document = FindDocument(hostDocument);
    if (!document)
        return E_INVALIDARG;
    // The host's recording document gives the window name and the time texts.
    const auto host = vx::hf::Query<IRecordingDocument>(hostDocument);
    try {
        KEL::String reportTemplate;
        if (!LoadReportTemplate(reportTemplate)) {
            vx::log::WriteLine("HRV: the module has no report template");
            return E_FAIL;
        }
        KEL::String page;
        const ReportKind kind = BuildReport(reportTemplate, document, document->GetSettings(), host.Get(), page);
        *out = page.CopyRep();
        return kind == ReportKind::Page ? S_OK : S_FALSE;
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("HRV: the report cannot be made: ") + e.what());
        return E_FAIL;
    } catch (...) {
        vx::log::WriteLine("HRV: the report cannot be made");
        return E_FAIL;
    }
}

} // namespace HRV
