#pragma once
// What a data pane needs of the host beyond the drawers' record source: the pane side of the
// record source (how much data there is at the pane's compression, the view it shows, online
// data forwarded to it), the document that hands out record sources and attaches panes, the
// online-data sink that the host feeds while it samples, and the sampling source of a preview.
#include <cstdint>

#include "com/Bstr.h"
#include "com/Unknown.h"

// The pane side of a record source (the same object as its IRecordSource).
struct IPaneRecordSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C3E1F7A2-5B94-4D0E-8A67-19F2B4C6D850}");
    // The length of the available data in display pixels at the current compression.
    virtual HRESULT GetLatestExtent(std::int64_t* pixels) = 0;
    // Samples per display pixel as numerator / denominator.
    virtual HRESULT SetCompression(std::int64_t numerator, std::int64_t denominator) = 0;
    // The sample at the left edge of pixel column 0 of the plot area.
    virtual HRESULT SetViewStart(double firstSample) = 0;
    // Update flags the source has gathered since it was last asked (cleared by the call).
    virtual HRESULT GetPendingUpdateFlags(DWORD* flags) = 0;
    // Online data, forwarded by the pane before it acts on it.
    virtual HRESULT OnSamplingStarted(LONG record) = 0;
    virtual HRESULT OnRecordBegins(LONG record, std::int64_t position, double time) = 0;
    virtual HRESULT OnDataAdded(LONG record) = 0;
    virtual HRESULT OnRecordChanged(LONG record, LONG value) = 0;
    virtual HRESULT OnSamplingStopped(DWORD flag) = 0;
    virtual HRESULT OnRangeChanged(LONG first, LONG second) = 0;

protected:
    ~IPaneRecordSource() = default;
};

// The online-data sink of a data pane: what the host calls while it samples.
struct IPaneDataSink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7D20B5E4-93A1-4C8F-B6D2-0E5A8F13C947}");
    virtual HRESULT SamplingStarted(LONG record) = 0;
    virtual HRESULT RecordBegins(
        LONG record, std::int64_t position, double time, const void* format, ULONG count, LONG flag)
        = 0;
    virtual HRESULT DataAdded(LONG record) = 0;
    virtual HRESULT RecordChanged(LONG record, LONG value) = 0;
    virtual HRESULT SamplingStopped(DWORD flag) = 0;
    virtual HRESULT RangeChanged(LONG first, LONG second) = 0;

protected:
    ~IPaneDataSink() = default;
};

// A document that panes show: it hands out record sources and keeps the panes that it feeds.
struct IPaneDocument : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2B9F6C14-E07D-4A35-9C81-D4A7E35B0F26}");
    // A record source (IRecordSource, also IPaneRecordSource) for a channel-set flag word.
    virtual HRESULT GetRecordSource(DWORD flags, IUnknown** source) = 0;
    virtual HRESULT AttachPane(DWORD flags, IPaneDataSink* pane) = 0;
    virtual HRESULT DetachPane(IPaneDataSink* pane, std::int64_t position) = 0;
    // The document that receives sampled data (a new one with a reference; S_FALSE: none).
    virtual HRESULT GetSamplingDocument(DWORD flags, IPaneDocument** document) = 0;
    // Hands the channel settings over to a sampling document.
    virtual HRESULT HandOverSettings(DWORD flags, IPaneDocument* samplingDocument) = 0;

protected:
    ~IPaneDocument() = default;
};

// A host object that samples into a document for a preview.
struct ISamplingSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E84A1D73-6C2B-4F59-A0E3-5B71C9D2846A}");
    virtual HRESULT IsSampling(DWORD reserved, WORD* sampling) = 0;
    virtual HRESULT Stop(DWORD flags, LONG a, LONG b) = 0;
    virtual HRESULT Prepare(DWORD reserved, DWORD channels, LONG mode) = 0;
    // *problem non-zero asks for the second start; *errorText may come back with a new BSTR.
    virtual HRESULT Start(DWORD reserved, BSTR* errorText, WORD* problem) = 0;
    virtual HRESULT StartAgain(DWORD reserved, BSTR* errorText) = 0;
    virtual HRESULT Link(DWORD reserved, IPaneDocument* document) = 0;
    virtual HRESULT Unlink(DWORD reserved, IPaneDocument* document) = 0;
    virtual HRESULT SetChannel(DWORD channel, DWORD selector) = 0;

protected:
    ~ISamplingSource() = default;
};

// What a preview pane asks of the host object of its dialog.
struct IPreviewHost : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5C0E2B87-1F4A-4D63-B9E8-7A3D60C21F95}");
    // Three size values of the host (0, 1, 2); S_FALSE when it has none.
    virtual HRESULT GetSizeValue(LONG which, LONG* value) = 0;
    // The display value handed to the pane's interactive objects; S_FALSE when none.
    virtual HRESULT GetDisplayValue(LONG* value) = 0;
    // The source channel's display settings: colour index, unit text and unit flag.
    virtual HRESULT GetChannelDisplay(LONG* colourIndex, BSTR* unit, LONG* unitFlag) = 0;
    // The host's colour for a colour index; S_FALSE when the host has no colour service.
    virtual HRESULT GetColour(LONG colourIndex, DWORD* colour) = 0;
    // The sampling device list: its source, busy flag and entry count; S_FALSE without a list.
    virtual HRESULT GetSamplingDevices(ISamplingSource** source, WORD* busy, LONG* count) = 0;

protected:
    ~IPreviewHost() = default;
};

// Answered by a host document: the document that previews show for it.
struct IViewDocumentSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{61E90691-D087-4454-A234-A132834C7D1C}");
    virtual HRESULT GetViewDocument(DWORD flags, IPaneDocument** view) = 0;

protected:
    ~IViewDocumentSource() = default;
};

// The code of a start that failed on purpose (no message shown).
inline constexpr HRESULT kSamplingCancelled = static_cast<HRESULT>(0xA004820Fu);
