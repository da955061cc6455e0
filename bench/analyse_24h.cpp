// Times the whole `varnex analyse` of long two-channel records at 360 Hz: MIT-BIH record 100
// (testdata/mitdb) joined 48 times (24 hours, 31.2 million samples per channel) and 336 times
// (7 days, 218.4 million), written to a temporary folder. Each run is a child process; its wall
// time, CPU time (user + system) and peak resident memory come from wait4. Offline analysis and
// online play (--online) are both timed, and the 7-day wall time is set against the 24-hour one
// of the same run (the time should grow with the record, not faster).
//
// With a display (DISPLAY set), each record is also opened in the desktop window (`varnex open`):
// the chart alone, then the chart with the HRV analysis and a selection dragged over it.
//
// usage: analyse_24h [--varnex PATH] [--runs N] [--copies N]... [--keep DIR] [-- EXTRA ARGS...]
//   The default varnex is the one built with this tool; runs default to 3 (the best and the
//   median are printed); each --copies gives a record to time instead of the two above. Extra
//   arguments go to every `varnex analyse`.
//
// The 24-hour targets: wall <= 0.5 s, CPU <= 1.5 s, peak <= 121.3 MB offline and 124.8 MB online
// (the peaks when the analysed channel was held whole: its 62.4 MB of raw samples and 59-62 MB).
// At 7 days: wall <= 8.5 times the 24-hour wall, peak <= 256 MB. The channels are read from the
// file a block at a time, so the peak follows the beats, not the samples; the desktop's chart of
// a longer record needs no more than the first record's chart and the 16 MiB of blocks, and the
// window with the analysis no more than 256 MB over the chart.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildRun.h"

namespace fs = std::filesystem;

namespace {

using bench::ChildRun;
using bench::ReadWholeFile;

// The joined record: the signal file repeated (212 frames of two signals are whole 3-byte
// groups, so the bytes join), the header with the new length and checksums.
fs::path BuildRecord(const fs::path& folder, int copies)
{
    const fs::path src = fs::path(VX_SOURCE_DIR) / "testdata" / "mitdb";
    const std::string dat = ReadWholeFile(src / "100.dat");
    if (dat.size() != 1950000)
        throw std::runtime_error("testdata/mitdb/100.dat is missing or not the MIT-BIH record");
    const std::string name = "100x" + std::to_string(copies);
    {
        std::ofstream out(folder / (name + ".dat"), std::ios::binary);
        for (int i = 0; i < copies; ++i)
            out.write(dat.data(), static_cast<std::streamsize>(dat.size()));
        if (!out)
            throw std::runtime_error("cannot write the joined signal file");
    }
    const long long samples = 650000LL * copies;
    // Checksums are 16-bit sums of the samples: the joined record's is the original's times the
    // number of copies.
    const int checksum[2] = { -22131, 20052 };
    std::ofstream hea(folder / (name + ".hea"));
    hea << name << " 2 360 " << samples << "\n";
    const char* desc[2] = { "MLII", "V5" };
    const int init[2] = { 995, 1011 };
    for (int s = 0; s < 2; ++s) {
        const auto sum = static_cast<int16_t>(static_cast<uint16_t>(static_cast<long long>(checksum[s]) * copies));
        hea << name << ".dat 212 200 11 1024 " << init[s] << " " << sum << " 0 " << desc[s] << "\n";
    }
    if (!hea)
        throw std::runtime_error("cannot write the joined header");
    return folder / (name + ".hea");
}

// Prints the best and median of the runs; the best wall time.
double Report(const char* what, std::vector<ChildRun> runs, double limitMB)
{
    auto byWall = runs;
    std::sort(byWall.begin(), byWall.end(), [](const ChildRun& a, const ChildRun& b) { return a.wall < b.wall; });
    const ChildRun& best = byWall.front();
    const ChildRun& median = byWall[byWall.size() / 2];
    double peak = 0;
    for (const ChildRun& r : runs)
        peak = std::max(peak, r.peakMB);
    std::printf("%-8s wall best %.3f s, median %.3f s | CPU at best %.3f s, median %.3f s | peak RSS %.1f MB "
                "(limit %.1f MB: %s) | exit %d\n",
        what, best.wall, median.wall, best.cpu, median.cpu, peak, limitMB, peak <= limitMB ? "within" : "OVER",
        best.status);
    return best.wall;
}

} // namespace

