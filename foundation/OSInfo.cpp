#include "foundation/OSInfo.h"

namespace KEL {

const OSInfo* GetOSInfo()
{
    static const OSInfo info = [] {
        OSInfo i {};
        GetSystemInfo(&i.systemInfo);
        i.versionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        GetVersionExW(&i.versionInfo);
        i.allocationMask = 0u - i.systemInfo.dwAllocationGranularity;
        return i;
    }();
    return &info;
}

} // namespace KEL
