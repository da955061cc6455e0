// EDF and EDF+ files (Kemp B, Olivan J. European data format 'plus' (EDF+). Clin Neurophysiol
// 114:1755-1761, 2003). The header is read and checked completely against the file size before
// any sample array is allocated, so a damaged header cannot make the reader allocate or read
// beyond what the file holds.
#include "host/recording/Import.h"

#include "host/import/InputFile.h"
#include "host/import/Wfdb.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vx::host {
namespace {

[[noreturn]] void Fail(const std::string& name, const std::string& what)
{
    throw RecordingError(name + ": " + what);
}

std::string Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\0'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0'))
        --e;
    return std::string(s.substr(b, e - b));
}

std::wstring Widen(const std::string& s)
{
    std::wstring w;
    for (unsigned char c : s)
        w.push_back(static_cast<wchar_t>(c));
    return w;
}

double Number(const std::string& field, const std::string& name, const std::string& what)
{
    double v = 0;
    const std::string t = Trim(field);
    const char* b = t.data();
    const char* e = b + t.size();
    if (b != e && *b == '+')
        ++b;
    const auto r = std::from_chars(b, e, v);
    if (t.empty() || r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        Fail(name, "the header's " + what + " '" + t + "' is not a number");
    return v;
}

int64_t Integer(const std::string& field, const std::string& name, const std::string& what)
{
    const double v = Number(field, name, what);
    if (v != std::floor(v) || std::abs(v) > 1e15)
        Fail(name, "the header's " + what + " '" + Trim(field) + "' is not a whole number");
    return static_cast<int64_t>(v);
}

struct Signal {
    std::string label, transducer, unit, prefilter;
    double physMin = 0, physMax = 0;
    int64_t digMin = 0, digMax = 0;
    int64_t samplesPerRecord = 0;
    bool annotations = false;
    int64_t byteOffset = 0; // in a data record
};

struct Annotation {
    double onset = 0;
    std::string text;
};

// One annotation signal's bytes of a data record: time-stamped annotation lists, each
// "+onset[\x15duration]\x14text\x14...\x14\0". The first list's first entry (no text) is the
// data record's start time.
void ParseTals(std::string_view bytes, const std::string& name, int64_t dataRecord, bool first, double& recordStart,
    bool& haveStart, std::vector<Annotation>& out)
{
    std::size_t pos = 0;
    bool firstTal = first;
    while (pos < bytes.size() && bytes[pos] != '\0') {
        const std::size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos)
            Fail(name, "data record " + std::to_string(dataRecord + 1) + ": an annotation list is not terminated");
        const std::string_view tal = bytes.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t sep = tal.find('\x14');
        if (sep == std::string_view::npos)
            Fail(name, "data record " + std::to_string(dataRecord + 1) + ": an annotation list has no onset separator");
        std::string_view onsetText = tal.substr(0, sep);
        const std::size_t dur = onsetText.find('\x15');
        if (dur != std::string_view::npos)
            onsetText = onsetText.substr(0, dur);
        if (onsetText.empty() || (onsetText[0] != '+' && onsetText[0] != '-'))
            Fail(name, "data record " + std::to_string(dataRecord + 1) + ": an annotation onset lacks its sign");
        const double onset = Number(std::string(onsetText), name, "annotation onset");
        std::string_view rest = tal.substr(sep + 1);
        bool any = false;
        while (!rest.empty()) {
            const std::size_t next = rest.find('\x14');
            const std::string_view text = rest.substr(0, next);
            if (!text.empty()) {
                out.push_back({ onset, std::string(text) });
                any = true;
            }
            if (next == std::string_view::npos)
                break;
            rest = rest.substr(next + 1);
        }
        if (firstTal && !haveStart) {
            recordStart = onset;
            haveStart = true;
        }
        (void)any;
        firstTal = false;
        while (pos < bytes.size() && bytes[pos] == '\0')
            ++pos;
    }
}

