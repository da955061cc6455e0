#pragma once
// The host objects a trace window draws from, over the host's recording: the record source of a
// pane (which record is shown, where its samples lie on the screen), the record data of a record
// (pixel runs of a channel from per-column minimum and maximum pairs, event enumerators), scales,
// channel and display settings and event draw policies.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"
#include "host/recording/Recording.h"
#include "hostframework/interfaces/DataPaneInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/TraceDrawInterfaces.h"

namespace vx::eventdraw {
class EventDrawClasses;
}

namespace vx::host {
using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::LRESULT;
using vx::ui::WPARAM;

// Minimum, maximum, first and last stored value of the samples of one pixel column.
struct ColumnStats {
    float low;
    float high;
    float first;
    float last;
    bool any; // false: the column holds no sample (or only gaps)
};

// The per-column pairs of the last zoom drawn of each channel: a strip's worth per channel.
class ColumnCache {
public:
    struct Key {
        int channel = -1;
        int record = -1;
        double firstSample = 0;
        double samplesPerPixel = 0;
        int columns = 0;
        std::int64_t available = 0; // samples in the record when the pairs were made
        bool operator==(const Key&) const = default;
    };
    std::shared_ptr<const std::vector<ColumnStats>> Find(const Key& key) const;
    void Store(const Key& key, std::shared_ptr<const std::vector<ColumnStats>> columns);
    // Bytes held, for the benchmark's memory figure.
    std::size_t Bytes() const;

private:
    mutable std::mutex mLock;
    std::map<int, std::pair<Key, std::shared_ptr<const std::vector<ColumnStats>>>> mByChannel;
};

// Events the host computed rather than read (the analysis's beats), as a snapshot of their
// records per recording record, taken after each analysis. They are shown as the event channel
// after the recording's own.
struct ComputedEvents {
    DWORD type = 0; // the event type the event-draw classes know them by
    std::uint32_t recordSize = 0;
    std::vector<std::shared_ptr<const std::vector<std::byte>>> records; // by record; sorted by position
};

// The current snapshot of a document's computed events, shared by every record source made from
// the document, so that a new snapshot reaches the panes that already show it.
class ComputedEventChannel {
public:
    void Set(std::shared_ptr<const ComputedEvents> events);
    std::shared_ptr<const ComputedEvents> Get() const;

private:
    mutable std::mutex mLock;
    std::shared_ptr<const ComputedEvents> mEvents;
};

// Channels that the recording does not store, by host channel number (numbers from the
// recording's channel count on): a host document's formula channels as its calculation engine
// compiles them now, sampled or events. Nothing for a number that names no such channel.
using ComputedChannels = std::function<std::optional<calc::Compiled>(int channel)>;

// The data of one record of a recording. Event channels are numbered after the sample channels
// (channel index = channels + event channel); a number that the computed channels know is read
// from them instead.
class HostRecordData final : public SimpleUnknownImp1<IRecordData, 0> {
public:
    HostRecordData(std::shared_ptr<const Recording> recording, int record, std::shared_ptr<ColumnCache> cache,
        ComputedChannels computed = {});

    // The event type of an event channel (what its event draw policy is made for).
    void SetEventType(int eventChannel, DWORD type) { mEventTypes[eventChannel] = type; }
    // The computed events, shown as the channel after the recording's event channels.
    void SetComputedEvents(std::shared_ptr<const ComputedEventChannel> computed) { mComputed = std::move(computed); }
    // The record it answers for from now on (the record being sampled, while the host samples).
    void SetRecord(int record) { mRecord = record; }
    ULONG ComputedChannel() const;

    HRESULT GetEventType(ULONG channel, DWORD* type) override;
    HRESULT GetEndPosition(DWORD reserved, std::int64_t* end) override;
    HRESULT GetCurrentBlock(std::int64_t* block) override;
    HRESULT QueryValues(DWORD request, ULONG channel, vx::hf::DisplayRange* range) override;
    HRESULT GetPresence(ULONG channel, std::int64_t block, WORD* present) override;
    HRESULT GetValue(ULONG channel, std::int64_t position, double* value, BSTR* unit) override;
    HRESULT GetStartTime(DWORD reserved, LONG record, double* seconds) override;
    HRESULT CreateEventEnumerator(
        DWORD request, ULONG channel, DWORD reserved, LONG first, LONG last, IEnumEventEx** out) override;
    HRESULT CreateSegmentIterator(DWORD request, ULONG channel, const vx::hf::DisplayRange* range,
        std::int64_t drawnPosition, const vx::hf::StripGeometry* geometry, ISegmentIterator** out) override;

private:
    std::optional<calc::Compiled> FormulaChannel(ULONG channel) const;

