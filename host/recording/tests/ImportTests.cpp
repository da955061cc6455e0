#include "host/calc/CalcError.h"
#include "host/import/Wfdb.h"
#include "host/recording/Import.h"
#include "host/recording/tests/EdfWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace vx::host;
using vx::host::test::EdfLayout;
using vx::host::test::EdfSignalLayout;

namespace {

fs::path TestData()
{
    const char* env = std::getenv("VX_TEST_DATA");
    return env ? fs::path(env) : fs::path(VX_TEST_DATA_DIR);
}

#ifdef VX_SHARED_DATA_DIR
// The shared data folder beside the repository (or beside the folder of its worktrees), found when
// the build was configured; VX_SHARED_DATA overrides it.
fs::path SharedData()
{
    const char* env = std::getenv("VX_SHARED_DATA");
    return env ? fs::path(env) : fs::path(VX_SHARED_DATA_DIR);
}
#endif

class TempDir {
public:
    TempDir()
    {
        mPath = fs::temp_directory_path() / ("vxrec-" + std::to_string(::getpid()) + "-" + std::to_string(sCounter++));
        fs::create_directories(mPath);
    }
    ~TempDir() { fs::remove_all(mPath); }
    const fs::path& Path() const { return mPath; }

private:
    static inline int sCounter = 0;
    fs::path mPath;
};

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RecordingError& e) {
        return e.what();
    }
    return "(no error)";
}

std::size_t BeatCount(const Recording& r)
{
    return r.eventChannels.empty() ? 0 : r.eventChannels.front().Count(0);
}

// --- WFDB --------------------------------------------------------------------------------------

TEST(WfdbImport, Mitdb100HasTheDocumentedShapeGainsAndBeats)
{
    const Recording r = ImportWfdb(TestData() / "mitdb" / "100.hea");
    ASSERT_EQ(r.ChannelCount(), 2);
    ASSERT_EQ(r.RecordCount(), 1);
    EXPECT_EQ(r.records[0].length, 650000);
    EXPECT_DOUBLE_EQ(1.0 / r.records[0].interval, 360.0);
    EXPECT_EQ(r.channels[0].title, L"MLII");
    EXPECT_EQ(r.channels[1].title, L"V5");
    for (const ChannelSetup& c : r.channels) {
        EXPECT_EQ(c.unit, L"mV");
        EXPECT_DOUBLE_EQ(c.factor, 1.0 / 200.0); // gain 200 ADC units per mV
        EXPECT_DOUBLE_EQ(c.offset, -1024.0); // baseline at the ADC zero 1024
    }
    // First samples from the header's "first value" column: 995 and 1011.
    float first[2];
    const_cast<Recording&>(r).ReadChannel(0, 0, 0, std::span(first, 1), true);
    const_cast<Recording&>(r).ReadChannel(1, 0, 0, std::span(first + 1, 1), true);
    EXPECT_EQ(first[0], 995.0f);
    EXPECT_EQ(first[1], 1011.0f);
    r.ReadPhysical(0, 0, 0, std::span(first, 1));
    EXPECT_FLOAT_EQ(first[0], (995.0f - 1024.0f) / 200.0f);
    // The samples are stored once, as 16-bit values.
    EXPECT_TRUE(r.records[0].channels[0].IsInt16());
    EXPECT_LT(r.SampleBytes(), 2u * 650000u * 2u + 4096u);

    ASSERT_EQ(r.eventChannels.size(), 1u);
    EXPECT_EQ(r.eventChannels[0].title, L"atr");
    EXPECT_EQ(BeatCount(r), 2273u);
    // Beat positions ascend and lie inside the record.
    const EventChannel& e = r.eventChannels[0];
    for (std::size_t i = 1; i < e.Count(0); ++i)
        ASSERT_LT(e.Position(0, i - 1), e.Position(0, i));
    EXPECT_LT(e.Position(0, e.Count(0) - 1), 650000);
    // Non-beat annotations (rhythm "(N", ...) are kept as comments.
    EXPECT_FALSE(r.comments.empty());
}

