#pragma once
// System message texts: the FormatMessageW stand-in for the HRESULT and Win32 codes this system
// raises or passes on. Texts are the platform's English ones, each ending in "\r\n" as the
// system's do; inserts such as "%1" are left in place (callers ask to ignore them).
#include "com/HResult.h"

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;

constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Only FORMAT_MESSAGE_FROM_SYSTEM lookups are served (with or without IGNORE_INSERTS); the
// language is ignored (English). Writes the text and a terminator into `buffer` (`size`
// characters) and returns the characters written without the terminator; 0 on failure with
// ERROR_MR_MID_NOT_FOUND for an unknown id, ERROR_INSUFFICIENT_BUFFER when it does not fit,
// ERROR_INVALID_PARAMETER for other requests.
DWORD FormatMessageW(
    DWORD flags, const void* source, DWORD messageId, DWORD languageId, wchar_t* buffer, DWORD size, void* arguments);
