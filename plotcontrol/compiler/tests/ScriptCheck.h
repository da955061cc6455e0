#pragma once
// Runs scripts through the script engine (node) so that tests check translated scripts with the
// same parser a page uses, not with string comparisons alone.
#include <string>
#include <vector>

namespace Etch::Test {

// Empty when node accepts the script's syntax (node --check on a file); else node's message.
std::string ScriptSyntaxErrors(const std::string& script);

// The same for many scripts, checked by several node processes at once: one text per script.
std::vector<std::string> ScriptSyntaxErrors(const std::vector<std::string>& scripts);

// Evaluates `expression` in node with stand-ins for the page's etch.Colour and interval
// constants and returns its value as JSON text; a failure returns "error: " and node's output.
std::string EvaluateScriptToJson(const std::string& expression);

} // namespace Etch::Test
