#pragma once
// Engineering notation (a mantissa and an exponent that is a multiple of 3, with SI prefixes) and
// the hint text of a beat mark.
#include "hrv/analysis/FiducialEvent.h"

#include <string>

namespace HRV {

class ValueFormatter {
public:
    ValueFormatter(double value, std::wstring unit = {});

    // The value written at exponent T (clamped to [-24, 24]) with four significant digits, then
    // " " + prefix + unit when a unit is in force (the override when not empty, else the
    // formatter's own). A value that is not finite writes "no data".
    void Format(std::wstring& out, int exponent, const std::wstring& unitOverride = {}) const;
    // Format at the formatter's own exponent when a unit is in force, else at exponent 0.
    void FormatAuto(std::wstring& out, const std::wstring& unitOverride = {}) const;

    double mMantissa = 0.0;
    int32_t mExponent = 0;
    std::wstring mUnit;
    bool mFinite = true;
};

// The SI prefix letter of an exponent (empty for 0 and for exponents that are not multiples of 3).
const wchar_t* SiPrefix(int exponent);

// The word of a beat's class: "Normal", "Ectopic", "Unknown" or "Unused".
const std::wstring& BeatClassWord(const FiducialEvent& event);

// "HRV Beat %1: RR = %2; FF = %3 (%4)".
std::wstring BeatHintText(const FiducialEvent& event);

} // namespace HRV
