#include "ui/gtk/GtkBackend.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "log/Log.h"
#include "ui/Desktop.h"
#include "ui/EventLoop.h"
#include "ui/Input.h"
#include "ui/Menu.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Window.h"
#include "ui/gtk/GtkFileChooser.h"
#include "ui/gtk/GtkPrinting.h"
#include "ui/gtk/GtkText.h"

namespace vx::ui {

namespace {

struct TopLevel {
    GtkWidget* window = nullptr;
    GtkWidget* box = nullptr;
    GtkWidget* menuBar = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* overlay = nullptr; // the drawing area, with embedded widgets over it
    bool sizing = false; // a size change that came from the window system itself
    bool menuShown = false; // the client area was moved below the menu bar
};

struct MenuItemLink {
    HWND owner;
    HMENU menu;
    UINT id;
};

std::map<HWND, TopLevel> gWindows;

// A widget of another layer shown over a child window (EmbedWidget). The widget sits in a clip
// container of its own (a GtkLayout, which has a window and so clips), placed over the part of
// the child window that its parents' client areas leave visible.
struct Embedded {
    GtkWidget* widget = nullptr; // referenced
    GtkWidget* clip = nullptr; // referenced
    HWND host = nullptr; // the top-level window whose overlay holds the clip
    GdkRectangle place {}; // the clip's area in the host's drawing area
};
std::map<HWND, Embedded> gEmbedded; // by the child window it is shown over
bool gLayoutQueued = false;
std::map<GtkWidget*, MenuItemLink> gItems; // menu item -> command
std::map<GtkWidget*, std::pair<HWND, HMENU>> gSubmenus; // submenu widget -> its menu

// "&File" becomes "_File"; "&&" a single "&"; a literal "_" is doubled; "\t" and what follows
// (the accelerator text) is dropped.
std::string MnemonicLabel(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\t')
            break;
        if (c == L'&' && i + 1 < text.size() && text[i + 1] == L'&') {
            out += L'&';
            ++i;
        } else if (c == L'&') {
            out += L'_';
        } else if (c == L'_') {
            out += L"__";
        } else {
            out += c;
        }
    }
    return Utf8(out);
}

std::wstring PlainLabel(const std::wstring& text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size() && text[i] != L'\t'; ++i)
        if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&' && (++i, true)))
            out += text[i];
    return out;
}

HWND WindowOf(GtkWidget* widget)
{
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    for (const auto& [hwnd, t] : gWindows)
        if (t.window == top)
            return hwnd;
    return nullptr;
}

// ---- Input --------------------------------------------------------------------------------------

WPARAM KeysOf(guint state)
{
    WPARAM keys = 0;
    if (state & GDK_BUTTON1_MASK)
        keys |= MK_LBUTTON;
    if (state & GDK_BUTTON3_MASK)
        keys |= MK_RBUTTON;
    if (state & GDK_SHIFT_MASK)
        keys |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK)
        keys |= MK_CONTROL;
    return keys;
}

int VirtualKey(guint keyval)
{
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return VK_RETURN;
    case GDK_KEY_Escape:
        return VK_ESCAPE;
    case GDK_KEY_BackSpace:
        return VK_BACK;
    case GDK_KEY_Delete:
        return VK_DELETE;
    case GDK_KEY_Left:
        return VK_LEFT;
    case GDK_KEY_Right:
        return VK_RIGHT;
    case GDK_KEY_Up:
        return VK_UP;
    case GDK_KEY_Down:
        return VK_DOWN;
    case GDK_KEY_Home:
        return VK_HOME;
    case GDK_KEY_End:
        return VK_END;
    case GDK_KEY_Page_Up:
        return VK_PRIOR;
    case GDK_KEY_Page_Down:
        return VK_NEXT;
    case GDK_KEY_space:
        return VK_SPACE;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
        return VK_SHIFT;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
        return VK_CONTROL;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
        return VK_MENU;
    default:
        break;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
        return VK_F1 + static_cast<int>(keyval - GDK_KEY_F1);
    const guint upper = gdk_keyval_to_upper(keyval);
    if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9'))
        return static_cast<int>(upper);
    return 0;
}

gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer)
{
    HWND hwnd = WindowOf(widget);
    if (!hwnd)
        return FALSE;
    // An embedded widget with the focus takes its own keys.
    if (GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(gtk_widget_get_toplevel(widget))))
        for (const auto& [anchor, e] : gEmbedded)
            if (focus == e.clip || gtk_widget_is_ancestor(focus, e.clip))
                return FALSE;
    // The menu bar's own keys (F10, Alt+letter) stay with GTK.
    if (event->type == GDK_KEY_PRESS && (event->state & GDK_MOD1_MASK))
        return FALSE;
    const int vk = VirtualKey(event->keyval);
    if (!GetFocus() && !GetActiveWindow())
        SetActiveWindow(hwnd);
    if (event->type == GDK_KEY_PRESS) {
        if (vk)
            InjectKey(WM_KEYDOWN, vk);
        const gunichar c = gdk_keyval_to_unicode(event->keyval);
        if (c >= 0x20 || c == '\b' || c == '\r' || c == 27 || c == '\t')
            InjectKey(WM_CHAR, 0, static_cast<wchar_t>(c));
    } else if (vk) {
        InjectKey(WM_KEYUP, vk);
    }
    return TRUE;
}

