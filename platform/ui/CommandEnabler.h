#pragma once
// Command enabling: the element that shows a command (a menu item, a gadget, a button) asks the
// window that receives the command whether it is enabled, checked and what it is called. The
// window answers WM_COMMAND_ENABLE through the enabler it is handed; a command nobody answers for
// keeps its present state. Frames run the pass over their menu bar at idle time; a window that
// shows a popup menu runs it over the popup on WM_INITMENUPOPUP.
#include <string>

#include "ui/Menu.h"
#include "ui/Messages.h"

namespace vx::ui {

// lParam: the CommandEnabler*; wParam: its command id. Answered by calling the enabler.
constexpr UINT WM_COMMAND_ENABLE = 0x7FFD;

class CommandEnabler {
public:
    explicit CommandEnabler(UINT id)
        : mId(id)
    {
    }
    virtual ~CommandEnabler() = default;
    CommandEnabler(const CommandEnabler&) = delete;
    CommandEnabler& operator=(const CommandEnabler&) = delete;

    UINT GetId() const { return mId; }
    // Each call counts as an answer.
    virtual void Enable(bool enable = true) = 0;
    virtual void SetText(const std::wstring& text) = 0;
    // 0 unchecked, 1 checked.
    virtual void SetCheck(int state) = 0;
    bool WasHandled() const { return mHandled; }

protected:
    void SetHandled() { mHandled = true; }

private:
    UINT mId;
    bool mHandled = false;
};

// The enabler of one command item of a menu (by position).
class MenuItemEnabler : public CommandEnabler {
public:
    MenuItemEnabler(HMENU menu, int position);
    void Enable(bool enable = true) override;
    void SetText(const std::wstring& text) override;
    void SetCheck(int state) override;

private:
    HMENU mMenu;
    int mPosition;
};

// Asks `receiver` (WM_COMMAND_ENABLE, sent) about every command item of `menu` and its submenus.
// Returns how many it answered for.
int EnableMenuCommands(HMENU menu, HWND receiver);

// Runs the pass over the menu bar of `frame` each time its thread's queue runs dry, while the
// frame lives. Returns the idle handler's id.
int AddMenuBarEnabler(HWND frame);

} // namespace vx::ui
