#include <gtest/gtest.h>

#include <iomanip>
#include <locale>
#include <string>
#include <vector>

#include "foundation/FormatStream.h"

using KEL::String;

namespace {

String Format(const wchar_t* format, const std::vector<std::wstring>& values)
{
    KEL::OFormatStringStream stream { String(format) };
    for (const std::wstring& v : values)
        stream << v;
    return stream.Str();
}

struct Comma : std::numpunct<wchar_t> {
    wchar_t do_decimal_point() const override { return L','; }
};

} // namespace

TEST(FormatStream, DirectivesReceiveTheirValues)
{
    struct Case {
        const wchar_t* format;
        std::vector<std::wstring> values;
        const wchar_t* result;
    };
    const Case cases[] = {
        { L"%2 of %1", { L"3", L"7" }, L"7 of 3" },
        { L"100%% of %1", { L"x" }, L"100% of x" },
        { L"100%%", {}, L"100%%" }, // no directive: written unchanged, at once
        { L"%1 %3", { L"a", L"b", L"c" }, L"a c" }, // the second value has no directive
        { L"%1 and %1", { L"a" }, L"a and a" }, // every occurrence receives the value
        { L"%1%1%2", { L"a", L"b" }, L"aab" },
        { L"%1\\0", { L"x" }, L"x0" }, // the backslash ends the directive
        { L"%21", {}, L"%21" }, // outside 1-20: literal, nothing to wait for
        { L"%21 %1", { L"a" }, L"%21 a" },
        { L"%0 %-1 %1", { L"a" }, L"%0 %-1 a" },
        { L"%%%1%%", { L"5" }, L"%5%" },
        { L"50% off %1%", { L"x" }, L"50% off x%" },
        { L"%1", { L"a", L"surplus" }, L"a" },
        { L"%20|%1",
            { L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"10", L"11", L"12", L"13", L"14", L"15", L"16",
                L"17", L"18", L"19", L"20" },
            L"20|1" },
        { L"", {}, L"" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(c.format, c.values), c.result) << c.format;
}

TEST(FormatStream, NothingIsWrittenBeforeTheLastValue)
{
    KEL::OFormatStringStream stream { String(L"%1 %3") };
    EXPECT_EQ(stream.HighestNumber(), 3);
    stream << L"a" << L"b";
    EXPECT_FALSE(stream.IsComplete());
    EXPECT_TRUE(stream.Str().IsEmpty());
    stream << L"c";
    EXPECT_TRUE(stream.IsComplete());
    EXPECT_EQ(stream.Str(), L"a c");

    KEL::OFormatStringStream literal { String(L"%21") };
    EXPECT_TRUE(literal.IsComplete());
    EXPECT_EQ(literal.Str(), L"%21");
}

TEST(FormatStream, ValuesFollowTheStreamSettings)
{
    KEL::OFormatStringStream stream { String(L"[%1] [%2] [%3] [%4]") };
    stream.precision(3);
    stream << 3.14159;
    stream << std::fixed << std::setprecision(1) << 2.25;
    stream << std::setw(4) << std::setfill(L'0') << 7;
    stream << std::hex << 255;
    EXPECT_EQ(stream.Str(), L"[3.14] [2.2] [0007] [ff]");

    KEL::OFormatStringStream local { String(L"%1 < %2") };
    local.imbue(std::locale(std::locale::classic(), new Comma));
    local << 0.5 << String(L"text");
    EXPECT_EQ(local.Str(), L"0,5 < text");
}
