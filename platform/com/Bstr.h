#pragma once
// BSTR: a length-prefixed wide string allocated by the platform. The 32-bit byte length sits
// directly before the characters, and the characters are always followed by a terminator, so a
// BSTR can be read as a plain null-terminated wide string.
#include "com/HResult.h"

using OLECHAR = wchar_t;
using BSTR = wchar_t*;
using LPOLESTR = wchar_t*;
using LPCOLESTR = const wchar_t*;

BSTR SysAllocString(const OLECHAR* text);
// Allocates `length` characters; copies them from `text` when it is not null.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Allocates `bytes` bytes (plus a terminator); copies them from `data` when it is not null.
BSTR SysAllocStringByteLen(const char* data, UINT bytes);
// Reallocates *target to a copy of `text` (`length` characters). FALSE on failure.
BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
BOOL SysReAllocString(BSTR* target, const OLECHAR* text);
void SysFreeString(BSTR text);
// Characters (bytes / sizeof(OLECHAR)) of a BSTR; 0 for null.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

namespace vx::com {
// Number of BSTRs currently allocated: lets tests prove that every BSTR handed out was freed.
long LiveBstrCount();
} // namespace vx::com
