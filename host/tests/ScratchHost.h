#pragma once
// What the session tests work in: a scratch folder of their own (removed afterwards) and the host
// document of a small one-channel recording.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host/hrvdoc/HrvHostDocument.h"

namespace vx::test {

struct ScratchHost {
    explicit ScratchHost(const std::string& name)
        : dir(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        auto recording = std::make_shared<vx::host::Recording>();
        recording->channels.emplace_back();
        recording->AddRecord(0.01, 0.0);
        host = std::make_unique<vx::host::HrvHostDocument>(recording);
    }
    ~ScratchHost()
    {
        host.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    ScratchHost(const ScratchHost&) = delete;
    ScratchHost& operator=(const ScratchHost&) = delete;

    std::filesystem::path dir;
    std::unique_ptr<vx::host::HrvHostDocument> host;
};

// A scratch folder of its own (emptied) holding a copy of record 100 of the test recordings
// (`testData` is their folder); the copy's header.
inline std::filesystem::path CopyRecord100(const std::string& name, const std::filesystem::path& testData)
{
    const std::filesystem::path dir
        = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char* ext : { ".hea", ".dat", ".atr" })
        std::filesystem::copy_file(testData / "mitdb" / (std::string("100") + ext), dir / (std::string("100") + ext));
    return dir / "100.hea";
}

} // namespace vx::test
