#pragma once
// What the desktop offers every window: monitors with work areas and DPI, the application object,
// message boxes and the clipboard. All of it is injectable, so tests run the same code headless.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Gdi.h"
#include "ui/Messages.h"

namespace vx::ui {

// ---- Monitors -------------------------------------------------------------------------------

struct HMONITOR__;
using HMONITOR = HMONITOR__*;

struct Monitor {
    Rect bounds;
    Rect workArea;
    int dpi = 96;
    bool primary = false;
};

constexpr DWORD MONITOR_DEFAULTTONULL = 0, MONITOR_DEFAULTTOPRIMARY = 1, MONITOR_DEFAULTTONEAREST = 2;

// Replaces the monitors (the backend at start; tests). An empty list restores the default: one
// primary monitor of the backend's display bounds at 96 DPI.
void SetMonitors(std::vector<Monitor> monitors);
std::vector<Monitor> GetMonitors();
HMONITOR MonitorFromRect(const Rect& screen, DWORD flags);
HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags);
HMONITOR MonitorFromPoint(Point screen, DWORD flags);
bool GetMonitorInfo(HMONITOR monitor, Monitor* info);
// The effective DPI of a monitor; false for a null or stale handle.
bool GetDpiForMonitor(HMONITOR monitor, int* dpiX, int* dpiY);
// The DPI of the window's monitor; the primary monitor's for a null window or one on no monitor.
int GetDpiForWindow(HWND hwnd);

// ---- Application ----------------------------------------------------------------------------

struct Application {
    std::wstring name;
    HWND mainWindow = nullptr;
    WORD language = 0; // user-interface language id (0: the host's)
};
Application& GetApplication();
// The most recently active popup owned by `owner` (the owner itself when it has none).
HWND GetLastActivePopup(HWND owner);
void NoteActivePopup(HWND popup);

// ---- Message boxes --------------------------------------------------------------------------

constexpr UINT MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
               MB_RETRYCANCEL = 0x5, MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
               MB_ICONINFORMATION = 0x40, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

struct MessageBoxRequest {
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    UINT type = 0;
};
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a message box through the installed handler (the gtk backend shows a real one). Without a
// handler the next scripted answer is given, or else the default button's id; every request is
// kept for tests to read.
int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
void QueueMessageBoxAnswer(int answer);
std::vector<MessageBoxRequest> TakeMessageBoxRequests();
// The answer a message box of this type gives when the user just presses Enter.
int DefaultMessageBoxAnswer(UINT type);

// ---- Printing -------------------------------------------------------------------------------

// A print job: `pages` pages of `pageSize` device pixels at `dpi`, each drawn by `drawPage`.
struct PrintJob {
    HWND owner = nullptr;
    std::wstring title;
    int pages = 1;
    Size pageSize { 2480, 3508 }; // A4 at 300 dpi
    int dpi = 300;
    std::function<void(DC& dc, int page)> drawPage;
};
// Prints through the installed handler (the gtk backend shows the print dialog). Without one the
// job goes to the PDF file set by SetPrintToFile, or is cancelled when none is set. False when
// cancelled or failed.
bool Print(const PrintJob& job);
using PrintHandler = std::function<bool(const PrintJob&)>;
PrintHandler SetPrintHandler(PrintHandler handler);
void SetPrintToFile(std::string path);
// The file set by SetPrintToFile (empty when none is set).
std::string PrintToFilePath();
// Draws a job into a PDF file (what printing to a file does).
bool PrintToPdf(const PrintJob& job, const std::string& path);

