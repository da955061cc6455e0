#include "hrv/document/Document.h"

#include <atomic>
#include <cmath>
#include <limits>

#include "foundation/base/ExceptionBoundary.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/UserEventData.h"
#include "hrv/document/Menus.h"
#include "hrv/document/SettingsDialogHook.h"
#include "log/Log.h"
#include "ui/Desktop.h"

namespace HRV {

namespace {

constexpr DWORD kEverything = 0xFFFFFFFFu;

RecordPosition ToRecordPosition(Position p)
{
    return { p.mRecord, p.mOffset };
}

std::atomic<SettingsDialogRunner> gSettingsDialog { nullptr };

} // namespace

void SetSettingsDialog(SettingsDialogRunner runner)
{
    gSettingsDialog.store(runner);
}

SettingsDialogRunner GetSettingsDialog()
{
    return gSettingsDialog.load();
}

Document::Document(IUnknown* parent, IUnknown* classObject, DWORD flags)
    : VarnChildDocument(parent, classObject, flags)
    , mDetector(Host() ? Host()->DetectorHost() : nullptr)
{
    // The settings and the data start with the references the document holds.
    auto* settings = new Settings;
    mSettings = vx::com::Ref<Settings>(settings);
    auto* data = new Data(settings);
    mData = vx::com::Ref<Data>(data);
}

Document::~Document()
{
    // A document released without being closed must not stay among the host's sinks.
    if (Host() && Host()->HasOnlineRegistry())
        Host()->UnregisterOnlineSink(OnlineSink());
    mEngine.StopOnline();
}

HRESULT Document::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IHRVDocument::kIid)
        *out = static_cast<IHRVDocument*>(this);
    else if (iid == IOnlineDataSink::kIid)
        *out = static_cast<IOnlineDataSink*>(this);
    else
        return CAFDocument::QueryInterface(iid, out);
    AddRef();
    return S_OK;
}

ULONG Document::AddRef()
{
    return CAFDocument::AddRef();
}
ULONG Document::Release()
{
    return CAFDocument::Release();
}

HRESULT Document::DisconnectSender()
{
    Close();
    return VarnChildDocument::DisconnectSender();
}

HRESULT Document::InsertClassCommands(HostClassObjectPair& pair)
{
    return InsertDocumentCommands(pair);
}

HRESULT Document::OpenView(DWORD viewClassNumber)
{
    if (!Host())
        return E_FAIL;
    struct {
        DWORD descriptor;
        DWORD classId;
    } record { 4, (DWORD(HostTypeIndex(GUID_HRVViewClass)) << 16) | viewClassNumber };
    return Host()->SendHostMessage(0x80010000u, 0, &record, sizeof record);
}

// ---- The host's updates and messages

void Document::SendUpdate(DWORD messageId, DWORD code)
{
    if (Host())
        Host()->SendUpdate(messageId, code);
}

HRESULT Document::SendDocMessage(DWORD messageId, DWORD flags)
{
    return Host() ? Host()->SendDocumentMessage(messageId, flags) : E_FAIL;
}

// ---- Analysis control

bool Document::SetAnalysisRange(const Settings& target, int mode)
{
    auto& s = const_cast<Settings&>(target);
    Position start = s.mRangeStart;
    Position end = s.mRangeEnd;
    const auto wholeEnd = [&] { return Host() ? Host()->DataEnd() : Position {}; };
    if (mode == 4) {
        if (s.mUseSelection) {
            if (Host())
                Host()->GetSelection(start, end);
        } else {
            start = { 0, 0 };
            end = wholeEnd();
        }
    } else if (mode == 0) {
        end = { 0x7FFFFFFF, kLastRecord };
        if (start.mRecord == kPositionNotSet)
            start = { 0, Host() ? Host()->LastRecord() : 0 };
    } else if (mode == 2) {
        end = wholeEnd();
    }
    if (start == s.mRangeStart && end == s.mRangeEnd)
        return false;
    s.mRangeStart = start;
    s.mRangeEnd = end;
    s.mDirty = true;
    return true;
}

