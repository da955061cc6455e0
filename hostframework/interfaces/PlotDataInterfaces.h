#pragma once
// What a plot control reads its numbers and labels from: the host's float enumerator and, on the
// same object, the text of one element.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/String.h"

// A series of floats read in blocks from a position.
struct IEnumFloatEx : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4236EDC0-23A0-11D3-80CA-00A0C9E26433}");
    virtual HRESULT Clone(IEnumFloatEx** out) = 0;
    // Moves the position by `count`, clamped to the series; S_FALSE when it moved less.
    virtual HRESULT Skip(LONG count, LONG* skipped) = 0;
    virtual HRESULT GetPosition(LONG* position) = 0;
    virtual HRESULT GetSampledFlag(WORD* flag) = 0;
    virtual HRESULT GetExtent(std::int64_t* extent) = 0;
    // Up to `count` values from the position onward; the position advances past them.
    virtual HRESULT Next(ULONG count, float* values, ULONG* fetched) = 0;

protected:
    ~IEnumFloatEx() = default;
};

namespace KEL {

// The label of one element of a plot's data source (a click read-out, an axis label).
struct IEtchEnum : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7C2FEA73-1197-42B4-B613-835E2922A4D9}");
    virtual HRESULT GetElementText(LONG index, String* text) = 0;

protected:
    ~IEtchEnum() = default;
};

} // namespace KEL
