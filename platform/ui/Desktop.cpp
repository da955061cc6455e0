#include "ui/Desktop.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "log/Log.h"
#include "ui/Backend.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

// ---- Monitors ---------------------------------------------------------------------------------

namespace {

std::mutex gDesktopMutex;
std::vector<Monitor> gMonitors; // empty: the default

std::vector<Monitor> MonitorsLocked()
{
    if (!gMonitors.empty())
        return gMonitors;
    auto backend = detail::BackendSnapshot();
    const Rect display = backend->GetDisplayBounds ? backend->GetDisplayBounds() : Rect { 0, 0, 1920, 1080 };
    return { Monitor { display, display, 96, true } };
}

HMONITOR Handle(std::size_t index)
{
    return reinterpret_cast<HMONITOR>(index + 1);
}

long long Overlap(const Rect& a, const Rect& b)
{
    const Rect i = a.Intersect(b);
    return static_cast<long long>(i.Width()) * i.Height();
}

long long DistanceSquared(const Rect& r, Point p)
{
    const long long dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    const long long dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

} // namespace

void SetMonitors(std::vector<Monitor> monitors)
{
    std::lock_guard lock(gDesktopMutex);
    gMonitors = std::move(monitors);
}

std::vector<Monitor> GetMonitors()
{
    std::lock_guard lock(gDesktopMutex);
    return MonitorsLocked();
}

HMONITOR MonitorFromRect(const Rect& screen, DWORD flags)
{
    const std::vector<Monitor> monitors = GetMonitors();
    std::size_t best = monitors.size();
    long long bestOverlap = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const long long overlap
            = Overlap(monitors[i].bounds, screen.IsEmpty() ? Rect::FromPointSize(screen.TopLeft(), { 1, 1 }) : screen);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = i;
        }
    }
    if (best < monitors.size())
        return Handle(best);
    if (flags == MONITOR_DEFAULTTOPRIMARY) {
        for (std::size_t i = 0; i < monitors.size(); ++i)
            if (monitors[i].primary)
                return Handle(i);
        return monitors.empty() ? nullptr : Handle(0);
    }
    if (flags == MONITOR_DEFAULTTONEAREST && !monitors.empty()) {
        const Point centre { (screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2 };
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < monitors.size(); ++i)
            if (DistanceSquared(monitors[i].bounds, centre) < DistanceSquared(monitors[nearest].bounds, centre))
                nearest = i;
        return Handle(nearest);
    }
    return nullptr;
}

HMONITOR MonitorFromPoint(Point screen, DWORD flags)
{
    return MonitorFromRect(Rect::FromPointSize(screen, { 1, 1 }), flags);
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags)
{
    Rect r;
    if (!GetWindowRect(hwnd, &r))
        return flags == MONITOR_DEFAULTTONULL ? nullptr : MonitorFromRect({ -1, -1, -1, -1 }, MONITOR_DEFAULTTOPRIMARY);
    return MonitorFromRect(r, flags);
}

bool GetMonitorInfo(HMONITOR monitor, Monitor* info)
{
    const std::vector<Monitor> monitors = GetMonitors();
    const auto index = reinterpret_cast<std::uintptr_t>(monitor);
    if (index == 0 || index > monitors.size())
        return false;
    if (info)
        *info = monitors[index - 1];
    return true;
}

bool GetDpiForMonitor(HMONITOR monitor, int* dpiX, int* dpiY)
{
    Monitor info;
    if (!GetMonitorInfo(monitor, &info))
        return false;
    if (dpiX)
        *dpiX = info.dpi;
    if (dpiY)
        *dpiY = info.dpi;
    return true;
}

