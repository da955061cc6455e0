// Scenes of the gtk backend for the end-to-end tests, run under a virtual display:
//   gtk_scenes hover OUT.png  - a settings dialog with a bad value; the real X pointer rests on
//                               the error marker (XTest), the balloon opens, OK brings up the
//                               warning; OUT.png is what the display then shows.
//   gtk_scenes open FILE      - File|Open's chooser: the user picks FILE (through the chooser's
//                               own widgets) and the path comes back; the filters are listed.
//   gtk_scenes print OUT.pdf  - a plot printed on GTK's "Print to File" printer as a user who
//                               chose it in the print dialog would, writing OUT.pdf.
// Prints one line per step and exits non-zero with a reason when a step fails.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gtk/gtk.h>
#include <gtk/gtkunixprint.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "controls/BalloonHelp.h"
#include "controls/DialogSettingsWarningDlg.h"
#include "controls/ErrorProvider.h"
#include "controls/ValidatingEdit.h"
#include "plotcontrol/svg/PlotOutput.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"
#include "ui/gtk/GtkPrinting.h"

using namespace vx::ui;

namespace {

int Fail(const std::string& why)
{
    std::fprintf(stderr, "gtk_scenes: %s\n", why.c_str());
    return 1;
}

// Lets the display catch up: runs the loop for `ms` milliseconds.
void Settle(int ms)
{
    RunGtkUntil([] { return false; }, ms);
}

bool RunUntil(const std::function<bool()>& done, int ms)
{
    return RunGtkUntil(done, ms) || done();
}

constexpr int kValueId = 100, kMarkerId = 101;

DialogTemplate SettingsTemplate()
{
    DialogTemplate t;
    t.caption = L"Detector settings";
    t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
    t.units = { 0, 0, 200, 80 };
    t.items = {
        { kStaticClass, L"Window (s):", -1, WS_CHILD | WS_VISIBLE, { 10, 12, 60, 22 } },
        { kEditClass, L"", kValueId, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 62, 10, 130, 22 } },
        { kStaticClass, L"", kMarkerId, WS_CHILD | WS_VISIBLE, { 134, 10, 146, 22 } },
        { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, { 70, 55, 120, 69 } },
        { kButtonClass, L"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 130, 55, 180, 69 } },
    };
    return t;
}

int Hover(const std::string& out)
{
    Display* x = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!x || !XTestQueryExtension(x, &event, &error, &major, &minor))
        return Fail("no XTest on the display");
    auto movePointer = [x](Point p) {
        XTestFakeMotionEvent(x, -1, p.x, p.y, 0);
        XFlush(x);
        Settle(150);
    };
    movePointer({ 5, 5 });

    std::unique_ptr<KELControls::DoubleEdit> value;
    std::unique_ptr<KELControls::ErrorProvider> marker;
    bool warned = false;
    bool shot = false;
    HWND dialog = CreateDialogIndirectParam(
        SettingsTemplate(), nullptr,
        [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                value = std::make_unique<KELControls::DoubleEdit>(hwnd, kValueId, 0.5, 2.5);
                marker = std::make_unique<KELControls::ErrorProvider>(hwnd, kMarkerId);
                value->SetErrorProvider(marker.get());
                value->precision = 3;
                value->SetValue(1.0);
                return 1;
            }
            if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
                if (!value->Validate() || IsWindowVisible(marker->GetHandle())) {
                    warned = true;
                    KELControls::DialogSettingsWarningDlg(hwnd).Execute();
                }
                return 1;
            }
            return 0;
        },
        0);
    if (!dialog)
        return Fail("the dialog cannot be made");
    // Up and left, clear of the warning, which comes up in the middle of the screen.
    Rect placed;
    GetWindowRect(dialog, &placed);
    MoveWindow(dialog, 60, 60, placed.Width(), placed.Height(), true);
    Settle(300);

    // A bad value typed into the field shows the marker.
    SetFocus(value->GetHandle());
    SendMessage(value->GetHandle(), EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"7.5"))
        SendMessage(value->GetHandle(), WM_CHAR, c, 0);
    if (!IsWindowVisible(marker->GetHandle()))
        return Fail("a bad value shows no marker");
    std::puts("marker shown");
    Settle(200);

    // The real pointer comes to rest on the marker.
    Rect markerRect;
    GetWindowRect(marker->GetHandle(), &markerRect);
    const Point centre { (markerRect.left + markerRect.right) / 2, (markerRect.top + markerRect.bottom) / 2 };
    movePointer({ centre.x - 30, centre.y });
    movePointer(centre);
    if (!RunUntil([&] { return marker->BalloonWindow() && IsWindowVisible(marker->BalloonWindow()); }, 3000))
        return Fail("hovering the marker opens no balloon");
    std::puts("balloon shown");

    // OK with a bad value: the warning comes up while the balloon still points at the marker.
    SetDialogScript([&](HWND warning) {
        Settle(600);
        Rect area;
        GetWindowRect(dialog, &area);
        Rect r;
        GetWindowRect(warning, &r);
        area = area.Union(r);
        GetWindowRect(marker->BalloonWindow(), &r);
        area = area.Union(r).Inflate(10, 10);
        area.left = std::max(0, area.left);
        area.top = std::max(0, area.top);
        if (BitmapPtr image = ScreenshotDisplay(area); image && image->SavePng(out)) {
            shot = true;
            std::printf("screenshot %d %d %d %d\n", area.left, area.top, area.Width(), area.Height());
            GetWindowRect(warning, &r);
            std::printf("at-warning %d %d %d %d\n", r.left - area.left, r.top - area.top, r.Width(), r.Height());
            GetWindowRect(marker->BalloonWindow(), &r);
            std::printf("at-balloon %d %d %d %d\n", r.left - area.left, r.top - area.top, r.Width(), r.Height());
        }
        PostMessage(GetDlgItem(warning, IDCANCEL), BM_CLICK, 0, 0);
    });
    PostMessage(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    if (!RunUntil([&] { return warned; }, 5000))
        return Fail("OK with a bad value shows no warning");
    Settle(200);
    SetDialogScript({});
    if (!shot)
        return Fail("no screenshot of the warning and the balloon");
    std::puts("warning shown");
    DestroyWindow(dialog);
    Settle(100);
    XCloseDisplay(x);
    return 0;
}

