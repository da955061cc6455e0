#pragma once
// Import of recording files into the host's recording model: PhysioNet WFDB records with their
// annotations, EDF and EDF+ files, and delimited text (CSV, TSV). Every problem with a file is
// thrown as RecordingError naming the file and what is wrong; a recording is never returned
// short of what its file promises.
#include "host/import/Wfdb.h"
#include "host/recording/Recording.h"

#include <filesystem>
#include <functional>
#include <istream>
#include <string>
#include <string_view>

namespace vx::host {

// A WFDB record from its header path (".hea"). Annotation files beside it whose extension is in
// `annotators` (".atr" by default) are read too: their beat annotations become an event channel
// named after the annotator, their other annotations comments. A header with no signals (an
// annotation-only record) gives a recording with no channels and one record as long as its
// annotations reach.
Recording ImportWfdb(const std::filesystem::path& headerPath, const std::vector<std::string>& annotators = { "atr" });

// Adds an annotation file's beats as an event channel and its other annotations as comments to
// record 0 of the recording; the second form takes annotations already read (`name` names their
// file in errors).
void AddWfdbAnnotations(Recording& recording, const std::filesystem::path& path, const std::wstring& title);
void AddWfdbAnnotations(Recording& recording, const std::vector<import::Annotation>& annotations,
    const std::wstring& title, const std::string& name);

// The recording of a decoded WFDB record: one record, a channel per signal (the samples move in),
// the record's warnings kept. Throws RecordingError naming `name`. With `decodeLater` the record's
// samples need not be held: each channel is decoded by decodeLater(signal) when first read (it
// throws RecordingError), and is as long as the record's count for that signal.
using WfdbSignalLoader = std::function<SampleStore::Samples(std::size_t signal)>;
Recording WfdbRecording(import::WfdbRecord&& wfdb, const std::string& name, const WfdbSignalLoader& decodeLater = {});

// EDF and EDF+ (continuous "EDF+C" and discontinuous "EDF+D"). Samples keep their 16-bit form
// with the header's scaling. Signals whose rate divides the fastest rate are held at their own
// rate. EDF+ annotations become comments; an EDF+D file becomes one record per contiguous run
// of data records.
Recording ImportEdf(const std::filesystem::path& path);
Recording ParseEdf(std::istream& in, const std::string& name);

struct DelimitedOptions {
    // Samples per second; 0: take the sample interval from the time column.
    double sampleRate = 0.0;
    // Zero-based column of the time in seconds; -1: a column titled "time", "t", "sec",
    // "seconds", "time (s)" or "elapsed time", or whose unit (in a second title row) is seconds.
    // With a sample rate given the time column is no channel, and the rate places the samples.
    int timeColumn = -1;
    // Field separator; 0: tab, ';' or ',' (in that order), whichever the first line holds.
    char delimiter = 0;
};

// Comma, tab or semicolon separated numbers, one row per sample, one column per channel, an
// optional title row ("ECG (mV)" gives the title ECG with unit mV), an optional units row below
// it, '#' comment lines. A field in double quotes may hold the separator, line breaks and doubled
// quotes (RFC 4180); single quotes around a field are dropped. A row of more than 1 MiB or with
// another number of fields than the first is refused with its line. Times given by a time column must
// be evenly spaced within the resolution they are printed to; samples placed by a sample rate
// cannot skip a line, so a blank line between them is an error.
Recording ImportDelimited(const std::filesystem::path& path, const DelimitedOptions& options = {});
Recording ParseDelimited(std::istream& in, const std::string& name, const DelimitedOptions& options = {});

// By extension: ".hea" WFDB (with its ".atr" and ".ecg" annotations), ".edf" EDF, anything else
// delimited text.
Recording ImportFile(const std::filesystem::path& path, const DelimitedOptions& options = {});

} // namespace vx::host
