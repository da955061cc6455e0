#pragma once
// A live trace preview inside a settings dialog: the base builds a preview data window with the
// trace-mode buttons as a child of the dialog, shows the host document's view document, takes
// the host's sampling source when it has one, reads the source channel's display settings and
// places the window over the dialog's placeholder control (id 511). A concrete preview derives
// from it, sets its scales' units and adds its drawers to Window().
#include <memory>
#include <string>

#include "hostframework/interfaces/DataPaneInterfaces.h"
#include "tracedraw/DataWin.h"

namespace ExtLib {

// The dialog control that the preview covers.
inline constexpr int kPreviewPlaceholderId = 511;

class PreviewPaneBase {
public:
    PreviewPaneBase() = default;
    virtual ~PreviewPaneBase();
    PreviewPaneBase(const PreviewPaneBase&) = delete;
    PreviewPaneBase& operator=(const PreviewPaneBase&) = delete;

    // The concrete preview sets the units of its scales.
    virtual void SetScaleUnit() = 0;
    // Samples from the host's source into the preview (true), or shows the document (false).
    virtual void EnableSampling(bool enable);
    // scaleSelector 0: scale 1, else scale 2. With data on that scale: autoscale, then the given
    // range when there is one; without data the given range is set directly.
    virtual void AutoscaleOrSetRange(int scaleSelector, const vx::hf::DisplayRange* range);
    virtual void SetRange(int scaleSelector, const vx::hf::DisplayRange& range);

    // Builds the preview window (again: the old one goes) as a child of `dialog`.
    HRESULT CreatePreviewWindow(IPreviewHost* host, IUnknown* hostDocument, vx::ui::HWND dialog);
    // Covers the dialog's control 511 (an empty rectangle without one).
    void PlaceOverDialogItem(LONG value);

    VarnDraw::PreviewDataWinWButtons* Window() const { return mWindow.get(); }
    // The host document the preview was created over.
    IUnknown* HostDocument() const { return mHostDocument; }
    IPaneDocument* ViewDocument() const { return mViewDocument; }
    ISamplingSource* SamplingSource() const { return mSource; }
    DWORD TraceColour() const { return mColour; }
    // Whether the host gave the source channel's display settings (colour and unit).
    bool HasDisplaySettings() const { return mDisplayRead; }
    const std::wstring& UnitText() const { return mUnit; }
    bool UnitFlag() const { return mUnitFlag; }
    // The largest of the host's three size values, never below 16.
    LONG SizeValue() const { return mSize; }
    bool Created() const { return mCreated; }
    LONG PlacedValue() const { return mPlaced; }

private:
    void ReadDisplaySettings();

    std::unique_ptr<VarnDraw::PreviewDataWinWButtons> mWindow;
    vx::ui::HWND mDialog = nullptr;
    IPaneDocument* mViewDocument = nullptr;
    IPreviewHost* mHost = nullptr; // not owned: the dialog's host outlives the preview
    IUnknown* mHostDocument = nullptr;
    ISamplingSource* mSource = nullptr;
    DWORD mColour = 0;
    std::wstring mUnit;
    bool mUnitFlag = false;
    bool mDisplayRead = false;
    LONG mSize = 16;
    bool mCreated = false;
    LONG mPlaced = 0;
};

} // namespace ExtLib
