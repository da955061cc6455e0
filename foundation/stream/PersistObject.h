#pragma once
// The host's interface of an object that saves itself into, and loads itself from, the binary
// stream format: unit names, channel-calculation settings and messages use it.
#include "com/Unknown.h"
#include "foundation/stream/BinStreamInterfaces.h"

struct IPersistObject : IUnknown {
    // This system's own id: the host interface's id is not recorded anywhere we can use.
    static constexpr IID kIid = vx::com::MakeGuid("{5E0C7B1A-6C2D-4F0E-9B7A-3D51C2A0E6F1}");
    virtual HRESULT Load(IBinInStream* stream) = 0;
    virtual HRESULT Save(IBinOutStream* stream) = 0;
    virtual HRESULT GetClassId(DWORD* id) = 0;

protected:
    ~IPersistObject() = default;
};
