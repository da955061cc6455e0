// Delimited text (CSV, TSV) into the recording model. Numbers are read with std::from_chars, so
// the user's locale never changes how a file is read.
#include "host/recording/Import.h"

#include "host/import/InputFile.h"
#include "host/import/Wfdb.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace vx::host {
namespace {

[[noreturn]] void Fail(const std::string& name, const std::string& what)
{
    throw RecordingError(name + ": " + what);
}

// Spaces, tabs, a carriage return and quotes (double, or the single quotes of the WFDB tools)
// around a field.
std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"' || s.front() == '\''))
        s.remove_prefix(1);
    while (
        !s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '"' || s.back() == '\''))
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

// Digits after the decimal point of a number as printed (0 for an exponent form).
int Decimals(std::string_view text)
{
    text = Trim(text);
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || text.find_first_of("eE") != std::string_view::npos)
        return 0;
    return static_cast<int>(text.size() - point - 1);
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

std::string Lower(std::string_view text)
{
    std::string t(Trim(text));
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return t;
}

bool IsTimeTitle(std::string_view title)
{
    const std::string t = Lower(title);
    return t == "time" || t == "t" || t == "sec" || t == "seconds" || t == "time (s)" || t == "time(s)"
        || t == "time [s]" || t == "elapsed time";
}

bool IsSecondsUnit(std::string_view unit)
{
    const std::string t = Lower(unit);
    return t == "s" || t == "sec" || t == "seconds";
}

bool AllNumbers(const std::vector<std::string_view>& fields)
{
    double v;
    return std::all_of(fields.begin(), fields.end(), [&](std::string_view f) { return ParseNumber(f, v); });
}

std::string Line(int64_t number)
{
    return "line " + std::to_string(number);
}

// The lines of a text that hold data: comments ('#') and blank lines are passed over, a byte
// order mark and a carriage return taken off. A blank line between data lines is remembered.
class LineReader {
public:
    explicit LineReader(std::istream& in)
        : mIn(in)
    {
    }
    bool Next(std::string_view& view)
    {
        while (std::getline(mIn, mLine)) {
            ++mNumber;
            view = mLine;
            if (mNumber == 1 && view.starts_with("\xEF\xBB\xBF"))
                view.remove_prefix(3);
            if (!view.empty() && view.back() == '\r')
                view.remove_suffix(1);
            if (Trim(view).empty()) {
                if (mBlank == 0)
                    mBlank = mNumber;
                continue;
            }
            if (Trim(view).front() == '#')
                continue;
            return true;
        }
        return false;
    }
    int64_t Number() const { return mNumber; }
    // The first blank line since the last call, 0 if none.
    int64_t TakeBlank() { return std::exchange(mBlank, 0); }

private:
    std::istream& mIn;
    std::string mLine;
    int64_t mNumber = 0;
    int64_t mBlank = 0;
};

// The columns of a text: separator, titles and units, which column holds the time.
struct Layout {
    char delimiter = 0;
    std::size_t columns = 0;
    bool haveTitles = false;
    std::vector<std::string> titles, units;
    int timeColumn = -1;
};

char DetectDelimiter(std::string_view line)
{
    return line.find('\t') != std::string_view::npos ? '\t'
        : line.find(';') != std::string_view::npos   ? ';'
        : line.find(',') != std::string_view::npos   ? ','
                                                     : 0;
}

