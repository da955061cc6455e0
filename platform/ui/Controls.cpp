#include "ui/Controls.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <variant>
#include <vector>

#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Tooltip.h"
#include "ui/Window.h"

namespace vx::ui {

namespace {

struct ListItem {
    std::wstring text;
    LPARAM data = 0;
};

// What each control keeps besides its window text.
struct ControlState {
    HFONT font = nullptr;
    bool pressed = false;
    WPARAM check = BST_UNCHECKED;
    BitmapPtr image;
    // edit
    std::size_t caret = 0, anchor = 0, limit = 30000;
    // lists
    std::vector<ListItem> items;
    int current = -1;
    int top = 0;
    // slider, up-down and scroll bars
    int min = 0, max = 100, pos = 0, line = 1, page = 20;
    HWND buddy = nullptr;
    // scroll bars: the thumb is being dragged, grabbed this far from its start
    bool tracking = false;
    int grab = 0;
};

std::mutex gStateMutex;
std::map<HWND, ControlState> gStates;
struct ScrollKey {
    HWND hwnd;
    int bar;
    auto operator<=>(const ScrollKey&) const = default;
};
std::map<ScrollKey, SCROLLINFO> gScroll;

ControlState& State(HWND hwnd)
{
    std::lock_guard lock(gStateMutex);
    return gStates[hwnd];
}

void Forget(HWND hwnd)
{
    std::lock_guard lock(gStateMutex);
    gStates.erase(hwnd);
    gScroll.erase({ hwnd, SB_CTL });
    gScroll.erase({ hwnd, SB_HORZ });
    gScroll.erase({ hwnd, SB_VERT });
}

DWORD Style(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

void NotifyParent(HWND hwnd, UINT code)
{
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(GetDlgCtrlID(hwnd)), code),
            reinterpret_cast<LPARAM>(hwnd));
}

void Redraw(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, true);
}

Rect Client(HWND hwnd)
{
    Rect r;
    GetClientRect(hwnd, &r);
    return r;
}

// Messages every control answers the same way; true when handled.
bool CommonMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_SETFONT:
        State(hwnd).font = reinterpret_cast<HFONT>(wParam);
        if (lParam)
            Redraw(hwnd);
        result = 0;
        return true;
    case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(State(hwnd).font);
        return true;
    case WM_ENABLE:
        Redraw(hwnd);
        result = 0;
        return true;
    case WM_NCDESTROY:
        Forget(hwnd);
        result = 0;
        return true;
    default:
        return false;
    }
}

// ---- Button -------------------------------------------------------------------------------------

