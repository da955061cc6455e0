// A WFDB record assembled as the import does it: header text, one signal file shared by every
// signal the header names, and an annotation file, all from the input. Whatever the bytes, the
// import gives a recording that validates and reads back, or a RecordingError/ImportError; the
// annotations land inside the record.
//   input: u16 header length, header text, u32 signal length, signal bytes, annotation bytes
#include "host/recording/Import.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool Take(const uint8_t*& data, std::size_t& size, std::size_t count, std::string& out)
{
    if (count > size)
        return false;
    out.assign(reinterpret_cast<const char*>(data), count);
    data += count;
    size -= count;
    return true;
}

template <class T> bool TakeNumber(const uint8_t*& data, std::size_t& size, T& out)
{
    if (sizeof out > size)
        return false;
    std::memcpy(&out, data, sizeof out);
    data += sizeof out;
    size -= sizeof out;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    uint16_t headerLength = 0;
    uint32_t signalLength = 0;
    std::string header, signal;
    if (!TakeNumber(data, size, headerLength) || !Take(data, size, headerLength, header)
        || !TakeNumber(data, size, signalLength) || !Take(data, size, signalLength, signal))
        return 0;
    const std::string annotations(reinterpret_cast<const char*>(data), size);
    try {
        vx::import::WfdbRecord wfdb;
        wfdb.header = vx::import::ParseHeader(header, "r.hea");
        vx::import::DecodeSignalFiles(wfdb, "r.hea", [&](const std::string& fileName) {
            std::istringstream in(signal);
            vx::import::DecodeSignalFile(
                wfdb.header, fileName, in, fileName, wfdb, static_cast<int64_t>(signal.size()));
        });
        vx::host::Recording recording = vx::host::WfdbRecording(std::move(wfdb), "r.hea");
        const auto parsed = vx::import::ParseAnnotations(
            { reinterpret_cast<const uint8_t*>(annotations.data()), annotations.size() }, "r.atr");
        vx::host::AddWfdbAnnotations(recording, parsed, L"atr", "r.atr");
        recording.Validate("r.hea");
        const vx::host::Record& record = recording.records.at(0);
        for (const vx::host::Comment& c : recording.comments)
            if (c.position < 0 || (recording.ChannelCount() > 0 && c.position >= record.length))
                std::abort();
        for (int c = 0; c < recording.ChannelCount(); ++c) {
            const int64_t n = std::min<int64_t>(recording.ChannelLength(c, 0), 64);
            std::vector<float> out(static_cast<std::size_t>(n));
            recording.ReadPhysical(c, 0, recording.ChannelLength(c, 0) - n, out);
        }
    } catch (const vx::host::RecordingError&) {
    } catch (const vx::import::ImportError&) {
    }
    return 0;
}
