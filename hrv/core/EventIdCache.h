#pragma once
// HRV::EventIdCache: event numbers to event ids for the analysis; kept only in the host's
// memory store.
#include <map>

#include "hrv/core/DataChild.h"

namespace HRV {

class EventIdCache : public DataChild<EventIdCache, IEventIdCache, 3> {
public:
    HRESULT Clear() override;
    HRESULT IsEmpty(WORD* empty) override;
    HRESULT SetId(LONG eventNumber, DWORD id) override;
    HRESULT GetId(LONG eventNumber, DWORD* id) override;

    const std::map<LONG, DWORD>& Ids() const noexcept { return mIds; }

private:
    std::map<LONG, DWORD> mIds;
};

} // namespace HRV
