// Times `varnex analyse` writing plot files in one run: all six plot views of MIT-BIH record 100
// (testdata/mitdb) as PNG files, and the spectrum alone. Each run is a child process; its wall
// time, CPU time (user + system, the web processes it reaped included) and peak resident memory
// come from wait4. Every file written is checked to be a PNG picture of the plot's size.
//
// usage: plot_batch [--varnex PATH] [--against PATH] [--runs N] [--record HEA]
//   Needs a display (run it under `xvfb-run -a`). The default varnex is the one built with this
//   tool; --against times a second varnex in the same run, each run of one followed by a run of
//   the other, so that both see the same load. Runs default to 3 (the best and the median are
//   printed).
//
// The target: the six views of record 100 in one run in under 3 s wall. The last line says
// whether the best six-view run of the default varnex met it, with the machine's load average;
// what a run wrote on its error stream is shown only when it failed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"

namespace fs = std::filesystem;

namespace {

const char* const kViews[] = { "tachogram", "spectrum", "rr-histogram", "drr-histogram", "poincare", "classifier" };

// Empty when the file is a PNG picture of a plausible plot size, else what is wrong with it.
std::string CheckPng(const fs::path& file)
{
    const std::string bytes = bench::ReadWholeFile(file);
    if (bytes.size() < 33 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return file.string() + " is not a PNG file";
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24)
            | (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16)
            | (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8)
            | static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
    };
    const unsigned width = be32(16), height = be32(20);
    if (width < 200 || height < 200)
        return file.string() + " is only " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return {};
}

struct Case {
    const char* name;
    std::vector<std::string> views;
};

} // namespace

int main(int argc, char** argv)
{
    std::string varnex = VX_VARNEX_PATH, against;
    std::string record = std::string(VX_SOURCE_DIR) + "/testdata/mitdb/100.hea";
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--varnex" && i + 1 < argc)
            varnex = argv[++i];
        else if (a == "--against" && i + 1 < argc)
            against = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--record" && i + 1 < argc)
            record = argv[++i];
        else {
            std::fprintf(stderr, "usage: plot_batch [--varnex PATH] [--against PATH] [--runs N] [--record HEA]\n");
            return 2;
        }
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "plot_batch: needs a display; run it under xvfb-run -a\n");
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / ("vx-plot-batch-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::printf("record: %s\nmachine: %u hardware threads, %d available to this process; load average %s",
        record.c_str(), std::thread::hardware_concurrency(), bench::CoresAvailable(),
        bench::ReadWholeFile("/proc/loadavg").c_str());
    std::printf("target: the six views in one run in under 3 s wall\n");
    std::vector<std::string> programs = { varnex };
    if (!against.empty())
        programs.push_back(against);
    const Case cases[] = {
        { "six views", std::vector<std::string>(std::begin(kViews), std::end(kViews)) },
        { "spectrum", { "spectrum" } },
    };
    int failed = 0;
    double sixViewsBest = 0;
    for (const Case& c : cases) {
        std::vector<std::vector<bench::ChildRun>> results(programs.size());
        for (int i = 0; i < runs; ++i)
            for (std::size_t p = 0; p < programs.size(); ++p) {
                std::vector<std::string> args = { "analyse", record, "--quiet", "--csv" };
                std::vector<fs::path> files;
                for (const std::string& view : c.views) {
                    files.push_back(folder / (view + ".png"));
                    fs::remove(files.back());
                    args.push_back("--plot");
                    args.push_back(view + "=" + files.back().string());
                }
                // The child's error stream (the analysis's notes) goes to a file of its own,
                // shown only when the run failed, so that the figures stand alone.
                const fs::path errors = folder / "errors.txt";
                std::fflush(stderr);
                const int savedErr = ::dup(2);
                const int errFd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (errFd >= 0) {
                    ::dup2(errFd, 2);
                    ::close(errFd);
                }
                bench::ChildRun r = bench::RunTimed(programs[p], args, folder / "parameters.csv");
                if (savedErr >= 0) {
                    ::dup2(savedErr, 2);
                    ::close(savedErr);
                }
                std::string problem = r.status == 0 ? std::string() : "exit status " + std::to_string(r.status);
                for (const fs::path& f : files)
                    if (problem.empty())
                        problem = CheckPng(f);
                if (!problem.empty()) {
                    std::fprintf(stderr, "plot_batch: %s: %s: %s\n%s", programs[p].c_str(), c.name, problem.c_str(),
                        bench::ReadWholeFile(errors).c_str());
                    ++failed;
                }
                results[p].push_back(r);
            }
        for (std::size_t p = 0; p < programs.size(); ++p) {
            auto byWall = results[p];
            std::sort(byWall.begin(), byWall.end(),
                [](const bench::ChildRun& a, const bench::ChildRun& b) { return a.wall < b.wall; });
            const bench::ChildRun& best = byWall.front();
            const bench::ChildRun& median = byWall[byWall.size() / 2];
            double peak = 0;
            for (const bench::ChildRun& r : results[p])
                peak = std::max(peak, r.peakMB);
            std::printf("%-10s %s\n           wall best %.3f s, median %.3f s | CPU at best %.3f s, median %.3f s | "
                        "peak RSS %.1f MB\n",
                c.name, programs[p].c_str(), best.wall, median.wall, best.cpu, median.cpu, peak);
            if (p == 0 && &c == &cases[0])
                sixViewsBest = best.wall;
        }
    }
    std::printf("six plot files of one record in one run: %.2f s wall (best of %d; load average then %.1f) - "
                "target under 3 s %s\n",
        sixViewsBest, runs, std::atof(bench::ReadWholeFile("/proc/loadavg").c_str()),
        sixViewsBest < 3.0 ? "met" : "NOT met");
    fs::remove_all(folder);
    if (failed)
        std::fprintf(stderr, "plot_batch: %d runs failed or wrote a wrong picture\n", failed);
    return failed ? 1 : 0;
}
