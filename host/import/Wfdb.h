#pragma once
// Reader of PhysioNet WFDB records: the header (.hea), signal files in every format the WFDB
// library writes (8, 16, 24, 32, 61, 80, 160, 212, 310, 311 and the FLAC formats 508, 516, 524),
// with several samples per frame, skew and byte offsets, multi-segment records (fixed and
// variable layout), and annotation files in the MIT format (.atr, .ecg, ...). Everything that is
// wrong with a file is reported as ImportError naming the file and the problem; a record is never
// returned short.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vx::import {

class InputFile;

class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct WfdbSignalInfo {
    std::string fileName; // "~" in a layout header: a signal with no file
    int format = 0;
    int samplesPerFrame = 1; // "xN" after the format
    int skew = 0; // ":N" after the format: the signal's samples lie N frames later in the file
    int64_t byteOffset = 0; // "+N" after the format: bytes to skip at the start of the file
    double gain = 200.0; // ADC units per physical unit; 0 in a header means the default 200
    int baseline = 0; // ADC value of physical zero; the ADC zero unless given as "gain(baseline)"
    std::string units = "mV";
    int adcResolution = 12;
    int adcZero = 0;
    int initialValue = 0;
    bool hasChecksum = false;
    int checksum = 0; // 16-bit sum of all samples
    std::string description;
};

struct WfdbSegment {
    std::string name; // "~": a gap of missing data
    int64_t length = 0; // frames; 0 for the layout segment of a variable layout
};

struct WfdbHeader {
    std::string recordName;
    double frequency = 250.0; // frames per second
    double counterFrequency = 0.0; // "/N" after the frequency; 0 when not given
    int64_t sampleCount = 0; // frames; 0 when the header leaves it open (then the file length decides)
    std::string baseTime, baseDate; // as written, empty when not given
    std::vector<WfdbSignalInfo> signals;
    std::vector<WfdbSegment> segments; // a multi-segment record's segments ("name/N" record line)

    // Ticks per frame of a record that holds every signal at its own rate: the least common
    // multiple of the signals' samples per frame.
    int TicksPerFrame() const;
};

struct WfdbRecord {
    WfdbHeader header;
    // Raw ADC samples, one array per signal, held once (empty for a signal that was not held, or
    // that is held in `wide`).
    std::vector<std::vector<int16_t>> samples;
    // The samples of a signal that 16 bits cannot hold exactly, or that has missing data (a gap
    // of a multi-segment record, the end of a skewed signal): ADC values as floats, NaN where
    // data are missing. Empty unless that signal is held this way.
    std::vector<std::vector<float>> wide;
    // Samples per signal in the files, held or not (frames x the signal's samples per frame).
    std::vector<int64_t> counts;
    // Per signal, why it cannot be read (its signal file is missing); empty when it can.
    std::vector<std::string> unavailable;
    // What is wrong but does not stop the record from being read (a checksum mismatch).
    std::vector<std::string> warnings;
    // The files read besides the header (signal files, segment headers), named as beside it.
    std::vector<std::string> files;

    // Frames of the record.
    int64_t Length() const
    {
        return counts.empty() || header.signals.empty() ? 0 : counts.front() / header.signals.front().samplesPerFrame;
    }
    bool IsWide(std::size_t signal) const { return signal < wide.size() && !wide[signal].empty(); }
    double ToPhysical(std::size_t signal, int16_t adc) const
    {
        const WfdbSignalInfo& s = header.signals[signal];
        return (adc - s.baseline) / s.gain;
    }
};

// The largest header and annotation file read: a header of 4096 signals takes well under a
// megabyte, a day's beat annotations a few.
constexpr int64_t kMaxHeaderBytes = 4 << 20;
constexpr int64_t kMaxAnnotationBytes = 256 << 20;

// Header text -> header. fileName names the file in errors.
WfdbHeader ParseHeader(std::string_view text, const std::string& fileName);

// Decodes the signals of one signal file (every signal whose fileName is that file, in header
// order) from a stream into record.samples (sized to the header's signal count). dataBytes is the
// size of the file when known (-1 otherwise); it lets the arrays be sized once. `hold` says which
// signals keep their samples (empty: all; a signal past its end: not held); the others are
// decoded and checked all the same. `file`, when given, is the file the stream reads: a long one
// may then be decoded on several threads straight from it.
void DecodeSignalFile(const WfdbHeader& header, const std::string& signalFile, std::istream& data,
    const std::string& displayName, WfdbRecord& record, int64_t dataBytes = -1, const std::vector<bool>& hold = {},
    const InputFile* file = nullptr);

// Decodes each signal file the record's header names once, through `decode(fileName)` (which
// calls DecodeSignalFile), and checks that the signals agree on their length.
void DecodeSignalFiles(
    WfdbRecord& record, const std::string& headerName, const std::function<void(const std::string&)>& decode);

// Reads a record from its header path (".hea"); the signal files (and a multi-segment record's
// segment headers) are looked up beside it. Only the signals that `hold` marks keep their samples
// (empty: all), but every file is read and checked whole. A signal file that does not exist makes
// its signals unavailable (with the reason) as long as another signal file is there; a record
// none of whose signal files exists is an error.
WfdbRecord ReadRecord(const std::filesystem::path& headerPath, const std::vector<bool>& hold = {});

// Whether a signal's samples can be read a stretch at a time straight from its file
// (ReadStretch): a signal of a single-segment record in format 212 or 16, one sample per frame,
// not skewed, whose file holds only such signals.
bool CanReadStretches(const WfdbHeader& header, std::size_t signal);

// Samples [first, first + out.size()) of such a signal, decoded from `file` (its signal file).
// Throws ImportError naming the file when the file does not hold them. Safe to call from several
// threads at once on the same file.
void ReadStretch(
    const WfdbHeader& header, std::size_t signal, const InputFile& file, int64_t first, std::span<int16_t> out);

struct Annotation {
    int64_t sample = 0;
    int code = 0;
    int subtype = 0;
    int channel = 0;
    int number = 0;
    std::string aux;
};

// Annotation codes of beats (N L R a V F J A S E j / Q e n x f and the rest of the standard list).
bool IsBeatCode(int code);
// Mnemonic of an annotation code ("N", "V", "+", ...), "?" for codes without one.
const char* AnnotationMnemonic(int code);

std::vector<Annotation> ParseAnnotations(std::span<const uint8_t> bytes, const std::string& fileName);
std::vector<Annotation> ReadAnnotations(const std::filesystem::path& path);

} // namespace vx::import
