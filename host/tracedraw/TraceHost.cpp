#include "host/tracedraw/TraceHost.h"

#include "ui/Timer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "host/eventdraw/EventDrawClasses.h"
#include "host/recording/HostSources.h"
#include "ui/Gdi.h"
#include "ui/Input.h"
#include "ui/Paint.h"
#include "ui/Window.h"

namespace vx::host {

namespace {

template <class I> HRESULT Hand(I* object, I** out)
{
    object->AddRef();
    *out = object;
    return S_OK;
}

// Pixel rows are kept well inside 32 bits whatever the range.
int ToRow(double value, const vx::hf::DisplayRange& range, int height)
{
    const double span = range.top - range.bottom;
    double row = span != 0.0 ? (range.top - value) / span * height : 0.0;
    if (!std::isfinite(row))
        row = 0.0;
    return static_cast<int>(std::clamp(row, -16000.0, 16000.0));
}

// Pixel runs from per-column pairs. The pairs of the whole strip are made on the way (each
// sample read once) and left in the cache when the drawing reaches the last column.
class SegmentIterator final : public SimpleUnknownImp1<ISegmentIterator, 0> {
public:
    // Stored values [start, start + out.size()) of the channel, inside its length.
    using Reader = std::function<void(std::int64_t start, std::span<float> out)>;

    // `available` samples read through `read`, shown as (stored + offset) x factor. Without a
    // cache every drawing reads its samples.
    SegmentIterator(Reader read, std::int64_t available, double factor, double offset, int channel, int record,
        vx::hf::DisplayRange range, const vx::hf::StripGeometry& geometry, std::shared_ptr<ColumnCache> cache)
        : mRange(range)
        , mGeometry(geometry)
        , mCache(std::move(cache))
        , mRead(std::move(read))
        , mFactor(factor)
        , mOffset(offset)
        , mAvailable(available)
    {
        mKey = { channel, record, geometry.firstSample, geometry.samplesPerPixel, geometry.columns, mAvailable };
        if (mCache)
            mCached = mCache->Find(mKey);
        if (!mCached) {
            mColumns = std::make_shared<std::vector<ColumnStats>>();
            mColumns->reserve(static_cast<std::size_t>(std::max(geometry.columns, 0)));
        }
    }

    HRESULT Next(ULONG maxPoints, vx::ui::Point* points, ULONG* count, ULONG* columns) override
    {
        if (!points || !count || !columns)
            return E_POINTER;
        *count = 0;
        *columns = 0;
        const ULONG room = maxPoints / 2 * 2;
        while (*count < room && mColumn < mGeometry.columns) {
            const ColumnStats s = Stats(mColumn);
            if (s.any && !mEnded) {
                const int x = mGeometry.firstColumn + mColumn;
                int a = ToRow(Physical(s.low), mRange, mGeometry.height);
                int b = ToRow(Physical(s.high), mRange, mGeometry.height);
                if (a > b)
                    std::swap(a, b);
                if (mHasLast) {
                    a = std::min(a, mLastRow);
                    b = std::max(b, mLastRow);
                }
                points[(*count)++] = { x, a };
                points[(*count)++] = { x, b + 1 };
                mLastRow = ToRow(Physical(s.last), mRange, mGeometry.height);
                mHasLast = true;
            } else {
                mHasLast = false; // a gap: the next column does not join
            }
            if (mEnded)
                break;
            ++mColumn;
            ++*columns;
        }
        Publish();
        return *columns == 0 ? S_FALSE : S_OK;
    }

    HRESULT GetSamplesConsumed(std::int64_t* samples) override
    {
        if (!samples)
            return E_POINTER;
        *samples = std::max<std::int64_t>(0, std::min(ColumnStart(mColumn), mAvailable) - ColumnStart(0));
        return S_OK;
    }

    HRESULT AdvanceTo(std::int64_t sample) override
    {
        const double c = std::floor((static_cast<double>(sample) - mGeometry.firstSample) / mGeometry.samplesPerPixel);
        if (std::isfinite(c))
            mColumn = std::clamp(static_cast<int>(std::max(c, -1.0)), 0, std::max(mGeometry.columns, 0));
        mHasLast = false;
        mEnded = false;
        return S_OK;
    }

private:
    double Physical(float stored) const { return (static_cast<double>(stored) + mOffset) * mFactor; }

    std::int64_t ColumnStart(int c) const
    {
        return static_cast<std::int64_t>(std::floor(mGeometry.firstSample + c * mGeometry.samplesPerPixel));
    }

    ColumnStats Stats(int c)
    {
        if (mCached)
            return (*mCached)[static_cast<std::size_t>(c)];
        if (c < static_cast<int>(mColumns->size()))
            return (*mColumns)[static_cast<std::size_t>(c)];
        // Columns are asked in order; fill up to c.
        while (static_cast<int>(mColumns->size()) <= c)
            mColumns->push_back(Compute(static_cast<int>(mColumns->size())));
        return mColumns->back();
    }

