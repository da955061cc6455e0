#pragma once
// Wide output streams that write straight into a KEL::String, without an intermediate
// std::wstring: the stream buffer's put area is the character block of the string's
// representation.
#include <cstddef>
#include <ios>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "foundation/String.h"

namespace KEL {

// A wide stream buffer over a block of memory that its owner can lock or grow directly.
class MemStreamBufBase : public std::basic_streambuf<wchar_t> {
public:
    struct Block {
        wchar_t* data;
        std::size_t capacity;
        std::size_t length;
    };
    // Makes the block writable at its current capacity: its characters, capacity and length.
    virtual Block LockBuffer() = 0;
    // Records `length` characters as written and grows the block to `capacity`.
    virtual Block ReserveBuffer(std::size_t length, std::size_t capacity) = 0;
};

class StringStreamBuf : public MemStreamBufBase {
public:
    explicit StringStreamBuf(std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out);
    ~StringStreamBuf() override;
    StringStreamBuf(const StringStreamBuf&) = delete;
    StringStreamBuf& operator=(const StringStreamBuf&) = delete;

    // The text written so far. The string handed out never changes: later writes go to a copy
    // and continue where the text ended.
    String GetString();
    // The characters written so far (valid until the next write).
    std::wstring_view View() const noexcept;
    std::size_t Size() const noexcept;

    Block LockBuffer() override;
    Block ReserveBuffer(std::size_t length, std::size_t capacity) override;

protected:
    int_type overflow(int_type c) override;
    int_type pbackfail(int_type c) override;
    int_type underflow() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    // The largest block the put area covers.
    static constexpr std::size_t kMaxCapacity = 0x7FFFFFFF;

    void UpdateHigh() noexcept;
    // Makes the put area (and get area) cover a block that this buffer alone holds.
    void Establish();
    // Moves the written text into a fresh block of `capacity` characters.
    void MoveTo(std::size_t capacity);
    void SetAreas(std::size_t putOffset, std::size_t getOffset);

    std::ios_base::openmode mMode;
    String mText;
    bool mHandedOut = false;
    std::size_t mHigh = 0; // characters written (the high-water mark of the put pointer)
    std::size_t mPutOffset = 0; // where writing continues while no put area is set
    std::size_t mGetOffset = 0;
};

class OStringStream : public std::basic_ostream<wchar_t> {
public:
    OStringStream();
    ~OStringStream() override;
    // The text written so far.
    String Str() { return mBuffer.GetString(); }
    StringStreamBuf* rdbuf() noexcept { return &mBuffer; }

private:
    StringStreamBuf mBuffer;
};

namespace Automation {
// A string stream in the classic locale, for numbers written into formulas, scripts and markup.
class ClassicOStringStream : public OStringStream {
public:
    ClassicOStringStream();
};
} // namespace Automation

} // namespace KEL
