#pragma once
// Version information of a module, in place of the version resource that Windows modules carry:
// the four parts of the file version and the string values ("FileVersion", "FileDescription",
// ...). A library declares its own with a namespace-scope VersionInfoRegistrar.
#include <map>
#include <optional>
#include <string>

#include "res/Resource.h"

namespace vx::res {

struct ModuleVersionInfo {
    WORD fileVersion[4] = { 0, 0, 0, 0 }; // major, minor, build, revision
    std::map<std::wstring, std::wstring> strings;

    // The least significant 32 bits of the file version: (build << 16) | revision.
    DWORD FileVersionLS() const { return (DWORD(fileVersion[2]) << 16) | fileVersion[3]; }
    std::optional<std::wstring> String(const std::wstring& key) const;
};

// Adds or replaces the version information of a module.
void SetModuleVersionInfo(HMODULE module, ModuleVersionInfo info);
// Nothing for a module without version information.
std::optional<ModuleVersionInfo> GetModuleVersionInfo(HMODULE module);

class VersionInfoRegistrar {
public:
    explicit VersionInfoRegistrar(ModuleVersionInfo info);
};

} // namespace vx::res
