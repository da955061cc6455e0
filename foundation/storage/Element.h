#pragma once
// One element of a compound file (a storage or a stream) as held in memory: its directory record
// and what the open objects need to know about it.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/storage/Format.h"

namespace KEL {

class ElementTable;

struct Element {
    std::u16string name;
    std::uint32_t type = STGTY_STREAM;
    StorageFormat::Cursor start; // position 0 and the first cluster (0 while there is none)
    StorageFormat::Cursor end; // the size and the cluster holding the last byte
    FILETIME mtime, ctime, atime;
    CLSID clsid;
    std::uint32_t stateBits = 0;

    std::uint32_t mode = 0;
    std::uint32_t openCount = 0; // storage and stream objects open on it
    HRESULT loadResult = E_FAIL;
    bool changed = false;
    bool committedOnce = false;
    // Raised whenever a cluster of the chain is replaced or given up, so that every cursor on the
    // element (streams opened twice, clones) finds its cluster again before its next use.
    std::uint32_t chainVersion = 0;
    // The cursors of the streams open on it: a shrink moves every one beyond the new end at once
    // (waiting for each stream's next use would let a later growth hide the shrink).
    std::vector<StorageFormat::Cursor*> cursors;
    ElementTable* owner = nullptr; // the directory that lists it; null for the root
    ElementTable* openTable = nullptr; // its own directory while it is open as a storage

    std::uint64_t Size() const { return end.position; }
    std::uint32_t FirstCluster() const { return start.cluster & StorageFormat::kClusterMask; }

    StorageFormat::ElementRecord ToRecord() const;
    void FromRecord(const StorageFormat::ElementRecord& record);
};

// Moves every open cursor beyond `size` to it.
void ClampCursors(Element& element, std::uint64_t size);

// Marks the element changed and the directory that lists it as needing a rewrite.
void MarkElementChanged(Element& element);

} // namespace KEL
