#include "foundation/storage/StorageAllocator.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/XKEL.h"
#include "foundation/storage/KelInterfaces.h"
#include "foundation/storage/StorageError.h"

namespace KEL {

using namespace StorageFormat;

namespace {
constexpr std::uint32_t kMask = kClusterSize - 1;
constexpr std::uint64_t kGrowPreferenceFrom = 0x500001;

// Index of the cluster a cursor stands in, counted along the chain from 0.
std::uint64_t CursorIndex(const Cursor& c)
{
    if (c.AtEnd())
        return (c.position >> kClusterShift) - 1;
    return c.position >> kClusterShift;
}
// The canonical cluster index of a position: a boundary belongs to the cluster it ends.
std::uint64_t PositionIndex(std::uint64_t position)
{
    return position == 0 ? 0 : (position - 1) >> kClusterShift;
}
std::uint32_t EndBitFor(std::uint64_t position)
{
    return position != 0 && (position & kMask) == 0 ? kAtEndBit : 0;
}
} // namespace

StorageAllocator::StorageAllocator(ILockBytes* lockBytes)
    : StorageAllocator(lockBytes, true)
{
}

StorageAllocator::StorageAllocator(ILockBytes* lockBytes, bool fresh)
    : mLockBytes(lockBytes)
{
    mHeader = NewHeaderImage();
    mRoot.name = kRootName;
    mRoot.type = STGTY_STORAGE;
    mRoot.mode = kRootMode;
    mRoot.changed = true;
    if (fresh) {
        mMap = { { 0, kFreeBit }, { 0, 0 } };
        mFresh.assign(2, false);
        if (!GrowMap(kEntriesPerCluster))
            throw std::bad_alloc();
        // Nothing needs writing until something is created: a root released unused leaves its
        // file untouched.
        mMapChanged = false;
        mRoot.changed = false;
    }
    mLockBytes->AddRef();
    void* kel = nullptr;
    if (SUCCEEDED(mLockBytes->QueryInterface(IKELLockBytes::kIid, &kel)))
        mKelLockBytes = static_cast<IKELLockBytes*>(kel);
}

StorageAllocator::~StorageAllocator()
{
    if (mKelLockBytes)
        mKelLockBytes->Release();
    mLockBytes->Release();
}

bool StorageAllocator::Transacted() const
{
    return (mRoot.mode & STGM_TRANSACTED) != 0;
}

// ---- map and lists ----

bool StorageAllocator::GrowMap(std::uint32_t count)
{
    const std::uint32_t old = Count();
    if (count <= old)
        return true;
    if (count >= kMaxMapEntries)
        return false;
    try {
        if (count > mMap.capacity()) {
            const std::size_t grown = std::max<std::size_t>((3 * mMap.capacity() + 1) / 2, count);
            if (grown >= kMaxMapEntries)
                return false;
            mMap.reserve(grown);
            mFresh.reserve(grown);
        }
        std::uint32_t last = kFreeHead;
        for (std::uint32_t c = mMap[kFreeHead].next, steps = 0; c != 0 && steps < old; c = mMap[c].next, ++steps)
            last = c;
        mMap.resize(count);
        mFresh.resize(count, false);
        mMap[last].next = old;
        for (std::uint32_t c = old; c < count; ++c) {
            mMap[c].prev = (c == old ? last : c - 1) | kFreeBit;
            mMap[c].next = c + 1 < count ? c + 1 : 0;
        }
    } catch (const std::bad_alloc&) {
        mMap.resize(old);
        mFresh.resize(old);
        return false;
    }
    mMapChanged = true;
    return true;
}

void StorageAllocator::UnlinkFree(std::uint32_t e)
{
    const std::uint32_t prev = mMap[e].prev & kClusterMask;
    mMap[prev].next = mMap[e].next;
    if (mMap[e].next != 0)
        mMap[mMap[e].next].prev = mMap[e].prev;
    mMap[e] = { 0, 0 };
    MarkFresh(e);
    mMapChanged = true;
}

void StorageAllocator::MarkFresh(std::uint32_t cluster)
{
    mFresh[cluster] = true;
}
bool StorageAllocator::IsFresh(std::uint32_t cluster) const
{
    return mFresh[cluster];
}

std::uint32_t StorageAllocator::AllocateCluster(std::uint32_t hint, bool allowGrow)
{
    const std::uint32_t count = Count();
    auto isFree = [this](std::uint32_t c) { return c >= kFirstCluster && c < Count() && (mMap[c].prev & kFreeBit); };
    if (hint != 0 && hint + 1 < count) {
        if (isFree(hint + 1)) {
            UnlinkFree(hint + 1);
            return hint + 1;
        }
        const std::uint32_t from = hint < 9 ? 1 : hint - 8;
        const std::uint32_t to = std::min(count, hint + 8);
        for (std::uint32_t c = from; c < to; ++c)
            if (isFree(c)) {
                UnlinkFree(c);
                return c;
            }
    }
    if (allowGrow && hint != 0 && hint + 1 == count && GrowMap(count + kEntriesPerCluster) && isFree(hint + 1)) {
        UnlinkFree(hint + 1);
        return hint + 1;
    }
    if (mMap[kFreeHead].next == 0 && !GrowMap(Count() + kEntriesPerCluster))
        return 0;
    const std::uint32_t head = mMap[kFreeHead].next;
    UnlinkFree(head);
    return head;
}

std::uint32_t StorageAllocator::AppendCluster(std::uint32_t last, bool allowGrow)
{
    const std::uint32_t c = AllocateCluster(last, allowGrow);
    if (c == 0)
        return 0;
    mMap[last].next = c;
    mMap[c] = { 0, last };
    return c;
}

std::uint32_t StorageAllocator::TakeFreeHead()
{
    if (mMap[kFreeHead].next == 0 && !GrowMap(Count() + kEntriesPerCluster))
        return 0;
    const std::uint32_t head = mMap[kFreeHead].next;
    UnlinkFree(head);
    return head;
}

// Takes a used cluster out of its chain (or out of the release list).
void StorageAllocator::Unlink(std::uint32_t c)
{
    const ClusterEntry e = mMap[c];
    const std::uint32_t prev = e.prev & kClusterMask;
    if (prev != 0 && prev < Count() && mMap[prev].next == c)
        mMap[prev].next = e.next;
    if (e.next != 0 && e.next < Count() && (mMap[e.next].prev & kClusterMask) == c)
        mMap[e.next].prev = prev == 0 ? 0 : (mMap[e.next].prev & kFreeBit) | prev;
    mMap[c] = { 0, 0 };
}

void StorageAllocator::ReleaseToPending(std::uint32_t c)
{
    if (c < kFirstCluster || c >= Count() || (mMap[c].prev & kFreeBit))
        return;
    Unlink(c);
    const std::uint32_t first = mMap[kReleaseHead].next;
    mMap[c] = { first, kReleaseHead };
    if (first != 0)
        mMap[first].prev = c;
    mMap[kReleaseHead].next = c;
    mMapChanged = true;
}

void StorageAllocator::ReleaseToFree(std::uint32_t c)
{
    if (c < kFirstCluster || c >= Count() || (mMap[c].prev & kFreeBit))
        return;
    Unlink(c);
    const std::uint32_t first = mMap[kFreeHead].next;
    mMap[c] = { first, kFreeBit };
    if (first != 0)
        mMap[first].prev = c | kFreeBit;
    mMap[kFreeHead].next = c;
    mMapChanged = true;
}

void StorageAllocator::GiveUp(std::uint32_t cluster)
{
    if (Transacted())
        ReleaseToPending(cluster);
    else
        ReleaseToFree(cluster);
}

// ---- element chains ----

Cursor StorageAllocator::Locate(const Element& element, std::uint64_t position) const
{
    std::uint32_t c = element.FirstCluster();
    if (c == 0)
        return { position, 0 };
    const std::uint64_t steps = PositionIndex(position);
    for (std::uint64_t i = 0; i < steps; ++i) {
        const std::uint32_t next = mMap[c].next;
        if (next < kFirstCluster || next >= Count())
            return { position, 0 }; // a chain shorter than its size: the cursor finds no cluster
        c = next;
    }
    return { position, c | EndBitFor(position) };
}

HRESULT StorageAllocator::EnsureFirstCluster(Element& element)
{
    if (element.FirstCluster() != 0)
        return S_OK;
    const std::uint32_t c = TakeFreeHead();
    if (c == 0)
        return STG_E_INSUFFICIENTMEMORY;
    element.start = { 0, c };
    element.end = { 0, c };
    ++element.chainVersion;
    MarkElementChanged(element);
    return S_OK;
}

HRESULT StorageAllocator::ReadChunk(const Element&, Cursor& cursor, void* buffer, ULONG cb, ULONG* read)
{
    *read = 0;
    std::uint32_t c = cursor.Cluster();
    if (c < kFirstCluster || c >= Count())
        return S_FALSE;
    if (cursor.AtEnd()) {
        const std::uint32_t next = mMap[c].next;
        if (next < kFirstCluster || next >= Count())
            return S_FALSE;
        c = next;
        cursor.cluster = c;
    }
    const std::uint32_t offset = static_cast<std::uint32_t>(cursor.position & kMask);
    const ULONG n = std::min<ULONG>(cb, kClusterSize - offset);
    ULONG got = 0;
    const HRESULT hr = mLockBytes->ReadAt({ ClusterOffset(c) + offset }, buffer, n, &got);
    if (FAILED(hr))
        return hr;
    // A cluster that was never written lies past the end of the file: its bytes read as zero.
    if (got < n)
        std::memset(static_cast<std::uint8_t*>(buffer) + got, 0, n - got);
    cursor.position += n;
    cursor.cluster = c | EndBitFor(cursor.position);
    *read = n;
    return S_OK;
}

HRESULT StorageAllocator::CopyOnWrite(Element& element, Cursor& cursor)
{
    const std::uint32_t c = cursor.Cluster();
    const std::uint64_t clusterStart = cursor.position & ~std::uint64_t(kMask);
    const std::uint64_t valid
        = element.Size() > clusterStart ? std::min<std::uint64_t>(element.Size() - clusterStart, kClusterSize) : 0;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(valid));
    if (valid != 0) {
        ULONG got = 0;
        const HRESULT hr = mLockBytes->ReadAt({ ClusterOffset(c) }, buffer.data(), static_cast<ULONG>(valid), &got);
        if (FAILED(hr))
            return hr;
        if (got < valid)
            std::memset(buffer.data() + got, 0, static_cast<std::size_t>(valid - got));
    }
    const std::uint32_t copy = TakeFreeHead();
    if (copy == 0)
        return STG_E_INSUFFICIENTMEMORY;
    if (valid != 0) {
        const HRESULT hr = WriteAll(ClusterOffset(copy), buffer.data(), buffer.size());
        if (FAILED(hr)) {
            ReleaseToFree(copy); // never named by anything: it may be reused at once
            return hr;
        }
    }
    // Put the copy in the original's place; the original waits on the release list.
    const ClusterEntry e = mMap[c];
    mMap[copy] = e;
    if (e.prev != 0)
        mMap[e.prev].next = copy;
    else
        element.start.cluster = copy;
    if (e.next != 0)
        mMap[e.next].prev = copy;
    if (element.end.Cluster() == c)
        element.end.cluster = copy | (element.end.cluster & kAtEndBit);
    mMap[c] = { 0, 0 };
    ReleaseToPending(c);
    cursor.cluster = copy | (cursor.cluster & kAtEndBit);
    ++element.chainVersion;
    MarkElementChanged(element);
    mMapChanged = true;
    return S_OK;
}

