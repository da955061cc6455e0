#include "varnex/desktop/Open.h"
#include "varnex/desktop/DialogActions.h"
#include "varnex/desktop/Help.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include <ostream>
#include <poll.h>
#include <unistd.h>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/Bstr.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "foundation/Utf.h"
#include "host/eventdraw/EventDrawClasses.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/comments/Comments.h"
#include "hostframework/docview/ViewBase.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "reportcontrol/ReportControl.h"
#include "tracedraw/DataPane.h"
#include "tracedraw/PaneControls.h"
#include "tracedraw/TimeScale.h"
#include "ui/Backend.h"
#include "ui/CommandEnabler.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Timer.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"
#include "varnex/desktop/CommandEnabling.h"
#include "varnex/desktop/OpenCommand.h"
#include "varnex/desktop/chart/Chart.h"
#include "varnex/desktop/chart/ChartComments.h"
#include "varnex/session/SessionFile.h"
#include "varnex/session/SessionKeeper.h"
#include "varnex/startup/ExtensionLoader.h"
#include "varnex/views/ViewFrames.h"
#include "webview/WebKitEngine.h"

namespace varnex {

namespace ui = vx::ui;
using ui::HWND;

namespace {

// Posted to the frame when the document says that its analysis changed: the beats are read again.
constexpr UINT kRefreshBeats = ui::WM_USER + 40;

// Requests on standard input are looked for this often (--listen).
constexpr UINT kListenTimer = 7;

// The host's own commands.
constexpr UINT kFileOpen = 0xE101, kFileSave = 0xE103, kFileClose = 0xE102, kHelpAbout = 0xE140, kWindowMain = 0xE150;
// Copy and Print go to the view last opened.
constexpr UINT kFilePrint = 0xE107, kEditCopy = 0xE122;
// Extension commands get host ids from here on.
constexpr UINT kFirstExtensionId = 0x9000;
// Channel > Add Calculation: one command per calculation class the extensions register.
constexpr UINT kFirstCalculationId = 0xE200, kLastCalculationId = 0xE2FF;
constexpr int kStatusHeight = 24;
const wchar_t* const kFrameClass = L"VarnexFrame";

std::string DefaultExtensionPath()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("libhrv.so") : (self.parent_path() / "libhrv.so").string();
}

using vx::com::Query;

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// What the main frame shows and runs.
struct Session {
    std::wstring title;
    std::string extension; // as given on the command line
    std::shared_ptr<vx::host::Recording> recording;
    ICAFCommandHandler* commands = nullptr; // the HRV document's
    std::map<UINT, std::pair<DWORD, std::wstring>> extensionCommands; // host id -> (command id, path)
    HWND frame = nullptr;
    HWND status = nullptr;
    std::wstring lastCommand;
    HRESULT lastResult = S_OK;
    std::size_t updatesBefore = 0;
    vx::host::HrvHostDocument* host = nullptr;
    long long beats = -1; // beats on the fiducial channel after the last command; -1 unknown
    std::unique_ptr<ChartComments> comments; // drawn on the chart; outlives it
    bool beatsStale = false; // a refresh of the beats is posted
    bool takingSelection = false; // the chart's selection is being handed to the document
    std::unique_ptr<RecordingChart> chart; // the recording's channels under the summary
    std::unique_ptr<SessionKeeper> keeper; // File|Save and the question on closing
    ViewFrames* views = nullptr; // the document's open views
    bool printing = false; // File|Print... was taken and its outcome has not come back yet
    std::map<UINT, DWORD> calculationCommands; // host id -> calculation class id
    const vx::eventdraw::EventDrawClasses* eventDraw = nullptr; // words and colours the beats
};

// The chart fills the frame under the summary text.
constexpr int kChartTop = 150;

// The beats the analysis marked, read from its fiducial channel; null when there is none.
std::shared_ptr<const vx::host::ComputedEvents> ReadBeats(
    vx::host::HrvHostDocument& host, const vx::host::Recording& recording)
{
    try {
        vx::calc::Compiled fiducial = host.Engine().Channel(L"HRV_vFID");
        if (!fiducial.events)
            return nullptr;
        auto beats = std::make_shared<vx::host::ComputedEvents>();
        beats->type = fiducial.events->EventType();
        beats->recordSize = fiducial.events->RecordSize();
        for (int r = 0; r < recording.RecordCount(); ++r) {
            const std::int64_t length = recording.records[static_cast<std::size_t>(r)].length;
            auto bytes = std::make_shared<std::vector<std::byte>>();
            for (std::int64_t from = 0; from < length; from += 1 << 20) {
                vx::calc::EventBuffer events;
                fiducial.events->Read(r, from, std::min<std::int64_t>(length, from + (1 << 20)), events);
                bytes->insert(bytes->end(), events.bytes.begin(), events.bytes.end());
            }
            beats->records.push_back(std::move(bytes));
        }
        return beats;
    } catch (const std::exception&) {
        return nullptr;
    }
}

long long CountOf(const vx::host::ComputedEvents* beats)
{
    if (!beats || beats->recordSize == 0)
        return -1;
    long long count = 0;
    for (const auto& record : beats->records)
        count += static_cast<long long>(record->size() / beats->recordSize);
    return count;
}

Session* gSession = nullptr;

void SetStatus(const std::wstring& text);

// The channels computed by channel calculations, with their guide lines, on the chart.
void ShowCalculatedChannels(Session& s)
{
    if (s.chart && s.host && (!s.host->Document().ComputedChannels().empty() || !s.chart->CalculatedChannels().empty()))
        s.chart->ShowCalculatedChannels(s.host->Document(), s.host->guides);
}

// The beats are drawn while the beat channel is linked to a channel of the recording: the
// document links it and takes the link away with HRV|ShowMarkers.
bool BeatsLinked(vx::host::HrvHostDocument& host)
{
    HRV::ChannelRef fiducial;
    if (!host.FindChannel(L"HRV_vFID", fiducial))
        return false;
    const std::uint64_t from = (std::uint64_t(fiducial.mChannel) << 32) | fiducial.mKind;
    return std::any_of(host.links.begin(), host.links.end(), [from](const auto& link) { return link.first == from; });
}

// Reads the beats of the analysis again and shows them on the chart (while they are linked), with
// the calculated channels that show measures of them.
void RefreshBeats(Session& s)
{
    s.beatsStale = false;
    if (!s.host)
        return;
    auto beats = ReadBeats(*s.host, *s.recording);
    s.beats = CountOf(beats.get());
    if (s.chart)
        s.chart->SetBeats(BeatsLinked(*s.host) ? std::move(beats) : nullptr);
    ShowCalculatedChannels(s);
}

std::wstring TextOf(IKELString* rep)
{
    KEL::String text;
    if (rep)
        text.AssignRep(rep);
    return text.ToWString();
}

// Channel > Add Calculation > CLASS: a new channel of the record computed by a calculation class
// an extension registered. The class's own dialog sets it up (cancelled: no channel); the
// documents on the recording hear of the new channel, and the chart shows it.
void AddCalculatedChannel(Session& s, DWORD classId)
{
    vx::host::CalculationClassRegistry& classes = s.host->CalculationClasses();
    ICalculationClass* calcClass = classes.CalculationClass(classId);
    if (!calcClass)
        return;
    IKELString* display = nullptr;
    calcClass->GetDisplayName(&display);
    std::wstring base = TextOf(display);
    if (base.empty())
        base = L"Calculation";
    vx::host::HostDocument& document = s.host->Document();
    std::wstring name;
    for (int n = 1; name.empty() || document.NamedChannelNumber(name) >= 0; ++n)
        name = base + L" " + std::to_wstring(n);
    vx::hf::ChannelRef ref;
    if (FAILED(document.CreateNamedChannel(0, name.c_str(), nullptr, &ref))) {
        SetStatus(L"Ready. No channel could be added for " + base + L".");
        return;
    }
    const HRESULT hr = classes.ConfigureChannel(document, ref.number, classId, s.frame, s.host->CalculationFactory());
    if (!document.ChannelCalcOf(ref.number)) {
        document.RemoveName(0, name.c_str()); // cancelled, or the class could not set it up
        SetStatus(FAILED(hr) ? L"Ready. " + base + L" could not set up the channel (" + KEL::Utf8ToWide(Hex(hr)) + L")."
                             : L"Ready. No channel was added.");
        return;
    }
    ShowCalculatedChannels(s);
    SetStatus(hr == S_OK ? L"Ready. The channel " + name + L" is added."
                         : L"Ready. The channel " + name + L" is added; it shows values once the record is analysed.");
    ui::InvalidateRect(s.frame, nullptr, true);
}

// The Channel menu: Add Calculation with the calculation classes the extensions registered.
void AppendCalculationMenu(Session& s, ui::HMENU bar)
{
    if (!s.host)
        return;
    vx::host::CalculationClassRegistry& classes = s.host->CalculationClasses();
    ui::HMENU add = ui::CreatePopupMenu();
    UINT next = kFirstCalculationId;
    for (DWORD id : classes.CalculationClassIds()) {
        IKELString* display = nullptr;
        if (next > kLastCalculationId || FAILED(classes.CalculationClass(id)->GetDisplayName(&display)))
            continue;
        const std::wstring text = TextOf(display);
        if (text.empty())
            continue;
        ui::AppendMenu(add, ui::MF_STRING, next, text);
        s.calculationCommands[next++] = id;
    }
    ui::HMENU channel = ui::CreatePopupMenu();
    ui::AppendMenu(channel, ui::MF_POPUP | (s.calculationCommands.empty() ? ui::MF_GRAYED : 0u),
        reinterpret_cast<ui::UINT_PTR>(add), L"Add &Calculation");
    ui::AppendMenu(bar, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(channel), L"&Channel");
}

void ShowBeatPopup(Session& s, int record, std::int64_t tick, const ui::Rect& mark);

// The chart's selection becomes the document's, which the beat-mark commands act on; a click
// on a beat mark opens its beat's popup.
void TakeSelection(Session& s, const ChartSelection& chosen)
{
    vx::host::Recording& recording = *s.recording;
    const auto clamp
        = [](std::int64_t tick) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(tick, 0, 0x7FFFFFFE)); };
    recording.selection.empty = chosen.empty;
    recording.selection.start = { chosen.record, chosen.start };
    recording.selection.end = { chosen.endRecord, chosen.end };
    if (s.host) {
        // The chart shows it already.
        s.takingSelection = true;
        if (chosen.empty) {
            s.host->ClearSelection();
        } else {
            s.host->SelectRegion({ clamp(chosen.start), chosen.record }, { clamp(chosen.end), chosen.endRecord });
            s.host->selectionIsPoint = chosen.point;
        }
        s.takingSelection = false;
    }
    std::int64_t beat = -1;
    ui::Rect mark;
    if (!chosen.empty && chosen.point && s.chart && s.chart->BeatUnderMouse(beat, mark))
        ShowBeatPopup(s, chosen.record, beat, mark);
    ui::InvalidateRect(s.frame, nullptr, true);
}

