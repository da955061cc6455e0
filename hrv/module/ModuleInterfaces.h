#pragma once
// What the host and the HRV extension exchange beyond the framework's own interfaces: the
// RR-interval save-as class.
#include <cstdint>

#include "foundation/IKELString.h"
#include "hostframework/interfaces/HostServices.h"
#include "hrv/document/DocumentHost.h"

namespace HRV {

// A host file-type descriptor.
struct IDocFileDescr : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7F944110-7C69-11D3-A6E1-005004D0F872}");
    virtual HRESULT GetExtension(IKELString** out) = 0;
    virtual HRESULT GetTypeName(IKELString** out) = 0;
    virtual HRESULT GetFlags(DWORD* out) = 0;
    virtual HRESULT GetClassId(DWORD* out) = 0;
    virtual HRESULT GetOrder(DWORD* out) = 0;

protected:
    ~IDocFileDescr() = default;
};

// Save-as of a document's data into a file of the class's type.
struct IFileSaveAsClass2 : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E241DFA3-D857-4FAF-9B44-15407C98C013}");
    // `document` is the host document of the recording.
    virtual HRESULT Save(IUnknown* application, IKELString* fileName, DWORD, DWORD, IUnknown* document) = 0;

protected:
    ~IFileSaveAsClass2() = default;
};

// The failure the save-as reports after telling the user why.
inline constexpr HRESULT kRRExportFailed = static_cast<HRESULT>(0xA004820Fu);

} // namespace HRV
