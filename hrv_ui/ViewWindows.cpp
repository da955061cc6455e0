#include "hrv_ui/ViewWindows.h"

#include "hrv_ui/PlotViews.h"

#include "foundation/ResString.h"
#include "hrv_ui/ReportView.h"
#include "res/Resource.h"

namespace HRV {

namespace {

const vx::res::StringTableRegistrar kTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 193, L"Copy " },
        { 194, L"Print " },
    });

std::wstring Text(UINT id)
{
    static const int anchor = 0;
    return KEL::GetResString(vx::res::ModuleOf(&anchor), id, true).ToWString();
}

} // namespace

HRVViewBase::HRVViewBase(
    WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module, std::wstring plotName)
    : ViewBase(parent, viewClass, view, site, module)
    , mPlotName(std::move(plotName))
{
}

std::wstring HRVViewBase::GetCopyCommandText()
{
    return Text(193) + mPlotName;
}

std::wstring HRVViewBase::GetPrintCommandText()
{
    return Text(194) + mPlotName;
}

std::unique_ptr<ViewBase> CreateHRVViewWindow(DWORD number, WindowHandle parent, IUnknown* viewClass, IUnknown* view,
    IViewSite* site, void* module, IUnknown* hostDocument)
{
    switch (number) {
    case 0:
        return std::make_unique<ReportView>(parent, viewClass, view, site, module, hostDocument);
    case 1:
        return std::make_unique<TachogramView>(parent, viewClass, view, site, module);
    case 2:
        return std::make_unique<SpectrumView>(parent, viewClass, view, site, module);
    case 3:
        return std::make_unique<RRHistogramView>(parent, viewClass, view, site, module);
    case 4:
        return std::make_unique<DeltaRRHistogramView>(parent, viewClass, view, site, module);
    case 5:
        return std::make_unique<ClassifierView>(parent, viewClass, view, site, module);
    case 6:
        return std::make_unique<PoincareView>(parent, viewClass, view, site, module);
    default:
        return nullptr;
    }
}

} // namespace HRV
