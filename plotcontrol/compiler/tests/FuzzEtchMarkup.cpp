// Fuzzes the markup parser and the translation: any bytes must parse or give an error text,
// never crash, and no text may leave a raw line terminator inside a script string.
#include "plotcontrol/compiler/MarkupScript.h"

#include "log/Log.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Outside string literals the scripts only break lines with line feeds.
bool HasRawTerminator(std::string_view script)
{
    return script.find('\r') != std::string_view::npos || script.find("\xE2\x80\xA8") != std::string_view::npos
        || script.find("\xE2\x80\xA9") != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        vx::log::SetSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const std::string_view markup(reinterpret_cast<const char*>(data), size);
    Etch::Markup::AST ast;
    std::string error_text;
    int error_line = 0;
    std::string script;
    if (Etch::ParseEtchMarkup(markup, ast, error_text, error_line)) {
        if (!error_text.empty() || HasRawTerminator(Etch::WriteMarkupScript(ast)))
            __builtin_trap();
        if (!Etch::GetSetMarkupJS(markup, "local", script) || HasRawTerminator(script))
            __builtin_trap();
    } else {
        Etch::GetShowErrorJS(error_text, "local", script);
        if (HasRawTerminator(script) || script.find('\n') != std::string::npos)
            __builtin_trap();
        if (!error_text.empty() && error_line < 1)
            __builtin_trap();
    }
    return 0;
}