    ColumnStats Compute(int c)
    {
        ColumnStats s { std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), 0, 0, false };
        const std::int64_t begin = std::max<std::int64_t>(ColumnStart(c), 0);
        const std::int64_t end = std::min(std::max(ColumnStart(c + 1), ColumnStart(c) + 1), mAvailable);
        if (ColumnStart(c) >= mAvailable)
            mEnded = true; // the data ends before this column
        bool first = true;
        for (std::int64_t p = begin; p < end;) {
            if (p < mBufferStart || p >= mBufferStart + static_cast<std::int64_t>(mBuffer.size())) {
                const std::int64_t n = std::min<std::int64_t>(kChunk, mAvailable - p);
                mBuffer.resize(static_cast<std::size_t>(n));
                mRead(p, mBuffer);
                mBufferStart = p;
            }
            const std::int64_t stop = std::min(end, mBufferStart + static_cast<std::int64_t>(mBuffer.size()));
            const float* v = mBuffer.data() + (p - mBufferStart);
            const std::int64_t n = stop - p;
            float lo = s.low, hi = s.high;
            for (std::int64_t i = 0; i < n; ++i) {
                lo = std::min(lo, v[i]);
                hi = std::max(hi, v[i]);
            }
            s.low = lo;
            s.high = hi;
            if (first) {
                s.first = v[0];
                first = false;
            }
            s.last = v[n - 1];
            p = stop;
        }
        s.any = s.low <= s.high;
        if (s.any && std::isnan(s.last))
            s.last = s.high;
        if (mFactor < 0)
            std::swap(s.low, s.high);
        return s;
    }

    void Publish()
    {
        if (!mCache || mCached || mPublished || static_cast<int>(mColumns->size()) < mGeometry.columns)
            return;
        mCache->Store(mKey, mColumns);
        mPublished = true;
        mBuffer = {};
    }

    static constexpr std::int64_t kChunk = 1 << 16;

    vx::hf::DisplayRange mRange;
    vx::hf::StripGeometry mGeometry;
    std::shared_ptr<ColumnCache> mCache;
    Reader mRead;
    double mFactor = 1.0, mOffset = 0.0;
    std::int64_t mAvailable = 0;
    ColumnCache::Key mKey;
    std::shared_ptr<const std::vector<ColumnStats>> mCached;
    std::shared_ptr<std::vector<ColumnStats>> mColumns;
    std::vector<float> mBuffer;
    std::int64_t mBufferStart = 0;
    int mColumn = 0;
    int mLastRow = 0;
    bool mHasLast = false;
    bool mEnded = false;
    bool mPublished = false;
};

} // namespace

// ---- ColumnCache --------------------------------------------------------------------------

std::shared_ptr<const std::vector<ColumnStats>> ColumnCache::Find(const Key& key) const
{
    std::lock_guard lock(mLock);
    const auto it = mByChannel.find(key.channel);
    return it != mByChannel.end() && it->second.first == key ? it->second.second : nullptr;
}

void ColumnCache::Store(const Key& key, std::shared_ptr<const std::vector<ColumnStats>> columns)
{
    std::lock_guard lock(mLock);
    mByChannel[key.channel] = { key, std::move(columns) };
}

std::size_t ColumnCache::Bytes() const
{
    std::lock_guard lock(mLock);
    std::size_t bytes = 0;
    for (const auto& [channel, entry] : mByChannel)
        bytes += entry.second->capacity() * sizeof(ColumnStats);
    return bytes;
}

// ---- ComputedEventChannel ------------------------------------------------------------------

void ComputedEventChannel::Set(std::shared_ptr<const ComputedEvents> events)
{
    std::lock_guard lock(mLock);
    mEvents = std::move(events);
}

std::shared_ptr<const ComputedEvents> ComputedEventChannel::Get() const
{
    std::lock_guard lock(mLock);
    return mEvents;
}

// ---- HostRecordData -----------------------------------------------------------------------

HostRecordData::HostRecordData(std::shared_ptr<const Recording> recording, int record,
    std::shared_ptr<ColumnCache> cache, ComputedChannels computed)
    : mRecording(std::move(recording))
    , mRecord(record)
    , mCache(std::move(cache))
    , mFormulas(std::move(computed))
{
}

std::optional<calc::Compiled> HostRecordData::FormulaChannel(ULONG channel) const
{
    if (!mFormulas || static_cast<int>(channel) < mRecording->ChannelCount() || mRecord < 0
        || mRecord >= mRecording->RecordCount())
        return std::nullopt;
    return mFormulas(static_cast<int>(channel));
}

HRESULT HostRecordData::GetEventType(ULONG channel, DWORD* type)
{
    if (!type)
        return E_POINTER;
    if (mComputed && channel == ComputedChannel()) {
        const auto events = mComputed->Get();
        *type = events ? events->type : 0;
        return S_OK;
    }
    const auto it = mEventTypes.find(static_cast<int>(channel) - mRecording->ChannelCount());
    *type = it != mEventTypes.end() ? it->second : 0;
    return S_OK;
}

ULONG HostRecordData::ComputedChannel() const
{
    return static_cast<ULONG>(mRecording->ChannelCount() + static_cast<int>(mRecording->eventChannels.size()));
}

