#pragma once
// A generic event-draw class object: draws the marks of one event type through a policy that
// knows the event record, and tells the host which event type it serves. One reference count
// serves both interfaces; the object is born with a count of 0 and its creator takes the first
// reference. The last release frees it with its critical section (CComObjectRoot's, made only
// when something asked for it).
#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/interfaces/EventDrawInterfaces.h"

#include <cstring>
#include <new>
#include <string>
#include <type_traits>

namespace VarnClient {

// TypeId: `static DWORD Id()`, the event type id (TypeIdClass of the host framework: the host's
// type index of a GUID in the high 16 bits, a number in the low 16 bits, computed once).
// Policy: `static constexpr const wchar_t* kClassName`, `static DWORD Colour(const Event&) noexcept`
// and `static std::wstring HintText(const Event&)`.
template <class Event, class TypeId, class Policy>
class TEventDrawClass : public IEventDraw, public IEventDrawClass, public KEL::CComObjectRoot {
    static_assert(std::is_trivially_copyable_v<Event>, "event records are copied out of the host's buffers");

public:
    TEventDrawClass() = default;

    static const KEL::InterfaceMapEntry* GetInterfaceMap()
    {
        static const KEL::InterfaceMapEntry map[] = {
            KEL::MapEntry<TEventDrawClass, IEventDraw>(),
            KEL::MapEntry<TEventDrawClass, IEventDrawClass>(),
            KEL::MapEntry<TEventDrawClass, ICAFClassObject>(),
            KEL::kMapEnd,
        };
        return map;
    }

    // IEventDraw
    HRESULT GetMarkColour(const void* event, ULONG bytes, DWORD* colour) override
    {
        if (!colour)
            return E_POINTER;
        *colour = 0;
        Event e;
        const HRESULT hr = Read(event, bytes, e);
        if (FAILED(hr))
            return hr;
        *colour = Policy::Colour(e);
        return S_OK;
    }

    HRESULT GetHintText(const void* event, ULONG bytes, BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        *text = nullptr;
        Event e;
        const HRESULT hr = Read(event, bytes, e);
        if (FAILED(hr))
            return hr;
        try {
            const std::wstring hint = Policy::HintText(e);
            *text = SysAllocStringLen(hint.c_str(), static_cast<UINT>(hint.size()));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        return *text ? S_OK : E_OUTOFMEMORY;
    }

    // IEventDrawClass
    HRESULT GetClassId(DWORD* id) override { return GetEventType(id); }

    HRESULT GetName(BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = SysAllocString(Policy::kClassName);
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetEventType(DWORD* type) override
    {
        if (!type)
            return E_POINTER;
        *type = TypeId::Id();
        return S_OK;
    }

    HRESULT GetRecordSize(ULONG* bytes) override
    {
        if (!bytes)
            return E_POINTER;
        *bytes = sizeof(Event);
        return S_OK;
    }

private:
    // The host's record may sit anywhere in its buffer; it is copied out whole.
    static HRESULT Read(const void* event, ULONG bytes, Event& out) noexcept
    {
        if (!event)
            return E_FAIL;
        if (bytes < sizeof(Event))
            return E_INVALIDARG;
        std::memcpy(&out, event, sizeof(Event));
        return S_OK;
    }
};

} // namespace VarnClient
