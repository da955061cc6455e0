// Plot views as a user works with them in `varnex open`, under this program's own Xvfb: the
// Poincare view of record 100 shows its ellipse with the long axis (SD2) along the line of
// identity, a click on one of its points (through the X server's input, XTest) opens the comment
// of that point's beat, and a print into a file that cannot be written ends the scripted run
// with the reason and a failing exit status instead of hanging or claiming success.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vx::e2e::RunOnDisplay;
using vx::e2e::TemporaryHome;
using vx::e2e::VirtualDisplay;

VirtualDisplay* gDisplay = nullptr;
TemporaryHome* gHome = nullptr;
std::string gWhy;

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Record 100 copied into the home folder, with the settings of the journeys kept beside it (its
// session file), so that `varnex open` analyses it as `varnex analyse --set` did.
struct Record {
    fs::path header;
    double sd1 = NAN, sd2 = NAN;
    struct Beat {
        double time, rr;
        unsigned beatClass;
    };
    std::vector<Beat> beats;
};

double Parameter(const std::string& csv, const std::string& id)
{
    std::smatch m;
    if (!std::regex_search(csv, m, std::regex("(^|\\n)\"?" + id + "\"?,[^\\n]*,([-0-9.eE+]+),\"?ms\"?")))
        return NAN;
    return std::stod(m[2]);
}

const Record& Record100()
{
    static const Record record = [] {
        Record r;
        const fs::path dir = gHome->Path() / "rec";
        fs::create_directories(dir);
        for (const char* ext : { ".hea", ".dat", ".atr" })
            fs::copy_file(fs::path(VX_SAMPLE_RECORD).replace_extension(ext), dir / ("100" + std::string(ext)),
                fs::copy_options::overwrite_existing);
        r.header = dir / "100.hea";
        std::string out;
        const fs::path beats = gHome->Path() / "beats.csv";
        if (RunOnDisplay({ VX_VARNEX, "analyse", r.header.string(), "--set", "RRMin=0.3", "--set", "RRMax=1.5",
                             "--save-session", "--csv", "--beats", beats.string() },
                gDisplay->Display(), gHome->Path(), out, 120)
            != 0)
            return r;
        r.sd1 = Parameter(out, "SD1");
        r.sd2 = Parameter(out, "SD2");
        std::istringstream lines(ReadAll(beats));
        std::string line;
        std::getline(lines, line); // the heading
        while (std::getline(lines, line)) {
            Record::Beat b {};
            if (std::sscanf(line.c_str(), "%lf,%lf,%u", &b.time, &b.rr, &b.beatClass) == 3)
                r.beats.push_back(b);
        }
        return r;
    }();
    return record;
}

// `varnex open` running on the display while the test works its windows; ended with the object.
class OpenWindow {
public:
    explicit OpenWindow(std::vector<std::string> args)
    {
        args.insert(args.begin(), { VX_VARNEX, "open" });
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = { "DISPLAY=" + gDisplay->Display(), "HOME=" + gHome->Path().string(),
            "XDG_CACHE_HOME=" + (gHome->Path() / "cache").string(),
            "XDG_CONFIG_HOME=" + (gHome->Path() / "config").string(),
            "XDG_DATA_HOME=" + (gHome->Path() / "data").string(), "XDG_RUNTIME_DIR=" + gHome->Path().string(),
            "PATH=/usr/bin:/bin", "GDK_BACKEND=x11", "NO_AT_BRIDGE=1" };
        for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        mLog = gHome->Path() / "open.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, mLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&mPid, VX_VARNEX, &actions, nullptr, argv.data(), envp.data()) != 0)
            mPid = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~OpenWindow()
    {
        if (mPid > 0) {
            kill(mPid, SIGTERM);
            int status = 0;
            waitpid(mPid, &status, 0);
        }
    }
    bool Running() const { return mPid > 0 && waitpid(mPid, nullptr, WNOHANG) == 0; }
    std::string Output() const { return ReadAll(mLog); }

private:
    pid_t mPid = 0;
    fs::path mLog;
};

// ---- The X server as another client sees it ------------------------------------------------

struct Desktop {
    Display* x = nullptr;
    Desktop() { x = XOpenDisplay(gDisplay->Display().c_str()); }
    ~Desktop()
    {
        if (x)
            XCloseDisplay(x);
    }
    std::string Name(Window w) const
    {
        char* name = nullptr;
        std::string text;
        if (XFetchName(x, w, &name) && name)
            text = name;
        if (name)
            XFree(name);
        XTextProperty property {};
        const Atom utf8 = XInternAtom(x, "_NET_WM_NAME", False);
        if (text.empty() && XGetTextProperty(x, w, &property, utf8) && property.value) {
            text.assign(reinterpret_cast<const char*>(property.value), property.nitems);
            XFree(property.value);
        }
        return text;
    }
    // The mapped windows under the root (the frames and popups of the program), topmost last.
    std::vector<Window> TopLevels() const
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        std::vector<Window> found;
        if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i) {
                XWindowAttributes a {};
                if (XGetWindowAttributes(x, children[i], &a) && a.map_state == IsViewable)
                    found.push_back(children[i]);
            }
            XFree(children);
        }
        return found;
    }
    std::optional<Window> Find(const std::function<bool(const std::string&)>& wanted) const
    {
        for (Window w : TopLevels())
            if (wanted(Name(w)))
                return w;
        return std::nullopt;
    }
    std::string Describe() const
    {
        std::string text;
        for (Window w : TopLevels()) {
            const auto [x0, y0] = Origin(w);
            XWindowAttributes a {};
            XGetWindowAttributes(x, w, &a);
            text += "'" + Name(w) + "' " + std::to_string(x0) + "," + std::to_string(y0) + " " + std::to_string(a.width)
                + "x" + std::to_string(a.height) + "; ";
        }
        return text;
    }
    // A window's top-left corner on the screen.
    std::pair<int, int> Origin(Window w) const
    {
        int x0 = 0, y0 = 0;
        Window child = 0;
        XTranslateCoordinates(x, w, DefaultRootWindow(x), 0, 0, &x0, &y0, &child);
        return { x0, y0 };
    }
    void Move(int sx, int sy) const
    {
        XTestFakeMotionEvent(x, -1, sx, sy, 0);
        XSync(x, False);
        std::this_thread::sleep_for(150ms);
    }
    void Click(int sx, int sy) const
    {
        Move(sx, sy);
        XTestFakeButtonEvent(x, 1, True, 0);
        XSync(x, False);
        std::this_thread::sleep_for(60ms);
        XTestFakeButtonEvent(x, 1, False, 0);
        XSync(x, False);
    }
    // Presses the keys in order and lets them go in reverse.
    void Keys(std::initializer_list<KeySym> keys) const
    {
        for (KeySym k : keys)
            XTestFakeKeyEvent(x, XKeysymToKeycode(x, k), True, 0);
        XSync(x, False);
        std::this_thread::sleep_for(60ms);
        for (auto k = std::rbegin(keys); k != std::rend(keys); ++k)
            XTestFakeKeyEvent(x, XKeysymToKeycode(x, *k), False, 0);
        XSync(x, False);
        std::this_thread::sleep_for(200ms);
    }
    // The pixels of a window as the screen shows them (0xRRGGBB), row by row.
    std::vector<unsigned> Shot(Window w, int& width, int& height) const
    {
        XWindowAttributes a {};
        XGetWindowAttributes(x, w, &a);
        width = a.width;
        height = a.height;
        std::vector<unsigned> pixels;
        XImage* image = XGetImage(x, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            return pixels;
        pixels.resize(std::size_t(width) * std::size_t(height));
        for (int y = 0; y < height; ++y)
            for (int xx = 0; xx < width; ++xx)
                pixels[std::size_t(y) * std::size_t(width) + std::size_t(xx)]
                    = unsigned(XGetPixel(image, xx, y)) & 0xFFFFFFu;
        XDestroyImage(image);
        return pixels;
    }
};

