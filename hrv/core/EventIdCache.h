#pragma once
// HRV::EventIdCache: event numbers to event ids for the analysis; kept only in the host's
// memory store.
#include <map>

#include "hostframework/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DataChild.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {

class EventIdCache : public SimpleUnknownImp2<IVarnDataChildData, IEventIdCache, 0> {
public:
    // The host id of this child: (document type index << 16) | 3, computed once.
    static DWORD ChildDataId();

    HRESULT GetChildDataId(DWORD* id) override;
    HRESULT Clone(IVarnDataChildData** copy) override;
    HRESULT Notify5() override { return S_OK; }
    HRESULT Notify6() override { return S_OK; }
    HRESULT Notify7() override { return S_OK; }

    HRESULT Clear() override;
    HRESULT IsEmpty(WORD* empty) override;
    HRESULT SetId(LONG eventNumber, DWORD id) override;
    HRESULT GetId(LONG eventNumber, DWORD* id) override;

    const std::map<LONG, DWORD>& Ids() const noexcept { return mIds; }

private:
    std::map<LONG, DWORD> mIds;
};

} // namespace HRV
