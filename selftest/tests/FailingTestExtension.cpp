// An extension whose one self-test has a case that passes, one whose check fails and one that
// throws, so that the host's runner can be seen reporting failures.
#include <stdexcept>

#include "hostframework/services/CafFrameWork.h"
#include "selftest/UnitTestBase.h"

namespace {

class MixedTest final : public UnitTestBase {
protected:
    void AddTests() override
    {
        AddTest([] {}, "Mixed::Passes", 60.0);
        AddTest([] { Check(false, "2 < 1", "/src/Mixed.cpp", 7, KEL::String(L"never")); }, "Mixed::Fails", 60.0);
        AddTest([] { throw std::logic_error("out of cheese"); }, "Mixed::Throws", 60.0);
    }
    void FillAuthor() override { SetAuthor(KEL::String(L"tests"), false); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterClassObjects(IUnknown* host)
{
    if (!host)
        return E_FAIL;
    auto* test = new MixedTest;
    test->AddRef();
    if (IUnitTestRegistry* tests = CAFFrameWork::GetUnitTestRegistry())
        tests->AddTest(static_cast<IUnitTest*>(test));
    test->Release();
    return S_OK;
}
