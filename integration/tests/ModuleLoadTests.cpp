// libhrv.so loaded as the host loads it: the library entry keeps its instance handle, through
// which the module reads its own string table in the user's language.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "caf/CafHost.h"
#include "foundation/String.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "res/Resource.h"
#include "varnex/ExtensionLoader.h"

namespace {

class LoadedModule : public caf::test::RegisteredFramework { };

std::wstring TakeText(IKELString* rep)
{
    KEL::String text;
    text.AssignRep(rep);
    return std::wstring(text.c_str());
}

} // namespace

TEST_F(LoadedModule, ReadsItsOwnStringTableThroughItsInstance)
{
    // The module's table in German, added to the library's own resources before the library
    // reads it (each test runs in its own process, so nothing has read it yet).
    void* library = dlopen(HRV_EXTENSION_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    const HMODULE module = vx::res::ModuleOf(dlsym(library, "DllRegisterClassObjects"));
    ASSERT_NE(module, nullptr);
    const LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL);
    vx::res::AddStringTable(module, german, { { 5, L"txt" }, { 6, L"HRV RR-Intervall-Textdatei" } });
    vx::res::SetUserInterfaceLanguage(german);

    caf::ReleaseRegistrations();
    std::string error;
    std::unique_ptr<varnex::Extension> extension = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
    ASSERT_TRUE(extension) << error;
    ASSERT_EQ(extension->RegisterClassObjects(sFramework), S_OK);
    std::wstring typeName;
    for (const caf::Registration& r : caf::Registrations()) {
        void* out = nullptr;
        if (r.kind != caf::Registration::Kind::ClassObject
            || FAILED(r.object->QueryInterface(HRV::IDocFileDescr::kIid, &out)))
            continue;
        auto* file = static_cast<HRV::IDocFileDescr*>(out);
        IKELString* text = nullptr;
        if (SUCCEEDED(file->GetTypeName(&text)))
            typeName = TakeText(text);
        file->Release();
    }
    EXPECT_EQ(typeName, L"HRV RR-Intervall-Textdatei");
    caf::ReleaseRegistrations();
    extension.reset();
    vx::res::SetUserInterfaceLanguage(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    dlclose(library);
}
