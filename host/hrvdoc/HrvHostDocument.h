#pragma once
// The host document as the HRV document sees it: the host's document of a recording (its
// calculation engine with the detector's named channels and the extension's enumerators, its
// online registry and sampling) with the five interfaces the HRV document calls, each answered by
// its own side over the one shared state (HrvHostState):
//   DocumentHostSide     HRV::IDocumentHost: selection, busy state, data-child store, store of
//                        persisted objects, online registry, updates, messages, message boxes;
//   DetectorHostSide     HRV::IDetectorHost: the detector's named formula channels and links;
//   AnalysisHostSide     HRV::IAnalysisHost: record timing, live events, the host's comments;
//   AnalysisManagerSide  HRV::IAnalysisManager: the analyses registered as clients;
//   DialogServiceSide    HRV::IDialogService: the settings dialog answered from the options.
// The document itself attaches the HRV document, registers the extension's classes with the
// engine and can play a recording into itself as if it were being sampled.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/hrvdoc/AnalysisHostSide.h"
#include "host/hrvdoc/AnalysisManagerSide.h"
#include "host/hrvdoc/DetectorHostSide.h"
#include "host/hrvdoc/DialogServiceSide.h"
#include "host/hrvdoc/DocumentHostSide.h"
#include "host/hrvdoc/HrvHostState.h"
#include "host/tracedraw/TraceHost.h"

namespace vx::host {

// The sides are constructed after the state they share, and the document side last: it hands
// out the others.
class HrvHostDocument final : public HrvHostState,
                              public DetectorHostSide,
                              public AnalysisHostSide,
                              public AnalysisManagerSide,
                              public DialogServiceSide,
                              public DocumentHostSide {
public:
    using ChannelRefusal = vx::host::ChannelRefusal;

    HrvHostDocument(std::shared_ptr<Recording> recording, HrvHostOptions options = {});
    ~HrvHostDocument();

    // The document's message handler (messages routed back to it) and its observer (the host's
    // notifications: a channel that gets or loses its calculation), held until Detach.
    void Attach(IUnknown* document);
    void Detach();

    // Both the detector and the analysis ask for the record count: the recording's.
    using HrvHostState::RecordCount;

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

    // The named formula channels, in the order they were made.
    const std::vector<std::wstring>& NamedChannels() const { return names; }

    // Makes the calculation-enumerator classes among the extension's class objects callable from
    // this document's formulas: created with its data store, and told while a record grows.
    // Returns how many were registered (the engine's refusal propagates as CalcError).
    int RegisterEnumerators(const std::vector<IUnknown*>& classObjects);
    // Takes the channel-calculation classes and their settings classes among the extension's
    // class objects, and makes the factory of the formula calculations their calculations ask
    // for, under the keys of the framework's type registry.
    void RegisterCalculationClasses(const std::vector<IUnknown*>& classObjects, ITypeIdRegistry* types);
    CalculationClassRegistry& CalculationClasses() { return calcClasses; }
    IObjectFactory* CalculationFactory() { return calcFactory; }

private:
    void NotifyChannelSetup(std::uint32_t channel, IChannelCalc* calc);
    bool BeginOnline(const Recording& source, int sourceRecord);
    void DeliverOnline(const std::vector<std::span<const float>>& block);
    void EndOnline();

    bool mOnlineShared = false; // the record being sampled shares the source's decoded channels
    std::unique_ptr<TimedPlayback> mPlay;
};

} // namespace vx::host
