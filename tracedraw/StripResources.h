#pragma once
// The resources of the trace windows' control strips, registered for the module that holds this
// library: the button pictures (SVG documents named by command id, and the sampling buttons'
// bitmaps 106, 107 and 108), the tooltips and the sampling messages.
#include <string>

#include "res/Resource.h"

namespace VarnDraw {

// String ids of the strips' texts.
inline constexpr UINT kTipStacked = 26000, kTipOverlaid = 26001, kTipSourceOnly = 26002, kTipDocumentView = 26003,
                      kTipStartSampling = 26004, kTipPauseSampling = 26005, kTipExpand = 26006, kTipCompress = 26007,
                      kTipRatioMenu = 26008, kTipScrollWhileSampling = 26009, kTipNoSamplingDevice = 26010,
                      kTipAutoScaleX = 26011, kTextApplicationName = 26012, kTextCannotStartSampling = 26013,
                      kTipShowLatest = 26014;
// Picture ids of the sampling buttons.
inline constexpr WORD kBitmapDocumentView = 106, kBitmapStartSampling = 107, kBitmapPauseSampling = 108;

// The module whose resources these are (the one this code is linked into).
HMODULE StripModule();
// A text of the strips, each loaded once and kept (product names branded).
const std::wstring& StripText(UINT id);

} // namespace VarnDraw
