#include "host/import/Wfdb.h"

#include "host/import/InputFile.h"

#include <FLAC/stream_decoder.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>
#include <utility>

namespace vx::import {
namespace {

[[noreturn]] void Fail(const std::string& file, const std::string& what)
{
    throw ImportError(file + ": " + what);
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

template <typename T> bool ParseNumber(std::string_view text, T& value)
{
    if (text.empty())
        return false;
    if (text.front() == '+')
        text.remove_prefix(1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

template <typename T> T Number(std::string_view text, const std::string& file, int line, const char* what)
{
    T value {};
    if (!ParseNumber(text, value))
        Fail(file, "line " + std::to_string(line) + ": " + what + " '" + std::string(text) + "' is not a valid number");
    return value;
}

// "200", "200(0)", "200/mV", "200(-12)/uV".
void ParseGain(std::string_view text, WfdbSignalInfo& s, bool& hasBaseline, const std::string& file, int line)
{
    std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        s.units = std::string(text.substr(slash + 1));
        text = text.substr(0, slash);
    }
    std::size_t open = text.find('(');
    if (open != std::string_view::npos) {
        if (text.back() != ')')
            Fail(file, "line " + std::to_string(line) + ": the baseline in '" + std::string(text) + "' lacks its ')'");
        s.baseline = Number<int>(text.substr(open + 1, text.size() - open - 2), file, line, "baseline");
        hasBaseline = true;
        text = text.substr(0, open);
    }
    s.gain = Number<double>(text, file, line, "gain");
    if (std::isnan(s.gain))
        Fail(file, "line " + std::to_string(line) + ": the gain '" + std::string(text) + "' is not a number");
    if (s.gain < 0)
        Fail(file, "line " + std::to_string(line) + ": the gain must not be negative");
    if (s.gain > 1e12)
        Fail(file,
            "line " + std::to_string(line) + ": the gain '" + std::string(text)
                + "' is too large (at most 1e12 ADC units per physical unit)");
    if (s.gain == 0)
        s.gain = 200.0;
}

bool IsSupportedFormat(int format)
{
    switch (format) {
    case 0:
    case 8:
    case 16:
    case 24:
    case 32:
    case 61:
    case 80:
    case 160:
    case 212:
    case 310:
    case 311:
    case 508:
    case 516:
    case 524:
        return true;
    default:
        return false;
    }
}

bool IsFlac(int format)
{
    return format == 508 || format == 516 || format == 524;
}

// "212", "16x2" (samples per frame), "212:3" (skew), "212+512" (byte offset), "16x4:2+24".
void ParseFormat(std::string_view text, WfdbSignalInfo& s, const std::string& file, int line)
{
    const std::string where = "line " + std::to_string(line) + ": ";
    const std::size_t plus = text.find('+');
    if (plus != std::string_view::npos) {
        s.byteOffset = Number<int64_t>(text.substr(plus + 1), file, line, "byte offset");
        if (s.byteOffset < 0)
            Fail(file, where + "negative byte offset");
        text = text.substr(0, plus);
    }
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        s.skew = Number<int>(text.substr(colon + 1), file, line, "skew");
        if (s.skew < 0 || s.skew > (1 << 24))
            Fail(file, where + "implausible skew " + std::to_string(s.skew));
        text = text.substr(0, colon);
    }
    const std::size_t times = text.find('x');
    if (times != std::string_view::npos) {
        s.samplesPerFrame = Number<int>(text.substr(times + 1), file, line, "samples per frame");
        if (s.samplesPerFrame < 1 || s.samplesPerFrame > 1024)
            Fail(file, where + "implausible number of samples per frame " + std::to_string(s.samplesPerFrame));
        text = text.substr(0, times);
    }
    s.format = Number<int>(text, file, line, "signal format");
    if (!IsSupportedFormat(s.format))
        Fail(file,
            where + "signal format " + std::to_string(s.format)
                + " is not a WFDB signal format (8, 16, 24, 32, 61, 80, 160, 212, 310, 311, 508, 516 and 524 are)");
}

// A long recording's array is touched page by page as it is decoded; in large pages that costs a
// fraction of the page faults. Only a hint: nothing changes when the system ignores it.
void AdviseLargePages(void* data, std::size_t bytes)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t(2) << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Two signals in format 212: each group of three bytes is one frame. One loop per choice of held
// signals, without branches inside.
template <bool StoreA, bool StoreC>
void DecodePairs(const unsigned char* b, std::size_t n, int16_t* a, int16_t* c, int64_t& sumA, int64_t& sumC)
{
    int64_t sa = 0, sc = 0;
    for (std::size_t g = 0; g < n; ++g) {
        const unsigned char* p = b + 3 * g;
        const int va = ((p[0] | ((p[1] & 0x0F) << 8)) ^ 0x800) - 0x800; // 12-bit two's complement
        const int vc = ((p[2] | ((p[1] & 0xF0) << 4)) ^ 0x800) - 0x800;
        sa += va;
        sc += vc;
        if constexpr (StoreA)
            a[g] = static_cast<int16_t>(va);
        if constexpr (StoreC)
            c[g] = static_cast<int16_t>(vc);
    }
    sumA += sa;
    sumC += sc;
}

void DecodePairs(const unsigned char* b, std::size_t n, int16_t* a, int16_t* c, int64_t& sumA, int64_t& sumC)
{
    if (a && c)
        DecodePairs<true, true>(b, n, a, c, sumA, sumC);
    else if (a)
        DecodePairs<true, false>(b, n, a, c, sumA, sumC);
    else if (c)
        DecodePairs<false, true>(b, n, a, c, sumA, sumC);
    else
        DecodePairs<false, false>(b, n, a, c, sumA, sumC);
}

// Runs work(0) .. work(threads - 1), each on a thread of its own (the first on this one), and
// rethrows the first failure once all have ended.
void RunOnThreads(unsigned threads, const std::function<void(unsigned)>& work)
{
    std::vector<std::exception_ptr> errors(threads);
    std::vector<std::thread> pool;
    const auto guarded = [&](unsigned t) {
        try {
            work(t);
        } catch (...) {
            errors[t] = std::current_exception();
        }
    };
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(guarded, t);
    guarded(0);
    for (std::thread& th : pool)
        th.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}

// Threads that decode `frames` frames: one per kFramesPerThread, at most four and at most the
// machine's.
unsigned DecodeThreads(int64_t frames)
{
    constexpr int64_t kFramesPerThread = int64_t(1) << 20;
    const int64_t most = std::min<int64_t>(4, std::max(1u, std::thread::hardware_concurrency()));
    return static_cast<unsigned>(std::clamp<int64_t>(frames / kFramesPerThread, 1, most));
}

// Decodes `frames` frames of two signals in format 212 from `offset` of the file on `threads`
// threads, each reading and decoding its own stretch of whole frames into the held arrays (null:
// not held), which take the size `frames`. Adds each signal's sum to sums.
void DecodePairsOnThreads(const InputFile& file, int64_t offset, int64_t frames, std::vector<int16_t>* held[2],
    int64_t sums[2], unsigned threads)
{
    const auto stretch = [&](unsigned t) { return std::pair(frames * t / threads, frames * (t + 1) / threads); };
#if defined(MADV_POPULATE_WRITE)
    // The kernel clears an array's pages when they are first touched: each thread has its own
    // stretch touched first, so that the clearing is shared out, and the arrays then take their
    // size over pages that are there. (Where the system cannot, the arrays' sizing touches them.)
    RunOnThreads(threads, [&](unsigned t) {
        const auto [f0, f1] = stretch(t);
        constexpr std::uintptr_t kPage = 4096;
        for (int k = 0; k < 2; ++k)
            if (held[k]) {
                const auto from = (reinterpret_cast<std::uintptr_t>(held[k]->data() + f0) + kPage - 1) & ~(kPage - 1);
                const auto to = reinterpret_cast<std::uintptr_t>(held[k]->data() + f1) & ~(kPage - 1);
                if (to > from)
                    madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
            }
    });
#endif
    for (int k = 0; k < 2; ++k)
        if (held[k])
            held[k]->resize(static_cast<std::size_t>(frames));
    std::vector<std::array<int64_t, 2>> partial(threads, { 0, 0 });
    RunOnThreads(threads, [&](unsigned t) {
        const auto [f0, f1] = stretch(t);
        std::vector<unsigned char> buffer(std::size_t(3) << 18);
        int16_t* a = held[0] ? held[0]->data() : nullptr;
        int16_t* c = held[1] ? held[1]->data() : nullptr;
        for (int64_t f = f0; f < f1;) {
            const auto n = static_cast<std::size_t>(std::min<int64_t>(f1 - f, static_cast<int64_t>(buffer.size() / 3)));
            if (file.ReadAt(offset + 3 * f, buffer.data(), 3 * n) != 3 * n)
                throw ImportError(file.Name() + ": became shorter while it was read");
            DecodePairs(buffer.data(), n, a ? a + f : nullptr, c ? c + f : nullptr, partial[t][0], partial[t][1]);
            f += static_cast<int64_t>(n);
        }
    });
    for (const auto& p : partial) {
        sums[0] += p[0];
        sums[1] += p[1];
    }
}

// Bytes and samples of one group of a byte-oriented format.
struct Group {
    std::size_t bytes, samples;
};

Group GroupOf(int format)
{
    switch (format) {
    case 8:
    case 80:
        return { 1, 1 };
    case 16:
    case 61:
    case 160:
        return { 2, 1 };
    case 24:
        return { 3, 1 };
    case 32:
        return { 4, 1 };
    case 212:
        return { 3, 2 };
    default: // 310, 311
        return { 4, 3 };
    }
}

int32_t Signed10(unsigned v)
{
    return static_cast<int32_t>((v & 0x3FF) ^ 0x200) - 0x200;
}

// Decodes `groups` whole groups of a byte-oriented format into samples in file order. Format 8
// gives its first differences; the caller adds them up per signal.
void DecodeGroups(int format, const unsigned char* b, std::size_t groups, int32_t* out)
{
    switch (format) {
    case 8:
        for (std::size_t i = 0; i < groups; ++i)
            out[i] = static_cast<int8_t>(b[i]);
        break;
    case 80:
        for (std::size_t i = 0; i < groups; ++i)
            out[i] = static_cast<int32_t>(b[i]) - 128;
        break;
    case 16:
        for (std::size_t i = 0; i < groups; ++i, b += 2)
            out[i] = static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
        break;
    case 61:
        for (std::size_t i = 0; i < groups; ++i, b += 2)
            out[i] = static_cast<int16_t>(static_cast<uint16_t>((b[0] << 8) | b[1]));
        break;
    case 160:
        for (std::size_t i = 0; i < groups; ++i, b += 2)
            out[i] = static_cast<int32_t>(b[0] | (b[1] << 8)) - 32768;
        break;
    case 24:
        for (std::size_t i = 0; i < groups; ++i, b += 3)
            out[i] = static_cast<int32_t>(((b[0] | (b[1] << 8) | (b[2] << 16)) ^ 0x800000)) - 0x800000;
        break;
    case 32:
        for (std::size_t i = 0; i < groups; ++i, b += 4)
            out[i] = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8)
                | (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
        break;
    case 212:
        for (std::size_t i = 0; i < groups; ++i, b += 3) {
            out[2 * i] = ((b[0] | ((b[1] & 0x0F) << 8)) ^ 0x800) - 0x800;
            out[2 * i + 1] = ((b[2] | ((b[1] & 0xF0) << 4)) ^ 0x800) - 0x800;
        }
        break;
    case 310:
        // Two little-endian words: bits 1-10 of each are the first two samples, their top five bits
        // (low half from the first word) the third.
        for (std::size_t i = 0; i < groups; ++i, b += 4) {
            const unsigned w0 = b[0] | (b[1] << 8), w1 = b[2] | (b[3] << 8);
            out[3 * i] = Signed10(w0 >> 1);
            out[3 * i + 1] = Signed10(w1 >> 1);
            out[3 * i + 2] = Signed10((w0 >> 11) | ((w1 >> 11) << 5));
        }
        break;
    case 311:
        // One little-endian 32-bit word: bits 0-9, 10-19 and 20-29.
        for (std::size_t i = 0; i < groups; ++i, b += 4) {
            const uint32_t w = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8)
                | (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
            out[3 * i] = Signed10(w);
            out[3 * i + 1] = Signed10(w >> 10);
            out[3 * i + 2] = Signed10(w >> 20);
        }
        break;
    default:
        break;
    }
}

// The samples a trailing part-group of `bytes` bytes holds: the packed formats write the last
// samples of a file in fewer bytes.
std::size_t TrailingSamples(int format, std::size_t bytes)
{
    if ((format == 212 || format == 310) && bytes == 2)
        return 1;
    return 0;
}

// Reads the samples of one signal file in a byte-oriented format into one array per member
// signal, in file order: frame after frame, each frame holding every member's samples per frame.
void ReadByteFormat(std::istream& data, const std::string& displayName, int format, const std::vector<int>& owners,
    std::vector<std::vector<int32_t>>& raw, int64_t limitFrames)
{
    const Group group = GroupOf(format);
    const std::size_t perFrame = owners.size();
    std::vector<unsigned char> buffer(std::size_t(1) << 20);
    std::vector<int32_t> decoded;
    std::size_t carry = 0, position = 0; // position: index in the frame of the next sample
    int64_t frames = 0;
    const auto deliver = [&](const int32_t* v, std::size_t n) {
        for (std::size_t i = 0; i < n && frames < limitFrames; ++i) {
            raw[static_cast<std::size_t>(owners[position])].push_back(v[i]);
            if (++position == perFrame) {
                position = 0;
                ++frames;
            }
        }
    };
    while (frames < limitFrames) {
        data.read(reinterpret_cast<char*>(buffer.data() + carry), static_cast<std::streamsize>(buffer.size() - carry));
        const std::size_t got = static_cast<std::size_t>(data.gcount());
        const std::size_t have = carry + got;
        const std::size_t groups = have / group.bytes;
        decoded.resize(groups * group.samples);
        DecodeGroups(format, buffer.data(), groups, decoded.data());
        deliver(decoded.data(), decoded.size());
        carry = have - groups * group.bytes;
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(groups * group.bytes),
            buffer.begin() + static_cast<std::ptrdiff_t>(have), buffer.begin());
        if (got == 0 || !data)
            break;
    }
    if (frames < limitFrames && carry > 0) {
        const std::size_t n = TrailingSamples(format, carry);
        if (n > 0) {
            // The part-group is the head of a whole one: decode it padded with zeros.
            std::array<unsigned char, 4> padded {};
            std::copy(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(carry), padded.begin());
            std::array<int32_t, 3> v {};
            DecodeGroups(format, padded.data(), 1, v.data());
            deliver(v.data(), n);
        } else if (limitFrames == std::numeric_limits<int64_t>::max())
            Fail(displayName, "ends inside a sample (truncated?)");
    }
    if (limitFrames == std::numeric_limits<int64_t>::max() && position != 0)
        Fail(displayName, "ends inside a frame (truncated?)");
}

// Reads a FLAC signal file (formats 508, 516, 524): one FLAC channel per member signal, each
// holding that signal's samples in order. Decoded a FLAC frame at a time.
void ReadFlac(std::istream& data, const std::string& displayName, int format, std::size_t members,
    std::vector<std::vector<int32_t>>& raw)
{
    struct Context {
        std::istream* data;
        std::vector<std::vector<int32_t>>* raw;
        std::size_t members;
        unsigned bits;
        std::string error;
    } context { &data, &raw, members, static_cast<unsigned>(format - 500), {} };
    std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(
        FLAC__stream_decoder_new(), FLAC__stream_decoder_delete);
    if (!decoder)
        throw std::bad_alloc();
    const auto read = [](const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                          void* user) -> FLAC__StreamDecoderReadStatus {
        auto* c = static_cast<Context*>(user);
        if (*bytes == 0)
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        c->data->read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(*bytes));
        *bytes = static_cast<size_t>(c->data->gcount());
        return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    };
    const auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const buffer[],
                           void* user) -> FLAC__StreamDecoderWriteStatus {
        auto* c = static_cast<Context*>(user);
        if (frame->header.channels != c->members) {
            c->error = "holds " + std::to_string(frame->header.channels) + " FLAC channels for "
                + std::to_string(c->members) + " signals";
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        if (frame->header.bits_per_sample != c->bits) {
            c->error = "holds " + std::to_string(frame->header.bits_per_sample) + "-bit FLAC samples where its format ("
                + std::to_string(500 + c->bits) + ") has " + std::to_string(c->bits);
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        for (std::size_t k = 0; k < c->members; ++k)
            (*c->raw)[k].insert((*c->raw)[k].end(), buffer[k], buffer[k] + frame->header.blocksize);
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    };
    const auto eof = [](const FLAC__StreamDecoder*, void* user) -> FLAC__bool {
        auto* c = static_cast<Context*>(user);
        return c->data->eof() || !*c->data;
    };
    const auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* user) {
        auto* c = static_cast<Context*>(user);
        if (c->error.empty())
            c->error = std::string("is damaged (") + FLAC__StreamDecoderErrorStatusString[status] + ")";
    };
    if (FLAC__stream_decoder_init_stream(
            decoder.get(), read, nullptr, nullptr, nullptr, eof, write, nullptr, error, &context)
        != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        Fail(displayName, "the FLAC decoder cannot be started");
    const bool ok = FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    if (!context.error.empty())
        Fail(displayName, context.error);
    if (!ok || FLAC__stream_decoder_get_state(decoder.get()) != FLAC__STREAM_DECODER_END_OF_STREAM) {
        if (data.bad())
            Fail(displayName, "cannot be read");
        Fail(displayName, "is not a complete FLAC stream");
    }
}

// Decodes a signal file in any format, with samples per frame and skew, into the record.
void DecodeAnyFormat(const WfdbHeader& header, const std::vector<std::size_t>& members, std::istream& data,
    const std::string& displayName, WfdbRecord& record, const std::vector<bool>& hold)
{
    const WfdbSignalInfo& first = header.signals[members[0]];
    std::vector<int> owners; // member of each sample position in a frame
    int maxSkew = 0;
    for (std::size_t k = 0; k < members.size(); ++k) {
        const WfdbSignalInfo& s = header.signals[members[k]];
        owners.insert(owners.end(), static_cast<std::size_t>(s.samplesPerFrame), static_cast<int>(k));
        maxSkew = std::max(maxSkew, s.skew);
    }
    const int64_t limit = header.sampleCount > 0 ? header.sampleCount + maxSkew : std::numeric_limits<int64_t>::max();
    std::vector<std::vector<int32_t>> raw(members.size());
    if (IsFlac(first.format))
        ReadFlac(data, displayName, first.format, members.size(), raw);
    else
        ReadByteFormat(data, displayName, first.format, owners, raw, limit);
    if (data.bad())
        Fail(displayName, "cannot be read");
    // Whole frames in the file.
    int64_t fileFrames = std::numeric_limits<int64_t>::max();
    for (std::size_t k = 0; k < members.size(); ++k)
        fileFrames = std::min<int64_t>(
            fileFrames, static_cast<int64_t>(raw[k].size()) / header.signals[members[k]].samplesPerFrame);
    const int64_t wanted = header.sampleCount > 0 ? header.sampleCount : fileFrames;
    if (fileFrames < wanted)
        Fail(displayName,
            "truncated: holds " + std::to_string(fileFrames) + " of " + std::to_string(wanted) + " samples per signal");
    for (std::size_t k = 0; k < members.size(); ++k) {
        const std::size_t m = members[k];
        const WfdbSignalInfo& s = header.signals[m];
        std::vector<int32_t>& values = raw[k];
        if (s.format == 8) {
            // First differences from the header's initial value; a level that leaves the range
            // of a sample is damage, not a value to wrap.
            int64_t level = s.initialValue;
            for (int32_t& v : values) {
                level += v;
                if (level < std::numeric_limits<int32_t>::min() || level > std::numeric_limits<int32_t>::max())
                    Fail(displayName,
                        "signal " + std::to_string(m + 1) + " (format 8) runs out of range from its initial value "
                            + std::to_string(s.initialValue));
                v = static_cast<int32_t>(level);
            }
        }
        const auto spf = static_cast<std::size_t>(s.samplesPerFrame);
        const std::size_t count = static_cast<std::size_t>(wanted) * spf;
        // The checksum covers the signal's samples as the file stores them.
        int64_t sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            sum += values[i];
        record.counts[m] = static_cast<int64_t>(count);
        if (s.hasChecksum && static_cast<int16_t>(sum & 0xFFFF) != static_cast<int16_t>(s.checksum & 0xFFFF))
            record.warnings.push_back(displayName + ": checksum mismatch for signal " + std::to_string(m + 1) + " ('"
                + s.description + "'): the samples may be damaged");
        record.samples[m].clear();
        record.wide[m].clear();
        if (!hold.empty() && !(m < hold.size() && hold[m]))
            continue;
        // A skewed signal's samples lie later in the file; past the file's end they are missing.
        const std::size_t shift = static_cast<std::size_t>(s.skew) * spf;
        const std::size_t present = values.size() > shift ? std::min(count, values.size() - shift) : 0;
        bool narrow = present == count;
        for (std::size_t i = 0; i < present && narrow; ++i)
            narrow = values[i + shift] >= INT16_MIN && values[i + shift] <= INT16_MAX;
        if (narrow) {
            record.samples[m].resize(count);
            for (std::size_t i = 0; i < count; ++i)
                record.samples[m][i] = static_cast<int16_t>(values[i + shift]);
        } else {
            record.wide[m].assign(count, std::numeric_limits<float>::quiet_NaN());
            for (std::size_t i = 0; i < present; ++i)
                record.wide[m][i] = static_cast<float>(values[i + shift]);
        }
        std::vector<int32_t>().swap(values);
    }
}

} // namespace

int WfdbHeader::TicksPerFrame() const
{
    int64_t ticks = 1;
    for (const WfdbSignalInfo& s : signals) {
        ticks = std::lcm(ticks, static_cast<int64_t>(std::max(1, s.samplesPerFrame)));
        if (ticks > 1024)
            throw ImportError(
                recordName + ": the signals' samples per frame have no common multiple below 1025 ticks per frame");
    }
    return static_cast<int>(ticks);
}

WfdbHeader ParseHeader(std::string_view text, const std::string& fileName)
{
    WfdbHeader h;
    std::size_t signalCount = 0, segmentCount = 0;
    bool haveRecordLine = false;
    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t eol = text.find('\n', pos);
        std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() + 1 : eol + 1;
        ++lineNumber;
        std::size_t hash = line.find('#');
        if (hash != std::string_view::npos)
            line = line.substr(0, hash);
        auto f = Fields(line);
        if (f.empty())
            continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (!haveRecordLine) {
            haveRecordLine = true;
            std::string_view name = f[0];
            const std::size_t slash = name.find('/');
            if (slash != std::string_view::npos) {
                const int n = Number<int>(name.substr(slash + 1), fileName, lineNumber, "number of segments");
                if (n < 1 || n > 1 << 20)
                    Fail(fileName, where + "implausible number of segments " + std::to_string(n));
                segmentCount = static_cast<std::size_t>(n);
                name = name.substr(0, slash);
            }
            h.recordName = std::string(name);
            if (f.size() < 2)
                Fail(fileName, where + "the record line lacks the number of signals");
            const int n = Number<int>(f[1], fileName, lineNumber, "number of signals");
            if (n < 0 || n > 4096)
                Fail(fileName, where + "implausible number of signals " + std::to_string(n));
            signalCount = static_cast<std::size_t>(n);
            if (f.size() >= 3) {
                // "360", "360/1" (counter frequency), "360/1(0)" (and the base counter value).
                std::string_view fs = f[2];
                const std::size_t cut = fs.find_first_of("/(");
                h.frequency = Number<double>(fs.substr(0, cut), fileName, lineNumber, "sampling frequency");
                if (std::isnan(h.frequency))
                    Fail(fileName, where + "the sampling frequency '" + std::string(f[2]) + "' is not a number");
                if (!(h.frequency > 0))
                    Fail(fileName, where + "the sampling frequency must be positive");
                if (h.frequency > 1e9)
                    Fail(fileName,
                        where + "the sampling frequency '" + std::string(f[2]) + "' is too large (at most 1e9 Hz)");
                if (cut != std::string_view::npos && fs[cut] == '/') {
                    std::string_view counter = fs.substr(cut + 1);
                    counter = counter.substr(0, counter.find('('));
                    h.counterFrequency = Number<double>(counter, fileName, lineNumber, "counter frequency");
                    if (!(h.counterFrequency >= 0) || h.counterFrequency > 1e12)
                        Fail(fileName, where + "implausible counter frequency '" + std::string(counter) + "'");
                }
            }
            if (f.size() >= 4) {
                h.sampleCount = Number<int64_t>(f[3], fileName, lineNumber, "number of samples");
                if (h.sampleCount < 0 || h.sampleCount > std::numeric_limits<int32_t>::max())
                    Fail(fileName, where + "implausible number of samples");
            }
            if (f.size() >= 5)
                h.baseTime = std::string(f[4]);
            if (f.size() >= 6)
                h.baseDate = std::string(f[5]);
            continue;
        }
        if (h.segments.size() < segmentCount) {
            // "name length": a segment of a multi-segment record ("~": a gap).
            if (f.size() < 2)
                Fail(fileName, where + "a segment line needs a record name and its number of samples");
            WfdbSegment segment;
            segment.name = std::string(f[0]);
            if (segment.name.find('/') != std::string::npos || segment.name.find('\\') != std::string::npos
                || segment.name == "..")
                Fail(fileName, where + "segment '" + segment.name + "' must lie beside the header");
            segment.length = Number<int64_t>(f[1], fileName, lineNumber, "segment length");
            if (segment.length < 0 || segment.length > std::numeric_limits<int32_t>::max())
                Fail(fileName, where + "implausible segment length");
            h.segments.push_back(std::move(segment));
            continue;
        }
        if (segmentCount > 0 || h.signals.size() == signalCount)
            break; // info lines after the signal lines are comments in practice
        if (f.size() < 2)
            Fail(fileName, where + "a signal line needs at least a file name and a format");
        WfdbSignalInfo s;
        s.fileName = std::string(f[0]);
        if (s.fileName.find('/') != std::string::npos || s.fileName.find('\\') != std::string::npos
            || s.fileName == ".." || s.fileName == "-")
            Fail(fileName, where + "signal file '" + s.fileName + "' must lie beside the header");
        ParseFormat(f[1], s, fileName, lineNumber);
        bool hasBaseline = false;
        if (f.size() >= 3)
            ParseGain(f[2], s, hasBaseline, fileName, lineNumber);
        if (f.size() >= 4)
            s.adcResolution = Number<int>(f[3], fileName, lineNumber, "ADC resolution");
        if (f.size() >= 5)
            s.adcZero = Number<int>(f[4], fileName, lineNumber, "ADC zero");
        if (!hasBaseline)
            s.baseline = s.adcZero;
        if (f.size() >= 6)
            s.initialValue = Number<int>(f[5], fileName, lineNumber, "initial value");
        if (f.size() >= 7) {
            s.checksum = Number<int>(f[6], fileName, lineNumber, "checksum");
            s.hasChecksum = true;
        }
        // f[7] is the block size (only meaningful for devices); the rest of the line, spaces and
        // all, is the description.
        if (f.size() >= 9) {
            std::string_view rest = line.substr(static_cast<std::size_t>(f[8].data() - line.data()));
            while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
                rest.remove_suffix(1);
            s.description = std::string(rest);
        }
        h.signals.push_back(std::move(s));
    }
    if (!haveRecordLine)
        Fail(fileName, "no record line");
    if (h.segments.size() != segmentCount)
        Fail(fileName,
            "the header announces " + std::to_string(segmentCount) + " segments but lists "
                + std::to_string(h.segments.size()));
    if (segmentCount == 0 && h.signals.size() != signalCount)
        Fail(fileName,
            "the header announces " + std::to_string(signalCount) + " signals but describes "
                + std::to_string(h.signals.size()));
    for (std::size_t i = 1; i < h.signals.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (h.signals[i].fileName == h.signals[j].fileName && h.signals[i].fileName != "~"
                && (h.signals[i].format != h.signals[j].format || h.signals[i].byteOffset != h.signals[j].byteOffset))
                Fail(fileName, "signals in file '" + h.signals[i].fileName + "' differ in format or byte offset");
    // A multi-segment record's signals are those of its segments; a record of several segments
    // announces how many signals they have, which its layout (or first segment) describes.
    if (segmentCount > 0)
        h.signals.clear();
    return h;
}

void DecodeSignalFile(const WfdbHeader& header, const std::string& signalFile, std::istream& data,
    const std::string& displayName, WfdbRecord& record, int64_t dataBytes, const std::vector<bool>& hold,
    const InputFile* file)
{
    std::vector<std::size_t> members;
    for (std::size_t i = 0; i < header.signals.size(); ++i)
        if (header.signals[i].fileName == signalFile)
            members.push_back(i);
    if (members.empty())
        return;
    record.samples.resize(header.signals.size());
    record.wide.resize(header.signals.size());
    record.counts.resize(header.signals.size(), 0);
    record.unavailable.resize(header.signals.size());
    const WfdbSignalInfo& first = header.signals[members[0]];
    bool common = true; // 212 or 16, one sample per frame, no skew: the fast decoders below
    for (const std::size_t m : members) {
        const WfdbSignalInfo& s = header.signals[m];
        common = common && (s.format == 212 || s.format == 16) && s.samplesPerFrame == 1 && s.skew == 0;
    }
    if (!common) {
        if (first.byteOffset > 0) {
            data.ignore(first.byteOffset);
            if (data.gcount() != first.byteOffset)
                Fail(displayName, "shorter than its byte offset of " + std::to_string(first.byteOffset));
        }
        DecodeAnyFormat(header, members, data, displayName, record, hold);
        return;
    }
    const std::size_t perFrame = members.size();
    if (first.byteOffset > 0) {
        data.ignore(first.byteOffset);
        if (data.gcount() != first.byteOffset)
            Fail(displayName, "shorter than its byte offset of " + std::to_string(first.byteOffset));
    }
    const int64_t wanted = header.sampleCount > 0 ? header.sampleCount * static_cast<int64_t>(perFrame)
                                                  : std::numeric_limits<int64_t>::max();
    // The header's count is not trusted for memory: the arrays are sized for what the file can
    // hold when its size is known; otherwise they start small and grow as data arrive.
    int64_t reserve = header.sampleCount;
    if (dataBytes >= 0) {
        const int64_t bytes = std::max<int64_t>(0, dataBytes - first.byteOffset);
        const int64_t available = (first.format == 212 ? bytes * 2 / 3 : bytes / 2) / static_cast<int64_t>(perFrame);
        if (header.sampleCount > available)
            Fail(displayName,
                "truncated: holds " + std::to_string(available) + " of " + std::to_string(header.sampleCount)
                    + " samples per signal");
        reserve = header.sampleCount > 0 ? header.sampleCount : available;
    } else
        reserve = std::min<int64_t>(reserve, 1 << 16);
    std::vector<std::vector<int16_t>*> held(perFrame, nullptr);
    for (std::size_t k = 0; k < perFrame; ++k) {
        const std::size_t m = members[k];
        record.samples[m].clear();
        if (hold.empty() || (m < hold.size() && hold[m])) {
            record.samples[m].reserve(static_cast<std::size_t>(reserve));
            AdviseLargePages(record.samples[m].data(), record.samples[m].capacity() * sizeof(int16_t));
            held[k] = &record.samples[m];
        }
    }
    // Each read buffer is decoded into interleaved frames, then handed out to the held signals;
    // every signal's sum is taken for its checksum, held or not.
    std::vector<int64_t> sums(perFrame, 0);
    std::vector<int16_t> frames;
    int64_t decoded = 0;
    std::size_t phase = 0; // signal of the next decoded sample
    auto deliver = [&](std::size_t count) {
        for (std::size_t k = 0; k < perFrame; ++k) {
            // Samples of signal k: positions k - phase (mod perFrame), every perFrame-th.
            std::size_t i = (k + perFrame - phase) % perFrame;
            int64_t sum = 0;
            if (held[k]) {
                std::vector<int16_t>& out = *held[k];
                for (; i < count; i += perFrame) {
                    out.push_back(frames[i]);
                    sum += frames[i];
                }
            } else {
                for (; i < count; i += perFrame)
                    sum += frames[i];
            }
            sums[k] += sum;
        }
        phase = (phase + count) % perFrame;
        decoded += static_cast<int64_t>(count);
    };
    std::vector<char> buffer;
    std::size_t carry = 0; // bytes of an incomplete group kept at the buffer start
    const std::size_t group = first.format == 212 ? 3 : 2;
    // A long file of two signals in format 212, whose size says it holds them all, is decoded on
    // several threads straight from the file.
    if (file && group == 3 && perFrame == 2 && header.sampleCount > 0 && dataBytes >= 0
        && DecodeThreads(header.sampleCount) > 1) {
        std::vector<int16_t>* pair[2] = { held[0], held[1] };
        DecodePairsOnThreads(
            *file, first.byteOffset, header.sampleCount, pair, sums.data(), DecodeThreads(header.sampleCount));
        decoded = wanted;
    } else
        buffer.resize(1 << 20);
    while (decoded < wanted) {
        data.read(buffer.data() + carry, static_cast<std::streamsize>(buffer.size() - carry));
        const std::size_t have = carry + static_cast<std::size_t>(data.gcount());
        const std::size_t whole = have / group * group;
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.data());
        const std::size_t samplesIn = group == 3 ? whole / 3 * 2 : whole / 2;
        const auto count
            = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(samplesIn), wanted - decoded));
        if (group == 3 && perFrame == 2 && phase == 0 && count == samplesIn) {
            // Two signals in 212, the common case: each group of three bytes is one frame.
            const std::size_t n = count / 2;
            int16_t* out[2] = { nullptr, nullptr };
            for (std::size_t k = 0; k < 2; ++k)
                if (held[k]) {
                    held[k]->resize(held[k]->size() + n);
                    out[k] = held[k]->data() + held[k]->size() - n;
                }
            DecodePairs(b, n, out[0], out[1], sums[0], sums[1]);
            decoded += static_cast<int64_t>(count);
        } else {
            frames.resize(samplesIn);
            int16_t* f = frames.data();
            if (group == 3) {
                for (std::size_t i = 0, j = 0; i < whole; i += 3, j += 2) {
                    const int a = b[i] | ((b[i + 1] & 0x0F) << 8);
                    const int c = b[i + 2] | ((b[i + 1] & 0xF0) << 4);
                    f[j] = static_cast<int16_t>(a >= 2048 ? a - 4096 : a);
                    f[j + 1] = static_cast<int16_t>(c >= 2048 ? c - 4096 : c);
                }
            } else {
                for (std::size_t i = 0, j = 0; i < whole; i += 2, ++j)
                    f[j] = static_cast<int16_t>(static_cast<uint16_t>(b[i] | (b[i + 1] << 8)));
            }
            deliver(count);
        }
        carry = have - whole;
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(whole),
            buffer.begin() + static_cast<std::ptrdiff_t>(have), buffer.begin());
        if (data.gcount() == 0 || !data)
            break;
    }
    // A 212 file of an odd number of samples ends with two bytes holding the last one.
    if (decoded < wanted && first.format == 212 && carry == 2) {
        const auto* b = reinterpret_cast<const unsigned char*>(buffer.data());
        const int v = b[0] | ((b[1] & 0x0F) << 8);
        frames.assign(1, static_cast<int16_t>(v >= 2048 ? v - 4096 : v));
        deliver(1);
        carry = 0;
    }
    if (header.sampleCount == 0 && carry != 0)
        Fail(displayName, "ends inside a sample (truncated?)");
    // Only whole frames count; a trailing partial frame is damage.
    if (header.sampleCount > 0 && decoded < wanted)
        Fail(displayName,
            "truncated: holds " + std::to_string(decoded / static_cast<int64_t>(perFrame)) + " of "
                + std::to_string(header.sampleCount) + " samples per signal");
    if (header.sampleCount == 0 && decoded % static_cast<int64_t>(perFrame) != 0)
        Fail(displayName, "ends inside a frame (truncated?)");
    for (std::size_t k = 0; k < perFrame; ++k) {
        const std::size_t m = members[k];
        record.counts[m] = decoded / static_cast<int64_t>(perFrame);
        const WfdbSignalInfo& s = header.signals[m];
        if (!s.hasChecksum)
            continue;
        if (static_cast<int16_t>(sums[k] & 0xFFFF) != static_cast<int16_t>(s.checksum & 0xFFFF))
            // The WFDB tools warn and go on, so an edited record can still be analysed.
            record.warnings.push_back(displayName + ": checksum mismatch for signal " + std::to_string(m + 1) + " ('"
                + s.description + "'): the samples may be damaged");
    }
}