// Where the fields of the fixed 256-byte header lie.
struct FieldAt {
    std::size_t offset, width;
};
constexpr FieldAt kVersion { 0, 8 }, kHeaderBytes { 184, 8 }, kReserved { 192, 44 }, kRecordCount { 236, 8 },
    kRecordDuration { 244, 8 }, kSignalCount { 252, 4 };
constexpr std::size_t kFixedHeaderBytes = 256;

// The signal headers are stored field by field: the labels of every signal, then every
// transducer, and so on. `before` is the width of the fields that precede this one in a signal.
struct SignalFieldAt {
    std::size_t before, width;
};
constexpr SignalFieldAt kLabel { 0, 16 }, kTransducer { 16, 80 }, kUnit { 96, 8 }, kPhysicalMin { 104, 8 },
    kPhysicalMax { 112, 8 }, kDigitalMin { 120, 8 }, kDigitalMax { 128, 8 }, kSamplesPerRecord { 216, 8 };
constexpr std::size_t kSignalHeaderBytes = 256;

struct FixedHeader {
    int64_t fileSize = 0;
    bool plus = false, discontinuous = false;
    int64_t headerBytes = 0, recordCount = 0, signalCount = 0;
    double duration = 0;
};

FixedHeader ReadFixedHeader(std::istream& in, const std::string& name)
{
    FixedHeader h;
    in.seekg(0, std::ios::end);
    const std::streamoff sizeOff = in.tellg();
    if (sizeOff < 0)
        Fail(name, "cannot be read");
    h.fileSize = sizeOff;
    in.seekg(0);
    std::string fixed(kFixedHeaderBytes, '\0');
    if (!in.read(fixed.data(), static_cast<std::streamsize>(fixed.size())))
        Fail(name, "is shorter than the 256-byte EDF header (" + std::to_string(h.fileSize) + " bytes)");
    const auto field = [&](FieldAt f) { return fixed.substr(f.offset, f.width); };
    if (Trim(field(kVersion)) != "0")
        Fail(name, "is not an EDF file (the version field is not 0)");
    const std::string reserved = Trim(field(kReserved));
    h.plus = reserved.rfind("EDF+", 0) == 0;
    h.discontinuous = reserved.rfind("EDF+D", 0) == 0;
    h.headerBytes = Integer(field(kHeaderBytes), name, "header size");
    h.recordCount = Integer(field(kRecordCount), name, "number of data records");
    h.duration = Number(field(kRecordDuration), name, "data record duration");
    h.signalCount = Integer(field(kSignalCount), name, "number of signals");
    const int64_t ns = h.signalCount;
    if (ns < 1 || ns > 4096)
        Fail(name, "the header names " + std::to_string(ns) + " signals (1 to 4096 are possible)");
    const int64_t expected = static_cast<int64_t>(kFixedHeaderBytes + kSignalHeaderBytes * ns);
    if (h.headerBytes != expected)
        Fail(name,
            "the header size " + std::to_string(h.headerBytes) + " does not match " + std::to_string(ns) + " signals ("
                + std::to_string(expected) + " bytes)");
    if (h.fileSize < h.headerBytes)
        Fail(name, "is truncated inside the signal headers");
    if (h.duration < 0 || h.duration > 1e6)
        Fail(name, "the data record duration " + std::to_string(h.duration) + " s is out of range");
    return h;
}