// A click on a beat mark opens the popup of its beat: the comment of the event, worded and
// coloured by the event-draw class of the beats' type.
void ShowBeatPopup(Session& s, int record, std::int64_t tick, const ui::Rect& mark)
{
    if (!s.chart || !s.comments || !s.eventDraw)
        return;
    const auto beats = s.chart->PaneDocument().Computed().Get();
    if (!beats || beats->recordSize < sizeof(std::int32_t) || record < 0
        || record >= static_cast<int>(beats->records.size()) || !beats->records[static_cast<std::size_t>(record)])
        return;
    const std::vector<std::byte>& bytes = *beats->records[static_cast<std::size_t>(record)];
    for (std::size_t at = 0; at + beats->recordSize <= bytes.size(); at += beats->recordSize) {
        std::int32_t position = 0;
        std::memcpy(&position, bytes.data() + at, sizeof position);
        if (position != tick)
            continue;
        auto* comment = new vx::hf::EventDataComment(
            record, position, 0, bytes.data() + at, beats->recordSize, beats->type, s.eventDraw->DrawOf(beats->type));
        comment->AddRef();
        s.comments->ShowAt(comment, mark);
        comment->Release();
        return;
    }
}

// A selection the document set (HRV|Reselect gives the analysed range) is drawn on the chart.
void ShowDocumentSelection(Session& s)
{
    if (s.takingSelection || !s.host || !s.chart)
        return;
    ChartSelection shown;
    HRV::Position start, end;
    if (s.host->GetSelection(start, end) && start.IsSet()) {
        if (!end.IsSet())
            end = start;
        shown.empty = false;
        shown.point = s.host->SelectionIsPoint();
        shown.record = start.mRecord;
        shown.start = start.mOffset;
        shown.endRecord = end.mRecord;
        shown.end = shown.point ? std::int64_t(start.mOffset) + 1 : std::int64_t(end.mOffset);
    }
    vx::host::Recording& recording = *s.recording;
    recording.selection.empty = shown.empty;
    recording.selection.start = { shown.record, shown.start };
    recording.selection.end = { shown.endRecord, shown.end };
    s.chart->SetSelection(shown);
    if (s.frame)
        ui::InvalidateRect(s.frame, nullptr, true);
}

// "Selection: 12.300-15.600 s of record 1", or the cursor's place.
std::wstring DescribeSelection(const Session& s)
{
    if (!s.chart || s.chart->Selection().empty)
        return {};
    const ChartSelection& c = s.chart->Selection();
    const auto seconds = [&](int record, std::int64_t tick) {
        const auto& records = s.recording->records;
        return record >= 0 && record < static_cast<int>(records.size())
            ? static_cast<double>(tick) * records[static_cast<std::size_t>(record)].interval
            : 0.0;
    };
    wchar_t line[160];
    if (c.point)
        std::swprintf(line, 160, L"Cursor: %.3f s of record %d", seconds(c.record, c.start), c.record + 1);
    else if (c.endRecord != c.record)
        std::swprintf(line, 160, L"Selection: %.3f s of record %d to %.3f s of record %d", seconds(c.record, c.start),
            c.record + 1, seconds(c.endRecord, c.end), c.endRecord + 1);
    else
        std::swprintf(line, 160, L"Selection: %.3f-%.3f s of record %d", seconds(c.record, c.start),
            seconds(c.record, c.end), c.record + 1);
    return line;
}

void SetStatus(const std::wstring& text)
{
    if (gSession && gSession->status) {
        ui::SetWindowText(gSession->status, text);
        ui::UpdateWindow(gSession->status);
    }
}

// How a print the user asked for ended: the status line says so, and a failure is the last
// command's result (a scripted run then exits non-zero).
void PrintEnded(Session& s, const ui::PrintOutcome& outcome)
{
    if (!s.printing)
        return;
    s.printing = false;
    switch (outcome.kind) {
    case ui::PrintOutcome::Kind::Printed:
        s.lastResult = S_OK;
        SetStatus(L"Ready. Printed.");
        break;
    case ui::PrintOutcome::Kind::Cancelled:
        s.lastResult = S_OK;
        SetStatus(L"Ready. Printing was cancelled.");
        break;
    case ui::PrintOutcome::Kind::Failed:
        s.lastResult = E_FAIL;
        SetStatus(L"Ready. Printing failed: " + KEL::Utf8ToWide(outcome.reason) + L".");
        break;
    }
}

// A scripted run waits for a print it started to end before its next step.
void AwaitPrint(Session& s)
{
    constexpr int kPrintWaitMs = 30000;
    if (s.printing && !ui::RunGtkUntil([&s] { return !s.printing; }, kPrintWaitMs))
        PrintEnded(s, { ui::PrintOutcome::Kind::Failed, "the view did not print within 30 s" });
}

