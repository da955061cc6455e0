// Times the whole `varnex analyse` of a 24-hour two-channel record at 360 Hz: MIT-BIH record 100
// (testdata/mitdb) joined 48 times, 31.2 million samples per channel, written to a temporary
// folder. Each run is a child process; its wall time, CPU time (user + system) and peak resident
// memory come from wait4. Offline analysis and online play (--online) are both timed.
//
// usage: analyse_24h [--varnex PATH] [--runs N] [--copies N] [--keep DIR] [-- EXTRA ARGS...]
//   The default varnex is the one built with this tool; runs default to 3 (the best and the
//   median are printed), copies to 48. Extra arguments go to every `varnex analyse`.
//
// The memory target is the raw samples of the analysed channel (16-bit) plus 64 MB.
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace fs = std::filesystem;

namespace {

struct Run {
    double wall = 0, cpu = 0;
    double peakMB = 0;
    int status = -1;
    std::string output;
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The joined record: the signal file repeated (212 frames of two signals are whole 3-byte
// groups, so the bytes join), the header with the new length and checksums.
fs::path BuildRecord(const fs::path& folder, int copies)
{
    const fs::path src = fs::path(VX_SOURCE_DIR) / "testdata" / "mitdb";
    const std::string dat = ReadFile(src / "100.dat");
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

Run Time(const std::string& varnex, const std::vector<std::string>& args, const fs::path& outFile)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(varnex.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            ::close(fd);
        }
        execv(varnex.c_str(), argv.data());
        _exit(127);
    }
    Run r;
    if (pid < 0)
        return r;
    rusage usage {};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds
        = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    r.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    r.peakMB = static_cast<double>(usage.ru_maxrss) / 1000.0; // kB -> MB (10^6 bytes)
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.output = ReadFile(outFile);
    return r;
}

int CoresAvailable()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : -1;
}

void Report(const char* what, std::vector<Run> runs, double limitMB)
{
    auto byWall = runs;
    std::sort(byWall.begin(), byWall.end(), [](const Run& a, const Run& b) { return a.wall < b.wall; });
    const Run& best = byWall.front();
    const Run& median = byWall[byWall.size() / 2];
    double peak = 0;
    for (const Run& r : runs)
        peak = std::max(peak, r.peakMB);
    std::printf("%-8s wall best %.3f s, median %.3f s | CPU at best %.3f s, median %.3f s | peak RSS %.1f MB "
                "(limit %.1f MB) | exit %d\n",
        what, best.wall, median.wall, best.cpu, median.cpu, peak, limitMB, best.status);
}

} // namespace

int main(int argc, char** argv)
{
    std::string varnex = VX_VARNEX_PATH;
    int runs = 3, copies = 48;
    std::string keep;
    std::vector<std::string> extra;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--varnex" && i + 1 < argc)
            varnex = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--copies" && i + 1 < argc)
            copies = std::max(1, std::atoi(argv[++i]));
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--") {
            extra.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(
                stderr, "usage: analyse_24h [--varnex PATH] [--runs N] [--copies N] [--keep DIR] [-- EXTRA ARGS...]\n");
            return 2;
        }
    }
    const fs::path folder
        = keep.empty() ? fs::temp_directory_path() / ("vx-analyse-24h-" + std::to_string(::getpid())) : fs::path(keep);
    fs::create_directories(folder);
    int failed = 0;
    try {
        const fs::path header = BuildRecord(folder, copies);
        const long long samples = 650000LL * copies;
        // One 16-bit channel is analysed.
        const double rawMB = static_cast<double>(samples) * 2.0 / 1e6;
        const double limitMB = rawMB + 64.0 * 1.048576; // 64 MiB
        std::printf("record: %s, 2 channels x %lld samples at 360 Hz (%.2f h)\n", header.c_str(), samples,
            static_cast<double>(samples) / 360.0 / 3600.0);
        std::printf("machine: %u hardware threads, %d available to this process; load average %s",
            std::thread::hardware_concurrency(), CoresAvailable(), ReadFile("/proc/loadavg").c_str());
        std::printf("targets: wall <= 0.5 s, CPU <= 1.5 s, peak RSS <= raw samples of the analysed channel (%.1f MB) "
                    "+ 64 MiB\n",
            rawMB);
        std::string offlineOutput;
        for (bool online : { false, true }) {
            std::vector<std::string> args = { "analyse", header.string(), "--quiet", "--csv" };
            if (online)
                args.push_back("--online");
            args.insert(args.end(), extra.begin(), extra.end());
            std::vector<Run> results;
            for (int i = 0; i < runs; ++i)
                results.push_back(Time(varnex, args, folder / "parameters.csv"));
            Report(online ? "online" : "offline", results, limitMB);
            for (const Run& r : results)
                if (r.status != 0 || r.output != results.front().output)
                    ++failed;
            if (!online) {
                offlineOutput = results.front().output;
                std::printf("%s", offlineOutput.c_str());
            } else {
                std::printf("online parameters %s the offline ones\n",
                    results.front().output == offlineOutput ? "equal" : "DIFFER from");
            }
        }
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
