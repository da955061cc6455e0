#include "hrv/core/Settings.h"

#include <algorithm>

#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"

namespace HRV {

namespace {

constexpr HRESULT kBadFirstSection = MakeHResult(0xA0048204u);
constexpr HRESULT kBadSection = MakeHResult(0xA0048206u);

// One item of the settings stream: how it is read and written, and the first stored version
// that holds it. Items are stored in this order.
enum class Kind { U32, I32, Flag, F64, Position };

struct Item {
    Kind kind;
    std::uint32_t since;
    std::uint32_t Settings::*u32 = nullptr;
    std::int32_t Settings::*i32 = nullptr;
    bool Settings::*flag = nullptr;
    double Settings::*f64 = nullptr;
    Position Settings::*position = nullptr;
};

constexpr Item U32(std::uint32_t Settings::*f, std::uint32_t since)
{
    return { Kind::U32, since, f };
}
constexpr Item I32(std::int32_t Settings::*f, std::uint32_t since)
{
    return { Kind::I32, since, nullptr, f };
}
constexpr Item Flag(bool Settings::*f, std::uint32_t since)
{
    return { Kind::Flag, since, nullptr, nullptr, f };
}
constexpr Item F64(double Settings::*f, std::uint32_t since)
{
    return { Kind::F64, since, nullptr, nullptr, nullptr, f };
}
constexpr Item Pos(Position Settings::*f, std::uint32_t since)
{
    return { Kind::Position, since, nullptr, nullptr, nullptr, nullptr, f };
}

const Item kItems[] = {
    U32(&Settings::mSourceChannel, 0),
    U32(&Settings::mSourceChannelFlags, 0),
    Flag(&Settings::mUseSelection, 0),
    Flag(&Settings::mShowEventMarkers, 0),
    Pos(&Settings::mRangeStart, 0),
    Pos(&Settings::mRangeEnd, 0),
    F64(&Settings::mHistogramBinWidth, 0),
    Flag(&Settings::mAutoBinWidth, 0),
    F64(&Settings::mPRRThreshold, 0),
    Flag(&Settings::mExcludeEctopics, 0),
    Flag(&Settings::mAnalyzeWhileSampling, 0),
    F64(&Settings::mSDARRAveraging, 3),
    F64(&Settings::mRRMin, 0),
    F64(&Settings::mRRMax, 0),
    F64(&Settings::mComplexityMin, 0),
    F64(&Settings::mComplexityMax, 0),
    U32(&Settings::mSpecies, 0),
    F64(&Settings::mLevellingWindow, 0),
    F64(&Settings::mNoiseLevel, 0),
    F64(&Settings::mMinPeakHeight, 0),
    F64(&Settings::mQRSWidth, 0),
    F64(&Settings::mMinPeriod, 0),
    F64(&Settings::mLowPassCutoff, 6),
    F64(&Settings::mMaxFrequency, 0),
    F64(&Settings::mVLFLow, 0),
    F64(&Settings::mVLFHigh, 0),
    F64(&Settings::mLFLow, 0),
    F64(&Settings::mLFHigh, 0),
    F64(&Settings::mHFLow, 0),
    F64(&Settings::mHFHigh, 0),
    I32(&Settings::mNumFrequencies, 2),
    I32(&Settings::mDataWindow, 4),
};

// Reads one item; the field changes only when the whole item arrived.
void ReadItem(KEL::BinIStream& in, Settings& s, const Item& item)
{
    switch (item.kind) {
    case Kind::U32: {
        const auto v = in.GetU32();
        if (in.Good())
            s.*item.u32 = v;
        break;
    }
    case Kind::I32: {
        const auto v = in.GetI32();
        if (in.Good())
            s.*item.i32 = v;
        break;
    }
    case Kind::Flag: {
        const auto v = in.GetU32();
        if (in.Good())
            s.*item.flag = v != 0;
        break;
    }
    case Kind::F64: {
        const auto v = in.GetF64();
        if (in.Good())
            s.*item.f64 = v;
        break;
    }
    case Kind::Position: {
        Position p;
        p.mRecord = in.GetI32();
        p.mOffset = in.GetI32();
        if (in.Good())
            s.*item.position = p;
        break;
    }
    }
}

void WriteItem(KEL::BinOStream& out, const Settings& s, const Item& item)
{
    switch (item.kind) {
    case Kind::U32:
        out.PutU32(s.*item.u32);
        break;
    case Kind::I32:
        out.PutI32(s.*item.i32);
        break;
    case Kind::Flag:
        out.PutU32(s.*item.flag ? 1 : 0);
        break;
    case Kind::F64:
        out.PutF64(s.*item.f64);
        break;
    case Kind::Position:
        out.PutI32((s.*item.position).mRecord);
        out.PutI32((s.*item.position).mOffset);
        break;
    }
}

// The legacy section reader: every failure is an XKEL, whose construction writes the one
// diagnostic line of the failed conversion.
class LegacyReader {
public:
    explicit LegacyReader(KEL::BinIStream& in)
        : mIn(in)
    {
    }

