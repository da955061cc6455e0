#include "hrv/core/EventIdCache.h"

namespace HRV {

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