gboolean OnButton(GtkWidget* widget, GdkEventButton* event, gpointer)
{
    HWND hwnd = WindowOf(widget);
    if (!hwnd)
        return FALSE;
    const Point p { static_cast<int>(event->x), static_cast<int>(event->y) };
    const bool press = event->type == GDK_BUTTON_PRESS, twice = event->type == GDK_2BUTTON_PRESS;
    if (event->type == GDK_3BUTTON_PRESS)
        return TRUE;
    UINT message = 0;
    if (event->button == 1)
        message = twice ? WM_LBUTTONDBLCLK : press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    else if (event->button == 3)
        message = twice ? WM_RBUTTONDBLCLK : press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    else if (event->button == 2)
        message = press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    if (message)
        InjectMouse(hwnd, message, p, KeysOf(event->state));
    return TRUE;
}

gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer)
{
    if (HWND hwnd = WindowOf(widget))
        InjectMouse(
            hwnd, WM_MOUSEMOVE, { static_cast<int>(event->x), static_cast<int>(event->y) }, KeysOf(event->state));
    return TRUE;
}

gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer)
{
    HWND hwnd = WindowOf(widget);
    if (!hwnd || (event->direction != GDK_SCROLL_UP && event->direction != GDK_SCROLL_DOWN))
        return FALSE;
    HWND target = GetFocus() ? GetFocus() : hwnd;
    const int delta = event->direction == GDK_SCROLL_UP ? 120 : -120;
    Point screen { static_cast<int>(event->x), static_cast<int>(event->y) };
    ClientToScreen(hwnd, &screen);
    PostMessage(target, WM_MOUSEWHEEL,
        MAKEWPARAM(static_cast<unsigned>(KeysOf(event->state)), static_cast<unsigned>(delta) & 0xFFFF),
        MAKELPARAM(static_cast<unsigned>(screen.x) & 0xFFFF, static_cast<unsigned>(screen.y) & 0xFFFF));
    return TRUE;
}

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer)
{
    HWND hwnd = WindowOf(widget);
    BitmapPtr image = hwnd ? GetWindowImage(hwnd) : nullptr;
    if (!image)
        return FALSE;
    image->MarkDirty();
    cairo_set_source_surface(cr, image->Surface(), 0, 0);
    cairo_paint(cr);
    return TRUE;
}

void OnSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer)
{
    HWND hwnd = WindowOf(widget);
    if (!hwnd || gWindows[hwnd].sizing)
        return;
    Rect r;
    GetWindowRect(hwnd, &r);
    if (r.Width() == allocation->width && r.Height() == allocation->height)
        return;
    gWindows[hwnd].sizing = true;
    MoveWindow(hwnd, r.left, r.top, allocation->width, allocation->height, true);
    gWindows[hwnd].sizing = false;
    UpdateWindow(hwnd);
}

gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer)
{
    if (HWND hwnd = WindowOf(widget))
        PostMessage(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

gboolean OnFocusIn(GtkWidget* widget, GdkEvent*, gpointer)
{
    if (HWND hwnd = WindowOf(widget))
        if (GetActiveWindow() != hwnd)
            SetActiveWindow(hwnd);
    return FALSE;
}

// ---- Menus --------------------------------------------------------------------------------------

void ShowCheck(GtkWidget* item, bool checked);

void OnItemActivate(GtkMenuItem* item, gpointer)
{
    auto it = gItems.find(GTK_WIDGET(item));
    if (it == gItems.end())
        return;
    const MenuItemLink link = it->second;
    NotifyMenuCommand(link.owner, link.id);
    // GTK toggled the check mark; the menu shows the command's state.
    if (gItems.count(GTK_WIDGET(item))) {
        const int state = GetMenuState(link.menu, link.id, MF_BYCOMMAND);
        ShowCheck(GTK_WIDGET(item), state >= 0 && (state & MF_CHECKED));
    }
}

// Shows the item's check mark as the menu holds it. Setting a check item's state activates it
// in GTK: the item's command must not run for that.
void ShowCheck(GtkWidget* item, bool checked)
{
    if (!GTK_IS_CHECK_MENU_ITEM(item) || gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) == checked)
        return;
    g_signal_handlers_block_matched(item, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &gItems);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), checked);
    g_signal_handlers_unblock_matched(item, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &gItems);
}

void RefreshStates(GtkWidget* submenu)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(submenu));
    for (GList* c = children; c; c = c->next) {
        auto it = gItems.find(GTK_WIDGET(c->data));
        if (it == gItems.end())
            continue;
        const int state = GetMenuState(it->second.menu, it->second.id, MF_BYCOMMAND);
        gtk_widget_set_sensitive(GTK_WIDGET(c->data), state >= 0 && !(state & (MF_GRAYED | MF_DISABLED)));
        ShowCheck(GTK_WIDGET(c->data), state >= 0 && (state & MF_CHECKED));
        // A command enabler may have renamed the item.
        const std::string label = MnemonicLabel(GetMenuString(it->second.menu, it->second.id, MF_BYCOMMAND));
        if (state >= 0 && label != gtk_menu_item_get_label(GTK_MENU_ITEM(c->data)))
            gtk_menu_item_set_label(GTK_MENU_ITEM(c->data), label.c_str());
    }
    g_list_free(children);
}

void OnSubmenuShow(GtkWidget* submenu, gpointer)
{
    auto it = gSubmenus.find(submenu);
    if (it == gSubmenus.end())
        return;
    NotifyMenuOpening(it->second.first, it->second.second, 0);
    RefreshStates(submenu);
}