HRESULT HostRecordData::GetEndPosition(DWORD, std::int64_t* end)
{
    if (!end)
        return E_POINTER;
    if (mRecord < 0 || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    *end = vx::hf::MakeTickPosition(mRecord,
        static_cast<std::int32_t>(
            std::min<std::int64_t>(mRecording->records[static_cast<std::size_t>(mRecord)].length, 0x7FFFFFFE)));
    return S_OK;
}

HRESULT HostRecordData::GetCurrentBlock(std::int64_t* block)
{
    if (!block)
        return E_POINTER;
    *block = 0;
    return S_OK;
}

HRESULT HostRecordData::QueryValues(DWORD, ULONG channel, vx::hf::DisplayRange* range)
{
    if (!range)
        return E_POINTER;
    if (FormulaChannel(channel))
        return S_FALSE; // a computed channel's range would cost a pass over the record
    if (static_cast<int>(channel) >= mRecording->ChannelCount() || mRecord < 0 || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    double low = 0, high = 0;
    try {
        if (!mRecording->records[static_cast<std::size_t>(mRecord)].channels[channel].Range(low, high))
            return S_FALSE;
    } catch (const RecordingError&) {
        return S_FALSE; // a channel that cannot be read (its file is missing) has no range
    }
    const ChannelSetup& setup = mRecording->channels[channel];
    const double a = setup.ToPhysical(low), b = setup.ToPhysical(high);
    *range = { std::min(a, b), std::max(a, b) };
    return S_OK;
}

HRESULT HostRecordData::GetPresence(ULONG channel, std::int64_t, WORD* present)
{
    if (!present)
        return E_POINTER;
    *present = 0;
    if (const auto computed = FormulaChannel(channel)) {
        *present = computed->samples && computed->samples->Info(mRecord).length > 0 ? 1 : 0;
        return S_OK;
    }
    if (mRecord >= 0 && mRecord < mRecording->RecordCount() && static_cast<int>(channel) < mRecording->ChannelCount())
        *present = mRecording->ChannelLength(static_cast<int>(channel), mRecord) > 0 ? 1 : 0;
    return S_OK;
}

HRESULT HostRecordData::GetValue(ULONG channel, std::int64_t position, double* value, BSTR* unit)
{
    if (!value)
        return E_POINTER;
    if (unit)
        *unit = nullptr;
    if (const auto computed = FormulaChannel(channel)) {
        if (!computed->samples || position < 0 || position >= computed->samples->Info(mRecord).length)
            return E_INVALIDARG;
        float v = 0;
        computed->samples->Read(mRecord, position, { &v, 1 });
        *value = v;
        return S_OK;
    }
    if (static_cast<int>(channel) >= mRecording->ChannelCount() || mRecord < 0 || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    // The position counts ticks of the record; a slower channel has a sample every few ticks.
    position /= std::max(1, mRecording->channels[channel].ticksPerSample);
    if (position < 0 || position >= mRecording->ChannelLength(static_cast<int>(channel), mRecord))
        return E_INVALIDARG;
    float v = 0;
    try {
        mRecording->ReadPhysical(static_cast<int>(channel), mRecord, position, { &v, 1 });
    } catch (const RecordingError&) {
        return E_FAIL;
    }
    *value = v;
    if (unit)
        *unit = SysAllocString(mRecording->channels[channel].unit.c_str());
    return S_OK;
}

HRESULT HostRecordData::GetStartTime(DWORD, LONG record, double* seconds)
{
    if (!seconds)
        return E_POINTER;
    *seconds = -1.0;
    if (record < 0 || record >= mRecording->RecordCount())
        return E_INVALIDARG;
    *seconds = mRecording->records[static_cast<std::size_t>(record)].startTime;
    return S_OK;
}

HRESULT HostRecordData::CreateEventEnumerator(DWORD, ULONG channel, DWORD, LONG first, LONG last, IEnumEventEx** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (const auto computed = FormulaChannel(channel)) {
        if (!computed->events)
            return E_INVALIDARG; // a sampled channel has no events
        auto* source = new HostEventSource(mRecording, computed->events, mRecord); // born with one reference
        source->Find(0, std::max<LONG>(first, 0), std::max<LONG>(first, 0), last);
        *out = source;
        return S_OK;
    }
    const int eventChannel = static_cast<int>(channel) - mRecording->ChannelCount();
    HostEventSource* source = nullptr; // born with one reference
    if (mComputed && channel == ComputedChannel()) {
        const auto events = mComputed->Get();
        if (!events || events->recordSize < sizeof(std::int32_t))
            return E_INVALIDARG;
        const bool held = mRecord >= 0 && mRecord < static_cast<int>(events->records.size());
        source = new HostEventSource(mRecording, held ? events->records[static_cast<std::size_t>(mRecord)] : nullptr,
            events->recordSize, mRecord);
    } else if (eventChannel < 0 || eventChannel >= static_cast<int>(mRecording->eventChannels.size())) {
        return E_INVALIDARG;
    } else {
        source = new HostEventSource(mRecording, eventChannel, mRecord);
    }
    source->Find(0, std::max<LONG>(first, 0), std::max<LONG>(first, 0), last);
    *out = source;
    return S_OK;
}

HRESULT HostRecordData::CreateSegmentIterator(DWORD, ULONG channel, const vx::hf::DisplayRange* range, std::int64_t,
    const vx::hf::StripGeometry* geometry, ISegmentIterator** out)
{
    if (!out || !range || !geometry)
        return E_POINTER;
    *out = nullptr;
    const auto computed = FormulaChannel(channel);
    if (computed ? !computed->samples
                 : static_cast<int>(channel) >= mRecording->ChannelCount() || mRecord < 0
                || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    if (!(geometry->samplesPerPixel > 0) || !std::isfinite(geometry->samplesPerPixel)
        || !std::isfinite(geometry->firstSample) || geometry->columns < 0)
        return E_INVALIDARG;
    const int record = mRecord;
    if (computed) {
        // A computed channel changes with its formula: its columns are not cached.
        calc::SignalPtr samples = computed->samples;
        return Hand<ISegmentIterator>(
            new SegmentIterator([samples, record](std::int64_t start,
                                    std::span<float> values) { samples->Read(record, start, values); },
                samples->Info(record).length, 1.0, 0.0, static_cast<int>(channel), record, *range, *geometry, nullptr),
            out);
    }
    const ChannelSetup& setup = mRecording->channels[channel];
    const SampleStore* store = &mRecording->records[static_cast<std::size_t>(record)].channels[channel];
    if (store->Length() > 0)
        try {
            // A channel that cannot be read (its file is missing) is not drawn; the others are.
            float first = 0;
            store->Read(0, { &first, 1 });
        } catch (const RecordingError&) {
            return E_FAIL;
        }
    // The strip counts ticks of the record; a slower channel has a sample every few ticks.
    vx::hf::StripGeometry samples = *geometry;
    const double tps = std::max(1, setup.ticksPerSample);
    samples.firstSample /= tps;
    samples.samplesPerPixel /= tps;
    return Hand<ISegmentIterator>(
        new SegmentIterator([recording = mRecording, store](
                                std::int64_t start, std::span<float> values) { store->Read(start, values); },
            store->Length(), setup.factor, setup.offset, static_cast<int>(channel), record, *range, samples, mCache),
        out);
}

// ---- HostRecordSource ---------------------------------------------------------------------

HostRecordSource::HostRecordSource(std::shared_ptr<const Recording> recording, int record, bool colourSource,
    const vx::eventdraw::EventDrawClasses* eventDraw, ComputedChannels computed)
    : mRecording(std::move(recording))
    , mRecord(record)
    , mColourSource(colourSource)
    , mEventDraw(eventDraw)
    , mCache(std::make_shared<ColumnCache>())
    , mData(new HostRecordData(mRecording, record, mCache, std::move(computed)))
{
    mData->AddRef();
}

HostRecordSource::~HostRecordSource()
{
    mData->Release();
}

HRESULT HostRecordSource::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IColourSource::kIid && mColourSource) {
        *out = static_cast<IColourSource*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IObjectFactory::kIid && mEventDraw) {
        *out = static_cast<IObjectFactory*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IPaneRecordSource::kIid) {
        *out = static_cast<IPaneRecordSource*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IRecordChannelScale::kIid) {
        *out = static_cast<IRecordChannelScale*>(this);
        AddRef();
        return S_OK;
    }
    return SimpleUnknownImp1<IRecordSource, 0>::QueryInterface(iid, out);
}

HRESULT HostRecordSource::GetRecordCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = mRecording->RecordCount();
    return S_OK;
}

HRESULT HostRecordSource::GetChannelScale(LONG record, LONG channel, BSTR* unit, vx::hf::DisplayRange* range)
{
    if (!unit || !range)
        return E_POINTER;
    *unit = nullptr;
    if (record < 0 || record >= mRecording->RecordCount() || channel < 0 || channel >= mRecording->ChannelCount()
        || mRecording->ChannelLength(channel, record) <= 0)
        return S_FALSE;
    const ChannelSetup& setup = mRecording->channels[static_cast<std::size_t>(channel)];
    *unit = SysAllocString(setup.unit.c_str());
    *range = { setup.displayLow, setup.displayHigh };
    return S_OK;
}

void HostRecordSource::SetView(double firstSample, double samplesPerPixel)
{
    mFirst = firstSample;
    mPerPixel = samplesPerPixel;
}

HRESULT HostRecordSource::SetAxis(DWORD id, LONG value)
{
    axis[id] = value;
    return S_OK;
}

HRESULT HostRecordSource::GetCurrentPosition(std::int64_t* position)
{
    if (!position)
        return E_POINTER;
    *position = mPosition;
    return S_OK;
}

HRESULT HostRecordSource::GetCurrentRecord(IUnknown** recordData)
{
    if (!recordData)
        return E_POINTER;
    return Hand<IUnknown>(mData, recordData);
}

HRESULT HostRecordSource::GetRecordIndex(LONG* record)
{
    if (!record)
        return E_POINTER;
    *record = mRecord;
    return S_OK;
}

HRESULT HostRecordSource::GetSampleInterval(double* seconds)
{
    if (!seconds)
        return E_POINTER;
    if (mRecord < 0 || mRecord >= mRecording->RecordCount())
        return E_INVALIDARG;
    *seconds = mRecording->records[static_cast<std::size_t>(mRecord)].interval;
    return S_OK;
}

HRESULT HostRecordSource::PixelsToSamples(DWORD, LONG, LONG x0, LONG x1, double* first, double* last)
{
    if (!first || !last)
        return E_POINTER;
    *first = mFirst + x0 * mPerPixel;
    *last = mFirst + x1 * mPerPixel;
    return S_OK;
}

HRESULT HostRecordSource::SampleToPixel(DWORD, LONG, double sample, double* x)
{
    if (!x)
        return E_POINTER;
    *x = (sample - mFirst) / mPerPixel;
    return S_OK;
}

HRESULT HostRecordSource::GetColourMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    *mode = mColourMode;
    return S_OK;
}

