#pragma once
// HRV::UserEventData: the beats the user added (set 0) and removed (set 1), each an ordered set
// of positions. A child object of the host's data store; HRV::Data persists it.
#include <set>

#include "hrv/core/DataChild.h"

namespace HRV {

class UserEventData : public DataChild<UserEventData, IUserEventData, 2> {
public:
    using PositionSet = std::set<Position>;

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
