#pragma once
// The files `varnex analyse` writes for the user. An output never destroys what was there before
// it is complete: its bytes go to a temporary file in the target's folder, which replaces the
// target only after it was written and closed without error. File names stay bytes throughout.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnex {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class OutputFile {
public:
    // Prepares the temporary file beside `target`. A target that exists and is not a regular file
    // (a terminal, /dev/null, a FIFO) is written in place. Throws OutputError naming the target.
    explicit OutputFile(std::string target);
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& Target() const { return mTarget; }
    // Where the content is to be written: a path that is valid UTF-8 whatever the target's bytes
    // are (the folder is reached through its open descriptor when its name is not).
    const std::string& WritePath() const { return mWritePath; }
    // Whether Write waits until the bytes are on the disk, and Commit until the rename is.
    enum class Sync { No, Yes };
    // Writes `bytes` to WritePath(); throws OutputError when they are not all written and closed.
    void Write(const std::string& bytes, Sync sync = Sync::No);
    // Puts the written file in the target's place; throws OutputError, leaving the target as it was.
    void Commit();

private:
    std::string mTarget;
    std::string mWritePath;
    std::string mTempName; // in the folder; empty when written in place
    int mFolder = -1;
    int mInPlace = -1; // a target written in place whose name is not UTF-8
    bool mCommitted = false;
    bool mSync = false;
};

// Refuses (OutputError) an output that is one of the inputs or the same file as another output.
void CheckOutputs(const std::vector<std::string>& outputs, const std::vector<std::filesystem::path>& inputs);

} // namespace varnex