HRESULT HostRecordSource::GetSampleRange(DWORD flags, LONG x0, LONG x1, LONG record, double* first, double* last)
{
    return PixelsToSamples(flags, record, x0, x1, first, last);
}

HRESULT HostRecordSource::CreateInstance(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!mEventDraw || iid != IEventDrawPolicy::kIid || !mEventDraw->Has(classKey))
        return E_NOINTERFACE;
    return Hand<IEventDrawPolicy>(
        new HostEventDrawPolicy(*mEventDraw, classKey), reinterpret_cast<IEventDrawPolicy**>(out));
}

// ---- HostEventDrawPolicy ------------------------------------------------------------------

HRESULT HostEventDrawPolicy::GetColour(DWORD recordBytes, const void* event, DWORD* colour)
{
    if (!colour)
        return E_POINTER;
    DWORD c = 0;
    // The class refuses a record shorter than its type's, so it never reads past the event.
    if (mClasses.MarkColour(mType, event, recordBytes, c) != S_OK)
        return S_FALSE;
    *colour = c;
    return S_OK;
}

// ---- HostChannelSettings ------------------------------------------------------------------

HRESULT HostChannelSettings::GetBackground(DWORD* colour, WORD* showGrid)
{
    if (!colour || !showGrid)
        return E_POINTER;
    const Channel& c = At(current);
    *colour = c.background;
    *showGrid = c.showGrid ? 0xFFFF : 0;
    return S_OK;
}

