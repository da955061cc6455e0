#include "host/import/InputFile.h"

#include "host/import/Wfdb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace vx::import {

class InputFile::Buffer : public std::streambuf {
public:
    explicit Buffer(InputFile& file)
        : mFile(file)
        , mBytes(1 << 16)
    {
    }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        const std::size_t n = mFile.Read(mBytes.data(), mBytes.size());
        setg(mBytes.data(), mBytes.data(), mBytes.data() + n);
        return n == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
    }

    std::streamsize xsgetn(char* out, std::streamsize count) override
    {
        // Large reads go straight into the caller's buffer.
        std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
        if (done > 0) {
            std::memcpy(out, gptr(), static_cast<std::size_t>(done));
            gbump(static_cast<int>(done));
        }
        while (done < count) {
            const std::size_t n = mFile.Read(out + done, static_cast<std::size_t>(count - done));
            if (n == 0)
                break;
            done += static_cast<std::streamsize>(n);
        }
        return done;
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        const int64_t here = mFile.mPosition - (egptr() - gptr());
        const int64_t base = dir == std::ios_base::beg ? 0 : dir == std::ios_base::cur ? here : mFile.mSize;
        if (dir == std::ios_base::cur && offset == 0)
            return here;
        return seekpos(base + offset, std::ios_base::in);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode) override
    {
        if (position < 0)
            return pos_type(off_type(-1));
        setg(mBytes.data(), mBytes.data(), mBytes.data());
        mFile.Seek(position);
        return position;
    }

private:
    InputFile& mFile;
    std::vector<char> mBytes;
};

InputFile::InputFile(const std::filesystem::path& path)
    : mName(path.string())
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    mFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (mFd < 0)
        throw ImportError(mName + ": cannot be opened (" + std::strerror(errno) + ")");
    struct stat st { };
    if (::fstat(mFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(mFd);
        mFd = -1;
        throw ImportError(mName + ": is not a regular file");
    }
    mSize = st.st_size;
}

InputFile::~InputFile()
{
    mStream.reset();
    mBuffer.reset();
    if (mFd >= 0)
        ::close(mFd);
}

std::size_t InputFile::Read(void* buffer, std::size_t count)
{
    const std::size_t done = ReadAt(mPosition, buffer, count);
    mPosition += static_cast<int64_t>(done);
    return done;
}

std::size_t InputFile::ReadAt(int64_t offset, void* buffer, std::size_t count) const
{
    offset = std::clamp<int64_t>(offset, 0, mSize);
    count = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(count), mSize - offset));
    std::size_t done = 0;
    while (done < count) {
        const int64_t at = offset + static_cast<int64_t>(done);
        const ssize_t n = ::pread(mFd, static_cast<char*>(buffer) + done, count - done, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw ImportError(mName + ": read error at byte " + std::to_string(at) + " (" + std::strerror(errno) + ")");
        if (n == 0)
            throw ImportError(mName + ": became shorter while it was read (" + std::to_string(at) + " of "
                + std::to_string(mSize) + " bytes)");
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string InputFile::ReadAll(int64_t limit, const char* what)
{
    if (mSize > limit)
        throw ImportError(mName + ": " + std::to_string(mSize) + " bytes is too large for " + what + " (at most "
            + std::to_string(limit) + ")");
    std::string bytes(static_cast<std::size_t>(mSize - std::min(mPosition, mSize)), '\0');
    bytes.resize(Read(bytes.data(), bytes.size()));
    return bytes;
}

void InputFile::Seek(int64_t offset)
{
    mPosition = std::clamp<int64_t>(offset, 0, mSize);
}

std::istream& InputFile::Stream()
{
    if (!mStream) {
        mBuffer = std::make_unique<Buffer>(*this);
        mStream = std::make_unique<std::istream>(mBuffer.get());
        mStream->exceptions(std::ios::badbit);
    }
    return *mStream;
}

} // namespace vx::import
