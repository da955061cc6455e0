#pragma once
// The beat detector's default formula chain (Human preset, first channel), as the extension
// writes it for a source channel sampled at the given rate.
#include "host/calc/Engine.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace vx::bench {

inline void InstallDefaultChain(calc::Engine& engine, double sampleRate, double qrsWidth = 0.08)
{
    const int k = static_cast<int>(2.0 * qrsWidth * sampleRate);
    const int n = std::max(k, 21);
    engine.SetFormula(L"HRV_vLPF", L"lowpass(Ch1,30)");
    engine.SetFormula(L"HRV_vDIF", L"differentiate(HRV_vLPF,3)");
    engine.SetFormula(L"HRV_vHLB", L"resample(HRV_vDIF,1,1,1," + std::to_wstring(n) + L",0,2)");
    engine.SetFormula(L"HRV_vENV", L"HRV_vDIF * HRV_vDIF + HRV_vHLB * HRV_vHLB");
    engine.SetFormula(L"HRV_vNRM", L"normalizeSec(HRV_vENV,5,2.5,0)");
    engine.SetFormula(L"HRV_vDET", L"cmpeakdet(HRV_vNRM,3,0.3,30)");
}

} // namespace vx::bench
