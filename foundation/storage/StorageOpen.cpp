// Opening a file that is already in the compound-file format. Whatever the bytes hold, nothing is
// trusted before it is checked: counts are bounded by the bytes present, every list and chain walk
// is bounded by the map's size, and a cluster claimed twice makes the file corrupt.
#include <algorithm>
#include <new>

#include "foundation/storage/ElementTable.h"
#include "foundation/storage/StorageAllocator.h"

namespace KEL {

using namespace StorageFormat;

namespace {
enum Role : std::uint8_t { kUnclaimed = 0, kClaimed = 1, kFree = 2, kReleased = 3 };
}

HRESULT StorageAllocator::Open(ILockBytes* lockBytes, std::unique_ptr<StorageAllocator>& out)
{
    out.reset();
    std::unique_ptr<StorageAllocator> allocator(new StorageAllocator(lockBytes, false));
    const HRESULT hr = allocator->Load();
    if (SUCCEEDED(hr))
        out = std::move(allocator);
    return hr;
}

// Checks the free and release lists and the links of every used cluster; marks each cluster's
// role.
HRESULT StorageAllocator::CheckMap(std::vector<std::uint8_t>& role) const
{
    const std::uint32_t count = Count();
    role.assign(count, kUnclaimed);
    role[kFreeHead] = role[kReleaseHead] = kClaimed;
    std::uint32_t prev = kFreeHead;
    for (std::uint32_t c = mMap[kFreeHead].next; c != 0; prev = c, c = mMap[c].next) {
        if (c < kFirstCluster || c >= count || role[c] != kUnclaimed || mMap[c].prev != (prev | kFreeBit))
            return STG_E_DOCFILECORRUPT;
        role[c] = kFree;
    }
    prev = kReleaseHead;
    for (std::uint32_t c = mMap[kReleaseHead].next; c != 0; prev = c, c = mMap[c].next) {
        if (c < kFirstCluster || c >= count || role[c] != kUnclaimed || mMap[c].prev != prev)
            return STG_E_DOCFILECORRUPT;
        role[c] = kReleased;
    }
    for (std::uint32_t c = kFirstCluster; c < count; ++c) {
        const ClusterEntry& e = mMap[c];
        if ((e.prev & kFreeBit) && role[c] != kFree)
            return STG_E_DOCFILECORRUPT;
        if (role[c] != kUnclaimed)
            continue;
        if (e.next != 0 && (e.next < kFirstCluster || e.next >= count || mMap[e.next].prev != c))
            return STG_E_DOCFILECORRUPT;
        if (e.prev != 0 && (e.prev < kFirstCluster || e.prev >= count || mMap[e.prev].next != c))
            return STG_E_DOCFILECORRUPT;
    }
    return S_OK;
}

// The header: the generation of the valid copy, the size and place of its map, all checked
// against the file's size.
HRESULT StorageAllocator::ReadHeader(
    std::uint64_t fileSize, std::uint32_t& generation, std::uint32_t& count, std::uint32_t& first)
{
    ULONG got = 0;
    HRESULT hr = mLockBytes->ReadAt({ 0 }, mHeader.data(), kHeaderSize, &got);
    if (FAILED(hr))
        return hr;
    if (got != kHeaderSize || !HeaderLooksValid(mHeader.data()))
        return STG_E_INVALIDHEADER;
    // The fields this format writes but never reads are written with their documented values
    // again, whatever the file held.
    const auto fresh = NewHeaderImage();
    std::copy(fresh.begin(), fresh.begin() + kOffGeneration, mHeader.begin());
    PutU32(&mHeader[kOff180], 0);
    generation = GetU32(&mHeader[kOffGeneration]);
    if (generation > 1)
        return STG_E_DOCFILECORRUPT;
    count = GetU32(&mHeader[kOffMapCount + 4 * generation]);
    first = GetU32(&mHeader[kOffMapFirst + 4 * generation]);
    if (count + GetU32(&mHeader[kOffMapNegCount + 4 * generation]) != 0 || count < kEntriesPerCluster
        || count % kEntriesPerCluster != 0 || count >= kMaxMapEntries)
        return STG_E_DOCFILECORRUPT;
    const std::uint32_t mapClusters = count / kEntriesPerCluster;
    if (first < kFirstCluster || first >= count || count - first < mapClusters
        || ClusterOffset(first) + std::uint64_t(count) * 8 > fileSize)
        return STG_E_DOCFILECORRUPT;
    return S_OK;
}

// The cluster map. It is bounded by the file's size (ReadHeader), so this allocation is too.
HRESULT StorageAllocator::ReadMap(std::uint32_t first, std::uint32_t count)
{
    std::vector<std::uint8_t> bytes(std::size_t(count) * 8);
    ULONG got = 0;
    const HRESULT hr
        = mLockBytes->ReadAt({ ClusterOffset(first) }, bytes.data(), static_cast<ULONG>(bytes.size()), &got);
    if (FAILED(hr))
        return hr;
    if (got != bytes.size())
        return STG_E_DOCFILECORRUPT;
    mMap.resize(count);
    mFresh.assign(count, false);
    for (std::uint32_t i = 0; i < count; ++i)
        mMap[i] = { GetU32(&bytes[8 * i]), GetU32(&bytes[8 * i + 4]) };
    // The heads' own prev words are never read; they are written as a new map has them.
    mMap[kFreeHead].prev = kFreeBit;
    mMap[kReleaseHead].prev = 0;
    return S_OK;
}

// A run of back-to-back clusters (a map's own), each unclaimed so far and linked to its neighbours.
bool StorageAllocator::ClaimRun(std::vector<std::uint8_t>& role, std::uint32_t start, std::uint32_t length) const
{
    for (std::uint32_t c = start; c < start + length; ++c) {
        if (role[c] != kUnclaimed || mMap[c].prev != (c == start ? 0 : c - 1)
            || mMap[c].next != (c + 1 < start + length ? c + 1 : 0))
            return false;
        role[c] = kClaimed;
    }
    return true;
}

// An element's chain: it must match the element's size and claim only unclaimed clusters.
bool StorageAllocator::ClaimChain(std::vector<std::uint8_t>& role, const Element& e) const
{
    const std::uint32_t count = Count();
    const std::uint32_t c0 = e.FirstCluster();
    const std::uint64_t size = e.Size();
    if (c0 == 0)
        return size == 0 && e.end.cluster == 0;
    const std::uint64_t length = size == 0 ? 1 : (size + kClusterSize - 1) / kClusterSize;
    if (length > count || c0 >= count || mMap[c0].prev != 0)
        return false;
    std::uint32_t c = c0;
    for (std::uint64_t i = 0;; ++i) {
        if (c < kFirstCluster || c >= count || role[c] != kUnclaimed)
            return false;
        role[c] = kClaimed;
        if (i + 1 == length)
            break;
        c = mMap[c].next;
    }
    const std::uint32_t endBit = size != 0 && size % kClusterSize == 0 ? kAtEndBit : 0;
    return mMap[c].next == 0 && e.end.cluster == (c | endBit);
}

HRESULT StorageAllocator::LoadRoot(std::uint32_t generation)
{
    ElementRecord rootRecord;
    if (!DecodeRecord(&mHeader[kOffRootRecord + kRecordSize * generation], rootRecord)
        || rootRecord.type != STGTY_STORAGE)
        return STG_E_DOCFILECORRUPT;
    mRoot.FromRecord(rootRecord);
    mRoot.name = kRootName; // the root's name is fixed, whatever the record held
    mRoot.mode = kRootMode;
    return S_OK;
}

// Every element of the tree, storage by storage: names unique within a storage, chains claimed.
HRESULT StorageAllocator::ClaimTree(std::vector<std::uint8_t>& role)
{
    std::vector<std::unique_ptr<Element>> pending;
    if (!ClaimChain(role, mRoot))
        return STG_E_DOCFILECORRUPT;
    pending.push_back(std::make_unique<Element>(mRoot));
    while (!pending.empty()) {
        std::unique_ptr<Element> storage = std::move(pending.back());
        pending.pop_back();
        storage->owner = nullptr;
        ElementTable table(*this, *storage);
        const HRESULT hr = table.Load();
        if (FAILED(hr))
            return hr;
        const auto& children = table.Children();
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (table.Find(children[i]->name) != children[i].get())
                return STG_E_DOCFILECORRUPT; // two elements of one name
            if (!ClaimChain(role, *children[i]))
                return STG_E_DOCFILECORRUPT;
            if (children[i]->type == STGTY_STORAGE) {
                auto copy = std::make_unique<Element>(*children[i]);
                copy->owner = nullptr;
                copy->openTable = nullptr;
                pending.push_back(std::move(copy));
            }
        }
    }
    return S_OK;
}

