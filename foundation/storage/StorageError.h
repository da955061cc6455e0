#pragma once
// How the storage internals fail. Code that cannot return an HRESULT throws through
// ThrowStorageError; the interface methods catch everything and turn it into an HRESULT with
// StorageErrorCode, so no exception leaves an interface method.
#include <exception>
#include <string>

#include "com/HResult.h"

namespace KEL {

// Throws XKEL carrying `code` and, when given, a context text (the exception writes its
// diagnostic line).
[[noreturn]] void ThrowStorageError(HRESULT code, const std::wstring& context = {});

// The HRESULT an exception caught at an interface boundary stands for: the carried code when it
// is a failure code, otherwise `fallback` (E_FAIL unless the operation documents another).
HRESULT StorageErrorCode(const std::exception& e, HRESULT fallback = E_FAIL) noexcept;

} // namespace KEL
