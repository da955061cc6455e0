#include "ScriptCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace Etch::Test {
namespace {

std::string WriteTempScript(const std::string& text)
{
    static std::atomic<int> counter { 0 };
    const std::string path
        = testing::TempDir() + "plotcompiler_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".js";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

bool FindNode(std::string& node, std::string& output)
{
    node = VX_NODE_EXECUTABLE;
    if (!node.empty() && !node.ends_with("-NOTFOUND"))
        return true;
    output = "node was not found when the build was configured (scripts/install-deps installs it)";
    return false;
}

// A started node process reading one script file; Finish collects its exit code and output.
class NodeRun {
public:
    NodeRun(const std::string& node, const std::string& arguments, const std::string& script)
        : mPath(WriteTempScript(script))
    {
        const std::string command = "'" + node + "' " + arguments + " '" + mPath + "' 2>&1";
        mPipe = ::popen(command.c_str(), "r");
    }
    NodeRun(const NodeRun&) = delete;
    NodeRun& operator=(const NodeRun&) = delete;
    ~NodeRun() { std::remove(mPath.c_str()); }

    int Finish(std::string& output)
    {
        output.clear();
        if (mPipe == nullptr) {
            output = "cannot start node";
            return -1;
        }
        char buffer[4096];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, mPipe)) > 0)
            output.append(buffer, read);
        const int status = ::pclose(mPipe);
        mPipe = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::string mPath;
    FILE* mPipe = nullptr;
};

int RunNode(const std::string& arguments, const std::string& script, std::string& output)
{
    std::string node;
    if (!FindNode(node, output))
        return -1;
    NodeRun run(node, arguments, script);
    return run.Finish(output);
}

} // namespace

std::string ScriptSyntaxErrors(const std::string& script)
{
    return ScriptSyntaxErrors(std::vector<std::string> { script }).front();
}

std::vector<std::string> ScriptSyntaxErrors(const std::vector<std::string>& scripts)
{
    constexpr std::size_t kAtOnce = 8;
    std::vector<std::string> errors(scripts.size());
    std::string node;
    std::string missing;
    if (!FindNode(node, missing)) {
        std::fill(errors.begin(), errors.end(), missing);
        return errors;
    }
    for (std::size_t first = 0; first < scripts.size(); first += kAtOnce) {
        std::vector<std::unique_ptr<NodeRun>> runs;
        for (std::size_t i = first; i < std::min(scripts.size(), first + kAtOnce); ++i)
            runs.push_back(std::make_unique<NodeRun>(node, "--check", scripts[i]));
        for (std::size_t i = 0; i < runs.size(); ++i) {
            std::string output;
            if (runs[i]->Finish(output) != 0)
                errors[first + i] = output.empty() ? "node --check failed" : output;
        }
    }
    return errors;
}

std::string EvaluateScriptToJson(const std::string& expression)
{
    const std::string program = "const etch = { kClosedInterval: 0, kOpenInterval: 1,\n"
                                "  Colour: function (r, g, b, a) { this.rgba = [r, g, b, a]; } };\n"
                                "process.stdout.write(JSON.stringify("
        + expression + "\n));\n";
    std::string output;
    if (RunNode("", program, output) != 0)
        return "error: " + output;
    return output;
}

} // namespace Etch::Test
