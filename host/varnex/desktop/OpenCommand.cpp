#include "varnex/desktop/OpenCommand.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "foundation/Utf.h"
#include "ui/Desktop.h"

extern char** environ;

namespace varnex {

std::vector<std::pair<std::wstring, std::wstring>> RecordingFilters()
{
    return { { L"Recordings (WFDB, EDF, text)", L"*.hea;*.edf;*.txt;*.csv;*.tsv" }, { L"All files", L"*" } };
}

std::vector<std::string> OpenArguments(
    const std::string& executable, const std::string& record, const std::string& extension)
{
    std::vector<std::string> args = { executable, "open", record };
    if (!extension.empty()) {
        args.push_back("--extension");
        args.push_back(extension);
    }
    return args;
}

bool OpenAnotherRecording(vx::ui::HWND frame, const std::string& extension)
{
    vx::ui::FileDialogRequest request;
    request.owner = frame;
    request.title = L"Open Recording";
    request.filters = RecordingFilters();
    const std::optional<std::string> chosen = vx::ui::ChooseFile(request);
    if (!chosen)
        return false;
    std::error_code ec;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    std::vector<std::string> args = OpenArguments(ec ? std::string("varnex") : self, *chosen, extension);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (failed != 0) {
        vx::ui::MessageBox(frame,
            L"Varnex cannot open " + KEL::Utf8ToWide(*chosen) + L": " + KEL::Utf8ToWide(std::strerror(failed)),
            L"Open Recording", vx::ui::MB_OK | vx::ui::MB_ICONERROR);
        return false;
    }
    // The new window runs on its own; its exit is collected here so it leaves no zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

} // namespace varnex
