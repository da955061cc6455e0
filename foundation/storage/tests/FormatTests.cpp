// The documented layout, byte by byte.
#include <gtest/gtest.h>

#include "CompoundFileChecker.h"
#include "TestSupport.h"
#include "foundation/storage/ElementName.h"
#include "foundation/storage/Format.h"

using namespace vxtest;

TEST(CompoundFileFormat, RecordRoundTripsAtDocumentedOffsets)
{
    KEL::StorageFormat::ElementRecord r;
    r.name = u"Name";
    r.firstCluster = 7;
    r.size = 0x123456789ull;
    r.endCluster = 9 | 0x80000000u;
    r.mtime = { 1, 2 };
    r.ctime = { 3, 4 };
    r.atime = { 5, 6 };
    r.clsid = vx::com::MakeGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}");
    r.type = 2;
    std::vector<std::uint8_t> b(160);
    KEL::StorageFormat::EncodeRecord(r, b.data());
    EXPECT_EQ(b[0], 'N');
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[8], 0);
    EXPECT_EQ(U64At(b, 64), 0u);
    EXPECT_EQ(U32At(b, 72), 7u);
    EXPECT_EQ(U64At(b, 80), 0x123456789ull);
    EXPECT_EQ(U32At(b, 88), 0x80000009u);
    EXPECT_EQ(U32At(b, 96), 1u); // modification
    EXPECT_EQ(U32At(b, 104), 3u); // creation
    EXPECT_EQ(U32At(b, 112), 5u); // access
    EXPECT_EQ(U32At(b, 120), 0x00112233u);
    EXPECT_EQ(b[124], 0x55);
    EXPECT_EQ(b[135], 0xFF);
    EXPECT_EQ(U32At(b, 140), 2u);
    KEL::StorageFormat::ElementRecord back;
    ASSERT_TRUE(KEL::StorageFormat::DecodeRecord(b.data(), back));
    EXPECT_EQ(back.name, r.name);
    EXPECT_EQ(back.size, r.size);
    EXPECT_EQ(back.clsid, r.clsid);
    EXPECT_EQ(back.atime.dwHighDateTime, 6u);
}

TEST(CompoundFileFormat, EmptyStreamCommittedIntoNewFile)
{
    MemoryFile f;
    IStream* s = nullptr;
    ASSERT_EQ(f.root->CreateStream(L"Data", STGM_READWRITE, 0, 0, &s), S_OK);
    s->Release();
    ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
    const auto& b = f.bytes->Bytes();
    ASSERT_EQ(b.size(), 66048u);
    EXPECT_EQ(U32At(b, 148), 0u); // the file names copy 0
    EXPECT_EQ(Kel(f.root)->Allocator().Generation(), 1u); // the next commit writes copy 1
    // Header fields.
    EXPECT_EQ(b[0], 'M');
    EXPECT_EQ(b[2], 'o');
    EXPECT_EQ(U32At(b, 128), 29u);
    EXPECT_EQ(U32At(b, 132), 512u);
    EXPECT_EQ(U32At(b, 136), 0x20000u);
    EXPECT_EQ(U32At(b, 140), 0x7FFFFFFFu);
    EXPECT_EQ(U32At(b, 152), 15u);
    EXPECT_EQ(U32At(b, 156), 4096u);
    EXPECT_EQ(U32At(b, 164), 0u - 4096u);
    EXPECT_EQ(U32At(b, 172), 3u); // the map in cluster 3
    EXPECT_EQ(U32At(b, 160), 0u); // copy 1 untouched
    EXPECT_EQ(U32At(b, 176), 0u);
    // Root record copy 0: the directory in cluster 2, 8 + 160 bytes.
    EXPECT_EQ(b[184], 'K');
    EXPECT_EQ(U32At(b, 184 + 72), 2u);
    EXPECT_EQ(U64At(b, 184 + 80), 168u);
    EXPECT_EQ(U32At(b, 184 + 88), 2u);
    EXPECT_EQ(U32At(b, 184 + 140), 1u);
    // The directory.
    EXPECT_EQ(U32At(b, 512), 1u);
    EXPECT_EQ(U32At(b, 516), 0xFFFFFFFFu);
    EXPECT_EQ(b[520], 'D');
    EXPECT_EQ(U32At(b, 520 + 72), 0u); // no cluster
    EXPECT_EQ(U64At(b, 520 + 80), 0u); // size 0
    EXPECT_EQ(U32At(b, 520 + 140), 2u); // a stream
    // The map: heads, the two used clusters, the free list from 4.
    const std::uint64_t map = ClusterAt(3);
    EXPECT_EQ(U32At(b, map + 0), 4u);
    EXPECT_EQ(U32At(b, map + 4), 0x80000000u);
    EXPECT_EQ(U32At(b, map + 8), 0u);
    EXPECT_EQ(U32At(b, map + 12), 0u);
    EXPECT_EQ(U64At(b, map + 16), 0u);
    EXPECT_EQ(U64At(b, map + 24), 0u);
    EXPECT_EQ(U32At(b, map + 32), 5u);
    EXPECT_EQ(U32At(b, map + 36), 0x80000000u);
    EXPECT_EQ(U32At(b, map + 4095 * 8), 0u);
    EXPECT_EQ(U32At(b, map + 4095 * 8 + 4), 4094u | 0x80000000u);
    CheckedFile checked;
    EXPECT_EQ(CheckCompoundFile(b, checked), "");
}

