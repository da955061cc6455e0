// Event tables: first-use resolution, the triggers' matching rules, and command, enable,
// notification, message and observer dispatch, each checked as a recorded call sequence.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

#include "foundation/base/ExceptionBoundary.h"
#include "hostframework/events/EventHandler.h"
#include "hostframework/events/tests/FakeFramework.h"
#include "log/Log.h"

using fake::Lines;
using fake::Record;

namespace {

// Ids named by getters that count how often they are read.
std::atomic<int> gGetterReads { 0 };
template <DWORD V> const DWORD* CountedId()
{
    ++gGetterReads;
    static const DWORD id = V;
    return &id;
}

constexpr DWORD kCmdA = 0x00210001, kCmdB = 0x00210002, kRangeFirst = 0x00210010, kRangeEnd = 0x00210014;
constexpr DWORD kPopup = 0x00210004, kCodeNine = 0x00210009;
constexpr DWORD kMsgExact = 0x00210100, kMsgAnyType = 0x00220000;
constexpr DWORD kEventValue = 0x00230007, kEventPair = 0x80000000, kEventPlain = 0x00230004;

// Stands for an enabler of the host's menus.
class Enabler final : public SimpleUnknownImp1<ICommandEnabler, 1> {
public:
    HRESULT SetText(const wchar_t*) override { return S_OK; }
    HRESULT Enable(WORD enabled) override
    {
        Record("enabler.enable " + std::to_string(enabled));
        return S_OK;
    }
};

// An object with a table (a document's shape): every handler records its name.
class TableHandler final : public CAFEventHandlerT<1>, public KEL::CComObjectRoot {
public:
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        static const KEL::InterfaceMapEntry map[] = { KEL::MapEntry<TableHandler, ICAFCommandHandler>(),
            KEL::MapEntry<TableHandler, IObserver>(), KEL::MapEntry<TableHandler, IMessageHandler>(), KEL::kMapEnd };
        return InternalQueryInterface(this, map, iid, out);
    }
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override { return ReleaseObject(this); }

    void CmdA() { Record("CmdA"); }
    void CmdAAgain() { Record("CmdAAgain"); }
    void CmdB()
    {
        Record("CmdB");
        Throw();
    }
    void CmdRange() { Record("CmdRange"); }
    void EnableA(ICommandEnabler*& enabler)
    {
        Record("EnableA");
        enabler->Enable(0);
    }
    HRESULT PopupOpening(ULONGLONG a, ULONGLONG b)
    {
        Record("PopupOpening " + std::to_string(a) + " " + std::to_string(b));
        return 0;
    }
    HRESULT PopupChosen(ULONGLONG a, ULONGLONG)
    {
        Record("PopupChosen " + std::to_string(a));
        Throw();
        return 7;
    }
    HRESULT CodeNine(ULONGLONG, ULONGLONG)
    {
        Record("CodeNine");
        return 0;
    }
    HRESULT OnExact()
    {
        Record("OnExact flags=" + std::to_string(mMessageFlags));
        return S_OK;
    }
    HRESULT OnAnyOfType()
    {
        Record("OnAnyOfType");
        Throw();
        return messageAnswer;
    }
    void OnValue(DWORD value) { Record("OnValue " + fake::Hex(value)); }
    void OnPair(ULONGLONG a, ULONGLONG b) { Record("OnPair " + std::to_string(a) + " " + std::to_string(b)); }
    void OnPlain()
    {
        Record("OnPlain");
        Throw();
    }

    // What the throwing handlers throw: nothing (0), an allocation failure (1), a library
    // exception with its own code (2), a plain std::exception (3) or something else (4).
    struct CodedError : std::runtime_error, vx::hf::HResultCarrier {
        CodedError()
            : std::runtime_error("coded")
        {
        }
        HRESULT GetHResult() const noexcept override { return E_INVALIDARG; }
    };
    void Throw()
    {
        switch (throwKind) {
        case 1:
            throw std::bad_alloc();
        case 2:
            throw CodedError();
        case 3:
            throw std::runtime_error("plain");
        case 4:
            throw 42;
        }
    }
    int throwKind = 0;
    HRESULT messageAnswer = S_OK;
};