bool CanReadStretches(const WfdbHeader& header, std::size_t signal)
{
    if (!header.segments.empty() || signal >= header.signals.size())
        return false;
    const std::string& file = header.signals[signal].fileName;
    const int format = header.signals[signal].format;
    for (const WfdbSignalInfo& s : header.signals)
        if (s.fileName == file
            && (s.format != format || (s.format != 212 && s.format != 16) || s.samplesPerFrame != 1 || s.skew != 0
                || s.byteOffset != header.signals[signal].byteOffset))
            return false;
    return true;
}

void ReadStretch(
    const WfdbHeader& header, std::size_t signal, const InputFile& file, int64_t first, std::span<int16_t> out)
{
    if (out.empty())
        return;
    const WfdbSignalInfo& info = header.signals.at(signal);
    // The signal's place among the signals of its file: frames interleave them in header order.
    int64_t perFrame = 0, member = 0;
    for (std::size_t i = 0; i < header.signals.size(); ++i)
        if (header.signals[i].fileName == info.fileName) {
            if (i == signal)
                member = perFrame;
            ++perFrame;
        }
    const auto n = static_cast<int64_t>(out.size());
    // Samples [from, to) of the file in file order hold the frames asked for.
    const int64_t from = first * perFrame, to = (first + n) * perFrame;
    thread_local std::vector<unsigned char> bytes;
    const auto shortOf = [&](int64_t held) {
        return ImportError(file.Name() + ": truncated or changed: holds " + std::to_string(held)
            + " samples per signal where the record's header gives at least " + std::to_string(first + n));
    };
    if (info.format == 16) {
        const auto size = static_cast<std::size_t>(2 * (to - from));
        bytes.resize(size);
        const std::size_t got = file.ReadAt(info.byteOffset + 2 * from, bytes.data(), size);
        if (got != size)
            throw shortOf((2 * from + static_cast<int64_t>(got)) / 2 / perFrame);
        const unsigned char* b = bytes.data() + 2 * member;
        for (int64_t i = 0; i < n; ++i, b += 2 * perFrame)
            out[static_cast<std::size_t>(i)] = static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
        return;
    }
    // Format 212: each group of three bytes holds two samples; the stretch starts in the group
    // that holds sample `from`. A file of an odd number of samples ends with two bytes holding
    // the last one.
    const int64_t group0 = from / 2, group1 = (to + 1) / 2;
    const auto size = static_cast<std::size_t>(3 * (group1 - group0));
    bytes.resize(size + 1);
    std::size_t got = file.ReadAt(info.byteOffset + 3 * group0, bytes.data(), size);
    if (got != size && !(to % 2 == 1 && got == size - 1))
        throw shortOf((group0 * 2 + static_cast<int64_t>(got) / 3 * 2) / perFrame);
    bytes[size - 1] = got == size ? bytes[size - 1] : 0;
    const unsigned char* b = bytes.data();
    if (perFrame == 2) {
        int64_t sums[2] = { 0, 0 };
        int16_t* a = member == 0 ? out.data() : nullptr;
        int16_t* c = member == 1 ? out.data() : nullptr;
        DecodePairs(b, static_cast<std::size_t>(n), a, c, sums[0], sums[1]);
        return;
    }
    const auto sample = [b](int64_t i) { // the i-th sample of the stretch's groups
        const unsigned char* p = b + 3 * (i / 2);
        const int v = i % 2 == 0 ? (p[0] | ((p[1] & 0x0F) << 8)) : (p[2] | ((p[1] & 0xF0) << 4));
        return static_cast<int16_t>((v ^ 0x800) - 0x800);
    };
    const int64_t skip = from - 2 * group0 + member;
    for (int64_t i = 0; i < n; ++i)
        out[static_cast<std::size_t>(i)] = sample(skip + i * perFrame);
}

