#pragma once
// The base of the extension's built-in self-tests: a reference-counted IUnitTest with an ordered
// list of named cases, run one at a time between an optional set-up and tear-down. A case fails
// by throwing; the failure text of the last run is kept for the host's test runner.
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

// A failed check of a self-test; carries the one-line failure text.
class UnitTestException : public std::exception {
public:
    explicit UnitTestException(KEL::String text)
        : mText(std::move(text))
    {
    }
    const KEL::String& Text() const noexcept { return mText; }
    const char* what() const noexcept override { return "Unknown exception"; }

private:
    KEL::String mText;
};

class UnitTestBase : public SimpleUnknownImp1<IUnitTest, 0> {
public:
    HRESULT GetTestCount(ULONG* count) override;
    HRESULT RunTest(ULONG index) override;
    HRESULT GetTestName(ULONG index, IKELString** name) override;
    HRESULT GetTestResult(VARIANT_BOOL* passed, IKELString** message) override;
    HRESULT Initialise(DWORD a, DWORD b, DWORD c) override;
    HRESULT GetAuthor(IKELString** author) override;
    HRESULT GetTestValue(ULONG index, double* value) override;

    // "file, Line n [expression], [message]": the file without its folders, the bracketed parts
    // only when not empty.
    static KEL::String FormatFailure(
        const char* expression, const char* file, unsigned line, const KEL::String& message);

    // Throws UnitTestException with FormatFailure's text when `ok` is false.
    static void Check(
        bool ok, const char* expression, const char* file, unsigned line, const KEL::String& message = {});

protected:
    UnitTestBase() = default;

    // Appends the cases (with AddTest).
    virtual void AddTests() = 0;
    // Supplies the author through SetAuthor.
    virtual void FillAuthor() = 0;
    // Run before every case and after every case that did not fail.
    virtual void Setup() { }
    virtual void TearDown() { }

    void AddTest(std::function<void()> test, const char* utf8Name, double value);
    // The random seed the host's runner gave Initialise (its first argument); 0 when it gave
    // none, and the tests then seed from the clock.
    std::int32_t Seed() const noexcept { return mSeed; }
    // The author's mail address: the user name at one of the two mail domains.
    void SetAuthor(const KEL::String& userName, bool secondDomain);

private:
    std::vector<std::function<void()>> mTests;
    std::vector<KEL::String> mNames;
    std::vector<double> mValues;
    std::int32_t mSeed = 0;
    bool mPassed = true;
    KEL::String mMessage;
    KEL::String mAuthor;
};