GtkWidget* BuildMenu(HWND owner, HMENU menu, GtkWidget* shell)
{
    for (const MenuItemInfo& info : GetMenuItems(menu)) {
        GtkWidget* item = nullptr;
        if (info.separator) {
            item = gtk_separator_menu_item_new();
        } else if (info.submenu) {
            item = gtk_menu_item_new_with_mnemonic(MnemonicLabel(info.text).c_str());
            GtkWidget* sub = gtk_menu_new();
            BuildMenu(owner, info.submenu, sub);
            gSubmenus[sub] = { owner, info.submenu };
            g_signal_connect(sub, "show", G_CALLBACK(OnSubmenuShow), nullptr);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), sub);
        } else {
            // Every command can carry a check mark (MF_CHECKED, or an enabler's SetCheck).
            item = gtk_check_menu_item_new_with_mnemonic(MnemonicLabel(info.text).c_str());
            gtk_style_context_add_class(gtk_widget_get_style_context(item), "vx-command");
            gItems[item] = { owner, menu, info.id };
            gtk_widget_set_sensitive(item, !(info.state & (MF_GRAYED | MF_DISABLED)));
            ShowCheck(item, info.state & MF_CHECKED);
            g_signal_connect_data(
                item, "activate", G_CALLBACK(OnItemActivate), &gItems, nullptr, static_cast<GConnectFlags>(0));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
    }
    return shell;
}

void ForgetMenuWidgets(HWND owner)
{
    for (auto it = gItems.begin(); it != gItems.end();)
        it = it->second.owner == owner ? gItems.erase(it) : std::next(it);
    for (auto it = gSubmenus.begin(); it != gSubmenus.end();)
        it = it->second.first == owner ? gSubmenus.erase(it) : std::next(it);
}

int MenuBarHeight(const TopLevel& t);

void SetMenuBar(HWND hwnd, void* menu)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end())
        return;
    TopLevel& t = it->second;
    if (t.menuBar) {
        ForgetMenuWidgets(hwnd);
        gtk_widget_destroy(t.menuBar);
        t.menuBar = nullptr;
    }
    if (!menu)
        return;
    t.menuBar = gtk_menu_bar_new();
    BuildMenu(hwnd, static_cast<HMENU>(menu), t.menuBar);
    gtk_box_pack_start(GTK_BOX(t.box), t.menuBar, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(t.box), t.menuBar, 0);
    gtk_widget_show_all(t.menuBar);
    // The window keeps its place and size on the screen; the menu bar takes the top of it, and
    // the client area (the drawing area) is what is left below it.
    const int menuHeight = MenuBarHeight(t);
    Rect r;
    GetWindowRect(hwnd, &r);
    if (menuHeight > 0 && !t.sizing && !t.menuShown) {
        t.menuShown = true;
        t.sizing = true;
        MoveWindow(hwnd, r.left, r.top + menuHeight, r.Width(), std::max(1, r.Height() - menuHeight), true);
        t.sizing = false;
    }
}

UINT RunPopup(const PopupRequest& request)
{
    GtkWidget* popup = gtk_menu_new();
    BuildMenu(request.owner, request.menu, popup);
    UINT chosen = 0;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    // Choosing an item records it in place of posting the command.
    for (auto& [widget, link] : gItems)
        if (gtk_widget_get_parent(widget) == popup) {
            g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<gpointer>(OnItemActivate), &gItems);
            g_object_set_data(G_OBJECT(widget), "vx-choice", &chosen);
            g_signal_connect(widget, "activate", G_CALLBACK(+[](GtkMenuItem* item, gpointer) {
                auto* slot = static_cast<UINT*>(g_object_get_data(G_OBJECT(item), "vx-choice"));
                auto found = gItems.find(GTK_WIDGET(item));
                if (slot && found != gItems.end())
                    *slot = found->second.id;
            }),
                nullptr);
        }
    g_signal_connect_swapped(popup, "deactivate", G_CALLBACK(g_main_loop_quit), loop);
    gtk_widget_show_all(popup);
    auto it = gWindows.find(GetAncestor(request.owner, GA_ROOT));
    GdkWindow* parent = it != gWindows.end() && it->second.area ? gtk_widget_get_window(it->second.area) : nullptr;
    if (parent) {
        Point p = request.at;
        ScreenToClient(it->first, &p);
        GdkRectangle anchor { p.x, p.y, 1, 1 };
        if (request.exclude) {
            Point a = request.exclude->TopLeft();
            ScreenToClient(it->first, &a);
            anchor = { a.x, a.y, request.exclude->Width(), request.exclude->Height() };
        }
        gtk_menu_popup_at_rect(
            GTK_MENU(popup), parent, &anchor, GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST, nullptr);
        g_main_loop_run(loop);
    }
    // Let the activation signal arrive before the menu goes.
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    ForgetMenuWidgets(request.owner); // the popup's links only; the bar is rebuilt below
    if (HMENU bar = GetMenu(GetAncestor(request.owner, GA_ROOT)))
        SetMenuBar(GetAncestor(request.owner, GA_ROOT), bar);
    gtk_widget_destroy(popup);
    g_main_loop_unref(loop);
    return chosen;
}

// ---- Message boxes ------------------------------------------------------------------------------

