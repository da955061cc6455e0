#include "foundation/stream/BinStream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "foundation/Utf.h"
#include "foundation/XKEL.h"

namespace KEL {

namespace {

std::uint64_t LoadLE(const unsigned char* bytes, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

void StoreLE(unsigned char* bytes, std::uint64_t value, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, value >>= 8)
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
}

// Text is read in pieces of this size, so memory grows with the bytes that really arrive and
// not with a count taken from the stream.
constexpr std::size_t kTextChunk = 64 * 1024;

[[noreturn]] void ThrowBadString()
{
    throw XKEL(kBadStreamString);
}

} // namespace

BinStream::BinStream(std::streambuf* buffer, bool ownsBuffer) noexcept
    : mBuffer(buffer)
    , mState(buffer ? kGood : kNoBuffer)
    , mOwnsBuffer(ownsBuffer)
{
}

BinStream::~BinStream()
{
    if (mOwnsBuffer)
        delete mBuffer;
}

// Reader.

BinIStream::BinIStream() noexcept
    : BinStream(nullptr, false)
{
}

BinIStream::BinIStream(std::streambuf* buffer, bool ownsBuffer)
    : BinStream(buffer, ownsBuffer)
{
    ReadStreamHeader();
}

void BinIStream::ReadStreamHeader()
{
    if (!Good()) {
        mVersion = 0;
        return;
    }
    unsigned char bytes[4] = {};
    const auto got = mBuffer->sgetn(reinterpret_cast<char*>(bytes), 4);
    if (got != 4)
        mState = kShort;
    const auto word = static_cast<std::uint32_t>(LoadLE(bytes, 4));
    if (got == 4 && (word & 0xFF00FFFFu) == 0x5500AAAAu) {
        mVersion = (word >> 16) & 0xFF;
        return;
    }
    mVersion = 1;
    if (Good() && mBuffer->pubseekoff(-4, std::ios_base::cur, std::ios_base::in) == std::streampos(-1))
        mState = kShort;
}

bool BinIStream::GetBytes(void* buffer, std::size_t count)
{
    if (!Good())
        return false;
    if (count == 0)
        return true;
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const auto step = static_cast<std::streamsize>(std::min<std::size_t>(count - done, 1u << 30));
        const auto got = mBuffer->sgetn(out + done, step);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    if (done != count) {
        mState = kShort;
        return false;
    }
    return true;
}

HRESULT BinIStream::ReadRaw(void* value, std::size_t count)
{
    if (!value)
        return E_POINTER;
    GetBytes(value, count);
    return Result();
}

std::uint8_t BinIStream::GetByte()
{
    unsigned char b = 0;
    return GetBytes(&b, 1) ? b : 0;
}

std::uint16_t BinIStream::GetU16()
{
    unsigned char b[2];
    return GetBytes(b, 2) ? static_cast<std::uint16_t>(LoadLE(b, 2)) : 0;
}

std::uint32_t BinIStream::GetU32()
{
    unsigned char b[4];
    return GetBytes(b, 4) ? static_cast<std::uint32_t>(LoadLE(b, 4)) : 0;
}

std::uint64_t BinIStream::GetU64()
{
    unsigned char b[8];
    return GetBytes(b, 8) ? LoadLE(b, 8) : 0;
}

double BinIStream::GetF64()
{
    return std::bit_cast<double>(GetU64());
}
float BinIStream::GetF32()
{
    return std::bit_cast<float>(GetU32());
}

std::uint64_t BinIStream::BytesRemaining()
{
    constexpr auto kUnknown = std::numeric_limits<std::uint64_t>::max();
    if (!Good())
        return 0;
    const std::streampos here = mBuffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
    if (here == std::streampos(-1))
        return kUnknown;
    const std::streampos end = mBuffer->pubseekoff(0, std::ios_base::end, std::ios_base::in);
    if (mBuffer->pubseekpos(here, std::ios_base::in) != here) {
        mState = kShort;
        return 0;
    }
    if (end == std::streampos(-1) || end < here)
        return kUnknown;
    return static_cast<std::uint64_t>(end - here);
}

String BinIStream::GetString()
{
    std::uint32_t tag = 0;
    std::uint64_t count = 0;
    if (mVersion >= 10) {
        tag = GetU32();
        const std::uint32_t count32 = GetU32();
        const std::uint32_t check = GetU32();
        if (static_cast<std::uint32_t>(count32 + check) != 0)
            ThrowBadString();
        count = count32;
    } else {
        count = GetU32();
        if (count > kOldStringMaxCount)
            ThrowBadString();
    }
    if (!Good())
        return String();
    const std::uint64_t bytes = (tag & 0x80000000u) ? count * 2 : count;
    // A count that the rest of the stream cannot hold is as bad as a check word that does not
    // match: it comes from damaged data, and trusting it would mean allocating by it.
    if (bytes > BytesRemaining())
        ThrowBadString();
    if (!Good())
        return String();
    return (tag & 0x80000000u) ? GetUtf16Text(count) : GetAnsiText(count);
}

String BinIStream::GetUtf16Text(std::uint64_t count)
{
    std::vector<char16_t> units;
    std::vector<unsigned char> chunk;
    while (units.size() < count) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count - units.size(), kTextChunk));
        chunk.resize(step * 2);
        if (!GetBytes(chunk.data(), chunk.size()))
            return String();
        for (std::size_t i = 0; i < step; ++i)
            units.push_back(static_cast<char16_t>(chunk[2 * i] | (chunk[2 * i + 1] << 8)));
    }
    // Data written elsewhere may lack the terminator; the text then runs to the count.
    std::size_t length = units.size();
    if (length > 0 && units[length - 1] == 0)
        --length;
    return String(Utf16ToWide(units.data(), length));
}

