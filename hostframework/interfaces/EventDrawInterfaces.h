#pragma once
// Event-draw classes: how the host draws the marks of one kind of event on its traces. An
// extension registers one class object per event type it produces (the type id its event
// enumerators report); when the host draws a trace of such events it asks the class for the
// colour of each mark, and when the user points at a mark, for its hint text. The host hands the
// event record as it came from the enumerator (bytes, possibly unaligned).
#include "com/Bstr.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/HostServices.h"

// The drawing operations; the first interface of an event-draw class object.
struct IEventDraw : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4B7E2D10-93C5-4F1A-8E66-2A9D5C0B7E31}");
    // The colour of the mark of one event, a COLORREF (0x00BBGGRR). E_POINTER for a null out
    // pointer, E_FAIL for a null event, E_INVALIDARG when bytes is less than one record.
    virtual HRESULT GetMarkColour(const void* event, ULONG bytes, DWORD* colour) = 0;
    // The hint text of one event, a new BSTR for the caller to free; the same errors.
    virtual HRESULT GetHintText(const void* event, ULONG bytes, BSTR* text) = 0;

protected:
    ~IEventDraw() = default;
};

// The class-object interface of an event-draw class: the interface the extension registers with
// the host (its second interface). The class id is the event type id.
struct IEventDrawClass : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{4B7E2D11-93C5-4F1A-8E66-2A9D5C0B7E31}");
    // The class name, a new BSTR.
    virtual HRESULT GetName(BSTR* name) = 0;
    // The id of the event type whose marks this class draws: (host type index << 16) | number.
    virtual HRESULT GetEventType(DWORD* type) = 0;
    // The size in bytes of one event record of that type.
    virtual HRESULT GetRecordSize(ULONG* bytes) = 0;

protected:
    ~IEventDrawClass() = default;
};
