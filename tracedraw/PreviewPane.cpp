#include "tracedraw/PreviewPane.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>

#include "foundation/XKEL.h"
#include "tracedraw/StripResources.h"

namespace VarnDraw {

namespace {
constexpr int kTraceStripWidth = 3 * 18 + 6 + 12;

// The sampling messages from the strings of this library, each loaded once.
const std::wstring& CannotStartText()
{
    static const std::wstring text = StripText(kTextCannotStartSampling);
    return text;
}

const std::wstring& CaptionText()
{
    static const std::wstring text = StripText(kTextApplicationName);
    return text;
}
} // namespace

PreviewDataPane::PreviewDataPane(DWORD optionWord, IPaneDocument* viewDocument)
    : SimpleDataPane(optionWord, nullptr)
{
    // A preview's strip has a second scale for the traces that are not the source.
    stripScaleOptions = 0xC0000000u;
    HoldInterface(mViewDocument, viewDocument);
    if (viewDocument)
        DataPane::SetDocument(0, viewDocument);
}

PreviewDataPane::~PreviewDataPane()
{
    traceModeCallback = nullptr;
    samplingDocumentCallback = nullptr;
    HoldInterface(mSource, static_cast<ISamplingSource*>(nullptr));
    HoldInterface(mSamplingDocument, static_cast<IPaneDocument*>(nullptr));
    HoldInterface(mViewDocument, static_cast<IPaneDocument*>(nullptr));
    mTraceControl.reset();
    mPreviewControl.reset();
}

HRESULT PreviewDataPane::SetSource(DWORD, ISamplingSource* source)
{
    if (!source && mState != kStateDocumentView && mPreviewControl)
        mPreviewControl->ReturnToDocumentView();
    else if (!source && mState != kStateDocumentView)
        SetSamplingState(kStateDocumentView);
    if (mSamplingDocument) {
        if (mSource)
            mSource->Unlink(0, mSamplingDocument);
        if (source)
            source->Link(0, mSamplingDocument);
    }
    HoldInterface(mSource, source);
    if (mPreviewControl)
        mPreviewControl->SetSourcePresent(mSource != nullptr);
    return S_OK;
}

HRESULT PreviewDataPane::StartSampling()
{
    if (!mSamplingDocument || !mSource)
        return E_FAIL;
    WORD sampling = 0;
    mSource->IsSampling(0, &sampling);
    if (sampling)
        return S_FALSE;
    mSource->Prepare(0, 0x80000000u, 1);
    BSTR text = nullptr;
    WORD problem = 0;
    HRESULT hr = mSource->Start(0, &text, &problem);
    if (problem)
        hr = mSource->StartAgain(0, &text);
    SysFreeString(text);
    return hr;
}

HRESULT PreviewDataPane::StopSampling()
{
    if (!mSamplingDocument || !mSource)
        return S_FALSE;
    WORD sampling = 0;
    mSource->IsSampling(0, &sampling);
    if (!sampling)
        return S_FALSE;
    const HRESULT hr = mSource->Stop(0, 0, 0);
    UpdateScrollBar();
    return hr;
}

void PreviewDataPane::SetSamplingState(int state, LONG a, LONG b)
{
    if (!mSource)
        return;
    if (state == kStateReapply) {
        ApplyState(mState, a, b);
        return;
    }
    if (state == mState)
        return;
    ApplyState(state, a, b);
    mState = state;
}

void PreviewDataPane::ApplyState(int state, LONG a, LONG b)
{
    switch (state) {
    case kStateDocumentView: {
        mSource->Stop(0, a, b);
        if (mSamplingDocument)
            mSource->Unlink(0, mSamplingDocument);
        HoldInterface(mSamplingDocument, static_cast<IPaneDocument*>(nullptr));
        const std::int64_t start = mSavedRightEdge;
        DataPane::SetDocument(0x80000000u, mViewDocument, &start);
        break;
    }
    case kStateSampling: {
        if (!mSamplingDocument && mViewDocument) {
            IPaneDocument* sampling = nullptr;
            if (mViewDocument->GetSamplingDocument(0, &sampling) == S_OK && sampling) {
                HoldInterface(mSamplingDocument, sampling);
                if (samplingDocumentCallback)
                    samplingDocumentCallback(sampling);
                mViewDocument->HandOverSettings(0, sampling);
                mSource->Link(0, sampling);
                mSavedRightEdge = mRightEdge;
                DataPane::SetDocument(0x80000000u, sampling, nullptr);
                sampling->Release();
            }
        }
        mSource->Prepare(0, 0x80000000u, 1);
        BSTR text = nullptr;
        WORD problem = 0;
        HRESULT hr = mSource->Start(0, &text, &problem);
        if (problem) {
            SysFreeString(text);
            text = nullptr;
            hr = mSource->StartAgain(0, &text);
        }
        if (FAILED(hr) && hr != kSamplingCancelled && messageBox)
            messageBox(text && *text ? std::wstring(text) : CannotStartText(), CaptionText(), 0x2010u, hr);
        SysFreeString(text);
        break;
    }
    case kStatePaused:
        mSource->Stop(0, a, b);
        break;
    default:
        break;
    }
}

void PreviewDataPane::SetDocument(DWORD flags, IPaneDocument* document, const std::int64_t* start)
{
    HoldInterface(mViewDocument, document);
    DataPane::SetDocument(flags, document, start);
    if (mSamplingDocument) {
        if (mSource)
            mSource->Unlink(0, mSamplingDocument);
        HoldInterface(mSamplingDocument, static_cast<IPaneDocument*>(nullptr));
    }
}

void PreviewDataPane::AttachWindow(vx::ui::HWND parent, vx::ui::HWND window)
{
    mWindow = window;
    mPreviewControl = WsCreatePreviewControl(mZoomArgument);
    if (mPreviewControl)
        mPreviewControl->SetSourcePresent(mSource != nullptr);
    if (previewOptions & 1)
        mTraceControl = WsCreateTraceControl();
    // The trace strip sits under the left scale: the scale area is at least as wide as it.
    if (mTraceControl)
        SetMinimumMargins(std::max(mMinLeft, TraceStripWidth() + 4), mMinRight);
    DataPane::AttachWindow(parent, window);
}

int PreviewDataPane::TraceStripWidth() const
{
    const int natural = mTraceControl ? mTraceControl->NaturalWidth() : 0;
    return natural > 0 ? natural : kTraceStripWidth;
}

void PreviewDataPane::SizeChanged(const vx::ui::Rect& rect)
{
    DataPane::SizeChanged(rect);
    if (!mPreviewControl)
        return;
    const vx::ui::Size zoom = mZoom ? mZoom->GetSize() : vx::ui::Size { 0, 20 };
    const int zoomHeight = zoom.cy;
    // In the row of the zoom strip under the plot (which ends a pixel above the pane's bottom).
    const int top = rect.top + mHeight;
    const int width = mPreviewControl->NaturalWidth() > 0 ? mPreviewControl->NaturalWidth() : 3 * 18 + 12;
    const int leftScale = PlotLeft() - rect.left - Border();
    // Beside the zoom strip, the scroll bar giving way to it.
    const int right = rect.right - (mZoom ? zoom.cx + 4 : 0);
    const int left = mTraceControl ? right - width : rect.left + 2;
    mPreviewControl->SetRect({ left, top, left + width, top + zoomHeight });
    if (mTraceControl && GetScrollBar())
        GetScrollBar()->SetRect({ PlotLeft(), top, std::max(PlotLeft(), left - 4), top + zoomHeight });
    if (mTraceControl) {
        const int traceWidth = TraceStripWidth();
        // The trace strip must fit into the left scale area; when it does not, only it is hidden.
        if (traceWidth > leftScale) {
            mTraceControl->SetRect({});
            if (!mTraceHidden)
                std::fprintf(stderr,
                    "KELBOOTLOG: PreviewDataPane: the trace control does not fit beside the scale (%d > %d)\n",
                    traceWidth, leftScale);
            mTraceHidden = true;
        } else {
            mTraceControl->SetRect({ rect.left, top, rect.left + traceWidth, top + zoomHeight });
            mTraceHidden = false;
        }
    }
}

void PreviewDataPane::Close()
{
    if (mSource)
        mSource->Stop(0, 0, 0);
}

void PreviewDataPane::Autoscale(int mode, DWORD flags, LONG value)
{
    if (ChannelStripCount() == 0)
        return;
    ChannelPane* strip = ChannelStrip(0);
    auto autoscale = [&](int number) {
        if (IHostScale* scale = number == 1 ? strip->GetScale1() : strip->GetScale2()) {
            scale->Command(-1);
            scale->Release();
        }
        (void)value;
    };
    switch (mode) {
    case kTraceOverlay: {
        // Both scales autoscale; a scale that finds no range takes no part. Both then show the
        // common range of those that found one (nothing changes when neither did).
        vx::hf::DisplayRange common { DBL_MAX, -DBL_MAX };
        for (int number = 1; number <= 2; ++number) {
            IHostScale* scale = number == 1 ? strip->GetScale1() : strip->GetScale2();
            if (!scale)
                continue;
            IScaleRange* range = nullptr;
            vx::hf::DisplayRange r;
            if (scale->Command(-1) == S_OK
                && scale->QueryInterface(IScaleRange::kIid, reinterpret_cast<void**>(&range)) == S_OK
                && range->GetRange(&r) == S_OK) {
                const double factor = strip->ScaleFactor(number);
                common.bottom = std::min(common.bottom, std::min(r.bottom, r.top) / factor);
                common.top = std::max(common.top, std::max(r.bottom, r.top) / factor);
            }
            if (range)
                range->Release();
            scale->Release();
        }
        (void)value;
        if (common.bottom < common.top)
            for (int number = 1; number <= 2; ++number) {
                strip->SetPendingAutoscale(number);
                strip->SetScaleRange(0, number, common, true, true);
            }
        strip->Refresh(0);
        break;
    }
    case kTraceStack:
        autoscale(1);
        autoscale(2);
        break;
    case kTraceSourceOnly:
        if (flags & 1) {
            autoscale(1);
            NotifyTraceMode(false);
        } else if (flags & 2) {
            NotifyTraceMode(true);
        }
        ResetStrips();
        break;
    default:
        break;
    }
    WsInvalidateAll(false);
}

void PreviewDataPane::NotifyTraceMode(bool showSource)
{
    if (traceModeCallback)
        traceModeCallback(showSource);
}

} // namespace VarnDraw
