#pragma once
// The HRV dialogs: the settings dialog (template 100), the detector settings of the "Custom"
// species preset (template 500) and the channel calculation's dialog (template 101). Each is a
// modal dialog over its template; numeric fields are validating edits with an error marker, and
// OK with a marked field shows the invalid-settings warning and keeps the dialog open.
//
// The settings dialog also answers the host's dialog service: once it is up it hands the service
// an editor that fills its fields and presses its buttons as a user would, so that tests and the
// command line run the same dialog a user sees.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ui/PlatformHelpers.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/Settings.h"
#include "hrv_ui/DialogIds.h"
#include "ui/Controls.h"

namespace KELControls {
class DoubleEdit;
class IntEdit;
class ValidatingEdit;
class ErrorProvider;
class TBmpTxtButton;
} // namespace KELControls

namespace HRV {

using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::WPARAM;

// The help file of the dialogs (their template and control ids are in DialogIds.h).
inline constexpr const wchar_t* kHelpFile = L"HRVHelp";
// The species preset that leaves the detector values to the user.
inline constexpr std::int32_t kCustomPreset = 8;

// The module holding the dialogs' templates and texts.
HMODULE DialogModule();

// Opens a topic of the help file through the host's application services; false when the host
// has none.
bool ShowHelpTopic(const wchar_t* topic);

// Gives the document's settings command this settings dialog (SetSettingsDialog); the module
// does so as it registers its classes.
void InstallSettingsDialog();

// A validating field with its error marker, shown in the dialog's unit (`scale` times the stored
// value).
struct DialogField {
    int id = 0;
    int marker = 0;
    double scale = 1.0;
    std::unique_ptr<KELControls::ValidatingEdit> edit;
    std::unique_ptr<KELControls::ErrorProvider> provider;

    DialogField();
    ~DialogField();
    DialogField(DialogField&&) noexcept;
    DialogField& operator=(DialogField&&) noexcept;

    // Takes over the edit and marker of a dialog as a floating-point (or whole-number) field.
    void Attach(HWND dialog, double lower, double upper, bool whole = false);
    // The value in the stored unit when the text is a number within the bounds; otherwise the
    // marker is shown and false answered.
    bool Read(double* stored) const;
    void Write(double stored) const;
    // New bounds (shown unit); the marker goes when the value is then valid.
    void Rebound(double lower, double upper);
    double Lower() const;
    double Upper() const;
};

// A slider that also tells a target window while its thumb is dragged: WM_NOTIFY with the
// slider's id and the code kTrackCode, the header followed by the track position. Releasing the
// thumb ends the track (TB_ENDTRACK). Without a target it is the plain slider.
struct SliderTrack {
    HWND from;
    std::uintptr_t id;
    UINT code;
    int position;
};
class TJSlider;
class PreviewDetector;
class HRVPreviewPane;

// The detector settings of the "Custom" preset: window, noise, minimum peak height, typical QRS
// width, minimum period and low-pass cut-off, edited on the settings it is given. Over the placeholder item a
// preview shows the beats that the detector finds with the values in the fields over the user's
// selection, updated with every valid change.
class AdvancedSettingsDialog final : public KEL::DialogBase {
public:
    // Entries (a settings name and its text in the stored unit) the dialog fills in once it is up
    // before pressing OK itself; without entries the user answers it.
    using Script = std::vector<std::pair<std::wstring, std::wstring>>;
    // The stretch the preview shows when the user has selected none: the data's first seconds.
    static constexpr double kDefaultPreviewSeconds = 10.0;

    // `unit`: the source channel's unit, in which the noise level is shown. Without a host (or
    // one that offers no previews) the dialog has no preview.
    AdvancedSettingsDialog(
        HWND parent, Settings& settings, std::wstring unit = {}, Script script = {}, IDocumentHost* host = nullptr);
    ~AdvancedSettingsDialog() override;
    // IDOK when the values were taken into the settings, IDCANCEL otherwise.
    vx::ui::INT_PTR Run();

    // Slider and field steps: a value v is floor(v / step + 1e-9) steps, so 0.3 s stays 3 steps of
    // 0.1 and 2.35 stays 23.
    static int Steps(double value, double step);

