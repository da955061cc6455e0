#pragma once
// The class-library layer the user interface is written against: window objects with message
// tables that fall back to their base class's table, set-up and clean-up steps, a close test
// that asks the children, dialogs whose controls are objects bound to template ids, and edits
// with a validator that filters keystrokes, checks the text on OK and reports a bad one.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/CommandEnabler.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Gdi.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/WindowObject.h"

namespace OWL {

using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::LRESULT;
using vx::ui::WPARAM;
using TCommandEnabler = vx::ui::CommandEnabler;

class TWindow;

// One entry of a message table: a message (and for WM_COMMAND, WM_COMMAND_ENABLE and control
// notifications the id, and the notification code), with the member that handles it.
template <class T> struct TResponse {
    UINT message = 0;
    UINT id = 0; // WM_COMMAND / WM_COMMAND_ENABLE / WM_NOTIFY: the command or control id
    UINT code = 0; // control notifications: the code (EN_CHANGE, BN_CLICKED, ...)
    bool anyCode = true;
    std::function<LRESULT(T&, WPARAM, LPARAM)> handler;
};
template <class T> using TResponseTable = std::vector<TResponse<T>>;

// Entries: a message, a command, a command's enabler, a control's notification.
template <class T> TResponse<T> EvMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM))
{
    return { message, 0, 0, true, [handler](T& t, WPARAM w, LPARAM l) { return (t.*handler)(w, l); } };
}
template <class T> TResponse<T> EvCommand(UINT id, void (T::*handler)())
{
    return { vx::ui::WM_COMMAND, id, 0, true, [handler](T& t, WPARAM, LPARAM) {
                (t.*handler)();
                return LRESULT(0);
            } };
}
template <class T> TResponse<T> EvCommandEnable(UINT id, void (T::*handler)(TCommandEnabler&))
{
    return { vx::ui::WM_COMMAND_ENABLE, id, 0, true, [handler](T& t, WPARAM, LPARAM l) {
                (t.*handler)(*reinterpret_cast<TCommandEnabler*>(l));
                return LRESULT(0);
            } };
}
template <class T> TResponse<T> EvChildNotify(UINT id, UINT code, void (T::*handler)())
{
    return { vx::ui::WM_COMMAND, id, code, false, [handler](T& t, WPARAM, LPARAM) {
                (t.*handler)();
                return LRESULT(0);
            } };
}

// Looks the message up in `table`; true (with the handler's result) when an entry handled it.
template <class T>
bool DispatchTable(const TResponseTable<T>& table, T& self, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    for (const TResponse<T>& r : table) {
        if (r.message != message)
            continue;
        if (message == vx::ui::WM_COMMAND || message == vx::ui::WM_COMMAND_ENABLE) {
            if (vx::ui::LOWORD(wParam) != r.id || (!r.anyCode && vx::ui::HIWORD(wParam) != r.code))
                continue;
        }
        result = r.handler(self, wParam, lParam);
        return true;
    }
    return false;
}

// A validator: a character filter for typing, a check of the whole text, the report of a bad
// text, and the transfer of the value between the text and a buffer.
class TValidator {
public:
    static constexpr unsigned voTransfer = 2;
    enum class TTransferDirection { GetData = 0, SetData = 1 };

    virtual ~TValidator() = default;
    virtual bool IsValidInput(wchar_t character) const = 0;
    virtual bool IsValid(const std::wstring& text) const = 0;
    virtual void Error(HWND owner) = 0;
    virtual std::size_t Transfer(std::wstring& text, void* buffer, TTransferDirection direction) = 0;

    unsigned Options() const { return mOptions; }
    void SetOption(unsigned option) { mOptions |= option; }

private:
    unsigned mOptions = 0;
};

// A window object. Made with its parent (children register with it) and created either by
// Create (a window of this layer's class) or, for a control of a dialog, by attaching to the
// dialog's control of its id when the dialog is made. Messages go through the object's table
// (Dispatch, chained to the base class's) and then to the window's default handling.
class TWindow : public vx::ui::WindowObject {
public:
    struct TAttr {
        DWORD style = vx::ui::WS_CHILD | vx::ui::WS_VISIBLE;
        DWORD exStyle = 0;
        int x = 0, y = 0, w = 0, h = 0;
        int id = 0;
    };

    explicit TWindow(TWindow* parent, std::wstring title = {});
    ~TWindow() override;

    // Makes the window (with its children); false when it cannot be made.
    virtual bool Create();
    // Destroys the window (the object stays).
    void Destroy();

