#pragma once
// The contract between the plot page's SVG copy and the printable SVG reader: which elements,
// attributes, style properties and value forms the reader understands. Anything else the reader
// skips without a word, so a copy that strays outside loses parts of the plot on paper.
#include <string>
#include <vector>

namespace vx::e2e {

// Everything in `svg` that lies outside what the printable reader reads, one line each; empty
// when the whole document is inside. Drawn elements must carry their full style, since the
// reader keeps the last style it saw instead of starting each element afresh.
std::vector<std::string> OutsidePrintableSubset(const std::string& svg);

} // namespace vx::e2e
