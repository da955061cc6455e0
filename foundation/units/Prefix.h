#pragma once
// SI prefixes: letters, powers of ten, scale factors and the host's prefix index.
//
// The prefix index is the host's code for a prefix: 0 unknown ("?"), 1 no prefix, 2 a, 3 f, 4 p,
// 5 n, 6 micro, 7 m, 8 no prefix (the place of the power 0 in the engineering sequence
// index = 8 + power / 3), 9 k, 10 M, 11 G, 12 T, 13 P, 14 E.
#include <cstdint>
#include <string>

#include "foundation/String.h"

namespace KEL {

constexpr wchar_t kMicroSign = L'\u00B5';
constexpr std::uint32_t kPrefixUnknown = 0;
constexpr std::uint32_t kPrefixNone = 1;
constexpr std::uint32_t kPrefixEngineeringZero = 8;
constexpr std::uint32_t kPrefixLast = 14;

// The letter for a power of ten (y to Y); 0 for the power 0 and any power without a letter.
wchar_t PrefixCharFromExponent(int power);
// The power of ten of a letter (E to a, u and the micro sign for -6); 0 for any other character.
int ExponentFromPrefixChar(wchar_t letter);
// The factor that turns a value in base units into one in prefixed units: k gives 0.001, m 1000.
// No letter and the no-break space give 1. Any other character gives 0, which every caller
// takes as "unknown prefix", never as a factor.
double PrefixScaleFromChar(wchar_t letter);
// The letter of a prefix index; 0 for 1, 8 and any index without a letter (0 included).
wchar_t PrefixCharFromIndex(std::uint32_t index);
// The prefix index of a letter: no letter 1, a to E their index, u and the micro sign 6; any
// other letter 0.
std::uint32_t PrefixIndexFromChar(wchar_t letter);
// The engineering prefix index for a value, so that the mantissa lies in [1, 1000). Zero, NaN,
// infinities and values beyond the table give 1 (no prefix).
std::uint32_t EngineeringPrefixIndex(double value);
// The letter for the power followed by the unit name; the bare name for a power without letter.
String PrefixedUnitText(int power, const String& unitName);

// A unit name with one prefix letter (0 for none).
class PrefixedUnit {
public:
    PrefixedUnit() = default;
    PrefixedUnit(std::wstring unitName, wchar_t prefix)
        : mUnitName(std::move(unitName))
        , mPrefix(prefix)
    {
    }
    // The letter from the prefix index (T, P and E included); indexes without letter give none.
    PrefixedUnit(std::wstring unitName, std::uint32_t prefixIndex);

    const std::wstring& UnitName() const noexcept { return mUnitName; }
    wchar_t Prefix() const noexcept { return mPrefix; }
    std::uint32_t PrefixIndex() const noexcept { return PrefixIndexFromChar(mPrefix); }
    // The letter followed by the unit name.
    std::wstring Text() const;

private:
    std::wstring mUnitName;
    wchar_t mPrefix = 0;
};

} // namespace KEL
