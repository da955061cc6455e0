#pragma once
// What the HRV document asks of the host document it belongs to: selection, busy state, data
// extent, the data-child store, the store of persisted objects, the online registry, update
// notifications, message routing, message boxes, the settings dialog and the analysis manager.
// The host implements it; the document borrows it for its whole life.
#include <cstdint>
#include <string>
#include <vector>

#include "com/Persist.h"
#include "hostframework/interfaces/DataChild.h"
#include "hostframework/interfaces/RecordingInterfaces.h"
#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/analysis/Detector.h"
#include "hrv/core/Position.h"
#include "hrv/document/Dialogs.h"

namespace HRV {

class Settings;

// The host's analysis manager: the list of analyses stored with a recording.
class IAnalysisManager {
public:
    virtual ~IAnalysisManager() = default;
    virtual HRESULT Register(const std::wstring& title, const std::wstring& group, int32_t* clientId) = 0;
    virtual HRESULT ReportStored(int32_t clientId, DWORD index, IPersistStreamInit* object, DWORD flags) = 0;
    virtual HRESULT Drop(int32_t clientId) = 0;
    // S_OK when the manager confirms a request for this client.
    virtual HRESULT Confirm(int32_t clientId) = 0;
    virtual HRESULT ReportRange(int32_t clientId, DWORD value, Position start, Position end) = 0;
};

class IDocumentHost {
public:
    virtual ~IDocumentHost() = default;

    // The identity of the document's child site, which the host's attach notification carries.
    virtual ULONGLONG ChildSite() = 0;
    // Host state service: true while the host is busy (sampling setup, another modal task).
    virtual bool IsBusy() = 0;
    // Selection service.
    virtual bool GetSelection(Position& start, Position& end) = 0;
    virtual void ClearSelection() = 0;
    virtual void SelectRegion(Position start, Position end) = 0;
    virtual void SelectChannel(uint32_t channel) = 0;

    // Host document: the end of the recorded data; channel count and titles; whether a region
    // exists; whether a channel holds data from one record to another.
    virtual Position DataEnd() = 0;
    virtual int32_t LastRecord() = 0;
    virtual int32_t ChannelCount() = 0;
    virtual std::wstring ChannelTitle(int32_t channel) = 0;
    virtual bool RegionExists(Position start, Position end) = 0;
    virtual bool ChannelHasData(uint32_t channel, uint32_t kind, int32_t startRecord, int32_t endRecord) = 0;
    // Told after a document whose settings came from a legacy stream was loaded.
    virtual void LegacyLoaded(DWORD id) = 0;
    // Recording-document query: positive when the recording can be sampled.
    virtual int32_t CanSample() = 0;

    // Data-child store.
    virtual bool HasDataChild(DWORD id) = 0;
    virtual bool AddDataChild(IVarnDataChildData* child) = 0;
    virtual bool RemoveDataChild(DWORD id) = 0;
    // Store of persisted objects of the child site: index 0 settings, 1 data.
    virtual bool StoreObject(DWORD index, IPersist* object) = 0;
    // The host's region object of the analysis.
    virtual bool HasRegionObject() = 0;
    virtual void RemoveRegionObject() = 0;

    // Online registry.
    virtual bool HasOnlineRegistry() = 0;
    virtual HRESULT RegisterOnlineSink(IOnlineDataSink* sink) = 0;
    virtual HRESULT UnregisterOnlineSink(IOnlineDataSink* sink) = 0;

    // Update notifications to the host document's observers (views).
    virtual void SendUpdate(DWORD messageId, DWORD code) = 0;
    // Makes a host message with the id and flags and routes it; the router delivers it back to
    // the document. The router's answer.
    virtual HRESULT SendDocumentMessage(DWORD messageId, DWORD flags) = 0;
    // A host message box; the button pressed, or 0 when the host cannot show one.
    virtual int MessageBox(const std::wstring& caption, const std::wstring& text, UINT style, DWORD value) = 0;
    // The host's dialog service (null: dialogs cannot be shown).
    virtual IDialogService* Dialogs() = 0;

    virtual IAnalysisManager* AnalysisManager() = 0;
    virtual IDetectorHost* DetectorHost() = 0;
    virtual IAnalysisHost* AnalysisHost() = 0;
};

// The recording document of the host document that an HRV document is a child of. The host's
// services the document calls (child site, selection, busy state, data store, online registry,
// analysis manager) are kept by one host object, which the recording document hands out.
struct IRecordingDocument : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{864B2DE1-3F7F-11D1-9981-00C0DF492697}");
    // Borrowed for the life of the host document.
    virtual IDocumentHost* DocumentHost() = 0;
    // The host's current time display mode.
    virtual HRESULT GetTimeDisplayMode(DWORD* mode) = 0;
    // The time of a position (record in the high half, sample offset in the low half) as the host
    // writes it in a time display mode; `flags` are the caller's time flags. *out gets a reference.
    virtual HRESULT PositionToText(std::int64_t position, DWORD flags, DWORD mode, IKELString** out) = 0;
    // QueryInterface also reaches IDocumentWindowName, the name of the document's window.

protected:
    ~IRecordingDocument() = default;
};

} // namespace HRV
