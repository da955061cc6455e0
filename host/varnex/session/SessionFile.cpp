#include "varnex/session/SessionFile.h"

#include "caf/PlotStateRegistrar.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "hostframework/interfaces/MessageInterfaces.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace varnex {

namespace {

// The registrar's count of changes when the session file last held all of them.
std::uint64_t gPlotStatesSaved = 0;

caf::PlotStateStore& PlotStates()
{
    return caf::PlotStateRegistrarObject()->Store();
}

} // namespace

namespace {

std::string Megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

std::optional<vx::host::SessionContent> ReadSessionFile(const std::string& path, std::uint64_t maxBytes)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw vx::host::SessionError(std::strerror(errno));
    }
    if (!S_ISREG(st.st_mode))
        throw vx::host::SessionError("it is not a regular file");
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > maxBytes)
        throw vx::host::SessionError("it holds " + Megabytes(size) + ", more than a session of this recording can ("
            + Megabytes(maxBytes) + ")");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw vx::host::SessionError("it cannot be opened");
    // No more than the limit is read, even from a file that grows while it is read.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad() || static_cast<std::uint64_t>(in.gcount()) != size)
        throw vx::host::SessionError("it cannot be read");
    if (in.peek() != std::char_traits<char>::eof())
        throw vx::host::SessionError("it changed while it was read");
    return vx::host::DecodeSession(bytes);
}

void SessionSave::WriteTemporary(const std::vector<std::uint8_t>& bytes)
{
    mFile.Write(std::string(bytes.begin(), bytes.end()), OutputFile::Sync::Yes);
}

bool OpenWithSession(vx::host::HrvHostDocument& host, IUnknown* document, ISubject* subject,
    const vx::host::SessionContent* session, const std::string& path, std::ostream& err, std::string* unusable)
{
    if (session) {
        try {
            vx::host::RestoreSessionChannels(host, *session);
        } catch (const vx::host::SessionError& e) {
            err << "varnex: the session file " << path << " cannot be used (" << e.what()
                << "); it is left as it is and the recording opens with the default settings\n";
            if (unusable)
                *unusable = e.what();
            session = nullptr;
        }
    }
    vx::host::LoadSessionObjects(host, document, session);
    if (session) {
        std::vector<caf::StoredPlotState> kept;
        for (const auto& s : session->plotStates)
            kept.push_back({ s.number, s.plotId, s.itemId, s.first, s.second, s.text, s.flag });
        PlotStates().Restore(std::move(kept));
    }
    gPlotStatesSaved = PlotStates().Changes();
    void* out = nullptr;
    if (document && SUCCEEDED(document->QueryInterface(IObserver::kIid, &out))) {
        auto* observer = static_cast<IObserver*>(out);
        const ULONGLONG site = host.ChildSite();
        observer->OnNotify(subject, 0x80000000u, site, site);
        observer->Release();
    }
    return session != nullptr;
}

std::string KeptSessionRefusal(const std::string& path, const KeptSession& kept)
{
    if (kept.why == KeptSession::Why::Unreadable)
        return "will not replace the session file " + path + ", which cannot be read (" + kept.reason
            + "): move it away to save a new session";
    return "will not replace the session file " + path + ", which does not fit the recording (" + kept.reason
        + "): open the recording as it was when the session was saved, or move the file away to save a new session";
}

void SaveSession(vx::host::HrvHostDocument& host, const std::string& path)
{
    const std::uint64_t changes = PlotStates().Changes();
    vx::host::SessionContent content = vx::host::CollectSession(host);
    for (const caf::StoredPlotState& s : PlotStates().Snapshot())
        content.plotStates.push_back({ s.number, s.plotId, s.itemId, s.first, s.second, s.text, s.flag });
    SessionSave save(path);
    save.WriteTemporary(vx::host::EncodeSession(content));
    save.Commit();
    vx::host::ClearSessionDirty(host);
    gPlotStatesSaved = changes;
}

bool SessionNeedsSave(vx::host::HrvHostDocument& host)
{
    return vx::host::SessionDirty(host) || PlotStates().Changes() != gPlotStatesSaved;
}

} // namespace varnex