void DecodeSignalFiles(
    WfdbRecord& record, const std::string& headerName, const std::function<void(const std::string&)>& decode)
{
    const std::size_t n = record.header.signals.size();
    record.samples.resize(n);
    record.wide.resize(n);
    record.counts.resize(n, 0);
    record.unavailable.resize(n);
    std::vector<std::string> done;
    for (std::size_t i = 0; i < n; ++i) {
        const WfdbSignalInfo& s = record.header.signals[i];
        if (s.fileName == "~" || s.format == 0) {
            record.unavailable[i] = headerName + ": signal " + std::to_string(i + 1) + " ('" + s.description
                + "') has no samples in this record";
            continue;
        }
        if (std::find(done.begin(), done.end(), s.fileName) != done.end())
            continue;
        done.push_back(s.fileName);
        decode(s.fileName);
    }
    // Signals in different files must agree on their length in frames.
    int64_t frames = -1;
    for (std::size_t i = 0; i < n; ++i) {
        if (!record.unavailable[i].empty())
            continue;
        const int64_t f = record.counts[i] / record.header.signals[i].samplesPerFrame;
        if (frames >= 0 && f != frames)
            Fail(headerName, "its signal files hold different numbers of samples");
        frames = f;
    }
    if (frames < 0) {
        // Nothing can be read: a record of signals only as a header (annotations) or no file at all.
        for (const std::string& why : record.unavailable)
            if (!why.empty())
                throw ImportError(why);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!record.unavailable[i].empty())
            record.counts[i] = frames * record.header.signals[i].samplesPerFrame;
}