// Reads the title row and the units row when there are, and leaves `fields` at the first data
// line (empty when the text ends before one).
Layout ReadLayout(LineReader& lines, const std::string& name, const DelimitedOptions& options,
    std::vector<std::string_view>& fields, bool& haveData)
{
    Layout layout;
    std::string_view view;
    haveData = lines.Next(view);
    if (!haveData)
        return layout;
    layout.delimiter = options.delimiter != 0 ? options.delimiter : DetectDelimiter(view);
    fields = Split(view, layout.delimiter);
    layout.columns = fields.size();
    if (layout.columns > 4096)
        Fail(name, Line(lines.Number()) + " has " + std::to_string(layout.columns) + " columns (at most 4096)");
    const bool timeFromColumn = options.sampleRate == 0;
    layout.timeColumn = options.timeColumn;
    if (!AllNumbers(fields)) {
        layout.haveTitles = true;
        for (std::string_view f : fields)
            layout.titles.emplace_back(Trim(f));
        haveData = lines.Next(view);
        if (haveData) {
            fields = Split(view, layout.delimiter);
            // A second row of words under the titles is the units row (as the WFDB tools write).
            if (fields.size() == layout.columns && std::none_of(fields.begin(), fields.end(), [](std::string_view f) {
                    double v;
                    return ParseNumber(f, v);
                })) {
                for (std::string_view f : fields)
                    layout.units.emplace_back(Trim(f));
                haveData = lines.Next(view);
                if (haveData)
                    fields = Split(view, layout.delimiter);
            }
        }
        // The time column, by its title or its unit (with a sample rate given it is no channel).
        if (layout.timeColumn < 0)
            for (std::size_t c = 0; c < layout.columns && layout.timeColumn < 0; ++c)
                if (IsTimeTitle(layout.titles[c]) || (!layout.units.empty() && IsSecondsUnit(layout.units[c])))
                    layout.timeColumn = static_cast<int>(c);
    }
    if (layout.timeColumn >= static_cast<int>(layout.columns))
        Fail(name,
            "the time column " + std::to_string(layout.timeColumn + 1) + " does not exist (the file has "
                + std::to_string(layout.columns) + " columns)");
    if (timeFromColumn && layout.timeColumn < 0)
        Fail(name, "has no time column: give a sample rate or name a time column");
    if (layout.columns - (layout.timeColumn >= 0 ? 1 : 0) == 0)
        Fail(name, "has no channel columns");
    lines.TakeBlank();
    return layout;
}

// The data rows: samples per channel, and the times of the time column with the finest
// resolution they are printed to.
struct Rows {
    std::vector<std::vector<float>> data;
    std::vector<double> times;
    int timeDecimals = 0;
};

void ReadRow(const std::vector<std::string_view>& fields, const Layout& layout, int64_t lineNumber,
    const std::string& name, Rows& rows)
{
    if (fields.size() != layout.columns)
        Fail(name,
            Line(lineNumber) + " has " + std::to_string(fields.size()) + " fields where "
                + std::to_string(layout.columns) + " are expected");
    std::size_t k = 0;
    for (std::size_t c = 0; c < fields.size(); ++c) {
        double v;
        if (!ParseNumber(fields[c], v))
            Fail(name,
                Line(lineNumber) + ", column " + std::to_string(c + 1) + ": '"
                    + std::string(Trim(fields[c]).substr(0, 40)) + "' is not a number");
        if (static_cast<int>(c) == layout.timeColumn) {
            if (!std::isfinite(v))
                Fail(name, Line(lineNumber) + ": the time is not a finite number");
            if (!rows.times.empty() && !(v > rows.times.back()))
                Fail(name, Line(lineNumber) + ": the time does not increase");
            rows.times.push_back(v);
            rows.timeDecimals = std::max(rows.timeDecimals, Decimals(fields[c]));
        } else {
            rows.data[k++].push_back(static_cast<float>(v));
        }
    }
}

Rows ReadRows(LineReader& lines, const Layout& layout, std::vector<std::string_view> fields, bool haveData,
    const std::string& name, const DelimitedOptions& options)
{
    Rows rows;
    rows.data.resize(layout.columns - (layout.timeColumn >= 0 ? 1 : 0));
    std::string_view view;
    while (haveData) {
        ReadRow(fields, layout, lines.Number(), name, rows);
        haveData = lines.Next(view);
        // Samples placed by their count (a sample rate given) cannot skip a line: a blank one
        // would move every later sample.
        const int64_t blank = lines.TakeBlank();
        if (haveData && blank != 0 && options.sampleRate > 0)
            Fail(name, Line(blank) + " is blank: every sample after it would be one sample early");
        if (haveData)
            fields = Split(view, layout.delimiter);
    }
    return rows;
}

