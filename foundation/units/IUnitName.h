#pragma once
// The host interface of a unit name with an SI prefix index, as the host and the extension hand
// it to each other (the extension's KEL::UnitEntry, the host's own unit names from its object
// factory).
//
// Prefix indexes: 0 unknown ("?"), 1 no prefix, 2 a, 3 f, 4 p, 5 n, 6 micro, 7 m, 8 no prefix,
// 9 k, 10 M, 11 G, 12 T, 13 P, 14 E.
#include "com/Unknown.h"
#include "foundation/IKELString.h"

struct IUnitName : IUnknown {
    // This system's own id: the host interface's id is not recorded anywhere we can use.
    static constexpr IID kIid = vx::com::MakeGuid("{0F3E9C52-8A41-4D7B-B1E6-72C4D9A05B38}");
    virtual HRESULT GetPrefixIndex(ULONG* index) = 0;
    // With `withPrefix` non-zero the prefix letter and the name ("?" for an unknown prefix);
    // without it the bare name. A new reference for the caller.
    virtual HRESULT GetText(DWORD withPrefix, IKELString** text) = 0;
    virtual HRESULT GetFlag(ULONG* flag) = 0;
    virtual HRESULT SetPrefixIndex(ULONG index) = 0;
    virtual HRESULT SetUnitName(IKELString* name) = 0;
    virtual HRESULT SetFlag(ULONG flag) = 0;
    virtual HRESULT Clone(IUnitName** copy) = 0;
    virtual HRESULT Format(DWORD flags, double value, IKELString** text) = 0;

protected:
    ~IUnitName() = default;
};
