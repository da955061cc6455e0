#pragma once
// Static event tables: how a class binds host commands, enable queries, command notifications,
// observer events and messages to its member functions, and the searches and dispatch
// operations that answer the host from such a table.
//
// A table is a constant array of rows, the header first and a row of kind 0 last. Ids are host
// ids, which exist only once the host has handed out the type indexes, so a row may name its id
// by a getter. The getters are read once per table, under std::call_once, into storage that the
// table owns; the rows themselves are never rewritten, so a search on another thread never sees
// a half-resolved row, and no getter address is ever compared as an id.
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <type_traits>

#include "hostframework/interfaces/DocViewInterfaces.h"

namespace EventKind {
inline constexpr BYTE kEnd = 0;
inline constexpr BYTE kHeader = 1;
inline constexpr BYTE kCommand = 2;
inline constexpr BYTE kCommandEnable = 3;
inline constexpr BYTE kObserver = 4;
inline constexpr BYTE kMessage = 5;
// Any other kind is a command notification code (the popup notifications use 6 and 7).
} // namespace EventKind

// Header flag: the table's ids have not been read yet.
inline constexpr BYTE kEventTableUnresolved = 2;
// Modes of command rows.
inline constexpr WORD kEventModeSingleId = 0;
inline constexpr WORD kEventModeIdRange = 1;
// Modes of message rows: the low half of the id mask.
inline constexpr WORD kEventModeExactMessage = 0xFFFF;
inline constexpr WORD kEventModeAnyMessageOfType = 0;

using EventIdGetter = const DWORD* (*)();

// The id of a row: a constant, or a getter read once when the table is resolved.
struct EventId {
    EventIdGetter getter = nullptr;
    DWORD value = 0;
    DWORD Read() const { return getter ? *getter() : value; }
};
constexpr EventId EventIdOf(EventIdGetter getter)
{
    return { getter, 0 };
}
constexpr EventId EventIdOf(DWORD value)
{
    return { nullptr, value };
}

// What an event brings along, for the adapters to pass on.
struct EventCall {
    ICommandEnabler** enabler = nullptr; // enable queries
    ULONGLONG a = 0; // notifications: the two values
    ULONGLONG b = 0;
    IMessage* message = nullptr; // messages
};

struct EventTableEntry;
// Invokes the row's handler on `object` with the arguments of the row's kind.
using EventCallAdapter = HRESULT (*)(void* object, const EventTableEntry& row, EventCall& call);
// Unpacks the event's data into the handler's arguments and calls it (observer rows, and
// message rows of window classes).
using EventUnpackAdapter = HRESULT (*)(void* object, const void* handler, EventCall& call);

struct EventTableEntry {
    BYTE kind = EventKind::kEnd;
    BYTE flags = 0; // header row only
    WORD mode = 0;
    EventId id;
    EventId rangeEnd; // exclusive; command rows of mode 1
    EventCallAdapter call = nullptr;
    EventUnpackAdapter unpack = nullptr;
    const void* handler = nullptr; // points to a member-function pointer of the owning class
};

// A table's rows with their ids as resolved. Built as a static of the owning class.
class EventTable {
public:
    template <std::size_t N>
    explicit EventTable(const EventTableEntry (&rows)[N])
        : EventTable(rows, N)
    {
    }
    EventTable(const EventTableEntry* rows, std::size_t count);
    EventTable(const EventTable&) = delete;
    EventTable& operator=(const EventTable&) = delete;

    // Reads every id getter once. Safe to call from any thread, any number of times.
    void Resolve() const;
    bool IsResolved() const noexcept { return mResolved.load(std::memory_order_acquire); }
    // The header row's flags as they stand now: the unresolved flag is cleared once the ids have
    // been read (the row itself stays as written).
    BYTE HeaderFlags() const noexcept
    {
        const BYTE flags = mSize ? mRows[0].flags : 0;
        return IsResolved() ? BYTE(flags & ~kEventTableUnresolved) : flags;
    }

