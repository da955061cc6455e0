#pragma once
// The HRV dialogs' template ids and the ids of their controls: what the dialogs, their templates
// and whoever drives them (tests, `varnex open --dialog click=ID`) name a control by. OK and
// Cancel are the window system's IDOK (1) and IDCANCEL (2).
#include <cstdint>

namespace HRV {

// Template ids.
inline constexpr std::uint16_t kSettingsDialogId = 100;
inline constexpr std::uint16_t kCalculationsDialogId = 101;
inline constexpr std::uint16_t kDetectorDialogId = 500;

namespace ControlId {

// The help button of every dialog but the detector settings.
inline constexpr int kHelp = 160;

// The settings dialog (template 100). An edit's error marker follows it as k...Marker.
inline constexpr int kChannel = 100; // list of the source channels
inline constexpr int kWholeChannel = 101; // radio buttons: the whole channel or the selection
inline constexpr int kSelection = 102;
inline constexpr int kPreset = 110; // list of the species presets
inline constexpr int kAdvanced = 111; // the detector settings (the "Custom" preset only)
inline constexpr int kBinWidth = 120;
inline constexpr int kPRRThreshold = 121;
inline constexpr int kAutoBinWidth = 122; // check box
inline constexpr int kExcludeEctopics = 123; // check box
inline constexpr int kBinWidthMarker = 124;
inline constexpr int kPRRThresholdMarker = 125;
inline constexpr int kSDARRAveraging = 126;
inline constexpr int kSDARRAveragingMarker = 127;
inline constexpr int kMaxFrequency = 130;
inline constexpr int kMaxFrequencyMarker = 131;
inline constexpr int kNumFrequencies = 132;
inline constexpr int kNumFrequenciesMarker = 133;
inline constexpr int kVLFLow = 134;
inline constexpr int kVLFHigh = 135;
inline constexpr int kVLFLowMarker = 136;
inline constexpr int kVLFHighMarker = 137;
inline constexpr int kLFLow = 138;
inline constexpr int kLFHigh = 139;
inline constexpr int kLFLowMarker = 140;
inline constexpr int kLFHighMarker = 141;
inline constexpr int kHFLow = 142;
inline constexpr int kHFHigh = 143;
inline constexpr int kHFLowMarker = 144;
inline constexpr int kHFHighMarker = 145;
inline constexpr int kRRMin = 150;
inline constexpr int kRRMax = 151;
inline constexpr int kRRMinMarker = 152;
inline constexpr int kRRMaxMarker = 153;
inline constexpr int kComplexityMin = 154;
inline constexpr int kComplexityMax = 155;
inline constexpr int kComplexityMinMarker = 156;
inline constexpr int kComplexityMaxMarker = 157;

// The calculations dialog (template 101), besides kHelp.
inline constexpr int kMeasure = 170; // list of the measures
inline constexpr int kGuideLines = 171; // check box "Set Guide Lines"

// The detector settings (template 500).
inline constexpr int kWindow = 501;
inline constexpr int kNoise = 502;
inline constexpr int kWindowSlider = 503;
inline constexpr int kPeakSpin = 504; // the up-down beside the minimum peak height
inline constexpr int kPeakHeight = 505;
inline constexpr int kQRSWidth = 506;
inline constexpr int kPeakSlider = 507;
inline constexpr int kMinPeriod = 508;
inline constexpr int kDetectorHelp = 509;
inline constexpr int kWindowMarker = 510;
inline constexpr int kPreviewPlaceholder = 511; // the preview pane is placed over it
inline constexpr int kNoiseMarker = 512;
inline constexpr int kPeakHeightMarker = 513;
inline constexpr int kQRSWidthMarker = 514;
inline constexpr int kMinPeriodMarker = 515;
inline constexpr int kNoiseUnit = 516; // the source channel's unit beside the noise level
inline constexpr int kLowPass = 517;
inline constexpr int kLowPassMarker = 518;

} // namespace ControlId

} // namespace HRV
