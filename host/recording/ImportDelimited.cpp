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

std::string Line(int64_t number)
{
    return "line " + std::to_string(number);
}

// Spaces and tabs around a quoted field's quotes, and around a title.
bool IsBlank(char c, char delimiter)
{
    return c == ' ' || (c == '\t' && delimiter != '\t') || c == '\r';
}

std::string_view TrimBlanks(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front(), 0))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back(), 0))
        s.remove_suffix(1);
    return s;
}

// A row of data may be this long at most: 4096 columns of long numbers or titles fit many times
// over, and a longer line (a file without line ends, a damaged file) is refused after reading
// this much of it rather than held whole.
constexpr std::size_t kMaxRowBytes = std::size_t(1) << 20;
constexpr std::size_t kMaxColumns = 4096;
constexpr char kCandidateDelimiters[] = "\t;,";

// The rows of a text that hold data, read as RFC 4180 describes: a field that opens with a double
// quote runs to the matching quote and may hold the separator, line breaks and doubled quotes
// (""); other fields lose the spaces and the single or double quotes around them. Comment lines
// ('#') and blank lines are passed over, a byte order mark and the carriage return of a CR LF
// line end taken off; a blank line between rows is remembered.
class RowReader {
public:
    RowReader(std::istream& in, const std::string& name)
        : mBuffer(*in.rdbuf())
        , mName(name)
    {
    }

    // The first row, from which the separator is taken unless `delimiter` names it: a tab, ';'
    // or ',' outside quoted fields, in that order.
    bool First(char delimiter)
    {
        if (!ReadRow(delimiter != 0 ? std::string_view(&delimiter, 1) : std::string_view(kCandidateDelimiters)))
            return false;
        mDelimiter = delimiter != 0 ? delimiter : DetectDelimiter();
        const std::size_t count = Split(kMaxColumns);
        if (count > kMaxColumns)
            Fail(mName,
                Line(mLine) + " has " + std::to_string(count) + " columns (at most " + std::to_string(kMaxColumns)
                    + ")");
        return true;
    }

    // The next row with `columns` fields; a row with another number of fields is an error.
    bool Next(std::size_t columns)
    {
        if (!ReadRow(std::string_view(&mDelimiter, mDelimiter != 0 ? 1 : 0), columns))
            return false;
        const std::size_t count = Split(columns);
        if (count != columns)
            Fail(mName, FieldCount(count, false, columns));
        return true;
    }

    char Delimiter() const { return mDelimiter; }
    std::size_t Size() const { return mSpans.size(); }
    std::string_view operator[](std::size_t i) const
    {
        return std::string_view(mText).substr(mSpans[i].first, mSpans[i].second);
    }
    // The line the current row starts on.
    int64_t Number() const { return mLine; }
    // The first blank line since the last call, 0 if none.
    int64_t TakeBlank() { return std::exchange(mBlank, 0); }

private:
    std::string FieldCount(std::size_t count, bool more, std::size_t columns) const
    {
        return Line(mLine) + " has " + (more ? "more than " : "") + std::to_string(count) + " field"
            + (count == 1 && !more ? "" : "s") + " where " + std::to_string(columns) + " are expected";
    }

