#pragma once
// Bases of the class objects of a channel calculation: the calculation class, which describes
// the calculation and makes it, and the settings class, which makes and loads its settings.
// Both take their ids from one descriptor record of the calculation: the host's type index of
// the calculation's GUID in the high half, the class's own number in the low half.
#include <atomic>

#include "foundation/String.h"
#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/interfaces/RecordingInterfaces.h"

// The ids of a calculation's two classes, computed once each from the host's type registry.
struct CalcClassRecord {
    const GUID* classGuid;
    WORD calcNumber; // low half of the calculation class's id
    WORD settingsNumber; // low half of the settings class's id
    std::atomic<DWORD> calcId { 0 }; // 0 until computed
    std::atomic<DWORD> settingsId { 0 };

    DWORD CalcClassId();
    DWORD SettingsClassId();
};

// Category of channel-calculation classes.
inline constexpr GUID GUID_CalculationClassCategory = vx::com::MakeGuid("{5388E470-F2ED-11D2-809C-00A0C9E26433}");
// Category of channel-calculation settings classes.
inline constexpr GUID GUID_CalculationSettingsCategory = vx::com::MakeGuid("{E058F3B0-DCE3-11D3-80E8-00A0C9E26433}");

// The calculation class: a static object, so AddRef and Release count nothing.
class CalcClassBase : public ICalculationClass, public KEL::CComObjectRoot {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    HRESULT GetClassId(DWORD* id) override;
    HRESULT GetCategory(const GUID** out) override;
    HRESULT GetIdText(IKELString** out) override;
    HRESULT IsCategory(const GUID* category) override;
    HRESULT GetName(IKELString** out) override;
    HRESULT GetDisplayName(IKELString** out) override;
    HRESULT GetReserved(DWORD* out) override;

protected:
    // `name`: the calculation's name (its id text); `displayName`: what the user reads.
    CalcClassBase(CalcClassRecord& record, const KEL::String& name, const KEL::String& displayName);
    ~CalcClassBase() override = default;

    CalcClassRecord& mRecord;
    KEL::String mName;
    KEL::String mDisplayName;
};

// The settings class: lives on the heap and deletes itself at its last release.
class CalcSettingClassBase : public IPersistClassObject, public KEL::CComObjectRoot {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override;

    HRESULT GetClassId(DWORD* id) override;
    HRESULT GetCategory(const GUID** out) override;
    // The calculation's name followed by "Settings".
    HRESULT GetIdText(IKELString** out) override;
    HRESULT IsCategory(const GUID* category) override;

protected:
    CalcSettingClassBase(CalcClassRecord& record, const KEL::String& calcName);
    ~CalcSettingClassBase() override = default;

    CalcClassRecord& mRecord;
    KEL::String mIdText;
};
