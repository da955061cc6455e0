#pragma once
// `varnex analyse`: a whole HRV analysis of a recording from the command line, driven through
// the extension the way the host's menus and data pad drive it.
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "varnex/cli/PlotFile.h"
#include "varnex/startup/CommandLine.h"

namespace varnex {

struct AnalyseOptions {
    std::string record;
    std::string extension; // empty: libhrv.so beside the varnex executable
    std::string channel; // 1-based number or channel title; empty: the first channel
    std::string species; // preset name or index; empty: the settings' default (Human)
    double rate = 0.0; // samples per second of delimited text without a time column
    double from = -1.0, to = -1.0; // seconds from the record's start; negative: not given
    std::vector<std::pair<std::string, std::string>> set; // --set NAME=VALUE
    std::string rrFile, beatsFile;
    std::string reportFile; // --report: the HRV report page
    bool online = false;
    enum class Format { Text, Json, Csv } format = Format::Text;
    bool progress = false; // stage lines on the error stream
    // Beat corrections, made after the analysis through the document's beat-mark commands: the
    // beats detected between two times removed, then a beat added at each time (seconds).
    std::vector<std::pair<double, double>> removeBeats;
    std::vector<double> addBeats;
    // Keep the settings and the corrections in the session file beside the recording.
    bool saveSession = false;
    // --plot VIEW=FILE: plot views written as pictures (needs a display).
    std::vector<PlotRequest> plots;
};

// The options of `varnex analyse`, for the parser and the usage.
OptionTable<AnalyseOptions> AnalyseOptionTable();

// Parses the words after "analyse"; false with `error` set on a wrong argument.
bool ParseAnalyseArguments(const std::vector<std::string>& args, AnalyseOptions& options, std::string& error);

// Runs the analysis and writes the parameters to `out`; a failure is one line on `err`. Returns
// the process exit code.
int Analyse(const AnalyseOptions& options, std::ostream& out, std::ostream& err);

} // namespace varnex
