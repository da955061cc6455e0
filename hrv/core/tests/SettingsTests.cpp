#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

#include "hrv/core/Settings.h"
#include "hrv/core/tests/HrvTestSupport.h"
#include "hrv/stats/AnalysisParameters.h"
#include "log/Log.h"

using namespace HRV;
using HRV::test::Bytes;
using HRV::test::SettingsRef;
using HRV::test::Snapshot;
using HRV::test::StreamRef;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The stored items in their documented order, with the version that introduced each, written
// here independently of the implementation's own table.
enum class K { U32, Flag, F64, Pos, I32 };
struct StoredItem {
    const char* name;
    K kind;
    std::uint32_t since;
    void (*copy)(Settings& to, const Settings& from);
};
#define ITEM(field, kind, since)                                                                                       \
    {                                                                                                                  \
#field, K::kind, since, [](Settings & to, const Settings& from) { to.field = from.field; }                     \
    }
const StoredItem kStored[] = {
    ITEM(mSourceChannel, U32, 0),
    ITEM(mSourceChannelFlags, U32, 0),
    ITEM(mUseSelection, Flag, 0),
    ITEM(mShowEventMarkers, Flag, 0),
    ITEM(mRangeStart, Pos, 0),
    ITEM(mRangeEnd, Pos, 0),
    ITEM(mHistogramBinWidth, F64, 0),
    ITEM(mAutoBinWidth, Flag, 0),
    ITEM(mPRRThreshold, F64, 0),
    ITEM(mExcludeEctopics, Flag, 0),
    ITEM(mAnalyzeWhileSampling, Flag, 0),
    ITEM(mSDARRAveraging, F64, 3),
    ITEM(mRRMin, F64, 0),
    ITEM(mRRMax, F64, 0),
    ITEM(mComplexityMin, F64, 0),
    ITEM(mComplexityMax, F64, 0),
    ITEM(mSpecies, U32, 0),
    ITEM(mLevellingWindow, F64, 0),
    ITEM(mNoiseLevel, F64, 0),
    ITEM(mMinPeakHeight, F64, 0),
    ITEM(mQRSWidth, F64, 0),
    ITEM(mMinPeriod, F64, 0),
    ITEM(mLowPassCutoff, F64, 6),
    ITEM(mMaxFrequency, F64, 0),
    ITEM(mVLFLow, F64, 0),
    ITEM(mVLFHigh, F64, 0),
    ITEM(mLFLow, F64, 0),
    ITEM(mLFHigh, F64, 0),
    ITEM(mHFLow, F64, 0),
    ITEM(mHFHigh, F64, 0),
    ITEM(mNumFrequencies, I32, 2),
    ITEM(mDataWindow, I32, 4),
};
#undef ITEM

std::size_t ItemSize(K kind)
{
    return kind == K::F64 || kind == K::Pos ? 8 : 4;
}

// A settings object whose every field differs from the defaults.
void MakeDistinct(Settings& s)
{
    s.mSourceChannel = 3;
    s.mSourceChannelFlags = 0x12345678;
    s.mUseSelection = true;
    s.mShowEventMarkers = false;
    s.mRangeStart = { 1000, 2 };
    s.mRangeEnd = { 0x7FFFFFFF, kLastRecord };
    s.mHistogramBinWidth = 0.02;
    s.mAutoBinWidth = true;
    s.mPRRThreshold = 0.03;
    s.mSDARRAveraging = 120;
    s.mExcludeEctopics = false;
    s.mAnalyzeWhileSampling = true;
    s.mRRMin = 0.25;
    s.mRRMax = 0.35;
    s.mComplexityMin = 1.1;
    s.mComplexityMax = 1.3;
    s.mSpecies = 6;
    s.mLowPassCutoff = 60;
    s.mLevellingWindow = 3.4;
    s.mNoiseLevel = 0.125;
    s.mMinPeakHeight = 2.5;
    s.mQRSWidth = 0.035;
    s.mMinPeriod = 0.1;
    s.mMaxFrequency = 2.0;
    s.mVLFLow = 0.001;
    s.mVLFHigh = 0.05;
    s.mLFLow = 0.06;
    s.mLFHigh = 0.16;
    s.mHFLow = 0.17;
    s.mHFHigh = 1.9;
    s.mNumFrequencies = 256;
    s.mDataWindow = 2;
}

