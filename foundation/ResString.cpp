#include "foundation/ResString.h"

#include <unistd.h>

#include <cwctype>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/Utf.h"
#include "text/CodePage.h"

namespace KEL {
namespace {

std::vector<BrandingRow> DefaultBranding()
{
    return { { L"VARNFORWINDOWS", L"Varnex" }, { L"VARN", L"Varnex" }, { L"TRIVANE", L"Trivane" },
        { L"OEM", L"Morvell" } };
}

// The branding file's key for each default row, in the same order.
constexpr const wchar_t* kBrandingKeys[] = { L"apptitle", L"appname", L"hardwarename", L"oemname" };

const std::vector<BrandingRow>& SymbolTable()
{
    static const std::vector<BrandingRow> rows { { L"[BULLET]", L"\u2022" }, { L"[DELTA]", L"\u0394" },
        { L"[LESSTHANEQ]", L"<" } };
    return rows;
}

// Entry `index` of a string-table block, or nothing when the block ends first.
bool ReadEntry(HMODULE module, HRSRC found, unsigned index, std::u16string& text)
{
    if (!found)
        return false;
    const auto* p = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    const unsigned char* end = p + SizeofResource(module, found);
    if (!p)
        return false;
    for (unsigned i = 0;; ++i) {
        if (end - p < 2)
            return false;
        const std::size_t count = p[0] | (p[1] << 8);
        p += 2;
        if (static_cast<std::size_t>(end - p) < count * 2)
            return false; // a block cut short: nothing from it
        if (i == index) {
            text.resize(count);
            for (std::size_t k = 0; k < count; ++k)
                text[k] = static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8));
            return true;
        }
        p += count * 2;
    }
}

std::wstring DecodeFile(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF
        && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(
                static_cast<unsigned char>(bytes[2 + 2 * i]) | (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        return Utf16ToWide(units.data(), units.size());
    }
    std::string text = bytes;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    if (text.empty())
        return {};
    // Text that is not well-formed UTF-8 was written in the Windows ANSI code page.
    const int strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), int(text.size()), nullptr, 0);
    const UINT page = strict > 0 ? CP_UTF8 : CP_ACP;
    std::wstring wide(
        static_cast<std::size_t>(MultiByteToWideChar(page, 0, text.data(), int(text.size()), nullptr, 0)), L'\0');
    if (!wide.empty())
        MultiByteToWideChar(page, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    return wide;
}

std::wstring Trim(std::wstring_view text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin])))
        ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1])))
        --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

} // namespace

void LoadResString(String& out, HMODULE module, UINT id, bool branding)
{
    out = String();
    if (id == 0)
        return;
    const auto block = static_cast<WORD>((static_cast<WORD>(id) >> 4) + 1);
    const unsigned index = id & 15;
    std::u16string text;
    bool found = false;
    if (const LANGID language = vx::res::UserInterfaceLanguage())
        found = ReadEntry(module, FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), language), index, text)
            && !text.empty();
    if (!found)
        found = ReadEntry(module, FindResourceW(module, MAKEINTRESOURCEW(block), RT_STRING), index, text);
    if (!found || text.empty())
        return;
    out = String(Utf16ToWide(text.data(), text.size()));
    if (branding)
        ReplaceTokens(out, BrandingTable());
    ReplaceTokens(out, SymbolTable());
}

String GetResString(HMODULE module, UINT id, bool branding)
{
    String text;
    LoadResString(text, module, id, branding);
    return text;
}

const std::vector<BrandingRow>& BrandingTable()
{
    static const std::vector<BrandingRow> rows = ReadBrandingFile(BrandingFilePath());
    return rows;
}

std::filesystem::path BrandingFilePath()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return executable.parent_path() / "Essential Files" / "Reva.kelini";
}

std::vector<BrandingRow> ReadBrandingFile(const std::filesystem::path& path)
{
    std::vector<BrandingRow> rows = DefaultBranding();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return rows;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::wstring text = DecodeFile(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = Trim(std::wstring_view(text).substr(start, end - start));
        start = end + 1;
        const std::size_t equals = line.find(L'=');
        if (line.empty() || line[0] == L';' || line[0] == L'#' || line[0] == L'[' || equals == std::wstring::npos)
            continue;
        const std::wstring key = Lower(Trim(std::wstring_view(line).substr(0, equals)));
        std::wstring value = Trim(std::wstring_view(line).substr(equals + 1));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
            value = value.substr(1, value.size() - 2);
        if (value.empty())
            continue;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (key == kBrandingKeys[i])
                rows[i].replacement = String(value);
    }
    return rows;
}

void ReplaceTokens(String& text, const std::vector<BrandingRow>& rows)
{
    for (const BrandingRow& row : rows) {
        const std::size_t tokenLength = row.token.Length();
        if (tokenLength == 0)
            continue;
        std::size_t position = text.Find(row.token.View());
        while (position != String::npos) {
            text.Replace(position, tokenLength, row.replacement);
            position = text.Find(row.token.View(), position + row.replacement.Length());
        }
    }
}

} // namespace KEL
