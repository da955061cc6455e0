#include "tracedraw/PaneControls.h"

#include <iomanip>
#include <sstream>

#include "foundation/BestRationalApproximation.h"
#include "tracedraw/DataPane.h"
#include "tracedraw/PreviewPane.h"
#include "tracedraw/StripResources.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Resources.h"
#include "ui/Window.h"

namespace VarnDraw {

using vx::ui::HWND;
using vx::ui::Rect;

namespace {
struct RatioItem {
    UINT command;
    const wchar_t* text;
    double ratio;
};
constexpr RatioItem kRatios[] = {
    { 1130, L"     x10", 0.1 },
    { 1131, L"     x5", 0.2 },
    { 1132, L"     x2 ", 0.5 },
    { 1133, L"    1:1 ", 1 },
    { 1134, L"    2:1 ", 2 },
    { 1135, L"    5:1 ", 5 },
    { 1136, L"   10:1 ", 10 },
    { 1137, L"   20:1 ", 20 },
    { 1138, L"   50:1 ", 50 },
    { 1139, L"  100:1 ", 100 },
    { 1140, L"  200:1 ", 200 },
    { 1141, L"  500:1 ", 500 },
    { 1142, L"   1k:1 ", 1000 },
    { 1143, L"   2k:1 ", 2000 },
    { 1144, L"   5k:1 ", 5000 },
    { 1145, L"  10k:1 ", 10000 },
    { 1146, L"  20k:1 ", 20000 },
    { 1147, L"  50k:1 ", 50000 },
    { 1148, L" 100k:1 ", 100000 },
    { 1149, L" 200k:1 ", 200000 },
    { 1150, L" 500k:1 ", 500000 },
};
constexpr vx::ui::Size kButton { 18, 16 };

Rect WindowRectIn(HWND hwnd)
{
    Rect r {};
    vx::ui::GetWindowRect(hwnd, &r);
    return r;
}

void TellOwner(HWND strip, vx::ui::WPARAM value)
{
    vx::ui::SendMessage(vx::ui::GetParent(strip), kStripButtonMessage, value, 0);
}

// The sampling button's tip without a sampling device names the device.
std::wstring NoDeviceTip()
{
    std::wstring text = StripText(kTipNoSamplingDevice);
    if (const auto at = text.find(L"%1"); at != std::wstring::npos)
        text.replace(at, 2, L"Trivane");
    return text;
}
} // namespace

std::wstring ZoomControl::FormatRatio(const KEL::Rational& ratio)
{
    const double r = static_cast<double>(ratio.Numerator()) / static_cast<double>(ratio.Denominator());
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(3);
    if (r > 999.999)
        out << r / 1000 << L"k:1";
    else if (r >= 1)
        out << r << L":1";
    else if (r > 0)
        out << L"x" << 1 / r;
    else
        out << L"x?";
    return out.str();
}

bool ZoomControl::RatioForCommand(UINT command, KEL::Rational& ratio)
{
    if (command < kCmdRatioFirst || command > kCmdRatioLast)
        return false;
    std::int32_t n = 0, d = 1;
    KEL::BestRationalApproximation(kRatios[command - kCmdRatioFirst].ratio, &n, &d);
    ratio = KEL::Rational(n, d);
    return true;
}

vx::ui::HMENU CreateCompressExpandMenu()
{
    vx::ui::HMENU menu = vx::ui::CreatePopupMenu();
    for (const RatioItem& item : kRatios)
        vx::ui::AppendMenu(menu, vx::ui::MF_STRING, item.command, item.text);
    return menu;
}

void ControlWindow::Place(const Rect& rect)
{
    if (!mHwnd)
        return;
    if (rect.IsEmpty()) {
        vx::ui::ShowWindow(mHwnd, vx::ui::SW_HIDE);
        return;
    }
    vx::ui::MoveWindow(mHwnd, rect.left, rect.top, rect.Width(), rect.Height(), true);
    vx::ui::ShowWindow(mHwnd, vx::ui::SW_SHOWNA);
}

namespace {
template <class Window> void PlaceGadgetWindow(Window& w, const Rect& rect)
{
    struct Placer : ControlWindow {
        using ControlWindow::ControlWindow;
        using ControlWindow::Place;
    } placer(w.GetHandle());
    placer.Place(rect);
}
} // namespace

// ---- Scroll bar ----------------------------------------------------------------------------------

ScrollBarWin::ScrollBarWin(HWND parent)
{
    vx::ui::InitCommonControls();
    // Child id 100, no size yet, horizontal, without group and tab stop.
    mHwnd = vx::ui::CreateWindowEx(
        0, vx::ui::kScrollBarClass, L"", vx::ui::WS_CHILD | vx::ui::WS_VISIBLE, 0, 0, 0, 0, parent, 100, nullptr);
}

ScrollBarWin::~ScrollBarWin()
{
    if (mHwnd && vx::ui::IsWindow(mHwnd))
        vx::ui::DestroyWindow(mHwnd);
}

bool ScrollBarWin::IsEnabled() const
{
    return mHwnd && vx::ui::IsWindowEnabled(mHwnd);
}

void ScrollBarWin::Enable(bool enable)
{
    if (mHwnd)
        vx::ui::EnableWindow(mHwnd, enable);
}

void ScrollBarWin::InvalidateWindow(bool erase)
{
    if (mHwnd)
        vx::ui::InvalidateRect(mHwnd, nullptr, erase);
}

int ScrollBarWin::GetPosition() const
{
    return mHwnd ? vx::ui::GetScrollPos(mHwnd, vx::ui::SB_CTL) : 0;
}

void ScrollBarWin::SetPosition(int position, bool redraw)
{
    if (mHwnd)
        vx::ui::SetScrollPos(mHwnd, vx::ui::SB_CTL, position, redraw);
}

void ScrollBarWin::GetPageMagnitude(int& line, int& page) const
{
    line = mLine;
    page = mPage;
}

void ScrollBarWin::SetPageMagnitude(int line, int page)
{
    if (!mHwnd)
        return;
    mLine = line;
    mPage = page;
}

bool ScrollBarWin::GetScrollInfo(vx::ui::SCROLLINFO& info) const
{
    return mHwnd && vx::ui::GetScrollInfo(mHwnd, vx::ui::SB_CTL, &info);
}

void ScrollBarWin::SetScrollInfo(const vx::ui::SCROLLINFO& info, bool redraw)
{
    if (mHwnd)
        vx::ui::SetScrollInfo(mHwnd, vx::ui::SB_CTL, info, redraw);
}

// ---- Zoom strip ----------------------------------------------------------------------------------

ZoomControlWin::ZoomControlWin(HWND parent, DataPane& pane, DWORD flags)
    : UxNoEraseGadgetWindow(parent, { 0, 0 })
    , mPane(pane)
{
    using KELControls::UxSizableButtonGadget;
    SetModule(StripModule());
    if (flags & 0x80000000u)
        mShowLatest = Insert(std::make_unique<UxSizableButtonGadget>(kCmdShowLatest, WORD(kCmdShowLatest), kButton));
    if (flags & 0x20000000u)
        Insert(std::make_unique<UxSizableButtonGadget>(kCmdAutoScaleX, WORD(kCmdAutoScaleX), kButton));
    Insert(std::make_unique<UxSizableButtonGadget>(kCmdCompress, WORD(kCmdCompress), kButton));
    mMenu = CreateCompressExpandMenu();
    // The ratio gadget shows only its text, and keeps the width of its widest one.
    mRatioButton = Insert(
        std::make_unique<KELControls::UxMenuGadget>(kCmdRatioMenu, mMenu, parent, WORD(1), kButton, L" 5000:1 "));
    Insert(std::make_unique<UxSizableButtonGadget>(kCmdExpand, WORD(kCmdExpand), kButton));
    SetRatio(pane.Compression());
    EnableCommands();
}

ZoomControlWin::~ZoomControlWin()
{
    if (mMenu)
        vx::ui::DestroyMenu(mMenu);
}

void ZoomControlWin::SetRect(const Rect& rect)
{
    PlaceGadgetWindow(*this, rect);
}

bool ZoomControlWin::IsEnabled() const
{
    return mEnabled;
}

void ZoomControlWin::Enable(bool enable)
{
    if (!GetHandle())
        return;
    mEnabled = enable;
    vx::ui::EnableWindow(GetHandle(), enable);
}

void ZoomControlWin::InvalidateWindow(bool erase)
{
    if (GetHandle())
        vx::ui::InvalidateRect(GetHandle(), nullptr, erase);
}

void ZoomControlWin::SetRatio(const KEL::Rational& ratio)
{
    SetRatioText(FormatRatio(ratio));
}

vx::ui::Size ZoomControlWin::GetSize() const
{
    const Rect r = WindowRectIn(GetHandle());
    return { r.Width(), r.Height() };
}

void ZoomControlWin::SetRatioText(const std::wstring& text)
{
    mRatioText = text;
    if (mRatioButton)
        mRatioButton->ChangeText(text);
    InvalidateWindow(false);
}

void ZoomControlWin::SetSamplingState(bool following)
{
    const int wanted = mPane.SamplingSwitch() && !following ? 3 : 0;
    if (wanted == mShowLatestState)
        return;
    mShowLatestState = wanted;
    if (!mShowLatest)
        return;
    if (wanted == 3) {
        mShowLatest->SetFlash(1);
        mShowLatest->Start(0.1);
    } else {
        mShowLatest->Stop();
        mShowLatest->SetFlash(0);
    }
}

bool ZoomControlWin::RunCommand(UINT command)
{
    switch (command) {
    case kCmdExpand:
        mPane.Zoom(true);
        return true;
    case kCmdCompress:
        mPane.Zoom(false);
        return true;
    case kCmdShowLatest:
        mPane.JumpToLatest();
        return true;
    case kCmdAutoScaleX:
        mPane.FitHorizontally();
        return true;
    default:
        if (command >= kCmdRatioFirst && command <= kCmdRatioLast) {
            mPane.SetRatioCommand(command);
            return true;
        }
        return false;
    }
}

void ZoomControlWin::CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler)
{
    struct Entry {
        UINT command;
        int state; // the pane's command-state query
        UINT tip;
    };
    static constexpr Entry kEntries[] = {
        { kCmdExpand, 1, kTipExpand },
        { kCmdCompress, 2, kTipCompress },
        { kCmdRatioMenu, 3, kTipRatioMenu },
        { kCmdAutoScaleX, 4, kTipAutoScaleX },
        { kCmdShowLatest, 5, kTipShowLatest },
    };
    for (const Entry& entry : kEntries)
        if (enabler.GetId() == entry.command) {
            enabler.Enable(mEnabled && mPane.CommandEnabled(entry.state));
            enabler.SetTooltip(StripText(entry.tip));
            return;
        }
    if (enabler.GetId() == kCmdScrollWhileSampling)
        enabler.SetTooltip(StripText(kTipScrollWhileSampling));
}

