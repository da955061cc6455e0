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

// A class object of calculation enumerators, as the extension registers it with the host.
struct ICalcEnumClass2 : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{0D3A7C51-2B64-4E8F-A1D9-5C6E7F801B22}");
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetDescription(BSTR* text) = 0;
    virtual HRESULT CreateInstance(IUnknown* creator, ICalcEnum** out) = 0;

protected:
    ~ICalcEnumClass2() = default;
};
