#pragma once
// The class objects of calculation enumerators: formula functions that an extension publishes
// and the host's calculation engine calls. The host creates one enumerator (ICalcEnum and
// IEnumEventEx, CalcInterfaces.h) per evaluation of a record, hands it the formula's numeric
// parameters as text and its sources for the record, and then pulls fixed-size event records
// from it. Everything crosses as COM-style interfaces, so neither side includes the other's
// headers.
#include "com/Bstr.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/CalcInterfaces.h"
#include "hostframework/interfaces/HostServices.h"

// Source flags that a function class checks: a sampled channel or an event channel.
constexpr DWORD kCalcSourceSampled = 0x80000000u;
constexpr DWORD kCalcSourceEvents = 0x40000000u;

// The parameter description of a numeric-parameter function class.
struct ICalcNumericParamsFuncClass : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{58ADE1E2-5A17-41B1-95DD-A899F8805F8A}");
    virtual HRESULT GetFunctionName(DWORD index, BSTR* name) = 0;
    virtual HRESULT GetFunctionInfo(DWORD index, BSTR* name, DWORD* classId, DWORD* paramCount) = 0;
    // E_INVALIDARG beyond the last parameter.
    virtual HRESULT GetParamInfo(DWORD index, double* maximum, double* minimum, DWORD* flags, BSTR* name) = 0;
    // S_OK when a source with these flags fits parameter index, S_FALSE when not, E_INVALIDARG
    // when the parameter is not a source.
    virtual HRESULT CheckSource(DWORD index, DWORD sourceFlags) = 0;

protected:
    ~ICalcNumericParamsFuncClass() = default;
};

// The unit of the values an enumerator hands out, asked of the enumerator.
struct ICalcEnumUnit : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6E21B7C4-3D58-4A0F-9C17-82F4E5A9D036}");
    // A new unit name with a reference for the caller.
    virtual HRESULT GetUnit(IUnitName** out) = 0;

protected:
    ~ICalcEnumUnit() = default;
};

// The interface family that the enumerators of a calculation-enumerator class implement.
inline constexpr IID kCalcEnumFamily = vx::com::MakeGuid("{8FC37F03-9357-11D4-8112-00A0C9E26433}");

// A class object of calculation enumerators, as the extension registers it with the host.
struct ICalcEnumClass2 : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{0D3A7C51-2B64-4E8F-A1D9-5C6E7F801B22}");
    // The IID of the interface family its enumerators implement (kCalcEnumFamily).
    virtual HRESULT GetFamily(const IID** out)
    {
        if (!out)
            return E_POINTER;
        *out = &kCalcEnumFamily;
        return S_OK;
    }
    // The class name, a new BSTR.
    virtual HRESULT GetName(BSTR* name) = 0;
    // S_OK when the IID is the family of GetFamily, S_FALSE otherwise (null too).
    virtual HRESULT IsFamily(const IID* iid) { return iid && *iid == kCalcEnumFamily ? S_OK : S_FALSE; }
    // The class name as a string object, with a reference for the caller.
    virtual HRESULT GetNameString(IKELString** out) = 0;
    // As a class object of the host, the family is the class's category and its name the id
    // text.
    HRESULT GetCategory(const GUID** out) override { return GetFamily(out); }
    HRESULT GetIdText(IKELString** out) override { return GetNameString(out); }
    HRESULT IsCategory(const GUID* category) override { return IsFamily(category); }
    // The description, with a reference for the caller.
    virtual HRESULT GetDescription(IKELString** out) = 0;
    // The 32-bit word of the class's description record.
    virtual HRESULT GetDescriptorWord(DWORD* out)
    {
        if (!out)
            return E_POINTER;
        *out = 0;
        return S_OK;
    }
    virtual HRESULT GetAuxObject(IUnknown** out)
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    // A new enumerator; `creator` is the object whose formulas call it (the host document).
    virtual HRESULT CreateInstance(IUnknown* creator, ICalcEnum** out) = 0;
    // A new enumerator aggregated by `outer`: *out gets its inner (non-delegating) unknown.
    // Without an outer, a plain enumerator asked for IUnknown.
    virtual HRESULT CreateAggregated(IUnknown* outer, IUnknown* creator, IUnknown** out)
    {
        (void)outer, (void)creator;
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

protected:
    ~ICalcEnumClass2() = default;
};
