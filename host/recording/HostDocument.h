#pragma once
// The host's document of a recording, as extensions reach it: the recording's channels and
// their data objects, named formula channels evaluated by the calculation engine, channel
// links, channel calculations, the data access of data-pad functions and the online-data
// service that delivers sampled blocks to registered sinks.
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/calc/Engine.h"
#include "host/recording/Recording.h"
#include "hostframework/datapad/DataPadInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/RecordingInterfaces.h"

namespace vx::host {

class HostDocument final : public IRecordingDoc,
                           public IOnlineRegistry,
                           public IChannelNames,
                           public IChannelCollection,
                           public IChannelValues,
                           public IDataAccess,
                           public IDocumentTime {
public:
    // Count 1 for the creator.
    explicit HostDocument(std::shared_ptr<Recording> recording);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;

    Recording& Data() { return *mRecording; }
    std::shared_ptr<Recording> SharedData() const { return mRecording; }
    calc::Engine& Engine() { return mEngine; }
    // The channel number of a named channel, -1 when the name is unknown.
    int NamedChannelNumber(const std::wstring& name) const;
    const std::wstring* NameOfNumber(std::uint32_t number) const;

    // Channel calculations: the one attached to a channel (held), or null.
    IChannelCalculation* CalculationOf(std::uint32_t channel) const;
    void SetCalculation(std::uint32_t channel, IChannelCalculation* calc);
    void ClearCalculation(std::uint32_t channel, IChannelCalculation* calc);

    // Channel calculations of an extension's calculation class: the host asks the class for a
    // calculation of a named channel (on a site that gives the document, the channel and the
    // factory), hands it the settings and keeps it for the channel, in place of the one it had.
    // E_INVALIDARG for a channel that is not a named one. The calculation's own answer to its
    // settings is returned (S_FALSE: it set up nothing yet); a failure keeps nothing.
    HRESULT ComputeChannel(
        std::uint32_t channel, ICalculationClass* calcClass, IUnknown* settings, IObjectFactory* factory);
    // The calculation computing a channel (not counted), or null.
    IChannelCalc* ChannelCalcOf(std::uint32_t channel) const;
    // The computed channels with the class and the calculation computing each (not counted), in
    // order of channel.
    struct ComputedChannelInfo {
        std::uint32_t channel;
        ICalculationClass* calcClass;
        IChannelCalc* calc;
    };
    std::vector<ComputedChannelInfo> ComputedChannels() const;
    // Counts the channels set up or dropped, so that whoever keeps them can tell what is new.
    std::uint64_t ComputedChanges() const { return mComputedChanges; }
    // Told when a channel gets a calculation (set up by ComputeChannel) or loses it (null: its
    // name removed), after the change; the host passes it on to the documents on the recording.
    using ChannelSetupListener = std::function<void(std::uint32_t channel, IChannelCalc* calc)>;
    void SetChannelSetupListener(ChannelSetupListener listener) { mSetupListener = std::move(listener); }
    // Samples of a computed channel, through its calculation: E_INVALIDARG when no calculation
    // computes it; S_FALSE when the calculation has nothing to show.
    HRESULT ReadComputedChannel(std::uint32_t channel, LONG record, LONG start, std::span<float> out);

    // Online sampling: a new record at the sample interval, blocks of samples (one span per
    // recorded channel, all the same length), the end. Sinks hear of each step. A block that
    // does not fit (not sampling, wrong channel count, ragged) is refused whole.
    bool StartSampling(double interval);
    bool DeliverBlock(const std::vector<std::span<const float>>& channels);
    // The same for a record whose channels all share the samples of channels decoded from a file
    // (SampleStore::Prefix): each shows `count` more of its samples, nothing is copied. False
    // (nothing changed) when a channel is not such a store or has fewer samples left.
    bool DeliverShared(int64_t count);
    void StopSampling();
    std::size_t SinkCount() const { return mSinks.size(); }

    // IRecordingDoc
    HRESULT GetShownChannelCount(ULONG* count) override;
    HRESULT GetChannelCount(ULONG* count) override;
    HRESULT GetCalculatedChannelCount(DWORD reserved, ULONG* count) override;
    HRESULT GetSampleInterval(DWORD kind, LONG record, ULONG channel, double* interval) override;
    HRESULT GetDataObject(
        DWORD kind, ULONG channel, std::int64_t position, LONG limit, DWORD reserved, IUnknown** out) override;
    HRESULT GetSourceObject(DWORD kind, LONG record, ULONG channel, IUnknown** out) override;
    HRESULT GetChannelValues(IUnknown** out) override;
    // IOnlineRegistry
    HRESULT AddSink(IOnlineDataSink* sink) override;
    HRESULT RemoveSink(IOnlineDataSink* sink) override;
    // IChannelNames
    HRESULT CreateNamedChannel(DWORD, const wchar_t* name, IKELString** text, vx::hf::ChannelRef* ref) override;
    HRESULT RemoveName(DWORD, const wchar_t* name) override;
    HRESULT LookUp(DWORD, const wchar_t* name, vx::hf::ChannelRef* ref) override;
    HRESULT NameOf(DWORD, vx::hf::ChannelRef ref, IKELString** text) override;
    HRESULT AddLinkItem(DWORD, vx::hf::ChannelRef key, const vx::hf::LinkItem* item) override;
    HRESULT ReadLinkItem(DWORD, vx::hf::ChannelRef key, ULONG i, vx::hf::LinkItem* item, ULONG* count) override;
    HRESULT RemoveLinkItem(DWORD, vx::hf::ChannelRef key, const vx::hf::LinkItem* item) override;
    HRESULT SetNameFlag(DWORD, const wchar_t* name, WORD value) override;
    HRESULT GetNameFlag(DWORD, const wchar_t* name, WORD* value) override;
    // IChannelCollection
    HRESULT GetChannelObject(vx::hf::ChannelRef ref, IChannelObject** out) override;
    // IChannelValues
    HRESULT GetValueRange(DWORD reserved, ULONG channel, DWORD kind, vx::hf::ValueRange* range) override;
    HRESULT GetSetting(DWORD code, LONG record, ULONG channel, void* out) override;
    // IDataAccess
    HRESULT GetChannelSetting(DWORD kind, LONG channel, LONG record, IUnknown** out) override;
    HRESULT GetText(DWORD code, LONG value, LONG channel, BSTR* text) override;
    HRESULT GetSourceDescriptor(DWORD reserved, vx::hf::SourceDescriptor* out) override;
    // IDocumentTime
    HRESULT IsTickValid(std::int64_t tick) override;
    HRESULT PositionsToTicks(const vx::hf::DocPosition* start, const vx::hf::DocPosition* end, std::int64_t* startTick,
        std::int64_t* endTick) override;
    HRESULT TickToPosition(std::int64_t tick, vx::hf::DocPosition* position) override;
    HRESULT GetRecordCount(LONG* count) override;
    HRESULT GetRecordEndTick(LONG record, std::int64_t* tick) override;
    HRESULT GetTickTime(std::int64_t tick, double* seconds) override;

    // The stream of a channel (recorded or named) in a record from an offset; null when there is
    // no such channel or record.
    IUnknown* MakeStream(std::uint32_t channel, LONG record, LONG offset);

private:
    ~HostDocument();

    std::shared_ptr<Recording> mRecording;
    calc::Engine mEngine;
    std::atomic<ULONG> mRefCount { 1 };
    std::vector<std::wstring> mNamed; // channel number - recorded count -> name ("" once removed)
    std::map<std::wstring, WORD> mNameFlags;
    std::map<std::uint32_t, std::vector<vx::hf::LinkItem>> mLinks;
    std::map<std::uint32_t, IChannelCalculation*> mCalculations;
    struct ComputedChannel {
        IChannelCalc* calc; // held
        IUnknown* site; // held; forgets the document when the document goes
        ICalculationClass* calcClass; // held
    };
    std::map<std::uint32_t, ComputedChannel> mComputed;
    std::uint64_t mComputedChanges = 0;
    ChannelSetupListener mSetupListener;
    // True when the channel had a calculation.
    bool DropComputed(std::uint32_t channel);
    std::vector<IOnlineDataSink*> mSinks; // not held: sinks remove themselves
};

// A view of a document: the document's selection and a displayed range, handed out under the
// view-range key.
class HostView final : public IHostView {
public:
    HostView(HostDocument* document, DWORD rangeKey);
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetSelection(IViewSelection** out) override;
    HRESULT GetDocument(IUnknown** out) override;
    HRESULT GetKeyedObject(DWORD key, IUnknown** out) override;

    // The displayed range and its time scale.
    std::int64_t rangeStart = 0;
    std::int64_t rangeEnd = 0;
    double scale = 1.0;

private:
    ~HostView();
    std::atomic<ULONG> mRefCount { 1 };
    HostDocument* mDocument;
    DWORD mRangeKey;
};

// The host's object factory for the classes extensions ask for here: formula calculations and
// their settings objects, under the keys the host registered for them.
class HostObjectFactory final : public IObjectFactory {
public:
    HostObjectFactory(DWORD formulaCalcKey, DWORD formulaSettingsKey);
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateAggregated(IUnknown* outer, DWORD classKey, REFIID iid, void** out) override;
    HRESULT CreateInstance(DWORD classKey, REFIID iid, void** out) override;

private:
    ~HostObjectFactory() = default;
    std::atomic<ULONG> mRefCount { 1 };
    DWORD mCalcKey;
    DWORD mSettingsKey;
};

} // namespace vx::host
