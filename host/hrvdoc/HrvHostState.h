#pragma once
// What the host document of a recording keeps for the HRV document, shared by the classes that
// answer the document's interfaces (DocumentHostSide, DetectorHostSide, AnalysisHostSide,
// AnalysisManagerSide, DialogServiceSide): the recording and the host's document of it, the
// options the host set, and what the document has told and asked the host so far.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/calc/Engine.h"
#include "host/recording/CalculationClasses.h"
#include "host/recording/HostDocument.h"
#include "host/recording/Recording.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace vx::host {

struct HrvHostOptions {
    // The answer of every message box; 0: the host cannot show one.
    int messageBoxAnswer = 0;
    // Told of the text of every message box shown, before it is answered.
    std::function<void(const std::wstring& text)> messageShown;
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
    // Told of every update the document sends (message id, code), after it is counted: the
    // desktop host redraws what the analysis changed and its views follow the analysis.
    std::function<void(DWORD messageId, DWORD code)> updated;
    // Told of online play: the record being sampled and the step (started, a block added, stopped),
    // after the document's sinks have heard of it.
    enum class OnlineStep { Started, Block, Stopped };
    std::function<void(int record, OnlineStep step)> online;
    // Told after the selection was set or cleared (by the document or by the host).
    std::function<void()> selectionChanged;
};

// What the document told and asked the host, kept for a test that attaches it to the host
// document (HrvHostDocument::AttachRecorder). Without one the host builds none of it.
struct HrvHostRecorder {
    // Every update the document sent (message id, code), in order.
    std::vector<std::pair<DWORD, DWORD>> updates;
    // One line per call worth following ("selection.clear", "store.add 00010002", ...).
    std::vector<std::string> log;
    // The texts of the message boxes shown, in order.
    std::vector<std::wstring> messages;
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

// Why the detector's channels could not be made: the first of its channel requests that the
// engine refused and that still stands (the later stages then fail for want of it), in the
// user's words, with the setting to change when one setting is to blame.
struct ChannelRefusal {
    std::string reason; // empty: no refusal stands
    std::string setting; // the settings field without its 'm', e.g. "LowPassCutoff"
};

class HrvHostState {
public:
    HrvHostState(std::shared_ptr<Recording> recording, HrvHostOptions options);
    ~HrvHostState();
    HrvHostState(const HrvHostState&) = delete;
    HrvHostState& operator=(const HrvHostState&) = delete;

    HrvHostOptions options;

    // ---- The document's services (DocumentHostSide)
    bool busy = false;
    int canSample = 1;
    HRV::Position selectionStart { 0, 0 }, selectionEnd { 0, 0 };
    bool hasSelection = false;
    // The selection is a cursor at selectionStart rather than a stretch.
    bool selectionIsPoint = false;
    std::map<DWORD, IVarnDataChildData*> dataChildren; // held
    std::map<DWORD, IPersist*> stored; // held
    bool regionObject = false;
    IOnlineDataSink* onlineSink = nullptr; // the sink registered through this host, not held
    std::vector<HostCommentEntry> comments;
    std::vector<ShownComment> shownComments;
    // What the guide-line messages set, by channel (drawn by the chart; kept here headless).
    std::map<int32_t, ChannelGuides> guides;
    // The view classes the document asked the host to open, in order.
    std::vector<DWORD> openedViews;
    // The document's message handler (messages routed back to it) and its observer (the host's
    // notifications), held while the document is attached.
    IMessageHandler* documentHandler = nullptr;
    IObserver* documentObserver = nullptr;

    // ---- The detector's channels (DetectorHostSide)
    // Channel requests of the detector, in order ("+name" added, "-name" removed).
    std::vector<std::wstring> channelRequests;
    std::set<std::pair<uint64_t, uint64_t>> links;
    // What the channel-link interface was told, by channel name.
    std::map<std::wstring, std::pair<WORD, std::wstring>> keptChannels;
    std::vector<std::wstring> names; // the detector's named channels, in creation order
    // The channel requests refused and not made since, in the order they were refused.
    std::vector<std::pair<std::wstring, ChannelRefusal>> refusals;

    // ---- The analysis manager's clients (AnalysisManagerSide)
    std::map<int32_t, std::wstring> managerClients;

    // ---- Online play
    // The sampled record has all its data (its end is near).
    bool recordComplete = false;

    // The document's count of computed-channel changes that the session file holds.
    std::uint64_t savedComputedChanges = 0;

    // How many updates the document has sent: what has changed since a count was taken.
    std::size_t UpdateCount() const { return mUpdateCount; }
    // Counts an update and tells the recorder and the host of it.
    void Updated(DWORD messageId, DWORD code);
    // Tells the recorder of a message box shown, and the host.
    void MessageShown(const std::wstring& text);
    // The recorder's log, for a line to be added; null when no recorder listens, so that the host
    // builds no lines for nobody.
    std::vector<std::string>* Log() const { return mRecorder ? &mRecorder->log : nullptr; }
    void AttachRecorder(HrvHostRecorder* recorder) { mRecorder = recorder; }

    Recording& GetRecording() { return *mRecording; }
    const Recording& GetRecording() const { return *mRecording; }
    HostDocument& Document() { return *mDocument; }
    calc::Engine& Engine() { return mDocument->Engine(); }
    int32_t RecordCount() const { return mRecording->RecordCount(); }

    // The named channel of a channel reference (empty when it names none).
    std::wstring ChannelName(const HRV::ChannelRef& ref) const;
    // The events a live enumeration may hand out now: up to the end of the record, or while the
    // record is being sampled, up to the settle time behind its data end.
    int64_t EventLimit(int32_t record) const;
    // True while the record is being sampled and its data still grow (not once the whole record
    // has been delivered).
    bool RecordGrowing(int32_t record) const;
    // Compiled channels read the recording as it was: once the recording has grown every named
    // channel is compiled again, so no stage keeps a block computed from shorter data.
    void EnsureCompiledForData();

    CalculationClassRegistry calcClasses;
    IObjectFactory* calcFactory = nullptr; // held
    // The host's notification that a channel's calculation changed (0 until the framework's type
    // registry gave its id).
    DWORD channelSetupEvent = 0;

private:
    void RecompileChannels();

    std::shared_ptr<Recording> mRecording;
    HostDocument* mDocument; // held
    HrvHostRecorder* mRecorder = nullptr;
    std::size_t mUpdateCount = 0;
    int64_t mCompiledFor = -1; // samples in the recording when the channels were compiled
};

} // namespace vx::host
