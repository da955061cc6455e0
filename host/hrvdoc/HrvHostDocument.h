#pragma once
// The host document as the HRV document sees it: the host's document of a recording (its
// calculation engine with the detector's named channels and the extension's enumerators, its
// online registry and sampling), with the services the HRV document calls: selection, busy state, data-child
// store, store of persisted objects, online registry, update notifications, message routing back
// to the document, message boxes and the settings dialog answered from the host's options, and
// an analysis manager. It can also play a recording into itself as if it were being sampled.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/calc/Engine.h"
#include "host/recording/CalculationClasses.h"
#include "host/recording/HostDocument.h"
#include "host/recording/Recording.h"
#include "host/tracedraw/TraceHost.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace vx::host {

struct HrvHostOptions {
    // The answer of every message box; 0: the host cannot show one.
    int messageBoxAnswer = 0;
    // The settings dialog: fills the dialog's fields through the editor and returns 1 to press
    // OK, 2 to press Cancel. Unset: cancelled, unless the user answers the dialogs.
    std::function<int(HRV::ISettingsEditor&)> settingsDialog;
    // The dialogs are left to the user (a desktop host).
    bool userAnswersDialogs = false;
    // Online: events of a record being sampled are handed out only this many seconds behind the
    // end of its data, where later samples can no longer change them.
    double onlineSettleSeconds = 10.0;
    // The name of the document's window (the recording's file name).
    std::wstring windowName;
    // The document asks the host to open a view of the view class with this class id. Unset:
    // the request is only recorded.
    std::function<HRESULT(DWORD classId)> openView;
    // The document asks the host to show a comment (the desktop host opens its popup).
    std::function<void(IVarnComment* comment)> showComment;
    // Told of every update the document sends (message id, code), after it is recorded: the
    // desktop host redraws what the analysis changed and its views follow the analysis.
    std::function<void(DWORD messageId, DWORD code)> updated;
    // Told of online play: the record being sampled and the step (started, a block added, stopped),
    // after the document's sinks have heard of it.
    enum class OnlineStep { Started, Block, Stopped };
    std::function<void(int record, OnlineStep step)> online;
    // Told after the selection was set or cleared (by the document or by the host).
    std::function<void()> selectionChanged;
};

// A comment the host keeps on a channel of a record (set by call; the chart sets them later).
struct HostCommentEntry {
    uint32_t channel = 0;
    int32_t record = 0;
    int32_t offset = 0;
    std::wstring text;
};

// A comment the document asked the host to show.
struct ShownComment {
    int64_t position = 0; // record in the low half, offset in the high half
    DWORD channel = 0;
    std::wstring text;
    DWORD value = 0; // the message's second value
    DWORD kind = 0; // the comment's kind
    DWORD fill = 0; // its fill colour (not selected)
};

// A guide line of a channel as the host keeps it from the guide-line messages.
struct GuideLine {
    double value = 0.0;
    std::wstring label, secondLabel;
    bool shown = false;
    DWORD colour = 0;
};
struct ChannelGuides {
    GuideLine lines[2];
    bool band = false; // the band between the two lines is filled
    DWORD bandColour = 0;
};

