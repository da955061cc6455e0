#pragma once
// The library's own extensions of the structured-storage interfaces.
#include "com/Storage.h"

// Byte arrays that can offer more than ILockBytes. This system's file lock bytes offer no direct
// access to their bytes and keep no cache hint, but callers ask for both.
struct IKELLockBytes : ILockBytes {
    static constexpr IID kIid = vx::com::MakeGuid("{DA70517F-8F03-403C-B8B2-4D850F81A60D}");
    // Direct access to cb bytes at offset: *out is left 0 when refused.
    virtual HRESULT GetDirectAccess(ULARGE_INTEGER offset, ULONG cb, void** out) = 0;
    virtual HRESULT GetCacheHint(DWORD* out) = 0;
    virtual HRESULT SetCacheHint(DWORD hint) = 0;

protected:
    ~IKELLockBytes() = default;
};

struct IKELStorage : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4676C05E-64A5-4278-A545-698DC73D18B7}");
    // *out = 0; the lock bytes' hint when they offer IKELLockBytes (S_OK), else S_FALSE.
    virtual HRESULT GetCacheHint(DWORD* out) = 0;
    // The file's ILockBytes with a reference; true when there is none.
    virtual bool GetLockBytes(ILockBytes** out) = 0;
    // On the root, passed to the lock bytes; elsewhere S_OK.
    virtual HRESULT SetCacheHint(DWORD hint) = 0;

protected:
    ~IKELStorage() = default;
};

struct IKELStream : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C0245550-1852-11D1-994C-00C0DF492697}");
    // Direct access to the bytes at a stream position: *out = 0 and S_FALSE when refused.
    virtual HRESULT GetDirectAccess(ULARGE_INTEGER position, ULONG cb, void** out) = 0;
    virtual HRESULT GetCacheHint(DWORD* out) = 0;
    virtual bool GetLockBytes(ILockBytes** out) = 0;

protected:
    ~IKELStream() = default;
};
