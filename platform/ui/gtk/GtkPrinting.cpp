#include "ui/gtk/GtkPrinting.h"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <gtk/gtkunixprint.h>

#include <cmath>
#include <utility>

#include "log/Log.h"
#include "ui/gtk/GtkText.h"

namespace vx::ui {

namespace {

// What the user chose last, offered again by the next dialog of the process.
GtkPrintSettings* gLastSettings = nullptr;
GtkPageSetup* gLastPage = nullptr;

class GtkPrintTarget : public PrintTarget {
public:
    GtkPrintTarget(GtkPrinter* printer, GtkPrintSettings* settings, GtkPageSetup* page)
        : mPrinter(GTK_PRINTER(g_object_ref(printer)))
        , mSettings(GTK_PRINT_SETTINGS(g_object_ref(settings)))
        , mPage(GTK_PAGE_SETUP(g_object_ref(page)))
    {
    }
    ~GtkPrintTarget() override
    {
        if (mJob)
            g_object_unref(mJob);
        g_object_unref(mPage);
        g_object_unref(mSettings);
        g_object_unref(mPrinter);
    }

    cairo_surface_t* Begin(const std::wstring& title, double widthPoints, double heightPoints) override
    {
        if (mJob)
            return nullptr;
        mJob = gtk_print_job_new(Utf8(title).c_str(), mPrinter, mSettings, mPage);
        GError* error = nullptr;
        cairo_surface_t* surface = gtk_print_job_get_surface(mJob, &error);
        if (!surface) {
            vx::log::WriteLine(
                std::string("printing: no surface for the job: ") + (error ? error->message : "unknown"));
            if (error)
                g_error_free(error);
            g_object_unref(mJob);
            mJob = nullptr;
        }
        mSurface = surface;
        // The job's surface has the paper's upright size; a landscape page turns it, as GTK's own
        // print operation does.
        if (surface && cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_PDF)
            cairo_pdf_surface_set_size(surface, widthPoints, heightPoints);
        else if (surface && cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_PS) {
            cairo_ps_surface_set_size(surface, widthPoints, heightPoints);
            cairo_ps_surface_dsc_begin_page_setup(surface);
            cairo_ps_surface_dsc_comment(
                surface, widthPoints > heightPoints ? "%%PageOrientation: Landscape" : "%%PageOrientation: Portrait");
        }
        return surface;
    }

    bool End(bool ok) override
    {
        if (!mJob)
            return false;
        GtkPrintJob* job = std::exchange(mJob, nullptr);
        // The job spools what its surface wrote: the document must be complete before it goes.
        cairo_surface_finish(std::exchange(mSurface, nullptr));
        if (!ok) {
            g_object_unref(job);
            return false;
        }
        struct Sent {
            bool done = false;
            std::string error;
        } sent;
        gtk_print_job_send(
            job,
            +[](GtkPrintJob*, gpointer data, const GError* error) {
                auto* s = static_cast<Sent*>(data);
                s->done = true;
                if (error)
                    s->error = error->message;
            },
            &sent, nullptr);
        // The printer takes the job on the main loop.
        while (!sent.done)
            g_main_context_iteration(nullptr, TRUE);
        g_object_unref(job);
        if (!sent.error.empty())
            vx::log::WriteLine("printing: the printer refused the job: " + sent.error);
        return sent.error.empty();
    }

    std::string Name() const override { return gtk_printer_get_name(mPrinter); }

private:
    GtkPrinter* mPrinter;
    GtkPrintSettings* mSettings;
    GtkPageSetup* mPage;
    GtkPrintJob* mJob = nullptr;
    cairo_surface_t* mSurface = nullptr; // the job's
};

} // namespace

std::shared_ptr<PrintTarget> MakeGtkPrintTarget(GtkPrinter* printer, GtkPrintSettings* settings, GtkPageSetup* page)
{
    if (!printer || !settings || !page)
        return nullptr;
    return std::make_shared<GtkPrintTarget>(printer, settings, page);
}

void ReadPrinterPage(GtkPrintSettings* settings, GtkPageSetup* page, PrinterChoice& choice)
{
    int dpi = settings ? gtk_print_settings_get_resolution(settings) : 0;
    if (dpi <= 0)
        dpi = 300;
    choice.dpi = dpi;
    choice.quality = dpi;
    if (page) {
        // The paper as the page is turned (GTK swaps the sides of a landscape page).
        const double width = gtk_page_setup_get_paper_width(page, GTK_UNIT_INCH);
        const double height = gtk_page_setup_get_paper_height(page, GTK_UNIT_INCH);
        const int w = static_cast<int>(std::lround(width * dpi)), h = static_cast<int>(std::lround(height * dpi));
        if (w > 0 && h > 0)
            choice.page = { w, h };
    }
}

bool RunGtkPrinterChoice(GtkWindow* parent, const std::wstring& title, PrinterChoice& choice)
{
    GtkWidget* dialog = gtk_print_unix_dialog_new(Utf8(title.empty() ? L"Print" : title).c_str(), parent);
    GtkPrintUnixDialog* print = GTK_PRINT_UNIX_DIALOG(dialog);
    // One page, drawn by us: the dialog offers what a job of cairo pages can do.
    gtk_print_unix_dialog_set_manual_capabilities(
        print, static_cast<GtkPrintCapabilities>(GTK_PRINT_CAPABILITY_GENERATE_PDF | GTK_PRINT_CAPABILITY_GENERATE_PS));
    gtk_print_unix_dialog_set_embed_page_setup(print, TRUE);
    if (gLastSettings)
        gtk_print_unix_dialog_set_settings(print, gLastSettings);
    if (gLastPage)
        gtk_print_unix_dialog_set_page_setup(print, gLastPage);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    bool chosen = false;
    if (response == GTK_RESPONSE_OK) {
        GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(print);
        GtkPrintSettings* settings = gtk_print_unix_dialog_get_settings(print); // a new reference
        GtkPageSetup* page = gtk_print_unix_dialog_get_page_setup(print);
        if (printer && settings && page) {
            if (gLastSettings)
                g_object_unref(gLastSettings);
            gLastSettings = GTK_PRINT_SETTINGS(g_object_ref(settings));
            if (gLastPage)
                g_object_unref(gLastPage);
            gLastPage = gtk_page_setup_copy(page);
            choice.target = MakeGtkPrintTarget(printer, settings, page);
            choice.file.clear();
            ReadPrinterPage(settings, page, choice);
            chosen = choice.target != nullptr;
        }
        if (settings)
            g_object_unref(settings);
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

} // namespace vx::ui