namespace {

WfdbHeader ReadHeader(const std::filesystem::path& headerPath)
{
    InputFile header(headerPath);
    return ParseHeader(header.ReadAll(kMaxHeaderBytes, "a record header"), headerPath.string());
}

// The signal of `segment` that stands for `signal` of the whole record: the one of the same name,
// the k-th of that name for the k-th (a record may have two "ECG" signals); -1 when it has none.
int MatchSignal(const std::vector<WfdbSignalInfo>& all, std::size_t signal, const std::vector<WfdbSignalInfo>& segment)
{
    const std::string& name = all[signal].description;
    int occurrence = 0;
    for (std::size_t i = 0; i < signal; ++i)
        occurrence += all[i].description == name;
    for (std::size_t i = 0; i < segment.size(); ++i)
        if (segment[i].description == name && occurrence-- == 0)
            return static_cast<int>(i);
    return -1;
}

// A multi-segment record: the segments one after another, each signal matched by name; a gap
// segment ("~") and a segment without a signal are missing data for it.
WfdbRecord ReadSegments(const std::filesystem::path& headerPath, WfdbHeader master, const std::vector<bool>& hold)
{
    const std::string headerName = headerPath.string();
    const std::filesystem::path folder = headerPath.parent_path();
    const auto segmentHeader = [&](const std::string& name) {
        try {
            WfdbHeader h = ReadHeader(folder / (name + ".hea"));
            if (!h.segments.empty())
                Fail((folder / (name + ".hea")).string(), "a segment cannot itself have segments");
            return h;
        } catch (const ImportError& e) {
            throw ImportError(std::string(e.what()) + " (a segment of " + headerName + ")");
        }
    };
    WfdbRecord record;
    std::size_t first = 0;
    // Variable layout: the first segment, of length 0, names the signals; otherwise the first
    // segment with data does.
    if (master.segments.front().length == 0 && master.segments.front().name != "~") {
        master.signals = segmentHeader(master.segments.front().name).signals;
        record.files.push_back(master.segments.front().name + ".hea");
        first = 1;
    } else {
        for (const WfdbSegment& segment : master.segments)
            if (segment.name != "~") {
                master.signals = segmentHeader(segment.name).signals;
                break;
            }
    }
    record.header = master;
    record.header.sampleCount = 0;
    for (std::size_t i = first; i < master.segments.size(); ++i)
        record.header.sampleCount += master.segments[i].length;
    const std::size_t n = master.signals.size();
    const auto held = [&](std::size_t j) { return hold.empty() || (j < hold.size() && hold[j]); };
    constexpr int32_t kMissing = std::numeric_limits<int32_t>::min();
    std::vector<std::vector<int32_t>> values(n);
    std::vector<bool> present(n, false);
    for (std::size_t j = 0; j < n; ++j)
        if (held(j))
            values[j].reserve(static_cast<std::size_t>(record.header.sampleCount * master.signals[j].samplesPerFrame));
    for (std::size_t i = first; i < master.segments.size(); ++i) {
        const WfdbSegment& segment = master.segments[i];
        std::vector<int> match(n, -1);
        WfdbRecord part;
        if (segment.name != "~") {
            const std::filesystem::path path = folder / (segment.name + ".hea");
            const WfdbHeader h = segmentHeader(segment.name);
            std::vector<bool> holdPart(h.signals.size(), false);
            for (std::size_t j = 0; j < n; ++j) {
                match[j] = MatchSignal(master.signals, j, h.signals);
                if (match[j] >= 0 && held(j))
                    holdPart[static_cast<std::size_t>(match[j])] = true;
                if (match[j] >= 0
                    && h.signals[static_cast<std::size_t>(match[j])].samplesPerFrame
                        != master.signals[j].samplesPerFrame)
                    Fail(path.string(),
                        "signal '" + master.signals[j].description
                            + "' has a different number of samples per frame than in the rest of " + headerName);
            }
            try {
                part = ReadRecord(path, holdPart);
            } catch (const ImportError& e) {
                throw ImportError(std::string(e.what()) + " (a segment of " + headerName + ")");
            }
            if (std::abs(part.header.frequency - master.frequency) > 1e-9 * master.frequency)
                Fail(path.string(), "its sampling frequency differs from that of " + headerName);
            if (part.Length() != segment.length)
                Fail(path.string(),
                    "holds " + std::to_string(part.Length()) + " samples per signal where " + headerName + " says "
                        + std::to_string(segment.length));
            // A segment's signal file that is missing is an error: the record would be read with a
            // hole that the files do not have.
            for (std::size_t k = 0; k < h.signals.size(); ++k)
                if (!part.unavailable[k].empty() && h.signals[k].fileName != "~" && h.signals[k].format != 0)
                    throw ImportError(part.unavailable[k] + " (a segment of " + headerName + ")");
            record.files.push_back(segment.name + ".hea");
            for (const std::string& file : part.files)
                if (std::find(record.files.begin(), record.files.end(), file) == record.files.end())
                    record.files.push_back(file);
            record.warnings.insert(record.warnings.end(), part.warnings.begin(), part.warnings.end());
        }
        for (std::size_t j = 0; j < n; ++j) {
            const int m = match[j];
            const bool has = m >= 0 && part.unavailable[static_cast<std::size_t>(m)].empty();
            present[j] = present[j] || has;
            if (!held(j))
                continue;
            const auto count = static_cast<std::size_t>(segment.length * master.signals[j].samplesPerFrame);
            std::vector<int32_t>& out = values[j];
            if (!has)
                out.insert(out.end(), count, kMissing);
            else if (part.IsWide(static_cast<std::size_t>(m)))
                for (const float v : part.wide[static_cast<std::size_t>(m)])
                    out.push_back(std::isnan(v) ? kMissing : static_cast<int32_t>(v));
            else
                out.insert(out.end(), part.samples[static_cast<std::size_t>(m)].begin(),
                    part.samples[static_cast<std::size_t>(m)].end());
        }
    }
    record.samples.resize(n);
    record.wide.resize(n);
    record.counts.resize(n);
    record.unavailable.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        record.counts[j] = record.header.sampleCount * master.signals[j].samplesPerFrame;
        if (!present[j])
            record.unavailable[j] = headerName + ": signal " + std::to_string(j + 1) + " ('"
                + master.signals[j].description + "') has no samples in any segment";
        if (!held(j) || !present[j])
            continue;
        const std::vector<int32_t>& v = values[j];
        const bool narrow = std::all_of(
            v.begin(), v.end(), [](int32_t x) { return x != kMissing && x >= INT16_MIN && x <= INT16_MAX; });
        if (narrow)
            record.samples[j].assign(v.begin(), v.end());
        else {
            record.wide[j].resize(v.size());
            std::transform(v.begin(), v.end(), record.wide[j].begin(), [](int32_t x) {
                return x == kMissing ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(x);
            });
        }
        std::vector<int32_t>().swap(values[j]);
    }
    if (std::none_of(present.begin(), present.end(), [](bool p) { return p; }) && n > 0)
        Fail(headerName, "none of its segments holds samples");
    return record;
}

} // namespace

