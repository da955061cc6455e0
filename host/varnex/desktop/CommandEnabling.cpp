#include "varnex/desktop/CommandEnabling.h"

namespace varnex {

namespace {

// Lives on the stack for one question; the document must not keep it.
class ElementEnabler final : public ICommandEnabler {
public:
    explicit ElementEnabler(vx::ui::CommandEnabler& element)
        : mElement(element)
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IUnknown::kIid || iid == ICommandEnabler::kIid) {
            *out = static_cast<ICommandEnabler*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT SetText(const wchar_t* text) override
    {
        if (!text)
            return E_POINTER;
        mElement.SetText(text);
        return S_OK;
    }
    HRESULT Enable(WORD enabled) override
    {
        mElement.Enable(enabled != 0);
        return S_OK;
    }
    HRESULT SetCheck(WORD checked) override
    {
        mElement.SetCheck(checked != 0 ? 1 : 0);
        return S_OK;
    }

private:
    vx::ui::CommandEnabler& mElement;
};

} // namespace

HRESULT AskDocumentToEnable(ICAFCommandHandler* document, DWORD commandId, vx::ui::CommandEnabler& element)
{
    if (!document)
        return S_FALSE;
    ElementEnabler enabler(element);
    const HRESULT hr = document->OnCommandEnable(commandId, &enabler);
    return hr == S_OK && element.WasHandled() ? S_OK : S_FALSE;
}

} // namespace varnex
