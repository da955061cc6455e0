// The class-library layer: message tables that fall back to their base's, set-up and clean-up of
// windows and their children, the close test, and dialogs whose edits validate on OK.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/CommandEnabler.h"
#include "ui/EventLoop.h"
#include "ui/Framework.h"
#include "ui/Input.h"

using namespace vx::ui;

namespace {

std::vector<std::string> gLog;

class BaseWindow : public OWL::TWindow {
public:
    using TWindow::TWindow;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        static const OWL::TResponseTable<BaseWindow> table = {
            OWL::EvMessage<BaseWindow>(WM_SIZE, &BaseWindow::EvSize),
            OWL::EvCommand<BaseWindow>(100, &BaseWindow::CmShared),
            OWL::EvCommandEnable<BaseWindow>(100, &BaseWindow::CeShared),
        };
        return OWL::DispatchTable(table, *this, message, wParam, lParam, result)
            || TWindow::Dispatch(message, wParam, lParam, result);
    }
    void SetupWindow() override
    {
        TWindow::SetupWindow();
        gLog.push_back("setup " + Name());
    }
    void CleanupWindow() override { gLog.push_back("cleanup " + Name()); }
    bool CanClose() override { return allowClose && TWindow::CanClose(); }
    bool allowClose = true;

protected:
    virtual std::string Name() const { return "base"; }
    LRESULT EvSize(WPARAM, LPARAM lParam)
    {
        gLog.push_back(Name() + " size " + std::to_string(LOWORD(lParam)));
        return 0;
    }
    void CmShared() { gLog.push_back("base command"); }
    void CeShared(OWL::TCommandEnabler& enabler) { enabler.Enable(false); }
};

class ViewWindow : public BaseWindow {
public:
    using BaseWindow::BaseWindow;
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        static const OWL::TResponseTable<ViewWindow> table = {
            OWL::EvCommand<ViewWindow>(101, &ViewWindow::CmOwn),
            OWL::EvChildNotify<ViewWindow>(7, EN_CHANGE, &ViewWindow::OnChanged),
        };
        return OWL::DispatchTable(table, *this, message, wParam, lParam, result)
            || BaseWindow::Dispatch(message, wParam, lParam, result);
    }

protected:
    std::string Name() const override { return GetParentObject() ? "child" : "view"; }
    void CmOwn() { gLog.push_back("own command"); }
    void OnChanged() { gLog.push_back("field changed"); }
};