// Why the detector found nothing, when the host refused one of its channels; empty otherwise.
std::wstring DetectorRefusal(const Session& s)
{
    const auto refusal = s.host ? s.host->StandingRefusal() : vx::host::HrvHostDocument::ChannelRefusal {};
    if (refusal.reason.empty())
        return {};
    return KEL::Utf8ToWide("No beats can be detected: " + refusal.reason
        + (refusal.setting.empty() ? "." : ". HRV > Settings changes " + refusal.setting + "."));
}

std::wstring Describe(const Session& s)
{
    const vx::host::Recording& r = *s.recording;
    double seconds = 0;
    for (const auto& record : r.records)
        seconds += record.length * record.interval;
    wchar_t line[256];
    std::swprintf(line, 256, L"%ls: %d record(s), %d channel(s), %.1f s", s.title.c_str(), r.RecordCount(),
        r.ChannelCount(), seconds);
    std::wstring text = line;
    for (const auto& channel : r.channels)
        text += L"\n  " + channel.title;
    // The channels computed by a channel calculation, named with what they show.
    if (s.host)
        for (const auto& computed : s.host->Document().ComputedChannels()) {
            const std::wstring* name = s.host->Document().NameOfNumber(computed.channel);
            BSTR what = nullptr;
            computed.calc->GetDescription(&what);
            text += L"\n  " + (name ? *name : std::wstring()) + (what ? L" (" + std::wstring(what) + L")" : L"");
            SysFreeString(what);
        }
    if (!s.lastCommand.empty()) {
        const std::wstring refusal = DetectorRefusal(s);
        text += L"\n\n" + s.lastCommand
            + (!refusal.empty()               ? L": no beats"
                    : SUCCEEDED(s.lastResult) ? L": done"
                                              : L": failed");
        const std::size_t updates
            = s.host ? s.host->UpdateCount() - std::min(s.host->UpdateCount(), s.updatesBefore) : 0;
        text += L" (" + std::to_wstring(updates) + L" document updates)";
        if (s.beats >= 0)
            text += L"\nBeats detected: " + std::to_wstring(s.beats);
        if (!refusal.empty())
            text += L"\n" + refusal;
    }
    if (const std::wstring selection = DescribeSelection(s); !selection.empty())
        text += L"\n" + selection;
    return text;
}

void RunExtensionCommand(UINT hostId)
{
    Session& s = *gSession;
    auto it = s.extensionCommands.find(hostId);
    if (it == s.extensionCommands.end() || !s.commands)
        return;
    const std::wstring& path = it->second.second;
    SetStatus(L"Busy: " + path + L"...");
    const int cursor = ui::SetCursor(ui::IDC_WAIT);
    // The command runs on this thread: let the display show the busy state before it starts.
    if (auto backend = ui::GetBackend(); backend->PumpEvents)
        backend->PumpEvents();
    s.updatesBefore = s.host ? s.host->UpdateCount() : 0;
    s.lastCommand = path;
    s.lastResult = s.commands->OnCommand(it->second.first);
    RefreshBeats(s);
    ui::SetCursor(cursor);
    // The reason is in the summary; the status line has room for one short line.
    if (!DetectorRefusal(s).empty())
        SetStatus(L"Ready. " + path + L" found no beats (the summary says why).");
    else
        SetStatus(SUCCEEDED(s.lastResult)
                ? L"Ready. " + path + L" finished."
                : L"Ready. " + path + L" failed (" + KEL::Utf8ToWide(Hex(s.lastResult)) + L").");
    ui::InvalidateRect(s.frame, nullptr, true);
}

// The state of a command of the main frame's menus.
void EnableCommand(ui::CommandEnabler& element)
{
    const UINT id = element.GetId();
    if (id == kFileOpen || id == kFileClose || id == kHelpAbout) {
        element.Enable(true);
    } else if (id == kFileSave) {
        element.Enable(gSession && gSession->keeper && gSession->keeper->NeedsSave());
    } else if (id == kWindowMain) {
        element.SetCheck(1);
    } else if (id >= kFirstCalculationId && id <= kLastCalculationId) {
        element.Enable(gSession && gSession->calculationCommands.count(id) > 0);
    } else if (id == kFilePrint || id == kEditCopy) {
        // The view may answer with its own command text ("Print HRV Report"); the item keeps its
        // label so that scripted menu paths stay the same.
        bool enabled = false;
        std::wstring text;
        element.Enable(gSession && gSession->views && gSession->views->LastView()
            && (!gSession->views->EnableOnActiveView(
                    id == kFilePrint ? ViewBase::kCmdPrint : ViewBase::kCmdCopy, enabled, text)
                || enabled));
    } else if (gSession) {
        auto it = gSession->extensionCommands.find(id);
        if (it != gSession->extensionCommands.end())
            AskDocumentToEnable(gSession->commands, it->second.first, element);
    }
}

void AnswerRequests(Session& s);

void LayOut(HWND frame)
{
    ui::Rect client;
    ui::GetClientRect(frame, &client);
    if (gSession && gSession->status)
        ui::MoveWindow(gSession->status, 0, client.bottom - kStatusHeight, client.Width(), kStatusHeight, true);
    if (gSession && gSession->chart)
        gSession->chart->Place(
            { 0, kChartTop, client.Width(), std::max(kChartTop + 1, client.bottom - kStatusHeight) });
}