// The sample interval and the start: from the sample rate, or from the time column, whose times
// must be evenly spaced within the resolution they are printed to.
void TimeBase(const Rows& rows, const Layout& layout, const std::string& name, const DelimitedOptions& options,
    double& interval, double& start)
{
    interval = options.sampleRate > 0 ? 1.0 / options.sampleRate : 0.0;
    start = 0.0;
    const std::vector<double>& times = rows.times;
    if (layout.timeColumn >= 0 && options.sampleRate == 0) {
        if (times.size() < 2)
            Fail(name, "needs at least two rows to take the sample interval from its time column");
        interval = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
        start = times.front();
        const double resolution = rows.timeDecimals > 0 ? std::pow(10.0, -rows.timeDecimals) : 0.0;
        // The samples are stored on a regular grid, so the time column must be one.
        for (std::size_t i = 1; i < times.size(); ++i) {
            const double step = times[i] - times[i - 1];
            if (std::abs(step - interval) > 0.01 * interval + resolution * (1 + 1e-9))
                Fail(name,
                    "the time column is not evenly spaced (step " + std::to_string(step) + " s at sample "
                        + std::to_string(i + 1) + ", " + std::to_string(interval) + " s on average)");
        }
    }
    if (!(interval > 0) || !std::isfinite(interval))
        Fail(name, "has no usable sample interval");
}

void AddChannels(Recording& recording, const Layout& layout, const Rows& rows)
{
    std::size_t k = 0;
    for (std::size_t c = 0; c < layout.columns; ++c) {
        if (static_cast<int>(c) == layout.timeColumn)
            continue;
        ChannelSetup setup;
        std::string title = layout.haveTitles ? layout.titles[c] : "Channel " + std::to_string(k + 1);
        // "ECG (mV)" and "ECG [mV]": the bracketed part is the unit; a units row gives it too.
        const std::size_t open = title.find_last_of("([");
        if (open != std::string::npos && open > 0 && (title.back() == ')' || title.back() == ']')) {
            setup.unit = Widen(Trim(std::string_view(title).substr(open + 1, title.size() - open - 2)));
            title = std::string(Trim(std::string_view(title).substr(0, open)));
        }
        if (!layout.units.empty() && !layout.units[c].empty())
            setup.unit = Widen(layout.units[c]);
        setup.title = Widen(title);
        // The display range spans the values; NaN gaps take no part.
        double lo = 0, hi = 0;
        bool any = false;
        for (float x : rows.data[k])
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
}

} // namespace

Recording ParseDelimited(std::istream& in, const std::string& name, const DelimitedOptions& options)
{
    if (options.sampleRate < 0 || !std::isfinite(options.sampleRate))
        Fail(name, "the sample rate must be positive");
    LineReader lines(in);
    std::vector<std::string_view> fields;
    bool haveData = false;
    const Layout layout = ReadLayout(lines, name, options, fields, haveData);
    Rows rows = ReadRows(lines, layout, fields, haveData, name, options);
    if (in.bad())
        Fail(name, "cannot be read");
    if (rows.data.empty() || rows.data.front().empty())
        Fail(name, "holds no samples");
    double interval = 0, start = 0;
    TimeBase(rows, layout, name, options, interval, start);

    Recording recording;
    AddChannels(recording, layout, rows);
    const int r = recording.AddRecord(interval, start);
    recording.records[static_cast<std::size_t>(r)].length = static_cast<int64_t>(rows.data.front().size());
    for (std::size_t c = 0; c < rows.data.size(); ++c)
        recording.records[static_cast<std::size_t>(r)].channels[c] = SampleStore(std::move(rows.data[c]));
    recording.Validate(name);
    return recording;
}

Recording ImportDelimited(const std::filesystem::path& path, const DelimitedOptions& options)
{
    try {
        import::InputFile file(path);
        Recording recording = ParseDelimited(file.Stream(), file.Name(), options);
        recording.files.push_back(path);
        return recording;
    } catch (const import::ImportError& e) {
        throw RecordingError(e.what());
    }
}

} // namespace vx::host
