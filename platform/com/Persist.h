#pragma once
// IPersist and IPersistStreamInit: how the host stores an object's state in a stream of the
// recording and reads it back.
#include "com/Storage.h"
#include "com/Unknown.h"

struct IPersist : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0000010C-0000-0000-C000-000000000046}");
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

struct IPersistStreamInit : IPersist {
    static constexpr IID kIid = vx::com::MakeGuid("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
    // S_OK when changed since the last save that cleared the flag, else S_FALSE.
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
    virtual HRESULT InitNew() = 0;

protected:
    ~IPersistStreamInit() = default;
};
