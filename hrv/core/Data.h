#pragma once
// HRV::Data: the document's result container that the host stores with the recording. It holds
// the document's settings and the user's beat corrections (HRV::UserEventData), and persists
// the corrections.
#include <cstdint>

#include "com/Persist.h"
#include "com/Ref.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hrv/core/Settings.h"
#include "hrv/core/UserEventData.h"

namespace KEL {
class BinIStream;
}

namespace HRV {

using SettingsPtr = vx::com::Ref<Settings>;

constexpr std::uint32_t kDataVersion = 6;
constexpr std::uint32_t kLegacyDataVersion = 0x10007;

class Data : public SimpleUnknownImp1<IPersistStreamInit, 0> {
public:
    // Takes a reference to the settings and makes an empty set of user corrections.
    explicit Data(Settings* settings);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override { return mDirty ? S_OK : S_FALSE; }
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    // Empties both sets of the user corrections.
    HRESULT InitNew() override;

    Settings* GetSettings() const noexcept { return mSettings.Get(); }
    UserEventData* GetUserEvents() const noexcept { return mUserEvents.Get(); }

    bool mStoredWithHost = false;
    bool mLoaded = false;
    std::uint16_t mDirty = 0;

private:
    void LoadSets(KEL::BinIStream& in);
    // The legacy layout: the analysis range of the settings; S_OK when converted.
    HRESULT LoadLegacy(KEL::BinIStream& in);

    SettingsPtr mSettings;
    vx::com::Ref<UserEventData> mUserEvents;
};

} // namespace HRV
