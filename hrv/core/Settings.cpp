#include "hrv/core/Settings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>

#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"

namespace HRV {

namespace {

constexpr HRESULT kBadFirstSection = MakeHResult(0xA0048204u);
constexpr HRESULT kBadSection = MakeHResult(0xA0048206u);

using Kind = SettingsField::Kind;
using Item = SettingsField;

constexpr double kAny = 4294967295.0;

constexpr Item U32(const wchar_t* name, std::uint32_t Settings::*f, std::uint32_t initial, std::uint32_t since,
    std::uint32_t mask, double min = 0, double max = kAny)
{
    return { .name = name,
        .kind = Kind::U32,
        .initial = double(initial),
        .since = since,
        .changeMask = mask,
        .min = min,
        .max = max,
        .unit = L"",
        .u32 = f };
}
constexpr Item I32(const wchar_t* name, std::int32_t Settings::*f, std::int32_t initial, std::uint32_t since,
    std::uint32_t mask, double min, double max)
{
    return { .name = name,
        .kind = Kind::I32,
        .initial = double(initial),
        .since = since,
        .changeMask = mask,
        .min = min,
        .max = max,
        .unit = L"",
        .i32 = f };
}
constexpr Item Flag(const wchar_t* name, bool Settings::*f, bool initial, std::uint32_t since, std::uint32_t mask)
{
    return { .name = name,
        .kind = Kind::Flag,
        .initial = initial ? 1.0 : 0.0,
        .since = since,
        .changeMask = mask,
        .min = 0,
        .max = 1,
        .unit = L"",
        .flag = f };
}
constexpr Item F64(const wchar_t* name, double Settings::*f, double initial, std::uint32_t since, std::uint32_t mask,
    double min, double max, const wchar_t* unit)
{
    return { .name = name,
        .kind = Kind::F64,
        .initial = initial,
        .since = since,
        .changeMask = mask,
        .min = min,
        .max = max,
        .unit = unit,
        .f64 = f };
}
// A position starts unset.
constexpr Item Pos(const wchar_t* name, Position Settings::*f, std::uint32_t since, std::uint32_t mask)
{
    return { .name = name,
        .kind = Kind::Position,
        .initial = 0,
        .since = since,
        .changeMask = mask,
        .min = 0,
        .max = 0,
        .unit = L"",
        .position = f };
}

// The fields in stream order, each with its default. The ranges are the settings dialogs' limits in stored units (the
// dialogs show milliseconds where these hold seconds). The noise level's limit is the detector
// dialog's in the unit of a volt channel; the dialog scales it by the channel's unit prefix.
const Item kItems[] = {
    U32(L"SourceChannel", &Settings::mSourceChannel, 0, 0, kChangeEverything),
    U32(L"SourceChannelFlags", &Settings::mSourceChannelFlags, 0xC0000000u, 0, kChangeEverything),
    Flag(L"UseSelection", &Settings::mUseSelection, false, 0, kChangeEverything),
    Flag(L"ShowEventMarkers", &Settings::mShowEventMarkers, true, 0, 0),
    Pos(L"RangeStart", &Settings::mRangeStart, 0, kChangeEverything),
    Pos(L"RangeEnd", &Settings::mRangeEnd, 0, kChangeEverything),
    F64(L"HistogramBinWidth", &Settings::mHistogramBinWidth, 0.01, 0, kChangeHistogram, 0.0001, 10, L"s"),
    Flag(L"AutoBinWidth", &Settings::mAutoBinWidth, false, 0, kChangeHistogram),
    F64(L"PRRThreshold", &Settings::mPRRThreshold, 0.05, 0, kChangePRR, 0.000001, 1, L"s"),
    Flag(L"ExcludeEctopics", &Settings::mExcludeEctopics, true, 0, kChangeBeatClasses),
    Flag(L"AnalyzeWhileSampling", &Settings::mAnalyzeWhileSampling, false, 0, 0),
    F64(L"SDARRAveraging", &Settings::mSDARRAveraging, 300.0, 3, kChangeSDARR, 1, 3600, L"s"),
    F64(L"RRMin", &Settings::mRRMin, 0.8, 0, kChangeBeatClasses, 0, 60, L"s"),
    F64(L"RRMax", &Settings::mRRMax, 1.2, 0, kChangeBeatClasses, 0, 60, L"s"),
    F64(L"ComplexityMin", &Settings::mComplexityMin, 1.0, 0, kChangeBeatClasses, 0, 10, L""),
    F64(L"ComplexityMax", &Settings::mComplexityMax, 1.5, 0, kChangeBeatClasses, 0, 10, L""),
    U32(L"Species", &Settings::mSpecies, 0, 0, 0, 0, 8),
    F64(L"LevellingWindow", &Settings::mLevellingWindow, 5.0, 0, kChangeDetectorLevels, 0.1, 20, L"s"),
    F64(L"NoiseLevel", &Settings::mNoiseLevel, 0.0, 0, kChangeDetectorLevels, 0, 10, L""),
    F64(L"MinPeakHeight", &Settings::mMinPeakHeight, 3.0, 0, kChangeDetectorLevels, 0.05, 9, L"S.D."),
    F64(L"QRSWidth", &Settings::mQRSWidth, 0.08, 0, kChangeBeatClasses, 0.01, 10, L"s"),
    F64(L"MinPeriod", &Settings::mMinPeriod, 0.3, 0, kChangeDetectorLevels, 0.01, 100, L"s"),
    F64(L"LowPassCutoff", &Settings::mLowPassCutoff, 30.0, 6, kChangeEverything, 10, 200, L"Hz"),
    F64(L"MaxFrequency", &Settings::mMaxFrequency, 0.5, 0, kChangeSpectrumGrid, 0, 10, L"Hz"),
    F64(L"VLFLow", &Settings::mVLFLow, 0.0, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    F64(L"VLFHigh", &Settings::mVLFHigh, 0.04, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    F64(L"LFLow", &Settings::mLFLow, 0.04, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    F64(L"LFHigh", &Settings::mLFHigh, 0.15, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    F64(L"HFLow", &Settings::mHFLow, 0.15, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    F64(L"HFHigh", &Settings::mHFHigh, 0.45, 0, kChangeSpectrumBands, 0, 10, L"Hz"),
    I32(L"NumFrequencies", &Settings::mNumFrequencies, 500, 2, kChangeSpectrumGrid, 10, 10000),
    I32(L"DataWindow", &Settings::mDataWindow, 5, 4, 0, 0, 5),
};

// The minimum-maximum pairs that must be in order.
constexpr std::pair<double Settings::*, double Settings::*> kPairs[] = {
    { &Settings::mRRMin, &Settings::mRRMax },
    { &Settings::mComplexityMin, &Settings::mComplexityMax },
    { &Settings::mVLFLow, &Settings::mVLFHigh },
    { &Settings::mLFLow, &Settings::mLFHigh },
    { &Settings::mHFLow, &Settings::mHFHigh },
};

// Sets a field to its default.
void SetDefault(Settings& s, const Item& item)
{
    switch (item.kind) {
    case Kind::U32:
        s.*item.u32 = static_cast<std::uint32_t>(item.initial);
        break;
    case Kind::I32:
        s.*item.i32 = static_cast<std::int32_t>(item.initial);
        break;
    case Kind::Flag:
        s.*item.flag = item.initial != 0;
        break;
    case Kind::F64:
        s.*item.f64 = item.initial;
        break;
    case Kind::Position:
        s.*item.position = kUnsetPosition;
        break;
    }
}

// The value of a numeric field as a double (positions have none).
double NumberOf(const Settings& s, const Item& item)
{
    switch (item.kind) {
    case Kind::U32:
        return s.*item.u32;
    case Kind::I32:
        return s.*item.i32;
    case Kind::Flag:
        return s.*item.flag ? 1 : 0;
    case Kind::F64:
        return s.*item.f64;
    case Kind::Position:
        break;
    }
    return 0;
}

bool Differs(const Settings& a, const Settings& b, const Item& item)
{
    if (item.kind == Kind::Position)
        return a.*item.position != b.*item.position;
    if (item.kind == Kind::F64)
        return a.*item.f64 != b.*item.f64; // a NaN always differs
    return NumberOf(a, item) != NumberOf(b, item);
}

void CopyItem(const Settings& from, Settings& to, const Item& item)
{
    switch (item.kind) {
    case Kind::U32:
        to.*item.u32 = from.*item.u32;
        break;
    case Kind::I32:
        to.*item.i32 = from.*item.i32;
        break;
    case Kind::Flag:
        to.*item.flag = from.*item.flag;
        break;
    case Kind::F64:
        to.*item.f64 = from.*item.f64;
        break;
    case Kind::Position:
        to.*item.position = from.*item.position;
        break;
    }
}

std::wstring Number(double v)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"%.10g", v);
    return text;
}

std::wstring RangeText(const Item& item)
{
    std::wstring text = Number(item.min) + L" to " + Number(item.max);
    if (*item.unit)
        text += std::wstring(L" ") + item.unit;
    return text;
}

// The name of a real field.
const wchar_t* FindItemName(double Settings::*member)
{
    for (const Item& item : kItems)
        if (item.f64 == member)
            return item.name;
    return L"";
}

// Parses the whole text as a value of the field's type (classic number syntax).
bool ParseValue(const Item& item, std::wstring_view text, double& value)
{
    std::string narrow;
    for (wchar_t c : text) {
        if (c <= 0 || c > 0x7E)
            return false;
        narrow += static_cast<char>(c);
    }
    const char* first = narrow.data();
    const char* last = first + narrow.size();
    if (narrow.empty())
        return false;
    if (item.kind == Kind::Flag) {
        if (narrow == "true" || narrow == "false") {
            value = narrow == "true" ? 1 : 0;
            return true;
        }
    }
    if (item.kind == Kind::F64) {
        const auto r = std::from_chars(first, last, value);
        return r.ec == std::errc() && r.ptr == last;
    }
    long long n = 0;
    const auto r = std::from_chars(first, last, n);
    if (r.ec != std::errc() || r.ptr != last)
        return false;
    value = static_cast<double>(n);
    return true;
}

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
    for (const Item& item : kItems)
        SetDefault(*this, item);
    return S_OK;
}

HRESULT Settings::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    KEL::StorageBinIStreamLite in(stream);
    const std::uint32_t version = in.GetU32();
    // The values before the load, which a stream with a value out of its range leaves in place.
    Settings before;
    before.CopyFields(*this);
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
    std::wstring reason;
    if (!Validate(&reason)) {
        CopyFields(before);
        KEL::BootLog(std::wstring_view(
            L"HRV::Settings::Load: " + reason + L"; the stream is refused and the settings keep their values"));
        return E_INVALIDARG;
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

void Settings::CopyFields(const Settings& from)
{
    for (const Item& item : kItems)
        CopyItem(from, *this, item);
}

void Settings::CopyAnalysisFields(const Settings& from)
{
    CopyFields(from);
    mStoredWithHost = from.mStoredWithHost;
    mLoaded = from.mLoaded;
    mDirty = from.mDirty;
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
    std::uint32_t mask = 0;
    for (const Item& item : kItems)
        if (Differs(*this, *other, item))
            mask |= item.changeMask;
    return mask;
}

bool Settings::Validate(std::wstring* reason) const
{
    for (const Item& item : kItems) {
        if (item.kind == Kind::Position)
            continue;
        const double v = NumberOf(*this, item);
        if (!(v >= item.min && v <= item.max)) {
            if (reason)
                *reason = std::wstring(item.name) + L" must be from " + RangeText(item) + L", not " + Number(v);
            return false;
        }
    }
    for (const auto& [min, max] : kPairs) {
        if (this->*min > this->*max) {
            if (reason)
                *reason = std::wstring(FindItemName(min)) + L" must not be above " + FindItemName(max);
            return false;
        }
    }
    return true;
}

bool Settings::SetField(std::wstring_view name, std::wstring_view text, std::wstring* reason)
{
    const Item* item = FindSettingsField(name);
    const auto fail = [&](std::wstring why) {
        if (reason)
            *reason = std::move(why);
        return false;
    };
    if (!item)
        return fail(L"unknown setting: " + std::wstring(name));
    if (item->kind == Kind::Position)
        return fail(std::wstring(name) + L" is set by the analysed range, not by value");
    double v = 0;
    if (!ParseValue(*item, text, v))
        return fail(L"bad value for " + std::wstring(name) + L": " + std::wstring(text));
    if (!(v >= item->min && v <= item->max))
        return fail(std::wstring(name) + L" must be from " + RangeText(*item) + L", not " + std::wstring(text));
    switch (item->kind) {
    case Kind::U32:
        this->*item->u32 = static_cast<std::uint32_t>(v);
        break;
    case Kind::I32:
        this->*item->i32 = static_cast<std::int32_t>(v);
        break;
    case Kind::Flag:
        this->*item->flag = v != 0;
        break;
    case Kind::F64:
        this->*item->f64 = v;
        break;
    case Kind::Position:
        break;
    }
    return true;
}

std::wstring Settings::FieldText(std::wstring_view name) const
{
    const Item* item = FindSettingsField(name);
    if (!item)
        return {};
    if (item->kind == Kind::Position) {
        const Position p = this->*item->position;
        return std::to_wstring(p.mRecord) + L":" + std::to_wstring(p.mOffset);
    }
    if (item->kind == Kind::F64)
        return Number(this->*item->f64);
    return std::to_wstring(static_cast<long long>(NumberOf(*this, *item)));
}

void Settings::OrderPairs()
{
    for (const auto& [min, max] : kPairs)
        if (this->*min > this->*max)
            std::swap(this->*min, this->*max);
}

std::span<const SettingsField> SettingsFields()
{
    return kItems;
}

AnalysisParameters DefaultAnalysisParameters()
{
    return AnalysisParametersFrom(Settings());
}

const SettingsField* FindSettingsField(std::wstring_view name)
{
    for (const Item& item : kItems)
        if (name == item.name)
            return &item;
    return nullptr;
}

} // namespace HRV
