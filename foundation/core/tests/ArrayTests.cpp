#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/core/Array.h"

namespace {

// A plain pointer array whose capacity and growth can be chosen, to walk the growth rules.
class TestArray : public Array<void*> {
public:
    TestArray(std::uint32_t capacity, std::uint32_t growBy, bool growByHalf)
        : Array(capacity, growBy, false, growByHalf)
    {
    }
};

void* P(std::uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

TEST(ArrayGrowth, SetSizeFollowsTheStepAndHalfAgainRules)
{
    struct Case {
        std::uint32_t capacity, growBy;
        bool half;
        std::uint32_t count, size, expectCapacity;
    };
    const Case cases[] = {
        { 8, 8, false, 8, 9, 16 }, // next multiple strictly above
        { 16, 8, false, 16, 17, 24 }, { 16, 8, false, 0, 16, 16 }, // fits: no growth
        { 8, 8, true, 8, 9, 16 }, // the multiple beats 1.5 x 8 = 12
        { 16, 8, true, 4, 12, 16 }, // fits
        { 40, 8, true, 40, 41, 60 }, // 1.5 x 40 beats the multiple 48
        { 4, 4, false, 0, 8, 12 }, // 8 is a multiple: the next one above it
        { 2, 0, false, 0, 5, 6 }, // a step of 0 grows as a step of 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "capacity " << c.capacity << " step " << c.growBy << " half " << c.half
                                        << " size " << c.size);
        TestArray a(c.capacity, c.growBy, c.half);
        a.SetSize(c.count);
        for (std::uint32_t i = 0; i < c.count; ++i)
            a.GetAtGrow(i) = P(i + 1);
        a.SetSize(c.size);
        EXPECT_EQ(a.Capacity(), c.expectCapacity);
        EXPECT_EQ(a.Count(), c.size);
        for (std::uint32_t i = 0; i < c.count; ++i)
            EXPECT_EQ(a.GetAt(i), P(i + 1));
        for (std::uint32_t i = c.count; i < c.size; ++i)
            EXPECT_EQ(a.GetAt(i), nullptr);
    }
}

TEST(ArrayGrowth, SmallerSizeChangesNothing)
{
    TestArray a(8, 8, false);
    a.SetSize(5);
    a.GetAtGrow(4) = P(9);
    a.SetSize(2);
    EXPECT_EQ(a.Count(), 5u);
    EXPECT_EQ(a.GetAt(4), P(9));
}

TEST(ArrayGrowth, GetAtGrowBeyondTheEndGivesANullSlot)
{
    CArrayVoidP a; // nothing allocated yet
    void*& slot = a.GetAtGrow(20);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(a.Count(), 21u);
    EXPECT_EQ(a.Capacity(), 28u);
    for (std::uint32_t i = 0; i < 21; ++i)
        EXPECT_EQ(a.GetAt(i), nullptr);

    IUnknownArray held; // capacity 8, grows by half
    held.GetAtGrow(20);
    EXPECT_EQ(held.Count(), 21u);
    EXPECT_EQ(held.Capacity(), 28u);
}

TEST(ArrayGrowth, ZeroStepStillGrowsByGetAtGrowAndAdd)
{
    TestArray a(0, 0, false);
    for (std::uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(a.Add(P(i + 1)), i);
    EXPECT_EQ(a.Count(), 5u);
    EXPECT_GE(a.Capacity(), 5u);
    EXPECT_EQ(a.GetAt(4), P(5));
}

TEST(ArrayGrowth, SizesPast32BitsAreRefused)
{
    TestArray a(0, 8, false);
    EXPECT_THROW(a.SetSize(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_THROW(a.GetAtGrow(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(a.Count(), 0u);
}

TEST(ArrayRemove, RangeIsClippedAndTheRestMovesDown)
{
    TestArray a(8, 8, false);
    for (std::uint32_t i = 0; i < 6; ++i)
        a.Add(P(i + 1));
    EXPECT_FALSE(a.RemoveRange(6, 10));
    EXPECT_FALSE(a.RemoveRange(3, 3));
    EXPECT_TRUE(a.RemoveRange(1, 3));
    ASSERT_EQ(a.Count(), 4u);
    EXPECT_EQ(a.GetAt(0), P(1));
    EXPECT_EQ(a.GetAt(1), P(4));
    EXPECT_EQ(a.GetAt(3), P(6));
    EXPECT_TRUE(a.RemoveRange(2, 100));
    EXPECT_EQ(a.Count(), 2u);
    // The freed slots are null again when the array grows back over them.
    a.SetSize(4);
    EXPECT_EQ(a.GetAt(2), nullptr);
    EXPECT_EQ(a.GetAt(3), nullptr);
}

// An interface that records the order of the releases that destroy it.
struct INamed : IUnknown { };

struct Named : INamed {
    Named(std::string name, std::vector<std::string>* log)
        : mName(std::move(name))
        , mLog(log)
    {
    }
    HRESULT QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override
    {
        if (--mCount == 0)
            mLog->push_back(mName);
        return mCount;
    }
    ULONG mCount = 1;
    std::string mName;
    std::vector<std::string>* mLog;
};

TEST(InterfaceArrayTest, HoldsAReferenceAndReleasesExactlyTheRemovedOnesLastFirst)
{
    std::vector<std::string> released;
    Named a("a", &released), b("b", &released), c("c", &released), d("d", &released);
    {
        InterfaceArray<INamed> array;
        EXPECT_EQ(array.Capacity(), 8u);
        for (Named* n : { &a, &b, &c, &d })
            array.Add(n);
        array.Add(nullptr);
        for (Named* n : { &a, &b, &c, &d }) {
            n->Release(); // the creator's reference; the array's keeps it alive
            EXPECT_EQ(n->mCount, 1u);
        }
        EXPECT_EQ(array.IndexOf(&c), 2);
        EXPECT_EQ(array.IndexOf(nullptr), 4);

        EXPECT_TRUE(array.RemoveRange(1, 3));
        EXPECT_EQ(released, (std::vector<std::string> { "c", "b" }));
        ASSERT_EQ(array.Count(), 3u);
        EXPECT_EQ(array[0], &a);
        EXPECT_EQ(array[1], &d);
        EXPECT_EQ(array[2], nullptr);

        array.RemoveAt(7); // out of range: nothing
        array.RemoveAt(0);
        EXPECT_EQ(released, (std::vector<std::string> { "c", "b", "a" }));
        EXPECT_EQ(array.Count(), 2u);
        EXPECT_EQ(d.mCount, 1u);
    }
    EXPECT_EQ(released, (std::vector<std::string> { "c", "b", "a", "d" }));
}

TEST(InterfaceArrayTest, GrowsByHalfWhenFull)
{
    std::vector<std::string> released;
    Named n("n", &released);
    {
        InterfaceArray<INamed> array;
        for (int i = 0; i < 9; ++i)
            array.Add(&n);
        EXPECT_EQ(n.mCount, 10u);
        EXPECT_EQ(array.Capacity(), 16u);
        for (int i = 0; i < 12; ++i)
            array.Add(&n);
        EXPECT_EQ(array.Capacity(), 24u);
    }
    EXPECT_EQ(n.mCount, 1u);
    EXPECT_TRUE(released.empty());
}

struct Owned {
    explicit Owned(int id, std::vector<int>* log)
        : mId(id)
        , mLog(log)
    {
    }
    ~Owned() { mLog->push_back(mId); }
    int mId;
    std::vector<int>* mLog;
};

TEST(CIArrayTest, DeletesRemovedAndRemainingObjectsUnderTheDeletingPolicy)
{
    std::vector<int> deleted;
    {
        CIArray<Owned, CIArray_CallDelete<Owned>> array(0, 4);
        for (int i = 0; i < 5; ++i)
            array.Add(new Owned(i, &deleted));
        EXPECT_EQ(array.Capacity(), 8u);
        EXPECT_EQ(array.IndexOf(array[3]), 3);
        EXPECT_TRUE(array.RemoveRange(1, 3));
        EXPECT_EQ(deleted, (std::vector<int> { 2, 1 }));
        EXPECT_EQ(array[1]->mId, 3);
    }
    EXPECT_EQ(deleted, (std::vector<int> { 2, 1, 4, 3, 0 }));
}

TEST(CIArrayTest, WeakArrayNeverDeletes)
{
    std::vector<int> deleted;
    Owned kept(7, &deleted);
    {
        WeakInterfaceArray<Owned> array;
        array.Add(&kept);
        array.Add(&kept);
        EXPECT_TRUE(array.RemoveRange(0, 1));
        EXPECT_EQ(array.Count(), 1u);
        EXPECT_EQ(array[0], &kept);
    }
    EXPECT_TRUE(deleted.empty());
}

TEST(CArrayCtorTest, GrowToSizeZeroFillsAndKeepsValues)
{
    CArrayCtorInit<std::uint32_t, 1, 1> array;
    EXPECT_EQ(array.Capacity(), 1u);
    ASSERT_TRUE(array.Add(5u));
    ASSERT_TRUE(array.Add(6u)); // 1.5 x 1 = 2 and the multiple 3: 3
    EXPECT_EQ(array.Capacity(), 3u);
    ASSERT_TRUE(array.GrowToSize(10));
    EXPECT_EQ(array.Capacity(), 11u);
    EXPECT_EQ(array.Count(), 10u);
    EXPECT_EQ(array[0], 5u);
    EXPECT_EQ(array[1], 6u);
    for (std::uint32_t i = 2; i < 10; ++i)
        EXPECT_EQ(array[i], 0u);
    EXPECT_TRUE(array.GrowToSize(4)); // smaller: nothing
    EXPECT_EQ(array.Count(), 10u);
    ASSERT_TRUE(array.GrowToSize(12)); // 1.5 x 11 = 17 beats 13
    EXPECT_EQ(array.Capacity(), 17u);

    array.Reallocate(3); // exact capacity, values beyond it dropped
    EXPECT_EQ(array.Capacity(), 3u);
    EXPECT_EQ(array.Count(), 3u);
    EXPECT_EQ(array[1], 6u);
}

TEST(CArrayCtorTest, FailedGrowthLeavesTheArrayUnchanged)
{
    struct Big {
        std::uint64_t a, b;
    };
    CArrayCtorInit<Big, 1, 1> array;
    ASSERT_TRUE(array.Add(Big { 1, 2 }));
    EXPECT_FALSE(array.GrowToSize(0xFFFFFFFFu));
    EXPECT_EQ(array.Count(), 1u);
    EXPECT_EQ(array[0].b, 2u);
}

} // namespace
