#include "hostframework/comments/EventWalk.h"

#include <cmath>
#include <cstring>

namespace vx::hf {

namespace {
constexpr std::size_t kRecordsPerRead = 8;
constexpr std::size_t kRecordHeader = 16; // the position, and the value at byte 8

bool FiniteValue(const unsigned char* record)
{
    double value = 0.0;
    std::memcpy(&value, record + 8, sizeof value);
    return std::isfinite(value);
}

std::int32_t PositionOf(const unsigned char* record)
{
    std::int32_t position = 0;
    std::memcpy(&position, record, sizeof position);
    return position;
}
} // namespace

// One linked event channel: its source and the block read last.
struct MultiSourceEventWalk::Reader {
    HRV::ChannelRef channel;
    IEnumEventEx* events = nullptr; // held
    std::size_t recordSize = 0;
    std::vector<unsigned char> buffer;
    std::size_t count = 0, current = 0;
    bool done = false;
    // Backwards: every record from the start up to the end, read once, walked down.
    std::vector<unsigned char> all;
    std::size_t remaining = 0;
    bool loaded = false;

    ~Reader()
    {
        if (events)
            events->Release();
    }
    bool Read(LONG limit)
    {
        ULONG got = 0;
        LONG next = 0;
        if (done || FAILED(events->Next(static_cast<ULONG>(buffer.size()), limit, buffer.data(), &got, &next))
            || got == 0) {
            done = true;
            return false;
        }
        count = std::min<std::size_t>(got, kRecordsPerRead);
        current = 0;
        return true;
    }
};

MultiSourceEventWalk::MultiSourceEventWalk(
    HRV::IAnalysisHost* host, std::int32_t record, const HRV::ChannelRef& channel, std::int32_t start)
    : mHost(host)
    , mRecord(record)
    , mChannel(channel)
    , mStart(start)
{
}

MultiSourceEventWalk::~MultiSourceEventWalk()
{
    if (mComments)
        mComments->Release();
    if (mComment)
        mComment->Release();
}

void MultiSourceEventWalk::SetBackwards(std::int32_t end)
{
    mForwards = false;
    mEnd = end;
}

IEnumEventEx* MultiSourceEventWalk::SourceEvents(std::size_t slot) const
{
    return slot >= 1 && slot <= mSources.size() ? mSources[slot - 1]->events : nullptr;
}

HRV::ChannelRef MultiSourceEventWalk::SourceChannel(std::size_t slot) const
{
    return slot >= 1 && slot <= mSources.size() ? mSources[slot - 1]->channel : HRV::ChannelRef {};
}

bool MultiSourceEventWalk::FillForwards(Reader& s, std::vector<unsigned char>& slot)
{
    for (;;) {
        if (s.current >= s.count && !s.Read(mEnd))
            return false;
        const unsigned char* r = s.buffer.data() + s.current * s.recordSize;
        ++s.current;
        if (FiniteValue(r) && PositionOf(r) >= mStart) {
            slot.assign(r, r + s.recordSize);
            return true;
        }
    }
}

bool MultiSourceEventWalk::FillBackwards(Reader& s, std::vector<unsigned char>& slot)
{
    if (!s.loaded) {
        s.loaded = true;
        while (s.Read(mEnd == 0x7FFFFFFF ? mEnd : mEnd + 1))
            s.all.insert(s.all.end(), s.buffer.begin(), s.buffer.begin() + std::ptrdiff_t(s.count * s.recordSize));
        s.remaining = s.all.size() / s.recordSize;
    }
    while (s.remaining > 0) {
        const unsigned char* r = s.all.data() + --s.remaining * s.recordSize;
        // A finite value at or after the walk start is handed out; the walk goes on past others.
        if (FiniteValue(r) && PositionOf(r) >= mStart) {
            slot.assign(r, r + s.recordSize);
            return true;
        }
    }
    return false;
}

void MultiSourceEventWalk::Fill()
{
    if (!mOpened) {
        mOpened = true;
        if (mHost) {
            HRV::ChannelRef linked;
            for (std::int32_t i = 0; mHost->LinkedEventChannel(mChannel, i, linked); ++i) {
                IEnumEventEx* events = mHost->OpenEvents(linked, mRecord, mStart, 0x7FFFFFFF);
                if (!events)
                    continue;
                auto s = std::make_unique<Reader>();
                s->channel = linked;
                s->events = events;
                ULONG size = 0;
                vx::hf::RateRatio ratio;
                // A source without a usable time base, or whose records cannot hold a position
                // and a value, is passed over.
                const bool timeBase = FAILED(events->GetTimeBase(&ratio)) || ratio.denominator != 0;
                if (FAILED(events->GetRecordSize(&size)) || size < kRecordHeader || !timeBase)
                    continue;
                s->recordSize = size;
                s->buffer.resize(std::size_t(size) * kRecordsPerRead);
                mSources.push_back(std::move(s));
            }
            mComments = mHost->OpenComments(mChannel, mRecord, mForwards ? mStart : mEnd, mForwards);
        }
        mPending.assign(mSources.size() + 1, {});
        mFilled.assign(mSources.size() + 1, false);
    }
    if (!mFilled[0] && mComments) {
        IVarnComment* next = nullptr;
        if (mComments->Next(mForwards ? mEnd : mStart, &next) == S_OK && next) {
            LONG offset = 0;
            next->GetAbsoluteOffset(&offset);
            mPending[0].assign(16, 0);
            std::memcpy(mPending[0].data(), &offset, sizeof offset);
            mFilled[0] = true;
            if (mComment)
                mComment->Release();
            mComment = next;
        } else if (mComment) {
            mComment->Release();
            mComment = nullptr;
        }
    }
    for (std::size_t i = 0; i < mSources.size(); ++i)
        if (!mFilled[i + 1])
            mFilled[i + 1] = mForwards ? FillForwards(*mSources[i], mPending[i + 1])
                                       : FillBackwards(*mSources[i], mPending[i + 1]);
}

HRESULT MultiSourceEventWalk::NextEvent(std::shared_ptr<const std::vector<unsigned char>>& out)
{
    Fill();
    std::size_t chosen = mPending.size();
    for (std::size_t i = 0; i < mPending.size(); ++i) {
        if (!mFilled[i])
            continue;
        if (chosen == mPending.size()) {
            chosen = i;
            continue;
        }
        const std::int32_t p = PositionOf(mPending[i].data()), best = PositionOf(mPending[chosen].data());
        // Ties go to the lowest slot: the comments first, then the sources in link order.
        if (mForwards ? p < best : p > best)
            chosen = i;
    }
    if (chosen == mPending.size())
        return S_FALSE;
    mChosen = chosen;
    out = std::make_shared<const std::vector<unsigned char>>(std::move(mPending[chosen]));
    mPending[chosen].clear();
    mFilled[chosen] = false;
    return S_OK;
}

} // namespace vx::hf
