#pragma once
// HRV::Document: the per-recording analysis document. Menu commands, named messages, host
// notifications and live data while sampling arrive here; the document decides what to
// re-analyse, keeps the analysis consistent with the settings and tells the views (through the
// host's update notifications) before and after the results change.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "com/Ref.h"
#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/events/EventHandler.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/analysis/Detector.h"
#include "hrv/core/Data.h"
#include "hrv/core/Settings.h"
#include "hrv/document/AnalysisClient.h"
#include "hrv/document/DocumentHost.h"
#include "hrv/document/VarnChildDocument.h"

namespace HRV {

// The host's notifications of recording changes, and of its analysis manager.
inline constexpr GUID GUID_HostRecordingEvents = vx::com::MakeGuid("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");
inline constexpr GUID GUID_AnalysisManagerEvents = vx::com::MakeGuid("{659C39BA-EB97-4486-842E-10E185D5C17A}");

// Ids: (host type index of the document class GUID << 16) | n, each computed once.
template <DWORD N> using DocumentId = TypeIdClass<&GUID_HRVDocumentObj, N>;
template <DWORD N> using RecordingEventId = TypeIdClass<&GUID_HostRecordingEvents, N>;
template <DWORD N> using AnalysisManagerEventId = TypeIdClass<&GUID_AnalysisManagerEvents, N>;

// Command numbers (the low half of the command ids).
enum Command : DWORD {
    kCmdSettings = 1,
    kCmdClassifierView,
    kCmdReportView,
    kCmdAnalysisPlots,
    kCmdTachogram,
    kCmdRRHistogram,
    kCmdDeltaRRHistogram,
    kCmdPoincare,
    kCmdSpectrum,
    kCmdAddMarker,
    kCmdRemoveMarker,
    kCmdShowMarkers,
    kCmdAllBeatsNormal,
    kCmdNothing,
    kCmdOnlineMode,
    kCmdReselect,
    kCmdClearAnalysis,
    kCmdAnalyse,
};

// Named message numbers.
enum NamedMessage : DWORD {
    kMsgAnalyze = 0x100,
    kMsgClearAnalysis = 0x101,
    kMsgReselectAnalyzedRegion = 0x102,
    kMsgToggleOnlineMode = 0x103,
    kMsgToggleEventMarkers = 0x104,
};

// Codes of the analysis-changing and analysis-changed updates.
enum UpdateCode : DWORD {
    kUpdateOnlineStart = 0,
    kUpdateRecord = 1,
    kUpdateSamplingEnd = 2,
    kUpdateNewData = 3,
    kUpdateRange = 4,
    kUpdateCleared = 5,
    kUpdateBeatMarks = 6,
};

// The submenu of the analysis plots, as the host hands it to the popup notification (its address
// is the notification's first value).
class IPopupMenu {
public:
    virtual ~IPopupMenu() = default;
    virtual int Count() = 0;
    virtual void RemoveAt(int index) = 0;
    virtual void Append(DWORD id, const std::wstring& text) = 0;
};

// The document's own interface.
struct IHRVDocument : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D6EA89AC-5B62-402C-A488-1E8CDDA95E3A}");

protected:
    ~IHRVDocument() = default;
};