    // The raw text of the next row that holds data into mRaw, quoted line breaks included. With
    // `columns` given, separators are counted on the way, so that a row far too long is refused
    // by its field count when that is what is wrong with it.
    bool ReadRow(std::string_view separators, std::size_t columns = 0)
    {
        for (;;) {
            if (mBuffer.sgetc() == std::char_traits<char>::eof())
                return false;
            mLine = ++mPhysical;
            mRaw.clear();
            bool quoted = false, fieldStart = true;
            std::size_t fields = 1;
            int64_t quoteLine = 0;
            for (;;) {
                const int got = mBuffer.sbumpc();
                if (got == std::char_traits<char>::eof()) {
                    if (quoted)
                        Fail(mName, Line(quoteLine) + " opens a quoted field that is never closed");
                    break;
                }
                const char c = static_cast<char>(got);
                if (quoted) {
                    if (c == '"') {
                        if (mBuffer.sgetc() == '"')
                            mRaw.push_back(static_cast<char>(mBuffer.sbumpc()));
                        else
                            quoted = false;
                    } else if (c == '\n') {
                        ++mPhysical;
                    }
                } else if (c == '\n') {
                    break;
                } else if (c == '"' && fieldStart) {
                    quoted = true;
                    quoteLine = mPhysical;
                } else if (separators.find(c) != std::string_view::npos) {
                    fieldStart = true;
                    ++fields;
                } else if (!IsBlank(c,
                               separators.empty()           ? 0
                                   : separators.size() == 1 ? separators.front()
                                                            : '\t')
                    && !ContinuesByteOrderMark(c)) {
                    fieldStart = false;
                }
                mRaw.push_back(c);
                if (mRaw.size() > kMaxRowBytes) {
                    if (columns != 0 && fields > columns)
                        Fail(mName, FieldCount(fields - 1, true, columns));
                    Fail(mName, Line(mLine) + " is longer than " + std::to_string(kMaxRowBytes) + " bytes");
                }
            }
            if (mLine == 1 && std::string_view(mRaw).starts_with("\xEF\xBB\xBF"))
                mRaw.erase(0, 3);
            if (!mRaw.empty() && mRaw.back() == '\r' && !quoted)
                mRaw.pop_back();
            if (Trim(mRaw).empty()) {
                if (mBlank == 0)
                    mBlank = mLine;
                continue;
            }
            if (TrimBlanks(mRaw).starts_with('#'))
                continue;
            return true;
        }
    }

    // The byte `c` continues a UTF-8 byte order mark at the start of the text.
    bool ContinuesByteOrderMark(char c) const
    {
        constexpr std::string_view kMark = "\xEF\xBB\xBF";
        return mPhysical == 1 && mRaw.size() < kMark.size() && kMark.starts_with(mRaw) && kMark[mRaw.size()] == c;
    }

    // The first candidate separator found outside quoted fields, in the order of preference.
    char DetectDelimiter() const
    {
        bool seen[3] = {};
        bool quoted = false, fieldStart = true;
        const std::string_view candidates(kCandidateDelimiters);
        for (std::size_t i = 0; i < mRaw.size(); ++i) {
            const char c = mRaw[i];
            if (quoted) {
                if (c == '"') {
                    if (i + 1 < mRaw.size() && mRaw[i + 1] == '"')
                        ++i;
                    else
                        quoted = false;
                }
            } else if (c == '"' && fieldStart) {
                quoted = true;
            } else if (const std::size_t k = candidates.find(c); k != std::string_view::npos) {
                seen[k] = true;
                fieldStart = true;
            } else if (c != ' ') {
                fieldStart = false;
            }
        }
        for (std::size_t k = 0; k < candidates.size(); ++k)
            if (seen[k])
                return candidates[k];
        return 0;
    }

    // Splits mRaw at the separator into the fields' texts; keeps at most `keep` fields and
    // returns how many the row holds.
    std::size_t Split(std::size_t keep)
    {
        mText.clear();
        mSpans.clear();
        const std::string_view raw(mRaw);
        std::size_t count = 0, pos = 0;
        for (;;) {
            ++count;
            std::size_t begin = mText.size();
            while (pos < raw.size() && IsBlank(raw[pos], mDelimiter) && raw[pos] != mDelimiter)
                ++pos;
            if (pos < raw.size() && raw[pos] == '"') {
                // A quoted field: its text is what lies between the quotes, "" standing for ".
                ++pos;
                for (; pos < raw.size(); ++pos) {
                    if (raw[pos] == '"') {
                        if (pos + 1 < raw.size() && raw[pos + 1] == '"')
                            ++pos;
                        else
                            break;
                    }
                    if (count <= keep)
                        mText.push_back(raw[pos]);
                }
                ++pos;
                while (pos < raw.size() && raw[pos] != mDelimiter && IsBlank(raw[pos], mDelimiter))
                    ++pos;
                if (pos < raw.size() && raw[pos] != mDelimiter)
                    Fail(mName,
                        Line(mLine) + ", column " + std::to_string(count)
                            + ": a quoted field is followed by text before the next separator");
            } else {
                const std::size_t next = mDelimiter != 0 ? raw.find(mDelimiter, pos) : std::string_view::npos;
                const std::string_view field = Trim(raw.substr(pos, next - pos));
                if (count <= keep)
                    mText.append(field);
                pos = next;
            }
            if (count <= keep)
                mSpans.emplace_back(begin, mText.size() - begin);
            if (pos >= raw.size())
                break;
            ++pos; // the separator
        }
        return count;
    }

