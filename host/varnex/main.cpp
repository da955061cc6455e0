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

void PrintUsage(std::ostream& out)
{
    out << "usage: varnex list-classes [--framework=host|extension] EXTENSION\n"
           "       varnex analyse RECORD [options]\n"
           "       varnex selftest [--list] [--seed N] [NAME...]\n"
           "       varnex open RECORD [--extension FILE]\n"
           "  list-classes  load the extension and list the class objects it registers\n"
           "  --framework   who makes the framework reachable: the host (default) or the\n"
           "                extension, which then loads libcaf.so from varnex's folder\n"
           "  analyse       HRV analysis of a recording (WFDB .hea, EDF/EDF+ .edf or delimited\n"
           "                text); prints every HRV parameter with its id, name, value and unit\n"
           "    --channel N|TITLE   source channel (default 1, the first)\n"
           "    --species NAME      preset: Human, Large Dog, Small Dog, Guinea Pig, Mouse, Pig,\n"
           "                        Rabbit, Rat, Custom (or its index 0-8)\n"
           "    --from S --to S     analyse only this time range, in seconds\n"
           "    --rate HZ           sample rate of delimited text without a time column\n"
           "    --set NAME=VALUE    any setting, e.g. --set ExcludeEctopics=0 --set RRMax=1.5\n"
           "    --rr FILE           the RR intervals (seconds, one per line)\n"
           "    --beats FILE        CSV of every beat: time_s,rr_s,class\n"
           "    --report FILE       the HRV report as an HTML page\n"
           "    --remove-beats FROM:TO  remove the detected beats between two times (seconds)\n"
           "    --add-beat S        add a beat at a time the detector missed (seconds)\n"
           "    --save-session      keep the settings and beat corrections beside the record\n"
           "                        (RECORD.varnex-session), read back by later runs\n"
           "    --online            play the record as if it were being sampled\n"
           "    --json | --csv      machine-readable parameters\n"
           "    --extension FILE    the HRV extension (default: libhrv.so beside varnex)\n"
           "    --progress | --quiet  stage lines on the error stream (default: on a terminal)\n"
           "  selftest      run the extension's built-in self-tests case by case (NAME: a case,\n"
           "                or a test for all its cases); --list names them, --seed N repeats\n"
           "                the random choices of an earlier run\n"
           "  open          the desktop window on a recording (needs a display): the HRV menu\n"
           "                runs the analysis; --run \"HRV|Analyse\" chooses a menu item,\n"
           "                --screenshot FILE.png saves the window, --exit closes it after,\n"
           "                --dialog ACTIONS answers the next dialog (shot=FILE.png, select=ID:N,\n"
           "                type=ID:TEXT, click=ID; comma-separated), --click-comment N clicks\n"
           "                the marker of the N-th comment on the chart (from 0),\n"
           "                --print-to FILE.pdf prints\n"
           "                into that file, --view-screenshot FILE.png saves the last view's frame\n"
           "  --help        this text\n";
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