class HrvHostDocument final : public HRV::IDocumentHost,
                              public HRV::IDetectorHost,
                              public HRV::IAnalysisHost,
                              public HRV::IAnalysisManager,
                              public HRV::IDialogService {
public:
    HrvHostDocument(std::shared_ptr<Recording> recording, HrvHostOptions options = {});
    ~HrvHostDocument();

    // The document's message handler (messages routed back to it) and its observer (the host's
    // notifications: a channel that gets or loses its calculation), held until Detach.
    void Attach(IUnknown* document);
    void Detach();

    // What the host tells and asks, recorded for the tests.
    std::vector<std::pair<DWORD, DWORD>> updates;
    std::vector<std::string> log;
    // The texts of the message boxes shown, in order.
    std::vector<std::wstring> messages;
    bool busy = false;
    int canSample = 1;
    HrvHostOptions options;
    std::map<DWORD, IVarnDataChildData*> dataChildren; // held
    std::map<DWORD, IPersist*> stored; // held
    bool regionObject = false;
    IOnlineDataSink* onlineSink = nullptr; // the sink registered through this host, not held
    HRV::Position selectionStart { 0, 0 }, selectionEnd { 0, 0 };
    bool hasSelection = false;
    // The selection is a cursor at selectionStart rather than a stretch.
    bool selectionIsPoint = false;

    calc::Engine& Engine() { return mDocument->Engine(); }
    // The named formula channels, in the order they were made.
    const std::vector<std::wstring>& NamedChannels() const { return mNames; }
    // The data-child store as the extension's enumerators reach it (IDataChildStore); borrowed,
    // it lives as long as this document. The host creates the enumerators of its formulas with it.
    IUnknown* DataStore() { return &mStore; }
    Recording& GetRecording() { return *mRecording; }
    HostDocument& Document() { return *mDocument; }
    // Channel requests of the detector, in order ("+name" added, "-name" removed).
    std::vector<std::wstring> channelRequests;
    std::set<std::pair<uint64_t, uint64_t>> links;

    // Online play: the host document samples a record of `source` into a new record in blocks of
    // `blockSeconds`, and its sinks hear each step: may start; record start, new data per block,
    // record end; sampling end; sampling finished. Every block is delivered before it returns,
    // as fast as the document takes them. False when the sink refused to start.
    bool PlayOnline(const Recording& source, int sourceRecord, double blockSeconds);
    // The same play paced at `speed` times real time: it returns at once, and the window system's
    // timer delivers one block per tick on this (the user-interface) thread until the record is
    // played, so the windows stay responsive. False when a play is under way, the channels do not
    // match, the speed is not positive or the sink refused to start.
    bool StartOnlinePlay(std::shared_ptr<const Recording> source, int sourceRecord, double blockSeconds, double speed);
    bool OnlinePlaying() const;
    // Ends a paced play now (the record keeps what was played).
    void StopOnlinePlay();

    // Why the detector's channels could not be made: the first of its channel requests that the
    // engine refused and that still stands (the later stages then fail for want of it), in the
    // user's words, with the setting to change when one setting is to blame.
    struct ChannelRefusal {
        std::string reason; // empty: no refusal stands
        std::string setting; // the settings field without its 'm', e.g. "LowPassCutoff"
    };
    ChannelRefusal StandingRefusal() const;

    // HRV::IDocumentHost
    ULONGLONG ChildSite() override { return reinterpret_cast<std::uintptr_t>(this); }
    bool IsBusy() override { return busy; }
    bool GetSelection(HRV::Position& start, HRV::Position& end) override;
    void ClearSelection() override;
    void SelectRegion(HRV::Position start, HRV::Position end) override;
    void SelectChannel(uint32_t channel) override;
    bool SelectionIsPoint() override { return hasSelection && selectionIsPoint; }
    HRV::Position DataEnd() override;
    int32_t LastRecord() override { return mRecording->RecordCount() - 1; }
    int32_t ChannelCount() override { return mRecording->ChannelCount(); }
    HRESULT ChannelTitle(int32_t channel, BSTR* title) override;
    HRESULT ChannelUnit(int32_t channel, BSTR* unit) override;
    bool RegionExists(HRV::Position start, HRV::Position end) override;
    bool ChannelHasData(uint32_t channel, uint32_t kind, int32_t startRecord, int32_t endRecord) override;
    int32_t CanSample() override { return canSample; }
    void LegacyLoaded(DWORD id) override;
    bool HasDataChild(DWORD id) override { return dataChildren.count(id) > 0; }
    bool AddDataChild(IVarnDataChildData* child) override;
    bool RemoveDataChild(DWORD id) override;
    bool StoreObject(DWORD index, IPersist* object) override;
    bool HasRegionObject() override { return regionObject; }
    void RemoveRegionObject() override { regionObject = false; }
    bool HasOnlineRegistry() override { return true; }
    HRESULT RegisterOnlineSink(IOnlineDataSink* sink) override;
    HRESULT UnregisterOnlineSink(IOnlineDataSink* sink) override;
    void SendUpdate(DWORD messageId, DWORD code) override;
    HRESULT SendDocumentMessage(DWORD messageId, DWORD flags) override;
    HRESULT SendHostMessage(DWORD messageId, DWORD flags, const void* record, std::size_t size) override;
    HRESULT RouteMessage(IMessage* message) override;
    std::vector<HostCommentEntry> comments;
    std::vector<ShownComment> shownComments;
    // What the guide-line messages set, by channel (drawn by the chart; kept here headless).
    std::map<int32_t, ChannelGuides> guides;
    // The view classes the document asked the host to open, in order.
    std::vector<DWORD> openedViews;
    int MessageBox(const wchar_t* caption, const wchar_t* text, UINT style, DWORD value) override;
    HRV::IDialogService* Dialogs() override { return this; }
    // HRV::IDialogService
    int RunSettings(HRV::ISettingsEditor* settings) override;
    HRV::IAnalysisManager* AnalysisManager() override { return this; }
    int32_t ShownChannelCount() override
    {
        ULONG count = 0;
        mDocument->GetShownChannelCount(&count);
        return static_cast<int32_t>(count);
    }
    IChannelCalc* ChannelCalculation(int32_t channel) override
    {
        return channel >= 0 ? mDocument->ChannelCalcOf(static_cast<uint32_t>(channel)) : nullptr;
    }
    HRV::IDetectorHost* DetectorHost() override { return this; }
    HRV::IAnalysisHost* AnalysisHost() override { return this; }
    // A preview of a channel over the recording and the formula channels (HostPreviewSource).
    HRESULT PreviewSource(uint32_t channel, IUnknown** source) override;

    // HRV::IDetectorHost
    int32_t RecordCount() override { return mRecording->RecordCount(); }
    bool HasData(const HRV::ChannelRef& channel, int32_t record) override;
    double SampleInterval(const HRV::ChannelRef& channel, int32_t record) override;
    bool AddChannel(const wchar_t* name, const wchar_t* formula) override;
    bool RemoveChannel(const wchar_t* name, bool clear) override;
    bool FindChannel(const wchar_t* name, HRV::ChannelRef& out) override;
    bool HasChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    bool AddChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    bool RemoveChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    IUnknown* ChannelSource() override { return static_cast<IChannelNames*>(mDocument); }
    bool SetChannelKept(const wchar_t* name, WORD state) override;
    bool SetChannelGroup(const wchar_t* name, const wchar_t* group) override;
    // What the channel-link interface was told, by channel name.
    std::map<std::wstring, std::pair<WORD, std::wstring>> keptChannels;

    // HRV::IAnalysisHost
    bool GetRecordInfo(int32_t record, HRV::RecordInfo& info) override;
    IEnumEventEx* OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end) override;
    // The events OpenEvents hands out for a complete record, as runs of the blocks in which the
    // engine keeps them (no copy); false when the engine does not keep them all or the record is
    // being sampled: OpenEvents reads them then.
    bool ShareEvents(
        const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end, calc::SharedEvents& out);
    int32_t SampledRecord() override;
    bool LinkedEventChannel(const HRV::ChannelRef& channel, int32_t index, HRV::ChannelRef& out) override;
    IEnumHostComments* OpenComments(
        const HRV::ChannelRef& channel, int32_t record, int32_t start, bool forwards) override;

    // HRV::IAnalysisManager
    HRESULT Register(const wchar_t* title, const wchar_t* group, int32_t* clientId) override;
    HRESULT ReportStored(int32_t clientId, DWORD index, IPersistStreamInit* object, DWORD flags) override;
    HRESULT Drop(int32_t clientId) override;
    HRESULT Confirm(int32_t clientId) override;
    HRESULT ReportRange(int32_t clientId, DWORD value, HRV::Position start, HRV::Position end) override;
    std::map<int32_t, std::wstring> managerClients;

    // The events a live enumeration may hand out now: up to the end of the record, or while the
    // record is being sampled, up to the settle time behind its data end.
    int64_t EventLimit(int32_t record);
    // The named channel of a channel reference (empty when it names none).
    std::wstring ChannelName(const HRV::ChannelRef& ref) const;
    // True while the record is being sampled and its data still grow (not once the whole record
    // has been delivered).
    bool RecordGrowing(int32_t record) const;
    // Makes the calculation-enumerator classes among the extension's class objects callable from
    // this document's formulas: created with its data store, and told while a record grows.
    // Returns how many were registered (the engine's refusal propagates as CalcError).
    int RegisterEnumerators(const std::vector<IUnknown*>& classObjects);
    // Takes the channel-calculation classes and their settings classes among the extension's
    // class objects, and makes the factory of the formula calculations their calculations ask
    // for, under the keys of the framework's type registry.
    void RegisterCalculationClasses(const std::vector<IUnknown*>& classObjects, ITypeIdRegistry* types);
    CalculationClassRegistry& CalculationClasses() { return mCalcClasses; }
    IObjectFactory* CalculationFactory() { return mCalcFactory; }
    // The document's count of computed-channel changes that the session file holds.
    std::uint64_t savedComputedChanges = 0;
    // Compiled channels read the recording as it was: once the recording has grown every named
    // channel is compiled again, so no stage keeps a block computed from shorter data.
    void EnsureCompiledForData();

