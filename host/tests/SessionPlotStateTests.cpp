// The plots' state in the session file: the scale ranges and the legend and text-region places a
// user set are saved with the recording's session and handed to the plot controls when it is
// opened again; a damaged one refuses the whole file; files written before plots kept their
// state still open.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "ScratchHost.h"
#include "VarnexCommand.h"
#include "caf/FrameworkServices.h"
#include "caf/PlotStateRegistrar.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/hrvdoc/Session.h"
#include "varnex/session/SessionFile.h"

namespace fs = std::filesystem;
using vx::host::SessionContent;
using vx::host::SessionError;

namespace {

// A session written by `varnex analyse 100.hea --from 0 --to 60 --remove-beats 10:12 --add-beat 11
// --save-session` before plot states were kept.
const fs::path kOlderSession = fs::path(HOST_TEST_DATA_DIR) / "record100-before-plot-state.varnex-session";

std::vector<std::uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

SessionContent WithPlotStates()
{
    SessionContent c;
    c.objects.push_back({ 0, {}, { 1, 2, 3 } });
    c.plotStates.push_back({ 5, L"tachogram", L"", 1.25, 0.5, L"", 1 });
    c.plotStates.push_back({ 2, L"tachogram", L"legend", 80, 12.5, L"", 0 });
    c.plotStates.push_back({ 3, L"poincar\u00e9", L"text_region", 0, 0, L"note \U0001F600", 0 });
    return c;
}

// The bytes of the session with the last section's body rewritten by `change` (its length and the
// checksum made to match, so only the section's content is wrong).
std::vector<std::uint8_t> WithLastSection(
    const SessionContent& content, const std::function<void(std::vector<std::uint8_t>&)>& change)
{
    std::vector<std::uint8_t> bytes = vx::host::EncodeSession(content);
    bytes.resize(bytes.size() - 4);
    // The last section is a plot state: find its header by walking the sections.
    std::size_t at = 16, last = 0;
    while (at < bytes.size()) {
        last = at;
        std::uint32_t length = 0;
        std::memcpy(&length, &bytes[at + 8], 4);
        at += 12 + length;
    }
    std::vector<std::uint8_t> body(bytes.begin() + static_cast<std::ptrdiff_t>(last + 12), bytes.end());
    change(body);
    bytes.resize(last + 12);
    const auto length = static_cast<std::uint32_t>(body.size());
    std::memcpy(&bytes[last + 8], &length, 4);
    bytes.insert(bytes.end(), body.begin(), body.end());
    const std::uint32_t crc = vx::host::Crc32(bytes.data(), bytes.size());
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    return bytes;
}

class Sink final : public SimpleUnknownImp1<IPlotStateSink, 1> {
public:
    HRESULT OnPlotState(const PlotStateMessage* m) override
    {
        std::wostringstream line;
        line << m->number << L" " << m->plotId << L" " << m->itemId << L" " << m->first << L" " << m->second << L" "
             << m->text << L" " << int(m->flag);
        seen.push_back(line.str());
        return S_OK;
    }
    std::vector<std::wstring> seen;
};

class SessionPlotState : public ::testing::Test {
protected:
    void SetUp() override
    {
        mShared = new caf::SharedHostObject;
        mShared->AddRef();
        void* out = nullptr;
        ASSERT_EQ(mShared->QueryInterface(IPlotStateRegistrar::kIid, &out), S_OK);
        mRegistrar = static_cast<IPlotStateRegistrar*>(out);
        caf::PlotStateRegistrarObject()->Store().Restore({});
    }
    void TearDown() override
    {
        caf::PlotStateRegistrarObject()->Store().Restore({});
        if (mRegistrar)
            mRegistrar->Release();
        mShared->Release();
    }
    void Post(
        DWORD number, const wchar_t* plot, const wchar_t* item, double first, double second, const wchar_t* text = L"")
    {
        PlotStateMessage m;
        m.number = number;
        m.plotId = plot;
        m.itemId = item;
        m.first = first;
        m.second = second;
        m.text = text;
        ASSERT_EQ(mRegistrar->Post(&m), S_OK);
    }

    vx::test::ScratchHost mScratch { "varnex-plotstate" };
    const fs::path& mDir = mScratch.dir;
    std::unique_ptr<vx::host::HrvHostDocument>& mHost = mScratch.host;
    caf::SharedHostObject* mShared = nullptr;
    IPlotStateRegistrar* mRegistrar = nullptr;
};

} // namespace

TEST(SessionBytes, PlotStatesRoundTripAndADamagedOneRefusesTheFile)
{
    const SessionContent c = WithPlotStates();
    EXPECT_EQ(vx::host::DecodeSession(vx::host::EncodeSession(c)).plotStates, c.plotStates);

    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> change;
    };
    const Case cases[] = {
        { "an unknown kind", [](auto& b) { b[0] = 9; } },
        { "a flag beyond a byte", [](auto& b) { b[b.size() - 3] = 1; } },
        { "bytes after its fields", [](auto& b) { b.push_back(0); } },
        { "cut inside its text", [](auto& b) { b.resize(b.size() - 6); } },
        { "a text longer than the section", [](auto& b) { b[4] = 0xFF; } },
    };
    for (const Case& k : cases) {
        try {
            vx::host::DecodeSession(WithLastSection(c, k.change));
            ADD_FAILURE() << k.name << " was accepted";
        } catch (const SessionError& e) {
            EXPECT_TRUE(std::strstr(e.what(), "plot's state")) << k.name << ": " << e.what();
        }
    }
}

