// `varnex analyse` end to end on MIT-BIH record 100: the extension loaded through its
// registration, the document analysing through its commands, the parameters read through the
// data pad, the RR export and the beat list, against the record's reference annotations.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "host/import/Wfdb.h"
#include "host/tests/VarnexCommand.h"
#include "integration/Ec57.h"

namespace {

using vx::test::TestData;
using vx::test::Varnex;
using vx::test::VarnexRun;

struct Row {
    std::string name, value, unit;
};

std::map<std::string, Row> ParseCsv(const std::string& text)
{
    std::map<std::string, Row> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, ','))
            f.push_back(field);
        if (f.size() == 3)
            f.push_back("");
        if (f.size() == 4)
            rows[f[0]] = { f[1], f[2], f[3] };
    }
    return rows;
}

// The intervals between successive reference beats of record 100, in seconds.
std::vector<double> ReferenceIntervals()
{
    std::vector<double> rr;
    int64_t last = -1;
    for (const auto& a : vx::import::ReadAnnotations(TestData() / "mitdb" / "100.atr")) {
        if (!vx::import::IsBeatCode(a.code))
            continue;
        if (last >= 0)
            rr.push_back(static_cast<double>(a.sample - last) / 360.0);
        last = a.sample;
    }
    return rr;
}

std::string TempPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()))).string();
}

} // namespace

