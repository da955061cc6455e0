#pragma once
// The interface through which a string representation crosses an interface boundary. A
// representation of this library's own kind (`GetKind` gives kStringRepKind) is shared by the
// receiver; any other is copied through `GetLengthAndCharSize` and `CopyBytes`.
#include "com/Unknown.h"
#include "com/Variant.h"

struct IAutoKELString : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2D3B7EC5-BF24-11CF-97E6-00C0DF492697}");

protected:
    ~IAutoKELString() = default;
};

struct IKELString : IAutoKELString {
    static constexpr IID kIid = vx::com::MakeGuid("{3904AA0E-3E8D-11D1-997F-00C0DF492697}");

    // Replaces the text by the BSTR's (null empties it). E_FAIL when the representation is shared
    // or the text does not fit its capacity.
    virtual HRESULT SetFromBSTR(BSTR text) = 0;
    // Frees the BSTR in *out and stores a new one holding the whole text (null for an empty text).
    virtual HRESULT GetBSTR(BSTR* out) = 0;
    virtual HRESULT IsEmpty(VARIANT_BOOL* out) = 0;
    // Characters without the terminator.
    virtual HRESULT GetLength(ULONG* out) = 0;
    // Same representation, or the same characters.
    virtual HRESULT IsEqual(IKELString* other, VARIANT_BOOL* out) = 0;
    virtual HRESULT IsShared(VARIANT_BOOL* out) = 0;
    virtual HRESULT GetKind(ULONG* out) = 0;
    // Copies the characters and the terminator; E_FAIL when `bufferBytes` is too small.
    virtual HRESULT CopyBytes(ULONG bufferBytes, void* buffer) = 0;
    // Characters without the terminator, and the size of one character in bytes.
    virtual HRESULT GetLengthAndCharSize(ULONG* length, ULONG* charSize) = 0;
    // Characters the representation can hold without the terminator.
    virtual HRESULT GetCapacity(ULONG* out) = 0;
    // A new, empty representation of the same implementation for `characters` characters.
    virtual HRESULT CreateNew(ULONG characters, IKELString** out) = 0;
    // VT_BSTR with a new BSTR of the text (null for an empty text).
    virtual HRESULT ToVariant(VARIANT* out) = 0;

protected:
    ~IKELString() = default;
};

namespace KEL {
// What `IKELString::GetKind` reports for this library's representation.
constexpr ULONG kStringRepKind = 9;
} // namespace KEL
