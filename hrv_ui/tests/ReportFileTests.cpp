// `varnex analyse RECORD --report FILE.html` on MIT-BIH record 100: the page the extension's report
// gives the host shows the values the data pad gives for --json, in the report's number formats.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <locale>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/tests/VarnexCommand.h"

namespace {

using vx::test::TestData;
using vx::test::Varnex;
using vx::test::VarnexRun;

std::string TempPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name)).string();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The cells of each table row of the page, by row title.
std::map<std::string, std::vector<std::string>> Rows(const std::string& page)
{
    std::map<std::string, std::vector<std::string>> rows;
    const std::regex row(R"(<tr><td class="rowtitle">([^<]*)</td>((?:<td>[^<]*</td>)*)</tr>)");
    const std::regex cell(R"(<td>([^<]*)</td>)");
    for (auto r = std::sregex_iterator(page.begin(), page.end(), row); r != std::sregex_iterator(); ++r) {
        const std::string cells = (*r)[2];
        auto& out = rows[(*r)[1]];
        for (auto c = std::sregex_iterator(cells.begin(), cells.end(), cell); c != std::sregex_iterator(); ++c)
            out.push_back((*c)[1]);
    }
    return rows;
}

// Four significant digits in general notation.
std::string G4(double x)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << std::setprecision(4) << x;
    return s.str();
}

// Engineering notation of seconds: a mantissa in [1, 1000) and the SI prefix of its power.
std::string EngineeringSeconds(double seconds)
{
    if (seconds == 0)
        return "0 s";
    const int power = static_cast<int>(std::floor(std::log10(std::fabs(seconds)) / 3.0)) * 3;
    const std::map<int, std::string> prefixes = { { -9, "n" }, { -6, "\xC2\xB5" }, { -3, "m" }, { 0, "" } };
    return G4(seconds / std::pow(10.0, power)) + " " + prefixes.at(power) + "s";
}

