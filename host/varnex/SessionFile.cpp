#include "varnex/SessionFile.h"

#include "hostframework/interfaces/MessageInterfaces.h"
#include "host/hrvdoc/HrvHostDocument.h"

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

bool OpenWithSession(vx::host::HrvHostDocument& host, IUnknown* document, ISubject* subject,
    const vx::host::SessionContent* session, const std::string& path, std::ostream& err)
{
    if (session) {
        try {
            vx::host::RestoreSessionChannels(host, *session);
        } catch (const vx::host::SessionError& e) {
            err << "varnex: the session file " << path << " cannot be used (" << e.what()
                << "); the recording opens with the default settings\n";
            session = nullptr;
        }
    }
    vx::host::LoadSessionObjects(host, document, session);
    void* out = nullptr;
    if (document && SUCCEEDED(document->QueryInterface(IObserver::kIid, &out))) {
        auto* observer = static_cast<IObserver*>(out);
        const ULONGLONG site = host.ChildSite();
        observer->OnNotify(subject, 0x80000000u, site, site);
        observer->Release();
    }
    return session != nullptr;
}

void SaveSession(vx::host::HrvHostDocument& host, const std::string& path)
{
    SessionSave save(path);
    save.WriteTemporary(vx::host::EncodeSession(vx::host::CollectSession(host)));
    save.Commit();
    vx::host::ClearSessionDirty(host);
}

} // namespace varnex
