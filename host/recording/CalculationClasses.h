#pragma once
// The host's registry of the channel-calculation classes that extensions register: calculation
// classes (ICalculationClass) and the classes of their settings (IPersistClassObject), each under
// its class id. Through it the host makes settings, stores and loads them with their class, and
// has a channel of a document computed by a registered class.
#include <cstdint>
#include <map>
#include <vector>

#include "host/recording/HostDocument.h"

namespace vx::host {

class CalculationClassRegistry {
public:
    CalculationClassRegistry() = default;
    ~CalculationClassRegistry();
    CalculationClassRegistry(const CalculationClassRegistry&) = delete;
    CalculationClassRegistry& operator=(const CalculationClassRegistry&) = delete;

    // Takes (and holds) a calculation class or a settings class. E_NOINTERFACE for any other
    // class object, E_INVALIDARG when a class of that kind already has its id, and the class's
    // own failure when it gives no id.
    HRESULT Register(IUnknown* classObject);
    // Registers what it can among the objects an extension registered; returns how many.
    int RegisterAll(const std::vector<IUnknown*>& classObjects);

    // Not counted; null when no class has the id.
    ICalculationClass* CalculationClass(DWORD classId) const;
    IPersistClassObject* SettingsClass(DWORD classId) const;
    // The id of every registered calculation class, in order of id.
    std::vector<DWORD> CalculationClassIds() const;

    // New settings of a settings class with their defaults.
    HRESULT CreateSettings(DWORD settingsClassId, IUnknown** out);
    // Stores settings with their class: u32 class id, then the object's own stream.
    HRESULT SaveSettings(DWORD settingsClassId, IUnknown* settings, IStream* stream);
    // Loads settings stored by SaveSettings through their class; on failure *out is null.
    HRESULT LoadSettings(IStream* stream, IUnknown** out);
    // Loads settings from their own stream through the settings class whose objects report
    // `type` as their class (a type that outlives the process, unlike the class ids).
    // E_INVALIDARG when no registered class makes such settings; on failure *out is null.
    HRESULT LoadSettingsOfType(const GUID& type, IStream* stream, IUnknown** out);

    // Has a named channel of the document computed by the calculation class `classId` with the
    // settings (HostDocument::ComputeChannel). E_INVALIDARG for an unknown class.
    HRESULT ComputeChannel(
        HostDocument& document, std::uint32_t channel, DWORD classId, IUnknown* settings, IObjectFactory* factory);

    // Lets the user edit the settings of the channel's calculation in the class's dialog
    // (parented to `parentWindow`), starting from the channel's current settings, and computes
    // the channel with the edited ones. S_FALSE when the user cancelled; the channel then keeps
    // what it had.
    HRESULT ConfigureChannel(
        HostDocument& document, std::uint32_t channel, DWORD classId, void* parentWindow, IObjectFactory* factory);

private:
    std::map<DWORD, ICalculationClass*> mCalculations;
    std::map<DWORD, IPersistClassObject*> mSettings;
};

} // namespace vx::host
