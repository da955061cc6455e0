#pragma once
// Buffered byte streams over an IStream (a storage stream of the compound file, or any other).
// One 1024-byte buffer serves reading and writing; the underlying stream sees whole blocks. The
// writer can step back into bytes it has not flushed yet, patch a field and step forward again
// without a write to the stream, and the reader can step back within what it has buffered.
#include <cstdint>
#include <streambuf>

#include "com/Storage.h"

namespace KEL {

class StorageStreamBuf : public std::streambuf {
public:
    static constexpr std::size_t kBufferSize = 1024;
    static constexpr std::size_t kPutBackSize = 4;
    enum Access : std::uint32_t { kNone = 0, kRead = 1, kWrite = 2, kReadWrite = 3 };

    StorageStreamBuf() noexcept;
    ~StorageStreamBuf() override;
    StorageStreamBuf(const StorageStreamBuf&) = delete;
    StorageStreamBuf& operator=(const StorageStreamBuf&) = delete;

    // Takes a reference to the stream. False when already open, for a null stream, or when the
    // stream cannot tell its mode or position.
    bool Open(IStream* stream);
    // Flushes pending output and releases the stream; false when the flush failed.
    bool Close();
    bool IsOpen() const noexcept { return mOpen; }
    IStream* Stream() const noexcept { return mStream; }
    std::uint32_t GetAccess() const noexcept { return mAccess; }

protected:
    int sync() override;
    int_type underflow() override;
    int_type overflow(int_type c) override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

    pos_type BaseSeek(off_type offset, std::ios_base::seekdir dir);
    char* BufferStart() noexcept { return mBuffer + kPutBackSize; }
    void ResetPutArea() noexcept;

    std::uint32_t mAccess = kNone;
    bool mOpen = false;
    std::uint64_t mPosition = 0; // the underlying stream's position
    char* mHighWater = nullptr; // furthest byte written in the current put area
    IStream* mStream = nullptr;
    char mBuffer[kPutBackSize + kBufferSize];
};

class StorageInStreamBuf : public StorageStreamBuf {
protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
};

class StorageOutStreamBuf : public StorageStreamBuf {
protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
};

} // namespace KEL
