#pragma once
// The standard controls (static, edit, buttons, group box, combo box, list box, scroll bar,
// slider, up-down, tooltip), their messages, scroll-bar information, and the theme: one classic
// painter for buttons, frames, tool bars, tooltips and text that never fails.
#include <string>

#include "ui/Gdi.h"
#include "ui/Messages.h"

namespace vx::ui {

// Registers the control classes (idempotent; the dialog manager calls it).
void InitCommonControls();

// Fonts travel in WM_SETFONT/WM_GETFONT as a pointer to a Font the sender keeps alive.
using HFONT = const Font*;
// The font a control draws with: its WM_SETFONT font, or the default GUI font.
Font ControlFont(HWND hwnd);

// ---- Messages and styles ----------------------------------------------------------------------

// What a control wants of the dialog's keyboard handling (its WM_GETDLGCODE answer).
constexpr LRESULT DLGC_WANTARROWS = 0x1, DLGC_WANTTAB = 0x2, DLGC_WANTALLKEYS = 0x4, DLGC_HASSETSEL = 0x8,
                  DLGC_DEFPUSHBUTTON = 0x10, DLGC_UNDEFPUSHBUTTON = 0x20, DLGC_RADIOBUTTON = 0x40,
                  DLGC_WANTCHARS = 0x80, DLGC_STATIC = 0x100, DLGC_BUTTON = 0x2000;

constexpr DWORD BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2, BS_AUTOCHECKBOX = 0x3,
                BS_RADIOBUTTON = 0x4, BS_GROUPBOX = 0x7, BS_AUTORADIOBUTTON = 0x9, BS_OWNERDRAW = 0xB,
                BS_TYPEMASK = 0xF;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr UINT BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2, BM_SETSTATE = 0x00F3,
               BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5;
constexpr WPARAM BST_UNCHECKED = 0, BST_CHECKED = 1;
constexpr UINT BN_CLICKED = 0;

constexpr DWORD SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_BITMAP = 0xE, SS_ETCHEDHORZ = 0x10,
                SS_TYPEMASK = 0x1F;
constexpr UINT STM_SETIMAGE = 0x0172; // lParam: BitmapPtr*

constexpr DWORD ES_CENTER = 0x1, ES_RIGHT = 0x2, ES_MULTILINE = 0x4, ES_PASSWORD = 0x20, ES_AUTOHSCROLL = 0x80,
                ES_READONLY = 0x800, ES_NUMBER = 0x2000;
constexpr UINT EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_LIMITTEXT = 0x00C5, EM_SETREADONLY = 0x00CF;
constexpr UINT EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300;

constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr UINT CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147,
               CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149, CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B,
               CB_SETCURSEL = 0x014E, CB_GETITEMDATA = 0x0150, CB_SETITEMDATA = 0x0151, CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CBN_SELCHANGE = 1;
constexpr LRESULT CB_ERR = -1;

constexpr UINT LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182, LB_RESETCONTENT = 0x0184,
               LB_SETCURSEL = 0x0186, LB_GETCURSEL = 0x0188, LB_GETTEXT = 0x0189, LB_GETTEXTLEN = 0x018A,
               LB_GETCOUNT = 0x018B, LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A;
constexpr UINT LBN_SELCHANGE = 1;
constexpr LRESULT LB_ERR = -1;

constexpr UINT TBM_GETPOS = 0x0400, TBM_GETRANGEMIN = 0x0401, TBM_GETRANGEMAX = 0x0402, TBM_SETPOS = 0x0405,
               TBM_SETRANGE = 0x0406, TBM_SETRANGEMIN = 0x0407, TBM_SETRANGEMAX = 0x0408, TBM_SETPAGESIZE = 0x0415,
               TBM_SETLINESIZE = 0x0417;
constexpr WPARAM TB_LINEUP = 0, TB_LINEDOWN = 1, TB_PAGEUP = 2, TB_PAGEDOWN = 3, TB_THUMBPOSITION = 4, TB_ENDTRACK = 8;

constexpr DWORD UDS_SETBUDDYINT = 0x2;
constexpr UINT UDM_SETBUDDY = 0x0469, UDM_GETBUDDY = 0x046A, UDM_SETRANGE32 = 0x046F, UDM_GETRANGE32 = 0x0470,
               UDM_SETPOS32 = 0x0471, UDM_GETPOS32 = 0x0472;

// The header of a WM_NOTIFY (lParam points at it, or at a record that begins with it).
struct NMHDR {
    HWND hwndFrom = nullptr;
    UINT_PTR idFrom = 0;
    UINT code = 0;
};
// UDN_DELTAPOS: an up-down is about to move by iDelta from iPos; a non-zero answer keeps it where
// it is.
constexpr UINT UDN_DELTAPOS = static_cast<UINT>(-722);
struct NMUPDOWN {
    NMHDR hdr;
    int iPos = 0;
    int iDelta = 0;
};

// Scroll bars: SB_CTL for a scroll-bar control, SB_HORZ/SB_VERT for a window's own bars.
constexpr int SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2;
constexpr WPARAM SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
                 SB_THUMBTRACK = 5, SB_ENDSCROLL = 8;
constexpr UINT SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8, SIF_TRACKPOS = 0x10,
               SIF_ALL = 0x17;
constexpr UINT SBM_SETSCROLLINFO = 0x00E9, SBM_GETSCROLLINFO = 0x00EA;

struct SCROLLINFO {
    UINT cbSize = sizeof(SCROLLINFO);
    UINT fMask = 0;
    int nMin = 0;
    int nMax = 0;
    UINT nPage = 0;
    int nPos = 0;
    int nTrackPos = 0;
};
// The page is clamped to [0, max - min + 1] and the position to [min, max - max(page - 1, 0)],
// as the original platform does. Returns the new position.
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& info, bool redraw);
bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw);
int GetScrollPos(HWND hwnd, int bar);

