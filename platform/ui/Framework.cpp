#include "ui/Framework.h"

#include <algorithm>

#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Paint.h"
#include "ui/Resources.h"
#include "ui/Window.h"

namespace OWL {

namespace ui = vx::ui;

namespace {

constexpr const wchar_t* kWindowClass = L"OWLWindow";

} // namespace

// ---- TWindow ----------------------------------------------------------------------------------

TWindow::TWindow(TWindow* parent, std::wstring title)
    : mParent(parent)
    , mTitle(std::move(title))
{
    if (mParent)
        mParent->mChildren.push_back(this);
    else
        mAttr.style = ui::WS_OVERLAPPED | ui::WS_CAPTION;
}

TWindow::~TWindow()
{
    for (TWindow* child : mChildren)
        child->mParent = nullptr;
    if (mParent)
        mParent->RemoveChild(this);
    HWND hwnd = GetHandle();
    Detach();
    if (hwnd && mCreatedHere && ui::IsWindow(hwnd))
        ui::DestroyWindow(hwnd);
}

void TWindow::RemoveChild(TWindow* child)
{
    mChildren.erase(std::remove(mChildren.begin(), mChildren.end(), child), mChildren.end());
}

LRESULT TWindow::ClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The object takes the window over at its first message; from then on this is only the
    // default handling behind it.
    if (message == ui::WM_NCCREATE) {
        auto* create = reinterpret_cast<ui::CREATESTRUCTW*>(lParam);
        if (auto* self = static_cast<TWindow*>(create->lpCreateParams); self && !self->GetHandle())
            self->Attach(hwnd);
    }
    return ui::DefWindowProc(hwnd, message, wParam, lParam);
}

bool TWindow::Create()
{
    if (GetHandle())
        return true;
    static const bool registered = ui::RegisterClass({ kWindowClass, ui::CS_HREDRAW | ui::CS_VREDRAW, &ClassProc });
    (void)registered;
    HWND parent = mParent ? mParent->GetHandle() : nullptr;
    mCreatedHere = true;
    HWND hwnd = ui::CreateWindowEx(mAttr.exStyle, kWindowClass, mTitle.c_str(), mAttr.style, mAttr.x, mAttr.y, mAttr.w,
        mAttr.h, parent, mAttr.id, this);
    if (!hwnd) {
        mCreatedHere = false;
        return false;
    }
    return true;
}

void TWindow::Destroy()
{
    if (HWND hwnd = GetHandle())
        ui::DestroyWindow(hwnd);
}

void TWindow::SetupWindow()
{
    mSetUp = true;
    for (TWindow* child : std::vector<TWindow*>(mChildren))
        if (!child->GetHandle())
            child->Create();
}

bool TWindow::CanClose()
{
    return std::all_of(
        mChildren.begin(), mChildren.end(), [](TWindow* child) { return !child->GetHandle() || child->CanClose(); });
}

void TWindow::CloseWindow(int)
{
    if (CanClose())
        Destroy();
}

void TWindow::Paint(ui::DC&, bool, const ui::Rect&) { }

bool TWindow::Dispatch(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

void TWindow::AttachChildren()
{
    for (TWindow* child : std::vector<TWindow*>(mChildren)) {
        if (child->GetHandle() || child->GetId() == 0)
            continue;
        if (HWND control = ui::GetDlgItem(GetHandle(), child->GetId()); control && child->Attach(control))
            child->SetupWindow();
    }
}

LRESULT TWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (Dispatch(message, wParam, lParam, result))
        return result;
    const bool ownClass = mCreatedHere && ui::GetClassName(GetHandle()) == kWindowClass;
    switch (message) {
    case ui::WM_CREATE:
        result = DefaultProc(message, wParam, lParam);
        if (result != -1 && ownClass)
            SetupWindow();
        return result;
    case ui::WM_PAINT:
        if (ownClass) {
            ui::PaintDC dc(GetHandle());
            ui::Rect area;
            ui::GetClientRect(GetHandle(), &area);
            Paint(dc, true, area);
            return 0;
        }
        break;
    case ui::WM_CLOSE:
        if (ownClass) {
            CloseWindow();
            return 0;
        }
        break;
    case ui::WM_DESTROY:
        CleanupWindow();
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

void TWindow::WindowDestroyed()
{
    mSetUp = false;
    mCreatedHere = false;
}

// ---- Controls ---------------------------------------------------------------------------------

TControl::TControl(TWindow* parent, int resourceId, std::wstring className)
    : TWindow(parent)
    , mClassName(std::move(className))
{
    Attr().id = resourceId;
    Attr().style = ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_TABSTOP;
}

bool TControl::Create()
{
    if (GetHandle())
        return true;
    if (mClassName.empty() || !GetParentObject() || !GetParentObject()->GetHandle())
        return false;
    ui::InitCommonControls();
    const TAttr& a = Attr();
    HWND hwnd = ui::CreateWindowEx(a.exStyle, mClassName.c_str(), Title().c_str(), a.style | ui::WS_CHILD, a.x, a.y,
        a.w, a.h, GetParentObject()->GetHandle(), a.id, nullptr);
    if (!hwnd || !Attach(hwnd))
        return false;
    SetupWindow();
    return true;
}

TEdit::TEdit(TWindow* parent, int resourceId, unsigned textLimit)
    : TControl(parent, resourceId, ui::kEditClass)
    , mTextLimit(textLimit)
{
}

void TEdit::SetValidator(std::unique_ptr<TValidator> validator)
{
    mValidator = std::move(validator);
}

void TEdit::SetupWindow()
{
    TControl::SetupWindow();
    if (mTextLimit)
        SendMessage(ui::EM_LIMITTEXT, mTextLimit, 0);
}

bool TEdit::IsValid(bool reportErrors)
{
    if (!mValidator || mValidator->IsValid(GetWindowText()))
        return true;
    if (reportErrors)
        SendMessage(ui::WM_CHILDINVALID, reinterpret_cast<WPARAM>(GetHandle()), 0);
    return false;
}

bool TEdit::CanClose()
{
    return TControl::CanClose() && IsValid(true);
}

bool TEdit::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == ui::WM_CHAR && mValidator) {
        const auto c = static_cast<wchar_t>(wParam);
        if (c >= L' ' && !mValidator->IsValidInput(c)) {
            result = EvChar(wParam, lParam);
            return true;
        }
        return false;
    }
    if (message == ui::WM_CHILDINVALID) {
        result = EvChildInvalid(wParam, lParam);
        return true;
    }
    return TControl::Dispatch(message, wParam, lParam, result);
}

