#include "tracedraw/PreviewPaneBase.h"

#include <algorithm>

#include "ui/Window.h"

namespace ExtLib {

using vx::ui::Rect;

PreviewPaneBase::~PreviewPaneBase()
{
    mWindow.reset();
    VarnDraw::HoldInterface(mSource, static_cast<ISamplingSource*>(nullptr));
    VarnDraw::HoldInterface(mViewDocument, static_cast<IPaneDocument*>(nullptr));
    VarnDraw::HoldInterface(mHostDocument, static_cast<IUnknown*>(nullptr));
}

HRESULT PreviewPaneBase::CreatePreviewWindow(IPreviewHost* host, IUnknown* hostDocument, vx::ui::HWND dialog)
{
    mHost = host;
    VarnDraw::HoldInterface(mHostDocument, hostDocument);
    mDialog = dialog;
    IPaneDocument* view = nullptr;
    if (hostDocument) {
        IViewDocumentSource* views = nullptr;
        if (hostDocument->QueryInterface(IViewDocumentSource::kIid, reinterpret_cast<void**>(&views)) == S_OK) {
            views->GetViewDocument(0xC0000000u, &view);
            views->Release();
        }
    }
    VarnDraw::HoldInterface(mViewDocument, view);
    if (view)
        view->Release();

    mWindow.reset();
    mWindow = std::make_unique<VarnDraw::PreviewDataWinWButtons>(mViewDocument);
    if (!mWindow->Create(dialog, {}))
        return E_FAIL;

    LONG display = 0;
    if (host && host->GetDisplayValue(&display) == S_OK)
        mWindow->NotifyObjects({ VarnDraw::PaneNotification::kDisplayValue, display });
    ReadDisplaySettings();

    VarnDraw::HoldInterface(mSource, static_cast<ISamplingSource*>(nullptr));
    ISamplingSource* source = nullptr;
    WORD busy = 0;
    LONG count = 0;
    if (host && host->GetSamplingDevices(&source, &busy, &count) == S_OK && source) {
        if (!busy && count > 0) {
            VarnDraw::HoldInterface(mSource, source);
            mSource->SetChannel(0x80000000u, 0xC0000000u);
            mWindow->SetSource(0, mSource);
        }
        source->Release();
    }
    mWindow->InvalidateControls();

    mSize = 16;
    for (LONG which = 0; host && which < 3; ++which) {
        LONG value = 16;
        if (host->GetSizeValue(which, &value) != S_OK)
            value = 16;
        mSize = std::max(mSize, value);
    }
    mCreated = true;
    return S_OK;
}

void PreviewPaneBase::ReadDisplaySettings()
{
    mColour = 0;
    mUnit.clear();
    mUnitFlag = false;
    mDisplayRead = false;
    if (!mHost)
        return;
    LONG index = 0, flag = 0;
    BSTR unit = nullptr;
    if (mHost->GetChannelDisplay(&index, &unit, &flag) != S_OK)
        return;
    DWORD colour = 0;
    // The host's colour service, or the trace palette entry of the index.
    if (mHost->GetColour(index, &colour) == S_OK)
        mColour = colour;
    else
        mColour = VarnDraw::ProcessTracePalette().Entry(index).value;
    mUnit = unit ? unit : L"";
    SysFreeString(unit);
    mUnitFlag = flag != 0;
    mDisplayRead = true;
}

void PreviewPaneBase::PlaceOverDialogItem(LONG value)
{
    mPlaced = value;
    if (!mWindow)
        return;
    Rect place {};
    if (vx::ui::HWND item = vx::ui::GetDlgItem(mDialog, kPreviewPlaceholderId)) {
        Rect screen {};
        vx::ui::GetWindowRect(item, &screen);
        vx::ui::Point topLeft = screen.TopLeft(), bottomRight { screen.right, screen.bottom };
        vx::ui::ScreenToClient(mDialog, &topLeft);
        vx::ui::ScreenToClient(mDialog, &bottomRight);
        place = { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y };
    }
    vx::ui::MoveWindow(mWindow->Handle(), place.left, place.top, place.Width(), place.Height(), true);
}

void PreviewPaneBase::EnableSampling(bool enable)
{
    if (mWindow)
        mWindow->SetSource(0, enable ? mSource : nullptr);
}

void PreviewPaneBase::AutoscaleOrSetRange(int scaleSelector, const vx::hf::DisplayRange* range)
{
    if (!mWindow)
        return;
    const int number = scaleSelector == 0 ? 1 : 2;
    bool shown = false;
    if (mWindow->LatestExtent() >= 1)
        for (int i = 0; i < mWindow->ChannelStripCount() && !shown; ++i) {
            vx::hf::DisplayRange r;
            shown = mWindow->ChannelStrip(i)->GetAutoRange(0, &r, nullptr) == S_OK;
        }
    if (!shown) {
        if (range)
            SetRange(scaleSelector, *range);
        return;
    }
    VarnDraw::ChannelPane* strip = mWindow->ChannelStrip(0);
    if (IHostScale* scale = number == 1 ? strip->GetScale1() : strip->GetScale2()) {
        scale->Command(-1);
        scale->Release();
    }
    mWindow->RequestAutoscale(0, number);
    if (range)
        strip->SetScaleRange(0, number, *range, true, false);
}

void PreviewPaneBase::SetRange(int scaleSelector, const vx::hf::DisplayRange& range)
{
    if (!mWindow)
        return;
    const int number = scaleSelector == 0 ? 1 : 2;
    mWindow->SetScaleRange(number, range);
    if (mWindow->ChannelStripCount() > 0)
        mWindow->ChannelStrip(0)->SetScaleRange(0, number, range, true, false);
}

} // namespace ExtLib
