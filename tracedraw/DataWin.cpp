#include "tracedraw/DataWin.h"

#include <cstdio>

#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/ModuleClass.h"
#include "ui/Paint.h"
#include "ui/Timer.h"
#include "ui/Window.h"

namespace VarnDraw {

using namespace vx::ui;

namespace {
// The class of this module's data windows (the members pass their window procedure).
const std::wstring& ClassName(WNDPROC proc)
{
    static const std::wstring name = ModuleClassName(L"VarnDrawDataWin", proc);
    return name;
}

struct KeyFilterState {
    int filter = 0;
    int windows = 0;
    int savedCursor = IDC_ARROW;
    bool mouseInside = false;
    // The library going away takes its filter with it.
    ~KeyFilterState()
    {
        if (filter)
            RemoveKeyFilter(filter);
    }
};
KeyFilterState& Filter()
{
    static KeyFilterState state;
    return state;
}

// While the mouse is over a data window, Ctrl shows the four-arrow cursor and its release
// brings the previous one back.
bool ZoomCursorFilter(const MSG& msg)
{
    KeyFilterState& s = Filter();
    if (!s.mouseInside || (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP))
        return false;
    const bool ctrl
        = msg.wParam == WPARAM(VK_CONTROL) ? msg.message == WM_KEYDOWN : (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (ctrl && GetCursor() != IDC_SIZEALL)
        s.savedCursor = SetCursor(IDC_SIZEALL);
    else if (!ctrl && GetCursor() == IDC_SIZEALL)
        SetCursor(s.savedCursor);
    return false;
}

Point PointOf(LPARAM lParam)
{
    return { static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))),
        static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam))) };
}
} // namespace

const AcceleratorTable& DataWindowAccelerators()
{
    static const AcceleratorTable table {
        { FVIRTKEY, VK_LEFT, static_cast<WORD>(kCmdLineLeft) },
        { FVIRTKEY, VK_RIGHT, static_cast<WORD>(kCmdLineRight) },
        { FVIRTKEY | FSHIFT, VK_LEFT, static_cast<WORD>(kCmdPageLeft) },
        { FVIRTKEY | FSHIFT, VK_RIGHT, static_cast<WORD>(kCmdPageRight) },
    };
    return table;
}

DataWinBase::DataWinBase()
{
    static const bool registered = RegisterClass({ ClassName(&DataWinBase::Proc), CS_DBLCLKS, &DataWinBase::Proc });
    (void)registered;
    KeyFilterState& s = Filter();
    if (s.windows++ == 0)
        s.filter = AddKeyFilter(ZoomCursorFilter);
}

DataWinBase::~DataWinBase()
{
    if (mHwnd && IsWindow(mHwnd)) {
        SetWindowLongPtr(mHwnd, GWLP_USERDATA, 0);
        DestroyWindow(mHwnd);
    }
    // The filter goes with the last data window.
    KeyFilterState& s = Filter();
    if (--s.windows == 0 && s.filter) {
        RemoveKeyFilter(s.filter);
        s.filter = 0;
        s.mouseInside = false;
    }
}

bool DataWinBase::KeyFilterInstalled()
{
    return Filter().filter != 0;
}
bool DataWinBase::MouseInside()
{
    return Filter().mouseInside;
}
void DataWinBase::SetMouseInside(bool inside)
{
    Filter().mouseInside = inside;
}

HWND DataWinBase::CreateWindowFor(HWND parent, const Rect& rect)
{
    mHwnd = CreateWindowEx(0, ClassName(&DataWinBase::Proc).c_str(), L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
        rect.left, rect.top, rect.Width(), rect.Height(), parent, 0, this);
    return mHwnd;
}

LRESULT DataWinBase::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<DataWinBase*>(create->lpCreateParams)->mHwnd = hwnd;
    }
    auto* self = reinterpret_cast<DataWinBase*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProc(hwnd, message, wParam, lParam);
    // No exception crosses the dispatch: a failing handler writes one line and is answered 0.
    try {
        return self->OnMessage(message, wParam, lParam);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "KELBOOTLOG: DataWin message %u: %s\n", message, e.what());
        return 0;
    }
}

// ---- DataWin --------------------------------------------------------------------------------------

template <class Pane> DataWin<Pane>::~DataWin()
{
    if (mHwnd && IsWindow(mHwnd)) {
        SetWindowLongPtr(mHwnd, GWLP_USERDATA, 0);
        this->Close(); // what the window's clean-up does: a preview's source stops
        // The controls are children of the window: they go before it.
        this->mZoom.reset();
        this->mScrollBar.reset();
        DestroyWindow(mHwnd);
    }
    mHwnd = nullptr;
}

