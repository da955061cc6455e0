#pragma once
// The windows of the seven HRV views: the report and the six plots. Each stands on the view base,
// answers Copy and Print with the plot's name, and is empty until its content is drawn in it.
#include <memory>
#include <string>

#include "hostframework/docview/ViewBase.h"

namespace HRV {

// A plot view: "Copy <plot>" and "Print <plot>", printable and copyable.
class HRVViewBase : public ViewBase {
public:
    HRVViewBase(
        WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module, std::wstring plotName);
    std::wstring GetCopyCommandText() override;
    std::wstring GetPrintCommandText() override;
    bool CanPrint() override { return true; }
    bool CanCopy() override { return true; }
    bool IsThirdCommandEnabled() override { return false; }
    const std::wstring& PlotName() const noexcept { return mPlotName; }

private:
    std::wstring mPlotName;
};

// The window of view class number `number` (0 report, 1 tachogram, 2 spectrum, 3 RR histogram,
// 4 delta-RR histogram, 5 classifier, 6 Poincaré); null for another number. `hostDocument` is
// the recording's host document that the view shows (not held; null: none).
std::unique_ptr<ViewBase> CreateHRVViewWindow(DWORD number, WindowHandle parent, IUnknown* viewClass, IUnknown* view,
    IViewSite* site, void* module, IUnknown* hostDocument = nullptr);

} // namespace HRV