// The signal headers, each checked; `recordBytes` is the size of one data record.
std::vector<Signal> ReadSignalHeaders(
    std::istream& in, const std::string& name, const FixedHeader& h, int64_t& recordBytes)
{
    const auto ns = static_cast<std::size_t>(h.signalCount);
    std::string sh(kSignalHeaderBytes * ns, '\0');
    if (!in.read(sh.data(), static_cast<std::streamsize>(sh.size())))
        Fail(name, "is truncated inside the signal headers");
    std::vector<Signal> signals(ns);
    recordBytes = 0;
    for (std::size_t i = 0; i < ns; ++i) {
        const auto field = [&](SignalFieldAt f) { return sh.substr(f.before * ns + f.width * i, f.width); };
        Signal& s = signals[i];
        const std::string which = "signal " + std::to_string(i + 1);
        s.label = Trim(field(kLabel));
        s.transducer = Trim(field(kTransducer));
        s.unit = Trim(field(kUnit));
        s.physMin = Number(field(kPhysicalMin), name, which + " physical minimum");
        s.physMax = Number(field(kPhysicalMax), name, which + " physical maximum");
        s.digMin = Integer(field(kDigitalMin), name, which + " digital minimum");
        s.digMax = Integer(field(kDigitalMax), name, which + " digital maximum");
        s.samplesPerRecord = Integer(field(kSamplesPerRecord), name, which + " samples per data record");
        s.annotations = h.plus && s.label == "EDF Annotations";
        if (s.samplesPerRecord < 1 || s.samplesPerRecord > 100'000'000)
            Fail(name, which + " has " + std::to_string(s.samplesPerRecord) + " samples per data record");
        if (!s.annotations) {
            if (s.digMin < -32768 || s.digMax > 32767 || s.digMin >= s.digMax)
                Fail(name,
                    which + " has the digital range " + std::to_string(s.digMin) + " to " + std::to_string(s.digMax)
                        + " (it must rise within -32768 to 32767)");
            if (s.physMin == s.physMax)
                Fail(name, which + " has an empty physical range");
        }
        s.byteOffset = recordBytes;
        recordBytes += 2 * s.samplesPerRecord;
    }
    return signals;
}

// The data signals (not annotations), whose rates must divide the fastest one.
std::vector<std::size_t> DataSignals(
    const std::vector<Signal>& signals, const FixedHeader& h, const std::string& name, int64_t& fastest)
{
    std::vector<std::size_t> dataSignals;
    fastest = 0;
    for (std::size_t i = 0; i < signals.size(); ++i)
        if (!signals[i].annotations) {
            dataSignals.push_back(i);
            fastest = std::max(fastest, signals[i].samplesPerRecord);
        }
    if (!dataSignals.empty() && !(h.duration > 0))
        Fail(name, "the data record duration must be positive for a file with signals");
    for (std::size_t i : dataSignals)
        if (fastest % signals[i].samplesPerRecord != 0)
            Fail(name,
                "signal " + std::to_string(i + 1) + " ('" + signals[i].label
                    + "') has a rate that does not divide the fastest signal's rate");
    return dataSignals;
}

// The number of data records, checked against what the file holds.
int64_t CheckRecordCount(const FixedHeader& h, int64_t recordBytes, const std::string& name)
{
    const int64_t dataBytes = h.fileSize - h.headerBytes;
    const int64_t present = dataBytes / recordBytes;
    int64_t recordCount = h.recordCount == -1 ? present : h.recordCount;
    if (recordCount < 0)
        Fail(name, "the header's number of data records " + std::to_string(recordCount) + " is negative");
    if (present < recordCount)
        Fail(name,
            "is truncated: the header promises " + std::to_string(recordCount) + " data records of "
                + std::to_string(recordBytes) + " bytes, the file holds " + std::to_string(dataBytes)
                + " bytes of data");
    if (dataBytes != recordCount * recordBytes)
        Fail(name,
            "holds " + std::to_string(dataBytes - recordCount * recordBytes)
                + " bytes after its last data record: the header's record count or signal sizes are wrong");
    return recordCount;
}

// A stretch of back-to-back data records: the first one and its start time in seconds. EDF and
// EDF+C files are one stretch; the gaps of an EDF+D file start new ones.
struct Run {
    int64_t first = 0;
    double start = 0.0;
};

// Each stretch becomes a record of the recording; a file whose gaps would make more than this
// many is refused rather than held as millions of tiny records.
constexpr std::size_t kMaxRuns = 65536;

