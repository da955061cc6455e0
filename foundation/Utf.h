#pragma once
// Conversion between UTF-8 bytes, UTF-16 units (the persisted and exchanged form of text) and the
// wide text held in memory.
#include <cstddef>
#include <string>

namespace KEL {

enum ConversionResult {
    conversionOK = 0,
    sourceExhausted = 1, // the last sequence runs past the end of the source
    targetExhausted = 2, // no room in the target for the next unit or pair
    sourceIllegal = 3, // an ill-formed sequence
};

// Decodes UTF-8 into UTF-16 and advances both pointers past what was converted; on a stop the
// source is left at the lead byte of the sequence that stopped it. Encoded surrogates and values
// beyond U+10FFFF are ill formed; a well-formed sequence always yields its code point.
ConversionResult ConvertUtf8ToUtf16(
    const unsigned char** source, const unsigned char* sourceEnd, char16_t** target, char16_t* targetEnd);

// Whether the `length` bytes (1 to 4) form one well-formed UTF-8 sequence.
bool IsLegalUtf8(const unsigned char* bytes, int length);

// UTF-8 to wide text. Every ill-formed part of the input becomes one U+FFFD (one per maximal
// ill-formed subpart, as Unicode recommends), so no text after a bad byte is lost.
std::wstring Utf8ToWide(const std::string& utf8);

// UTF-16 units, or wide text, to UTF-8. A surrogate pair becomes one code point; an unpaired
// surrogate (also one that ends the text) and a value beyond U+10FFFF become U+FFFD (EF BF BD),
// so the result is always well-formed UTF-8.
std::string Utf16ToUtf8(const char16_t* units, std::size_t count);
std::string Utf16ToUtf8(const wchar_t* text, std::size_t count);

// Wide text to UTF-16 units and back (surrogate pairs beyond the first plane; lone surrogates
// and values beyond U+10FFFF become U+FFFD).
std::u16string WideToUtf16(const wchar_t* text, std::size_t count);
std::wstring Utf16ToWide(const char16_t* units, std::size_t count);

} // namespace KEL
