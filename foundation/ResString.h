#pragma once
// Resource strings: one loader fetches a text from a module's string table in the user-interface
// language, and on request replaces the product tokens by the product names. Texts hold symbol
// tokens for characters that are awkward in a string table; they are always replaced.
#include <filesystem>
#include <vector>

#include "foundation/String.h"
#include "res/Resource.h"

namespace KEL {

// Loads string `id` of `module` (null: the host executable) into `out`; never fails. Id 0, a
// missing block or entry, and an empty entry give the empty text. The user-interface language
// (vx::res::UserInterfaceLanguage) is tried first when set, then the language-neutral lookup.
void LoadResString(String& out, HMODULE module, UINT id, bool branding);
String GetResString(HMODULE module, UINT id, bool branding);

struct BrandingRow {
    String token;
    String replacement;
};

// The product tokens in replacement order ("VARNFORWINDOWS" before "VARN", so the longer token
// wins): the defaults, overridden by the branding file when there is one. Built once, on first
// use.
const std::vector<BrandingRow>& BrandingTable();

// The branding file beside the host executable: "Essential Files/Reva.kelini".
std::filesystem::path BrandingFilePath();

// The branding rows with the values of the file at `path`. Keys, without regard to case and in
// any section: "AppTitle" for "VARNFORWINDOWS", "AppName" for "VARN", "HardwareName" for
// "TRIVANE", "OEMName" for "OEM". A missing file, a missing key or an empty value keeps the
// default. The file may be UTF-16 (with its byte-order mark), UTF-8 or Windows-1252.
std::vector<BrandingRow> ReadBrandingFile(const std::filesystem::path& path);

// Replaces every occurrence of each row's token, in row order, continuing behind each inserted
// replacement so a replacement holding its own token is not expanded again.
void ReplaceTokens(String& text, const std::vector<BrandingRow>& rows);

} // namespace KEL
