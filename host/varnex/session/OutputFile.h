#pragma once
// The files `varnex analyse` writes for the user. An output never destroys what was there before
// it is complete: its bytes go to a temporary file in the target's folder, which replaces the
// target only after it was written and closed without error. The temporary file is made only when
// the bytes are about to be written, so a run stopped before then leaves nothing behind. File
// names stay bytes throughout.
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
    // Checks that `target` can be written (its folder can take a new file) without making one. A
    // target that exists and is not a regular file (a terminal, /dev/null, a FIFO) is written in
    // place. Throws OutputError naming the target.
    explicit OutputFile(std::string target);
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& Target() const { return mTarget; }
    // Where the content is to be written, for a writer that opens the file itself: a path that is
    // valid UTF-8 whatever the target's bytes are (the folder is reached through its open
    // descriptor when its name is not). Makes the temporary file on the first call; ask for it
    // only when the bytes follow.
    const std::string& WritePath();
    // Whether Write waits until the bytes are on the disk, and Commit until the rename is.
    enum class Sync { No, Yes };
    // Writes `bytes` to WritePath(); throws OutputError when they are not all written and closed.
    void Write(const std::string& bytes, Sync sync = Sync::No);
    // Puts the written file in the target's place; throws OutputError, leaving the target as it was.
    void Commit();

private:
    void MakeTemporary();

    std::string mTarget;
    std::string mWritePath;
    std::string mTempName; // in the folder; empty when written in place or not made yet
    std::string mFolderText;
    int mFolder = -1; // open when the target is replaced by a temporary file
    bool mReplaces = false; // the target exists: the temporary file takes its permissions
    unsigned mMode = 0;
    int mInPlace = -1; // a target written in place whose name is not UTF-8
    bool mCommitted = false;
    bool mSync = false;
};

// A file the run reads, and how the refusal of an output onto it reads ("the recording is read
// from it").
struct InputFile {
    std::filesystem::path path;
    std::string role;
};

// Refuses (OutputError) an output that is a file the run reads or the same file as another
// output, however either is named (relative, through "." or "..", through a link).
void CheckOutputs(const std::vector<std::string>& outputs, const std::vector<InputFile>& inputs);

} // namespace varnex