int RunMessageBox(const MessageBoxRequest& request)
{
    auto it = gWindows.find(request.owner ? GetAncestor(request.owner, GA_ROOT) : nullptr);
    GtkWindow* parent = it != gWindows.end() ? GTK_WINDOW(it->second.window) : nullptr;
    const UINT icon = request.type & 0xF0;
    const GtkMessageType kind = icon == MB_ICONERROR ? GTK_MESSAGE_ERROR
        : icon == MB_ICONWARNING                     ? GTK_MESSAGE_WARNING
        : icon == MB_ICONQUESTION                    ? GTK_MESSAGE_QUESTION
                                                     : GTK_MESSAGE_INFO;
    GtkWidget* dialog
        = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, kind, GTK_BUTTONS_NONE, "%s", Utf8(request.text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), Utf8(request.caption).c_str());
    struct Button {
        const char* label;
        int id;
    };
    std::vector<Button> buttons;
    switch (request.type & 0xF) {
    case MB_OKCANCEL:
        buttons = { { "OK", IDOK }, { "Cancel", IDCANCEL } };
        break;
    case MB_ABORTRETRYIGNORE:
        buttons = { { "_Abort", IDABORT }, { "_Retry", IDRETRY }, { "_Ignore", IDIGNORE } };
        break;
    case MB_YESNOCANCEL:
        buttons = { { "_Yes", IDYES }, { "_No", IDNO }, { "Cancel", IDCANCEL } };
        break;
    case MB_YESNO:
        buttons = { { "_Yes", IDYES }, { "_No", IDNO } };
        break;
    case MB_RETRYCANCEL:
        buttons = { { "_Retry", IDRETRY }, { "Cancel", IDCANCEL } };
        break;
    default:
        buttons = { { "OK", IDOK } };
        break;
    }
    for (const Button& b : buttons)
        gtk_dialog_add_button(GTK_DIALOG(dialog), b.label, b.id);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), DefaultMessageBoxAnswer(request.type));
    int answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (answer < 0) // closed by the window manager: the cancel button, or the only one
        answer = (request.type & 0xF) == MB_OK ? IDOK : (request.type & 0xF) == MB_YESNO ? IDNO : IDCANCEL;
    return answer;
}

// ---- Printing -------------------------------------------------------------------------------------

bool RunPrintDialog(const PrintJob& job)
{
    if (job.pages < 1 || !job.drawPage)
        return false;
    GtkPrintOperation* operation = gtk_print_operation_new();
    gtk_print_operation_set_job_name(operation, Utf8(job.title).c_str());
    gtk_print_operation_set_n_pages(operation, job.pages);
    gtk_print_operation_set_unit(operation, GTK_UNIT_POINTS);
    g_signal_connect(operation, "draw-page",
        G_CALLBACK(+[](GtkPrintOperation*, GtkPrintContext* context, gint page, gpointer data) {
            const auto* j = static_cast<const PrintJob*>(data);
            cairo_t* cr = gtk_print_context_get_cairo_context(context);
            cairo_save(cr);
            // Job pixels to points, fitted to the printable width.
            const double scale
                = std::min(72.0 / j->dpi, gtk_print_context_get_width(context) / std::max(1, j->pageSize.cx));
            cairo_scale(cr, scale, scale);
            auto dc = DC::OverCairo(cr, DeviceCaps { DT_RASPRINTER, 24, j->dpi, j->dpi, j->pageSize }, j->pageSize);
            j->drawPage(*dc, page);
            dc.reset();
            cairo_restore(cr);
        }),
        const_cast<PrintJob*>(&job));
    auto it = gWindows.find(job.owner ? GetAncestor(job.owner, GA_ROOT) : nullptr);
    GtkWindow* parent = it != gWindows.end() ? GTK_WINDOW(it->second.window) : nullptr;
    GError* error = nullptr;
    const GtkPrintOperationResult result
        = gtk_print_operation_run(operation, GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG, parent, &error);
    if (error) {
        vx::log::WriteLine(std::string("printing failed: ") + error->message);
        g_error_free(error);
    }
    g_object_unref(operation);
    return result == GTK_PRINT_OPERATION_RESULT_APPLY;
}

// ---- Clipboard --------------------------------------------------------------------------------------

void PublishClipboard()
{
    GtkClipboard* board = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    struct Target {
        const char* mime;
        UINT format;
    };
    std::vector<Target> targets;
    if (IsClipboardFormatAvailable(CF_UNICODETEXT))
        targets.push_back({ "text/plain;charset=utf-8", CF_UNICODETEXT });
    // HTML: the page itself when it was placed as "text/html"; otherwise the "HTML Format" text.
    for (const auto& [name, mime] :
        { std::pair { L"text/html", "text/html" }, std::pair { L"HTML Format", "text/html" },
            std::pair { L"image/svg+xml;utf8", "image/svg+xml" }, std::pair { L"PNG", "image/png" } }) {
        const UINT format = RegisterClipboardFormat(name);
        const char* wanted = mime;
        const bool taken = std::any_of(
            targets.begin(), targets.end(), [wanted](const Target& t) { return std::strcmp(t.mime, wanted) == 0; });
        if (!taken && IsClipboardFormatAvailable(format))
            targets.push_back({ mime, format });
    }
    if (targets.empty()) {
        gtk_clipboard_clear(board);
        return;
    }
    std::vector<GtkTargetEntry> entries;
    for (std::size_t i = 0; i < targets.size(); ++i)
        entries.push_back({ const_cast<gchar*>(targets[i].mime), 0, static_cast<guint>(targets[i].format) });
    gtk_clipboard_set_with_data(
        board, entries.data(), static_cast<guint>(entries.size()),
        +[](GtkClipboard*, GtkSelectionData* selection, guint format, gpointer) {
            auto bytes = GetClipboardData(format);
            if (!bytes)
                return;
            if (format == CF_UNICODETEXT) {
                std::wstring text(bytes->size() / sizeof(wchar_t), L'\0');
                std::memcpy(text.data(), bytes->data(), text.size() * sizeof(wchar_t));
                text.resize(std::min(text.size(), text.find(L'\0')));
                const std::string utf8 = Utf8(text);
                gtk_selection_data_set_text(selection, utf8.c_str(), static_cast<gint>(utf8.size()));
                return;
            }
            gtk_selection_data_set(selection, gtk_selection_data_get_target(selection), 8, bytes->data(),
                static_cast<gint>(bytes->size()));
        },
        nullptr, nullptr);
}