using Rows = EventRows<TableHandler>;
const EventTableEntry kRows[] = {
    Rows::Header(),
    Rows::Command<&TableHandler::CmdA>(EventIdOf(&CountedId<kCmdA>)),
    Rows::Enable<&TableHandler::EnableA>(EventIdOf(&CountedId<kCmdA>)),
    Rows::Command<&TableHandler::CmdAAgain>(EventIdOf(kCmdA)),
    Rows::Command<&TableHandler::CmdB>(EventIdOf(kCmdB)),
    Rows::CommandRange<&TableHandler::CmdRange>(EventIdOf(&CountedId<kRangeFirst>), EventIdOf(&CountedId<kRangeEnd>)),
    Rows::Notify<&TableHandler::PopupOpening>(6, EventIdOf(&CountedId<kPopup>)),
    Rows::Notify<&TableHandler::PopupChosen>(7, EventIdOf(&CountedId<kPopup>)),
    Rows::Notify<&TableHandler::CodeNine>(9, EventIdOf(&CountedId<kCodeNine>)),
    Rows::Message<&TableHandler::OnExact>(EventIdOf(&CountedId<kMsgExact>)),
    Rows::Message<&TableHandler::OnAnyOfType>(EventIdOf(kMsgAnyType), kEventModeAnyMessageOfType),
    Rows::ObserverValue<&TableHandler::OnValue>(EventIdOf(&CountedId<kEventValue>)),
    Rows::ObserverPair<&TableHandler::OnPair>(EventIdOf(kEventPair)),
    Rows::Observer<&TableHandler::OnPlain>(EventIdOf(kEventPlain)),
    Rows::End(),
};
constexpr int kGetterRows = 9; // rows naming ids by getter, the range counting twice (first, end)

const EventTable& TableHandler::GetEventTable()
{
    static const EventTable table(kRows);
    return table;
}

TableHandler* MakeHandler()
{
    auto* h = new TableHandler;
    h->AddRef();
    return h;
}

class EventTables : public fake::FrameworkTest { };

} // namespace

TEST_F(EventTables, ResolveReadsEachGetterOnceAcrossThreadsAndNeverRewritesTheRows)
{
    // A table of its own over the same rows, searched here for the first time.
    static const EventTable table(kRows);
    EXPECT_EQ(table.HeaderFlags(), kEventTableUnresolved);
    unsigned char before[sizeof kRows];
    std::memcpy(before, kRows, sizeof kRows);
    gGetterReads = 0;
    std::vector<std::thread> threads;
    std::atomic<int> found { 0 };
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            if (FindEventTableEntry(table, CommandTrigger(kCmdB, EventKind::kCommand)))
                ++found;
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(found, 8);
    EXPECT_TRUE(table.IsResolved());
    EXPECT_EQ(gGetterReads, kGetterRows);
    FindEventTableEntry(table, CommandTrigger(kCmdA, EventKind::kCommand));
    EXPECT_EQ(gGetterReads, kGetterRows);
    EXPECT_EQ(std::memcmp(before, kRows, sizeof kRows), 0);
    EXPECT_EQ(kRows[0].flags & kEventTableUnresolved, kEventTableUnresolved);
    EXPECT_EQ(table.HeaderFlags(), 0);
}

TEST_F(EventTables, EveryNotificationCodeIsMatchedByItsIdNeverByItsGetter)
{
    TableHandler* h = MakeHandler();
    const auto getterAddress = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&CountedId<kCodeNine>));
    EXPECT_EQ(DispatchCommandNotify(h, getterAddress, 9, 0, 0), S_FALSE);
    EXPECT_EQ(DispatchCommandNotify(h, kCodeNine, 9, 0, 0), S_OK);
    EXPECT_EQ(fake::Calls(), Lines { "CodeNine" });
    h->Release();
}

