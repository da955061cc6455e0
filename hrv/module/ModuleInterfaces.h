#pragma once
// What the host and the HRV extension exchange beyond the framework's own interfaces: the
// document class through which the host opens the HRV document of a recording (the host document
// hands the document its services), and the RR-interval save-as class.
#include <cstdint>

#include "foundation/IKELString.h"
#include "hostframework/interfaces/HostServices.h"
#include "hrv/document/DocumentHost.h"

namespace HRV {

// Answered by a host document that can carry an HRV document: the services the document calls.
struct IDocumentHostProvider : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7C0D94E1-2A5B-4F83-B6D9-E41F08A3C527}");
    // Borrowed for the life of the host document.
    virtual IDocumentHost* DocumentHost() = 0;

protected:
    ~IDocumentHostProvider() = default;
};

// The document class "HRV2 Document".
struct IHRVDocumentClass : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{2F6B81D4-93C7-4E0A-A5B2-6D1E7F48C903}");
    virtual HRESULT GetName(IKELString** out) = 0;
    virtual HRESULT GetClassGuid(const GUID** out) = 0;
    // A new HRV document (its command handler, with a reference) for a host document that answers
    // IDocumentHostProvider; E_NOINTERFACE for any other.
    virtual HRESULT CreateDocument(IUnknown* hostDocument, IUnknown** out) = 0;

protected:
    ~IHRVDocumentClass() = default;
};

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