TEST(ClassLibrary, TablesFallBackToTheBaseAndWindowsSetUpTheirChildren)
{
    gLog.clear();
    ViewWindow view(nullptr, L"View");
    view.Attr().w = 300;
    view.Attr().h = 200;
    ViewWindow child(&view);
    child.Attr().w = 50;
    child.Attr().h = 20;
    ASSERT_TRUE(view.Create());
    ASSERT_TRUE(child.GetHandle()); // made by the parent's set-up
    EXPECT_TRUE(IsChild(view.GetHandle(), child.GetHandle()));
    // Set up at WM_CREATE, the children first (made by their parent's set-up), before the first WM_SIZE.
    EXPECT_EQ(gLog, (std::vector<std::string> { "setup child", "child size 50", "setup view", "view size 300" }));

    gLog.clear();
    view.SendMessage(WM_COMMAND, MAKEWPARAM(101, 0));
    view.SendMessage(WM_COMMAND, MAKEWPARAM(100, 0));
    view.SendMessage(WM_COMMAND, MAKEWPARAM(7, EN_CHANGE));
    view.SendMessage(WM_COMMAND, MAKEWPARAM(7, EN_SETFOCUS)); // another code: no entry
    view.SendMessage(WM_COMMAND, MAKEWPARAM(555, 0)); // nobody's: default handling
    EXPECT_EQ(gLog, (std::vector<std::string> { "own command", "base command", "field changed" }));

    // The base's enabler entry answers for the view's menu.
    HMENU bar = CreateMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenu(sub, MF_STRING, 100, L"Shared");
    AppendMenu(sub, MF_STRING, 101, L"Own");
    AppendMenu(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"Menu");
    EXPECT_EQ(EnableMenuCommands(bar, view.GetHandle()), 1);
    EXPECT_EQ(GetMenuState(bar, 100, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);
    EXPECT_EQ(GetMenuState(bar, 101, MF_BYCOMMAND) & MF_GRAYED, 0);
    DestroyMenu(bar);

    // Closing asks every child; a refusing child keeps the window open.
    gLog.clear();
    child.allowClose = false;
    view.SendMessage(WM_CLOSE);
    EXPECT_TRUE(IsWindow(view.GetHandle()));
    child.allowClose = true;
    view.SendMessage(WM_CLOSE);
    EXPECT_FALSE(view.GetHandle());
    EXPECT_FALSE(child.GetHandle());
    EXPECT_EQ(gLog, (std::vector<std::string> { "cleanup view", "cleanup child" }));
}

// Digits only, between 1 and 99.
class RangeValidator : public OWL::TValidator {
public:
    bool IsValidInput(wchar_t c) const override { return c >= L'0' && c <= L'9'; }
    bool IsValid(const std::wstring& text) const override
    {
        if (text.empty() || text.size() > 2)
            return false;
        const int v = std::stoi(text);
        return v >= 1 && v <= 99;
    }
    void Error(HWND owner) override
    {
        ++errors;
        errorOwner = owner;
    }
    std::size_t Transfer(std::wstring&, void*, TTransferDirection) override { return 0; }
    int errors = 0;
    HWND errorOwner = nullptr;
};

DialogTemplate FieldTemplate()
{
    DialogTemplate t;
    t.caption = L"Field";
    t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_SETFONT;
    t.units = { 0, 0, 120, 60 };
    t.items = {
        { kEditClass, L"", 10, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 5, 5, 60, 17 } },
        { kEditClass, L"", 11, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 5, 20, 60, 32 } },
        { kButtonClass, L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, { 5, 40, 50, 54 } },
        { kButtonClass, L"Cancel", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, { 60, 40, 110, 54 } },
    };
    return t;
}

TEST(ClassLibrary, AnEditsValidatorFiltersKeysAndKeepsTheDialogOpenUntilTheTextIsValid)
{
    OWL::TDialog dialog(static_cast<HWND>(nullptr), FieldTemplate());
    OWL::TEdit value(&dialog, 10, 10);
    OWL::TEdit free(&dialog, 11); // no validator: anything goes
    auto owned = std::make_unique<RangeValidator>();
    RangeValidator* validator = owned.get();
    value.SetValidator(std::move(owned));

    int step = 0;
    std::wstring typed;
    HWND focusAfterRefusal = nullptr, field = nullptr;
    SetDialogScript([&](HWND hwnd) {
        field = value.GetHandle();
        ASSERT_EQ(field, GetDlgItem(hwnd, 10));
        ASSERT_EQ(free.GetHandle(), GetDlgItem(hwnd, 11));
        for (wchar_t c : std::wstring(L"1x2"))
            value.SendMessage(WM_CHAR, c);
        for (wchar_t c : std::wstring(L"ab"))
            free.SendMessage(WM_CHAR, c);
        typed = value.GetWindowText();
        // 12 is fine, but first an empty field: OK refuses and reports.
        value.SetWindowText(L"");
        SetFocus(free.GetHandle());
        SendMessage(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        step = 1;
        focusAfterRefusal = GetFocus();
        value.SetWindowText(L"42");
        SendMessage(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        step = 2;
    });
    const INT_PTR result = dialog.Execute();
    SetDialogScript({});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(typed, L"12"); // the letter never reached the text
    EXPECT_EQ(validator->errors, 1);
    EXPECT_EQ(focusAfterRefusal, field); // back to the bad field
    EXPECT_FALSE(value.GetHandle()); // the controls let go with the dialog

    // Cancel closes whatever the fields hold.
    SetDialogScript([&](HWND hwnd) {
        value.SetWindowText(L"");
        SendMessage(GetDlgItem(hwnd, IDCANCEL), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.Execute(), IDCANCEL);
    SetDialogScript({});
    EXPECT_EQ(validator->errors, 1);
}

} // namespace