bool Document::IsInAnalysisRange(Position first, Position last) const
{
    const Settings& s = *mSettings.Get();
    if (!s.HasValidRange())
        return false;
    if (last.mRecord < s.mRangeStart.mRecord)
        return false;
    return first.mRecord < s.mRangeEnd.mRecord
        || (first.mRecord == s.mRangeEnd.mRecord && first.mOffset <= s.mRangeEnd.mOffset);
}

void Document::StoreWithHost()
{
    if (!Host())
        return;
    if (!mSettings->mStoredWithHost && Host()->StoreObject(0, static_cast<IPersistStreamInit*>(mSettings.Get())))
        mSettings->mStoredWithHost = true;
    if (!mData->mStoredWithHost && Host()->StoreObject(1, static_cast<IPersistStreamInit*>(mData.Get())))
        mData->mStoredWithHost = true;
}

void Document::DropRegionObject()
{
    if (Host() && Host()->HasRegionObject())
        Host()->RemoveRegionObject();
}

void Document::InvalidateAnalysis()
{
    DropRegionObject();
    StoreWithHost();
    mSettings->mDirty = true;
}

void Document::MarkDataChanged()
{
    DropRegionObject();
    StoreWithHost();
    mData->mDirty = 1;
}

bool Document::ResetEventCaches()
{
    if (!Host())
        return false;
    bool ok = true;
    if (!Host()->HasDataChild(UserEventData::ChildDataId()))
        ok = Host()->AddDataChild(mData->GetUserEvents()) && ok;
    if (!Host()->HasDataChild(EventIdCache::ChildDataId())) {
        vx::com::Ref<EventIdCache> cache(new EventIdCache);
        ok = Host()->AddDataChild(cache.Get()) && ok;
    }
    return ok;
}

void Document::AnalyseRange(uint32_t flags)
{
    const Settings& s = *mSettings.Get();
    mEngine.Analyse(flags, Host() ? Host()->AnalysisHost() : nullptr, mDetector.GetFiducialChannel(),
        ToRecordPosition(s.mRangeStart), ToRecordPosition(s.mRangeEnd), AnalysisParametersFrom(s));
}

int Document::Reanalyse(uint32_t flags, int mode)
{
    if ((flags & 0x4FFFFFFu) && !mSettings->HasValidRange())
        return 0;
    SendUpdate(MsgIdAnalysisChanging(), static_cast<DWORD>(mode));
    ResetEventCaches();
    const DetectorSettings ds = DetectorView();
    mDetector.BuildDetectorChannels(flags, &ds);
    mDetector.SyncFiducialChannel(&ds);
    if (mode == 0) {
        // Ready for online data: the engine keeps the host, the settings and the fiducial
        // channel; the online steps read from them.
        mEngine.mRecording = Host() ? Host()->AnalysisHost() : nullptr;
        mEngine.mSettings = AnalysisParametersFrom(*mSettings.Get());
        mEngine.mFiducialChannel = mDetector.GetFiducialChannel();
    } else {
        AnalyseRange(flags);
    }
    UpdateChannelCalcs();
    SendUpdate(MsgIdAnalysisChanged(), static_cast<DWORD>(mode));
    return 1;
}

