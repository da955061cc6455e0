// Journeys of a user through the desktop window: `varnex open` on MIT-BIH record 100 under the
// run's virtual display, driven by the X server's input (XTest: the pointer, its buttons, the
// wheel and the keys, as a user's hands drive it), and checked by where things are on the screen
// and what the window says it shows. The window answers "state" on its standard input with the
// places of its parts, the time labels, the beat marks and the selection it draws, its menus as
// GTK shows them, the popup and its summary; the screen itself is read back from the display.
// One Xvfb serves the run; each journey has a watchdog, and each window one of its own.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "VirtualDisplay.h"
#include "ui/Gdi.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

vx::e2e::VirtualDisplay* gDisplay = nullptr;
vx::e2e::TemporaryHome* gHome = nullptr;
std::string gWhy;

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    int MidX() const { return (left + right) / 2; }
    int MidY() const { return (top + bottom) / 2; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

Box ReadBox(std::istream& in)
{
    Box b;
    in >> b.left >> b.top >> b.right >> b.bottom;
    return b;
}

struct MenuItem {
    Box place;
    bool enabled = false;
    bool checked = false;
};

struct Label {
    int x = 0;
    std::string text;
};

// What the window answered to "state".
struct State {
    Box chart, plot, timescale, scrollbar, selection, popup;
    std::vector<Box> strips;
    int scrollMin = 0, scrollMax = 0, scrollPage = 0, scrollPos = 0;
    std::string zoom, popupText, status, summary;
    std::vector<Label> labels;
    std::vector<int> marks;
    std::map<std::string, MenuItem> menus; // shown items by path
    std::string raw;

    // The view shows the end of the record.
    bool AtEnd() const { return scrollPos >= scrollMax - scrollPage; }
    // Marks with x in [from, to).
    int MarksIn(int from, int to) const
    {
        int n = 0;
        for (int x : marks)
            n += x >= from && x < to;
        return n;
    }
    // The shown menu item whose path starts with `prefix`.
    const MenuItem* Menu(const std::string& prefix) const
    {
        for (const auto& [path, item] : menus)
            if (path.rfind(prefix, 0) == 0)
                return &item;
        return nullptr;
    }
    long Beats() const
    {
        const std::size_t at = summary.find("Beats detected: ");
        return at == std::string::npos ? -1 : std::atol(summary.c_str() + at + 16);
    }
};

State Parse(const std::string& text)
{
    State s;
    s.raw = text;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "chart")
            s.chart = ReadBox(in);
        else if (key == "plot")
            s.plot = ReadBox(in);
        else if (key == "timescale")
            s.timescale = ReadBox(in);
        else if (key == "strip") {
            int i = 0;
            in >> i;
            s.strips.push_back(ReadBox(in));
        } else if (key == "scrollbar") {
            s.scrollbar = ReadBox(in);
            in >> s.scrollMin >> s.scrollMax >> s.scrollPage >> s.scrollPos;
        } else if (key == "zoom")
            in >> s.zoom;
        else if (key == "label") {
            Label l;
            in >> l.x;
            std::getline(in >> std::ws, l.text);
            s.labels.push_back(l);
        } else if (key == "marks") {
            for (int x; in >> x;)
                s.marks.push_back(x);
        } else if (key == "selection") {
            std::string word;
            in >> word;
            if (word != "none") {
                std::istringstream rest(word + line.substr(line.find(word) + word.size()));
                s.selection = ReadBox(rest);
            }
        } else if (key == "menu") {
            MenuItem item;
            item.place = ReadBox(in);
            in >> item.enabled >> item.checked;
            std::string path;
            std::getline(in >> std::ws, path);
            s.menus[path] = item;
        } else if (key == "popup") {
            s.popup = ReadBox(in);
            std::getline(in >> std::ws, s.popupText);
        } else if (key == "summary")
            s.summary += line.substr(8) + "\n";
        else if (key == "status")
            s.status = line.size() > 7 ? line.substr(7) : "";
    }
    return s;
}