HRESULT StorageAllocator::WriteChunk(Element& element, Cursor& cursor, const void* buffer, ULONG cb, ULONG* written)
{
    *written = 0;
    std::uint32_t c = cursor.Cluster();
    if (c < kFirstCluster || c >= Count())
        return E_FAIL;
    const Cursor before = cursor;
    std::uint32_t appended = 0;
    if (cursor.AtEnd()) {
        std::uint32_t next = mMap[c].next;
        if (next == 0) {
            next = appended = AppendCluster(c, cursor.position >= kGrowPreferenceFrom);
            if (next == 0)
                return STG_E_INSUFFICIENTMEMORY;
        }
        cursor.cluster = next;
        c = next;
    }
    if (Transacted() && !IsFresh(c)) {
        const HRESULT hr = CopyOnWrite(element, cursor);
        if (FAILED(hr)) {
            cursor = before;
            return hr;
        }
        c = cursor.Cluster();
    }
    const std::uint32_t offset = static_cast<std::uint32_t>(cursor.position & kMask);
    const ULONG n = std::min<ULONG>(cb, kClusterSize - offset);
    ULONG done = 0;
    const HRESULT hr = mLockBytes->WriteAt({ ClusterOffset(c) + offset }, buffer, n, &done);
    if (done == 0) {
        // The chain must end at the element's end cluster: a cluster appended for this write goes
        // back (it was never named by anything).
        // A copy made for this write stays in place, and the cursor on it.
        if (appended != 0) {
            ReleaseToFree(appended);
            cursor = before;
        }
        return FAILED(hr) ? hr : E_FAIL;
    }
    cursor.position += done;
    cursor.cluster = c | EndBitFor(cursor.position);
    *written = done;
    if (cursor.position > element.end.position) {
        element.end = cursor;
        MarkElementChanged(element);
    }
    return hr;
}