bool Document::ClearAnalysis(uint32_t flags, bool notify)
{
    Settings& s = *mSettings.Get();
    if (!s.HasValidRange() || Busy())
        return false;
    SendUpdate(MsgIdAnalysisChanging(), kUpdateCleared);
    const DetectorSettings ds = DetectorView();
    mDetector.RemoveChannels(flags, &ds);
    if (flags > 0xFFFFFFu) {
        UserEventData* marks = mData->GetUserEvents();
        WORD empty = 0xFFFF;
        marks->IsEmpty(&empty);
        if (!empty) {
            marks->Clear();
            // Whatever asked for the clear, the stored data must match what is shown.
            MarkDataChanged();
        }
        if (Host()) {
            if (Host()->HasDataChild(UserEventData::ChildDataId()))
                Host()->RemoveDataChild(UserEventData::ChildDataId());
            if (Host()->HasDataChild(EventIdCache::ChildDataId()))
                Host()->RemoveDataChild(EventIdCache::ChildDataId());
        }
    }
    if (flags == kEverything && s.HasValidRange()) {
        s.mRangeStart.mRecord = kPositionNotSet;
        s.mRangeEnd.mRecord = kPositionNotSet;
        s.mDirty = true;
    }
    if (flags & 0xFFFFFFu)
        mEngine.Reset();
    if (notify)
        SendUpdate(MsgIdAnalysisChanged(), kUpdateCleared);
    return true;
}

bool Document::AttachOnlineSink()
{
    if (!Host() || !Host()->HasOnlineRegistry())
        return false;
    Host()->UnregisterOnlineSink(OnlineSink());
    if (mSettings->mAnalyzeWhileSampling)
        return Host()->RegisterOnlineSink(OnlineSink()) == S_OK;
    return true;
}

HRESULT Document::Close()
{
    if (Host() && Host()->HasOnlineRegistry())
        Host()->UnregisterOnlineSink(OnlineSink());
    ClearAnalysis(kEverything, false);
    mDetector.DetachChannels();
    return S_OK;
}

HRESULT Document::OnHostLoaded()
{
    const uint32_t version = mSettings->mLoadedVersion;
    if (version >= 101 && version <= 105 && Host())
        Host()->LegacyLoaded(DocumentId<26>::Id());
    mDetector.AttachChannels(DocumentText(1).c_str());
    return S_OK;
}

HRESULT Document::GetPersistedObject(DWORD index, DWORD type, DWORD* word, IUnknown** out)
{
    if (word)
        *word = 0;
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (type != 2 || index > 1)
        return S_FALSE;
    IPersist* object = index == 0 ? static_cast<IPersist*>(static_cast<IPersistStreamInit*>(mSettings.Get()))
                                  : static_cast<IPersist*>(static_cast<IPersistStreamInit*>(mData.Get()));
    object->AddRef();
    *out = object;
    return S_OK;
}

// ---- Analysis manager

int Document::RegisterWithManager()
{
    mAnalysisManager = Host() ? Host()->AnalysisManager() : nullptr;
    if (!mAnalysisManager)
        return 0;
    mAnalysisManager->Register(DocumentText(1).ToWString().c_str(), L"HRV", &mClientId);
    IUnknown* object = nullptr;
    DWORD word = 0;
    if (GetPersistedObject(0, 2, &word, &object) != S_OK || !object)
        return 0;
    IPersistStreamInit* persist = nullptr;
    HRESULT hr = object->QueryInterface(IPersistStreamInit::kIid, reinterpret_cast<void**>(&persist));
    object->Release();
    if (FAILED(hr) || !persist)
        return 0;
    hr = mAnalysisManager->ReportStored(mClientId, 0, persist, mSettings->mLoaded ? 65535 : 0);
    persist->Release();
    return hr == S_OK ? 1 : 0;
}

void Document::ReportRange(DWORD value)
{
    if (mAnalysisManager && (mSettings->mStoredWithHost || mSettings->mLoaded))
        mAnalysisManager->ReportRange(mClientId, value, mSettings->mRangeStart, mSettings->mRangeEnd);
}

void Document::ClearRequest(DWORD)
{
    if (mAnalysisManager && (mSettings->mStoredWithHost || mSettings->mLoaded)
        && mAnalysisManager->Confirm(mClientId) == S_OK && !Busy())
        ClearAnalysis(kEverything, true);
}

void Document::ReanalyseRequest(DWORD)
{
    if (mAnalysisManager && (mSettings->mStoredWithHost || mSettings->mLoaded)
        && mAnalysisManager->Confirm(mClientId) == S_OK && !Busy() && !Busy())
        Reanalyse(kEverything, 4);
}

// ---- Commands

