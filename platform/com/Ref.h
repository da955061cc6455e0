#pragma once
// Holding COM-style objects: a counted reference released with its holder, and the query for
// one of an object's interfaces that comes back held.
#include <utility>

#include "com/Unknown.h"

namespace vx::com {

// A counted reference to T, released when the holder goes (also on an early return or a failed
// assertion).
template <class T> class Ref {
public:
    Ref() = default;
    // Shares `object`: the holder takes a reference of its own.
    explicit Ref(T* object) noexcept
        : mObject(object)
    {
        if (mObject)
            mObject->AddRef();
    }
    // Takes over a reference the caller owns (one a factory or an out parameter handed over).
    static Ref Adopt(T* object) noexcept
    {
        Ref r;
        r.mObject = object;
        return r;
    }
    Ref(const Ref& other) noexcept
        : Ref(other.mObject)
    {
    }
    Ref(Ref&& other) noexcept
        : mObject(std::exchange(other.mObject, nullptr))
    {
    }
    Ref& operator=(Ref other) noexcept
    {
        std::swap(mObject, other.mObject);
        return *this;
    }
    ~Ref() { Reset(); }

    T* Get() const noexcept { return mObject; }
    T* operator->() const noexcept { return mObject; }
    explicit operator bool() const noexcept { return mObject != nullptr; }

    // Lets go of the reference held.
    void Reset() noexcept
    {
        if (T* object = std::exchange(mObject, nullptr))
            object->Release();
    }
    // The reference for the caller, who releases it; the holder is empty after.
    [[nodiscard]] T* Detach() noexcept { return std::exchange(mObject, nullptr); }
    // For an out parameter that hands over a reference: lets go of the one held first.
    T** Put() noexcept
    {
        Reset();
        return &mObject;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    T* mObject = nullptr;
};

// The interface I of `object`, held; empty when the object lacks it (or is null).
template <class I> Ref<I> Query(IUnknown* object)
{
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(IidOf<I>(), &out)))
        return {};
    return Ref<I>::Adopt(static_cast<I*>(out));
}

} // namespace vx::com
