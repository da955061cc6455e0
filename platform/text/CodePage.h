#pragma once
// Code-page conversion between narrow text and the wide text held in memory (wchar_t, one code
// point per unit here). The signatures and results are those of the Windows functions the
// libraries were written against:
//   - a source length of -1 converts through the terminator, which is then counted;
//   - an output size of 0 asks only for the number of units the conversion needs;
//   - 0 is returned on failure with the reason in GetLastError (ERROR_INSUFFICIENT_BUFFER,
//     ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS, ERROR_NO_UNICODE_TRANSLATION).
// Code pages: CP_ACP is Windows-1252, the code page in which the original platform stored narrow
// text; CP_THREAD_ACP follows the process locale (UTF-8 unless the locale's character set is
// Latin-1 or 1252); CP_UTF8; and 1252 by number.
#include "com/HResult.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_WINDOWS_1252 = 1252;
constexpr UINT CP_UTF8 = 65001;

// MultiByteToWideChar: fail on invalid input instead of substituting U+FFFD.
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
// WideCharToMultiByte: fail on an invalid code point (UTF-8 only).
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

constexpr DWORD ERROR_INVALID_FLAGS = 1004;

int MultiByteToWideChar(
    UINT codePage, DWORD flags, const char* source, int sourceLength, wchar_t* target, int targetLength);

// `defaultChar` replaces a character the code page lacks ("?" when null) and `usedDefault` reports
// whether that happened; both must be null for CP_UTF8, as on Windows.
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* source, int sourceLength, char* target,
    int targetLength, const char* defaultChar, BOOL* usedDefault);

// The ANSI code page: 1252.
UINT GetACP() noexcept;

namespace vx::text {
// The code page CP_THREAD_ACP stands for in the calling thread's current locale.
UINT ThreadAnsiCodePage() noexcept;
} // namespace vx::text