void Document::CmdSettings()
{
    if (!Host())
        return;
    Settings* raw = nullptr;
    if (FAILED(mSettings->Clone(&raw)) || !raw)
        return;
    const auto clone = vx::com::Ref<Settings>::Adopt(raw);
    std::vector<std::wstring> titles;
    const int32_t count = Host()->ChannelCount();
    for (int32_t n = 0; n < count; ++n) {
        BSTR title = nullptr;
        titles.push_back(SUCCEEDED(Host()->ChannelTitle(n, &title)) && title ? std::wstring(title) : std::wstring());
        SysFreeString(title);
    }
    const SettingsDialogRunner runDialog = GetSettingsDialog();
    if (!runDialog) {
        vx::log::WriteLine("HRV Settings: no settings dialog was given to the document");
        return;
    }
    // Modal over the application's main window, when there is one.
    if (!runDialog(vx::ui::GetApplication().mainWindow, std::move(titles), *clone.Get(), Host()->Dialogs(), Host()))
        return;
    SetAnalysisRange(*clone.Get(), 4);
    const uint32_t mask = clone->Compare(mSettings.Get());
    if (mask > 0xFFFFFFu)
        ClearAnalysis(mask, false);
    mSettings->CopyFields(*clone.Get());
    if (mask != 0)
        InvalidateAnalysis();
    if (!Busy() && mask != 0)
        Reanalyse(mask, 4);
}

void Document::CmdShowMarkers()
{
    SendDocMessage(MessageId(kMsgToggleEventMarkers), 0);
}
void Document::CmdOnlineMode()
{
    SendDocMessage(MessageId(kMsgToggleOnlineMode), 0);
}
void Document::CmdReselect()
{
    SendDocMessage(MessageId(kMsgReselectAnalyzedRegion), 0);
}
void Document::CmdClearAnalysis()
{
    SendDocMessage(MessageId(kMsgClearAnalysis), 0);
}
void Document::CmdAnalyse()
{
    SendDocMessage(MessageId(kMsgAnalyze), 0);
}

HRESULT Document::PlotsPopupOpening(ULONGLONG menu, ULONGLONG)
{
    auto* popup = reinterpret_cast<IPopupMenu*>(static_cast<std::uintptr_t>(menu));
    if (!popup)
        return 0;
    for (int i = popup->Count() - 1; i >= 0; --i)
        popup->RemoveAt(i);
    static const UINT kTexts[] = { 45, 48, 51, 54, 57 };
    // Plain items: their ids are the command numbers 5 to 9, which the chosen-item notification
    // takes back.
    for (DWORD n = kCmdTachogram; n <= kCmdSpectrum; ++n)
        popup->Append(n, DocumentText(kTexts[n - kCmdTachogram]).ToWString());
    return 0;
}

HRESULT Document::PlotsPopupChosen(ULONGLONG item, ULONGLONG)
{
    const DWORD n = static_cast<DWORD>(item) & 0xFFFF;
    if (n < kCmdTachogram || n > kCmdSpectrum)
        return E_FAIL;
    OnCommand(CommandId(n));
    return 0;
}

void Document::EnableWhenNotBusy(ICommandEnabler*& enabler)
{
    enabler->Enable(Busy() ? 0 : 0xFFFF);
}
void Document::EnableShowMarkers(ICommandEnabler*& enabler)
{
    enabler->Enable(Busy() ? 0 : 0xFFFF);
    enabler->SetCheck(mSettings->mShowEventMarkers ? 0xFFFF : 0);
}
void Document::EnableAlways(ICommandEnabler*& enabler)
{
    enabler->Enable(0xFFFF);
}
void Document::EnableNever(ICommandEnabler*& enabler)
{
    enabler->Enable(0);
}
void Document::EnableOnlineMode(ICommandEnabler*& enabler)
{
    enabler->Enable(Host() && Host()->CanSample() > 0 ? 0xFFFF : 0);
    enabler->SetCheck(mSettings->mAnalyzeWhileSampling ? 0xFFFF : 0);
}
void Document::EnableWithRange(ICommandEnabler*& enabler)
{
    enabler->Enable(!Busy() && mSettings->HasValidRange() ? 0xFFFF : 0);
}
void Document::EnableAnalyse(ICommandEnabler*& enabler)
{
    enabler->Enable(Busy() ? 0 : 0xFFFF);
    enabler->SetText(DocumentText(mSettings->mUseSelection ? 84 : 83).ToWString().c_str());
}