HRESULT StorageAllocator::SeekCursor(Element& element, Cursor& cursor, std::int64_t delta)
{
    if (delta < 0 && std::uint64_t(-delta) > cursor.position)
        return STG_E_INVALIDPOINTER;
    const std::uint64_t target = cursor.position + static_cast<std::uint64_t>(delta);
    if (target == element.end.position) {
        cursor = element.end;
        return S_OK;
    }
    if (target == 0) {
        cursor = element.start;
        return S_OK;
    }
    std::uint32_t c = cursor.Cluster();
    if (c < kFirstCluster || c >= Count())
        return E_FAIL;
    std::uint64_t index = CursorIndex(cursor);
    const std::uint64_t want = PositionIndex(target);
    HRESULT hr = S_OK;
    while (index > want) {
        const std::uint32_t prev = mMap[c].prev;
        if (prev < kFirstCluster || prev >= Count())
            return STG_E_DOCFILECORRUPT;
        c = prev;
        --index;
    }
    while (index < want) {
        std::uint32_t next = mMap[c].next;
        if (next == 0) {
            next = AppendCluster(c, false);
            if (next == 0) {
                hr = STG_E_MEDIUMFULL;
                break;
            }
        }
        c = next;
        ++index;
    }
    const std::uint64_t reached = hr == S_OK ? target : (index + 1) << kClusterShift;
    cursor = { reached, c | EndBitFor(reached) };
    if (reached > element.end.position) {
        element.end = cursor;
        MarkElementChanged(element);
    }
    return hr;
}

