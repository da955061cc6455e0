#pragma once
// Asking a COM-style object for one of its interfaces (vx::com::Query, held), and the query of an
// interface of an object that outlives the one asking.
#include "com/Ref.h"

namespace vx::hf {

using vx::com::Query;

// The interface without the reference the query added: for interfaces of objects that outlive
// the one asking (a counterpart, a host document).
template <class I> I* QueryUnheld(IUnknown* object)
{
    return vx::com::Query<I>(object).Get();
}

} // namespace vx::hf
