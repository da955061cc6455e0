#pragma once
// File|Open of the desktop host: the user picks a recording, which opens in a main frame of its
// own (a new `varnex open` of this executable), so the one already open stays as it is.
#include <string>
#include <vector>

#include "ui/Messages.h"

namespace varnex {

// The recordings the host reads, for the file dialog.
std::vector<std::pair<std::wstring, std::wstring>> RecordingFilters();

// Asks for a recording and opens it; false when the user cancelled or it could not be started
// (said in a message box owned by `frame`).
bool OpenAnotherRecording(vx::ui::HWND frame, const std::string& extension);

// The arguments that open `record` with the same extension.
std::vector<std::string> OpenArguments(
    const std::string& executable, const std::string& record, const std::string& extension);

} // namespace varnex
