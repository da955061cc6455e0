#pragma once
// The session file of a recording on disk. A save never leaves the user with less than the last
// good session: the new file is written beside it, synced, and only then renamed over it.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/hrvdoc/Session.h"
#include "varnex/session/OutputFile.h"

namespace varnex {

// Reads the session file at `path`: nothing when there is none; throws vx::host::SessionError
// for a file that cannot be read, is damaged or is larger than `maxBytes`, which is refused before
// any of it is read (vx::host::SessionSizeLimit of the recording). The file is left as it is.
std::optional<vx::host::SessionContent> ReadSessionFile(const std::string& path, std::uint64_t maxBytes);

// A save in its two steps: the bytes into a synced temporary file beside the target, then the
// rename over the target (synced too). A save stopped between them leaves the target as it was.
class SessionSave {
public:
    explicit SessionSave(const std::string& target)
        : mFile(target)
    {
    }
    void WriteTemporary(const std::vector<std::uint8_t>& bytes);
    void Commit() { mFile.Commit(); }

private:
    OutputFile mFile;
};

// Opens the session of a recording as the host opens a recording whose analysis it keeps: the
// session's channels, then the document's persisted objects from the session (or new), then the
// host's attach notification to the document (`subject` is the host document's), and the plots'
// state for the plot-state registrar. A session that cannot be used is reported on `err` in one
// line, its reason goes to `unusable` when given, and the document opens with its defaults.
// Returns whether the session was used.
bool OpenWithSession(vx::host::HrvHostDocument& host, IUnknown* document, ISubject* subject,
    const vx::host::SessionContent* session, const std::string& path, std::ostream& err,
    std::string* unusable = nullptr);

// A session file left as it is because it could not be read, or was read but could not be
// applied to the recording (it names a signal the recording no longer has). A save must not
// replace it: what it holds (the user's beat corrections) may still be wanted.
struct KeptSession {
    enum class Why { Unreadable, Unusable };
    Why why;
    std::string reason;
};

// The one line that refuses to save over a kept session file at `path`, saying how to proceed.
std::string KeptSessionRefusal(const std::string& path, const KeptSession& kept);

// Saves what the host document and the plot-state registrar keep into the session file `path`:
// written with the objects' dirty flags still set, put in place, and only then are the flags
// cleared.
void SaveSession(vx::host::HrvHostDocument& host, const std::string& path);

// True while the document or a plot holds a change that the session file does not.
bool SessionNeedsSave(vx::host::HrvHostDocument& host);

} // namespace varnex