WfdbRecord ReadRecord(const std::filesystem::path& headerPath, const std::vector<bool>& hold)
{
    const std::string headerName = headerPath.string();
    WfdbHeader header = ReadHeader(headerPath);
    if (!header.segments.empty())
        return ReadSegments(headerPath, std::move(header), hold);
    WfdbRecord record;
    record.header = std::move(header);
    // A signal file that cannot be opened leaves its signals unavailable; the others are read.
    DecodeSignalFiles(record, headerName, [&](const std::string& fileName) {
        const std::filesystem::path dataPath = headerPath.parent_path() / fileName;
        std::unique_ptr<InputFile> data;
        try {
            data = std::make_unique<InputFile>(dataPath);
        } catch (const ImportError& e) {
            const std::string why = std::string(e.what()) + " (named by " + headerName + ")";
            for (std::size_t i = 0; i < record.header.signals.size(); ++i)
                if (record.header.signals[i].fileName == fileName)
                    record.unavailable[i] = why;
            return;
        }
        record.files.push_back(fileName);
        DecodeSignalFile(
            record.header, fileName, data->Stream(), dataPath.string(), record, data->Size(), hold, data.get());
    });
    return record;
}

bool IsBeatCode(int code)
{
    return (code >= 1 && code <= 13) || code == 25 || code == 30 || code == 34 || code == 35 || code == 37 || code == 38
        || code == 41;
}

