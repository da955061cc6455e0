#include "varnex/session/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "foundation/Utf.h"

namespace varnex {
namespace {

bool IsUtf8(const std::string& bytes)
{
    const std::wstring wide = KEL::Utf8ToWide(bytes);
    return KEL::Utf16ToUtf8(wide.c_str(), wide.size()) == bytes;
}

std::string Reason()
{
    return std::strerror(errno);
}

std::string TempName()
{
    static std::atomic<unsigned> counter { 0 };
    std::random_device random;
    return ".varnex-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-"
        + std::to_string(random() % 1000000) + ".tmp";
}

} // namespace

OutputFile::OutputFile(std::string target)
    : mTarget(std::move(target))
{
    namespace fs = std::filesystem;
    if (mTarget.empty())
        throw OutputError("an output file needs a name");
    struct stat st { };
    const bool exists = ::stat(mTarget.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw OutputError("cannot write " + mTarget + ": it is a folder");
    if (exists && !S_ISREG(st.st_mode)) {
        mWritePath = mTarget;
        if (!IsUtf8(mTarget)) {
            // Held open so that a writer given a UTF-8 path reaches this very file.
            mInPlace = ::open(mTarget.c_str(), O_WRONLY | O_CLOEXEC);
            if (mInPlace < 0)
                throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
            mWritePath = "/proc/self/fd/" + std::to_string(mInPlace);
        }
        return;
    }
    // A link to a file is followed: the file it names is replaced, the link stays.
    fs::path path(mTarget);
    std::error_code error;
    if (exists && fs::is_symlink(path, error))
        path = fs::canonical(path, error);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    mFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mFolder < 0)
        throw OutputError("cannot write " + mTarget + ": its folder cannot be opened (" + Reason() + ")");
    // The folder must take a new file (the temporary one) and a rename in it; asked now so that a
    // run that cannot write its outputs stops before its work.
    if (::faccessat(mFolder, ".", W_OK | X_OK, AT_EACCESS) != 0)
        throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
    mTarget = path.string();
    mFolderText = folder.string();
    mReplaces = exists;
    mMode = st.st_mode & 07777;
}

void OutputFile::MakeTemporary()
{
    for (int attempt = 0; attempt < 16 && mTempName.empty(); ++attempt) {
        const std::string name = TempName();
        const int fd = ::openat(mFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
        // A replaced file keeps its permissions.
        if (mReplaces)
            ::fchmod(fd, mMode);
        ::close(fd);
        mTempName = name;
    }
    if (mTempName.empty())
        throw OutputError("cannot write " + mTarget + ": no temporary name is free in its folder");
    mWritePath = IsUtf8(mFolderText) ? (std::filesystem::path(mFolderText) / mTempName).string()
                                     : "/proc/self/fd/" + std::to_string(mFolder) + "/" + mTempName;
}

const std::string& OutputFile::WritePath()
{
    if (mFolder >= 0 && mTempName.empty())
        MakeTemporary();
    return mWritePath;
}

OutputFile::~OutputFile()
{
    if (mInPlace >= 0)
        ::close(mInPlace);
    if (mFolder >= 0) {
        if (!mCommitted && !mTempName.empty())
            ::unlinkat(mFolder, mTempName.c_str(), 0);
        ::close(mFolder);
    }
}

void OutputFile::Write(const std::string& bytes, Sync sync)
{
    mSync = sync == Sync::Yes;
    const std::string& path = WritePath();
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string reason = n < 0 ? Reason() : "nothing was written";
            ::close(fd);
            throw OutputError("cannot write " + mTarget + " (" + reason + ")");
        }
        done += static_cast<std::size_t>(n);
    }
    if (mSync && ::fsync(fd) != 0) {
        const std::string reason = Reason();
        ::close(fd);
        throw OutputError("cannot write " + mTarget + " (" + reason + ")");
    }
    if (::close(fd) != 0)
        throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
}

void OutputFile::Commit()
{
    if (mFolder < 0 || mCommitted)
        return;
    if (mTempName.empty())
        throw OutputError("cannot write " + mTarget + ": nothing was written to it");
    const std::string name = std::filesystem::path(mTarget).filename().string();
    if (::renameat(mFolder, mTempName.c_str(), mFolder, name.c_str()) != 0)
        throw OutputError("cannot write " + mTarget + " (" + Reason() + ")");
    mCommitted = true;
    // The rename itself reaches the disk only with its folder.
    if (mSync)
        ::fsync(mFolder);
}

namespace {

// One spelling per file: absolute, with the links of the part that exists resolved and "." and
// ".." taken out of the rest. A relative name and the absolute name of one new file then match.
std::filesystem::path Normalised(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error)
        return path.lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, error);
    return (error ? absolute : resolved).lexically_normal();
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) || Normalised(a) == Normalised(b);
}

} // namespace

void CheckOutputs(const std::vector<std::string>& outputs, const std::vector<InputFile>& inputs)
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (const InputFile& input : inputs)
            if (SameFile(outputs[i], input.path))
                throw OutputError("will not write " + outputs[i] + ": " + input.role);
        for (std::size_t j = 0; j < i; ++j)
            if (SameFile(outputs[i], outputs[j]))
                throw OutputError("will not write " + outputs[i] + " twice: give each output its own file");
    }
}

} // namespace varnex
