#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/XKEL.h"
#include "log/Log.h"
#include "res/Resource.h"

using KEL::String;

namespace {

// The host's texts for two own codes (the test executable is the host here).
const vx::res::StringTableRegistrar kHostTexts(
    0, { { 0xE004, L"The OEM stream holds a bad string" }, { 0xE005, L"Newer version." } });

String MessageOf(const XKEL& e)
{
    return e.GetMessage();
}

} // namespace

TEST(XKEL, MessageForEachKindOfCode)
{
    vx::log::Capture capture;
    struct Case {
        const wchar_t* context; // null: the code alone
        HRESULT code;
        const wchar_t* message;
    };
    const Case cases[] = {
        { nullptr, KEL::kMessageOnly, L"" },
        { L"Error reading Storage Entry Table", KEL::kMessageOnly, L"Error reading Storage Entry Table" },
        { L"context", KEL::kNoText, L"context" }, { L"context", 0, L"context" },
        { L"context", E_FAIL, L"context\nUnspecified error." },
        { nullptr, HRESULT_FROM_WIN32(5), L"Access is denied." },
        { nullptr, E_INVALIDARG, L"The parameter is incorrect." },
        { nullptr, E_NOINTERFACE, L"No such interface supported." },
        { nullptr, KEL::kBadStreamString, L"The Morvell stream holds a bad string." }, // branded, "." added
        { nullptr, MakeHResult(0x80030105u), L"Newer version." }, // taken as the own code 0xA0048205
        { nullptr, MakeHResult(0xA004820Au), L"" }, // an own code without a text
        { nullptr, MakeHResult(0xA0049000u), L"" }, // outside the own table
        { nullptr, MakeHResult(0xA0048206u), L"" }, // its text is not in this host's table
        { nullptr, MakeHResult(0x87654321u), L"" }, // the system has no text
    };
    for (const Case& c : cases) {
        const XKEL e = c.context ? XKEL(String(c.context), c.code) : XKEL(c.code);
        EXPECT_EQ(MessageOf(e), c.message) << std::hex << c.code;
        EXPECT_EQ(e.GetHResult(), c.code);
    }
    EXPECT_EQ(capture.Lines().size(), std::size(cases));
}

TEST(XKEL, EachConstructionWritesOneLine)
{
    vx::log::Capture capture;
    try {
        throw XKEL(String(L"ElementTable::Resize : too many entries (2048)"), E_FAIL);
    } catch (const std::exception& e) {
        const XKEL copy = dynamic_cast<const XKEL&>(e); // copying writes nothing
        EXPECT_EQ(copy.GetHResult(), E_FAIL);
    }
    const std::vector<std::string> expected {
        "KELBOOTLOG: XKEL: ElementTable::Resize : too many entries (2048) Unspecified error."
    };
    EXPECT_EQ(capture.Lines(), expected);
}

TEST(XKEL, WhatIsTheMessageInTheThreadCodePage)
{
    vx::log::Capture capture;
    const XKEL e(String(L"caf\u00E9 \u2022"), KEL::kMessageOnly);
    EXPECT_STREQ(e.what(), "caf\xC3\xA9 \xE2\x80\xA2");
    const XKEL copy(e);
    EXPECT_STREQ(copy.what(), "caf\xC3\xA9 \xE2\x80\xA2");
    EXPECT_STREQ(e.what(), "caf\xC3\xA9 \xE2\x80\xA2");
    EXPECT_EQ(capture.Lines(), std::vector<std::string> { "KELBOOTLOG: XKEL: caf\xC3\xA9 \xE2\x80\xA2" });
}

TEST(XKEL, OwnCodesAndTheirTextIds)
{
    EXPECT_TRUE(KEL::IsOwnCode(KEL::kBadStreamString));
    EXPECT_FALSE(KEL::IsOwnCode(E_FAIL));
    EXPECT_FALSE(KEL::IsOwnCode(MakeHResult(0xA0040203u))); // bit 0x8000 clear
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA0048200u)), 0xE001u);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA0048205u)), 0xE005u);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA0048206u)), 0xE008u);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA0048209u)), 0xE00Au);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA0048212u)), 0xE00Eu);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA004821Du)), 0xE011u);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0xA004821Cu)), 0u);
    EXPECT_EQ(KEL::OwnCodeTextId(MakeHResult(0x80030105u)), 0xE005u);
    EXPECT_EQ(KEL::OwnCodeTextId(KEL::kMessageOnly), 0u);
}

TEST(BootLog, WritesOnePrefixedUtf8Line)
{
    vx::log::Capture capture;
    KEL::BootLog(L"EtchWvControl::SetPlotId: \u00E9");
    KEL::BootLog("etch_proxy_CompileMarkup, got: a\nb");
    EXPECT_EQ(capture.Lines(),
        (std::vector<std::string> {
            "KELBOOTLOG: EtchWvControl::SetPlotId: \xC3\xA9", "KELBOOTLOG: etch_proxy_CompileMarkup, got: a b" }));
}
