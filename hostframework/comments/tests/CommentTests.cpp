// The event walk over the channels linked to a channel and the host's comments on it, the comment
// of one event, and the message that shows a comment.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/String.h"
#include "hostframework/comments/Comments.h"
#include "hostframework/comments/EventWalk.h"

using vx::hf::EventDataComment;
using vx::hf::MultiSourceEventWalk;

namespace {

struct Event {
    std::int32_t position;
    double value;
};

// A recording whose channels 10, 11, ... carry events, linked to channel 0 in that order, and
// whose channel 0 carries the host's comments.
class LinkedHost final : public HRV::IAnalysisHost {
public:
    class Events final : public SimpleUnknownImp1<IEnumEventEx, 1> {
    public:
        Events(std::vector<Event> events, ULONG size, std::int64_t denominator)
            : mEvents(std::move(events))
            , mSize(size)
            , mDenominator(denominator)
        {
        }
        HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
        {
            *count = 0;
            auto* out = static_cast<unsigned char*>(buffer);
            while (mNext < mEvents.size() && mEvents[mNext].position < end && (*count + 1) * mSize <= bytes) {
                unsigned char* r = out + std::size_t(*count) * mSize;
                std::memset(r, 0, mSize);
                std::memcpy(r, &mEvents[mNext].position, 4);
                if (mSize >= 16)
                    std::memcpy(r + 8, &mEvents[mNext].value, 8);
                ++*count;
                ++mNext;
            }
            *next = mNext < mEvents.size() ? mEvents[mNext].position : 0x7FFFFFFF;
            return S_OK;
        }
        HRESULT Find(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
        HRESULT GetPosition(LONG* p) override { return *p = 0, S_OK; }
        HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
        HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
        HRESULT GetRecordSize(ULONG* size) override { return *size = mSize, S_OK; }
        HRESULT GetEventType(DWORD* type) override { return *type = 0, S_OK; }
        HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
        HRESULT GetTimeBase(vx::hf::RateRatio* r) override
        {
            r->numerator = 1;
            r->denominator = mDenominator;
            return S_OK;
        }

    private:
        std::vector<Event> mEvents;
        std::size_t mNext = 0;
        ULONG mSize;
        std::int64_t mDenominator;
    };

    class Comments final : public SimpleUnknownImp1<IEnumHostComments, 1> {
    public:
        Comments(std::vector<std::int32_t> offsets, bool forwards)
            : mOffsets(std::move(offsets))
            , mForwards(forwards)
        {
        }
        HRESULT Next(LONG limit, IVarnComment** out) override
        {
            *out = nullptr;
            if (mNext >= mOffsets.size() || (mForwards ? mOffsets[mNext] > limit : mOffsets[mNext] < limit))
                return S_FALSE;
            auto* c = new EventDataComment(0, mOffsets[mNext++], 0, nullptr, 0, 0, nullptr);
            c->SetText(L"host comment");
            c->AddRef();
            *out = c;
            return S_OK;
        }

    private:
        std::vector<std::int32_t> mOffsets;
        bool mForwards;
        std::size_t mNext = 0;
    };

    std::int32_t RecordCount() override { return 1; }
    bool GetRecordInfo(std::int32_t, HRV::RecordInfo&) override { return false; }
    IEnumEventEx* OpenEvents(const HRV::ChannelRef& channel, std::int32_t, std::int32_t, std::int32_t) override
    {
        const std::size_t i = channel.mChannel - 10;
        return i < sources.size() ? new Events(sources[i], sizes[i], denominators[i]) : nullptr;
    }
    std::int32_t SampledRecord() override { return -1; }
    bool LinkedEventChannel(const HRV::ChannelRef& channel, std::int32_t index, HRV::ChannelRef& out) override
    {
        if (channel.mChannel != 0 || index < 0 || std::size_t(index) >= sources.size())
            return false;
        out = { 10u + std::uint32_t(index), 0xC0000000u };
        return true;
    }
    IEnumHostComments* OpenComments(
        const HRV::ChannelRef& channel, std::int32_t, std::int32_t start, bool forwards) override
    {
        if (channel.mChannel != 0 || comments.empty())
            return nullptr;
        std::vector<std::int32_t> picked;
        for (std::int32_t c : comments)
            if (forwards ? c >= start : c <= start)
                picked.push_back(c);
        if (!forwards)
            std::reverse(picked.begin(), picked.end());
        return new Comments(picked, forwards);
    }

