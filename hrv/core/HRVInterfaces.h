#pragma once
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
// The HRV module's own interfaces and ids.
#include <cstdint>

#include "com/Unknown.h"
#include "hrv/core/Position.h"

namespace HRV {

// Marks the settings object; it has only the IUnknown operations.
struct IHRVSettings : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D0423F5F-910C-48CA-9926-D943EE22F68F}");

protected:
    ~IHRVSettings() = default;
};

// The user's corrections to the detected beats: set 0 holds beats the user added, set 1 beats
// the user removed.
struct IUserEventData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{90678D5E-8981-4188-AF6D-FDFCDDF7B9A7}");
    virtual HRESULT Clear() = 0;
    // 0xFFFF and S_OK when both sets are empty, else 0 and S_FALSE; the out pointer may be null.
    virtual HRESULT IsEmpty(WORD* empty) = 0;
    // Any non-zero set selects set 1. E_FAIL for a null position.
    virtual HRESULT Add(const Position* position, DWORD set) = 0;
    virtual HRESULT Remove(const Position* position, DWORD set) = 0;
    // The first element not before the position, or {0x7FFFFFFF, 0x7FFFFFFF} and S_FALSE.
    virtual HRESULT FindAtOrAfter(const Position* position, DWORD set, Position* found) = 0;

protected:
    ~IUserEventData() = default;
};

// Event numbers to event ids for the analysis.
struct IEventIdCache : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{112F0B80-759A-40BA-AF1E-3CBCF7BF933D}");
    virtual HRESULT Clear() = 0;
    virtual HRESULT IsEmpty(WORD* empty) = 0;
    virtual HRESULT SetId(LONG eventNumber, DWORD id) = 0;
    // The id and S_OK, or 0 and S_FALSE when the number is not cached; the out pointer may be null.
    virtual HRESULT GetId(LONG eventNumber, DWORD* id) = 0;

protected:
    ~IEventIdCache() = default;
};

// The view-class GUID whose type index forms the view class ids, (index << 16) | number.
inline constexpr GUID GUID_HRVViewClass = vx::com::MakeGuid("{62B62191-A1AD-4304-A362-A926FFAF0819}");

// What the calculations dialog edits: the measure a channel shows (0, 1, 2 or 5; 3 and 4 are
// measures without a name here) and whether guide lines are drawn for it.
struct CalculationChoice {
    std::uint32_t mParameter = 0;
    bool mSetGuideLines = true;
};

// The settings of an HRV channel calculation, as the document reads them: the measure the channel
// shows and whether the normal-beat box is marked on it with guide lines.
struct IChannelCalcChoice : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0B7D4E61-2C93-4A5F-B81E-6F3A2D94C075}");
    virtual HRESULT GetChoice(CalculationChoice* choice) = 0;

protected:
    ~IChannelCalcChoice() = default;
};

} // namespace HRV
