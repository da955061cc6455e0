#pragma once
// Asking a COM-style object for one of its interfaces.
#include "com/Unknown.h"

namespace vx::hf {

// The interface with one reference for the caller, or null (also for a null object).
template <class I> I* Query(IUnknown* object)
{
    void* out = nullptr;
    if (!object || FAILED(object->QueryInterface(vx::com::IidOf<I>(), &out)))
        return nullptr;
    return static_cast<I*>(out);
}

// The interface without the reference the query added: for interfaces of objects that outlive
// the one asking (a counterpart, a host document).
template <class I> I* QueryUnheld(IUnknown* object)
{
    I* out = Query<I>(object);
    if (out)
        out->Release();
    return out;
}

} // namespace vx::hf