// The other copy names the map of the commit before, which the next commit may overwrite in
// place. After a commit that failed part-way it may name clusters the valid map holds free: then
// it is forgotten, and the next commit places its map afresh.
void StorageAllocator::KeepOrForgetOtherMap(std::vector<std::uint8_t>& role, std::uint32_t generation)
{
    const std::uint32_t count = Count();
    const std::uint32_t other = generation ^ 1;
    const std::uint32_t otherFirst = GetU32(&mHeader[kOffMapFirst + 4 * other]);
    const std::uint32_t otherCount = GetU32(&mHeader[kOffMapCount + 4 * other]);
    const bool otherValid = otherFirst >= kFirstCluster && otherFirst < count && otherCount != 0 && otherCount <= count
        && otherCount % kEntriesPerCluster == 0 && otherCount + GetU32(&mHeader[kOffMapNegCount + 4 * other]) == 0
        && count - otherFirst >= otherCount / kEntriesPerCluster
        && ClaimRun(role, otherFirst, otherCount / kEntriesPerCluster);
    if (!otherValid) {
        PutU32(&mHeader[kOffMapFirst + 4 * other], 0);
        PutU32(&mHeader[kOffMapCount + 4 * other], 0);
        PutU32(&mHeader[kOffMapNegCount + 4 * other], 0);
    }
}

