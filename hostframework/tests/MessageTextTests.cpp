#include <gtest/gtest.h>

#include "hostframework/messages/MessageText.h"

using namespace KEL;
using Fields = std::vector<std::wstring>;

TEST(MessageText, SplitsFieldsAndJoinsBracketedOnes)
{
    struct Case {
        std::wstring text;
        Fields fields;
    };
    const Case cases[] = {
        { L"", {} }, { L"a", { L"a" } }, { L"string,Name,", { L"string", L"Name", L"" } },
        { L"a,{{x,y,z}},b", { L"a", L"x, y, z", L"b" } }, { L"{{x}},{{}}", { L"x", L"" } },
        { L"a,{{x,y", { L"a", L"x, y" } }, // an unclosed bracket runs to the end
        { L"a,x}},b", { L"a", L"x}}", L"b" } }, // a closing marker alone is plain text
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitMessageFields(c.text), c.fields) << std::string(c.text.begin(), c.text.end());
}

TEST(MessageText, ReplacesEveryOccurrenceLeftToRight)
{
    EXPECT_EQ(ReplaceAllText(L"a;;b;;;c", L";;", L","), L"a,b,;c");
    EXPECT_EQ(ReplaceAllText(L";;;;", L";;", L","), L",,");
    EXPECT_EQ(ReplaceAllText(L"none", L";;", L","), L"none");
    EXPECT_EQ(ReplaceAllText(L"aaa", L"a", L"aa"), L"aaaaaa"); // no rescanning of the replacement
    EXPECT_EQ(ReplaceAllText(L"abc", L"", L"x"), L"abc");
}

TEST(MessageText, ParameterTypeNamesAreExact)
{
    EXPECT_EQ(ParamTypeFromName(L"string"), 2);
    EXPECT_EQ(ParamTypeFromName(L"safearray"), 3);
    EXPECT_EQ(ParamTypeFromName(L"rect"), 4);
    EXPECT_EQ(ParamTypeFromName(L"bool"), 5);
    for (const wchar_t* other : { L"", L"String", L"int", L"strings", L" bool" })
        EXPECT_EQ(ParamTypeFromName(other), 0);
}

TEST(MessageText, DescriptionLinesHaveAlignedLabelsAndCommasBetweenParameters)
{
    EXPECT_EQ(DescribeMessageLines(L"HRV_Analyze", L"Performs the analysis", L""),
        (Fields { L"Name:        HRV_Analyze", L"Description: Performs the analysis" }));
    EXPECT_EQ(DescribeMessageLines(L"M", L"", L""), Fields { L"Name:        M" });
    EXPECT_EQ(DescribeMessageLines(L"", L"", L""), Fields {});
    EXPECT_EQ(DescribeMessageLines(L"M", L"", L"string,Title; a name,,bool,Show,yes;;no,rect,Area,"),
        (Fields { L"Name:        M", L"Parameters:  Title, a name,", L"             Show,", L"             Area" }));
    // Fields that do not come in whole groups of three give no parameter lines.
    EXPECT_EQ(DescribeMessageLines(L"M", L"D", L"string,Title"), (Fields { L"Name:        M", L"Description: D" }));
}