HRESULT HostChannelSettings::GetRecordStartMarker(WORD* shown)
{
    if (!shown)
        return E_POINTER;
    *shown = At(current).marker ? 0xFFFF : 0;
    return S_OK;
}

HRESULT HostChannelSettings::GetPenWidth(LONG channel, LONG* width)
{
    if (!width)
        return E_POINTER;
    *width = At(channel).penWidth;
    return S_OK;
}

HRESULT HostChannelSettings::GetTraceStyle(DWORD, LONG channel, LONG* style)
{
    if (!style)
        return E_POINTER;
    *style = At(channel).traceStyle;
    return S_OK;
}

HRESULT HostChannelSettings::GetTraceColour(DWORD, std::int64_t identity, DWORD* colour)
{
    if (!colour)
        return E_POINTER;
    const Channel& c = At(static_cast<LONG>(identity & 0xFFFFFFFF));
    if (c.traceColour == 0xFFFFFFFF)
        return S_FALSE;
    *colour = c.traceColour;
    return S_OK;
}

HRESULT HostChannelSettings::GetSetting(DWORD id, LONG channel, LONG subItem, vx::hf::GuideSetting* setting)
{
    if (!setting)
        return E_POINTER;
    *setting = {};
    const Channel& c = At(channel);
    const auto it = c.guides.find({ id, subItem });
    if (it == c.guides.end())
        return S_FALSE;
    *setting = it->second;
    return S_OK;
}

// ---- HostScale ----------------------------------------------------------------------------

namespace {
constexpr wchar_t kScaleClass[] = L"VarnexAmplitudeScale";

LRESULT ScaleProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* scale = reinterpret_cast<HostScale*>(vx::ui::GetWindowLongPtr(hwnd, vx::ui::GWLP_USERDATA));
    if (scale)
        return scale->OnMessage(hwnd, message, wParam, lParam);
    return vx::ui::DefWindowProc(hwnd, message, wParam, lParam);
}

void RegisterScaleClass()
{
    static const bool registered = vx::ui::RegisterClass({ kScaleClass, 0, &ScaleProc });
    (void)registered;
}
} // namespace

HostScale::HostScale(HWND parent, LONG insetTop, LONG insetBottom, DWORD style, LONG scaleNumber)
    : mInsetTop(insetTop)
    , mInsetBottom(insetBottom)
    , mStyle(style)
    , mNumber(scaleNumber)
    , mValid { -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity() }
{
    ComputeGrid();
    if (parent) {
        RegisterScaleClass();
        mWindow = vx::ui::CreateWindowEx(
            0, kScaleClass, L"", vx::ui::WS_CHILD | vx::ui::WS_VISIBLE, 0, 0, 0, 0, parent, 0, nullptr);
        if (mWindow)
            vx::ui::SetWindowLongPtr(mWindow, vx::ui::GWLP_USERDATA, reinterpret_cast<vx::ui::LONG_PTR>(this));
    }
}

HostScale::~HostScale()
{
    if (mWindow) {
        vx::ui::SetWindowLongPtr(mWindow, vx::ui::GWLP_USERDATA, 0);
        vx::ui::DestroyWindow(mWindow);
    }
}

HRESULT HostScale::SetObserver(IDragScaleObserver* observer)
{
    mObserver = observer;
    return S_OK;
}

HRESULT HostScale::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = mWindow;
    return S_OK;
}

HRESULT HostScale::Place(const vx::ui::Rect* rect)
{
    if (!rect)
        return E_POINTER;
    mRect = *rect;
    if (mWindow)
        vx::ui::MoveWindow(mWindow, rect->left, rect->top, rect->Width(), rect->Height(), true);
    return S_OK;
}

HRESULT HostScale::SetTransform(double factor, double offset, const wchar_t* unit)
{
    if (!std::isfinite(factor) || factor == 0.0 || !std::isfinite(offset))
        return E_INVALIDARG;
    mFactor = factor;
    mOffset = offset;
    mUnit = unit ? unit : L"";
    if (mWindow)
        vx::ui::InvalidateRect(mWindow, nullptr, true);
    return S_OK;
}

