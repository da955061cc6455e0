#include "host/hrvdoc/AnalysisManagerSide.h"

namespace vx::host {

HRESULT AnalysisManagerSide::Register(const wchar_t* title, const wchar_t*, int32_t* clientId)
{
    if (!clientId || !title)
        return E_POINTER;
    const int32_t id = mState.managerClients.empty() ? 1 : mState.managerClients.rbegin()->first + 1;
    mState.managerClients[id] = title;
    *clientId = id;
    if (auto* log = mState.Log())
        log->push_back("manager.register " + std::to_string(id));
    return S_OK;
}

HRESULT AnalysisManagerSide::ReportStored(int32_t clientId, DWORD, IPersistStreamInit* object, DWORD flags)
{
    if (!object || !mState.managerClients.count(clientId))
        return E_INVALIDARG;
    if (auto* log = mState.Log())
        log->push_back("manager.stored " + std::to_string(clientId) + " " + std::to_string(flags));
    return S_OK;
}

HRESULT AnalysisManagerSide::Drop(int32_t clientId)
{
    if (auto* log = mState.Log())
        log->push_back("manager.drop " + std::to_string(clientId));
    return mState.managerClients.erase(clientId) ? S_OK : S_FALSE;
}

HRESULT AnalysisManagerSide::Confirm(int32_t clientId)
{
    return mState.managerClients.count(clientId) ? S_OK : S_FALSE;
}

HRESULT AnalysisManagerSide::ReportRange(int32_t clientId, DWORD value, HRV::Position, HRV::Position)
{
    if (auto* log = mState.Log())
        log->push_back("manager.range " + std::to_string(clientId) + " " + std::to_string(value));
    return S_OK;
}

} // namespace vx::host
