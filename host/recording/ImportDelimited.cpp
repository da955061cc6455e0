// Delimited text (CSV, TSV) into the recording model. Numbers are read with std::from_chars, so
// the user's locale never changes how a file is read.
#include "host/recording/Import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace vx::host {
namespace {

[[noreturn]] void Fail(const std::string& name, const std::string& what)
{
    throw RecordingError(name + ": " + what);
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '"'))
        s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view text, double& value)
{
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view line, char delimiter)
{
    std::vector<std::string_view> fields;
    if (delimiter == 0) {
        fields.push_back(line);
        return fields;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t next = line.find(delimiter, pos);
        fields.push_back(line.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos));
        if (next == std::string_view::npos)
            break;
        pos = next + 1;
    }
    return fields;
}

std::wstring Widen(std::string_view s)
{
    std::wstring w;
    for (unsigned char c : s)
        w.push_back(static_cast<wchar_t>(c));
    return w;
}

bool IsTimeTitle(std::string_view title)
{
    std::string t(Trim(title));
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return t == "time" || t == "t" || t == "sec" || t == "seconds" || t == "time (s)" || t == "time(s)" || t == "time [s]";
}

} // namespace

Recording ParseDelimited(std::istream& in, const std::string& name, const DelimitedOptions& options)
{
    if (options.sampleRate < 0 || !std::isfinite(options.sampleRate))
        Fail(name, "the sample rate must be positive");
    char delimiter = options.delimiter;
    bool delimiterKnown = delimiter != 0;
    std::vector<std::string> titles;
    bool haveTitles = false;
    std::size_t columns = 0;
    int timeColumn = options.timeColumn;
    std::vector<std::vector<float>> data;
    std::vector<double> times;
    std::string line;
    int64_t lineNumber = 0;
    bool firstDataLine = true;
    std::vector<double> values;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string_view view(line);
        if (lineNumber == 1 && view.starts_with("\xEF\xBB\xBF"))
            view.remove_prefix(3);
        if (!view.empty() && view.back() == '\r')
            view.remove_suffix(1);
        if (Trim(view).empty() || Trim(view).front() == '#')
            continue;
        if (!delimiterKnown) {
            delimiter = view.find('\t') != std::string_view::npos ? '\t'
                : view.find(';') != std::string_view::npos        ? ';'
                : view.find(',') != std::string_view::npos        ? ','
                                                                  : 0;
            delimiterKnown = true;
        }
        const auto fields = Split(view, delimiter);
        if (firstDataLine) {
            firstDataLine = false;
            columns = fields.size();
            if (columns > 4096)
                Fail(name, "line " + std::to_string(lineNumber) + " has " + std::to_string(columns) + " columns (at most 4096)");
            double v;
            const bool numeric = std::all_of(fields.begin(), fields.end(), [&](std::string_view f) { return ParseNumber(f, v); });
            if (!numeric) {
                haveTitles = true;
                for (std::string_view f : fields)
                    titles.emplace_back(Trim(f));
                if (timeColumn < 0 && options.sampleRate == 0)
                    for (std::size_t c = 0; c < titles.size(); ++c)
                        if (IsTimeTitle(titles[c])) {
                            timeColumn = static_cast<int>(c);
                            break;
                        }
            }
            if (timeColumn >= static_cast<int>(columns))
                Fail(name, "the time column " + std::to_string(timeColumn + 1) + " does not exist (the file has "
                    + std::to_string(columns) + " columns)");
            if (options.sampleRate == 0 && timeColumn < 0)
                Fail(name, "has no time column: give a sample rate or name a time column");
            const std::size_t channels = columns - (timeColumn >= 0 ? 1 : 0);
            if (channels == 0)
                Fail(name, "has no channel columns");
            data.resize(channels);
            if (haveTitles)
                continue;
        }
        if (fields.size() != columns)
            Fail(name, "line " + std::to_string(lineNumber) + " has " + std::to_string(fields.size()) + " fields where "
                + std::to_string(columns) + " are expected");
        std::size_t k = 0;
        for (std::size_t c = 0; c < fields.size(); ++c) {
            double v;
            if (!ParseNumber(fields[c], v))
                Fail(name, "line " + std::to_string(lineNumber) + ", column " + std::to_string(c + 1) + ": '"
                    + std::string(Trim(fields[c]).substr(0, 40)) + "' is not a number");
            if (static_cast<int>(c) == timeColumn) {
                if (!std::isfinite(v))
                    Fail(name, "line " + std::to_string(lineNumber) + ": the time is not a finite number");
                if (!times.empty() && !(v > times.back()))
                    Fail(name, "line " + std::to_string(lineNumber) + ": the time does not increase");
                times.push_back(v);
            } else {
                data[k++].push_back(static_cast<float>(v));
            }
        }
    }
    if (in.bad())
        Fail(name, "cannot be read");
    if (data.empty() || data.front().empty())
        Fail(name, "holds no samples");
    const std::size_t n = data.front().size();
    double interval = options.sampleRate > 0 ? 1.0 / options.sampleRate : 0.0;
    double start = 0.0;
    if (timeColumn >= 0 && options.sampleRate == 0) {
        if (times.size() < 2)
            Fail(name, "needs at least two rows to take the sample interval from its time column");
        interval = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
        start = times.front();
        // The samples are stored on a regular grid, so the time column must be one.
        for (std::size_t i = 1; i < times.size(); ++i) {
            const double step = times[i] - times[i - 1];
            if (std::abs(step - interval) > 0.01 * interval)
                Fail(name, "the time column is not evenly spaced (step " + std::to_string(step) + " s at sample "
                    + std::to_string(i + 1) + ", " + std::to_string(interval) + " s on average)");
        }
    }
    if (!(interval > 0) || !std::isfinite(interval))
        Fail(name, "has no usable sample interval");

    Recording recording;
    std::size_t k = 0;
    for (std::size_t c = 0; c < columns; ++c) {
        if (static_cast<int>(c) == timeColumn)
            continue;
        ChannelSetup setup;
        std::string title = haveTitles ? titles[c] : "Channel " + std::to_string(k + 1);
        // "ECG (mV)" and "ECG [mV]": the bracketed part is the unit.
        const std::size_t open = title.find_last_of("([");
        if (open != std::string::npos && open > 0 && (title.back() == ')' || title.back() == ']')) {
            setup.unit = Widen(Trim(std::string_view(title).substr(open + 1, title.size() - open - 2)));
            title = std::string(Trim(std::string_view(title).substr(0, open)));
        }
        setup.title = Widen(title);
        // The display range spans the values; NaN gaps take no part.
        double lo = 0, hi = 0;
        bool any = false;
        for (float x : data[k])
            if (!std::isnan(x)) {
                lo = any ? std::min<double>(lo, x) : x;
                hi = any ? std::max<double>(hi, x) : x;
                any = true;
            }
        setup.displayLow = lo;
        setup.displayHigh = hi > lo ? hi : lo + 1.0;
        recording.AddChannel(std::move(setup));
        ++k;
    }
    const int r = recording.AddRecord(interval, start);
    recording.records[static_cast<std::size_t>(r)].length = static_cast<int64_t>(n);
    for (std::size_t c = 0; c < data.size(); ++c)
        recording.records[static_cast<std::size_t>(r)].channels[c] = SampleStore(std::move(data[c]));
    recording.Validate(name);
    return recording;
}

Recording ImportDelimited(const std::filesystem::path& path, const DelimitedOptions& options)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail(path.string(), "cannot be opened");
    return ParseDelimited(in, path.string(), options);
}

} // namespace vx::host
