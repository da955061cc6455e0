#pragma once
// Element names: UTF-16 in the file, at most 31 units, compared with simple Unicode case folding
// (the same in every locale).
#include <string>

#include "com/Storage.h"

namespace KEL {

// The simple case folding of one UTF-16 unit; surrogates and uncased units fold to themselves.
char16_t FoldNameUnit(char16_t unit);
bool NamesEqual(const std::u16string& a, const std::u16string& b);

// Checks a name handed to an interface method and converts it to UTF-16: STG_E_INVALIDPOINTER
// for null; STG_E_INVALIDNAME for an empty name, one of more than 31 UTF-16 units, or one holding
// a value that is no Unicode code point.
HRESULT NameFromCaller(const OLECHAR* name, std::u16string& out);
// The name as wide text for callers (unpaired surrogates are kept as they are).
std::wstring NameToWide(const std::u16string& name);

} // namespace KEL
