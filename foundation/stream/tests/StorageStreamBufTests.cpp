#include <gtest/gtest.h>

#include <vector>

#include "foundation/stream/StorageBinStream.h"
#include "foundation/stream/tests/StreamTestSupport.h"

using namespace KEL;
using KEL::test::RecordingStream;

TEST(StorageStreamBuf, WritesWholeBlocksAndTheRestAtTheFlush)
{
    auto* mem = RecordingStream::Create();
    {
        StorageOutStreamBuf buf;
        ASSERT_TRUE(buf.Open(mem));
        EXPECT_FALSE(buf.Open(mem)); // already open
        std::vector<char> data(2000);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 7);
        EXPECT_EQ(2000, buf.sputn(data.data(), 2000));
        EXPECT_EQ((std::vector<ULONG> { 1024 }), mem->mWrites);
        EXPECT_EQ(0, buf.pubsync());
        EXPECT_EQ((std::vector<ULONG> { 1024, 976 }), mem->mWrites);
        EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), mem->Bytes());
    }
    EXPECT_EQ(0u, mem->Release()); // the buffer gave its reference back
}

TEST(StorageStreamBuf, PatchingBackInsideThePendingBytesKeepsThemAll)
{
    auto* mem = RecordingStream::Create();
    {
        StorageOutStreamBuf buf;
        ASSERT_TRUE(buf.Open(mem));
        std::vector<char> data(100, 'a');
        buf.sputn(data.data(), 100);
        EXPECT_EQ(std::streampos(100), buf.pubseekoff(0, std::ios_base::cur, std::ios_base::out));
        EXPECT_EQ(std::streampos(92), buf.pubseekoff(-8, std::ios_base::cur, std::ios_base::out));
        buf.sputn("PTCH", 4);
        EXPECT_TRUE(mem->mWrites.empty());
        EXPECT_EQ(std::streampos(100), buf.pubseekpos(100, std::ios_base::out));
        buf.sputn("z", 1);
        EXPECT_EQ(0, buf.pubsync());
    }
    ASSERT_EQ((std::vector<ULONG> { 101 }), mem->mWrites);
    std::vector<std::uint8_t> expected(100, 'a');
    std::copy_n("PTCH", 4, expected.begin() + 92);
    expected.push_back('z');
    EXPECT_EQ(expected, mem->Bytes());
    mem->Release();
}

TEST(StorageStreamBuf, ReaderSeeksInsideItsBufferAndBeyond)
{
    std::vector<std::uint8_t> bytes(3000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    auto* mem = MemoryStream::Create(bytes, STGM_READ);
    {
        StorageInStreamBuf buf;
        ASSERT_TRUE(buf.Open(mem));
        char chunk[10];
        EXPECT_EQ(10, buf.sgetn(chunk, 10));
        EXPECT_EQ(std::streampos(10), buf.pubseekoff(0, std::ios_base::cur, std::ios_base::in));
        EXPECT_EQ(std::streampos(4), buf.pubseekoff(-6, std::ios_base::cur, std::ios_base::in));
        EXPECT_EQ(4, buf.sgetc());
        EXPECT_EQ(std::streampos(2500), buf.pubseekpos(2500, std::ios_base::in));
        EXPECT_EQ(2500 % 251, buf.sgetc());
        EXPECT_EQ(std::streampos(3000), buf.pubseekoff(0, std::ios_base::end, std::ios_base::in));
        EXPECT_EQ(std::char_traits<char>::eof(), buf.sgetc());
        EXPECT_EQ(std::streampos(0), buf.pubseekpos(0, std::ios_base::in));
        std::vector<char> all(3000);
        EXPECT_EQ(3000, buf.sgetn(all.data(), 3000));
        EXPECT_EQ(std::vector<std::uint8_t>(all.begin(), all.end()), bytes);
    }
    mem->Release();
}

TEST(StorageStreamBuf, ReadWriteStreamSwitchesBetweenReadingAndWriting)
{
    auto* mem = MemoryStream::Create(std::vector<std::uint8_t>(2000, 'r'), STGM_READWRITE);
    {
        StorageStreamBuf buf;
        ASSERT_TRUE(buf.Open(mem));
        char chunk[10];
        EXPECT_EQ(10, buf.sgetn(chunk, 10));
        // A write after a read lands right after what was read, not where the buffer ended.
        EXPECT_EQ(3, buf.sputn("WWW", 3));
        EXPECT_EQ(0, buf.pubsync());
        EXPECT_EQ('r', buf.sgetc());
    }
    EXPECT_EQ('r', mem->Bytes()[9]);
    EXPECT_EQ('W', mem->Bytes()[10]);
    EXPECT_EQ('W', mem->Bytes()[12]);
    EXPECT_EQ('r', mem->Bytes()[13]);
    EXPECT_EQ(2000u, mem->Bytes().size());
    mem->Release();
}