std::vector<std::uint8_t> Saved(Settings& s)
{
    StreamRef mem;
    EXPECT_EQ(S_OK, s.Save(mem.Get(), 1));
    return mem.Bytes();
}

HRESULT LoadBytes(Settings& s, std::vector<std::uint8_t> bytes)
{
    StreamRef mem(std::move(bytes));
    return s.Load(mem.Get());
}

} // namespace

TEST(Settings, DefaultsAndIdentity)
{
    SettingsRef s;
    EXPECT_EQ(0u, s->mSourceChannel);
    EXPECT_EQ(0xC0000000u, s->mSourceChannelFlags);
    EXPECT_FALSE(s->mUseSelection);
    EXPECT_TRUE(s->mShowEventMarkers);
    EXPECT_EQ(kUnsetPosition, s->mRangeStart);
    EXPECT_FALSE(s->HasValidRange());
    EXPECT_EQ(300.0, s->mSDARRAveraging);
    EXPECT_TRUE(s->mExcludeEctopics);
    EXPECT_EQ(500, s->mNumFrequencies);
    EXPECT_EQ(5, s->mDataWindow);
    EXPECT_FALSE(s->mDirty || s->mLoaded || s->mStoredWithHost);
    EXPECT_EQ(S_FALSE, s->IsDirty());
    s->mDirty = true;
    EXPECT_EQ(S_OK, s->IsDirty());

    CLSID clsid {};
    EXPECT_EQ(S_OK, s->GetClassID(&clsid));
    EXPECT_EQ(GUID_HRVDocumentObj, clsid);
    ULARGE_INTEGER size;
    EXPECT_EQ(E_NOTIMPL, s->GetSizeMax(&size));
    for (const IID& iid : { IUnknown::kIid, IPersist::kIid, IPersistStreamInit::kIid, IHRVSettings::kIid }) {
        void* out = nullptr;
        ASSERT_EQ(S_OK, s->QueryInterface(iid, &out));
        static_cast<IUnknown*>(out)->Release();
    }
    void* none = nullptr;
    EXPECT_EQ(E_NOINTERFACE, s->QueryInterface(IStream::kIid, &none));
    EXPECT_EQ(1u, s->RefCount());

    // InitNew restores the defaults but not the flags or the loaded version.
    MakeDistinct(*s);
    s->mLoaded = true;
    s->mLoadedVersion = 4;
    EXPECT_EQ(S_OK, s->InitNew());
    SettingsRef fresh;
    fresh->mLoaded = true;
    fresh->mDirty = true;
    fresh->mLoadedVersion = 4;
    EXPECT_TRUE(Snapshot(*s) == Snapshot(*fresh));
}

TEST(Settings, SaveWritesVersion6InTheDocumentedLayoutAndReadsBackExactly)
{
    SettingsRef s;
    MakeDistinct(*s);
    s->mDirty = true;
    const auto bytes = Saved(*s);
    EXPECT_FALSE(s->mDirty); // cleared by the save
    std::size_t expectedSize = 8;
    for (const auto& item : kStored)
        expectedSize += ItemSize(item.kind);
    ASSERT_EQ(expectedSize, bytes.size());
    Bytes head;
    head.Header()
        .U32(6)
        .U32(3)
        .U32(0x12345678)
        .U32(1)
        .U32(0)
        .U32(2)
        .U32(1000)
        .U32(kLastRecord)
        .U32(0x7FFFFFFF)
        .F64(0.02);
    EXPECT_TRUE(std::equal(head.b.begin(), head.b.end(), bytes.begin()));
    Bytes tail;
    tail.F64(1.9).U32(256).U32(2);
    EXPECT_TRUE(std::equal(tail.b.begin(), tail.b.end(), bytes.end() - tail.b.size()));

    SettingsRef back;
    ASSERT_EQ(S_OK, LoadBytes(*back, bytes));
    EXPECT_EQ(6u, back->mLoadedVersion);
    EXPECT_TRUE(back->mLoaded && back->mStoredWithHost && !back->mDirty);
    // Everything but the bookkeeping flags and the loaded version matches.
    back->mLoaded = back->mStoredWithHost = false;
    s->mLoadedVersion = 6;
    EXPECT_TRUE(Snapshot(*s) == Snapshot(*back));
    EXPECT_EQ(0u, back->Compare(s.s));

    // A save with clearDirty false leaves the flag; a failed save is not reported as success.
    s->mDirty = true;
    StreamRef keep;
    EXPECT_EQ(S_OK, s->Save(keep.Get(), 0));
    EXPECT_TRUE(s->mDirty);
    EXPECT_EQ(E_FAIL, s->Save(nullptr, 1));
    EXPECT_TRUE(s->mDirty);
}

