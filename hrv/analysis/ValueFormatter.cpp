#include "hrv/analysis/ValueFormatter.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

namespace HRV {

namespace {
const std::wstring kNoData = L"no data";
}

ValueFormatter::ValueFormatter(double value, std::wstring unit)
    : mUnit(std::move(unit))
{
    // A NaN or an infinity has no exponent: it must reach neither log10 nor an integer conversion.
    if (!std::isfinite(value)) {
        mFinite = false;
        mMantissa = value;
        return;
    }
    if (value == 0.0)
        return;
    const int e = static_cast<int>(std::floor(std::log10(std::abs(value))));
    const double m = value / std::pow(10.0, e);
    int big = 3 * (e / 3);
    double mantissa = m * std::pow(10.0, e - big);
    if (std::abs(mantissa) < 1.0) {
        mantissa *= 1000.0;
        big -= 3;
    }
    mMantissa = mantissa;
    mExponent = big;
}

const wchar_t* SiPrefix(int exponent)
{
    static const wchar_t* const kPrefixes[]
        = { L"y", L"z", L"a", L"f", L"p", L"n", L"\u00B5", L"m", L"", L"k", L"M", L"G", L"T", L"P", L"E", L"Z", L"Y" };
    if (exponent < -24 || exponent > 24 || exponent % 3 != 0)
        return L"";
    return kPrefixes[(exponent + 24) / 3];
}

void ValueFormatter::Format(std::wstring& out, int exponent, const std::wstring& unitOverride) const
{
    const std::wstring& unit = unitOverride.empty() ? mUnit : unitOverride;
    if (!mFinite) {
        out = kNoData;
        return;
    }
    const int t = std::clamp(exponent, -24, 24);
    std::wostringstream stream;
    stream.imbue(std::locale::classic());
    stream.precision(4);
    stream << mMantissa * std::pow(10.0, mExponent - t);
    if (!unit.empty())
        stream << L' ' << SiPrefix(t) << unit;
    out = stream.str();
}

void ValueFormatter::FormatAuto(std::wstring& out, const std::wstring& unitOverride) const
{
    const bool hasUnit = !unitOverride.empty() || !mUnit.empty();
    Format(out, hasUnit ? mExponent : 0, unitOverride);
}

const std::wstring& BeatClassWord(const FiducialEvent& e)
{
    static const std::wstring kWords[] = { L"Normal", L"Ectopic", L"Unknown", L"Unused" };
    if ((e.mClass & 0xFF) == kClassUnclassified || e.mPosition == kEventEnd || std::isnan(e.mRR)
        || std::isnan(e.mDeltaRR))
        return kWords[2];
    if (e.mClass & (kClassRROutside | kClassComplexityOutside))
        return kWords[1];
    if ((e.mClass & 0xFF) == 0 && e.IsUsed())
        return kWords[0];
    return kWords[3];
}

std::wstring BeatHintText(const FiducialEvent& e)
{
    std::wstring rr;
    if (std::isnan(e.mRR))
        rr = kNoData;
    else
        ValueFormatter(e.mRR, L"s").Format(rr, -3);
    std::wstring ff;
    ValueFormatter(e.mComplexity).FormatAuto(ff);
    return L"HRV Beat " + std::to_wstring(e.mBeatNumber) + L": RR = " + rr + L"; FF = " + ff + L" (" + BeatClassWord(e)
        + L")";
}

} // namespace HRV