    // Opens a section: its tag and one of the accepted section versions.
    std::uint32_t Section(std::uint32_t tag, std::uint32_t lowVersion, std::uint32_t highVersion)
    {
        const HRESULT code = mFirst ? kBadFirstSection : kBadSection;
        mFirst = false;
        if (!mIn.Good() || mIn.GetU32() != tag)
            Fail(code);
        const std::uint32_t version = mIn.GetU32();
        if (!mIn.Good() || version < lowVersion || version > highVersion)
            Fail(code);
        return version;
    }
    std::uint32_t U32() { return mIn.GetU32(); }
    bool Flag() { return mIn.GetU32() != 0; }
    double F64() { return mIn.GetF64(); }
    void Skip(int words)
    {
        for (int i = 0; i < words; ++i)
            mIn.GetU32();
    }
    void SkipString() { (void)mIn.GetString(); }
    void Expect(bool condition)
    {
        if (!condition || !mIn.Good())
            Fail(kBadSection);
    }
    [[noreturn]] void Fail(HRESULT code)
    {
        throw XKEL(KEL::String(L"HRV::Settings::Load: legacy settings not converted"), code);
    }

private:
    KEL::BinIStream& mIn;
    bool mFirst = true;
};

} // namespace

Settings::Settings()
{
    InitNew();
}

HRESULT Settings::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = GUID_HRVDocumentObj;
    return S_OK;
}

HRESULT Settings::InitNew()
{
    mSourceChannel = 0;
    mSourceChannelFlags = 0xC0000000u;
    mUseSelection = false;
    mShowEventMarkers = true;
    mRangeStart = kUnsetPosition;
    mRangeEnd = kUnsetPosition;
    mHistogramBinWidth = 0.01;
    mAutoBinWidth = false;
    mPRRThreshold = 0.05;
    mSDARRAveraging = 300.0;
    mExcludeEctopics = true;
    mAnalyzeWhileSampling = false;
    mRRMin = 0.8;
    mRRMax = 1.2;
    mComplexityMin = 1.0;
    mComplexityMax = 1.5;
    mSpecies = 0;
    mLowPassCutoff = 30.0;
    mLevellingWindow = 5.0;
    mNoiseLevel = 0.0;
    mMinPeakHeight = 3.0;
    mQRSWidth = 0.08;
    mMinPeriod = 0.3;
    mMaxFrequency = 0.5;
    mVLFLow = 0.0;
    mVLFHigh = 0.04;
    mLFLow = 0.04;
    mLFHigh = 0.15;
    mHFLow = 0.15;
    mHFHigh = 0.45;
    mNumFrequencies = 500;
    mDataWindow = 5;
    return S_OK;
}

HRESULT Settings::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    KEL::StorageBinIStreamLite in(stream);
    const std::uint32_t version = in.GetU32();
    if (!in.Good()) {
        KEL::BootLog(std::wstring_view(L"HRV::Settings::Load: the settings stream ended before its version; "
                                       L"the settings keep their values"));
    } else {
        mLoadedVersion = version;
        if (version <= kSettingsVersion)
            LoadCurrent(in, version);
        else if (version >= 101 && version <= 105)
            LoadLegacy(in, version); // a failed conversion is reported and the load still succeeds
        else
            return KEL::kStreamVersionTooNew;
    }
    mStoredWithHost = true;
    mLoaded = true;
    mDirty = false;
    return S_OK;
}

