#include "host/import/Wfdb.h"

#include "host/import/InputFile.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
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
    if (!(s.gain >= 0) || s.gain > 1e12)
        Fail(file, "line " + std::to_string(line) + ": the gain must not be negative");
    if (s.gain == 0)
        s.gain = 200.0;
}

// "212", "16", "212+512" (byte offset); sample-per-frame ("x") and skew (":") forms are refused.
void ParseFormat(std::string_view text, WfdbSignalInfo& s, const std::string& file, int line)
{
    if (text.find_first_of("x:") != std::string_view::npos)
        Fail(file,
            "line " + std::to_string(line) + ": format '" + std::string(text)
                + "' uses several samples per frame or skew, which this reader does not support");
    std::size_t plus = text.find('+');
    if (plus != std::string_view::npos) {
        s.byteOffset = Number<int64_t>(text.substr(plus + 1), file, line, "byte offset");
        if (s.byteOffset < 0)
            Fail(file, "line " + std::to_string(line) + ": negative byte offset");
        text = text.substr(0, plus);
    }
    s.format = Number<int>(text, file, line, "signal format");
    if (s.format != 212 && s.format != 16)
        Fail(file,
            "line " + std::to_string(line) + ": signal format " + std::to_string(s.format)
                + " is not supported (formats 212 and 16 are)");
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

} // namespace

WfdbHeader ParseHeader(std::string_view text, const std::string& fileName)
{
    WfdbHeader h;
    std::size_t signalCount = 0;
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
        if (!haveRecordLine) {
            haveRecordLine = true;
            if (f[0].find('/') != std::string_view::npos)
                Fail(fileName, "multi-segment records are not supported");
            h.recordName = std::string(f[0]);
            if (f.size() < 2)
                Fail(fileName, "line " + std::to_string(lineNumber) + ": the record line lacks the number of signals");
            const int n = Number<int>(f[1], fileName, lineNumber, "number of signals");
            if (n < 0 || n > 4096)
                Fail(fileName,
                    "line " + std::to_string(lineNumber) + ": implausible number of signals " + std::to_string(n));
            signalCount = static_cast<std::size_t>(n);
            if (f.size() >= 3) {
                std::string_view fs = f[2];
                fs = fs.substr(0, fs.find_first_of("/("));
                h.frequency = Number<double>(fs, fileName, lineNumber, "sampling frequency");
                if (!(h.frequency > 0) || h.frequency > 1e9)
                    Fail(fileName, "line " + std::to_string(lineNumber) + ": the sampling frequency must be positive");
            }
            if (f.size() >= 4) {
                h.sampleCount = Number<int64_t>(f[3], fileName, lineNumber, "number of samples");
                if (h.sampleCount < 0 || h.sampleCount > std::numeric_limits<int32_t>::max())
                    Fail(fileName, "line " + std::to_string(lineNumber) + ": implausible number of samples");
            }
            continue;
        }
        if (h.signals.size() == signalCount)
            break; // info lines after the signal lines are comments in practice
        if (f.size() < 2)
            Fail(fileName,
                "line " + std::to_string(lineNumber) + ": a signal line needs at least a file name and a format");
        WfdbSignalInfo s;
        s.fileName = std::string(f[0]);
        if (s.fileName.find('/') != std::string::npos || s.fileName.find('\\') != std::string::npos
            || s.fileName == ".." || s.fileName == "-")
            Fail(fileName,
                "line " + std::to_string(lineNumber) + ": signal file '" + s.fileName + "' must lie beside the header");
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
        // f[7] is the block size (only meaningful for devices); the rest is the description.
        for (std::size_t i = 8; i < f.size(); ++i) {
            if (i > 8)
                s.description += ' ';
            s.description += f[i];
        }
        h.signals.push_back(std::move(s));
    }
    if (!haveRecordLine)
        Fail(fileName, "no record line");
    if (h.signals.size() != signalCount)
        Fail(fileName,
            "the header announces " + std::to_string(signalCount) + " signals but describes "
                + std::to_string(h.signals.size()));
    for (std::size_t i = 1; i < h.signals.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (h.signals[i].fileName == h.signals[j].fileName
                && (h.signals[i].format != h.signals[j].format || h.signals[i].byteOffset != h.signals[j].byteOffset))
                Fail(fileName, "signals in file '" + h.signals[i].fileName + "' differ in format or byte offset");
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
    record.counts.resize(header.signals.size(), 0);
    const WfdbSignalInfo& first = header.signals[members[0]];
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

void DecodeSignalFiles(
    WfdbRecord& record, const std::string& headerName, const std::function<void(const std::string&)>& decode)
{
    record.samples.resize(record.header.signals.size());
    record.counts.resize(record.header.signals.size(), 0);
    std::vector<std::string> done;
    for (const WfdbSignalInfo& s : record.header.signals) {
        if (std::find(done.begin(), done.end(), s.fileName) != done.end())
            continue;
        done.push_back(s.fileName);
        decode(s.fileName);
    }
    // Signals in different files must agree on their length.
    for (const int64_t count : record.counts)
        if (count != record.counts.front())
            Fail(headerName, "its signal files hold different numbers of samples");
}

WfdbRecord ReadRecord(const std::filesystem::path& headerPath, const std::vector<bool>& hold)
{
    const std::string headerName = headerPath.string();
    WfdbRecord record;
    {
        InputFile header(headerPath);
        record.header = ParseHeader(header.ReadAll(kMaxHeaderBytes, "a record header"), headerName);
    }
    DecodeSignalFiles(record, headerName, [&](const std::string& fileName) {
        const std::filesystem::path dataPath = headerPath.parent_path() / fileName;
        std::unique_ptr<InputFile> data;
        try {
            data = std::make_unique<InputFile>(dataPath);
        } catch (const ImportError& e) {
            throw ImportError(std::string(e.what()) + " (named by " + headerName + ")");
        }
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
