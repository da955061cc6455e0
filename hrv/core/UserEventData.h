#pragma once
// HRV::UserEventData: the beats the user added (set 0) and removed (set 1), each an ordered set
// of positions. A child object of the host's data store; HRV::Data persists it.
#include <set>

#include "hostframework/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DataChild.h"
#include "hrv/core/HRVInterfaces.h"

namespace HRV {

class UserEventData : public SimpleUnknownImp2<IVarnDataChildData, IUserEventData, 0> {
public:
    using PositionSet = std::set<Position>;

    // The host id of this child: (document type index << 16) | 2, computed once.
    static DWORD ChildDataId();

    HRESULT GetChildDataId(DWORD* id) override;
    HRESULT Clone(IVarnDataChildData** copy) override;
    HRESULT Notify5() override { return S_OK; }
    HRESULT Notify6() override { return S_OK; }
    HRESULT Notify7() override { return S_OK; }

    HRESULT Clear() override;
    HRESULT IsEmpty(WORD* empty) override;
    HRESULT Add(const Position* position, DWORD set) override;
    HRESULT Remove(const Position* position, DWORD set) override;
    HRESULT FindAtOrAfter(const Position* position, DWORD set, Position* found) override;

    PositionSet& Set(DWORD set) { return set ? mRemoved : mAdded; }
    const PositionSet& Set(DWORD set) const { return set ? mRemoved : mAdded; }

private:
    PositionSet mAdded;
    PositionSet mRemoved;
};

} // namespace HRV