template <class Pane> bool DataWin<Pane>::Create(HWND parent, const Rect& rect)
{
    if (!CreateWindowFor(parent, rect))
        return false;
    SetFocus(mHwnd);
    this->AttachWindow(parent, mHwnd);
    Rect client {};
    GetClientRect(mHwnd, &client);
    if (client.Height() > 0)
        this->SizeChanged(client);
    return true;
}

template <class Pane> bool DataWin<Pane>::WsSetTimer(UINT id, UINT periodMs)
{
    return mHwnd && SetTimer(mHwnd, id, periodMs) != 0;
}

template <class Pane> void DataWin<Pane>::WsKillTimer(UINT id)
{
    if (mHwnd)
        KillTimer(mHwnd, id);
}

template <class Pane> void DataWin<Pane>::WsInvalidateRect(const Rect& rect, bool erase)
{
    if (mHwnd)
        InvalidateRect(mHwnd, &rect, erase);
}

template <class Pane> void DataWin<Pane>::WsInvalidateAll(bool erase)
{
    if (mHwnd)
        InvalidateRect(mHwnd, nullptr, erase);
}

template <class Pane> bool DataWin<Pane>::WsScrollPixels(int dx, const Rect& rect)
{
    return mHwnd && ScrollWindowEx(mHwnd, dx, 0, &rect);
}

template <class Pane> bool DataWin<Pane>::WsIsEnabled()
{
    return mHwnd && IsWindowEnabled(mHwnd);
}

template <class Pane> std::unique_ptr<ScrollBar> DataWin<Pane>::WsCreateScrollBar()
{
    return std::make_unique<ScrollBarWin>(mHwnd);
}

template <class Pane> std::unique_ptr<ZoomControl> DataWin<Pane>::WsCreateZoomControl(DWORD argument)
{
    return std::make_unique<ZoomControlWin>(mHwnd, *this, argument);
}

template <class Pane> void DataWin<Pane>::WsMove(const Rect& rect)
{
    if (mHwnd)
        MoveWindow(mHwnd, rect.left, rect.top, rect.Width(), rect.Height(), true);
}

template <class Pane> void DataWin<Pane>::WsUpdate()
{
    if (mHwnd)
        UpdateWindow(mHwnd);
}

template <class Pane> bool DataWin<Pane>::OnCommand(UINT command)
{
    if (command >= kCmdLineLeft && command <= kCmdPageRight) {
        if (this->GetScrollBar())
            this->HScroll(static_cast<int>(command - kCmdLineLeft));
        return true;
    }
    if (auto* zoom = dynamic_cast<ZoomControlWin*>(this->GetZoomControl()); zoom && zoom->RunCommand(command))
        return true;
    if (command >= kCmdRatioFirst && command <= kCmdRatioLast) {
        this->SetRatioCommand(command);
        return true;
    }
    return false;
}

template <class Pane> LRESULT DataWin<Pane>::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PaintDC dc(mHwnd);
        if (!paintingSuppressed)
            this->Paint(dc, dc.PaintRect());
        return 0;
    }
    case WM_SIZE: {
        const int width = LOWORD(static_cast<std::uintptr_t>(lParam));
        const int height = HIWORD(static_cast<std::uintptr_t>(lParam));
        // A zero height does not reach the pane; a failing layout hides nothing else.
        if (width >= 0 && height >= 1)
            this->SizeChanged({ 0, 0, width, height });
        return 0;
    }
    case WM_MOUSEWHEEL: {
        Point p = PointOf(lParam);
        ScreenToClient(mHwnd, &p);
        this->OnMouseWheel(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), p);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!mTracking) {
            TRACKMOUSEEVENT track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = mHwnd;
            mTracking = TrackMouseEvent(&track);
        }
        SetMouseInside(true);
        this->OnMouse(message, static_cast<DWORD>(wParam), PointOf(lParam));
        return 0;
    case WM_MOUSELEAVE:
        mTracking = false;
        SetMouseInside(false);
        this->OnMouseLeave();
        return 0;
    case WM_LBUTTONUP:
        SetFocus(mHwnd);
        this->OnMouse(message, static_cast<DWORD>(wParam), PointOf(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        this->OnMouse(message, static_cast<DWORD>(wParam), PointOf(lParam));
        return 0;
    case WM_TIMER:
        this->OnTimer(static_cast<UINT>(wParam));
        return 0;
    case WM_SETCURSOR: {
        Point cursor = GetCursorPos();
        ScreenToClient(mHwnd, &cursor);
        if (this->OnSetCursor(cursor))
            return 1;
        return DefWindowProc(mHwnd, message, wParam, lParam);
    }
    case WM_KEYDOWN: {
        MSG msg { mHwnd, message, wParam, lParam, 0 };
        if (TranslateAccelerator(mHwnd, DataWindowAccelerators(), msg))
            return 0;
        return DefWindowProc(mHwnd, message, wParam, lParam);
    }
    case WM_HSCROLL:
        this->HScroll(static_cast<int>(LOWORD(wParam)));
        return 0;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam)))
            return 0;
        return DefWindowProc(mHwnd, message, wParam, lParam);
    case WM_INITMENUPOPUP:
        this->FillZoomMenu(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_DESTROY:
        this->Close();
        return 0;
    default:
        return DefWindowProc(mHwnd, message, wParam, lParam);
    }
}

