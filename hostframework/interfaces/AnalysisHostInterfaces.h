#pragma once
// What an analysis document asks of the host document it belongs to, and what the host asks of
// the document's settings: positions and channel references, the recording as the analysis reads
// it, the detector's named channels, the analysis manager, the dialog service, the document's
// host services and the recording document that hands them out.
//
// The host and the extension are built apart and meet only here: every method takes plain values,
// wide C strings and BSTRs, never a library type. The host implements the services and lends
// them for the life of its document; the extension implements the settings editor.
#include <compare>
#include <cstdint>

#include "com/Bstr.h"
#include "com/Persist.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hostframework/interfaces/CommentInterfaces.h"
#include "hostframework/interfaces/DataChild.h"
#include "hostframework/interfaces/RecordingInterfaces.h"

struct IKELString;
struct IMessage;

namespace HRV {

// The document class of the HRV document; its persisted settings and data report it as their
// class, and the host opens the document through it.
inline constexpr GUID GUID_HRVDocumentObj = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");

// A place in a recording: a sample offset within a record and the record index. Record
// 0x7FFFFFFF means "not set"; in an end position offset 0x7FFFFFFF is the end of the record and
// record 0x7FFFFFFE the last record.
constexpr std::int32_t kPositionNotSet = 0x7FFFFFFF;
constexpr std::int32_t kLastRecord = 0x7FFFFFFE;

struct Position {
    std::int32_t mOffset = kPositionNotSet;
    std::int32_t mRecord = kPositionNotSet;

