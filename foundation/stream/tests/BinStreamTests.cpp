#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "com/Storage.h"
#include "foundation/XKEL.h"
#include "foundation/stream/StorageBinStream.h"
#include "foundation/stream/tests/StreamTestSupport.h"
#include "log/Log.h"

using namespace KEL;
using KEL::test::AppendU32;
using KEL::test::Bytes;

namespace {

struct StreamHolder {
    explicit StreamHolder(std::vector<std::uint8_t> bytes = {})
        : stream(MemoryStream::Create(std::move(bytes)))
    {
    }
    ~StreamHolder() { stream->Release(); }
    MemoryStream* stream;
};

std::vector<std::uint8_t> Headed(std::uint32_t header, const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> out;
    AppendU32(out, header);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

HRESULT ThrownCode(BinIStream& in)
{
    try {
        in.GetString();
    } catch (const XKEL& e) {
        return e.GetHResult();
    }
    return S_OK;
}

} // namespace

TEST(BinStream, WritesHeaderAndEveryEncodingInTheDocumentedBytes)
{
    StreamHolder mem;
    {
        StorageBinOStreamLite out(mem.stream);
        out.PutByte(0x12);
        out.PutU16(0x3456);
        out.PutU32(0x789ABCDE);
        out.PutF32(1.5f);
        out.PutF64(-2.0);
        out.PutU64(0x0102030405060708ull);
        out.PutBytes("xy", 2);
        out.PutString(String());
        out.PutString(String(L"A\u00e9\U0001F600"));
        ASSERT_EQ(S_OK, out.Flush());
    }
    const auto expected = Bytes({ 0xAA, 0xAA, 0x15, 0x55, 0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78, 0x00, 0x00, 0xC0,
        0x3F, // 1.5f
        0, 0, 0, 0, 0, 0, 0x00, 0xC0, // -2.0
        8, 7, 6, 5, 4, 3, 2, 1, 'x', 'y',
        // empty string: tag, count 1, check -1, terminator
        0x01, 0x00, 0x00, 0x80, 0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,
        // "A", e-acute, a surrogate pair, terminator: 5 units
        0x01, 0x00, 0x00, 0x80, 0x05, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0 });
    EXPECT_EQ(expected, mem.stream->Bytes());

    mem.stream->Rewind();
    StorageBinIStreamLite in(mem.stream);
    EXPECT_EQ(21u, in.Version());
    EXPECT_EQ(0x12, in.GetByte());
    EXPECT_EQ(0x3456, in.GetU16());
    EXPECT_EQ(0x789ABCDEu, in.GetU32());
    EXPECT_EQ(1.5f, in.GetF32());
    EXPECT_EQ(-2.0, in.GetF64());
    EXPECT_EQ(0x0102030405060708ull, in.GetU64());
    char block[2];
    EXPECT_TRUE(in.GetBytes(block, 2));
    EXPECT_EQ(0, std::memcmp(block, "xy", 2));
    EXPECT_EQ(String(), in.GetString());
    EXPECT_EQ(String(L"A\u00e9\U0001F600"), in.GetString());
    EXPECT_TRUE(in.Good());
    EXPECT_EQ(0, in.GetByte()); // past the end
    EXPECT_EQ(BinStream::kShort, in.State());
    BYTE b = 7;
    EXPECT_EQ(E_FAIL, in.ReadByte(&b));
    EXPECT_EQ(0, b);
}

TEST(BinStream, HeaderWordDecidesVersionAndStringEncoding)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint32_t version;
        std::uint32_t state;
        std::uint32_t firstWord;
    };
    const Case cases[] = {
        { Headed(0x5515AAAA, Bytes({ 1, 0, 0, 0 })), 21, 0, 1 },
        { Headed(0x5503AAAA, Bytes({ 2, 0, 0, 0 })), 3, 0, 2 },
        { Headed(0x55FFAAAA, Bytes({ 3, 0, 0, 0 })), 0xFF, 0, 3 },
        { Bytes({ 0x10, 0x00, 0x01, 0x00, 9, 9 }), 1, 0, 0x10010 }, // no header: the word is data
        { Bytes({ 0xAA, 0xAA }), 1, BinStream::kShort, 0 },
        { {}, 1, BinStream::kShort, 0 },
    };
    for (const auto& c : cases) {
        StreamHolder mem(c.bytes);
        StorageBinIStreamLite in(mem.stream);
        EXPECT_EQ(c.version, in.Version());
        EXPECT_EQ(c.firstWord, in.GetU32());
        EXPECT_EQ(c.state, in.State());
    }

    // Old versions hold strings as a count and ANSI bytes, with or without a terminator.
    std::vector<std::uint8_t> old = Headed(0x5503AAAA, {});
    AppendU32(old, 4);
    old.insert(old.end(), { 'c', 'a', 'f', 0xE9 });
    AppendU32(old, 3);
    old.insert(old.end(), { 'o', 'k', 0 });
    AppendU32(old, 0);
    StreamHolder mem(old);
    StorageBinIStreamLite in(mem.stream);
    EXPECT_EQ(String(L"caf\u00e9"), in.GetString());
    EXPECT_EQ(String(L"ok"), in.GetString());
    EXPECT_EQ(String(), in.GetString());
    EXPECT_TRUE(in.Good());
}