    void Add(std::vector<Event> events, ULONG size = 16, std::int64_t denominator = 360)
    {
        sources.push_back(std::move(events));
        sizes.push_back(size);
        denominators.push_back(denominator);
    }
    std::vector<std::vector<Event>> sources;
    std::vector<ULONG> sizes;
    std::vector<std::int64_t> denominators;
    std::vector<std::int32_t> comments; // ascending
};

// (slot, position) of every record the walk hands out.
std::vector<std::pair<std::size_t, std::int32_t>> Walk(MultiSourceEventWalk& walk)
{
    std::vector<std::pair<std::size_t, std::int32_t>> out;
    std::shared_ptr<const std::vector<unsigned char>> record;
    while (walk.NextEvent(record) == S_OK) {
        std::int32_t p = 0;
        std::memcpy(&p, record->data(), 4);
        out.emplace_back(walk.ChosenSlot(), p);
        if (out.size() > 100)
            break;
    }
    return out;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

TEST(EventWalk, MergesTheLinkedSourcesAndTheHostsCommentsInPositionOrder)
{
    using Seen = std::vector<std::pair<std::size_t, std::int32_t>>;
    {
        LinkedHost host;
        MultiSourceEventWalk walk(&host, 0, { 0, 0xC0000000u }, 0);
        std::shared_ptr<const std::vector<unsigned char>> record;
        EXPECT_EQ(walk.NextEvent(record), S_FALSE) << "no links and no comments";
    }
    LinkedHost host;
    host.Add({ { 5, 1.0 }, { 20, 1.0 }, { 30, kNaN }, { 40, 1.0 } });
    host.Add({ { 20, 2.0 }, { 25, kInf }, { 35, 2.0 } });
    host.comments = { 20, 38 };
    {
        // From 10: the comment at 20 before both sources' events at 20, the first source before
        // the second; NaN and infinite values are never handed out; 5 lies before the start.
        MultiSourceEventWalk walk(&host, 0, { 0, 0xC0000000u }, 10);
        EXPECT_EQ(Walk(walk), (Seen { { 0, 20 }, { 1, 20 }, { 2, 20 }, { 2, 35 }, { 0, 38 }, { 1, 40 } }));
    }
    {
        // Backwards from 39 down to 10: largest first, nothing below the start.
        MultiSourceEventWalk walk(&host, 0, { 0, 0xC0000000u }, 10);
        walk.SetBackwards(39);
        EXPECT_EQ(Walk(walk), (Seen { { 0, 38 }, { 2, 35 }, { 0, 20 }, { 1, 20 }, { 2, 20 } }));
    }
}

TEST(EventWalk, PassesOverSourcesItCannotRead)
{
    LinkedHost host;
    host.Add({ { 10, 1.0 } }, 16, 0); // a time base with a zero denominator
    host.Add({ { 11, 1.0 } }, 8); // records too short to hold a value
    host.Add({ { 12, 1.0 } });
    MultiSourceEventWalk walk(&host, 0, { 0, 0xC0000000u }, 0);
    EXPECT_EQ(Walk(walk), (std::vector<std::pair<std::size_t, std::int32_t>> { { 1, 12 } }));
    EXPECT_EQ(walk.SourceCount(), 1u);
    EXPECT_EQ(walk.SourceChannel(1).mChannel, 12u);
}

TEST(EventComments, MarkerGeometryOrderAndWhatTheyShow)
{
    LONG rect[4];
    vx::hf::CommentMarkerRect(96, 100, 50, rect);
    EXPECT_EQ(std::vector<LONG>(rect, rect + 4), (std::vector<LONG> { 97, 50, 104, 57 }));
    vx::hf::CommentMarkerRect(192, 100, 50, rect);
    EXPECT_EQ(rect[2] - 100 - 1, 6);
    vx::hf::CommentMarkerRect(48, 100, 50, rect);
    EXPECT_EQ(rect[0], 97) << "never smaller than at 96 dpi";

    // A kind without a draw class: white, no text, and no call through nothing.
    const unsigned char event[16] = {};
    auto* a = new EventDataComment(2, 300, 1, event, sizeof event, 0x00050001u, nullptr);
    auto* b = new EventDataComment(2, 300, 1, event, sizeof event, 0x00050001u, nullptr);
    a->AddRef();
    b->AddRef();
    DWORD colour = 0;
    a->GetFillColour(0, &colour);
    EXPECT_EQ(colour, 0xFFFFFFu);
    a->GetFillColour(1, &colour);
    EXPECT_EQ(colour, 0u);
    EXPECT_TRUE(a->Text().empty());
    EXPECT_EQ(a->IsDifferent(b), 0);
    EXPECT_EQ(a->IsNotLess(b), 1);
    EXPECT_EQ(b->IsNotLess(a), 1);
    EXPECT_EQ(a->IsDifferent(a), 0);
    b->SetText(L"later");
    EXPECT_EQ(a->IsDifferent(b), 1);
    EXPECT_EQ(a->IsNotLess(b), 0);
    std::int64_t position = 0;
    a->GetInfo(&position, nullptr, nullptr, nullptr);
    EXPECT_EQ(position, (std::int64_t(300) << 32) | 2);
    EXPECT_EQ(a->GetAbsolutePosition(nullptr), E_INVALIDARG);

    // The message keeps its comment until its last release, also in its clone.
    auto* message = new vx::hf::ShowComment2Msg(b, 0xE0000000u);
    message->AddRef();
    EXPECT_EQ(b->Release(), 1u);
    IMessage* clone = nullptr;
    ASSERT_EQ(message->Clone(&clone), S_OK);
    EXPECT_EQ(message->Release(), 0u);
    IShowComment2Message* show = nullptr;
    ASSERT_EQ(clone->QueryInterface(IShowComment2Message::kIid, reinterpret_cast<void**>(&show)), S_OK);
    IVarnComment* kept = nullptr;
    ASSERT_EQ(show->GetComment(&kept), S_OK);
    EXPECT_EQ(kept, static_cast<IVarnComment*>(b));
    DWORD value = 0, id = 0;
    show->GetValue(&value);
    clone->GetId(&id);
    EXPECT_EQ(value, 0xE0000000u);
    EXPECT_EQ(id, 0x800C005Au);
    EXPECT_EQ(show->GetComment(nullptr), S_OK);
    show->Release();
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(kept->Release(), 0u);
    EXPECT_EQ(a->Release(), 0u);
}
