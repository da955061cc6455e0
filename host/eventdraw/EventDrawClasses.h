#pragma once
// The host's event-draw classes: the class objects that extensions register to draw the marks of
// their event types. The host keeps them by event type id, and when it draws a trace of events of
// a type (or the user points at one of its marks) it asks the class of that type for the mark's
// colour and hint text, handing it the event record as the channel gave it.
#include "hostframework/interfaces/EventDrawInterfaces.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace vx::eventdraw {

class EventDrawClasses {
public:
    EventDrawClasses() = default;
    EventDrawClasses(const EventDrawClasses&) = delete;
    EventDrawClasses& operator=(const EventDrawClasses&) = delete;
    ~EventDrawClasses() { Clear(); }

    // Keeps an event-draw class (one answering IEventDrawClass and IEventDraw) under its event
    // type, with a reference on each of the two: S_OK. S_FALSE for an object that is not one, and for a second
    // class of a type already kept (the first stays; the refusal is logged). E_POINTER for null.
    HRESULT Add(IUnknown* classObject);
    // Offers every object (for example everything an extension registered); returns how many
    // were kept.
    int AddAll(const std::vector<IUnknown*>& objects);

    bool Has(DWORD type) const { return mByType.count(type) != 0; }
    std::size_t Count() const { return mByType.size(); }

    // The colour (COLORREF) and hint text of one event record of the type. E_INVALIDARG when no
    // class draws the type or the record is shorter than the type's record; otherwise the class's
    // own answer (E_FAIL for a null record). Outputs are cleared on failure.
    HRESULT MarkColour(DWORD type, const void* record, std::size_t bytes, DWORD& colour) const;
    HRESULT HintText(DWORD type, const void* record, std::size_t bytes, std::wstring& text) const;

    // The drawing interface of the class of a type (no reference added; valid while kept); null
    // when no class draws the type.
    IEventDraw* DrawOf(DWORD type) const
    {
        const auto it = mByType.find(type);
        return it == mByType.end() ? nullptr : it->second.draw;
    }

    // Lets go of every class (the host's shut-down).
    void Clear();

private:
    struct Entry {
        IEventDrawClass* cls;
        IEventDraw* draw;
        ULONG recordSize;
    };
    const Entry* Find(DWORD type, std::size_t bytes) const;

    std::map<DWORD, Entry> mByType;
};

} // namespace vx::eventdraw
