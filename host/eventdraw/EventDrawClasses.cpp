#include "host/eventdraw/EventDrawClasses.h"

#include "log/Log.h"

#include <cstdio>

namespace vx::eventdraw {

namespace {

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

HRESULT EventDrawClasses::Add(IUnknown* classObject)
{
    if (!classObject)
        return E_POINTER;
    void* out = nullptr;
    if (FAILED(classObject->QueryInterface(IEventDrawClass::kIid, &out)) || !out)
        return S_FALSE;
    auto* cls = static_cast<IEventDrawClass*>(out);
    out = nullptr;
    if (FAILED(cls->QueryInterface(IEventDraw::kIid, &out)) || !out) {
        cls->Release();
        return S_FALSE;
    }
    auto* draw = static_cast<IEventDraw*>(out);
    DWORD type = 0;
    ULONG size = 0;
    if (FAILED(cls->GetEventType(&type)) || FAILED(cls->GetRecordSize(&size)) || size == 0 || mByType.count(type)) {
        vx::log::WriteLine("host: an event-draw class for the event type " + Hex(type) + " was not taken");
        draw->Release();
        cls->Release();
        return S_FALSE;
    }
    // A reference on each interface: an object may count them apart.
    mByType.emplace(type, Entry { cls, draw, size });
    return S_OK;
}

int EventDrawClasses::AddAll(const std::vector<IUnknown*>& objects)
{
    int kept = 0;
    for (IUnknown* object : objects)
        if (Add(object) == S_OK)
            ++kept;
    return kept;
}

const EventDrawClasses::Entry* EventDrawClasses::Find(DWORD type, std::size_t bytes) const
{
    const auto it = mByType.find(type);
    if (it == mByType.end() || bytes < it->second.recordSize)
        return nullptr;
    return &it->second;
}

HRESULT EventDrawClasses::MarkColour(DWORD type, const void* record, std::size_t bytes, DWORD& colour) const
{
    colour = 0;
    const Entry* e = Find(type, bytes);
    if (!e)
        return E_INVALIDARG;
    const HRESULT hr = e->draw->GetMarkColour(record, e->recordSize, &colour);
    if (FAILED(hr))
        colour = 0;
    return hr;
}

HRESULT EventDrawClasses::HintText(DWORD type, const void* record, std::size_t bytes, std::wstring& text) const
{
    text.clear();
    const Entry* e = Find(type, bytes);
    if (!e)
        return E_INVALIDARG;
    BSTR hint = nullptr;
    const HRESULT hr = e->draw->GetHintText(record, e->recordSize, &hint);
    if (SUCCEEDED(hr) && hint)
        text.assign(hint, SysStringLen(hint));
    SysFreeString(hint);
    return hr;
}

void EventDrawClasses::Clear()
{
    std::map<DWORD, Entry> classes;
    classes.swap(mByType);
    for (auto& [type, e] : classes) {
        e.draw->Release();
        e.cls->Release();
    }
}

} // namespace vx::eventdraw