// ---- Windows ------------------------------------------------------------------------------------------

gboolean OnEmbeddedPosition(GtkOverlay*, GtkWidget* child, GdkRectangle* allocation, gpointer)
{
    for (const auto& [anchor, e] : gEmbedded)
        if (e.clip == child) {
            *allocation = e.place;
            return TRUE;
        }
    return FALSE;
}

void TakeOut(Embedded& e)
{
    if (GtkWidget* parent = gtk_widget_get_parent(e.clip))
        gtk_container_remove(GTK_CONTAINER(parent), e.clip);
    e.host = nullptr;
}

// The part of `anchor` that its parents' client areas leave visible, in screen coordinates.
Rect VisiblePart(HWND anchor)
{
    Rect visible;
    GetWindowRect(anchor, &visible);
    for (HWND parent = GetParent(anchor); parent; parent = GetParent(parent)) {
        Rect client;
        GetClientRect(parent, &client);
        Point origin {};
        ClientToScreen(parent, &origin);
        visible = visible.Intersect(client.Offset(origin.x, origin.y));
    }
    return visible;
}

void PlaceEmbedded(HWND anchor, Embedded& e)
{
    HWND root = IsWindow(anchor) ? GetAncestor(anchor, GA_ROOT) : nullptr;
    auto top = gWindows.find(root);
    if (top == gWindows.end()) {
        TakeOut(e);
        return;
    }
    if (e.host != root) {
        TakeOut(e);
        gtk_overlay_add_overlay(GTK_OVERLAY(top->second.overlay), e.clip);
        e.host = root;
    }
    Rect whole, rootRect;
    GetWindowRect(anchor, &whole);
    GetWindowRect(root, &rootRect);
    const Rect visible = VisiblePart(anchor);
    if (!IsWindowVisible(anchor) || visible.IsEmpty()) {
        gtk_widget_hide(e.clip);
        return;
    }
    const GdkRectangle place { visible.left - rootRect.left, visible.top - rootRect.top, visible.Width(),
        visible.Height() };
    gtk_layout_move(GTK_LAYOUT(e.clip), e.widget, whole.left - visible.left, whole.top - visible.top);
    gtk_widget_set_size_request(e.widget, whole.Width(), whole.Height());
    const bool moved = place.x != e.place.x || place.y != e.place.y || place.width != e.place.width
        || place.height != e.place.height;
    e.place = place;
    gtk_widget_show(e.clip);
    if (moved)
        gtk_widget_queue_resize(e.clip);
}

void PlaceAllEmbedded()
{
    gLayoutQueued = false;
    for (auto& [anchor, e] : gEmbedded)
        PlaceEmbedded(anchor, e);
}

// Windows change in bursts (a frame sizes all its children): the widgets follow once GTK is idle.
void LayoutChanged(HWND)
{
    if (gEmbedded.empty() || gLayoutQueued)
        return;
    gLayoutQueued = true;
    g_idle_add_full(
        G_PRIORITY_HIGH_IDLE,
        +[](gpointer) {
            PlaceAllEmbedded();
            return G_SOURCE_REMOVE;
        },
        nullptr, nullptr);
}

bool Created(HWND hwnd)
{
    const auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    const bool decorated = (style & WS_CAPTION) == WS_CAPTION || !(style & WS_POPUP);
    TopLevel t;
    t.window = gtk_window_new(decorated ? GTK_WINDOW_TOPLEVEL : GTK_WINDOW_POPUP);
    t.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    t.area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(t.area, TRUE);
    gtk_widget_add_events(t.area,
        GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK | GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK
            | GDK_KEY_RELEASE_MASK);
    t.overlay = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(t.overlay), t.area);
    g_signal_connect(t.overlay, "get-child-position", G_CALLBACK(OnEmbeddedPosition), nullptr);
    gtk_box_pack_end(GTK_BOX(t.box), t.overlay, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(t.window), t.box);
    Rect r;
    GetWindowRect(hwnd, &r);
    gtk_widget_set_size_request(t.area, 1, 1);
    gtk_window_set_default_size(GTK_WINDOW(t.window), std::max(1, r.Width()), std::max(1, r.Height()));
    gtk_window_move(GTK_WINDOW(t.window), r.left, r.top);
    gtk_window_set_title(GTK_WINDOW(t.window), Utf8(GetWindowText(hwnd)).c_str());
    if (HWND owner = GetOwner(hwnd); owner && gWindows.count(owner))
        gtk_window_set_transient_for(GTK_WINDOW(t.window), GTK_WINDOW(gWindows[owner].window));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_EXSTYLE));
    if (exStyle & WS_EX_TOPMOST)
        gtk_window_set_keep_above(GTK_WINDOW(t.window), TRUE);
    if (exStyle & WS_EX_TOOLWINDOW)
        gtk_window_set_type_hint(GTK_WINDOW(t.window), GDK_WINDOW_TYPE_HINT_UTILITY);
    if (exStyle & WS_EX_NOACTIVATE) {
        gtk_window_set_accept_focus(GTK_WINDOW(t.window), FALSE);
        gtk_window_set_focus_on_map(GTK_WINDOW(t.window), FALSE);
    }
    g_signal_connect(t.area, "draw", G_CALLBACK(OnDraw), nullptr);
    g_signal_connect(t.area, "button-press-event", G_CALLBACK(OnButton), nullptr);
    g_signal_connect(t.area, "button-release-event", G_CALLBACK(OnButton), nullptr);
    g_signal_connect(t.area, "motion-notify-event", G_CALLBACK(OnMotion), nullptr);
    g_signal_connect(t.area, "scroll-event", G_CALLBACK(OnScroll), nullptr);
    g_signal_connect(t.area, "size-allocate", G_CALLBACK(OnSizeAllocate), nullptr);
    g_signal_connect(t.window, "key-press-event", G_CALLBACK(OnKey), nullptr);
    g_signal_connect(t.window, "key-release-event", G_CALLBACK(OnKey), nullptr);
    g_signal_connect(t.window, "delete-event", G_CALLBACK(OnDelete), nullptr);
    g_signal_connect(t.window, "focus-in-event", G_CALLBACK(OnFocusIn), nullptr);
    gWindows[hwnd] = t;
    return true;
}

