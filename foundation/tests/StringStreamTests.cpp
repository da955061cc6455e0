#include <gtest/gtest.h>

#include <iomanip>
#include <istream>
#include <locale>
#include <string>

#include "foundation/StringStream.h"

using KEL::String;

namespace {

struct Grouping : std::numpunct<wchar_t> {
    std::string do_grouping() const override { return "\3"; }
    wchar_t do_thousands_sep() const override { return L','; }
};

} // namespace

TEST(StringStream, TextHandedOutNeverChanges)
{
    KEL::OStringStream out;
    EXPECT_TRUE(out.Str().IsEmpty());
    out << L"abc";
    const String first = out.Str();
    EXPECT_EQ(first, L"abc");
    EXPECT_EQ(first.Length(), 3u);
    EXPECT_EQ(first.c_str()[3], L'\0');
    out << L"def" << 42;
    EXPECT_EQ(first, L"abc");
    const String second = out.Str();
    EXPECT_EQ(second, L"abcdef42");
    EXPECT_EQ(out.Str(), L"abcdef42");
    EXPECT_EQ(first, L"abc");
}

TEST(StringStream, GrowsForLongTexts)
{
    KEL::OStringStream out;
    std::wstring expected;
    for (int i = 0; i < 2000; ++i) {
        out << i << L',';
        expected += std::to_wstring(i) + L',';
    }
    EXPECT_EQ(out.Str().View(), expected);
    out << L'!';
    EXPECT_EQ(out.Str().View(), expected + L'!');
}

TEST(StringStream, NumberFormattingAndLocales)
{
    KEL::OStringStream out;
    out << std::setprecision(4) << 3.14159265 << L' ' << std::fixed << std::showpoint << std::setprecision(2) << 2.0;
    EXPECT_EQ(out.Str(), L"3.142 2.00");

    const std::locale grouped(std::locale::classic(), new Grouping);
    KEL::OStringStream local;
    local.imbue(grouped);
    local << 1234567;
    EXPECT_EQ(local.Str(), L"1,234,567");

    std::locale::global(grouped);
    KEL::Automation::ClassicOStringStream classic;
    classic << 1234567 << L' ' << 0.5;
    std::locale::global(std::locale::classic());
    EXPECT_EQ(classic.Str(), L"1234567 0.5");
}

TEST(StringStream, ReadsAndSeeksWithinWhatWasWritten)
{
    KEL::OStringStream out;
    out << L"12 34";
    std::wistream in(out.rdbuf());
    int a = 0, b = 0;
    in >> a >> b;
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    in.clear();
    EXPECT_EQ(in.rdbuf()->pubseekoff(1, std::ios_base::beg, std::ios_base::in), 1);
    EXPECT_EQ(in.get(), L'2');
    EXPECT_TRUE(in.unget());
    EXPECT_EQ(in.get(), L'2');
    EXPECT_EQ(in.rdbuf()->pubseekoff(6, std::ios_base::beg, std::ios_base::in), -1); // beyond the text
    EXPECT_EQ(in.rdbuf()->pubseekoff(-1, std::ios_base::beg, std::ios_base::in), -1);

    // Moving the put position back overwrites; the text keeps its written length.
    out.seekp(0);
    out << L"9";
    EXPECT_EQ(out.Str(), L"92 34");
    out.seekp(0, std::ios_base::end);
    out << L"!";
    EXPECT_EQ(out.Str(), L"92 34!");
}

TEST(StringStream, LockAndReserveTheBlock)
{
    KEL::OStringStream out;
    out << L"abc";
    const String taken = out.Str();
    auto block = out.rdbuf()->LockBuffer(); // after a hand-out: a copy of its own
    EXPECT_NE(block.data, taken.c_str());
    EXPECT_EQ(block.length, 3u);
    EXPECT_EQ(std::wstring(block.data, 3), L"abc");
    block = out.rdbuf()->ReserveBuffer(2, 100);
    EXPECT_GE(block.capacity, 100u);
    EXPECT_EQ(block.length, 2u);
    out << L"Z";
    EXPECT_EQ(out.Str(), L"abZ");
    EXPECT_EQ(taken, L"abc");
}

TEST(StringStream, EveryLengthAroundTheBlockSizes)
{
    // The terminator added at hand-out may need a block of its own when the text fills one.
    for (std::size_t n = 0; n <= 40; ++n) {
        KEL::OStringStream out;
        for (std::size_t i = 0; i < n; ++i)
            out << static_cast<wchar_t>(L'a' + i % 26);
        const String text = out.Str();
        ASSERT_EQ(text.Length(), n);
        EXPECT_EQ(text.c_str()[n], L'\0');
        EXPECT_LE(n + 1, text.Capacity());
        out << L'+';
        EXPECT_EQ(out.Str().Length(), n + 1);
        EXPECT_EQ(text.Length(), n);
    }
}
