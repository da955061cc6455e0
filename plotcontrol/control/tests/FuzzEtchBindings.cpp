// The page's calls with any request text: the first byte picks the binding, the rest is the
// request. A handler must answer or reject every call and never throw or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "plotcontrol/control/EtchWvControl.h"
#include "ui/Menu.h"
#include "ui/Window.h"
#include "webview/FakeWebView.h"

namespace {

class Source final : public SimpleUnknownImp2<IEnumFloatEx, KEL::IEtchEnum, 1> {
public:
    HRESULT Clone(IEnumFloatEx** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Skip(LONG count, LONG* skipped) override
    {
        const std::int64_t target = std::clamp<std::int64_t>(std::int64_t(mPosition) + count, 0, kSize);
        *skipped = LONG(target - mPosition);
        mPosition = LONG(target);
        return *skipped == count ? S_OK : S_FALSE;
    }
    HRESULT GetPosition(LONG* position) override
    {
        *position = mPosition;
        return S_OK;
    }
    HRESULT GetSampledFlag(WORD* flag) override
    {
        *flag = 0;
        return S_FALSE;
    }
    HRESULT GetExtent(std::int64_t*) override { return E_NOTIMPL; }
    HRESULT Next(ULONG count, float* values, ULONG* fetched) override
    {
        ULONG n = 0;
        while (n < count && mPosition < kSize)
            values[n++] = float(mPosition++);
        *fetched = n;
        return S_OK;
    }
    HRESULT GetElementText(LONG index, KEL::String* text) override
    {
        *text = KEL::String(std::to_wstring(index));
        return S_OK;
    }

private:
    static constexpr LONG kSize = 700;
    LONG mPosition = 0;
};

struct World {
    World()
    {
        void* framework = nullptr;
        DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &framework);
        DWORD cookie = 0;
        CoRegisterClassObject(
            CLSID_CAFFrameWork, static_cast<IUnknown*>(framework), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
        vx::ui::RegisterClass({ L"FuzzParent", 0, &vx::ui::DefWindowProc });
        parent
            = vx::ui::CreateWindowEx(0, L"FuzzParent", L"", vx::ui::WS_OVERLAPPED, 0, 0, 300, 200, nullptr, 0, nullptr);
        control = new KEL::EtchWvControl(nullptr);
        control->Create(parent);
        view = engine.Last();
        auto* source = new Source;
        control->SetEnumSource(KEL::String(L"$S"), source);
        control->RegisterClickablePlot(KEL::String(L"$S"), KEL::String(L"$S"), KEL::String(L"p"), 1);
        source->Release();
        // Menus opened by a call are dismissed.
        vx::ui::SetPopupHandler([](const vx::ui::PopupRequest&) { return 0u; });
    }
    vx::webview::FakeEngine engine;
    vx::ui::HWND parent = nullptr;
    KEL::EtchWvControl* control = nullptr; // lives for the process
    vx::webview::FakeWebView* view = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static World world;
    if (size < 1 || !world.view)
        return 0;
    const auto& names = KEL::EtchWvControl::BindingNames();
    const std::string& name = names[data[0] % names.size()];
    const std::string request(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string id = world.view->Call(name, request);
    if (!world.view->ReplyTo(id))
        __builtin_trap(); // every call is answered or rejected
    world.view->evaluated.clear();
    return 0;
}