ui::LRESULT FrameProc(HWND hwnd, UINT message, ui::WPARAM wParam, ui::LPARAM lParam)
{
    switch (message) {
    case ui::WM_SIZE:
        LayOut(hwnd);
        return 0;
    case ui::WM_PAINT: {
        ui::PaintDC dc(hwnd);
        ui::Rect r;
        ui::GetClientRect(hwnd, &r);
        r.bottom -= kStatusHeight;
        dc.FillSolidRect(r, ui::GetSysColor(ui::COLOR_WINDOW));
        if (gSession) {
            ui::Font font;
            font.height = -14;
            dc.SelectFont(font);
            dc.SetBkMode(ui::TRANSPARENT);
            dc.SetTextColor(ui::GetSysColor(ui::COLOR_WINDOWTEXT));
            ui::Rect text = r.Inflate(-16, -12);
            dc.DrawText(Describe(*gSession), text, ui::DT_LEFT | ui::DT_WORDBREAK | ui::DT_NOPREFIX);
        }
        return 0;
    }
    case ui::WM_INITMENUPOPUP:
        // A menu that opens shows its commands as they are now.
        ui::EnableMenuCommands(reinterpret_cast<ui::HMENU>(wParam), hwnd);
        return 0;
    case ui::WM_CLOSE:
        // A window with unsaved changes asks first; Cancel (or a failed save) keeps it open.
        if (gSession && gSession->keeper && !gSession->keeper->MayClose(hwnd, gSession->title))
            return 0;
        ui::DestroyWindow(hwnd);
        return 0;
    case ui::WM_COMMAND_ENABLE:
        EnableCommand(*reinterpret_cast<ui::CommandEnabler*>(lParam));
        return 0;
    case ui::WM_COMMAND: {
        const UINT id = ui::LOWORD(wParam);
        if (id == kFileOpen) {
            OpenAnotherRecording(hwnd, gSession ? gSession->extension : std::string());
        } else if (id == kFileSave) {
            if (gSession && gSession->keeper && gSession->keeper->Save(hwnd))
                SetStatus(L"Ready. The session is saved in " + KEL::Utf8ToWide(gSession->keeper->Path()) + L".");
        } else if (id == kEditCopy && gSession && gSession->views) {
            const HRESULT hr = gSession->views->RunMenuCommand(ViewFrames::MenuCommand::Copy);
            SetStatus(hr == S_OK ? L"Ready. Copied." : L"Ready. The view did not take the command.");
        } else if (id == kFilePrint && gSession && gSession->views) {
            // The view prints when it can (a plot once its page has sent the picture): the status
            // tells how it ended when the outcome comes back (PrintEnded).
            gSession->printing = true;
            SetStatus(L"Printing...");
            const HRESULT hr = gSession->views->RunMenuCommand(ViewFrames::MenuCommand::Print);
            if (hr != S_OK && gSession->printing) {
                gSession->printing = false;
                SetStatus(L"Ready. The view did not take the command.");
            }
        } else if (id == kFileClose) {
            ui::PostMessage(hwnd, ui::WM_CLOSE, 0, 0);
        } else if (id == kHelpAbout) {
            ui::MessageBox(
                hwnd, L"Varnex: heart-rate variability analysis.", L"About Varnex", ui::MB_OK | ui::MB_ICONINFORMATION);
        } else if (id >= kFirstCalculationId && id <= kLastCalculationId) {
            if (gSession && gSession->calculationCommands.count(id))
                AddCalculatedChannel(*gSession, gSession->calculationCommands[id]);
        } else if (id >= kFirstExtensionId) {
            RunExtensionCommand(id);
        }
        return 0;
    }
    case ui::WM_TIMER:
        if (wParam == kListenTimer && gSession)
            AnswerRequests(*gSession);
        return 0;
    case kRefreshBeats:
        if (gSession && gSession->beatsStale) {
            RefreshBeats(*gSession);
            ui::InvalidateRect(hwnd, nullptr, true);
        }
        return 0;
    case ui::WM_DESTROY:
        ui::PostQuitMessage(0);
        return 0;
    default:
        return ui::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// The host's bar: File, the extensions' menus (their anchor), Window, Help.
ui::HMENU BuildMenuBar(Session& s, const std::vector<caf::RegisteredCommand>& registered)
{
    ui::HMENU bar = ui::CreateMenu();
    ui::HMENU file = ui::CreatePopupMenu();
    ui::AppendMenu(file, ui::MF_STRING, kFileOpen, L"&Open...\tCtrl+O");
    ui::AppendMenu(file, ui::MF_STRING, kFileSave, L"&Save\tCtrl+S");
    ui::AppendMenu(file, ui::MF_STRING, kFilePrint, L"&Print...\tCtrl+P");
    ui::AppendMenu(file, ui::MF_SEPARATOR, 0, L"");
    ui::AppendMenu(file, ui::MF_STRING, kFileClose, L"&Close");
    ui::AppendMenu(bar, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(file), L"&File");
    ui::HMENU edit = ui::CreatePopupMenu();
    ui::AppendMenu(edit, ui::MF_STRING, kEditCopy, L"&Copy\tCtrl+C");
    ui::AppendMenu(bar, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(edit), L"&Edit");
    AppendCalculationMenu(s, bar);

    // Extension items by their paths: "A|B|" is a submenu, "A|-" a separator, "A|B" a command.
    // Each shows the text it names ("Analysis Plots", "Analyze &while Sampling"), else the last
    // part of its path.
    std::map<std::wstring, std::wstring> texts; // "HRV|AnalysisPlots|" -> "Analysis Plots"
    for (const caf::RegisteredCommand& c : registered)
        if (!c.group && !c.text.empty() && !c.path.empty() && c.path.back() == L'|')
            texts[c.path] = c.text;
    std::map<std::wstring, ui::HMENU> menus;
    auto menuFor = [&](const std::wstring& path) -> ui::HMENU {
        auto found = menus.find(path);
        if (found != menus.end())
            return found->second;
        ui::HMENU parent = bar;
        std::wstring sofar;
        std::size_t start = 0;
        while (start < path.size()) {
            const std::size_t end = path.find(L'|', start);
            const std::wstring part = path.substr(start, end - start);
            sofar += part + L"|";
            auto known = menus.find(sofar);
            if (known == menus.end()) {
                ui::HMENU sub = ui::CreatePopupMenu();
                const auto text = texts.find(sofar);
                ui::AppendMenu(parent, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(sub),
                    text != texts.end() ? text->second : part);
                known = menus.emplace(sofar, sub).first;
            }
            parent = known->second;
            start = end == std::wstring::npos ? path.size() : end + 1;
        }
        return parent;
    };
    UINT next = kFirstExtensionId;
    for (const caf::RegisteredCommand& c : registered) {
        if (c.group || c.path.empty() || c.path.find(L'^') != std::wstring::npos)
            continue;
        const std::size_t cut = c.path.rfind(L'|', c.path.size() - (c.path.back() == L'|' ? 2 : 1));
        if (cut == std::wstring::npos)
            continue;
        const std::wstring parent = c.path.substr(0, cut + 1);
        const std::wstring leaf = c.path.substr(cut + 1);
        if (leaf.empty() || leaf.back() == L'|') {
            menuFor(c.path);
        } else if (leaf == L"-") {
            ui::AppendMenu(menuFor(parent), ui::MF_SEPARATOR, 0, L"");
        } else {
            ui::AppendMenu(menuFor(parent), ui::MF_STRING, next, c.text.empty() ? leaf : c.text);
            s.extensionCommands[next++] = { c.id, c.path };
        }
    }

    ui::HMENU window = ui::CreatePopupMenu();
    ui::AppendMenu(window, ui::MF_STRING | ui::MF_CHECKED, kWindowMain, L"&1 " + s.title);
    ui::AppendMenu(bar, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(window), L"&Window");
    ui::HMENU help = ui::CreatePopupMenu();
    ui::AppendMenu(help, ui::MF_STRING, kHelpAbout, L"&About Varnex");
    ui::AppendMenu(bar, ui::MF_POPUP, reinterpret_cast<ui::UINT_PTR>(help), L"&Help");
    return bar;
}

// Chooses a menu item as the user would: an extension's command by the path it registered
// ("HRV|Analyse", whatever text its item shows now), the host's own items by their texts
// ("File|Print..."). False when there is none or it is disabled.
bool RunMenuPath(Session& s, const std::wstring& path)
{
    for (const auto& [hostId, command] : s.extensionCommands)
        if (command.second == path)
            return ui::ActivateMenuCommand(s.frame, hostId);
    return ui::ActivateMenuPath(s.frame, path);
}

// The recording's comments on the chart's traces. A click on one, or the document's request to
// show a comment (a click on a beat in a view), opens its popup; the document's walk over the
// host's comments finds them on their channels.
void ShowCommentsOnChart(Session& s, vx::host::HrvHostDocument& host)
{
    s.comments = std::make_unique<ChartComments>(s.recording);
    for (int c = 0; c < s.recording->ChannelCount(); ++c) {
        VarnDraw::IVarnRecordDrawer* drawer = s.comments->MakeDrawer(c);
        s.chart->AddStripDrawer(c, drawer);
        drawer->Release();
    }
    RecordingChart* chart = s.chart.get();
    s.comments->Attach(chart->Handle(), [chart](int channel) { return chart->StripRect(channel); });
    for (const vx::host::Comment& c : s.recording->comments)
        for (int channel = 0; channel < s.recording->ChannelCount(); ++channel)
            if (c.channel < 0 || c.channel == channel)
                host.comments.push_back(
                    { static_cast<uint32_t>(channel), c.record, static_cast<int32_t>(c.position), c.text });
    ChartComments* comments = s.comments.get();
    host.options.showComment = [comments](IVarnComment* comment) { comments->Show(comment); };
}

// Clicks the marker of the `index`-th comment drawn on the chart, as the user would.
bool ClickComment(Session& s, std::size_t index)
{
    ui::Point at;
    if (!s.comments || !s.comments->MarkerCentre(index, at))
        return false;
    ui::ClientToScreen(s.chart->Handle(), &at);
    ui::ScreenToClient(s.frame, &at);
    ui::InjectMouse(s.frame, ui::WM_LBUTTONDOWN, at, ui::MK_LBUTTON);
    ui::InjectMouse(s.frame, ui::WM_LBUTTONUP, at);
    return true;
}

// A drag with the left button across the chart, as the window system delivers the user's.
void ScriptedDrag(Session& s, int from, int to)
{
    if (!s.chart)
        return;
    ui::Rect chart;
    ui::GetWindowRect(s.chart->Handle(), &chart);
    // The chart's place in the frame's client area, and the middle of its first strip.
    ui::Point origin { chart.left, chart.top };
    ui::ScreenToClient(s.frame, &origin);
    const ui::Rect strip = s.chart->Pane().ChannelStripCount() > 0 ? s.chart->Pane().ChannelStrip(0)->StripRect()
                                                                   : ui::Rect { 0, 0, 0, 40 };
    const int y = origin.y + (strip.top + strip.bottom) / 2;
    const auto at = [&](int x) { return ui::Point { origin.x + x, y }; };
    ui::InjectMouse(s.frame, ui::WM_MOUSEMOVE, at(from));
    ui::InjectMouse(s.frame, ui::WM_LBUTTONDOWN, at(from), ui::MK_LBUTTON);
    for (int step = 1; step <= 4; ++step)
        ui::InjectMouse(s.frame, ui::WM_MOUSEMOVE, at(from + (to - from) * step / 4), ui::MK_LBUTTON);
    ui::InjectMouse(s.frame, ui::WM_LBUTTONUP, at(to));
}

// The answers of --listen: places in screen coordinates ("left top right bottom").
std::string Place(const ui::Rect& r)
{
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " "
        + std::to_string(r.bottom);
}

std::string Utf8(const std::wstring& text)
{
    return KEL::Utf16ToUtf8(text.c_str(), text.size());
}

void WriteState(Session& s, std::ostream& out)
{
    const auto screen = [](HWND window, ui::Rect r) {
        ui::Point origin {};
        ui::ClientToScreen(window, &origin);
        return r.Offset(origin.x, origin.y);
    };
    ui::Rect frame;
    ui::GetWindowRect(s.frame, &frame);
    out << "frame " << Place(frame) << "\n";
    if (s.chart) {
        HWND chart = s.chart->Handle();
        VarnDraw::DataPane& pane = s.chart->Pane();
        ui::Rect client;
        ui::GetClientRect(chart, &client);
        out << "chart " << Place(screen(chart, client)) << "\n";
        const int strips = pane.ChannelStripCount();
        for (int i = 0; i < strips; ++i)
            out << "strip " << i << " " << Place(screen(chart, pane.ChannelStrip(i)->StripRect())) << "\n";
        if (strips > 0)
            out << "plot "
                << Place(screen(chart,
                       { pane.PlotLeft(), pane.ChannelStrip(0)->StripRect().top, pane.PlotLeft() + pane.PlotWidth(),
                           pane.ChannelStrip(strips - 1)->StripRect().bottom }))
                << "\n";
        const ui::Rect axis = screen(chart, pane.TimeStrip()->StripRect());
        out << "timescale " << Place(axis) << "\n";
        out << "zoom " << Utf8(VarnDraw::ZoomControl::FormatRatio(pane.Compression())) << "\n";
        if (auto* bar = dynamic_cast<VarnDraw::ScrollBarWin*>(pane.GetScrollBar())) {
            ui::Rect r;
            ui::GetWindowRect(bar->Handle(), &r);
            ui::SCROLLINFO info;
            info.fMask = ui::SIF_ALL;
            bar->GetScrollInfo(info);
            out << "scrollbar " << Place(r) << " " << info.nMin << " " << info.nMax << " " << info.nPage << " "
                << info.nPos << "\n";
        }
        if (VarnDraw::TimeLabelDrawer* labels = pane.TimeStrip()->LabelDrawer())
            for (const auto& label : labels->DrawnLabels())
                out << "label " << axis.left + label.x << " " << Utf8(label.text) << "\n";
        out << "marks";
        ui::Point origin {};
        ui::ClientToScreen(chart, &origin);
        for (int x : s.chart->BeatMarksInView())
            out << " " << origin.x + x;
        out << "\n";
        const ui::Rect band = s.chart->SelectionBand();
        out << "selection " << (band.IsEmpty() ? std::string("none") : Place(screen(chart, band))) << "\n";
    }
    for (const ui::MenuItemPlace& item : ui::MenuItemPlaces(s.frame))
        if (item.shown)
            out << "menu " << Place(item.screen) << " " << item.enabled << " " << item.checked << " " << Utf8(item.path)
                << "\n";
    if (HWND popup = s.comments ? s.comments->Popup() : nullptr; popup && ui::IsWindowVisible(popup)) {
        ui::Rect r;
        ui::GetWindowRect(popup, &r);
        out << "popup " << Place(r) << " " << Utf8(s.comments->PopupSummary()) << "\n";
    }
    std::wstring summary = Describe(s);
    for (std::size_t start = 0; start <= summary.size();) {
        const std::size_t end = std::min(summary.find(L'\n', start), summary.size());
        out << "summary " << Utf8(summary.substr(start, end - start)) << "\n";
        start = end + 1;
    }
    out << "status " << Utf8(ui::GetWindowText(s.status)) << "\n";
    out << "end" << std::endl;
}

// Answers the requests that arrived on standard input since the last look.
void AnswerRequests(Session& s)
{
    static std::string pending;
    for (;;) {
        pollfd in { 0, POLLIN, 0 };
        if (::poll(&in, 1, 0) <= 0 || !(in.revents & (POLLIN | POLLHUP)))
            break;
        char buffer[512];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0) {
            // The other end went: the window closes as at "quit".
            ui::KillTimer(s.frame, kListenTimer);
            ui::DestroyWindow(s.frame);
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string request = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (request == "state") {
            WriteState(s, std::cout);
        } else if (request == "repaint") {
            if (s.chart) {
                s.chart->Pane().ResetStrips();
                ui::InvalidateRect(s.chart->Handle(), nullptr, true);
                ui::UpdateWindow(s.chart->Handle());
            }
            std::cout << "repainted" << std::endl;
        } else if (request == "quit") {
            ui::KillTimer(s.frame, kListenTimer);
            ui::DestroyWindow(s.frame);
            return;
        } else {
            std::cout << "unknown request " << request << std::endl;
        }
    }
}

int Fail(std::ostream& err, const std::string& reason)
{
    err << "varnex open: " << reason << "\n";
    return 1;
}

// Plays the record's file online into a new record of the document, in blocks of 1 s (longer at
// high speeds, so that a block is due at most every 20 ms).
bool StartPlay(Session& s, const std::string& record, double speed, std::ostream& err)
{
    std::shared_ptr<const vx::host::Recording> source;
    try {
        source = std::make_shared<vx::host::Recording>(vx::host::ImportFile(record));
    } catch (const std::exception& e) {
        return Fail(err, e.what()) == 0;
    }
    if (!s.host->StartOnlinePlay(source, 0, std::max(1.0, speed / 50.0), speed))
        return Fail(err, "the online play cannot start") == 0;
    SetStatus(L"Playing online...");
    return true;
}

} // namespace

namespace {

// An option that keeps its value as it is.
template <std::string OpenOptions::*field> bool Keep(OpenOptions& o, const std::string& value, std::string&)
{
    o.*field = value;
    return true;
}

const Option<OpenOptions> kOpenOptions[] = {
    { "--extension", "FILE", "the HRV extension (default: libhrv.so beside varnex)", Keep<&OpenOptions::extension> },
    { "--run", "PATH",
        "choose a menu item once the window is up (\"HRV|Analyse\";\nthe host's own items by their texts, "
        "\"File|Print...\");\nrepeatable",
        [](OpenOptions& o, const std::string& v, std::string&) {
            o.run.push_back(KEL::Utf8ToWide(v));
            return true;
        } },
    { "--drag", "FROM,TO",
        "drag over the chart's first strip between two x pixels,\nafter the --run items given before it",
        [](OpenOptions& o, const std::string& v, std::string& error) {
            OpenOptions::Drag drag;
            char rest = 0;
            if (std::sscanf(v.c_str(), "%d,%d%c", &drag.from, &drag.to, &rest) != 2 || drag.from < 0 || drag.to < 0) {
                error = "--drag needs FROM,TO (the chart's x pixels), not " + v;
                return false;
            }
            drag.afterRuns = o.run.size();
            o.drags.push_back(drag);
            return true;
        } },
    { "--play", "SPEED",
        "play the record online into a new record at this multiple\nof real time while the chart follows it",
        [](OpenOptions& o, const std::string& v, std::string& error) {
            char* end = nullptr;
            o.play = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end || !(o.play > 0) || !std::isfinite(o.play)) {
                error = "--play needs a speed above 0 (a multiple of real time), not " + v;
                return false;
            }
            return true;
        } },
    { "--dialog", "ACTIONS",
        "answer the next dialog that comes up (shot=FILE.png,\nselect=ID:N, type=ID:TEXT, click=ID; "
        "comma-separated)",
        [](OpenOptions& o, const std::string& v, std::string& error) {
            o.dialogs.push_back(v);
            return CheckDialogActions(o.dialogs, error);
        } },
    { "--click-comment", "N", "click the marker of the N-th comment on the chart (from 0)",
        [](OpenOptions& o, const std::string& v, std::string& error) {
            try {
                o.clickComment = std::stoi(v);
            } catch (const std::exception&) {
                o.clickComment = -1;
            }
            if (o.clickComment >= 0)
                return true;
            error = "--click-comment needs the number of a comment drawn on the chart (from 0)";
            return false;
        } },
    { "--screenshot", "FILE.png", "save the window", Keep<&OpenOptions::screenshot> },
    { "--view-screenshot", "FILE.png", "save the frame of the view opened last", Keep<&OpenOptions::viewScreenshot> },
    { "--view-shots", "DIR", "save each open view's frame in DIR (\"<view class name>.png\")",
        Keep<&OpenOptions::viewShots> },
    { "--print-to", "FILE.pdf", "print into this file instead of asking for a printer", Keep<&OpenOptions::printTo> },
    { "--exit", "", "close the window after the script and print what it showed",
        [](OpenOptions& o, const std::string&, std::string&) {
            o.exitAfter = true;
            return true;
        } },
    { "--listen", "",
        "leave the window to input from the display and answer state,\nrepaint and quit on standard input",
        [](OpenOptions& o, const std::string&, std::string&) {
            o.listen = true;
            return true;
        } },
};

// The record: the one word that is no option.
bool TakeRecord(OpenOptions& o, const std::string& word, std::string& error)
{
    if (word.rfind("--", 0) == 0 || !o.record.empty()) {
        error = "unknown argument " + word;
        return false;
    }
    o.record = word;
    return true;
}

} // namespace

