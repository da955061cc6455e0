// Channel calculations in the session file: a channel that shows a beat measure is kept with its
// calculation's class and settings, and a new process opening the recording makes it again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "ScratchHost.h"
#include "VarnexCommand.h"
#include "caf/CafHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/hrvdoc/Session.h"
#include "host/recording/Import.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "varnex/session/SessionFile.h"
#include "varnex/startup/ExtensionLoader.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The session of a copy of record 100 whose channel "HRV Rate" is computed by the extension's
// channel calculation with its default settings, written by this process with the extension
// loaded here.
vx::host::SessionContent SaveSessionWithACalculation(const fs::path& record, const fs::path& session)
{
    varnex::HostFramework framework(varnex::FrameworkSource::Host);
    EXPECT_EQ(framework.Result(), S_OK);
    std::string error;
    std::unique_ptr<varnex::Extension> loaded = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
    EXPECT_TRUE(loaded) << error;
    if (!loaded)
        return {};
    const varnex::RegisteredExtension extension(std::move(loaded));
    EXPECT_EQ(extension->RegisterClassObjects(framework.Object()), S_OK);
    std::vector<IUnknown*> classObjects;
    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            classObjects.push_back(r.object);
    vx::host::SessionContent saved;
    {
        vx::host::HrvHostDocument host(std::make_shared<vx::host::Recording>(vx::host::ImportFile(record)));
        host.RegisterEnumerators(classObjects);
        ITypeIdRegistry* types = nullptr;
        framework.Object()->QueryInterface(ITypeIdRegistry::kIid, reinterpret_cast<void**>(&types));
        host.RegisterCalculationClasses(classObjects, types);
        if (types)
            types->Release();
        vx::host::CalculationClassRegistry& classes = host.CalculationClasses();
        const std::vector<DWORD> ids = classes.CalculationClassIds();
        EXPECT_EQ(ids.size(), 1u);
        if (ids.empty())
            return {};
        vx::hf::ChannelRef ref;
        EXPECT_EQ(host.Document().CreateNamedChannel(0, L"HRV Rate", nullptr, &ref), S_OK);
        IUnknown* settings = nullptr;
        // The extension's settings class has the id of its calculation class with 1 in the low half.
        EXPECT_EQ(classes.CreateSettings(ids[0] | 1, &settings), S_OK);
        EXPECT_TRUE(SUCCEEDED(
            classes.ComputeChannel(host.Document(), ref.number, ids[0], settings, host.CalculationFactory())));
        if (settings)
            settings->Release();
        EXPECT_TRUE(vx::host::SessionDirty(host)) << "a new channel calculation is a change to save";
        varnex::SaveSession(host, session.string());
        EXPECT_FALSE(vx::host::SessionDirty(host));
        saved = vx::host::CollectSession(host);
    }
    return saved;
}

} // namespace

TEST(SessionCalculations, ANewProcessMakesTheChannelCalculationAgainWithItsSettings)
{
    const fs::path record = vx::test::CopyRecord100("varnex-calc-session", vx::test::TestData());
    const fs::path dir = record.parent_path(), session = dir / "100.hea.varnex-session";
    const std::uint64_t limit = vx::host::SessionSizeLimit(vx::host::ImportFile(record.string()));

    const vx::host::SessionContent saved = SaveSessionWithACalculation(record, session);
    ASSERT_EQ(saved.calculations.size(), 1u);
    const vx::host::SessionContent::ChannelCalc& calc = saved.calculations[0];
    EXPECT_EQ(calc.channel, L"HRV Rate");
    EXPECT_FALSE(calc.calcClass.empty());
    EXPECT_FALSE(calc.settings.empty());
    const auto written = varnex::ReadSessionFile(session.string(), limit);
    ASSERT_TRUE(written.has_value());
    ASSERT_EQ(written->calculations.size(), 1u);

    // Another process opens the recording, analyses it and saves its session: the calculation
    // was made again from the file, so it is saved again, the same.
    const vx::test::VarnexStreams run = vx::test::VarnexOutputs("analyse " + record.string() + " --save-session", dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("using the session file"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("cannot"), std::string::npos) << run.err;
    const auto again = varnex::ReadSessionFile(session.string(), limit);
    ASSERT_TRUE(again.has_value());
    ASSERT_EQ(again->calculations.size(), 1u);
    EXPECT_EQ(again->calculations[0].channel, calc.channel);
    EXPECT_EQ(again->calculations[0].calcClass, calc.calcClass);
    EXPECT_TRUE(again->calculations[0].settingsClass == calc.settingsClass);
    EXPECT_EQ(again->calculations[0].settings, calc.settings);

    // A calculation no extension offers makes the session unusable: said so, the file as it was,
    // the recording opened with its defaults.
    vx::host::SessionContent unknown = *again;
    unknown.calculations[0].calcClass = L"No Such Calculation";
    const std::vector<std::uint8_t> bytes = vx::host::EncodeSession(unknown);
    WriteBytes(session, bytes);
    const vx::test::VarnexStreams refused = vx::test::VarnexOutputs("analyse " + record.string(), dir);
    EXPECT_EQ(refused.exitCode, 0) << refused.err;
    EXPECT_NE(refused.err.find("No Such Calculation"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("cannot be used"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(session), bytes);
    fs::remove_all(dir);
}
