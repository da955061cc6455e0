#include "hrv/module/DocumentClass.h"

#include "foundation/String.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/document/Document.h"

namespace HRV {

HRESULT DocumentClass::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != ICAFClassObject::kIid && iid != IHRVDocumentClass::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IHRVDocumentClass*>(this);
    AddRef();
    return S_OK;
}

ULONG DocumentClass::Release()
{
    const ULONG count = --mCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT DocumentClass::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    static const DWORD classId = DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16;
    *id = classId;
    return S_OK;
}

HRESULT DocumentClass::GetName(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(L"HRV2 Document").CopyRep();
    return S_OK;
}

HRESULT DocumentClass::GetClassGuid(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = &GUID_HRVDocumentObj;
    return S_OK;
}

HRESULT DocumentClass::CreateDocument(IUnknown* hostDocument, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    void* provider = nullptr;
    if (!hostDocument || FAILED(hostDocument->QueryInterface(IDocumentHostProvider::kIid, &provider)))
        return E_NOINTERFACE;
    IDocumentHost* host = static_cast<IDocumentHostProvider*>(provider)->DocumentHost();
    static_cast<IUnknown*>(provider)->Release();
    if (!host)
        return E_FAIL;
    try {
        auto* document = new Document(host);
        document->AddRef();
        *out = static_cast<ICAFCommandHandler*>(document);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

} // namespace HRV