HRESULT StorageAllocator::ResizeChain(Element& element, std::uint64_t newSize)
{
    if (newSize == element.end.position)
        return S_OK;
    std::uint32_t c = element.end.Cluster();
    if (c < kFirstCluster || c >= Count())
        return E_FAIL;
    std::uint64_t index = PositionIndex(element.end.position);
    const std::uint64_t want = PositionIndex(newSize);
    HRESULT hr = S_OK;
    if (want < index) {
        mTruncationPending = true;
        while (index > want) {
            const std::uint32_t prev = mMap[c].prev;
            if (prev < kFirstCluster || prev >= Count())
                return STG_E_DOCFILECORRUPT;
            GiveUp(c);
            mMap[prev].next = 0;
            c = prev;
            --index;
        }
        ++element.chainVersion;
    }
    while (index < want) {
        const std::uint32_t next = AppendCluster(c, false);
        if (next == 0) {
            hr = STG_E_MEDIUMFULL;
            break;
        }
        c = next;
        ++index;
    }
    const std::uint64_t reached = hr == S_OK ? newSize : (index + 1) << kClusterShift;
    if (reached < element.end.position) {
        ClampCursors(element, reached);
        ++element.chainVersion;
    }
    element.end = { reached, c | EndBitFor(reached) };
    MarkElementChanged(element);
    return hr;
}

