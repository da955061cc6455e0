#pragma once
// A counted reference held for the life of its holder.
#include <utility>

namespace HRV {

template <class T> class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object)
        : mObject(object)
    {
        if (mObject)
            mObject->AddRef();
    }
    ComRef(const ComRef& other)
        : ComRef(other.mObject)
    {
    }
    ComRef& operator=(ComRef other) noexcept
    {
        std::swap(mObject, other.mObject);
        return *this;
    }
    ~ComRef()
    {
        if (mObject)
            mObject->Release();
    }
    T* Get() const noexcept { return mObject; }
    T* operator->() const noexcept { return mObject; }
    explicit operator bool() const noexcept { return mObject != nullptr; }

private:
    T* mObject = nullptr;
};

} // namespace HRV