// What a program put on the X clipboard under `target`, asked for as any other program would.
std::string ClipboardText(const char* target)
{
    GtkClipboard* board = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    GtkSelectionData* data = gtk_clipboard_wait_for_contents(board, gdk_atom_intern(target, FALSE));
    std::string text;
    if (data) {
        gint length = 0;
        const guchar* bytes = gtk_selection_data_get_data_with_length(data, &length);
        if (bytes && length > 0)
            text.assign(reinterpret_cast<const char*>(bytes), std::size_t(length));
        gtk_selection_data_free(data);
    }
    return text;
}

template <class Done> bool WaitFor(Done done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(200ms);
    }
    return done();
}

// ---- The plot's SVG ---------------------------------------------------------------------------

struct Segment {
    double x0, y0, x1, y1;
    double Length() const { return std::hypot(x1 - x0, y1 - y0); }
    double Slope() const { return (y1 - y0) / (x1 - x0); } // in page pixels: y grows downwards
};

// The ellipse's axes: the black path of exactly two lines (its long axis first, then the short).
std::optional<std::pair<Segment, Segment>> EllipseAxes(const std::string& svg)
{
    static const std::regex axes(
        R"re(<path d="M ([-0-9.e]+) ([-0-9.e]+) L ([-0-9.e]+) ([-0-9.e]+) M ([-0-9.e]+) ([-0-9.e]+) L ([-0-9.e]+) ([-0-9.e]+)" style="[^"]*stroke:#000000;)re");
    std::smatch m;
    if (!std::regex_search(svg, m, axes))
        return std::nullopt;
    const auto v = [&](int i) { return std::stod(m[i]); };
    return std::pair { Segment { v(1), v(2), v(3), v(4) }, Segment { v(5), v(6), v(7), v(8) } };
}

// The places of the points' markers, in page pixels.
std::vector<std::pair<double, double>> Markers(const std::string& svg)
{
    static const std::regex use(R"re(<use xlink:href="#[^"]+" x="([-0-9.e]+)" y="([-0-9.e]+)")re");
    std::vector<std::pair<double, double>> places;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), use); it != std::sregex_iterator(); ++it)
        places.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    return places;
}

