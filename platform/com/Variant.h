#pragma once
// VARIANT with the types this system exchanges: empty, 32-bit integer, double, BSTR, error
// code, bool and interface pointers.
#include "com/Bstr.h"
#include "com/Unknown.h"

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using SCODE = std::int32_t;
using LCID = std::uint32_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
};

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    std::uint16_t wReserved1 = 0;
    std::uint16_t wReserved2 = 0;
    std::uint16_t wReserved3 = 0;
    union {
        std::int16_t iVal;
        std::int32_t lVal;
        std::int64_t llVal;
        std::uint32_t ulVal;
        std::uint64_t ullVal;
        int intVal;
        unsigned int uintVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
    };
    VARIANT()
        : llVal(0)
    {
    }
};

using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (a BSTR, an interface reference) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: clears the destination first; a BSTR is duplicated, an interface gets AddRef.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Conversion between the scalar types and text. Numbers are written and parsed in the classic
// locale whatever `lcid` says; DISP_E_TYPEMISMATCH for text that is not a number,
// DISP_E_OVERFLOW when the value does not fit the target.
HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID lcid, std::uint16_t flags, VARTYPE vt);
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt);