HRESULT HostScale::GetUnitText(BSTR* unit)
{
    if (!unit)
        return E_POINTER;
    *unit = SysAllocString(mUnit.c_str());
    return S_OK;
}

HRESULT HostScale::SetRange(const vx::hf::DisplayRange* range)
{
    if (!range)
        return E_POINTER;
    if (!std::isfinite(range->bottom) || !std::isfinite(range->top) || range->bottom == range->top)
        return E_INVALIDARG;
    mRange = *range;
    ComputeGrid();
    if (mWindow)
        vx::ui::InvalidateRect(mWindow, nullptr, true);
    return S_OK;
}

HRESULT HostScale::Show(WORD shown)
{
    mShown = shown != 0;
    if (mWindow)
        vx::ui::ShowWindow(mWindow, mShown ? vx::ui::SW_SHOW : vx::ui::SW_HIDE);
    return S_OK;
}

HRESULT HostScale::SetColour(DWORD colour)
{
    mColour = colour;
    return S_OK;
}

HRESULT HostScale::Paint(vx::ui::DC* dc, const vx::ui::Rect* rect)
{
    if (!dc)
        return E_POINTER;
    const vx::ui::Rect r = rect ? *rect : mRect;
    if (r.IsEmpty() || !mShown)
        return S_FALSE;
    dc->FillSolidRect(r, vx::ui::Colour { 0xFFFFFF });
    const int top = r.top + mInsetTop, height = r.Height() - mInsetTop - mInsetBottom;
    const bool right = mNumber == 2;
    const int axisX = right ? r.left : r.right - 1;
    dc->SelectPen(vx::ui::Pen::Solid(vx::ui::Colour { mColour }));
    dc->MoveTo({ axisX, top });
    dc->LineTo({ axisX, top + height });
    dc->SetTextColor(vx::ui::Colour { mColour });
    dc->SetBkMode(vx::ui::TRANSPARENT);
    const UINT align = right ? vx::ui::TA_LEFT : vx::ui::TA_RIGHT;
    const UINT old = dc->SetTextAlign(align | vx::ui::TA_TOP);
    const vx::ui::TextMetrics tm = dc->GetTextMetrics();
    for (const auto& [value, kind] : mGrid) {
        const int y = top + ToRow(value, mRange, height);
        const int tick = kind == 2 ? 5 : 3;
        dc->MoveTo({ axisX, y });
        dc->LineTo({ right ? axisX + tick : axisX - tick, y });
        if (kind == 2) {
            wchar_t text[32];
            std::swprintf(text, 32, L"%g", value * mFactor + mOffset);
            // Below the unit text, which heads the scale.
            const int first = mUnit.empty() ? top : top + tm.height;
            const int ty = std::clamp(y - tm.height / 2, first, std::max(first, top + height - tm.height));
            dc->TextOut({ right ? axisX + 7 : axisX - 7, ty }, text);
        }
    }
    if (!mUnit.empty())
        dc->TextOut({ right ? axisX + 7 : axisX - 7, r.top }, mUnit);
    dc->SetTextAlign(old);
    return S_OK;
}

HRESULT HostScale::Command(LONG)
{
    if (!mObserver)
        return S_FALSE;
    vx::hf::DisplayRange range;
    WORD flag = 0;
    if (mObserver->GetAutoRange(0, &range, &flag) != S_OK || range.bottom == range.top)
        return S_FALSE;
    // The drawers answer in base units; the scale shows them through its transform.
    mRange = { range.bottom * mFactor + mOffset, range.top * mFactor + mOffset };
    ComputeGrid();
    return mObserver->ScaleRangeChanged(mNumber, 0, &mRange);
}

HRESULT HostScale::SetChannel(LONG channel)
{
    mChannel = channel;
    return S_OK;
}

HRESULT HostScale::GetRange(vx::hf::DisplayRange* range)
{
    if (!range)
        return E_POINTER;
    *range = mRange;
    return S_OK;
}

HRESULT HostScale::GetGridLineCount(ULONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<ULONG>(mGrid.size());
    return S_OK;
}

HRESULT HostScale::GetGridLine(ULONG i, double* value, LONG* kind)
{
    if (!value || !kind)
        return E_POINTER;
    if (i >= mGrid.size())
        return E_INVALIDARG;
    *value = mGrid[i].first;
    *kind = mGrid[i].second;
    return S_OK;
}

HRESULT HostScale::GetValidRange(vx::hf::DisplayRange* range)
{
    if (!range)
        return E_POINTER;
    *range = mValid;
    return S_OK;
}

