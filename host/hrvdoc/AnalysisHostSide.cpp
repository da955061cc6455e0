#include "host/hrvdoc/AnalysisHostSide.h"

#include <algorithm>
#include <cstring>

#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/calc/CalcError.h"
#include "host/hrvdoc/EventSeek.h"
#include "host/recording/HostSources.h"
#include "hostframework/comments/Comments.h"

namespace vx::host {

namespace {

// The events of a named event channel in a record, read from the engine as the host evaluates
// them. While the record is being sampled it hands out only what the host has settled and
// answers S_OK with nothing when it has no more yet.
class LiveEventEnum final : public SimpleUnknownImp1<IEnumEventEx, 1> {
public:
    LiveEventEnum(HrvHostState& host, std::wstring name, int32_t record, int32_t start, int32_t end)
        : mHost(host)
        , mName(std::move(name))
        , mRecord(record)
        , mPosition(start)
        , mEnd(end)
    {
        mEvents.recordSize = RecordSizeNow();
    }

    HRESULT Next(DWORD bufferBytes, LONG endOffset, void* buffer, DWORD* count, LONG* next) override
    {
        if (!count || !next || (!buffer && bufferBytes))
            return E_POINTER;
        *count = 0;
        *next = 0x7FFFFFFF;
        if (endOffset < 0)
            endOffset = 0x7FFFFFFF;
        const uint32_t size = mEvents.recordSize;
        const std::size_t room = size ? bufferBytes / size : 0;
        auto* out = static_cast<std::byte*>(buffer);
        try {
            for (;;) {
                if (mIndex >= mEvents.Count())
                    Refill();
                if (*count >= room || mIndex >= mEvents.Count() || mEvents.Position(mIndex) >= endOffset)
                    break;
                std::memcpy(out + std::size_t(*count) * size, mEvents.Record(mIndex), size);
                ++*count;
                ++mIndex;
            }
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        if (mIndex < mEvents.Count()) {
            *next = mEvents.Position(mIndex);
            return S_OK;
        }
        // At the end only when the record is complete and read to its end (or the asked end).
        const bool complete = mHost.EventLimit(mRecord) >= mHost.GetRecording().records[std::size_t(mRecord)].length;
        return complete && mPosition >= std::min<int64_t>(mEnd, mHost.EventLimit(mRecord)) ? S_FALSE : S_OK;
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = mIndex < mEvents.Count() ? mEvents.Position(mIndex) : 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT GetRecordSize(DWORD* size) override { return size ? (*size = mEvents.recordSize, S_OK) : E_POINTER; }
    // The type of the channel's events: what the enumerator that makes them reports.
    HRESULT GetEventType(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = 0;
        try {
            calc::Compiled c = mHost.Engine().Channel(mName);
            if (c.events)
                *id = c.events->EventType();
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        return S_OK;
    }

    // Positions the source on the first event at or after `start`; with `backward`, on the last
    // event before it when none stands exactly there. What was buffered is read again from
    // `lower`, so a seek backwards finds events that were already handed out.
    HRESULT Find(LONG backward, LONG start, LONG lower, LONG) override
    {
        mEvents = calc::EventBuffer {};
        mEvents.recordSize = RecordSizeNow();
        mIndex = 0;
        mPosition = std::max<int32_t>(backward ? lower : start, 0);
        try {
            Refill(start); // an event after what is read lies beyond `start`
        } catch (const calc::CalcError&) {
            return E_FAIL;
        }
        mIndex = SeekEvent(
            mEvents.Count(), [this](std::size_t i) { return mEvents.Position(i); }, start, backward != 0);
        return S_OK;
    }
    HRESULT Reserved6(LONG* result) override
    {
        if (result)
            *result = 0;
        return E_NOTIMPL;
    }
    HRESULT Clone(IEnumEventEx** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new LiveEventEnum(*this);
        return S_OK;
    }
    HRESULT Reserved10(LONG* result) override
    {
        if (result)
            *result = 0;
        return E_NOTIMPL;
    }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        if (!ratio)
            return E_POINTER;
        const Recording& recording = mHost.GetRecording();
        const double start = mRecord >= 0 && mRecord < recording.RecordCount()
            ? recording.records[std::size_t(mRecord)].startTime
            : 0.0;
        *ratio = RatioOf(recording.RecordInfo(mRecord).interval, start);
        return S_OK;
    }

private:
    LiveEventEnum(const LiveEventEnum& other)
        : SimpleUnknownImp1<IEnumEventEx, 1>()
        , mHost(other.mHost)
        , mName(other.mName)
        , mRecord(other.mRecord)
        , mPosition(other.mPosition)
        , mEnd(other.mEnd)
        , mEvents(other.mEvents)
        , mIndex(other.mIndex)
    {
    }

    uint32_t RecordSizeNow()
    {
        try {
            calc::Compiled c = mHost.Engine().Channel(mName);
            return c.events ? c.events->RecordSize() : 16;
        } catch (const calc::CalcError&) {
            return 16;
        }
    }
    // Reads on from what has settled since the last read, from the channel as it is compiled now:
    // a stretch of kStretch ticks at a time, or more until one holds an event (and at least up to
    // `through`), so that a long record's events are never all held here beside the channel's own.
    static constexpr int64_t kStretch = int64_t(1) << 20;
    void Refill(int64_t through = -1)
    {
        const int64_t limit = std::min<int64_t>(mEnd, mHost.EventLimit(mRecord));
        if (limit <= mPosition)
            return;
        mHost.EnsureCompiledForData();
        calc::Compiled c = mHost.Engine().Channel(mName);
        if (!c.events)
            return;
        calc::EventBuffer fresh;
        fresh.recordSize = c.events->RecordSize();
        while (mPosition < limit && (fresh.Count() == 0 || mPosition <= through)) {
            const int64_t to = std::min<int64_t>(limit, int64_t(mPosition) + kStretch);
            c.events->Read(mRecord, mPosition, to, fresh);
            mPosition = static_cast<int32_t>(to);
        }
        if (mIndex >= mEvents.Count()) {
            mEvents = std::move(fresh);
            mIndex = 0;
            return;
        }
        // Keep what is still unread, then the new events.
        calc::EventBuffer kept;
        kept.recordSize = fresh.recordSize;
        for (std::size_t i = mIndex; i < mEvents.Count(); ++i)
            kept.Append(mEvents.Record(i));
        for (std::size_t i = 0; i < fresh.Count(); ++i)
            kept.Append(fresh.Record(i));
        mEvents = std::move(kept);
        mIndex = 0;
    }

    HrvHostState& mHost;
    std::wstring mName;
    int32_t mRecord;
    int32_t mPosition;
    int32_t mEnd;
    calc::EventBuffer mEvents;
    std::size_t mIndex = 0;
};

// The host's comments on a channel of a record, in the walk's order.
class HostCommentEnum final : public SimpleUnknownImp1<IEnumHostComments, 1> {
public:
    HostCommentEnum(std::vector<HostCommentEntry> entries, bool forwards)
        : mEntries(std::move(entries))
        , mForwards(forwards)
    {
    }
    HRESULT Next(LONG limit, IVarnComment** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (mNext >= mEntries.size())
            return S_FALSE;
        const HostCommentEntry& e = mEntries[mNext];
        if (mForwards ? e.offset > limit : e.offset < limit)
            return S_FALSE;
        ++mNext;
        auto* comment = new vx::hf::EventDataComment(e.record, e.offset, e.channel, nullptr, 0, 0, nullptr);
        comment->SetText(e.text.c_str());
        comment->AddRef();
        *out = comment;
        return S_OK;
    }

private:
    std::vector<HostCommentEntry> mEntries;
    bool mForwards;
    std::size_t mNext = 0;
};

} // namespace

bool AnalysisHostSide::LinkedEventChannel(const HRV::ChannelRef& channel, int32_t index, HRV::ChannelRef& out)
{
    int32_t n = 0;
    for (const auto& [from, to] : mState.links)
        if (to == ((uint64_t(channel.mChannel) << 32) | channel.mKind) && n++ == index) {
            out = { uint32_t(from >> 32), uint32_t(from) };
            return true;
        }
    return false;
}

IEnumHostComments* AnalysisHostSide::OpenComments(
    const HRV::ChannelRef& channel, int32_t record, int32_t start, bool forwards)
{
    std::vector<HostCommentEntry> entries;
    for (const HostCommentEntry& e : mState.comments)
        if (e.channel == channel.mChannel && e.record == record && (forwards ? e.offset >= start : e.offset <= start))
            entries.push_back(e);
    if (entries.empty())
        return nullptr;
    std::stable_sort(entries.begin(), entries.end(), [&](const HostCommentEntry& a, const HostCommentEntry& b) {
        return forwards ? a.offset < b.offset : a.offset > b.offset;
    });
    return new HostCommentEnum(std::move(entries), forwards);
}

bool AnalysisHostSide::GetRecordInfo(int32_t record, HRV::RecordInfo& info)
{
    if (record < 0 || record >= RecordCount())
        return false;
    const Record& r = mState.GetRecording().records[static_cast<std::size_t>(record)];
    info.mInterval = r.interval;
    info.mStartTime = r.startTime;
    info.mTimeOffset = 0.0;
    info.mBase = 0;
    info.mLength = r.length;
    return true;
}

IEnumEventEx* AnalysisHostSide::OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end)
{
    return vx::hf::GuardedValue<IEnumEventEx*>("host document: open events", nullptr, [&]() -> IEnumEventEx* {
        const std::wstring name = mState.ChannelName(channel);
        if (name.empty() || !mState.Engine().HasChannel(name) || record < 0 || record >= RecordCount())
            return nullptr;
        mState.EnsureCompiledForData();
        return new LiveEventEnum(mState, name, record, std::max(start, 0), end);
    });
}

bool AnalysisHostSide::ShareEvents(
    const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end, calc::SharedEvents& out)
{
    return vx::hf::GuardedValue<bool>("host document: share events", false, [&] {
        const std::wstring name = mState.ChannelName(channel);
        if (name.empty() || !mState.Engine().HasChannel(name) || record < 0 || record >= RecordCount()
            || mState.EventLimit(record) < mState.GetRecording().records[static_cast<std::size_t>(record)].length)
            return false;
        mState.EnsureCompiledForData();
        const calc::Compiled c = mState.Engine().Channel(name);
        try {
            return c.events && c.events->ReadShared(record, std::max(start, 0), end, out);
        } catch (const calc::CalcError&) {
            return false; // the live enumeration reports it
        }
    });
}

int32_t AnalysisHostSide::SampledRecord()
{
    return mState.GetRecording().samplingRecord >= 0 ? mState.GetRecording().samplingRecord : RecordCount() - 1;
}

} // namespace vx::host
