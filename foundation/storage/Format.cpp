#include "foundation/storage/Format.h"

#include <cstring>

namespace KEL::StorageFormat {

void EncodeGuid(const GUID& g, std::uint8_t* out)
{
    PutU32(out, g.Data1);
    out[4] = static_cast<std::uint8_t>(g.Data2);
    out[5] = static_cast<std::uint8_t>(g.Data2 >> 8);
    out[6] = static_cast<std::uint8_t>(g.Data3);
    out[7] = static_cast<std::uint8_t>(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

GUID DecodeGuid(const std::uint8_t* in)
{
    GUID g;
    g.Data1 = GetU32(in);
    g.Data2 = static_cast<std::uint16_t>(in[4] | in[5] << 8);
    g.Data3 = static_cast<std::uint16_t>(in[6] | in[7] << 8);
    std::memcpy(g.Data4, in + 8, 8);
    return g;
}

void EncodeRecord(const ElementRecord& record, std::uint8_t* out)
{
    std::memset(out, 0, kRecordSize);
    for (std::size_t i = 0; i < record.name.size() && i < kMaxNameUnits; ++i) {
        out[kRecName + 2 * i] = static_cast<std::uint8_t>(record.name[i]);
        out[kRecName + 2 * i + 1] = static_cast<std::uint8_t>(record.name[i] >> 8);
    }
    PutU64(out + kRecStartPos, 0);
    PutU32(out + kRecFirstCluster, record.firstCluster);
    PutU64(out + kRecSize, record.size);
    PutU32(out + kRecEndCluster, record.endCluster);
    const FILETIME* times[3] = { &record.mtime, &record.ctime, &record.atime };
    for (int i = 0; i < 3; ++i) {
        PutU32(out + kRecTimes + 8 * i, times[i]->dwLowDateTime);
        PutU32(out + kRecTimes + 8 * i + 4, times[i]->dwHighDateTime);
    }
    EncodeGuid(record.clsid, out + kRecClsid);
    PutU32(out + kRecState, record.stateBits);
    PutU32(out + kRecType, record.type);
}

bool DecodeRecord(const std::uint8_t* in, ElementRecord& record)
{
    record.name.clear();
    bool terminated = false;
    for (std::size_t i = 0; i < kNameUnits; ++i) {
        const char16_t unit = static_cast<char16_t>(in[2 * i] | in[2 * i + 1] << 8);
        if (unit == 0) {
            terminated = true;
            break;
        }
        record.name.push_back(unit);
    }
    record.firstCluster = GetU32(in + kRecFirstCluster);
    record.size = GetU64(in + kRecSize);
    record.endCluster = GetU32(in + kRecEndCluster);
    FILETIME* times[3] = { &record.mtime, &record.ctime, &record.atime };
    for (int i = 0; i < 3; ++i) {
        times[i]->dwLowDateTime = GetU32(in + kRecTimes + 8 * i);
        times[i]->dwHighDateTime = GetU32(in + kRecTimes + 8 * i + 4);
    }
    record.clsid = DecodeGuid(in + kRecClsid);
    record.stateBits = GetU32(in + kRecState);
    record.type = GetU32(in + kRecType);
    // What this format writes as zero must read as zero: the padding behind the name, the start
    // position and the reserved fields.
    bool zeros = GetU64(in + kRecStartPos) == 0 && GetU32(in + 76) == 0 && GetU32(in + 92) == 0;
    for (std::size_t i = 2 * record.name.size(); i < 2 * kNameUnits; ++i)
        zeros = zeros && in[kRecName + i] == 0;
    for (std::size_t i = kRecReserved; i < kRecordSize; ++i)
        zeros = zeros && in[i] == 0;
    return terminated && zeros && (record.type == STGTY_STORAGE || record.type == STGTY_STREAM);
}

std::array<std::uint8_t, kHeaderSize> NewHeaderImage()
{
    std::array<std::uint8_t, kHeaderSize> h {};
    for (std::size_t i = 0; kSignature[i] != 0; ++i) {
        h[2 * i] = static_cast<std::uint8_t>(kSignature[i]);
        h[2 * i + 1] = static_cast<std::uint8_t>(kSignature[i] >> 8);
    }
    PutU32(&h[kOffVersion], kFormatVersion);
    PutU32(&h[kOffFirstClusterOffset], kFirstClusterOffset);
    PutU32(&h[kOff136], 0x20000);
    PutU32(&h[kOff140], 0x7FFFFFFF);
    PutU32(&h[kOff144], 0);
    PutU32(&h[kOffGeneration], 0);
    PutU32(&h[kOffShift], kClusterShift);
    return h;
}

bool HeaderLooksValid(const std::uint8_t* header)
{
    const auto fresh = NewHeaderImage();
    return std::memcmp(header, fresh.data(), 2 * kSignatureChars) == 0 && GetU32(header + kOffVersion) == kFormatVersion
        && GetU32(header + kOffFirstClusterOffset) == kFirstClusterOffset
        && GetU32(header + kOffShift) == kClusterShift;
}

} // namespace KEL::StorageFormat