// A press tells the owner 0 and then 1; the release gives the pane the focus and tells it 1.
void ZoomControlWin::OnStripButton(bool down)
{
    if (down) {
        TellOwner(GetHandle(), 0);
        TellOwner(GetHandle(), 1);
        return;
    }
    vx::ui::SetFocus(vx::ui::GetParent(GetHandle()));
    TellOwner(GetHandle(), 1);
}

// ---- Trace-mode strip ------------------------------------------------------------------------------

TraceControlWin::TraceControlWin(HWND parent, PreviewDataPane& pane)
    : UxNoEraseGadgetWindow(parent, { 0, 0 })
    , mPane(pane)
{
    using KELControls::UxSizableButtonGadget;
    SetModule(StripModule());
    mButtons[0] = Insert(std::make_unique<UxSizableButtonGadget>(kCmdStacked, WORD(kCmdStacked), kButton));
    mButtons[1] = Insert(std::make_unique<UxSizableButtonGadget>(kCmdOverlaid, WORD(kCmdOverlaid), kButton));
    Insert(std::make_unique<UxSizableButtonGadget>(30000, WORD(1), vx::ui::Size { 6, 16 }));
    mButtons[2] = Insert(std::make_unique<UxSizableButtonGadget>(kCmdSourceOnly, WORD(kCmdSourceOnly), kButton));
    mNaturalWidth = WindowRectIn(GetHandle()).Width();
    EnableCommands();
}

