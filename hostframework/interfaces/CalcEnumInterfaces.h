#pragma once
// Calculation enumerators: formula functions that an extension publishes and the host's
// calculation engine calls. The host creates one enumerator per evaluation of a record, hands it
// the formula's numeric parameters as text, its sources for the record, and then pulls fixed-size
// event records from it. Everything crosses as COM-style interfaces, so neither side includes the
// other's headers.
#include "com/Bstr.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/HostServices.h"

// Source flags the host reports for a source, and that a function class checks.
constexpr DWORD kCalcSourceSampled = 0x80000000u;
constexpr DWORD kCalcSourceEvents = 0x40000000u;

// One source of an enumerator for one record, given by the host.
struct ICalcSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6B1F4C20-8E5D-4A71-9C3B-2D7E0F4A9B61}");
    // Length in samples, sample interval in seconds and the kind (kCalcSourceSampled or
    // kCalcSourceEvents) of the source in this record.
    virtual HRESULT GetInfo(LONGLONG* length, double* interval, DWORD* kind) = 0;
    // Sampled sources: samples [start, start + count); positions outside the record read as the
    // nearest sample inside it.
    virtual HRESULT ReadSamples(LONGLONG start, DWORD count, float* out) = 0;
    // Event sources: whole event records with start <= position < end, in position order, as many
    // as fit in bufferBytes. *next is the position to continue from: after the last record written,
    // or end when every record of the stretch was written.
    virtual HRESULT ReadEvents(LONG start, LONG end, DWORD bufferBytes, void* buffer, DWORD* recordSize,
        DWORD* count, LONG* next)
        = 0;
    // The ratio of this source's sample rate to the record's tick rate (1/1 for ordinary channels).
    virtual HRESULT GetRateRatio(LONG* numerator, LONG* denominator) = 0;

protected:
    ~ICalcSource() = default;
};

// The enumerator an extension's function class creates.
struct ICalcEnum : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{532954A4-1807-428B-8A2B-8BB7282E74A6}");
    // The formula's numeric parameters in the classic locale: a word (the function name), the
    // number of sources, then the numbers in formula order.
    virtual HRESULT SetParams(const wchar_t* text, DWORD* flags) = 0;
    virtual HRESULT GetParams(BSTR* text) = 0;
    virtual HRESULT Clone(ICalcEnum** out) = 0;
    // Starts a record. Bit 31 of flags marks a record being sampled.
    virtual HRESULT Init(LONG record, ICalcSource* const* sources, DWORD count, double sampleInterval, DWORD flags)
        = 0;
    virtual HRESULT Seek(LONG position) = 0;
    virtual HRESULT ClearSources() = 0;

protected:
    ~ICalcEnum() = default;
};

// The event side of an enumerator.
struct IEnumEventEx : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{FCC78051-74C0-4E33-BDCA-8BDC0A6FCA9A}");
    // Writes whole event records (at most bufferBytes / record size) before endOffset (negative:
    // the end of the record). S_FALSE with *next 0x7FFFFFFF at the end of the record.
    virtual HRESULT Next(DWORD bufferBytes, LONG endOffset, void* buffer, DWORD* count, LONG* next) = 0;
    virtual HRESULT GetPosition(LONG* position) = 0;
    virtual HRESULT GetRecordSize(DWORD* bytes) = 0;
    virtual HRESULT GetEventTypeId(DWORD* id) = 0;

protected:
    ~IEnumEventEx() = default;
};

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
