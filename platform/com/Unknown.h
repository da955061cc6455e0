#pragma once
// IUnknown and the interface-id lookup. Every interface declares its documented id as
// `static constexpr IID kIid`; IidOf<I>() stands where the original code names the id of I.
#include "com/Guid.h"
#include "com/HResult.h"

struct IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{00000000-0000-0000-C000-000000000046}");
    virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{00000001-0000-0000-C000-000000000046}");
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

namespace vx::com {
template <class I> constexpr const IID& IidOf()
{
    return I::kIid;
}
} // namespace vx::com

using LPUNKNOWN = IUnknown*;
