#pragma once
// The pieces of the host document's log lines (HrvHostRecorder::log): numbers in hex and names
// in plain characters.
#include <cstdio>
#include <string>

#include "com/HResult.h"

namespace vx::host {

inline std::string HexText(DWORD v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

inline std::string NarrowText(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

} // namespace vx::host