    // Rows from the header up to (not including) the terminating row.
    std::size_t Size() const noexcept { return mSize; }
    const EventTableEntry& Row(std::size_t i) const noexcept { return mRows[i]; }
    // The resolved ids of row i (the table must have been resolved).
    DWORD IdOf(std::size_t i) const noexcept { return mIds[i].id; }
    DWORD RangeEndOf(std::size_t i) const noexcept { return mIds[i].end; }
    std::size_t IndexOf(const EventTableEntry* row) const noexcept { return std::size_t(row - mRows); }

private:
    struct ResolvedIds {
        DWORD id = 0;
        DWORD end = 0;
    };
    const EventTableEntry* mRows;
    std::size_t mSize = 0;
    std::unique_ptr<ResolvedIds[]> mIds;
    mutable std::once_flag mOnce;
    mutable std::atomic<bool> mResolved { false };
};

// A row as the triggers see it: the row and its resolved ids.
struct EventRowView {
    const EventTableEntry& row;
    DWORD id;
    DWORD rangeEnd;
};

class EventTrigger {
public:
    virtual ~EventTrigger() = default;
    virtual BYTE GetKind() const = 0;
    virtual bool Matches(const EventRowView& row) const = 0;
};

class CommandTrigger final : public EventTrigger {
public:
    CommandTrigger(DWORD id, DWORD kind)
        : mId(id)
        , mKind(kind)
    {
    }
    // Codes that do not fit a row's kind byte match nothing.
    BYTE GetKind() const override { return mKind <= 0xFF ? static_cast<BYTE>(mKind) : EventKind::kEnd; }
    bool Matches(const EventRowView& row) const override;

private:
    DWORD mId;
    DWORD mKind;
};

class ObserverEventTrigger final : public EventTrigger {
public:
    explicit ObserverEventTrigger(DWORD eventId)
        : mEventId(eventId)
    {
    }
    BYTE GetKind() const override { return EventKind::kObserver; }
    bool Matches(const EventRowView& row) const override { return row.id == mEventId; }

private:
    DWORD mEventId;
};

class MsgEventTrigger final : public EventTrigger {
public:
    MsgEventTrigger(DWORD messageId, DWORD flags)
        : mMessageId(messageId)
        , mFlags(flags)
    {
    }
    BYTE GetKind() const override { return EventKind::kMessage; }
    bool Matches(const EventRowView& row) const override;
    // The flags of the message searched for; they take no part in matching.
    DWORD Flags() const noexcept { return mFlags; }

private:
    DWORD mMessageId;
    DWORD mFlags;
};

class TableEntryAction {
public:
    virtual ~TableEntryAction() = default;
    virtual void Apply(const EventRowView& row) = 0;
};

// Subscribes an observer to a subject for the event of every observer row.
class RegisterAction final : public TableEntryAction {
public:
    RegisterAction(ISubject* subject, IObserver* observer)
        : mSubject(subject)
        , mObserver(observer)
    {
    }
    void Apply(const EventRowView& row) override;

private:
    ISubject* mSubject;
    IObserver* mObserver;
};

// The first row of the trigger's kind that the trigger matches, or null. Resolves the table first.
const EventTableEntry* FindEventTableEntry(const EventTable& table, const EventTrigger& trigger);
// Applies the action to every row from the header up to the terminating row.
void ForEachEventTableEntry(const EventTable& table, TableEntryAction& action);

// The owner of an event table.
class CAFEventHandlerBase {
public:
    virtual ~CAFEventHandlerBase() = default;
    // The row for the trigger, and through `object` the object to call its handler on. The base
    // has no table.
    virtual const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object);
    virtual void ForEachEntry(TableEntryAction& action);
    virtual HRESULT HandleTableMessage(IMessage* message);

    // The flags of the message being dispatched, for its handler to read.
    DWORD mMessageFlags = 0;

protected:
    // What a class with a table writes in its two overrides.
    template <class T> static const EventTableEntry* FindInTable(T* self, const EventTrigger& trigger, void** object)
    {
        const EventTableEntry* row = FindEventTableEntry(T::GetEventTable(), trigger);
        if (object)
            *object = row ? static_cast<void*>(self) : nullptr;
        return row;
    }
    template <class T> static void ForEachInTable(T*, TableEntryAction& action)
    {
        ForEachEventTableEntry(T::GetEventTable(), action);
    }
};

