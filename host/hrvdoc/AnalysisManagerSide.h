#pragma once
// The host's analysis manager (HRV::IAnalysisManager): the analyses that register with it as its
// clients, numbered from 1 in the order they came, until they are dropped.
#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

class AnalysisManagerSide : public HRV::IAnalysisManager {
public:
    explicit AnalysisManagerSide(HrvHostState& state)
        : mState(state)
    {
    }
    AnalysisManagerSide(const AnalysisManagerSide&) = delete;
    AnalysisManagerSide& operator=(const AnalysisManagerSide&) = delete;

    HRESULT Register(const wchar_t* title, const wchar_t* group, int32_t* clientId) override;
    HRESULT ReportStored(int32_t clientId, DWORD index, IPersistStreamInit* object, DWORD flags) override;
    HRESULT Drop(int32_t clientId) override;
    HRESULT Confirm(int32_t clientId) override;
    HRESULT ReportRange(int32_t clientId, DWORD value, HRV::Position start, HRV::Position end) override;

private:
    HrvHostState& mState;
};

} // namespace vx::host
