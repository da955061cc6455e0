#include "hrv/core/UserEventData.h"

namespace HRV {

HRESULT UserEventData::Clear()
{
    mAdded.clear();
    mRemoved.clear();
    return S_OK;
}

HRESULT UserEventData::IsEmpty(WORD* empty)
{
    const bool isEmpty = mAdded.empty() && mRemoved.empty();
    if (empty)
        *empty = isEmpty ? 0xFFFF : 0;
    return isEmpty ? S_OK : S_FALSE;
}

HRESULT UserEventData::Add(const Position* position, DWORD set)
{
    if (!position)
        return E_FAIL;
    Set(set).insert(*position);
    return S_OK;
}

HRESULT UserEventData::Remove(const Position* position, DWORD set)
{
    if (!position)
        return E_FAIL;
    Set(set).erase(*position);
    return S_OK;
}

HRESULT UserEventData::FindAtOrAfter(const Position* position, DWORD set, Position* found)
{
    if (!position || !found)
        return E_FAIL;
    const PositionSet& s = Set(set);
    const auto it = s.lower_bound(*position);
    *found = it == s.end() ? kUnsetPosition : *it;
    return *found == kUnsetPosition ? S_FALSE : S_OK;
}

} // namespace HRV
