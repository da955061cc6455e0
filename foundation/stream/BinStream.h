#pragma once
// The versioned binary stream format of persisted objects, and its reader and writer.
//
// Layout: a header word 0x5515AAAA (bytes AA AA 15 55, format version 0x15 in bits 16-23), then
// the object's fields one after another, little-endian, without padding. Strings from version 10
// on are a tag word 0x80000001, the count of UTF-16 units including the terminator, a check word
// equal to minus the count, and the UTF-16LE units; older versions hold a count and that many
// bytes of ANSI text. A stream without the header word is of version 1.
//
// Every read and write first checks the state and does nothing once it is bad, so a loader can
// read a whole record and test the state once at the end.
#include <cstdint>
#include <streambuf>

#include "foundation/String.h"
#include "foundation/stream/BinStreamInterfaces.h"

namespace KEL {

constexpr std::uint32_t kBinStreamHeader = 0x5515AAAAu;
constexpr std::uint32_t kBinStreamVersion = 0x15;
constexpr std::uint32_t kUtf16StringTag = 0x80000001u;
constexpr std::uint32_t kOldStringMaxCount = 64000;

class BinStream {
public:
    enum State : std::uint32_t { kGood = 0, kShort = 2, kNoBuffer = 4 };

    BinStream(const BinStream&) = delete;
    BinStream& operator=(const BinStream&) = delete;

    std::uint32_t State() const noexcept { return mState; }
    bool Good() const noexcept { return mState == kGood; }
    // Marks the stream short, as a failed read does; loaders use it when a value read is unusable.
    void SetShort() noexcept
    {
        if (mState == kGood)
            mState = kShort;
    }

protected:
    BinStream(std::streambuf* buffer, bool ownsBuffer) noexcept;
    virtual ~BinStream();
    void SetBuffer(std::streambuf* buffer) noexcept { mBuffer = buffer; }
    HRESULT Result() const noexcept { return mState == kGood ? S_OK : E_FAIL; }

    std::streambuf* mBuffer;
    std::uint32_t mState;
    bool mOwnsBuffer;
};

class BinIStream : public IBinInStream, public BinStream {
public:
    // Reads the header at once. A null buffer leaves the stream in state 4.
    explicit BinIStream(std::streambuf* buffer, bool ownsBuffer = false);

    std::uint32_t Version() const noexcept { return mVersion; }

    // Typed reads for loaders; each gives 0 once the stream is bad.
    std::uint8_t GetByte();
    std::uint32_t GetU32();
    std::int32_t GetI32() { return static_cast<std::int32_t>(GetU32()); }
    std::uint16_t GetU16();
    std::uint64_t GetU64();
    double GetF64();
    float GetF32();
    // Reads `count` bytes; false (and state 2) when fewer arrive.
    bool GetBytes(void* buffer, std::size_t count);
    // A string in the encoding of the stream's version. Throws XKEL kBadStreamString for a check
    // word that does not match, an old-style count above 64000, or a count larger than the bytes
    // left in the stream. Empty once the stream is bad, and when the text comes up short.
    String GetString();
    // Bytes between the read position and the end, or UINT64_MAX when the buffer cannot tell.
    std::uint64_t BytesRemaining();

    // IUnknown: the object lives in its user's scope; counts are not kept.
    HRESULT QueryInterface(REFIID, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT CheckState() override { return Result(); }
    HRESULT Tell(ULONG* position) override;
    HRESULT Unused5() override { return E_NOTIMPL; }
    HRESULT ReadByte(BYTE* value) override;
    HRESULT Read2Bytes(void* value) override { return ReadRaw(value, 2); }
    HRESULT Read4Bytes(void* value) override { return ReadRaw(value, 4); }
    HRESULT ReadUInt32(ULONG* value) override;
    HRESULT Read8Bytes(void* value) override { return ReadRaw(value, 8); }
    HRESULT ReadBytes(void* buffer, ULONG count) override;
    HRESULT Unused12() override { return E_NOTIMPL; }
    HRESULT Unused13() override { return E_NOTIMPL; }
    HRESULT Unused14() override { return E_NOTIMPL; }
    HRESULT Unused15() override { return E_NOTIMPL; }
    HRESULT Unused16() override { return E_NOTIMPL; }
    HRESULT Unused17() override { return E_NOTIMPL; }
    HRESULT ReadString(IKELString** text) override;
    HRESULT GetVersion(ULONG* version) override;
    HRESULT ReadInt16(void* value) override { return ReadRaw(value, 2); }
    HRESULT ReadFloat(void* value) override { return ReadRaw(value, 4); }
    HRESULT ReadDouble(void* value) override { return ReadRaw(value, 8); }
    HRESULT ReadInt64(void* value) override { return ReadRaw(value, 8); }

protected:
    // For forms that open their buffer themselves and then call ReadStreamHeader.
    BinIStream() noexcept;
    void ReadStreamHeader();

private:
    HRESULT ReadRaw(void* value, std::size_t count);
    String GetUtf16Text(std::uint64_t count);
    String GetAnsiText(std::uint64_t count);

    std::uint32_t mVersion = 0;
};

class BinOStream : public IBinOutStream, public BinStream {
public:
    // Writes nothing by itself; the storage form writes the header.
    explicit BinOStream(std::streambuf* buffer, bool ownsBuffer = false);

    void PutByte(std::uint8_t value);
    void PutU16(std::uint16_t value);
    void PutU32(std::uint32_t value);
    void PutI32(std::int32_t value) { PutU32(static_cast<std::uint32_t>(value)); }
    void PutU64(std::uint64_t value);
    void PutF32(float value);
    void PutF64(double value);
    void PutBytes(const void* buffer, std::size_t count);
    void PutString(const String& text);
    std::uint64_t Position();

    HRESULT QueryInterface(REFIID, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT CheckState() override { return Result(); }
    HRESULT Tell(ULONG* position) override;
    HRESULT Seek(ULONG position) override;
    HRESULT Unused6() override { return E_NOTIMPL; }
    HRESULT WriteByte(BYTE value) override;
    HRESULT WriteInt16(WORD value) override;
    HRESULT WriteInt32(ULONG value) override;
    HRESULT WriteFloat(float value) override;
    HRESULT WriteDouble(double value) override;
    HRESULT WriteBytes(const void* buffer, ULONG count) override;
    HRESULT Unused13() override { return E_NOTIMPL; }
    HRESULT Unused14() override { return E_NOTIMPL; }
    HRESULT Unused15() override { return E_NOTIMPL; }
    HRESULT Unused16() override { return E_NOTIMPL; }
    HRESULT Unused17() override { return E_NOTIMPL; }
    HRESULT Unused18() override { return E_NOTIMPL; }
    HRESULT WriteString(IKELString* text) override;
    HRESULT WriteInt64(LONGLONG value) override;
    HRESULT Flush() override;
    HRESULT Reset() override;

protected:
    BinOStream() noexcept;
    // What Reset does after the rewind; the storage form empties its stream.
    virtual void ResetTarget() { }
};

} // namespace KEL
