#pragma once
// What an extension's data-pad functions and file classes ask of the host, and what the host asks
// of them: of the host document a function belongs to (its source interface), the data access of
// the document's own data, the extension document attached to it and the time of a position; of
// that data access, the recording as the analysis reads it and the resolution of an
// end-of-record position; of a function, its unit and number format; of a function's class
// object, its texts, category and ids; of a save-as class, its file type and the save.
#include <cstdint>

#include "com/Variant.h"
#include "foundation/IKELString.h"
#include "hostframework/datapad/DataPadInterfaces.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hostframework/interfaces/HostServices.h"

namespace HRV {

struct IDataPadSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5B1E7C02-3D84-4A6F-9E1B-0C27D5A8F341}");
    // The data access of the data a descriptor names (code 0x801E0000: the document's own), with
    // a reference.
    virtual HRESULT GetDataAccess(const vx::hf::SourceDescriptor* source, IUnknown** out) = 0;
    // The extension document of a class key attached to this host document, with a reference.
    virtual HRESULT GetChildDocument(DWORD classKey, IUnknown** out) = 0;
    // The time value of a record position (a double of seconds from the start of the recording).
    virtual HRESULT PositionToTime(IUnknown* object, const vx::hf::SourceDescriptor* source, std::int64_t position,
        DWORD flags, DWORD reserved, VARIANT* out)
        = 0;

protected:
    ~IDataPadSource() = default;
};

// The host's record data behind a data access.
struct IRecordData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{AD6CD303-7868-4A12-B4AE-97C02EE8F5E3}");
    // Replaces an end-of-record position (offset 0x7FFFFFFF) by the record's actual end.
    virtual HRESULT ResolvePosition(std::int64_t* position, DWORD word) = 0;
    // The recording as the analysis engine reads it; borrowed for the data access's life.
    virtual IAnalysisHost* AnalysisHost() = 0;

protected:
    ~IRecordData() = default;
};

// The unit and number-format texts of a data-pad function.
struct IDataFunctionTexts : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E3A90F5C-61B7-4D2E-8F04-9A3C17B6E2D8}");
    // E_FAIL and nothing written when the function has no unit.
    virtual HRESULT GetUnitText(IKELString** out) = 0;
    virtual HRESULT GetFormatText(IKELString** out) = 0;

protected:
    ~IDataFunctionTexts() = default;
};

// The class object of a data-pad function as the host's data pad asks it: its texts, category,
// group and ids, and the making of function objects.
struct IDataPadFunctionClass2 : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{B5FACEB6-192E-4804-9F80-72ED8E4E6C96}");
    static constexpr IID kIidClass1 = vx::com::MakeGuid("{4021A442-7899-11D4-8110-00A0C9E26433}");
    virtual HRESULT GetCategory(const GUID** out) = 0;
    virtual HRESULT GetIdText(IKELString** out) = 0;
    virtual HRESULT IsCategory(const GUID* category) = 0;
    virtual HRESULT GetGroupName(DWORD, IKELString** out) = 0;
    virtual HRESULT GetGroupNumber(DWORD, DWORD* out) = 0;
    virtual HRESULT GetDisplayName(DWORD, IKELString** out) = 0;
    virtual HRESULT GetDescriptorValue(DWORD, DWORD* out) = 0;
    virtual HRESULT GetDescription(DWORD, IKELString** out) = 0;
    virtual HRESULT GetFlags(DWORD, std::uint64_t* out) = 0;
    virtual HRESULT GetAuxObject(DWORD, DWORD, IUnknown** out) = 0;
    virtual HRESULT CreateAux(DWORD, DWORD, DWORD, IUnknown*, IUnknown** out) = 0;
    // A new function for a host document (the source) and channel; no aggregation.
    virtual HRESULT CreateFunction(IUnknown* source, DWORD channel, IUnknown* outer, IUnknown** out) = 0;
    virtual HRESULT CreateFunction2(IUnknown* source, DWORD channel, DWORD, IUnknown* outer, IUnknown** out) = 0;

protected:
    ~IDataPadFunctionClass2() = default;
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

// Save-as of a document's data into a file of the class's type, the first form: the same as
// IFileSaveAsClass2 with 0 for its fourth argument.
struct IFileSaveAsClass : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{EF9C95C3-7C68-11D3-A6E1-005004D0F872}");
    virtual HRESULT Save(IUnknown* application, IKELString* fileName, DWORD, IUnknown* document) = 0;

protected:
    ~IFileSaveAsClass() = default;
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
