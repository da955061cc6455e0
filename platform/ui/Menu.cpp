#include "ui/Menu.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "ui/Backend.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/WindowSystemState.h"

namespace vx::ui {

namespace {

struct Item {
    std::wstring text;
    UINT id = 0;
    UINT flags = 0;
    HMENU submenu = nullptr;
};

struct MenuData {
    bool popup = false;
    std::vector<Item> items;
};

std::recursive_mutex gMenuMutex;
std::map<HMENU, MenuData> gMenus;
std::uintptr_t gNextMenu = 0x20000;
std::map<HWND, HMENU> gBars;
PopupHandler gPopupHandler;
std::deque<UINT> gChoices;

MenuData* Find(HMENU menu)
{
    auto it = gMenus.find(menu);
    return it == gMenus.end() ? nullptr : &it->second;
}

HMENU Make(bool popup)
{
    std::lock_guard lock(gMenuMutex);
    HMENU menu = reinterpret_cast<HMENU>(gNextMenu);
    gNextMenu += 4;
    gMenus[menu].popup = popup;
    return menu;
}

// The index of an item, by position or command id (searching this menu only).
int IndexOf(const MenuData& data, UINT position, UINT flags)
{
    if (flags & MF_BYPOSITION)
        return position < data.items.size() ? static_cast<int>(position) : -1;
    for (std::size_t i = 0; i < data.items.size(); ++i)
        if (!data.items[i].submenu && data.items[i].id == position && !(data.items[i].flags & MF_SEPARATOR))
            return static_cast<int>(i);
    return -1;
}

// By command id, submenus included.
std::pair<MenuData*, int> Locate(HMENU menu, UINT position, UINT flags)
{
    MenuData* data = Find(menu);
    if (!data)
        return { nullptr, -1 };
    const int index = IndexOf(*data, position, flags);
    if (index >= 0 || (flags & MF_BYPOSITION))
        return { data, index };
    for (const Item& item : data->items)
        if (item.submenu) {
            auto found = Locate(item.submenu, position, flags);
            if (found.second >= 0)
                return found;
        }
    return { data, -1 };
}

Item MakeItem(UINT flags, UINT_PTR item, const std::wstring& text)
{
    Item made;
    made.flags = flags & ~MF_BYPOSITION;
    made.text = (flags & MF_SEPARATOR) ? std::wstring() : text;
    if (flags & MF_POPUP)
        made.submenu = reinterpret_cast<HMENU>(item);
    else
        made.id = static_cast<UINT>(item);
    return made;
}

void DestroyLocked(HMENU menu)
{
    auto it = gMenus.find(menu);
    if (it == gMenus.end())
        return;
    std::vector<HMENU> subs;
    for (const Item& item : it->second.items)
        if (item.submenu)
            subs.push_back(item.submenu);
    gMenus.erase(it);
    for (HMENU sub : subs)
        DestroyLocked(sub);
}

void AddTemplateItems(HMENU menu, const MenuTemplate& items)
{
    for (const MenuItemTemplate& t : items) {
        if (t.flags & MF_POPUP) {
            HMENU sub = CreatePopupMenu();
            AddTemplateItems(sub, t.items);
            AppendMenu(menu, t.flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), t.text);
        } else {
            AppendMenu(menu, t.flags, t.id, t.text);
        }
    }
}

} // namespace

HMENU CreateMenu()
{
    return Make(false);
}

HMENU CreatePopupMenu()
{
    return Make(true);
}

bool DestroyMenu(HMENU menu)
{
    std::lock_guard lock(gMenuMutex);
    if (!Find(menu))
        return false;
    DestroyLocked(menu);
    for (auto it = gBars.begin(); it != gBars.end();)
        it = it->second == menu ? gBars.erase(it) : std::next(it);
    return true;
}

bool IsMenu(HMENU menu)
{
    std::lock_guard lock(gMenuMutex);
    return Find(menu) != nullptr;
}