// S_OK when a command row was found and its handler called, S_FALSE when none.
HRESULT DispatchCommand(CAFEventHandlerBase* handler, DWORD id);
// An enable row answers through its handler; without one, a command row makes the command
// enabled; S_FALSE when neither exists.
HRESULT DispatchCommandEnable(CAFEventHandlerBase* handler, DWORD id, ICommandEnabler* enabler);
// The handler's result, S_FALSE when no row of that notification code matches.
HRESULT DispatchCommandNotify(CAFEventHandlerBase* handler, DWORD id, DWORD code, ULONGLONG a, ULONGLONG b);
// 1 when a message row matched and its handler answered S_OK, else 0.
HRESULT DispatchMessageEvent(CAFEventHandlerBase* handler, IMessage* message);
// Calls the observer row's handler for the event, if there is one.
void DispatchObserverEvent(CAFEventHandlerBase* handler, DWORD eventId, ULONGLONG a, ULONGLONG b);

// ---- Building rows

namespace vx::hf::detail {

// True when M is a member function of T (or of a base of T) of the shape Sig.
template <class T, class M, class Sig> struct Fits : std::false_type {
};
template <class T, class B, class R, class... A, class Sig>
struct Fits<T, R (B::*)(A...), Sig> : std::bool_constant<std::is_base_of_v<B, T> && std::is_same_v<R(A...), Sig>> {
};

// The member-function pointer M as an object with an address, for the row's handler field.
template <auto M> inline constexpr auto kMember = M;

template <class M> M MemberAt(const void* handler)
{
    return *static_cast<const M*>(handler);
}

template <class T, class M> HRESULT CallCommand(void* object, const EventTableEntry& row, EventCall&)
{
    (static_cast<T*>(object)->*MemberAt<M>(row.handler))();
    return S_OK;
}

template <class T, class M> HRESULT CallEnable(void* object, const EventTableEntry& row, EventCall& call)
{
    (static_cast<T*>(object)->*MemberAt<M>(row.handler))(*call.enabler);
    return S_OK;
}

template <class T, class M> HRESULT CallNotify(void* object, const EventTableEntry& row, EventCall& call)
{
    return (static_cast<T*>(object)->*MemberAt<M>(row.handler))(call.a, call.b);
}

template <class T, class M> HRESULT CallMessage(void* object, const EventTableEntry& row, EventCall&)
{
    return (static_cast<T*>(object)->*MemberAt<M>(row.handler))();
}

// Observer rows and message rows with data go through their second adapter.
inline HRESULT CallUnpacked(void* object, const EventTableEntry& row, EventCall& call)
{
    return row.unpack(object, row.handler, call);
}

template <class T, class M> HRESULT UnpackValue(void* object, const void* handler, EventCall& call)
{
    // The notified value points to the event's record; its first 32 bits are the value.
    const auto* record = reinterpret_cast<const DWORD*>(static_cast<std::uintptr_t>(call.b));
    (static_cast<T*>(object)->*MemberAt<M>(handler))(record ? *record : 0);
    return S_OK;
}

template <class T, class M> HRESULT UnpackPair(void* object, const void* handler, EventCall& call)
{
    (static_cast<T*>(object)->*MemberAt<M>(handler))(call.a, call.b);
    return S_OK;
}

template <class T, class M> HRESULT UnpackNothing(void* object, const void* handler, EventCall&)
{
    (static_cast<T*>(object)->*MemberAt<M>(handler))();
    return S_OK;
}

template <class T, class M> HRESULT UnpackMessageData(void* object, const void* handler, EventCall& call)
{
    IUnknown* data = nullptr;
    if (call.message)
        call.message->GetData(&data);
    const HRESULT hr = (static_cast<T*>(object)->*MemberAt<M>(handler))(data);
    if (data)
        data->Release();
    return hr;
}

} // namespace vx::hf::detail

