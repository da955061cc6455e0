#pragma once
// The host's side of a trace preview that an extension shows in a dialog (the detector settings'
// preview of the beats): the previewed channel's display settings and the document the preview
// draws, the recording together with the document's formula channels as the calculation engine
// computes them at the moment of drawing, so that a preview redrawn after a formula changed shows
// the new results.
#include <cstdint>

#include "foundation/base/SimpleUnknownImp.h"
#include "host/tracedraw/TraceHost.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hostframework/interfaces/DataPaneInterfaces.h"

namespace vx::host {

class HrvHostState;

class HostPreviewSource final : public SimpleUnknownImp2<IPreviewHost, IViewDocumentSource, 0> {
public:
    // The document (its state and the side that answers its channels' units) must outlive the
    // preview (a modal dialog of the document's command).
    HostPreviewSource(HrvHostState& document, HRV::IDocumentHost& host, std::uint32_t channel);
    ~HostPreviewSource() override;

    // Also answers IScaleFactory with the host's scales.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp2<IPreviewHost, IViewDocumentSource, 0>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp2<IPreviewHost, IViewDocumentSource, 0>::Release(); }

    // IPreviewHost: no size or display values, no colour service and no sampling devices; the
    // channel's colour index is its number and its unit the recording's.
    HRESULT GetSizeValue(LONG which, LONG* value) override;
    HRESULT GetDisplayValue(LONG* value) override;
    HRESULT GetChannelDisplay(LONG* colourIndex, BSTR* unit, LONG* unitFlag) override;
    HRESULT GetColour(LONG colourIndex, DWORD* colour) override;
    HRESULT GetSamplingDevices(ISamplingSource** source, WORD* busy, LONG* count) override;

    // IViewDocumentSource: one document per source, handed out with a reference each time.
    HRESULT GetViewDocument(DWORD flags, IPaneDocument** view) override;

private:
    HrvHostState& mDocument;
    HRV::IDocumentHost& mHost;
    std::uint32_t mChannel;
    HostPaneDocument* mView = nullptr; // held
    HostScaleFactory* mScales = nullptr; // held
};

} // namespace vx::host