void StorageAllocator::ReleaseChain(Element& element)
{
    const std::uint32_t first = element.FirstCluster();
    if (first == 0)
        return;
    if (element.end.position != 0)
        ResizeChain(element, 0);
    GiveUp(first);
    ClampCursors(element, 0);
    element.start = {};
    element.end = {};
    ++element.chainVersion;
    MarkElementChanged(element);
}

// ---- commit ----

HRESULT StorageAllocator::WriteAll(std::uint64_t offset, const void* data, std::size_t size)
{
    ULONG written = 0;
    const HRESULT hr = mLockBytes->WriteAt({ offset }, data, static_cast<ULONG>(size), &written);
    if (FAILED(hr))
        return hr;
    return written == size ? S_OK : E_FAIL;
}

void StorageAllocator::StoreMap()
{
    const std::uint32_t copy = Copy();
    auto needed = [this] { return (Count() + kEntriesPerCluster - 1) / kEntriesPerCluster; };
    std::uint32_t first = GetU32(&mHeader[kOffMapFirst + 4 * copy]);
    bool kept = false;
    if (Transacted() && first >= kFirstCluster && first < Count()) {
        // The map this copy named two commits ago (or that a failed commit placed) is named by
        // nothing the file can reach now: it may be overwritten in place when still long enough.
        std::uint32_t c = first, run = 1;
        while (run < needed() && mMap[c].next == c + 1 && mMap[c + 1].prev == c) {
            c = c + 1;
            ++run;
        }
        kept = run >= needed() && mMap[first].prev == 0;
        if (!kept) {
            std::vector<std::uint32_t> chain;
            for (std::uint32_t k = first; k >= kFirstCluster && k < Count() && chain.size() < Count(); k = mMap[k].next)
                chain.push_back(k);
            for (std::uint32_t k : chain)
                ReleaseToFree(k);
            mTruncationPending = true;
        }
    }
    if (!kept) {
        for (;;) {
            const std::uint32_t want = needed();
            if (want == 1) {
                if (mMap[kFreeHead].next == 0 && !GrowMap(Count() + kEntriesPerCluster))
                    ThrowStorageError(STG_E_INSUFFICIENTMEMORY);
                if (needed() != want)
                    continue;
                first = mMap[kFreeHead].next;
                break;
            }
            // The first run of `want` free clusters with consecutive numbers.
            std::uint32_t runStart = 0, runLength = 0;
            for (std::uint32_t c = kFirstCluster; c < Count() && runLength < want; ++c) {
                if (mMap[c].prev & kFreeBit) {
                    if (runLength == 0)
                        runStart = c;
                    ++runLength;
                } else {
                    runLength = 0;
                }
            }
            if (runLength >= want) {
                first = runStart;
                break;
            }
            // Grow by one cluster's worth: the new entries extend any free run at the end of the map.
            if (!GrowMap(Count() + kEntriesPerCluster))
                ThrowStorageError(STG_E_INSUFFICIENTMEMORY);
        }
        const std::uint32_t want = needed();
        for (std::uint32_t c = first; c < first + want; ++c)
            UnlinkFree(c);
        mMap[first] = { 0, 0 };
        for (std::uint32_t c = first; c + 1 < first + want; ++c) {
            mMap[c].next = c + 1;
            mMap[c + 1] = { 0, c };
        }
    }
    // Recorded before anything is written, so that a retry after a failed write reuses the run.
    PutU32(&mHeader[kOffMapFirst + 4 * copy], first);
    PutU32(&mHeader[kOffMapCount + 4 * copy], Count());
    PutU32(&mHeader[kOffMapNegCount + 4 * copy], 0u - Count());

    std::vector<std::uint8_t> cluster(kClusterSize);
    for (std::uint32_t i = 0, c = first; i < Count(); i += kEntriesPerCluster, ++c) {
        const std::uint32_t n = std::min(kEntriesPerCluster, Count() - i);
        for (std::uint32_t k = 0; k < n; ++k) {
            PutU32(&cluster[8 * k], mMap[i + k].next);
            PutU32(&cluster[8 * k + 4], mMap[i + k].prev);
        }
        const HRESULT hr = WriteAll(ClusterOffset(c), cluster.data(), std::size_t(n) * 8);
        if (FAILED(hr))
            ThrowStorageError(hr);
    }
}

