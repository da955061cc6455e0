// Stored channel-calculation settings loaded the way the host loads them: through its registry of
// calculation classes, which reads the class id and hands the rest to the extension's settings
// class. A load either fails with nothing handed out, or what it loaded saves, loads and saves
// again to the same bytes.
//   input: byte 0 bit 0 set: the HRV settings class id is put before the rest; bytes 1...: stream
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/stream/MemoryStream.h"
#include "host/recording/CalculationClasses.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hrv/module/ChannelCalc.h"
#include "hrv/module/ModuleEntry.h"
#include "hrv/module/tests/HoldingCollector.h"
#include "log/Log.h"

namespace {

using HRV::test::HoldingCollector;

// The framework registered as the host does, the extension's classes in the host's registry.
struct Host {
    vx::host::CalculationClassRegistry registry;
    DWORD settingsClassId = 0;

    Host()
    {
        void* framework = nullptr;
        if (DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework) != S_OK)
            std::abort();
        DWORD cookie = 0;
        CoRegisterClassObject(
            CLSID_CAFFrameWork, static_cast<IUnknown*>(framework), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
        auto* collector = new HoldingCollector;
        if (HRV::RegisterModuleClassObjectsWith(collector, nullptr, nullptr) != S_OK
            || registry.RegisterAll(collector->objects) != 2)
            std::abort();
        collector->Release();
        if (HRV::ChannelCalcClass().Settings().GetClassId(&settingsClassId) != S_OK)
            std::abort();
    }
};

std::vector<uint8_t> Save(vx::host::CalculationClassRegistry& registry, DWORD id, IUnknown* settings)
{
    auto* out = KEL::MemoryStream::Create();
    if (registry.SaveSettings(id, settings, out) != S_OK)
        std::abort();
    std::vector<uint8_t> bytes = out->Bytes();
    out->Release();
    return bytes;
}

IUnknown* Load(vx::host::CalculationClassRegistry& registry, std::vector<uint8_t> bytes, HRESULT& hr)
{
    auto* in = KEL::MemoryStream::Create(std::move(bytes), STGM_READ);
    IUnknown* loaded = reinterpret_cast<IUnknown*>(1);
    hr = registry.LoadSettings(in, &loaded);
    in->Release();
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    static vx::log::Capture quiet;
    static Host host;
    std::vector<uint8_t> bytes;
    if (data[0] & 1) {
        bytes.resize(sizeof host.settingsClassId);
        std::memcpy(bytes.data(), &host.settingsClassId, sizeof host.settingsClassId);
    }
    bytes.insert(bytes.end(), data + 1, data + size);

    HRESULT hr = E_FAIL;
    IUnknown* loaded = Load(host.registry, bytes, hr);
    if (FAILED(hr)) {
        if (loaded)
            std::abort(); // a failed load hands nothing out
        return 0;
    }
    if (!loaded)
        std::abort();
    const std::vector<uint8_t> saved = Save(host.registry, host.settingsClassId, loaded);
    loaded->Release();
    IUnknown* again = Load(host.registry, saved, hr);
    if (hr != S_OK || !again)
        std::abort();
    if (Save(host.registry, host.settingsClassId, again) != saved)
        std::abort();
    again->Release();
    return 0;
}
