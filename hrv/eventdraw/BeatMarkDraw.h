#pragma once
// How the host draws and describes a beat mark on its traces: the colour of the mark (a Windows
// COLORREF, 0x00BBGGRR) and its hint text.
#include "com/HResult.h"
#include "hrv/analysis/FiducialEvent.h"

#include <string>

namespace HRV {

constexpr uint32_t kMarkGrey = 0xC8C8C8;
constexpr uint32_t kMarkGreen = 0x00FF00;
constexpr uint32_t kMarkRed = 0x0000FF;
constexpr uint32_t kMarkOrange = 0x00AAFF;
constexpr uint32_t kMarkPurple = 0xAA00FF;
constexpr uint32_t kMarkBlue = 0xFF5000;

// The colour of a beat mark by its class.
uint32_t BeatMarkColour(const FiducialEvent& event);

// The hint text of a beat mark; E_FAIL for a null event.
HRESULT BeatMarkHint(const FiducialEvent* event, std::wstring& text);

} // namespace HRV
