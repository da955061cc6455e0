#pragma once
// `varnex open`: the desktop host. A main frame titled with the record's name, the host's menu
// bar with the extension's commands inserted, the HRV document of the recording, and a status
// line; runs until the frame is closed.
#include <iosfwd>
#include <string>
#include <vector>

#include "varnex/startup/CommandLine.h"

namespace varnex {

struct OpenOptions {
    std::string record;
    std::string extension; // empty: libhrv.so beside the varnex executable
    // Scripted use (end-to-end tests, demonstrations): menu paths to choose once the window is up
    // ("HRV|Analyse"), a screenshot of the main window written afterwards, and whether to close
    // then instead of waiting for the user.
    std::vector<std::wstring> run;
    // Drags with the left button over the chart, from one x to another (the chart's pixels, in
    // the middle of its first strip), each done once the first `afterRuns` menu paths have run.
    struct Drag {
        std::size_t afterRuns = 0;
        int from = 0;
        int to = 0;
    };
    std::vector<Drag> drags;
    // Plays the record online into a new record at this multiple of real time once the menu
    // paths have run (0: no play); a scripted run waits until it is played.
    double play = 0.0;
    std::string screenshot;
    // A folder for a screenshot of each open view's frame ("<view class name>.png").
    std::string viewShots;
    bool exitAfter = false;
    // The comment drawn on the chart whose marker is clicked after the menu paths (from 0; -1:
    // none), so that its popup shows.
    int clickComment = -1;
    // Answers of the modal dialogs, in the order they come up (varnex/desktop/DialogActions.h).
    std::vector<std::string> dialogs;
    // Printing goes into this PDF file instead of asking for a printer.
    std::string printTo;
    // A screenshot of the frame of the view opened last, written with the main window's.
    std::string viewScreenshot;
    // The window is left to the user's input (a test drives it through the display) and answers
    // requests on standard input, one a line: "state" writes what the window shows (places on
    // the screen, time labels, beat marks, selection, menus, popup, summary) ending with "end";
    // "repaint" draws the chart whole again ("repainted"); "quit", or the end of the input,
    // closes the window without the question about unsaved changes (nothing is saved).
    bool listen = false;
};

// The options of `varnex open`, for the parser and the usage.
OptionTable<OpenOptions> OpenOptionTable();

bool ParseOpenArguments(const std::vector<std::string>& args, OpenOptions& options, std::string& error);

// Needs a display; without one it says so in one line on `err` and returns non-zero.
int Open(const OpenOptions& options, std::ostream& err);

} // namespace varnex
