#include "host/hrvdoc/PreviewSource.h"

#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

HostPreviewSource::HostPreviewSource(HrvHostState& document, HRV::IDocumentHost& host, std::uint32_t channel)
    : mDocument(document)
    , mHost(host)
    , mChannel(channel)
{
    HrvHostState* state = &document;
    // Formula channels by their number, compiled as they are when a drawing asks for them.
    ComputedChannels computed = [state](int number) -> std::optional<calc::Compiled> {
        const std::wstring name = state->ChannelName({ static_cast<std::uint32_t>(number), 0xC0000000u });
        if (name.empty() || !state->Engine().HasChannel(name))
            return std::nullopt;
        try {
            state->EnsureCompiledForData();
            return state->Engine().Channel(name);
        } catch (const std::exception&) {
            return std::nullopt; // a formula that does not compile shows nothing
        }
    };
    mView = new HostPaneDocument(document.Document().SharedData(), nullptr, std::move(computed));
    mView->AddRef();
    mScales = new HostScaleFactory;
    mScales->AddRef();
}

HostPreviewSource::~HostPreviewSource()
{
    mView->Release();
    mScales->Release();
}

HRESULT HostPreviewSource::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IScaleFactory::kIid)
        return mScales->QueryInterface(iid, out);
    // The recording document behind the preview: its channels' value ranges and settings.
    if (out && iid == IRecordingDoc::kIid)
        return mDocument.Document().QueryInterface(iid, out);
    return SimpleUnknownImp2<IPreviewHost, IViewDocumentSource, 0>::QueryInterface(iid, out);
}

HRESULT HostPreviewSource::GetSizeValue(LONG, LONG* value)
{
    if (!value)
        return E_POINTER;
    return S_FALSE;
}

HRESULT HostPreviewSource::GetDisplayValue(LONG* value)
{
    if (!value)
        return E_POINTER;
    return S_FALSE;
}

HRESULT HostPreviewSource::GetChannelDisplay(LONG* colourIndex, BSTR* unit, LONG* unitFlag)
{
    if (!colourIndex || !unit || !unitFlag)
        return E_POINTER;
    *unit = nullptr;
    if (FAILED(mHost.ChannelUnit(static_cast<std::int32_t>(mChannel), unit)))
        return S_FALSE; // not a recorded channel: no settings of its own
    *colourIndex = static_cast<LONG>(mChannel);
    *unitFlag = 0;
    return S_OK;
}

HRESULT HostPreviewSource::GetColour(LONG, DWORD* colour)
{
    if (!colour)
        return E_POINTER;
    return S_FALSE;
}

HRESULT HostPreviewSource::GetSamplingDevices(ISamplingSource** source, WORD*, LONG*)
{
    if (!source)
        return E_POINTER;
    *source = nullptr;
    return S_FALSE;
}

HRESULT HostPreviewSource::GetViewDocument(DWORD, IPaneDocument** view)
{
    if (!view)
        return E_POINTER;
    mView->AddRef();
    *view = mView;
    return S_OK;
}

} // namespace vx::host