void CheckRadioInGroup(HWND hwnd)
{
    HWND parent = GetParent(hwnd);
    if (!parent)
        return;
    // The group: from the nearest WS_GROUP item at or before this one to the next WS_GROUP item.
    std::vector<HWND> siblings;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        siblings.push_back(c);
    auto self = std::find(siblings.begin(), siblings.end(), hwnd);
    if (self == siblings.end())
        return;
    auto first = self;
    while (first != siblings.begin() && !(Style(*first) & WS_GROUP))
        --first;
    for (auto it = first; it != siblings.end(); ++it) {
        if (it != first && (Style(*it) & WS_GROUP))
            break;
        if (GetClassName(*it) == kButtonClass && (Style(*it) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            SendMessage(*it, BM_SETCHECK, *it == hwnd ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void Click(HWND hwnd)
{
    const DWORD type = Style(hwnd) & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX)
        SendMessage(hwnd, BM_SETCHECK, State(hwnd).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    else if (type == BS_AUTORADIOBUTTON)
        CheckRadioInGroup(hwnd);
    NotifyParent(hwnd, BN_CLICKED);
}

void PaintButtonWindow(HWND hwnd)
{
    PaintDC dc(hwnd);
    const Rect r = Client(hwnd);
    const DWORD style = Style(hwnd);
    const DWORD type = style & BS_TYPEMASK;
    const Font font = ControlFont(hwnd);
    const std::wstring text = GetWindowText(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    ControlState state;
    {
        std::lock_guard lock(gStateMutex);
        state = gStates[hwnd];
    }
    dc.SelectFont(font);
    if (type == BS_GROUPBOX) {
        const TextMetrics tm = dc.GetTextMetrics();
        DrawEdge(dc, { r.left, r.top + tm.height / 2, r.right, r.bottom }, EDGE_ETCHED);
        Rect label { r.left + 8, r.top, r.right - 8, r.top + tm.height };
        dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
        dc.SetBkMode(OPAQUE);
        dc.SetTextColor(GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        Rect measured = label;
        dc.DrawText(text, measured, DT_CALCRECT | DT_SINGLELINE);
        label.right = std::min(label.right, measured.right + 2);
        dc.DrawText(L" " + text, label, DT_SINGLELINE);
        return;
    }
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
        dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
        const int box = 13;
        const Rect glyph = Rect::FromPointSize({ r.left, r.top + (r.Height() - box) / 2 }, { box, box });
        const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        DrawFrameControl(dc, glyph, DFC_BUTTON,
            (radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK) | (state.check ? DFCS_CHECKED : 0)
                | (enabled ? 0 : DFCS_INACTIVE) | (state.pressed ? DFCS_PUSHED : 0));
        Rect label { glyph.right + 4, r.top, r.right, r.bottom };
        theme::PaintText(dc, label, text, font, DT_SINGLELINE | DT_VCENTER, enabled ? "label" : "disabled");
        if (GetFocus() == hwnd) {
            Rect focus = label;
            dc.DrawText(text, focus, DT_CALCRECT | DT_SINGLELINE);
            focus = Rect { label.left - 1, label.top + (label.Height() - focus.Height()) / 2 - 1, focus.right + 1,
                label.top + (label.Height() + focus.Height()) / 2 + 1 };
            dc.DrawFocusRect(focus);
        }
        return;
    }
    theme::ButtonState look = !enabled ? theme::ButtonState::Disabled
        : state.pressed                ? theme::ButtonState::Pressed
        : type == BS_DEFPUSHBUTTON     ? theme::ButtonState::Default
                                       : theme::ButtonState::Normal;
    theme::PaintButton(dc, r, look, text, font);
    if (GetFocus() == hwnd)
        dc.DrawFocusRect(r.Inflate(-4, -4));
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    const DWORD type = Style(hwnd) & BS_TYPEMASK;
    switch (message) {
    case WM_GETDLGCODE:
        if (type == BS_GROUPBOX)
            return DLGC_STATIC;
        if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_PUSHBUTTON)
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (type == BS_DEFPUSHBUTTON)
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        return DLGC_BUTTON;
    case WM_PAINT:
        PaintButtonWindow(hwnd);
        return 0;
    case WM_SETTEXT:
        result = DefWindowProc(hwnd, message, wParam, lParam);
        Redraw(hwnd);
        return result;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Redraw(hwnd);
        return 0;
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX)
            return 0;
        SetFocus(hwnd);
        SetCapture(hwnd);
        State(hwnd).pressed = true;
        Redraw(hwnd);
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = std::exchange(State(hwnd).pressed, false);
        if (GetCapture() == hwnd)
            ReleaseCapture();
        Redraw(hwnd);
        const Point p { static_cast<short>(LOWORD(static_cast<WPARAM>(lParam))),
            static_cast<short>(HIWORD(static_cast<WPARAM>(lParam))) };
        if (wasPressed && Client(hwnd).Contains(p))
            Click(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (State(hwnd).pressed) {
            State(hwnd).pressed = false;
            Redraw(hwnd);
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && type != BS_GROUPBOX)
            Click(hwnd);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(hwnd))
            Click(hwnd);
        return 0;
    case BM_GETCHECK:
        return static_cast<LRESULT>(State(hwnd).check);
    case BM_SETCHECK:
        if (State(hwnd).check != wParam) {
            State(hwnd).check = wParam;
            Redraw(hwnd);
        }
        return 0;
    case BM_GETSTATE:
        return static_cast<LRESULT>(State(hwnd).check | (State(hwnd).pressed ? 0x4 : 0));
    case BM_SETSTATE:
        State(hwnd).pressed = wParam != 0;
        Redraw(hwnd);
        return 0;
    case BM_SETSTYLE:
        SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>((Style(hwnd) & ~BS_TYPEMASK) | (wParam & BS_TYPEMASK)));
        if (lParam)
            Redraw(hwnd);
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// ---- Static -------------------------------------------------------------------------------------

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_NCHITTEST:
        return -1; // HTTRANSPARENT: clicks go to what lies below
    case WM_SETTEXT:
        result = DefWindowProc(hwnd, message, wParam, lParam);
        Redraw(hwnd);
        return result;
    case STM_SETIMAGE: {
        BitmapPtr previous = State(hwnd).image;
        State(hwnd).image = lParam ? *reinterpret_cast<const BitmapPtr*>(lParam) : nullptr;
        Redraw(hwnd);
        return previous != nullptr;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        const DWORD type = Style(hwnd) & SS_TYPEMASK;
        dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
        if (type == SS_ETCHEDHORZ) {
            DrawEdge(dc, { r.left, r.top, r.right, r.top + 2 }, EDGE_ETCHED);
        } else if (type == SS_BITMAP) {
            if (BitmapPtr image = State(hwnd).image)
                dc.AlphaBlend(Rect::FromPointSize({}, image->GetSize()), image,
                    Rect::FromPointSize({}, image->GetSize()), 255, true);
        } else {
            const UINT align = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
            Rect area = r;
            theme::PaintText(dc, area, GetWindowText(hwnd), ControlFont(hwnd), align | DT_WORDBREAK,
                IsWindowEnabled(hwnd) ? "label" : "disabled");
        }
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// ---- Edit ---------------------------------------------------------------------------------------

void EditReplaceSelection(HWND hwnd, const std::wstring& insert)
{
    std::wstring text = GetWindowText(hwnd);
    ControlState& s = State(hwnd);
    std::size_t from = std::min(std::min(s.caret, s.anchor), text.size());
    std::size_t to = std::min(std::max(s.caret, s.anchor), text.size());
    std::wstring piece = insert;
    const std::size_t room = s.limit > text.size() - (to - from) ? s.limit - (text.size() - (to - from)) : 0;
    if (piece.size() > room)
        piece.resize(room);
    if (piece.empty() && from == to)
        return;
    text.replace(from, to - from, piece);
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    s.caret = s.anchor = from + piece.size();
    Redraw(hwnd);
    NotifyParent(hwnd, EN_CHANGE);
}

LRESULT EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    const DWORD style = Style(hwnd);
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT: {
        result = DefWindowProc(hwnd, message, wParam, lParam);
        ControlState& s = State(hwnd);
        s.caret = s.anchor = 0;
        Redraw(hwnd);
        NotifyParent(hwnd, EN_CHANGE);
        return result;
    }
    case WM_SETFOCUS:
        Redraw(hwnd);
        NotifyParent(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        Redraw(hwnd);
        NotifyParent(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case EM_GETSEL: {
        const ControlState& s = State(hwnd);
        const auto from = static_cast<unsigned>(std::min(s.caret, s.anchor)),
                   to = static_cast<unsigned>(std::max(s.caret, s.anchor));
        return static_cast<LRESULT>(MAKELPARAM(from, to));
    }
    case EM_SETSEL: {
        const std::size_t length = GetWindowText(hwnd).size();
        ControlState& s = State(hwnd);
        const auto start = static_cast<long long>(static_cast<std::intptr_t>(wParam));
        const long long end = lParam;
        // (0, -1) selects everything; -1 as the start removes the selection.
        if (start < 0) {
            s.anchor = s.caret;
        } else {
            s.anchor = std::min<std::size_t>(static_cast<std::size_t>(start), length);
            s.caret = end < 0 ? length : std::min<std::size_t>(static_cast<std::size_t>(end), length);
        }
        Redraw(hwnd);
        return 0;
    }
    case EM_LIMITTEXT:
        State(hwnd).limit = wParam ? wParam : 0x7FFFFFFE;
        return 0;
    case EM_SETREADONLY:
        SetWindowLongPtr(
            hwnd, GWL_STYLE, static_cast<LONG_PTR>(wParam ? (style | ES_READONLY) : (style & ~ES_READONLY)));
        Redraw(hwnd);
        return 1;
    case WM_CHAR: {
        if (style & ES_READONLY)
            return 0;
        const auto c = static_cast<wchar_t>(wParam);
        if (c == L'\b') {
            ControlState& s = State(hwnd);
            if (s.caret == s.anchor && s.caret > 0)
                s.anchor = s.caret - 1;
            EditReplaceSelection(hwnd, L"");
            return 0;
        }
        if (c < 0x20)
            return 0;
        if ((style & ES_NUMBER) && (c < L'0' || c > L'9'))
            return 0;
        EditReplaceSelection(hwnd, std::wstring(1, c));
        return 0;
    }
    case WM_KEYDOWN: {
        const std::size_t length = GetWindowText(hwnd).size();
        ControlState& s = State(hwnd);
        const bool extend = GetKeyState(VK_SHIFT) & 0x8000;
        switch (wParam) {
        case VK_LEFT:
            s.caret = s.caret > 0 ? s.caret - 1 : 0;
            break;
        case VK_RIGHT:
            s.caret = std::min(length, s.caret + 1);
            break;
        case VK_HOME:
            s.caret = 0;
            break;
        case VK_END:
            s.caret = length;
            break;
        case VK_DELETE:
            if (style & ES_READONLY)
                return 0;
            if (s.caret == s.anchor && s.caret < length)
                s.anchor = s.caret + 1;
            EditReplaceSelection(hwnd, L"");
            return 0;
        default:
            return 0;
        }
        if (!extend)
            s.anchor = s.caret;
        Redraw(hwnd);
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        const bool enabled = IsWindowEnabled(hwnd) && !(style & ES_READONLY);
        dc.FillSolidRect(r, GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
        DrawEdge(dc, r, EDGE_SUNKEN);
        std::wstring text = GetWindowText(hwnd);
        if (style & ES_PASSWORD)
            text.assign(text.size(), L'\x25CF');
        dc.SelectFont(ControlFont(hwnd));
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        Rect inner = r.Inflate(-3, -2);
        const UINT align = (style & ES_CENTER) ? DT_CENTER : (style & ES_RIGHT) ? DT_RIGHT : DT_LEFT;
        const ControlState s = State(hwnd);
        dc.DrawText(text, inner, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        if (GetFocus() == hwnd && s.caret != s.anchor) {
            // The selection: highlight colours, the same text drawn again inside it.
            const std::size_t from = std::min(s.caret, s.anchor), to = std::max(s.caret, s.anchor);
            const int x0 = inner.left + dc.GetTextExtent(text.substr(0, from)).cx;
            const int x1 = inner.left + dc.GetTextExtent(text.substr(0, to)).cx;
            const Rect selection { x0, inner.top, x1, inner.bottom };
            const int saved = dc.SaveDC();
            dc.IntersectClipRect(selection);
            dc.FillSolidRect(selection, GetSysColor(COLOR_HIGHLIGHT));
            dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
            dc.DrawText(text, inner, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
            dc.RestoreDC(saved);
        }
        if (GetFocus() == hwnd) {
            const int x = inner.left + dc.GetTextExtent(text.substr(0, std::min(s.caret, text.size()))).cx;
            dc.FillSolidRect({ x, inner.top + 1, x + 1, inner.bottom - 1 }, GetSysColor(COLOR_WINDOWTEXT));
        }
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// ---- Lists: combo box (drop-down list) and list box -------------------------------------------------

LRESULT ListMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool combo, bool& handled)
{
    handled = true;
    ControlState& s = State(hwnd);
    const LRESULT err = combo ? CB_ERR : LB_ERR;
    auto valid = [&](WPARAM i) { return i < s.items.size(); };
    auto is = [&](UINT cb, UINT lb) { return message == (combo ? cb : lb); };
    if (is(CB_ADDSTRING, LB_ADDSTRING)) {
        s.items.push_back(
            { reinterpret_cast<const wchar_t*>(lParam) ? reinterpret_cast<const wchar_t*>(lParam) : L"", 0 });
        Redraw(hwnd);
        return static_cast<LRESULT>(s.items.size() - 1);
    }
    if (is(CB_INSERTSTRING, LB_INSERTSTRING)) {
        const auto at = static_cast<std::intptr_t>(wParam);
        if (at > static_cast<std::intptr_t>(s.items.size()))
            return err;
        const std::size_t index = at < 0 ? s.items.size() : static_cast<std::size_t>(at);
        s.items.insert(s.items.begin() + static_cast<long>(index), { reinterpret_cast<const wchar_t*>(lParam), 0 });
        if (s.current >= static_cast<int>(index))
            ++s.current;
        Redraw(hwnd);
        return static_cast<LRESULT>(index);
    }
    if (is(CB_DELETESTRING, LB_DELETESTRING)) {
        if (!valid(wParam))
            return err;
        s.items.erase(s.items.begin() + static_cast<long>(wParam));
        if (s.current == static_cast<int>(wParam))
            s.current = -1;
        else if (s.current > static_cast<int>(wParam))
            --s.current;
        Redraw(hwnd);
        return static_cast<LRESULT>(s.items.size());
    }
    if (is(CB_RESETCONTENT, LB_RESETCONTENT)) {
        s.items.clear();
        s.current = -1;
        s.top = 0;
        Redraw(hwnd);
        return 0;
    }
    if (is(CB_GETCOUNT, LB_GETCOUNT))
        return static_cast<LRESULT>(s.items.size());
    if (is(CB_GETCURSEL, LB_GETCURSEL))
        return s.current < 0 ? err : s.current;
    if (is(CB_SETCURSEL, LB_SETCURSEL)) {
        const auto index = static_cast<std::intptr_t>(wParam);
        s.current = valid(wParam) ? static_cast<int>(index) : -1;
        Redraw(hwnd);
        return valid(wParam) ? s.current : err;
    }
    if (is(CB_GETLBTEXT, LB_GETTEXT)) {
        if (!valid(wParam))
            return err;
        const std::wstring& text = s.items[wParam].text;
        if (lParam)
            std::copy(text.c_str(), text.c_str() + text.size() + 1, reinterpret_cast<wchar_t*>(lParam));
        return static_cast<LRESULT>(text.size());
    }
    if (is(CB_GETLBTEXTLEN, LB_GETTEXTLEN))
        return valid(wParam) ? static_cast<LRESULT>(s.items[wParam].text.size()) : err;
    if (is(CB_GETITEMDATA, LB_GETITEMDATA))
        return valid(wParam) ? s.items[wParam].data : err;
    if (is(CB_SETITEMDATA, LB_SETITEMDATA)) {
        if (!valid(wParam))
            return err;
        s.items[wParam].data = lParam;
        return 0;
    }
    if (combo && message == CB_FINDSTRINGEXACT) {
        const std::wstring wanted = reinterpret_cast<const wchar_t*>(lParam);
        const auto start = static_cast<std::intptr_t>(wParam);
        for (std::size_t k = 0; k < s.items.size(); ++k) {
            const std::size_t i = (static_cast<std::size_t>(start + 1) + k) % s.items.size();
            if (s.items[i].text == wanted)
                return static_cast<LRESULT>(i);
        }
        return err;
    }
    handled = false;
    return 0;
}

void SelectByUser(HWND hwnd, int index, bool combo)
{
    ControlState& s = State(hwnd);
    if (index < 0 || index >= static_cast<int>(s.items.size()) || index == s.current)
        return;
    s.current = index;
    Redraw(hwnd);
    NotifyParent(hwnd, combo ? CBN_SELCHANGE : LBN_SELCHANGE);
}

int ItemHeight(HWND hwnd)
{
    DC dc(nullptr);
    dc.SelectFont(ControlFont(hwnd));
    return dc.GetTextMetrics().height + 2;
}

// What the combo box and the list box handle alike: the list messages, focus and the arrow keys.
bool ListCommon(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool combo, LRESULT& result)
{
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return true;
    bool handled = false;
    result = ListMessage(hwnd, message, wParam, lParam, combo, handled);
    if (handled)
        return true;
    result = 0;
    switch (message) {
    case WM_GETDLGCODE:
        result = DLGC_WANTARROWS;
        return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Redraw(hwnd);
        return true;
    case WM_KEYDOWN:
        if (wParam == VK_UP || wParam == VK_DOWN)
            SelectByUser(hwnd, std::max(0, State(hwnd).current + (wParam == VK_UP ? -1 : 1)), combo);
        return true;
    default:
        return false;
    }
}

LRESULT ComboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ListCommon(hwnd, message, wParam, lParam, true, result))
        return result;
    switch (message) {
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        // The drop-down list is a popup menu of the items.
        HMENU list = CreatePopupMenu();
        const ControlState s = State(hwnd);
        for (std::size_t i = 0; i < s.items.size(); ++i)
            AppendMenu(list, MF_STRING | (static_cast<int>(i) == s.current ? MF_CHECKED : 0), i + 1, s.items[i].text);
        Rect r;
        GetWindowRect(hwnd, &r);
        const UINT chosen = TrackPopupMenuEx(list, TPM_RETURNCMD | TPM_NONOTIFY, r.left, r.bottom, hwnd, &r);
        DestroyMenu(list);
        if (chosen)
            SelectByUser(hwnd, static_cast<int>(chosen) - 1, true);
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        const bool enabled = IsWindowEnabled(hwnd);
        dc.FillSolidRect(r, GetSysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
        DrawEdge(dc, r, EDGE_SUNKEN);
        const int arrow = std::min(r.Height(), 17);
        const Rect button { r.right - arrow - 2, r.top + 2, r.right - 2, r.bottom - 2 };
        theme::PaintButton(
            dc, button, enabled ? theme::ButtonState::Normal : theme::ButtonState::Disabled, L"", ControlFont(hwnd));
        const Point c { (button.left + button.right) / 2, (button.top + button.bottom) / 2 };
        dc.SelectPen(Pen::Null());
        dc.SelectBrush(Brush::Solid(GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT)));
        const Point tri[] = { { c.x - 4, c.y - 2 }, { c.x + 4, c.y - 2 }, { c.x, c.y + 2 } };
        dc.Polygon(tri);
        const ControlState s = State(hwnd);
        Rect text { r.left + 3, r.top + 2, button.left - 1, r.bottom - 2 };
        if (GetFocus() == hwnd)
            dc.FillSolidRect(text, GetSysColor(COLOR_HIGHLIGHT));
        if (s.current >= 0 && s.current < static_cast<int>(s.items.size())) {
            dc.SelectFont(ControlFont(hwnd));
            dc.SetBkMode(TRANSPARENT);
            dc.SetTextColor(GetSysColor(!enabled ? COLOR_GRAYTEXT
                    : GetFocus() == hwnd         ? COLOR_HIGHLIGHTTEXT
                                                 : COLOR_WINDOWTEXT));
            Rect t = text.Inflate(-1, 0);
            dc.DrawText(s.items[std::size_t(s.current)].text, t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

LRESULT ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ListCommon(hwnd, message, wParam, lParam, false, result))
        return result;
    switch (message) {
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        const int y = static_cast<short>(HIWORD(static_cast<WPARAM>(lParam)));
        SelectByUser(hwnd, State(hwnd).top + (y - 1) / ItemHeight(hwnd), false);
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        dc.FillSolidRect(r, GetSysColor(COLOR_WINDOW));
        const ControlState s = State(hwnd);
        dc.SelectFont(ControlFont(hwnd));
        dc.SetBkMode(TRANSPARENT);
        const int h = ItemHeight(hwnd);
        for (int i = s.top; i < static_cast<int>(s.items.size()); ++i) {
            Rect row { r.left + 1, r.top + 1 + (i - s.top) * h, r.right - 1, r.top + 1 + (i - s.top + 1) * h };
            if (row.top >= r.bottom)
                break;
            const bool selected = i == s.current;
            if (selected)
                dc.FillSolidRect(row, GetSysColor(COLOR_HIGHLIGHT));
            dc.SetTextColor(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
            Rect t = row.Inflate(-2, 0);
            dc.DrawText(s.items[std::size_t(i)].text, t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        DrawEdge(dc, r, EDGE_SUNKEN);
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// ---- Scroll bar, slider, up-down ----------------------------------------------------------------

constexpr DWORD SBS_VERT = 0x1, TBS_VERT = 0x2;

void SendScroll(HWND hwnd, bool vertical, WPARAM code)
{
    if (HWND parent = GetParent(hwnd))
        SendMessage(parent, vertical ? WM_VSCROLL : WM_HSCROLL, code, reinterpret_cast<LPARAM>(hwnd));
}

// Where the parts of a scroll bar control lie along it: the arrows at both ends, the track
// between them and the thumb in the track (none when there is nothing to scroll).
struct ScrollBarParts {
    int length = 0, arrow = 0;
    int track = 0; // between the arrows
    int thumbStart = 0, thumbSize = 0; // along the bar; size 0: no thumb
    long long positions = 0; // thumb positions after the first
};

ScrollBarParts PartsOf(HWND hwnd, bool vertical, const SCROLLINFO& info, int position)
{
    ScrollBarParts p;
    const Rect r = Client(hwnd);
    p.length = vertical ? r.Height() : r.Width();
    p.arrow = std::min(vertical ? r.Width() : r.Height(), p.length / 2);
    p.track = std::max(0, p.length - 2 * p.arrow);
    const long long range = static_cast<long long>(info.nMax) - info.nMin + 1;
    if (range <= 0 || p.track <= 8 || (info.nPage && info.nPage >= range))
        return p;
    p.thumbSize = std::min<int>(
        p.track, info.nPage ? std::max<long long>(8, p.track * static_cast<long long>(info.nPage) / range) : 8);
    p.positions = range - std::max<long long>(static_cast<long long>(info.nPage) - 1, 0) - 1;
    const int room = p.track - p.thumbSize;
    p.thumbStart = p.arrow
        + (p.positions > 0
                ? static_cast<int>(room * std::clamp<long long>(position - info.nMin, 0, p.positions) / p.positions)
                : 0);
    return p;
}

// The position that puts the thumb's start at `thumbStart` (along the bar).
int PositionOfThumb(const ScrollBarParts& p, const SCROLLINFO& info, int thumbStart)
{
    const int room = p.track - p.thumbSize;
    if (room <= 0 || p.positions <= 0)
        return info.nMin;
    const int offset = std::clamp(thumbStart - p.arrow, 0, room);
    return static_cast<int>(info.nMin + (offset * p.positions + room / 2) / room);
}

SCROLLINFO ControlScrollInfo(HWND hwnd)
{
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    GetScrollInfo(hwnd, SB_CTL, &info);
    return info;
}

void SetTrackPosition(HWND hwnd, int position)
{
    std::lock_guard lock(gStateMutex);
    gScroll[{ hwnd, SB_CTL }].nTrackPos = position;
}

LRESULT ScrollBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    const bool vertical = Style(hwnd) & SBS_VERT;
    const auto along = [&] {
        return vertical ? static_cast<short>(HIWORD(static_cast<WPARAM>(lParam)))
                        : static_cast<short>(LOWORD(static_cast<WPARAM>(lParam)));
    };
    switch (message) {
    case SBM_SETSCROLLINFO:
        return lParam ? SetScrollInfo(hwnd, SB_CTL, *reinterpret_cast<const SCROLLINFO*>(lParam), wParam != 0) : 0;
    case SBM_GETSCROLLINFO:
        return GetScrollInfo(hwnd, SB_CTL, reinterpret_cast<SCROLLINFO*>(lParam));
    case WM_LBUTTONDOWN: {
        const SCROLLINFO info = ControlScrollInfo(hwnd);
        const ScrollBarParts p = PartsOf(hwnd, vertical, info, info.nPos);
        const int at = along();
        if (p.thumbSize > 0 && at >= p.thumbStart && at < p.thumbStart + p.thumbSize) {
            // A press on the thumb drags it: the owner follows with thumb-track codes and gets
            // the thumb's place when the button comes up. The position travels in the track
            // position of the scroll information (the message's 16 bits may not hold it).
            ControlState& s = State(hwnd);
            s.tracking = true;
            s.grab = at - p.thumbStart;
            SetTrackPosition(hwnd, info.nPos);
            SetCapture(hwnd);
            Redraw(hwnd);
            return 0;
        }
        const WPARAM code = at < p.arrow ? SB_LINEUP
            : at >= p.length - p.arrow   ? SB_LINEDOWN
            : p.thumbSize == 0           ? SB_ENDSCROLL
            : at < p.thumbStart          ? SB_PAGEUP
                                         : SB_PAGEDOWN;
        if (code != SB_ENDSCROLL)
            SendScroll(hwnd, vertical, code);
        SendScroll(hwnd, vertical, SB_ENDSCROLL);
        return 0;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
        ControlState& s = State(hwnd);
        if (!s.tracking)
            return 0;
        const SCROLLINFO info = ControlScrollInfo(hwnd);
        const ScrollBarParts p = PartsOf(hwnd, vertical, info, info.nTrackPos);
        const int position = PositionOfThumb(p, info, along() - s.grab);
        SetTrackPosition(hwnd, position);
        const auto code = message == WM_MOUSEMOVE ? SB_THUMBTRACK : SB_THUMBPOSITION;
        if (message == WM_LBUTTONUP) {
            s.tracking = false;
            if (GetCapture() == hwnd)
                ReleaseCapture();
        }
        if (message == WM_LBUTTONUP || position != info.nTrackPos) {
            SendScroll(hwnd, vertical, MAKEWPARAM(code, static_cast<unsigned>(position) & 0xFFFF));
            Redraw(hwnd);
        }
        if (message == WM_LBUTTONUP)
            SendScroll(hwnd, vertical, SB_ENDSCROLL);
        return 0;
    }
    case WM_CAPTURECHANGED: {
        // Capture taken away mid-drag: the thumb stays where it was dragged to.
        ControlState& s = State(hwnd);
        if (s.tracking && reinterpret_cast<HWND>(lParam) != hwnd) {
            s.tracking = false;
            const SCROLLINFO info = ControlScrollInfo(hwnd);
            SendScroll(hwnd, vertical, MAKEWPARAM(SB_THUMBPOSITION, static_cast<unsigned>(info.nTrackPos) & 0xFFFF));
            SendScroll(hwnd, vertical, SB_ENDSCROLL);
            Redraw(hwnd);
        }
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        dc.FillRect(r, Brush::Solid(GetSysColor(COLOR_SCROLLBAR)));
        const SCROLLINFO info = ControlScrollInfo(hwnd);
        const bool tracking = State(hwnd).tracking;
        const ScrollBarParts p = PartsOf(hwnd, vertical, info, tracking ? info.nTrackPos : info.nPos);
        const int thick = vertical ? r.Width() : r.Height();
        const auto span = [&](int from, int to) {
            return vertical ? Rect { 0, from, thick, to } : Rect { from, 0, to, thick };
        };
        const bool enabled = IsWindowEnabled(hwnd);
        theme::PaintScrollArrow(dc, span(0, p.arrow), vertical ? 0 : 2, enabled);
        theme::PaintScrollArrow(dc, span(p.length - p.arrow, p.length), vertical ? 1 : 3, enabled);
        if (enabled && p.thumbSize > 0)
            theme::PaintButton(dc, span(p.thumbStart, p.thumbStart + p.thumbSize),
                tracking ? theme::ButtonState::Pressed : theme::ButtonState::Normal, L"", ControlFont(hwnd));
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

void SliderMove(HWND hwnd, int pos, WPARAM code)
{
    ControlState& s = State(hwnd);
    const int clamped = std::clamp(pos, s.min, std::max(s.min, s.max));
    const bool vertical = Style(hwnd) & TBS_VERT;
    if (clamped != s.pos) {
        s.pos = clamped;
        Redraw(hwnd);
    }
    SendScroll(
        hwnd, vertical, code == TB_THUMBPOSITION ? MAKEWPARAM(TB_THUMBPOSITION, static_cast<unsigned>(clamped)) : code);
    SendScroll(hwnd, vertical, TB_ENDTRACK);
}

LRESULT SliderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    ControlState& s = State(hwnd);
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case TBM_GETPOS:
        return s.pos;
    case TBM_GETRANGEMIN:
        return s.min;
    case TBM_GETRANGEMAX:
        return s.max;
    case TBM_SETPOS:
        s.pos = std::clamp(static_cast<int>(lParam), s.min, std::max(s.min, s.max));
        if (wParam)
            Redraw(hwnd);
        return 0;
    case TBM_SETRANGE:
        s.min = static_cast<short>(LOWORD(static_cast<WPARAM>(lParam)));
        s.max = static_cast<short>(HIWORD(static_cast<WPARAM>(lParam)));
        s.pos = std::clamp(s.pos, s.min, std::max(s.min, s.max));
        if (wParam)
            Redraw(hwnd);
        return 0;
    case TBM_SETRANGEMIN:
        s.min = static_cast<int>(lParam);
        s.pos = std::max(s.pos, s.min);
        return 0;
    case TBM_SETRANGEMAX:
        s.max = static_cast<int>(lParam);
        s.pos = std::min(s.pos, s.max);
        return 0;
    case TBM_SETPAGESIZE:
        s.page = static_cast<int>(lParam);
        return 0;
    case TBM_SETLINESIZE:
        s.line = static_cast<int>(lParam);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Redraw(hwnd);
        return 0;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_LEFT:
        case VK_UP:
            SliderMove(hwnd, s.pos - s.line, TB_LINEUP);
            break;
        case VK_RIGHT:
        case VK_DOWN:
            SliderMove(hwnd, s.pos + s.line, TB_LINEDOWN);
            break;
        case VK_PRIOR:
            SliderMove(hwnd, s.pos - s.page, TB_PAGEUP);
            break;
        case VK_NEXT:
            SliderMove(hwnd, s.pos + s.page, TB_PAGEDOWN);
            break;
        case VK_HOME:
            SliderMove(hwnd, s.min, TB_THUMBPOSITION);
            break;
        case VK_END:
            SliderMove(hwnd, s.max, TB_THUMBPOSITION);
            break;
        default:
            break;
        }
        return 0;
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        const Rect r = Client(hwnd).Inflate(-6, 0);
        const int x = static_cast<short>(LOWORD(static_cast<WPARAM>(lParam)));
        const int pos = r.Width() > 0 ? s.min + MulDiv(x - r.left, s.max - s.min, r.Width()) : s.min;
        SliderMove(hwnd, pos, TB_THUMBPOSITION);
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
        const int mid = (r.top + r.bottom) / 2;
        DrawEdge(dc, { r.left + 6, mid - 2, r.right - 6, mid + 2 }, EDGE_SUNKEN);
        const int span = std::max(1, s.max - s.min);
        const int x = r.left + 6 + MulDiv(s.pos - s.min, r.Width() - 12, span);
        theme::PaintButton(dc, { x - 5, r.top + 2, x + 6, r.bottom - 2 },
            IsWindowEnabled(hwnd) ? theme::ButtonState::Normal : theme::ButtonState::Disabled, L"", ControlFont(hwnd));
        if (GetFocus() == hwnd)
            dc.DrawFocusRect(r);
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

void UpDownStep(HWND hwnd, int delta)
{
    // The owner hears of the step first and may take it over.
    if (HWND parent = GetParent(hwnd)) {
        NMUPDOWN change;
        change.hdr = { hwnd, static_cast<UINT_PTR>(GetDlgCtrlID(hwnd)), UDN_DELTAPOS };
        change.iPos = State(hwnd).pos;
        change.iDelta = delta;
        if (SendMessage(parent, WM_NOTIFY, change.hdr.idFrom, reinterpret_cast<LPARAM>(&change)) != 0)
            return;
    }
    ControlState& s = State(hwnd);
    const int low = std::min(s.min, s.max), high = std::max(s.min, s.max);
    const int pos = std::clamp(s.pos + delta, low, high);
    if (pos == s.pos)
        return;
    s.pos = pos;
    if (s.buddy && (Style(hwnd) & UDS_SETBUDDYINT))
        SetWindowText(s.buddy, std::to_wstring(pos));
    SendScroll(hwnd, true, MAKEWPARAM(SB_THUMBPOSITION, static_cast<unsigned>(pos)));
    SendScroll(hwnd, true, SB_ENDSCROLL);
}

LRESULT UpDownProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    ControlState& s = State(hwnd);
    switch (message) {
    case UDM_SETRANGE32:
        s.min = static_cast<int>(static_cast<std::intptr_t>(wParam));
        s.max = static_cast<int>(lParam);
        return 0;
    case UDM_GETRANGE32:
        if (wParam)
            *reinterpret_cast<int*>(wParam) = s.min;
        if (lParam)
            *reinterpret_cast<int*>(lParam) = s.max;
        return 0;
    case UDM_SETPOS32: {
        const int previous = s.pos;
        s.pos = std::clamp(static_cast<int>(lParam), std::min(s.min, s.max), std::max(s.min, s.max));
        if (s.buddy && (Style(hwnd) & UDS_SETBUDDYINT))
            SetWindowText(s.buddy, std::to_wstring(s.pos));
        return previous;
    }
    case UDM_GETPOS32:
        return s.pos;
    case UDM_SETBUDDY:
        return reinterpret_cast<LRESULT>(std::exchange(s.buddy, reinterpret_cast<HWND>(wParam)));
    case UDM_GETBUDDY:
        return reinterpret_cast<LRESULT>(s.buddy);
    case WM_KEYDOWN:
        if (wParam == VK_UP || wParam == VK_DOWN)
            UpDownStep(hwnd, wParam == VK_UP ? 1 : -1);
        return 0;
    case WM_LBUTTONDOWN: {
        const int y = static_cast<short>(HIWORD(static_cast<WPARAM>(lParam)));
        UpDownStep(hwnd, y < Client(hwnd).Height() / 2 ? 1 : -1);
        return 0;
    }
    case WM_PAINT: {
        PaintDC dc(hwnd);
        const Rect r = Client(hwnd);
        const int half = r.Height() / 2;
        theme::PaintButton(
            dc, { r.left, r.top, r.right, r.top + half }, theme::ButtonState::Normal, L"", ControlFont(hwnd));
        theme::PaintButton(
            dc, { r.left, r.top + half, r.right, r.bottom }, theme::ButtonState::Normal, L"", ControlFont(hwnd));
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

LRESULT TooltipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (CommonMessage(hwnd, message, wParam, lParam, result))
        return result;
    if (TooltipToolMessage(hwnd, message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_NCDESTROY:
        ForgetTooltipTools(hwnd);
        return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_MOUSEACTIVATE:
        return 3; // MA_NOACTIVATE
    case WM_SETTEXT:
        result = DefWindowProc(hwnd, message, wParam, lParam);
        Redraw(hwnd);
        return result;
    case WM_PAINT: {
        PaintDC dc(hwnd);
        theme::PaintTooltip(dc, Client(hwnd), GetWindowText(hwnd), ControlFont(hwnd));
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

} // namespace

void InitCommonControls()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClass({ kButtonClass, CS_DBLCLKS, ButtonProc });
        RegisterClass({ kStaticClass, 0, StaticProc });
        RegisterClass({ kEditClass, CS_DBLCLKS, EditProc });
        RegisterClass({ kComboBoxClass, CS_DBLCLKS, ComboProc });
        RegisterClass({ kListBoxClass, CS_DBLCLKS, ListBoxProc });
        RegisterClass({ kScrollBarClass, CS_DBLCLKS, ScrollBarProc });
        RegisterClass({ kSliderClass, 0, SliderProc });
        RegisterClass({ kUpDownClass, 0, UpDownProc });
        RegisterClass({ kTooltipClass, 0, TooltipProc });
    });
}

Font ControlFont(HWND hwnd)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessage(hwnd, WM_GETFONT, 0, 0));
    if (font)
        return *font;
    Font f;
    f.face = L"Segoe UI";
    f.height = -12;
    return f;
}

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO& in, bool redraw)
{
    if (!IsWindow(hwnd))
        return 0;
    SCROLLINFO info;
    {
        std::lock_guard lock(gStateMutex);
        SCROLLINFO& s = gScroll[{ hwnd, bar }];
        if (in.fMask & SIF_RANGE) {
            s.nMin = in.nMin;
            s.nMax = in.nMax;
        }
        if (in.fMask & SIF_PAGE)
            s.nPage = in.nPage;
        if (in.fMask & SIF_POS)
            s.nPos = in.nPos;
        // The clamping of the original platform: the page fits the range, the position keeps the
        // page inside it.
        const long long range = static_cast<long long>(s.nMax) - s.nMin + 1;
        if (range <= 0)
            s.nPage = 0;
        else if (s.nPage > range)
            s.nPage = static_cast<UINT>(range);
        const long long highest
            = static_cast<long long>(s.nMax) - std::max<long long>(static_cast<long long>(s.nPage) - 1, 0);
        s.nPos = static_cast<int>(std::clamp<long long>(s.nPos, s.nMin, std::max<long long>(s.nMin, highest)));
        info = s;
    }
    if (redraw)
        InvalidateRect(hwnd, nullptr, true);
    if (redraw && bar != SB_CTL && IsWindowVisible(hwnd))
        SendMessage(hwnd, WM_NCPAINT, 1, 0); // the frame's bar
    return info.nPos;
}

bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info)
{
    if (!info || !IsWindow(hwnd))
        return false;
    std::lock_guard lock(gStateMutex);
    auto it = gScroll.find({ hwnd, bar });
    const SCROLLINFO s = it == gScroll.end() ? SCROLLINFO {} : it->second;
    if (info->fMask & SIF_RANGE) {
        info->nMin = s.nMin;
        info->nMax = s.nMax;
    }
    if (info->fMask & SIF_PAGE)
        info->nPage = s.nPage;
    if (info->fMask & SIF_POS)
        info->nPos = s.nPos;
    if (info->fMask & SIF_TRACKPOS)
        info->nTrackPos = s.nTrackPos;
    return it != gScroll.end();
}

int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw)
{
    const int previous = GetScrollPos(hwnd, bar);
    SCROLLINFO info;
    info.fMask = SIF_POS;
    info.nPos = pos;
    SetScrollInfo(hwnd, bar, info, redraw);
    return previous;
}

int GetScrollPos(HWND hwnd, int bar)
{
    SCROLLINFO info;
    info.fMask = SIF_POS;
    GetScrollInfo(hwnd, bar, &info);
    return info.nPos;
}

// ---- Theme ------------------------------------------------------------------------------------------

bool DrawEdge(DC& dc, const Rect& r, UINT edge, UINT)
{
    if (r.IsEmpty())
        return true;
    const Colour light = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW),
                 dark = GetSysColor(COLOR_3DDKSHADOW), face = GetSysColor(COLOR_3DLIGHT);
    auto frame = [&](const Rect& f, Colour topLeft, Colour bottomRight) {
        dc.FillSolidRect({ f.left, f.top, f.right, f.top + 1 }, topLeft);
        dc.FillSolidRect({ f.left, f.top, f.left + 1, f.bottom }, topLeft);
        dc.FillSolidRect({ f.left, f.bottom - 1, f.right, f.bottom }, bottomRight);
        dc.FillSolidRect({ f.right - 1, f.top, f.right, f.bottom }, bottomRight);
    };
    switch (edge) {
    case EDGE_RAISED:
        frame(r, face, dark);
        frame(r.Inflate(-1, -1), light, shadow);
        break;
    case EDGE_SUNKEN:
        frame(r, shadow, light);
        frame(r.Inflate(-1, -1), dark, face);
        break;
    default: // etched
        frame(r, shadow, light);
        frame(r.Inflate(-1, -1), light, shadow);
        break;
    }
    return true;
}

bool DrawFrameControl(DC& dc, const Rect& r, UINT type, UINT state)
{
    if (r.IsEmpty() || (type != DFC_BUTTON && !(type == DFC_CAPTION && (state & 0xF) == DFCS_CAPTIONCLOSE)))
        return false;
    if (type == DFC_CAPTION) {
        // The cross of a close button; a flat button has a frame only while hot or pushed.
        const bool pushed = state & DFCS_PUSHED;
        if (!(state & DFCS_FLAT) || (state & (DFCS_HOT | DFCS_PUSHED))) {
            dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
            DrawEdge(dc, r, pushed ? EDGE_SUNKEN : EDGE_RAISED);
        }
        const int inset = std::max(3, r.Width() / 4), shift = pushed ? 1 : 0;
        const Rect c { r.left + inset + shift, r.top + inset + shift, r.right - inset + shift,
            r.bottom - inset + shift };
        Pen pen = Pen::Solid(GetSysColor((state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_BTNTEXT), 2);
        pen.geometric = true;
        pen.cap = PS_ENDCAP_FLAT;
        dc.SelectPen(pen);
        const Point down[] = { { c.left, c.top }, { c.right, c.bottom } };
        const Point up[] = { { c.left, c.bottom }, { c.right, c.top } };
        dc.Polyline(down);
        dc.Polyline(up);
        return true;
    }
    const bool inactive = state & DFCS_INACTIVE;
    if (state & DFCS_BUTTONPUSH) {
        theme::PaintButton(dc, r,
            inactive                    ? theme::ButtonState::Disabled
                : (state & DFCS_PUSHED) ? theme::ButtonState::Pressed
                                        : theme::ButtonState::Normal,
            L"", Font {});
        return true;
    }
    const Colour back = GetSysColor(inactive || (state & DFCS_PUSHED) ? COLOR_BTNFACE : COLOR_WINDOW);
    const Colour ink = GetSysColor(inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT);
    if ((state & 0xF) == DFCS_BUTTONRADIO) {
        dc.SelectPen(Pen::Solid(GetSysColor(COLOR_BTNSHADOW)));
        dc.SelectBrush(Brush::Solid(back));
        dc.Ellipse(r);
        if (state & DFCS_CHECKED) {
            dc.SelectPen(Pen::Null());
            dc.SelectBrush(Brush::Solid(ink));
            dc.Ellipse(r.Inflate(-r.Width() / 3, -r.Height() / 3));
        }
        return true;
    }
    dc.FillSolidRect(r, back);
    DrawEdge(dc, r, EDGE_SUNKEN);
    if (state & DFCS_CHECKED) {
        dc.SelectPen(Pen::Solid(ink, 2));
        const Point tick[] = { { r.left + 3, r.top + r.Height() / 2 }, { r.left + r.Width() / 2 - 1, r.bottom - 4 },
            { r.right - 3, r.top + 3 } };
        Pen pen = Pen::Solid(ink, 2);
        pen.geometric = true;
        dc.SelectPen(pen);
        dc.Polyline(tick);
    }
    return true;
}

namespace theme {

void PaintButton(DC& dc, const Rect& r, ButtonState state, const std::wstring& text, const Font& font)
{
    if (r.IsEmpty())
        return;
    dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
    Rect face = r;
    if (state == ButtonState::Default) {
        dc.FrameRect(r, Brush::Solid(GetSysColor(COLOR_WINDOWFRAME)));
        face = r.Inflate(-1, -1);
    }
    DrawEdge(dc, face, state == ButtonState::Pressed || state == ButtonState::Checked ? EDGE_SUNKEN : EDGE_RAISED);
    if (!text.empty()) {
        Rect label = face.Inflate(-3, -3);
        if (state == ButtonState::Pressed)
            label = label.Offset(1, 1);
        PaintText(dc, label, text, font, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
            state == ButtonState::Disabled ? "disabled" : "label");
    }
}

void PaintScrollArrow(DC& dc, const Rect& r, int direction, bool enabled)
{
    if (r.IsEmpty())
        return;
    PaintButton(dc, r, enabled ? ButtonState::Normal : ButtonState::Disabled, L"", Font {});
    const Point c { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
    const int s = std::max(2, std::min(r.Width(), r.Height()) / 4);
    Point p[3];
    switch (direction) {
    case 0:
        p[0] = { c.x - s, c.y + s / 2 }, p[1] = { c.x + s, c.y + s / 2 }, p[2] = { c.x, c.y - s / 2 - 1 };
        break;
    case 1:
        p[0] = { c.x - s, c.y - s / 2 }, p[1] = { c.x + s, c.y - s / 2 }, p[2] = { c.x, c.y + s / 2 + 1 };
        break;
    case 2:
        p[0] = { c.x + s / 2, c.y - s }, p[1] = { c.x + s / 2, c.y + s }, p[2] = { c.x - s / 2 - 1, c.y };
        break;
    default:
        p[0] = { c.x - s / 2, c.y - s }, p[1] = { c.x - s / 2, c.y + s }, p[2] = { c.x + s / 2 + 1, c.y };
        break;
    }
    dc.SelectPen(Pen::Null());
    dc.SelectBrush(Brush::Solid(GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT)));
    dc.Polygon(p);
}

void PaintToolbarButton(DC& dc, const Rect& r, ButtonState state)
{
    if (r.IsEmpty())
        return;
    switch (state) {
    case ButtonState::Hot:
        DrawEdge(dc, r, EDGE_RAISED);
        break;
    case ButtonState::Pressed:
    case ButtonState::Checked:
        DrawEdge(dc, r, EDGE_SUNKEN);
        break;
    default:
        break;
    }
}

void PaintToolbarBackground(DC& dc, const Rect& r)
{
    dc.FillSolidRect(r, GetSysColor(COLOR_BTNFACE));
    dc.FillSolidRect({ r.left, r.bottom - 1, r.right, r.bottom }, GetSysColor(COLOR_BTNSHADOW));
}

void PaintTooltip(DC& dc, const Rect& r, const std::wstring& text, const Font& font)
{
    if (r.IsEmpty())
        return;
    dc.FillSolidRect(r, GetSysColor(COLOR_INFOBK));
    dc.FrameRect(r, Brush::Solid(GetSysColor(COLOR_WINDOWFRAME)));
    Rect inner = r.Inflate(-3, -2);
    dc.SelectFont(font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor(COLOR_INFOTEXT));
    dc.DrawText(text, inner, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}

void PaintText(DC& dc, const Rect& r, const std::wstring& text, const Font& font, UINT format, const char* style)
{
    if (text.empty() || r.IsEmpty())
        return;
    const std::string s = style ? style : "label";
    Font f = font;
    if (s == "heading")
        f.weight = FW_BOLD;
    dc.SelectFont(f);
    dc.SetBkMode(TRANSPARENT);
    Rect area = r;
    if (s == "disabled") {
        // Embossed: highlight offset by one pixel under the grey text.
        Rect under = area.Offset(1, 1);
        dc.SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
        dc.DrawText(text, under, format);
        dc.SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    } else {
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
    }
    dc.DrawText(text, area, format);
}

} // namespace theme

} // namespace vx::ui