// ---- Named messages

HRESULT Document::OnAnalyze()
{
    if (Busy())
        return 1;
    ClearAnalysis(kEverything, false);
    if (SetAnalysisRange(*mSettings.Get(), 4)) {
        DropRegionObject();
        StoreWithHost();
        mSettings->mDirty = true;
    }
    if (Busy())
        return 1;
    Reanalyse(kEverything, 4);
    return 1;
}

HRESULT Document::OnClearAnalysis()
{
    if (!Busy())
        ClearAnalysis(kEverything, true);
    return 1;
}

HRESULT Document::OnReselectAnalyzedRegion()
{
    if (Busy() || !Host() || !mSettings->HasValidRange())
        return 1;
    Host()->ClearSelection();
    Host()->SelectRegion(mSettings->mRangeStart, mSettings->mRangeEnd);
    Host()->SelectChannel(mSettings->mSourceChannel);
    return 1;
}

HRESULT Document::OnToggleOnlineMode()
{
    if (Busy())
        return 1;
    mSettings->mAnalyzeWhileSampling = !mSettings->mAnalyzeWhileSampling;
    mSettings->mDirty = true;
    AttachOnlineSink();
    InvalidateAnalysis();
    return 1;
}

HRESULT Document::OnToggleEventMarkers()
{
    if (Busy())
        return 1;
    mSettings->mShowEventMarkers = !mSettings->mShowEventMarkers;
    mSettings->mDirty = true;
    InvalidateAnalysis();
    const DetectorSettings ds = DetectorView();
    mDetector.SyncFiducialChannel(&ds);
    return 1;
}

// ---- Host notifications

void Document::OnAttached(ULONGLONG a, ULONGLONG b)
{
    const ULONGLONG site = Host() ? Host()->ChildSite() : 0;
    if (!site || a != site || b != site)
        return;
    RegisterWithManager();
    AttachOnlineSink();
    RebuildChannelCalcMap();
    Reanalyse(kEverything, 4);
    CheckRangeStillValid();
}

void Document::CheckRangeStillValid()
{
    const Settings& s = *mSettings.Get();
    if (!s.HasValidRange() || !Host())
        return;
    if (!Host()->RegionExists(s.mRangeStart, s.mRangeEnd)
        || !Host()->ChannelHasData(s.mSourceChannel, s.mSourceChannelFlags, s.mRangeStart.mRecord, s.mRangeEnd.mRecord))
        ClearAnalysis(kEverything, true);
}

void Document::OnRegionChanged(ULONGLONG first, ULONGLONG last)
{
    // Each value carries a position: the record in the high half, the offset in the low half.
    const Position p1 { static_cast<int32_t>(first & 0xFFFFFFFFu), static_cast<int32_t>(first >> 32) };
    const Position p2 { static_cast<int32_t>(last & 0xFFFFFFFFu), static_cast<int32_t>(last >> 32) };
    if (IsInAnalysisRange(p1, p2))
        ClearAnalysis(kEverything, true);
}

void Document::OnChannelChanged(DWORD channel)
{
    if (channel == mSettings->mSourceChannel)
        ClearAnalysis(kEverything, true);
}

