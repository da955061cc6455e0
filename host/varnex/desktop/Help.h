#pragma once
// The host's help pages: a short HTML page per topic of the extension's help file, among the
// executable's resources, and the desktop's way of showing them.
#include <optional>
#include <string>

namespace vx::host {

// The page of a topic of "HRVHelp"; none for another file or an unknown topic.
std::optional<std::string> HelpPage(const std::wstring& helpFile, const std::wstring& topic);

// Help requests open the topic's page with the desktop's browser (xdg-open), from a copy written
// to the user's runtime or temporary folder.
void InstallDesktopHelp();

} // namespace vx::host
