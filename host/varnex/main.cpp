// varnex: the stand-in host application's command line.
#include <malloc.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "varnex/cli/Analyse.h"
#include "varnex/cli/SelfTest.h"
#include "varnex/desktop/Open.h"
#include "varnex/startup/ExtensionLoader.h"

namespace {

// The usage: each command's options come from the table its parser reads.
void PrintUsage(std::ostream& out)
{
    out << "usage: varnex list-classes [--framework=host|extension] EXTENSION\n"
           "       varnex analyse RECORD [options]\n"
           "       varnex selftest [options] [NAME...]\n"
           "       varnex open RECORD [options]\n"
           "  list-classes  load the extension and list the class objects it registers\n"
           "  --framework   who makes the framework reachable: the host (default) or the\n"
           "                extension, which then loads libcaf.so from varnex's folder\n"
           "  analyse       HRV analysis of a recording (WFDB .hea, EDF/EDF+ .edf or delimited\n"
           "                text); prints every HRV parameter with its id, name, value and unit\n";
    varnex::WriteOptionsUsage(out, varnex::AnalyseOptionTable());
    out << "  selftest      run the extension's built-in self-tests case by case (NAME: a case,\n"
           "                or a test for all its cases)\n";
    varnex::WriteOptionsUsage(out, varnex::SelfTestOptionTable());
    out << "  open          the desktop window on a recording (needs a display); the HRV menu\n"
           "                runs the analysis\n";
    varnex::WriteOptionsUsage(out, varnex::OpenOptionTable());
    out << "  --help        this text\n";
}

int Usage()
{
    PrintUsage(std::cerr);
    return 2;
}

int Help()
{
    PrintUsage(std::cout);
    std::cout.flush();
    return std::cout.good() ? 0 : 1;
}

bool AsksForHelp(const std::vector<std::string>& args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "help" || AsksForHelp(args)))
        return Help();
    if (!args.empty() && args[0] == "analyse") {
        // An analysis allocates and frees event and statistics buffers of a few megabytes many
        // times over; kept in the heap instead of being handed back to the system, they are
        // reused without fresh page faults (long recordings: a quarter of the CPU time).
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
        varnex::AnalyseOptions options;
        std::string error;
        if (!varnex::ParseAnalyseArguments({ args.begin() + 1, args.end() }, options, error)) {
            std::cerr << "varnex: " << error << " (varnex with no arguments shows the usage)\n";
            return 2;
        }
        return varnex::Analyse(options, std::cout, std::cerr);
    }
    if (!args.empty() && args[0] == "selftest") {
        varnex::SelfTestOptions options;
        std::string error;
        if (!varnex::ParseSelfTestArguments({ args.begin() + 1, args.end() }, options, error)) {
            std::cerr << "varnex: " << error << " (varnex with no arguments shows the usage)\n";
            return 2;
        }
        return varnex::SelfTest(options, std::cout, std::cerr);
    }
    if (!args.empty() && args[0] == "open") {
        varnex::OpenOptions options;
        std::string error;
        if (!varnex::ParseOpenArguments({ args.begin() + 1, args.end() }, options, error)) {
            std::cerr << "varnex: " << error << " (varnex with no arguments shows the usage)\n";
            return 2;
        }
        return varnex::Open(options, std::cerr);
    }
    if (args.empty() || args[0] != "list-classes")
        return Usage();
    varnex::FrameworkSource source = varnex::FrameworkSource::Host;
    std::string extension;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--framework=host")
            source = varnex::FrameworkSource::Host;
        else if (args[i] == "--framework=extension")
            source = varnex::FrameworkSource::Extension;
        else if (extension.empty() && args[i].rfind("--", 0) != 0)
            extension = args[i];
        else
            return Usage();
    }
    if (extension.empty())
        return Usage();
    return varnex::ListClasses(extension, source, std::cout, std::cerr);
}