void TraceControlWin::CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler)
{
    switch (enabler.GetId()) {
    case kCmdStacked:
        enabler.SetTooltip(StripText(kTipStacked));
        break;
    case kCmdOverlaid:
        enabler.SetTooltip(StripText(kTipOverlaid));
        break;
    case kCmdSourceOnly:
        enabler.SetTooltip(StripText(kTipSourceOnly));
        break;
    default:
        break;
    }
}

void TraceControlWin::OnStripButton(bool down)
{
    TellOwner(GetHandle(), down ? 0 : 1);
}

void TraceControlWin::SetRect(const Rect& rect)
{
    PlaceGadgetWindow(*this, rect);
}
bool TraceControlWin::IsEnabled() const
{
    return GetHandle() && vx::ui::IsWindowEnabled(GetHandle());
}
void TraceControlWin::Enable(bool enable)
{
    if (GetHandle())
        vx::ui::EnableWindow(GetHandle(), enable);
}
void TraceControlWin::InvalidateWindow(bool erase)
{
    if (GetHandle())
        vx::ui::InvalidateRect(GetHandle(), nullptr, erase);
}

void TraceControlWin::SetModeState(DWORD flags)
{
    mMode = flags;
    mButtons[0]->SetPressedLook(flags & 2);
    mButtons[1]->SetPressedLook(flags & 4);
    mButtons[2]->SetPressedLook(flags & 8);
}

bool TraceControlWin::RunCommand(UINT command)
{
    switch (command) {
    case kCmdStacked:
        mPane.Autoscale(kTraceOverlay, 0, mPane.ChannelStripCount());
        mStacked = true;
        SetModeState((mMode & 8) | 2);
        return true;
    case kCmdOverlaid:
        mPane.Autoscale(kTraceStack, 0, mPane.ChannelStripCount());
        mStacked = false;
        SetModeState((mMode & 8) | 4);
        return true;
    case kCmdSourceOnly:
        if (!(mMode & 8)) {
            mPane.Autoscale(kTraceSourceOnly, 1, 0);
            SetModeState(mMode | 8);
        } else {
            mPane.Autoscale(kTraceSourceOnly, 2, 0);
            mPane.Autoscale(mStacked ? kTraceOverlay : kTraceStack, 0, mPane.ChannelStripCount());
            SetModeState(mMode & ~8u);
        }
        return true;
    default:
        return false;
    }
}