template class DataWin<PreviewDataPane>;
template class DataWin<SimpleDataPane>;

// ---- Preview windows -------------------------------------------------------------------------------

PreviewDataWin::PreviewDataWin(IPaneDocument* viewDocument, DWORD optionWord)
    : DataWin<PreviewDataPane>(optionWord, viewDocument)
{
    // A preview on screen keeps each layer of its strips in a bitmap between paints, so a repaint
    // of what has not changed (the window uncovered, a tip gone) copies the layers instead of
    // drawing them again. Printing and recordings are drawing for output and never use them.
    layerBuffering = true;
}

std::unique_ptr<PreviewControl> PreviewDataWin::WsCreatePreviewControl(DWORD argument)
{
    return std::make_unique<PreviewControlWin>(mHwnd, *this, argument);
}

bool PreviewDataWin::OnCommand(UINT command)
{
    if (auto* control = dynamic_cast<PreviewControlWin*>(GetPreviewControl()); control && control->RunCommand(command))
        return true;
    return DataWin<PreviewDataPane>::OnCommand(command);
}

PreviewDataWinWButtons::PreviewDataWinWButtons(IPaneDocument* viewDocument, DWORD optionWord)
    : PreviewDataWin(viewDocument, optionWord)
{
    traceModeCallback = [this](bool show) { OnTraceMode(show); };
    previewOptions = 15;
}

PreviewDataWinWButtons::~PreviewDataWinWButtons()
{
    traceModeCallback = nullptr;
    for (auto& item : mItems)
        item.drawer->Release();
}

std::unique_ptr<PreviewControl> PreviewDataWinWButtons::WsCreateTraceControl()
{
    return std::make_unique<TraceControlWin>(mHwnd, *this);
}

bool PreviewDataWinWButtons::OnCommand(UINT command)
{
    if (auto* control = dynamic_cast<TraceControlWin*>(GetTraceControl()); control && control->RunCommand(command))
        return true;
    return PreviewDataWin::OnCommand(command);
}

HRESULT PreviewDataWinWButtons::AddTraceDrawer(IVarnRecordDrawer* drawer, int mode)
{
    if (!drawer)
        return E_INVALIDARG;
    int number = 1;
    const HRESULT numberResult = drawer->GetScaleNumber(&number);
    drawer->AddRef();
    mItems.push_back({ 0, 0, drawer, mode == kTraceOverlay });
    const bool source = mode == kTraceOverlay;
    HRESULT hr = numberResult;
    if (!source || mShowSource)
        hr = AddDrawer(0, 0, drawer);
    bool anySource = false;
    for (const auto& item : mItems)
        anySource |= item.sourceTrace;
    if (anySource && GetTraceControl())
        GetTraceControl()->SetModeState(static_cast<TraceControlWin*>(GetTraceControl())->ModeState() | 2);
    // Scale 2 is shown only with a source trace.
    IHostScale* scale2 = nullptr;
    if (GetScale(0, 2, &scale2) == S_OK && scale2) {
        scale2->Show(anySource ? 0xFFFF : 0);
        scale2->Release();
    }
    return hr;
}

void PreviewDataWinWButtons::ClearDrawers()
{
    for (int i = -1; i < ChannelStripCount(); ++i)
        if (ChildPaneBase* strip = Strip(i)) {
            strip->RemoveDrawers(0, kNoIdentity);
            strip->InvalidateAll();
        }
    for (auto& item : mItems)
        item.drawer->Release();
    mItems.clear();
}

void PreviewDataWinWButtons::OnTraceMode(bool showSource)
{
    mShowSource = showSource;
    for (const auto& item : mItems) {
        std::int64_t id = 0;
        item.drawer->GetSourceId(&id);
        if (ChildPaneBase* strip = Strip(item.strip)) {
            DWORD kind = 0;
            item.drawer->GetKind(nullptr, &kind, nullptr, nullptr);
            strip->RemoveDrawers(kind, id);
            strip->InvalidateAll();
        }
    }
    for (const auto& item : mItems)
        if (!item.sourceTrace || mShowSource)
            AddDrawer(item.strip, item.addFlags, item.drawer);
}

} // namespace VarnDraw
