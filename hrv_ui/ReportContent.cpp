#include "hrv_ui/ReportContent.h"

#include <boost/format.hpp>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/ResString.h"
#include "foundation/XKEL.h"
#include "foundation/units/Prefix.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/interfaces/ReportInterfaces.h"
#include "hrv/analysis/ValueFormatter.h"
#include "hrv/core/ModuleObjects.h"
#include "hrv/datapad/DataPadHost.h"
#include "hrv/document/Document.h"

// The template's bytes, compiled in from resources/report.
extern const unsigned char kHrvReportTemplate[];
extern const std::size_t kHrvReportTemplateSize;

namespace HRV {
namespace {

// The template and the two sentences, registered for the module that holds this code.
struct ReportResources {
    ReportResources()
    {
        const HMODULE module = vx::res::ModuleOf(this);
        vx::res::AddResource(module, RT_HTML, MAKEINTRESOURCEW(kReportTemplateId), 0,
            { reinterpret_cast<const BYTE*>(kHrvReportTemplate), kHrvReportTemplateSize });
        vx::res::AddStringTable(module, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
            {
                { kStringReportTooFewBeats, L"The report is unavailable as there are not enough beats to analyze." },
                { kStringReportNotAnalysed, L"The report is unavailable as HRV has not been analyzed." },
            });
    }
};
const ReportResources kResources;

HMODULE OwnModule()
{
    return vx::res::ModuleOf(&kResources);
}

const KEL::String& ResText(UINT id)
{
    static const KEL::String tooFew = KEL::GetResString(OwnModule(), kStringReportTooFewBeats, true);
    static const KEL::String notAnalysed = KEL::GetResString(OwnModule(), kStringReportNotAnalysed, true);
    return id == kStringReportTooFewBeats ? tooFew : notAnalysed;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::wstring kMissing = L"-";

// A quotient whose zero denominator makes a missing value.
double Ratio(double numerator, double denominator)
{
    return denominator == 0.0 ? kNaN : numerator / denominator;
}

// The square root of sum / (n - 1); 0 when there is no such divisor.
double SampleDeviation(double sum, double n)
{
    return n <= 1 ? 0.0 : std::sqrt(sum / (n - 1));
}

// The number formats of the report. A value that is not finite is missing: it never reaches
// the formatter's logarithm or an integer.
std::wstring Engineering(double value, const KEL::String& unit)
{
    if (!std::isfinite(value))
        return kMissing;
    std::wstring out;
    ValueFormatter(value, std::wstring(unit.View())).FormatAuto(out);
    return out;
}

std::wstring FixedPower(double value, int power, const KEL::String& unit = {})
{
    if (!std::isfinite(value))
        return kMissing;
    std::wstring out;
    ValueFormatter(value, std::wstring(unit.View())).Format(out, power);
    return out;
}

std::wstring Plain(double value)
{
    return FixedPower(value, 0);
}

std::wstring EscapeHtml(std::wstring_view text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        case L'"':
            out += L"&quot;";
            break;
        case L'\'':
            out += L"&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::wstring WindowName(IRecordingDocument* host)
{
    auto* window = vx::hf::Query<IDocumentWindowName>(host).Detach();
    if (!window)
        return {};
    BSTR name = nullptr;
    const HRESULT hr = window->GetWindowName(&name);
    window->Release();
    const KEL::String text = KEL::String::TakeBSTR(SUCCEEDED(hr) ? name : nullptr);
    if (FAILED(hr) && name)
        SysFreeString(name);
    return EscapeHtml(text.View());
}

// An end of record (offset 0x7FFFFFFF) or the last record, as the host's real position.
Position Resolved(IRecordingDocument* host, Position p)
{
    if (p.mOffset != kPositionNotSet && p.mRecord != kLastRecord)
        return p;
    auto* source = vx::hf::Query<IDataPadSource>(host).Detach();
    if (!source)
        return p;
    IUnknown* access = nullptr;
    const vx::hf::SourceDescriptor own {};
    if (SUCCEEDED(source->GetDataAccess(&own, &access)) && access) {
        if (auto* data = vx::hf::Query<IRecordData>(access).Detach()) {
            std::int64_t tick = vx::hf::MakeTickPosition(p.mRecord, p.mOffset);
            if (SUCCEEDED(data->ResolvePosition(&tick, 0xC0000000u)))
                p = { vx::hf::TickOffset(tick), vx::hf::TickRecord(tick) };
            data->Release();
        }
        access->Release();
    }
    source->Release();
    return p;
}

// The host's text for the time of a position in its current display mode; "-" when it has none.
std::wstring TimeText(IRecordingDocument* host, Position p)
{
    DWORD mode = 0;
    if (!host || FAILED(host->GetTimeDisplayMode(&mode)))
        return kMissing;
    const DWORD flags = (mode & 0xFF) == 3 ? 0x10800000u : 0x10000000u;
    IKELString* text = nullptr;
    if (FAILED(host->PositionToText(vx::hf::MakeTickPosition(p.mRecord, p.mOffset), flags, mode, &text)) || !text)
        return kMissing;
    KEL::String s;
    s.AssignRep(text);
    return EscapeHtml(s.View());
}

std::wstring Count(std::uint64_t n)
{
    return std::to_wstring(n);
}

} // namespace

bool LoadReportTemplate(KEL::String& out)
{
    const HMODULE module = OwnModule();
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kReportTemplateId), RT_HTML);
    if (!found)
        return false;
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const DWORD size = SizeofResource(module, found);
    if (!bytes)
        return false;
    if (size > static_cast<DWORD>(INT_MAX))
        throw KEL::XKEL(KEL::String(L"KEL::String size too big"), 0);
    const std::size_t length = strnlen(bytes, size);
    if (length == 0) {
        out = KEL::String();
        return true;
    }
    out = KEL::String(std::string(bytes, length).c_str(), KEL::String::kAnsi);
    return true;
}

ReportValues MakeReportValues(Document& document, const Settings& settings, IRecordingDocument* host)
{
    const AnalysisEngine& e = document.Engine();
    const IntervalStats& s = e.mStats;
    const Spectrum& p = e.mSpectrum;
    const double n = static_cast<double>(s.mCount);
    const Position start = Resolved(host, settings.mRangeStart);
    const Position end = Resolved(host, settings.mRangeEnd);
    // SDARR needs two segment means at least; with fewer it is missing, not 0.
    const double segments = static_cast<double>(e.mSegments.mNumSegments);
    const double sdarr = segments < 2 ? kNaN : SampleDeviation(e.mSegments.mM2OfMeans, segments);
    const double nonVlf = p.mTotalPower - p.mVLFPower;

    return { {
        // The title.
        WindowName(host),
        // Range and beats.
        Count(static_cast<std::uint32_t>(start.mRecord) + 1ull),
        TimeText(host, start),
        Count(static_cast<std::uint32_t>(end.mRecord) + 1ull),
        TimeText(host, end),
        Count(e.mNormalCount + e.mEctopicCount),
        Count(e.mNormalCount),
        Count(e.mEctopicCount),
        // Time domain.
        Engineering(Ratio(s.mSumRR, n), kUnitSeconds),
        Engineering(s.mMedianRR, kUnitSeconds),
        Engineering(SampleDeviation(s.mM2RR, n), kUnitSeconds),
        Engineering(sdarr, kUnitSeconds),
        Plain(s.CVRR()),
        FixedPower(Ratio(s.mSumRate, n) * 60.0, 0, kUnitBPM),
        FixedPower(SampleDeviation(s.mM2Rate, n) * 60.0, 0, kUnitBPM),
        Engineering(SampleDeviation(s.mM2DeltaRR, n), kUnitSeconds),
        Engineering(std::sqrt(Ratio(s.mSumSqDeltaRR, n)), kUnitSeconds),
        Plain(settings.mPRRThreshold * 1000.0),
        FixedPower(Ratio(static_cast<double>(s.mCountOverThreshold) * 100.0, n), 0, kUnitPercent),
        // Frequency domain.
        FixedPower(settings.mVLFLow, 0),
        FixedPower(settings.mVLFHigh, 0, kUnitHertz),
        FixedPower(settings.mLFLow, 0),
        FixedPower(settings.mLFHigh, 0, kUnitHertz),
        FixedPower(settings.mHFLow, 0),
        FixedPower(settings.mHFHigh, 0, kUnitHertz),
        std::wstring(KEL::PrefixedUnitText(-3, kUnitSecondsSquared).View()),
        FixedPower(p.mTotalPower, -6),
        FixedPower(p.mVLFPower, -6),
        Plain(Ratio(p.mVLFPower * 100.0, p.mTotalPower)),
        FixedPower(p.mLFPower, -6),
        Plain(Ratio(p.mLFPower * 100.0, p.mTotalPower)),
        Plain(Ratio(p.mLFPower * 100.0, nonVlf)),
        FixedPower(p.mHFPower, -6),
        Plain(Ratio(p.mHFPower * 100.0, p.mTotalPower)),
        Plain(Ratio(p.mHFPower * 100.0, nonVlf)),
        FixedPower(Ratio(p.mLFPower, p.mHFPower), 0),
        // Nonlinear.
        Engineering(s.SD1(), kUnitSeconds),
        Engineering(s.SD2(), kUnitSeconds),
    } };
}

ReportKind BuildReport(const KEL::String& reportTemplate, Document* document, const Settings& settings,
    IRecordingDocument* host, KEL::String& out)
{
    if (!settings.mRangeStart.IsSet() || !settings.mRangeEnd.IsSet()) {
        out = ResText(kStringReportNotAnalysed);
        return ReportKind::NotAnalysed;
    }
    if (!document || document->Engine().mRR.size() < 3) {
        out = ResText(kStringReportTooFewBeats);
        return ReportKind::TooFewBeats;
    }
    boost::wformat format { std::wstring(reportTemplate.View()) };
    format.exceptions(boost::io::all_error_bits);
    for (const std::wstring& value : MakeReportValues(*document, settings, host))
        format % value;
    out = KEL::String(format.str());
    return ReportKind::Page;
}

} // namespace HRV
