// libhrv.so loaded as the host loads it: the library entry keeps its instance handle, through
// which the module reads its own string table in the user's language; the fiducial enumerators
// it registers fetch the user's beat marks and the beat-number cache from the data store of the
// host document whose formulas call them.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "foundation/String.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hrv/analysis/Detector.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/UserEventData.h"
#include "integration/ExtensionChain.h"
#include "res/Resource.h"
#include "varnex/startup/ExtensionLoader.h"

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

namespace {

// The beats of the first minute of record 100 as the host's document computes them with the
// loaded extension's enumerators, the store's children (null: none) in its data store.
std::vector<HRV::FiducialEvent> BeatsWithStore(
    const std::vector<IUnknown*>& objects, IVarnDataChildData* marks, IVarnDataChildData* cache)
{
    const char* dir = std::getenv("VX_TEST_DATA");
    static const vx::host::Recording full
        = vx::host::ImportWfdb(std::filesystem::path(dir ? dir : VX_TEST_DATA_DIR) / "mitdb" / "100.hea", {});
    vx::host::HrvHostDocument host(std::make_shared<vx::host::Recording>(full));
    if (marks) {
        EXPECT_TRUE(host.AddDataChild(marks));
    }
    if (cache) {
        EXPECT_TRUE(host.AddDataChild(cache));
    }
    EXPECT_EQ(vx::extcalc::RegisterExtensionEnumerators(host.Engine(), objects, host.DataStore()), 2);
    HRV::HRVDetector detector(&host);
    HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
    settings.mRangeStart = { 0, 0 };
    settings.mRangeEnd = { 0, 0x7FFFFFFF };
    EXPECT_TRUE(detector.Update(0xFFFFFFFF, &settings));
    return vx::integration::ReadBeats(host.Engine(), L"HRV_vFID", 0, 0, 360 * 60);
}

} // namespace

TEST_F(LoadedModule, FiducialEnumeratorsReadTheUsersMarksAndNumbersFromTheDocumentsStore)
{
    caf::ReleaseRegistrations();
    std::string error;
    std::unique_ptr<varnex::Extension> extension = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
    ASSERT_TRUE(extension) << error;
    ASSERT_EQ(extension->RegisterClassObjects(sFramework), S_OK);
    std::vector<IUnknown*> objects;
    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            objects.push_back(r.object);

    const std::vector<HRV::FiducialEvent> plain = BeatsWithStore(objects, nullptr, nullptr);
    ASSERT_GT(plain.size(), 60u);

    // The user removes the sixth beat and adds one halfway between the tenth and the eleventh.
    auto* marks = new HRV::UserEventData();
    marks->AddRef();
    auto* cache = new HRV::EventIdCache();
    cache->AddRef();
    const HRV::Position removed { plain[5].mPosition, 0 };
    const HRV::Position added { (plain[9].mPosition + plain[10].mPosition) / 2, 0 };
    ASSERT_EQ(marks->Add(&removed, 1), S_OK);
    ASSERT_EQ(marks->Add(&added, 0), S_OK);
    const std::vector<HRV::FiducialEvent> edited = BeatsWithStore(objects, marks, cache);

    ASSERT_EQ(edited.size(), plain.size()); // one removed, one added
    for (const HRV::FiducialEvent& e : edited)
        EXPECT_NE(e.mPosition, removed.mOffset);
    EXPECT_EQ(edited[5].mPosition, plain[6].mPosition);
    EXPECT_EQ(edited[9].mPosition, added.mOffset);
    EXPECT_NE(edited[9].mClass & HRV::kClassUserAdded, 0u);
    EXPECT_EQ(edited[9].mBeatNumber, edited[8].mBeatNumber + 1);
    // The cache holds the highest beat number reached in the record.
    DWORD highest = 0;
    EXPECT_EQ(cache->GetId(0, &highest), S_OK);
    EXPECT_EQ(static_cast<int32_t>(highest), edited.back().mBeatNumber);

    marks->Release();
    cache->Release();
    caf::ReleaseRegistrations();
    extension.reset();
}
