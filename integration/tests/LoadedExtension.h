#pragma once
// A test suite with libhrv.so loaded as the host loads it: the framework registered, the library
// attached and asked to register its class objects, which the tests find in `objects`.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "varnex/startup/ExtensionLoader.h"

namespace vx::integration::test {

class LoadedExtension : public caf::test::RegisteredFramework {
protected:
    void SetUp() override
    {
        caf::ReleaseRegistrations();
        std::string error;
        extension = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
        ASSERT_TRUE(extension) << error;
        ASSERT_EQ(extension->RegisterClassObjects(sFramework), S_OK);
        for (const caf::Registration& r : caf::Registrations())
            if (r.kind == caf::Registration::Kind::ClassObject)
                objects.push_back(r.object);
    }
    // The host's shut-down: the class objects go before the library.
    void TearDown() override
    {
        caf::ReleaseRegistrations();
        extension.reset();
    }

    std::unique_ptr<varnex::Extension> extension;
    std::vector<IUnknown*> objects; // the registered class objects, not held
};

} // namespace vx::integration::test
