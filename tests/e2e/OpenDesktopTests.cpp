// `varnex open` on the sample record under a virtual display: chooses HRV|Analyse from the real
// menu bar and checks the window it shows. One Xvfb serves the whole run; every child process
// has a watchdog, so a hang fails the test instead of stalling the run.
#include <gtest/gtest.h>

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

#include "ui/Gdi.h"

extern char** environ;

namespace {

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

VirtualDisplay* gDisplay = nullptr;
std::string gWhy;

class Desktop : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gDisplay = new VirtualDisplay;
        if (!gDisplay->Start(gWhy)) {
            delete gDisplay;
            gDisplay = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete gDisplay;
        gDisplay = nullptr;
    }
    void SetUp() override
    {
        if (!gDisplay)
            GTEST_SKIP() << "no virtual display: " << gWhy;
        mHome = fs::temp_directory_path() / ("vx_e2e_" + std::to_string(getpid()));
        fs::create_directories(mHome);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(mHome, ec);
    }

    // Runs varnex with a watchdog of 120 s; the exit status, with its output in `out`.
    int Varnex(std::vector<std::string> args, std::string& out)
    {
        std::vector<std::string> all = { "timeout", "-s", "KILL", "120", VX_VARNEX };
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = { "DISPLAY=" + gDisplay->Display(), "HOME=" + mHome.string(),
            "XDG_CACHE_HOME=" + (mHome / "cache").string(), "XDG_CONFIG_HOME=" + (mHome / "config").string(),
            "XDG_DATA_HOME=" + (mHome / "data").string(), "XDG_RUNTIME_DIR=" + mHome.string(), "PATH=/usr/bin:/bin",
            "GDK_BACKEND=x11", "NO_AT_BRIDGE=1" };
        // The sanitizer build's options reach the program under test.
        for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const fs::path log = mHome / "out.txt";
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

    fs::path mHome;
};

TEST_F(Desktop, AnalyseFromTheMenuShowsTheMainWindowWithItsResult)
{
    const fs::path shot = mHome / "window.png";
    std::string out;
    const int status = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--screenshot", shot.string(), "--exit" }, out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("HRV|Analyse: done"), std::string::npos) << out;
    EXPECT_NE(out.find("Beats detected: 2273"), std::string::npos) << out;
    EXPECT_NE(out.find("Ready. HRV|Analyse finished."), std::string::npos) << out;

    std::ifstream in(shot, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
    ASSERT_TRUE(image) << "no screenshot";
    // The frame's size (the menu bar inside it, as in a window's non-client area); a white client
    // area with dark text near its top left and the grey status line at the bottom.
    EXPECT_EQ(image->Width(), 900);
    EXPECT_EQ(image->Height(), 560);
    int dark = 0;
    for (int y = 30; y < 140; ++y)
        for (int x = 0; x < 400; ++x)
            dark += image->Pixel(x, y).Red() < 100;
    EXPECT_GT(dark, 200);
    EXPECT_EQ(image->Pixel(600, image->Height() / 2), vx::ui::GetSysColor(vx::ui::COLOR_WINDOW));
    EXPECT_EQ(image->Pixel(600, image->Height() - 5), vx::ui::GetSysColor(vx::ui::COLOR_BTNFACE));
}

// The settings dialog from the HRV menu: "Custom" opens the detector settings, and OK with a
// longer minimum period re-analyses with fewer beats. The dialogs are shot as the user sees them.
TEST_F(Desktop, SettingsFromTheMenuReanalyseWithTheDetectorSettingsOfCustom)
{
    const fs::path settings = mHome / "settings.png", detector = mHome / "detector.png";
    std::string out;
    const int status = Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|Analyse", "--run", "HRV|Settings", "--dialog",
                                  "shot=" + settings.string() + ",click=160,select=110:8,click=111,click=1", "--dialog",
                                  "shot=" + detector.string() + ",type=508:1000,click=1", "--exit" },
        out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("HRV|Settings: done"), std::string::npos) << out;
    const auto at = out.find("Beats detected: ");
    ASSERT_NE(at, std::string::npos) << out;
    const int beats = std::atoi(out.c_str() + at + 16);
    EXPECT_GT(beats, 300) << out;
    EXPECT_LT(beats, 1000) << out; // 2273 with the preset's 0.3 s
    // The help button wrote the topic's page from the host's resources for the browser.
    std::ifstream page(mHome / "varnex-help" / "HRV_Settings2.html");
    const std::string html((std::istreambuf_iterator<char>(page)), {});
    EXPECT_NE(html.find("<h1>HRV Settings</h1>"), std::string::npos);
    for (const fs::path& shot : { settings, detector }) {
        std::ifstream in(shot, std::ios::binary);
        const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), {});
        vx::ui::BitmapPtr image = vx::ui::Bitmap::FromPng(png);
        ASSERT_TRUE(image) << shot;
        // Laid out in dialog units: wider than tall, as the templates are (422 x 236, 492 x 254).
        EXPECT_GT(image->Width(), image->Height() * 3 / 2) << shot;
        EXPECT_GT(image->Height(), 300) << shot;
    }
}

TEST_F(Desktop, AMissingRecordOrMenuItemIsOneClearErrorLine)
{
    std::string out;
    EXPECT_EQ(Varnex({ "open", (mHome / "missing.hea").string(), "--exit" }, out), 1);
    EXPECT_NE(out.find("varnex open:"), std::string::npos) << out;
    EXPECT_EQ(Varnex({ "open", VX_SAMPLE_RECORD, "--run", "HRV|NoSuchThing", "--exit" }, out), 1);
    EXPECT_NE(out.find("no menu item HRV|NoSuchThing"), std::string::npos) << out;
    EXPECT_NE(Varnex({ "open", VX_SAMPLE_RECORD, "--dialog", "shot=a.png,press=1", "--exit" }, out), 0);
    EXPECT_NE(out.find("--dialog: unknown action press=1"), std::string::npos) << out;
}

TEST(DesktopWithoutDisplay, SaysSoInOneLineAndFails)
{
    std::vector<std::string> all = { "timeout", "-s", "KILL", "60", VX_VARNEX, "open", VX_SAMPLE_RECORD };
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string path = "PATH=/usr/bin:/bin";
    char* envp[] = { path.data(), nullptr };
    const fs::path log = fs::temp_directory_path() / ("vx_nodisplay_" + std::to_string(getpid()));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawnp(&pid, "timeout", &actions, nullptr, argv.data(), envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(log);
    const std::string err((std::istreambuf_iterator<char>(in)), {});
    fs::remove(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
}

} // namespace