OptionTable<OpenOptions> OpenOptionTable()
{
    return kOpenOptions;
}

bool ParseOpenArguments(const std::vector<std::string>& args, OpenOptions& o, std::string& error)
{
    if (!ParseOptions<OpenOptions>(args, kOpenOptions, TakeRecord, o, error))
        return false;
    if (o.record.empty()) {
        error = "open needs a record";
        return false;
    }
    return true;
}

namespace {

// The window system of the desktop: GTK, with WebKitGTK showing the plot views' pages inside its
// windows. False with `error` set without a display.
bool StartWindowSystem(std::string& error)
{
    auto backend = ui::CreateGtkBackend(error);
    if (!backend)
        return false;
    ui::SetBackend(backend);
    return vx::webview::InstallWebKitEngine(error);
}

// Printing goes into `file` instead of asking for a printer (--print-to).
void PrintIntoFile(const std::string& file)
{
    // A relative name is the working folder's, whatever folder the printing code works in.
    std::error_code absoluteError;
    const std::filesystem::path printTo = std::filesystem::absolute(file, absoluteError);
    ui::SetPrintToFile(absoluteError ? file : printTo.string());
    ui::SetPrintHandler({});
    ui::SetPrinterChoiceHandler({});
}

// The session is the one the frame's window procedure and the print outcomes reach while it is
// installed.
class SessionInstalled {
public:
    explicit SessionInstalled(Session& session)
    {
        gSession = &session;
        ui::SetPrintOutcomeListener([&session](const ui::PrintOutcome& outcome) { PrintEnded(session, outcome); });
    }
    ~SessionInstalled()
    {
        ui::SetPrintOutcomeListener({});
        gSession = nullptr;
    }
    SessionInstalled(const SessionInstalled&) = delete;
    SessionInstalled& operator=(const SessionInstalled&) = delete;
};

// The host's side of the open recording: its host document, the framework and the extension
// with the class objects it registered. They go in the order the extension needs: its event-draw
// classes let go of its objects, the host document (holding its data children) goes, the
// registrations are released, the library is unloaded, and the framework goes last.
class LoadedHost {
public:
    LoadedHost() = default;
    ~LoadedHost()
    {
        eventDraw.reset();
        host.reset();
        if (extension) {
            caf::ReleaseRegistrations();
            extension.reset();
        }
    }
    LoadedHost(const LoadedHost&) = delete;
    LoadedHost& operator=(const LoadedHost&) = delete;