// The stretches of data records and the annotations, from the annotation signals. Without them
// the data records are back to back from 0 s. Only the start of each stretch is kept, so memory
// does not follow the number of data records.
std::vector<Run> ReadRuns(std::istream& in, const std::string& name, const FixedHeader& h,
    const std::vector<Signal>& signals, int64_t recordCount, int64_t recordBytes, std::vector<Annotation>& annotations)
{
    std::vector<Run> runs { Run {} };
    std::vector<std::size_t> annotationSignals;
    for (std::size_t i = 0; i < signals.size(); ++i)
        if (signals[i].annotations)
            annotationSignals.push_back(i);
    if (annotationSignals.empty())
        return runs;
    const int64_t perRead = std::max<int64_t>(1, (1 << 20) / recordBytes);
    std::vector<char> buffer;
    in.seekg(h.headerBytes);
    double previous = 0;
    for (int64_t r0 = 0; r0 < recordCount; r0 += perRead) {
        const int64_t n = std::min(perRead, recordCount - r0);
        buffer.resize(static_cast<std::size_t>(n * recordBytes));
        if (!in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
            Fail(name, "cannot be read at data record " + std::to_string(r0 + 1));
        for (int64_t j = 0; j < n; ++j) {
            const int64_t r = r0 + j;
            bool haveStart = false;
            double start = 0;
            for (std::size_t k = 0; k < annotationSignals.size(); ++k) {
                const Signal& s = signals[annotationSignals[k]];
                const std::string_view bytes(
                    buffer.data() + j * recordBytes + s.byteOffset, static_cast<std::size_t>(2 * s.samplesPerRecord));
                ParseTals(bytes, name, r, k == 0, start, haveStart, annotations);
            }
            if (!haveStart)
                Fail(name, "data record " + std::to_string(r + 1) + " has no time-keeping annotation");
            if (r == 0) {
                runs.front().start = start;
            } else {
                if (start < previous + h.duration - 1e-6)
                    Fail(name, "data record " + std::to_string(r + 1) + " starts before the previous one ends");
                if (std::abs(start - (previous + h.duration)) > 1e-6) {
                    // A continuous file whose records do not follow one another is damaged:
                    // taking it as continuous would put every later sample at the wrong time.
                    if (!h.discontinuous)
                        Fail(name,
                            "data record " + std::to_string(r + 1)
                                + " does not follow the previous one in a continuous (EDF+C) file");
                    if (runs.size() == kMaxRuns)
                        Fail(name,
                            "its data records form more than " + std::to_string(kMaxRuns)
                                + " separate stretches of time");
                    runs.push_back({ r, start });
                }
            }
            previous = start;
        }
    }
    return runs;
}

// The samples of `count` data records from `first` on, one array per data signal. A few data
// records are read at a time: the only extra memory beside the sample arrays.
std::vector<std::vector<int16_t>> ReadSamples(std::istream& in, const std::string& name, const FixedHeader& h,
    const std::vector<Signal>& signals, const std::vector<std::size_t>& dataSignals, int64_t recordBytes, int64_t first,
    int64_t count)
{
    std::vector<std::vector<int16_t>> data(dataSignals.size());
    for (std::size_t k = 0; k < dataSignals.size(); ++k)
        data[k].reserve(static_cast<std::size_t>(count * signals[dataSignals[k]].samplesPerRecord));
    const int64_t perRead = std::max<int64_t>(1, (1 << 20) / recordBytes);
    std::vector<unsigned char> buffer;
    in.seekg(h.headerBytes + first * recordBytes);
    for (int64_t r = 0; r < count; r += perRead) {
        const int64_t n = std::min(perRead, count - r);
        buffer.resize(static_cast<std::size_t>(n * recordBytes));
        if (!in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size())))
            Fail(name, "cannot be read at data record " + std::to_string(first + r + 1));
        for (int64_t j = 0; j < n; ++j) {
            const unsigned char* base = buffer.data() + j * recordBytes;
            for (std::size_t k = 0; k < dataSignals.size(); ++k) {
                const Signal& s = signals[dataSignals[k]];
                const unsigned char* p = base + s.byteOffset;
                for (int64_t m = 0; m < s.samplesPerRecord; ++m, p += 2)
                    data[k].push_back(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))));
            }
        }
    }
    return data;
}

