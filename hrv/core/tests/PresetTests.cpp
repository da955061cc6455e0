#include <gtest/gtest.h>

#include <limits>

#include "hrv/core/Settings.h"
#include "hrv/core/tests/HrvTestSupport.h"

using namespace HRV;
using HRV::test::SettingsRef;
using HRV::test::Snapshot;

namespace {

// The three blocks of each species, as published for the settings dialog.
struct Preset {
    const char* name;
    double lowPass, levelling, peak, qrs, minPeriod;
    double rrMin, rrMax, cMin, cMax;
    double maxF, vlfHigh, lfHigh, hfHigh;
};
const Preset kPresets[] = {
    { "Human", 30, 5.0, 3.0, 0.08, 0.3, 0.8, 1.2, 1.0, 1.5, 0.5, 0.04, 0.15, 0.45 },
    { "Large Dog", 30, 4.0, 3.0, 0.06, 0.18, 0.5, 1.2, 1.0, 1.5, 0.5, 0.04, 0.15, 0.45 },
    { "Small Dog", 30, 3.5, 3.0, 0.04, 0.15, 0.5, 1.2, 1.0, 1.5, 0.5, 0.04, 0.15, 0.45 },
    { "Guinea Pig", 60, 3.3, 3.0, 0.035, 0.15, 0.35, 0.55, 1.1, 1.3, 3.0, 0.2, 0.75, 2.5 },
    { "Mouse", 150, 1.0, 3.0, 0.01, 0.06, 0.09, 0.12, 0.9, 1.1, 5.0, 0.15, 1.5, 5.0 },
    { "Pig", 30, 3.7, 3.0, 0.04, 0.2, 0.5, 1.2, 1.0, 1.5, 2.0, 0.01, 0.09, 2.0 },
    { "Rabbit", 60, 3.4, 3.0, 0.035, 0.1, 0.25, 0.35, 1.1, 1.3, 2.0, 0.05, 0.15, 2.0 },
    { "Rat", 150, 1.5, 3.0, 0.015, 0.1, 0.1, 0.2, 1.0, 1.8, 3.0, 0.2, 0.75, 2.5 },
};

void ExpectPreset(const Settings& s, const Preset& p)
{
    EXPECT_EQ(p.lowPass, s.mLowPassCutoff) << p.name;
    EXPECT_EQ(p.levelling, s.mLevellingWindow) << p.name;
    EXPECT_EQ(p.peak, s.mMinPeakHeight) << p.name;
    EXPECT_EQ(p.qrs, s.mQRSWidth) << p.name;
    EXPECT_EQ(p.minPeriod, s.mMinPeriod) << p.name;
    EXPECT_EQ(0.0, s.mNoiseLevel) << p.name;
    EXPECT_EQ(p.rrMin, s.mRRMin) << p.name;
    EXPECT_EQ(p.rrMax, s.mRRMax) << p.name;
    EXPECT_EQ(p.cMin, s.mComplexityMin) << p.name;
    EXPECT_EQ(p.cMax, s.mComplexityMax) << p.name;
    EXPECT_EQ(p.maxF, s.mMaxFrequency) << p.name;
    EXPECT_EQ(0.0, s.mVLFLow) << p.name;
    EXPECT_EQ(p.vlfHigh, s.mVLFHigh) << p.name;
    EXPECT_EQ(p.vlfHigh, s.mLFLow) << p.name;
    EXPECT_EQ(p.lfHigh, s.mLFHigh) << p.name;
    EXPECT_EQ(p.lfHigh, s.mHFLow) << p.name;
    EXPECT_EQ(p.hfHigh, s.mHFHigh) << p.name;
}

} // namespace

TEST(SpeciesPresets, EachPresetWritesItsThreeBlocksAndNothingElse)
{
    SettingsRef fresh;
    ExpectPreset(*fresh.s, kPresets[0]); // the defaults are "Human"
    for (std::uint32_t i = 0; i < 8; ++i) {
        SettingsRef s;
        // Fields outside the blocks must survive any preset.
        s->mNoiseLevel = 0.7;
        s->mNumFrequencies = 128;
        s->mDataWindow = 1;
        s->mHistogramBinWidth = 0.03;
        s->mSDARRAveraging = 60;
        s->mExcludeEctopics = false;
        ASSERT_TRUE(s->ApplySpeciesPreset(static_cast<std::int32_t>(i)));
        EXPECT_EQ(i, s->mSpecies);
        ExpectPreset(*s.s, kPresets[i]);
        EXPECT_EQ(128, s->mNumFrequencies);
        EXPECT_EQ(1, s->mDataWindow);
        EXPECT_EQ(0.03, s->mHistogramBinWidth);
        EXPECT_EQ(60.0, s->mSDARRAveraging);
        EXPECT_FALSE(s->mExcludeEctopics);
    }
}

TEST(SpeciesPresets, CustomKeepsThePreviousValuesAndBadIndexesChangeNothing)
{
    SettingsRef s;
    ASSERT_TRUE(s->ApplySpeciesPreset(4)); // Mouse
    ASSERT_TRUE(s->ApplySpeciesPreset(8)); // Custom
    EXPECT_EQ(8u, s->mSpecies);
    ExpectPreset(*s.s, kPresets[4]);

    s->mQRSWidth = 0.5; // the user's own value
    const Snapshot before(*s.s);
    for (std::int32_t bad : { 9, -1, 100, std::numeric_limits<std::int32_t>::min() }) {
        EXPECT_FALSE(s->ApplySpeciesPreset(bad)) << bad;
        EXPECT_TRUE(before == Snapshot(*s.s)) << bad;
    }
    EXPECT_FALSE(s->ApplyDetectorPreset(9));
    EXPECT_FALSE(s->ApplyDetectorPreset(0xFFFFFFFFu));
    EXPECT_TRUE(before == Snapshot(*s.s));

    // The detector preset alone leaves the beat box and the spectrum.
    ASSERT_TRUE(s->ApplyDetectorPreset(5)); // Pig
    EXPECT_EQ(5u, s->mSpecies);
    EXPECT_EQ(3.7, s->mLevellingWindow);
    EXPECT_EQ(0.2, s->mMinPeriod);
    EXPECT_EQ(0.09, s->mRRMin); // still Mouse
    EXPECT_EQ(5.0, s->mMaxFrequency);
    ASSERT_TRUE(s->ApplyDetectorPreset(8));
    EXPECT_EQ(8u, s->mSpecies);
    EXPECT_EQ(3.7, s->mLevellingWindow);
}
