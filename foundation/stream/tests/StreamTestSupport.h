#pragma once
// Helpers of the stream tests: a memory stream that records its writes, and a byte source that
// cannot seek (as a pipe would be).
#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

#include "foundation/stream/MemoryStream.h"

namespace KEL::test {

class RecordingStream : public MemoryStream {
public:
    static RecordingStream* Create(std::vector<std::uint8_t> bytes = {}, DWORD mode = STGM_READWRITE)
    {
        auto* s = new RecordingStream(std::move(bytes), mode);
        s->AddRef();
        return s;
    }
    HRESULT Write(const void* buffer, ULONG cb, ULONG* written) override
    {
        mWrites.push_back(cb);
        if (mFailWrites)
            return STG_E_MEDIUMFULL;
        return MemoryStream::Write(buffer, cb, written);
    }
    std::vector<ULONG> mWrites;
    bool mFailWrites = false;

private:
    RecordingStream(std::vector<std::uint8_t> bytes, DWORD mode)
        : MemoryStream(std::move(bytes), mode)
    {
    }
};

class UnseekableBuf : public std::streambuf {
public:
    explicit UnseekableBuf(std::string bytes)
        : mBytes(std::move(bytes))
    {
        setg(mBytes.data(), mBytes.data(), mBytes.data() + mBytes.size());
    }

private:
    std::string mBytes;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

inline void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

} // namespace KEL::test
