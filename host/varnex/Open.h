#pragma once
// `varnex open`: the desktop host. A main frame titled with the record's name, the host's menu
// bar with the extension's commands inserted, the HRV document of the recording, and a status
// line; runs until the frame is closed.
#include <iosfwd>
#include <string>
#include <vector>

namespace varnex {

struct OpenOptions {
    std::string record;
    std::string extension; // empty: libhrv.so beside the varnex executable
    // Scripted use (end-to-end tests, demonstrations): menu paths to choose once the window is up
    // ("HRV|Analyse"), a screenshot of the main window written afterwards, and whether to close
    // then instead of waiting for the user.
    std::vector<std::wstring> run;
    std::string screenshot;
    // A folder for a screenshot of each open view's frame ("<view class name>.png").
    std::string viewShots;
    bool exitAfter = false;
    // Answers of the modal dialogs, in the order they come up (varnex/DialogActions.h).
    std::vector<std::string> dialogs;
};

bool ParseOpenArguments(const std::vector<std::string>& args, OpenOptions& options, std::string& error);

// Needs a display; without one it says so in one line on `err` and returns non-zero.
int Open(const OpenOptions& options, std::ostream& err);

} // namespace varnex
