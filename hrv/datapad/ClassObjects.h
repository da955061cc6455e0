#pragma once
// The class objects of the 27 HRV data-pad parameters: static objects that describe each
// function to the host (id text, names, description, category, group, ids) and make its function
// objects. They live for the whole process; the host's counts never free them.
#include <array>
#include <atomic>

#include "hrv/core/ModuleObjects.h"
#include "hrv/datapad/Parameters.h"

namespace HRV {

// The category of the data-pad parameters and the GUID its class ids are formed from.
inline constexpr GUID GUID_DataPadFunctionCategory = vx::com::MakeGuid("{08CDA760-E581-11D3-80EC-00A0C9E26433}");
inline constexpr GUID GUID_DataPadFunctionType = vx::com::MakeGuid("{45DBC109-0C95-4EC2-92E7-A2E585EA155A}");

class DataPadFuncClass final : public IDataPadFunctionClass2, public IDataPadFuncClass, public LinkedClassObject {
public:
    explicit DataPadFuncClass(const ParameterDesc& desc);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override { return --mCount; } // static: never freed

    // ICAFClassObject: T(parameter type) << 16, the same for every parameter.
    HRESULT GetClassId(DWORD* id) override;
    // IDataPadFunctionClass2
    HRESULT GetCategory(const GUID** out) override;
    HRESULT GetIdText(IKELString** out) override;
    HRESULT IsCategory(const GUID* category) override;
    HRESULT GetGroupName(DWORD, IKELString** out) override;
    HRESULT GetGroupNumber(DWORD, DWORD* out) override;
    HRESULT GetDisplayName(DWORD, IKELString** out) override;
    HRESULT GetDescriptorValue(DWORD, DWORD* out) override;
    HRESULT GetDescription(DWORD, IKELString** out) override;
    HRESULT GetFlags(DWORD, std::uint64_t* out) override;
    HRESULT GetAuxObject(DWORD, DWORD, IUnknown** out) override;
    HRESULT CreateAux(DWORD, DWORD, DWORD, IUnknown*, IUnknown** out) override;
    HRESULT CreateFunction(IUnknown* source, DWORD channel, IUnknown* outer, IUnknown** out) override;
    HRESULT CreateFunction2(IUnknown* source, DWORD channel, DWORD, IUnknown* outer, IUnknown** out) override;
    // IDataPadFuncClass, as the function bases ask it: group and class ids, names by kind, and
    // the source (none: a parameter reads no channel of its own).
    HRESULT GetIds(DWORD* first, DWORD* second) override;
    HRESULT GetKindText(DWORD kind, BSTR* text) override;
    HRESULT GetSourceDescription(vx::hf::SourceDescriptor* out) override;

    // LinkedClassObject
    IUnknown* ClassObjectInterface() override { return static_cast<IDataPadFunctionClass2*>(this); }

    const ParameterDesc& Desc() const { return mDesc; }
    // The group id the functions hand out: T(HRV document) << 16 | 5.
    static DWORD GroupId();

private:
    const ParameterDesc& mDesc;
    std::atomic<ULONG> mCount { 0 };
};

// The 27 class objects in the order of ParameterTable().
std::array<DataPadFuncClass*, 27>& DataPadFunctionClasses();

} // namespace HRV