// Used clusters that nothing reachable names (left by a commit that failed part-way) are garbage,
// and the release list of the stored map was given up by the transaction that wrote it: both
// become free space again.
void StorageAllocator::FreeUnclaimed(const std::vector<std::uint8_t>& role)
{
    for (std::uint32_t c = kFirstCluster; c < Count(); ++c)
        if (role[c] == kUnclaimed)
            ReleaseToFree(c);
    std::vector<std::uint32_t> released;
    for (std::uint32_t c = mMap[kReleaseHead].next; c != 0; c = mMap[c].next)
        released.push_back(c);
    for (std::uint32_t c : released)
        ReleaseToFree(c);
}

HRESULT StorageAllocator::Load()
{
    STATSTG stat;
    HRESULT hr = mLockBytes->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr))
        return hr;
    CoTaskMemFree(stat.pwcsName);
    std::uint32_t generation = 0, count = 0, first = 0;
    if (FAILED(hr = ReadHeader(stat.cbSize.QuadPart, generation, count, first)))
        return hr;
    if (FAILED(hr = ReadMap(first, count)))
        return hr;
    std::vector<std::uint8_t> role;
    if (FAILED(hr = CheckMap(role)))
        return hr;
    if (!ClaimRun(role, first, count / kEntriesPerCluster))
        return STG_E_DOCFILECORRUPT;
    if (FAILED(hr = LoadRoot(generation)))
        return hr;
    if (FAILED(hr = ClaimTree(role)))
        return hr;
    KeepOrForgetOtherMap(role, generation);
    FreeUnclaimed(role);
    mRoot.owner = nullptr;
    mRoot.changed = false;
    mRoot.committedOnce = true;
    mRoot.loadResult = S_OK;
    mGeneration = generation ^ 1;
    mMapChanged = false;
    return S_OK;
}

} // namespace KEL