LRESULT TEdit::EvChar(WPARAM, LPARAM)
{
    // A character the validator refuses never reaches the text.
    return 0;
}

LRESULT TEdit::EvChildInvalid(WPARAM, LPARAM)
{
    if (mValidator)
        mValidator->Error(GetParentObject() ? GetParentObject()->GetHandle() : nullptr);
    ui::SetFocus(GetHandle());
    return 0;
}

// ---- TDialog ----------------------------------------------------------------------------------

TDialog::TDialog(TWindow* parent, ui::DialogTemplate dialog)
    : TWindow(parent)
    , mTemplate(std::move(dialog))
{
}

TDialog::TDialog(TWindow* parent, HMODULE module, WORD resourceId)
    : TWindow(parent)
    , mTemplate(ui::FindDialogTemplate(module, resourceId))
{
}

TDialog::TDialog(HWND parentWindow, ui::DialogTemplate dialog)
    : TWindow(nullptr)
    , mTemplate(std::move(dialog))
    , mParentWindow(parentWindow)
{
}

ui::INT_PTR TDialog::DialogFunction(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    if (message != ui::WM_INITDIALOG)
        return 0; // the object's table has seen it already
    Attach(hwnd);
    mCreatedHere = true;
    AttachChildren();
    SetupWindow();
    return 1;
}

ui::INT_PTR TDialog::Execute()
{
    if (!mTemplate || GetHandle())
        return -1;
    mModal = true;
    HWND owner = GetParentObject() ? GetParentObject()->GetHandle() : mParentWindow;
    const ui::INT_PTR result = ui::DialogBoxIndirectParam(
        *mTemplate, owner,
        [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            return DialogFunction(hwnd, message, wParam, lParam);
        },
        0);
    mModal = false;
    return result;
}

bool TDialog::Create()
{
    if (GetHandle())
        return true;
    if (!mTemplate)
        return false;
    mModal = false;
    HWND owner = GetParentObject() ? GetParentObject()->GetHandle() : mParentWindow;
    return ui::CreateDialogIndirectParam(
               *mTemplate, owner,
               [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
                   return DialogFunction(hwnd, message, wParam, lParam);
               },
               0)
        != nullptr;
}

void TDialog::CloseWindow(int result)
{
    if (!GetHandle())
        return;
    if (mModal)
        ui::EndDialog(GetHandle(), result);
    else
        Destroy();
}

void TDialog::CmOk()
{
    if (CanClose())
        CloseWindow(ui::IDOK);
}

void TDialog::CmCancel()
{
    CloseWindow(ui::IDCANCEL);
}

bool TDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == ui::WM_COMMAND && ui::HIWORD(wParam) == ui::BN_CLICKED) {
        if (ui::LOWORD(wParam) == ui::IDOK) {
            CmOk();
            result = 0;
            return true;
        }
        if (ui::LOWORD(wParam) == ui::IDCANCEL) {
            CmCancel();
            result = 0;
            return true;
        }
    }
    return TWindow::Dispatch(message, wParam, lParam, result);
}

LRESULT TDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == ui::WM_CLOSE) {
        CmCancel();
        return 0;
    }
    return TWindow::WindowProc(message, wParam, lParam);
}

} // namespace OWL
