#include "com/Variant.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

void VariantInit(VARIANT* v)
{
    if (!v)
        return;
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v)
{
    if (!v)
        return E_INVALIDARG;
    switch (v->vt) {
    case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
    case VT_UNKNOWN:
        if (v->punkVal)
            v->punkVal->Release();
        break;
    default:
        break;
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src)
{
    if (!dest || !src)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VARIANT copy;
    copy.vt = src->vt;
    copy.llVal = src->llVal;
    switch (src->vt) {
    case VT_BSTR:
        if (src->bstrVal) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        }
        break;
    case VT_UNKNOWN:
        if (copy.punkVal)
            copy.punkVal->AddRef();
        break;
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

namespace {

// Reads any numeric variant as a double (exact for every 32-bit integer).
HRESULT ToDouble(const VARIANT& v, double& out)
{
    switch (v.vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I2:
        out = v.iVal;
        return S_OK;
    case VT_I4:
        out = v.lVal;
        return S_OK;
    case VT_INT:
        out = v.intVal;
        return S_OK;
    case VT_UI4:
        out = v.ulVal;
        return S_OK;
    case VT_UINT:
        out = v.uintVal;
        return S_OK;
    case VT_I8:
        out = static_cast<double>(v.llVal);
        return S_OK;
    case VT_UI8:
        out = static_cast<double>(v.ullVal);
        return S_OK;
    case VT_R4:
        out = v.fltVal;
        return S_OK;
    case VT_R8:
        out = v.dblVal;
        return S_OK;
    case VT_BOOL:
        out = v.boolVal ? -1.0 : 0.0;
        return S_OK;
    case VT_BSTR: {
        if (!v.bstrVal) {
            return DISP_E_TYPEMISMATCH;
        }
        std::wistringstream in(std::wstring(v.bstrVal, SysStringLen(v.bstrVal)));
        in.imbue(std::locale::classic());
        double value = 0;
        in >> std::ws >> value;
        if (in.fail())
            return DISP_E_TYPEMISMATCH;
        in >> std::ws;
        if (!in.eof())
            return DISP_E_TYPEMISMATCH;
        out = value;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

template <class T> HRESULT ToInteger(double value, T& out)
{
    if (std::isnan(value))
        return DISP_E_OVERFLOW;
    // Windows rounds half to even when narrowing a double to an integer.
    const double rounded = std::nearbyint(value);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min())
        || rounded > static_cast<double>(std::numeric_limits<T>::max()))
        return DISP_E_OVERFLOW;
    out = static_cast<T>(rounded);
    return S_OK;
}

std::wstring FormatDouble(double value)
{
    std::wostringstream os;
    os.imbue(std::locale::classic());
    os.precision(15);
    os << value;
    return os.str();
}

HRESULT ToText(const VARIANT& v, BSTR& out)
{
    std::wstring text;
    switch (v.vt) {
    case VT_EMPTY:
        break;
    case VT_BSTR:
        out = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
        return out || !v.bstrVal ? S_OK : E_OUTOFMEMORY;
    case VT_BOOL:
        text = v.boolVal ? L"True" : L"False";
        break;
    case VT_I2:
        text = std::to_wstring(v.iVal);
        break;
    case VT_I4:
        text = std::to_wstring(v.lVal);
        break;
    case VT_INT:
        text = std::to_wstring(v.intVal);
        break;
    case VT_UI4:
        text = std::to_wstring(v.ulVal);
        break;
    case VT_UINT:
        text = std::to_wstring(v.uintVal);
        break;
    case VT_I8:
        text = std::to_wstring(v.llVal);
        break;
    case VT_UI8:
        text = std::to_wstring(v.ullVal);
        break;
    case VT_R4:
        text = FormatDouble(v.fltVal);
        break;
    case VT_R8:
        text = FormatDouble(v.dblVal);
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT VariantChangeTypeEx(VARIANT* dest, const VARIANT* src, LCID, std::uint16_t, VARTYPE vt)
{
    if (!dest || !src)
        return E_INVALIDARG;
    VARIANT result;
    result.vt = vt;
    HRESULT hr = S_OK;
    if (vt == src->vt)
        return VariantCopy(dest, src);
    if (vt == VT_BSTR) {
        hr = ToText(*src, result.bstrVal);
    } else {
        double value = 0;
        hr = ToDouble(*src, value);
        if (SUCCEEDED(hr)) {
            switch (vt) {
            case VT_EMPTY:
                break;
            case VT_R8:
                result.dblVal = value;
                break;
            case VT_R4:
                if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max())
                    hr = DISP_E_OVERFLOW;
                else
                    result.fltVal = static_cast<float>(value);
                break;
            case VT_BOOL:
                result.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case VT_I2:
                hr = ToInteger(value, result.iVal);
                break;
            case VT_I4:
                hr = ToInteger(value, result.lVal);
                break;
            case VT_INT:
                hr = ToInteger(value, result.intVal);
                break;
            case VT_UI4:
                hr = ToInteger(value, result.ulVal);
                break;
            case VT_UINT:
                hr = ToInteger(value, result.uintVal);
                break;
            case VT_I8:
                hr = ToInteger(value, result.llVal);
                break;
            case VT_UI8:
                hr = ToInteger(value, result.ullVal);
                break;
            default:
                hr = DISP_E_BADVARTYPE;
                break;
            }
        }
    }
    if (FAILED(hr))
        return hr;
    // Clearing the destination after the conversion keeps a conversion in place (dest == src) safe.
    VariantClear(dest);
    *dest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt)
{
    return VariantChangeTypeEx(dest, src, 0, flags, vt);
}
