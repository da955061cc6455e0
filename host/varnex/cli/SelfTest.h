#pragma once
// `varnex selftest`: the extension's built-in self-tests, listed or run case by case.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "varnex/startup/CommandLine.h"

namespace varnex {

struct SelfTestOptions {
    bool list = false;
    std::optional<std::int32_t> seed; // none: from the clock
    std::vector<std::string> names; // a case's name, or a test's name for all its cases
    std::string extension; // empty: libhrv.so beside varnex
};

// The options of `varnex selftest`, for the parser and the usage.
OptionTable<SelfTestOptions> SelfTestOptionTable();

// False with `error` for arguments that do not parse.
bool ParseSelfTestArguments(const std::vector<std::string>& args, SelfTestOptions& options, std::string& error);

// Loads the extension, lets it register and runs (or lists) its registered tests. Writes the
// seed, one line per case and "N passed, N failed". Returns 0 when every case run passed, 1 when
// one failed, 2 when the tests cannot be run.
int SelfTest(const SelfTestOptions& options, std::ostream& out, std::ostream& err);

} // namespace varnex