void Settings::LoadCurrent(KEL::BinIStream& in, std::uint32_t version)
{
    for (const Item& item : kItems) {
        if (item.since > version)
            continue;
        ReadItem(in, *this, item);
        if (!in.Good()) {
            // Every item read completely is kept; the rest keep the values they had.
            KEL::BootLog(std::wstring_view(
                L"HRV::Settings::Load: the settings stream ended early; later settings keep their values"));
            return;
        }
    }
}

HRESULT Settings::LoadLegacy(KEL::BinIStream& in, std::uint32_t version)
{
    try {
        LegacyReader r(in);
        if (version == 102 || version == 103)
            r.Fail(kBadFirstSection);

        r.Section(0x10001, 101, 101);
        const bool useSelection = r.Flag();
        const std::uint32_t channel = r.U32();
        double limits[4];
        for (double& l : limits)
            l = r.F64();
        limits[1] = std::max(limits[1], limits[0]);
        limits[2] = std::max(limits[2], limits[1]);
        limits[3] = std::max(limits[3], limits[2]);
        const bool excludeEctopics = r.Flag();
        double c[6];
        for (double& v : c)
            v = r.F64();
        r.Skip(3 + 2);

        r.Section(0x10002, 101, 101);
        r.F64();
        const double minPeriod = r.F64();
        r.Skip(1 + 3 + 1);

        r.Section(0x10003, 101, 101);
        r.SkipString();
        r.Skip(1);
        r.SkipString();

        r.Section(0x10004, 101, 101);
        r.Skip(3);

        const std::uint32_t section5 = r.Section(0x10005, 101, 102);
        r.Skip(3 + 1 + 2 + 1 + 1 + (section5 == 102 ? 1 : 0) + 1);

        r.Section(0x10006, 101, 101);
        const bool analyzeWhileSampling = r.Flag();
        const bool showEventMarkers = r.Flag();

        if (version >= 104) {
            if (r.U32() == 1) {
                if (r.U32() != 0)
                    r.Skip(4);
                r.Expect(r.U32() == 777);
            }
            r.Skip(1);
            if (version == 105) {
                r.Skip(1);
                for (int i = 0; i < 4; ++i)
                    r.F64();
                r.Skip(1);
            }
        }
        r.Expect(true);

        // Everything arrived: convert.
        mUseSelection = useSelection;
        mSourceChannel = channel;
        mSourceChannelFlags = 0xC0000000u;
        mShowEventMarkers = showEventMarkers;
        mAnalyzeWhileSampling = analyzeWhileSampling;
        mExcludeEctopics = excludeEctopics;
        mHistogramBinWidth = c[0] / 1000.0;
        mPRRThreshold = c[1] / 1000.0;
        mRRMin = limits[1] / 1000.0;
        mRRMax = limits[2] / 1000.0;
        mVLFLow = 0.0;
        mVLFHigh = mLFLow = c[2];
        mLFHigh = mHFLow = c[3];
        mHFHigh = c[4];
        mMaxFrequency = c[5];
        if (minPeriod >= 0.01) {
            mMinPeriod = minPeriod;
            mSpecies = 8;
        }
        return S_OK;
    } catch (const XKEL&) {
        return E_FAIL;
    }
}

HRESULT Settings::Save(IStream* stream, BOOL clearDirty)
{
    KEL::StorageBinOStreamLite out(stream);
    out.PutU32(kSettingsVersion);
    for (const Item& item : kItems)
        WriteItem(out, *this, item);
    if (out.Flush() != S_OK)
        return E_FAIL; // a failed write is not a save: the dirty flag stays
    if (clearDirty)
        mDirty = false;
    return S_OK;
}