    bool IsSet() const noexcept { return mRecord != kPositionNotSet; }
    friend bool operator==(const Position&, const Position&) = default;
    // Ordered by record, then offset.
    friend std::strong_ordering operator<=>(const Position& a, const Position& b) noexcept
    {
        if (auto c = a.mRecord <=> b.mRecord; c != 0)
            return c;
        return a.mOffset <=> b.mOffset;
    }
};

inline constexpr Position kUnsetPosition {};

// A host channel: {channel number, kind}; {0x80000000, 0xC0000000} is no channel.
struct ChannelRef {
    std::uint32_t mChannel = 0x80000000u;
    std::uint32_t mKind = 0xC0000000u;
    bool IsSet() const { return !(mChannel == 0x80000000u && mKind == 0xC0000000u); }
    bool operator==(const ChannelRef&) const = default;
};

// The values of the host's record information that the analysis reads.
struct RecordInfo {
    double mInterval = 0.0; // sample interval dt, seconds
    double mStartTime = 0.0; // seconds
    double mTimeOffset = 0.0; // seconds
    std::int32_t mBase = 0; // base offset, samples
    std::int64_t mLength = 0; // samples in the record
};

// The time of a sample position of a record: start - offset + (position - base) * dt, seconds.
// The base offset is subtracted once: the sample at the base offset is the one at the record's
// start time (less the time offset), as the host times its samples.
inline double TimeOfPosition(const RecordInfo& info, std::int32_t position)
{
    return info.mStartTime - info.mTimeOffset
        + (static_cast<double>(position) - static_cast<double>(info.mBase)) * info.mInterval;
}

// The recording as the analysis reads it.
class IAnalysisHost {
public:
    virtual std::int32_t RecordCount() = 0;
    virtual bool GetRecordInfo(std::int32_t record, RecordInfo& info) = 0;
    // Opens the event enumeration of the channel in a record from start up to end; null when the
    // host refuses. The caller releases it.
    virtual IEnumEventEx* OpenEvents(
        const ChannelRef& channel, std::int32_t record, std::int32_t start, std::int32_t end)
        = 0;
    // The record being sampled.
    virtual std::int32_t SampledRecord() = 0;
    // The event channels the host links to `channel` (its links of events), by index; false past
    // the last. A host without links has none.
    virtual bool LinkedEventChannel(const ChannelRef& /*channel*/, std::int32_t /*index*/, ChannelRef& /*out*/)
    {
        return false;
    }
    // The host's comments on a channel in a record from `start` on (forwards) or before it
    // (backwards); null when the host keeps none. The caller releases it.
    virtual IEnumHostComments* OpenComments(
        const ChannelRef& /*channel*/, std::int32_t /*record*/, std::int32_t /*start*/, bool /*forwards*/)
    {
        return nullptr;
    }

protected:
    ~IAnalysisHost() = default;
};

// The host document's named formula channels and channel links, as the detector builds its
// stages with them.
class IDetectorHost {
public:
    virtual std::int32_t RecordCount() = 0;
    virtual bool HasData(const ChannelRef& channel, std::int32_t record) = 0;
    virtual double SampleInterval(const ChannelRef& channel, std::int32_t record) = 0;
    // Creates or rewrites the named channel with the formula; false when the host refuses.
    virtual bool AddChannel(const wchar_t* name, const wchar_t* formula) = 0;
    virtual bool RemoveChannel(const wchar_t* name, bool clear) = 0;
    virtual bool FindChannel(const wchar_t* name, ChannelRef& out) = 0;
    virtual bool HasChannelLink(const ChannelRef& from, const ChannelRef& to) = 0;
    virtual bool AddChannelLink(const ChannelRef& from, const ChannelRef& to) = 0;
    virtual bool RemoveChannelLink(const ChannelRef& from, const ChannelRef& to) = 0;
    // The host's channel source (answers IChannelNames), by which channel references are written
    // into formulas; borrowed, null when there is none.
    virtual IUnknown* ChannelSource() = 0;
    // The host's channel-link interface: the named channel is marked as one the extension keeps
    // (`state` 0xFFFF) and put under the extension's group name. A host without the interface
    // answers false.
    virtual bool SetChannelKept(const wchar_t* /*name*/, WORD /*state*/) { return false; }
    virtual bool SetChannelGroup(const wchar_t* /*name*/, const wchar_t* /*group*/) { return false; }

protected:
    ~IDetectorHost() = default;
};

// The host's analysis manager: the list of analyses stored with a recording.
class IAnalysisManager {
public:
    virtual HRESULT Register(const wchar_t* title, const wchar_t* group, std::int32_t* clientId) = 0;
    virtual HRESULT ReportStored(std::int32_t clientId, DWORD index, IPersistStreamInit* object, DWORD flags) = 0;
    virtual HRESULT Drop(std::int32_t clientId) = 0;
    // S_OK when the manager confirms a request for this client.
    virtual HRESULT Confirm(std::int32_t clientId) = 0;
    virtual HRESULT ReportRange(std::int32_t clientId, DWORD value, Position start, Position end) = 0;

protected:
    ~IAnalysisManager() = default;
};

// The fields of an open settings dialog, reached by name: setting a value fills the dialog's
// field as a user would. The names are the settings
// fields without their "m" ("RRMin", "NumFrequencies"). A value is refused, with a text that
// says why and nothing changed, when the name is unknown, the text is not a value of the
// field's type or the value lies outside the field's range.
struct ISettingsEditor : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3C1F7A52-9B64-4E0D-A8C3-52E9D07B16F4}");
    // The source channels the dialog offers.
    virtual HRESULT GetChannelCount(DWORD* count) = 0;
    virtual HRESULT GetChannelTitle(DWORD index, BSTR* title) = 0;
    // Chooses a species preset (0 "Human" to 8 "Custom"), which rewrites its settings; E_INVALIDARG
    // for any other index.
    virtual HRESULT SelectSpecies(LONG index) = 0;
    // S_OK; E_INVALIDARG with the reason in *error (the caller frees it; may be null).
    virtual HRESULT SetValue(const wchar_t* name, const wchar_t* text, BSTR* error) = 0;
    // The value as text, in the form SetValue reads.
    virtual HRESULT GetValue(const wchar_t* name, BSTR* text) = 0;
    // S_OK when every field would pass OK; otherwise S_FALSE with the first field that would not
    // and why in *error (a value can become invalid through another: a band beyond a lowered
    // maximum frequency).
    virtual HRESULT CheckFields(BSTR* error) = 0;

protected:
    ~ISettingsEditor() = default;
};

