// The document and document-class bases: pairing with the host's counterparts, forwarding what
// the document's own table does not take, observer events, updates, and command dispatch of the
// class object.
#include <gtest/gtest.h>

#include "hostframework/docview/CAFDocument.h"
#include "hostframework/events/tests/FakeFramework.h"

using fake::Lines;
using fake::Record;

namespace {

constexpr GUID kClassGuid = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");
constexpr DWORD kAnalyze = 0x00210100, kClear = 0x00210101, kOther = 0x00210105;
constexpr DWORD kRegionChanged = 0x0023000E, kCmdSettings = 0x00210001;

class HostDocument final : public SimpleUnknownImp1<IHostDocumentData, 1> {
public:
    HRESULT GetTitle(IKELString** out) override
    {
        *out = KEL::String(L"record").CopyRep();
        return S_OK;
    }
};

class Document final : public CAFDocument {
public:
    using CAFDocument::CAFDocument;
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    HRESULT OnAnalyze()
    {
        Record("doc.OnAnalyze");
        return S_OK;
    }
    HRESULT OnClear()
    {
        Record("doc.OnClear");
        return S_FALSE; // looked at, not handled
    }
    void OnRegionChanged(ULONGLONG, ULONGLONG b) { Record("doc.OnRegionChanged " + std::to_string(b)); }
};

using DocRows = EventRows<Document>;
const EventTableEntry kDocRows[] = {
    DocRows::Header(),
    DocRows::Message<&Document::OnAnalyze>(EventIdOf(kAnalyze)),
    DocRows::Message<&Document::OnClear>(EventIdOf(kClear)),
    DocRows::ObserverPair<&Document::OnRegionChanged>(EventIdOf(kRegionChanged)),
    DocRows::End(),
};
const EventTable& Document::GetEventTable()
{
    static const EventTable table(kDocRows);
    return table;
}

class DocumentClass final : public CAFDocumentClassBase {
public:
    DocumentClass()
        : CAFDocumentClassBase(KEL::String(L"HRV2 Document"), 99, &kClassGuid, 0x00210000, 7, 5)
    {
    }
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    HRESULT CreateDocument(IUnknown*, DWORD, ICustomDocument2** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CanCreate(IUnknown*) override { return S_OK; }
    HRESULT RegisterCommands(ICAFCommandHandler* handler, std::uintptr_t argument) override
    {
        Record(std::string("class.RegisterCommands ") + (handler ? "handler " : "none ") + std::to_string(argument));
        return S_OK;
    }
    void CmdSettings() { Record("class.CmdSettings"); }
};

const EventTableEntry kClassRows[] = {
    EventRows<DocumentClass>::Header(),
    EventRows<DocumentClass>::Command<&DocumentClass::CmdSettings>(EventIdOf(kCmdSettings)),
    EventRows<DocumentClass>::End(),
};
const EventTable& DocumentClass::GetEventTable()
{
    static const EventTable table(kClassRows);
    return table;
}

template <class T, class... A> T* Make(A&&... args)
{
    auto* object = new T(std::forward<A>(args)...);
    object->AddRef();
    return object;
}

class Documents : public fake::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        classObject = Make<DocumentClass>();
        fake::Calls().clear();
    }
    void TearDown() override { classObject->Release(); }

    Document* MakeDocument(DWORD flags = 0)
    {
        auto* doc = new Document(&host, static_cast<ICustomDocClass*>(classObject), flags);
        doc->AddRef();
        counterpart = framework->factories.last;
        return doc;
    }

    HostDocument host;
    DocumentClass* classObject = nullptr;
    fake::Counterpart* counterpart = nullptr;
};

} // namespace

TEST_F(Documents, PairsWithItsCounterpartAndGivesItBackWhenDestroyed)
{
    const ULONG classCount = classObject->RefCount();
    Document* doc = MakeDocument(1u << 30);
    EXPECT_EQ(fake::Calls(), Lines { "factory.document flag30=1" });
    ASSERT_NE(counterpart, nullptr);
    EXPECT_EQ(counterpart->RefCount(), 1u);
    EXPECT_EQ(doc->RefCount(), 1u);
    EXPECT_EQ(classObject->RefCount(), classCount + 1);
    counterpart->AddRef();
    EXPECT_EQ(doc->Release(), 0u);
    EXPECT_EQ(counterpart->Release(), 0u);
    EXPECT_EQ(classObject->RefCount(), classCount);
}

TEST_F(Documents, MessagesTheDocumentDoesNotTakeGoToTheCounterpart)
{
    Document* doc = MakeDocument();
    struct Case {
        DWORD id;
        DWORD flags;
        bool ownMessage;
        HRESULT counterpartAnswer;
        HRESULT handled;
        Lines calls;
    };
    const Case cases[] = {
        { kAnalyze, 0, false, 1, 1, { "doc.OnAnalyze" } },
        { kClear, 0, false, 1, 1, { "doc.OnClear", "documentCounterpart.message 210101" } },
        { kOther, 0, false, 0, 0, { "documentCounterpart.message 210105" } },
        // Its own message that must not come back: refused by the document, still the host's.
        { kAnalyze, IMessage::kFlagNotToSender, true, 0, 0, { "documentCounterpart.message 210100" } },
        { kAnalyze, IMessage::kFlagNotToSender, false, 0, 1, { "doc.OnAnalyze" } },
    };
    for (const Case& c : cases) {
        fake::Calls().clear();
        counterpart->messageAnswer = c.counterpartAnswer;
        fake::Message message(c.id, c.flags);
        if (c.ownMessage)
            message.sender = doc->SenderToken();
        EXPECT_EQ(static_cast<IMessageHandler*>(doc)->HandleMessage(&message), c.handled) << fake::Hex(c.id);
        EXPECT_EQ(fake::Calls(), c.calls) << fake::Hex(c.id);
    }
    doc->Release();
}

