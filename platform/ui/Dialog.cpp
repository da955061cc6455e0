#include "ui/Dialog.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "log/Log.h"
#include "ui/Backend.h"
#include "ui/Desktop.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

namespace {

struct DialogRecord {
    DialogProc proc;
    Font font;
    DialogBaseUnits base;
    bool ended = false;
    INT_PTR result = 0;
    WORD defId = 0;
};

std::mutex gDialogMutex;
std::map<HWND, std::shared_ptr<DialogRecord>> gDialogs;
DialogScript gScript;

std::shared_ptr<DialogRecord> Record(HWND hwnd)
{
    std::lock_guard lock(gDialogMutex);
    auto it = gDialogs.find(hwnd);
    return it == gDialogs.end() ? nullptr : it->second;
}

HWND FindDefaultButton(HWND dialog)
{
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (SendMessage(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)
            return c;
    return nullptr;
}

LRESULT DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* record = static_cast<std::shared_ptr<DialogRecord>*>(cs->lpCreateParams);
        std::lock_guard lock(gDialogMutex);
        gDialogs[hwnd] = *record;
    }
    std::shared_ptr<DialogRecord> record = Record(hwnd);
    if (record && record->proc && message != WM_NCCREATE && message != WM_NCDESTROY) {
        const INT_PTR answer = record->proc(hwnd, message, wParam, lParam);
        if (answer != 0 && message != WM_INITDIALOG)
            return answer;
        if (message == WM_INITDIALOG)
            return answer;
    }
    switch (message) {
    case WM_CLOSE:
        // Closing is cancelling, if the dialog lets one cancel.
        if (HWND cancel = GetDlgItem(hwnd, IDCANCEL); !cancel || IsWindowEnabled(cancel))
            SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    case WM_PAINT: {
        PaintDC dc(hwnd);
        Rect r;
        GetClientRect(hwnd, &r);
        dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
        return 0;
    }
    case DM_GETDEFID: {
        WORD id = record ? record->defId : 0;
        if (!id)
            if (HWND button = FindDefaultButton(hwnd))
                id = static_cast<WORD>(GetDlgCtrlID(button));
        return id ? static_cast<LRESULT>(MAKELPARAM(id, DC_HASDEFID)) : 0;
    }
    case DM_SETDEFID: {
        if (!record)
            return 0;
        if (HWND old = FindDefaultButton(hwnd))
            SendMessage(old, BM_SETSTYLE, BS_PUSHBUTTON, 1);
        record->defId = static_cast<WORD>(wParam);
        if (HWND button = GetDlgItem(hwnd, static_cast<int>(wParam)))
            if (SendMessage(button, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)
                SendMessage(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, 1);
        return 1;
    }
    case WM_NCDESTROY: {
        std::lock_guard lock(gDialogMutex);
        gDialogs.erase(hwnd);
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

void RegisterDialogClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        InitCommonControls();
        RegisterClass({ kDialogClass, CS_DBLCLKS, DialogWindowProc });
    });
}

bool IsTabStop(HWND hwnd)
{
    const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

HWND FirstTabStop(HWND dialog)
{
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsTabStop(c))
            return c;
    return nullptr;
}

// The control of the dialog that holds `hwnd` (its direct child).
HWND DialogChildOf(HWND dialog, HWND hwnd)
{
    while (hwnd && GetParent(hwnd) != dialog)
        hwnd = GetParent(hwnd);
    return hwnd;
}

HWND Build(const DialogTemplate& t, HWND owner, DialogProc proc, LPARAM param)
{
    RegisterDialogClass();
    auto record = std::make_shared<DialogRecord>();
    record->proc = std::move(proc);
    record->font = DialogFont(t.fontPoints, t.fontFace, GetDpiForWindow(owner));
    record->base = GetDialogBaseUnits(record->font);
    const Rect size = DialogUnitsToPixels(t.units, record->base);
    // Centred over the owner, or on the work area of the primary monitor.
    Rect over;
    if (!owner || !GetWindowRect(owner, &over)) {
        Monitor m;
        GetMonitorInfo(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &m);
        over = m.workArea;
    }
    const int x = over.left + (over.Width() - size.Width()) / 2, y = over.top + (over.Height() - size.Height()) / 2;
    const DWORD style = (t.style & ~(WS_VISIBLE | WS_CHILD)) | WS_POPUP;
    HWND dialog = CreateWindowEx(
        0, kDialogClass, t.caption.c_str(), style, x, y, size.Width(), size.Height(), owner, 0, &record);
    if (!dialog)
        return nullptr;
    for (const DialogItem& item : t.items) {
        const Rect r = DialogUnitsToPixels(item.units, record->base);
        HWND control = CreateWindowEx(item.exStyle, item.className.c_str(), item.text.c_str(), item.style | WS_CHILD,
            r.left, r.top, r.Width(), r.Height(), dialog, item.id, nullptr);
        if (!control) {
            vx::log::WriteLine("ui: a dialog control could not be made");
            DestroyWindow(dialog);
            return nullptr;
        }
        SendMessage(control, WM_SETFONT, reinterpret_cast<WPARAM>(&record->font), 0);
    }
    HWND first = FirstTabStop(dialog);
    const INT_PTR wantsFocus = SendMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dialog))
        return nullptr;
    if (wantsFocus && first) {
        SetFocus(first);
        if (SendMessage(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
            SendMessage(first, EM_SETSEL, 0, -1);
    }
    NoteActivePopup(dialog);
    return dialog;
}

} // namespace

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous)
{
    std::vector<HWND> stops;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsTabStop(c) || c == control)
            stops.push_back(c);
    if (stops.empty())
        return nullptr;
    auto it = std::find(stops.begin(), stops.end(), control);
    std::size_t index
        = it == stops.end() ? (previous ? 0 : stops.size() - 1) : static_cast<std::size_t>(it - stops.begin());
    for (std::size_t step = 0; step < stops.size(); ++step) {
        index = previous ? (index + stops.size() - 1) % stops.size() : (index + 1) % stops.size();
        if (IsTabStop(stops[index]))
            return stops[index];
    }
    return control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, bool previous)
{
    // The group: from the nearest WS_GROUP control at or before `control` up to the next one.
    std::vector<HWND> all;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        all.push_back(c);
    auto self = std::find(all.begin(), all.end(), control);
    if (self == all.end())
        return nullptr;
    auto first = self;
    while (first != all.begin() && !(GetWindowLongPtr(*first, GWL_STYLE) & WS_GROUP))
        --first;
    auto last = self + 1;
    while (last != all.end() && !(GetWindowLongPtr(*last, GWL_STYLE) & WS_GROUP))
        ++last;
    std::vector<HWND> group(first, last);
    const auto at = static_cast<std::size_t>(std::find(group.begin(), group.end(), control) - group.begin());
    for (std::size_t step = 1; step < group.size(); ++step) {
        HWND candidate = group[(at + (previous ? group.size() - step : step)) % group.size()];
        const auto style = static_cast<DWORD>(GetWindowLongPtr(candidate, GWL_STYLE));
        if ((style & WS_VISIBLE) && !(style & WS_DISABLED))
            return candidate;
    }
    return control;
}