// ---- Theme ----------------------------------------------------------------------------------

constexpr UINT DFC_CAPTION = 1, DFC_BUTTON = 4;
constexpr UINT DFCS_CAPTIONCLOSE = 0x0, DFCS_FLAT = 0x4000;
constexpr UINT DFCS_BUTTONCHECK = 0x0, DFCS_BUTTONRADIO = 0x4, DFCS_BUTTONPUSH = 0x10, DFCS_INACTIVE = 0x100,
               DFCS_PUSHED = 0x200, DFCS_CHECKED = 0x400, DFCS_HOT = 0x1000;
constexpr UINT EDGE_RAISED = 0x5, EDGE_SUNKEN = 0xA, EDGE_ETCHED = 0x6, BF_RECT = 0xF;

// DFC_BUTTON: push buttons, check boxes and radio buttons; DFC_CAPTION with DFCS_CAPTIONCLOSE: a
// close button (a cross, flat with DFCS_FLAT, raised when hot, sunken when pushed).
bool DrawFrameControl(DC& dc, const Rect& rect, UINT type, UINT state);
bool DrawEdge(DC& dc, const Rect& rect, UINT edge, UINT flags = BF_RECT);

namespace theme {
enum class ButtonState { Normal, Hot, Pressed, Disabled, Default, Checked };
// Each painter draws something sensible for any rectangle and state.
void PaintButton(DC& dc, const Rect& rect, ButtonState state, const std::wstring& text, const Font& font);
void PaintToolbarButton(DC& dc, const Rect& rect, ButtonState state);
// A scroll bar's arrow button with its glyph: direction 0 up, 1 down, 2 left, 3 right.
void PaintScrollArrow(DC& dc, const Rect& rect, int direction, bool enabled);
void PaintToolbarBackground(DC& dc, const Rect& rect);
void PaintTooltip(DC& dc, const Rect& rect, const std::wstring& text, const Font& font);
// Text in the theme's style for a part ("label", "heading", "disabled").
void PaintText(DC& dc, const Rect& rect, const std::wstring& text, const Font& font, UINT format, const char* style);
} // namespace theme

} // namespace vx::ui