TEST_F(Documents, ObserverEventsReachTheCounterpartFirstAndUpdatesGoThroughItsSubject)
{
    Document* doc = MakeDocument();
    CAFSubjectObject* subject = new CAFSubjectObject;
    static_cast<IObserver*>(doc)->OnAttach(subject);
    static_cast<IObserver*>(doc)->OnNotify(subject, kRegionChanged, 1, 2);
    static_cast<IObserver*>(doc)->OnNotify(subject, 0x00239999, 1, 2);
    const DWORD record[] = { 0x00210000, 0x5A5A };
    EXPECT_EQ(doc->SendUpdate(record), S_OK);
    const Lines expected = {
        "factory.document flag30=0",
        "documentCounterpart.attach",
        "registry.attachForEvent 23000E 0",
        "documentCounterpart.notify 23000E",
        "doc.OnRegionChanged 2",
        "documentCounterpart.notify 239999",
        "documentCounterpart.subjectNotify 210000",
    };
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(static_cast<std::uintptr_t>(counterpart->lastValue)), 0x5A5Au);
    subject->Release();
    doc->Release();
}

TEST_F(Documents, SlotsOfTheDocument)
{
    Document* doc = MakeDocument(0x42);
    ICustomDocument2* custom = doc;
    DWORD flags = 0;
    EXPECT_EQ(custom->GetFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0x42u);
    IKELString* text = nullptr;
    custom->SetTitle(0, KEL::String(L"Tachogram").Rep());
    EXPECT_EQ(custom->GetTitle(&text), S_OK);
    EXPECT_EQ(KEL::String(text), KEL::String(L"Tachogram"));
    text->Release();
    IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
    DWORD cookie = 1;
    EXPECT_EQ(custom->GetChildObject(0, 2, &unknown, &cookie), E_NOTIMPL);
    EXPECT_EQ(unknown, nullptr);
    EXPECT_EQ(cookie, 0u);
    WORD canClose = 0;
    EXPECT_EQ(custom->CanClose(&canClose), S_OK);
    EXPECT_EQ(canClose, 0xFFFF);
    // Disconnecting the sender: sending afterwards names no source.
    custom->DisconnectSender();
    EXPECT_EQ(doc->Source(), nullptr);
    doc->Release();
}

TEST_F(Documents, ClassObjectIsClass)
{
    const GUID copy = kClassGuid;
    const GUID other = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5C}");
    EXPECT_EQ(classObject->IsClass(&kClassGuid), S_OK);
    EXPECT_EQ(classObject->IsClass(&copy), S_OK);
    EXPECT_EQ(classObject->IsClass(&other), S_FALSE);
    EXPECT_EQ(classObject->IsClass(nullptr), S_FALSE);
    DWORD id = 0;
    classObject->GetClassId(&id);
    EXPECT_EQ(id, 0x00210000u);
    classObject->InsertCommands(5);
    EXPECT_EQ(fake::Calls(), Lines { "class.RegisterCommands handler 5" });
}

TEST_F(Documents, ClassCommandsAskTheCounterpartFirst)
{
    fake::Counterpart* classCounterpart = nullptr;
    DocumentClass* withCounterpart = Make<DocumentClass>();
    classCounterpart = framework->factories.last;
    framework->factories.makeCounterparts = false;
    DocumentClass* without = Make<DocumentClass>();
    struct Case {
        DocumentClass* object;
        HRESULT counterpartAnswer;
        DWORD id;
        HRESULT result;
        Lines calls;
    };
    const Case cases[] = {
        { withCounterpart, 0, kCmdSettings, 0, { "classCounterpart.command 210001" } },
        { withCounterpart, 1, kCmdSettings, 0, { "classCounterpart.command 210001", "class.CmdSettings" } },
        { withCounterpart, 1, kOther, 1, { "classCounterpart.command 210105" } },
        { without, 0, kCmdSettings, S_FALSE, {} },
    };
    for (const Case& c : cases) {
        fake::Calls().clear();
        classCounterpart->commandAnswer = c.counterpartAnswer;
        EXPECT_EQ(static_cast<ICAFCommandHandler*>(c.object)->OnCommand(c.id), c.result);
        EXPECT_EQ(fake::Calls(), c.calls);
    }
    // The other two command slots of a class without a counterpart.
    EXPECT_EQ(static_cast<ICAFCommandHandler*>(without)->OnCommandEnable(kCmdSettings, nullptr), S_FALSE);
    EXPECT_EQ(static_cast<ICAFCommandHandler*>(without)->OnCommandNotify(kCmdSettings, 6, 0, 0), S_FALSE);
    without->Release();
    withCounterpart->Release();
}