void Destroyed(HWND hwnd)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end())
        return;
    ForgetMenuWidgets(hwnd);
    // Embedded widgets outlive the window: they leave it before GTK destroys its children.
    for (auto& [anchor, e] : gEmbedded)
        if (e.host == hwnd)
            TakeOut(e);
    GtkWidget* window = it->second.window;
    gWindows.erase(it);
    gtk_widget_destroy(window);
}

void Shown(HWND hwnd, bool visible)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end())
        return;
    if (visible)
        gtk_widget_show_all(it->second.window);
    else
        gtk_widget_hide(it->second.window);
}

// The menu bar's height over a top-level window's drawing area (0 without one).
int MenuBarHeight(const TopLevel& t)
{
    if (!t.menuBar || !gtk_widget_get_visible(t.menuBar))
        return 0;
    GtkRequisition natural;
    gtk_widget_get_preferred_size(t.menuBar, nullptr, &natural);
    return natural.height;
}

// Places a top-level window so that its drawing area (the window's client area) is where the
// window says it is on the screen, its menu bar above it.
void Place(TopLevel& t, const Rect& r)
{
    const int menuHeight = MenuBarHeight(t);
    gtk_window_move(GTK_WINDOW(t.window), r.left, r.top - menuHeight);
    gtk_window_resize(GTK_WINDOW(t.window), std::max(1, r.Width()), std::max(1, r.Height() + menuHeight));
}

void Moved(HWND hwnd, const Rect& r)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end() || it->second.sizing)
        return;
    Place(it->second, r);
}

void Painted(HWND hwnd, const Rect& area)
{
    auto it = gWindows.find(hwnd);
    if (it != gWindows.end())
        gtk_widget_queue_draw_area(it->second.area, area.left, area.top, area.Width(), area.Height());
}

void CursorTo(int id)
{
    const char* name = id == IDC_HAND ? "pointer"
        : id == IDC_SIZEALL           ? "move"
        : id == IDC_IBEAM             ? "text"
        : id == IDC_WAIT              ? "wait"
        : id == IDC_SIZEWE            ? "ew-resize"
        : id == IDC_SIZENS            ? "ns-resize"
        : id == IDC_CROSS             ? "crosshair"
                                      : "default";
    GdkDisplay* display = gdk_display_get_default();
    GdkCursor* cursor = gdk_cursor_new_from_name(display, name);
    for (const auto& [hwnd, t] : gWindows)
        if (GdkWindow* w = gtk_widget_get_window(t.area))
            gdk_window_set_cursor(w, cursor);
    if (cursor)
        g_object_unref(cursor);
}

std::vector<Monitor> ReadMonitors()
{
    std::vector<Monitor> out;
    GdkDisplay* display = gdk_display_get_default();
    const int count = gdk_display_get_n_monitors(display);
    GdkMonitor* primary = gdk_display_get_primary_monitor(display);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        GdkRectangle geometry, work;
        gdk_monitor_get_geometry(m, &geometry);
        gdk_monitor_get_workarea(m, &work);
        out.push_back({ Rect::FromPointSize({ geometry.x, geometry.y }, { geometry.width, geometry.height }),
            Rect::FromPointSize({ work.x, work.y }, { work.width, work.height }),
            96 * std::max(1, gdk_monitor_get_scale_factor(m)), m == primary || (primary == nullptr && i == 0) });
    }
    return out;
}

} // namespace