String BinIStream::GetAnsiText(std::uint64_t count)
{
    std::vector<char> text;
    while (text.size() < count) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count - text.size(), kTextChunk));
        const std::size_t at = text.size();
        text.resize(at + step);
        if (!GetBytes(text.data() + at, step))
            return String();
    }
    if (text.empty() || text.back() != 0)
        text.push_back(0);
    return String(text.data(), String::kAnsi);
}

HRESULT BinIStream::QueryInterface(REFIID, void** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT BinIStream::Tell(ULONG* position)
{
    if (!position)
        return E_POINTER;
    *position = 0xFFFFFFFFu;
    if (Good()) {
        const std::streampos at = mBuffer->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        if (at == std::streampos(-1))
            mState = kShort;
        else
            *position = static_cast<ULONG>(static_cast<std::streamoff>(at));
    }
    return Result();
}

HRESULT BinIStream::ReadByte(BYTE* value)
{
    if (!value)
        return E_POINTER;
    *value = GetByte();
    return Result();
}

HRESULT BinIStream::ReadUInt32(ULONG* value)
{
    if (!value)
        return E_POINTER;
    *value = GetU32();
    return Result();
}

HRESULT BinIStream::ReadBytes(void* buffer, ULONG count)
{
    if (!buffer && count)
        return E_POINTER;
    GetBytes(buffer, count);
    return Result();
}

HRESULT BinIStream::ReadString(IKELString** text)
{
    if (!text)
        return E_POINTER;
    *text = nullptr;
    try {
        String value = GetString();
        *text = value.CopyRep();
    } catch (const XKEL& e) {
        return e.GetHResult();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return Result();
}

HRESULT BinIStream::GetVersion(ULONG* version)
{
    if (!version)
        return E_POINTER;
    *version = mVersion;
    return Result();
}

// Writer.

BinOStream::BinOStream() noexcept
    : BinStream(nullptr, false)
{
}
BinOStream::BinOStream(std::streambuf* buffer, bool ownsBuffer)
    : BinStream(buffer, ownsBuffer)
{
}

void BinOStream::PutBytes(const void* buffer, std::size_t count)
{
    if (!Good() || count == 0)
        return;
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const auto step = static_cast<std::streamsize>(std::min<std::size_t>(count - done, 1u << 30));
        const auto put = mBuffer->sputn(in + done, step);
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    if (done != count)
        mState = kShort;
}

void BinOStream::PutByte(std::uint8_t value)
{
    PutBytes(&value, 1);
}

void BinOStream::PutU16(std::uint16_t value)
{
    unsigned char b[2];
    StoreLE(b, value, 2);
    PutBytes(b, 2);
}

void BinOStream::PutU32(std::uint32_t value)
{
    unsigned char b[4];
    StoreLE(b, value, 4);
    PutBytes(b, 4);
}

void BinOStream::PutU64(std::uint64_t value)
{
    unsigned char b[8];
    StoreLE(b, value, 8);
    PutBytes(b, 8);
}

void BinOStream::PutF32(float value)
{
    PutU32(std::bit_cast<std::uint32_t>(value));
}
void BinOStream::PutF64(double value)
{
    PutU64(std::bit_cast<std::uint64_t>(value));
}

void BinOStream::PutString(const String& text)
{
    std::u16string units = WideToUtf16(text.c_str(), text.Length());
    units.push_back(0);
    const auto count = static_cast<std::uint32_t>(units.size());
    PutU32(kUtf16StringTag);
    PutU32(count);
    PutU32(0u - count);
    std::vector<unsigned char> bytes(units.size() * 2);
    for (std::size_t i = 0; i < units.size(); ++i)
        StoreLE(&bytes[2 * i], units[i], 2);
    PutBytes(bytes.data(), bytes.size());
}

std::uint64_t BinOStream::Position()
{
    if (!Good())
        return 0;
    const std::streampos at = mBuffer->pubseekoff(0, std::ios_base::cur, std::ios_base::out);
    if (at == std::streampos(-1)) {
        mState = kShort;
        return 0;
    }
    return static_cast<std::uint64_t>(static_cast<std::streamoff>(at));
}

HRESULT BinOStream::QueryInterface(REFIID, void** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

HRESULT BinOStream::Tell(ULONG* position)
{
    if (!position)
        return E_POINTER;
    *position = static_cast<ULONG>(Position());
    return Result();
}

HRESULT BinOStream::Seek(ULONG position)
{
    if (Good() && mBuffer->pubseekpos(position, std::ios_base::out) == std::streampos(-1))
        mState = kShort;
    return Result();
}

HRESULT BinOStream::WriteByte(BYTE value)
{
    PutByte(value);
    return Result();
}

HRESULT BinOStream::WriteInt16(WORD value)
{
    PutU16(value);
    return Result();
}

HRESULT BinOStream::WriteInt32(ULONG value)
{
    PutU32(value);
    return Result();
}

HRESULT BinOStream::WriteFloat(float value)
{
    PutF32(value);
    return Result();
}

HRESULT BinOStream::WriteDouble(double value)
{
    PutF64(value);
    return Result();
}

HRESULT BinOStream::WriteBytes(const void* buffer, ULONG count)
{
    if (!buffer && count)
        return E_POINTER;
    PutBytes(buffer, count);
    return Result();
}

HRESULT BinOStream::WriteString(IKELString* text)
{
    try {
        PutString(String(text));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return Result();
}

HRESULT BinOStream::WriteInt64(LONGLONG value)
{
    PutU64(static_cast<std::uint64_t>(value));
    return Result();
}

HRESULT BinOStream::Flush()
{
    if (Good() && mBuffer->pubsync() != 0)
        mState = kNoBuffer;
    return Result();
}

HRESULT BinOStream::Reset()
{
    if (Good()) {
        // Bytes still pending in the buffer belong to the text being dropped: hand them to the
        // target first, so that a rewind inside the buffer cannot write them out again later.
        if (mBuffer->pubsync() != 0)
            mState = kNoBuffer;
        else if (mBuffer->pubseekpos(0, std::ios_base::out) == std::streampos(-1))
            mState = kShort;
        else
            ResetTarget();
    }
    return Result();
}

} // namespace KEL
