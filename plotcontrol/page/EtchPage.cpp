#include "plotcontrol/page/EtchPage.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Etch {
namespace {

const detail::EmbeddedWebFile* FindFile(const std::string& name)
{
    for (const auto* f = detail::kEmbeddedWebFiles; f->name; ++f)
        if (name == f->name)
            return f;
    return nullptr;
}

bool EndsWith(const std::string& s, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The resource table the scripts read their throbber and cursor images from.
std::string ResourceScript()
{
    std::string s = "\n<script type='text/javascript'>function etch_proxy_ResourceURLs() {"
                    " var out = { throbber: 'throbber.gif' };";
    for (const char* cursor : { "cursor_down_stretch_r", "cursor_l_stretch_t", "cursor_lr_move_t", "cursor_r_stretch_t",
             "cursor_up_down_move_r", "cursor_up_stretch_r", "cursor_all_stretch_r", "cursor_all_stretch_t" }) {
        s += " out['";
        s += cursor;
        s += "'] = '";
        s += cursor;
        s += ".cur';";
    }
    s += " return { result: out }; }</script>\n";
    return s;
}

// The binding proxy: etch_proxy.Name(...) awaits window.etch_proxy_Name(...) and yields its
// `result`; and window.documentready.
const char* const kBindingProxyScript
    = "<script type='text/javascript'>\n"
      "const etch_proxy = new Proxy({}, {\n"
      "  get: function (target, name) {\n"
      "    return async function (...args) {\n"
      "      const fn = window['etch_proxy_' + String(name)];\n"
      "      if (typeof fn !== 'function') { console.warn(String(name) + ' is not bound.'); return; }\n"
      "      console.log('Going to call ' + String(name));\n"
      "      const reply = await fn(...args);\n"
      "      const result = reply === undefined || reply === null ? undefined : reply.result;\n"
      "      console.log('Result from ' + String(name) + ':' + JSON.stringify(result));\n"
      "      return result;\n"
      "    };\n"
      "  }\n"
      "});\n"
      "window.documentready = new Promise(function (resolve) {\n"
      "  if (document.readyState === 'complete' || document.readyState === 'interactive') resolve();\n"
      "  else document.addEventListener('DOMContentLoaded', function () { resolve(); });\n"
      "});\n"
      "//# sourceURL=etch://injected/binding_proxy.js\n"
      "</script>";

std::string BuildPage()
{
    std::string page = "<!doctype html><html> <head>";
    page += ResourceScript();
    page += kBindingProxyScript;
    page += "  <script type='text/javascript'>";
    std::string bundle;
    GetEtchWebFile("etch_local.js", bundle);
    page += bundle;
    page += "\n//# sourceURL=etch://injected/etch_local.js\n";
    page += "  </script>  <style type=\"text/css\">   body { margin: 0px; padding: 0px; }   div { position: "
            "absolute; width: 100%; height: 100%; }  </style> </head> <body>  <div id=\"";
    page += "local";
    page += "\">  </div> </body>  <script type='text/javascript'>"
            "// etch.make_plot('local', 'tplot: { ydata: [1, 2, 3] }');\n"
            "</script></html>";
    return page;
}

} // namespace

const std::string& GetEtchPageHtml()
{
    static const std::string page = BuildPage();
    return page;
}

bool GetWebFileMimeType(const std::string& name, std::string& mime)
{
    if (EndsWith(name, ".js")) {
        mime = "text/javascript";
        return true;
    }
    if (EndsWith(name, ".html")) {
        mime = "text/html";
        return true;
    }
    return false;
}

bool ParseEtchBundleName(const std::string& name, unsigned& flags)
{
    flags = kBundleJQuery | kBundleRemote;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t dot = lower.find('.');
    if (dot == std::string::npos || lower.substr(dot) != ".js")
        return false;
    std::vector<std::string> words;
    std::string word;
    for (char c : lower.substr(0, dot)) {
        if (c == '_') {
            words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    words.push_back(word);
    if (words.front() != "etch")
        return false;
    bool negated = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "no" || w == "not") {
            negated = true;
            continue;
        }
        if (w == "local")
            flags = negated ? (flags | kBundleRemote) : (flags & ~kBundleRemote);
        else if (w == "remote")
            flags = negated ? (flags & ~kBundleRemote) : (flags | kBundleRemote);
        else if (w == "jquery")
            flags = negated ? (flags & ~kBundleJQuery) : (flags | kBundleJQuery);
        negated = false;
    }
    return true;
}

void ListEmbeddedWebFiles(std::vector<std::string>& names)
{
    names.clear();
    for (const auto* f = detail::kEmbeddedWebFiles; f->name; ++f)
        names.emplace_back(f->name);
}

bool AppendEmbeddedWebFile(const std::string& name, std::string& text)
{
    const auto* f = FindFile(name);
    if (!f || !f->chunks[0][0])
        return false;
    std::size_t length = 0;
    for (auto c = f->chunks; **c; ++c)
        length += std::strlen(*c);
    text.reserve(text.size() + length + 2);
    for (auto c = f->chunks; **c; ++c)
        text += *c;
    text += "\r\n";
    return true;
}

bool BuildEtchBundle(unsigned flags, std::string& text)
{
    std::vector<std::string> names;
    ListEmbeddedWebFiles(names);
    std::erase_if(names, [](const std::string& n) { return n == "jquery.js" || n == "main.js" || n == "remote.js"; });
    std::vector<std::string> order;
    if (flags & kBundleJQuery)
        order.emplace_back("jquery.js");
    order.emplace_back("main.js");
    if (flags & kBundleRemote)
        order.emplace_back("remote.js");
    order.insert(order.end(), names.begin(), names.end());
    for (const auto& n : order)
        AppendEmbeddedWebFile(n, text);
    return true;
}

bool GetEtchWebFile(const std::string& name, std::string& text)
{
    std::string mime;
    if (!GetWebFileMimeType(name, mime))
        return false;
    unsigned flags = 0;
    if (ParseEtchBundleName(name, flags))
        return BuildEtchBundle(flags, text);
    return AppendEmbeddedWebFile(name, text);
}

bool GetEtchResource(const std::string& name, std::string& bytes, std::string& mime)
{
    for (const auto* r = detail::kEmbeddedResources; r->name; ++r) {
        if (name != r->name)
            continue;
        bytes.assign(r->bytes, r->size);
        mime = EndsWith(name, ".gif") ? "image/gif" : "image/x-icon";
        return true;
    }
    return false;
}

} // namespace Etch
