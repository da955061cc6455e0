#pragma once
// The boundary between the host and an extension: no exception crosses an interface method, a
// message handler or a callback. Where one side calls the other (event dispatch, the online
// sink, document methods that allocate), the call runs guarded: an exception becomes an HRESULT
// and one diagnostic line that names the place.
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "com/HResult.h"
#include "log/Log.h"

namespace vx::hf {

// An exception that carries its own HRESULT (the libraries' exception does).
class HResultCarrier {
public:
    virtual HRESULT GetHResult() const noexcept = 0;

protected:
    ~HResultCarrier() = default;
};

// Inside a catch block: the failure code of the exception being handled (E_OUTOFMEMORY for an
// allocation failure, the carried code, E_FAIL for another std::exception, E_UNEXPECTED for
// anything else), after one diagnostic line "where: what".
inline HRESULT HResultOfCurrentException(std::string_view where) noexcept
{
    HRESULT hr = E_UNEXPECTED;
    const char* what = "an unknown exception";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
        what = "out of memory";
    } catch (const std::exception& e) {
        const auto* carrier = dynamic_cast<const HResultCarrier*>(&e);
        hr = carrier ? carrier->GetHResult() : E_FAIL;
        what = e.what();
    } catch (...) {
    }
    if (SUCCEEDED(hr))
        hr = E_FAIL;
    try {
        std::string line(where);
        line += ": ";
        line += what;
        vx::log::WriteLine(line);
    } catch (...) {
        vx::log::WriteLine(where);
    }
    return hr;
}

// Runs `call`: its HRESULT (S_OK for a call without a result), or the failure code of what it
// threw.
template <class F> HRESULT Guarded(std::string_view where, F&& call) noexcept
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
            call();
            return S_OK;
        } else {
            return call();
        }
    } catch (...) {
        return HResultOfCurrentException(where);
    }
}

// Runs `call` for its value, or `failed` when it threw.
template <class T, class F> T GuardedValue(std::string_view where, T failed, F&& call) noexcept
{
    try {
        return call();
    } catch (...) {
        HResultOfCurrentException(where);
        return failed;
    }
}

} // namespace vx::hf
