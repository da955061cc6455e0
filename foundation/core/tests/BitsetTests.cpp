#include <gtest/gtest.h>

#include <vector>

#include "foundation/core/Bitset.h"

namespace {

using KEL::Bitset;
using KEL::BitsetRep;

// A set from its stored words and tail.
Bitset Make(std::vector<std::uint32_t> words, bool tail)
{
    Bitset s(static_cast<std::uint32_t>(words.size()));
    for (std::uint32_t i = 0; i < words.size(); ++i)
        *KEL::BitsetWordForWrite(s, i) = words[i];
    s.SetTail(tail);
    return s;
}

// Reference semantics: bit i of a set, read past the stored words as the tail.
bool Bit(const Bitset& s, std::uint32_t i)
{
    return s.Test(i);
}

TEST(BitsetTest, SetLowBitsAcrossAWordBoundary)
{
    Bitset s;
    s.SetLowBits(33);
    EXPECT_EQ(s.Word(0), 0xFFFFFFFFu);
    EXPECT_EQ(s.Word(1), 1u);
    EXPECT_FALSE(s.TailSet());

    Bitset t;
    t.SetLowBits(0);
    EXPECT_TRUE(t.None());
    t.SetLowBits(100); // grows to 4 words
    EXPECT_EQ(t.WordCount(), 4u);
    EXPECT_EQ(t.Word(3), 0xFu);
    EXPECT_TRUE(t.Test(99));
    EXPECT_FALSE(t.Test(100));
    t.SetLowBits(64);
    EXPECT_EQ(t.Word(1), 0xFFFFFFFFu);
}

TEST(BitsetTest, FindFirstSet)
{
    struct Case {
        std::vector<std::uint32_t> words;
        bool tail;
        std::int32_t expect;
    };
    const Case cases[] = {
        { { 0, 0 }, true, 64 },
        { { 0, 0 }, false, -1 },
        { { 0, 0, 0 }, true, 96 },
        { { 0x80000000u, 0 }, false, 31 },
        { { 0, 0x00010000u }, true, 48 },
        { { 0x00000100u, 1 }, false, 8 },
        { { 0, 0, 0x00000006u }, false, 65 },
    };
    for (const Case& c : cases) {
        Bitset s = Make(c.words, c.tail);
        EXPECT_EQ(s.FindFirstSet(), c.expect) << c.words.size() << " words, tail " << c.tail;
    }
}

// The union and symmetric difference are checked bit by bit against the sets' own reading,
// over operands that store fewer, equal and more words than each other, with every tail.
TEST(BitsetTest, UnionAndSymmetricDifferenceMatchBitwiseOracle)
{
    const std::vector<std::pair<std::vector<std::uint32_t>, bool>> operands = {
        { { 0x8u, 0 }, false },
        { { 0x8u, 0 }, true },
        { { 0xF0F0F0F0u, 0x1u, 0, 0 }, false },
        { { 0xF0F0F0F0u, 0x1u, 0, 0 }, true },
        { { 0, 0, 0, 0x80000000u, 0 }, false },
        { { 0, 0, 0, 0, 0 }, true },
        { { 0xFFFFFFFFu, 0xFFFFFFFFu }, true },
    };
    for (const auto& [wa, ta] : operands)
        for (const auto& [wb, tb] : operands) {
            SCOPED_TRACE(testing::Message()
                << wa.size() << " words tail " << ta << " with " << wb.size() << " words tail " << tb);
            const Bitset a = Make(wa, ta), b = Make(wb, tb);
            Bitset u = a, x = a;
            u |= b;
            x ^= b;
            for (std::uint32_t i = 0; i < 256; ++i) {
                ASSERT_EQ(Bit(u, i), Bit(a, i) || Bit(b, i)) << "union bit " << i;
                ASSERT_EQ(Bit(x, i), Bit(a, i) != Bit(b, i)) << "difference bit " << i;
            }
            EXPECT_EQ(u.TailSet(), ta || tb);
            EXPECT_EQ(x.TailSet(), ta != tb);
        }
}

TEST(BitsetTest, DocumentedOperatorCases)
{
    Bitset three;
    three.Set(3);
    Bitset allFrom32 = Make({ 0 }, true);
    three |= allFrom32;
    EXPECT_TRUE(three.TailSet());
    EXPECT_TRUE(three.Test(3));
    EXPECT_FALSE(three.Test(4));

    Bitset x = Make({ 1, 0 }, true);
    x ^= Make({ 0, 0 }, true);
    EXPECT_FALSE(x.TailSet());
    EXPECT_EQ(x.FindFirstSet(), 0);

    Bitset self = Make({ 5, 0 }, true);
    const Bitset& alias = self;
    self ^= alias;
    EXPECT_TRUE(self.None());
}

TEST(BitsetTest, CopiesNeverShareAWrite)
{
    Bitset a;
    a.Set(1);
    Bitset b = a;
    EXPECT_EQ(a.Rep(), b.Rep()); // shared until written
    b.Set(2);
    EXPECT_NE(a.Rep(), b.Rep());
    EXPECT_FALSE(a.Test(2));
    EXPECT_TRUE(b.Test(1));

    Bitset c = a;
    c |= Make({ 0, 0, 0, 1 }, false);
    Bitset d = a;
    d ^= Make({ 0xFF }, true);
    EXPECT_EQ(a, Make({ 2 }, false));
    EXPECT_TRUE(c.Test(96));
    EXPECT_TRUE(d.Test(7));

    // A rep handed to someone else keeps its value after the owner writes.
    IKELBitset* handed = a.Rep();
    handed->AddRef();
    a.SetLowBits(10);
    ULONG words[2] = {};
    ULONG tail = 7;
    EXPECT_EQ(handed->CopyWords(2, words, &tail), 0u);
    EXPECT_EQ(words[0], 2u);
    EXPECT_EQ(tail, 0u);
    EXPECT_EQ(handed->Release(), 0u);
    EXPECT_EQ(a.Word(0), 0x3FFu);
}

TEST(BitsetTest, WordForWriteGrowsAndOwns)
{
    Bitset a = Make({ 1, 2 }, true);
    Bitset shared = a;
    std::uint32_t* w = KEL::BitsetWordForWrite(a, 5);
    EXPECT_EQ(*w, 0xFFFFFFFFu); // grown words take the tail
    *w = 0;
    EXPECT_EQ(a.WordCount(), 6u);
    EXPECT_FALSE(a.Test(5 * 32));
    EXPECT_TRUE(a.Test(4 * 32));
    EXPECT_EQ(shared.WordCount(), 2u);
    EXPECT_TRUE(shared.Test(5 * 32));
}

TEST(BitsetRepTest, ResizeCloneAndCopyWords)
{
    auto* rep = new BitsetRep(3);
    rep->AddRef();
    rep->WordData()[0] = 9;
    rep->SetTail(0xFFFFFFFFu);
    EXPECT_EQ(rep->Kind(), 1u);

    BitsetRep* grown = rep->Resize(5);
    EXPECT_EQ(grown->Words(), 5u);
    EXPECT_EQ(grown->Word(0), 9u);
    EXPECT_EQ(grown->Word(4), 0xFFFFFFFFu);
    EXPECT_EQ(grown->Tail(), 0xFFFFFFFFu);
    EXPECT_EQ(grown->RefCount(), 0u);
    EXPECT_EQ(grown->DeleteIfUnreferenced(), S_OK);

    EXPECT_EQ(rep->Resize(1)->DeleteIfUnreferenced(), S_OK);
    EXPECT_EQ(rep->DeleteIfUnreferenced(), E_FAIL); // still referenced

    ULONG words[2] = {};
    ULONG tail = 0;
    EXPECT_EQ(rep->CopyWords(2, words, &tail), 1u); // a word left out
    EXPECT_EQ(words[0], 9u);
    EXPECT_EQ(tail, 0xFFFFFFFFu);

    IKELBitset* clone = rep->Clone();
    EXPECT_NE(clone, rep);
    EXPECT_EQ(clone->WordCount(), 3u);
    EXPECT_EQ(clone->Release(), 0u);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(rep->QueryInterface(IKELBitset::kIid, &out), S_OK);
    EXPECT_EQ(out, rep);
    EXPECT_EQ(rep->Release(), 1u);
    EXPECT_EQ(rep->QueryInterface(vx::com::MakeGuid("{00000000-0000-0000-0000-0000000000AB}"), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(rep->Release(), 0u);

    BitsetRep* empty = BitsetRep::Clone(nullptr);
    EXPECT_EQ(empty->Words(), 2u);
    EXPECT_EQ(empty->Tail(), 0u);
    EXPECT_EQ(empty->DeleteIfUnreferenced(), S_OK);
}

// Another implementation of the interface, claiming our kind: it must be read through its
// operations, never taken for one of ours.
struct ForeignBitset : IKELBitset {
    HRESULT QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override { return --mCount; }
    ULONG Kind() override { return 1; }
    HRESULT DeleteIfUnreferenced() override { return E_FAIL; }
    ULONG WordCount() override { return 3; }
    ULONG CopyWords(ULONG n, ULONG* buffer, ULONG* tail) override
    {
        const ULONG words[3] = { 0, 0, 0x10 };
        for (ULONG i = 0; i < n && i < 3; ++i)
            buffer[i] = words[i];
        *tail = 0xFFFFFFFFu;
        return n < 3;
    }
    IKELBitset* Clone() override { return nullptr; }
    ULONG mCount = 1;
};

TEST(BitsetTest, SetFromAnotherImplementationIsCopiedThroughItsInterface)
{
    ForeignBitset foreign;
    Bitset s(&foreign);
    EXPECT_NE(s.Rep(), static_cast<IKELBitset*>(&foreign));
    EXPECT_EQ(s.WordCount(), 3u);
    EXPECT_EQ(s.FindFirstSet(), 68);
    EXPECT_TRUE(s.Test(1000));
    EXPECT_EQ(foreign.mCount, 1u);

    Bitset none(static_cast<IKELBitset*>(nullptr));
    EXPECT_TRUE(none.None());
}

} // namespace
