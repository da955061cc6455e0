#pragma once
// The one object per compound file that owns the header, the cluster map and the free-space lists,
// moves cursors along element chains, reads and writes element data, and commits.
//
// Crash safety rests on one rule: a cluster that the last committed state may still name is never
// written. Such clusters are exactly those not taken from the free list since the last successful
// commit ("fresh" clusters are the others). A write aimed at a cluster that is not fresh first
// copies it (copy-on-write); clusters given up go to the release list and become free only once a
// commit that no longer names them has reached the file.
//
// None of the methods lock: the calling storage or stream operation holds Mutex().
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/storage/Element.h"
#include "foundation/storage/Format.h"

struct IKELLockBytes;

namespace KEL {

struct ClusterEntry {
    std::uint32_t next = 0;
    std::uint32_t prev = 0;
};

class StorageAllocator {
public:
    // A new, empty file on `lockBytes`: nothing is read or written until the first commit.
    explicit StorageAllocator(ILockBytes* lockBytes);
    ~StorageAllocator();
    StorageAllocator(const StorageAllocator&) = delete;
    StorageAllocator& operator=(const StorageAllocator&) = delete;

    // Opens a file written by this format: reads the header copy the generation names, the map
    // and the root record, and checks them. Failure: STG_E_INVALIDHEADER, STG_E_DOCFILECORRUPT or
    // the lock bytes' error; nothing is written.
    static HRESULT Open(ILockBytes* lockBytes, std::unique_ptr<StorageAllocator>& out);

    std::mutex& Mutex() { return mMutex; }
    Element& Root() { return mRoot; }
    ILockBytes* LockBytes() const { return mLockBytes; }
    IKELLockBytes* KelLockBytes() const { return mKelLockBytes; }
    bool Transacted() const;
    std::uint32_t Generation() const { return mGeneration; }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(mMap.size()); }
    const ClusterEntry& Entry(std::uint32_t cluster) const { return mMap[cluster]; }
    const std::array<std::uint8_t, StorageFormat::kHeaderSize>& HeaderImage() const { return mHeader; }

    // Map and lists.
    bool GrowMap(std::uint32_t count);
    std::uint32_t AllocateCluster(std::uint32_t hint, bool allowGrow);
    std::uint32_t AppendCluster(std::uint32_t last, bool allowGrow);
    // The head of the free list as a new chain of its own ({0, 0}), growing the map when the list
    // is empty; 0 when none can be had.
    std::uint32_t TakeFreeHead();
    void ReleaseToPending(std::uint32_t cluster);
    void ReleaseToFree(std::uint32_t cluster);
    // Gives a cluster up the way the file's mode asks: pending in a transacted file, free otherwise.
    void GiveUp(std::uint32_t cluster);

    // Element chains. A cursor handed in must be in step with its element (see Element::chainVersion).
    StorageFormat::Cursor Locate(const Element& element, std::uint64_t position) const;
    HRESULT EnsureFirstCluster(Element& element);
    // One cluster at most per call.
    HRESULT ReadChunk(const Element& element, StorageFormat::Cursor& cursor, void* buffer, ULONG cb, ULONG* read);
    HRESULT WriteChunk(Element& element, StorageFormat::Cursor& cursor, const void* buffer, ULONG cb, ULONG* written);
    // Moves the cursor by delta; past the end the chain grows and the element's end follows.
    HRESULT SeekCursor(Element& element, StorageFormat::Cursor& cursor, std::int64_t delta);
    // Changes the element's size. The chain keeps its first cluster even at size 0.
    HRESULT ResizeChain(Element& element, std::uint64_t newSize);
    // Gives up every cluster of the element, its first included, and leaves it empty.
    void ReleaseChain(Element& element);

    // Stores the map, the root record and the header; a failure leaves the file's committed state
    // as it was and is returned. flags: STGC_* (4 skips the flushes).
    HRESULT Commit(DWORD flags);

private:
    StorageAllocator(ILockBytes* lockBytes, bool fresh);
    void UnlinkFree(std::uint32_t cluster);
    void Unlink(std::uint32_t cluster);
    void MarkFresh(std::uint32_t cluster);
    bool IsFresh(std::uint32_t cluster) const;
    HRESULT CopyOnWrite(Element& element, StorageFormat::Cursor& cursor);
    void StoreMap();
    HRESULT WriteAll(std::uint64_t offset, const void* data, std::size_t size);
    HRESULT Load();
    // The steps of Load. `role` holds what each cluster is found to be while the file is checked.
    HRESULT ReadHeader(std::uint64_t fileSize, std::uint32_t& generation, std::uint32_t& count, std::uint32_t& first);
    HRESULT ReadMap(std::uint32_t first, std::uint32_t count);
    HRESULT CheckMap(std::vector<std::uint8_t>& role) const;
    bool ClaimRun(std::vector<std::uint8_t>& role, std::uint32_t start, std::uint32_t length) const;
    bool ClaimChain(std::vector<std::uint8_t>& role, const Element& element) const;
    HRESULT LoadRoot(std::uint32_t generation);
    HRESULT ClaimTree(std::vector<std::uint8_t>& role);
    void KeepOrForgetOtherMap(std::vector<std::uint8_t>& role, std::uint32_t generation);
    void FreeUnclaimed(const std::vector<std::uint8_t>& role);
    std::uint32_t Copy() const { return mGeneration & 1; }

    std::vector<ClusterEntry> mMap;
    std::vector<bool> mFresh;
    bool mMapChanged = false;
    std::array<std::uint8_t, StorageFormat::kHeaderSize> mHeader {};
    std::uint32_t mGeneration = 0; // the copy the next commit writes
    Element mRoot;
    ILockBytes* mLockBytes = nullptr;
    IKELLockBytes* mKelLockBytes = nullptr;
    std::mutex mMutex;
    bool mTruncationPending = false;
};

} // namespace KEL
