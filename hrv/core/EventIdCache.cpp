#include "hrv/core/EventIdCache.h"

#include "hostframework/services/CafFrameWork.h"

namespace HRV {

DWORD EventIdCache::ChildDataId()
{
    static const DWORD id = (DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16) | 3;
    return id;
}

HRESULT EventIdCache::GetChildDataId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = ChildDataId();
    return S_OK;
}

HRESULT EventIdCache::Clone(IVarnDataChildData** copy)
{
    auto* clone = new EventIdCache();
    clone->mIds = mIds;
    clone->AddRef();
    if (copy)
        *copy = clone;
    else
        clone->Release();
    return S_OK;
}

HRESULT EventIdCache::Clear()
{
    mIds.clear();
    return S_OK;
}

HRESULT EventIdCache::IsEmpty(WORD* empty)
{
    if (empty)
        *empty = mIds.empty() ? 0xFFFF : 0;
    return mIds.empty() ? S_OK : S_FALSE;
}

HRESULT EventIdCache::SetId(LONG eventNumber, DWORD id)
{
    mIds[eventNumber] = id;
    return S_OK;
}

HRESULT EventIdCache::GetId(LONG eventNumber, DWORD* id)
{
    const auto it = mIds.find(eventNumber);
    if (id)
        *id = it == mIds.end() ? 0 : it->second;
    return it == mIds.end() ? S_FALSE : S_OK;
}

} // namespace HRV
