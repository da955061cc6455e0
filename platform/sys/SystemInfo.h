#pragma once
// System and version information in the shape of the Windows records. The stand-in platform
// reports itself as an NT platform of version 10.0, the level whose features it provides.
#include <cstdint>

#include "com/HResult.h"

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    void* lpMinimumApplicationAddress;
    void* lpMaximumApplicationAddress;
    std::uintptr_t dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    wchar_t szCSDVersion[128];
};

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_ARM64 = 12;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

void GetSystemInfo(SYSTEM_INFO* info);
// FALSE (ERROR_INVALID_PARAMETER) unless dwOSVersionInfoSize is sizeof(OSVERSIONINFOW).
BOOL GetVersionExW(OSVERSIONINFOW* info);