HMENU MenuFromTemplate(const MenuTemplate& items, bool popup)
{
    HMENU menu = popup ? CreatePopupMenu() : CreateMenu();
    AddTemplateItems(menu, items);
    return menu;
}

HMENU LoadMenu(HMODULE module, WORD id, LANGID language)
{
    auto found = FindMenuTemplate(module, id, language);
    return found ? MenuFromTemplate(*found, false) : nullptr;
}

bool AppendMenu(HMENU menu, UINT flags, UINT_PTR item, const std::wstring& text)
{
    return InsertMenu(menu, 0xFFFFFFFFu, flags | MF_BYPOSITION, item, text);
}

bool InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, const std::wstring& text)
{
    std::lock_guard lock(gMenuMutex);
    MenuData* data = Find(menu);
    if (!data || ((flags & MF_POPUP) && !Find(reinterpret_cast<HMENU>(item))))
        return false;
    std::size_t at = data->items.size();
    if (flags & MF_BYPOSITION) {
        if (position < data->items.size())
            at = position;
    } else {
        auto [owner, index] = Locate(menu, position, MF_BYCOMMAND);
        if (index >= 0) {
            data = owner;
            at = static_cast<std::size_t>(index);
        }
    }
    data->items.insert(data->items.begin() + static_cast<long>(at), MakeItem(flags, item, text));
    return true;
}

bool ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR item, const std::wstring& text)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, position, flags);
    if (index < 0)
        return false;
    data->items[std::size_t(index)] = MakeItem(flags, item, text);
    return true;
}

bool RemoveMenu(HMENU menu, UINT position, UINT flags)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, position, flags);
    if (index < 0)
        return false;
    data->items.erase(data->items.begin() + index);
    return true;
}

bool DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, position, flags);
    if (index < 0)
        return false;
    HMENU sub = data->items[std::size_t(index)].submenu;
    data->items.erase(data->items.begin() + index);
    if (sub)
        DestroyLocked(sub);
    return true;
}

namespace {

// Replaces the `mask` bits of an item's state; the previous bits, or -1 when no such item.
int ChangeItemState(HMENU menu, UINT item, UINT flags, UINT mask)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, item, flags);
    if (index < 0)
        return -1;
    Item& it = data->items[std::size_t(index)];
    const int previous = static_cast<int>(it.flags & mask);
    it.flags = (it.flags & ~mask) | (flags & mask);
    return previous;
}

} // namespace

int EnableMenuItem(HMENU menu, UINT item, UINT flags)
{
    return ChangeItemState(menu, item, flags, MF_GRAYED | MF_DISABLED);
}

int CheckMenuItem(HMENU menu, UINT item, UINT flags)
{
    return ChangeItemState(menu, item, flags, MF_CHECKED);
}

int GetMenuState(HMENU menu, UINT item, UINT flags)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, item, flags);
    if (index < 0)
        return -1;
    const Item& it = data->items[std::size_t(index)];
    return static_cast<int>(it.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP));
}