    std::shared_ptr<const Recording> mRecording;
    int mRecord;
    std::shared_ptr<ColumnCache> mCache;
    ComputedChannels mFormulas;
    std::map<int, DWORD> mEventTypes;
    std::shared_ptr<const ComputedEventChannel> mComputed;
};

// The record source of a pane: shows one record from a first sample at a number of samples per
// pixel. With a colour source it also answers IColourSource; it answers IObjectFactory with the
// event draw policies of the event-draw classes it is given.
class HostRecordSource final : public SimpleUnknownImp1<IRecordSource, 0>,
                               public IColourSource,
                               public IObjectFactory,
                               public IRecordChannelScale,
                               public IPaneRecordSource {
public:
    HostRecordSource(std::shared_ptr<const Recording> recording, int record, bool colourSource = false,
        const vx::eventdraw::EventDrawClasses* eventDraw = nullptr, ComputedChannels computed = {});

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp1<IRecordSource, 0>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1<IRecordSource, 0>::Release(); }

    // The view: sample at the left edge of pixel column 0, and samples per pixel.
    void SetView(double firstSample, double samplesPerPixel);
    void SetCurrentPosition(std::int64_t position) { mPosition = position; }
    void SetColourMode(DWORD mode) { mColourMode = mode; }
    HostRecordData* RecordData() const { return mData; }
    const std::shared_ptr<ColumnCache>& Cache() const { return mCache; }
    // The axis values told by the drawers, by id.
    std::map<DWORD, LONG> axis;

    HRESULT SetAxis(DWORD id, LONG value) override;
    HRESULT GetCurrentPosition(std::int64_t* position) override;
    HRESULT GetCurrentRecord(IUnknown** recordData) override;
    HRESULT GetRecordIndex(LONG* record) override;
    HRESULT GetSampleInterval(double* seconds) override;
    HRESULT PixelsToSamples(DWORD flags, LONG record, LONG x0, LONG x1, double* first, double* last) override;
    HRESULT SampleToPixel(DWORD flags, LONG record, double sample, double* x) override;

    HRESULT GetColourMode(DWORD* mode) override;
    HRESULT GetSampleRange(DWORD flags, LONG x0, LONG x1, LONG record, double* first, double* last) override;

    HRESULT CreateInstance(DWORD classKey, REFIID iid, void** out) override;

    // A channel's unit and display range in the records where it holds samples.
    HRESULT GetRecordCount(LONG* count) override;
    HRESULT GetChannelScale(LONG record, LONG channel, BSTR* unit, vx::hf::DisplayRange* range) override;

    // The pane side: extent and view at the pane's compression; online data is read from the
    // growing recording, so the forwards only note what changed.
    HRESULT GetLatestExtent(std::int64_t* pixels) override;
    HRESULT SetCompression(std::int64_t numerator, std::int64_t denominator) override;
    HRESULT SetViewStart(double firstSample) override;
    HRESULT GetPendingUpdateFlags(DWORD* flags) override;
    HRESULT OnSamplingStarted(LONG record) override;
    HRESULT OnRecordBegins(LONG record, std::int64_t position, double time) override;
    HRESULT OnDataAdded(LONG record) override;
    HRESULT OnRecordChanged(LONG record, LONG value) override;
    HRESULT OnSamplingStopped(DWORD flag) override;
    HRESULT OnRangeChanged(LONG first, LONG second) override;
    double SamplesPerPixel() const { return mPerPixel; }
    double FirstSample() const { return mFirst; }

    ~HostRecordSource() override;

private:
    std::shared_ptr<const Recording> mRecording;
    int mRecord;
    bool mColourSource;
    const vx::eventdraw::EventDrawClasses* mEventDraw;
    std::shared_ptr<ColumnCache> mCache;
    HostRecordData* mData;
    double mFirst = 0.0;
    double mPerPixel = 1.0;
    std::int64_t mPosition = 0;
    DWORD mColourMode = 0;
    std::int64_t mNumerator = 1, mDenominator = 1;
    DWORD mPending = 0;
};