void Document::OnChannelSetupChanged(ULONGLONG channel, ULONGLONG calculation)
{
    const Settings& s = *mSettings.Get();
    if (s.HasValidRange() && static_cast<uint32_t>(channel) == s.mSourceChannel && Host()) {
        if (!Host()->RegionExists(s.mRangeStart, s.mRangeEnd)
            || !Host()->ChannelHasData(
                s.mSourceChannel, s.mSourceChannelFlags, s.mRangeStart.mRecord, s.mRangeEnd.mRecord))
            ClearAnalysis(kEverything, true);
        else if (!Busy())
            Reanalyse(kEverything, 4);
    }
    // A channel that now shows a beat measure gets its guide lines and joins the map; one that lost
    // its calculation loses its guide lines and leaves it.
    const auto n = static_cast<int32_t>(channel);
    CalculationChoice choice;
    if (IChannelCalc* calc = calculation ? HRVChannelCalcChoice(n, choice) : nullptr) {
        calc->Release();
        RefreshChannelCalcGuides(n, choice);
        mChannelCalcMap.insert(static_cast<uint32_t>(n));
    } else if (!calculation && mChannelCalcMap.erase(static_cast<uint32_t>(n))) {
        ClearGuideLines(n);
    }
}

// ---- Online data sink

HRESULT Document::MaySamplingStart(WORD* verdict)
{
    return vx::hf::Guarded("HRV document: online sampling start", [&]() -> HRESULT {
        if (!verdict)
            return E_POINTER;
        *verdict = 0xFFFF;
        Settings& s = *mSettings.Get();
        if (!s.mAnalyzeWhileSampling)
            return 0;
        if (s.HasValidRange() && Host()) {
            const Position end = Host()->DataEnd();
            if (s.mRangeEnd < end)
                *verdict = 0;
        }
        if (*verdict == 0xFFFF)
            return 0;
        int answer = Host() ? Host()->MessageBox(
                         DocumentText(1).ToWString().c_str(), DocumentText(4).ToWString().c_str(), 0x2031, 0x800B0004u)
                            : 0;
        if (answer == 0)
            answer = 1; // the host cannot ask: as OK
        if (answer == 1) {
            *verdict = 0xFFFF;
            ClearAnalysis(0x4FFFFFFu, false);
            if (s.mRangeStart.IsSet() || s.mRangeEnd.IsSet()) {
                s.mRangeStart.mRecord = kPositionNotSet;
                s.mRangeEnd.mRecord = kPositionNotSet;
                s.mDirty = true;
            }
        } else {
            *verdict = 0;
        }
        return *verdict == 0xFFFF ? 0 : 1;
    });
}

HRESULT Document::SamplingFinished()
{
    return vx::hf::Guarded("HRV document: online sampling finished", [&]() -> HRESULT {
        Settings& s = *mSettings.Get();
        if (!s.mAnalyzeWhileSampling || !SetAnalysisRange(s, 0))
            return 0;
        if (mAnalysisManager && mAnalysisManager->Confirm(mClientId) == S_OK)
            mAnalysisManager->Drop(mClientId);
        StoreWithHost();
        s.mDirty = true;
        Reanalyse(0xFF000000u, 0);
        return 0;
    });
}

HRESULT Document::RecordStart(WORD follow)
{
    return vx::hf::Guarded("HRV document: online record start", [&]() -> HRESULT {
        mLastRecord = follow ? -1 : 0;
        if (!follow || !mSettings->mAnalyzeWhileSampling || !Host())
            return 0;
        IAnalysisHost* host = Host()->AnalysisHost();
        const Settings& s = *mSettings.Get();
        const double previousEnd = mEngine.mSegments.mSegmentEnd;
        const int32_t record = host ? host->SampledRecord() : -1;
        if (!mEngine.StartOnline(host, mDetector.GetFiducialChannel(), record, 0, AnalysisParametersFrom(s))) {
            mEngine.StopOnline();
            return E_FAIL;
        }
        // The SDARR segments run on across records: the segment end moves forward by whole segment
        // lengths from where it was (or from the record's time base) until it lies past the base.
        const double length = s.mSDARRAveraging;
        double end = previousEnd > 0.0 ? previousEnd : mEngine.mTimeBase;
        if (length > 0.0 && std::isfinite(length))
            while (end <= mEngine.mTimeBase)
                end += length;
        mEngine.mSegments.mSegmentLength = length;
        mEngine.mSegments.mSegmentEnd = end;
        return 0;
    });
}