int GetMenuItemCount(HMENU menu)
{
    std::lock_guard lock(gMenuMutex);
    const MenuData* data = Find(menu);
    return data ? static_cast<int>(data->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position)
{
    std::lock_guard lock(gMenuMutex);
    const MenuData* data = Find(menu);
    if (!data || position < 0 || std::size_t(position) >= data->items.size()
        || data->items[std::size_t(position)].submenu)
        return 0xFFFFFFFFu;
    return data->items[std::size_t(position)].id;
}

HMENU GetSubMenu(HMENU menu, int position)
{
    std::lock_guard lock(gMenuMutex);
    const MenuData* data = Find(menu);
    if (!data || position < 0 || std::size_t(position) >= data->items.size())
        return nullptr;
    return data->items[std::size_t(position)].submenu;
}

std::wstring GetMenuString(HMENU menu, UINT item, UINT flags)
{
    std::lock_guard lock(gMenuMutex);
    auto [data, index] = Locate(menu, item, flags);
    return index < 0 ? std::wstring() : data->items[std::size_t(index)].text;
}

bool FindMenuCommand(HMENU menu, UINT id, HMENU* owner, int* position)
{
    std::lock_guard lock(gMenuMutex);
    const MenuData* data = Find(menu);
    if (!data)
        return false;
    for (std::size_t i = 0; i < data->items.size(); ++i) {
        const Item& item = data->items[i];
        if (!item.submenu && item.id == id && !(item.flags & MF_SEPARATOR)) {
            if (owner)
                *owner = menu;
            if (position)
                *position = static_cast<int>(i);
            return true;
        }
        if (item.submenu && FindMenuCommand(item.submenu, id, owner, position))
            return true;
    }
    return false;
}

std::vector<MenuItemInfo> GetMenuItems(HMENU menu)
{
    std::lock_guard lock(gMenuMutex);
    std::vector<MenuItemInfo> out;
    if (const MenuData* data = Find(menu))
        for (const Item& item : data->items)
            out.push_back({ item.text, item.id, item.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED),
                (item.flags & MF_SEPARATOR) != 0, item.submenu });
    return out;
}

bool SetMenu(HWND hwnd, HMENU menu)
{
    if (!IsWindow(hwnd) || (menu && !IsMenu(menu)))
        return false;
    {
        std::lock_guard lock(gMenuMutex);
        if (menu)
            gBars[hwnd] = menu;
        else
            gBars.erase(hwnd);
    }
    return DrawMenuBar(hwnd);
}

HMENU GetMenu(HWND hwnd)
{
    std::lock_guard lock(gMenuMutex);
    auto it = gBars.find(hwnd);
    return it == gBars.end() ? nullptr : it->second;
}

bool DrawMenuBar(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return false;
    auto backend = detail::BackendSnapshot();
    if (backend->MenuBarChanged)
        backend->MenuBarChanged(hwnd, GetMenu(hwnd));
    return true;
}

PopupHandler SetPopupHandler(PopupHandler handler)
{
    std::lock_guard lock(gMenuMutex);
    return std::exchange(gPopupHandler, std::move(handler));
}

void QueuePopupChoice(UINT command)
{
    std::lock_guard lock(gMenuMutex);
    gChoices.push_back(command);
}

UINT TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const Rect* exclude)
{
    if (!IsMenu(menu) || !IsWindow(owner))
        return 0;
    if (!(flags & TPM_NONOTIFY))
        SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    PopupRequest request { menu, owner, { x, y }, flags, exclude ? std::optional<Rect>(*exclude) : std::nullopt };
    PopupHandler handler;
    UINT chosen = 0;
    {
        std::lock_guard lock(gMenuMutex);
        handler = gPopupHandler;
        if (!handler && !gChoices.empty()) {
            chosen = gChoices.front();
            gChoices.pop_front();
        }
    }
    if (handler)
        chosen = handler(request);
    // A choice of a greyed or unknown item is no choice.
    if (chosen) {
        const int state = GetMenuState(menu, chosen, MF_BYCOMMAND);
        if (state < 0 || (state & (MF_GRAYED | MF_DISABLED)))
            chosen = 0;
    }
    if (!(flags & TPM_NONOTIFY))
        SendMessage(owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    if (flags & TPM_RETURNCMD)
        return chosen;
    if (chosen)
        PostMessage(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return chosen != 0;
}

void NotifyMenuOpening(HWND owner, HMENU popup, int position)
{
    SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), position);
}

void NotifyMenuCommand(HWND owner, UINT id)
{
    const int state = GetMenuState(GetMenu(owner), id, MF_BYCOMMAND);
    if (state < 0 || (state & (MF_GRAYED | MF_DISABLED)))
        return;
    PostMessage(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

} // namespace vx::ui
