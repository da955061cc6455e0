// The module's dialog templates (settings 100, calculations 101, detector settings 500), laid out
// in dialog units, and the texts the dialogs load from the module's string table.
#include "hrv_ui/Dialogs.h"
#include "res/Resource.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"

// Generated from resources/help: the dialogs' bitmaps, registered for the module given.
void HrvRegisterDialogBitmaps(HMODULE module);

namespace HRV {

namespace {

using namespace vx::ui;
using namespace ControlId;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCombo = kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr DWORD kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = kChild | SS_LEFT;
constexpr DWORD kMarker = WS_CHILD | SS_BITMAP;

Rect Box(int x, int y, int w, int h)
{
    return { x, y, x + w, y + h };
}

DialogItem Label(const wchar_t* text, int x, int y, int w)
{
    return { kStaticClass, text, -1, kLabel, Box(x, y, w, 8) };
}
DialogItem Group(const wchar_t* text, int x, int y, int w, int h)
{
    return { kButtonClass, text, -1, kChild | BS_GROUPBOX, Box(x, y, w, h) };
}
DialogItem Edit(int id, int x, int y, int w = 44)
{
    return { kEditClass, L"", id, kEdit, Box(x, y, w, 12) };
}
DialogItem Marker(int id, int x, int y)
{
    return { kStaticClass, L"", id, kMarker, Box(x, y, 8, 8) };
}

// A labelled field: label, edit, unit and marker on one line.
void Row(std::vector<DialogItem>& items, const wchar_t* label, int edit, const wchar_t* unit, int marker, int x, int y,
    int labelWidth)
{
    const int ex = x + labelWidth + 4;
    items.push_back(Label(label, x, y + 2, labelWidth));
    items.push_back(Edit(edit, ex, y));
    if (unit && *unit)
        items.push_back(Label(unit, ex + 47, y + 2, 16));
    items.push_back(Marker(marker, ex + 64, y + 2));
}

// A minimum - maximum pair: label, first edit and marker, a dash, second edit and marker, unit.
void Pair(std::vector<DialogItem>& items, const wchar_t* label, int first, int second, int firstMarker,
    int secondMarker, const wchar_t* unit, int x, int y, int labelWidth)
{
    const int ex = x + labelWidth + 4;
    items.push_back(Label(label, x, y + 2, labelWidth));
    items.push_back(Edit(first, ex, y, 40));
    items.push_back(Marker(firstMarker, ex + 42, y + 2));
    items.push_back(Label(L"-", ex + 53, y + 2, 5));
    items.push_back(Edit(second, ex + 60, y, 40));
    items.push_back(Marker(secondMarker, ex + 102, y + 2));
    if (unit && *unit)
        items.push_back(Label(unit, ex + 113, y + 2, 16));
}

void Buttons(std::vector<DialogItem>& items, int help, int width, int y)
{
    items.push_back({ kButtonClass, L"Help", help, kButton, Box(7, y, 84, 14) });
    items.push_back({ kButtonClass, L"OK", IDOK, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, Box(width - 114, y, 50, 14) });
    items.push_back({ kButtonClass, L"Cancel", IDCANCEL, kButton, Box(width - 57, y, 50, 14) });
}

DialogTemplate SettingsTemplate()
{
    DialogTemplate t;
    t.caption = L"HRV Settings";
    t.style = kDialogStyle;
    t.units = { 0, 0, 422, 236 };
    auto& items = t.items;
    // Source: channel, range and species preset.
    items.push_back(Group(L"Source", 7, 4, 200, 70));
    items.push_back(Label(L"&Channel:", 14, 19, 40));
    items.push_back({ kComboBoxClass, L"", kChannel, kCombo, Box(58, 17, 142, 12) });
    items.push_back({ kButtonClass, L"&Whole channel", kWholeChannel,
        kChild | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, Box(14, 35, 80, 10) });
    items.push_back({ kButtonClass, L"&Selection", kSelection, kChild | BS_AUTORADIOBUTTON, Box(100, 35, 80, 10) });
    items.push_back(Label(L"&Preset:", 14, 54, 40));
    items.push_back({ kComboBoxClass, L"", kPreset, kCombo | WS_GROUP, Box(58, 52, 88, 12) });
    items.push_back({ kButtonClass, L"Advanced...", kAdvanced, kButton, Box(150, 51, 50, 14) });
    // Analysis.
    items.push_back(Group(L"Analysis", 7, 80, 200, 78));
    Row(items, L"Histogram bin width:", kBinWidth, L"ms", kBinWidthMarker, 14, 94, 80);
    items.push_back({ kButtonClass, L"Auto", kAutoBinWidth, kCheck, Box(172, 95, 30, 10) });
    Row(items, L"pRR threshold:", kPRRThreshold, L"ms", kPRRThresholdMarker, 14, 110, 80);
    Row(items, L"SDARR averaging:", kSDARRAveraging, L"s", kSDARRAveragingMarker, 14, 126, 80);
    items.push_back(
        { kButtonClass, L"Exclude ectopics from analysis", kExcludeEctopics, kCheck, Box(14, 143, 160, 10) });
    // Normal-beat classification box.
    items.push_back(Group(L"Normal Beat Classification", 7, 164, 200, 46));
    Pair(items, L"RR Interval:", kRRMin, kRRMax, kRRMinMarker, kRRMaxMarker, L"ms", 14, 177, 44);
    Pair(items, L"Complexity:", kComplexityMin, kComplexityMax, kComplexityMinMarker, kComplexityMaxMarker, L"", 14,
        193, 44);
    // Spectrum.
    items.push_back(Group(L"Spectrum", 215, 4, 200, 206));
    Row(items, L"Maximum frequency:", kMaxFrequency, L"Hz", kMaxFrequencyMarker, 222, 19, 84);
    Row(items, L"Number of frequencies:", kNumFrequencies, L"", kNumFrequenciesMarker, 222, 35, 84);
    items.push_back(Label(L"Frequency bands:", 222, 58, 84));
    Pair(items, L"VLF:", kVLFLow, kVLFHigh, kVLFLowMarker, kVLFHighMarker, L"Hz", 222, 71, 24);
    Pair(items, L"LF:", kLFLow, kLFHigh, kLFLowMarker, kLFHighMarker, L"Hz", 222, 87, 24);
    Pair(items, L"HF:", kHFLow, kHFHigh, kHFLowMarker, kHFHighMarker, L"Hz", 222, 103, 24);
    Buttons(items, kHelp, 422, 215);
    return t;
}

DialogTemplate DetectorTemplate()
{
    DialogTemplate t;
    t.caption = L"HRV Detector Settings";
    t.style = kDialogStyle;
    t.units = { 0, 0, 492, 254 };
    auto& items = t.items;
    // The preview pane is placed over this item.
    items.push_back(
        { kStaticClass, L"Preview Pane", kPreviewPlaceholder, kChild | WS_BORDER | SS_CENTER, Box(7, 7, 478, 122) });
    items.push_back(Group(L"Detector", 7, 134, 478, 92));
    Row(items, L"Window:", kWindow, L"s", kWindowMarker, 14, 150, 76);
    items.push_back({ kSliderClass, L"", kWindowSlider, kChild | WS_TABSTOP, Box(176, 147, 100, 16) });
    items.push_back(Label(L"Noise:", 14, 170, 76));
    items.push_back(Edit(kNoise, 94, 168));
    items.push_back({ kStaticClass, L"", kNoiseUnit, kLabel, Box(141, 170, 16, 8) });
    items.push_back(Marker(kNoiseMarker, 158, 170));
    items.push_back(Label(L"Minimum peak height:", 14, 190, 76));
    items.push_back(Edit(kPeakHeight, 94, 188, 34));
    items.push_back({ kUpDownClass, L"", kPeakSpin, kChild, Box(128, 188, 10, 12) });
    items.push_back(Label(L"S.D.", 141, 190, 16));
    items.push_back(Marker(kPeakHeightMarker, 158, 190));
    items.push_back({ kSliderClass, L"", kPeakSlider, kChild | WS_TABSTOP, Box(176, 185, 100, 16) });
    Row(items, L"Typical QRS width:", kQRSWidth, L"ms", kQRSWidthMarker, 296, 150, 76);
    Row(items, L"Minimum period:", kMinPeriod, L"ms", kMinPeriodMarker, 296, 170, 76);
    Row(items, L"Low pass filter:", kLowPass, L"Hz", kLowPassMarker, 296, 190, 76);
    Buttons(items, kDetectorHelp, 492, 233);
    return t;
}

DialogTemplate CalculationsTemplate()
{
    DialogTemplate t;
    t.caption = L"HRV Calculations";
    t.style = kDialogStyle;
    t.units = { 0, 0, 254, 76 };
    auto& items = t.items;
    items.push_back(Label(L"&HRV Parameter:", 7, 11, 60));
    items.push_back({ kComboBoxClass, L"", kMeasure, kCombo, Box(70, 9, 120, 12) });
    items.push_back({ kButtonClass, L"Set Guide Lines", kGuideLines, kCheck, Box(70, 28, 100, 10) });
    Buttons(items, kHelp, 254, 55);
    return t;
}

const DialogTemplateRegistrar kSettings(kSettingsDialogId, 0, SettingsTemplate());
const DialogTemplateRegistrar kCalculations(kCalculationsDialogId, 0, CalculationsTemplate());
const DialogTemplateRegistrar kDetector(kDetectorDialogId, 0, DetectorTemplate());

// The help buttons' picture, bitmap 1002, beside the templates.
struct DialogBitmaps {
    DialogBitmaps() { HrvRegisterDialogBitmaps(vx::res::ModuleOf(this)); }
};
const DialogBitmaps kBitmaps;

// The measures of the calculations dialog (14 to 17) and the species presets (18 to 26).
const vx::res::StringTableRegistrar kDialogTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 14, L"Beat Period " },
        { 15, L"Change in Beat Period" },
        { 16, L"Beat Rate" },
        { 17, L"Beat Complexity" },
        { 18, L"Human" },
        { 19, L"Large Dog" },
        { 20, L"Small Dog" },
        { 21, L"Guinea Pig" },
        { 22, L"Mouse" },
        { 23, L"Pig" },
        { 24, L"Rabbit" },
        { 25, L"Rat" },
        { 26, L"Custom" },
    });

} // namespace

HMODULE DialogModule()
{
    return vx::res::ModuleOf(&kSettings);
}

} // namespace HRV
