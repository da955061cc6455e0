#include "varnex/cli/SelfTest.h"

#include <charconv>
#include <ctime>
#include <filesystem>
#include <memory>
#include <ostream>
#include <set>

#include "caf/CafHost.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "host/synthetic/SyntheticRecordings.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"
#include "varnex/startup/ExtensionLoader.h"

namespace varnex {
namespace {

std::string Text(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    return s.Utf8();
}

std::string ExtensionBesideHost()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("libhrv.so") : (self.parent_path() / "libhrv.so").string();
}

struct Case {
    IUnitTest* test;
    ULONG index;
    std::string name;
};

} // namespace

namespace {

const Option<SelfTestOptions> kSelfTestOptions[] = {
    { "--list", "", "name the cases instead of running them",
        [](SelfTestOptions& o, const std::string&, std::string&) {
            o.list = true;
            return true;
        } },
    { "--seed", "N", "repeat the random choices of an earlier run",
        [](SelfTestOptions& o, const std::string& value, std::string& error) {
            std::int32_t seed = 0;
            const auto r = std::from_chars(value.data(), value.data() + value.size(), seed);
            if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || seed <= 0) {
                error = "--seed takes a whole number from 1 to 2147483647, not '" + value + "'";
                return false;
            }
            o.seed = seed;
            return true;
        } },
    { "--extension", "FILE", "the HRV extension (default: libhrv.so beside varnex)",
        [](SelfTestOptions& o, const std::string& value, std::string&) {
            o.extension = value;
            return true;
        } },
};

// A case's or a test's name.
bool TakeName(SelfTestOptions& o, const std::string& word, std::string& error)
{
    if (word.rfind("--", 0) == 0) {
        error = "unknown option " + word;
        return false;
    }
    o.names.push_back(word);
    return true;
}

} // namespace

OptionTable<SelfTestOptions> SelfTestOptionTable()
{
    return kSelfTestOptions;
}

bool ParseSelfTestArguments(const std::vector<std::string>& args, SelfTestOptions& options, std::string& error)
{
    return ParseOptions<SelfTestOptions>(args, kSelfTestOptions, TakeName, options, error);
}

int SelfTest(const SelfTestOptions& options, std::ostream& out, std::ostream& err)
{
    HostFramework framework(FrameworkSource::Host);
    if (FAILED(framework.Result())) {
        err << "varnex: the framework is not available\n";
        return 2;
    }
    std::string error;
    std::unique_ptr<Extension> loaded
        = Extension::Load(options.extension.empty() ? ExtensionBesideHost() : options.extension, error);
    if (!loaded) {
        err << "varnex: " << error << "\n";
        return 2;
    }
    // The host's shut-down runs backwards from here: its own classes first, then what the
    // extension registered, then the library.
    const RegisteredExtension extension(std::move(loaded));
    std::unique_ptr<vx::host::SyntheticRecordingHost> recordings;
    caf::ReleaseRegistrations();
    if (FAILED(extension->RegisterClassObjects(framework.Object()))) {
        err << "varnex: the extension refused to register\n";
        return 2;
    }
    std::vector<IUnknown*> classObjects;
    // The tests are let go of before the host shuts down.
    std::vector<vx::com::Ref<IUnitTest>> tests;
    for (const caf::Registration& r : caf::Registrations()) {
        if (r.kind == caf::Registration::Kind::ClassObject)
            classObjects.push_back(r.object);
        if (r.kind == caf::Registration::Kind::UnitTest)
            if (auto test = vx::com::Query<IUnitTest>(r.object))
                tests.push_back(std::move(test));
    }
    try {
        recordings = std::make_unique<vx::host::SyntheticRecordingHost>(
            vx::com::Query<ITypeIdRegistry>(framework.Object()).Get(), classObjects);
    } catch (const std::exception& e) {
        err << "varnex: the extension's enumerators cannot be used: " << e.what() << "\n";
        return 2;
    }

    const std::int32_t seed = options.seed
        ? *options.seed
        : std::max<std::int32_t>(
            1, static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)) & 0x7FFFFFFF));
    std::vector<Case> cases;
    for (const vx::com::Ref<IUnitTest>& ref : tests) {
        IUnitTest* t = ref.Get();
        t->Initialise(static_cast<DWORD>(seed), 0, 0);
        ULONG count = 0;
        if (FAILED(t->GetTestCount(&count)))
            continue;
        for (ULONG i = 0; i < count; ++i) {
            IKELString* name = nullptr;
            if (FAILED(t->GetTestName(i, &name)))
                continue;
            cases.push_back({ t, i, Text(name) });
        }
    }
    // Names pick cases: a case's own name, or a test's name for every case of it.
    if (!options.names.empty()) {
        std::vector<Case> chosen;
        std::set<std::string> matched;
        for (const Case& c : cases) {
            const std::string test = c.name.substr(0, c.name.find("::"));
            for (const std::string& n : options.names)
                if (n == c.name || n == test) {
                    chosen.push_back(c);
                    matched.insert(n);
                    break;
                }
        }
        for (const std::string& n : options.names)
            if (!matched.count(n)) {
                err << "varnex: no self-test named " << n << " (varnex selftest --list shows them)\n";
                return 2;
            }
        cases = std::move(chosen);
    }
    if (options.list) {
        for (const Case& c : cases)
            out << c.name << "\n";
        return 0;
    }
    out << "seed " << seed << "\n" << std::flush;
    int passed = 0, failed = 0;
    for (const Case& c : cases) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        IKELString* message = nullptr;
        const HRESULT hr = c.test->RunTest(c.index);
        c.test->GetTestResult(&ok, &message);
        std::string text = Text(message);
        if (FAILED(hr)) {
            ok = VARIANT_FALSE;
            text = "the test refused to run this case";
        }
        if (ok != VARIANT_FALSE) {
            ++passed;
            out << c.name << ": passed\n";
        } else {
            ++failed;
            out << c.name << ": failed: " << text << "\n";
        }
        out << std::flush;
    }
    out << passed << " passed, " << failed << " failed\n";
    return failed > 0 ? 1 : 0;
}

} // namespace varnex