int GetDpiForWindow(HWND hwnd)
{
    HMONITOR monitor = hwnd ? MonitorFromWindow(hwnd, MONITOR_DEFAULTTONULL) : nullptr;
    if (!monitor)
        monitor = MonitorFromRect({ -1, -1, -1, -1 }, MONITOR_DEFAULTTOPRIMARY);
    int dpi = 0;
    if (!GetDpiForMonitor(monitor, &dpi, nullptr) || dpi <= 0)
        dpi = 96;
    return dpi;
}

// ---- Application --------------------------------------------------------------------------------

namespace {

std::map<HWND, HWND> gLastPopup; // owner -> popup

} // namespace

Application& GetApplication()
{
    static Application application;
    return application;
}

void NoteActivePopup(HWND popup)
{
    HWND owner = GetOwner(popup);
    if (!owner)
        return;
    std::lock_guard lock(gDesktopMutex);
    gLastPopup[owner] = popup;
}

HWND GetLastActivePopup(HWND owner)
{
    std::lock_guard lock(gDesktopMutex);
    auto it = gLastPopup.find(owner);
    if (it != gLastPopup.end() && IsWindow(it->second) && GetOwner(it->second) == owner)
        return it->second;
    return owner;
}

// ---- Message boxes ----------------------------------------------------------------------------

namespace {

MessageBoxHandler gMessageBoxHandler;
std::deque<int> gAnswers;
std::vector<MessageBoxRequest> gRequests;

} // namespace

int DefaultMessageBoxAnswer(UINT type)
{
    static const int kButtons[][3] = { { IDOK, 0, 0 }, { IDOK, IDCANCEL, 0 }, { IDABORT, IDRETRY, IDIGNORE },
        { IDYES, IDNO, IDCANCEL }, { IDYES, IDNO, 0 }, { IDRETRY, IDCANCEL, 0 } };
    const UINT set = type & 0xF;
    const UINT which = (type & 0xF00) >> 8;
    if (set > 5)
        return IDOK;
    const int answer = which < 3 ? kButtons[set][which] : 0;
    return answer ? answer : kButtons[set][0];
}

int MessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type)
{
    MessageBoxRequest request { owner, text, caption, type };
    MessageBoxHandler handler;
    {
        std::lock_guard lock(gDesktopMutex);
        gRequests.push_back(request);
        handler = gMessageBoxHandler;
        if (!handler) {
            if (!gAnswers.empty()) {
                const int answer = gAnswers.front();
                gAnswers.pop_front();
                return answer;
            }
            return DefaultMessageBoxAnswer(type);
        }
    }
    return handler(request);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gMessageBoxHandler, std::move(handler));
}

void QueueMessageBoxAnswer(int answer)
{
    std::lock_guard lock(gDesktopMutex);
    gAnswers.push_back(answer);
}

std::vector<MessageBoxRequest> TakeMessageBoxRequests()
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gRequests, {});
}

// ---- Printing ---------------------------------------------------------------------------------

namespace {

PrintHandler gPrintHandler;
std::string gPrintFile;

} // namespace

bool PrintToPdf(const PrintJob& job, const std::string& path)
{
    if (job.pages < 1 || !job.drawPage)
        return false;
    PrinterDC printer(path, job.pageSize, job.dpi);
    if (!printer.StartDoc(job.title))
        return false;
    for (int page = 0; page < job.pages; ++page) {
        if (!printer.StartPage())
            return false;
        const int saved = printer.SaveDC();
        job.drawPage(printer, page);
        printer.RestoreDC(saved);
        if (!printer.EndPage())
            return false;
    }
    return printer.EndDoc();
}

bool Print(const PrintJob& job)
{
    PrintHandler handler;
    std::string file;
    {
        std::lock_guard lock(gDesktopMutex);
        handler = gPrintHandler;
        file = gPrintFile;
    }
    if (handler)
        return handler(job);
    return !file.empty() && PrintToPdf(job, file);
}

PrintHandler SetPrintHandler(PrintHandler handler)
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gPrintHandler, std::move(handler));
}