// A recording as a document for data panes: it hands out record sources of its first record and
// tells the attached panes when data is added (online play feeds it block by block). With
// computed channels its panes also draw those.
class HostPaneDocument final : public SimpleUnknownImp1<IPaneDocument, 0> {
public:
    HostPaneDocument(std::shared_ptr<Recording> recording, const vx::eventdraw::EventDrawClasses* eventDraw = nullptr,
        ComputedChannels computed = {});
    ~HostPaneDocument() override;

    HRESULT GetRecordSource(DWORD flags, IUnknown** source) override;
    HRESULT AttachPane(DWORD flags, IPaneDataSink* pane) override;
    HRESULT DetachPane(IPaneDataSink* pane, std::int64_t position) override;
    HRESULT GetSamplingDocument(DWORD flags, IPaneDocument** document) override;
    HRESULT HandOverSettings(DWORD flags, IPaneDocument* samplingDocument) override;

    const std::shared_ptr<Recording>& GetRecording() const { return mRecording; }
    std::size_t PaneCount() const { return mPanes.size(); }
    // The computed events its record sources show (after the recording's event channels).
    ComputedEventChannel& Computed() { return *mComputed; }
    ULONG ComputedChannel() const
    {
        return static_cast<ULONG>(mRecording->ChannelCount() + static_cast<int>(mRecording->eventChannels.size()));
    }
    // Online play: the sinks are told that sampling started, each block that arrives, and the
    // end. Called on the user-interface thread.
    void StartSampling(LONG record);
    void BlockAdded(LONG record);
    void StopSampling();

private:
    std::shared_ptr<Recording> mRecording;
    const vx::eventdraw::EventDrawClasses* mEventDraw;
    std::shared_ptr<ComputedEventChannel> mComputed = std::make_shared<ComputedEventChannel>();
    ComputedChannels mFormulas;
    std::vector<IPaneDataSink*> mPanes; // not referenced: a pane detaches before it goes
};

// The draw policy of one event type over the host's event-draw classes.
class HostEventDrawPolicy final : public SimpleUnknownImp1<IEventDrawPolicy, 0> {
public:
    HostEventDrawPolicy(const vx::eventdraw::EventDrawClasses& classes, DWORD type)
        : mClasses(classes)
        , mType(type)
    {
    }
    HRESULT GetColour(DWORD recordBytes, const void* event, DWORD* colour) override;

private:
    const vx::eventdraw::EventDrawClasses& mClasses;
    DWORD mType;
};

// Channel drawing and display settings kept per channel.
class HostChannelSettings final : public SimpleUnknownImp2<IChannelDrawSettings, IDisplaySettings, 0> {
public:
    struct Channel {
        DWORD background = 0xFFFFFF;
        bool showGrid = true;
        bool marker = true;
        LONG penWidth = 1;
        LONG traceStyle = 0;
        DWORD traceColour = 0xFFFFFFFF; // none: the drawer keeps its own
        std::map<std::pair<DWORD, LONG>, vx::hf::GuideSetting> guides; // (id, sub-item)
    };
    Channel& At(LONG channel) { return mChannels[channel]; }

    HRESULT GetBackground(DWORD* colour, WORD* showGrid) override;
    HRESULT GetRecordStartMarker(WORD* shown) override;
    HRESULT GetPenWidth(LONG channel, LONG* width) override;
    HRESULT GetTraceStyle(DWORD item, LONG channel, LONG* style) override;
    HRESULT GetTraceColour(DWORD item, std::int64_t identity, DWORD* colour) override;
    HRESULT GetSetting(DWORD id, LONG channel, LONG subItem, vx::hf::GuideSetting* setting) override;

    // The channel whose background and switches GetBackground and GetRecordStartMarker answer.
    LONG current = 0;

private:
    std::map<LONG, Channel> mChannels;
};

// An amplitude scale: range, grid lines at 1-2-5 steps, unit text and transform. With a window
// it paints its axis there and reports left-button drags (moving the range) to its observer.
class HostScale final : public SimpleUnknownImp2<IHostScale, IScaleRange, 0> {
public:
    HostScale(HWND parent, LONG insetTop, LONG insetBottom, DWORD style, LONG scaleNumber);
    ~HostScale() override;