TEST(Settings, StoredVersionsReadOnlyTheItemsTheyHold)
{
    vx::log::Capture capture;
    for (std::uint32_t version = 0; version <= 6; ++version) {
        SettingsRef source;
        MakeDistinct(*source);
        Bytes b;
        b.Header().U32(version);
        // Write the items this version holds, from a full version-6 stream.
        const auto full = Saved(*source);
        std::size_t at = 8;
        for (const auto& item : kStored) {
            const std::size_t n = ItemSize(item.kind);
            if (item.since <= version)
                b.b.insert(b.b.end(), full.begin() + at, full.begin() + at + n);
            at += n;
        }
        SettingsRef target; // holds the defaults before the load
        ASSERT_EQ(S_OK, LoadBytes(*target, b.b)) << version;
        EXPECT_EQ(version, target->mLoadedVersion);
        // Items of later versions keep the values the object had.
        EXPECT_EQ(version >= 3 ? 120.0 : 300.0, target->mSDARRAveraging) << version;
        EXPECT_EQ(version >= 6 ? 60.0 : 30.0, target->mLowPassCutoff) << version;
        EXPECT_EQ(version >= 2 ? 256 : 500, target->mNumFrequencies) << version;
        EXPECT_EQ(version >= 4 ? 2 : 5, target->mDataWindow) << version;
        // Items of version 0 are read whatever the version.
        EXPECT_EQ(0.035, target->mQRSWidth);
        EXPECT_EQ(1.9, target->mHFHigh);
        EXPECT_EQ(source->mRangeEnd, target->mRangeEnd);
    }
    EXPECT_TRUE(capture.Lines().empty()); // complete streams say nothing
}

TEST(Settings, StreamCutAnywhereKeepsCompleteItemsAndTheRestAsTheyWere)
{
    SettingsRef source;
    MakeDistinct(*source);
    const auto full = Saved(*source);
    for (std::size_t cut = 4; cut < full.size(); ++cut) {
        vx::log::Capture capture;
        SettingsRef target;
        target->mLoadedVersion = 77;
        ASSERT_EQ(S_OK, LoadBytes(*target, std::vector<std::uint8_t>(full.begin(), full.begin() + cut)));
        EXPECT_TRUE(target->mLoaded && target->mStoredWithHost && !target->mDirty);
        EXPECT_EQ(1u, capture.Lines().size()) << cut;

        // The expectation: the source's value for every item wholly inside the cut.
        SettingsRef expected;
        expected->mLoadedVersion = cut >= 8 ? 6 : 77;
        expected->mLoaded = expected->mStoredWithHost = true;
        std::size_t at = 8;
        for (const auto& item : kStored) {
            at += ItemSize(item.kind);
            if (at > cut)
                break;
            item.copy(*expected, *source);
        }
        EXPECT_TRUE(Snapshot(*expected) == Snapshot(*target)) << cut;
    }
}

TEST(Settings, ShortStreamKeepsFlagsTheUserNeverTouched)
{
    // A version-6 stream that ends inside mAnalyzeWhileSampling: the flags after the cut must
    // not be forced to false.
    SettingsRef source;
    const auto full = Saved(*source);
    SettingsRef target;
    target->mExcludeEctopics = true;
    target->mShowEventMarkers = true;
    vx::log::Capture capture;
    const std::size_t cut = 8 + 4 + 4 + 4 + 4 + 16 + 8 + 4 + 8 + 2;
    ASSERT_EQ(S_OK, LoadBytes(*target, std::vector<std::uint8_t>(full.begin(), full.begin() + cut)));
    EXPECT_TRUE(target->mExcludeEctopics);
    EXPECT_TRUE(target->mShowEventMarkers);
    ASSERT_EQ(1u, capture.Lines().size());
    EXPECT_NE(std::string::npos, capture.Lines()[0].find("ended early"));

    // Not even the version word: nothing is read, one line, still S_OK.
    capture.Clear();
    SettingsRef empty;
    MakeDistinct(*empty);
    const Snapshot held(*empty);
    ASSERT_EQ(S_OK, LoadBytes(*empty, {}));
    empty->mLoaded = empty->mStoredWithHost = false;
    EXPECT_TRUE(held == Snapshot(*empty));
    EXPECT_EQ(1u, capture.Lines().size());
    EXPECT_EQ(E_POINTER, empty->Load(nullptr));
}