namespace {
// A write of the commit that failed: the one diagnostic line of the libraries' exception for its
// code, as the map's writes give it, and the code.
HRESULT Reported(HRESULT hr)
{
    const XKEL report(hr);
    return hr;
}
} // namespace

HRESULT StorageAllocator::Commit(DWORD flags)
{
    if (!mMapChanged && !mRoot.changed)
        return S_OK;
    try {
        StoreMap();
    } catch (const std::exception& e) {
        return StorageErrorCode(e);
    }
    const std::uint32_t copy = Copy();
    EncodeRecord(mRoot.ToRecord(), &mHeader[kOffRootRecord + kRecordSize * copy]);
    HRESULT hr = WriteAll(kTailOffset, &mHeader[kTailOffset], kTailSize);
    if (FAILED(hr))
        return Reported(hr);
    if (mTruncationPending) {
        std::uint32_t highest = kReleaseHead;
        for (std::uint32_t c = Count() - 1; c > kReleaseHead; --c)
            if (!(mMap[c].prev & kFreeBit)) {
                highest = c;
                break;
            }
        // A failed truncation only leaves the file longer than it needs to be.
        if (SUCCEEDED(mLockBytes->SetSize(
                { std::uint64_t(highest + 1 - kFirstCluster) * kClusterSize + kFirstClusterOffset })))
            mTruncationPending = false;
    }
    const bool flush = (flags & STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE) == 0;
    if (flush && FAILED(hr = mLockBytes->Flush()))
        return hr;
    PutU32(&mHeader[kOffGeneration], Transacted() ? mGeneration : 0);
    if (!mRoot.committedOnce) {
        // On a file never committed the signature itself makes the file valid (its generation
        // field reads 0 until written): signature and generation go in one write.
        if (FAILED(hr = WriteAll(0, mHeader.data(), kOffGeneration + 4)))
            return Reported(hr);
    } else {
        if (FAILED(hr = WriteAll(0, mHeader.data(), kOffGeneration)))
            return Reported(hr);
        if (FAILED(hr = WriteAll(kOffGeneration, &mHeader[kOffGeneration], 4)))
            return Reported(hr);
    }
    // From here the file names the copy just written: the commit has happened whatever follows.
    hr = flush ? mLockBytes->Flush() : S_OK;
    if (Transacted()) {
        mGeneration ^= 1;
        // The release list becomes free space: move it whole to the front of the free list.
        std::vector<std::uint32_t> released;
        for (std::uint32_t c = mMap[kReleaseHead].next; c >= kFirstCluster && c < Count() && released.size() < Count();
             c = mMap[c].next)
            released.push_back(c);
        const std::uint32_t oldFirst = mMap[kFreeHead].next;
        for (std::size_t i = 0; i < released.size(); ++i) {
            mMap[released[i]].prev = (i == 0 ? 0 : released[i - 1]) | kFreeBit;
            mMap[released[i]].next = i + 1 < released.size() ? released[i + 1] : oldFirst;
        }
        if (!released.empty()) {
            if (oldFirst != 0)
                mMap[oldFirst].prev = released.back() | kFreeBit;
            mMap[kFreeHead].next = released.front();
        }
        mMap[kReleaseHead].next = 0;
    }
    std::fill(mFresh.begin(), mFresh.end(), false);
    mRoot.changed = false;
    mRoot.committedOnce = true;
    mMapChanged = false;
    return hr;
}

} // namespace KEL
