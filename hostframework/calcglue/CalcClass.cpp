#include "hostframework/calcglue/CalcClass.h"

#include "hostframework/services/CafFrameWork.h"

namespace {

DWORD CachedId(std::atomic<DWORD>& cache, const GUID& guid, WORD number)
{
    DWORD id = cache.load();
    if (id == 0) {
        // Computed without a lock: every thread computes the same value.
        id = (DWORD(HostTypeIndex(guid)) << 16) | number;
        cache.store(id);
    }
    return id;
}

HRESULT HandOut(const KEL::String& text, IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = text.CopyRep();
    return S_OK;
}

bool IsGuid(const GUID* given, const GUID& category)
{
    return given && (given == &category || *given == category);
}

} // namespace

DWORD CalcClassRecord::CalcClassId()
{
    return CachedId(calcId, *classGuid, calcNumber);
}

DWORD CalcClassRecord::SettingsClassId()
{
    return CachedId(settingsId, *classGuid, settingsNumber);
}

// --- CalcClassBase ------------------------------------------------------------------------------

CalcClassBase::CalcClassBase(CalcClassRecord& record, const KEL::String& name, const KEL::String& displayName)
    : mRecord(record)
    , mName(name)
    , mDisplayName(displayName)
{
}

HRESULT CalcClassBase::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != ICAFClassObject::kIid && iid != ICalculationClass::kIid)
        return E_NOINTERFACE;
    *out = static_cast<ICalculationClass*>(this);
    return S_OK; // static: nothing to count
}

HRESULT CalcClassBase::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = mRecord.CalcClassId();
    return S_OK;
}

HRESULT CalcClassBase::GetCategory(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = &GUID_CalculationClassCategory;
    return S_OK;
}

HRESULT CalcClassBase::GetIdText(IKELString** out)
{
    return HandOut(mName, out);
}

HRESULT CalcClassBase::IsCategory(const GUID* category)
{
    return IsGuid(category, GUID_CalculationClassCategory) ? S_OK : S_FALSE;
}

HRESULT CalcClassBase::GetName(IKELString** out)
{
    return HandOut(mName, out);
}

HRESULT CalcClassBase::GetDisplayName(IKELString** out)
{
    return HandOut(mDisplayName, out);
}

HRESULT CalcClassBase::GetReserved(DWORD* out)
{
    if (!out)
        return E_POINTER;
    *out = 0;
    return S_OK;
}

// --- CalcSettingClassBase -----------------------------------------------------------------------

CalcSettingClassBase::CalcSettingClassBase(CalcClassRecord& record, const KEL::String& calcName)
    : mRecord(record)
    , mIdText(calcName + KEL::String(L"Settings"))
{
}

HRESULT CalcSettingClassBase::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != ICAFClassObject::kIid && iid != IGenericClassObject::kIid
        && iid != IPersistClassObject::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IPersistClassObject*>(this);
    AddRef();
    return S_OK;
}

ULONG CalcSettingClassBase::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

HRESULT CalcSettingClassBase::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = mRecord.SettingsClassId();
    return S_OK;
}

HRESULT CalcSettingClassBase::GetCategory(const GUID** out)
{
    if (!out)
        return E_POINTER;
    *out = &GUID_CalculationSettingsCategory;
    return S_OK;
}

HRESULT CalcSettingClassBase::GetIdText(IKELString** out)
{
    return HandOut(mIdText, out);
}

HRESULT CalcSettingClassBase::IsCategory(const GUID* category)
{
    return IsGuid(category, GUID_CalculationSettingsCategory) ? S_OK : S_FALSE;
}
