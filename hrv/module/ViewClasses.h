#pragma once
// The seven HRV view classes (the report and the six plots): the class objects through which the
// host opens HRV views of a recording, and the view objects they make. A view's window is made
// when the host attaches the view to a client window.
#include <array>

#include "hostframework/docview/DocView.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {

// The host's view category of document views.
inline constexpr GUID GUID_DocumentViewCategory = vx::com::MakeGuid("{D6F52E80-B34D-11D3-80C7-005004AD3C53}");

struct ViewClassDesc {
    DWORD number; // low half of the class id
    const wchar_t* name; // the class name, also the title of a view with a window
    const wchar_t* title; // the title before the view has a window
};

// In registration order.
const std::array<ViewClassDesc, 7>& ViewClassTable();

class ViewClass : public OwlDocViewClassBase {
public:
    explicit ViewClass(const ViewClassDesc& desc);

    HRESULT GetClassId(DWORD* id) override;
    // `document`: the host document the view shows (not held; it outlives its views), or null.
    HRESULT CreateView(IUnknown* document, IViewSite* site, IDocView2** out) override;
    // The HRV document interfaces a view needs of its document.
    HRESULT GetRequiredInterfaces(IEnumInterface** out) override;

    const ViewClassDesc& Desc() const { return mDesc; }

private:
    const ViewClassDesc& mDesc;
};

class View final : public DocWindowViewBase {
public:
    View(ViewClass* viewClass, IViewSite* site, IUnknown* document = nullptr);

    // The class name once the view has a window, the class's fallback title before.
    HRESULT GetTitle(IKELString** out) override;
    // The view's window, of the class's view window class, connected to this view object so that
    // the host's commands and messages for the view reach the window's table.
    IExtensionWindow* CreateExtensionWindow(WindowHandle parent, void* module) override;

private:
    const ViewClassDesc& mDesc;
    ViewClass* mClass; // held by the view base
    IUnknown* mDocument; // not held
};

} // namespace HRV
