#pragma once
// Menus: menu bars of top-level windows and popup menus, built in code or from menu templates,
// edited while the program runs. A popup menu is shown through a handler: the gtk backend shows a
// real menu; headless, the next scripted choice is taken (none: the menu is dismissed).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/Messages.h"
#include "ui/Resources.h"

namespace vx::ui {

struct HMENU__;
using HMENU = HMENU__*;

constexpr UINT TPM_LEFTALIGN = 0x0000, TPM_RIGHTBUTTON = 0x0002, TPM_NONOTIFY = 0x0080, TPM_RETURNCMD = 0x0100,
               TPM_VERTICAL = 0x0040;

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys a menu and its submenus.
bool DestroyMenu(HMENU menu);
bool IsMenu(HMENU menu);
HMENU LoadMenu(HMODULE module, WORD id, LANGID language = 0);
HMENU MenuFromTemplate(const MenuTemplate& items, bool popup);

// `item` is a command id, or a submenu (HMENU cast to UINT_PTR) with MF_POPUP.
bool AppendMenu(HMENU menu, UINT flags, UINT_PTR item, const std::wstring& text);
// Inserts before the item at `position` (MF_BYPOSITION) or with that command id; -1 or a
// position past the end appends.
bool InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, const std::wstring& text);
bool ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, const std::wstring& text);
bool RemoveMenu(HMENU menu, UINT position, UINT flags); // a submenu survives
bool DeleteMenu(HMENU menu, UINT position, UINT flags); // a submenu is destroyed
// Previous state (MF_GRAYED/MF_CHECKED bits), or -1 when no such item.
int EnableMenuItem(HMENU menu, UINT item, UINT flags);
int CheckMenuItem(HMENU menu, UINT item, UINT flags);
int GetMenuState(HMENU menu, UINT item, UINT flags);
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int position); // 0xFFFFFFFF for a submenu or no item
HMENU GetSubMenu(HMENU menu, int position);
std::wstring GetMenuString(HMENU menu, UINT item, UINT flags);
// Searches submenus too: the menu and position of a command id.
bool FindMenuCommand(HMENU menu, UINT id, HMENU* owner, int* position);

// The menu bar of a top-level window. Changes reach the backend at DrawMenuBar.
bool SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
bool DrawMenuBar(HWND hwnd);

// What a popup shows: WM_INITMENUPOPUP to the owner first (so it can enable items), then the
// handler. Returns the chosen command with TPM_RETURNCMD; otherwise posts WM_COMMAND for it and
// returns whether one was chosen. `exclude` (screen) is an area the menu must not cover.
struct PopupRequest {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    Point at;
    UINT flags = 0;
    std::optional<Rect> exclude;
};
using PopupHandler = std::function<UINT(const PopupRequest&)>; // 0: dismissed
PopupHandler SetPopupHandler(PopupHandler handler);
void QueuePopupChoice(UINT command);
UINT TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const Rect* exclude);

// One item of a menu, as a backend reads it to show the menu.
struct MenuItemInfo {
    std::wstring text;
    UINT id = 0;
    UINT state = 0; // MF_GRAYED, MF_CHECKED
    bool separator = false;
    HMENU submenu = nullptr;
};
std::vector<MenuItemInfo> GetMenuItems(HMENU menu);

// Sent by a backend when the user opens a submenu of the bar or chooses an item.
void NotifyMenuOpening(HWND owner, HMENU popup, int position);
void NotifyMenuCommand(HWND owner, UINT id);

} // namespace vx::ui