void SetPrintToFile(std::string path)
{
    std::lock_guard lock(gDesktopMutex);
    gPrintFile = std::move(path);
}

std::string PrintToFilePath()
{
    std::lock_guard lock(gDesktopMutex);
    return gPrintFile;
}

namespace {
PrintOutcomeListener gPrintOutcomeListener;
}

PrintOutcomeListener SetPrintOutcomeListener(PrintOutcomeListener listener)
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gPrintOutcomeListener, std::move(listener));
}

void ReportPrintOutcome(const PrintOutcome& outcome)
{
    if (outcome.kind == PrintOutcome::Kind::Failed)
        vx::log::WriteLine("printing failed: " + outcome.reason);
    PrintOutcomeListener listener;
    {
        std::lock_guard lock(gDesktopMutex);
        listener = gPrintOutcomeListener;
    }
    if (listener)
        listener(outcome);
}

namespace {
PrinterChoiceHandler gPrinterChoiceHandler;
}

bool ChoosePrinter(HWND owner, const std::wstring& title, PrinterChoice& choice)
{
    PrinterChoiceHandler handler;
    std::string file;
    {
        std::lock_guard lock(gDesktopMutex);
        handler = gPrinterChoiceHandler;
        file = gPrintFile;
    }
    if (handler)
        return handler(owner, title, choice);
    if (file.empty())
        return false;
    choice.target.reset();
    choice.file = file;
    return true;
}

PrinterChoiceHandler SetPrinterChoiceHandler(PrinterChoiceHandler handler)
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gPrinterChoiceHandler, std::move(handler));
}

std::unique_ptr<PrinterDC> CreatePrinterDC(const PrinterChoice& choice)
{
    if (choice.target)
        return std::make_unique<PrinterDC>(choice.target, choice.page, choice.dpi);
    return std::make_unique<PrinterDC>(choice.file, choice.page, choice.dpi);
}

// ---- File dialogs -----------------------------------------------------------------------------

namespace {
FileDialogHandler gFileDialogHandler;
std::deque<std::optional<std::string>> gFileDialogAnswers;
std::vector<FileDialogRequest> gFileDialogRequests;
} // namespace

std::optional<std::string> ChooseFile(const FileDialogRequest& request)
{
    FileDialogHandler handler;
    std::optional<std::string> answer;
    {
        std::lock_guard lock(gDesktopMutex);
        gFileDialogRequests.push_back(request);
        handler = gFileDialogHandler;
        if (!handler && !gFileDialogAnswers.empty()) {
            answer = std::move(gFileDialogAnswers.front());
            gFileDialogAnswers.pop_front();
        }
    }
    return handler ? handler(request) : answer;
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler)
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gFileDialogHandler, std::move(handler));
}

void QueueFileDialogAnswer(std::optional<std::string> answer)
{
    std::lock_guard lock(gDesktopMutex);
    gFileDialogAnswers.push_back(std::move(answer));
}

std::vector<FileDialogRequest> TakeFileDialogRequests()
{
    std::lock_guard lock(gDesktopMutex);
    return std::exchange(gFileDialogRequests, {});
}

// ---- Clipboard --------------------------------------------------------------------------------

namespace {

struct ClipboardStore {
    std::map<std::wstring, UINT> names;
    UINT nextFormat = 0xC000;
    std::map<UINT, std::vector<std::uint8_t>> data;
    // Formats whose bytes are made when first read; each one also has an (empty) entry in `data`.
    std::map<UINT, std::function<std::vector<std::uint8_t>()>> later;
    unsigned generation = 0; // counts the emptyings, so that late bytes never land on new data
    bool open = false;
    bool changed = false;
    HWND owner = nullptr;
    std::function<void()> listener;
};

ClipboardStore& Store()
{
    static ClipboardStore store;
    return store;
}

} // namespace