TEST(Settings, UnknownVersionsAreRefusedChangingOnlyTheLoadedVersion)
{
    for (std::uint32_t version : { 7u, 8u, 100u, 106u, 0x10007u, 0xFFFFFFFFu }) {
        SettingsRef s;
        MakeDistinct(*s);
        s->mDirty = true;
        Snapshot before(*s);
        ASSERT_EQ(KEL::kStreamVersionTooNew, LoadBytes(*s, Bytes().Header().U32(version).U32(1).U32(2).b));
        EXPECT_EQ(version, s->mLoadedVersion);
        s->mLoadedVersion = 0;
        EXPECT_TRUE(before == Snapshot(*s)) << version;
    }
}

namespace {

// A legacy settings stream with the documented sections; `variant` breaks one part of it.
enum class Break { None, FirstTag, SectionVersion, Tail777, Truncate, BadString };

Bytes LegacyStream(std::uint32_t version, double d, Break what = Break::None, std::uint32_t section5Version = 101)
{
    Bytes b;
    b.Header().U32(version);
    b.U32(what == Break::FirstTag ? 0x10009 : 0x10001).U32(101);
    b.U32(1).U32(4); // flag A, channel
    b.F64(700).F64(600).F64(1300).F64(1250); // L1-L4: L2 and L4 are raised on reading
    b.U32(0); // flag B
    b.F64(20).F64(50).F64(0.05).F64(0.2).F64(0.6).F64(0.9); // C1-C6
    b.U32(9).U32(9).U32(9).U32(0).U32(1);
    b.U32(0x10002).U32(what == Break::SectionVersion ? 102 : 101);
    b.F64(1.0).F64(d).U32(5).U32(1).U32(0).U32(1).U32(6);
    b.U32(0x10003).U32(101);
    if (what == Break::BadString)
        b.U32(0x80000001).U32(5).U32(5);
    else
        b.Str(u"title");
    b.U32(2).Str(u"comment");
    b.U32(0x10004).U32(101).U32(1).U32(1).U32(1);
    b.U32(0x10005).U32(section5Version).U32(0).U32(0).U32(0).U32(3).U32(0).U32(0).U32(0).U32(0);
    if (section5Version == 102)
        b.U32(1);
    b.U32(0);
    b.U32(0x10006).U32(101).U32(1).U32(0); // E, F
    if (version >= 104) {
        b.U32(1).U32(1).U32(10).U32(20).U32(30).U32(40).U32(what == Break::Tail777 ? 778 : 777);
        b.U32(0);
        if (version == 105)
            b.U32(1).F64(1).F64(2).F64(3).F64(4).U32(0);
    }
    if (what == Break::Truncate)
        b.b.resize(b.b.size() - 3);
    return b;
}

} // namespace