// Row builders for the tables of class T; a handler may be a member of T or of a base of T (the
// row calls it on the part of the object it belongs to). Handlers: commands `void ()`, enable queries
// `void (ICommandEnabler*&)`, notifications `HRESULT (ULONGLONG, ULONGLONG)`, messages
// `HRESULT ()` (S_OK: handled) or `HRESULT (IUnknown* data)`, observers `void (DWORD value)`,
// `void (ULONGLONG, ULONGLONG)` or `void ()`.
template <class T> struct EventRows {
    static constexpr EventTableEntry Header()
    {
        return { EventKind::kHeader, kEventTableUnresolved, 0, {}, {}, nullptr, nullptr, nullptr };
    }
    static constexpr EventTableEntry End() { return {}; }

    template <auto M> static constexpr EventTableEntry Command(EventId id)
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), void()>::value, "a command handler is void ()");
        return { EventKind::kCommand, 0, kEventModeSingleId, id, {}, &vx::hf::detail::CallCommand<T, decltype(M)>,
            nullptr, &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry CommandRange(EventId first, EventId end)
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), void()>::value, "a command handler is void ()");
        return { EventKind::kCommand, 0, kEventModeIdRange, first, end, &vx::hf::detail::CallCommand<T, decltype(M)>,
            nullptr, &vx::hf::detail::kMember<M> };
    }
    template <auto M>
    static constexpr EventTableEntry Enable(EventId id, WORD mode = kEventModeSingleId, EventId end = {})
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), void(ICommandEnabler*&)>::value,
            "an enable handler is void (ICommandEnabler*&)");
        return { EventKind::kCommandEnable, 0, mode, id, end, &vx::hf::detail::CallEnable<T, decltype(M)>, nullptr,
            &vx::hf::detail::kMember<M> };
    }
    template <auto M>
    static constexpr EventTableEntry Notify(BYTE code, EventId id, WORD mode = kEventModeSingleId, EventId end = {})
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), HRESULT(ULONGLONG, ULONGLONG)>::value,
            "a notification handler is HRESULT (ULONGLONG, ULONGLONG)");
        return { code, 0, mode, id, end, &vx::hf::detail::CallNotify<T, decltype(M)>, nullptr,
            &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry Message(EventId id, WORD mode = kEventModeExactMessage)
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), HRESULT()>::value, "a message handler is HRESULT ()");
        return { EventKind::kMessage, 0, mode, id, {}, &vx::hf::detail::CallMessage<T, decltype(M)>, nullptr,
            &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry MessageWithData(EventId id, WORD mode = kEventModeExactMessage)
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), HRESULT(IUnknown*)>::value,
            "a message handler with data is HRESULT (IUnknown*)");
        return { EventKind::kMessage, 0, mode, id, {}, &vx::hf::detail::CallUnpacked,
            &vx::hf::detail::UnpackMessageData<T, decltype(M)>, &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry ObserverValue(EventId id)
    {
        static_assert(
            vx::hf::detail::Fits<T, decltype(M), void(DWORD)>::value, "an observer handler of a value is void (DWORD)");
        return { EventKind::kObserver, 0, 0, id, {}, &vx::hf::detail::CallUnpacked,
            &vx::hf::detail::UnpackValue<T, decltype(M)>, &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry ObserverPair(EventId id)
    {
        static_assert(vx::hf::detail::Fits<T, decltype(M), void(ULONGLONG, ULONGLONG)>::value,
            "an observer handler of two values is void (ULONGLONG, ULONGLONG)");
        return { EventKind::kObserver, 0, 0, id, {}, &vx::hf::detail::CallUnpacked,
            &vx::hf::detail::UnpackPair<T, decltype(M)>, &vx::hf::detail::kMember<M> };
    }
    template <auto M> static constexpr EventTableEntry Observer(EventId id)
    {
        static_assert(
            vx::hf::detail::Fits<T, decltype(M), void()>::value, "an observer handler without values is void ()");
        return { EventKind::kObserver, 0, 0, id, {}, &vx::hf::detail::CallUnpacked,
            &vx::hf::detail::UnpackNothing<T, decltype(M)>, &vx::hf::detail::kMember<M> };
    }
};