class Document final : public IHRVDocument,
                       public IOnlineDataSink,
                       public VarnChildDocument,
                       public AnalysisManager::AnalysisClientBase<Document> {
public:
    // `parent` is the host document of the recording, whose recording document gives the host's
    // services; `classObject` the document class that makes the document. Without a parent the
    // document has no host services.
    Document(IUnknown* parent, IUnknown* classObject, DWORD flags);
    ~Document() override;

    static DWORD MsgIdAnalysisChanged() { return DocumentId<0>::Id(); }
    static DWORD MsgIdAnalysisChanging() { return DocumentId<1>::Id(); }
    static DWORD CommandId(DWORD n) { return (DWORD(TypeIndexOf<&GUID_HRVDocumentObj>::Get()) << 16) | n; }
    static DWORD MessageId(DWORD n) { return CommandId(n); }

    // IUnknown: IHRVDocument and IOnlineDataSink, then what the framework document answers
    // (ICustomDocument2, ICAFCommandHandler, IObserver, IMessageHandler).
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // Event table.
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    IOnlineDataSink* OnlineSink() noexcept { return this; }

    // The host closes the document (ICustomDocument2): the analysis is closed, then the host's
    // services are let go of.
    HRESULT DisconnectSender() override;

    // IOnlineDataSink
    HRESULT MaySamplingStart(IUnknown**, WORD* verdict) override { return MaySamplingStart(verdict); }
    HRESULT SamplingFinished() override;
    HRESULT RecordStart(LONG, DWORD, WORD follow) override { return RecordStart(follow); }
    HRESULT RecordEnd() override;
    HRESULT SamplingEnd() override;
    HRESULT NewData() override;
    HRESULT Reserved9() override { return S_OK; }
    HRESULT Reserved10() override { return E_NOTIMPL; }
    HRESULT Reserved11() override { return E_NOTIMPL; }
    HRESULT Reserved12() override { return S_OK; }
    HRESULT GetValue13(DWORD* value) override { return value ? (*value = 200, S_OK) : E_POINTER; }
    HRESULT GetValue14(DWORD, DWORD, DWORD, DWORD* value) override
    {
        return value ? (*value = 0x80000000u, S_OK) : E_POINTER;
    }

    // The host closes the document.
    HRESULT Close();
    // The host has loaded the document: settings read from a legacy stream make the host
    // convert the stored analysis.
    HRESULT OnHostLoaded();
    // The host asks for a persisted object: index 0 settings, 1 data (type 2).
    HRESULT GetPersistedObject(DWORD index, DWORD type, DWORD* word, IUnknown** out);
    // ICustomDocument: the host's question for a persisted object, and its word that the
    // document has been loaded (or initialised new).
    HRESULT GetChildObject(DWORD index, DWORD type, IUnknown** out, DWORD* word) override
    {
        return GetPersistedObject(index, type, word, out);
    }
    HRESULT OnOpened() override { return OnHostLoaded(); }

    // Analysis control.
    int Reanalyse(uint32_t flags, int mode);
    bool ClearAnalysis(uint32_t flags, bool notify);
    bool SetAnalysisRange(const Settings& settings, int mode);
    bool IsInAnalysisRange(Position first, Position last) const;
    void StoreWithHost();
    void InvalidateAnalysis();
    void MarkDataChanged();
    bool ResetEventCaches();
    bool AttachOnlineSink();
    HRESULT SendDocMessage(DWORD messageId, DWORD flags);

    // Analysis-manager client operations.
    int RegisterWithManager() override;
    void ReportRange(DWORD value) override;
    void ClearRequest(DWORD value) override;
    void ReanalyseRequest(DWORD value) override;

    // The class object's menu commands, inserted with the host object made for the class.
    static HRESULT InsertClassCommands(HostClassObjectPair& pair);

    // Command handlers.
    void CmdSettings();
    // The view commands: the host is asked to open a view of the view class with this number.
    HRESULT OpenView(DWORD viewClassNumber);
    template <DWORD N> void CmdOpenView() { OpenView(N); }
    // Guide lines of a channel that shows a beat measure: the normal-beat box's two limits.
    void SetGuideLines(int32_t channel, double first, double second, const wchar_t* label);
    void ClearGuideLines(int32_t channel);
    // Refreshes the guide lines of the channel for its measure and guide-line choice.
    void RefreshChannelCalcGuides(int32_t channel, const CalculationChoice& choice);
    // The channels that show a beat measure: found again on attach (each calculation's formula
    // rebuilt), their guide lines refreshed after each re-analysis.
    void RebuildChannelCalcMap();
    // The HRV calculation of a channel with its choice (held for the caller), or null.
    IChannelCalc* HRVChannelCalcChoice(int32_t channel, CalculationChoice& choice);
    void UpdateChannelCalcs();
    const std::set<uint32_t>& ChannelCalcMap() const { return mChannelCalcMap; }
    // Beat marks: the user's corrections of the detected beats, made on the host's selection.
    void AddBeatMarker();
    void RemoveBeatMarkers();
    bool AllBeatsNormal();
    bool MarkBeatRemoved(int32_t record, const void* event);
    bool CanAddBeatMarker();
    bool IsSelectionUsable();
    void CmdAllBeatsNormal() { AllBeatsNormal(); }
    void EnableAddMarker(ICommandEnabler*& enabler);
    void EnableRemoveMarkers(ICommandEnabler*& enabler);
    void EnableAllBeatsNormal(ICommandEnabler*& enabler);
    // A plot view reports a clicked position: the host is asked to show the comment of the first
    // event (or host comment) on the source channel at or after it.
    void ShowBeatComment(Position position);
    void CmdShowMarkers();
    void CmdNothing() { }
    void CmdOnlineMode();
    void CmdReselect();
    void CmdClearAnalysis();
    void CmdAnalyse();
    HRESULT PlotsPopupOpening(ULONGLONG menu, ULONGLONG);
    HRESULT PlotsPopupChosen(ULONGLONG item, ULONGLONG);
    // Enablers.
    void EnableWhenNotBusy(ICommandEnabler*& enabler);
    void EnableShowMarkers(ICommandEnabler*& enabler);
    void EnableAlways(ICommandEnabler*& enabler);
    void EnableNever(ICommandEnabler*& enabler);
    void EnableOnlineMode(ICommandEnabler*& enabler);
    void EnableWithRange(ICommandEnabler*& enabler);
    void EnableAnalyse(ICommandEnabler*& enabler);
    // Named messages.
    HRESULT OnAnalyze();
    HRESULT OnClearAnalysis();
    HRESULT OnReselectAnalyzedRegion();
    HRESULT OnToggleOnlineMode();
    HRESULT OnToggleEventMarkers();
    // Host notifications.
    void OnAttached(ULONGLONG a, ULONGLONG b);
    void OnDetaching(ULONGLONG, ULONGLONG) { }
    void CheckRangeStillValid();
    void OnRegionChanged(ULONGLONG first, ULONGLONG last);
    void OnChannelChanged(DWORD channel);
    void OnChannelSetupChanged(ULONGLONG channel, ULONGLONG calculation);

    // The host's services; null once the host has closed the document.
    IDocumentHost* HostServices() const noexcept { return Host(); }
    Settings& GetSettings() const { return *mSettings.Get(); }
    Data& GetData() const { return *mData.Get(); }
    AnalysisEngine& Engine() { return mEngine; }
    HRVDetector& Detector() { return mDetector; }
    int32_t ClientId() const { return mClientId; }
    int32_t LastRecord() const { return mLastRecord; }

private:
    HRESULT MaySamplingStart(WORD* verdict);
    HRESULT RecordStart(WORD follow);

    bool Busy() const { return Host() && Host()->IsBusy(); }
    DetectorSettings DetectorView() const { return DetectorSettingsFrom(*mSettings.Get()); }
    void SendUpdate(DWORD messageId, DWORD code);
    void AnalyseRange(uint32_t flags);
    void DropRegionObject();
    void ReanalyseBeatMarks(DWORD code);

    IAnalysisManager* mAnalysisManager = nullptr;
    int32_t mClientId = -1;
    vx::com::Ref<Settings> mSettings;
    vx::com::Ref<Data> mData;
    HRVDetector mDetector;
    AnalysisEngine mEngine;
    std::set<uint32_t> mChannelCalcMap;
    int32_t mLastRecord = -1;
};

} // namespace HRV
