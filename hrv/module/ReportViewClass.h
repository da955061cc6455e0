#pragma once
// The class of the HRV report view. Beside making report views it gives the host the report of a
// recording's HRV document without a window, as the view would show it.
#include "hostframework/interfaces/ReportInterfaces.h"
#include "hrv/module/ViewClasses.h"

namespace HRV {

class ReportViewClass final : public ViewClass, public IReportSource {
public:
    explicit ReportViewClass(const ViewClassDesc& desc)
        : ViewClass(desc)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ViewClass::AddRef(); }
    ULONG Release() override { return ViewClass::Release(); }

    // IReportSource. Fails when the host document has no HRV document or the module no report
    // template, and when the page cannot be made; no exception leaves it.
    HRESULT GetReport(IUnknown* document, IKELString** out) override;
};

} // namespace HRV