TEST(VarnexAnalyse, Record100MatchesItsReferenceBeats)
{
    const std::vector<double> reference = ReferenceIntervals();
    ASSERT_EQ(reference.size(), 2272u);
    double referenceMean = 0;
    for (double r : reference)
        referenceMean += r;
    referenceMean /= static_cast<double>(reference.size());

    const std::string rrFile = TempPath("rr.txt"), beatsFile = TempPath("beats.csv");
    const VarnexRun run = Varnex("analyse " + (TestData() / "mitdb" / "100.hea").string()
        + " --channel 1 --set ExcludeEctopics=0 --csv --rr " + rrFile + " --beats " + beatsFile);
    ASSERT_EQ(run.status, 0) << run.out;
    const auto rows = ParseCsv(run.out);
    ASSERT_EQ(rows.size(), 27u) << run.out;

    const double total = std::stod(rows.at("TotalCount").value);
    EXPECT_NEAR(total, 2272.0, 0.005 * 2272);
    EXPECT_EQ(total, std::stod(rows.at("NormalCount").value) + std::stod(rows.at("EctopicCount").value));
    const double mean = std::stod(rows.at("MeanRR").value);
    EXPECT_NEAR(mean, referenceMean * 1000, 0.005 * referenceMean * 1000);

    // Every time-domain, Poincare and spectral value is present, finite and in its unit.
    const std::map<std::string, std::string> units = {
        { "MeanRR", "ms" },
        { "MedianRR", "ms" },
        { "SDRR", "ms" },
        { "CVRR", "" },
        { "MeanRate", "BPM" },
        { "SDRate", "BPM" },
        { "SDSD", "ms" },
        { "RMSSD", "ms" },
        { "pNNx", "%" },
        { "SD1", "ms" },
        { "SD2", "ms" },
        { "SDARR", "ms" },
        { "TotalPower", "ms\xC2\xB2" },
        { "VLFPower", "ms\xC2\xB2" },
        { "VLFPowerPercent", "" },
        { "LFPower", "ms\xC2\xB2" },
        { "LFPowerPercent", "" },
        { "LFPowerNU", "" },
        { "HFPower", "ms\xC2\xB2" },
        { "HFPowerPercent", "" },
        { "HFPowerNU", "" },
        { "LFHFRatio", "" },
    };
    for (const auto& [id, unit] : units) {
        const Row& r = rows.at(id);
        ASSERT_FALSE(r.value.empty()) << id;
        EXPECT_TRUE(std::isfinite(std::stod(r.value))) << id;
        EXPECT_EQ(r.unit, unit) << id;
    }
    EXPECT_NEAR(std::stod(rows.at("MeanRate").value), 60.0 / referenceMean, 0.02 * 60.0 / referenceMean);
    EXPECT_GT(std::stod(rows.at("TotalPower").value), std::stod(rows.at("HFPower").value));
    // The analysis range is the whole record: from 0 to its 650000 samples at 360 Hz.
    EXPECT_EQ(std::stod(rows.at("AnalysisStart").value), 0.0);
    EXPECT_NEAR(std::stod(rows.at("AnalysisEnd").value), 650000 / 360.0, 1e-6);

    // The RR export holds the used intervals, one per CR LF line.
    std::ifstream rr(rrFile, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(rr)), std::istreambuf_iterator<char>());
    std::size_t lines = 0;
    double sum = 0;
    for (std::size_t at = 0; at < content.size();) {
        const std::size_t end = content.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        sum += std::stod(content.substr(at, end - at));
        ++lines;
        at = end + 2;
    }
    EXPECT_EQ(static_cast<double>(lines), total);
    EXPECT_NEAR(sum / static_cast<double>(lines) * 1000, mean, 0.01);

    // The beat list: a header and one line per beat, in time order.
    std::ifstream beats(beatsFile);
    std::string line;
    std::getline(beats, line);
    EXPECT_EQ(line, "time_s,rr_s,class");
    std::size_t beatCount = 0;
    double lastTime = -1;
    std::vector<int64_t> detected;
    while (std::getline(beats, line)) {
        const double t = std::stod(line.substr(0, line.find(',')));
        EXPECT_GT(t, lastTime);
        lastTime = t;
        ++beatCount;
        detected.push_back(std::llround(t * 360.0));
    }
    EXPECT_NEAR(static_cast<double>(beatCount), 2273.0, 0.005 * 2273);
    // Beat by beat against the reference annotations, scored as EC57 does (150 ms window), and
    // the fiducial points close to the annotated R waves.
    std::vector<int64_t> referenceBeats;
    for (const auto& a : vx::import::ReadAnnotations(TestData() / "mitdb" / "100.atr"))
        if (vx::import::IsBeatCode(a.code))
            referenceBeats.push_back(a.sample);
    const vx::ec57::Score score = vx::ec57::Match(referenceBeats, detected, 54, 360.0);
    EXPECT_GE(score.Se(), 99.5) << score.fn << " missed";
    EXPECT_GE(score.PP(), 99.5) << score.fp << " extra";
    const auto [median, p95] = score.Timing();
    EXPECT_LE(median, 5.0);
    EXPECT_LE(p95, 10.0);
    std::filesystem::remove(rrFile);
    std::filesystem::remove(beatsFile);
}

TEST(VarnexAnalyse, FailuresGiveOneLineAndNonZeroStatus)
{
    const std::string record = (TestData() / "mitdb" / "100.hea").string();
    // The arguments and what the one line says (settings are checked by the document's own
    // settings, against the settings dialogs' limits).
    const std::pair<std::string, std::string> cases[] = {
        { "analyse", "no record given" },
        { "analyse /nonexistent/record.hea", "" },
        { "analyse " + record + " --set NoSuchSetting=1", "unknown setting: NoSuchSetting" },
        { "analyse " + record + " --set RRMax=abc", "bad value for RRMax: abc" },
        { "analyse " + record + " --set NumFrequencies=2147483647",
            "NumFrequencies must be from 10 to 10000, not 2147483647" },
        { "analyse " + record + " --set NumFrequencies=20000000", "NumFrequencies must be from 10 to 10000" },
        { "analyse " + record + " --set QRSWidth=nan", "QRSWidth must be from 0.01 to 10 s" },
        { "analyse " + record + " --set LowPassCutoff=1e9", "LowPassCutoff must be from 10 to 200 Hz" },
        { "analyse " + record + " --set RangeEnd=4", "RangeEnd is set by the analysed range" },
        { "analyse " + record + " --set =4", "--set needs NAME=VALUE" },
        { "analyse " + record + " --channel 9", "" },
        { "analyse " + record + " --species Cat", "" },
        { "analyse " + record + " --from 20 --to 10", "" },
    };
    for (const auto& [arguments, text] : cases) {
        const std::string command = std::string(VARNEX_PATH) + " " + arguments + " 2>&1 >/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string err;
        char buffer[512];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            err.append(buffer, n);
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status)) << arguments;
        EXPECT_NE(WEXITSTATUS(status), 0) << arguments;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << arguments << ": " << err;
        EXPECT_NE(err.find(text), std::string::npos) << arguments << ": " << err;
    }
}

