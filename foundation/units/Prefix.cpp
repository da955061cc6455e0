#include "foundation/units/Prefix.h"

#include <cmath>

namespace KEL {

namespace {

struct PowerLetter {
    int power;
    wchar_t letter;
};

constexpr PowerLetter kPowers[] = {
    { -24, L'y' },
    { -21, L'z' },
    { -18, L'a' },
    { -15, L'f' },
    { -12, L'p' },
    { -9, L'n' },
    { -6, kMicroSign },
    { -3, L'm' },
    { 3, L'k' },
    { 6, L'M' },
    { 9, L'G' },
    { 12, L'T' },
    { 15, L'P' },
    { 18, L'E' },
    { 21, L'Z' },
    { 24, L'Y' },
};

// Letters by prefix index; 0 where the index has none.
constexpr wchar_t kIndexLetters[kPrefixLast + 1] = {
    0,
    0,
    L'a',
    L'f',
    L'p',
    L'n',
    kMicroSign,
    L'm',
    0,
    L'k',
    L'M',
    L'G',
    L'T',
    L'P',
    L'E',
};

} // namespace

wchar_t PrefixCharFromExponent(int power)
{
    for (const auto& p : kPowers)
        if (p.power == power)
            return p.letter;
    return 0;
}

int ExponentFromPrefixChar(wchar_t letter)
{
    if (letter == L'u')
        return -6;
    for (const auto& p : kPowers)
        if (p.letter == letter && p.power >= -18 && p.power <= 18)
            return p.power;
    return 0;
}

double PrefixScaleFromChar(wchar_t letter)
{
    switch (letter) {
    case 0:
    case L'\u00A0':
        return 1.0;
    case kMicroSign:
    case L'u':
        return 1e6;
    case L'a':
        return 1e18;
    case L'f':
        return 1e15;
    case L'p':
        return 1e12;
    case L'n':
        return 1e9;
    case L'm':
        return 1000.0;
    case L'k':
        return 0.001;
    case L'M':
        return 1e-6;
    case L'G':
        return 1e-9;
    case L'T':
        return 1e-12;
    case L'P':
        return 1e-15;
    case L'E':
        return 1e-18;
    default:
        return 0.0;
    }
}

wchar_t PrefixCharFromIndex(std::uint32_t index)
{
    return index <= kPrefixLast ? kIndexLetters[index] : 0;
}

std::uint32_t PrefixIndexFromChar(wchar_t letter)
{
    if (letter == 0)
        return kPrefixNone;
    if (letter == L'u')
        return 6;
    for (std::uint32_t i = 2; i <= kPrefixLast; ++i)
        if (kIndexLetters[i] == letter)
            return i;
    return kPrefixUnknown;
}

std::uint32_t EngineeringPrefixIndex(double value)
{
    // A NaN or an infinity has no exponent; converting its logarithm to an integer is undefined.
    if (value == 0.0 || !std::isfinite(value))
        return kPrefixNone;
    const double magnitude = std::fabs(value);
    const int e = static_cast<int>(std::floor(std::log10(magnitude)));
    const int r = e - 3 * (e / 3);
    int group = 3 * (e / 3);
    if (magnitude * std::pow(10.0, r - e) < 1.0)
        group -= 3;
    // The logarithm can land just below a whole power of ten (log10(1e21) gives 20.99...):
    // correct the group so that the mantissa really lies in [1, 1000).
    if (magnitude / std::pow(10.0, group) >= 1000.0)
        group += 3;
    else if (magnitude / std::pow(10.0, group) < 1.0)
        group -= 3;
    const int index = 8 + group / 3;
    if (index < 1 || index > static_cast<int>(kPrefixLast))
        return kPrefixNone;
    return static_cast<std::uint32_t>(index);
}

String PrefixedUnitText(int power, const String& unitName)
{
    const wchar_t letter = PrefixCharFromExponent(power);
    if (!letter)
        return unitName;
    String text(1u, letter);
    text += unitName;
    return text;
}

PrefixedUnit::PrefixedUnit(std::wstring unitName, std::uint32_t prefixIndex)
    : mUnitName(std::move(unitName))
    , mPrefix(PrefixCharFromIndex(prefixIndex))
{
}

std::wstring PrefixedUnit::Text() const
{
    return mPrefix ? std::wstring(1, mPrefix) + mUnitName : mUnitName;
}

} // namespace KEL
