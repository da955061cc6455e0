#pragma once
// Translation of Etch Markup into the script the plot page runs: an array literal of property
// records ({ property_name, markup }) that a plot's `setup` takes. Numbers are written with the
// classic locale and six significant digits; every text goes through EscapeScriptText.
#include "plotcontrol/compiler/EtchMarkup.h"

#include <string>
#include <string_view>

namespace Etch {

// The text made safe for a single-quoted script string: backslash, quote, carriage return,
// line feed and the line separators U+2028 and U+2029 (UTF-8) become escapes. No quotes added.
std::string EscapeScriptText(std::string_view text);

// Parses and, on success, translates. False (script untouched) when the markup does not parse.
bool CompileEtchMarkup(std::string_view markup, std::string& script);

std::string WriteMarkupScript(const Markup::AST& ast);
std::string WriteValueScript(const Markup::Value& value);

// "etch.get_plot('<plot id>').setup(<translation>);" on success; false and `script` untouched
// when the markup does not parse.
bool GetSetMarkupJS(std::string_view markup, std::string_view plot_id, std::string& script);

// "etch.get_plot('<plot id>').show_error('<message>');"
void GetShowErrorJS(std::string_view message, std::string_view plot_id, std::string& script);

} // namespace Etch