TEST(VarnexAnalyse, OnlinePlayAndJsonGiveTheBatchValues)
{
    const std::string record = (TestData() / "mitdb" / "100.hea").string();
    const VarnexRun batch = Varnex("analyse " + record + " --from 60 --to 360 --csv");
    const VarnexRun online = Varnex("analyse " + record + " --online --csv");
    const VarnexRun json = Varnex("analyse " + record + " --from 60 --to 360 --json");
    ASSERT_EQ(batch.status, 0);
    ASSERT_EQ(online.status, 0);
    ASSERT_EQ(json.status, 0);
    const auto part = ParseCsv(batch.out);
    const auto whole = ParseCsv(online.out);
    // Five minutes of the record hold about a sixth of its beats; the whole record played online
    // holds them all (exclusion on: only the normal ones are used).
    const double partCount = std::stod(part.at("TotalCount").value);
    const double wholeCount = std::stod(whole.at("TotalCount").value);
    EXPECT_GT(partCount, 0.1 * wholeCount);
    EXPECT_LT(partCount, 0.25 * wholeCount);
    EXPECT_EQ(std::stod(part.at("AnalysisStart").value), 60.0);
    EXPECT_NEAR(std::stod(part.at("AnalysisEnd").value), 360.0, 1.0 / 360);
    EXPECT_NE(json.out.find("{\"id\": \"MeanRR\", \"name\": \"Average RR\", \"value\": " + part.at("MeanRR").value
                  + ", \"unit\": \"ms\"}"),
        std::string::npos)
        << json.out;
}

TEST(VarnexAnalyse, DelimitedTextGivesTheSameBeatsAsTheWfdbRecord)
{
    // The first two minutes of record 100 as comma-separated text at 360 Hz.
    const vx::import::WfdbRecord wfdb = vx::import::ReadRecord(TestData() / "mitdb" / "100.hea");
    const std::string csv = TempPath("100.csv");
    {
        std::ofstream out(csv);
        out << "MLII (mV),V5 (mV)\n";
        const double gain = wfdb.header.signals[0].gain;
        for (int64_t i = 0; i < 120 * 360; ++i)
            out << (wfdb.samples[0][static_cast<std::size_t>(i)] - wfdb.header.signals[0].baseline) / gain << ","
                << (wfdb.samples[1][static_cast<std::size_t>(i)] - wfdb.header.signals[1].baseline) / gain << "\n";
    }
    const VarnexRun text = Varnex("analyse " + csv + " --rate 360 --set ExcludeEctopics=0 --csv");
    const VarnexRun record
        = Varnex("analyse " + (TestData() / "mitdb" / "100.hea").string() + " --to 120 --set ExcludeEctopics=0 --csv");
    ASSERT_EQ(text.status, 0);
    ASSERT_EQ(record.status, 0);
    const auto a = ParseCsv(text.out), b = ParseCsv(record.out);
    EXPECT_EQ(a.at("TotalCount").value, b.at("TotalCount").value);
    EXPECT_NEAR(std::stod(a.at("MeanRR").value), std::stod(b.at("MeanRR").value), 0.5);
    // Without a sample rate the text has no time base: a one-line failure.
    EXPECT_NE(Varnex("analyse " + csv).status, 0);
    std::filesystem::remove(csv);
}