TEST(BinStream, TaggedStringsFromOtherWritersAreAccepted)
{
    std::vector<std::uint8_t> body;
    AppendU32(body, 0x80000001); // UTF-16 without terminator
    AppendU32(body, 2);
    AppendU32(body, 0u - 2);
    body.insert(body.end(), { 'h', 0, 'i', 0 });
    AppendU32(body, 0x00000001); // ANSI text under a tag without the high bit
    AppendU32(body, 3);
    AppendU32(body, 0u - 3);
    body.insert(body.end(), { 'a', 0xFC, 'b' });
    StreamHolder mem(Headed(0x5515AAAA, body));
    StorageBinIStreamLite in(mem.stream);
    EXPECT_EQ(String(L"hi"), in.GetString());
    EXPECT_EQ(String(L"a\u00fcb"), in.GetString());
    EXPECT_TRUE(in.Good());
}

TEST(BinStream, BadStringHeadersThrowWithoutAllocatingByTheCount)
{
    struct Case {
        const char* name;
        std::uint32_t header;
        std::vector<std::uint32_t> words;
        std::size_t payload;
        HRESULT expected;
    };
    const Case cases[] = {
        { "check mismatch", 0x5515AAAA, { 0x80000001, 3, 0xFFFFFFFE }, 6, kBadStreamString },
        { "count beyond the data", 0x5515AAAA, { 0x80000001, 0xFFFFFFFF, 1 }, 4, kBadStreamString },
        { "count just beyond the data", 0x5515AAAA, { 0x80000001, 4, 0xFFFFFFFC }, 6, kBadStreamString },
        { "ansi count beyond the data", 0x5515AAAA, { 1, 0x7FFFFFFF, 0x80000001 }, 8, kBadStreamString },
        { "old count 64001", 0x5503AAAA, { 64001 }, 64001, kBadStreamString },
        { "old count 64000", 0x5503AAAA, { 64000 }, 64000, S_OK },
        { "old count beyond the data", 0x5503AAAA, { 60000 }, 10, kBadStreamString },
    };
    vx::log::Capture capture;
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes;
        AppendU32(bytes, c.header);
        for (auto w : c.words)
            AppendU32(bytes, w);
        bytes.resize(bytes.size() + c.payload, 'x');
        StreamHolder mem(bytes);
        StorageBinIStreamLite in(mem.stream);
        EXPECT_EQ(c.expected, ThrownCode(in)) << c.name;

        // The interface reports the same code instead of throwing.
        mem.stream->Rewind();
        StorageBinIStreamLite again(mem.stream);
        IBinInStream* reader = &again;
        IKELString* text = reinterpret_cast<IKELString*>(1);
        EXPECT_EQ(c.expected, reader->ReadString(&text)) << c.name;
        if (c.expected == S_OK)
            text->Release();
        else
            EXPECT_EQ(nullptr, text);
    }
}

TEST(BinStream, ShortTextOnAnUnseekableSourceGivesEmptyAndBadState)
{
    std::vector<std::uint8_t> bytes;
    AppendU32(bytes, 0x5515AAAA);
    AppendU32(bytes, 0x80000001);
    AppendU32(bytes, 100);
    AppendU32(bytes, 0u - 100);
    bytes.insert(bytes.end(), { 'a', 0, 'b', 0 });
    test::UnseekableBuf buf(std::string(bytes.begin(), bytes.end()));
    BinIStream in(&buf);
    EXPECT_EQ(21u, in.Version());
    EXPECT_EQ(String(), in.GetString());
    EXPECT_EQ(BinStream::kShort, in.State());
    EXPECT_EQ(String(), in.GetString()); // nothing more is read
}

