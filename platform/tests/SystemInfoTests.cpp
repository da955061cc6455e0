#include <gtest/gtest.h>

#include "sys/SystemInfo.h"

TEST(SystemInfo, ReportsThisMachineAndAnNtVersion)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_GE(info.dwPageSize, 4096u);
    EXPECT_EQ(info.dwPageSize & (info.dwPageSize - 1), 0u);
    EXPECT_GE(info.dwAllocationGranularity, info.dwPageSize);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);

    OSVERSIONINFOW version {};
    EXPECT_FALSE(GetVersionExW(&version)); // the size field must be set
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExW(&version));
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_GE(version.dwMajorVersion, 6u);
}