TEST(Settings, LegacyVersionsConvertOrLeaveTheSettingsAsTheyWere)
{
    struct Case {
        std::uint32_t version;
        double d;
        Break what;
        std::uint32_t section5;
        bool converts;
    };
    const Case cases[] = {
        { 101, 0.25, Break::None, 101, true },
        { 104, 0.25, Break::None, 102, true },
        { 105, 0.25, Break::None, 101, true },
        { 105, 0.005, Break::None, 101, true }, // D below 0.01 keeps mMinPeriod and mSpecies
        { 102, 0.25, Break::None, 101, false },
        { 103, 0.25, Break::None, 101, false },
        { 105, 0.25, Break::FirstTag, 101, false },
        { 105, 0.25, Break::SectionVersion, 101, false },
        { 104, 0.25, Break::Tail777, 101, false },
        { 105, 0.25, Break::Truncate, 101, false },
        { 101, 0.25, Break::Truncate, 101, false },
        { 104, 0.25, Break::BadString, 101, false },
    };
    for (const auto& c : cases) {
        vx::log::Capture capture;
        SettingsRef s;
        s->mDirty = true;
        const Snapshot before(*s);
        ASSERT_EQ(S_OK, LoadBytes(*s, LegacyStream(c.version, c.d, c.what, c.section5).b)) << c.version;
        EXPECT_TRUE(s->mLoaded && s->mStoredWithHost && !s->mDirty);
        EXPECT_EQ(c.version, s->mLoadedVersion);
        if (!c.converts) {
            s->mLoaded = s->mStoredWithHost = false;
            s->mDirty = true;
            s->mLoadedVersion = 0;
            EXPECT_TRUE(before == Snapshot(*s)) << c.version << " " << static_cast<int>(c.what);
            EXPECT_EQ(1u, capture.Lines().size()) << c.version << " " << static_cast<int>(c.what);
            continue;
        }
        EXPECT_TRUE(capture.Lines().empty());
        EXPECT_TRUE(s->mUseSelection);
        EXPECT_EQ(4u, s->mSourceChannel);
        EXPECT_EQ(0xC0000000u, s->mSourceChannelFlags);
        EXPECT_FALSE(s->mShowEventMarkers);
        EXPECT_TRUE(s->mAnalyzeWhileSampling);
        EXPECT_FALSE(s->mExcludeEctopics);
        EXPECT_DOUBLE_EQ(0.02, s->mHistogramBinWidth);
        EXPECT_DOUBLE_EQ(0.05, s->mPRRThreshold);
        EXPECT_DOUBLE_EQ(0.7, s->mRRMin); // L2 raised to L1
        EXPECT_DOUBLE_EQ(1.3, s->mRRMax);
        EXPECT_EQ(0.0, s->mVLFLow);
        EXPECT_EQ(0.05, s->mVLFHigh);
        EXPECT_EQ(0.05, s->mLFLow);
        EXPECT_EQ(0.2, s->mLFHigh);
        EXPECT_EQ(0.2, s->mHFLow);
        EXPECT_EQ(0.6, s->mHFHigh);
        EXPECT_EQ(0.9, s->mMaxFrequency);
        EXPECT_EQ(c.d >= 0.01 ? 0.25 : 0.3, s->mMinPeriod);
        EXPECT_EQ(c.d >= 0.01 ? 8u : 0u, s->mSpecies);
        // Fields the legacy layout does not hold keep their values.
        EXPECT_EQ(300.0, s->mSDARRAveraging);
        EXPECT_EQ(1.0, s->mComplexityMin);
        EXPECT_EQ(500, s->mNumFrequencies);
    }
}

TEST(Settings, CompareGivesTheChangeMaskOfEachFieldGroup)
{
    using Mutate = void (*)(Settings&);
    struct Case {
        const char* name;
        Mutate change;
        std::uint32_t mask;
    };
    const Case cases[] = {
        { "source channel", [](Settings& s) { s.mSourceChannel = 1; }, 0xFFFFFFFF },
        { "source flags", [](Settings& s) { s.mSourceChannelFlags = 0; }, 0xFFFFFFFF },
        { "use selection", [](Settings& s) { s.mUseSelection = true; }, 0xFFFFFFFF },
        { "range start",
            [](Settings& s) {
                s.mRangeStart = { 0, 0 };
            },
            0xFFFFFFFF },
        { "range end", [](Settings& s) { s.mRangeEnd.mOffset = 5; }, 0xFFFFFFFF },
        { "exclude ectopics", [](Settings& s) { s.mExcludeEctopics = false; }, 0x4FFFFFF },
        { "bin width", [](Settings& s) { s.mHistogramBinWidth = 0.02; }, 0x20000 },
        { "auto bin width", [](Settings& s) { s.mAutoBinWidth = true; }, 0x20000 },
        { "pRR threshold", [](Settings& s) { s.mPRRThreshold = 0.02; }, 0x40000 },
        { "SDARR", [](Settings& s) { s.mSDARRAveraging = 60; }, 0x100 },
        { "RR min", [](Settings& s) { s.mRRMin = 0.7; }, 0x4FFFFFF },
        { "RR max", [](Settings& s) { s.mRRMax = 1.3; }, 0x4FFFFFF },
        { "complexity min", [](Settings& s) { s.mComplexityMin = 0.9; }, 0x4FFFFFF },
        { "complexity max NaN", [](Settings& s) { s.mComplexityMax = kNaN; }, 0x4FFFFFF },
        { "low pass", [](Settings& s) { s.mLowPassCutoff = 40; }, 0xFFFFFFFF },
        { "levelling", [](Settings& s) { s.mLevellingWindow = 4; }, 0x6FFFFFF },
        { "noise", [](Settings& s) { s.mNoiseLevel = 0.1; }, 0x6FFFFFF },
        { "peak height", [](Settings& s) { s.mMinPeakHeight = 2; }, 0x6FFFFFF },
        { "min period", [](Settings& s) { s.mMinPeriod = 0.2; }, 0x6FFFFFF },
        { "QRS width", [](Settings& s) { s.mQRSWidth = 0.1; }, 0x4FFFFFF },
        { "max frequency", [](Settings& s) { s.mMaxFrequency = 1; }, 3 },
        { "frequencies", [](Settings& s) { s.mNumFrequencies = 100; }, 3 },
        { "VLF low", [](Settings& s) { s.mVLFLow = 0.01; }, 2 },
        { "HF high", [](Settings& s) { s.mHFHigh = 0.4; }, 2 },
        { "pRR and SDARR",
            [](Settings& s) {
                s.mPRRThreshold = 0.02;
                s.mSDARRAveraging = 60;
            },
            0x40100 },
        { "markers, sampling, species, window",
            [](Settings& s) {
                s.mShowEventMarkers = false;
                s.mAnalyzeWhileSampling = true;
                s.mSpecies = 4;
                s.mDataWindow = 0;
            },
            0 },
    };
    SettingsRef base;
    for (const auto& c : cases) {
        SettingsRef other;
        c.change(*other);
        EXPECT_EQ(c.mask, other->Compare(base.s)) << c.name;
        EXPECT_EQ(c.mask, base->Compare(other.s)) << c.name;
    }
    EXPECT_EQ(0u, base->Compare(nullptr));
    SettingsRef nan;
    nan->mRRMin = kNaN;
    EXPECT_EQ(0x4FFFFFFu, nan->Compare(nan.s)); // a NaN differs even from itself
}

