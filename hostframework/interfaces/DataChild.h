#pragma once
// A child object that an extension keeps in the host's data store of a document.
#include "com/Unknown.h"

struct IVarnDataChildData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D14754F8-65A9-4EF3-9D7B-1C7070A4FBE8}");
    // The host id under which the child is stored.
    virtual HRESULT GetChildDataId(DWORD* id) = 0;
    // A deep copy handed out with one reference; the out pointer may be null.
    virtual HRESULT Clone(IVarnDataChildData** copy) = 0;
    // Notifications the children of this system do not act on.
    virtual HRESULT Notify5() = 0;
    virtual HRESULT Notify6() = 0;
    virtual HRESULT Notify7() = 0;

protected:
    ~IVarnDataChildData() = default;
};

// The data store of a host document, as the objects an extension gives the host reach it: the
// host hands it to an enumerator class as the creator of its enumerators.
struct IDataChildStore : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6A0F3D27-84C1-4B59-9E2A-7D13C5F80B46}");
    // The child of the id, with a reference; S_FALSE and null when the store holds none.
    virtual HRESULT GetDataChild(DWORD id, IVarnDataChildData** out) = 0;

protected:
    ~IDataChildStore() = default;
};
