#pragma once
// What the end-to-end tests under a virtual display share: one Xvfb for the whole run of a test
// program, a temporary home with its own XDG folders (browser engines write caches there), and
// a watchdog per test, so that a hang fails the run instead of stalling it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace vx::e2e {

// CTest counts a test program that ends with this status as skipped (SKIP_RETURN_CODE).
constexpr int kSkippedStatus = 77;

// Returns when every one of `programs` is on PATH; otherwise names the first missing one on
// standard output and ends the process with kSkippedStatus. A program calls it before its tests
// start, so a machine without the tools skips the run with its reason instead of failing it.
void SkipUnlessInstalled(std::initializer_list<const char*> programs);

// What `command` writes to its standard output, run by the shell.
std::string ShellOutput(const std::string& command);

// The text with all white space removed: what pdftotext extracts is compared this way, since
// where it puts spaces and line breaks depends on the fonts' metrics.
inline std::string WithoutSpace(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r' && c != '\f' && c != '\v')
            out += c;
    return out;
}

// Xvfb started with -displayfd; Start waits at most 10 s for it to name its display.
class VirtualDisplay {
public:
    bool Start(std::string& why);
    void Stop();
    ~VirtualDisplay() { Stop(); }
    const std::string& Display() const { return mDisplay; }
    pid_t Pid() const { return mPid; }

private:
    pid_t mPid = 0;
    std::string mDisplay;
};

// A new display, started, for a test suite to hold until its tear-down; null, with the reason in
// `why`, when it cannot start.
VirtualDisplay* StartedDisplay(std::string& why);

// A fresh folder under the system's temporary folder, removed with the object; XDG_CACHE_HOME,
// XDG_CONFIG_HOME and XDG_DATA_HOME are its cache, config and data subfolders.
class TemporaryHome {
public:
    explicit TemporaryHome(const std::string& prefix);
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;
    const std::filesystem::path& Path() const { return mPath; }
    // Points HOME, the XDG folders and XDG_RUNTIME_DIR of this process (and so of the processes
    // it starts) at the folder.
    void Apply() const;
    void Remove();

private:
    std::filesystem::path mPath;
};

// Gives every test of the program `seconds` to finish. When one overruns, writes its name to
// standard error, stops the virtual display (when given), removes the home folder (when given)
// and ends the process with status 1. Install once, before RUN_ALL_TESTS.
void InstallWatchdog(int seconds, VirtualDisplay* display, TemporaryHome* home);

// The run of a program whose tests start programs on a virtual display: a fresh home (named
// from `homePrefix`) applied to this process, one Xvfb for all the tests and a watchdog of
// `seconds` per test. `display` and `home` point at the two while the tests run; when the display
// cannot start, `why` says why and the tests run without it (they skip or fail with that reason).
// Returns what RUN_ALL_TESTS returns, with the display stopped and the home removed.
int RunTestsOnDisplay(
    const std::string& homePrefix, int seconds, std::string& why, VirtualDisplay*& display, TemporaryHome*& home);

namespace fs = std::filesystem;

// Runs `args` (a program and its arguments) on `display` with a watchdog of `seconds`, HOME and
// the XDG folders under `home`; the exit status (-1 when it did not exit), with its output (both
// streams) in `out`.
inline int RunOnDisplay(const std::vector<std::string>& args, const std::string& display, const fs::path& home,
    std::string& out, int seconds = 120)
{
    std::vector<std::string> all = { "timeout", "-s", "KILL", std::to_string(seconds) };
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env
        = { "DISPLAY=" + display, "HOME=" + home.string(), "XDG_CACHE_HOME=" + (home / "cache").string(),
              "XDG_CONFIG_HOME=" + (home / "config").string(), "XDG_DATA_HOME=" + (home / "data").string(),
              "XDG_RUNTIME_DIR=" + home.string(), "PATH=/usr/bin:/bin", "GDK_BACKEND=x11", "NO_AT_BRIDGE=1" };
    // The sanitizer build's options and the font configuration reach the program under test.
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "FONTCONFIG_FILE" })
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const fs::path log = home / "out.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(log);
    out.assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace vx::e2e