const char* AnnotationMnemonic(int code)
{
    static const char* const kNames[] = { " ", "N", "L", "R", "a", "V", "F", "J", "A", "S", "E", "j", "/", "Q", "~",
        "?", "|", "?", "s", "T", "*", "D", "\"", "=", "p", "B", "^", "t", "+", "u", "?", "!", "[", "]", "e", "n", "@",
        "x", "f", "(", ")", "r" };
    if (code >= 0 && code < static_cast<int>(std::size(kNames)))
        return kNames[code];
    return "?";
}

std::vector<Annotation> ParseAnnotations(std::span<const uint8_t> bytes, const std::string& fileName)
{
    constexpr int kSkip = 59, kNum = 60, kSub = 61, kChn = 62, kAux = 63;
    std::vector<Annotation> out;
    std::size_t pos = 0;
    int64_t time = 0;
    int number = 0, channel = 0;
    auto word = [&](const char* what) -> unsigned {
        if (pos + 2 > bytes.size())
            Fail(fileName, std::string("truncated inside ") + what + " at byte " + std::to_string(pos));
        unsigned w = bytes[pos] | (bytes[pos + 1] << 8);
        pos += 2;
        return w;
    };
    for (;;) {
        if (pos + 2 > bytes.size())
            Fail(fileName,
                pos == bytes.size() ? "no end-of-annotations marker: the file is truncated"
                                    : "odd number of bytes: the file is truncated");
        const std::size_t at = pos;
        const unsigned w = word("an annotation");
        if (w == 0)
            break;
        const int code = static_cast<int>(w >> 10);
        const int field = static_cast<int>(w & 0x3FF);
        switch (code) {
        case kSkip: {
            const unsigned high = word("a SKIP interval");
            const unsigned low = word("a SKIP interval");
            time += static_cast<int32_t>((high << 16) | low);
            break;
        }
        case kNum:
            number = field >= 512 ? field - 1024 : field;
            if (!out.empty())
                out.back().number = number;
            break;
        case kSub:
            if (!out.empty())
                out.back().subtype = field >= 512 ? field - 1024 : field;
            break;
        case kChn:
            channel = field;
            if (!out.empty())
                out.back().channel = channel;
            break;
        case kAux: {
            if (pos + static_cast<std::size_t>(field) > bytes.size())
                Fail(fileName, "truncated inside the AUX text at byte " + std::to_string(at));
            std::string aux(reinterpret_cast<const char*>(bytes.data() + pos), static_cast<std::size_t>(field));
            pos += static_cast<std::size_t>(field + (field & 1));
            if (!out.empty())
                out.back().aux = aux.substr(0, aux.find('\0'));
            break;
        }
        default: {
            time += field;
            Annotation a;
            a.sample = time;
            a.code = code;
            a.number = number;
            a.channel = channel;
            out.push_back(std::move(a));
            break;
        }
        }
        if (time < 0 || time > std::numeric_limits<int32_t>::max())
            Fail(fileName, "annotation time out of range at byte " + std::to_string(at));
    }
    return out;
}

std::vector<Annotation> ReadAnnotations(const std::filesystem::path& path)
{
    InputFile in(path);
    const std::string bytes = in.ReadAll(kMaxAnnotationBytes, "an annotation file");
    return ParseAnnotations({ reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() }, path.string());
}

} // namespace vx::import