// Pixels of a strong colour in a shot of a window (the points; the ellipse, text and grid are
// black or grey).
int Coloured(const std::vector<unsigned>& shot)
{
    return int(std::count_if(shot.begin(), shot.end(), [](unsigned p) {
        const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
        return std::max({ r, g, b }) - std::min({ r, g, b }) > 80;
    }));
}

// Where the page lies in a shot of its window: the offset at which most markers fall on drawn
// (not white) pixels.
std::pair<int, int> PageOffset(
    const std::vector<unsigned>& shot, int width, int height, const std::vector<std::pair<double, double>>& markers)
{
    int best = -1;
    std::pair<int, int> at { 0, 0 };
    for (int oy = 0; oy <= 60; ++oy)
        for (int ox = 0; ox <= 30; ++ox) {
            int hits = 0;
            for (std::size_t i = 0; i < markers.size(); i += 4) {
                const int x = int(std::lround(markers[i].first)) + ox, y = int(std::lround(markers[i].second)) + oy;
                if (x >= 0 && y >= 0 && x < width && y < height
                    && shot[std::size_t(y) * std::size_t(width) + std::size_t(x)] != 0xFFFFFFu)
                    ++hits;
            }
            if (hits > best) {
                best = hits;
                at = { ox, oy };
            }
        }
    return at;
}

// "t = HH:MM:SS.mmm: ..." -> seconds.
std::optional<double> PopupSeconds(const std::string& name)
{
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(name.c_str(), "t = %d:%d:%d.%d", &h, &m, &s, &ms) != 4)
        return std::nullopt;
    return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

constexpr unsigned kUsed = 0x300; // both interval bits: the beat's interval is analysed

class PlotJourney : public testing::Test {
protected:
    void SetUp() override
    {
        if (!gDisplay)
            GTEST_SKIP() << "no virtual display: " << gWhy;
        const Record& r = Record100();
        ASSERT_FALSE(r.beats.empty()) << "varnex analyse gave no beats";
        // The RR settings of the journeys: SD1 43.8 ms, SD2 51.9 ms.
        EXPECT_NEAR(r.sd1, 43.8, 0.1);
        EXPECT_NEAR(r.sd2, 51.9, 0.1);
    }
};

} // namespace

