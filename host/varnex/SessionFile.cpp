#include "varnex/SessionFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace varnex {

std::optional<vx::host::SessionContent> ReadSessionFile(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw vx::host::SessionError(std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode))
        throw vx::host::SessionError("it is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw vx::host::SessionError("it cannot be opened");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw vx::host::SessionError("it cannot be read");
    return vx::host::DecodeSession(bytes);
}

void SessionSave::WriteTemporary(const std::vector<std::uint8_t>& bytes)
{
    mFile.Write(std::string(bytes.begin(), bytes.end()), OutputFile::Sync::Yes);
}

void SaveSession(vx::host::HrvHostDocument& host, const std::string& path)
{
    SessionSave save(path);
    save.WriteTemporary(vx::host::EncodeSession(vx::host::CollectSession(host)));
    save.Commit();
    vx::host::ClearSessionDirty(host);
}

} // namespace varnex
