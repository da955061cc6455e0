#pragma once
// The process-wide copy of the system and version information, read once.
#include "sys/SystemInfo.h"

namespace KEL {

struct OSInfo {
    SYSTEM_INFO systemInfo;
    OSVERSIONINFOW versionInfo;
    // The negated allocation granularity: AND with an address rounds it down to an allocation
    // boundary.
    DWORD allocationMask;
};

// Filled on first use under thread-safe static initialisation and never refreshed.
const OSInfo* GetOSInfo();

} // namespace KEL