#ifdef VX_SHARED_DATA_DIR
// Built where the shared data folder is (a fresh clone has none).
TEST(WfdbImport, EverySharedRecordLoadsWithItsShapeAndBeatCount)
{
    const fs::path root = SharedData() / "ecg";
    ASSERT_TRUE(fs::exists(root)) << root;
    const struct {
        const char* path;
        std::size_t beats;
    } cases[] = { { "mitdb/100.hea", 2273 }, { "mitdb/103.hea", 2084 }, { "mitdb/105.hea", 2572 },
        { "mitdb/106.hea", 2027 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Recording r = ImportWfdb(root / c.path);
        ASSERT_EQ(r.ChannelCount(), 2);
        EXPECT_EQ(r.records[0].length, 650000);
        EXPECT_DOUBLE_EQ(1.0 / r.records[0].interval, 360.0);
        for (const ChannelSetup& ch : r.channels)
            EXPECT_DOUBLE_EQ(ch.factor, 1.0 / 200.0);
        EXPECT_EQ(BeatCount(r), c.beats);
    }
    // An annotation-only Holter record: no channels, one record as long as its beats reach.
    const Recording nsr = ImportWfdb(root / "nsr2db/nsr001.hea", { "ecg" });
    EXPECT_EQ(nsr.ChannelCount(), 0);
    ASSERT_EQ(nsr.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(1.0 / nsr.records[0].interval, 128.0);
    EXPECT_GT(BeatCount(nsr), 100000u); // "about 106,000 beats"
    EXPECT_LT(BeatCount(nsr), 112000u);
    EXPECT_GT(nsr.records[0].length, int64_t(128) * 3600 * 20); // about 24 hours
}
#endif

TEST(WfdbImport, DamagedFilesNameTheFileAndTheProblem)
{
    TempDir dir;
    const fs::path src = TestData() / "mitdb";
    for (const char* f : { "100.hea", "100.dat", "100.atr" })
        fs::copy_file(src / f, dir.Path() / f);
    // A signal file cut short.
    fs::resize_file(dir.Path() / "100.dat", 1000);
    std::string e = ErrorOf([&] { ImportWfdb(dir.Path() / "100.hea"); });
    EXPECT_NE(e.find("100.dat"), std::string::npos) << e;
    // An annotation file cut inside its words is optional: reported, and the record still loads
    // with every sample, without those annotations.
    fs::copy_file(src / "100.dat", dir.Path() / "100.dat", fs::copy_options::overwrite_existing);
    fs::resize_file(dir.Path() / "100.atr", 1001);
    const Recording r = ImportWfdb(dir.Path() / "100.hea");
    EXPECT_EQ(r.records.at(0).length, 650000);
    EXPECT_TRUE(r.eventChannels.empty());
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("100.atr"), std::string::npos) << r.warnings[0];
    EXPECT_NE(r.warnings[0].find("truncated"), std::string::npos) << r.warnings[0];
    EXPECT_NE(r.warnings[0].find("without these annotations"), std::string::npos) << r.warnings[0];
    // A missing header.
    e = ErrorOf([&] { ImportWfdb(dir.Path() / "101.hea"); });
    EXPECT_NE(e.find("101.hea"), std::string::npos) << e;
}

// --- EDF -------------------------------------------------------------------------------------

std::string EdfBytes(const EdfLayout& layout)
{
    std::ostringstream out;
    vx::host::test::WriteEdf(out, layout);
    return out.str();
}

Recording ParseEdfBytes(const std::string& bytes, const std::string& name = "t.edf")
{
    std::istringstream in(bytes);
    return ParseEdf(in, name);
}

EdfLayout TwoRateSpec()
{
    EdfLayout layout;
    layout.records = 3;
    layout.duration = 0.5;
    layout.signals = { EdfSignalLayout {}, EdfSignalLayout {} };
    layout.signals[0].label = "ECG";
    layout.signals[0].samplesPerRecord = 100; // 200 Hz
    layout.signals[1].label = "Resp";
    layout.signals[1].unit = "uV";
    layout.signals[1].samplesPerRecord = 25; // 50 Hz
    layout.signals[1].physMin = 0;
    layout.signals[1].physMax = 4095;
    layout.signals[1].digMin = 0;
    layout.signals[1].digMax = 4095;
    layout.sample = [](std::size_t s, int64_t r, int i) {
        return static_cast<int16_t>(s == 0 ? r * 100 + i - 2048 : r * 25 + i);
    };
    return layout;
}

TEST(EdfImport, SignalsKeepTheirRatesAndScaling)
{
    const Recording r = ParseEdfBytes(EdfBytes(TwoRateSpec()));
    ASSERT_EQ(r.ChannelCount(), 2);
    ASSERT_EQ(r.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(r.records[0].interval, 1.0 / 200.0);
    EXPECT_EQ(r.records[0].length, 300);
    EXPECT_EQ(r.ChannelLength(0, 0), 300);
    EXPECT_EQ(r.ChannelLength(1, 0), 75);
    EXPECT_EQ(r.channels[1].ticksPerSample, 4);
    EXPECT_DOUBLE_EQ(r.ChannelInfo(1, 0).interval, 1.0 / 50.0);
    EXPECT_EQ(r.channels[1].unit, L"uV");
    // Digital -2048..2047 maps onto physical -10..10: the ends land on the ends.
    float v[300];
    r.ReadPhysical(0, 0, 0, std::span(v, 300));
    EXPECT_NEAR(v[0], -10.0f, 1e-5);
    EXPECT_NEAR(v[299], -10.0 + 299 * 20.0 / 4095.0, 1e-4);
    r.ReadPhysical(1, 0, 0, std::span(v, 75));
    for (int i = 0; i < 75; ++i)
        ASSERT_NEAR(v[i], i, 1e-4); // data records joined in order
    double lo, hi;
    ASSERT_TRUE(r.PhysicalRange(0, lo, hi));
    EXPECT_NEAR(lo, -10.0, 1e-5);
}

std::string Tal(double start, const std::string& annotation = {}, double onset = 0)
{
    char b[64];
    std::snprintf(b, sizeof b, "%+g", start);
    std::string s = std::string(b) + "\x14\x14";
    s.push_back('\0');
    if (!annotation.empty()) {
        std::snprintf(b, sizeof b, "%+g", onset);
        s += std::string(b)
            + "\x15"
              "0.5\x14"
            + annotation + "\x14";
        s.push_back('\0');
    }
    return s;
}

TEST(EdfImport, EdfPlusAnnotationsBecomeCommentsAndGapsSplitRecords)
{
    EdfLayout layout;
    layout.reserved = "EDF+D";
    layout.records = 4;
    layout.signals = { EdfSignalLayout {}, EdfSignalLayout {} };
    layout.signals[1].label = "EDF Annotations";
    layout.signals[1].samplesPerRecord = 30;
    // Data records at 0, 1, then a gap, 10, 11 seconds; an annotation at 10.25 s.
    layout.annotations = [](int64_t r) {
        const double starts[] = { 0, 1, 10, 11 };
        return r == 2 ? Tal(starts[r], "Arousal", 10.25) : Tal(starts[r]);
    };
    const Recording r = ParseEdfBytes(EdfBytes(layout));
    ASSERT_EQ(r.ChannelCount(), 1); // the annotation signal is no channel
    ASSERT_EQ(r.RecordCount(), 2);
    EXPECT_EQ(r.records[0].length, 200);
    EXPECT_EQ(r.records[1].length, 200);
    EXPECT_DOUBLE_EQ(r.records[1].startTime, 10.0);
    ASSERT_EQ(r.comments.size(), 1u);
    EXPECT_EQ(r.comments[0].text, L"Arousal");
    EXPECT_EQ(r.comments[0].record, 1);
    EXPECT_EQ(r.comments[0].position, 25); // 0.25 s at 100 Hz

    // Marked continuous, its gap is damage, not a second record.
    layout.reserved = "EDF+C";
    const std::string e = ErrorOf([&] { ParseEdfBytes(EdfBytes(layout), "gap.edf"); });
    EXPECT_NE(e.find("gap.edf: data record 3 does not follow"), std::string::npos) << e;
    layout.annotations = [](int64_t r) { return Tal(static_cast<double>(r)); };
    EXPECT_EQ(ParseEdfBytes(EdfBytes(layout)).RecordCount(), 1);
}

TEST(EdfImport, DamagedFilesGiveClearErrors)
{
    const std::string good = EdfBytes(TwoRateSpec());
    const auto patched = [&](std::size_t at, const std::string& text) {
        std::string b = good;
        b.replace(at, text.size(), text);
        return b;
    };
    const std::size_t ns = 2;
    const struct {
        const char* what;
        std::string bytes;
        const char* expected;
    } cases[] = {
        { "short header", good.substr(0, 100), "shorter than the 256-byte" },
        { "cut inside the data", good.substr(0, good.size() - 7), "truncated" },
        { "extra bytes", good + "xx", "after its last data record" },
        { "not EDF", patched(0, "1       "), "not an EDF file" },
        { "header size", patched(184, "999     "), "header size" },
        { "bad number", patched(236, "abc     "), "number of data records" },
        { "no signals", patched(252, "0   "), "signals" },
        { "inverted digital range", patched(256 + 120 * ns, "2047    -2048   "), "digital range" },
        { "zero samples", patched(256 + 216 * ns, "0       "), "samples per data record" },
        { "rates that do not divide", patched(256 + 216 * ns + 8, "30      "), "does not divide" },
        { "more records promised", patched(236, "4       "), "promises 4 data records" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string e = ErrorOf([&] { ParseEdfBytes(c.bytes, "broken.edf"); });
        EXPECT_EQ(e.rfind("broken.edf: ", 0), 0u) << e;
        EXPECT_NE(e.find(c.expected), std::string::npos) << e;
    }
    // An unknown record count (-1) is taken from the file size.
    EXPECT_EQ(ParseEdfBytes(patched(236, "-1      ")).records[0].length, 300);
}

TEST(EdfImport, ManyDataRecordsKeepOnlyTheirStretches)
{
    // Data records of one sample each, and EDF+D files whose every data record is a stretch of
    // its own: the records are held as stretches, and too many stretches are refused.
    EdfSignalLayout ecg;
    ecg.samplesPerRecord = 1;
    EdfSignalLayout annotations;
    annotations.label = "EDF Annotations";
    annotations.samplesPerRecord = 12;
    const auto layoutOf = [&](const char* reserved, int64_t records, double every, bool annotate) {
        EdfLayout layout;
        layout.reserved = reserved;
        layout.records = records;
        layout.duration = 0.25;
        layout.signals = { ecg };
        layout.sample = [](std::size_t, int64_t r, int) { return static_cast<int16_t>(r % 2000 - 1000); };
        if (*reserved) {
            layout.signals.push_back(annotations);
            layout.annotations = [every, annotate](int64_t r) {
                return Tal(
                    3.0 + static_cast<double>(r) * every, annotate ? "x" : "", 3.0 + static_cast<double>(r) * every);
            };
        }
        return layout;
    };
    const struct {
        const char* what;
        EdfLayout layout;
        int records; // 0: refused with `expected`
        const char* expected;
    } cases[] = {
        { "EDF", layoutOf("", 200000, 0, false), 1, "" },
        { "EDF+C", layoutOf("EDF+C", 20000, 0.25, false), 1, "" },
        { "EDF+C with a stretch per record", layoutOf("EDF+C", 3, 1.0, false), 0, "data record 2 does not follow" },
        { "EDF+D, as many stretches as can be", layoutOf("EDF+D", 65536, 1.0, true), 65536, "" },
        { "EDF+D, a stretch too many", layoutOf("EDF+D", 65537, 1.0, false), 0,
            "its data records form more than 65536 separate stretches of time" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = EdfBytes(c.layout);
        if (c.records == 0) {
            const std::string e = ErrorOf([&] { ParseEdfBytes(bytes, "many.edf"); });
            EXPECT_EQ(e.rfind("many.edf: ", 0), 0u) << e;
            EXPECT_NE(e.find(c.expected), std::string::npos) << e;
            continue;
        }
        const Recording r = ParseEdfBytes(bytes);
        ASSERT_EQ(r.RecordCount(), c.records);
        const double first = c.layout.reserved.empty() ? 0.0 : 3.0;
        EXPECT_DOUBLE_EQ(r.records.front().startTime, first);
        EXPECT_EQ(r.records.front().length * c.records, c.layout.records);
        EXPECT_DOUBLE_EQ(r.records.back().startTime, c.records == 1 ? first : first + (c.records - 1) * 1.0);
        int16_t last;
        std::memcpy(&last, bytes.data() + bytes.size() - (c.layout.reserved.empty() ? 2 : 26), 2);
        float v;
        r.ReadPhysical(0, c.records - 1, r.records.back().length - 1, std::span(&v, 1));
        EXPECT_NEAR(v, r.channels[0].ToPhysical(last), 1e-5);
        // Each annotation lands on the stretch that holds its onset.
        if (c.records > 1 && !r.comments.empty()) {
            ASSERT_EQ(r.comments.size(), static_cast<std::size_t>(c.records));
            EXPECT_EQ(r.comments.back().record, c.records - 1);
            EXPECT_EQ(r.comments.back().position, 0);
        }
    }
}

TEST(EdfImport, ReadsFromAFile)
{
    TempDir dir;
    const fs::path p = dir.Path() / "a.EDF";
    {
        std::ofstream out(p, std::ios::binary);
        vx::host::test::WriteEdf(out, TwoRateSpec());
    }
    EXPECT_EQ(ImportFile(p).ChannelCount(), 2);
    EXPECT_NE(ErrorOf([&] { ImportEdf(dir.Path() / "missing.edf"); }).find("missing.edf: cannot be opened"),
        std::string::npos);
}

// --- Delimited text ------------------------------------------------------------------------------

Recording ParseText(const std::string& text, DelimitedOptions options = {})
{
    std::istringstream in(text);
    return ParseDelimited(in, "t.csv", options);
}

TEST(DelimitedImport, TimeColumnTitlesAndUnits)
{
    const Recording r
        = ParseText("# exported\nTime (s),ECG (mV),Resp [a.u.]\n0.000,1.5,2\n0.004,-1.5,3\n\n0.008,0.25,4\n");
    ASSERT_EQ(r.ChannelCount(), 2);
    EXPECT_EQ(r.channels[0].title, L"ECG");
    EXPECT_EQ(r.channels[0].unit, L"mV");
    EXPECT_EQ(r.channels[1].title, L"Resp");
    EXPECT_EQ(r.channels[1].unit, L"a.u.");
    EXPECT_NEAR(1.0 / r.records[0].interval, 250.0, 1e-9);
    EXPECT_EQ(r.records[0].length, 3);
    float v[3];
    r.ReadPhysical(0, 0, 0, std::span(v, 3));
    EXPECT_EQ(v[1], -1.5f);
    EXPECT_EQ(v[2], 0.25f);
}

TEST(DelimitedImport, TheCsvOfTheWfdbTools)
{
    // Quoted titles, a units row, the elapsed time printed to the millisecond at 360 Hz (steps of
    // 0.002 and 0.003 s); trailing blank lines.
    std::string text = "'Elapsed time','MLII','V5'\n'seconds','mV','mV'\n";
    char line[64];
    for (int i = 0; i < 50; ++i) {
        std::snprintf(line, sizeof line, "'%.3f',%d,-1\n", i / 360.0, i);
        text += line;
    }
    const Recording r = ParseText(text + "\n\n");
    ASSERT_EQ(r.ChannelCount(), 2);
    EXPECT_EQ(r.channels[0].title, L"MLII");
    EXPECT_EQ(r.channels[0].unit, L"mV");
    EXPECT_EQ(r.records[0].length, 50);
    EXPECT_NEAR(1.0 / r.records[0].interval, 360.0, 1.0); // the rate of times printed to the millisecond
    // With a sample rate the time column is still no channel.
    DelimitedOptions rate;
    rate.sampleRate = 360;
    const Recording withRate = ParseText(text, rate);
    ASSERT_EQ(withRate.ChannelCount(), 2);
    float v;
    withRate.ReadPhysical(0, 0, 7, std::span(&v, 1));
    EXPECT_EQ(v, 7.0f);
}

TEST(DelimitedImport, SampleRateOptionAndSeparators)
{
    DelimitedOptions rate;
    rate.sampleRate = 100;
    for (const char* text : { "1\t2\n3\t4\n", "1;2\r\n3;4\r\n", "1,2\n3,4" }) {
        SCOPED_TRACE(text);
        const Recording r = ParseText(text, rate);
        ASSERT_EQ(r.ChannelCount(), 2);
        EXPECT_EQ(r.records[0].length, 2);
        EXPECT_DOUBLE_EQ(r.records[0].interval, 0.01);
        float v;
        r.ReadPhysical(1, 0, 1, std::span(&v, 1));
        EXPECT_EQ(v, 4.0f);
    }
    // NaN gaps load as NaN and take no part in the ranges.
    const Recording gaps = ParseText("1\nnan\n-3\n", rate);
    double lo = 0, hi = 0;
    ASSERT_TRUE(gaps.PhysicalRange(0, lo, hi));
    EXPECT_EQ(lo, -3.0);
    EXPECT_EQ(hi, 1.0);
    EXPECT_EQ(gaps.channels[0].displayLow, -3.0);
    // An explicit time column with a rate given: the column is not a channel, the rate decides.
    rate.timeColumn = 0;
    EXPECT_EQ(ParseText("0,5\n1,6\n", rate).ChannelCount(), 1);
}

TEST(DelimitedImport, BadTextGivesClearErrors)
{
    DelimitedOptions rate;
    rate.sampleRate = 10;
    const struct {
        const char* text;
        DelimitedOptions options;
        const char* expected;
    } cases[] = {
        { "a,b\n1,2\n", {}, "no time column" },
        { "time,x\n0,1\n1,2,3\n", {}, "line 3 has 3 fields where 2 are expected" },
        { "time,x\n0,1\n1,abc\n", {}, "line 3, column 2: 'abc' is not a number" },
        { "time,x\n0,1\n1,2\n5,3\n", {}, "not evenly spaced" },
        { "time,x\n0,1\n0,2\n", {}, "does not increase" },
        { "time,x\n0,1\n", {}, "at least two rows" },
        { "# nothing\n", rate, "holds no samples" },
        { "x\n", rate, "holds no samples" },
        { "1,2\n", DelimitedOptions { 10, 5, 0 }, "time column 6 does not exist" },
        { "1\n", DelimitedOptions { -1, -1, 0 }, "sample rate must be positive" },
        // A blank line among samples placed by the rate would move every later one.
        { "x\n1\n2\n\n3\n\n", rate, "line 4 is blank" },
        // Printed to the millisecond, a step may be off by one; not by two.
        { "time,x\n0.000,1\n0.001,2\n0.005,3\n0.006,4\n", {}, "not evenly spaced" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string e = ErrorOf([&] { ParseText(c.text, c.options); });
        EXPECT_EQ(e.rfind("t.csv: ", 0), 0u) << e;
        EXPECT_NE(e.find(c.expected), std::string::npos) << e;
    }
}

// A text that never ends: `head`, then `repeat` over and over; counts the bytes it gave.
class EndlessText : public std::streambuf {
public:
    EndlessText(std::string head, std::string repeat)
        : mHead(std::move(head))
        , mRepeat(std::move(repeat))
    {
    }
    std::size_t Given() const { return mGiven; }

protected:
    int_type underflow() override
    {
        mChunk = mGiven == 0 ? mHead : std::string();
        while (mChunk.size() < 4096)
            mChunk += mRepeat;
        mGiven += mChunk.size();
        setg(mChunk.data(), mChunk.data(), mChunk.data() + mChunk.size());
        return traits_type::to_int_type(mChunk.front());
    }

private:
    std::string mHead, mRepeat, mChunk;
    std::size_t mGiven = 0;
};

TEST(DelimitedImport, HostileTextIsRefusedEarlyWithItsLine)
{
    // Lines without end: each is refused after at most a little more than a MiB has been read.
    const struct {
        const char* head;
        const char* repeat;
        const char* expected;
    } endless[] = {
        { "time,a\n0,", "1,", "line 2 has more than" },
        { "time,a\n0,1\n1,", "7", "line 3 is longer than 1048576 bytes" },
        { "time,\"", "a", "line 1 is longer than 1048576 bytes" },
        { "# a comment\n", ",", "line 2 is longer than 1048576 bytes" },
    };
    for (const auto& c : endless) {
        SCOPED_TRACE(c.head);
        EndlessText text(c.head, c.repeat);
        std::istream in(&text);
        const std::string e = ErrorOf([&] { ParseDelimited(in, "t.csv"); });
        EXPECT_EQ(e.rfind("t.csv: ", 0), 0u) << e;
        EXPECT_NE(e.find(c.expected), std::string::npos) << e;
        EXPECT_LT(text.Given(), std::size_t(2) << 20);
    }

    std::string wide = "time";
    for (int c = 0; c < 4096; ++c)
        wide += ",x";
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        { "time,a\n0,1\n1,1,1\n", "line 3 has 3 fields where 2 are expected" },
        { "time,a\n0,1\n1\n", "line 3 has 1 field where 2 are expected" },
        { wide + "\n0" + std::string(4096, ',') + "\n", "line 1 has 4097 columns (at most 4096)" },
        { "time,\"ECG\n0,1\n1,2\n", "line 1 opens a quoted field that is never closed" },
        { "time,a\n0,\"1\"2\n", "line 2, column 2: a quoted field is followed by text" },
        // A quoted line break moves the lines after it on.
        { "\"time\",\"two\nlines\"\n0,1\n1,x\n", "line 4, column 2: 'x' is not a number" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const std::string e = ErrorOf([&] { ParseText(c.text); });
        EXPECT_EQ(e.rfind("t.csv: ", 0), 0u) << e;
        EXPECT_NE(e.find(c.expected), std::string::npos) << e;
    }
}

TEST(DelimitedImport, QuotedFieldsHoldSeparatorsQuotesAndLineBreaks)
{
    const struct {
        const char* text;
        std::wstring title, unit;
    } cases[] = {
        { "\"time\",\"ECG, lead II (mV)\"\n0,1\n0.5,2\n", L"ECG, lead II", L"mV" },
        // The separator is found outside quotes: a ';' inside a title does not make it one.
        { "time,\"a;b\"\n0,1\n0.5,2\n", L"a;b", L"" },
        { "time;\"x, y\"\n0;1\n0.5;2\n", L"x, y", L"" },
        { "time,\"Lead \"\"II\"\"\"\n0,1\n0.5,2\n", L"Lead \"II\"", L"" },
        { "time,\"two\r\nlines\"\r\n0,1\r\n0.5,2\r\n", L"two\r\nlines", L"" },
        { "\xEF\xBB\xBF\"time\",  \"ECG\"  \n\"0\",\"1\"\n\"0.5\",\"2\"\n", L"ECG", L"" },
        { "time,\"ECG\",\"Resp\"\ns,\"mV, peak\",\n0,1,3\n0.5,2,4\n", L"ECG", L"mV, peak" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Recording r = ParseText(c.text);
        ASSERT_GE(r.ChannelCount(), 1);
        EXPECT_EQ(r.channels[0].title, c.title);
        EXPECT_EQ(r.channels[0].unit, c.unit);
        ASSERT_EQ(r.records[0].length, 2);
        EXPECT_DOUBLE_EQ(r.records[0].interval, 0.5);
        float v[2];
        r.ReadPhysical(0, 0, 0, std::span(v, 2));
        EXPECT_EQ(v[0], 1.0f);
        EXPECT_EQ(v[1], 2.0f);
    }
}

// --- The recording feeds the calculation engine ------------------------------------------------

TEST(RecordingModel, FormulaChannelsReadImportedSamples)
{
    auto r = std::make_shared<Recording>(ImportWfdb(TestData() / "mitdb" / "100.hea"));
    vx::calc::Engine engine(r);
    engine.SetFormula(L"twice", L"Ch1*2");
    const vx::calc::Compiled c = engine.Channel(L"twice");
    ASSERT_TRUE(c.samples);
    float got[4], want[4];
    c.samples->Read(0, 1000, std::span(got, 4));
    r->ReadPhysical(0, 0, 1000, std::span(want, 4));
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(got[i], 2 * want[i]);
}

// A channel is decoded when a formula first reads it; one that nothing reads is never held. The
// file is checked whole when the record is opened, and a file that changes before a channel is
// decoded is reported when that channel is read.
TEST(RecordingModel, OnlyTheChannelsFormulasReadAreDecoded)
{
    TempDir dir;
    for (const char* ext : { ".hea", ".dat" })
        fs::copy_file(TestData() / "mitdb" / (std::string("100") + ext), dir.Path() / (std::string("100") + ext));
    auto r = std::make_shared<Recording>(ImportWfdb(dir.Path() / "100.hea"));
    EXPECT_EQ(r->SampleBytes(), 0u);
    vx::calc::Engine engine(r);
    engine.SetFormula(L"v5", L"Ch2");
    float got[3];
    engine.Channel(L"v5").samples->Read(0, 0, std::span(got, 3));
    EXPECT_EQ(r->records[0].channels[0].Bytes(), 0u);
    // Channel 2 is read from the file a block at a time: only the block read is held.
    EXPECT_TRUE(r->records[0].channels[1].IsStreamed());
    EXPECT_EQ(r->records[0].channels[1].Bytes(), BlockCache::kBlockSamples * 2u);
    // The same values as the whole record decoded at once.
    const vx::import::WfdbRecord whole = vx::import::ReadRecord(TestData() / "mitdb" / "100.hea");
    for (int64_t at : { 0, 1, 324999, 649999 }) {
        float v;
        r->ReadChannel(1, 0, at, std::span(&v, 1), true);
        EXPECT_EQ(v, whole.samples[1][static_cast<std::size_t>(at)]);
    }
    // The file shrinks before channel 1 is decoded.
    fs::resize_file(dir.Path() / "100.dat", 1000);
    engine.SetFormula(L"mlii", L"Ch1");
    try {
        engine.Channel(L"mlii").samples->Read(0, 0, std::span(got, 3));
        ADD_FAILURE() << "no error";
    } catch (const vx::calc::CalcError& e) {
        EXPECT_NE(std::string(e.what()).find("100.dat"), std::string::npos) << e.what();
    }
}

// A checksum mismatch found when the record is opened is only a warning; a file edited after
// the record was opened (checked whole then) fails the read that meets it.
TEST(RecordingModel, AFileEditedAfterOpeningIsAnErrorWhenRead)
{
    TempDir dir;
    for (const char* ext : { ".hea", ".dat" })
        fs::copy_file(TestData() / "mitdb" / (std::string("100") + ext), dir.Path() / (std::string("100") + ext));
    auto r = std::make_shared<Recording>(ImportWfdb(dir.Path() / "100.hea"));
    EXPECT_TRUE(r->warnings.empty());
    {
        // The first sample of signal 1 changes; the file keeps its size.
        std::fstream data(dir.Path() / "100.dat", std::ios::in | std::ios::out | std::ios::binary);
        char first = 0;
        data.read(&first, 1);
        data.seekp(0);
        first = static_cast<char>(first ^ 0x10);
        data.write(&first, 1);
    }
    // The file's time moves with the edit (set here: the clock of file times may not have ticked
    // since the record was opened).
    fs::last_write_time(dir.Path() / "100.dat", fs::last_write_time(dir.Path() / "100.dat") + std::chrono::seconds(2));
    try {
        float v;
        r->ReadChannel(0, 0, 0, std::span(&v, 1), true);
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("100.dat"), std::string::npos) << what;
        EXPECT_NE(what.find("changed after the record was opened"), std::string::npos) << what;
    }
}

} // namespace

namespace {
// The fuzz seeds start from files that load, so the fuzzers explore beyond the header checks.
TEST(ImportSeeds, EdfSeedsLoad)
{
    const fs::path dir = fs::path(VX_SOURCE_DIR) / "host/recording/tests/corpus/edf";
    // The hand-made seeds (named *.edf); the rest of the folder is what fuzzing kept.
    int loaded = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".edf")
            continue;
        SCOPED_TRACE(entry.path().string());
        const Recording r = ImportEdf(entry.path());
        EXPECT_GE(r.ChannelCount(), 1);
        ++loaded;
    }
    EXPECT_EQ(loaded, 4);
    EXPECT_EQ(ImportEdf(dir / "plusd.edf").RecordCount(), 2);
}
} // namespace
