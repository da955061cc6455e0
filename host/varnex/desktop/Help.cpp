#include "varnex/desktop/Help.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "caf/CafHost.h"
#include "foundation/String.h"
#include "log/Log.h"
#include "res/Resource.h"

extern char** environ;

namespace vx::host {

namespace {

// The resource ids of the pages (type "HELP"), by topic.
struct Topic {
    const wchar_t* name;
    WORD id;
};
constexpr Topic kTopics[] = {
    { L"HRV_Settings2", 1 },
    { L"HRV_Signal_Preprocessing", 2 },
    { L"HRV_Calculations", 3 },
};

std::filesystem::path HelpFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    std::filesystem::path base
        = runtime && *runtime ? std::filesystem::path(runtime) : std::filesystem::temp_directory_path(error);
    return base / "varnex-help";
}

// Runs xdg-open on the page without waiting for the browser: a shell puts it in the background and
// ends at once.
HRESULT OpenInBrowser(const std::filesystem::path& page)
{
    const std::string path = page.string();
    const char* argv[] = { "sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", path.c_str(), nullptr };
    pid_t child = 0;
    if (posix_spawnp(&child, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return E_FAIL;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? S_OK : E_FAIL;
}

} // namespace

std::optional<std::string> HelpPage(const std::wstring& helpFile, const std::wstring& topic)
{
    if (helpFile != L"HRVHelp")
        return std::nullopt;
    for (const Topic& t : kTopics) {
        if (topic != t.name)
            continue;
        HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(t.id), L"HELP");
        if (!found)
            return std::nullopt;
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
        return bytes ? std::optional<std::string>(std::string(bytes, SizeofResource(nullptr, found))) : std::nullopt;
    }
    return std::nullopt;
}

void InstallDesktopHelp()
{
    caf::SetHelpHandler([](const std::wstring& helpFile, const std::wstring& topic) -> HRESULT {
        const std::optional<std::string> page = HelpPage(helpFile, topic);
        if (!page)
            return E_INVALIDARG;
        std::error_code error;
        const std::filesystem::path folder = HelpFolder();
        std::filesystem::create_directories(folder, error);
        const std::filesystem::path file = folder / (KEL::String(topic).Utf8() + ".html");
        std::ofstream(file, std::ios::binary) << *page;
        const HRESULT opened = OpenInBrowser(file);
        if (FAILED(opened))
            vx::log::WriteLine("Help: the browser could not be started for " + file.string());
        return opened;
    });
}

} // namespace vx::host
