#include "varnex/session/SessionKeeper.h"

#include "foundation/Utf.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "ui/Backend.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Input.h"

namespace varnex {

namespace ui = vx::ui;

namespace {

constexpr int kQuestionText = 100;

ui::DialogTemplate SaveChangesTemplate(const std::wstring& title)
{
    ui::DialogTemplate t;
    t.caption = L"Varnex";
    t.style = ui::WS_POPUP | ui::WS_CAPTION | ui::DS_MODALFRAME | ui::DS_SETFONT;
    t.units = { 0, 0, 232, 64 };
    const DWORD button = ui::WS_CHILD | ui::WS_VISIBLE | ui::WS_TABSTOP;
    t.items = {
        { ui::kStaticClass, L"Save the changes to " + title + L" before closing?", kQuestionText,
            ui::WS_CHILD | ui::WS_VISIBLE | ui::SS_LEFT, { 10, 10, 222, 34 } },
        { ui::kButtonClass, L"&Save", kSaveButton, button | ui::BS_DEFPUSHBUTTON, { 62, 42, 112, 56 } },
        { ui::kButtonClass, L"Do&n't Save", kDontSaveButton, button | ui::BS_PUSHBUTTON, { 116, 42, 168, 56 } },
        { ui::kButtonClass, L"Cancel", kCancelButton, button | ui::BS_PUSHBUTTON, { 172, 42, 222, 56 } },
    };
    return t;
}

} // namespace

CloseChoice AskToSaveChanges(ui::HWND owner, const std::wstring& title)
{
    const ui::INT_PTR answer = ui::DialogBoxIndirectParam(
        SaveChangesTemplate(title), owner,
        [](ui::HWND dialog, UINT message, ui::WPARAM wParam, ui::LPARAM) -> ui::INT_PTR {
            if (message != ui::WM_COMMAND)
                return 0;
            const int id = ui::LOWORD(wParam);
            if (id == kSaveButton || id == kDontSaveButton || id == kCancelButton) {
                ui::EndDialog(dialog, id);
                return 1;
            }
            return 0;
        },
        0);
    return answer == kSaveButton    ? CloseChoice::Save
        : answer == kDontSaveButton ? CloseChoice::DontSave
                                    : CloseChoice::Cancel;
}

SessionKeeper::SessionKeeper(
    vx::host::HrvHostDocument& host, std::string path, std::optional<KeptSession> kept, std::ostream& err)
    : mHost(host)
    , mPath(std::move(path))
    , mKept(std::move(kept))
    , mErr(err)
{
}

bool SessionKeeper::NeedsSave() const
{
    return SessionNeedsSave(mHost);
}

bool SessionKeeper::Save(ui::HWND owner)
{
    std::string failure;
    if (mKept) {
        failure = KeptSessionRefusal(mPath, *mKept);
    } else {
        try {
            SaveSession(mHost, mPath);
            return true;
        } catch (const std::exception& e) {
            failure = "the session was not saved to " + mPath + ": " + e.what();
        }
    }
    mErr << "varnex open: " << failure << "\n";
    ui::MessageBox(owner, KEL::Utf8ToWide(failure), L"Save", ui::MB_OK | ui::MB_ICONERROR);
    return false;
}

bool SessionKeeper::MayClose(ui::HWND owner, const std::wstring& title)
{
    if (!NeedsSave())
        return true;
    switch (AskToSaveChanges(owner, title)) {
    case CloseChoice::Save:
        return Save(owner);
    case CloseChoice::DontSave:
        return true;
    case CloseChoice::Cancel:
        break;
    }
    return false;
}

// ---- Progress of an opening ---------------------------------------------------------------------

namespace {

const wchar_t* const kProgressClass = L"VarnexLoadProgress";
constexpr int kProgressWidth = 420, kProgressHeight = 90;

ui::LRESULT ProgressProc(ui::HWND hwnd, UINT message, ui::WPARAM wParam, ui::LPARAM lParam)
{
    if (message == ui::WM_CLOSE)
        return 0; // the opening goes on; the window goes with it
    return ui::DefWindowProc(hwnd, message, wParam, lParam);
}

} // namespace

LoadProgress::LoadProgress(const std::wstring& title, int steps)
    : mTitle(title)
    , mSteps(steps)
{
    ui::InitCommonControls();
    static const bool registered = ui::RegisterClass({ kProgressClass, 0, ProgressProc });
    (void)registered;
    ui::Monitor monitor;
    ui::GetMonitorInfo(ui::MonitorFromPoint({ 0, 0 }, ui::MONITOR_DEFAULTTOPRIMARY), &monitor);
    const ui::Rect& work = monitor.workArea;
    mWindow = ui::CreateWindowEx(0, kProgressClass, (L"Opening " + title).c_str(), ui::WS_POPUP | ui::WS_CAPTION,
        work.left + (work.Width() - kProgressWidth) / 2, work.top + (work.Height() - kProgressHeight) / 2,
        kProgressWidth, kProgressHeight, nullptr, 0, nullptr);
    if (!mWindow)
        return;
    ui::Rect client;
    ui::GetClientRect(mWindow, &client);
    mText = ui::CreateWindowEx(0, ui::kStaticClass, L"", ui::WS_CHILD | ui::WS_VISIBLE | ui::SS_LEFT, 16, 16,
        client.Width() - 32, client.Height() - 32, mWindow, 1, nullptr);
    mCursor = ui::SetCursor(ui::IDC_WAIT);
    ui::ShowWindow(mWindow, ui::SW_SHOW);
}

LoadProgress::~LoadProgress()
{
    if (!mWindow)
        return;
    ui::SetCursor(mCursor);
    ui::DestroyWindow(mWindow);
}

void LoadProgress::Step(const std::wstring& what)
{
    ++mStep;
    if (!mText)
        return;
    ui::SetWindowText(mText,
        L"Opening " + mTitle + L": " + what + L" (step " + std::to_wstring(mStep) + L" of " + std::to_wstring(mSteps)
            + L")");
    ui::UpdateWindow(mWindow);
    // The steps run on this thread: let the display show the new one before it starts (a frame
    // of the display's clock, then what it drew).
    auto backend = ui::GetBackend();
    if (backend->PumpEvents)
        backend->PumpEvents();
    if (backend->WaitEvents)
        backend->WaitEvents(40);
    if (backend->PumpEvents)
        backend->PumpEvents();
}

std::wstring LoadProgress::Text() const
{
    return mText ? ui::GetWindowText(mText) : std::wstring();
}

} // namespace varnex
