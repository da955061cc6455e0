#pragma once
// The calling thread's last error code, as the platform functions that report failure through it
// (code-page conversion, resources, files) leave it.
#include "com/HResult.h"

DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;
