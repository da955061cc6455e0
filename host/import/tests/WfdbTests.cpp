#include "host/import/Wfdb.h"

#include "host/import/InputFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vx::import;

namespace {

std::filesystem::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? std::filesystem::path(dir) : std::filesystem::path(VX_TEST_DATA_DIR);
}

// A scratch folder for records written by a test.
class TempDir {
public:
    TempDir()
    {
        mPath = std::filesystem::temp_directory_path()
            / ("vx_wfdb_" + std::to_string(::getpid()) + "_" + std::to_string(sCount++));
        std::filesystem::create_directories(mPath);
    }
    ~TempDir() { std::filesystem::remove_all(mPath); }
    const std::filesystem::path& Path() const { return mPath; }
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(mPath / name, std::ios::binary) << bytes;
        return mPath / name;
    }

private:
    std::filesystem::path mPath;
    static inline int sCount = 0;
};

std::string Format212(const std::vector<int>& samples)
{
    std::string out;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        const int a = samples[i] & 0xFFF;
        const int b = i + 1 < samples.size() ? samples[i + 1] & 0xFFF : 0;
        out += static_cast<char>(a & 0xFF);
        out += static_cast<char>(((a >> 8) & 0x0F) | ((b >> 4) & 0xF0));
        if (i + 1 < samples.size())
            out += static_cast<char>(b & 0xFF);
    }
    return out;
}

std::string Format16(const std::vector<int>& samples)
{
    std::string out;
    for (int v : samples) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    }
    return out;
}

int Checksum(const std::vector<int>& samples, std::size_t signal, std::size_t count)
{
    int sum = 0;
    for (std::size_t i = signal; i < samples.size(); i += count)
        sum += samples[i];
    return static_cast<int16_t>(sum & 0xFFFF);
}

void ExpectError(const std::function<void()>& f, const std::vector<std::string>& words)
{
    try {
        f();
        ADD_FAILURE() << "no error";
    } catch (const ImportError& e) {
        for (const std::string& w : words)
            EXPECT_NE(std::string(e.what()).find(w), std::string::npos) << e.what() << " lacks " << w;
    }
}

TEST(Wfdb, MitBihRecord100)
{
    WfdbRecord r = ReadRecord(TestData() / "mitdb" / "100.hea");
    ASSERT_EQ(r.samples.size(), 2u);
    EXPECT_EQ(r.Length(), 650000);
    EXPECT_EQ(r.header.frequency, 360.0);
    EXPECT_EQ(r.header.signals[0].description, "MLII");
    EXPECT_EQ(r.header.signals[1].description, "V5");
    for (const auto& s : r.header.signals) {
        EXPECT_EQ(s.gain, 200.0);
        EXPECT_EQ(s.baseline, 1024);
        EXPECT_EQ(s.adcResolution, 11);
        EXPECT_EQ(s.units, "mV");
    }
    EXPECT_EQ(r.samples[0][0], 995); // the header's initial values
    EXPECT_EQ(r.samples[1][0], 1011);
    EXPECT_DOUBLE_EQ(r.ToPhysical(0, 995), -0.145);

    const auto annotations = ReadAnnotations(TestData() / "mitdb" / "100.atr");
    std::size_t beats = 0, normal = 0, atrial = 0, ventricular = 0;
    for (const auto& a : annotations) {
        beats += IsBeatCode(a.code);
        normal += a.code == 1;
        atrial += a.code == 8;
        ventricular += a.code == 5;
    }
    EXPECT_EQ(beats, 2273u);
    EXPECT_EQ(normal, 2239u);
    EXPECT_EQ(atrial, 33u);
    EXPECT_EQ(ventricular, 1u);
    EXPECT_STREQ(AnnotationMnemonic(annotations.front().code), "+"); // the rhythm label opens the file
    EXPECT_EQ(annotations.front().aux, "(N");
}