    std::unique_ptr<HostFramework> framework;
    std::unique_ptr<Extension> extension;
    std::unique_ptr<vx::host::HrvHostDocument> host;
    std::vector<IUnknown*> classObjects; // registered by the extension; not held
    // The extension's event-draw classes, which draw the beats on the chart.
    std::unique_ptr<vx::eventdraw::EventDrawClasses> eventDraw;
    // The host's menu commands the extension's document classes registered.
    std::vector<caf::RegisteredCommand> commands;
};

// The recording and the host document over it: its dialogs are the user's, message boxes of the
// analysis answer OK. False with the reason on `err`.
bool OpenRecording(Session& session, LoadedHost& loaded, const std::string& record, std::ostream& err)
{
    try {
        session.recording = std::make_shared<vx::host::Recording>(vx::host::ImportFile(record));
    } catch (const std::exception& e) {
        return Fail(err, e.what()) == 0;
    }
    if (session.recording->RecordCount() == 0 || session.recording->ChannelCount() == 0)
        return Fail(err, record + " holds no signal") == 0;
    vx::host::HrvHostOptions hostOptions;
    hostOptions.messageBoxAnswer = ui::IDOK;
    hostOptions.userAnswersDialogs = true;
    vx::host::InstallDesktopHelp();
    loaded.host = std::make_unique<vx::host::HrvHostDocument>(session.recording, hostOptions);
    session.host = loaded.host.get();
    return true;
}

// Loads the extension and lets it register: its enumerators and calculation classes become the
// host document's, its message boxes real ones, and its document classes insert their menu
// commands. False with the reason on `err`.
bool LoadExtension(Session& session, LoadedHost& loaded, const std::string& path, std::ostream& err)
{
    loaded.framework = std::make_unique<HostFramework>(FrameworkSource::Host);
    if (FAILED(loaded.framework->Result()))
        return Fail(err, "the framework is not available (" + Hex(loaded.framework->Result()) + ")") == 0;
    std::string error;
    loaded.extension = Extension::Load(path.empty() ? DefaultExtensionPath() : path, error);
    if (!loaded.extension)
        return Fail(err, error) == 0;
    const HRESULT registered = loaded.extension->RegisterClassObjects(loaded.framework->Object());
    if (FAILED(registered))
        return Fail(err, "the extension refused to register (" + Hex(registered) + ")") == 0;
    caf::SetMessageBoxHandler(
        [](const caf::MessageBoxRequest& r) { return ui::MessageBox(nullptr, r.text, r.caption, r.style); });

    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            loaded.classObjects.push_back(r.object);
    loaded.eventDraw = std::make_unique<vx::eventdraw::EventDrawClasses>();
    loaded.eventDraw->AddAll(loaded.classObjects);
    session.eventDraw = loaded.eventDraw.get();
    try {
        loaded.host->RegisterEnumerators(loaded.classObjects);
        loaded.host->RegisterCalculationClasses(
            loaded.classObjects, Query<ITypeIdRegistry>(loaded.framework->Object()).Get());
    } catch (const std::exception& e) {
        return Fail(err, std::string("the extension's enumerators cannot be used: ") + e.what()) == 0;
    }
    // Document classes insert their menu commands when the host builds its menus.
    for (IUnknown* c : loaded.classObjects)
        if (const auto documentClass = Query<ICustomDocClass>(c)) {
            const HRESULT inserted = documentClass->RegisterCommands(Query<ICAFCommandHandler>(c).Get(), 0);
            if (FAILED(inserted))
                err << "varnex open: a document class gave no menu commands (" << Hex(inserted) << ")\n";
        }
    loaded.commands = caf::RegisteredCommands();
    return true;
}

// The type index the framework gives a class id; 0 when it has none.
WORD TypeIndex(IUnknown* framework, const GUID& id)
{
    WORD index = 0;
    if (const auto types = Query<ITypeIdRegistry>(framework))
        types->GetTypeIndex(id, &index);
    return index;
}

// The extension's HRV document of the recording, opened by a host document of the recording
// through the document class that put an "HRV" menu on the bar, and attached to the host
// document. The document is let go of when this goes: detached from the host, then released
// with the host documents that hold it.
class OpenedDocument {
public:
    OpenedDocument() = default;
    ~OpenedDocument()
    {
        if (mHost)
            mHost->Detach();
        if (mObject)
            mObject->DetachChildren();
        mCommands.Reset();
        if (mRecording)
            mRecording->Release();
        mHostObject.Reset();
    }
    OpenedDocument(const OpenedDocument&) = delete;
    OpenedDocument& operator=(const OpenedDocument&) = delete;

