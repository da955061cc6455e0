#pragma once
// Test doubles for an extension's event enumerator and its class: each passes every call on to
// the real object, so a test overrides only the calls it watches or breaks. The class hands the
// host its own enumerators made by Wrap around the real class's.
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"

namespace vx::hf::test {

// An event enumerator passing every call on to the real one. Clone is refused: the host's
// engine does not clone, and a clone would lose the wrapping.
class ForwardingEventEnum : public SimpleUnknownImp2<ICalcEnum, IEnumEventEx, 0> {
public:
    // Takes over the caller's reference on `inner`.
    explicit ForwardingEventEnum(ICalcEnum* inner)
        : mInner(inner)
    {
        void* events = nullptr;
        mInner->QueryInterface(IEnumEventEx::kIid, &events);
        mEvents = static_cast<IEnumEventEx*>(events);
    }
    ~ForwardingEventEnum() override
    {
        if (mEvents)
            mEvents->Release();
        mInner->Release();
    }
    ForwardingEventEnum(const ForwardingEventEnum&) = delete;
    ForwardingEventEnum& operator=(const ForwardingEventEnum&) = delete;

    HRESULT GetClassId(DWORD* id) override { return mInner->GetClassId(id); }
    HRESULT GetClassObject(IUnknown** o) override { return mInner->GetClassObject(o); }
    HRESULT SetParams(const wchar_t* text, DWORD* flags) override { return mInner->SetParams(text, flags); }
    HRESULT GetParams(BSTR* text) override { return mInner->GetParams(text); }
    HRESULT Clone(ICalcEnum** out) override { return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER; }
    HRESULT Init(
        LONG record, ULONG n, IUnknown* const* sources, IUnitName* const* units, double dt, DWORD flags) override
    {
        return mInner->Init(record, n, sources, units, dt, flags);
    }
    HRESULT Seek(LONG position) override { return mInner->Seek(position); }
    HRESULT ClearSources() override { return mInner->ClearSources(); }
    HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
    {
        return mEvents->Next(bytes, end, buffer, count, next);
    }
    HRESULT Find(LONG backward, LONG start, LONG lower, LONG upper) override
    {
        return mEvents->Find(backward, start, lower, upper);
    }
    HRESULT GetPosition(LONG* position) override { return mEvents->GetPosition(position); }
    HRESULT Reserved6(LONG* r) override { return mEvents->Reserved6(r); }
    HRESULT Clone(IEnumEventEx** out) override { return out ? (*out = nullptr, E_NOTIMPL) : E_POINTER; }
    HRESULT GetRecordSize(ULONG* size) override { return mEvents->GetRecordSize(size); }
    HRESULT GetEventType(DWORD* type) override { return mEvents->GetEventType(type); }
    HRESULT Reserved10(LONG* r) override { return mEvents->Reserved10(r); }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override { return mEvents->GetTimeBase(ratio); }

private:
    ICalcEnum* mInner;
    IEnumEventEx* mEvents = nullptr;
};

// An enumerator class passing every call on to the real class, whose enumerators it hands out
// wrapped by Wrap. The test owns it: AddRef and Release count nothing, and the real class's
// interfaces are borrowed for its lifetime.
class ForwardingEnumClass : public ICalcEnumClass2, public ICalcNumericParamsFuncClass {
public:
    ForwardingEnumClass(ICalcEnumClass2* real, ICalcNumericParamsFuncClass* params)
        : mReal(real)
        , mParams(params)
    {
    }
    virtual ~ForwardingEnumClass() = default;
    ForwardingEnumClass(const ForwardingEnumClass&) = delete;
    ForwardingEnumClass& operator=(const ForwardingEnumClass&) = delete;

    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IUnknown::kIid || iid == ICAFClassObject::kIid || iid == ICalcEnumClass2::kIid)
            *out = static_cast<ICalcEnumClass2*>(this);
        else if (iid == ICalcNumericParamsFuncClass::kIid)
            *out = static_cast<ICalcNumericParamsFuncClass*>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetClassId(DWORD* id) override { return mReal->GetClassId(id); }
    HRESULT GetName(BSTR* name) override { return mReal->GetName(name); }
    HRESULT GetNameString(IKELString** out) override { return mReal->GetNameString(out); }
    HRESULT GetDescription(IKELString** out) override { return mReal->GetDescription(out); }
    HRESULT CreateInstance(IUnknown* creator, ICalcEnum** out) override
    {
        ICalcEnum* inner = nullptr;
        const HRESULT hr = mReal->CreateInstance(creator, &inner);
        if (FAILED(hr) || !inner)
            return hr;
        ICalcEnum* wrapped = Wrap(inner);
        wrapped->AddRef();
        *out = wrapped;
        return S_OK;
    }
    HRESULT GetFunctionName(DWORD i, BSTR* name) override { return mParams->GetFunctionName(i, name); }
    HRESULT GetFunctionInfo(DWORD i, BSTR* name, DWORD* classId, DWORD* count) override
    {
        return mParams->GetFunctionInfo(i, name, classId, count);
    }
    HRESULT GetParamInfo(DWORD i, double* max, double* min, DWORD* flags, BSTR* name) override
    {
        return mParams->GetParamInfo(i, max, min, flags, name);
    }
    HRESULT CheckSource(DWORD i, DWORD flags) override { return mParams->CheckSource(i, flags); }

protected:
    // A new enumerator, with no reference yet, standing in for `inner` (whose reference it takes
    // over).
    virtual ICalcEnum* Wrap(ICalcEnum* inner) = 0;

    ICalcEnumClass2* Real() const { return mReal; }
    ICalcNumericParamsFuncClass* Params() const { return mParams; }

private:
    ICalcEnumClass2* mReal;
    ICalcNumericParamsFuncClass* mParams;
};

} // namespace vx::hf::test
