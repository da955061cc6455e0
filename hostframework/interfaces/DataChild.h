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