private:
    void RecompileChannels();
    bool BeginOnline(const Recording& source, int sourceRecord);
    bool mOnlineShared = false; // the record being sampled shares the source's decoded channels
    void DeliverOnline(const std::vector<std::span<const float>>& block);
    void EndOnline();
    std::unique_ptr<TimedPlayback> mPlay;

    class Store final : public IDataChildStore {
    public:
        explicit Store(HrvHostDocument& document)
            : mDocument(document)
        {
        }
        HRESULT QueryInterface(REFIID iid, void** out) override;
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT GetDataChild(DWORD id, IVarnDataChildData** out) override;

    private:
        HrvHostDocument& mDocument;
    };
    Store mStore { *this };

    std::shared_ptr<Recording> mRecording;
    HostDocument* mDocument; // held
    std::vector<std::wstring> mNames; // the detector's named channels, in creation order
    // The channel requests refused and not made since, in the order they were refused.
    std::vector<std::pair<std::wstring, ChannelRefusal>> mRefusals;
    void ForgetRefusal(const std::wstring& name);
    int64_t mCompiledFor = -1; // samples in the recording when the channels were compiled
    bool mRecordComplete = false; // the sampled record has all its data (its end is near)
    IMessageHandler* mDocumentHandler = nullptr; // held
    IObserver* mDocumentObserver = nullptr; // held
    // The host's notification that a channel's calculation changed (0 until the framework's type
    // registry gave its id).
    DWORD mChannelSetupEvent = 0;
    void NotifyChannelSetup(std::uint32_t channel, IChannelCalc* calc);
    CalculationClassRegistry mCalcClasses;
    IObjectFactory* mCalcFactory = nullptr; // held
};

} // namespace vx::host
