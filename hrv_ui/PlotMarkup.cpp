#include "hrv_ui/PlotMarkup.h"

#include <cmath>
#include <cstdio>
#include <locale>
#include <sstream>

#include "hrv/document/Document.h"

namespace HRV {

namespace {

constexpr double kMilli = 1000.0; // prefix "m": seconds shown as milliseconds

std::wstring Num(double v)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << v;
    return out.str();
}

std::wstring NameOf(IEtchEnumInfo* source)
{
    IKELString* rep = nullptr;
    if (!source || FAILED(source->GetName(&rep)))
        return {};
    KEL::String s;
    s.AssignRep(rep);
    return s.ToWString();
}

std::wstring UnitOf(IEtchEnumInfo* source)
{
    IUnitName* unit = nullptr;
    if (!source || source->GetUnit(&unit) != S_OK || !unit)
        return {};
    IKELString* rep = nullptr;
    unit->GetText(0xFFFF, &rep);
    unit->Release();
    KEL::String s;
    s.AssignRep(rep);
    return s.ToWString();
}

std::int64_t CountOf(IEtchEnumInfo* source)
{
    std::int64_t n = 0;
    if (!source || FAILED(source->GetCount(&n)))
        return 0;
    return n;
}

// The source's (min, max); an empty source gives (0, 0).
void RangeOf(IEtchEnumInfo* source, double& min, double& max)
{
    min = 0, max = 0;
    if (!source || source->GetRange(&min, &max) != S_OK)
        min = 0, max = 0;
}

bool Unset(double min, double max)
{
    return min == 0 && max == 0;
}

void Widen(double& min, double& max)
{
    if (max != min) {
        const double d = (max - min) * 0.05;
        min -= d;
        max += d;
    }
}

const wchar_t* const kFullRange = L"[0:1:end]";
const wchar_t* const kIndexRange = L"[0:1:2147483647]";

std::wstring StepRange(double start, double step)
{
    return L"[" + Num(start) + L":" + Num(step) + L":end]";
}

std::wstring Head()
{
    return L"topmargin: 40, rightmargin: 40, ";
}

std::wstring Tail(const PlotRanges& r)
{
    return L"fullrange_yscalemin: " + Num(r.yMin) + L"," + L"fullrange_yscalemax: " + Num(r.yMax) + L","
        + L"fullrange_xscalemin: " + Num(r.xMin) + L"," + L"fullrange_xscalemax: " + Num(r.xMax) + L",";
}

std::wstring Colour(const PlotContext& c)
{
    return ColourWithOpacity(c.traceColour, 1.0);
}

std::wstring Grid(const PlotContext& c)
{
    return ColourWithOpacity(c.gridColour, 1.0);
}

} // namespace

std::wstring ColourWithOpacity(const std::wstring& rgb, double opacity)
{
    wchar_t alpha[8];
    std::swprintf(alpha, 8, L"%02x", static_cast<unsigned>(std::clamp(opacity, 0.0, 1.0) * 255) & 0xFF);
    return rgb + alpha;
}

PlotContext ContextOf(Document& document, bool hostState, bool delta)
{
    PlotContext c;
    const Settings& s = document.GetSettings();
    c.rrMin = s.mRRMin, c.rrMax = s.mRRMax;
    c.complexityMin = s.mComplexityMin, c.complexityMax = s.mComplexityMax;
    const double bands[6] = { s.mVLFLow, s.mVLFHigh, s.mLFLow, s.mLFHigh, s.mHFLow, s.mHFHigh };
    std::copy(std::begin(bands), std::end(bands), c.bands);
    c.maxFrequency = s.mMaxFrequency;
    const AnalysisEngine& e = document.Engine();
    c.frequencyStep = e.mSpectrum.mFrequencyStep;
    c.firstFrequencyBin = e.mSpectrum.mFirstIndex;
    const Histogram& h = delta ? e.mStats.mDeltaRRHistogram : e.mStats.mRRHistogram;
    c.binWidth = h.mBinWidth;
    c.firstBin = h.mFirstBin;
    c.sumRR = e.mStats.mSumRR;
    c.countRR = e.mStats.mCount;
    c.sd1 = e.mStats.SD1();
    c.sd2 = e.mStats.SD2();
    c.hostState = hostState;
    return c;
}

// ---- Tachogram

PlotRanges TachogramRanges(const PlotContext& c, IEtchEnumInfo* source)
{
    PlotRanges r;
    const std::int64_t n = CountOf(source);
    r.xMax = static_cast<double>(n);
    if (c.hostState)
        r.xMax = static_cast<double>((n / 500 + 1) * 500);
    if (n == 0)
        r.xMax = 500;
    if (!c.hostState)
        RangeOf(source, r.yMin, r.yMax);
    if (Unset(r.yMin, r.yMax))
        r.yMin = c.rrMin * kMilli, r.yMax = c.rrMax * kMilli;
    Widen(r.yMin, r.yMax);
    return r;
}