HRESULT Document::RecordEnd()
{
    return vx::hf::Guarded("HRV document: online record end", [&]() -> HRESULT {
        if (!mLastRecord || !mSettings->mAnalyzeWhileSampling)
            return 0;
        SendUpdate(MsgIdAnalysisChanging(), kUpdateRecord);
        const int result = mEngine.ProcessOnline();
        // Views that heard Changing wait for its Changed, also when nothing was added.
        SendUpdate(MsgIdAnalysisChanged(), kUpdateRecord);
        return result == 1 ? 1 : 0;
    });
}

HRESULT Document::SamplingEnd()
{
    return vx::hf::Guarded("HRV document: online sampling end", [&]() -> HRESULT {
        if (!mLastRecord || !mSettings->mAnalyzeWhileSampling)
            return 0;
        SendUpdate(MsgIdAnalysisChanging(), kUpdateSamplingEnd);
        mEngine.ProcessOnline();
        if (Host()) {
            const Position end = Host()->DataEnd();
            RecordInfo info;
            IAnalysisHost* host = Host()->AnalysisHost();
            if (host && host->GetRecordInfo(end.mRecord, info)) {
                const double time = TimeOfPosition(info, end.mOffset);
                if (!mEngine.mRR.empty() && time >= mEngine.mSegments.mSegmentEnd) {
                    mEngine.mSegments.CloseSegment();
                    mEngine.mSegments.mSegmentEnd = SegmentStats::NextSegmentEnd(
                        mEngine.mSegments.mSegmentEnd, mEngine.mSegments.mSegmentLength, time);
                }
            }
        }
        mEngine.StopOnline();
        SendUpdate(MsgIdAnalysisChanged(), kUpdateSamplingEnd);
        return 0;
    });
}

HRESULT Document::NewData()
{
    return vx::hf::Guarded("HRV document: online data", [&]() -> HRESULT {
        Settings& s = *mSettings.Get();
        if (!s.mAnalyzeWhileSampling)
            return 0;
        SendUpdate(MsgIdAnalysisChanging(), kUpdateNewData);
        if (Host()) {
            const Position end = Host()->DataEnd();
            if (end != s.mRangeEnd) {
                s.mRangeEnd = end;
                s.mDirty = true;
                InvalidateAnalysis();
                const DetectorSettings ds = DetectorView();
                mDetector.Update(kStageFiducial, &ds);
                mEngine.Analyse(kChangePRR, Host()->AnalysisHost(), mDetector.GetFiducialChannel(),
                    ToRecordPosition(s.mRangeStart), ToRecordPosition(s.mRangeEnd), AnalysisParametersFrom(s));
            }
        }
        SendUpdate(MsgIdAnalysisChanged(), kUpdateNewData);
        return 0;
    });
}

// ---- Event table

