#include "com/LastError.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
} // namespace

DWORD GetLastError() noexcept
{
    return tLastError;
}

void SetLastError(DWORD code) noexcept
{
    tLastError = code;
}