std::wstring TachogramMarkup(const PlotContext& c, IEtchEnumInfo* source)
{
    const std::wstring unit = UnitOf(source);
    return Head() + L"tplot: {" + L"id: '" + L"hrv_tachogram_view" + L"', "
        + L"cursor: { readout: 'RR Interval {0} = {1} " + unit + L"' }, " + L"xdata: " + kFullRange + L", "
        + L"ydata: '" + NameOf(source) + L"' " + kIndexRange + L", " + L"colour: " + Colour(c) + L"}, "
        + L"graticule: { colour:" + Grid(c) + L" }, " + L"xlabel: 'Interval Number', " + L"ylabel: 'RR Interval ("
        + unit + L")', " + Tail(TachogramRanges(c, source));
}

// ---- Spectrum

PlotRanges SpectrumRanges(const PlotContext& c, IEtchEnumInfo* source)
{
    PlotRanges r;
    const std::int64_t n = CountOf(source);
    if (!c.hostState && c.frequencyStep > 0) {
        const double upper = (c.firstFrequencyBin + static_cast<double>(n) - 1) * c.frequencyStep;
        if (upper != 0)
            r.xMin = c.firstFrequencyBin * c.frequencyStep, r.xMax = upper;
    }
    if (r.xMin == 0 && r.xMax == 0)
        r.xMin = 0, r.xMax = c.maxFrequency;
    if (!c.hostState)
        RangeOf(source, r.yMin, r.yMax);
    if (Unset(r.yMin, r.yMax))
        r.yMin = 0, r.yMax = 500;
    if (r.yMax != r.yMin)
        r.yMax += (r.yMax - r.yMin) * 0.05;
    return r;
}

std::wstring SpectrumMarkup(const PlotContext& c, IEtchEnumInfo* source)
{
    const std::wstring unit = UnitOf(source);
    const bool stepped = c.frequencyStep > 0;
    const std::wstring bins
        = stepped ? StepRange(c.firstFrequencyBin * c.frequencyStep, c.frequencyStep) : StepRange(0, 1);
    std::wstring m = Head() + L"tplot: {" + L"id: '" + L"hrv_spectrum_view" + L"', "
        + L"cursor: { readout: 'Power spectrum at {0} " + L"Hz" + L" = {1} " + unit + L"'}, " + L"vlines: {"
        + L"id: 'spectrum_freq_bands', " + L"colour: #787878ff, " + L"fillcolours: [#0000ff20, #00ff0020, #ff000020], "
        + L"showvalues: true, " + L"textcolour: 'blue', " + L"draggable: " + (c.hostState ? L"false" : L"true") + L", "
        + L"positions: [[" + Num(c.bands[0]) + L", " + Num(c.bands[1]) + L"], [" + Num(c.bands[2]) + L", "
        + Num(c.bands[3]) + L"], [" + Num(c.bands[4]) + L", " + Num(c.bands[5]) + L"]]" + L"}, " + L"xdata: " + bins
        + L", " + L"ydata: '" + NameOf(source) + L"' " + kFullRange + L", " + L"colour: " + Colour(c) + L"}, "
        + L"graticule: { colour:" + Grid(c) + L" }, " + L"xlabel: 'Frequency (" + L"Hz" + L")', " + L"ylabel: 'Power ("
        + unit + L")', ";
    return m + Tail(SpectrumRanges(c, source));
}

// ---- Histograms

PlotRanges HistogramRanges(const PlotContext& c, IEtchEnumInfo* source, bool delta)
{
    PlotRanges r;
    const std::int64_t n = CountOf(source);
    if (!c.hostState && c.binWidth > 0) {
        const double upper = (c.firstBin + static_cast<double>(n)) * c.binWidth;
        if (upper != 0)
            r.xMin = c.firstBin * c.binWidth, r.xMax = upper;
    }
    if (r.xMin == 0 && r.xMax == 0) {
        if (delta)
            r.xMin = -200, r.xMax = 200;
        else
            r.xMin = c.rrMin, r.xMax = c.rrMax;
    }
    if (!c.hostState)
        RangeOf(source, r.yMin, r.yMax);
    if (Unset(r.yMin, r.yMax))
        r.yMin = 0, r.yMax = delta ? 200 : 100;
    if (r.yMax != r.yMin)
        r.yMax += (r.yMax - r.yMin) * 0.05;
    return r;
}

std::wstring HistogramMarkup(const PlotContext& c, IEtchEnumInfo* source, bool delta)
{
    const std::wstring plotId = delta ? L"hrv_delta_rr_histogram_view" : L"hrv_rr_histogram_view";
    const std::wstring quantity = delta ? L"Delta RR Interval" : L"RR Interval";
    return Head() + L"histogram: {" + L"id: '" + plotId + L"', " + L"cursor: { readout: '" + quantity
        + L": bin = [{0}, {1}) " + L"s" + L", count = {2}' }, " + L"bins: "
        + StepRange(c.firstBin * c.binWidth, c.binWidth) + L", " + L"heights: '" + NameOf(source) + L"' " + kFullRange
        + L", " + L"colour: " + L"#000000ff" + L", " + L"fillcolour: " + ColourWithOpacity(c.traceColour, 0.8) + L"}, "
        + L"graticule: { colour: " + Grid(c) + L" }, " + L"xlabel: '" + quantity + L" (" + L"s" + L")', "
        + L"ylabel: 'Count', " + Tail(HistogramRanges(c, source, delta));
}