// hours:minutes:seconds with milliseconds.
std::string Clock(double seconds)
{
    const auto ms = static_cast<long long>(std::llround(seconds * 1000));
    char text[48];
    std::snprintf(
        text, sizeof text, "%lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

} // namespace

TEST(VarnexReport, Record100ShowsTheValuesOfTheJsonOutput)
{
    const std::string report = TempPath("report.html");
    const VarnexRun run
        = Varnex("analyse " + (TestData() / "mitdb" / "100.hea").string() + " --json --report " + report);
    ASSERT_EQ(run.status, 0) << run.out;
    std::map<std::string, double> v;
    const nlohmann::json json = nlohmann::json::parse(run.out);
    for (const auto& p : json.at("parameters"))
        if (p.at("value").is_number())
            v[p.at("id").get<std::string>()] = p.at("value").get<double>();
    ASSERT_EQ(v.size(), 27u) << run.out;

    const std::string page = ReadFile(report);
    std::filesystem::remove(report);
    ASSERT_EQ(page.substr(0, 15), "<!DOCTYPE html>");
    EXPECT_NE(page.find("<title>100.hea</title>"), std::string::npos);
    const auto rows = Rows(page);
    auto cell = [&](const std::string& title, std::size_t i = 0) {
        const auto it = rows.find(title);
        return it == rows.end() || i >= it->second.size() ? std::string("(none)") : it->second[i];
    };
    auto count = [&](const char* id) { return std::to_string(std::llround(v.at(id))); };
    auto ms = [&](const char* id) { return EngineeringSeconds(v.at(id) / 1000.0); };

    struct Case {
        std::string title;
        std::size_t cell;
        std::string expected;
    };
    const Case cases[] = {
        { "Analysis Start", 0, "Block: 1, " + Clock(v.at("AnalysisStart")) },
        { "Analysis End", 0, "Block: 1, " + Clock(v.at("AnalysisEnd")) },
        { "Total Included Beats", 0, count("TotalCount") },
        { "Included Normal Beats", 0, count("NormalCount") },
        { "Included Ectopic Beats", 0, count("EctopicCount") },
        { "Average RR", 0, ms("MeanRR") },
        { "Median RR", 0, ms("MedianRR") },
        { "SDRR", 0, ms("SDRR") },
        { "SDARR", 0, ms("SDARR") },
        { "CVRR", 0, G4(v.at("CVRR")) },
        { "Average Rate", 0, G4(v.at("MeanRate")) + " BPM" },
        { "SD Rate", 0, G4(v.at("SDRate")) + " BPM" },
        { "SDSD", 0, ms("SDSD") },
        { "RMSSD", 0, ms("RMSSD") },
        { "pRR50", 0, G4(v.at("pNNx")) + " %" },
        { "Total", 0, G4(v.at("TotalPower")) },
        { "VLF", 0, G4(v.at("VLFPower")) },
        { "VLF", 1, G4(v.at("VLFPowerPercent")) },
        { "LF", 0, G4(v.at("LFPower")) },
        { "LF", 1, G4(v.at("LFPowerPercent")) },
        { "LF", 2, G4(v.at("LFPowerNU")) },
        { "HF", 0, G4(v.at("HFPower")) },
        { "HF", 1, G4(v.at("HFPowerPercent")) },
        { "HF", 2, G4(v.at("HFPowerNU")) },
        { "LF/HF", 1, G4(v.at("LFHFRatio")) },
        { "SD1", 0, ms("SD1") },
        { "SD2", 0, ms("SD2") },
    };
    for (const Case& c : cases)
        EXPECT_EQ(cell(c.title, c.cell), c.expected) << c.title << " " << c.cell;
    // The whole record, and measures that exist.
    EXPECT_EQ(v.at("AnalysisStart"), 0.0);
    EXPECT_GT(v.at("AnalysisEnd"), 1800.0);
    EXPECT_GT(v.at("TotalCount"), 500.0);
}

TEST(VarnexReport, AnSD2WithoutAValueIsMissingInEveryOutput)
{
    // Record 100 from 1518 s to 1522 s with every interval kept: an ectopic beat and its pause
    // make 2 SDRR^2 - SDSD^2 / 2 negative. SD1 has its value; SD2 has none, in any output.
    const std::string record = (TestData() / "mitdb" / "100.hea").string();
    const std::string range = " --from 1518 --to 1522 --set ExcludeEctopics=0";
    const std::string report = TempPath("sd2.html");
    const VarnexRun json = Varnex("analyse " + record + range + " --json --report " + report);
    ASSERT_EQ(json.status, 0) << json.out;
    const std::string page = ReadFile(report);
    std::filesystem::remove(report);
    std::map<std::string, nlohmann::json> v;
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    for (const auto& p : parsed.at("parameters"))
        v[p.at("id").get<std::string>()] = p.at("value");
    ASSERT_EQ(v.at("TotalCount"), 3);
    ASSERT_TRUE(v.at("SD1").is_number());
    EXPECT_TRUE(v.at("SD2").is_null()) << v.at("SD2");
    const auto rows = Rows(page);
    ASSERT_TRUE(rows.count("SD1") && rows.count("SD2")) << page;
    EXPECT_EQ(rows.at("SD1"), std::vector<std::string> { EngineeringSeconds(v.at("SD1").get<double>() / 1000.0) });
    EXPECT_EQ(rows.at("SD2"), std::vector<std::string> { "-" });

    const VarnexRun csv = Varnex("analyse " + record + range + " --csv");
    ASSERT_EQ(csv.status, 0) << csv.out;
    EXPECT_NE(csv.out.find("\nSD2,SD2,,ms\n"), std::string::npos) << csv.out;
    const VarnexRun table = Varnex("analyse " + record + range);
    ASSERT_EQ(table.status, 0) << table.out;
    EXPECT_TRUE(std::regex_search(table.out, std::regex("\nSD2 +SD2 +- ms\n"))) << table.out;
}

TEST(VarnexReport, FailuresGiveOneLineAndNoPage)
{
    const std::string record = (TestData() / "mitdb" / "100.hea").string();
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::string missingFolder = TempPath("no-such-folder") + "/report.html";
    const Case cases[] = {
        { "analyse " + record + " --report", "--report needs a value" },
        { "analyse " + record + " --from 0 --to 30 --report " + missingFolder, "cannot write " + missingFolder },
        // Two seconds hold fewer than three intervals: the report says why instead of a page.
        { "analyse " + record + " --from 0 --to 2 --report " + TempPath("short.html"),
            "The report is unavailable as there are not enough beats to analyze." },
    };
    for (const Case& c : cases) {
        const VarnexRun run = Varnex(c.arguments, true);
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    }
    EXPECT_FALSE(std::filesystem::exists(TempPath("short.html")));
}
