#pragma once
// A reader and validator of compound files written apart from the library's own reader, so that
// tests compare what reached the "disk" with what they expect, and check every invariant of the
// format on the way.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vxtest {

struct FileNode {
    std::u16string name;
    std::uint32_t type = 0; // 1 storage, 2 stream
    std::uint64_t size = 0; // a stream's size
    std::vector<std::uint8_t> data; // its bytes, as far as the file holds them
    std::vector<FileNode> children; // a storage's elements in directory order
};

struct CheckedFile {
    std::uint32_t generation = 0;
    std::uint32_t mapCount = 0;
    std::uint32_t mapFirst[2] = {};
    FileNode root;
};

// Reads and checks the committed state that `bytes` hold. Returns the empty text when the file is
// valid, else what is wrong. With `strict` (the state after a successful commit), the other copy
// must name the previous map and every used cluster must belong to exactly one chain (no cluster
// lost); otherwise only what a reader of the valid copy needs is checked.
std::string CheckCompoundFile(const std::vector<std::uint8_t>& bytes, CheckedFile& out, bool strict = true);

} // namespace vxtest