// ---- Classifier

PlotRanges ClassifierRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y)
{
    PlotRanges r;
    if (!c.hostState) {
        RangeOf(x, r.xMin, r.xMax);
        RangeOf(y, r.yMin, r.yMax);
    }
    const double sxMin = c.rrMin * kMilli, sxMax = c.rrMax * kMilli;
    const double syMin = c.complexityMin, syMax = c.complexityMax;
    if (Unset(r.xMin, r.xMax))
        r.xMin = sxMin, r.xMax = sxMax;
    if (Unset(r.yMin, r.yMax))
        r.yMin = syMin, r.yMax = syMax;
    r.xMax = std::max(r.xMax, sxMax), r.xMin = std::min(r.xMin, sxMin);
    r.yMax = std::max(r.yMax, syMax), r.yMin = std::min(r.yMin, syMin);
    Widen(r.xMin, r.xMax);
    Widen(r.yMin, r.yMax);
    return r;
}

std::wstring ClassifierMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y)
{
    const std::wstring xUnit = UnitOf(x), yUnit = UnitOf(y);
    return Head() + L"scatter: {" + L"id: '" + L"hrv_classifier_view" + L"', "
        + L"cursor: { readout: 'RR Interval = {0} " + xUnit + L", Complexity = {1} " + yUnit + L"' }, " + L"box: {"
        + L"id: 'classifier_box', " + L"colour: #ff0000ff, " + L"showvalues: true, " + L"draggable: "
        + (c.hostState ? L"false" : L"true") + L", " + L"range_x: { min:" + Num(c.rrMin * kMilli) + L", max:"
        + Num(c.rrMax * kMilli) + L"}, " + L"range_y: { min:" + Num(c.complexityMin) + L", max:" + Num(c.complexityMax)
        + L"}, " + L"plotcolours: [" + L"#0050ffff" + L", " + L"#ff00aaff" + L", " + L"#ff0000ff" + L", " + L"#ffaa00ff"
        + L"]" + L"}, " + L"xdata: '" + NameOf(x) + L"' " + kIndexRange + L", " + L"ydata: '" + NameOf(y) + L"' "
        + kIndexRange + L", " + L"colour: " + Colour(c) + L"}, " + L"graticule: { colour:" + Grid(c) + L" }, "
        + L"xlabel: 'RR Interval (" + xUnit + L")', " + L"ylabel: 'Complexity', " + Tail(ClassifierRanges(c, x, y));
}

// ---- Poincaré

PlotRanges PoincareRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y)
{
    PlotRanges r;
    if (!c.hostState) {
        RangeOf(x, r.xMin, r.xMax);
        RangeOf(y, r.yMin, r.yMax);
    }
    if (Unset(r.xMin, r.xMax))
        r.xMin = c.rrMin * kMilli, r.xMax = c.rrMax * kMilli;
    if (Unset(r.yMin, r.yMax))
        r.yMin = c.rrMin * kMilli, r.yMax = c.rrMax * kMilli;
    Widen(r.xMin, r.xMax);
    Widen(r.yMin, r.yMax);
    return r;
}

std::wstring PoincareMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y)
{
    const std::wstring xUnit = UnitOf(x), yUnit = UnitOf(y);
    std::wstring m = Head() + L"scatter: {" + L"id: '" + L"hrv_poincare_view" + L"', "
        + L"cursor: { readout: 'RR Interval: {0} " + xUnit + L", Next RR Interval: {1} " + yUnit + L"' }, ";
    const double mean = c.countRR ? c.sumRR / static_cast<double>(c.countRR) : 0.0;
    if (!std::isnan(mean) && !std::isnan(c.sd1) && !std::isnan(c.sd2))
        m += L"ellipse: {" + std::wstring(L"x:") + Num(mean * kMilli) + L", " + L"y:" + Num(mean * kMilli) + L", "
            + L"a:" + Num(c.sd2 * kMilli) + L", " + L"b:" + Num(c.sd1 * kMilli) + L", " + L"rotate: -45, "
            + L"colour: #000000ff, " + L"draw_axes: true" + L"}, ";
    m += L"xdata: '" + NameOf(x) + L"' " + kIndexRange + L", " + L"ydata: '" + NameOf(y) + L"' " + kIndexRange + L", "
        + L"colour: " + Colour(c) + L"}, " + L"graticule: { colour:" + Grid(c) + L", style: 'dashed' }, "
        + L"xlabel: 'RR Interval (" + xUnit + L")', " + L"ylabel: 'Next RR Interval (" + yUnit + L")', ";
    return m + Tail(PoincareRanges(c, x, y));
}

} // namespace HRV