void AddChannels(Recording& recording, const std::vector<Signal>& signals, const std::vector<std::size_t>& dataSignals,
    int64_t fastest)
{
    for (std::size_t i : dataSignals) {
        const Signal& s = signals[i];
        ChannelSetup setup;
        setup.title = Widen(s.label);
        setup.unit = Widen(s.unit);
        setup.factor = (s.physMax - s.physMin) / static_cast<double>(s.digMax - s.digMin);
        setup.offset = s.physMin / setup.factor - static_cast<double>(s.digMin);
        setup.displayLow = std::min(s.physMin, s.physMax);
        setup.displayHigh = std::max(s.physMin, s.physMax);
        setup.ticksPerSample = static_cast<int>(fastest / s.samplesPerRecord);
        recording.AddChannel(std::move(setup));
    }
}

// Annotations become comments in the record that holds their onset (the records are in time
// order).
void AddComments(Recording& recording, const std::vector<Annotation>& annotations, double interval)
{
    const auto& records = recording.records;
    for (const Annotation& a : annotations) {
        const auto after = std::upper_bound(records.begin(), records.end(), a.onset,
            [](double onset, const Record& record) { return onset + 1e-9 < record.startTime; });
        const std::size_t h = after == records.begin() ? 0 : static_cast<std::size_t>(after - records.begin() - 1);
        Comment c;
        c.record = static_cast<int>(h);
        const double at = (a.onset - records[h].startTime) / interval;
        c.position = std::clamp<int64_t>(
            std::llround(std::clamp(at, -1e15, 1e15)), 0, std::max<int64_t>(0, records[h].length - 1));
        c.text = Widen(a.text);
        recording.comments.push_back(std::move(c));
    }
}

} // namespace

Recording ParseEdf(std::istream& in, const std::string& name)
{
    const FixedHeader h = ReadFixedHeader(in, name);
    int64_t recordBytes = 0;
    const std::vector<Signal> signals = ReadSignalHeaders(in, name, h, recordBytes);
    int64_t fastest = 0;
    const std::vector<std::size_t> dataSignals = DataSignals(signals, h, name, fastest);
    const int64_t recordCount = CheckRecordCount(h, recordBytes, name);
    std::vector<Annotation> annotations;
    std::vector<Run> runs = ReadRuns(in, name, h, signals, recordCount, recordBytes, annotations);

    Recording recording;
    AddChannels(recording, signals, dataSignals, fastest);
    // Each stretch of back-to-back data records makes a host record (one unless EDF+D has gaps).
    const double interval
        = fastest > 0 ? h.duration / static_cast<double>(fastest) : (h.duration > 0 ? h.duration : 1.0);
    runs.push_back({ recordCount, 0.0 });
    for (std::size_t run = 0; run + 1 < runs.size(); ++run) {
        const int64_t first = runs[run].first, count = runs[run + 1].first - first;
        const int index = recording.AddRecord(interval, runs[run].start);
        Record& rec = recording.records[static_cast<std::size_t>(index)];
        rec.length = count * fastest;
        auto data = ReadSamples(in, name, h, signals, dataSignals, recordBytes, first, count);
        for (std::size_t k = 0; k < dataSignals.size(); ++k)
            rec.channels[k] = SampleStore(std::move(data[k]));
    }
    AddComments(recording, annotations, interval);
    recording.Validate(name);
    return recording;
}

Recording ImportEdf(const std::filesystem::path& path)
{
    try {
        import::InputFile file(path);
        Recording recording = ParseEdf(file.Stream(), file.Name());
        recording.files.push_back(path);
        return recording;
    } catch (const import::ImportError& e) {
        throw RecordingError(e.what());
    }
}

} // namespace vx::host
