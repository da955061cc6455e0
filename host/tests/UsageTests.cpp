// `varnex --help` against the option tables its commands parse by, and against the options the
// README tells a user about.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "VarnexCommand.h"
#include "varnex/cli/Analyse.h"
#include "varnex/cli/SelfTest.h"
#include "varnex/desktop/Open.h"

namespace {

// The usage's lines by command: from a command's line ("  analyse       HRV analysis ...") up
// to the next command's.
std::map<std::string, std::string> UsageByCommand(const std::string& usage)
{
    static const std::regex command(R"(^  (list-classes|analyse|selftest|open) )");
    std::map<std::string, std::string> byCommand;
    std::string current;
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, command))
            current = m[1];
        byCommand[current] += line + "\n";
    }
    return byCommand;
}

// The option names the usage lists, one an indented line.
std::set<std::string> ListedOptions(const std::string& usage)
{
    static const std::regex option(R"((^|\n) +(--[a-z][a-z-]*))");
    std::set<std::string> names;
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it)
        names.insert((*it)[2]);
    return names;
}

// The text of the README's section under a "## " title, up to the next one.
std::string ReadmeSection(const std::string& readme, const std::string& title)
{
    const std::size_t start = readme.find("\n## " + title + "\n");
    if (start == std::string::npos)
        return "";
    const std::size_t end = readme.find("\n## ", start + 1);
    return readme.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Every option written in a code span of the text (`--rr FILE`, `varnex analyse ... --plot x`).
std::set<std::string> OptionsInCodeSpans(const std::string& text)
{
    static const std::regex span("`([^`]*)`"), option(R"((^|\s)(--[a-z][a-z-]*))");
    std::set<std::string> names;
    for (std::sregex_iterator s(text.begin(), text.end(), span), end; s != end; ++s) {
        const std::string code = (*s)[1];
        for (std::sregex_iterator o(code.begin(), code.end(), option); o != end; ++o)
            names.insert((*o)[2]);
    }
    return names;
}

template <class Options>
void ExpectEveryOptionListed(varnex::OptionTable<Options> table, const std::string& commandUsage)
{
    ASSERT_FALSE(table.empty());
    for (const varnex::Option<Options>& option : table) {
        // "    --channel N|TITLE   source channel ...": the option's own line, with its value.
        std::string line = "\n    " + std::string(option.name);
        if (!option.value.empty())
            line += " " + std::string(option.value);
        line += "  ";
        EXPECT_NE(commandUsage.find(line), std::string::npos) << option.name << " is missing:\n" << commandUsage;
    }
}

TEST(VarnexUsage, ListsEveryOptionOfEachCommandsTable)
{
    const vx::test::VarnexRun help = vx::test::Varnex("--help");
    ASSERT_EQ(help.status, 0);
    const auto byCommand = UsageByCommand(help.out);
    ASSERT_TRUE(byCommand.count("analyse") && byCommand.count("selftest") && byCommand.count("open")) << help.out;
    ExpectEveryOptionListed(varnex::AnalyseOptionTable(), byCommand.at("analyse"));
    ExpectEveryOptionListed(varnex::SelfTestOptionTable(), byCommand.at("selftest"));
    ExpectEveryOptionListed(varnex::OpenOptionTable(), byCommand.at("open"));
}

TEST(VarnexUsage, ListsEveryOptionTheReadmeDocuments)
{
    std::ifstream in(std::string(VX_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in) << "README.md not found in " << VX_SOURCE_DIR;
    std::stringstream text;
    text << in.rdbuf();
    const std::string readme = text.str();
    const std::set<std::string> listed = ListedOptions(vx::test::Varnex("--help").out);
    // plot_batch's option, told of beside --plot.
    const std::set<std::string> notVarnex = { "--against" };
    for (const char* title : { "HRV analysis from the command line", "Built-in self-tests", "The desktop window" }) {
        const std::set<std::string> documented = OptionsInCodeSpans(ReadmeSection(readme, title));
        // A section that lost its title, or its options, would leave nothing to compare.
        EXPECT_GE(documented.size(), 2u) << title;
        for (const std::string& option : documented) {
            if (!notVarnex.count(option)) {
                EXPECT_TRUE(listed.count(option)) << option << " (README, \"" << title << "\") is not in varnex --help";
            }
        }
    }
}

} // namespace
