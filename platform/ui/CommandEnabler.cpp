#include "ui/CommandEnabler.h"

#include "ui/EventLoop.h"
#include "ui/MessageQueue.h"
#include "ui/Resources.h"
#include "ui/Window.h"

namespace vx::ui {

MenuItemEnabler::MenuItemEnabler(HMENU menu, int position)
    : CommandEnabler(GetMenuItemID(menu, position))
    , mMenu(menu)
    , mPosition(position)
{
}

void MenuItemEnabler::Enable(bool enable)
{
    SetHandled();
    EnableMenuItem(mMenu, static_cast<UINT>(mPosition), MF_BYPOSITION | (enable ? MF_ENABLED : MF_GRAYED));
}

void MenuItemEnabler::SetText(const std::wstring& text)
{
    SetHandled();
    if (GetMenuString(mMenu, static_cast<UINT>(mPosition), MF_BYPOSITION) == text)
        return;
    const int state = GetMenuState(mMenu, static_cast<UINT>(mPosition), MF_BYPOSITION);
    ModifyMenu(mMenu, static_cast<UINT>(mPosition),
        MF_BYPOSITION | MF_STRING | (state > 0 ? static_cast<UINT>(state) & (MF_GRAYED | MF_CHECKED) : 0), GetId(),
        text);
}

void MenuItemEnabler::SetCheck(int state)
{
    SetHandled();
    CheckMenuItem(mMenu, static_cast<UINT>(mPosition), MF_BYPOSITION | (state ? MF_CHECKED : MF_UNCHECKED));
}

int EnableMenuCommands(HMENU menu, HWND receiver)
{
    if (!IsMenu(menu) || !IsWindow(receiver))
        return 0;
    int answered = 0;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            answered += EnableMenuCommands(sub, receiver);
            continue;
        }
        const UINT id = GetMenuItemID(menu, i);
        if (id == 0 || id == 0xFFFFFFFF)
            continue; // separators
        MenuItemEnabler enabler(menu, i);
        SendMessage(receiver, WM_COMMAND_ENABLE, id, reinterpret_cast<LPARAM>(static_cast<CommandEnabler*>(&enabler)));
        answered += enabler.WasHandled();
    }
    return answered;
}

int AddMenuBarEnabler(HWND frame)
{
    auto id = std::make_shared<int>(0);
    *id = AddIdleHandler([frame, id] {
        if (!IsWindow(frame)) {
            RemoveIdleHandler(*id);
            return;
        }
        EnableMenuCommands(GetMenu(frame), frame);
    });
    return *id;
}

} // namespace vx::ui
