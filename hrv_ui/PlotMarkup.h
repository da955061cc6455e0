#pragma once
// The Etch Markup of each HRV plot and the full x and y ranges that go with it. The markup names
// the plot's data sources instead of carrying the numbers; the ranges are also the views' scale
// ranges. The writers read only what PlotContext holds and what the sources tell.
#include <cstdint>
#include <string>

#include "hrv_ui/PlotSources.h"

namespace HRV {

class Document;

// What the writers read of the document and its host.
struct PlotContext {
    // Settings: the normal RR range (s), the complexity range, the spectral bands (Hz, very low,
    // low and high, start then end) and the spectrum's maximum frequency.
    double rrMin = 0, rrMax = 0;
    double complexityMin = 0, complexityMax = 0;
    double bands[6] = {};
    double maxFrequency = 0;
    // Results: the spectrum's grid, the histogram of the plot and the interval statistics.
    double frequencyStep = 0;
    std::int32_t firstFrequencyBin = 0;
    double binWidth = 0;
    std::int32_t firstBin = 0;
    double sumRR = 0;
    std::uint64_t countRR = 0;
    double sd1 = 0, sd2 = 0;
    // The host's state flag: set while the host samples (the plots follow the data and their
    // editable items are fixed).
    bool hostState = false;
    // Colours as "#rrggbb" (the alpha is written by the writers).
    std::wstring traceColour = L"#0000ff";
    std::wstring gridColour = L"#c0c0c0";
};

// What the plot of a document shows: `delta` picks the delta-RR histogram's bin layout.
PlotContext ContextOf(Document& document, bool hostState, bool delta = false);

// Full x and y ranges of a plot.
struct PlotRanges {
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

// "#rrggbb" and an alpha from an opacity in [0, 1] as "#rrggbbaa".
std::wstring ColourWithOpacity(const std::wstring& rgb, double opacity);

PlotRanges TachogramRanges(const PlotContext& c, IEtchEnumInfo* source);
std::wstring TachogramMarkup(const PlotContext& c, IEtchEnumInfo* source);

PlotRanges SpectrumRanges(const PlotContext& c, IEtchEnumInfo* source);
std::wstring SpectrumMarkup(const PlotContext& c, IEtchEnumInfo* source);

PlotRanges HistogramRanges(const PlotContext& c, IEtchEnumInfo* source, bool delta);
std::wstring HistogramMarkup(const PlotContext& c, IEtchEnumInfo* source, bool delta);

PlotRanges ClassifierRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y);
std::wstring ClassifierMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y);

PlotRanges PoincareRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y);
std::wstring PoincareMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y);

} // namespace HRV
