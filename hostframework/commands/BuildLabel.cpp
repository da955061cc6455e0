#include "hostframework/commands/BuildLabel.h"

namespace vx::hf {

int ClassifyBuildVersion(std::wstring_view fileVersion)
{
    struct Marker {
        std::wstring_view text;
        int buildClass;
    };
    // "eta" is tested before "ev": a beta version text is a beta build even if it holds "ev".
    constexpr Marker kMarkers[] = {
        { L"N/A", kBuildUnknown },
        { L"lpha", kBuildAlpha },
        { L"eta", kBuildBeta },
        { L"ev", kBuildDev },
        { L"inal", kBuildFinal },
    };
    for (const Marker& m : kMarkers)
        if (fileVersion.find(m.text) != std::wstring_view::npos)
            return m.buildClass;
    return kBuildOther;
}

std::optional<std::wstring> PreReleaseBuildLabel(const std::optional<vx::res::ModuleVersionInfo>& info)
{
    if (!info || (info->FileVersionLS() & 0xFFFF) >= kPreReleaseVersionLimit)
        return std::nullopt;
    const std::wstring version = info->String(L"FileVersion").value_or(L"N/A");
    const std::wstring description = info->String(L"FileDescription").value_or(L"N/A");
    const int buildClass = ClassifyBuildVersion(version);
    if (buildClass != kBuildAlpha && buildClass != kBuildBeta && buildClass != kBuildFinal)
        return std::nullopt;
    // Built piece by piece and cut to the limit, so no description or version text, however
    // long, can run past the label.
    std::wstring label = description;
    label += L' ';
    label += version;
    if (label.size() > kBuildLabelLimit)
        label.resize(kBuildLabelLimit);
    return label;
}

} // namespace vx::hf
