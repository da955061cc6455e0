#include <gtest/gtest.h>

#include "com/Ref.h"
#include "hrv/core/Data.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/tests/HrvTestSupport.h"
#include "log/Log.h"

using namespace HRV;
using HRV::test::Bytes;
using HRV::test::StreamRef;
using vx::com::Ref;

namespace {

struct DataFixture : ::testing::Test {
    // Both are born without references: the holders take the first.
    Ref<Settings> settings { new Settings };
    Ref<Data> data { new Data(settings.Get()) };

    HRESULT Load(std::vector<std::uint8_t> bytes)
    {
        StreamRef mem(std::move(bytes));
        return data->Load(mem.Get());
    }
    std::vector<Position> SetOf(DWORD set) const
    {
        const auto& s = data->GetUserEvents()->Set(set);
        return { s.begin(), s.end() };
    }
};

} // namespace

TEST_F(DataFixture, UserMarksRoundTripInTheDocumentedLayout)
{
    UserEventData* events = data->GetUserEvents();
    const Position a { 100, 1 }, b { 50, 2 }, c { 7, 1 };
    events->Add(&b, 0);
    events->Add(&a, 0);
    events->Add(&a, 0); // already there
    events->Add(&c, 5); // any non-zero set is set 1
    data->mDirty = 3;
    StreamRef mem;
    ASSERT_EQ(S_OK, data->Save(mem.Get(), 1));
    EXPECT_EQ(0, data->mDirty);
    Bytes expected;
    expected.Header().U32(6).U32(2).U32(1).U32(100).U32(2).U32(50).U32(1).U32(1).U32(7);
    EXPECT_EQ(expected.b, mem.Bytes());

    const Ref<Settings> otherSettings { new Settings };
    const Ref<Data> back { new Data(otherSettings.Get()) };
    const Position stale { 1, 1 };
    back->GetUserEvents()->Add(&stale, 1);
    mem->Rewind();
    ASSERT_EQ(S_OK, back->Load(mem.Get()));
    EXPECT_TRUE(back->mLoaded && back->mStoredWithHost);
    EXPECT_EQ(
        SetOf(0), std::vector<Position>(back->GetUserEvents()->Set(0).begin(), back->GetUserEvents()->Set(0).end()));
    EXPECT_EQ(std::vector<Position> { c },
        std::vector<Position>(back->GetUserEvents()->Set(1).begin(), back->GetUserEvents()->Set(1).end()));

    // Counts 0 and 0 empty both sets.
    ASSERT_EQ(S_OK, Load(Bytes().Header().U32(6).U32(0).U32(0).b));
    WORD empty = 0;
    EXPECT_EQ(S_OK, events->IsEmpty(&empty));
    EXPECT_EQ(0xFFFF, empty);

    // Persist identity.
    CLSID clsid {};
    EXPECT_EQ(S_OK, data->GetClassID(&clsid));
    EXPECT_EQ(GUID_HRVDocumentObj, clsid);
    for (const IID& iid : { IUnknown::kIid, IPersist::kIid, IPersistStreamInit::kIid }) {
        void* out = nullptr;
        ASSERT_EQ(S_OK, data->QueryInterface(iid, &out));
        static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(2u, settings->RefCount()); // the fixture's and the data's
}

TEST_F(DataFixture, DamagedDataStreams)
{
    const Position kept { 1, 1 };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        HRESULT result;
        std::size_t set0, set1;
        std::size_t lines;
    };
    const Case cases[] = {
        { "version 7", Bytes().Header().U32(7).U32(0).U32(0).b, KEL::kStreamVersionTooNew, 1, 0, 0 },
        { "huge count, two pairs", Bytes().Header().U32(6).U32(0xFFFFFFFF).U32(1).U32(2).U32(1).U32(3).U32(9).b, S_OK,
            2, 0, 1 },
        { "second count missing", Bytes().Header().U32(6).U32(1).U32(1).U32(2).b, S_OK, 1, 0, 1 },
        { "half a pair", Bytes().Header().U32(6).U32(2).U32(1).U32(2).U32(1).b, S_OK, 1, 0, 1 },
        { "no version", Bytes().Header().b, S_OK, 1, 0, 1 },
    };
    for (const auto& c : cases) {
        data->GetUserEvents()->Clear();
        data->GetUserEvents()->Add(&kept, 0);
        vx::log::Capture capture;
        EXPECT_EQ(c.result, Load(c.bytes)) << c.name;
        EXPECT_EQ(c.set0, SetOf(0).size()) << c.name;
        EXPECT_EQ(c.set1, SetOf(1).size()) << c.name;
        EXPECT_EQ(c.lines, capture.Lines().size()) << c.name;
    }
}