    // False with the reason on `err`.
    bool Open(Session& session, const LoadedHost& loaded, std::ostream& err)
    {
        const auto hrvItem = std::find_if(loaded.commands.begin(), loaded.commands.end(),
            [](const caf::RegisteredCommand& c) { return c.path.rfind(L"HRV|", 0) == 0; });
        if (hrvItem == loaded.commands.end())
            return Fail(err, "the extension offers no HRV menu") == 0;
        auto* hostObject = new vx::host::HrvHostDocumentObject(*loaded.host);
        mHostObject = vx::com::Ref<IUnknown>::Adopt(static_cast<HRV::IDataPadSource*>(hostObject));
        mRecording = new caf::HostDocument(session.title, mHostObject.Get());
        mRecording->AddRef();
        HRESULT hr = E_FAIL;
        mDocument = mRecording->OpenDocument(hrvItem->classGuid, 0, &hr);
        mCommands = Query<ICAFCommandHandler>(mDocument);
        session.commands = mCommands.Get();
        const WORD typeIndex = TypeIndex(loaded.framework->Object(), hrvItem->classGuid);
        if (!mDocument || !mCommands)
            return Fail(err, "the extension cannot open an HRV document (" + Hex(hr) + ")") == 0;
        hostObject->AttachChild(DWORD(typeIndex) << 16, mDocument);
        loaded.host->Attach(mDocument);
        mHost = loaded.host.get();
        mObject = hostObject;
        return true;
    }

    ICustomDocument2* Document() const noexcept { return mDocument; }
    caf::HostDocument* Recording() const noexcept { return mRecording; }

private:
    vx::com::Ref<IUnknown> mHostObject;
    caf::HostDocument* mRecording = nullptr; // held
    ICustomDocument2* mDocument = nullptr; // held by the host document
    vx::com::Ref<ICAFCommandHandler> mCommands;
    vx::host::HrvHostDocument* mHost = nullptr; // set once the document is attached
    vx::host::HrvHostDocumentObject* mObject = nullptr;
};

// The analysis kept with the recording (its session file), or a new one; the keeper of the
// session file for File > Save and the question on closing.
void OpenAnalysis(Session& session, const OpenedDocument& opened, const std::string& record, std::ostream& err)
{
    std::optional<vx::host::SessionContent> content;
    std::optional<KeptSession> kept;
    const std::string sessionPath = vx::host::SessionPathFor(record);
    try {
        content = ReadSessionFile(sessionPath, vx::host::SessionSizeLimit(*session.recording));
    } catch (const vx::host::SessionError& e) {
        kept = KeptSession { KeptSession::Why::Unreadable, e.what() };
        err << "varnex open: the session file " << sessionPath << " cannot be read (" << e.what()
            << "); it is left as it is and the recording opens with the default settings\n";
    }
    std::string unusable;
    if (OpenWithSession(*session.host, opened.Document(), static_cast<ISubject*>(opened.Recording()),
            content ? &*content : nullptr, sessionPath, err, &unusable))
        err << "varnex open: using the session file " << sessionPath << "\n";
    else if (!unusable.empty())
        kept = KeptSession { KeptSession::Why::Unusable, unusable };
    session.keeper = std::make_unique<SessionKeeper>(*session.host, sessionPath, kept, err);
}

// The views the document asks for, each in a frame of its own, hooked to the host document
// while they are open; unhooked before they close.
class DocumentViews {
public:
    DocumentViews(Session& session, const LoadedHost& loaded, const OpenedDocument& opened)
        : mSession(session)
        , mFrames(loaded.classObjects, opened.Document(), static_cast<IHostDocumentData*>(opened.Recording()))
    {
        session.host->options.openView = [this](DWORD classId) { return mFrames.Open(classId); };
        session.views = &mFrames;
        mFrames.SetPlotCopyCommand(
            DWORD(TypeIndex(loaded.framework->Object(), vx::com::MakeGuid("{62B62191-A1AD-4304-A362-A926FFAF0819}")))
            << 16);
    }
    ~DocumentViews()
    {
        mSession.host->options.openView = nullptr;
        mSession.host->options.updated = nullptr;
        mSession.views = nullptr;
    }
    DocumentViews(const DocumentViews&) = delete;
    DocumentViews& operator=(const DocumentViews&) = delete;

    ViewFrames& Frames() noexcept { return mFrames; }

private:
    Session& mSession;
    ViewFrames mFrames;
};

// The main frame with its status line, menu bar and the chart of the recording, hooked to the
// host document's selection, updates and online play; shown. The chart goes with this.
class MainFrame {
public:
    explicit MainFrame(Session& session)
        : mSession(session)
    {
    }
    ~MainFrame() { mSession.chart.reset(); }
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    // False with the reason on `err`.
    bool Build(const std::vector<caf::RegisteredCommand>& commands, std::ostream& err)
    {
        Session& session = mSession;
        ui::InitCommonControls();
        ui::RegisterClass({ kFrameClass, ui::CS_HREDRAW | ui::CS_VREDRAW, FrameProc });
        session.frame = ui::CreateWindowEx(0, kFrameClass, session.title.c_str(),
            ui::WS_OVERLAPPED | ui::WS_CAPTION | ui::WS_CLIPCHILDREN, 40, 40, 900, 560, nullptr, 0, nullptr);
        if (!session.frame)
            return Fail(err, "the main window cannot be made") == 0;
        ui::GetApplication().mainWindow = session.frame;
        ui::GetApplication().name = L"Varnex";
        session.status = ui::CreateWindowEx(0, ui::kStaticClass, L"Ready.", ui::WS_CHILD | ui::WS_VISIBLE, 0, 0, 10,
            kStatusHeight, session.frame, 1, nullptr);
        ui::SetMenu(session.frame, BuildMenuBar(session, commands));
        ui::AddMenuBarEnabler(session.frame);
        session.chart = std::make_unique<RecordingChart>(
            session.frame, ui::Rect { 0, kChartTop, 900, 400 }, session.recording, session.eventDraw);
        session.chart->SetSelectionListener(
            [&session](const ChartSelection& chosen) { TakeSelection(session, chosen); });
        vx::host::HrvHostDocument& host = *session.host;
        host.options.selectionChanged = [&session] { ShowDocumentSelection(session); };
        // Whatever changes the analysis (a command, a view, a dialog) redraws the beats once the
        // change is over.
        host.options.updated = [&session](DWORD messageId, DWORD code) {
            if (session.views) {
                session.views->Notify(messageId, code);
                session.views->DeliverUpdate(messageId, code);
            }
            if (!session.beatsStale && session.frame) {
                session.beatsStale = true;
                ui::PostMessage(session.frame, kRefreshBeats, 0, 0);
            }
        };
        // Online play (a record played into the document as if sampled) grows a record the chart
        // follows.
        host.options.online = [&session](int record, vx::host::HrvHostOptions::OnlineStep step) {
            if (session.chart)
                session.chart->Follow(record, step);
            if (step == vx::host::HrvHostOptions::OnlineStep::Stopped && session.frame) {
                SetStatus(L"Ready. The online play finished.");
                ui::InvalidateRect(session.frame, nullptr, true);
            }
        };
        ShowCommentsOnChart(session, host);
        RefreshBeats(session);
        LayOut(session.frame);
        return true;
    }

