#pragma once
// Merges, in position order, the events of every event channel the host links to one channel,
// together with the host's comments on that channel, and hands them out one at a time, forwards
// (increasing positions) or backwards. A document finds the beat at a clicked position with it.
#include <cstdint>
#include <memory>
#include <vector>

#include "hostframework/interfaces/AnalysisHostInterfaces.h"

namespace vx::hf {

class MultiSourceEventWalk {
public:
    // The walk over `channel`'s links in `record` from `start`, forwards with an open end.
    MultiSourceEventWalk(
        HRV::IAnalysisHost* host, std::int32_t record, const HRV::ChannelRef& channel, std::int32_t start);
    ~MultiSourceEventWalk();
    MultiSourceEventWalk(const MultiSourceEventWalk&) = delete;
    MultiSourceEventWalk& operator=(const MultiSourceEventWalk&) = delete;

    // Backwards: from the walk end down to the start. Call before the first NextEvent.
    void SetBackwards(std::int32_t end);

    // S_OK with a copy of the next record (its position first, a double at byte 8), S_FALSE when
    // no source has another event.
    HRESULT NextEvent(std::shared_ptr<const std::vector<unsigned char>>& out);

    // What NextEvent chose last: 0 the host's comments, i >= 1 event source i - 1.
    std::size_t ChosenSlot() const noexcept { return mChosen; }
    // The comment handed out last (borrowed), when the comment slot was chosen.
    IVarnComment* CurrentComment() const noexcept { return mComment; }
    // The event source of slot i >= 1 (borrowed) and the channel it reads.
    IEnumEventEx* SourceEvents(std::size_t slot) const;
    HRV::ChannelRef SourceChannel(std::size_t slot) const;
    std::int32_t Record() const noexcept { return mRecord; }
    std::size_t SourceCount() const noexcept { return mSources.size(); }

private:
    struct Reader;
    void Fill();
    bool FillForwards(Reader& s, std::vector<unsigned char>& slot);
    bool FillBackwards(Reader& s, std::vector<unsigned char>& slot);

    HRV::IAnalysisHost* mHost;
    std::int32_t mRecord;
    HRV::ChannelRef mChannel;
    std::int32_t mStart;
    std::int32_t mEnd = 0x7FFFFFFF;
    bool mForwards = true;
    bool mOpened = false;
    std::size_t mChosen = 0;
    IVarnComment* mComment = nullptr; // held
    IEnumHostComments* mComments = nullptr; // held
    std::vector<std::unique_ptr<Reader>> mSources;
    // One per source plus slot 0 for the comments: the next record of each, or empty.
    std::vector<std::vector<unsigned char>> mPending;
    std::vector<bool> mFilled;
};

} // namespace vx::hf
