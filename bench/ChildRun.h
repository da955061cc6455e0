#pragma once
// A command timed as a child process: its wall time, CPU time (user + system, its own children's
// included once they are reaped) and peak resident memory from wait4, and what it wrote on its
// standard output.
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
    double wall = 0, cpu = 0;
    double peakMB = 0;
    int status = -1;
    std::string output;
};

inline std::string ReadWholeFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs `program args...` with its standard output in `outFile`.
inline ChildRun RunTimed(
    const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& outFile)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
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
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ChildRun r;
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
    r.output = ReadWholeFile(outFile);
    return r;
}

inline int CoresAvailable()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : -1;
}

} // namespace bench
