#pragma once
// A recording file opened for reading. Only regular files are read: a FIFO, a device or a
// directory is refused at once (opening never blocks). The file's size when it was opened is
// all that is ever read, so memory follows the file's real size; a read error and a file that
// shrinks while it is read are errors naming the file, never taken as its end.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>

namespace vx::import {

class InputFile {
public:
    // Throws ImportError "<name>: cannot be opened (<reason>)" or "<name>: is not a regular file".
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& Name() const { return mName; }
    // The size when the file was opened.
    int64_t Size() const { return mSize; }
    int Descriptor() const { return mFd; }

    // Reads up to `count` bytes at the current position; fewer only at the size above. Throws
    // ImportError on a read error or when the file ends before that size.
    std::size_t Read(void* buffer, std::size_t count);
    // The whole file; throws ImportError when it is larger than `limit` bytes (`what` names it).
    std::string ReadAll(int64_t limit, const char* what);
    // Reads up to `count` bytes at `offset` without moving the position; fewer only at the size
    // above. Safe to call from several threads at once. Throws as Read does.
    std::size_t ReadAt(int64_t offset, void* buffer, std::size_t count) const;
    // Moves to `offset` from the start (clamped to the size).
    void Seek(int64_t offset);

    // A stream over the file that rethrows ImportError from its reads (badbit raises).
    std::istream& Stream();

private:
    class Buffer;
    std::string mName;
    int mFd = -1;
    int64_t mSize = 0;
    int64_t mPosition = 0;
    std::unique_ptr<Buffer> mBuffer;
    std::unique_ptr<std::istream> mStream;
};

} // namespace vx::import
