#pragma once
// The gtk backend's print dialog for printers chosen before the pages are drawn: the user picks a
// printer and its settings in GTK's print dialog; the pages are later drawn on the print job's
// surface and sent to that printer (or to the file of "Print to File").
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <memory>
#include <string>

#include "ui/Desktop.h"

namespace vx::ui {

// The print dialog over `parent` (may be null). False when the user cancelled.
bool RunGtkPrinterChoice(GtkWindow* parent, const std::wstring& title, PrinterChoice& choice);

// A print target on a GTK printer with its settings and page (each referenced here). The job is
// made at Begin and sent at End, which waits until the printer has taken it.
std::shared_ptr<PrintTarget> MakeGtkPrintTarget(GtkPrinter* printer, GtkPrintSettings* settings, GtkPageSetup* page);

// The page in dots and the resolution a printer's settings give (300 dpi when they name none).
void ReadPrinterPage(GtkPrintSettings* settings, GtkPageSetup* page, PrinterChoice& choice);

} // namespace vx::ui
