#pragma once
// The on-disk layout of the compound file, kept apart from the in-memory objects: every integer
// is read and written little-endian through the helpers here, whatever the host byte order.
//
//   offset 0    504-byte header, 8 bytes of padding
//   offset 512  cluster 2, then cluster 3, ... each of 2^shift bytes
//
// Cluster numbers 0 and 1 never name a cluster in the file: their map entries head the free list
// and the release list.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "com/Storage.h"

namespace KEL::StorageFormat {

constexpr std::uint32_t kFormatVersion = 29;
constexpr std::uint32_t kFirstClusterOffset = 512;
constexpr std::uint32_t kClusterShift = 15;
constexpr std::uint32_t kClusterSize = 1u << kClusterShift;
constexpr std::uint32_t kEntriesPerCluster = kClusterSize / 8;
constexpr std::uint32_t kFirstCluster = 2;
constexpr std::uint32_t kFreeHead = 0;
constexpr std::uint32_t kReleaseHead = 1;
// Bit 31 of a map entry's prev word marks a free cluster; bit 31 of a cursor's cluster marks a
// position at the very end of that cluster.
constexpr std::uint32_t kFreeBit = 0x80000000u;
constexpr std::uint32_t kAtEndBit = 0x80000000u;
constexpr std::uint32_t kClusterMask = 0x7FFFFFFFu;
constexpr std::uint32_t kMaxMapEntries = 0x7FFFFFFFu;

constexpr std::size_t kHeaderSize = 504;
constexpr std::size_t kSignatureChars = 64;
constexpr std::size_t kRecordSize = 160;
constexpr std::size_t kNameUnits = 32; // the name field, terminator included
constexpr std::size_t kMaxNameUnits = 31; // characters a name may have
constexpr std::uint32_t kMaxElements = 1024; // per directory
constexpr std::size_t kDirectoryHeaderSize = 8;

constexpr char16_t kSignature[] = u"Morvell Compound File";
constexpr char16_t kRootName[] = u"KELRootStorage";
constexpr std::uint32_t kRootMode = 0x04011012u;

// Header field offsets.
constexpr std::size_t kOffVersion = 128;
constexpr std::size_t kOffFirstClusterOffset = 132;
constexpr std::size_t kOff136 = 136;
constexpr std::size_t kOff140 = 140;
constexpr std::size_t kOff144 = 144;
constexpr std::size_t kOffGeneration = 148;
constexpr std::size_t kOffShift = 152;
constexpr std::size_t kOffMapCount = 156; // + 4 × copy
constexpr std::size_t kOffMapNegCount = 164; // + 4 × copy
constexpr std::size_t kOffMapFirst = 172; // + 4 × copy
constexpr std::size_t kOff180 = 180;
constexpr std::size_t kOffRootRecord = 184; // + 160 × copy
// The tail written before the generation flips: shift, both copies of the allocation fields and
// both root records.
constexpr std::size_t kTailOffset = kOffShift;
constexpr std::size_t kTailSize = kHeaderSize - kOffShift;
static_assert(kOffRootRecord + 2 * kRecordSize == kHeaderSize);
static_assert(kTailSize == 352);
static_assert(kHeaderSize + 8 == kFirstClusterOffset);
static_assert(kEntriesPerCluster == 4096);

// Little-endian access to a byte image.
inline std::uint32_t GetU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint64_t GetU64(const std::uint8_t* p)
{
    return GetU32(p) | std::uint64_t(GetU32(p + 4)) << 32;
}
inline void PutU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU64(std::uint8_t* p, std::uint64_t v)
{
    PutU32(p, static_cast<std::uint32_t>(v));
    PutU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// File offset of a cluster's first byte.
constexpr std::uint64_t ClusterOffset(std::uint32_t cluster)
{
    return std::uint64_t(cluster - kFirstCluster) * kClusterSize + kFirstClusterOffset;
}

// A position in an element's chain: the byte position and the cluster holding it, with kAtEndBit
// when the position is exactly at the end of that cluster. Position 0 never carries the bit.
struct Cursor {
    std::uint64_t position = 0;
    std::uint32_t cluster = 0;
    std::uint32_t Cluster() const { return cluster & kClusterMask; }
    bool AtEnd() const { return (cluster & kAtEndBit) != 0; }
    friend bool operator==(const Cursor&, const Cursor&) = default;
};

// The 160-byte directory record of one element.
struct ElementRecord {
    std::u16string name; // at most 31 units
    std::uint32_t firstCluster = 0;
    std::uint64_t size = 0;
    std::uint32_t endCluster = 0; // with kAtEndBit
    FILETIME mtime, ctime, atime;
    CLSID clsid;
    std::uint32_t stateBits = 0;
    std::uint32_t type = 0;
};

constexpr std::size_t kRecName = 0;
constexpr std::size_t kRecStartPos = 64;
constexpr std::size_t kRecFirstCluster = 72;
constexpr std::size_t kRecSize = 80;
constexpr std::size_t kRecEndCluster = 88;
constexpr std::size_t kRecTimes = 96;
constexpr std::size_t kRecClsid = 120;
constexpr std::size_t kRecState = 136;
constexpr std::size_t kRecType = 140;
constexpr std::size_t kRecReserved = 144;
static_assert(kRecReserved + 16 == kRecordSize);
static_assert(kRecName + 2 * kNameUnits == kRecStartPos);

void EncodeRecord(const ElementRecord& record, std::uint8_t* out);
// Decodes a record. The name stops at the first 0 unit; false when the name field holds no
// terminator within its 32 units, a field written as zero is not zero, or the type is neither
// storage nor stream.
bool DecodeRecord(const std::uint8_t* in, ElementRecord& record);

void EncodeGuid(const GUID& g, std::uint8_t* out);
GUID DecodeGuid(const std::uint8_t* in);

// A fresh header image: signature, version, the fixed fields, generation 0, shift 15, all
// allocation fields 0 and both root records zero.
std::array<std::uint8_t, kHeaderSize> NewHeaderImage();
// Checks the fixed part of a header read from a file: signature, version, first cluster offset
// and shift.
bool HeaderLooksValid(const std::uint8_t* header);

} // namespace KEL::StorageFormat
