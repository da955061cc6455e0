#include "sys/SystemInfo.h"

#include <unistd.h>

#include <cstring>

#include "com/LastError.h"

void GetSystemInfo(SYSTEM_INFO* info)
{
    if (!info)
        return;
    std::memset(info, 0, sizeof *info);
#if defined(__x86_64__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__i386__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
#else
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
    const long page = sysconf(_SC_PAGESIZE);
    info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
    // Mappings here are placed at page granularity.
    info->dwAllocationGranularity = info->dwPageSize;
    info->lpMinimumApplicationAddress = reinterpret_cast<void*>(std::uintptr_t(info->dwPageSize));
    info->lpMaximumApplicationAddress = reinterpret_cast<void*>(std::uintptr_t(0x7FFFFFFEFFFFull));
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
    const unsigned bits = info->dwNumberOfProcessors >= 64 ? 64 : info->dwNumberOfProcessors;
    info->dwActiveProcessorMask = bits == 64 ? ~std::uintptr_t(0) : (std::uintptr_t(1) << bits) - 1;
}

BOOL GetVersionExW(OSVERSIONINFOW* info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = 0;
    return 1;
}