TEST(Wfdb, WrittenRecordsInBothFormats)
{
    TempDir dir;
    // Three signals in format 212 (odd sample count per frame: pairs straddle frames), one in 16.
    std::vector<int> frames212;
    for (int i = 0; i < 101; ++i)
        for (int s = 0; s < 3; ++s)
            frames212.push_back(((i * 37 + s * 500) % 4096) - 2048);
    std::vector<int> samples16;
    for (int i = 0; i < 101; ++i)
        samples16.push_back(i * 300 - 15000);
    std::ostringstream hea;
    hea << "rec 4 1000/1000 101\n# comment\n";
    for (int s = 0; s < 3; ++s)
        hea << "rec.dat 212 " << (s == 0 ? "100(5)/uV" : "0") << " 12 " << s << " 0 "
            << Checksum(frames212, static_cast<std::size_t>(s), 3) << " 0 sig " << s << "\n";
    hea << "rec16.dat 16 400 16 0 0 " << Checksum(samples16, 0, 1) << "\n";
    dir.Write("rec.dat", Format212(frames212));
    dir.Write("rec16.dat", Format16(samples16));
    WfdbRecord r = ReadRecord(dir.Write("rec.hea", hea.str()));
    ASSERT_EQ(r.samples.size(), 4u);
    EXPECT_EQ(r.Length(), 101);
    for (int i = 0; i < 101; ++i) {
        for (int s = 0; s < 3; ++s)
            ASSERT_EQ(r.samples[static_cast<std::size_t>(s)][static_cast<std::size_t>(i)],
                frames212[static_cast<std::size_t>(i * 3 + s)]);
        ASSERT_EQ(r.samples[3][static_cast<std::size_t>(i)], samples16[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(r.header.signals[0].gain, 100.0);
    EXPECT_EQ(r.header.signals[0].baseline, 5);
    EXPECT_EQ(r.header.signals[0].units, "uV");
    EXPECT_EQ(r.header.signals[1].gain, 200.0); // 0 means the default
    EXPECT_EQ(r.header.signals[2].baseline, 2); // the ADC zero when no baseline is given
    EXPECT_EQ(r.header.signals[1].description, "sig 1");
    EXPECT_EQ(r.header.signals[3].description, "");
    EXPECT_DOUBLE_EQ(r.ToPhysical(3, 400), 1.0);

    // Without a sample count the file length decides; a single 212 signal of odd length.
    std::vector<int> odd = { 1, -2, 3, -4, 5 };
    dir.Write("odd.dat", Format212(odd));
    WfdbRecord o = ReadRecord(dir.Write("odd.hea", "odd 1 250\nodd.dat 212\n"));
    ASSERT_EQ(o.Length(), 5);
    EXPECT_EQ(o.samples[0][4], 5);
    EXPECT_EQ(o.header.signals[0].gain, 200.0);
}

// A long record of two signals in format 212 is decoded on several threads straight from the
// file: the same samples and checksum warnings as the one-thread decoding of the stream, with a
// byte offset, with one signal left out, and with a file that shrinks while it is read.
TEST(Wfdb, LongTwoSignalRecordsDecodeOnThreadsAsInOne)
{
    TempDir dir;
    const std::size_t frames = 2'500'001; // several threads' stretches, not a multiple of them
    std::vector<int> samples(2 * frames);
    uint32_t state = 12345;
    for (int& v : samples) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<int>(state >> 20) - 2048; // the whole 12-bit range
    }
    const std::string prefix = "abcde"; // before the samples, skipped by the byte offset
    dir.Write("long.dat", prefix + Format212(samples));
    struct Case {
        const char* name;
        int checksumError; // added to the first signal's checksum
        std::vector<bool> hold;
        bool shrink;
    };
    const Case cases[] = {
        { "both signals", 0, {}, false },
        { "the second signal only", 0, { false, true }, false },
        { "a checksum that does not match", 1, {}, false },
        { "a file that shrinks while it is read", 0, {}, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ostringstream hea;
        hea << "long 2 360 " << frames << "\n";
        for (std::size_t s = 0; s < 2; ++s)
            hea << "long.dat 212+5 200 12 0 0 " << Checksum(samples, s, 2) + (s == 0 ? c.checksumError : 0) << " 0 sig"
                << s << "\n";
        const WfdbHeader header = ParseHeader(hea.str(), "long.hea");
        const auto path = dir.Path() / "long.dat";
        WfdbRecord threaded, single;
        {
            InputFile file(path);
            if (c.shrink)
                std::filesystem::resize_file(path, file.Size() - 3 * 1000);
            if (c.shrink) {
                ExpectError(
                    [&] {
                        DecodeSignalFile(
                            header, "long.dat", file.Stream(), file.Name(), threaded, file.Size(), c.hold, &file);
                    },
                    { "long.dat", "became shorter while it was read" });
                dir.Write("long.dat", prefix + Format212(samples));
                continue;
            }
            DecodeSignalFile(header, "long.dat", file.Stream(), file.Name(), threaded, file.Size(), c.hold, &file);
        }
        {
            InputFile file(path);
            DecodeSignalFile(header, "long.dat", file.Stream(), file.Name(), single, file.Size(), c.hold);
        }
        EXPECT_EQ(threaded.warnings, single.warnings);
        EXPECT_EQ(threaded.warnings.size(), c.checksumError ? 1u : 0u);
        ASSERT_EQ(threaded.counts, single.counts);
        EXPECT_EQ(threaded.counts[0], static_cast<int64_t>(frames));
        for (std::size_t s = 0; s < 2; ++s) {
            const bool held = c.hold.empty() || c.hold[s];
            ASSERT_EQ(threaded.samples[s].size(), held ? frames : 0u) << s;
            EXPECT_TRUE(threaded.samples[s] == single.samples[s]) << s;
            for (std::size_t i = 0; held && i < frames; i += 99'991)
                EXPECT_EQ(threaded.samples[s][i], samples[2 * i + s]) << s << " " << i;
            if (held) {
                EXPECT_EQ(threaded.samples[s].back(), samples[2 * frames - 2 + s]);
            }
        }
    }
}

TEST(Wfdb, DamagedRecordsGiveClearErrors)
{
    TempDir dir;
    std::vector<int> samples(200);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int>(i % 50) * 7 - 100;
    const std::string data = Format16(samples);
    dir.Write("ok.dat", data);
    dir.Write("short.dat", data.substr(0, 150));
    std::string flipped = data;
    flipped[77] = static_cast<char>(flipped[77] ^ 0x10);
    dir.Write("flip.dat", flipped);
    dir.Write("up.dat", std::string(100, '\x7f')); // format 8: each sample 127 above the last
    const std::string sum = std::to_string(Checksum(samples, 0, 2)) + " 0 a\n";
    const std::string sum2 = std::to_string(Checksum(samples, 1, 2)) + " 0 b\n";
    auto header = [&](const std::string& file, const std::string& count) {
        return "r 2 360 " + count + "\n" + file + " 16 200 16 0 0 " + sum + file + " 16 200 16 0 0 " + sum2;
    };
    EXPECT_EQ(ReadRecord(dir.Write("ok.hea", header("ok.dat", "100"))).Length(), 100);
    const struct {
        std::string name, text;
        std::vector<std::string> words;
    } cases[] = {
        { "short.hea", header("short.dat", "100"), { "short.dat", "truncated", "37 of 100" } },
        { "long.hea", header("ok.dat", "101"), { "ok.dat", "truncated", "100 of 101" } },
        { "missing.hea", header("none.dat", "100"), { "none.dat", "cannot be opened" } },
        { "fmt.hea", "r 1 360 100\nok.dat 312\n",
            { "fmt.hea", "line 2", "format 312", "is not a WFDB signal format" } },
        { "spf.hea", "r 1 360 100\nok.dat 16x0\n", { "spf.hea", "samples per frame 0" } },
        { "skew.hea", "r 1 360 100\nok.dat 16:-2\n", { "skew.hea", "skew -2" } },
        { "fsbig.hea", "r 1 1e300 100\nok.dat 16\n", { "fsbig.hea", "'1e300'", "too large" } },
        { "fsnan.hea", "r 1 nan 100\nok.dat 16\n", { "fsnan.hea", "'nan' is not a number" } },
        { "gainbig.hea", "r 1 360 100\nok.dat 16 1e308\n", { "gainbig.hea", "'1e308'", "too large" } },
        { "gainnan.hea", "r 1 360 100\nok.dat 16 nan\n", { "gainnan.hea", "'nan' is not a number" } },
        { "few.hea", "r 2 360 100\nok.dat 16\n", { "few.hea", "announces 2 signals but describes 1" } },
        { "nosig.hea", "r\n", { "nosig.hea", "number of signals" } },
        { "fs.hea", "r 1 -360 100\nok.dat 16\n", { "fs.hea", "sampling frequency" } },
        { "gain.hea", "r 1 360 100\nok.dat 16 -200\n", { "gain.hea", "gain" } },
        { "num.hea", "r 1 360 1x0\nok.dat 16\n", { "num.hea", "'1x0' is not a valid number" } },
        { "path.hea", "r 1 360 100\n../ok.dat 16\n", { "path.hea", "beside the header" } },
        { "seg.hea", "r/2 1 360 100\n", { "seg.hea", "announces 2 segments but lists 0" } },
        { "nested.hea", "r/1 2 360 100\nseg 100\n", { "seg.hea", "segments", "a segment of", "nested.hea" } },
        { "empty.hea", "# only a comment\n", { "empty.hea", "no record line" } },
        { "diff8.hea", "r 1 360 100\nup.dat 8 200 12 0 2147483600\n",
            { "up.dat", "signal 1 (format 8) runs out of range", "2147483600" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir.Write(c.name, c.text);
        ExpectError([&] { ReadRecord(path); }, c.words);
    }
    ExpectError([&] { ReadRecord(dir.Write("x.hea", "")); }, { "x.hea", "no record line" });

    // A checksum mismatch is a warning, as with the WFDB tools: an edited record still loads.
    const WfdbRecord edited = ReadRecord(dir.Write("flip.hea", header("flip.dat", "100")));
    EXPECT_EQ(edited.Length(), 100);
    ASSERT_EQ(edited.warnings.size(), 1u);
    for (const char* word : { "flip.dat", "checksum mismatch for signal", "may be damaged" })
        EXPECT_NE(edited.warnings[0].find(word), std::string::npos) << edited.warnings[0];
    EXPECT_TRUE(ReadRecord(dir.Path() / "ok.hea").warnings.empty());
}

TEST(Wfdb, OnlyRegularFilesAreRead)
{
    TempDir dir;
    dir.Write("ok.dat", Format16({ 1, 2, 3, 4 }));
    const std::filesystem::path fifo = dir.Path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.Path() / "folder");
    // Each would block forever or grow without limit if it were read.
    ExpectError([&] { ReadRecord(fifo); }, { "pipe", "is not a regular file" });
    ExpectError(
        [&] { ReadRecord(dir.Write("f.hea", "r 1 360\npipe 16\n")); }, { "pipe", "is not a regular file", "f.hea" });
    ExpectError([&] { ReadAnnotations(fifo); }, { "pipe", "is not a regular file" });
    ExpectError([&] { ReadAnnotations(dir.Path() / "folder"); }, { "folder", "is not a regular file" });
    // A header larger than any real one is refused before it is parsed.
    const std::string huge(static_cast<std::size_t>(kMaxHeaderBytes) + 1, '#');
    ExpectError([&] { ReadRecord(dir.Write("huge.hea", huge)); }, { "huge.hea", "too large" });
}

TEST(Wfdb, ReadErrorsAndShrinkingFilesAreNotTheEnd)
{
    TempDir dir;
    std::vector<int> samples(4000, 7);
    const std::string data = Format16(samples);
    const WfdbHeader header = ParseHeader("r 1 360\nr.dat 16\n", "r.hea"); // no count: the file's end decides
    {
        // The file loses half its bytes after it was opened.
        const auto path = dir.Write("r.dat", data);
        InputFile file(path);
        std::filesystem::resize_file(path, data.size() / 2);
        WfdbRecord record;
        ExpectError([&] { DecodeSignalFile(header, "r.dat", file.Stream(), file.Name(), record, file.Size()); },
            { "r.dat", "became shorter while it was read" });
    }
    {
        // A read that fails: the descriptor no longer reads.
        const auto path = dir.Write("r.dat", data);
        InputFile file(path);
        const int writeOnly = ::open("/dev/null", O_WRONLY);
        ASSERT_GE(writeOnly, 0);
        ASSERT_GE(::dup2(writeOnly, file.Descriptor()), 0);
        ::close(writeOnly);
        WfdbRecord record;
        ExpectError([&] { DecodeSignalFile(header, "r.dat", file.Stream(), file.Name(), record, file.Size()); },
            { "r.dat", "read error at byte 0" });
    }
}

// MIT annotation words: code << 10 | increment, little-endian.
void Word(std::string& s, int code, int increment)
{
    const int w = (code << 10) | (increment & 0x3FF);
    s += static_cast<char>(w & 0xFF);
    s += static_cast<char>(w >> 8);
}

std::vector<Annotation> Parse(const std::string& bytes)
{
    return ParseAnnotations(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "test.atr");
}

TEST(Wfdb, AnnotationModifiers)
{
    std::string s;
    Word(s, 1, 100); // N at 100
    Word(s, 62, 1); // CHN 1 (sticky)
    Word(s, 60, 5); // NUM 5 (sticky)
    Word(s, 5, 200); // V at 300
    Word(s, 61, 3); // SUB 3 for V only
    Word(s, 63, 3); // AUX of 3 bytes, padded to 4
    s += "(VT";
    s += '\0';
    Word(s, 59, 0); // SKIP 100000: high word first
    Word(s, 0, 1); // 0x0001 -> 65536
    Word(s, 0, 0); // low word 0x86A0 written below
    s[s.size() - 2] = static_cast<char>(0xA0);
    s[s.size() - 1] = static_cast<char>(0x86);
    Word(s, 28, 0); // rhythm label at 300 + 100000
    Word(s, 13, 1023); // Q
    Word(s, 0, 0); // end
    const auto a = Parse(s);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].sample, 100);
    EXPECT_EQ(a[0].channel, 1);
    EXPECT_EQ(a[0].number, 5);
    EXPECT_EQ(a[1].sample, 300);
    EXPECT_EQ(a[1].code, 5);
    EXPECT_EQ(a[1].subtype, 3);
    EXPECT_EQ(a[1].aux, "(VT");
    EXPECT_EQ(a[1].channel, 1);
    EXPECT_EQ(a[2].sample, 300 + 65536 + 0x86A0);
    EXPECT_FALSE(IsBeatCode(a[2].code));
    EXPECT_EQ(a[2].subtype, 0);
    EXPECT_EQ(a[3].sample, 300 + 65536 + 0x86A0 + 1023);
    EXPECT_TRUE(IsBeatCode(a[3].code));
    EXPECT_EQ(a[3].number, 5);
    for (int code : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 25, 30, 34, 35, 37, 38, 41 })
        EXPECT_TRUE(IsBeatCode(code)) << code;
    for (int code : { 0, 14, 16, 18, 19, 20, 21, 22, 23, 24, 26, 27, 28, 29, 31, 32, 33, 36, 39, 40, 42, 59, 63 })
        EXPECT_FALSE(IsBeatCode(code)) << code;
}

TEST(Wfdb, TruncatedAnnotationFiles)
{
    std::string good;
    Word(good, 1, 10);
    Word(good, 63, 5);
    good += "hello";
    good += '\0';
    Word(good, 59, 0);
    Word(good, 0, 0);
    Word(good, 0, 100);
    Word(good, 1, 10);
    Word(good, 0, 0);
    ASSERT_EQ(Parse(good).size(), 2u);
    std::string negative;
    Word(negative, 59, 0);
    negative += "\xFF\xFF\x00\x00";
    Word(negative, 1, 0);
    Word(negative, 0, 0);
    const struct {
        std::string bytes;
        const char* words;
    } cases[] = {
        { "", "no end-of-annotations marker" },
        { good.substr(0, 2), "no end-of-annotations marker" },
        { good.substr(0, 3), "odd number of bytes" },
        { good.substr(0, 6), "AUX" },
        { good.substr(0, 12), "SKIP" },
        { good.substr(0, 14), "SKIP" },
        { good.substr(0, 16), "no end-of-annotations marker" },
        { negative, "time out of range" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        ExpectError([&] { Parse(c.bytes); }, { "test.atr", c.words });
    }
    ExpectError([] { ReadAnnotations("/nonexistent/x.atr"); }, { "x.atr", "cannot be opened" });
}

// Every signal-file layout the WFDB library writes, read against a twin in format 16 written from
// the same samples (record 100's first minute).
struct Signal {
    std::vector<int32_t> values; // INT32_MIN where data are missing
};

std::vector<Signal> Signals(const WfdbRecord& r)
{
    std::vector<Signal> out(r.header.signals.size());
    for (std::size_t s = 0; s < out.size(); ++s) {
        if (r.IsWide(s))
            for (const float v : r.wide[s])
                out[s].values.push_back(std::isnan(v) ? INT32_MIN : static_cast<int32_t>(v));
        else
            out[s].values.assign(r.samples[s].begin(), r.samples[s].end());
    }
    return out;
}

TEST(Wfdb, EveryFormatReadsTheSamplesOfItsFormat16Twin)
{
    const auto dir = TestData() / "wfdb-layouts";
    for (const char* format : { "8", "16", "24", "32", "61", "80", "160", "212", "310", "311", "508", "516", "524" }) {
        SCOPED_TRACE(format);
        const WfdbRecord f = ReadRecord(dir / (std::string("f") + format + ".hea"));
        const WfdbRecord g = ReadRecord(dir / (std::string("g") + format + ".hea"));
        EXPECT_EQ(f.warnings.size(), g.warnings.size()); // the checksums agree with the samples alike
        ASSERT_EQ(f.Length(), 21600);
        const auto a = Signals(f), b = Signals(g);
        ASSERT_EQ(a.size(), 2u);
        for (std::size_t s = 0; s < 2; ++s)
            EXPECT_TRUE(a[s].values == b[s].values) << "signal " << s;
    }
}

TEST(Wfdb, SegmentsFramesSkewAndOffsets)
{
    const auto dir = TestData() / "wfdb-layouts";
    const auto g212 = Signals(ReadRecord(dir / "g212.hea"));
    const auto g16 = Signals(ReadRecord(dir / "g16.hea"));

    // Three segments of a fixed layout, one after another.
    const WfdbRecord ms = ReadRecord(dir / "ms.hea");
    EXPECT_EQ(ms.Length(), 21600);
    EXPECT_TRUE(Signals(ms)[0].values == g212[0].values);
    EXPECT_TRUE(Signals(ms)[1].values == g212[1].values);
    EXPECT_EQ(ms.header.signals[1].description, "V5");
    EXPECT_EQ(ms.files,
        (std::vector<std::string> { "seg1.hea", "seg1.dat", "seg2.hea", "seg2.dat", "seg3.hea", "seg3.dat" }));

    // Two samples per frame: MLII keeps its 360 samples a second, V5 has every second one.
    const WfdbRecord spf = ReadRecord(dir / "spf.hea");
    EXPECT_EQ(spf.header.TicksPerFrame(), 2);
    const auto s = Signals(spf);
    ASSERT_EQ(s[0].values.size(), 2u * 10799);
    EXPECT_TRUE(std::equal(s[0].values.begin(), s[0].values.end(), g212[0].values.begin()));
    ASSERT_EQ(s[1].values.size(), 10799u);
    for (std::size_t i = 0; i < s[1].values.size(); ++i)
        ASSERT_EQ(s[1].values[i], g212[1].values[2 * i]) << i;

    // A skew of 3 frames: V5's samples lie 3 frames later in the file; past its end they are missing.
    const auto skew = Signals(ReadRecord(dir / "skew.hea"));
    EXPECT_TRUE(skew[0].values == g16[0].values);
    ASSERT_EQ(skew[1].values.size(), 21600u);
    EXPECT_TRUE(std::equal(skew[1].values.begin(), skew[1].values.end() - 3, g16[1].values.begin() + 3));
    EXPECT_EQ(skew[1].values.back(), INT32_MIN);

    // A byte offset of 24 bytes before the samples.
    const auto off = Signals(ReadRecord(dir / "off.hea"));
    EXPECT_TRUE(off[0].values == g16[0].values && off[1].values == g16[1].values);
}

} // namespace

TEST(Wfdb, VariableLayoutsGapsAndHeaderDetails)
{
    TempDir dir;
    // The layout names three signals; the first segment has two of them (in another order), then
    // a gap of missing data, then a segment with the third alone.
    dir.Write("lay.hea",
        "lay 3 250 0\r\n~ 0 100(0)/mV 16 0 0 0 0 ECG lead I\r\n~ 0 50/mmHg 16 0 0 0 0 ABP\r\n"
        "~ 0 100/mV 16 0 0 0 0 ECG lead II\r\n");
    dir.Write("A.dat", Format16({ 10, 1, 20, 2, 30, 3 }));
    dir.Write("a.hea", "a 2 250 3\nA.dat 16 50 16 0 10 0 0 ABP\nA.dat 16 100 16 0 1 0 0 ECG lead I\n");
    dir.Write("c.dat", Format16({ -5, -6 }));
    dir.Write("c.hea", "c 1 250 2\nc.dat 16 100 16 0 -5 0 0 ECG lead II\n");
    const auto master = dir.Write("v.hea",
        "# a record in four segments\n\nv/4 3 250/1(0) 9 12:30:00 01/02/2003\r\nlay 0\r\na 3\r\n~ 4\r\nc 2\r\n"
        "#info after the segments\n");
    const WfdbRecord r = ReadRecord(master);
    EXPECT_EQ(r.header.counterFrequency, 1.0);
    EXPECT_EQ(r.header.baseTime, "12:30:00");
    EXPECT_EQ(r.header.baseDate, "01/02/2003");
    ASSERT_EQ(r.header.signals.size(), 3u);
    EXPECT_EQ(r.header.signals[0].description, "ECG lead I");
    EXPECT_EQ(r.header.signals[1].units, "mmHg");
    EXPECT_EQ(r.Length(), 9);
    const auto s = Signals(r);
    const int32_t x = INT32_MIN;
    EXPECT_EQ(s[0].values, (std::vector<int32_t> { 1, 2, 3, x, x, x, x, x, x }));
    EXPECT_EQ(s[1].values, (std::vector<int32_t> { 10, 20, 30, x, x, x, x, x, x }));
    EXPECT_EQ(s[2].values, (std::vector<int32_t> { x, x, x, x, x, x, x, -5, -6 }));

    // A segment that is missing, or whose file is, is named.
    dir.Write("w.hea", "w/2 1 250 5\na 3\nnone 2\n");
    ExpectError([&] { ReadRecord(dir.Path() / "w.hea"); }, { "none.hea", "cannot be opened", "a segment of" });
    dir.Write("d.hea", "d 1 250 2\nd.dat 16 100 16 0 0 0 0 ECG lead II\n");
    dir.Write("w.hea", "w/2 1 250 5\na 3\nd 2\n");
    ExpectError([&] { ReadRecord(dir.Path() / "w.hea"); }, { "d.dat", "cannot be opened", "a segment of" });
    dir.Write("w.hea", "w/2 1 250 5\na 3\nc 3\n");
    ExpectError([&] { ReadRecord(dir.Path() / "w.hea"); }, { "c.hea", "holds 2 samples", "says 3" });

    // Two signal files, one missing: the other file's signals are read, the missing one's say why.
    dir.Write("two.hea", "two 2 250 2\nc.dat 16 100 16 0 -5 0 0 II\nnone.dat 16 100 16 0 0 0 0 V1\n");
    const WfdbRecord two = ReadRecord(dir.Path() / "two.hea");
    EXPECT_TRUE(two.unavailable[0].empty());
    EXPECT_NE(two.unavailable[1].find("none.dat"), std::string::npos);
    EXPECT_EQ(two.counts[1], 2);
    EXPECT_EQ(two.samples[0], (std::vector<int16_t> { -5, -6 }));
}
