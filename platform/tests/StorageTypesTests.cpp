#include <gtest/gtest.h>

#include "com/Storage.h"

TEST(StorageTypes, DocumentedIdsAndValues)
{
    EXPECT_EQ(vx::com::GuidToString(vx::com::IidOf<ILockBytes>()), "{0000000A-0000-0000-C000-000000000046}");
    EXPECT_EQ(vx::com::GuidToString(vx::com::IidOf<IStorage>()), "{0000000B-0000-0000-C000-000000000046}");
    EXPECT_EQ(vx::com::GuidToString(vx::com::IidOf<IStream>()), "{0000000C-0000-0000-C000-000000000046}");
    EXPECT_EQ(vx::com::GuidToString(vx::com::IidOf<IEnumSTATSTG>()), "{0000000D-0000-0000-C000-000000000046}");
    EXPECT_EQ(
        STGM_DELETEONRELEASE | STGM_TRANSACTED | STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0x04011012u);
    EXPECT_EQ(static_cast<std::uint32_t>(STG_E_INVALIDNAME), 0x800300FCu);
    EXPECT_EQ(static_cast<std::uint32_t>(STG_E_DOCFILECORRUPT), 0x80030109u);
}

TEST(StorageTypes, TaskAllocatorCountsAndInjectsFailures)
{
    const long before = vx::com::LiveTaskMemCount();
    void* block = CoTaskMemAlloc(64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(vx::com::LiveTaskMemCount(), before + 1);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(vx::com::LiveTaskMemCount(), before);
    vx::com::FailNextTaskMemAllocs(1);
    EXPECT_EQ(CoTaskMemAlloc(8), nullptr);
    void* again = CoTaskMemAlloc(8);
    EXPECT_NE(again, nullptr);
    CoTaskMemFree(again);
}
