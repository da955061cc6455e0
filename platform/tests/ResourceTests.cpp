#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "res/Resource.h"

namespace {

// A table registered by this executable: the host module, which a null handle means.
const vx::res::StringTableRegistrar kHostTable(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    { { 16, L"sixteen" }, { 31, L"thirty-one" }, { 1, L"\u00E9t\u00E9 \U0001F600" } });

std::u16string Entry(HMODULE module, WORD block, int index, LANGID language = 0xFFFF)
{
    HRSRC found = language == 0xFFFF ? FindResourceW(module, MAKEINTRESOURCEW(block), RT_STRING)
                                     : FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), language);
    if (!found)
        return u"<missing>";
    const auto* p = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    const unsigned char* end = p + SizeofResource(module, found);
    for (int i = 0; p + 2 <= end; ++i) {
        const int count = p[0] | (p[1] << 8);
        p += 2;
        if (i == index) {
            std::u16string text;
            for (int k = 0; k < count; ++k, p += 2)
                text.push_back(static_cast<char16_t>(p[0] | (p[1] << 8)));
            return text;
        }
        p += 2 * count;
    }
    return u"<no entry>";
}

} // namespace

TEST(Resource, StringTableBlocksFollowTheWindowsLayout)
{
    // Id 16 is block 2, entry 0; id 31 block 2, entry 15; an absent entry has count 0.
    EXPECT_EQ(Entry(nullptr, 2, 0), u"sixteen");
    EXPECT_EQ(Entry(nullptr, 2, 15), u"thirty-one");
    EXPECT_EQ(Entry(nullptr, 2, 3), u"");
    // Texts are stored as UTF-16, a character beyond the first plane as a pair.
    EXPECT_EQ(Entry(nullptr, 1, 1), u"\u00E9t\u00E9 \U0001F600");
    EXPECT_EQ(Entry(nullptr, 3, 0), u"<missing>");
    EXPECT_EQ(GetModuleHandleW(nullptr), vx::res::HostModule());
    EXPECT_EQ(vx::res::ModuleOf(&kHostTable), vx::res::HostModule());
}

TEST(Resource, ModulesKeepTheirOwnResources)
{
    // The platform library is a module of its own, distinct from the executable.
    const HMODULE library = vx::res::ModuleOf(reinterpret_cast<const void*>(&FindResourceW));
    ASSERT_NE(library, nullptr);
    EXPECT_NE(library, vx::res::HostModule());
    vx::res::AddStringTable(library, 0, { { 16, L"library's" } });
    EXPECT_EQ(Entry(library, 2, 0), u"library's");
    EXPECT_EQ(Entry(nullptr, 2, 0), u"sixteen");
}

TEST(Resource, LanguageLookup)
{
    const auto module = reinterpret_cast<HMODULE>(std::uintptr_t(0x1000));
    const LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT);
    const LANGID french = MAKELANGID(LANG_FRENCH, SUBLANG_DEFAULT);
    vx::res::AddStringTable(module, german, { { 5, L"Hallo" } });
    vx::res::AddStringTable(module, french, { { 5, L"Bonjour" } });
    // Only other languages: the lowest language id serves a lookup without language.
    EXPECT_EQ(Entry(module, 1, 5), u"Hallo");
    vx::res::AddStringTable(module, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), { { 5, L"Hello" } });
    EXPECT_EQ(Entry(module, 1, 5), u"Hello");
    vx::res::AddStringTable(module, 0, { { 5, L"neutral" } });
    EXPECT_EQ(Entry(module, 1, 5), u"neutral");
    EXPECT_EQ(Entry(module, 1, 5, french), u"Bonjour");
    EXPECT_EQ(Entry(module, 1, 5, MAKELANGID(LANG_FRENCH, 2)), u"<missing>");
    // Later entries merge into the block and win.
    vx::res::AddStringTable(module, french, { { 5, L"Salut" }, { 6, L"Au revoir" } });
    EXPECT_EQ(Entry(module, 1, 5, french), u"Salut");
    EXPECT_EQ(Entry(module, 1, 6, french), u"Au revoir");
}

TEST(Resource, NamedResourcesMatchWithoutCase)
{
    const auto module = reinterpret_cast<HMODULE>(std::uintptr_t(0x2000));
    const unsigned char bytes[] = { 1, 2, 3 };
    vx::res::AddResource(module, RT_HTML, L"Report", 0, bytes);
    HRSRC found = FindResourceW(module, L"REPORT", RT_HTML);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(module, found), 3u);
    EXPECT_EQ(std::memcmp(LockResource(LoadResource(module, found)), bytes, 3), 0);
    EXPECT_EQ(FindResourceW(module, L"REPORT", RT_RCDATA), nullptr);
    EXPECT_EQ(FindResourceW(module, MAKEINTRESOURCEW(200), RT_HTML), nullptr);
    vx::res::AddResource(module, RT_HTML, MAKEINTRESOURCEW(200), 0, bytes);
    EXPECT_NE(FindResourceW(module, L"#200", RT_HTML), nullptr);
}

TEST(Resource, UserInterfaceLanguageIsKept)
{
    EXPECT_EQ(vx::res::UserInterfaceLanguage(), 0);
    vx::res::SetUserInterfaceLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT));
    EXPECT_EQ(vx::res::UserInterfaceLanguage(), 0x0407);
    vx::res::SetUserInterfaceLanguage(0);
}