// Today's reader takes a session written before plot states were kept, and writes it back byte
// for byte: the older parts keep their layout.
TEST(SessionBytes, ASessionWrittenBeforePlotStatesReadsAsOneWithoutAny)
{
    const std::vector<std::uint8_t> older = ReadBytes(kOlderSession);
    ASSERT_FALSE(older.empty()) << kOlderSession;
    const SessionContent content = vx::host::DecodeSession(older);
    EXPECT_EQ(content.objects.size(), 2u);
    EXPECT_FALSE(content.channels.empty());
    EXPECT_TRUE(content.plotStates.empty());
    EXPECT_EQ(vx::host::EncodeSession(content), older);
}

TEST_F(SessionPlotState, SavedWithTheSessionAndHandedToThePlotsOnReopening)
{
    const fs::path path = mDir / "r.hea.varnex-session";
    std::ostringstream err;
    varnex::OpenWithSession(*mHost, nullptr, nullptr, nullptr, path.string(), err);
    EXPECT_FALSE(varnex::SessionNeedsSave(*mHost));
    Post(PlotStateMessage::kYRange, L"tachogram", L"", 1.5, 0.25);
    Post(PlotStateMessage::kItemPosition, L"tachogram", L"legend", 70, 10);
    Post(PlotStateMessage::kItemText, L"spectrum", L"text_region", 0, 0, L"after exercise");
    EXPECT_TRUE(varnex::SessionNeedsSave(*mHost)) << "a plot's new state is a change to save";

    varnex::SaveSession(*mHost, path.string());
    EXPECT_FALSE(varnex::SessionNeedsSave(*mHost));
    // A plot that sends again what is kept (as a plot does when its page loads) changes nothing.
    Post(PlotStateMessage::kYRange, L"tachogram", L"", 1.5, 0.25);
    EXPECT_FALSE(varnex::SessionNeedsSave(*mHost));
    Post(PlotStateMessage::kYRange, L"tachogram", L"", 2, 0.25);
    EXPECT_TRUE(varnex::SessionNeedsSave(*mHost));

    // Another process opens the recording: its registrar starts empty and takes the saved state.
    caf::PlotStateRegistrarObject()->Store().Restore({});
    const auto read = varnex::ReadSessionFile(path.string(), vx::host::SessionSizeLimit(mHost->GetRecording()));
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(varnex::OpenWithSession(*mHost, nullptr, nullptr, &*read, path.string(), err));
    EXPECT_EQ(err.str(), "");
    EXPECT_FALSE(varnex::SessionNeedsSave(*mHost)) << "what was just opened is what the file holds";
    Sink plot;
    ASSERT_EQ(mRegistrar->Attach(&plot), S_OK);
    EXPECT_EQ(plot.seen,
        (std::vector<std::wstring> { L"5 tachogram  1.5 0.25  0", L"2 tachogram legend 70 10  0",
            L"3 spectrum text_region 0 0 after exercise 0" }));
    mRegistrar->Detach(&plot);

    // A session without plot states opens with none kept.
    SessionContent none;
    EXPECT_TRUE(varnex::OpenWithSession(*mHost, nullptr, nullptr, &none, path.string(), err));
    EXPECT_TRUE(caf::PlotStateRegistrarObject()->Store().Snapshot().empty());
}

// A new process opens the record with a session written before plot states were kept: the
// corrections in it are used.
TEST(SessionBytes, VarnexAnalyseUsesASessionWrittenBeforePlotStates)
{
    const fs::path header = vx::test::CopyRecord100("varnex-older-session", vx::test::TestData());
    const fs::path dir = header.parent_path();
    const std::string record = header.string();
    const std::string beats = (dir / "beats.csv").string();
    const vx::test::VarnexStreams plain
        = vx::test::VarnexOutputs("analyse " + record + " --from 0 --to 60 --beats " + beats, dir);
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string detected = vx::test::ReadWholeFile(beats);

    fs::copy_file(kOlderSession, dir / "100.hea.varnex-session");
    const vx::test::VarnexStreams run
        = vx::test::VarnexOutputs("analyse " + record + " --from 0 --to 60 --beats " + beats, dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("using the session file"), std::string::npos) << run.err;
    // The session removed the beats from 10 to 12 s and added one at 11 s.
    const auto between = [](const std::string& csv, double from, double to) {
        std::vector<double> times;
        std::istringstream in(csv);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line))
            if (const double t = std::stod(line); t > from && t < to)
                times.push_back(t);
        return times;
    };
    EXPECT_GE(between(detected, 10, 12).size(), 2u);
    EXPECT_EQ(between(vx::test::ReadWholeFile(beats), 10, 12), std::vector<double> { 11.0 });
    EXPECT_EQ(between(vx::test::ReadWholeFile(beats), 12, 60), between(detected, 12, 60));
    EXPECT_EQ(ReadBytes(dir / "100.hea.varnex-session"), ReadBytes(kOlderSession)) << "reading changes nothing";
    fs::remove_all(dir);
}