TEST(CompoundFileFormat, CommitsAlternateCopiesEachNamingItsOwnMap)
{
    MemoryFile f;
    IStream* s = nullptr;
    ASSERT_EQ(f.root->CreateStream(L"A", STGM_READWRITE, 0, 0, &s), S_OK);
    std::uint32_t previousFirst = 0;
    for (int round = 0; round < 4; ++round) {
        ASSERT_EQ(WriteAll(s, Pattern(100, round)), S_OK);
        ASSERT_EQ(f.root->Commit(STGC_DEFAULT), S_OK);
        const auto& b = f.bytes->Bytes();
        const std::uint32_t copy = round % 2;
        EXPECT_EQ(U32At(b, 148), copy) << round;
        CheckedFile checked;
        ASSERT_EQ(CheckCompoundFile(b, checked), "") << round;
        ASSERT_EQ(checked.root.children.size(), 1u);
        EXPECT_EQ(checked.root.children[0].data.size(), 100u * (round + 1));
        const std::uint32_t first = U32At(b, 172 + 4 * copy);
        EXPECT_EQ(U32At(b, 156 + 4 * copy), 4096u);
        EXPECT_NE(first, previousFirst) << "each copy names its own map run";
        if (round >= 2) {
            EXPECT_EQ(U32At(b, 172 + 4 * (copy ^ 1)), previousFirst);
        }
        previousFirst = first;
    }
    s->Release();
}

TEST(CompoundFileFormat, NewRootReleasedUnusedWritesNothing)
{
    MemoryFile f;
    f.Close();
    EXPECT_EQ(f.bytes->Writes(), 0u);
    EXPECT_TRUE(f.bytes->Bytes().empty());
}

TEST(CompoundFileFormat, CaseFoldingIsUnicodeAndLocaleFree)
{
    struct Case {
        char16_t a, b;
        bool equal;
    };
    const Case cases[] = {
        { u'a', u'A', true },
        { u'z', u'Z', true },
        { u'\u00E9', u'\u00C9', true },
        { u'\u00FE', u'\u00DE', true },
        { u'\u03B1', u'\u0391', true },
        { u'\u03C9', u'\u03A9', true },
        { u'\u0430', u'\u0410', true },
        { u'\u044F', u'\u042F', true },
        { u'\uFF41', u'\uFF21', true },
        { u'\u0451', u'\u0401', true },
        { u'\u03C2', u'\u03A3', true },
        { u'[', u'{', false },
        { u' ', u'\0', false },
        { u'@', u'`', false },
        { u'\u00F7', u'\u00D7', false },
        { u'\u00FF', u'\u00DF', false },
        { u'1', u'\u0011', false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(KEL::NamesEqual(std::u16string(1, c.a), std::u16string(1, c.b)), c.equal)
            << std::hex << int(c.a) << " " << int(c.b);
    // Every ASCII and Latin-1 letter pair that differs in bit 5 only still compares equal.
    for (char16_t u = 0x41; u <= 0xDE; ++u) {
        const bool letter = (u >= 0x41 && u <= 0x5A) || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
        if (letter) {
            EXPECT_TRUE(KEL::NamesEqual(std::u16string(1, u), std::u16string(1, char16_t(u | 0x20)))) << int(u);
        }
    }
}