TEST_F(EventTables, CommandsFollowTheFirstMatchingRow)
{
    struct Case {
        DWORD id;
        HRESULT result;
        Lines calls;
    };
    const Case cases[] = {
        { kCmdA, S_OK, { "CmdA" } }, // the earlier of two rows for one id wins
        { kCmdB, S_OK, { "CmdB" } },
        { kRangeFirst, S_OK, { "CmdRange" } },
        { kRangeEnd - 1, S_OK, { "CmdRange" } },
        { kRangeEnd, S_FALSE, {} },
        { kRangeFirst - 1, S_FALSE, {} },
        { 0x00219999, S_FALSE, {} },
    };
    TableHandler* h = MakeHandler();
    for (const Case& c : cases) {
        fake::Calls().clear();
        EXPECT_EQ(static_cast<ICAFCommandHandler*>(h)->OnCommand(c.id), c.result) << fake::Hex(c.id);
        EXPECT_EQ(fake::Calls(), c.calls) << fake::Hex(c.id);
    }
    h->Release();
}

TEST_F(EventTables, EnableQueriesUseTheEnableRowElseTheCommandRow)
{
    struct Case {
        DWORD id;
        HRESULT result;
        Lines calls;
    };
    const Case cases[] = {
        { kCmdA, S_OK, { "EnableA", "enabler.enable 0" } },
        { kCmdB, S_OK, { "enabler.enable 65535" } },
        { kRangeFirst + 2, S_OK, { "enabler.enable 65535" } },
        { 0x00219999, S_FALSE, {} },
    };
    TableHandler* h = MakeHandler();
    Enabler enabler;
    for (const Case& c : cases) {
        fake::Calls().clear();
        EXPECT_EQ(static_cast<ICAFCommandHandler*>(h)->OnCommandEnable(c.id, &enabler), c.result) << fake::Hex(c.id);
        EXPECT_EQ(fake::Calls(), c.calls) << fake::Hex(c.id);
    }
    h->Release();
}

TEST_F(EventTables, NotificationsAnswerWithTheHandlersResult)
{
    struct Case {
        DWORD id;
        DWORD code;
        HRESULT result;
        Lines calls;
    };
    const Case cases[] = {
        { kPopup, 6, 0, { "PopupOpening 11 22" } },
        { kPopup, 7, 7, { "PopupChosen 11" } },
        { kPopup, 8, S_FALSE, {} },
        { kPopup, 0x106, S_FALSE, {} }, // a code wider than a row's kind byte
        { 0, EventKind::kHeader, S_FALSE, {} },
        { 0, EventKind::kEnd, S_FALSE, {} },
    };
    TableHandler* h = MakeHandler();
    for (const Case& c : cases) {
        fake::Calls().clear();
        EXPECT_EQ(static_cast<ICAFCommandHandler*>(h)->OnCommandNotify(c.id, c.code, 11, 22), c.result) << c.code;
        EXPECT_EQ(fake::Calls(), c.calls) << c.code;
    }
    h->Release();
}

TEST_F(EventTables, MessagesMatchByMaskAndOnlyAnAnswerOfSOkHandles)
{
    struct Case {
        DWORD id;
        DWORD flags;
        HRESULT answer;
        HRESULT handled;
        Lines calls;
    };
    const Case cases[] = {
        { kMsgExact, 0x40, S_OK, 1, { "OnExact flags=64" } },
        { kMsgExact + 1, 0, S_OK, 0, {} }, // exact row: another number of the same type is not it
        { 0x00220123, 0, S_OK, 1, { "OnAnyOfType" } },
        { 0x00220000, 0, S_OK, 1, { "OnAnyOfType" } },
        { 0x00230000, 0, S_OK, 0, {} },
        { 0x00220001, 0, S_FALSE, 0, { "OnAnyOfType" } },
    };
    TableHandler* h = MakeHandler();
    for (const Case& c : cases) {
        fake::Calls().clear();
        h->messageAnswer = c.answer;
        fake::Message message(c.id, c.flags);
        EXPECT_EQ(static_cast<IMessageHandler*>(h)->HandleMessage(&message), c.handled) << fake::Hex(c.id);
        EXPECT_EQ(fake::Calls(), c.calls) << fake::Hex(c.id);
    }
    h->Release();
}