    std::streambuf& mBuffer;
    const std::string& mName;
    std::string mRaw; // the current row as read
    std::string mText; // its fields' texts, one after the other
    std::vector<std::pair<std::size_t, std::size_t>> mSpans; // offset and length of each field
    char mDelimiter = 0;
    int64_t mPhysical = 0; // lines read
    int64_t mLine = 0; // the line the current row starts on
    int64_t mBlank = 0;
};

bool AllNumbers(const RowReader& row)
{
    double v;
    for (std::size_t i = 0; i < row.Size(); ++i)
        if (!ParseNumber(row[i], v))
            return false;
    return true;
}

bool NoNumbers(const RowReader& row)
{
    double v;
    for (std::size_t i = 0; i < row.Size(); ++i)
        if (ParseNumber(row[i], v))
            return false;
    return true;
}

// The columns of a text: separator, titles and units, which column holds the time.
struct Layout {
    char delimiter = 0;
    std::size_t columns = 0;
    bool haveTitles = false;
    std::vector<std::string> titles, units;
    int timeColumn = -1;
};

// Reads the title row and the units row when there are, and leaves `row` at the first data row;
// `haveData` is false when the text ends before one.
Layout ReadLayout(RowReader& row, const std::string& name, const DelimitedOptions& options, bool& haveData)
{
    Layout layout;
    haveData = row.First(options.delimiter);
    if (!haveData)
        return layout;
    layout.delimiter = row.Delimiter();
    layout.columns = row.Size();
    const bool timeFromColumn = options.sampleRate == 0;
    layout.timeColumn = options.timeColumn;
    if (!AllNumbers(row)) {
        layout.haveTitles = true;
        for (std::size_t c = 0; c < row.Size(); ++c)
            layout.titles.emplace_back(TrimBlanks(row[c]));
        haveData = row.Next(layout.columns);
        // A second row of words under the titles is the units row (as the WFDB tools write).
        if (haveData && NoNumbers(row)) {
            for (std::size_t c = 0; c < row.Size(); ++c)
                layout.units.emplace_back(TrimBlanks(row[c]));
            haveData = row.Next(layout.columns);
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
    row.TakeBlank();
    return layout;
}

// The data rows: samples per channel, and the times of the time column with the finest
// resolution they are printed to.
struct Rows {
    std::vector<std::vector<float>> data;
    std::vector<double> times;
    int timeDecimals = 0;
};

void ReadRow(const RowReader& row, const Layout& layout, const std::string& name, Rows& rows)
{
    std::size_t k = 0;
    for (std::size_t c = 0; c < row.Size(); ++c) {
        double v;
        if (!ParseNumber(row[c], v))
            Fail(name,
                Line(row.Number()) + ", column " + std::to_string(c + 1) + ": '"
                    + std::string(Trim(row[c]).substr(0, 40)) + "' is not a number");
        if (static_cast<int>(c) == layout.timeColumn) {
            if (!std::isfinite(v))
                Fail(name, Line(row.Number()) + ": the time is not a finite number");
            if (!rows.times.empty() && !(v > rows.times.back()))
                Fail(name, Line(row.Number()) + ": the time does not increase");
            rows.times.push_back(v);
            rows.timeDecimals = std::max(rows.timeDecimals, Decimals(row[c]));
        } else {
            rows.data[k++].push_back(static_cast<float>(v));
        }
    }
}

Rows ReadRows(
    RowReader& row, const Layout& layout, bool haveData, const std::string& name, const DelimitedOptions& options)
{
    Rows rows;
    rows.data.resize(layout.columns - (layout.timeColumn >= 0 ? 1 : 0));
    while (haveData) {
        ReadRow(row, layout, name, rows);
        haveData = row.Next(layout.columns);
        // Samples placed by their count (a sample rate given) cannot skip a line: a blank one
        // would move every later sample.
        const int64_t blank = row.TakeBlank();
        if (haveData && blank != 0 && options.sampleRate > 0)
            Fail(name, Line(blank) + " is blank: every sample after it would be one sample early");
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
    RowReader row(in, name);
    bool haveData = false;
    const Layout layout = ReadLayout(row, name, options, haveData);
    Rows rows = ReadRows(row, layout, haveData, name, options);
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
