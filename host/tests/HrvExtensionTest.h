#pragma once
// A test with libhrv.so loaded as `varnex` loads it: the framework registered, the library
// attached and asked to register its class objects, which the test finds in mClassObjects.
// TearDown shuts down in the host's order (the registrations, the library, then the framework);
// a fixture lets go of what it holds of the extension before calling it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "varnex/startup/ExtensionLoader.h"

namespace vx::host::test {

class HrvExtensionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mFramework = std::make_unique<varnex::HostFramework>(varnex::FrameworkSource::Host);
        ASSERT_EQ(mFramework->Result(), S_OK);
        std::string error;
        mExtension = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
        ASSERT_TRUE(mExtension) << error;
        ASSERT_EQ(mExtension->RegisterClassObjects(mFramework->Object()), S_OK);
        for (const caf::Registration& r : caf::Registrations())
            if (r.kind == caf::Registration::Kind::ClassObject)
                mClassObjects.push_back(r.object);
    }
    void TearDown() override
    {
        caf::ReleaseRegistrations();
        mExtension.reset();
        mFramework.reset();
    }

    std::unique_ptr<varnex::HostFramework> mFramework;
    std::unique_ptr<varnex::Extension> mExtension;
    std::vector<IUnknown*> mClassObjects; // registered by the extension; not held
};

} // namespace vx::host::test