std::shared_ptr<Backend> CreateGtkBackend(std::string& error)
{
    if (!gtk_init_check(nullptr, nullptr)) {
        error = "no display to show windows on (is DISPLAY set?)";
        return nullptr;
    }
    SetMonitors(ReadMonitors());
    // Menu commands are check items so that any of them can show a check mark; unchecked, they
    // show nothing where the mark goes, as the platform's menus do.
    if (GdkScreen* screen = gdk_screen_get_default()) {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css,
            "menuitem.vx-command check:not(:checked) { -gtk-icon-source: none; background: none; border-color: "
            "transparent; box-shadow: none; }",
            -1, nullptr);
        gtk_style_context_add_provider_for_screen(
            screen, GTK_STYLE_PROVIDER(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
    }
    auto backend = std::make_shared<Backend>();
    backend->name = "gtk";
    backend->WindowCreated = Created;
    backend->WindowDestroyed = Destroyed;
    backend->WindowShown = Shown;
    backend->WindowMoved = Moved;
    backend->WindowTextChanged = [](HWND hwnd, const std::wstring& text) {
        auto it = gWindows.find(hwnd);
        if (it != gWindows.end())
            gtk_window_set_title(GTK_WINDOW(it->second.window), Utf8(text).c_str());
    };
    backend->WindowPainted = Painted;
    backend->WindowShapeChanged = [](HWND hwnd, const Region* shape) {
        auto it = gWindows.find(hwnd);
        if (it == gWindows.end())
            return;
        if (!shape) {
            gtk_widget_shape_combine_region(it->second.window, nullptr);
            return;
        }
        cairo_region_t* region = cairo_region_create();
        for (const Rect& r : shape->Rects()) {
            const cairo_rectangle_int_t c { r.left, r.top, r.Width(), r.Height() };
            cairo_region_union_rectangle(region, &c);
        }
        gtk_widget_shape_combine_region(it->second.window, region);
        cairo_region_destroy(region);
    };
    backend->WindowOpacityChanged = [](HWND hwnd, int opacity) {
        if (auto it = gWindows.find(hwnd); it != gWindows.end())
            gtk_widget_set_opacity(it->second.window, std::clamp(opacity, 0, 255) / 255.0);
    };
    backend->CursorChanged = CursorTo;
    backend->MenuBarChanged = SetMenuBar;
    backend->WindowLayoutChanged = LayoutChanged;
    backend->GetDisplayBounds = [] {
        const auto monitors = GetMonitors();
        for (const Monitor& m : monitors)
            if (m.primary)
                return m.workArea;
        return monitors.empty() ? Rect { 0, 0, 1024, 768 } : monitors[0].workArea;
    };
    backend->QueryPointer = [](Point& at) {
        GdkDisplay* display = gdk_display_get_default();
        GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
        GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
        if (!pointer)
            return false;
        gdk_device_get_position(pointer, nullptr, &at.x, &at.y);
        return true;
    };
    backend->PumpEvents = [] {
        for (int i = 0; i < 100 && gtk_events_pending(); ++i)
            gtk_main_iteration_do(FALSE);
    };
    backend->WaitEvents = [](int timeoutMs) {
        struct Timeout {
            bool fired = false;
        };
        auto* timeout = new Timeout;
        guint source = 0;
        if (timeoutMs >= 0)
            source = g_timeout_add(
                static_cast<guint>(timeoutMs),
                +[](gpointer data) {
                    static_cast<Timeout*>(data)->fired = true;
                    return G_SOURCE_REMOVE;
                },
                timeout);
        g_main_context_iteration(nullptr, TRUE);
        if (source && !timeout->fired)
            g_source_remove(source);
        delete timeout;
    };
    backend->SendWakeup = [](DWORD) { g_main_context_wakeup(nullptr); };
    SetPopupHandler(RunPopup);
    SetMessageBoxHandler(RunMessageBox);
    SetClipboardListener(PublishClipboard);
    SetPrintHandler(RunPrintDialog);
    SetFileDialogHandler([](const FileDialogRequest& request) {
        auto it = gWindows.find(request.owner ? GetAncestor(request.owner, GA_ROOT) : nullptr);
        return RunGtkFileChooser(it != gWindows.end() ? GTK_WINDOW(it->second.window) : nullptr, request);
    });
    SetPrinterChoiceHandler([](HWND owner, const std::wstring& title, PrinterChoice& choice) {
        auto it = gWindows.find(owner ? GetAncestor(owner, GA_ROOT) : nullptr);
        return RunGtkPrinterChoice(it != gWindows.end() ? GTK_WINDOW(it->second.window) : nullptr, title, choice);
    });
    return backend;
}

namespace {

BitmapPtr Grab(GdkWindow* window, int x, int y, int w, int h)
{
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(window, x, y, w, h);
    if (!pixbuf)
        return nullptr;
    gchar* buffer = nullptr;
    gsize size = 0;
    BitmapPtr image;
    if (gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr))
        image = Bitmap::FromPng({ reinterpret_cast<const std::uint8_t*>(buffer), size });
    g_free(buffer);
    g_object_unref(pixbuf);
    return image;
}

} // namespace

BitmapPtr ScreenshotWindow(HWND hwnd)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end() || !gtk_widget_get_visible(it->second.window))
        return nullptr;
    GdkWindow* window = gtk_widget_get_window(it->second.window);
    if (!window)
        return nullptr;
    return Grab(window, 0, 0, gdk_window_get_width(window), gdk_window_get_height(window));
}

BitmapPtr ScreenshotDisplay(const Rect& screen)
{
    GdkWindow* root = gdk_get_default_root_window();
    if (!root || screen.Width() < 1 || screen.Height() < 1)
        return nullptr;
    return Grab(root, screen.left, screen.top, screen.Width(), screen.Height());
}

