#pragma once
// Root of objects that expose several interfaces through an interface map (class objects,
// event-handler proxies, documents, views). The derived class implements IUnknown by calling
// InternalQueryInterface, InternalAddRef and ReleaseObject, or is wrapped in KEL::CComObject.
#include <atomic>
#include <memory>
#include <mutex>

#include "com/Unknown.h"
#include "foundation/base/RefCount.h"

namespace KEL {

// One row of an interface map: an interface id and how to reach that sub-object from the object.
struct InterfaceMapEntry {
    const IID* iid;
    IUnknown* (*cast)(void* object);
};

// Row for interface I of class T; a map ends with a row whose iid is null.
template <class T, class I> constexpr InterfaceMapEntry MapEntry()
{
    return { &I::kIid, [](void* object) -> IUnknown* { return static_cast<I*>(static_cast<T*>(object)); } };
}
constexpr InterfaceMapEntry kMapEnd { nullptr, nullptr };

class CComObjectRoot {
public:
    CComObjectRoot() = default;
    CComObjectRoot(const CComObjectRoot&) = delete;
    CComObjectRoot& operator=(const CComObjectRoot&) = delete;
    virtual ~CComObjectRoot() = default; // the critical section goes with its owner, when made

    ULONG InternalAddRef() noexcept { return vx::com::AddRefCount(mRefCount); }

    // Returns the new count; on the last release the object is deleted through its most-derived
    // type `Self`, with the count parked at 0xC0000001 while the destructor runs.
    template <class Self> static ULONG ReleaseObject(Self* self) noexcept
    {
        ULONG count = 0;
        if (vx::com::ReleaseCount(self->mRefCount, count))
            delete self;
        return count;
    }

    // IUnknown gives the first row's sub-object; otherwise the first row whose id matches.
    static HRESULT InternalQueryInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** out)
    {
        if (!object || !map)
            return E_INVALIDARG;
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!map[0].iid)
            return E_NOINTERFACE;
        const InterfaceMapEntry* row = nullptr;
        if (iid == IUnknown::kIid) {
            row = &map[0];
        } else {
            for (const InterfaceMapEntry* r = map; r->iid; ++r)
                if (*r->iid == iid) {
                    row = r;
                    break;
                }
        }
        if (!row)
            return E_NOINTERFACE;
        IUnknown* unknown = row->cast(object);
        unknown->AddRef();
        *out = unknown;
        return S_OK;
    }

    // The critical section available to derived classes; made on first use.
    std::recursive_mutex& CriticalSection()
    {
        std::call_once(mLockOnce, [this] { mLock = std::make_unique<std::recursive_mutex>(); });
        return *mLock;
    }
    bool CriticalSectionInitialised() const noexcept { return mLock != nullptr; }

    ULONG RefCount() const noexcept { return mRefCount.load(); }

protected:
    std::atomic<ULONG> mRefCount { 0 };

private:
    std::once_flag mLockOnce;
    std::unique_ptr<std::recursive_mutex> mLock;
};

// Completes a class T (interfaces + CComObjectRoot + `static const InterfaceMapEntry* GetInterfaceMap()`)
// with the IUnknown operations, as ATL's CComObject does.
template <class T> class CComObject final : public T {
public:
    using T::T;
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        return CComObjectRoot::InternalQueryInterface(static_cast<T*>(this), T::GetInterfaceMap(), iid, out);
    }
    ULONG AddRef() override { return this->InternalAddRef(); }
    ULONG Release() override { return CComObjectRoot::ReleaseObject(this); }
};

} // namespace KEL