TEST(Settings, CloneValidityAndStatisticsParameters)
{
    SettingsRef s;
    MakeDistinct(*s);
    s->mDirty = true;
    s->mLoaded = true;
    s->mLoadedVersion = 4;
    Settings* copy = nullptr;
    ASSERT_EQ(S_OK, s->Clone(&copy));
    EXPECT_EQ(1u, copy->RefCount());
    EXPECT_EQ(0u, copy->mLoadedVersion); // not copied
    copy->mLoadedVersion = 4;
    EXPECT_TRUE(Snapshot(*s) == Snapshot(*copy));
    copy->Release();
    EXPECT_EQ(S_OK, s->Clone(nullptr));

    EXPECT_TRUE(s->IsValid());
    s->mRRMax = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(s->IsValid()); // outside the 0 to 60 s of the dialog
    s->mRRMax = 0.35;
    s->mComplexityMin = kNaN;
    EXPECT_FALSE(s->IsValid());
    s->mComplexityMin = 1.1;

    const AnalysisParameters p = AnalysisParametersFrom(*s);
    EXPECT_EQ(0.02, p.mHistogramBinWidth);
    EXPECT_TRUE(p.mAutoBinWidth);
    EXPECT_EQ(120.0, p.mSDARRAveraging);
    EXPECT_EQ(1.9, p.mHFHigh);
    EXPECT_EQ(256, p.mNumFrequencies);
    EXPECT_EQ(2, p.mDataWindow);
}

