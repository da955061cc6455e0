#pragma once
// Tests that run the varnex executable (VARNEX_PATH, set by the test's build) on the recordings of
// testdata/ and read what it writes.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace vx::test {

// The folder of the test recordings: VX_TEST_DATA, else the folder compiled in by the build.
inline std::filesystem::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? dir : VX_TEST_DATA_DIR;
}

struct VarnexRun {
    int status = -1;
    std::string out;
};

// varnex with `arguments`: its exit status and standard output; standard error joins the output
// when `withErrors`, else it is dropped.
inline VarnexRun Varnex(const std::string& arguments, bool withErrors = false)
{
    VarnexRun run;
    const std::string command = std::string(VARNEX_PATH) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct VarnexStreams {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// varnex with `arguments`, its standard output and standard error kept apart (in files of a
// folder of `scratch`, removed afterwards).
inline VarnexStreams VarnexOutputs(const std::string& arguments, const std::filesystem::path& scratch)
{
    const std::filesystem::path dir = scratch / ("varnex-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string command
        = std::string(VARNEX_PATH) + " " + arguments + " >" + (dir / "out").string() + " 2>" + (dir / "err").string();
    VarnexStreams run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(dir / "out");
    run.err = ReadWholeFile(dir / "err");
    std::filesystem::remove_all(dir);
    return run;
}

} // namespace vx::test