    void Show()
    {
        ui::ShowWindow(mSession.frame, ui::SW_SHOW);
        ui::UpdateWindow(mSession.frame);
    }

private:
    Session& mSession;
};

// Lets the display show what changed (the scripted run has no user to wait for).
void Settle()
{
    ui::RunGtkUntil([] { return false; }, 300);
}

// A screenshot of the main frame; with a comment's popup open, of the part of the display that
// shows both.
bool SaveScreenshot(const Session& session, const std::string& file)
{
    ui::BitmapPtr shot;
    if (ui::HWND popup = session.comments ? session.comments->Popup() : nullptr; popup && ui::IsWindowVisible(popup)) {
        ui::Rect frameRect, popupRect;
        ui::GetWindowRect(session.frame, &frameRect);
        ui::GetWindowRect(popup, &popupRect);
        shot = ui::ScreenshotDisplay({ std::min(frameRect.left, popupRect.left), std::min(frameRect.top, popupRect.top),
            std::max(frameRect.right, popupRect.right), std::max(frameRect.bottom, popupRect.bottom) });
    } else {
        shot = ui::ScreenshotWindow(session.frame);
    }
    return shot && shot->SavePng(file);
}

// What the window showed, for whoever ran the script: the summary, the views, what Edit|Copy left
// on the clipboard (by format name), the status line and an open comment popup.
void PrintWhatItShowed(const Session& session, const ViewFrames& views)
{
    std::wstring viewLines = views.Describe();
    for (UINT format : ui::ClipboardFormats()) {
        const std::wstring name = ui::GetClipboardFormatName(format);
        if (!name.empty())
            viewLines += L"Clipboard: " + name + L"\n";
    }
    std::cout << KEL::Utf16ToUtf8(Describe(session).c_str(), Describe(session).size()) << "\n"
              << KEL::Utf16ToUtf8(viewLines.c_str(), viewLines.size())
              << KEL::Utf16ToUtf8(ui::GetWindowText(session.status).c_str(), ui::GetWindowText(session.status).size())
              << "\n";
    if (const std::wstring popup = session.comments ? session.comments->PopupSummary() : L""; !popup.empty())
        std::cout << "Comment popup: " << KEL::Utf16ToUtf8(popup.c_str(), popup.size()) << "\n";
}

// The scripted run (--run, --drag, --play, --click-comment, the screenshots, --exit): the exit
// code when the script ends the run, none when the window stays up.
std::optional<int> RunScript(Session& session, ViewFrames& views, const OpenOptions& o, std::ostream& err)
{
    InstallDialogActions(o.dialogs, err);
    Settle();
    const auto dragsAfter = [&](std::size_t runs) {
        for (const OpenOptions::Drag& d : o.drags)
            if (d.afterRuns == runs) {
                ScriptedDrag(session, d.from, d.to);
                Settle();
            }
    };
    dragsAfter(0);
    for (std::size_t i = 0; i < o.run.size(); ++i) {
        const std::wstring& path = o.run[i];
        const std::size_t viewsBefore = views.Sites().size();
        if (!RunMenuPath(session, path)) {
            ui::DestroyWindow(session.frame);
            return Fail(err, "no menu item " + KEL::Utf16ToUtf8(path.c_str(), path.size()) + " that is enabled");
        }
        Settle();
        AwaitPrint(session);
        if (!ui::IsWindow(session.frame))
            return FAILED(session.lastResult) ? 1 : 0; // closed by the script
        // A view that opened loads its page and draws: the next step acts on what it shows.
        if (views.Sites().size() != viewsBefore)
            ui::RunGtkUntil([] { return false; }, 1500);
        dragsAfter(i + 1);
    }
    if (o.play > 0) {
        if (!StartPlay(session, o.record, o.play, err)) {
            ui::DestroyWindow(session.frame);
            return 1;
        }
        ui::RunGtkUntil([&session] { return !session.host->OnlinePlaying(); }, 600000);
    }
    ui::UpdateWindow(session.frame);
    Settle();
    if (o.clickComment >= 0) {
        if (!ClickComment(session, static_cast<std::size_t>(o.clickComment))) {
            ui::DestroyWindow(session.frame);
            return Fail(err, "no comment " + std::to_string(o.clickComment) + " is drawn on the chart");
        }
        Settle();
    }
    if (!o.screenshot.empty() && !SaveScreenshot(session, o.screenshot))
        return Fail(err, "cannot write the screenshot " + o.screenshot);
    if (!o.viewScreenshot.empty()) {
        ui::BitmapPtr shot = views.ActiveFrame() ? ui::ScreenshotWindow(views.ActiveFrame()) : nullptr;
        if (!shot || !shot->SavePng(o.viewScreenshot))
            return Fail(err, "cannot write the view's screenshot " + o.viewScreenshot);
    }
    if (!o.viewShots.empty()) {
        // The views' pages draw asynchronously: time for them to fetch their data and paint.
        ui::RunGtkUntil([] { return false; }, 3000);
        const std::string failed = views.Screenshots(o.viewShots);
        if (!failed.empty())
            return Fail(err, failed);
    }
    if (o.exitAfter) {
        PrintWhatItShowed(session, views);
        ui::DestroyWindow(session.frame);
        return FAILED(session.lastResult) ? 1 : 0;
    }
    return std::nullopt;
}

} // namespace

int Open(const OpenOptions& o, std::ostream& err)
{
    std::string error;
    if (!StartWindowSystem(error))
        return Fail(err, error);
    // The report view shows its page in the host's report control.
    vx::host::ReportControlRegistration reportControl;
    if (!o.printTo.empty())
        PrintIntoFile(o.printTo);

    Session session;
    SessionInstalled installed(session);
    session.title = std::filesystem::path(KEL::Utf8ToWide(o.record)).stem().wstring();
    session.extension = o.extension;
    // A long recording (a day of data) with a kept analysis takes a while: the user sees each step.
    auto progress = std::make_unique<LoadProgress>(session.title, 4);
    progress->Step(L"reading the recording");
    LoadedHost loaded;
    if (!OpenRecording(session, loaded, o.record, err))
        return 1;
    progress->Step(L"loading the HRV extension");
    if (!LoadExtension(session, loaded, o.extension, err))
        return 1;
    OpenedDocument opened;
    if (!opened.Open(session, loaded, err))
        return 1;
    progress->Step(L"opening the analysis kept with the recording");
    OpenAnalysis(session, opened, o.record, err);
    progress->Step(L"drawing the recording");
    DocumentViews views(session, loaded, opened);
    MainFrame frame(session);
    if (!frame.Build(loaded.commands, err))
        return 1;
    progress.reset();
    frame.Show();

    if (!o.run.empty() || !o.screenshot.empty() || o.exitAfter || o.clickComment >= 0)
        if (const std::optional<int> exitCode = RunScript(session, views.Frames(), o, err))
            return *exitCode;
    if (o.play > 0 && o.run.empty() && o.screenshot.empty() && !o.exitAfter
        && !StartPlay(session, o.record, o.play, err))
        return 1;
    if (o.listen) {
        ui::SetTimer(session.frame, kListenTimer, 50);
        std::cout << "ready" << std::endl;
    }
    ui::RunMessageLoop();
    return 0;
}

} // namespace varnex
