#pragma once
// A test suite that runs with the framework registered under its class id, as the host does at
// start, so that extension code finds it the way it does in the product.
#include <gtest/gtest.h>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"

namespace caf::test {

class RegisteredFramework : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        void* framework = nullptr;
        ASSERT_EQ(DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework), S_OK);
        sFramework = static_cast<IUnknown*>(framework);
        CoRegisterClassObject(CLSID_CAFFrameWork, sFramework, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &sCookie);
    }
    // The host's shut-down: what the suite registered is let go before the framework goes.
    static void TearDownTestSuite()
    {
        caf::ReleaseRegistrations();
        CoRevokeClassObject(sCookie);
        sFramework->Release();
        sFramework = nullptr;
    }
    static inline DWORD sCookie = 0;
    static inline IUnknown* sFramework = nullptr;
};

} // namespace caf::test
