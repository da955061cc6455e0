// `varnex analyse` run as a user runs it, on small records made in a scratch folder: damaged and
// special input files, outputs that must never destroy data, file names that are bytes, and the
// messages a new user reads.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/hrvdoc/Session.h"
#include "host/import/Wfdb.h"

namespace fs = std::filesystem;

namespace {

fs::path TestData()
{
    const char* dir = std::getenv("VX_TEST_DATA");
    return dir ? fs::path(dir) : fs::path(VX_TEST_DATA_DIR);
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A shell word for any bytes.
std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class AnalyseCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        mDir = fs::temp_directory_path()
            / ("varnex-cli-" + std::to_string(::getpid()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mDir);
        fs::create_directories(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    struct Run {
        int status = -1;
        std::string out, err;
    };

    // Runs varnex with `arguments` (shell words); `stdoutTo` replaces the captured standard output.
    // A run that hangs is stopped and fails.
    Run Varnex(const std::string& arguments, const std::string& stdoutTo = "")
    {
        const fs::path out = mDir / ".out", err = mDir / ".err";
        const std::string command = "timeout 60 " + std::string(VARNEX_PATH) + " " + arguments + " >"
            + (stdoutTo.empty() ? Quote(out.string()) : stdoutTo) + " 2>" + Quote(err.string());
        Run run;
        const int status = std::system(command.c_str());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        fs::remove(out);
        fs::remove(err);
        return run;
    }

    // A copy of MIT-BIH record 100 in `folder` (created).
    fs::path CopyRecord(const fs::path& folder)
    {
        fs::create_directories(folder);
        for (const char* f : { "100.hea", "100.dat", "100.atr" })
            fs::copy_file(TestData() / "mitdb" / f, folder / f, fs::copy_options::overwrite_existing);
        return folder / "100.hea";
    }

    // The files in the scratch folder's `folder`, by name.
    std::vector<std::string> Names(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string Record100() { return Quote((TestData() / "mitdb" / "100.hea").string()); }

    fs::path mDir;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string CsvValue(const std::string& csv, const std::string& id)
{
    for (const std::string& line : Lines(csv))
        if (line.rfind(id + ",", 0) == 0) {
            const auto fields = line.substr(id.size() + 1);
            const auto a = fields.find(','), b = fields.find(',', a + 1);
            return fields.substr(a + 1, b - a - 1);
        }
    return "(no row " + id + ")";
}

TEST_F(AnalyseCommand, LostStandardOutputIsAFailure)
{
    const Run run = Varnex("analyse " + Record100() + " --to 60", "/dev/full");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("cannot write the parameters to the standard output"), std::string::npos) << run.err;
}

TEST_F(AnalyseCommand, JsonIsValidWhateverTheRecordPathHolds)
{
    // A folder name with a newline, a tab, a control byte, a quote and a byte that is not UTF-8.
    const std::string folder = std::string("odd\nname\t\x01\"\xff");
    const fs::path header = CopyRecord(mDir / folder);
    const Run run = Varnex("analyse " + Quote(header.string()) + " --to 60 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(run.out)) << run.out;
    EXPECT_EQ(json.at("record").get<std::string>(), (mDir / "odd\nname\t\x01\"\xEF\xBF\xBD").string() + "/100.hea");
    EXPECT_EQ(json.at("parameters").size(), 27u);
}

TEST_F(AnalyseCommand, OutputFileNamesStayBytes)
{
    const std::string name = std::string("rr-\xff\xfe.txt");
    const Run run = Varnex("analyse " + Record100() + " --to 60 --rr " + Quote((mDir / name).string()));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Names(mDir), std::vector<std::string> { name });
    EXPECT_GT(Lines(ReadFile(mDir / name)).size(), 20u);
}

TEST_F(AnalyseCommand, OutputsNeverDestroyWhatWasThere)
{
    const fs::path header = CopyRecord(mDir / "rec");
    const std::string record100 = ReadFile(mDir / "rec" / "100.dat");
    WriteFile(mDir / "rr.txt", "kept\n");
    // The beat list cannot be written: the RR file keeps its old content and no part file is left.
    Run run = Varnex("analyse " + Quote(header.string()) + " --to 60 --rr " + Quote((mDir / "rr.txt").string())
        + " --beats /dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot write /dev/full"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(mDir / "rr.txt"), "kept\n");
    EXPECT_EQ(Names(mDir), (std::vector<std::string> { "rec", "rr.txt" }));

    // An output that is one of the inputs, or the other output, is refused before anything is written.
    const std::string csv = (mDir / "rec.csv").string();
    WriteFile(csv, "1\n2\n3\n");
    const struct {
        std::string arguments, message;
    } refused[] = {
        { "analyse " + Quote(csv) + " --rate 100 --rr " + Quote(csv), "the recording is read from it" },
        { "analyse " + Quote(header.string()) + " --beats " + Quote((mDir / "rec" / "100.dat").string()),
            "the recording is read from it" },
        { "analyse " + Quote(header.string()) + " --rr " + Quote((mDir / "rec" / "100.atr").string()),
            "the recording is read from it" },
        { "analyse " + Quote(header.string()) + " --rr " + Quote((mDir / "x").string()) + " --beats "
                + Quote((mDir / "rec" / ".." / "x").string()),
            "give each output its own file" },
        // One new file named relative to the working folder and in full.
        { "analyse " + Quote(header.string()) + " --rr x --beats ./x", "give each output its own file" },
        { "analyse " + Quote(header.string()) + " --rr x --beats " + Quote((mDir / "x").string()),
            "give each output its own file" },
        { "analyse " + Quote(header.string()) + " --report rec/../x --rr x", "give each output its own file" },
        { "analyse " + Quote(header.string()) + " --plot tachogram=p.svg --plot spectrum=./p.svg",
            "give each output its own file" },
        // The session file is read by the run (and written by --save-session), existing or not.
        { "analyse " + Quote(header.string()) + " --rr rec/100.hea.varnex-session", "it is the session file of" },
        { "analyse " + Quote(csv) + " --rate 100 --beats " + Quote(csv + ".varnex-session"),
            "it is the session file of" },
        { "analyse " + Quote(header.string()) + " --extension ext.so --beats ./ext.so",
            "the HRV extension is loaded from it" },
    };
    // Relative names are relative to the working folder of the run.
    const fs::path working = fs::current_path();
    fs::current_path(mDir);
    fs::copy_file(fs::path(VARNEX_PATH).parent_path() / "libhrv.so", mDir / "ext.so");
    const std::string extension = ReadFile(mDir / "ext.so");
    for (const auto& c : refused) {
        run = Varnex(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
    fs::current_path(working);
    EXPECT_EQ(ReadFile(csv), "1\n2\n3\n");
    EXPECT_EQ(ReadFile(mDir / "rec" / "100.dat"), record100);
    EXPECT_FALSE(fs::exists(mDir / "rec" / "100.hea.varnex-session"));
    EXPECT_EQ(ReadFile(mDir / "ext.so"), extension);
    EXPECT_EQ(Names(mDir), (std::vector<std::string> { "ext.so", "rec", "rec.csv", "rr.txt" }));
    fs::remove(mDir / "ext.so");

    // A replaced output keeps its permissions; both outputs are complete.
    ::chmod((mDir / "rr.txt").c_str(), 0640);
    run = Varnex("analyse " + Quote(header.string()) + " --to 60 --rr " + Quote((mDir / "rr.txt").string())
        + " --beats " + Quote((mDir / "beats.csv").string()));
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st { };
    ASSERT_EQ(::stat((mDir / "rr.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_GT(Lines(ReadFile(mDir / "rr.txt")).size(), 20u);
    EXPECT_EQ(Lines(ReadFile(mDir / "beats.csv")).front(), "time_s,rr_s,class");
}

// An output onto a device that cannot take it, or onto a link to one, fails the run with one line
// that names the file; a link stays a link, and nothing is left beside it.
TEST_F(AnalyseCommand, AnOutputThatCannotBeWrittenFailsInOneLine)
{
    fs::create_symlink("/dev/full", mDir / "full");
    const std::string link = Quote((mDir / "full").string());
    const struct {
        std::string option, file;
    } cases[] = {
        { "--rr", "/dev/full" },
        { "--beats", "/dev/full" },
        { "--report", "/dev/full" },
        { "--rr", (mDir / "full").string() },
        { "--beats", (mDir / "full").string() },
    };
    for (const auto& c : cases) {
        const Run run = Varnex("analyse " + Record100() + " --to 60 " + c.option + " " + Quote(c.file));
        EXPECT_EQ(run.status, 1) << c.option << " " << c.file;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_NE(run.err.find(c.file), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_symlink(mDir / "full"));
        EXPECT_EQ(Names(mDir), std::vector<std::string> { "full" });
    }
}

// A run killed while it analyses leaves nothing beside its outputs: their temporary files are made
// only when the bytes are written.
TEST_F(AnalyseCommand, AKilledRunLeavesNoPartFiles)
{
    const fs::path header = CopyRecord(mDir / "rec");
    fs::create_directories(mDir / "out");
    WriteFile(mDir / "out" / "rr.txt", "kept\n");
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(err[1], 2);
        ::close(err[0]);
        if (!std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        const std::string rr = (mDir / "out" / "rr.txt").string(), b = (mDir / "out" / "b.csv").string();
        ::execl(VARNEX_PATH, VARNEX_PATH, "analyse", header.c_str(), "--progress", "--rr", rr.c_str(), "--beats",
            b.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err[1]);
    // Killed once the analysis is under way: the outputs were checked before it began.
    std::string progress;
    char buffer[256];
    for (ssize_t n;
         progress.find("detecting beats") == std::string::npos && (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
        progress.append(buffer, static_cast<std::size_t>(n));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(err[0]);
    ASSERT_NE(progress.find("detecting beats"), std::string::npos) << progress;
    EXPECT_EQ(Names(mDir / "out"), std::vector<std::string> { "rr.txt" });
    EXPECT_EQ(ReadFile(mDir / "out" / "rr.txt"), "kept\n");
}

TEST_F(AnalyseCommand, SpecialFilesAreRefusedNotRead)
{
    const fs::path header = CopyRecord(mDir / "rec");
    const fs::path pipe = mDir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directories(mDir / "fifo");
    ASSERT_EQ(::mkfifo((mDir / "fifo" / "r.hea").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((mDir / "fifo" / "p.csv").c_str(), 0600), 0);
    WriteFile(mDir / "fifo" / "d.hea", "d 1 360\npipe.dat 16\n");
    ASSERT_EQ(::mkfifo((mDir / "fifo" / "pipe.dat").c_str(), 0600), 0);
    for (const fs::path& input : { mDir / "fifo" / "r.hea", mDir / "fifo" / "p.csv", mDir / "fifo" / "d.hea" }) {
        const Run run = Varnex("analyse " + Quote(input.string()) + " --rate 100");
        EXPECT_EQ(run.status, 1) << input;
        EXPECT_NE(run.err.find("is not a regular file"), std::string::npos) << run.err;
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    }
    // An annotation file is optional: a FIFO in its place is reported and the signal is analysed.
    fs::remove(mDir / "rec" / "100.atr");
    ASSERT_EQ(::mkfifo((mDir / "rec" / "100.atr").c_str(), 0600), 0);
    const Run run = Varnex("analyse " + Quote(header.string()) + " --to 60 --csv");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.err.find("100.atr: is not a regular file; the record is read without these annotations"), std::string::npos)
        << run.err;
}

TEST_F(AnalyseCommand, DamagedOptionalAndEditedFilesAreWarnings)
{
    const fs::path header = CopyRecord(mDir / "rec");
    const Run clean = Varnex("analyse " + Quote(header.string()) + " --to 60 --csv");
    ASSERT_EQ(clean.status, 0) << clean.err;
    // An annotation file cut short, and one sample at the end of the signal file changed.
    fs::resize_file(mDir / "rec" / "100.atr", 1001);
    std::string data = ReadFile(mDir / "rec" / "100.dat");
    data[data.size() - 2] = static_cast<char>(data[data.size() - 2] ^ 0x01);
    WriteFile(mDir / "rec" / "100.dat", data);
    const Run run = Varnex("analyse " + Quote(header.string()) + " --to 60 --csv");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, clean.out);
    std::vector<std::string> warnings;
    for (const std::string& line : Lines(run.err))
        if (line.rfind("varnex: warning: ", 0) == 0)
            warnings.push_back(line);
    ASSERT_EQ(warnings.size(), 2u) << run.err;
    EXPECT_NE(warnings[0].find("100.dat: checksum mismatch for signal"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("100.atr"), std::string::npos) << warnings[1];
}

TEST_F(AnalyseCommand, ArgumentsANewUserGetsWrongAndHelp)
{
    for (const std::string& arguments : { std::string("--help"), std::string("analyse --help"), std::string("help") }) {
        const Run run = Varnex(arguments);
        EXPECT_EQ(run.status, 0) << arguments;
        EXPECT_EQ(run.out.rfind("usage: varnex", 0), 0u) << arguments << "\n" << run.out;
        EXPECT_EQ(run.err, "") << arguments;
    }
    for (const char* bad : { "--from nan", "--to inf", "--from -1", "--rate nan", "--remove-beats 5",
             "--remove-beats 9:3", "--remove-beats 1:x", "--add-beat -2", "--add-beat soon", "--online --save-session",
             "--online --add-beat 3" }) {
        const Run run = Varnex("analyse " + Record100() + " " + bad);
        EXPECT_EQ(run.status, 2) << bad;
        EXPECT_EQ(Lines(run.err).size(), 1u) << bad << "\n" << run.err;
    }
}

TEST_F(AnalyseCommand, EveryIntervalExcludedStillGivesTheBeatsAndMissingValues)
{
    // No interval of record 100 lies within this normal box.
    const std::string box = " --to 120 --set RRMin=1.5 --set RRMax=2.5";
    const fs::path rr = mDir / "rr.txt", beats = mDir / "beats.csv";
    const Run csv = Varnex(
        "analyse " + Record100() + box + " --csv --rr " + Quote(rr.string()) + " --beats " + Quote(beats.string()));
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(CsvValue(csv.out, "MeanRR"), "");
    EXPECT_GT(Lines(ReadFile(beats)).size(), 100u);
    EXPECT_TRUE(fs::exists(rr));
    const auto errLines = Lines(csv.err);
    ASSERT_EQ(errLines.size(), 1u) << csv.err;
    EXPECT_TRUE(std::regex_search(errLines[0],
        std::regex(
            "^varnex: ([0-9]+) of \\1 intervals were left out of the analysis \\(\\1 outside the normal RR range")))
        << errLines[0];
    EXPECT_NE(errLines[0].find("), so no parameter has a value; --set ExcludeEctopics=0"), std::string::npos)
        << errLines[0];

    const Run json = Varnex("analyse " + Record100() + box + " --json");
    ASSERT_EQ(json.status, 0) << json.err;
    const auto parsed = nlohmann::json::parse(json.out);
    int missing = 0;
    for (const auto& p : parsed.at("parameters"))
        missing += p.at("value").is_null() ? 1 : 0;
    EXPECT_GT(missing, 15);
    const Run table = Varnex("analyse " + Record100() + box);
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_TRUE(std::regex_search(table.out, std::regex("\nMeanRR +Average RR +- ms\n"))) << table.out;
}

TEST_F(AnalyseCommand, ARangeTooShortForAnyValueSaysSoInOneLine)
{
    // A second holds a beat or two: no interval with a change from the one before.
    for (const char* format : { "", " --json", " --csv" }) {
        const Run run = Varnex("analyse " + Record100() + " --from 10 --to 11" + format);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto err = Lines(run.err);
        ASSERT_EQ(err.size(), 1u) << run.err;
        EXPECT_TRUE(std::regex_search(err[0],
            std::regex("^varnex: no parameter has a value: too few intervals in the analysed range \\([12] beats?, 0 "
                       "intervals with a change from the one before; one at least is needed\\)$")))
            << err[0];
    }
    // With values, nothing is said.
    const Run enough = Varnex("analyse " + Record100() + " --from 10 --to 20 --set ExcludeEctopics=0");
    ASSERT_EQ(enough.status, 0) << enough.err;
    EXPECT_EQ(enough.err, "");
}

TEST_F(AnalyseCommand, ExclusionIsCountedAndTheRangeEndsReadAlike)
{
    const Run excluded = Varnex("analyse " + Record100() + " --from 30 --to 300");
    ASSERT_EQ(excluded.status, 0) << excluded.err;
    const auto err = Lines(excluded.err);
    ASSERT_EQ(err.size(), 1u) << excluded.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(err[0], m, std::regex("^varnex: ([0-9]+) of ([0-9]+) intervals were left out")))
        << err[0];
    EXPECT_GT(std::stoi(m[1]), 0);
    // What is left out and what the statistics count make up every interval.
    std::smatch total;
    ASSERT_TRUE(std::regex_search(excluded.out, total, std::regex("\nTotalCount +Total Beats +([0-9]+)\n")));
    EXPECT_EQ(std::stoi(m[1]) + std::stoi(total[1]), std::stoi(m[2]));
    // The start and the end of the analysed range are both times of day.
    EXPECT_TRUE(std::regex_search(excluded.out, std::regex("(^|\n)AnalysisStart +Analysis Start +00:00:30.00\n")))
        << excluded.out;
    EXPECT_TRUE(std::regex_search(excluded.out, std::regex("\nAnalysisEnd +Analysis End +00:05:00.00\n")))
        << excluded.out;

    const Run kept = Varnex("analyse " + Record100() + " --from 30 --to 300 --set ExcludeEctopics=0");
    ASSERT_EQ(kept.status, 0);
    EXPECT_EQ(kept.err, "");
}

TEST_F(AnalyseCommand, ReadsTheCsvOfTheWfdbTools)
{
    // What rdsamp -c -p -v writes: quoted titles, a units row, the elapsed time in milliseconds.
    const vx::import::WfdbRecord wfdb = vx::import::ReadRecord(TestData() / "mitdb" / "100.hea");
    std::string text = "'Elapsed time','MLII','V5'\n'seconds','mV','mV'\n";
    char line[96];
    for (int64_t i = 0; i < 120 * 360; ++i) {
        std::snprintf(line, sizeof line, "'%.3f',%.3f,%.3f\n", static_cast<double>(i) / 360.0,
            wfdb.ToPhysical(0, wfdb.samples[0][static_cast<std::size_t>(i)]),
            wfdb.ToPhysical(1, wfdb.samples[1][static_cast<std::size_t>(i)]));
        text += line;
    }
    const fs::path csv = mDir / "100.csv";
    WriteFile(csv, text);
    const Run fromText = Varnex("analyse " + Quote(csv.string()) + " --set ExcludeEctopics=0 --csv");
    ASSERT_EQ(fromText.status, 0) << fromText.err;
    const Run fromRecord = Varnex("analyse " + Record100() + " --to 120 --set ExcludeEctopics=0 --csv");
    ASSERT_EQ(fromRecord.status, 0) << fromRecord.err;
    EXPECT_EQ(CsvValue(fromText.out, "TotalCount"), CsvValue(fromRecord.out, "TotalCount"));
    EXPECT_NEAR(std::stod(CsvValue(fromText.out, "MeanRR")), std::stod(CsvValue(fromRecord.out, "MeanRR")), 0.5);
    // With a rate given the time column is still recognised, by its title.
    const Run withRate = Varnex("analyse " + Quote(csv.string()) + " --rate 360 --set ExcludeEctopics=0 --csv");
    ASSERT_EQ(withRate.status, 0) << withRate.err;
    EXPECT_EQ(CsvValue(withRate.out, "TotalCount"), CsvValue(fromRecord.out, "TotalCount"));
}

} // namespace

// The beat times of a --beats file.
std::vector<double> BeatTimes(const std::string& csv)
{
    std::vector<double> times;
    for (const std::string& line : Lines(csv))
        if (!line.empty() && line[0] != 't')
            times.push_back(std::stod(line.substr(0, line.find(','))));
    return times;
}

std::vector<double> Between(const std::vector<double>& times, double from, double to)
{
    std::vector<double> out;
    std::copy_if(times.begin(), times.end(), std::back_inserter(out), [&](double t) { return t >= from && t <= to; });
    return out;
}

std::vector<double> Outside(const std::vector<double>& times, double from, double to)
{
    std::vector<double> out;
    std::copy_if(times.begin(), times.end(), std::back_inserter(out), [&](double t) { return t < from || t > to; });
    return out;
}

TEST_F(AnalyseCommand, CorrectionsSavedInTheSessionAreFoundByTheNextRun)
{
    const fs::path record = CopyRecord(mDir / "rec");
    const fs::path session = mDir / "rec" / "100.hea.varnex-session";
    const std::string r = Quote(record.string());

    const Run plain = Varnex("analyse " + r + " --beats " + Quote((mDir / "b0.csv").string()));
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_FALSE(fs::exists(session)) << "only --save-session writes a session";
    const std::vector<double> detected = BeatTimes(ReadFile(mDir / "b0.csv"));
    ASSERT_GE(Between(detected, 100.0, 105.0).size(), 5u);
    ASSERT_TRUE(Between(detected, 106.0, 106.2).empty());

    const Run edited = Varnex("analyse " + r + " --remove-beats 100:105 --add-beat 106.1 --save-session --beats "
        + Quote((mDir / "b1.csv").string()));
    ASSERT_EQ(edited.status, 0) << edited.err;
    EXPECT_EQ(edited.err.find("using the session file"), std::string::npos) << edited.err;
    ASSERT_TRUE(fs::exists(session));
    const std::vector<double> corrected = BeatTimes(ReadFile(mDir / "b1.csv"));
    EXPECT_TRUE(Between(corrected, 100.0, 105.0).empty());
    const std::vector<double> added = Between(corrected, 106.0, 106.2);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_NEAR(added[0], 106.1, 1.0 / 360);
    EXPECT_EQ(Outside(corrected, 100.0, 106.2), Outside(detected, 100.0, 106.2));
    EXPECT_NE(edited.out, plain.out) << "the parameters follow the corrected beats";
    // Nothing is left beside the session file.
    EXPECT_EQ(
        Names(mDir / "rec"), (std::vector<std::string> { "100.atr", "100.dat", "100.hea", "100.hea.varnex-session" }));

    // A new process reads the session back and analyses the corrected beats again.
    const Run again = Varnex("analyse " + r + " --beats " + Quote((mDir / "b2.csv").string()));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("varnex: using the session file " + session.string() + "\n"), std::string::npos)
        << again.err;
    EXPECT_EQ(ReadFile(mDir / "b2.csv"), ReadFile(mDir / "b1.csv"));
    EXPECT_EQ(again.out, edited.out);

    // Corrections add up over sessions: a further removal keeps the first ones.
    const Run more = Varnex(
        "analyse " + r + " --remove-beats 200:203 --save-session --beats " + Quote((mDir / "b3.csv").string()));
    ASSERT_EQ(more.status, 0) << more.err;
    const std::vector<double> both = BeatTimes(ReadFile(mDir / "b3.csv"));
    EXPECT_TRUE(Between(both, 100.0, 105.0).empty());
    EXPECT_TRUE(Between(both, 200.0, 203.0).empty());
    EXPECT_EQ(Between(both, 106.0, 106.2).size(), 1u);
}

TEST_F(AnalyseCommand, ADamagedSessionIsReportedLeftAloneAndTheRecordOpensWithDefaults)
{
    const fs::path record = CopyRecord(mDir / "rec");
    const fs::path session = mDir / "rec" / "100.hea.varnex-session";
    const std::string r = Quote(record.string());
    const Run plain = Varnex("analyse " + r + " --beats " + Quote((mDir / "plain.csv").string()));
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(Varnex("analyse " + r + " --remove-beats 10:20 --save-session").status, 0);
    const std::string good = ReadFile(session);

    struct Damage {
        const char* name;
        std::string bytes;
    };
    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x10);
    for (const Damage& d :
        { Damage { "a flipped bit", flipped }, Damage { "cut short", good.substr(0, good.size() / 2) },
            Damage { "empty", "" }, Damage { "another file", "time_s,rr_s,class\n" } }) {
        WriteFile(session, d.bytes);
        const Run run = Varnex("analyse " + r + " --beats " + Quote((mDir / "b.csv").string()));
        EXPECT_EQ(run.status, 0) << d.name << "\n" << run.err;
        std::vector<std::string> sessionLines;
        for (const std::string& line : Lines(run.err))
            if (line.find("session") != std::string::npos)
                sessionLines.push_back(line);
        ASSERT_EQ(sessionLines.size(), 1u) << d.name << "\n" << run.err;
        EXPECT_NE(sessionLines[0].find("cannot be read"), std::string::npos) << sessionLines[0];
        EXPECT_EQ(ReadFile(mDir / "b.csv"), ReadFile(mDir / "plain.csv")) << d.name;
        EXPECT_EQ(ReadFile(session), d.bytes) << d.name << ": the damaged file is left as it is";

        // Saving over it would lose what may still be recovered from it: refused in one line.
        const Run save = Varnex("analyse " + r + " --add-beat 30 --save-session");
        EXPECT_EQ(save.status, 1) << d.name;
        EXPECT_EQ(Lines(save.err).size(), 1u) << save.err;
        EXPECT_NE(save.err.find("move it away"), std::string::npos) << save.err;
        EXPECT_EQ(ReadFile(session), d.bytes) << d.name;
    }
}

// A session that was read but cannot be applied to the recording is kept like an unreadable one:
// the recording opens with the defaults, the file is left as it is, and a save over it is refused
// in one line that says how to proceed, so the corrections in it come back with the recording they
// were made on. A file far larger than any session of the recording is refused before it is read.
TEST_F(AnalyseCommand, ASessionThatCannotBeUsedIsKeptAndNeverReplaced)
{
    // One minute of record 100 with both signals as text, and the same with the second one lost.
    const vx::import::WfdbRecord wfdb = vx::import::ReadRecord(TestData() / "mitdb" / "100.hea");
    std::string both = "time,MLII,V5\n", first = "time,MLII\n";
    char line[96];
    for (int64_t i = 0; i < 60 * 360; ++i) {
        const auto at = static_cast<std::size_t>(i);
        std::snprintf(
            line, sizeof line, "%.6f,%.3f", static_cast<double>(i) / 360.0, wfdb.ToPhysical(0, wfdb.samples[0][at]));
        first += std::string(line) + "\n";
        std::snprintf(line + std::strlen(line), sizeof line - std::strlen(line), ",%.3f\n",
            wfdb.ToPhysical(1, wfdb.samples[1][at]));
        both += line;
    }
    const fs::path csv = mDir / "r.csv", session = mDir / "r.csv.varnex-session";
    const std::string r = Quote(csv.string()), beats = Quote((mDir / "b.csv").string());
    WriteFile(csv, both);
    const Run saved = Varnex("analyse " + r + " --channel 2 --remove-beats 10:20 --save-session --beats " + beats);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::string corrected = ReadFile(mDir / "b.csv");
    ASSERT_TRUE(Between(BeatTimes(corrected), 10.0, 20.0).empty());
    const std::string good = ReadFile(session);

    // The same session with one more channel: a sum of 20,000 ones, which once crashed the run.
    vx::host::SessionContent content = vx::host::DecodeSession({ good.begin(), good.end() });
    std::wstring sum = L"1";
    for (int i = 1; i < 20000; ++i)
        sum += L"+1";
    content.channels.push_back({ L"Sum", sum });
    const std::vector<std::uint8_t> withSum = vx::host::EncodeSession(content);

    const struct {
        const char* name;
        std::string recording;
        std::string session; // empty: the good session made as large as `size`
        std::uintmax_t size;
        const char* says;
    } cases[] = {
        { "the recording lost the signal the session analyses", first, good, 0, "its channel HRV_vLPF cannot be made" },
        { "a channel whose formula is a sum of 20,000 terms", both, { withSum.begin(), withSum.end() }, 0,
            "its channel Sum cannot be made" },
        { "a file far larger than a session of the recording can be", both, "", std::uintmax_t(1) << 32,
            "more than a session of this recording can" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(csv, c.recording);
        WriteFile(session, c.session.empty() ? good : c.session);
        if (c.size)
            fs::resize_file(session, c.size); // sparse: nothing of it is on the disk
        const std::string& start = c.session.empty() ? good : c.session;
        const auto kept = [&] {
            std::ifstream in(session, std::ios::binary);
            std::string head(start.size(), '\0');
            in.read(head.data(), static_cast<std::streamsize>(head.size()));
            return fs::file_size(session) == (c.size ? c.size : start.size()) && head == start;
        };
        const Run run = Varnex("analyse " + r + " --beats " + beats);
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<std::string> sessionLines;
        for (const std::string& l : Lines(run.err))
            if (l.find("session") != std::string::npos)
                sessionLines.push_back(l);
        ASSERT_EQ(sessionLines.size(), 1u) << run.err;
        EXPECT_NE(sessionLines[0].find(c.says), std::string::npos) << sessionLines[0];
        EXPECT_NE(sessionLines[0].find("left as it is"), std::string::npos) << sessionLines[0];
        EXPECT_TRUE(kept());

        const Run save = Varnex("analyse " + r + " --add-beat 30 --save-session");
        EXPECT_EQ(save.status, 1);
        EXPECT_EQ(Lines(save.err).size(), 1u) << save.err;
        EXPECT_NE(save.err.find("will not replace the session file"), std::string::npos) << save.err;
        EXPECT_NE(save.err.find(c.says), std::string::npos) << save.err;
        EXPECT_NE(save.err.find("move"), std::string::npos) << save.err;
        EXPECT_TRUE(kept());
    }
    // With the signal back, the session's corrections are there again.
    WriteFile(csv, both);
    WriteFile(session, good);
    const Run again = Varnex("analyse " + r + " --channel 2 --beats " + beats);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("using the session file"), std::string::npos) << again.err;
    EXPECT_EQ(ReadFile(mDir / "b.csv"), corrected);
}

// Settings go through the settings dialog's fields: what the dialog would not take is one clear
// line, nothing is analysed; a detector value goes through the Custom preset's detector settings.
TEST_F(AnalyseCommand, SettingsTheDialogWouldNotTakeAreRefusedInOneLine)
{
    const struct {
        const char* set;
        const char* message;
    } refused[] = {
        { "--set MaxFrequency=0.3", "varnex: HFHigh must be from 0.15 to 0.3 here, not 0.45" },
        { "--set HFHigh=12", "varnex: HFHigh must be from 0 to 10 Hz, not 12" },
        { "--set SDARRAveraging=0", "varnex: SDARRAveraging must be from 1 to 3600 s, not 0" },
        { "--set Unknown=1", "varnex: unknown setting: Unknown" },
    };
    for (const auto& c : refused) {
        const Run run = Varnex("analyse " + Record100() + " --to 60 --csv " + c.set);
        EXPECT_NE(run.status, 0) << c.set;
        EXPECT_EQ(run.out, "") << c.set;
        EXPECT_EQ(Lines(run.err), std::vector<std::string> { c.message }) << c.set;
    }
    const Run preset = Varnex("analyse " + Record100() + " --to 60 --csv");
    const Run longer
        = Varnex("analyse " + Record100() + " --to 60 --csv --set MaxFrequency=0.3 --set HFHigh=0.3 --set MinPeriod=1");
    ASSERT_EQ(longer.status, 0) << longer.err;
    ASSERT_EQ(preset.status, 0) << preset.err;
    EXPECT_NE(CsvValue(longer.out, "MeanRR"), CsvValue(preset.out, "MeanRR"));
}

// Record 100's first minute in every layout the WFDB library writes: each gives the beats of its
// twin in format 16 (the same samples), byte for byte.
TEST_F(AnalyseCommand, EveryWfdbLayoutGivesTheBeatsOfItsTwin)
{
    const fs::path dir = TestData() / "wfdb-layouts";
    const auto beats = [&](const std::string& record, const std::string& more = "") {
        const fs::path file = mDir / (record + ".csv");
        const Run run = Varnex("analyse " + Quote((dir / (record + ".hea")).string())
            + " --set ExcludeEctopics=0 --csv --beats " + Quote(file.string()) + more);
        EXPECT_EQ(run.status, 0) << record << ": " << run.err;
        return ReadFile(file);
    };
    std::vector<std::pair<std::string, std::string>> pairs
        = { { "ms", "g212" }, { "skew", "g16" }, { "off", "g16" }, { "spf", "g212" } };
    for (const char* format : { "8", "16", "24", "32", "61", "80", "160", "212", "310", "311", "508", "516", "524" })
        pairs.emplace_back(std::string("f") + format, std::string("g") + format);
    for (const auto& [record, twin] : pairs) {
        SCOPED_TRACE(record);
        // The two-samples-per-frame record ends one frame short of its twin.
        const std::string range = record == "spf" ? " --to 59.99" : "";
        const std::string a = beats(record, range), b = beats(twin, range);
        EXPECT_GT(Lines(a).size(), 60u);
        EXPECT_EQ(a, b);
    }
}

// A record whose signals lie in two files, one of them missing: the signals of the file that is
// there are analysed, a signal of the missing file is refused in one line naming it.
TEST_F(AnalyseCommand, ASignalFileThatIsMissingLeavesTheOthersReadable)
{
    const fs::path dir = TestData() / "wfdb-layouts";
    fs::copy_file(dir / "f16.dat", mDir / "a.dat");
    WriteFile(mDir / "r.hea",
        "r 3 360 21600\r\na.dat 16 200 16 0 -29 0 0 MLII\r\na.dat 16 200 16 0 -13 0 0 V5\r\n"
        "b.dat 16 200 16 0 0 0 0 chest lead\r\n# b.dat is not there\r\n");
    const Run first = Varnex("analyse " + Quote((mDir / "r.hea").string()) + " --csv");
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(CsvValue(first.out, "MeanRR"), "");
    const Run named = Varnex("analyse " + Quote((mDir / "r.hea").string()) + " --csv --channel V5");
    EXPECT_EQ(named.status, 0) << named.err;
    const Run missing = Varnex("analyse " + Quote((mDir / "r.hea").string()) + " --csv --channel 'chest lead'");
    EXPECT_NE(missing.status, 0);
    // (The writer's checksums of these files leave out their last samples: warnings.)
    std::vector<std::string> reasons;
    for (const std::string& line : Lines(missing.err))
        if (line.rfind("varnex: warning:", 0) != 0)
            reasons.push_back(line);
    ASSERT_EQ(reasons.size(), 1u) << missing.err;
    EXPECT_NE(reasons[0].find("b.dat"), std::string::npos) << missing.err;
    EXPECT_NE(reasons[0].find("cannot be opened"), std::string::npos) << missing.err;
}

TEST_F(AnalyseCommand, ARecordTooSlowForTheLowPassCutoffSaysSoAndNamesTheSetting)
{
    // A minute of record 100 sampled at 55 Hz: the default cut-off of 30 Hz needs more than 60.
    const vx::import::WfdbRecord wfdb = vx::import::ReadRecord(TestData() / "mitdb" / "100.hea");
    std::string text = "time,MLII\n";
    char line[64];
    for (int64_t i = 0; i < 60 * 55; ++i) {
        std::snprintf(line, sizeof line, "%.6f,%.3f\n", static_cast<double>(i) / 55.0,
            wfdb.ToPhysical(0, wfdb.samples[0][static_cast<std::size_t>(i * 360 / 55)]));
        text += line;
    }
    const fs::path csv = mDir / "slow.csv";
    WriteFile(csv, text);
    const Run run = Varnex("analyse " + Quote(csv.string()) + " --beats " + Quote((mDir / "b.csv").string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lines(run.err),
        std::vector<std::string> { "varnex: cannot detect the beats: record 1 is sampled at 55 Hz, too slowly for the "
                                   "detector's low-pass cut-off LowPassCutoff of 30 Hz, which must lie below half "
                                   "the sample rate (27.5 Hz); --set LowPassCutoff=VALUE changes it" });
    EXPECT_FALSE(fs::exists(mDir / "b.csv"));
    // A cut-off the rate can carry finds the beats.
    const Run lower
        = Varnex("analyse " + Quote(csv.string()) + " --set LowPassCutoff=20 --set ExcludeEctopics=0 --csv");
    ASSERT_EQ(lower.status, 0) << lower.err;
    EXPECT_GT(std::stoi(CsvValue(lower.out, "TotalCount")), 40);
}
