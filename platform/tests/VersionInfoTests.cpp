#include <gtest/gtest.h>

#include "res/VersionInfo.h"

namespace {
const vx::res::VersionInfoRegistrar kOwnVersion([] {
    vx::res::ModuleVersionInfo info;
    info.fileVersion[0] = 1;
    info.fileVersion[2] = 0x0102;
    info.fileVersion[3] = 0x0304;
    info.strings[L"FileVersion"] = L"1.0 beta";
    return info;
}());
} // namespace

TEST(VersionInfo, RegistrarFilesTheInformationUnderItsOwnModule)
{
    // The test executable is the host module, so a null handle finds it too.
    for (HMODULE module : { vx::res::ModuleOf(&kOwnVersion), static_cast<HMODULE>(nullptr) }) {
        const auto info = vx::res::GetModuleVersionInfo(module);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->FileVersionLS(), 0x01020304u);
        EXPECT_EQ(info->String(L"FileVersion"), L"1.0 beta");
        EXPECT_EQ(info->String(L"FileDescription"), std::nullopt);
    }
    int other = 0;
    EXPECT_EQ(vx::res::GetModuleVersionInfo(reinterpret_cast<HMODULE>(&other)), std::nullopt);
}
