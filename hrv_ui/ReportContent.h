#pragma once
// The HRV report: one HTML page made from the module's report template, a boost format text whose
// numbered placeholders %1% to %38% are filled with the analysed range, the beat counts, the
// time-domain measures, the band powers and the Poincare measures of a document's analysis. The
// report view shows it; the host can also ask for it without a window (IReportSource).
#include <array>
#include <string>

#include "foundation/String.h"
#include "res/Resource.h"

namespace HRV {

class Document;
class Settings;
struct IRecordingDocument;

// The template: resource 200 of type RT_HTML in this module.
inline constexpr WORD kReportTemplateId = 200;
// The texts shown in place of the page.
inline constexpr UINT kStringReportTooFewBeats = 12;
inline constexpr UINT kStringReportNotAnalysed = 13;

// Loads the template of this module into `out`; false, with `out` unchanged, when the module has
// none. The text ends at its first NUL byte; an empty text gives an empty `out`.
bool LoadReportTemplate(KEL::String& out);

enum class ReportKind {
    Page, // `out` is the report page
    NotAnalysed, // the analysis range is not set: `out` is string 13
    TooFewBeats, // fewer than three RR intervals: `out` is string 12
};

// The 38 placeholder values, in placeholder order (%1% is [0]). Texts from the host (the window
// name and the two times) are escaped for HTML. A measure that cannot be computed, and any value
// that is not finite, is "-".
using ReportValues = std::array<std::wstring, 38>;
ReportValues MakeReportValues(Document& document, const Settings& settings, IRecordingDocument* host);

// Replaces `out` with the report of `document` (null: no analysis) from the template, or with the
// sentence that says why there is none. `host` gives the window name, the time display mode and
// the time texts (null: none). A malformed template throws boost::io::format_error.
ReportKind BuildReport(const KEL::String& reportTemplate, Document* document, const Settings& settings,
    IRecordingDocument* host, KEL::String& out);

} // namespace HRV
