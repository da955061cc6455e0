#pragma once
// The plot page that every plot control loads, and the script bundles built from the plotting
// scripts embedded in the module at build time (in the order of plotcontrol/scripts/files.txt).
#include <string>
#include <vector>

namespace Etch {

namespace detail {
// One embedded file: its name and its text as chunks ended by an empty one.
struct EmbeddedWebFile {
    const char* name;
    const char* const* chunks;
};
// The table, ended by an entry without a name.
extern const EmbeddedWebFile kEmbeddedWebFiles[];
struct EmbeddedResource {
    const char* name;
    const char* bytes;
    unsigned long size;
};
extern const EmbeddedResource kEmbeddedResources[];
} // namespace detail

enum EtchBundleFlags : unsigned {
    kBundleJQuery = 1,
    kBundleRemote = 2,
};

// The page, built once per process.
const std::string& GetEtchPageHtml();

// Whether `name` names a bundle ("etch", then words: local, remote, jquery, each negated by a
// preceding "no" or "not"; ending ".js"), and its flags.
bool ParseEtchBundleName(const std::string& name, unsigned& flags);
bool BuildEtchBundle(unsigned flags, std::string& text);
// Appends one file followed by CR LF; false when there is no such file or it is empty.
bool AppendEmbeddedWebFile(const std::string& name, std::string& text);
bool GetWebFileMimeType(const std::string& name, std::string& mime);
void ListEmbeddedWebFiles(std::vector<std::string>& names);
// The text for a file or bundle name: a bundle, or a single file; false when there is none.
bool GetEtchWebFile(const std::string& name, std::string& text);
// The images named by the page's etch_proxy_ResourceURLs ("throbber.gif", "cursor_....cur"),
// with their MIME type; false for any other name.
bool GetEtchResource(const std::string& name, std::string& bytes, std::string& mime);

} // namespace Etch