TEST(Settings, ValuesAreSetByNameOnlyWithinTheirRanges)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* text;
        bool taken;
        const wchar_t* reason; // part of the refusal
    };
    const Case cases[] = {
        { L"NumFrequencies", L"256", true, L"" },
        { L"NumFrequencies", L"2147483647", false, L"NumFrequencies must be from 10 to 10000, not 2147483647" },
        { L"NumFrequencies", L"20000000", false, L"from 10 to 10000" },
        { L"NumFrequencies", L"9", false, L"from 10 to 10000" },
        { L"NumFrequencies", L"12.5", false, L"bad value for NumFrequencies" },
        { L"RRMin", L"0.25", true, L"" },
        { L"RRMin", L"nan", false, L"RRMin must be from 0 to 60 s" },
        { L"RRMax", L"inf", false, L"RRMax must be from 0 to 60 s" },
        { L"RRMax", L"", false, L"bad value for RRMax" },
        { L"QRSWidth", L"0.005", false, L"from 0.01 to 10 s" },
        { L"LowPassCutoff", L"1e3", false, L"from 10 to 200 Hz" },
        { L"DataWindow", L"-1", false, L"from 0 to 5" },
        { L"SourceChannel", L"-1", false, L"SourceChannel must be" },
        { L"Species", L"9", false, L"from 0 to 8" },
        { L"ExcludeEctopics", L"false", true, L"" },
        { L"ExcludeEctopics", L"2", false, L"from 0 to 1" },
        { L"RangeStart", L"0", false, L"analysed range" },
        { L"Bogus", L"1", false, L"unknown setting: Bogus" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + std::wcslen(c.name)) + "="
            + std::string(c.text, c.text + std::wcslen(c.text)));
        SettingsRef s; // the defaults, which every accepted case changes
        const Snapshot before(*s);
        std::wstring reason;
        EXPECT_EQ(c.taken, s->SetField(c.name, c.text, &reason));
        if (c.taken) {
            EXPECT_FALSE(before == Snapshot(*s));
            EXPECT_TRUE(s->IsValid());
        } else {
            EXPECT_NE(std::wstring::npos, reason.find(c.reason)) << std::string(reason.begin(), reason.end());
            EXPECT_TRUE(before == Snapshot(*s)); // nothing changed
        }
    }
    // Every field of the table has a name that finds it, and the defaults lie in every range.
    SettingsRef defaults;
    for (const SettingsField& f : SettingsFields())
        EXPECT_EQ(&f, FindSettingsField(f.name));
    EXPECT_TRUE(defaults->IsValid());
    for (std::int32_t species = 0; species <= 8; ++species) {
        ASSERT_TRUE(defaults->ApplySpeciesPreset(species));
        EXPECT_TRUE(defaults->IsValid()) << species;
    }
}

TEST(Settings, PairsInTheWrongOrderAreInvalidUntilOrdered)
{
    SettingsRef s;
    ASSERT_TRUE(s->SetField(L"RRMin", L"1.2", nullptr));
    ASSERT_TRUE(s->SetField(L"RRMax", L"0.3", nullptr));
    ASSERT_TRUE(s->SetField(L"HFLow", L"0.5", nullptr));
    std::wstring reason;
    EXPECT_FALSE(s->Validate(&reason));
    EXPECT_EQ(L"RRMin must not be above RRMax", reason);
    s->OrderPairs();
    EXPECT_TRUE(s->IsValid());
    EXPECT_EQ(0.3, s->mRRMin);
    EXPECT_EQ(1.2, s->mRRMax);
    EXPECT_EQ(0.45, s->mHFLow);
    EXPECT_EQ(0.5, s->mHFHigh);
}

TEST(Settings, StreamsWithValuesOutsideTheirRangesAreRefusedAndChangeNothing)
{
    SettingsRef source;
    const auto full = Saved(*source);
    // The offset of an item in a version-6 stream.
    const auto offsetOf = [](const char* name) {
        std::size_t at = 8;
        for (const auto& item : kStored) {
            if (std::string(item.name) == name)
                return at;
            at += ItemSize(item.kind);
        }
        ADD_FAILURE() << name;
        return at;
    };
    struct Case {
        const char* field;
        bool real;
        double value;
        const char* reason;
    };
    const Case cases[] = {
        { "mNumFrequencies", false, 2147483647, "NumFrequencies must be from 10 to 10000" },
        { "mNumFrequencies", false, -5, "NumFrequencies must be from 10 to 10000" },
        { "mMaxFrequency", true, kNaN, "MaxFrequency must be from 0 to 10 Hz" },
        { "mRRMax", true, 1e300, "RRMax must be from 0 to 60 s" },
        { "mSpecies", false, 12, "Species must be from 0 to 8" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        std::vector<std::uint8_t> bytes = full;
        const std::size_t at = offsetOf(c.field);
        if (c.real) {
            std::memcpy(bytes.data() + at, &c.value, 8);
        } else {
            const auto v = static_cast<std::int32_t>(c.value);
            std::memcpy(bytes.data() + at, &v, 4);
        }
        SettingsRef target;
        MakeDistinct(*target);
        target->mLoadedVersion = 3;
        const Snapshot before(*target);
        vx::log::Capture capture;
        EXPECT_EQ(E_INVALIDARG, LoadBytes(*target, bytes));
        EXPECT_EQ(6u, target->mLoadedVersion);
        target->mLoadedVersion = 3;
        EXPECT_TRUE(before == Snapshot(*target));
        EXPECT_FALSE(target->mLoaded);
        ASSERT_EQ(1u, capture.Lines().size());
        EXPECT_NE(std::string::npos, capture.Lines()[0].find(c.reason)) << capture.Lines()[0];
    }
}