void HostScale::ComputeGrid()
{
    // Major lines at a 1-2-5 step giving about five divisions, four minor lines between them.
    mGrid.clear();
    const double lo = std::min(mRange.bottom, mRange.top), hi = std::max(mRange.bottom, mRange.top);
    const double span = hi - lo;
    if (!(span > 0) || !std::isfinite(span))
        return;
    const double raw = span / 5.0;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / decade;
    const double major = (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * decade;
    const double minor = major / 5.0;
    for (double k = std::ceil(lo / minor); k * minor <= hi + minor * 1e-9 && mGrid.size() < 200; k += 1.0) {
        const double v = k * minor;
        const bool isMajor = std::fabs(std::remainder(v, major)) < minor * 1e-6;
        mGrid.emplace_back(std::fabs(v) < minor * 1e-9 ? 0.0 : v, isMajor ? 2 : 1);
    }
}

LRESULT HostScale::OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case vx::ui::WM_PAINT: {
        vx::ui::PaintDC dc(hwnd);
        vx::ui::Rect client;
        vx::ui::GetClientRect(hwnd, &client);
        Paint(&dc, &client);
        return 0;
    }
    case vx::ui::WM_LBUTTONDOWN:
        mDragY = static_cast<short>(vx::ui::HIWORD(static_cast<std::uintptr_t>(lParam)));
        mDragRange = mRange;
        vx::ui::SetCapture(hwnd);
        if (mObserver)
            mObserver->ScaleSelected(mNumber, 0);
        return 0;
    case vx::ui::WM_MOUSEMOVE:
        if (mDragY >= 0 && mRect.Height() > 0) {
            // Dragging moves the range with the pointer.
            const int y = static_cast<short>(vx::ui::HIWORD(static_cast<std::uintptr_t>(lParam)));
            const double perPixel = (mDragRange.top - mDragRange.bottom) / mRect.Height();
            mRange = { mDragRange.bottom + (y - mDragY) * perPixel, mDragRange.top + (y - mDragY) * perPixel };
            ComputeGrid();
            vx::ui::InvalidateRect(hwnd, nullptr, true);
            if (mObserver) {
                mObserver->ScaleDragged(0, y - mDragY, 0);
                mObserver->ScaleRangeChanged(mNumber, 0, &mRange);
            }
        }
        return 0;
    case vx::ui::WM_LBUTTONUP:
        mDragY = -1;
        vx::ui::ReleaseCapture();
        return 0;
    default:
        return vx::ui::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

HRESULT HostScaleFactory::CreateScaleWindow(
    HWND parent, LONG insetTop, LONG insetBottom, DWORD style, LONG scaleNumber, IHostScale** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!parent || !vx::ui::IsWindow(parent))
        return E_INVALIDARG;
    auto* scale = new HostScale(parent, insetTop, insetBottom, style, scaleNumber);
    HWND window = nullptr;
    scale->GetWindow(&window);
    if (!window) {
        delete scale;
        return E_FAIL;
    }
    return Hand<IHostScale>(scale, out);
}

HRESULT HostScaleFactory::CreateWindowlessScale(DWORD style, LONG scaleNumber, DWORD, IHostScale** out)
{
    if (!out)
        return E_POINTER;
    return Hand<IHostScale>(new HostScale(nullptr, 0, 0, style, scaleNumber), out);
}

// ---- The pane side of the record source ----------------------------------------------------------

HRESULT HostRecordSource::GetLatestExtent(std::int64_t* pixels)
{
    if (!pixels)
        return E_POINTER;
    *pixels = 0;
    if (mRecord < 0 || mRecord >= mRecording->RecordCount())
        return S_FALSE;
    const auto length = static_cast<long double>(mRecording->records[static_cast<std::size_t>(mRecord)].length);
    *pixels = static_cast<std::int64_t>(length * mDenominator / mNumerator);
    return S_OK;
}

HRESULT HostRecordSource::SetCompression(std::int64_t numerator, std::int64_t denominator)
{
    if (numerator <= 0 || denominator <= 0)
        return E_INVALIDARG;
    mNumerator = numerator;
    mDenominator = denominator;
    mPerPixel = static_cast<double>(numerator) / static_cast<double>(denominator);
    return S_OK;
}

HRESULT HostRecordSource::SetViewStart(double firstSample)
{
    mFirst = firstSample;
    return S_OK;
}

HRESULT HostRecordSource::GetPendingUpdateFlags(DWORD* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = mPending;
    mPending = 0;
    return S_OK;
}

HRESULT HostRecordSource::OnSamplingStarted(LONG record)
{
    // The pane shows the record being sampled, and keeps showing it once sampling ends.
    if (record >= 0 && record < mRecording->RecordCount() && record != mRecord) {
        mRecord = record;
        mData->SetRecord(record);
        mPosition = 0;
    }
    return S_OK;
}

HRESULT HostRecordSource::OnRecordBegins(LONG, std::int64_t position, double)
{
    mPosition = position;
    return S_OK;
}

HRESULT HostRecordSource::OnDataAdded(LONG record)
{
    if (record >= 0 && record < mRecording->RecordCount())
        mPosition = mRecording->records[static_cast<std::size_t>(record)].length;
    return S_OK;
}

HRESULT HostRecordSource::OnRecordChanged(LONG, LONG)
{
    mPending |= 0xFF000000u;
    return S_OK;
}

HRESULT HostRecordSource::OnSamplingStopped(DWORD)
{
    return S_OK;
}
HRESULT HostRecordSource::OnRangeChanged(LONG, LONG)
{
    return S_OK;
}

// ---- Pane document ----------------------------------------------------------------------------------

HostPaneDocument::HostPaneDocument(
    std::shared_ptr<Recording> recording, const vx::eventdraw::EventDrawClasses* eventDraw, ComputedChannels computed)
    : mRecording(std::move(recording))
    , mEventDraw(eventDraw)
    , mFormulas(std::move(computed))
{
}

HostPaneDocument::~HostPaneDocument() = default;

