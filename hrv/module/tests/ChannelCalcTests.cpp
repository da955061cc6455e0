// The HRV channel calculation's settings, ids and per-measure channel setup.
#include <gtest/gtest.h>

#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/tests/HrvTestSupport.h"
#include "hrv/module/ChannelCalc.h"

using namespace HRV;
using HRV::test::StreamRef;

TEST(ChannelCalc, SettingsRoundTripAndRefuseANewerVersion)
{
    ChannelCalcSettings s;
    s.AddRef();
    s.mParameter = kMeasureBeatRate;
    s.mSetGuideLines = false;
    s.mInterpolate = true;
    StreamRef saved;
    ASSERT_EQ(s.Save(saved.Get(), 1), S_OK);
    const std::vector<std::uint8_t> bytes = saved.Bytes();
    // Header word, then version 1, measure 2, flags 0 and 1.
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end()),
        (std::vector<std::uint8_t> { 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0 }));

    ChannelCalcSettings loaded;
    loaded.AddRef();
    StreamRef in(bytes);
    ASSERT_EQ(loaded.Load(in.Get()), S_OK);
    EXPECT_EQ(loaded.mParameter, 2u);
    EXPECT_FALSE(loaded.mSetGuideLines);
    EXPECT_TRUE(loaded.mInterpolate);

    // Version 2 is refused and changes nothing; a non-zero flag word reads as true.
    std::vector<std::uint8_t> newer = bytes;
    newer[4] = 2;
    newer[8] = 5;
    StreamRef newerIn(newer);
    EXPECT_EQ(loaded.Load(newerIn.Get()), static_cast<HRESULT>(0xA0048205u));
    EXPECT_EQ(loaded.mParameter, 2u);
    std::vector<std::uint8_t> flags = bytes;
    flags[12] = 7;
    StreamRef flagsIn(flags);
    ASSERT_EQ(loaded.Load(flagsIn.Get()), S_OK);
    EXPECT_TRUE(loaded.mSetGuideLines);
}

TEST(ChannelCalc, MeasuresGiveTheirTextsUnitsRangesAndFormula)
{
    struct Case {
        std::uint32_t measure;
        const wchar_t* description;
        const wchar_t* unit;
        float low, high;
    };
    const Case cases[] = {
        { 0, L"HRV Calculation : Beat Period", L"s", -2, 2 },
        { 1, L"HRV Calculation : Change in Beat Period", L"s", -0.1f, 0.1f },
        { 2, L"HRV Calculation : Beat Rate", L"BPM", -120, 120 },
        { 5, L"HRV Calculation : Beat Complexity", L"", -2, 2 },
        { 3, L"HRV Calculation : ", L"", -10, 10 },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CalcDescription(c.measure), c.description);
        const CalcChannelSetup s = CalcSetupFor(c.measure);
        EXPECT_EQ(s.unit, c.unit);
        EXPECT_EQ(s.low, c.low);
        EXPECT_EQ(s.high, c.high);
        EXPECT_DOUBLE_EQ(s.gain, (double(c.high) - double(c.low)) / 64000);
    }
    EXPECT_EQ(CalcFormula(2, false), L"HRVSelector(HRV_vFID,2,false)");
    EXPECT_EQ(CalcFormula(5, true), L"HRVSelector(HRV_vFID,5,true)");
}