// The host's dialog service: called once the settings dialog is up, it may fill the dialog's
// fields through the editor and answer which button to press.
class IDialogService {
public:
    // 1 presses OK, 2 Cancel; 0 leaves the dialog to its user.
    virtual int RunSettings(ISettingsEditor* settings) = 0;

protected:
    ~IDialogService() = default;
};

// What the HRV document asks of the host document it belongs to: selection, busy state, data
// extent, the data-child store, the store of persisted objects, the online registry, update
// notifications, message routing, message boxes, the dialog service and the analysis manager.
class IDocumentHost {
public:
    // The identity of the document's child site, which the host's attach notification carries.
    virtual ULONGLONG ChildSite() = 0;
    // Host state service: true while the host is busy (sampling setup, another modal task).
    virtual bool IsBusy() = 0;
    // Selection service.
    virtual bool GetSelection(Position& start, Position& end) = 0;
    virtual void ClearSelection() = 0;
    virtual void SelectRegion(Position start, Position end) = 0;
    virtual void SelectChannel(std::uint32_t channel) = 0;
    // Whether the selection is a single point (a cursor placed on the trace) rather than a stretch.
    virtual bool SelectionIsPoint() = 0;

    // Host document: the end of the recorded data; channel count and titles; whether a region
    // exists; whether a channel holds data from one record to another.
    virtual Position DataEnd() = 0;
    virtual std::int32_t LastRecord() = 0;
    virtual std::int32_t ChannelCount() = 0;
    // The title of a channel (the caller frees it); E_INVALIDARG for a channel that is not there.
    virtual HRESULT ChannelTitle(std::int32_t channel, BSTR* title) = 0;
    // The unit a channel's values are shown in ("mV"; the caller frees it); E_INVALIDARG for a
    // channel that is not there.
    virtual HRESULT ChannelUnit(std::int32_t channel, BSTR* unit) = 0;
    virtual bool RegionExists(Position start, Position end) = 0;
    virtual bool ChannelHasData(
        std::uint32_t channel, std::uint32_t kind, std::int32_t startRecord, std::int32_t endRecord)
        = 0;
    // Told after a document whose settings came from a legacy stream was loaded.
    virtual void LegacyLoaded(DWORD id) = 0;
    // Recording-document query: positive when the recording can be sampled.
    virtual std::int32_t CanSample() = 0;

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
    // A message for the host itself (open a view, draw guide lines), with its record packed as the
    // host reads it: fields one after the other, no padding. The host's answer.
    virtual HRESULT SendHostMessage(DWORD messageId, DWORD flags, const void* record, std::size_t size) = 0;
    // A message object for the host (a comment to show); the host's answer.
    virtual HRESULT RouteMessage(IMessage* message) = 0;
    // A host message box; the button pressed, or 0 when the host cannot show one.
    virtual int MessageBox(const wchar_t* caption, const wchar_t* text, UINT style, DWORD value) = 0;
    // The host's dialog service (null: dialogs cannot be shown).
    virtual IDialogService* Dialogs() = 0;

    // The channels the host shows, recorded and computed: numbered from 0 below this count.
    virtual std::int32_t ShownChannelCount() = 0;
    // The extension's channel calculation that computes a host channel (borrowed), or null.
    virtual IChannelCalc* ChannelCalculation(std::int32_t channel) = 0;

    virtual IAnalysisManager* AnalysisManager() = 0;
    virtual IDetectorHost* DetectorHost() = 0;
    virtual IAnalysisHost* AnalysisHost() = 0;

    // The host's side of a trace preview of one of its channels (with a reference): an object
    // that answers IPreviewHost for the channel's display settings, IViewDocumentSource for the
    // document the preview shows (which draws the host's formula channels too) and, when the
    // host has one, IScaleFactory. A host without previews answers E_NOTIMPL.
    virtual HRESULT PreviewSource(std::uint32_t /*channel*/, IUnknown** source)
    {
        if (source)
            *source = nullptr;
        return E_NOTIMPL;
    }

protected:
    ~IDocumentHost() = default;
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
