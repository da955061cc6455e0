// Compiles the Etch Markup read from standard input into the set-up script the plot control
// evaluates (etch.get_plot('<id>').setup([...]);), for the script tests. Exit status 1 when the
// markup does not parse.
#include "plotcontrol/compiler/MarkupScript.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    const std::string markup { std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>() };
    std::string script;
    if (!Etch::GetSetMarkupJS(markup, argc > 1 ? argv[1] : "local", script)) {
        std::fprintf(stderr, "etch_markup_compile: the markup does not parse\n");
        return 1;
    }
    std::fwrite(script.data(), 1, script.size(), stdout);
    return 0;
}
