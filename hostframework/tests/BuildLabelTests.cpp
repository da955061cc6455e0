#include <gtest/gtest.h>

#include "hostframework/commands/BuildLabel.h"

using vx::hf::PreReleaseBuildLabel;
using vx::res::ModuleVersionInfo;

namespace {

ModuleVersionInfo Version(WORD revision, std::optional<std::wstring> version, std::optional<std::wstring> description)
{
    ModuleVersionInfo info;
    info.fileVersion[0] = 2;
    info.fileVersion[1] = 1;
    info.fileVersion[2] = 7;
    info.fileVersion[3] = revision;
    if (version)
        info.strings[L"FileVersion"] = *version;
    if (description)
        info.strings[L"FileDescription"] = *description;
    return info;
}

} // namespace

TEST(BuildLabel, ClassifiesByTheFirstMarkerInTestOrder)
{
    struct Case {
        const wchar_t* version;
        int buildClass;
    };
    const Case cases[] = {
        { L"N/A", 1 }, { L"2.1 alpha 3", 3 }, { L"2.1 Alpha", 3 }, { L"2.1 beta", 4 }, { L"2.1 dev", 2 },
        { L"2.1 Final", 5 }, { L"2.1.7.3", 6 }, { L"", 6 }, { L"beta dev", 4 }, // "eta" before "ev"
        { L"alpha beta", 3 }, // "lpha" before "eta"
        { L"N/A beta", 1 }, // "N/A" first
        { L"preview final", 2 }, // "ev" before "inal"
    };
    for (const Case& c : cases)
        EXPECT_EQ(vx::hf::ClassifyBuildVersion(c.version), c.buildClass) << std::wstring(c.version).size();
}

TEST(BuildLabel, OnlyAlphaBetaAndFinalPreReleasesGetALabel)
{
    EXPECT_EQ(PreReleaseBuildLabel(Version(3, L"2.1 beta 3", L"HRV Module")), L"HRV Module 2.1 beta 3");
    EXPECT_EQ(PreReleaseBuildLabel(Version(1023, L"2.1 alpha", L"HRV")), L"HRV 2.1 alpha");
    EXPECT_EQ(PreReleaseBuildLabel(Version(0, L"2.1 final", std::nullopt)), L"N/A 2.1 final");
    EXPECT_EQ(PreReleaseBuildLabel(Version(3, L"2.1 dev", L"HRV")), std::nullopt);
    EXPECT_EQ(PreReleaseBuildLabel(Version(3, L"2.1.7.3", L"HRV")), std::nullopt);
    EXPECT_EQ(PreReleaseBuildLabel(Version(3, std::nullopt, std::nullopt)), std::nullopt); // "N/A"
    EXPECT_EQ(PreReleaseBuildLabel(Version(1024, L"2.1 beta", L"HRV")), std::nullopt); // a release
    EXPECT_EQ(PreReleaseBuildLabel(std::nullopt), std::nullopt);
}

TEST(BuildLabel, LongTextsAreCutToTheLabelLimit)
{
    const std::wstring description(300, L'd');
    const auto label = PreReleaseBuildLabel(Version(3, L"2.1 beta", description));
    ASSERT_TRUE(label.has_value());
    EXPECT_EQ(label->size(), vx::hf::kBuildLabelLimit);
    EXPECT_EQ(*label, description.substr(0, vx::hf::kBuildLabelLimit));
    const auto longVersion = PreReleaseBuildLabel(Version(3, L"beta " + std::wstring(400, L'v'), L"HRV"));
    ASSERT_TRUE(longVersion.has_value());
    EXPECT_EQ(longVersion->size(), vx::hf::kBuildLabelLimit);
    EXPECT_EQ(longVersion->substr(0, 9), L"HRV beta ");
}