int PrintToFile(const std::string& out)
{
    // The printer a user picks as "Print to File" in the dialog.
    GtkPrinter* printer = nullptr;
    gtk_enumerate_printers(
        +[](GtkPrinter* p, gpointer data) -> gboolean {
            if (!gtk_printer_is_virtual(p) || !gtk_printer_accepts_pdf(p))
                return FALSE;
            *static_cast<GtkPrinter**>(data) = GTK_PRINTER(g_object_ref(p));
            return TRUE;
        },
        &printer, nullptr, TRUE);
    if (!printer)
        return Fail("GTK offers no file printer");
    GtkPrintSettings* settings = gtk_print_settings_new();
    const std::string uri = "file://" + std::filesystem::absolute(out).string();
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri.c_str());
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
    gtk_print_settings_set_resolution(settings, 600);
    GtkPageSetup* page = gtk_page_setup_new();
    gtk_page_setup_set_orientation(page, GTK_PAGE_ORIENTATION_LANDSCAPE);

    PrinterChoice choice;
    choice.target = MakeGtkPrintTarget(printer, settings, page);
    ReadPrinterPage(settings, page, choice);
    g_object_unref(page);
    g_object_unref(settings);
    std::printf("printer %s page %d x %d at %d dpi\n", gtk_printer_get_name(printer), choice.page.cx, choice.page.cy,
        choice.dpi);
    g_object_unref(printer);

    // The dialog's choice goes into the plot's print settings, as the plot control keeps them.
    SetPrinterChoiceHandler([&](HWND, const std::wstring&, PrinterChoice& c) {
        c = choice;
        return true;
    });
    KEL::PlotPrintDialog dialog;
    dialog.title = L"Tachogram";
    if (!KEL::ChoosePlotPrinter(nullptr, dialog))
        return Fail("the print dialog gave no printer");
    const std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="800" height="400">)"
                            R"(<rect x="10" y="10" width="780" height="380" fill="#e0e8ff" stroke="black"/>)"
                            R"(<text x="400" y="200" font-size="20">RR intervals</text></svg>)";
    if (const KEL::PlotPrintResult printed = KEL::PrintPlotFromSvg(svg, dialog); !printed.printed)
        return Fail("printing failed: " + printed.error);
    std::puts("printed");
    return 0;
}

int OpenFile(const std::string& file)
{
    // The user, once the chooser is up: picks the file, and once the chooser shows it selected,
    // presses Open.
    static int ticks = 0;
    g_timeout_add(
        300,
        +[](gpointer data) -> gboolean {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w; w = w->next) {
                if (!GTK_IS_FILE_CHOOSER_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data)))
                    continue;
                GtkFileChooser* chooser = GTK_FILE_CHOOSER(w->data);
                if (ticks++ == 0) {
                    GSList* filters = gtk_file_chooser_list_filters(chooser);
                    for (GSList* f = filters; f; f = f->next)
                        std::printf("filter %s\n", gtk_file_filter_get_name(GTK_FILE_FILTER(f->data)));
                    g_slist_free(filters);
                    std::printf("title %s\n", gtk_window_get_title(GTK_WINDOW(w->data)));
                    gtk_file_chooser_set_filename(chooser, static_cast<const char*>(data));
                } else {
                    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_ACCEPT);
                }
            }
            g_list_free(windows);
            return ticks < 30 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        const_cast<char*>(file.c_str()));
    FileDialogRequest request;
    request.title = L"Open Recording";
    request.filters = { { L"Recordings", L"*.hea;*.edf" }, { L"All files", L"*" } };
    const std::optional<std::string> chosen = ChooseFile(request);
    if (!chosen)
        return Fail("the chooser gave no file");
    std::printf("chosen %s\n", chosen->c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Fail("usage: gtk_scenes hover|print OUT");
    std::string error;
    auto backend = CreateGtkBackend(error);
    if (!backend)
        return Fail(error);
    SetBackend(backend);
    InitCommonControls();
    GetApplication().name = L"Varnex";
    const std::string scene = argv[1];
    const int status = scene == "hover" ? Hover(argv[2])
        : scene == "print"              ? PrintToFile(argv[2])
        : scene == "open"               ? OpenFile(argv[2])
                                        : Fail("no scene " + scene);
    std::fflush(stdout);
    return status;
}