UINT RegisterClipboardFormat(const std::wstring& name)
{
    if (name.empty())
        return 0;
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    auto [it, added] = s.names.emplace(name, s.nextFormat);
    if (added)
        ++s.nextFormat;
    return it->second;
}

std::wstring GetClipboardFormatName(UINT format)
{
    std::lock_guard lock(gDesktopMutex);
    for (const auto& [name, number] : Store().names)
        if (number == format)
            return name;
    return {};
}

bool OpenClipboard(HWND owner)
{
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    if (s.open)
        return false;
    s.open = true;
    s.owner = owner;
    return true;
}

bool CloseClipboard()
{
    std::function<void()> listener;
    {
        std::lock_guard lock(gDesktopMutex);
        ClipboardStore& s = Store();
        if (!s.open)
            return false;
        s.open = false;
        if (s.changed)
            listener = s.listener;
        s.changed = false;
    }
    if (listener)
        listener();
    return true;
}

bool EmptyClipboard()
{
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    if (!s.open)
        return false;
    s.data.clear();
    s.later.clear();
    ++s.generation;
    s.changed = true;
    return true;
}

bool SetClipboardData(UINT format, std::vector<std::uint8_t> bytes)
{
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    if (!s.open || format == 0)
        return false;
    s.data[format] = std::move(bytes);
    s.later.erase(format);
    s.changed = true;
    return true;
}

bool SetClipboardDataLater(UINT format, std::function<std::vector<std::uint8_t>()> make)
{
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    if (!s.open || format == 0 || !make)
        return false;
    s.data[format].clear();
    s.later[format] = std::move(make);
    s.changed = true;
    return true;
}

std::optional<std::vector<std::uint8_t>> GetClipboardData(UINT format)
{
    std::function<std::vector<std::uint8_t>()> make;
    unsigned generation = 0;
    {
        std::lock_guard lock(gDesktopMutex);
        ClipboardStore& s = Store();
        auto it = s.data.find(format);
        if (it == s.data.end())
            return std::nullopt;
        auto later = s.later.find(format);
        if (later == s.later.end())
            return it->second;
        make = later->second;
        generation = s.generation;
    }
    // Made without the lock: drawing may take a while, and may use the clipboard itself.
    std::vector<std::uint8_t> bytes = make();
    std::lock_guard lock(gDesktopMutex);
    ClipboardStore& s = Store();
    if (s.generation == generation && s.later.count(format)) {
        s.later.erase(format);
        if (bytes.empty())
            s.data.erase(format);
        else
            s.data[format] = bytes;
    }
    if (bytes.empty())
        return std::nullopt;
    return bytes;
}

void MakeClipboardDataNow()
{
    std::vector<UINT> formats;
    {
        std::lock_guard lock(gDesktopMutex);
        for (const auto& [format, make] : Store().later)
            formats.push_back(format);
    }
    for (UINT format : formats)
        GetClipboardData(format);
}

bool IsClipboardFormatAvailable(UINT format)
{
    std::lock_guard lock(gDesktopMutex);
    return Store().data.count(format) != 0;
}

std::vector<UINT> ClipboardFormats()
{
    std::lock_guard lock(gDesktopMutex);
    std::vector<UINT> formats;
    for (const auto& [format, bytes] : Store().data)
        formats.push_back(format);
    return formats;
}

bool SetClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    std::vector<std::uint8_t> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    const bool done = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, std::move(bytes));
    CloseClipboard();
    return done;
}

std::optional<std::wstring> GetClipboardText()
{
    auto bytes = GetClipboardData(CF_UNICODETEXT);
    if (!bytes)
        return std::nullopt;
    std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes->data(), text.size() * sizeof(wchar_t));
    if (auto end = text.find(L'\0'); end != std::wstring::npos)
        text.resize(end);
    return text;
}

void SetClipboardListener(std::function<void()> listener)
{
    std::lock_guard lock(gDesktopMutex);
    Store().listener = std::move(listener);
}

} // namespace vx::ui