// What a print dialog chose, kept until the pages are ready: the printer (a print target, or a
// PDF file when there is none), its page in dots and its resolution and print quality (dots per
// inch).
struct PrinterChoice {
    std::shared_ptr<PrintTarget> target;
    std::string file;
    Size page { 2480, 3508 }; // A4 at 300 dpi
    int dpi = 300;
    int quality = 300;
};
// Shows the print dialog through the installed handler (the gtk backend's asks the user for a
// printer and its settings). Without one the choice is the file set by SetPrintToFile with the
// given page, and the dialog counts as cancelled when no file is set. False when cancelled.
bool ChoosePrinter(HWND owner, const std::wstring& title, PrinterChoice& choice);
using PrinterChoiceHandler = std::function<bool(HWND owner, const std::wstring& title, PrinterChoice& choice)>;
PrinterChoiceHandler SetPrinterChoiceHandler(PrinterChoiceHandler handler);
// The printer context of a choice: over its target, else over its file.
std::unique_ptr<PrinterDC> CreatePrinterDC(const PrinterChoice& choice);

// What became of a print job once it is over: printed, cancelled, or failed with a one-line
// reason. A print may end long after the command that started it (a plot prints when its page
// has sent the picture), so the code that ends a job reports its outcome here and the program
// that asked for the print listens for it.
struct PrintOutcome {
    enum class Kind { Printed, Cancelled, Failed };
    Kind kind = Kind::Printed;
    std::string reason; // why it failed
};
using PrintOutcomeListener = std::function<void(const PrintOutcome&)>;
PrintOutcomeListener SetPrintOutcomeListener(PrintOutcomeListener listener);
// Tells the listener (called on the reporting thread, outside any lock); a failure is also
// written to the log.
void ReportPrintOutcome(const PrintOutcome& outcome);

// ---- File dialogs ---------------------------------------------------------------------------

struct FileDialogRequest {
    HWND owner = nullptr;
    std::wstring title;
    // Named filters: a name and its patterns separated by ';' ("Recordings", "*.hea;*.edf").
    std::vector<std::pair<std::wstring, std::wstring>> filters;
    bool save = false; // a file to write (the dialog asks before replacing one)
    std::string suggestedName;
};
using FileDialogHandler = std::function<std::optional<std::string>(const FileDialogRequest&)>;
// The path the user chose through the installed handler (the gtk backend shows a file chooser).
// Without one the next scripted answer is given (none: cancelled); every request is kept for
// tests to read. Empty when cancelled.
std::optional<std::string> ChooseFile(const FileDialogRequest& request);
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
void QueueFileDialogAnswer(std::optional<std::string> answer);
std::vector<FileDialogRequest> TakeFileDialogRequests();

// ---- Clipboard ------------------------------------------------------------------------------

constexpr UINT CF_TEXT = 1, CF_BITMAP = 2, CF_UNICODETEXT = 13, CF_ENHMETAFILE = 14;

// Formats by name ("HTML Format", "image/svg+xml;utf8", "PNG"): the same name gives the same
// number (from 0xC000); an empty name gives 0.
UINT RegisterClipboardFormat(const std::wstring& name);
std::wstring GetClipboardFormatName(UINT format);

// The store. Open/Close frame a change; Empty (while open) makes the caller the owner. Data is
// bytes: CF_UNICODETEXT holds wchar_t units with a terminator, registered text formats UTF-8.
bool OpenClipboard(HWND owner);
bool CloseClipboard();
bool EmptyClipboard();
bool SetClipboardData(UINT format, std::vector<std::uint8_t> bytes);
// A format whose bytes are made only when first read (GetClipboardData), then kept: a picture
// that is costly to draw is drawn only for a reader that wants it. The format counts as available
// from now on; bytes that cannot be made (an empty result) take it off the clipboard.
bool SetClipboardDataLater(UINT format, std::function<std::vector<std::uint8_t>()> make);
// Makes the bytes of every format still to be made. Code that set them calls it before it goes
// (a module about to be unloaded), so that the clipboard keeps no call into it.
void MakeClipboardDataNow();
std::optional<std::vector<std::uint8_t>> GetClipboardData(UINT format);
bool IsClipboardFormatAvailable(UINT format);
std::vector<UINT> ClipboardFormats();
// Convenience for the two common kinds.
bool SetClipboardText(const std::wstring& text);
std::optional<std::wstring> GetClipboardText();
// Told after each CloseClipboard that followed a change (the gtk backend publishes the data).
void SetClipboardListener(std::function<void()> listener);

} // namespace vx::ui
