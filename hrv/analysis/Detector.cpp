#include "hrv/analysis/Detector.h"

#include "hostframework/calcglue/ChannelManager.h"
#include "hrv/core/Settings.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

namespace HRV {

DetectorSettings DefaultDetectorSettings()
{
    return DetectorSettingsFrom(Settings());
}

std::wstring FormulaInteger(int64_t value)
{
    return std::to_wstring(value);
}

std::wstring FormulaReal(double value)
{
    std::wostringstream s;
    s.imbue(std::locale::classic());
    s.precision(6);
    s << value;
    return s.str();
}

int32_t TransformWindow(double qrsWidth, double interval)
{
    constexpr int32_t kMinimum = 21;
    if (!(interval > 0) || !std::isfinite(interval))
        return kMinimum;
    const double k = std::trunc(2.0 * qrsWidth / interval);
    if (std::isnan(k) || k < kMinimum)
        return kMinimum;
    if (k >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(k);
}

namespace {
const wchar_t* const kVisible[]
    = { L"HRV_vLPF", L"HRV_vDIF", L"HRV_vHLB", L"HRV_vENV", L"HRV_vNRM", L"HRV_vDET", L"HRV_vFID" };
const wchar_t* const kPreview[]
    = { L"HRV_pLPF", L"HRV_pDIF", L"HRV_pHLB", L"HRV_pENV", L"HRV_pNRM", L"HRV_pDET", L"HRV_pFID" };

// A range word of the fiducial formula: a record number or a sample offset, written exactly.
std::wstring RangeWord(int32_t value)
{
    return FormulaInteger(value);
}
} // namespace

std::wstring HRVDetector::StageName(int stage) const
{
    return stage >= 1 && stage <= 7 ? kVisible[stage - 1] : L"";
}
std::wstring PreviewDetector::StageName(int stage) const
{
    return stage >= 1 && stage <= 7 ? kPreview[stage - 1] : L"";
}

std::wstring DetectorBase::StageFormula(int stage, const DetectorSettings& s, int32_t window) const
{
    switch (stage) {
    case 1:
        return L"lowpass("
            + ExtLib::FormatChannelReference(
                mHost ? mHost->ChannelSource() : nullptr, { s.mSourceChannel, s.mSourceChannelFlags })
                  .ToWString()
            + L"," + FormulaReal(s.mLowPassCutoff) + L")";
    case 2:
        return L"differentiate(" + StageName(1) + L"," + FormulaInteger(3) + L")";
    case 3:
        return L"resample(" + StageName(2) + L",1,1,1," + FormulaInteger(window) + L",0,2)";
    case 4:
        return StageName(2) + L" * " + StageName(2) + L" + " + StageName(3) + L" * " + StageName(3);
    case 5:
        return L"normalizeSec(" + StageName(4) + L"," + FormulaReal(s.mLevellingWindow) + L","
            + FormulaReal(s.mLevellingWindow / 2) + L"," + FormulaReal(s.mNoiseLevel) + L")";
    case 6:
        return L"cmpeakdet(" + StageName(5) + L"," + FormulaReal(s.mMinPeakHeight) + L"," + FormulaReal(s.mMinPeriod)
            + L"," + FormulaInteger(30) + L")";
    case 7:
        return L"fiducial(" + StageName(1) + L"," + StageName(6) + L"," + FormulaReal(s.mQRSWidth) + L","
            + FormulaInteger(0) + L"," + FormulaReal(s.mRRMin) + L"," + FormulaReal(s.mRRMax) + L","
            + FormulaReal(s.mComplexityMin) + L"," + FormulaReal(s.mComplexityMax) + L","
            + RangeWord(s.mRangeStart.mRecord) + L"," + RangeWord(s.mRangeStart.mOffset) + L","
            + RangeWord(s.mRangeEnd.mRecord) + L"," + RangeWord(s.mRangeEnd.mOffset) + L","
            + FormulaInteger(s.mExcludeEctopics ? 1 : 0) + L")";
    default:
        return {};
    }
}

bool DetectorBase::BuildDetectorChannels(uint32_t flags, const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    if (flags & kStagesFilter) {
        const ChannelRef source { s->mSourceChannel, s->mSourceChannelFlags };
        int32_t reference = 0x7FFFFFFE;
        for (int32_t r = mHost->RecordCount() - 1; r >= 0; --r)
            if (mHost->HasData(source, r)) {
                reference = r;
                break;
            }
        const ChannelRef query { s->mSourceChannel, s->mSourceChannelFlags & 0x7FFFFFFFu };
        const int32_t window = TransformWindow(s->mQRSWidth, mHost->SampleInterval(query, reference));
        // The results of these four requests are not checked: stages 5-7 report the failure.
        for (int stage = 1; stage <= 4; ++stage)
            mHost->AddChannel(StageName(stage).c_str(), StageFormula(stage, *s, window).c_str());
    }
    if (!BuildDetectionStages(flags, s))
        return false;
    return BuildFiducialStage(flags, s);
}

bool DetectorBase::BuildDetectionStages(uint32_t flags, const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    if (!(flags & kStagesDetection))
        return true;
    const bool a = mHost->AddChannel(StageName(5).c_str(), StageFormula(5, *s, 0).c_str());
    const bool b = mHost->AddChannel(StageName(6).c_str(), StageFormula(6, *s, 0).c_str());
    return a && b;
}

bool DetectorBase::BuildFiducialStage(uint32_t flags, const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    if (!(flags & kStageFiducial))
        return true;
    return mHost->AddChannel(StageName(7).c_str(), StageFormula(7, *s, 0).c_str());
}

bool DetectorBase::Update(uint32_t flags, const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    const bool built = BuildDetectorChannels(flags, s);
    if (built && (flags & kStageFiducial) && s->mShowEventMarkers) {
        const ChannelRef fid = GetFiducialChannel();
        const ChannelRef source { s->mSourceChannel, s->mSourceChannelFlags };
        if (fid.IsSet()) {
            if (mHost->HasChannelLink(fid, source))
                mHost->RemoveChannelLink(fid, source);
            mHost->AddChannelLink(fid, source);
        }
    }
    return built;
}

bool DetectorBase::RemoveChannels(uint32_t flags, const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    if (flags > 0xFFFFFF) {
        const ChannelRef fid = GetFiducialChannel();
        const ChannelRef source { s->mSourceChannel, s->mSourceChannelFlags };
        if (fid.IsSet() && mHost->HasChannelLink(fid, source))
            mHost->RemoveChannelLink(fid, source);
    }
    if (flags & kStagesFilter)
        for (int stage = 1; stage <= 4; ++stage)
            mHost->RemoveChannel(StageName(stage).c_str(), false);
    if (flags & kStagesDetection)
        for (int stage = 5; stage <= 6; ++stage)
            mHost->RemoveChannel(StageName(stage).c_str(), false);
    if (flags & kStageFiducial)
        mHost->RemoveChannel(StageName(7).c_str(), false);
    return true;
}

bool DetectorBase::SyncFiducialChannel(const DetectorSettings* s)
{
    if (!s || !mHost)
        return false;
    const ChannelRef fid = GetFiducialChannel();
    if (!fid.IsSet())
        return false;
    const ChannelRef source { s->mSourceChannel, s->mSourceChannelFlags };
    const bool linked = mHost->HasChannelLink(fid, source);
    if (s->mShowEventMarkers && !linked)
        mHost->AddChannelLink(fid, source);
    else if (!s->mShowEventMarkers && linked)
        mHost->RemoveChannelLink(fid, source);
    return true;
}

ChannelRef DetectorBase::GetFiducialChannel()
{
    return GetStageChannel(7);
}

ChannelRef DetectorBase::GetStageChannel(int stage)
{
    ChannelRef ref;
    if (!mHost || !mHost->FindChannel(StageName(stage).c_str(), ref))
        return ChannelRef();
    return ref;
}

bool DetectorBase::AttachChannels(const wchar_t* group)
{
    if (!mHost)
        return false;
    bool all = true;
    for (int stage = 1; stage <= 7; ++stage) {
        ChannelRef ref;
        all = mHost->FindChannel(StageName(stage).c_str(), ref) && all;
    }
    if (GetFiducialChannel().IsSet()) {
        const std::wstring fiducial = StageName(7);
        all = mHost->SetChannelKept(fiducial.c_str(), 0xFFFF) && all;
        if (group && *group)
            all = mHost->SetChannelGroup(fiducial.c_str(), group) && all;
    }
    return all;
}

bool DetectorBase::DetachChannels()
{
    if (!mHost)
        return false;
    bool all = true;
    for (int stage = 1; stage <= 7; ++stage)
        all = mHost->RemoveChannel(StageName(stage).c_str(), true) && all;
    return all;
}

namespace {
template <class F> bool WithSettings(const Settings* settings, F&& f)
{
    if (!settings)
        return false;
    const DetectorSettings d = DetectorSettingsFrom(*settings);
    return f(&d);
}
} // namespace

bool DetectorBase::BuildDetectorChannels(uint32_t flags, const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return BuildDetectorChannels(flags, d); });
}
bool DetectorBase::BuildDetectionStages(uint32_t flags, const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return BuildDetectionStages(flags, d); });
}
bool DetectorBase::BuildFiducialStage(uint32_t flags, const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return BuildFiducialStage(flags, d); });
}
bool DetectorBase::Update(uint32_t flags, const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return Update(flags, d); });
}
bool DetectorBase::RemoveChannels(uint32_t flags, const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return RemoveChannels(flags, d); });
}
bool DetectorBase::SyncFiducialChannel(const Settings* s)
{
    return WithSettings(s, [&](const DetectorSettings* d) { return SyncFiducialChannel(d); });
}

} // namespace HRV