namespace {
using Rows = EventRows<Document>;
template <DWORD N> constexpr EventId Cmd()
{
    return EventIdOf(&DocumentId<N>::Get);
}

const EventTableEntry kDocumentRows[] = {
    Rows::Header(),
    Rows::Command<&Document::CmdSettings>(Cmd<1>()),
    Rows::Enable<&Document::EnableWhenNotBusy>(Cmd<1>()),
    Rows::Command<&Document::CmdOpenView<5>>(Cmd<2>()),
    Rows::Enable<&Document::EnableAlways>(Cmd<2>()),
    Rows::Command<&Document::CmdOpenView<0>>(Cmd<3>()),
    Rows::Enable<&Document::EnableAlways>(Cmd<3>()),
    Rows::Notify<&Document::PlotsPopupOpening>(6, Cmd<4>()),
    Rows::Notify<&Document::PlotsPopupChosen>(7, Cmd<4>()),
    Rows::Command<&Document::CmdOpenView<1>>(Cmd<5>()),
    Rows::Command<&Document::CmdOpenView<3>>(Cmd<6>()),
    Rows::Command<&Document::CmdOpenView<4>>(Cmd<7>()),
    Rows::Command<&Document::CmdOpenView<6>>(Cmd<8>()),
    Rows::Command<&Document::CmdOpenView<2>>(Cmd<9>()),
    Rows::Command<&Document::AddBeatMarker>(Cmd<10>()),
    Rows::Enable<&Document::EnableAddMarker>(Cmd<10>()),
    Rows::Command<&Document::RemoveBeatMarkers>(Cmd<11>()),
    Rows::Enable<&Document::EnableRemoveMarkers>(Cmd<11>()),
    Rows::Command<&Document::CmdShowMarkers>(Cmd<12>()),
    Rows::Enable<&Document::EnableShowMarkers>(Cmd<12>()),
    Rows::Command<&Document::CmdAllBeatsNormal>(Cmd<13>()),
    Rows::Enable<&Document::EnableAllBeatsNormal>(Cmd<13>()),
    Rows::Command<&Document::CmdNothing>(Cmd<14>()),
    Rows::Enable<&Document::EnableNever>(Cmd<14>()),
    Rows::Command<&Document::CmdOnlineMode>(Cmd<15>()),
    Rows::Enable<&Document::EnableOnlineMode>(Cmd<15>()),
    Rows::Command<&Document::CmdReselect>(Cmd<16>()),
    Rows::Enable<&Document::EnableWithRange>(Cmd<16>()),
    Rows::Command<&Document::CmdClearAnalysis>(Cmd<17>()),
    Rows::Enable<&Document::EnableWithRange>(Cmd<17>()),
    Rows::Command<&Document::CmdAnalyse>(Cmd<18>()),
    Rows::Enable<&Document::EnableAnalyse>(Cmd<18>()),
    Rows::Message<&Document::OnToggleEventMarkers>(Cmd<kMsgToggleEventMarkers>()),
    Rows::Message<&Document::OnToggleOnlineMode>(Cmd<kMsgToggleOnlineMode>()),
    Rows::Message<&Document::OnReselectAnalyzedRegion>(Cmd<kMsgReselectAnalyzedRegion>()),
    Rows::Message<&Document::OnClearAnalysis>(Cmd<kMsgClearAnalysis>()),
    Rows::Message<&Document::OnAnalyze>(Cmd<kMsgAnalyze>()),
    Rows::ObserverValue<&Document::ReportRange>(EventIdOf(&AnalysisManagerEventId<7>::Get)),
    Rows::ObserverValue<&Document::ClearRequest>(EventIdOf(&AnalysisManagerEventId<5>::Get)),
    Rows::ObserverValue<&Document::ReanalyseRequest>(EventIdOf(&AnalysisManagerEventId<6>::Get)),
    Rows::ObserverPair<&Document::OnAttached>(EventIdOf(0x80000000u)),
    Rows::ObserverPair<&Document::OnDetaching>(EventIdOf(0x80000001u)),
    Rows::Observer<&Document::CheckRangeStillValid>(EventIdOf(&RecordingEventId<4>::Get)),
    Rows::ObserverPair<&Document::OnRegionChanged>(EventIdOf(&RecordingEventId<14>::Get)),
    Rows::ObserverValue<&Document::OnChannelChanged>(EventIdOf(&RecordingEventId<20>::Get)),
    Rows::ObserverPair<&Document::OnRegionChanged>(EventIdOf(&RecordingEventId<16>::Get)),
    Rows::ObserverValue<&Document::OnChannelChanged>(EventIdOf(&RecordingEventId<22>::Get)),
    Rows::ObserverPair<&Document::OnChannelSetupChanged>(EventIdOf(&RecordingEventId<6>::Get)),
    Rows::End(),
};
} // namespace

const EventTable& Document::GetEventTable()
{
    static const EventTable table(kDocumentRows);
    return table;
}

} // namespace HRV