void Settings::CopyAnalysisFields(const Settings& from)
{
    const std::uint32_t loadedVersion = mLoadedVersion;
    mSourceChannel = from.mSourceChannel;
    mSourceChannelFlags = from.mSourceChannelFlags;
    mUseSelection = from.mUseSelection;
    mShowEventMarkers = from.mShowEventMarkers;
    mRangeStart = from.mRangeStart;
    mRangeEnd = from.mRangeEnd;
    mHistogramBinWidth = from.mHistogramBinWidth;
    mAutoBinWidth = from.mAutoBinWidth;
    mPRRThreshold = from.mPRRThreshold;
    mSDARRAveraging = from.mSDARRAveraging;
    mExcludeEctopics = from.mExcludeEctopics;
    mAnalyzeWhileSampling = from.mAnalyzeWhileSampling;
    mRRMin = from.mRRMin;
    mRRMax = from.mRRMax;
    mComplexityMin = from.mComplexityMin;
    mComplexityMax = from.mComplexityMax;
    mSpecies = from.mSpecies;
    mLowPassCutoff = from.mLowPassCutoff;
    mLevellingWindow = from.mLevellingWindow;
    mNoiseLevel = from.mNoiseLevel;
    mMinPeakHeight = from.mMinPeakHeight;
    mQRSWidth = from.mQRSWidth;
    mMinPeriod = from.mMinPeriod;
    mMaxFrequency = from.mMaxFrequency;
    mVLFLow = from.mVLFLow;
    mVLFHigh = from.mVLFHigh;
    mLFLow = from.mLFLow;
    mLFHigh = from.mLFHigh;
    mHFLow = from.mHFLow;
    mHFHigh = from.mHFHigh;
    mNumFrequencies = from.mNumFrequencies;
    mDataWindow = from.mDataWindow;
    mStoredWithHost = from.mStoredWithHost;
    mLoaded = from.mLoaded;
    mDirty = from.mDirty;
    mLoadedVersion = loadedVersion;
}

HRESULT Settings::Clone(Settings** copy) const
{
    auto* settings = new Settings();
    settings->CopyAnalysisFields(*this);
    settings->AddRef();
    if (copy)
        *copy = settings;
    else
        settings->Release();
    return S_OK;
}

std::uint32_t Settings::Compare(const Settings* other) const
{
    if (!other)
        return 0;
    const Settings& o = *other;
    std::uint32_t mask = 0;
    auto any = [&](bool differs, std::uint32_t value) {
        if (differs)
            mask |= value;
    };
    any(mSourceChannel != o.mSourceChannel || mSourceChannelFlags != o.mSourceChannelFlags
            || mUseSelection != o.mUseSelection,
        kChangeEverything);
    any(mRangeStart != o.mRangeStart || mRangeEnd != o.mRangeEnd, kChangeEverything);
    any(mExcludeEctopics != o.mExcludeEctopics, kChangeBeatClasses);
    any(mHistogramBinWidth != o.mHistogramBinWidth || mAutoBinWidth != o.mAutoBinWidth, kChangeHistogram);
    any(mPRRThreshold != o.mPRRThreshold, kChangePRR);
    any(mSDARRAveraging != o.mSDARRAveraging, kChangeSDARR);
    any(mRRMin != o.mRRMin || mRRMax != o.mRRMax || mComplexityMin != o.mComplexityMin
            || mComplexityMax != o.mComplexityMax,
        kChangeBeatClasses);
    any(mLowPassCutoff != o.mLowPassCutoff, kChangeEverything);
    any(mLevellingWindow != o.mLevellingWindow || mNoiseLevel != o.mNoiseLevel || mMinPeakHeight != o.mMinPeakHeight
            || mMinPeriod != o.mMinPeriod,
        kChangeDetectorLevels);
    any(mQRSWidth != o.mQRSWidth, kChangeBeatClasses);
    any(mMaxFrequency != o.mMaxFrequency || mNumFrequencies != o.mNumFrequencies, kChangeSpectrumGrid);
    any(mVLFLow != o.mVLFLow || mVLFHigh != o.mVLFHigh || mLFLow != o.mLFLow || mLFHigh != o.mLFHigh
            || mHFLow != o.mHFLow || mHFHigh != o.mHFHigh,
        kChangeSpectrumBands);
    return mask;
}

bool Settings::IsValid() const
{
    return !(
        mRRMin != mRRMin || mRRMax != mRRMax || mComplexityMin != mComplexityMin || mComplexityMax != mComplexityMax);
}

} // namespace HRV
