#pragma once
// The session file of a recording on disk. A save never leaves the user with less than the last
// good session: the new file is written beside it, synced, and only then renamed over it.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/hrvdoc/Session.h"
#include "varnex/OutputFile.h"

namespace varnex {

// Reads the session file at `path`: nothing when there is none; throws vx::host::SessionError
// for a file that cannot be read or is damaged (the file is left as it is).
std::optional<vx::host::SessionContent> ReadSessionFile(const std::string& path);

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
// line and the document opens with its defaults. Returns whether the session was used.
bool OpenWithSession(vx::host::HrvHostDocument& host, IUnknown* document, ISubject* subject,
    const vx::host::SessionContent* session, const std::string& path, std::ostream& err);

// Saves what the host document and the plot-state registrar keep into the session file `path`:
// written with the objects' dirty flags still set, put in place, and only then are the flags
// cleared.
void SaveSession(vx::host::HrvHostDocument& host, const std::string& path);

// True while the document or a plot holds a change that the session file does not.
bool SessionNeedsSave(vx::host::HrvHostDocument& host);

} // namespace varnex
