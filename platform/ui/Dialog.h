#pragma once
// Dialogs built from templates: the dialog window (class "#32770") with its controls laid out
// from dialog units of its font, a dialog procedure, keyboard navigation (Tab and Shift+Tab
// through WS_TABSTOP controls in creation order, arrows among a group's radio buttons, Enter for
// the default button, Escape for IDCANCEL), and modal runs that disable the owner until EndDialog.
#include <functional>
#include <memory>

#include "ui/Controls.h"
#include "ui/Resources.h"

namespace vx::ui {

using INT_PTR = std::intptr_t;
// Answers TRUE (non-zero) for a message it handled; WM_INITDIALOG answers FALSE when it set the
// focus itself.
using DialogProc = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

constexpr UINT DM_GETDEFID = WM_USER + 0, DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;
constexpr DWORD DS_MODALFRAME = 0x80, DS_SETFONT = 0x40;

// Modeless: shown when the template's style has WS_VISIBLE; navigation keys work while the loop
// runs. Null when the template cannot be built or WM_INITDIALOG's window failed.
HWND CreateDialogIndirectParam(const DialogTemplate& dialog, HWND owner, DialogProc proc, LPARAM param);
HWND CreateDialogParam(HMODULE module, WORD id, HWND owner, DialogProc proc, LPARAM param, LANGID language = 0);
// Modal: returns EndDialog's result, or -1 when the dialog could not be made.
INT_PTR DialogBoxIndirectParam(const DialogTemplate& dialog, HWND owner, DialogProc proc, LPARAM param);
INT_PTR DialogBoxParam(HMODULE module, WORD id, HWND owner, DialogProc proc, LPARAM param, LANGID language = 0);
bool EndDialog(HWND dialog, INT_PTR result);

// The keyboard navigation of a dialog for one message; true when it consumed the message.
bool IsDialogMessage(HWND dialog, const MSG& msg);
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);
// The next (or previous) visible, enabled control of `control`'s group, wrapping around.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, bool previous);
// The font the dialog's controls use.
const Font* GetDialogFont(HWND dialog);
// Dialog units of this dialog's font to pixels.
bool MapDialogRect(HWND dialog, Rect* rect);

// Headless runs: called once a modal dialog is up (after WM_INITDIALOG), so a test or a script
// can post input or end it. A modal dialog ends by itself with IDCANCEL when its loop runs dry
// and nothing is left to happen (so a headless run never hangs).
using DialogScript = std::function<void(HWND dialog)>;
DialogScript SetDialogScript(DialogScript script);

} // namespace vx::ui
