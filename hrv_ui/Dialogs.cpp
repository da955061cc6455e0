#include "hrv_ui/Dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <span>
#include <string>
#include <utility>

#include "controls/BmpTxtButton.h"
#include "controls/DialogSettingsWarningDlg.h"
#include "controls/ErrorProvider.h"
#include "controls/ValidatingEdit.h"
#include "foundation/ResString.h"
#include "foundation/String.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/TraceDrawInterfaces.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Detector.h"
#include "hrv/document/SettingsDialogHook.h"
#include "hrv_ui/DetectorPreview.h"
#include "log/Log.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace HRV {

using namespace vx::ui;
using namespace ControlId;
using KELControls::DoubleEdit;
using KELControls::ErrorProvider;
using KELControls::IntEdit;

namespace {

// Posted once a dialog is up: the dialog service (or a script) may then drive it.
constexpr UINT kDriveMessage = WM_APP + 0x31;
// The help button's picture and caption among the host's resources.
constexpr WORD kHelpBitmap = 1002;
constexpr UINT kHelpCaption = 3;

// The detector preview is placed over the placeholder item the preview pane looks for.
static_assert(kPreviewPlaceholder == ExtLib::kPreviewPlaceholderId);

constexpr double kWindowStep = 0.1;
constexpr double kPeakStep = 0.05;

// A bound of the field table in the unit a dialog shows, without the noise of the scaling
// (0.0001 s shown as 0.1 ms, not 0.10000000000000002).
double Tidy(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.12g", value);
    return std::strtod(text, nullptr);
}

std::wstring Number(double value)
{
    wchar_t text[40];
    std::swprintf(text, 40, L"%.10g", value);
    return text;
}

HRESULT GiveText(const std::wstring& text, BSTR* out)
{
    if (!out)
        return S_OK;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool Checked(HWND dialog, int id)
{
    return SendMessage(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void Check(HWND dialog, int id, bool on)
{
    SendMessage(GetDlgItem(dialog, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}
void Enable(HWND dialog, int id, bool on)
{
    EnableWindow(GetDlgItem(dialog, id), on);
}
void Press(HWND dialog, int id)
{
    SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED),
        reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
// Chooses a list entry as a user would: the selection, then its notification.
void Choose(HWND dialog, int id, LRESULT index)
{
    HWND combo = GetDlgItem(dialog, id);
    SendMessage(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessage(
        dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// The help button: the dialogs' picture and the host's caption ("HRV HTML Help").
std::unique_ptr<KELControls::TBmpTxtButton> MakeHelpButton(HWND dialog, int id)
{
    const std::wstring caption = KEL::GetResString(nullptr, kHelpCaption, false).ToWString();
    auto button = std::make_unique<KELControls::TBmpTxtButton>(dialog, id, caption);
    button->SetBitmap(kHelpBitmap, DialogModule());
    if (!caption.empty())
        SetWindowText(GetDlgItem(dialog, id), caption);
    return button;
}

// The invalid-settings warning, modal over the dialog.
void WarnInvalid(HWND dialog)
{
    KELControls::DialogSettingsWarningDlg warning(dialog);
    warning.Execute();
}

// A settings value by the name of its field, as a double.
double& Member(Settings& settings, const SettingsField& field)
{
    return settings.*(field.f64);
}

} // namespace

bool ShowHelpTopic(const wchar_t* topic)
{
    IAppServices* services = CAFFrameWork::GetAppServices();
    return services && SUCCEEDED(services->ShowHelp(topic, kHelpFile));
}

namespace {
bool RunSettingsDialog(HWND parent, std::vector<std::wstring> channelTitles, Settings& settings,
    IDialogService* service, IDocumentHost* host)
{
    SettingsDialog dialog(parent, std::move(channelTitles), settings, service, host);
    return dialog.Execute() == 1;
}
} // namespace

void InstallSettingsDialog()
{
    SetSettingsDialog(&RunSettingsDialog);
}

// ---- Fields ---------------------------------------------------------------------------------------

DialogField::DialogField() = default;
DialogField::~DialogField() = default;
DialogField::DialogField(DialogField&&) noexcept = default;
DialogField& DialogField::operator=(DialogField&&) noexcept = default;

void DialogField::Attach(HWND dialog, double lower, double upper, bool whole)
{
    if (whole)
        edit = std::make_unique<IntEdit>(dialog, id, std::lround(lower), std::lround(upper));
    else
        edit = std::make_unique<DoubleEdit>(dialog, id, lower, upper);
    provider = std::make_unique<ErrorProvider>(dialog, marker);
    edit->SetErrorProvider(provider.get());
}

bool DialogField::Read(double* stored) const
{
    if (!edit)
        return false;
    const bool valid = edit->IsValidNumber() && edit->GetValidator() && edit->GetValidator()->IsValid(edit->GetText());
    if (!valid) {
        if (edit->GetValidator())
            edit->GetValidator()->Error(nullptr); // shows the marker with the field's range
        return false;
    }
    provider->SetTitle(L"");
    provider->SetMessage(L"");
    ShowWindow(provider->GetHandle(), SW_HIDE);
    double shown = 0;
    if (auto* number = dynamic_cast<DoubleEdit*>(edit.get()))
        shown = number->GetValue();
    else
        shown = static_cast<double>(std::wcstol(edit->GetText().c_str(), nullptr, 10));
    if (stored)
        *stored = shown / scale;
    return true;
}

void DialogField::Write(double stored) const
{
    if (auto* number = dynamic_cast<DoubleEdit*>(edit.get()))
        number->SetValue(Tidy(stored * scale));
    else if (edit)
        edit->SetText(std::to_wstring(std::lround(stored * scale)));
}

void DialogField::Rebound(double lower, double upper)
{
    if (!edit)
        return;
    edit->SetValidator(std::make_unique<KELControls::FltRangeValidatorErrProv>(upper, lower, provider.get()));
    if (edit->IsValidNumber() && edit->GetValidator()->IsValid(edit->GetText())) {
        provider->SetTitle(L"");
        provider->SetMessage(L"");
        ShowWindow(provider->GetHandle(), SW_HIDE);
    }
}

double DialogField::Lower() const
{
    if (auto* f = dynamic_cast<const KELControls::FltRangeValidator*>(edit ? edit->GetValidator() : nullptr))
        return f->Lower();
    if (auto* l = dynamic_cast<const KELControls::KELRangeValidator*>(edit ? edit->GetValidator() : nullptr))
        return static_cast<double>(l->Min());
    return 0;
}

double DialogField::Upper() const
{
    if (auto* f = dynamic_cast<const KELControls::FltRangeValidator*>(edit ? edit->GetValidator() : nullptr))
        return f->Upper();
    if (auto* l = dynamic_cast<const KELControls::KELRangeValidator*>(edit ? edit->GetValidator() : nullptr))
        return static_cast<double>(l->Max());
    return 0;
}

namespace {

// The fields of the dialogs: control, marker, the settings field and the factor from the stored
// unit to the one shown. The bounds are the settings field's range, shown in the dialog's unit.
struct FieldSpec {
    int id;
    int marker;
    const wchar_t* name;
    double scale;
};

constexpr FieldSpec kSettingsFields[] = {
    { kBinWidth, kBinWidthMarker, L"HistogramBinWidth", 1000 },
    { kPRRThreshold, kPRRThresholdMarker, L"PRRThreshold", 1000 },
    { kSDARRAveraging, kSDARRAveragingMarker, L"SDARRAveraging", 1 },
    { kRRMin, kRRMinMarker, L"RRMin", 1000 },
    { kRRMax, kRRMaxMarker, L"RRMax", 1000 },
    { kComplexityMin, kComplexityMinMarker, L"ComplexityMin", 1 },
    { kComplexityMax, kComplexityMaxMarker, L"ComplexityMax", 1 },
    { kMaxFrequency, kMaxFrequencyMarker, L"MaxFrequency", 1 },
    { kNumFrequencies, kNumFrequenciesMarker, L"NumFrequencies", 1 },
    { kVLFLow, kVLFLowMarker, L"VLFLow", 1 },
    { kVLFHigh, kVLFHighMarker, L"VLFHigh", 1 },
    { kLFLow, kLFLowMarker, L"LFLow", 1 },
    { kLFHigh, kLFHighMarker, L"LFHigh", 1 },
    { kHFLow, kHFLowMarker, L"HFLow", 1 },
    { kHFHigh, kHFHighMarker, L"HFHigh", 1 },
};

// In the order the detector dialog reads them.
constexpr FieldSpec kDetectorFields[] = {
    { kWindow, kWindowMarker, L"LevellingWindow", 1 },
    { kNoise, kNoiseMarker, L"NoiseLevel", 1 },
    { kPeakHeight, kPeakHeightMarker, L"MinPeakHeight", 1 },
    { kQRSWidth, kQRSWidthMarker, L"QRSWidth", 1000 },
    { kMinPeriod, kMinPeriodMarker, L"MinPeriod", 1000 },
    { kLowPass, kLowPassMarker, L"LowPassCutoff", 1 },
};

const FieldSpec* FindSpec(std::wstring_view name)
{
    for (const std::span<const FieldSpec> table :
        { std::span<const FieldSpec>(kSettingsFields), std::span<const FieldSpec>(kDetectorFields) })
        for (const FieldSpec& fieldSpec : table)
            if (name == fieldSpec.name)
                return &fieldSpec;
    return nullptr;
}

bool IsDetectorField(std::wstring_view name)
{
    return std::any_of(
        std::begin(kDetectorFields), std::end(kDetectorFields), [&](const FieldSpec& s) { return name == s.name; });
}

std::vector<DialogField> AttachFields(HWND dialog, std::span<const FieldSpec> specs)
{
    std::vector<DialogField> fields;
    for (const FieldSpec& fieldSpec : specs) {
        const SettingsField* table = FindSettingsField(fieldSpec.name);
        DialogField field;
        field.id = fieldSpec.id;
        field.marker = fieldSpec.marker;
        field.scale = fieldSpec.scale;
        field.Attach(dialog, Tidy(table->min * fieldSpec.scale), Tidy(table->max * fieldSpec.scale),
            table->kind == SettingsField::Kind::I32);
        fields.push_back(std::move(field));
    }
    return fields;
}

double Stored(const Settings& settings, const FieldSpec& fieldSpec)
{
    const SettingsField* field = FindSettingsField(fieldSpec.name);
    return field->kind == SettingsField::Kind::I32 ? static_cast<double>(settings.*(field->i32))
                                                   : settings.*(field->f64);
}

void Store(Settings& settings, const FieldSpec& fieldSpec, double value)
{
    const SettingsField* field = FindSettingsField(fieldSpec.name);
    if (field->kind == SettingsField::Kind::I32)
        settings.*(field->i32) = static_cast<std::int32_t>(std::lround(value));
    else
        settings.*(field->f64) = value;
}

} // namespace

// ---- Detector settings ----------------------------------------------------------------------------

inline constexpr UINT kTrackCode = 0x300;

class TJSlider final : public KELControls::SubclassedWindow {
public:
    TJSlider(HWND dialog, int id, HWND target)
        : mId(id)
        , mTarget(target)
    {
        Attach(GetDlgItem(dialog, id));
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (!mTarget)
            return DefaultProc(message, wParam, lParam);
        switch (message) {
        case WM_LBUTTONDOWN: {
            const LRESULT result = DefaultProc(message, wParam, lParam);
            SetCapture(GetHandle());
            mTracking = true;
            return result;
        }
        case WM_MOUSEMOVE:
            if (mTracking)
                Track(static_cast<short>(LOWORD(static_cast<WPARAM>(lParam))));
            return 0;
        case WM_LBUTTONUP:
            if (mTracking) {
                mTracking = false;
                ReleaseCapture();
                SendMessage(GetParent(GetHandle()), WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(GetHandle()));
            }
            return 0;
        default:
            return DefaultProc(message, wParam, lParam);
        }
    }

private:
    // The thumb under the mouse, as the slider places it on a click.
    void Track(int x)
    {
        HWND self = GetHandle();
        Rect client;
        GetClientRect(self, &client);
        const Rect track = client.Inflate(-6, 0);
        const int low = static_cast<int>(SendMessage(self, TBM_GETRANGEMIN, 0, 0));
        const int high = static_cast<int>(SendMessage(self, TBM_GETRANGEMAX, 0, 0));
        const int position
            = std::clamp(track.Width() > 0 ? low + MulDiv(x - track.left, high - low, track.Width()) : low, low,
                std::max(low, high));
        if (position == SendMessage(self, TBM_GETPOS, 0, 0))
            return;
        SendMessage(self, TBM_SETPOS, 1, position);
        SliderTrack notify { self, static_cast<std::uintptr_t>(mId), kTrackCode, position };
        SendMessage(mTarget, WM_NOTIFY, static_cast<WPARAM>(mId), reinterpret_cast<LPARAM>(&notify));
    }

    int mId;
    HWND mTarget;
    bool mTracking = false;
};

AdvancedSettingsDialog::AdvancedSettingsDialog(
    HWND parent, Settings& settings, std::wstring unit, Script script, IDocumentHost* host)
    : KEL::DialogBase(parent, kDetectorDialogId, DialogModule())
    , mSettings(settings)
    , mUnit(std::move(unit))
    , mScript(std::move(script))
    , mHost(host)
{
    CreatePreview();
}

AdvancedSettingsDialog::~AdvancedSettingsDialog()
{
    // The preview's drawers read the detector's channels: they go first, then the channels.
    mPreview.reset();
    // The host's scales go with the preview that brought them: the host may close its document.
    if (mSetScales)
        VarnDraw::SetHostScaleFactory(nullptr);
    if (mDetector) {
        const DetectorSettings values = DetectorSettingsFrom(mSettings);
        mDetector->RemoveChannels(0xFF000000u, &values);
    }
    if (mPreviewSource)
        mPreviewSource->Release();
}

void AdvancedSettingsDialog::CreatePreview()
{
    IDetectorHost* detectorHost = mHost ? mHost->DetectorHost() : nullptr;
    IAnalysisHost* analysisHost = mHost ? mHost->AnalysisHost() : nullptr;
    RecordInfo info;
    if (!detectorHost || !analysisHost || !analysisHost->GetRecordInfo(0, info) || info.mLength <= 0)
        return;
    IUnknown* source = nullptr;
    if (FAILED(mHost->PreviewSource(mSettings.mSourceChannel, &source)) || !source)
        return;
    mPreviewSource = source;
    // The selection when it is a stretch of the first record; else the data's first seconds.
    Position start, end;
    if (mHost->GetSelection(start, end) && !mHost->SelectionIsPoint() && start.mRecord == 0 && end.mRecord == 0
        && end.mOffset > start.mOffset && start.mOffset >= 0) {
        mPreviewFirst = start.mOffset;
        mPreviewLast = std::min<std::int64_t>(end.mOffset, info.mLength);
    } else {
        const double interval = info.mInterval > 0 ? info.mInterval : 1.0;
        mPreviewFirst = 0;
        mPreviewLast
            = std::min<std::int64_t>(info.mLength, static_cast<std::int64_t>(kDefaultPreviewSeconds / interval));
    }
    mPreviewLast = std::max(mPreviewLast, mPreviewFirst + 1);
    mDetector = std::make_unique<PreviewDetector>(detectorHost);
    mPreview = std::make_unique<HRVPreviewPane>(*mDetector, mSettings.mSourceChannel);
}

void AdvancedSettingsDialog::UpdateDetector(const Settings& values)
{
    if (!mDetector || !mPreview)
        return;
    DetectorSettings detector = DetectorSettingsFrom(values);
    // The preview's beats over its stretch only; its channels are not linked to the source
    // channel, so the host's chart does not mark them as the analysis' beats.
    detector.mRangeStart = { 0, static_cast<std::int32_t>(mPreviewFirst) };
    detector.mRangeEnd = { 0, static_cast<std::int32_t>(mPreviewLast) };
    detector.mShowEventMarkers = false;
    mDetector->Update(0xFF000000u, &detector);
    mPreview->Rebuild();
}

INT_PTR AdvancedSettingsDialog::Run()
{
    return Execute();
}

int AdvancedSettingsDialog::Steps(double value, double step)
{
    return static_cast<int>(std::floor(value / step + 1e-9));
}

void AdvancedSettingsDialog::SetupWindow()
{
    HWND dialog = GetHandle();
    // The preview of the detector's beats over the selection belongs over its placeholder item; until the
    // preview pane is built the item shows its caption.
    mFields = AttachFields(dialog, kDetectorFields);
    SendMessage(GetDlgItem(dialog, kWindowSlider), TBM_SETRANGE, 0, MAKELPARAM(1, 200));
    SendMessage(GetDlgItem(dialog, kWindowSlider), TBM_SETPOS, 1, 1);
    SendMessage(GetDlgItem(dialog, kPeakSlider), TBM_SETRANGE, 0, MAKELPARAM(1, 180));
    SendMessage(GetDlgItem(dialog, kPeakSlider), TBM_SETPOS, 1, 1);
    mWindowSlider = std::make_unique<TJSlider>(dialog, kWindowSlider, dialog);
    mPeakSlider = std::make_unique<TJSlider>(dialog, kPeakSlider, dialog);
    // The up-down steps the peak height; the dialog takes each step over (UDN_DELTAPOS), so the
    // up-down itself never moves and can always step both ways.
    SendMessage(GetDlgItem(dialog, kPeakSpin), UDM_SETRANGE32, 0, 9);
    mHelp = MakeHelpButton(dialog, kDetectorHelp);
    // The noise level is in the source channel's values.
    SetWindowText(GetDlgItem(dialog, kNoiseUnit), mUnit);
    if (mPreview) {
        // The host's scales for the preview's strip, unless this library has them already.
        if (IScaleFactory* factory = VarnDraw::GetHostScaleFactory())
            factory->Release();
        else if (void* scales = nullptr; mPreviewSource->QueryInterface(IScaleFactory::kIid, &scales) == S_OK) {
            VarnDraw::SetHostScaleFactory(static_cast<IScaleFactory*>(scales));
            static_cast<IScaleFactory*>(scales)->Release();
            mSetScales = true;
        }
        void* previewHost = nullptr;
        mPreviewSource->QueryInterface(IPreviewHost::kIid, &previewHost);
        if (SUCCEEDED(mPreview->CreatePreviewWindow(static_cast<IPreviewHost*>(previewHost), mPreviewSource, dialog))) {
            mPreview->PlaceOverDialogItem(0);
            ShowWindow(GetDlgItem(dialog, ExtLib::kPreviewPlaceholderId), SW_HIDE);
        }
        if (previewHost)
            static_cast<IPreviewHost*>(previewHost)->Release();
    }
    TransferToControls();
    mSetUp = true;
    if (mPreview && mPreview->Window()) {
        UpdatePreview(false);
        mPreview->Setup(mPreviewFirst, mPreviewLast);
    }
}

void AdvancedSettingsDialog::TransferToControls()
{
    HWND dialog = GetHandle();
    mCoupling = true;
    for (std::size_t n = 0; n < mFields.size(); ++n)
        mFields[n].Write(Stored(mSettings, kDetectorFields[n]));
    SendMessage(GetDlgItem(dialog, kWindowSlider), TBM_SETPOS, 1, Steps(mSettings.mLevellingWindow, kWindowStep));
    SendMessage(GetDlgItem(dialog, kPeakSlider), TBM_SETPOS, 1, Steps(mSettings.mMinPeakHeight, kPeakStep));
    mCoupling = false;
}

bool AdvancedSettingsDialog::UpdatePreview(bool commit)
{
    if (!mSetUp)
        return false;
    double values[std::size(kDetectorFields)] = {};
    for (std::size_t n = 0; n < mFields.size(); ++n)
        if (!mFields[n].Read(&values[n]))
            return false; // the preview keeps the last valid detection
    // The dialog's settings when committing, else a copy of them.
    Settings trial;
    trial.CopyFields(mSettings);
    Settings& target = commit ? mSettings : trial;
    for (std::size_t n = 0; n < mFields.size(); ++n)
        Store(target, kDetectorFields[n], values[n]);
    if (!commit)
        UpdateDetector(target);
    return true;
}

bool AdvancedSettingsDialog::CanClose()
{
    if (UpdatePreview(true))
        return true;
    WarnInvalid(GetHandle());
    return false;
}

void AdvancedSettingsDialog::SliderFromField(int field, int slider, double step)
{
    auto it = std::find_if(mFields.begin(), mFields.end(), [&](const DialogField& f) { return f.id == field; });
    double value = 0;
    if (it != mFields.end() && it->Read(&value))
        SendMessage(GetDlgItem(GetHandle(), slider), TBM_SETPOS, 1, Steps(value, step));
}

void AdvancedSettingsDialog::FieldFromSlider(int slider, int field, double step)
{
    const auto position = SendMessage(GetDlgItem(GetHandle(), slider), TBM_GETPOS, 0, 0);
    auto it = std::find_if(mFields.begin(), mFields.end(), [&](const DialogField& f) { return f.id == field; });
    if (it == mFields.end())
        return;
    mCoupling = true;
    it->Write(static_cast<double>(position) * step);
    mCoupling = false;
}

void AdvancedSettingsDialog::OnSliderTrack(const SliderTrack& track)
{
    if (track.code != kTrackCode || (track.id != kWindowSlider && track.id != kPeakSlider))
        return;
    // The field follows the thumb; its change then updates the preview.
    const bool window = track.id == kWindowSlider;
    auto it = std::find_if(
        mFields.begin(), mFields.end(), [&](const DialogField& f) { return f.id == (window ? kWindow : kPeakHeight); });
    if (it == mFields.end())
        return;
    mCoupling = true;
    it->Write(track.position * (window ? kWindowStep : kPeakStep));
    mCoupling = false;
}

void AdvancedSettingsDialog::OnCommand(int id, UINT code)
{
    switch (id) {
    case IDOK:
        if (CanClose())
            EndDialog(GetHandle(), IDOK);
        return;
    case IDCANCEL:
        EndDialog(GetHandle(), IDCANCEL);
        return;
    case kDetectorHelp:
        if (code == BN_CLICKED)
            ShowHelpTopic(L"HRV_Signal_Preprocessing");
        return;
    default:
        break;
    }
    if (code != EN_CHANGE || !mSetUp)
        return;
    if (id == kWindow && !mCoupling)
        SliderFromField(kWindow, kWindowSlider, kWindowStep);
    else if (id == kPeakHeight && !mCoupling)
        SliderFromField(kPeakHeight, kPeakSlider, kPeakStep);
    if (id == kWindow || id == kPeakHeight || id == kQRSWidth || id == kMinPeriod || id == kNoise || id == kLowPass)
        UpdatePreview(false);
}

void AdvancedSettingsDialog::OnScroll(HWND control, WPARAM request)
{
    HWND dialog = GetHandle();
    const int code = LOWORD(request);
    if (control == GetDlgItem(dialog, kWindowSlider) || control == GetDlgItem(dialog, kPeakSlider)) {
        const bool window = control == GetDlgItem(dialog, kWindowSlider);
        if (code == TB_ENDTRACK || code == TB_THUMBPOSITION) {
            FieldFromSlider(
                window ? kWindowSlider : kPeakSlider, window ? kWindow : kPeakHeight, window ? kWindowStep : kPeakStep);
            if (code == TB_ENDTRACK)
                UpdatePreview(false);
        }
        return;
    }
}

void AdvancedSettingsDialog::OnPeakSpin(const NMUPDOWN& change)
{
    auto it = std::find_if(mFields.begin(), mFields.end(), [](const DialogField& f) { return f.id == kPeakHeight; });
    if (change.iDelta == 0 || it == mFields.end())
        return;
    const double current = KELControls::ParseDoublePrefix(it->edit->GetText(), KELControls::DecimalSeparator());
    it->Write(std::clamp(current + change.iDelta * kPeakStep, 0.05, 9.0));
}

void AdvancedSettingsDialog::Drive()
{
    if (mScript.empty())
        return;
    for (const auto& entry : mScript) {
        const std::wstring& name = entry.first;
        const std::wstring& text = entry.second;
        auto fieldSpec = std::find_if(
            std::begin(kDetectorFields), std::end(kDetectorFields), [&](const FieldSpec& s) { return name == s.name; });
        if (fieldSpec == std::end(kDetectorFields))
            continue;
        Settings trial;
        trial.CopyFields(mSettings);
        std::wstring reason;
        if (!trial.SetField(name, text, &reason))
            continue;
        mFields[static_cast<std::size_t>(fieldSpec - std::begin(kDetectorFields))].Write(Stored(trial, *fieldSpec));
    }
    Press(GetHandle(), IDOK);
}

INT_PTR AdvancedSettingsDialog::DialogFunction(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetupWindow();
        PostMessage(GetHandle(), kDriveMessage, 0, 0);
        return 1;
    case kDriveMessage:
        Drive();
        return 1;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 1;
    case WM_HSCROLL:
    case WM_VSCROLL:
        OnScroll(reinterpret_cast<HWND>(lParam), wParam);
        return 1;
    case WM_NOTIFY: {
        if (!lParam)
            return 1;
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.code == UDN_DELTAPOS && header.idFrom == kPeakSpin)
            OnPeakSpin(*reinterpret_cast<const NMUPDOWN*>(lParam)); // answered as handled
        else
            OnSliderTrack(*reinterpret_cast<const SliderTrack*>(lParam));
        return 1;
    }
    default:
        return 0;
    }
}

// ---- Settings dialog ------------------------------------------------------------------------------

// What the host's dialog service is handed: it fills the dialog's fields and presses its buttons.
// A value is checked against its field's range first, and refused with the reason
// ("NAME must be from A to B, not V"); detector values go through the detector settings of the
// "Custom" preset, which is chosen for them; values the dialog does not show are set on the
// settings it edits.
class SettingsDialog::Editor final : public ISettingsEditor {
public:
    explicit Editor(SettingsDialog& dialog)
        : mDialog(dialog)
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IUnknown::kIid || iid == ISettingsEditor::kIid) {
            *out = static_cast<ISettingsEditor*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives with the dialog: the counts do not own it.
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetChannelCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        *count = static_cast<DWORD>(mDialog.mTitles.size());
        return S_OK;
    }
    HRESULT GetChannelTitle(DWORD index, BSTR* title) override
    {
        if (!title)
            return E_POINTER;
        *title = nullptr;
        if (index >= mDialog.mTitles.size())
            return E_INVALIDARG;
        return GiveText(mDialog.mTitles[index], title);
    }
    HRESULT SelectSpecies(LONG index) override
    {
        if (index < 0 || index > kCustomPreset)
            return E_INVALIDARG;
        Choose(mDialog.GetHandle(), kPreset, index);
        return S_OK;
    }
    HRESULT SetValue(const wchar_t* name, const wchar_t* text, BSTR* error) override;
    HRESULT GetValue(const wchar_t* name, BSTR* text) override;
    HRESULT CheckFields(BSTR* error) override
    {
        if (error)
            *error = nullptr;
        for (const FieldSpec& fieldSpec : kSettingsFields)
            if (DialogField& field = mDialog.Field(fieldSpec.id); !field.Read(nullptr)) {
                GiveText(Refusal(fieldSpec.name, field), error);
                return S_FALSE;
            }
        return S_OK;
    }

private:
    // "NAME must be from A to B here, not V", in the stored unit.
    static std::wstring Refusal(const std::wstring& name, const DialogField& field)
    {
        double shown = 0;
        const std::wstring text = field.edit->GetText();
        const std::wstring value = KELControls::ParseDouble(text, KELControls::DecimalSeparator(), &shown)
            ? Number(Tidy(shown / field.scale))
            : L"\"" + text + L"\"";
        return name + L" must be from " + Number(Tidy(field.Lower() / field.scale)) + L" to "
            + Number(Tidy(field.Upper() / field.scale)) + L" here, not " + value;
    }
    HRESULT Refuse(const std::wstring& reason, BSTR* error)
    {
        GiveText(reason, error);
        return E_INVALIDARG;
    }
    SettingsDialog& mDialog;
};

HRESULT SettingsDialog::Editor::SetValue(const wchar_t* nameText, const wchar_t* text, BSTR* error)
{
    if (error)
        *error = nullptr;
    if (!nameText || !text)
        return E_POINTER;
    const std::wstring name = nameText;
    HWND dialog = mDialog.GetHandle();
    Settings trial;
    trial.CopyFields(mDialog.mSettings);
    std::wstring reason;
    if (!trial.SetField(name, text, &reason))
        return Refuse(reason, error);
    if (name == L"SourceChannel") {
        const std::size_t count = mDialog.mTitles.size();
        if (trial.mSourceChannel >= count)
            return Refuse(
                L"SourceChannel must be from 0 to " + std::to_wstring(count ? count - 1 : 0) + L", not " + text, error);
        Choose(dialog, kChannel, trial.mSourceChannel);
    } else if (name == L"UseSelection") {
        SendMessage(GetDlgItem(dialog, trial.mUseSelection ? kSelection : kWholeChannel), BM_CLICK, 0, 0);
    } else if (name == L"AutoBinWidth" || name == L"ExcludeEctopics") {
        const int id = name == L"AutoBinWidth" ? kAutoBinWidth : kExcludeEctopics;
        const bool on = name == L"AutoBinWidth" ? trial.mAutoBinWidth : trial.mExcludeEctopics;
        if (Checked(dialog, id) != on)
            SendMessage(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    } else if (name == L"Species") {
        Choose(dialog, kPreset, trial.mSpecies);
    } else if (IsDetectorField(name)) {
        if (mDialog.SelectedPreset() != kCustomPreset)
            Choose(dialog, kPreset, kCustomPreset);
        mDialog.CmAdvanced({ { name, text } });
        if (FindSettingsField(name)->f64
            && Member(mDialog.mSettings, *FindSettingsField(name)) != Member(trial, *FindSettingsField(name)))
            return Refuse(L"the detector settings did not take " + name + L" = " + text, error);
    } else if (const FieldSpec* fieldSpec = FindSpec(name)) {
        DialogField& field = mDialog.Field(fieldSpec->id);
        const double value = Stored(trial, *fieldSpec);
        field.Write(value);
        if (!field.Read(nullptr))
            return Refuse(Refusal(name, field), error);
    } else {
        // Not shown by the dialog: set on the settings it edits.
        mDialog.mSettings.SetField(name, text, nullptr);
    }
    return S_OK;
}

HRESULT SettingsDialog::Editor::GetValue(const wchar_t* name, BSTR* text)
{
    if (!name || !text)
        return E_POINTER;
    *text = nullptr;
    if (!FindSettingsField(name))
        return E_INVALIDARG;
    // The value as the dialog shows it.
    Settings shown;
    shown.CopyFields(mDialog.mSettings);
    if (const FieldSpec* fieldSpec = FindSpec(name); fieldSpec && !IsDetectorField(name)) {
        double value = 0;
        if (!mDialog.Field(fieldSpec->id).Read(&value))
            return GiveText(mDialog.Field(fieldSpec->id).edit->GetText(), text);
        Store(shown, *fieldSpec, value);
    }
    return GiveText(shown.FieldText(name), text);
}

SettingsDialog::SettingsDialog(HWND parent, std::vector<std::wstring> channelTitles, Settings& settings,
    IDialogService* service, IDocumentHost* host)
    : KEL::DialogBase(parent, kSettingsDialogId, DialogModule())
    , mTitles(std::move(channelTitles))
    , mSettings(settings)
    , mService(service)
    , mHost(host)
    , mEditor(std::make_unique<Editor>(*this))
{
    mSettings.AddRef();
}

SettingsDialog::~SettingsDialog()
{
    mSettings.Release();
}

int SettingsDialog::Execute()
{
    if (KEL::DialogBase::Execute() != IDOK)
        return 2;
    // The dialog shows no place for some values (a channel beyond the list, for one): settings
    // that are still not valid are not taken, and the user is told why.
    std::wstring reason;
    if (mSettings.Validate(&reason))
        return 1;
    if (mHost)
        mHost->MessageBox(L"HRV Settings", (L"The settings are not valid: " + reason).c_str(), 0x30, 0);
    return 2;
}

DialogField& SettingsDialog::Field(int id)
{
    return *std::find_if(mFields.begin(), mFields.end(), [&](const DialogField& f) { return f.id == id; });
}

std::int32_t SettingsDialog::SelectedPreset() const
{
    return static_cast<std::int32_t>(SendMessage(GetDlgItem(GetHandle(), kPreset), CB_GETCURSEL, 0, 0));
}

void SettingsDialog::SetupWindow()
{
    HWND dialog = GetHandle();
    HWND channels = GetDlgItem(dialog, kChannel);
    for (const std::wstring& title : mTitles)
        SendMessage(channels, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(title.c_str()));
    HWND presets = GetDlgItem(dialog, kPreset);
    const HMODULE module = DialogModule();
    for (UINT id = 18; id <= 26; ++id) {
        const std::wstring name = KEL::GetResString(module, id, false).ToWString();
        SendMessage(presets, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    mFields = AttachFields(dialog, kSettingsFields);
    mHelp = MakeHelpButton(dialog, kHelp);
    TransferToControls();
    mSetUp = true;
    OnBandsChanged();
}

void SettingsDialog::TransferToControls()
{
    HWND dialog = GetHandle();
    const bool wasSetUp = std::exchange(mSetUp, false); // the bands are re-bounded once, at the end
    SendMessage(GetDlgItem(dialog, kChannel), CB_SETCURSEL,
        mSettings.mSourceChannel < mTitles.size() ? mSettings.mSourceChannel : static_cast<WPARAM>(-1), 0);
    Check(dialog, kWholeChannel, !mSettings.mUseSelection);
    Check(dialog, kSelection, mSettings.mUseSelection);
    Check(dialog, kAutoBinWidth, mSettings.mAutoBinWidth);
    Check(dialog, kExcludeEctopics, mSettings.mExcludeEctopics);
    for (std::size_t n = 0; n < mFields.size(); ++n)
        mFields[n].Write(Stored(mSettings, kSettingsFields[n]));
    SendMessage(GetDlgItem(dialog, kPreset), CB_SETCURSEL,
        mSettings.mSpecies <= 8 ? mSettings.mSpecies : static_cast<WPARAM>(-1), 0);
    Enable(dialog, kAdvanced, mSettings.mSpecies == static_cast<std::uint32_t>(kCustomPreset));
    mSetUp = wasSetUp;
    if (mSetUp)
        OnBandsChanged();
}

void SettingsDialog::OnPresetChanged()
{
    const std::int32_t preset = SelectedPreset();
    mSettings.ApplySpeciesPreset(preset);
    if (preset == kCustomPreset)
        Enable(GetHandle(), kAdvanced, true);
    else
        TransferToControls();
}

void SettingsDialog::CmAdvanced(AdvancedSettingsDialog::Script script)
{
    Settings* raw = nullptr;
    if (FAILED(mSettings.Clone(&raw)) || !raw)
        return;
    {
        std::wstring unit;
        BSTR text = nullptr;
        if (mHost && SUCCEEDED(mHost->ChannelUnit(static_cast<std::int32_t>(mSettings.mSourceChannel), &text)) && text)
            unit = text;
        SysFreeString(text);
        AdvancedSettingsDialog advanced(GetHandle(), *raw, unit, std::move(script), mHost);
        if (advanced.Run() == IDOK) {
            const bool changed = raw->mSpecies != mSettings.mSpecies
                || std::any_of(std::begin(kDetectorFields), std::end(kDetectorFields),
                    [&](const FieldSpec& s) { return Stored(*raw, s) != Stored(mSettings, s); });
            if (changed) {
                mSettings.mSpecies = raw->mSpecies;
                for (const FieldSpec& s : kDetectorFields)
                    Store(mSettings, s, Stored(*raw, s));
            }
        }
    }
    raw->Release();
}

void SettingsDialog::OnAutoClicked()
{
    StoreAnalysisFields();
    Enable(GetHandle(), kAdvanced, SelectedPreset() == kCustomPreset);
}

void SettingsDialog::OnChannelChanged()
{
    const LRESULT selected = SendMessage(GetDlgItem(GetHandle(), kChannel), CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return; // no channel chosen: the stored one stays
    mSettings.mSourceChannel = static_cast<std::uint32_t>(selected);
    mSettings.mSourceChannelFlags = 0xC0000000u;
}

void SettingsDialog::OnBandsChanged()
{
    if (!mSetUp)
        return;
    double upper = 10;
    if (double value = 0; Field(kMaxFrequency).Read(&value))
        upper = std::clamp(value, 0.0, 10.0);
    // The value of an edge, clamped to 0 .. upper; `otherwise` when it is not a number.
    const auto edge = [&](int id, double otherwise) {
        double value = 0;
        if (!KELControls::ParseDouble(Field(id).edit->GetText(), KELControls::DecimalSeparator(), &value))
            return otherwise;
        return std::clamp(value, 0.0, upper);
    };
    // The bands follow one another: each band's start lies between the neighbouring bands'
    // starts, and its end between their ends; the start and end of one band may come in either
    // order (they are stored in order).
    Field(kVLFLow).Rebound(0, edge(kLFLow, upper)); // VLF start
    Field(kLFLow).Rebound(edge(kVLFLow, 0), edge(kHFLow, upper)); // LF start
    Field(kVLFHigh).Rebound(0, edge(kLFHigh, upper)); // VLF end
    Field(kHFLow).Rebound(edge(kLFLow, 0), upper); // HF start
    Field(kLFHigh).Rebound(edge(kVLFHigh, 0), edge(kHFHigh, upper)); // LF end
    Field(kHFHigh).Rebound(edge(kLFHigh, 0), upper); // HF end
}

bool SettingsDialog::StoreAnalysisFields()
{
    HWND dialog = GetHandle();
    mSettings.mAutoBinWidth = Checked(dialog, kAutoBinWidth);
    double value = 0;
    bool valid = true;
    for (const int id : { kBinWidth, kPRRThreshold, kSDARRAveraging }) {
        if (Field(id).Read(&value))
            Store(mSettings,
                *std::find_if(std::begin(kSettingsFields), std::end(kSettingsFields),
                    [&](const FieldSpec& s) { return s.id == id; }),
                value);
        else if (id != kSDARRAveraging)
            valid = false; // an invalid averaging period is only left unstored: its marker stays
    }
    mSettings.mExcludeEctopics = Checked(dialog, kExcludeEctopics);
    return valid;
}

bool SettingsDialog::CanClose()
{
    HWND dialog = GetHandle();
    bool valid = mSettings.ApplySpeciesPreset(SelectedPreset());
    OnChannelChanged();
    mSettings.mUseSelection = Checked(dialog, kSelection);
    valid = StoreAnalysisFields() && valid;
    // Pairs are stored in order when both of their fields are valid.
    const auto pair = [&](int first, int second, double Settings::*low, double Settings::*high) {
        double a = 0, b = 0;
        const bool firstValid = Field(first).Read(&a);
        const bool secondValid = Field(second).Read(&b);
        if (!firstValid || !secondValid)
            return false;
        mSettings.*low = std::min(a, b);
        mSettings.*high = std::max(a, b);
        return true;
    };
    valid = pair(kRRMin, kRRMax, &Settings::mRRMin, &Settings::mRRMax) && valid;
    valid = pair(kComplexityMin, kComplexityMax, &Settings::mComplexityMin, &Settings::mComplexityMax) && valid;
    double value = 0;
    if (Field(kMaxFrequency).Read(&value))
        mSettings.mMaxFrequency = value;
    else
        valid = false;
    if (Field(kNumFrequencies).Read(&value))
        mSettings.mNumFrequencies = static_cast<std::int32_t>(std::lround(value));
    else
        valid = false;
    valid = pair(kVLFLow, kVLFHigh, &Settings::mVLFLow, &Settings::mVLFHigh) && valid;
    valid = pair(kLFLow, kLFHigh, &Settings::mLFLow, &Settings::mLFHigh) && valid;
    valid = pair(kHFLow, kHFHigh, &Settings::mHFLow, &Settings::mHFHigh) && valid;
    if (valid)
        return true;
    WarnInvalid(dialog);
    return false;
}

void SettingsDialog::OnCommand(int id, UINT code)
{
    switch (id) {
    case IDOK:
        if (CanClose())
            EndDialog(GetHandle(), IDOK);
        return;
    case IDCANCEL:
        EndDialog(GetHandle(), IDCANCEL);
        return;
    case kHelp:
        if (code == BN_CLICKED)
            ShowHelpTopic(L"HRV_Settings2");
        return;
    case kPreset:
        if (code == CBN_SELCHANGE)
            OnPresetChanged();
        return;
    case kAdvanced:
        if (code == BN_CLICKED)
            CmAdvanced();
        return;
    case kAutoBinWidth:
        if (code == BN_CLICKED)
            OnAutoClicked();
        return;
    case kChannel:
        if (code == CBN_SELCHANGE)
            OnChannelChanged();
        return;
    case kMaxFrequency:
    case kVLFLow:
    case kVLFHigh:
    case kLFLow:
    case kLFHigh:
    case kHFLow:
    case kHFHigh:
        if (code == EN_CHANGE)
            OnBandsChanged();
        return;
    default:
        return;
    }
}

INT_PTR SettingsDialog::DialogFunction(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetupWindow();
        PostMessage(GetHandle(), kDriveMessage, 0, 0);
        return 1;
    case kDriveMessage: {
        // The host's dialog service answers through the editor: 1 presses OK, 2 Cancel, and
        // anything else leaves the dialog to its user.
        const int answer = mService ? mService->RunSettings(mEditor.get()) : 0;
        if (answer == 1 || answer == 2)
            Press(GetHandle(), answer == 1 ? IDOK : IDCANCEL);
        if (answer == 1 && IsWindowVisible(GetHandle())) {
            // OK was refused: say which field, for whoever drove the dialog.
            BSTR reason = nullptr;
            mEditor->CheckFields(&reason);
            vx::log::WriteLine("HRV Settings: OK refused: " + KEL::String(reason ? reason : L"").Utf8());
            SysFreeString(reason);
        }
        return 1;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 1;
    default:
        return 0;
    }
}

// ---- Calculations dialog --------------------------------------------------------------------------

namespace {
// The measures of the list, in order, with the string of each name.
constexpr std::pair<std::uint32_t, UINT> kMeasures[] = { { 0, 14 }, { 1, 15 }, { 2, 16 }, { 5, 17 } };
} // namespace

Dialog::Dialog(HWND parent, std::uintptr_t, CalculationChoice& settings)
    : KEL::DialogBase(parent, kCalculationsDialogId, DialogModule())
    , mSettings(settings)
{
}

Dialog::~Dialog() = default;

int Dialog::Execute()
{
    return KEL::DialogBase::Execute() == IDOK ? IDOK : 2;
}

void Dialog::SetupWindow()
{
    HWND dialog = GetHandle();
    HWND list = GetDlgItem(dialog, kMeasure);
    static const std::vector<std::wstring> texts = [] {
        std::vector<std::wstring> loaded;
        for (const auto& [value, id] : kMeasures)
            loaded.push_back(KEL::GetResString(DialogModule(), id, false).ToWString());
        return loaded;
    }();
    for (std::size_t n = 0; n < std::size(kMeasures); ++n) {
        SendMessage(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[n].c_str()));
        SendMessage(list, CB_SETITEMDATA, n, static_cast<LPARAM>(kMeasures[n].first));
        if (kMeasures[n].first == mSettings.mParameter)
            SendMessage(list, CB_SETCURSEL, n, 0);
    }
    mHelp = MakeHelpButton(dialog, kHelp);
    Check(dialog, kGuideLines, mSettings.mSetGuideLines);
    Enable(dialog, kGuideLines, mSettings.mParameter != 1);
}

std::uint32_t Dialog::SelectedParameter() const
{
    HWND list = GetDlgItem(GetHandle(), kMeasure);
    const LRESULT selected = SendMessage(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return mSettings.mParameter; // a measure without a name (3, 4) stays as it was
    return static_cast<std::uint32_t>(SendMessage(list, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0));
}

void Dialog::Take()
{
    mSettings.mParameter = SelectedParameter();
    mSettings.mSetGuideLines = Checked(GetHandle(), kGuideLines);
}

INT_PTR Dialog::DialogFunction(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetupWindow();
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            Take();
            EndDialog(GetHandle(), IDOK);
            return 1;
        case IDCANCEL:
            EndDialog(GetHandle(), IDCANCEL);
            return 1;
        case kHelp:
            if (HIWORD(wParam) == BN_CLICKED)
                ShowHelpTopic(kHelpTopic);
            return 1;
        case kMeasure:
            // Every change of the measure is stored with the guide-line choice at once.
            // "Set Guide Lines" means nothing for the change in beat period; its state is kept.
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                Take();
                Enable(GetHandle(), kGuideLines, mSettings.mParameter != 1);
            }
            return 1;
        default:
            return 0;
        }
    default:
        return 0;
    }
}

} // namespace HRV
