#include "hostframework/events/EventTable.h"

#include <string>

#include "foundation/base/ExceptionBoundary.h"

namespace {

// Every row that names an event by id: commands, enable queries, observer events, messages and
// every notification code. Only the header and the terminator carry no id.
bool CarriesId(BYTE kind)
{
    return kind != EventKind::kEnd && kind != EventKind::kHeader;
}

// Command-like rows of mode 1 also carry the end of their id range.
bool CarriesRangeEnd(const EventTableEntry& row)
{
    return row.kind != EventKind::kObserver && row.kind != EventKind::kMessage && row.mode == kEventModeIdRange;
}

} // namespace

EventTable::EventTable(const EventTableEntry* rows, std::size_t count)
    : mRows(rows)
{
    // The size runs to the terminating row, which need not be the array's last.
    while (mSize < count && rows[mSize].kind != EventKind::kEnd)
        ++mSize;
    mIds = std::make_unique<ResolvedIds[]>(mSize ? mSize : 1);
}

void EventTable::Resolve() const
{
    if (IsResolved())
        return;
    std::call_once(mOnce, [this] {
        for (std::size_t i = 0; i < mSize; ++i) {
            const EventTableEntry& row = mRows[i];
            if (!CarriesId(row.kind))
                continue;
            mIds[i].id = row.id.Read();
            if (CarriesRangeEnd(row))
                mIds[i].end = row.rangeEnd.Read();
        }
        mResolved.store(true, std::memory_order_release);
    });
}

bool CommandTrigger::Matches(const EventRowView& row) const
{
    switch (row.row.mode) {
    case kEventModeSingleId:
        return row.id == mId;
    case kEventModeIdRange:
        return row.id <= mId && mId < row.rangeEnd;
    default:
        return false;
    }
}

bool MsgEventTrigger::Matches(const EventRowView& row) const
{
    const DWORD mask = 0xFFFF0000u | row.row.mode;
    return (mMessageId & mask) == (row.id & mask);
}

void RegisterAction::Apply(const EventRowView& row)
{
    if (row.row.kind == EventKind::kObserver && mSubject)
        mSubject->AttachForEvent(mObserver, row.id, 0);
}

const EventTableEntry* FindEventTableEntry(const EventTable& table, const EventTrigger& trigger)
{
    table.Resolve();
    const BYTE kind = trigger.GetKind();
    // The header and the terminator are never matched, whatever code a caller asks for.
    if (!CarriesId(kind))
        return nullptr;
    for (std::size_t i = 0; i < table.Size(); ++i) {
        const EventTableEntry& row = table.Row(i);
        if (row.kind != kind || !row.call)
            continue;
        if (trigger.Matches({ row, table.IdOf(i), table.RangeEndOf(i) }))
            return &row;
    }
    return nullptr;
}

void ForEachEventTableEntry(const EventTable& table, TableEntryAction& action)
{
    table.Resolve();
    for (std::size_t i = 0; i < table.Size(); ++i)
        action.Apply({ table.Row(i), table.IdOf(i), table.RangeEndOf(i) });
}

const EventTableEntry* CAFEventHandlerBase::FindEntry(const EventTrigger&, void** object)
{
    if (object)
        *object = nullptr;
    return nullptr;
}

void CAFEventHandlerBase::ForEachEntry(TableEntryAction&) { }

HRESULT CAFEventHandlerBase::HandleTableMessage(IMessage* message)
{
    return DispatchMessageEvent(this, message);
}

HRESULT DispatchCommand(CAFEventHandlerBase* handler, DWORD id)
{
    if (!handler)
        return S_FALSE;
    void* object = nullptr;
    const EventTableEntry* row = handler->FindEntry(CommandTrigger(id, EventKind::kCommand), &object);
    if (!row || !object)
        return S_FALSE;
    // A command that fails by exception reports its code to the host's dispatch.
    return vx::hf::Guarded("command", [&] {
        EventCall call;
        row->call(object, *row, call);
        return S_OK;
    });
}

HRESULT DispatchCommandEnable(CAFEventHandlerBase* handler, DWORD id, ICommandEnabler* enabler)
{
    if (!handler)
        return S_FALSE;
    void* object = nullptr;
    if (const EventTableEntry* row = handler->FindEntry(CommandTrigger(id, EventKind::kCommandEnable), &object);
        row && object) {
        return vx::hf::Guarded("command enabler", [&] {
            EventCall call;
            call.enabler = &enabler;
            row->call(object, *row, call);
            return S_OK;
        });
    }
    if (handler->FindEntry(CommandTrigger(id, EventKind::kCommand), &object)) {
        if (enabler)
            enabler->Enable(ICommandEnabler::kEnabled);
        return S_OK;
    }
    return S_FALSE;
}

HRESULT DispatchCommandNotify(CAFEventHandlerBase* handler, DWORD id, DWORD code, ULONGLONG a, ULONGLONG b)
{
    if (!handler)
        return S_FALSE;
    void* object = nullptr;
    const EventTableEntry* row = handler->FindEntry(CommandTrigger(id, code), &object);
    if (!row || !object)
        return S_FALSE;
    return vx::hf::Guarded("command notification", [&] {
        EventCall call;
        call.a = a;
        call.b = b;
        return row->call(object, *row, call);
    });
}

HRESULT DispatchMessageEvent(CAFEventHandlerBase* handler, IMessage* message)
{
    if (!handler || !message)
        return 0;
    DWORD id = 0;
    DWORD flags = 0;
    message->GetId(&id);
    message->GetFlags(&flags);
    handler->mMessageFlags = flags;
    void* object = nullptr;
    const EventTableEntry* row = handler->FindEntry(MsgEventTrigger(id, flags), &object);
    if (!row || !object)
        return 0;
    // A handler that fails by exception has handled the message.
    return vx::hf::Guarded("message",
               [&] {
                   EventCall call;
                   call.message = message;
                   return row->call(object, *row, call) == S_OK ? S_OK : S_FALSE;
               })
            == S_FALSE
        ? 0
        : 1;
}

void DispatchObserverEvent(CAFEventHandlerBase* handler, DWORD eventId, ULONGLONG a, ULONGLONG b)
{
    if (!handler)
        return;
    void* object = nullptr;
    const EventTableEntry* row = handler->FindEntry(ObserverEventTrigger(eventId), &object);
    if (!row || !object)
        return;
    vx::hf::Guarded("observer event", [&] {
        EventCall call;
        call.a = a;
        call.b = b;
        row->call(object, *row, call);
    });
}
