#pragma once
// What the end-to-end tests of the desktop share: one Xvfb for a whole test program, and running
// a program on it with a watchdog, temporary XDG folders and its output collected.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace vx::e2e {

namespace fs = std::filesystem;

// Starts Xvfb with -displayfd and waits (at most `timeoutMs`) for it to name its display.
class VirtualDisplay {
public:
    bool Start(std::string& why)
    {
        int fds[2];
        if (pipe(fds) != 0) {
            why = "no pipe";
            return false;
        }
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = { "Xvfb", "-displayfd", fd, "-screen", "0", "1280x800x24", "-nolisten", "tcp" };
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&mPid, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            mPid = 0;
            why = "Xvfb is not installed";
            return false;
        }
        pollfd p { fds[0], POLLIN, 0 };
        std::string number;
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            why = "Xvfb did not start";
            Stop();
            return false;
        }
        mDisplay = ":" + number;
        return true;
    }
    void Stop()
    {
        if (mPid > 0) {
            kill(mPid, SIGTERM);
            waitpid(mPid, nullptr, 0);
            mPid = 0;
        }
    }
    ~VirtualDisplay() { Stop(); }
    const std::string& Display() const { return mDisplay; }

private:
    pid_t mPid = 0;
    std::string mDisplay;
};

// Runs `args` (a program and its arguments) on `display` with a watchdog of `seconds`, HOME and
// the XDG folders under `home`; the exit status (-1 when it did not exit), with its output (both
// streams) in `out`.
inline int RunOnDisplay(const std::vector<std::string>& args, const std::string& display, const fs::path& home, std::string& out,
    int seconds = 120)
{
    std::vector<std::string> all = { "timeout", "-s", "KILL", std::to_string(seconds) };
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = { "DISPLAY=" + display, "HOME=" + home.string(),
        "XDG_CACHE_HOME=" + (home / "cache").string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
        "XDG_DATA_HOME=" + (home / "data").string(), "XDG_RUNTIME_DIR=" + home.string(), "PATH=/usr/bin:/bin",
        "GDK_BACKEND=x11", "NO_AT_BRIDGE=1" };
    // The sanitizer build's options reach the program under test.
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
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
