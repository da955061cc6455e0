#include "hrv/module/ViewClasses.h"

#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv_ui/ViewWindows.h"

namespace HRV {
namespace {

constexpr GUID kHostDocumentInterface = vx::com::MakeGuid("{CD8A64F4-48D2-11D1-8D03-00C0D1570D74}");
constexpr GUID kHRVDocumentInterface = vx::com::MakeGuid("{D6EA89AC-5B62-402C-A488-1E8CDDA95E3A}");

const std::array<ViewClassDesc, 7> kViewClasses = { {
    { 0, L"HRV Report View", L"HRV Report" },
    { 1, L"HRV Tachogram View", L"HRV Tachogram Plot" },
    { 2, L"HRV Spectrum View", L"HRV Power Spectrum Plot" },
    { 3, L"HRV RR Histogram View", L"HRV RR Histogram Plot" },
    { 4, L"HRV Delta RR Histogram View", L"HRV Delta RR Histogram Plot" },
    { 5, L"HRV Classifier View", L"HRV Classifier Plot" },
    { 6, L"HRV Poincare View", L"HRV Poincar\u00E9 Plot" },
} };

} // namespace

const std::array<ViewClassDesc, 7>& ViewClassTable()
{
    return kViewClasses;
}

ViewClass::ViewClass(const ViewClassDesc& desc)
    : OwlDocViewClassBase(KEL::String(desc.name), &GUID_DocumentViewCategory, 1, desc.title)
    , mDesc(desc)
{
}

HRESULT ViewClass::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    static const DWORD base = DWORD(HostTypeIndex(GUID_HRVViewClass)) << 16;
    *id = base | mDesc.number;
    return S_OK;
}

HRESULT ViewClass::CreateView(IUnknown* document, IViewSite* site, IDocView2** out)
{
    if (!out)
        return E_POINTER;
    auto* view = new View(this, site, document);
    *out = static_cast<IDocView2*>(view);
    (*out)->AddRef();
    return S_OK;
}

HRESULT ViewClass::GetRequiredInterfaces(IEnumInterface** out)
{
    static const GUID* const ids[] = { &kHostDocumentInterface, &kHRVDocumentInterface };
    return CreateInterfaceIdEnumerator(ids, 2, out);
}

View::View(ViewClass* viewClass, IViewSite* site, IUnknown* document)
    : DocWindowViewBase(viewClass, site, nullptr)
    , mDesc(viewClass->Desc())
    , mClass(viewClass)
    , mDocument(document)
{
}

HRESULT View::GetTitle(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(Window() ? mDesc.name : mDesc.title).CopyRep();
    return S_OK;
}

IExtensionWindow* View::CreateExtensionWindow(WindowHandle parent, void* module)
{
    std::unique_ptr<ViewBase> window = CreateHRVViewWindow(mDesc.number, parent, static_cast<IDocViewClass*>(mClass),
        static_cast<IDocView2*>(this), Site(), module, mDocument);
    if (!window)
        return nullptr;
    window->SetProxy(this);
    return window.release();
}

} // namespace HRV
