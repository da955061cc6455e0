#include "varnex/startup/CommandLine.h"

namespace varnex {

void WriteOptionUsage(std::ostream& out, std::string_view name, std::string_view value, std::string_view help)
{
    // "    --channel N|TITLE   source channel": the texts start in one column, or two spaces after
    // a longer name.
    constexpr std::size_t kIndent = 4, kTextColumn = 24;
    std::string line(kIndent, ' ');
    line.append(name);
    if (!value.empty())
        line.append(" ").append(value);
    line.append(line.size() + 2 <= kTextColumn ? kTextColumn - line.size() : 2, ' ');
    for (std::size_t start = 0;;) {
        const std::size_t end = help.find('\n', start);
        line.append(help.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        out << line << "\n";
        if (end == std::string_view::npos)
            break;
        start = end + 1;
        line.assign(kTextColumn, ' ');
    }
}

} // namespace varnex
