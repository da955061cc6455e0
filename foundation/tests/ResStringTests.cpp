#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "foundation/ResString.h"

using KEL::String;

namespace {

const vx::res::StringTableRegistrar kTable(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 1, L"VARNFORWINDOWS Help" },
        { 2, L"About VARN" },
        { 3, L"TRIVANE hardware" },
        { 4, L"A POEM by OEM" },
        { 5, L"" },
        { 6, L"[BULLET] item, [DELTA]RR [LESSTHANEQ] 5" },
        { 16, L"sixteen" },
        { 31, L"thirty-one" },
        { 40, L"neutral forty" },
        { 41, L"neutral forty-one" },
    });
const vx::res::StringTableRegistrar kGerman(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT), { { 40, L"Deutsch vierzig" } });

class TempFile {
public:
    explicit TempFile(const std::string& bytes)
    {
        char name[] = "/tmp/kelini-XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        close(fd);
        mPath = name;
        std::ofstream(mPath, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(mPath); }
    const std::filesystem::path& Path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

std::wstring Replacement(const std::vector<KEL::BrandingRow>& rows, std::size_t i)
{
    return rows.at(i).replacement.ToWString();
}

} // namespace

TEST(ResString, LoadsByIdAndBrandsOnRequest)
{
    struct Case {
        UINT id;
        bool branding;
        const wchar_t* text;
    };
    const Case cases[] = {
        { 1, true, L"Varnex Help" }, { 2, true, L"About Varnex" }, { 3, true, L"Trivane hardware" },
        { 4, true, L"A PMorvell by Morvell" }, // a token inside a word is replaced too
        { 1, false, L"VARNFORWINDOWS Help" }, { 4, false, L"A POEM by OEM" },
        { 6, false, L"\u2022 item, \u0394RR < 5" }, // symbol tokens are always replaced
        { 16, false, L"sixteen" }, // block 2, entry 0
        { 31, false, L"thirty-one" }, // block 2, entry 15
        { 0, true, L"" }, { 5, true, L"" }, // an entry of length 0
        { 7, true, L"" }, // no such entry in its block
        { 1000, true, L"" }, // no such block
    };
    for (const Case& c : cases)
        EXPECT_EQ(KEL::GetResString(nullptr, c.id, c.branding), c.text) << c.id;
    String out(L"previous");
    KEL::LoadResString(out, GetModuleHandleW(nullptr), 1000, true);
    EXPECT_TRUE(out.IsEmpty());
    // A module without that table gives nothing.
    EXPECT_TRUE(KEL::GetResString(vx::res::ModuleOf(reinterpret_cast<const void*>(&FindResourceW)), 1, true).IsEmpty());
}

TEST(ResString, PrefersTheUserInterfaceLanguage)
{
    EXPECT_EQ(KEL::GetResString(nullptr, 40, false), L"neutral forty");
    vx::res::SetUserInterfaceLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT));
    EXPECT_EQ(KEL::GetResString(nullptr, 40, false), L"Deutsch vierzig");
    // The German block lacks the entry: the neutral one serves.
    EXPECT_EQ(KEL::GetResString(nullptr, 41, false), L"neutral forty-one");
    vx::res::SetUserInterfaceLanguage(MAKELANGID(LANG_FRENCH, SUBLANG_DEFAULT));
    EXPECT_EQ(KEL::GetResString(nullptr, 40, false), L"neutral forty");
    vx::res::SetUserInterfaceLanguage(0);
}

TEST(ResString, ReplacementIsNotExpandedAgain)
{
    String text(L"AB and AB");
    KEL::ReplaceTokens(text, { { L"AB", L"xABy" }, { L"", L"ignored" } });
    EXPECT_EQ(text, L"xABy and xABy");
}

TEST(ResString, BrandingFileOverridesTheDefaults)
{
    const auto defaults = KEL::ReadBrandingFile("/nonexistent/Reva.kelini");
    ASSERT_EQ(defaults.size(), 4u);
    EXPECT_EQ(defaults[0].token, L"VARNFORWINDOWS");
    EXPECT_EQ(Replacement(defaults, 1), L"Varnex");
    EXPECT_EQ(Replacement(defaults, 2), L"Trivane");
    EXPECT_EQ(Replacement(defaults, 3), L"Morvell");

    const TempFile utf8("\xEF\xBB\xBF; product names\r\n[Branding]\r\nAppName=Acme\r\n  apptitle = \"Acme Pro\"\n"
                        "HardwareName=\nOEMName=N\xC3\xBCrn Labs\nUnknown=x\n");
    const auto rows = KEL::ReadBrandingFile(utf8.Path());
    EXPECT_EQ(Replacement(rows, 0), L"Acme Pro");
    EXPECT_EQ(Replacement(rows, 1), L"Acme");
    EXPECT_EQ(Replacement(rows, 2), L"Trivane"); // an empty value keeps the default
    EXPECT_EQ(Replacement(rows, 3), L"N\u00FCrn Labs");

    const TempFile ansi("OEMName=N\xFCrn\n");
    EXPECT_EQ(Replacement(KEL::ReadBrandingFile(ansi.Path()), 3), L"N\u00FCrn");
    const char utf16Bytes[] = "\xFF\xFE"
                              "A\0=\0B\0\n\0O\0E\0M\0N\0a\0m\0e\0=\0\xAC\x20";
    const TempFile utf16(std::string(utf16Bytes, sizeof utf16Bytes - 1));
    EXPECT_EQ(Replacement(KEL::ReadBrandingFile(utf16.Path()), 3), L"\u20AC");

    // The file is looked for beside the executable; there is none beside the tests.
    const std::filesystem::path path = KEL::BrandingFilePath();
    EXPECT_EQ(path.filename(), "Reva.kelini");
    EXPECT_EQ(path.parent_path().filename(), "Essential Files");
    EXPECT_EQ(path.parent_path().parent_path(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
    EXPECT_EQ(Replacement(KEL::BrandingTable(), 0), L"Varnex");
}
