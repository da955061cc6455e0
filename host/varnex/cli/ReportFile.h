#pragma once
// `varnex analyse --report FILE.html`: the HRV report of the analysed recording, asked of the
// extension's report view class and written as a UTF-8 file; no display is needed.
#include <string>
#include <vector>

#include "com/Unknown.h"

namespace varnex {

// Writes the report of `hostDocument` (the recording's host document) to `file`, asked of the first
// of `classObjects` that gives reports. Empty on success, else the reason in one line.
std::string WriteReportFile(
    const std::vector<IUnknown*>& classObjects, IUnknown* hostDocument, const std::string& file);

} // namespace varnex