TEST_F(EventTables, AttachSubscribesEveryObserverRowAndNotifyUnpacksTheEvent)
{
    TableHandler* h = MakeHandler();
    CAFSubjectObject* subject = new CAFSubjectObject;
    static_cast<IObserver*>(h)->OnAttach(subject);
    const DWORD record[] = { 0xABCD, 0 };
    subject->Notify(kEventValue, reinterpret_cast<std::uintptr_t>(record));
    subject->Notify(kEventPair, 5);
    subject->Notify(kEventPlain, 0);
    subject->Notify(0x00239999, 0);
    EXPECT_EQ(static_cast<IObserver*>(h)->OnNotify(subject, 0x00239999, 0, 0), 0);
    const Lines expected = {
        "registry.attachForEvent 230007 0",
        "registry.attachForEvent 80000000 0",
        "registry.attachForEvent 230004 0",
        "registry.notify 230007",
        "OnValue ABCD",
        "registry.notify 80000000",
        "OnPair 0 5",
        "registry.notify 230004",
        "OnPlain",
        "registry.notify 239999",
    };
    EXPECT_EQ(fake::Calls(), expected);
    fake::Calls().clear();
    subject->Release();
    h->Release();
    EXPECT_EQ(fake::Calls(), (Lines { "registry.forgetSubject", "registry.forgetObserver" }));
}

// ---- The proxy pair

namespace {

// A window's shape: not reference-counted, its table reached through a proxy.
class Window final : public CAFCppEventHandler {
public:
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }
    void Copy() { Record("Window.Copy"); }
    HRESULT OnData(IUnknown* data)
    {
        Record(std::string("Window.OnData ") + (data ? "data" : "none"));
        return S_OK;
    }
    void OnChanged(DWORD value) { Record("Window.OnChanged " + fake::Hex(value)); }
};

using WindowRows = EventRows<Window>;
const EventTableEntry kWindowRows[] = {
    WindowRows::Header(),
    WindowRows::Command<&Window::Copy>(EventIdOf(kCmdA)),
    WindowRows::MessageWithData<&Window::OnData>(EventIdOf(kMsgExact)),
    WindowRows::ObserverValue<&Window::OnChanged>(EventIdOf(kEventValue)),
    WindowRows::End(),
};

const EventTable& Window::GetEventTable()
{
    static const EventTable table(kWindowRows);
    return table;
}

} // namespace

TEST_F(EventTables, ProxyConnectsToItsWindowAndAnswersWithoutOne)
{
    CAFSubjectObject* first = new CAFSubjectObject;
    CAFSubjectObject* second = new CAFSubjectObject;
    CAFProxyEventHandler* proxy = CAFProxyEventHandler::Create();
    IUnknown* data = new CAFSubjectObject; // any object serves as message data
    {
        Window window;
        window.AddSubject(first);
        window.AddSubject(second);
        window.SetProxy(proxy);
        EXPECT_EQ(window.Subjects().Count(), 2u);
        EXPECT_EQ(proxy->OnCommand(kCmdA), S_OK);
        EXPECT_EQ(proxy->OnCommand(kCmdB), S_FALSE);
        fake::Message message(kMsgExact);
        message.data = data;
        EXPECT_EQ(static_cast<IMessageHandler*>(proxy)->HandleMessage(&message), 1);
        const DWORD record[] = { 0x77 };
        first->Notify(kEventValue, reinterpret_cast<std::uintptr_t>(record));
        // The window's own message that must not come back to it.
        fake::Message own(kMsgExact, IMessage::kFlagNotToSender);
        own.sender = window.SenderToken();
        EXPECT_EQ(static_cast<IMessageHandler*>(proxy)->HandleMessage(&own), 0);
    }
    const Lines expected = {
        "registry.attach",
        "registry.attach",
        "Window.Copy",
        "Window.OnData data",
        "registry.notify 230007",
        "Window.OnChanged 77",
    };
    EXPECT_EQ(fake::Calls(), expected);
    // The window is gone: the proxy answers, and calls nothing.
    fake::Calls().clear();
    EXPECT_EQ(proxy->Handler(), nullptr);
    EXPECT_EQ(proxy->OnCommand(kCmdA), 0);
    EXPECT_EQ(proxy->OnAttach(first), 1);
    fake::Message message(kMsgExact);
    EXPECT_EQ(static_cast<IMessageHandler*>(proxy)->HandleMessage(&message), 0);
    EXPECT_EQ(proxy->OnNotify(first, kEventValue, 0, 0), 0);
    EXPECT_EQ(fake::Calls(), Lines {});
    EXPECT_EQ(static_cast<IObserver*>(proxy)->Release(), 0u);
    data->Release();
    first->Release();
    second->Release();
}