    // Called once the window exists (after its children are made): fills it. The base creates
    // the children that are not yet made.
    virtual void SetupWindow();
    // Called before the window is destroyed.
    virtual void CleanupWindow() { }
    // Whether the window may close: every child's answer (all must agree).
    virtual bool CanClose();
    // Closes the window when it may (WM_CLOSE's handling).
    virtual void CloseWindow(int result = 0);
    // Paints the client area (WM_PAINT).
    virtual void Paint(vx::ui::DC& dc, bool erase, const vx::ui::Rect& area);

    TWindow* GetParentObject() const { return mParent; }
    const std::vector<TWindow*>& Children() const { return mChildren; }
    TAttr& Attr() { return mAttr; }
    const std::wstring& Title() const { return mTitle; }
    int GetId() const { return mAttr.id; }

    bool ShowWindow(int command) { return vx::ui::ShowWindow(GetHandle(), command); }
    std::wstring GetWindowText() const { return vx::ui::GetWindowText(GetHandle()); }
    void SetWindowText(const std::wstring& text) { vx::ui::SetWindowText(GetHandle(), text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return vx::ui::SendMessage(GetHandle(), message, wParam, lParam);
    }
    void Invalidate(bool erase = true) { vx::ui::InvalidateRect(GetHandle(), nullptr, erase); }

    // The object's message table; a class with its own table overrides this, looks in it and
    // falls back to its base's Dispatch.
    virtual bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void WindowDestroyed() override;
    // Binds the children that stand for controls of a dialog template to their windows.
    void AttachChildren();
    bool IsCreatedHere() const { return mCreatedHere; }

private:
    friend class TDialog;
    void RemoveChild(TWindow* child);
    static LRESULT ClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    TWindow* mParent;
    std::vector<TWindow*> mChildren;
    std::wstring mTitle;
    TAttr mAttr;
    bool mCreatedHere = false;
    bool mSetUp = false;
};

// A control of a dialog template, bound by its id, or made by Create with the given class.
class TControl : public TWindow {
public:
    TControl(TWindow* parent, int resourceId, std::wstring className = {});
    bool Create() override;
    const std::wstring& ClassName() const { return mClassName; }

private:
    std::wstring mClassName;
};

class TStatic : public TControl {
public:
    TStatic(TWindow* parent, int resourceId)
        : TControl(parent, resourceId, vx::ui::kStaticClass)
    {
    }
    void SetText(const std::wstring& text) { SetWindowText(text); }
};

class TButton : public TControl {
public:
    TButton(TWindow* parent, int resourceId)
        : TControl(parent, resourceId, vx::ui::kButtonClass)
    {
    }
};

// An edit control with an optional validator (owned): keystrokes the validator's filter refuses
// are dropped; on OK an invalid text makes the dialog refuse to close and is reported through
// WM_CHILDINVALID (the validator's error, then the focus goes back to the field).
class TEdit : public TControl {
public:
    TEdit(TWindow* parent, int resourceId, unsigned textLimit = 0);
    void SetValidator(std::unique_ptr<TValidator> validator);
    TValidator* GetValidator() const { return mValidator.get(); }
    // The text passes the validator (always without one); `reportErrors` sends WM_CHILDINVALID
    // to the field when it does not.
    bool IsValid(bool reportErrors = false);
    bool CanClose() override;
    void SetupWindow() override;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    LRESULT EvChar(WPARAM wParam, LPARAM lParam);
    // Reports the bad text (the validator's Error) and gives the field the focus again.
    virtual LRESULT EvChildInvalid(WPARAM wParam, LPARAM lParam);

private:
    std::unique_ptr<TValidator> mValidator;
    unsigned mTextLimit;
};

// A dialog from a template (by module and id, or given): its controls are the child objects
// bound by id; OK closes it only when every child may close, Cancel always.
class TDialog : public TWindow {
public:
    TDialog(TWindow* parent, vx::ui::DialogTemplate dialog);
    TDialog(TWindow* parent, HMODULE module, WORD resourceId);
    TDialog(HWND parentWindow, vx::ui::DialogTemplate dialog);

    // Modal: the result EndDialog was given (IDOK, IDCANCEL, ...), or -1 when it cannot be made.
    virtual vx::ui::INT_PTR Execute();
    // Modeless.
    bool Create() override;
    void CloseWindow(int result = vx::ui::IDOK) override;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // IDOK: closes when CanClose agrees. IDCANCEL: closes.
    virtual void CmOk();
    virtual void CmCancel();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    vx::ui::INT_PTR DialogFunction(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    std::optional<vx::ui::DialogTemplate> mTemplate;
    HWND mParentWindow = nullptr;
    bool mModal = false;
};

} // namespace OWL
