#include "selftest/UnitTestBase.h"

#include <cstring>
#include <new>
#include <sstream>

HRESULT UnitTestBase::GetTestCount(ULONG* count)
{
    if (!count)
        return E_FAIL;
    *count = static_cast<ULONG>(mTests.size());
    return S_OK;
}

HRESULT UnitTestBase::RunTest(ULONG index)
{
    if (index >= mTests.size())
        return E_INVALIDARG;
    mPassed = true;
    mMessage = KEL::String();
    // Nothing a case throws may reach the host: every exception is the case's failure.
    const auto fail = [this](KEL::String text) {
        mPassed = false;
        mMessage = std::move(text);
    };
    try {
        Setup();
        mTests[index]();
        TearDown();
    } catch (const UnitTestException& e) {
        fail(e.Text());
    } catch (const std::exception& e) {
        fail(KEL::String(e.what(), 0));
    } catch (...) {
        fail(KEL::String(L"unknown exception"));
    }
    return S_OK;
}

HRESULT UnitTestBase::GetTestName(ULONG index, IKELString** name)
{
    if (!name)
        return E_POINTER;
    *name = nullptr;
    if (index >= mNames.size())
        return E_INVALIDARG;
    *name = mNames[index].CopyRep();
    return S_OK;
}

HRESULT UnitTestBase::GetTestResult(VARIANT_BOOL* passed, IKELString** message)
{
    if (passed)
        *passed = mPassed ? VARIANT_TRUE : VARIANT_FALSE;
    if (message)
        *message = mMessage.CopyRep();
    return S_OK;
}

HRESULT UnitTestBase::Initialise(DWORD seed, DWORD, DWORD)
{
    mSeed = static_cast<std::int32_t>(seed);
    try {
        AddTests();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT UnitTestBase::GetAuthor(IKELString** author)
{
    if (!author)
        return E_POINTER;
    FillAuthor();
    *author = mAuthor.CopyRep();
    return S_OK;
}

HRESULT UnitTestBase::GetTestValue(ULONG index, double* value)
{
    if (!value)
        return E_POINTER;
    if (index >= mValues.size())
        return E_INVALIDARG;
    *value = mValues[index];
    return S_OK;
}

void UnitTestBase::AddTest(std::function<void()> test, const char* utf8Name, double value)
{
    mTests.push_back(std::move(test));
    mNames.push_back(KEL::String(utf8Name, 0));
    mValues.push_back(value);
}

void UnitTestBase::SetAuthor(const KEL::String& userName, bool secondDomain)
{
    std::wstring address = userName.ToWString();
    address += secondDomain ? L"@hrv.varnex.example" : L"@varnex.example";
    mAuthor = KEL::String(address);
}

KEL::String UnitTestBase::FormatFailure(
    const char* expression, const char* file, unsigned line, const KEL::String& message)
{
    const KEL::String fileText(file ? file : "", 0);
    const KEL::String expressionText(expression ? expression : "", 0);
    std::wstring name = fileText.ToWString();
    const std::size_t cut = name.find_last_of(L"\\/");
    if (cut != std::wstring::npos)
        name.erase(0, cut + 1);
    std::wostringstream out;
    out << name << L", Line " << line;
    if (!expressionText.IsEmpty())
        out << L" [" << expressionText.View() << L"]";
    if (!message.IsEmpty())
        out << L", [" << message.View() << L"]";
    return KEL::String(out.str());
}

void UnitTestBase::Check(bool ok, const char* expression, const char* file, unsigned line, const KEL::String& message)
{
    if (!ok)
        throw UnitTestException(FormatFailure(expression, file, line, message));
}