// The Poincare view: the ellipse's long axis (a = SD2) runs along x = y and its short one (b =
// SD1) across it. With the scales' pixels per unit kx and ky, an axis at 45 degrees in data units
// has the pixel slope +-ky/kx whatever the scales; the long one rises to the right. A point clicked
// on the screen opens its beat's comment on the chart: the topmost point is the analysed beat with
// the longest RR interval.
TEST_F(PlotJourney, PoincareEllipseLiesAlongIdentityAndAClickedPointShowsItsBeat)
{
    const Record& r = Record100();
    OpenWindow open({ r.header.string(), "--run", "HRV|Analyse", "--run", "HRV|AnalysisPlots|Poincare" });
    ASSERT_TRUE(open.Running()) << open.Output();
    Desktop screen;
    ASSERT_TRUE(screen.x);

    // The view, once it shows its points (the pointer kept off it: over a plot it draws the
    // cursor's readout).
    screen.Move(DisplayWidth(screen.x, 0) - 1, DisplayHeight(screen.x, 0) - 1);
    std::optional<Window> view;
    ASSERT_TRUE(WaitFor(
        [&] {
            view = screen.Find([](const std::string& n) { return n.find("Poincar") != std::string::npos; });
            int width = 0, height = 0;
            return (view && Coloured(screen.Shot(*view, width, height)) > 2000) || !open.Running();
        },
        120s))
        << "the Poincare view shows no points\n"
        << open.Output();
    ASSERT_TRUE(view) << open.Output();
    const auto origin = screen.Origin(*view);
    const int vx0 = origin.first, vy0 = origin.second;
    int width = 0, height = 0;
    screen.Shot(*view, width, height);

    // Ctrl+C in the plot (a click in its empty corner puts the keyboard there) copies it as SVG.
    std::string svg;
    const auto copy = [&] {
        screen.Click(vx0 + 6, vy0 + height - 6);
        screen.Keys({ XK_Control_L, XK_c });
        svg = ClipboardText("image/svg+xml");
        return svg.find("<use ") != std::string::npos;
    };
    ASSERT_TRUE(WaitFor(copy, 20s)) << "Ctrl+C copied no plot with its points";
    const auto axes = EllipseAxes(svg);
    ASSERT_TRUE(axes) << svg.substr(0, 2000);
    const auto& [along, across] = *axes;
    EXPECT_NEAR(along.Length() / across.Length(), r.sd2 / r.sd1, 0.02 * r.sd2 / r.sd1);
    EXPECT_LT(along.Slope(), 0) << "the long axis rises to the right (page y grows downwards)";
    EXPECT_GT(across.Slope(), 0) << "the short axis falls to the right";
    EXPECT_NEAR(-along.Slope(), across.Slope(), 0.03 * across.Slope()) << "both at 45 degrees in data units";

    // The topmost point, found in the copy, clicked where the screen shows it: the copy's page
    // is matched against a shot taken with the pointer off the plot (over it, the plot draws the
    // cursor's readout).
    ASSERT_GT(Markers(svg).size(), 1000u);
    int cx = 0, cy = 0;
    const auto aim = [&] {
        const auto markers = Markers(svg);
        screen.Move(DisplayWidth(screen.x, 0) - 1, DisplayHeight(screen.x, 0) - 1);
        const std::vector<unsigned> shot = screen.Shot(*view, width, height);
        const auto [ox, oy] = PageOffset(shot, width, height, markers);
        const auto top = *std::min_element(
            markers.begin(), markers.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        cx = ox + int(std::lround(top.first));
        cy = oy + int(std::lround(top.second));
    };
    aim();
    // A slow build may still be laying the plot out when the first click comes: every few
    // seconds the plot is copied and the point aimed at again, and clicked until the comment
    // opens (a second click on the point opens the same comment).
    std::string popup;
    auto clicked = std::chrono::steady_clock::time_point {};
    ASSERT_TRUE(WaitFor(
        [&] {
            if (const auto w = screen.Find([](const std::string& n) { return n.rfind("t = ", 0) == 0; }))
                popup = screen.Name(*w);
            if (popup.empty() && std::chrono::steady_clock::now() - clicked > 4s) {
                if (clicked != std::chrono::steady_clock::time_point {} && copy() && Markers(svg).size() > 1000)
                    aim();
                screen.Click(vx0 + cx, vy0 + cy);
                clicked = std::chrono::steady_clock::now();
            }
            return !popup.empty();
        },
        60s))
        << "no comment opened after a click at " << cx << ", " << cy << " of the view at " << vx0 << ", " << vy0
        << "; windows: " << screen.Describe() << "\n"
        << open.Output();
    RecordProperty("popup", popup);
    const auto shown = PopupSeconds(popup);
    ASSERT_TRUE(shown) << popup;
    double longest = 0;
    for (const Record::Beat& b : r.beats)
        if ((b.beatClass & kUsed) == kUsed)
            longest = std::max(longest, b.rr);
    const auto beat = std::find_if(
        r.beats.begin(), r.beats.end(), [&](const Record::Beat& b) { return std::abs(b.time - *shown) < 0.005; });
    ASSERT_NE(beat, r.beats.end()) << popup << " is no beat's time";
    EXPECT_EQ(beat->beatClass & kUsed, kUsed) << popup;
    EXPECT_NEAR(beat->rr, longest, 1e-9) << popup;
}

// File|Print... of a plot into a file that cannot be written: the run ends at once with the
// reason on the status line and a failing exit status; a relative name prints into the working
// folder, for a plot and for the report.
TEST_F(PlotJourney, PrintingIntoABadFileFailsWithTheReasonAndARelativeNameIsTheWorkingFolders)
{
    const Record& r = Record100();
    const fs::path work = gHome->Path() / "work";
    fs::create_directories(work);
    const fs::path before = fs::current_path();
    fs::current_path(work);
    const struct {
        const char* what;
        const char* view;
        std::string file;
        bool printed;
        std::string status;
    } cases[] = {
        { "a folder that does not exist", "HRV|AnalysisPlots|Poincare", "/nonexistent/x.pdf", false,
            "Ready. Printing failed: The printer could not start the document" },
        { "a device that takes no data", "HRV|AnalysisPlots|Poincare", "/dev/full", false,
            "Ready. Printing failed: The printer could not finish the document (/dev/full)" },
        { "a relative name", "HRV|AnalysisPlots|Poincare", "plot.pdf", true, "Ready. Printed." },
        { "the report under a relative name", "HRV|Report", "report.pdf", true, "Ready. Printed." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        const auto started = std::chrono::steady_clock::now();
        const int status = RunOnDisplay({ VX_VARNEX, "open", r.header.string(), "--run", "HRV|Analyse", "--run", c.view,
                                            "--print-to", c.file, "--run", "File|Print...", "--exit" },
            gDisplay->Display(), gHome->Path(), out, 150);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 120s);
        EXPECT_EQ(status, c.printed ? 0 : 1) << out;
        EXPECT_NE(out.find(c.status), std::string::npos) << out;
        if (c.printed) {
            EXPECT_TRUE(fs::exists(work / c.file)) << out;
            EXPECT_EQ(ReadAll(work / c.file).rfind("%PDF", 0), 0u);
        }
    }
    fs::current_path(before);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    TemporaryHome home("vx_plot_journeys_");
    home.Apply();
    gHome = &home;
    VirtualDisplay display;
    if (display.Start(gWhy)) {
        gDisplay = &display;
        // This process reads the clipboard as another program on the display.
        setenv("DISPLAY", display.Display().c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        if (!gtk_init_check(nullptr, nullptr)) {
            gWhy = "gtk cannot open the display";
            gDisplay = nullptr;
        }
    }
    vx::e2e::InstallWatchdog(400, &display, &home);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    display.Stop();
    home.Remove();
    std::_Exit(result);
}
