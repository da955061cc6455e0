#pragma once
// The common part of the HRV module's children in the host's data store: the child id, the deep
// copy and the notifications they do not act on.
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DataChild.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {

template <class Derived, class I, DWORD kChildNumber>
class DataChild : public SimpleUnknownImp2<IVarnDataChildData, I, 0> {
public:
    // (document type index << 16) | the child's number, computed once.
    static DWORD ChildDataId()
    {
        static const DWORD id = (DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16) | kChildNumber;
        return id;
    }

    HRESULT GetChildDataId(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = ChildDataId();
        return S_OK;
    }

    // A deep copy (the copy starts with its own count), handed out with one reference.
    HRESULT Clone(IVarnDataChildData** copy) override
    {
        auto* clone = new Derived(static_cast<const Derived&>(*this));
        clone->AddRef();
        if (copy)
            *copy = clone;
        else
            clone->Release();
        return S_OK;
    }

    HRESULT Notify5() override { return S_OK; }
    HRESULT Notify6() override { return S_OK; }
    HRESULT Notify7() override { return S_OK; }
};

} // namespace HRV