bool IsDialogMessage(HWND dialog, const MSG& msg)
{
    if (!msg.hwnd || (msg.hwnd != dialog && !IsChild(dialog, msg.hwnd)))
        return false;
    const bool key = msg.message == WM_KEYDOWN || msg.message == WM_CHAR;
    if (!key)
        return false;
    HWND focus = GetFocus();
    const LRESULT code = focus ? SendMessage(focus, WM_GETDLGCODE, msg.wParam, 0) : 0;
    if (code & DLGC_WANTALLKEYS)
        return false;
    if (msg.message == WM_CHAR)
        return msg.wParam == L'\t' || msg.wParam == L'\r' || msg.wParam == 27; // handled as keys
    switch (msg.wParam) {
    case VK_TAB: {
        if (code & DLGC_WANTTAB)
            return false;
        HWND next = GetNextDlgTabItem(dialog, DialogChildOf(dialog, focus), GetKeyState(VK_SHIFT) & 0x8000);
        if (next) {
            SetFocus(next);
            if (SendMessage(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                SendMessage(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    case VK_RETURN: {
        int id = IDOK;
        if (focus && (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
            id = GetDlgCtrlID(focus);
        } else {
            const auto def = static_cast<WPARAM>(SendMessage(dialog, DM_GETDEFID, 0, 0));
            if (HIWORD(def) == DC_HASDEFID)
                id = LOWORD(def);
        }
        HWND button = GetDlgItem(dialog, id);
        if (button && !IsWindowEnabled(button))
            return true;
        SendMessage(
            dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return true;
    }
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
        // Arrows move among the radio buttons of a group, checking the one they reach.
        if ((code & DLGC_WANTARROWS) || !(code & DLGC_RADIOBUTTON))
            return false;
        HWND next = GetNextDlgGroupItem(dialog, focus, msg.wParam == VK_LEFT || msg.wParam == VK_UP);
        if (next && next != focus) {
            SetFocus(next);
            SendMessage(next, BM_CLICK, 0, 0);
        }
        return true;
    }
    case VK_ESCAPE: {
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            return true;
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return true;
    }
    default:
        return false;
    }
}

HWND CreateDialogIndirectParam(const DialogTemplate& dialog, HWND owner, DialogProc proc, LPARAM param)
{
    HWND hwnd = Build(dialog, owner, std::move(proc), param);
    if (!hwnd)
        return nullptr;
    // Keyboard navigation while the dialog lives.
    auto translator = std::make_shared<int>(0);
    *translator = AddMessageTranslator([hwnd, translator](const MSG& msg) {
        if (!IsWindow(hwnd)) {
            RemoveMessageTranslator(*translator);
            return false;
        }
        return IsDialogMessage(hwnd, msg);
    });
    if (dialog.style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

HWND CreateDialogParam(HMODULE module, WORD id, HWND owner, DialogProc proc, LPARAM param, LANGID language)
{
    auto t = FindDialogTemplate(module, id, language);
    return t ? CreateDialogIndirectParam(*t, owner, std::move(proc), param) : nullptr;
}

INT_PTR DialogBoxIndirectParam(const DialogTemplate& dialog, HWND owner, DialogProc proc, LPARAM param)
{
    HWND hwnd = Build(dialog, owner, std::move(proc), param);
    if (!hwnd)
        return -1;
    std::shared_ptr<DialogRecord> record = Record(hwnd);
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled)
        EnableWindow(owner, false);
    const int translator = AddMessageTranslator([hwnd](const MSG& msg) { return IsDialogMessage(hwnd, msg); });
    if (!record->ended) {
        ShowWindow(hwnd, SW_SHOW);
        UpdateWindow(hwnd);
    }
    DialogScript script;
    {
        std::lock_guard lock(gDialogMutex);
        script = gScript;
    }
    if (script && !record->ended)
        script(hwnd);
    const bool waits = static_cast<bool>(detail::BackendSnapshot()->WaitEvents);
    while (!record->ended && IsWindow(hwnd)) {
        if (waits) {
            MSG msg;
            const int got = GetMessage(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // WM_QUIT ends the dialog and stays pending for the outer loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                record->result = IDCANCEL;
                break;
            }
            ProcessMessage(msg);
        } else if (RunUntilIdle() == 0 && !record->ended) {
            vx::log::WriteLine("ui: a modal dialog had nothing left to do and was cancelled");
            record->result = IDCANCEL;
            break;
        }
    }
    RemoveMessageTranslator(translator);
    if (ownerWasEnabled && IsWindow(owner))
        EnableWindow(owner, true);
    const INT_PTR result = record->result;
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    if (owner && IsWindow(owner))
        SetActiveWindow(owner);
    return result;
}

INT_PTR DialogBoxParam(HMODULE module, WORD id, HWND owner, DialogProc proc, LPARAM param, LANGID language)
{
    auto t = FindDialogTemplate(module, id, language);
    return t ? DialogBoxIndirectParam(*t, owner, std::move(proc), param) : -1;
}

bool EndDialog(HWND dialog, INT_PTR result)
{
    std::shared_ptr<DialogRecord> record = Record(dialog);
    if (!record)
        return false;
    record->ended = true;
    record->result = result;
    ShowWindow(dialog, SW_HIDE);
    return true;
}

const Font* GetDialogFont(HWND dialog)
{
    std::shared_ptr<DialogRecord> record = Record(dialog);
    return record ? &record->font : nullptr;
}

bool MapDialogRect(HWND dialog, Rect* rect)
{
    std::shared_ptr<DialogRecord> record = Record(dialog);
    if (!record || !rect)
        return false;
    *rect = DialogUnitsToPixels(*rect, record->base);
    return true;
}

DialogScript SetDialogScript(DialogScript script)
{
    std::lock_guard lock(gDialogMutex);
    return std::exchange(gScript, std::move(script));
}

} // namespace vx::ui