TEST_F(DataFixture, LegacyDataSetsTheAnalysisRangeOrNothing)
{
    auto legacy = [](std::uint32_t sub, std::uint32_t marker) {
        Bytes b;
        b.Header().U32(0x10007).U32(sub).U32(0x10008).U32(1).F64(2.0).Str(u"name").U32(3);
        if (sub != 101) {
            b.U32(4);
            for (int i = 0; i < 5; ++i)
                b.Str(u"s");
            b.U32(marker).U32(0).U32(0).U32(3).U32(100).U32(5).U32(0x7FFFFFFF);
        }
        return b.b;
    };
    const Position mark { 5, 5 };
    data->GetUserEvents()->Add(&mark, 1);
    {
        vx::log::Capture capture;
        ASSERT_EQ(S_OK, Load(legacy(102, 0x10009)));
        EXPECT_EQ((Position { 100, 3 }), settings->mRangeStart);
        EXPECT_EQ((Position { 0x7FFFFFFF, 5 }), settings->mRangeEnd);
        EXPECT_EQ(1u, SetOf(1).size()); // the user's sets are not touched
        EXPECT_TRUE(capture.Lines().empty());
    }
    for (auto bytes : { legacy(101, 0x10009), legacy(103, 0x10010), legacy(104, 0x10009), legacy(102, 0x10009) }) {
        if (bytes == legacy(102, 0x10009))
            bytes.resize(bytes.size() - 1);
        settings->mRangeStart = { 1, 1 };
        settings->mRangeEnd = { 2, 2 };
        data->mDirty = 1;
        vx::log::Capture capture;
        ASSERT_EQ(S_OK, Load(bytes));
        EXPECT_EQ((Position { 1, 1 }), settings->mRangeStart);
        EXPECT_EQ((Position { 2, 2 }), settings->mRangeEnd);
        EXPECT_EQ(0, data->mDirty);
        EXPECT_TRUE(data->mLoaded);
        EXPECT_EQ(1u, capture.Lines().size());
    }
}

TEST(UserEventData, SetOperations)
{
    const Ref<UserEventData> events { new UserEventData };
    const Position p1 { 10, 0 }, p2 { 5, 1 }, p3 { 0, 2 };
    EXPECT_EQ(E_FAIL, events->Add(nullptr, 0));
    EXPECT_EQ(E_FAIL, events->Remove(nullptr, 0));
    Position found;
    EXPECT_EQ(E_FAIL, events->FindAtOrAfter(nullptr, 0, &found));
    EXPECT_EQ(E_FAIL, events->FindAtOrAfter(&p1, 0, nullptr));
    for (const Position* p : { &p3, &p1, &p2 })
        events->Add(p, 0);
    WORD empty = 1;
    EXPECT_EQ(S_FALSE, events->IsEmpty(&empty));
    EXPECT_EQ(0, empty);
    EXPECT_EQ(S_FALSE, events->IsEmpty(nullptr));

    struct Find {
        Position from;
        Position expected;
        HRESULT hr;
    };
    const Find finds[] = {
        { { 0, 0 }, p1, S_OK },
        { { 10, 0 }, p1, S_OK },
        { { 11, 0 }, p2, S_OK },
        { { 0x7FFFFFFF, 0 }, p2, S_OK },
        { { 1, 2 }, kUnsetPosition, S_FALSE },
        { { 0, 0x7FFFFFFF }, kUnsetPosition, S_FALSE },
    };
    for (const auto& f : finds) {
        EXPECT_EQ(f.hr, events->FindAtOrAfter(&f.from, 0, &found));
        EXPECT_EQ(f.expected, found);
    }
    EXPECT_EQ(S_FALSE, events->FindAtOrAfter(&p1, 1, &found)); // set 1 is empty

    IVarnDataChildData* copy = nullptr;
    ASSERT_EQ(S_OK, events->Clone(&copy));
    EXPECT_EQ(S_OK, events->Remove(&p2, 0));
    EXPECT_EQ(S_OK, events->Remove(&p2, 0)); // absent: still S_OK
    auto* clone = static_cast<UserEventData*>(copy);
    EXPECT_EQ(3u, clone->Set(0).size()); // a deep copy
    EXPECT_EQ(2u, events->Set(0).size());
    EXPECT_EQ(S_OK, copy->Notify5());
    EXPECT_EQ(0u, copy->Release());
    EXPECT_EQ(S_OK, events->Clone(nullptr));
    void* asUser = nullptr;
    ASSERT_EQ(S_OK, events->QueryInterface(IUserEventData::kIid, &asUser));
    EXPECT_EQ(S_OK, static_cast<IUserEventData*>(asUser)->Clear());
    static_cast<IUserEventData*>(asUser)->Release();
    EXPECT_EQ(S_OK, events->IsEmpty(nullptr));
}

TEST(EventIdCache, MapsNumbersToIdsAndClonesDeeply)
{
    const Ref<EventIdCache> cache { new EventIdCache };
    DWORD id = 7;
    EXPECT_EQ(S_FALSE, cache->GetId(1, &id));
    EXPECT_EQ(0u, id);
    WORD empty = 0;
    EXPECT_EQ(S_OK, cache->IsEmpty(&empty));
    EXPECT_EQ(0xFFFF, empty);
    cache->SetId(-5, 50);
    cache->SetId(3, 30);
    cache->SetId(3, 31); // overwrites
    EXPECT_EQ(S_OK, cache->GetId(3, &id));
    EXPECT_EQ(31u, id);
    EXPECT_EQ(S_OK, cache->GetId(-5, nullptr));
    EXPECT_EQ(S_FALSE, cache->IsEmpty(&empty));
    EXPECT_EQ(0, empty);

    IVarnDataChildData* copy = nullptr;
    ASSERT_EQ(S_OK, cache->Clone(&copy));
    auto* clone = static_cast<EventIdCache*>(copy);
    EXPECT_EQ(cache->Ids(), clone->Ids());
    cache->Clear();
    EXPECT_EQ(2u, clone->Ids().size());
    EXPECT_EQ(S_OK, clone->GetId(-5, &id));
    EXPECT_EQ(50u, id);
    EXPECT_EQ(0u, copy->Release());
}
