#pragma once
// The options of varnex's commands, each described once in its command's table: the option's
// name, how its value is shown, its line in `varnex --help`, and what it does to the command's
// options. The same table parses the command's words and writes the command's part of the usage,
// so an option the parser takes is one the usage lists.
#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

template <class Options> struct Option {
    std::string_view name; // "--channel"
    std::string_view value; // how the usage shows its value ("N|TITLE"); empty: the option takes none
    std::string_view help; // the usage's text of it; a '\n' starts another line under the first
    // Takes the option and its value (empty for an option without one) into the command's
    // options; false with `error` set when it refuses the value.
    bool (*take)(Options& options, const std::string& value, std::string& error);
};

template <class Options> using OptionTable = std::span<const Option<Options>>;

// Parses a command's words by its table. A word that names no option of the table goes to
// `other` (a record, a test's name), which refuses it with `error` when the command takes no such
// word. An option whose value is missing is refused as "NAME needs a value".
template <class Options>
bool ParseOptions(const std::vector<std::string>& words, OptionTable<Options> table,
    bool (*other)(Options& options, const std::string& word, std::string& error), Options& options, std::string& error)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const Option<Options>* option = nullptr;
        for (const Option<Options>& candidate : table)
            if (candidate.name == word)
                option = &candidate;
        if (!option) {
            if (!other(options, word, error))
                return false;
            continue;
        }
        std::string value;
        if (!option->value.empty()) {
            if (i + 1 >= words.size()) {
                error = word + " needs a value";
                return false;
            }
            value = words[++i];
        }
        if (!option->take(options, value, error))
            return false;
    }
    return true;
}

// One option's lines of the usage: indented, its name and value in a column of their own, then
// its text (further lines of the text under the first).
void WriteOptionUsage(std::ostream& out, std::string_view name, std::string_view value, std::string_view help);

template <class Options> void WriteOptionsUsage(std::ostream& out, OptionTable<Options> table)
{
    for (const Option<Options>& option : table)
        WriteOptionUsage(out, option.name, option.value, option.help);
}

} // namespace varnex