    // The preview (null without one) and the stretch of record 0 it shows, [first, last).
    HRVPreviewPane* Preview() const { return mPreview.get(); }

protected:
    vx::ui::INT_PTR DialogFunction(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetupWindow();
    void TransferToControls();
    // Reads the six fields in order, stopping at the first invalid one; when all are valid and
    // `commit` is set the settings take them. Whether all six were valid.
    bool UpdatePreview(bool commit);
    bool CanClose();
    void OnCommand(int id, UINT code);
    void OnScroll(HWND control, WPARAM request);
    void FieldFromSlider(int slider, int field, double step);
    void OnSliderTrack(const SliderTrack& track);
    // The up-down's step of the peak height: 0.05 S.D. per step, kept within 0.05 .. 9.
    void OnPeakSpin(const vx::ui::NMUPDOWN& change);
    void SliderFromField(int field, int slider, double step);
    void Drive();
    void CreatePreview();
    // The detector with these values over the preview's stretch, and the preview drawn again.
    void UpdateDetector(const Settings& values);

    Settings& mSettings;
    std::wstring mUnit;
    Script mScript;
    IDocumentHost* mHost;
    std::unique_ptr<PreviewDetector> mDetector;
    std::unique_ptr<HRVPreviewPane> mPreview;
    IUnknown* mPreviewSource = nullptr; // held
    bool mSetScales = false; // the preview's strips take the host's scales from this dialog's source
    std::int64_t mPreviewFirst = 0, mPreviewLast = 0;
    std::vector<DialogField> mFields; // window, noise, peak, QRS width, minimum period, low pass
    std::unique_ptr<KELControls::TBmpTxtButton> mHelp;
    std::unique_ptr<TJSlider> mWindowSlider, mPeakSlider;
    bool mSetUp = false;
    bool mCoupling = false;
};

// The settings dialog over template 100, editing the settings it is given. OK stores every valid
// field (swapped minimum and maximum entries in order); with an invalid field it shows the
// warning and stays open.
class SettingsDialog final : public KEL::DialogBase {
public:
    SettingsDialog(HWND parent, std::vector<std::wstring> channelTitles, Settings& settings, IDialogService* service,
        IDocumentHost* host = nullptr);
    ~SettingsDialog() override;
    // 1 when confirmed with OK; 2 when cancelled.
    int Execute();

    const std::vector<std::wstring>& ChannelTitles() const { return mTitles; }
    Settings& Working() { return mSettings; }

protected:
    vx::ui::INT_PTR DialogFunction(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Editor;
    friend class Editor;
    void SetupWindow();
    void TransferToControls();
    void OnCommand(int id, UINT code);
    void OnPresetChanged();
    void CmAdvanced(AdvancedSettingsDialog::Script script = {});
    void OnAutoClicked();
    void OnChannelChanged();
    void OnBandsChanged();
    bool StoreAnalysisFields();
    bool CanClose();
    DialogField& Field(int id);
    std::int32_t SelectedPreset() const;

    std::vector<std::wstring> mTitles;
    Settings& mSettings;
    IDialogService* mService;
    IDocumentHost* mHost;
    std::vector<DialogField> mFields;
    std::unique_ptr<KELControls::TBmpTxtButton> mHelp;
    std::unique_ptr<Editor> mEditor;
    bool mSetUp = false;
};

// The "HRV Calculations" dialog over template 101.
class Dialog final : public KEL::DialogBase {
public:
    static constexpr const wchar_t* kHelpTopic = L"HRV_Calculations";

    // The host's help context is taken for the help button's topic, which is fixed.
    Dialog(HWND parent, std::uintptr_t helpContext, CalculationChoice& settings);
    ~Dialog() override;
    // 2 when cancelled; otherwise the settings hold the chosen measure and guide-line choice.
    // A measure without an entry in the list is kept as it was.
    int Execute();

protected:
    vx::ui::INT_PTR DialogFunction(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetupWindow();
    // The selected entry's measure; the settings' own when nothing is selected.
    std::uint32_t SelectedParameter() const;
    void Take();

    CalculationChoice& mSettings;
    std::unique_ptr<KELControls::TBmpTxtButton> mHelp;
};

} // namespace HRV