TEST(BinStream, ReaderAndWriterInterfaceSlots)
{
    StreamHolder mem;
    StorageBinOStreamLite out(mem.stream);
    IBinOutStream* w = &out;
    EXPECT_EQ(1u, w->AddRef());
    EXPECT_EQ(1u, w->Release());
    void* any = &out;
    EXPECT_EQ(E_NOTIMPL, w->QueryInterface(IUnknown::kIid, &any));
    EXPECT_EQ(nullptr, any);
    EXPECT_EQ(E_NOTIMPL, w->Unused6());
    EXPECT_EQ(S_OK, w->WriteInt32(0));
    ULONG at = 0;
    EXPECT_EQ(S_OK, w->Tell(&at));
    EXPECT_EQ(8u, at);
    EXPECT_EQ(S_OK, w->Seek(4)); // back-patch the placeholder
    EXPECT_EQ(S_OK, w->WriteInt32(0xCAFEF00D));
    EXPECT_EQ(S_OK, w->Seek(8));
    String text(L"patched");
    EXPECT_EQ(S_OK, w->WriteString(text.Rep()));
    EXPECT_EQ(S_OK, w->WriteInt64(-1));
    EXPECT_EQ(S_OK, w->WriteBytes(nullptr, 0));
    EXPECT_EQ(S_OK, w->Flush());

    mem.stream->Rewind();
    StorageBinIStreamLite in(mem.stream);
    IBinInStream* r = &in;
    ULONG version = 0, word = 0;
    EXPECT_EQ(S_OK, r->GetVersion(&version));
    EXPECT_EQ(21u, version);
    EXPECT_EQ(S_OK, r->ReadUInt32(&word));
    EXPECT_EQ(0xCAFEF00Du, word);
    IKELString* rep = nullptr;
    ASSERT_EQ(S_OK, r->ReadString(&rep));
    EXPECT_EQ(String(L"patched"), String(rep));
    rep->Release();
    LONGLONG big = 0;
    EXPECT_EQ(S_OK, r->ReadInt64(&big));
    EXPECT_EQ(-1, big);
    EXPECT_EQ(E_NOTIMPL, r->Unused12());
    EXPECT_EQ(S_OK, r->CheckState());
    EXPECT_EQ(E_FAIL, r->ReadUInt32(&word));
    EXPECT_EQ(0u, word);
    EXPECT_EQ(E_FAIL, r->Tell(&word));
    EXPECT_EQ(0xFFFFFFFFu, word);
}

TEST(BinStream, MissingStreamAndFailedFlushSetState4)
{
    StorageBinIStreamLite noIn(nullptr);
    EXPECT_EQ(BinStream::kNoBuffer, noIn.State());
    EXPECT_EQ(0u, noIn.Version());
    EXPECT_EQ(0u, noIn.GetU32());
    StorageBinOStreamLite noOut(nullptr);
    EXPECT_EQ(BinStream::kNoBuffer, noOut.State());

    // A stream opened for reading only takes no header: the write comes up short.
    auto* readOnly = MemoryStream::Create({}, STGM_READ);
    {
        StorageBinOStreamLite out(readOnly);
        EXPECT_EQ(BinStream::kShort, out.State());
    }
    EXPECT_TRUE(readOnly->Bytes().empty());
    EXPECT_EQ(0u, readOnly->Release());

    // A stream that refuses the write when the buffer is flushed.
    auto* full = test::RecordingStream::Create();
    full->mFailWrites = true;
    {
        StorageBinOStreamLite out(full);
        EXPECT_TRUE(out.Good()); // the header is still in the buffer
        EXPECT_EQ(E_FAIL, out.Flush());
        EXPECT_EQ(BinStream::kNoBuffer, out.State());
    }
    EXPECT_EQ(0u, full->Release());
}

TEST(BinStream, ResetStartsOverOnAnEmptyStream)
{
    for (bool flushFirst : { true, false }) {
        StreamHolder mem;
        {
            StorageBinOStreamLite out(mem.stream);
            out.PutString(String(L"first"));
            if (flushFirst) {
                out.Flush();
                EXPECT_GT(mem.stream->Bytes().size(), 4u);
            }
            EXPECT_EQ(S_OK, out.Reset());
            EXPECT_TRUE(mem.stream->Bytes().empty());
            out.PutU32(7);
        }
        // Nothing of the dropped text comes back at the final flush.
        EXPECT_EQ(Bytes({ 7, 0, 0, 0 }), mem.stream->Bytes()) << flushFirst;
    }
}
