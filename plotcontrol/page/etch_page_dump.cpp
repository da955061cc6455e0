// Writes the plot page, or the named bundle or script file, to standard output: the page the
// plot control loads, for the script tests and for looking at the plots in a browser.
#include "plotcontrol/page/EtchPage.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    std::string text;
    if (argc < 2) {
        text = Etch::GetEtchPageHtml();
    } else if (!Etch::GetEtchWebFile(argv[1], text)) {
        std::fprintf(stderr, "etch_page_dump: no page file named %s\n", argv[1]);
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