// "29:58" or "0:29:58" or "1805.2": seconds.
double Seconds(const std::string& text)
{
    double total = 0, part = 0;
    std::istringstream in(text);
    while (in >> part) {
        total = total * 60 + part;
        if (in.peek() != ':')
            break;
        in.get();
    }
    return total;
}

// The display as the test's hands and eyes: XTest input and the screen read back.
class Hands {
public:
    Hands()
    {
        // A display busy with the last journey's window going may refuse a moment.
        for (int attempt = 0; attempt < 20 && !mX; ++attempt) {
            mX = XOpenDisplay(gDisplay->Display().c_str());
            if (!mX)
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    ~Hands()
    {
        if (mX)
            XCloseDisplay(mX);
    }
    bool Ok() const
    {
        int event = 0, error = 0, major = 0, minor = 0;
        return mX && XTestQueryExtension(mX, &event, &error, &major, &minor);
    }
    void Move(int x, int y)
    {
        XTestFakeMotionEvent(mX, -1, x, y, 0);
        Flush();
    }
    void Button(unsigned button, bool down)
    {
        XTestFakeButtonEvent(mX, button, down, 0);
        Flush();
    }
    void Click(int x, int y)
    {
        Move(x, y);
        Button(1, true);
        Button(1, false);
    }
    // Presses at `from`, moves to `to` in steps and releases there.
    void Drag(int fromX, int fromY, int toX, int toY, int steps = 8)
    {
        Move(fromX, fromY);
        Button(1, true);
        for (int i = 1; i <= steps; ++i)
            Move(fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
        Button(1, false);
    }
    // One notch of the wheel at (x, y): away from the user (button 4) or towards (button 5).
    void Wheel(int x, int y, bool away, bool ctrl = false)
    {
        Move(x, y);
        if (ctrl)
            Key(XK_Control_L, true);
        Button(away ? 4 : 5, true);
        Button(away ? 4 : 5, false);
        if (ctrl)
            Key(XK_Control_L, false);
    }
    void Key(KeySym sym, bool down)
    {
        XTestFakeKeyEvent(mX, XKeysymToKeycode(mX, sym), down, 0);
        Flush();
    }
    void Tap(KeySym sym)
    {
        Key(sym, true);
        Key(sym, false);
    }
    // The screen's pixels in a box, as 0xRRGGBB values row by row.
    std::vector<std::uint32_t> Grab(const Box& b)
    {
        std::vector<std::uint32_t> pixels;
        XImage* image = XGetImage(
            mX, DefaultRootWindow(mX), b.left, b.top, unsigned(b.Width()), unsigned(b.Height()), AllPlanes, ZPixmap);
        if (!image)
            return pixels;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        XDestroyImage(image);
        return pixels;
    }
    // Writes a box of the screen as a PNG, for a person to look at.
    bool Shoot(const Box& b, const fs::path& png)
    {
        if (png.empty())
            return false;
        const std::vector<std::uint32_t> pixels = Grab(b);
        vx::ui::BitmapPtr image = pixels.empty() ? nullptr : vx::ui::Bitmap::Create(b.Width(), b.Height());
        if (!image)
            return false;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                image->SetArgb(x, y, 0xFF000000u | pixels[static_cast<std::size_t>(y * b.Width() + x)]);
        image->MarkDirty();
        return image->SavePng(png.string());
    }

private:
    void Flush()
    {
        XSync(mX, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    Display* mX = nullptr;
};

// One `varnex open` window left to the user, with its request channel.
class Window {
public:
    explicit Window(std::vector<std::string> extra)
    {
        std::vector<std::string> args
            = { "timeout", "-s", "KILL", "150", VX_VARNEX, "open", VX_SAMPLE_RECORD, "--listen" };
        args.insert(args.end(), extra.begin(), extra.end());
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const fs::path home = gHome->Path();
        std::vector<std::string> env = { "DISPLAY=" + gDisplay->Display(), "HOME=" + home.string(),
            "XDG_CACHE_HOME=" + (home / "cache").string(), "XDG_CONFIG_HOME=" + (home / "config").string(),
            "XDG_DATA_HOME=" + (home / "data").string(), "XDG_RUNTIME_DIR=" + home.string(), "PATH=/usr/bin:/bin",
            "GDK_BACKEND=x11", "NO_AT_BRIDGE=1" };
        for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawnp(&mPid, "timeout", &actions, nullptr, argv.data(), envp.data()) != 0)
            mPid = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        mIn = in[1];
        mOut = out[0];
    }
    ~Window()
    {
        if (mIn >= 0)
            close(mIn); // the window closes when its request channel goes
        if (mPid > 0) {
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            int status = 0;
            while (waitpid(mPid, &status, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    kill(mPid, SIGKILL);
                    waitpid(mPid, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        if (mOut >= 0)
            close(mOut);
    }

    // Waits for "ready"; false (with what the program said) when it does not come.
    bool Ready(std::string& said) { return ReadUntil("ready", said, 120); }

    State Ask()
    {
        Send("state");
        std::string text;
        ReadUntil("end", text, 20);
        return Parse(text);
    }
    // Asks until `done` holds (at most `seconds`); the last answer.
    State WaitFor(const std::function<bool(const State&)>& done, int seconds = 20)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        State s = Ask();
        while (!done(s) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            s = Ask();
        }
        return s;
    }
    void Repaint()
    {
        Send("repaint");
        std::string text;
        ReadUntil("repainted", text, 20);
    }
    // Lets the window take what it was sent and draw it: a pause, then a round trip.
    void Settle()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Ask();
    }

private:
    void Send(const std::string& request)
    {
        const std::string line = request + "\n";
        if (mIn >= 0 && write(mIn, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            mIn = -1;
    }
    // Reads lines into `text` up to the line `last`; false at a timeout or the end of output.
    bool ReadUntil(const std::string& last, std::string& text, int seconds)
    {
        text.clear();
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            const std::size_t eol = mBuffer.find('\n');
            if (eol != std::string::npos) {
                const std::string line = mBuffer.substr(0, eol);
                mBuffer.erase(0, eol + 1);
                if (line == last)
                    return true;
                text += line + "\n";
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0 || mOut < 0)
                return false;
            pollfd p { mOut, POLLIN, 0 };
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                return false;
            char chunk[4096];
            const ssize_t n = read(mOut, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            mBuffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t mPid = 0;
    int mIn = -1, mOut = -1;
    std::string mBuffer;
};

class Journey : public testing::Test {
protected:
    void SetUp() override
    {
        if (!gDisplay || gDisplay->Display().empty())
            GTEST_SKIP() << "no virtual display: " << gWhy;
        mHands = std::make_unique<Hands>();
        ASSERT_TRUE(mHands->Ok()) << "no XTest on the display";
    }

    // Opens the window (with extra arguments) and gives its first state.
    State Open(std::unique_ptr<Window>& window, std::vector<std::string> extra = {})
    {
        window = std::make_unique<Window>(std::move(extra));
        std::string said;
        EXPECT_TRUE(window->Ready(said)) << said;
        return window->Ask();
    }

    // Opens the HRV menu from the menu bar and clicks the item whose text starts with `item`
    // ("HRV|Delete Beat Marker"), as a user does; the item as it was shown.
    MenuItem Choose(Window& w, const std::string& item)
    {
        State s = w.Ask();
        const std::string top = item.substr(0, item.find('|'));
        const MenuItem* bar = s.Menu(top);
        EXPECT_TRUE(bar) << "no " << top << " in the menu bar\n" << s.raw;
        if (!bar)
            return {};
        mHands->Click(bar->place.MidX(), bar->place.MidY());
        s = w.WaitFor([&](const State& st) { return st.Menu(item) != nullptr; });
        const MenuItem* shown = s.Menu(item);
        EXPECT_TRUE(shown) << item << " not shown\n" << s.raw;
        if (!shown) {
            mHands->Tap(XK_Escape);
            return {};
        }
        const MenuItem chosen = *shown;
        mHands->Click(chosen.place.MidX(), chosen.place.MidY());
        return chosen;
    }

    // The screen over the chart equals what a full repaint of the chart draws there.
    void ExpectScreenIsAFullRepaint(Window& w, const State& s, const std::string& what)
    {
        w.Settle();
        const Box area { s.plot.left, s.plot.top, s.plot.right, s.timescale.bottom };
        const std::vector<std::uint32_t> shown = mHands->Grab(area);
        w.Repaint();
        w.Settle();
        const std::vector<std::uint32_t> full = mHands->Grab(area);
        ASSERT_EQ(shown.size(), full.size()) << what;
        ASSERT_FALSE(shown.empty()) << what;
        int differ = 0, firstX = -1, firstY = -1;
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (shown[i] != full[i] && differ++ == 0) {
                firstX = area.left + static_cast<int>(i % static_cast<std::size_t>(area.Width()));
                firstY = area.top + static_cast<int>(i / static_cast<std::size_t>(area.Width()));
            }
        EXPECT_EQ(differ, 0) << what << ": first at (" << firstX << ", " << firstY << ")";
    }

    // Every label lies whole inside the time axis and they run forwards.
    static void ExpectWholeLabels(const State& s, const std::string& what)
    {
        ASSERT_FALSE(s.labels.empty()) << what << "\n" << s.raw;
        double last = -1;
        for (const Label& l : s.labels) {
            EXPECT_GE(l.x, s.timescale.left) << what << ": " << l.text;
            EXPECT_LT(l.x, s.timescale.right) << what << ": " << l.text;
            EXPECT_NE(l.text.find(':'), std::string::npos) << what << ": " << l.text;
            EXPECT_GT(Seconds(l.text), last) << what << ": " << l.text;
            last = Seconds(l.text);
        }
    }

    // Where a journey's screenshots go for a person to look at: the folder VX_JOURNEY_SHOTS
    // names; none are taken without it.
    static fs::path Shot(const std::string& name)
    {
        const char* folder = std::getenv("VX_JOURNEY_SHOTS");
        return folder && *folder ? fs::path(folder) / (name + ".png") : fs::path();
    }

    std::unique_ptr<Hands> mHands;
};

// The thumb of the chart's scroll bar: after the left arrow (as wide as the bar is high), at the
// position's share of the track.
Box Thumb(const State& s)
{
    const int arrow = s.scrollbar.Height();
    const int track = s.scrollbar.Width() - 2 * arrow;
    const long long range = static_cast<long long>(s.scrollMax) - s.scrollMin + 1;
    const int size = std::min<int>(track, std::max<long long>(8, track * static_cast<long long>(s.scrollPage) / range));
    const long long positions = range - std::max(s.scrollPage - 1, 0) - 1;
    const int start = s.scrollbar.left + arrow
        + static_cast<int>(positions > 0 ? (track - size) * (s.scrollPos - s.scrollMin) / positions : 0);
    return { start, s.scrollbar.top, start + size, s.scrollbar.bottom };
}

TEST_F(Journey, AnalyseThenDragTheThumbToTheEndAndZoom)
{
    std::unique_ptr<Window> w;
    State s = Open(w);
    ASSERT_FALSE(s.scrollbar.Empty()) << s.raw;
    EXPECT_EQ(s.zoom, "10:1");
    // Analyse from the HRV menu: its item shows the text the document gives it.
    Choose(*w, "HRV|Analyze");
    s = w->WaitFor([](const State& st) { return st.Beats() >= 0 && st.status.find("Ready.") == 0; }, 60);
    EXPECT_EQ(s.Beats(), 2273) << s.raw;

    // The thumb dragged from the first minute to the right end: the last minutes are shown.
    const Box thumb = Thumb(s);
    mHands->Drag(thumb.MidX(), thumb.MidY(), s.scrollbar.right + 40, thumb.MidY(), 12);
    s = w->WaitFor([](const State& st) { return st.AtEnd(); });
    ASSERT_TRUE(s.AtEnd()) << s.raw;
    ExpectWholeLabels(s, "at the end");
    // Record 100 lasts 30:05.6: the last label is within the last 30 s of it.
    ASSERT_FALSE(s.labels.empty());
    EXPECT_GT(Seconds(s.labels.back().text), 1805.6 - 30) << s.labels.back().text;
    EXPECT_LE(Seconds(s.labels.back().text), 1805.6) << s.labels.back().text;
    mHands->Shoot(s.chart, Shot("end"));
    ExpectScreenIsAFullRepaint(*w, s, "the thumb dragged to the end");

    // Ctrl+wheel towards the user compresses about the pointer: 20:1, and the labels stay whole.
    mHands->Wheel(s.plot.MidX(), s.plot.MidY(), false, true);
    s = w->WaitFor([](const State& st) { return st.zoom == "20:1"; });
    EXPECT_EQ(s.zoom, "20:1");
    ExpectWholeLabels(s, "at 20:1");
    // And away from the user back to 10:1.
    mHands->Wheel(s.plot.MidX(), s.plot.MidY(), true, true);
    s = w->WaitFor([](const State& st) { return st.zoom == "10:1"; });
    EXPECT_EQ(s.zoom, "10:1");
    ExpectScreenIsAFullRepaint(*w, s, "after Ctrl+wheel");
}

// Every way of scrolling, at 10:1 and at 500:1: the screen is what a full repaint draws there.
TEST_F(Journey, AScrolledChartIsWhatAFullRepaintDraws)
{
    std::unique_ptr<Window> w;
    State s = Open(w);
    ASSERT_FALSE(s.scrollbar.Empty()) << s.raw;
    struct Zoom {
        const char* ratio;
        int notches; // of Ctrl+wheel towards the user from 10:1
    };
    for (const Zoom zoom : { Zoom { "10:1", 0 }, Zoom { "500:1", 5 } }) {
        for (int i = 0; i < zoom.notches; ++i)
            mHands->Wheel(s.plot.MidX(), s.plot.MidY(), false, true);
        s = w->WaitFor([&](const State& st) { return st.zoom == zoom.ratio; });
        ASSERT_EQ(s.zoom, zoom.ratio) << s.raw;
        struct Move {
            const char* what;
            std::function<void(const State&)> act;
        };
        // Each move goes towards the end, or back from it where the view is at the end.
        const Move moves[] = {
            { "an arrow",
                [&](const State& st) {
                    const int half = st.scrollbar.Height() / 2;
                    mHands->Click(
                        st.AtEnd() ? st.scrollbar.left + half : st.scrollbar.right - half, st.scrollbar.MidY());
                } },
            { "the track beside the thumb",
                [&](const State& st) {
                    const Box t = Thumb(st);
                    const int arrow = st.scrollbar.Height();
                    mHands->Click(st.AtEnd() ? (st.scrollbar.left + arrow + t.left) / 2
                                             : (t.right + st.scrollbar.right - arrow) / 2,
                        st.scrollbar.MidY());
                } },
            { "the thumb dragged",
                [&](const State& st) {
                    const Box t = Thumb(st);
                    mHands->Drag(t.MidX(), t.MidY(), t.MidX() + (st.AtEnd() ? -23 : 23), t.MidY(), 4);
                } },
            { "the wheel", [&](const State& st) { mHands->Wheel(st.plot.MidX(), st.plot.MidY(), st.AtEnd()); } },
            { "an arrow key",
                [&](const State& st) {
                    mHands->Move(st.plot.MidX(), st.plot.MidY());
                    mHands->Tap(st.AtEnd() ? XK_Left : XK_Right);
                } },
        };
        for (const Move& move : moves) {
            const int before = s.scrollPos;
            move.act(s);
            s = w->WaitFor([&](const State& st) { return st.scrollPos != before; });
            ASSERT_NE(s.scrollPos, before) << move.what << " at " << zoom.ratio << " did not scroll\n" << s.raw;
            w->Settle();
            ExpectWholeLabels(s, std::string(move.what) + " at " + zoom.ratio);
            ExpectScreenIsAFullRepaint(*w, s, std::string(move.what) + " at " + zoom.ratio);
        }
    }
}

// A dragged selection, Delete Beat Marker: the marks in it go; Reselect Analyzed Data: the
// analysed range (the whole record) is drawn selected.
TEST_F(Journey, DeleteTheMarksOfASelectionThenReselectTheAnalysedRange)
{
    std::unique_ptr<Window> w;
    State s = Open(w, { "--run", "HRV|Analyse" });
    s = w->WaitFor([](const State& st) { return st.Beats() == 2273 && !st.marks.empty(); });
    ASSERT_EQ(s.Beats(), 2273) << s.raw;
    ASSERT_FALSE(s.strips.empty());
    const int from = s.plot.left + 100, to = s.plot.left + 400;
    const int inside = s.MarksIn(from + 2, to - 2);
    ASSERT_GT(inside, 2) << s.raw;
    const int y = s.strips[0].MidY();
    mHands->Drag(from, y, to, y);
    s = w->WaitFor([](const State& st) { return !st.selection.Empty(); });
    EXPECT_NEAR(s.selection.left, from, 1) << s.raw;
    EXPECT_NEAR(s.selection.right, to, 1) << s.raw;
    EXPECT_EQ(s.selection.top, s.strips.front().top);
    EXPECT_EQ(s.selection.bottom, s.strips.back().bottom);

    Choose(*w, "HRV|Delete Beat Marker");
    s = w->WaitFor([&](const State& st) { return st.Beats() != 2273; }, 60);
    EXPECT_EQ(s.MarksIn(from + 2, to - 2), 0) << s.raw;
    EXPECT_LE(s.Beats(), 2273 - inside) << s.raw;
    EXPECT_GT(s.MarksIn(to + 10, s.plot.right), 0) << "the marks right of the selection stay";
    mHands->Shoot(s.chart, Shot("deleted"));

    Choose(*w, "HRV|Reselect");
    s = w->WaitFor([&](const State& st) { return st.selection.left != from; });
    // The whole record is the analysed range: the band covers the plot.
    EXPECT_EQ(s.selection.left, s.plot.left) << s.raw;
    EXPECT_EQ(s.selection.right, s.plot.right) << s.raw;
    EXPECT_NE(s.summary.find("Selection: 0.000-1805.5"), std::string::npos) << s.summary;
    // Drawn: tinted over the white background at the top of the first strip.
    const std::vector<std::uint32_t> row
        = mHands->Grab({ s.plot.left + 1, s.strips[0].top + 1, s.plot.right - 1, s.strips[0].top + 2 });
    int white = 0;
    for (std::uint32_t p : row)
        white += p == 0xFFFFFF;
    EXPECT_EQ(white, 0);
    mHands->Shoot(s.chart, Shot("reselected"));
}

// HRV|Show Beat Markers takes the marks away and brings them back; its menu item shows the check
// mark while they are shown.
TEST_F(Journey, ShowBeatMarkersOffAndOn)
{
    std::unique_ptr<Window> w;
    State s = Open(w, { "--run", "HRV|Analyse" });
    s = w->WaitFor([](const State& st) { return !st.marks.empty(); });
    ASSERT_FALSE(s.marks.empty()) << s.raw;
    struct Step {
        bool checkedBefore;
        bool marksAfter;
    };
    for (const Step step : { Step { true, false }, Step { false, true } }) {
        const MenuItem item = Choose(*w, "HRV|Show Beat Markers");
        EXPECT_EQ(item.checked, step.checkedBefore);
        s = w->WaitFor([&](const State& st) { return st.marks.empty() != step.marksAfter; });
        EXPECT_EQ(!s.marks.empty(), step.marksAfter) << s.raw;
    }
    // The check mark as GTK draws it: the open menu, looked at.
    const MenuItem* bar = s.Menu("HRV");
    ASSERT_TRUE(bar);
    mHands->Click(bar->place.MidX(), bar->place.MidY());
    s = w->WaitFor([](const State& st) { return st.Menu("HRV|Show Beat Markers") != nullptr; });
    const MenuItem* shown = s.Menu("HRV|Show Beat Markers");
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->checked);
    mHands->Shoot({ shown->place.left - 4, shown->place.top - 60, shown->place.right + 4, shown->place.bottom + 60 },
        Shot("menu"));
    mHands->Tap(XK_Escape);
}

// A click on a beat mark opens its popup with the beat's text.
TEST_F(Journey, ClickABeatMarkAndReadItsPopup)
{
    std::unique_ptr<Window> w;
    State s = Open(w, { "--run", "HRV|Analyse" });
    s = w->WaitFor([](const State& st) { return st.marks.size() > 3; });
    ASSERT_GT(s.marks.size(), 3u) << s.raw;
    const int x = s.marks[2], y = s.strips[0].MidY();
    mHands->Move(x, y - 5);
    mHands->Click(x, y);
    s = w->WaitFor([](const State& st) { return !st.popupText.empty(); });
    EXPECT_EQ(s.popupText.rfind("t = ", 0), 0u) << s.raw;
    EXPECT_NE(s.popupText.find(": HRV Beat "), std::string::npos) << s.popupText;
    EXPECT_NE(s.popupText.find(": RR = "), std::string::npos) << s.popupText;
    // Just above the mark it was opened on.
    EXPECT_LE(s.popup.left, x);
    EXPECT_GE(s.popup.right, x);
    mHands->Shoot({ s.chart.left, std::min(s.popup.top, s.chart.top), s.chart.right, s.chart.bottom }, Shot("popup"));
}

// Scripted menu paths are the commands' registered paths, whatever text their items show now.
TEST_F(Journey, ScriptedMenuPathsRunAgainAndAfterOtherItems)
{
    struct Case {
        std::vector<std::string> args;
    };
    const Case cases[] = {
        { { "--run", "HRV|Analyse", "--run", "HRV|Analyse" } },
        { { "--run", "HRV|Analyse", "--run", "HRV|ShowMarkers", "--run", "HRV|Analyse" } },
        { { "--run", "HRV|Settings", "--dialog", "click=2", "--run", "HRV|Analyse" } },
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = { VX_VARNEX, "open", VX_SAMPLE_RECORD };
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("--exit");
        std::string out;
        EXPECT_EQ(vx::e2e::RunOnDisplay(args, gDisplay->Display(), gHome->Path(), out), 0) << out;
        EXPECT_NE(out.find("HRV|Analyse: done"), std::string::npos) << out;
        EXPECT_NE(out.find("Beats detected: 2273"), std::string::npos) << out;
        EXPECT_NE(out.find("Ready. HRV|Analyse finished."), std::string::npos) << out;
    }
    // The items show the document's texts: read from the open menu.
    std::unique_ptr<Window> w;
    State s = Open(w, { "--run", "HRV|Analyse" });
    const MenuItem* bar = s.Menu("HRV");
    ASSERT_TRUE(bar) << s.raw;
    mHands->Click(bar->place.MidX(), bar->place.MidY());
    s = w->WaitFor([](const State& st) { return st.Menu("HRV|Settings") != nullptr; });
    for (const char* text :
        { "HRV|Settings...", "HRV|Beat Classifier View", "HRV|Report View", "HRV|Analysis Plots", "HRV|Add Beat Marker",
            "HRV|Delete Beat Marker", "HRV|Show Beat Markers", "HRV|Classify all Beats as Normal",
            "HRV|Analyze while Sampling", "HRV|Reselect Analyzed Data", "HRV|Clear Analysis", "HRV|Analyze Channel" })
        EXPECT_EQ(s.menus.count(text), 1u) << text << "\n" << s.raw;
    mHands->Tap(XK_Escape);
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return vx::e2e::RunTestsOnDisplay("vx_journey_e2e_", 240, gWhy, gDisplay, gHome);
}