HRESULT HostPaneDocument::GetRecordSource(DWORD, IUnknown** source)
{
    if (!source)
        return E_POINTER;
    auto* s = new HostRecordSource(mRecording, 0, false, mEventDraw, mFormulas);
    s->AddRef();
    s->RecordData()->SetComputedEvents(mComputed);
    *source = static_cast<IRecordSource*>(s);
    return S_OK;
}

HRESULT HostPaneDocument::AttachPane(DWORD, IPaneDataSink* pane)
{
    if (!pane)
        return E_INVALIDARG;
    if (std::find(mPanes.begin(), mPanes.end(), pane) == mPanes.end())
        mPanes.push_back(pane);
    return S_OK;
}

HRESULT HostPaneDocument::DetachPane(IPaneDataSink* pane, std::int64_t)
{
    std::erase(mPanes, pane);
    return S_OK;
}

HRESULT HostPaneDocument::GetSamplingDocument(DWORD, IPaneDocument** document)
{
    if (!document)
        return E_POINTER;
    *document = nullptr;
    return S_FALSE;
}

HRESULT HostPaneDocument::HandOverSettings(DWORD, IPaneDocument*)
{
    return S_OK;
}

void HostPaneDocument::StartSampling(LONG record)
{
    mRecording->samplingRecord = record;
    for (IPaneDataSink* pane : std::vector(mPanes))
        pane->SamplingStarted(record);
    for (IPaneDataSink* pane : std::vector(mPanes))
        pane->RecordBegins(record, 0, 0.0, nullptr, 0, 0);
}

void HostPaneDocument::BlockAdded(LONG record)
{
    for (IPaneDataSink* pane : std::vector(mPanes))
        pane->DataAdded(record);
}

void HostPaneDocument::StopSampling()
{
    mRecording->samplingRecord = -1;
    for (IPaneDataSink* pane : std::vector(mPanes))
        pane->SamplingStopped(0);
}

// ---- Timed online play ------------------------------------------------------------------------------

namespace {
// The pane document as a playback target: the record is added to its recording and its panes
// hear of it.
PlaybackTarget PaneTarget(HostPaneDocument& document)
{
    PlaybackTarget target;
    target.channels = document.GetRecording()->ChannelCount();
    target.start = [&document](double interval) {
        const int record = document.GetRecording()->AddRecord(interval);
        document.StartSampling(record);
        return record;
    };
    target.deliver = [&document](int record, const std::vector<std::span<const float>>& block) {
        Record& to = document.GetRecording()->records[static_cast<std::size_t>(record)];
        for (std::size_t c = 0; c < block.size(); ++c)
            to.channels[c].Append(block[c]);
        to.length += block.empty() ? 0 : static_cast<std::int64_t>(block.front().size());
        document.BlockAdded(record);
    };
    target.stop = [&document] { document.StopSampling(); };
    return target;
}
} // namespace

TimedPlayback::TimedPlayback(std::shared_ptr<const Recording> source, int sourceRecord, HostPaneDocument& target,
    std::int64_t blockSamples, UINT periodMs)
    : TimedPlayback(std::move(source), sourceRecord, PaneTarget(target), blockSamples, periodMs)
{
}

TimedPlayback::TimedPlayback(std::shared_ptr<const Recording> source, int sourceRecord, PlaybackTarget target,
    std::int64_t blockSamples, UINT periodMs)
    : mSource(std::move(source))
    , mSourceRecord(sourceRecord)
    , mTarget(std::move(target))
    , mBlock(blockSamples)
    , mPeriod(periodMs)
{
}

TimedPlayback::~TimedPlayback()
{
    Stop();
}

bool TimedPlayback::Start()
{
    if (mBlock <= 0 || mTimer || mSourceRecord < 0 || mSourceRecord >= mSource->RecordCount()
        || mTarget.channels != mSource->ChannelCount() || !mTarget.start)
        return false;
    const Record& from = mSource->records[static_cast<std::size_t>(mSourceRecord)];
    mPlayed = 0;
    mRecord = mTarget.start(from.interval);
    if (mRecord < 0)
        return false;
    mTimer = vx::ui::SetTimer(nullptr, 0, mPeriod, [this](vx::ui::HWND, UINT, vx::ui::UINT_PTR, DWORD) {
        if (!Tick())
            Stop();
    });
    if (!mTimer && mTarget.stop)
        mTarget.stop();
    return mTimer != 0;
}

void TimedPlayback::Stop()
{
    if (!mTimer)
        return;
    vx::ui::KillTimer(nullptr, mTimer);
    mTimer = 0;
    if (mTarget.stop)
        mTarget.stop();
}

bool TimedPlayback::Tick()
{
    if (mRecord < 0)
        return false;
    const Record& from = mSource->records[static_cast<std::size_t>(mSourceRecord)];
    const std::int64_t count = std::min(mBlock, from.length - mPlayed);
    if (count <= 0)
        return false;
    std::vector<std::vector<float>> values(
        static_cast<std::size_t>(mSource->ChannelCount()), std::vector<float>(static_cast<std::size_t>(count)));
    std::vector<std::span<const float>> block;
    for (int c = 0; c < mSource->ChannelCount(); ++c) {
        from.channels[static_cast<std::size_t>(c)].Read(mPlayed, values[static_cast<std::size_t>(c)]);
        block.emplace_back(values[static_cast<std::size_t>(c)]);
    }
    mPlayed += count;
    if (mTarget.deliver)
        mTarget.deliver(mRecord, block);
    return mPlayed < from.length;
}

} // namespace vx::host
