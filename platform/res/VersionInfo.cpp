#include "res/VersionInfo.h"

#include <mutex>

namespace vx::res {
namespace {

struct VersionTable {
    std::mutex mutex;
    std::map<HMODULE, ModuleVersionInfo> modules;
};

VersionTable& Table()
{
    static VersionTable* table = new VersionTable; // read by exit-time code of any library
    return *table;
}

} // namespace

std::optional<std::wstring> ModuleVersionInfo::String(const std::wstring& key) const
{
    auto it = strings.find(key);
    if (it == strings.end())
        return std::nullopt;
    return it->second;
}

void SetModuleVersionInfo(HMODULE module, ModuleVersionInfo info)
{
    VersionTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.modules[module] = std::move(info);
}

std::optional<ModuleVersionInfo> GetModuleVersionInfo(HMODULE module)
{
    if (!module)
        module = HostModule();
    VersionTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.modules.find(module);
    if (it == table.modules.end())
        return std::nullopt;
    return it->second;
}

VersionInfoRegistrar::VersionInfoRegistrar(ModuleVersionInfo info)
{
    SetModuleVersionInfo(ModuleOf(this), std::move(info));
}

} // namespace vx::res