    HRESULT SetObserver(IDragScaleObserver* observer) override;
    HRESULT GetWindow(HWND* window) override;
    HRESULT Place(const vx::ui::Rect* rect) override;
    HRESULT SetTransform(double factor, double offset, const wchar_t* unit) override;
    HRESULT GetUnitText(BSTR* unit) override;
    HRESULT SetRange(const vx::hf::DisplayRange* range) override;
    HRESULT Show(WORD shown) override;
    HRESULT SetColour(DWORD colour) override;
    HRESULT Paint(vx::ui::DC* dc, const vx::ui::Rect* rect) override;
    HRESULT Command(LONG command) override;
    HRESULT SetChannel(LONG channel) override;

    HRESULT GetRange(vx::hf::DisplayRange* range) override;
    HRESULT GetGridLineCount(ULONG* count) override;
    HRESULT GetGridLine(ULONG i, double* value, LONG* kind) override;
    HRESULT GetValidRange(vx::hf::DisplayRange* range) override;

    // The valid range (values outside are shaded by the graticule); unbounded by default.
    void SetValidRange(vx::hf::DisplayRange range) { mValid = range; }
    const vx::ui::Rect& Placement() const { return mRect; }
    bool Shown() const { return mShown; }
    double Factor() const { return mFactor; }

    // Window messages of the scale's window class.
    LRESULT OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void ComputeGrid();

    HWND mWindow = nullptr;
    LONG mInsetTop, mInsetBottom;
    DWORD mStyle;
    LONG mNumber;
    LONG mChannel = -1;
    IDragScaleObserver* mObserver = nullptr; // the strip; it clears itself before it goes
    vx::ui::Rect mRect {};
    vx::hf::DisplayRange mRange { -1.0, 1.0 };
    vx::hf::DisplayRange mValid;
    double mFactor = 1.0, mOffset = 0.0;
    std::wstring mUnit;
    bool mShown = true;
    DWORD mColour = 0;
    std::vector<std::pair<double, LONG>> mGrid;
    int mDragY = -1;
    vx::hf::DisplayRange mDragRange;
};

class HostScaleFactory final : public SimpleUnknownImp1<IScaleFactory, 0> {
public:
    HRESULT CreateScaleWindow(
        HWND parent, LONG insetTop, LONG insetBottom, DWORD style, LONG scaleNumber, IHostScale** out) override;
    HRESULT CreateWindowlessScale(DWORD style, LONG scaleNumber, DWORD reserved, IHostScale** out) override;
};

// Where timed online play puts what it plays.
struct PlaybackTarget {
    // Starts a record with the source's sample interval: its index, or -1 when sampling cannot
    // start.
    std::function<int(double interval)> start;
    // One block of samples of every channel, in the source's channel order.
    std::function<void(int record, const std::vector<std::span<const float>>& block)> deliver;
    // The record is played (or the play stopped).
    std::function<void()> stop;
    // Channels the target takes; the source must have as many.
    int channels = 0;
};

// Online play: a record of a finished recording is sampled into a target one block per timer
// tick, on the user-interface thread, so the window stays responsive while it plays. With a pane
// document as the target, the record is added to the document's recording and its panes are told
// that sampling starts, of every block and of the end.
class TimedPlayback {
public:
    TimedPlayback(std::shared_ptr<const Recording> source, int sourceRecord, HostPaneDocument& target,
        std::int64_t blockSamples, UINT periodMs);
    TimedPlayback(std::shared_ptr<const Recording> source, int sourceRecord, PlaybackTarget target,
        std::int64_t blockSamples, UINT periodMs);
    ~TimedPlayback();
    TimedPlayback(const TimedPlayback&) = delete;
    TimedPlayback& operator=(const TimedPlayback&) = delete;

    // Adds the record to the target (same channels as the source) and starts the timer. False
    // when the channels do not match or the block size is not positive.
    bool Start();
    void Stop();
    bool Running() const { return mTimer != 0; }
    // One block; false once the record is played (sampling has then stopped).
    bool Tick();
    std::int64_t Played() const { return mPlayed; }

private:
    std::shared_ptr<const Recording> mSource;
    int mSourceRecord;
    PlaybackTarget mTarget;
    std::int64_t mBlock;
    UINT mPeriod;
    int mRecord = -1;
    std::int64_t mPlayed = 0;
    vx::ui::UINT_PTR mTimer = 0;
};

} // namespace vx::host
