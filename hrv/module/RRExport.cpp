#include "hrv/module/RRExport.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <fstream>
#include <memory>
#include <typeinfo>

#include "foundation/String.h"
#include "foundation/Utf.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/ModuleObjects.h"
#include "hrv/datapad/Parameters.h"
#include "hrv/document/Document.h"
#include "log/Log.h"

namespace HRV {
namespace {

constexpr UINT kIconError = 0x10;

HRESULT HandOut(const KEL::String& text, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = text.CopyRep();
    return S_OK;
}

std::string NarrowPath(IKELString* name)
{
    const KEL::String path(name);
    const std::wstring wide(path.c_str());
    return KEL::Utf16ToUtf8(wide.c_str(), wide.size());
}

} // namespace

HRESULT WriteRRIntervals(const std::string& path, const std::vector<double>& intervals)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return E_FAIL;
    char text[40];
    for (double rr : intervals) {
        // The general format with 6 significant digits, independent of the process locale.
        const auto r = std::to_chars(text, text + sizeof text - 2, rr, std::chars_format::general, 6);
        char* end = r.ptr;
        *end++ = '\r';
        *end++ = '\n';
        out.write(text, end - text);
    }
    out.close();
    if (out.fail())
        return E_FAIL;
    return intervals.empty() ? S_FALSE : S_OK;
}

HRESULT RRIntervalSaveClassObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == ICAFClassObject::kIid)
        *out = static_cast<ICAFClassObject*>(this);
    else if (iid == IFileSaveAsClass::kIid)
        *out = static_cast<IFileSaveAsClass*>(this);
    else if (iid == IFileSaveAsClass2::kIid)
        *out = static_cast<IFileSaveAsClass2*>(this);
    else if (iid == IDocFileDescr::kIid)
        *out = static_cast<IDocFileDescr*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG RRIntervalSaveClassObject::Release()
{
    const ULONG count = --mCount;
    if (count == 0) {
        mCount = 0xC0000001u;
        delete this;
    }
    return count;
}

HRESULT RRIntervalSaveClassObject::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    static const DWORD classId = (DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16) | 4;
    *id = classId;
    return S_OK;
}

HRESULT RRIntervalSaveClassObject::GetCategory(const GUID** out)
{
    if (!out)
        return E_POINTER;
    static constexpr GUID category = kSaveAsCategory;
    *out = &category;
    return S_OK;
}

HRESULT RRIntervalSaveClassObject::GetIdText(IKELString** out)
{
    if (!out)
        return E_POINTER;
    // The undecorated name of the object's own class, as a type name reads in C++ ("class " and
    // the qualified name).
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    const std::string text = std::string("class ") + (status == 0 && name ? name.get() : mangled);
    return HandOut(KEL::String(std::wstring(text.begin(), text.end())), out);
}

HRESULT RRIntervalSaveClassObject::GetExtension(IKELString** out)
{
    return HandOut(TitleOr(RRExportExtension(), L"txt"), out);
}
HRESULT RRIntervalSaveClassObject::GetTypeName(IKELString** out)
{
    return HandOut(TitleOr(RRExportTypeName(), L"HRV RR Interval Text File"), out);
}
HRESULT RRIntervalSaveClassObject::GetFlags(DWORD* out)
{
    return out ? (*out = 2, S_OK) : E_POINTER;
}
HRESULT RRIntervalSaveClassObject::GetOrder(DWORD* out)
{
    return out ? (*out = 1, S_OK) : E_POINTER;
}

HRESULT RRIntervalSaveClassObject::Save(IUnknown*, IKELString* fileName, DWORD, DWORD, IUnknown* document)
{
    if (!fileName)
        return E_POINTER;
    void* source = nullptr;
    if (!document || FAILED(document->QueryInterface(IDataPadSource::kIid, &source)))
        return E_FAIL;
    static_cast<IUnknown*>(source)->Release();
    const std::string path = NarrowPath(fileName);
    const std::wstring caption = TitleOr(RRExportTypeName(), L"HRV RR Interval Text File").ToWString();
    Document* hrv = FindDocument(document);
    if (!hrv) {
        std::remove(path.c_str());
        const std::wstring text = TitleOr(
            RRExportNoAnalysis(), L"HRV Export RR Interval requires a valid HRV analysis. No data will be saved.")
                                      .ToWString();
        HostMessageBox(nullptr, text.c_str(), caption.c_str(), kIconError, 0, 0, 0, 0, 0);
        return kRRExportFailed;
    }
    const HRESULT hr = WriteRRIntervals(path, hrv->Engine().mRR);
    if (FAILED(hr)) {
        // A file that could not be written is a failure the user hears of, not a silent success.
        vx::log::WriteLine("HRV RR export: cannot write " + path);
        const std::wstring text = L"The RR intervals could not be written to " + KEL::Utf8ToWide(path) + L".";
        HostMessageBox(nullptr, text.c_str(), caption.c_str(), kIconError, 0, 0, 0, 0, 0);
        return kRRExportFailed;
    }
    return hr;
}

} // namespace HRV
