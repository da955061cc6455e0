#include "hrv/datapad/ClassObjects.h"

#include <memory>

#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {
namespace {

HRESULT HandOut(const wchar_t* text, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(text).CopyRep();
    return S_OK;
}

} // namespace

DataPadFuncClass::DataPadFuncClass(const ParameterDesc& desc)
    : mDesc(desc)
{
}

HRESULT DataPadFuncClass::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == ICAFClassObject::kIid || iid == IDataPadFunctionClass2::kIidClass1
        || iid == IDataPadFunctionClass2::kIid)
        *out = static_cast<IDataPadFunctionClass2*>(this);
    else if (iid == IDataPadFuncClass::kIid)
        *out = static_cast<IDataPadFuncClass*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT DataPadFuncClass::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    // Class number 0: (2 x 0) in the low half.
    static const DWORD classId = DWORD(HostTypeIndex(GUID_DataPadFunctionType)) << 16;
    *id = classId;
    return S_OK;
}

DWORD DataPadFuncClass::GroupId()
{
    static const DWORD id = (DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16) | 5;
    return id;
}

HRESULT DataPadFuncClass::GetCategory(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = &GUID_DataPadFunctionCategory;
    return S_OK;
}

HRESULT DataPadFuncClass::GetIdText(IKELString** out)
{
    return HandOut(mDesc.id, out);
}

HRESULT DataPadFuncClass::IsCategory(const GUID* category)
{
    return category && (category == &GUID_DataPadFunctionCategory || *category == GUID_DataPadFunctionCategory)
        ? S_OK
        : S_FALSE;
}

HRESULT DataPadFuncClass::GetGroupName(DWORD, IKELString** out)
{
    return HandOut(L"HRV", out);
}

HRESULT DataPadFuncClass::GetGroupNumber(DWORD, DWORD* out)
{
    if (!out)
        return E_POINTER;
    *out = 2000;
    return S_OK;
}

HRESULT DataPadFuncClass::GetDisplayName(DWORD, IKELString** out)
{
    return HandOut(mDesc.name, out);
}

HRESULT DataPadFuncClass::GetDescriptorValue(DWORD, DWORD* out)
{
    if (!out)
        return E_POINTER;
    *out = 0;
    return S_OK;
}

HRESULT DataPadFuncClass::GetDescription(DWORD, IKELString** out)
{
    return HandOut(mDesc.description, out);
}

HRESULT DataPadFuncClass::GetFlags(DWORD, std::uint64_t* out)
{
    if (!out)
        return E_POINTER;
    *out = (std::uint64_t(0x02000000u) << 32) | 1u;
    return S_OK;
}

HRESULT DataPadFuncClass::GetAuxObject(DWORD, DWORD, IUnknown** out)
{
    if (out)
        *out = nullptr;
    return S_OK;
}

HRESULT DataPadFuncClass::CreateAux(DWORD, DWORD, DWORD, IUnknown*, IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT DataPadFuncClass::CreateFunction(IUnknown* source, DWORD channel, IUnknown* outer, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!source || outer)
        return E_FAIL;
    HRVDPFuncBase* function = nullptr;
    try {
        function = new HRVDPFuncBase(static_cast<IDataPadFuncClass*>(this), mDesc, source, LONG(channel));
    } catch (...) {
        return E_OUTOFMEMORY; // nothing is thrown across the interface
    }
    // The new object is born with the reference that goes to the caller.
    *out = static_cast<IDataPadFunction*>(function);
    return S_OK;
}

HRESULT DataPadFuncClass::CreateFunction2(IUnknown* source, DWORD channel, DWORD, IUnknown* outer, IUnknown** out)
{
    return CreateFunction(source, channel, outer, out);
}

HRESULT DataPadFuncClass::GetIds(DWORD* first, DWORD* second)
{
    if (!first || !second)
        return E_POINTER;
    *first = GroupId();
    return GetClassId(second);
}

HRESULT DataPadFuncClass::GetKindText(DWORD kind, BSTR* text)
{
    if (!text)
        return E_POINTER;
    // Every name of a parameter but its description is the same text.
    (void)kind;
    *text = SysAllocString(mDesc.name);
    return S_OK;
}

HRESULT DataPadFuncClass::GetSourceDescription(vx::hf::SourceDescriptor* out)
{
    if (!out)
        return E_POINTER;
    *out = vx::hf::SourceDescriptor {};
    return S_OK;
}

std::array<DataPadFuncClass*, 27>& DataPadFunctionClasses()
{
    // Owned here, so that unloading the library destroys them with its other static objects.
    static std::array<std::unique_ptr<DataPadFuncClass>, 27> owned;
    static std::array<DataPadFuncClass*, 27> classes = [] {
        std::array<DataPadFuncClass*, 27> out {};
        for (std::size_t i = 0; i < out.size(); ++i) {
            owned[i] = std::make_unique<DataPadFuncClass>(ParameterTable()[i]);
            out[i] = owned[i].get();
        }
        return out;
    }();
    return classes;
}

} // namespace HRV
