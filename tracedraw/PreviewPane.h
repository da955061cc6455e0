#pragma once
// The simple data pane, and the preview data pane of a settings dialog: a document view that can
// switch to sampling from a host source into a sampling document, pause, and return to the
// document; with the trace-mode autoscale of its first strip.
#include <functional>

#include "tracedraw/DataPane.h"

namespace VarnDraw {

// A data pane whose strips are the channels in order.
class SimpleDataPane : public DataPane {
public:
    using DataPane::DataPane;
};

// Sampling states, also the commands of the preview control's buttons.
inline constexpr int kStateDocumentView = 100;
inline constexpr int kStateSampling = 101;
inline constexpr int kStatePaused = 102;
inline constexpr int kStateReapply = 103;

// Trace modes of the trace control.
inline constexpr int kTraceOverlay = 2;
inline constexpr int kTraceStack = 4;
inline constexpr int kTraceSourceOnly = 8;

class PreviewDataPane : public SimpleDataPane {
public:
    explicit PreviewDataPane(DWORD options = 0, IPaneDocument* viewDocument = nullptr);
    ~PreviewDataPane() override;

    // Window services of a preview.
    virtual std::unique_ptr<PreviewControl> WsCreatePreviewControl(DWORD argument) = 0;
    virtual std::unique_ptr<PreviewControl> WsCreateTraceControl() = 0;

    HRESULT SetSource(DWORD flags, ISamplingSource* source);
    ISamplingSource* Source() const { return mSource; }
    HRESULT StartSampling();
    HRESULT StopSampling();
    void SetSamplingState(int state, LONG a = 0, LONG b = 0);
    int SamplingState() const { return mState; }
    // Trace-mode actions on strip 0: 2 overlay, 4 stack, 8 source trace (flag bit 0 only the
    // source, bit 1 all traces).
    void Autoscale(int mode, DWORD flags, LONG value);
    void NotifyTraceMode(bool showSource);
    IPaneDocument* ViewDocument() const { return mViewDocument; }
    IPaneDocument* SamplingDocument() const { return mSamplingDocument; }
    PreviewControl* GetPreviewControl() const { return mPreviewControl.get(); }
    PreviewControl* GetTraceControl() const { return mTraceControl.get(); }

    void SetDocument(DWORD flags, IPaneDocument* document, const std::int64_t* start = nullptr) override;
    void AttachWindow(vx::ui::HWND parent, vx::ui::HWND window) override;
    void SizeChanged(const vx::ui::Rect& rect) override;
    void Close() override;

    // bit 0: a trace control is wanted.
    DWORD previewOptions = 0;
    std::function<void(bool)> traceModeCallback;
    std::function<void(IPaneDocument*)> samplingDocumentCallback;
    // Shows a failed start: text, caption, style, code (the host's message box).
    std::function<void(const std::wstring&, const std::wstring&, UINT, HRESULT)> messageBox;

private:
    void ApplyState(int state, LONG a, LONG b);

    std::int64_t mSavedRightEdge = 0;
    std::unique_ptr<PreviewControl> mPreviewControl;
    std::unique_ptr<PreviewControl> mTraceControl;
    IPaneDocument* mViewDocument = nullptr;
    IPaneDocument* mSamplingDocument = nullptr;
    ISamplingSource* mSource = nullptr;
    int mState = kStateDocumentView;
    bool mTraceHidden = false;
    // The trace strip's width: what its buttons need.
    int TraceStripWidth() const;
};

} // namespace VarnDraw
