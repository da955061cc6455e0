#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace vx::e2e {

void SkipUnlessInstalled(std::initializer_list<const char*> programs)
{
    const char* path = std::getenv("PATH");
    for (const char* program : programs) {
        bool found = false;
        std::string dirs = path ? path : "";
        for (std::size_t at = 0; !found && at <= dirs.size();) {
            const std::size_t end = std::min(dirs.find(':', at), dirs.size());
            const std::string dir = end > at ? dirs.substr(at, end - at) : std::string(".");
            found = access((dir + "/" + program).c_str(), X_OK) == 0;
            at = end + 1;
        }
        if (!found) {
            std::printf("SKIPPED: %s is not installed (bash scripts/install-deps)\n", program);
            std::fflush(stdout);
            std::_Exit(kSkippedStatus);
        }
    }
}

bool VirtualDisplay::Start(std::string& why)
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

void VirtualDisplay::Stop()
{
    if (mPid > 0) {
        kill(mPid, SIGTERM);
        waitpid(mPid, nullptr, 0);
        mPid = 0;
    }
}

TemporaryHome::TemporaryHome(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()))
        mPath = pattern;
    for (const char* sub : { "cache", "config", "data" })
        std::filesystem::create_directories(mPath / sub);
}

TemporaryHome::~TemporaryHome()
{
    Remove();
}

void TemporaryHome::Remove()
{
    std::error_code ec;
    if (!mPath.empty())
        std::filesystem::remove_all(mPath, ec);
    mPath.clear();
}

void TemporaryHome::Apply() const
{
    setenv("HOME", mPath.c_str(), 1);
    setenv("XDG_CACHE_HOME", (mPath / "cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (mPath / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (mPath / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", mPath.c_str(), 1);
}

namespace {

class Watchdog final : public testing::EmptyTestEventListener {
public:
    Watchdog(int seconds, VirtualDisplay* display, TemporaryHome* home)
        : mSeconds(seconds)
        , mDisplay(display)
        , mHome(home)
        , mThread([this] { Watch(); })
    {
    }
    ~Watchdog() override
    {
        {
            std::lock_guard lock(mMutex);
            mQuit = true;
        }
        mWake.notify_all();
        mThread.join();
    }

    void OnTestStart(const testing::TestInfo& info) override
    {
        std::lock_guard lock(mMutex);
        mTest = std::string(info.test_suite_name()) + "." + info.name();
        mDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(mSeconds);
        mArmed = true;
        mWake.notify_all();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        std::lock_guard lock(mMutex);
        mArmed = false;
        mWake.notify_all();
    }

private:
    void Watch()
    {
        std::unique_lock lock(mMutex);
        while (!mQuit) {
            if (!mArmed) {
                mWake.wait(lock);
                continue;
            }
            const auto deadline = mDeadline;
            if (mWake.wait_until(lock, deadline) == std::cv_status::timeout && mArmed && mDeadline == deadline) {
                std::fprintf(stderr, "watchdog: %s still running after %d s; the run stops\n", mTest.c_str(), mSeconds);
                std::fflush(stderr);
                if (mDisplay && mDisplay->Pid() > 0)
                    kill(mDisplay->Pid(), SIGTERM);
                if (mHome) {
                    std::error_code ec;
                    std::filesystem::remove_all(mHome->Path(), ec);
                }
                _exit(1);
            }
        }
    }

    const int mSeconds;
    VirtualDisplay* mDisplay;
    TemporaryHome* mHome;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::string mTest;
    std::chrono::steady_clock::time_point mDeadline;
    bool mArmed = false;
    bool mQuit = false;
    std::thread mThread;
};

} // namespace

void InstallWatchdog(int seconds, VirtualDisplay* display, TemporaryHome* home)
{
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog(seconds, display, home));
}

VirtualDisplay* StartedDisplay(std::string& why)
{
    auto* display = new VirtualDisplay;
    if (!display->Start(why)) {
        delete display;
        return nullptr;
    }
    return display;
}

std::string ShellOutput(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = fread(buffer, 1, sizeof buffer, p))
            out.append(buffer, n);
        pclose(p);
    }
    return out;
}

int RunTestsOnDisplay(
    const std::string& homePrefix, int seconds, std::string& why, VirtualDisplay*& display, TemporaryHome*& home)
{
    TemporaryHome temporaryHome(homePrefix);
    temporaryHome.Apply();
    VirtualDisplay virtualDisplay;
    if (!virtualDisplay.Start(why))
        virtualDisplay.Stop();
    display = &virtualDisplay;
    home = &temporaryHome;
    InstallWatchdog(seconds, &virtualDisplay, &temporaryHome);
    const int result = RUN_ALL_TESTS();
    virtualDisplay.Stop();
    temporaryHome.Remove();
    display = nullptr;
    home = nullptr;
    return result;
}

} // namespace vx::e2e