// ---- Sampling strip ---------------------------------------------------------------------------------

PreviewControlWin::PreviewControlWin(HWND parent, PreviewDataPane& pane, DWORD flags)
    : UxNoEraseGadgetWindow(parent, { 0, 0 })
    , mPane(pane)
{
    using KELControls::UxSizableButtonGadget;
    SetModule(StripModule());
    if (!(flags & 0x40000000u))
        mButtons[0] = Insert(std::make_unique<UxSizableButtonGadget>(kStateDocumentView, kBitmapDocumentView, kButton));
    mButtons[1] = Insert(std::make_unique<UxSizableButtonGadget>(kStateSampling, kBitmapStartSampling, kButton));
    mButtons[2] = Insert(std::make_unique<UxSizableButtonGadget>(kStatePaused, kBitmapPauseSampling, kButton));
    Press(mButtons[0] ? kStateDocumentView : kStateSampling);
    SetSourcePresent(pane.Source() != nullptr);
    mNaturalWidth = WindowRectIn(GetHandle()).Width();
    EnableCommands();
}

// Sampling needs a source: without one its button is off and says why.
void PreviewControlWin::CommandEnable(KELControls::UxSizableButtonGadgetEnabler& enabler)
{
    const bool source = mPane.Source() != nullptr;
    switch (enabler.GetId()) {
    case kStateDocumentView:
        enabler.Enable(mEnabled);
        enabler.SetTooltip(StripText(kTipDocumentView));
        break;
    case kStateSampling:
        enabler.Enable(mEnabled && source);
        enabler.SetTooltip(source ? StripText(kTipStartSampling) : NoDeviceTip());
        break;
    case kStatePaused:
        enabler.Enable(mEnabled && source);
        enabler.SetTooltip(StripText(kTipPauseSampling));
        break;
    default:
        break;
    }
}

void PreviewControlWin::OnStripButton(bool down)
{
    TellOwner(GetHandle(), down ? 0 : 1);
}

void PreviewControlWin::SetRect(const Rect& rect)
{
    PlaceGadgetWindow(*this, rect);
}
bool PreviewControlWin::IsEnabled() const
{
    return mEnabled;
}
void PreviewControlWin::Enable(bool enable)
{
    mEnabled = enable;
    for (auto* b : mButtons)
        if (b)
            b->SetEnabled(enable);
    if (GetHandle())
        vx::ui::EnableWindow(GetHandle(), enable);
}
void PreviewControlWin::InvalidateWindow(bool erase)
{
    if (GetHandle())
        vx::ui::InvalidateRect(GetHandle(), nullptr, erase);
}

void PreviewControlWin::Press(UINT command)
{
    mPressed = command;
    for (auto* b : mButtons)
        if (b)
            b->SetPressedLook(static_cast<UINT>(b->Id()) == command);
}

bool PreviewControlWin::HasButton(UINT command) const
{
    for (auto* b : mButtons)
        if (b && static_cast<UINT>(b->Id()) == command)
            return true;
    return false;
}

bool PreviewControlWin::ButtonEnabled(UINT command) const
{
    for (auto* b : mButtons)
        if (b && static_cast<UINT>(b->Id()) == command)
            return b->IsEnabled();
    return false;
}

void PreviewControlWin::SetSourcePresent(bool present)
{
    // Without a source sampling cannot start; pausing needs a source too.
    if (mButtons[1])
        mButtons[1]->SetEnabled(present);
    if (mButtons[2])
        mButtons[2]->SetEnabled(present);
}

bool PreviewControlWin::RunCommand(UINT command)
{
    if (command < kStateDocumentView || command > kStatePaused || !HasButton(command))
        return false;
    if (command != kStateDocumentView && !ButtonEnabled(command))
        return true;
    Press(command);
    mPane.SetSamplingState(static_cast<int>(command));
    IPaneDocument* document = command == kStateDocumentView ? mPane.ViewDocument() : mPane.SamplingDocument();
    mPane.NotifyObservers({ PaneNotification::kSampling, command == kStateDocumentView ? 0 : 1,
        static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(document)) });
    return true;
}

void PreviewControlWin::ReturnToDocumentView()
{
    if (HasButton(kStateDocumentView))
        RunCommand(kStateDocumentView);
    else {
        Press(kStateSampling);
        mPane.SetSamplingState(kStateDocumentView);
    }
}

} // namespace VarnDraw
