#pragma once
// What the end-to-end tests under a virtual display share: one Xvfb for the whole run of a test
// program, a temporary home with its own XDG folders (browser engines write caches there), and
// a watchdog per test, so that a hang fails the run instead of stalling it.
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace vx::e2e {

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

} // namespace vx::e2e
