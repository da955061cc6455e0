// Stands in for the framework library in the loader's tests: it hands out one small class
// object through DllGetClassObject, counts the calls and fails on request. Built twice: once
// with DllGetClassObject and once without it (TEST_CAF_NO_EXPORT).
#include "com/Unknown.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/FrameworkIds.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int gCalls = 0;
HRESULT gResult = S_OK;

class TestFramework final : public SimpleUnknownImp1<IUnknown, 0> { };
} // namespace

EXPORT int TestCafCalls()
{
    return gCalls;
}

EXPORT void TestCafSetResult(HRESULT hr)
{
    gResult = hr;
}

#ifndef TEST_CAF_NO_EXPORT
EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    ++gCalls;
    *out = nullptr;
    if (FAILED(gResult))
        return gResult;
    if (clsid != CLSID_CAFFrameWork)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* framework = new TestFramework;
    framework->AddRef();
    const HRESULT hr = framework->QueryInterface(iid, out);
    framework->Release();
    return hr;
}
#endif
