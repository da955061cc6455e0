#pragma once
// A counted reference to the document's settings, as the detector and the detector-settings
// preview hold them: null stays null, anything else gets one more reference that the holder
// releases (deleting settings whose count falls to zero).
#include "hrv/core/Settings.h"

#include <utility>

namespace HRV {

class SettingsPtr {
public:
    SettingsPtr() = default;
    explicit SettingsPtr(Settings* settings)
        : mSettings(settings)
    {
        if (mSettings)
            mSettings->AddRef();
    }
    SettingsPtr(const SettingsPtr& other)
        : SettingsPtr(other.mSettings)
    {
    }
    SettingsPtr(SettingsPtr&& other) noexcept
        : mSettings(std::exchange(other.mSettings, nullptr))
    {
    }
    SettingsPtr& operator=(SettingsPtr other) noexcept
    {
        std::swap(mSettings, other.mSettings);
        return *this;
    }
    ~SettingsPtr()
    {
        if (mSettings)
            mSettings->Release();
    }
    Settings* get() const { return mSettings; }
    Settings* operator->() const { return mSettings; }
    explicit operator bool() const { return mSettings != nullptr; }

private:
    Settings* mSettings = nullptr;
};

} // namespace HRV