bool ActivateMenuPath(HWND hwnd, const std::wstring& path)
{
    auto it = gWindows.find(hwnd);
    if (it == gWindows.end() || !it->second.menuBar)
        return false;
    GtkWidget* shell = it->second.menuBar;
    std::size_t start = 0;
    while (shell) {
        const std::size_t end = std::min(path.find(L'|', start), path.size());
        const std::wstring part = path.substr(start, end - start);
        GtkWidget* found = nullptr;
        GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
        for (GList* c = children; c && !found; c = c->next) {
            if (!GTK_IS_MENU_ITEM(c->data) || GTK_IS_SEPARATOR_MENU_ITEM(c->data))
                continue;
            const gchar* label = gtk_menu_item_get_label(GTK_MENU_ITEM(c->data));
            std::wstring text;
            for (const gchar* p = label; p && *p; p = g_utf8_next_char(p))
                if (*p != '_')
                    text += static_cast<wchar_t>(g_utf8_get_char(p));
            if (text == PlainLabel(part))
                found = GTK_WIDGET(c->data);
        }
        g_list_free(children);
        if (!found)
            return false;
        if (end >= path.size()) {
            if (GtkWidget* sub = gtk_widget_get_parent(found); sub && gSubmenus.count(sub))
                OnSubmenuShow(sub, nullptr); // the menu opens: its owner enables its items
            if (!gtk_widget_get_sensitive(found))
                return false;
            gtk_menu_item_activate(GTK_MENU_ITEM(found));
            return true;
        }
        shell = gtk_menu_item_get_submenu(GTK_MENU_ITEM(found));
        start = end + 1;
    }
    return false;
}

namespace {
// Whether a menu item lies in the menu bar `bar`, in it or in one of its submenus.
bool InMenuBar(GtkWidget* widget, GtkWidget* bar)
{
    while (widget && widget != bar) {
        GtkWidget* parent = gtk_widget_get_parent(widget);
        widget = parent && GTK_IS_MENU(parent) ? gtk_menu_get_attach_widget(GTK_MENU(parent)) : parent;
    }
    return widget == bar;
}
} // namespace

bool ActivateMenuCommand(HWND hwnd, UINT id)
{
    auto window = gWindows.find(hwnd);
    if (window == gWindows.end() || !window->second.menuBar)
        return false;
    for (const auto& [widget, link] : gItems) {
        if (link.owner != hwnd || link.id != id || !InMenuBar(widget, window->second.menuBar))
            continue;
        GtkWidget* item = widget;
        if (GtkWidget* sub = gtk_widget_get_parent(item); sub && gSubmenus.count(sub))
            OnSubmenuShow(sub, nullptr); // the menu opens: its owner enables its items
        if (!gtk_widget_get_sensitive(item))
            return false;
        gtk_menu_item_activate(GTK_MENU_ITEM(item));
        return true;
    }
    return false;
}

namespace {
void CollectPlaces(GtkWidget* shell, const std::wstring& prefix, std::vector<MenuItemPlace>& out)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* c = children; c; c = c->next) {
        GtkWidget* item = GTK_WIDGET(c->data);
        if (!GTK_IS_MENU_ITEM(item) || GTK_IS_SEPARATOR_MENU_ITEM(item))
            continue;
        std::wstring text;
        for (const gchar* p = gtk_menu_item_get_label(GTK_MENU_ITEM(item)); p && *p; p = g_utf8_next_char(p))
            if (*p != '_')
                text += static_cast<wchar_t>(g_utf8_get_char(p));
        MenuItemPlace place;
        place.path = prefix + text;
        place.enabled = gtk_widget_is_sensitive(item);
        place.checked = GTK_IS_CHECK_MENU_ITEM(item) && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
        GdkWindow* window = gtk_widget_get_window(item);
        if (gtk_widget_get_mapped(item) && window) {
            GtkAllocation a;
            gtk_widget_get_allocation(item, &a);
            int x = 0, y = 0;
            gdk_window_get_origin(window, &x, &y);
            // Allocations are relative to the widget's window unless the widget has its own.
            if (!gtk_widget_get_has_window(item)) {
                x += a.x;
                y += a.y;
            }
            place.screen = { x, y, x + a.width, y + a.height };
            place.shown = true;
        }
        out.push_back(place);
        if (GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item)))
            CollectPlaces(sub, place.path + L"|", out);
    }
    g_list_free(children);
}
} // namespace

std::vector<MenuItemPlace> MenuItemPlaces(HWND hwnd)
{
    std::vector<MenuItemPlace> out;
    auto it = gWindows.find(hwnd);
    if (it != gWindows.end() && it->second.menuBar)
        CollectPlaces(it->second.menuBar, L"", out);
    return out;
}

void EmbedWidget(HWND anchor, void* widget)
{
    UnembedWidget(anchor);
    if (!widget)
        return;
    Embedded e;
    e.widget = GTK_WIDGET(g_object_ref_sink(widget));
    e.clip = GTK_WIDGET(g_object_ref_sink(gtk_layout_new(nullptr, nullptr)));
    gtk_widget_set_no_show_all(e.clip, TRUE); // shown only while its window is
    gtk_layout_put(GTK_LAYOUT(e.clip), e.widget, 0, 0);
    gtk_widget_show(e.widget);
    PlaceEmbedded(anchor, gEmbedded[anchor] = e);
}

void UnembedWidget(HWND anchor)
{
    auto it = gEmbedded.find(anchor);
    if (it == gEmbedded.end())
        return;
    Embedded e = it->second;
    gEmbedded.erase(it);
    TakeOut(e);
    gtk_container_remove(GTK_CONTAINER(e.clip), e.widget);
    gtk_widget_destroy(e.clip);
    g_object_unref(e.clip);
    g_object_unref(e.widget);
}

bool RunGtkUntil(const std::function<bool()>& done, int timeoutMs)
{
    const gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > end)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            ProcessMessage(msg);
        }
        if (auto backend = GetBackend(); backend->WaitEvents)
            backend->WaitEvents(10);
    }
    return true;
}

} // namespace vx::ui