TEST_F(EventTables, ANewProxyReplacesTheOldOneWhichThenAnswersAlone)
{
    CAFProxyEventHandler* oldProxy = CAFProxyEventHandler::Create();
    CAFProxyEventHandler* newProxy = CAFProxyEventHandler::Create();
    {
        Window window;
        window.SetProxy(oldProxy);
        window.SetProxy(newProxy);
        EXPECT_EQ(oldProxy->Handler(), nullptr);
        EXPECT_EQ(newProxy->Handler(), &window);
        // The window sends with the new proxy as its source.
        EXPECT_EQ(window.Source(), static_cast<IMessageHandler*>(newProxy));
        EXPECT_EQ(oldProxy->OnCommand(kCmdA), 0);
        EXPECT_EQ(newProxy->OnCommand(kCmdA), S_OK);
        EXPECT_EQ(static_cast<IObserver*>(oldProxy)->AddRef(), 2u); // only the creator's and this one
        static_cast<IObserver*>(oldProxy)->Release();
    }
    EXPECT_EQ(fake::Calls(), Lines { "Window.Copy" });
    EXPECT_EQ(static_cast<IObserver*>(oldProxy)->Release(), 0u);
    EXPECT_EQ(static_cast<IObserver*>(newProxy)->Release(), 0u);
}

namespace {

// A part of an object that brings handlers of its own (an analysis client's shape), placed after
// the handler base so that it sits at an offset inside the object.
class ClientPart {
public:
    void OnReportRange(DWORD value) { Record(mName + ".OnReportRange " + fake::Hex(value)); }
    std::string mName = "client";
};

class Composite final : public CAFEventHandlerBase, public ClientPart {
public:
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }
};

const EventTableEntry kCompositeRows[] = {
    EventRows<Composite>::Header(),
    EventRows<Composite>::ObserverValue<&ClientPart::OnReportRange>(EventIdOf(kEventValue)),
    EventRows<Composite>::End(),
};
const EventTable& Composite::GetEventTable()
{
    static const EventTable table(kCompositeRows);
    return table;
}

} // namespace

TEST_F(EventTables, AHandlerOfABasePartIsCalledOnThatPart)
{
    Composite composite;
    const DWORD record[] = { 0x1234 };
    DispatchObserverEvent(&composite, kEventValue, 0, reinterpret_cast<std::uintptr_t>(record));
    EXPECT_EQ(fake::Calls(), Lines { "client.OnReportRange 1234" });
}

TEST_F(EventTables, AHandlerThatThrowsAnswersWithAnHResultAndOneLine)
{
    struct Case {
        int kind;
        HRESULT result;
        const char* text;
    };
    const Case cases[] = {
        { 1, E_OUTOFMEMORY, "out of memory" },
        { 2, E_INVALIDARG, "coded" },
        { 3, E_FAIL, "plain" },
        { 4, E_UNEXPECTED, "an unknown exception" },
    };
    TableHandler* h = MakeHandler();
    auto* commands = static_cast<ICAFCommandHandler*>(h);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        h->throwKind = c.kind;
        vx::log::Capture capture;
        EXPECT_EQ(commands->OnCommand(kCmdB), c.result);
        EXPECT_EQ(commands->OnCommandNotify(kPopup, 7, 1, 2), c.result);
        // A message whose handler threw was handled; an observer event has no answer.
        fake::Message message(0x00220001, 0);
        EXPECT_EQ(static_cast<IMessageHandler*>(h)->HandleMessage(&message), 1);
        EXPECT_EQ(static_cast<IObserver*>(h)->OnNotify(nullptr, kEventPlain, 0, 0), 0);
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], std::string("command: ") + c.text);
        EXPECT_EQ(lines[1], std::string("command notification: ") + c.text);
        EXPECT_EQ(lines[2], std::string("message: ") + c.text);
        EXPECT_EQ(lines[3], std::string("observer event: ") + c.text);
    }
    h->Release();
}
