#pragma once
// The label the host shows for a pre-release build of the module: file description and file
// version, for alpha, beta and final builds.
#include <optional>
#include <string>
#include <string_view>

#include "res/VersionInfo.h"

namespace vx::hf {

// Build classes of a file version text, by the first of "N/A", "lpha", "eta", "ev", "inal" it
// contains (tested in that order); 6 when it contains none.
enum BuildClass : int {
    kBuildUnknown = 1,
    kBuildDev = 2,
    kBuildAlpha = 3,
    kBuildBeta = 4,
    kBuildFinal = 5,
    kBuildOther = 6,
};
int ClassifyBuildVersion(std::wstring_view fileVersion);

// Versions whose last part is this or more are release builds and carry no label.
inline constexpr WORD kPreReleaseVersionLimit = 1024;
// The label never grows beyond this many characters.
inline constexpr std::size_t kBuildLabelLimit = 255;

// The label to hand to the host, or nothing: without version information, for a last version
// part of kPreReleaseVersionLimit or more, and for build classes other than alpha, beta, final.
// A missing "FileVersion" or "FileDescription" counts as "N/A".
std::optional<std::wstring> PreReleaseBuildLabel(const std::optional<vx::res::ModuleVersionInfo>& info);

} // namespace vx::hf
