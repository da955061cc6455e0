#include "host/recording/CalculationClasses.h"

#include "com/Persist.h"

namespace vx::host {

CalculationClassRegistry::~CalculationClassRegistry()
{
    for (auto& [id, c] : mCalculations)
        c->Release();
    for (auto& [id, c] : mSettings)
        c->Release();
}

namespace {
template <class I> HRESULT Take(IUnknown* object, std::map<DWORD, I*>& into)
{
    I* c = nullptr;
    HRESULT hr = object->QueryInterface(I::kIid, reinterpret_cast<void**>(&c));
    if (FAILED(hr) || !c)
        return E_NOINTERFACE;
    DWORD id = 0;
    hr = c->GetClassId(&id);
    if (SUCCEEDED(hr) && into.count(id))
        hr = E_INVALIDARG; // the first class with an id keeps it
    if (FAILED(hr)) {
        c->Release();
        return hr;
    }
    into[id] = c;
    return S_OK;
}
} // namespace

HRESULT CalculationClassRegistry::Register(IUnknown* classObject)
{
    if (!classObject)
        return E_POINTER;
    const HRESULT hr = Take(classObject, mCalculations);
    return hr == E_NOINTERFACE ? Take(classObject, mSettings) : hr;
}

int CalculationClassRegistry::RegisterAll(const std::vector<IUnknown*>& classObjects)
{
    int count = 0;
    for (IUnknown* o : classObjects)
        count += Register(o) == S_OK ? 1 : 0;
    return count;
}

ICalculationClass* CalculationClassRegistry::CalculationClass(DWORD classId) const
{
    const auto it = mCalculations.find(classId);
    return it == mCalculations.end() ? nullptr : it->second;
}

IPersistClassObject* CalculationClassRegistry::SettingsClass(DWORD classId) const
{
    const auto it = mSettings.find(classId);
    return it == mSettings.end() ? nullptr : it->second;
}

std::vector<DWORD> CalculationClassRegistry::CalculationClassIds() const
{
    std::vector<DWORD> ids;
    for (const auto& [id, c] : mCalculations)
        ids.push_back(id);
    return ids;
}

HRESULT CalculationClassRegistry::CreateSettings(DWORD settingsClassId, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    IPersistClassObject* c = SettingsClass(settingsClassId);
    return c ? c->CreateInstance(nullptr, IUnknown::kIid, reinterpret_cast<void**>(out)) : E_INVALIDARG;
}

HRESULT CalculationClassRegistry::SaveSettings(DWORD settingsClassId, IUnknown* settings, IStream* stream)
{
    if (!settings || !stream)
        return E_POINTER;
    if (!SettingsClass(settingsClassId))
        return E_INVALIDARG;
    IPersistStreamInit* persist = nullptr;
    if (FAILED(settings->QueryInterface(IPersistStreamInit::kIid, reinterpret_cast<void**>(&persist))) || !persist)
        return E_NOINTERFACE;
    ULONG written = 0;
    HRESULT hr = stream->Write(&settingsClassId, sizeof settingsClassId, &written);
    if (SUCCEEDED(hr) && written != sizeof settingsClassId)
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = persist->Save(stream, 1);
    persist->Release();
    return hr;
}

HRESULT CalculationClassRegistry::LoadSettings(IStream* stream, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!stream)
        return E_POINTER;
    DWORD id = 0;
    ULONG read = 0;
    if (FAILED(stream->Read(&id, sizeof id, &read)) || read != sizeof id)
        return E_FAIL; // a stream too short to name its class
    IPersistClassObject* c = SettingsClass(id);
    if (!c)
        return E_INVALIDARG; // settings of a class nobody registered
    IUnknown* loaded = nullptr;
    const HRESULT hr = c->LoadObject(stream, &loaded);
    if (FAILED(hr)) {
        if (loaded)
            loaded->Release(); // the class hands out its defaults with a failed load
        return hr;
    }
    *out = loaded;
    return loaded ? hr : E_FAIL;
}

HRESULT CalculationClassRegistry::LoadSettingsOfType(const GUID& type, IStream* stream, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!stream)
        return E_POINTER;
    for (const auto& [id, c] : mSettings) {
        IUnknown* made = nullptr;
        if (FAILED(c->CreateInstance(nullptr, IUnknown::kIid, reinterpret_cast<void**>(&made))) || !made)
            continue;
        IPersistStreamInit* persist = nullptr;
        GUID madeType {};
        HRESULT hr = E_INVALIDARG;
        if (SUCCEEDED(made->QueryInterface(IPersistStreamInit::kIid, reinterpret_cast<void**>(&persist))) && persist) {
            if (SUCCEEDED(persist->GetClassID(&madeType)) && madeType == type)
                hr = persist->Load(stream);
            persist->Release();
        }
        if (hr == S_OK) {
            *out = made;
            return S_OK;
        }
        made->Release();
        if (hr != E_INVALIDARG)
            return FAILED(hr) ? hr : E_FAIL; // the class of the type, but the stream does not load
    }
    return E_INVALIDARG;
}

HRESULT CalculationClassRegistry::ComputeChannel(
    HostDocument& document, std::uint32_t channel, DWORD classId, IUnknown* settings, IObjectFactory* factory)
{
    ICalculationClass* c = CalculationClass(classId);
    if (!c)
        return E_INVALIDARG;
    return document.ComputeChannel(channel, c, settings, factory);
}

HRESULT CalculationClassRegistry::ConfigureChannel(
    HostDocument& document, std::uint32_t channel, DWORD classId, void* parentWindow, IObjectFactory* factory)
{
    ICalculationClass* c = CalculationClass(classId);
    if (!c)
        return E_INVALIDARG;
    IUnknown* current = nullptr;
    if (IChannelCalc* calc = document.ChannelCalcOf(channel); calc && FAILED(calc->GetSettings(&current)))
        current = nullptr;
    IUnknown* edited = nullptr;
    HRESULT hr = c->Configure(parentWindow, current, &edited);
    if (current)
        current->Release();
    if (hr == S_OK && edited)
        hr = document.ComputeChannel(channel, c, edited, factory);
    else if (SUCCEEDED(hr))
        hr = S_FALSE; // cancelled: the channel keeps its calculation
    if (edited)
        edited->Release();
    return hr;
}

} // namespace vx::host
