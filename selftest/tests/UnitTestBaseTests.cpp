// The self-test base as the host's runner drives it through IUnitTest.
#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/core/Rational.h"
#include "selftest/UniformRandom.h"
#include "selftest/UnitTestBase.h"

namespace {

std::string Text(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    return s.Utf8();
}

// Cases that pass, fail a check, throw something else, or are empty; Setup counts its calls and
// TearDown its calls.
class SampleTest final : public UnitTestBase {
public:
    int setups = 0;
    int teardowns = 0;

protected:
    void AddTests() override
    {
        AddTest([] {}, "Sample::Passes", 60.0);
        AddTest([] { Check(1 + 1 == 3, "1 + 1 == 3", "/src/selftest/Sample.cpp", 12, KEL::String(L"arithmetic")); },
            "Sample::FailsACheck", 1.5);
        AddTest([] { throw std::runtime_error("disk on fire"); }, "Sample::ThrowsStd", 0.0);
        AddTest([] { throw 42; }, "Sample::ThrowsInt", 0.0);
        AddTest(std::function<void()>(), "Sample::Empty", 0.0);
        AddTest([] { KEL::Rational(1, 0); }, "Sample::BadRational", 0.0);
    }
    void FillAuthor() override { SetAuthor(KEL::String(L"someone"), false); }
    void Setup() override { ++setups; }
    void TearDown() override { ++teardowns; }
};

struct Outcome {
    bool passed;
    std::string message;
};

Outcome RunCase(SampleTest& t, ULONG index)
{
    EXPECT_EQ(t.RunTest(index), S_OK);
    VARIANT_BOOL passed = 0;
    IKELString* message = nullptr;
    EXPECT_EQ(t.GetTestResult(&passed, &message), S_OK);
    return { passed == VARIANT_TRUE, Text(message) };
}

} // namespace

TEST(UnitTestBase, ListsItsCasesOncePerInitialise)
{
    auto* t = new SampleTest;
    t->AddRef();
    ULONG count = 99;
    EXPECT_EQ(t->GetTestCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(t->GetTestCount(nullptr), E_FAIL);
    t->Initialise(0, 0, 0);
    t->Initialise(0, 0, 0);
    EXPECT_EQ(t->GetTestCount(&count), S_OK);
    EXPECT_EQ(count, 12u);
    IKELString* name = nullptr;
    ASSERT_EQ(t->GetTestName(7, &name), S_OK);
    EXPECT_EQ(Text(name), "Sample::FailsACheck");
    double value = 0;
    EXPECT_EQ(t->GetTestValue(7, &value), S_OK);
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(t->GetTestName(12, &name), E_INVALIDARG);
    EXPECT_EQ(t->GetTestValue(12, &value), E_INVALIDARG);
    IKELString* author = nullptr;
    ASSERT_EQ(t->GetAuthor(&author), S_OK);
    EXPECT_EQ(Text(author).rfind("someone@", 0), 0u);
    EXPECT_EQ(t->Release(), 0u);
}

TEST(UnitTestBase, EveryWayACaseEndsIsReportedAndNothingEscapes)
{
    SampleTest t;
    t.AddRef();
    t.Initialise(0, 0, 0);
    // Before any run: passed, no message.
    VARIANT_BOOL passed = 0;
    IKELString* message = nullptr;
    ASSERT_EQ(t.GetTestResult(&passed, &message), S_OK);
    EXPECT_EQ(passed, VARIANT_TRUE);
    EXPECT_EQ(Text(message), "");

    const struct {
        ULONG index;
        bool passed;
        std::string message;
    } cases[] = {
        { 1, false, "Sample.cpp, Line 12 [1 + 1 == 3], [arithmetic]" },
        { 0, true, "" }, // a pass after a failure clears the failure
        { 2, false, "disk on fire" },
        { 3, false, "unknown exception" },
        { 4, false, "bad_function_call" },
        { 5, false, "bad rational: zero denominator" },
        { 0, true, "" },
    };
    for (const auto& c : cases) {
        const Outcome o = RunCase(t, c.index);
        EXPECT_EQ(o.passed, c.passed) << c.index;
        if (c.index == 4)
            EXPECT_NE(o.message.find(c.message), std::string::npos) << o.message;
        else
            EXPECT_EQ(o.message, c.message) << c.index;
    }
    // Set-up runs before every case, tear-down only after the ones that did not fail.
    EXPECT_EQ(t.setups, 7);
    EXPECT_EQ(t.teardowns, 2);
    EXPECT_EQ(t.RunTest(6), E_INVALIDARG);
    EXPECT_EQ(t.setups, 7);
}

TEST(UnitTestBase, FailureTextNamesTheFileWithoutItsFolders)
{
    const struct {
        const char* expression;
        const char* file;
        const wchar_t* message;
        const char* text;
    } cases[] = {
        { "", "C:\\src\\DataAdder.cpp", L"", "DataAdder.cpp, Line 60" },
        { "", "/home/b/selftest/DataAdder.cpp", L"why", "DataAdder.cpp, Line 60, [why]" },
        { "a == b", "DataAdder.cpp", L"", "DataAdder.cpp, Line 60 [a == b]" },
        { "a == b", "x/y\\DataAdder.cpp", L"why", "DataAdder.cpp, Line 60 [a == b], [why]" },
        { "\xC2\xB5s > 0", "", L"", ", Line 60 [\xC2\xB5s > 0]" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnitTestBase::FormatFailure(c.expression, c.file, 60, KEL::String(c.message)).Utf8(), c.text);
}

TEST(UniformRandom, OneSeedGivesOneSequenceInTheUnitInterval)
{
    UniformRandom a(-12345), b(12345), c(-54321);
    bool differs = false;
    for (int i = 0; i < 1000; ++i) {
        const float x = a.Draw();
        EXPECT_EQ(x, b.Draw());
        EXPECT_GE(x, 0.0f);
        EXPECT_LT(x, 1.0f);
        differs = differs || x != c.Draw();
    }
    EXPECT_TRUE(differs);
    // Seeding again restarts the sequence.
    UniformRandom d(-7);
    const float first = d.Draw();
    d.Draw();
    d.Seed(-7);
    EXPECT_EQ(d.Draw(), first);
}
