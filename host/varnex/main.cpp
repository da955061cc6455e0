// varnex: the stand-in host application's command line.
#include <iostream>
#include <string>
#include <vector>

#include "varnex/ExtensionLoader.h"

namespace {

int Usage()
{
    std::cerr << "usage: varnex list-classes [--framework=host|extension] EXTENSION\n"
                 "  list-classes  load the extension and list the class objects it registers\n"
                 "  --framework   who makes the framework reachable: the host (default) or the\n"
                 "                extension, which then loads libcaf.so from varnex's folder\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
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