int main(int argc, char** argv)
{
    std::string varnex = VX_VARNEX_PATH;
    int runs = 3;
    std::vector<int> copiesList;
    std::string keep;
    std::vector<std::string> extra;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--varnex" && i + 1 < argc)
            varnex = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--copies" && i + 1 < argc)
            copiesList.push_back(std::max(1, std::atoi(argv[++i])));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--") {
            extra.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(stderr,
                "usage: analyse_24h [--varnex PATH] [--runs N] [--copies N]... [--keep DIR] [-- EXTRA ARGS...]\n");
            return 2;
        }
    }
    if (copiesList.empty())
        copiesList = { 48, 336 };
    const fs::path folder
        = keep.empty() ? fs::temp_directory_path() / ("vx-analyse-24h-" + std::to_string(::getpid())) : fs::path(keep);
    fs::create_directories(folder);
    std::printf("machine: %u hardware threads, %d available to this process; load average %s",
        std::thread::hardware_concurrency(), bench::CoresAvailable(), ReadWholeFile("/proc/loadavg").c_str());
    std::printf("targets: 24 hours: wall <= 0.5 s, CPU <= 1.5 s, peak RSS <= 121.3 MB (online 124.8 MB); 7 days: wall "
                "<= 8.5 x the "
                "24-hour wall, peak RSS <= 256 MB\n");
    int failed = 0;
    // The best wall times of each record, offline and online, for the ratios.
    std::vector<std::pair<double, double>> walls;
    // The peak of the desktop window showing the first record's chart.
    double chartPeakMB = 0;
    try {
        for (const int copies : copiesList) {
            const fs::path header = BuildRecord(folder, copies);
            const long long samples = 650000LL * copies;
            // One 16-bit channel is analysed.
            const double rawMB = static_cast<double>(samples) * 2.0 / 1e6;
            const double hours = static_cast<double>(samples) / 360.0 / 3600.0;
            // 24 h (24.07 h): the peaks of the build that held the analysed channel whole.
            const auto limitMB = [hours](bool online) { return hours < 25.0 ? (online ? 124.8 : 121.3) : 256.0; };
            std::printf("\nrecord: %s, 2 channels x %lld samples at 360 Hz (%.2f h); the analysed channel's raw "
                        "samples %.1f MB\n",
                header.c_str(), samples, hours, rawMB);
            std::string offlineOutput;
            std::pair<double, double> best;
            for (bool online : { false, true }) {
                std::vector<std::string> args = { "analyse", header.string(), "--quiet", "--csv" };
                if (online)
                    args.push_back("--online");
                args.insert(args.end(), extra.begin(), extra.end());
                std::vector<ChildRun> results;
                for (int i = 0; i < runs; ++i)
                    results.push_back(bench::RunTimed(varnex, args, folder / "parameters.csv"));
                (online ? best.second : best.first) = Report(online ? "online" : "offline", results, limitMB(online));
                for (const ChildRun& r : results)
                    if (r.status != 0 || r.output != results.front().output)
                        ++failed;
                if (!online) {
                    offlineOutput = results.front().output;
                    if (walls.empty())
                        std::printf("%s", offlineOutput.c_str());
                } else {
                    std::printf("online parameters %s the offline ones\n",
                        results.front().output == offlineOutput ? "equal" : "DIFFER from");
                }
            }
            walls.push_back(best);
            if (const char* display = std::getenv("DISPLAY"); display && *display) {
                std::vector<std::string> chart = { "open", header.string(), "--exit" };
                std::vector<std::string> analysed = chart;
                analysed.insert(analysed.end() - 1, { "--run", "HRV|Analyse", "--drag", "100,700" });
                for (const auto* args : { &chart, &analysed }) {
                    std::vector<ChildRun> results;
                    for (int i = 0; i < runs; ++i)
                        results.push_back(bench::RunTimed(varnex, *args, folder / "window.txt"));
                    const bool alone = args == &chart;
                    double peak = 0;
                    for (const ChildRun& r : results) {
                        peak = std::max(peak, r.peakMB);
                        failed += r.status != 0;
                    }
                    if (alone && !chartPeakMB)
                        chartPeakMB = peak;
                    // The first record's chart and the block cache's 16 MiB.
                    const double limit = chartPeakMB + 16.8;
                    Report(alone ? "chart" : "chart+HRV", results, alone ? limit : 256.0 + chartPeakMB);
                }
            }
            if (keep.empty())
                fs::remove(folder / (header.stem().string() + ".dat")); // 0.65 GB at 7 days
        }
        for (std::size_t i = 1; i < walls.size(); ++i)
            std::printf("\n%d copies against %d (%.1f times the samples): wall offline %.2f times, online %.2f "
                        "times (limit 8.5 times at 7 days)\n",
                copiesList[i], copiesList[0], static_cast<double>(copiesList[i]) / copiesList[0],
                walls[i].first / walls[0].first, walls[i].second / walls[0].second);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "analyse_24h: %s\n", e.what());
        failed = 1;
    }
    if (keep.empty())
        fs::remove_all(folder);
    if (failed)
        std::fprintf(stderr, "analyse_24h: a run failed or its parameters differed from the first run's\n");
    return failed ? 1 : 0;
}
