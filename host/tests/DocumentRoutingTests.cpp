// The host's documents and views with an extension's: a document opened through its registered
// class object, messages routed to it by the host's router, host events reaching its observer
// rows, its updates reaching the host document's observers, and views opened and closed in the
// host's view site.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "caf/Documents.h"
#include "caf/FrameworkServices.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/docview/CAFDocument.h"
#include "hostframework/docview/ChildViewWindow.h"
#include "hostframework/docview/DocView.h"
#include "hostframework/services/CafFrameWork.h"
#include "ui/Window.h"

namespace {

constexpr GUID kDocumentGuid = vx::com::MakeGuid("{5D0B3E12-8C41-4F6A-9B27-31E4A0C6D981}");
constexpr GUID kViewCategory = vx::com::MakeGuid("{D6F52E80-B34D-11D3-80C7-005004AD3C53}");
constexpr GUID kHostEventsGuid = vx::com::MakeGuid("{3A7D80F0-59D6-11D3-80AE-005004AD3C53}");

using AnalyzeId = TypeIdClass<&kDocumentGuid, 0x100>;
using ClearId = TypeIdClass<&kDocumentGuid, 0x101>;
using AnalysisChangedId = TypeIdClass<&kDocumentGuid, 0>;
using RegionChangedId = TypeIdClass<&kHostEventsGuid, 14>;
using SettingsCommandId = TypeIdClass<&kDocumentGuid, 1>;

std::vector<std::string>& Log()
{
    static std::vector<std::string> log;
    return log;
}

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
        Log().push_back("document.OnAnalyze");
        // What an analysis ends with: the host document's observers are told.
        const DWORD update[] = { AnalysisChangedId::Id(), 4 };
        SendUpdate(update);
        return S_OK;
    }
    void OnRegionChanged(ULONGLONG, ULONGLONG value)
    {
        Log().push_back("document.OnRegionChanged " + std::to_string(value));
    }
};

const EventTableEntry kDocumentRows[] = {
    EventRows<Document>::Header(),
    EventRows<Document>::Message<&Document::OnAnalyze>(EventIdOf(&AnalyzeId::Get)),
    EventRows<Document>::ObserverPair<&Document::OnRegionChanged>(EventIdOf(&RegionChangedId::Get)),
    EventRows<Document>::End(),
};
const EventTable& Document::GetEventTable()
{
    static const EventTable table(kDocumentRows);
    return table;
}

class DocumentClass final : public CAFDocumentClassBase {
public:
    DocumentClass()
        : CAFDocumentClassBase(
            KEL::String(L"Test Document"), 0, &kDocumentGuid, SettingsCommandId::Id() & 0xFFFF0000u, 0, 0)
    {
    }
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }

    HRESULT CreateDocument(IUnknown* hostDocument, DWORD flags, ICustomDocument2** out) override
    {
        if (!out)
            return E_POINTER;
        auto* document = new Document(hostDocument, static_cast<ICustomDocClass*>(this), flags);
        document->AddRef();
        *out = document;
        Log().push_back("class.CreateDocument");
        return S_OK;
    }
    HRESULT CanCreate(IUnknown*) override { return S_OK; }
    HRESULT RegisterCommands(ICAFCommandHandler*, std::uintptr_t) override { return S_OK; }
    void CmdSettings() { Log().push_back("class.CmdSettings"); }
};

const EventTableEntry kClassRows[] = {
    EventRows<DocumentClass>::Header(),
    EventRows<DocumentClass>::Command<&DocumentClass::CmdSettings>(EventIdOf(&SettingsCommandId::Get)),
    EventRows<DocumentClass>::End(),
};
const EventTable& DocumentClass::GetEventTable()
{
    static const EventTable table(kClassRows);
    return table;
}

// A host-side observer of the host document.
class HostObserver final : public SimpleUnknownImp1<IObserver, 1> {
public:
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value) override
    {
        const DWORD code = *reinterpret_cast<const DWORD*>(static_cast<std::uintptr_t>(value));
        Log().push_back("host observer " + std::string(eventId == AnalysisChangedId::Id() ? "analysis changed" : "?")
            + " " + std::to_string(code));
        return S_OK;
    }
};

// A view's window on the window system: its table is reached through the view's proxy.
class ViewWindow final : public ChildViewWindow, public CAFCppEventHandler {
public:
    ViewWindow(WindowHandle parent, CAFProxyEventHandlerBase* proxy)
        : ChildViewWindow(parent, L"Test View")
    {
        SetProxy(proxy);
    }
    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override
    {
        return FindInTable(this, trigger, object);
    }
    void ForEachEntry(TableEntryAction& action) override { ForEachInTable(this, action); }
    HRESULT OnAnalysisShown(IUnknown* data)
    {
        Log().push_back(std::string("window message with ") + (data ? "data" : "no data"));
        return S_OK;
    }
};

const EventTableEntry kWindowRows[] = {
    EventRows<ViewWindow>::Header(),
    EventRows<ViewWindow>::MessageWithData<&ViewWindow::OnAnalysisShown>(EventIdOf(&ClearId::Get)),
    EventRows<ViewWindow>::End(),
};
const EventTable& ViewWindow::GetEventTable()
{
    static const EventTable table(kWindowRows);
    return table;
}

class View final : public DocWindowViewBase {
public:
    using DocWindowViewBase::DocWindowViewBase;
    IExtensionWindow* CreateExtensionWindow(WindowHandle parent, void*) override
    {
        window = new ViewWindow(parent, this);
        return window;
    }
    ViewWindow* window = nullptr; // owned by the client-window part
};

class ViewClass final : public OwlDocViewClassBase {
public:
    ViewClass()
        : OwlDocViewClassBase(KEL::String(L"Test View"), &kViewCategory, 1)
    {
    }
    HRESULT GetClassId(DWORD* id) override { return *id = 0x00300000, S_OK; }
    HRESULT CreateView(IUnknown*, IViewSite* site, IDocView2** out) override
    {
        auto* view = new View(this, site, nullptr);
        view->AddRef();
        *out = view;
        return S_OK;
    }
    HRESULT GetRequiredInterfaces(IEnumInterface** out) override
    {
        return CreateInterfaceIdEnumerator(nullptr, 0, out);
    }
};

IMessage* MakeMessage(DWORD id)
{
    void* creator = nullptr;
    EXPECT_EQ(
        ObjectFactoryAccessor::Get()->CreateObject(kMessageCreatorClassKey, IMessageCreator::kIid, &creator), S_OK);
    IMessage* message = nullptr;
    static_cast<IMessageCreator*>(creator)->CreateMessage(WORD(id >> 16), id, 0, 0, nullptr, &message);
    static_cast<IMessageCreator*>(creator)->Release();
    return message;
}

} // namespace

class DocumentRouting : public caf::test::RegisteredFramework {
protected:
    void SetUp() override { Log().clear(); }
};

TEST_F(DocumentRouting, TheRouterDeliversANamedMessageToADocumentOpenedThroughItsClass)
{
    // The extension registers its document class as DllRegisterClassObjects does.
    auto* documentClass = new DocumentClass;
    documentClass->AddRef();
    ASSERT_EQ(ObjectFactoryAccessor::Get()->RegisterClassObject(static_cast<ICustomDocClass*>(documentClass)), S_OK);
    documentClass->Release();

    auto* hostDocument = new caf::HostDocument(L"Record 100");
    hostDocument->AddRef();
    HostObserver hostObserver;
    hostDocument->AttachForEvent(&hostObserver, AnalysisChangedId::Id(), 0);
    HRESULT hr = E_FAIL;
    ICustomDocument2* document = hostDocument->OpenDocument(kDocumentGuid, 0, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(document, nullptr);
    auto* counterpart = static_cast<caf::DocumentCounterpart*>(
        static_cast<IMessageHandler*>(static_cast<Document*>(document)->Counterpart()));
    ASSERT_NE(counterpart, nullptr);
    // The document's host-document link comes from the host document, not its counterpart.
    IHostDocumentLink* link = nullptr;
    ASSERT_EQ(document->GetHostDocumentLink(&link), S_OK);
    IUnknown* linked = nullptr;
    EXPECT_EQ(link->GetHostDocument(&linked), S_OK);
    EXPECT_EQ(linked, static_cast<IUnknown*>(static_cast<IHostDocumentData*>(hostDocument)));
    linked->Release();
    link->Release();

    IMessage* analyze = MakeMessage(AnalyzeId::Id());
    IMessage* clear = MakeMessage(ClearId::Id());
    EXPECT_EQ(GetCafMessageRouter()->Route(analyze, nullptr), S_OK);
    EXPECT_EQ(GetCafMessageRouter()->Route(clear, nullptr), S_FALSE);
    EXPECT_EQ(counterpart->PassedOn(), std::vector<DWORD> { ClearId::Id() });

    // A host event the document subscribed to when it was attached.
    const ULONGLONG regionData = 42;
    hostDocument->Notify(RegionChangedId::Id(), regionData);

    const std::vector<std::string> expected = {
        "class.CreateDocument",
        "document.OnAnalyze",
        "host observer analysis changed 4",
        "document.OnRegionChanged 42",
    };
    EXPECT_EQ(Log(), expected);

    // Closed documents receive nothing more.
    hostDocument->CloseDocuments();
    Log().clear();
    EXPECT_EQ(GetCafMessageRouter()->Route(analyze, nullptr), S_FALSE);
    hostDocument->Notify(RegionChangedId::Id(), regionData);
    EXPECT_EQ(Log(), std::vector<std::string> {});
    analyze->Release();
    clear->Release();
    hostDocument->Detach(&hostObserver);
    EXPECT_EQ(hostDocument->Release(), 0u);
}

TEST_F(DocumentRouting, ClassCommandsFallBackFromTheHostsCounterpartToTheClassTable)
{
    auto* documentClass = new DocumentClass;
    documentClass->AddRef();
    ASSERT_NE(documentClass->Counterpart(), nullptr);
    const GUID* guid = nullptr;
    auto* data = static_cast<IDocumentClassData*>(static_cast<void*>(nullptr));
    ASSERT_EQ(documentClass->QueryInterface(IDocumentClassData::kIid, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data->GetClassGuid(&guid), S_OK);
    EXPECT_EQ(guid, &kDocumentGuid);
    data->Release();
    EXPECT_EQ(static_cast<ICAFCommandHandler*>(documentClass)->OnCommand(SettingsCommandId::Id()), S_OK);
    EXPECT_EQ(static_cast<ICAFCommandHandler*>(documentClass)->OnCommand(SettingsCommandId::Id() + 1), S_FALSE);
    EXPECT_EQ(Log(), std::vector<std::string> { "class.CmdSettings" });
    EXPECT_EQ(documentClass->Release(), 0u);
}

TEST_F(DocumentRouting, ViewsOpenInTheSiteAndCloseOnce)
{
    auto* viewClass = new ViewClass;
    viewClass->AddRef();
    viewClass->Initialise();
    auto* site = new caf::HostViewSite;
    site->AddRef();
    ASSERT_TRUE(vx::ui::IsWindow(site->Frame()));
    HRESULT hr = E_FAIL;
    IDocView2* first = site->OpenView(viewClass, &hr);
    ASSERT_EQ(hr, S_OK);
    IDocView2* second = site->OpenView(viewClass, &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(site->Views(), (std::vector<IDocView2*> { first, second }));
    DWORD count = 0;
    viewClass->GetViewCount(0, &count);
    EXPECT_EQ(count, 2u);
    auto* link = static_cast<IViewClassLink*>(nullptr);
    ASSERT_EQ(viewClass->QueryInterface(IViewClassLink::kIid, reinterpret_cast<void**>(&link)), S_OK);
    EXPECT_EQ(static_cast<caf::ViewClassCounterpart*>(link)->InitialisedViews(), 2u);
    EXPECT_TRUE(static_cast<caf::ViewClassCounterpart*>(link)->ClassIsInitialised());
    link->Release();

    // Each view's window fills a client window of its own inside the frame.
    const WindowHandle firstWindow = static_cast<View*>(first)->window->Handle();
    const WindowHandle firstClient = site->ClientWindowOf(first);
    const WindowHandle secondWindow = static_cast<View*>(second)->window->Handle();
    EXPECT_EQ(vx::ui::GetParent(firstWindow), firstClient);
    EXPECT_EQ(vx::ui::GetParent(firstClient), site->Frame());
    EXPECT_EQ(vx::ui::GetClassName(firstWindow), ChildViewWindow::ClassName());
    EXPECT_EQ(vx::ui::GetWindowText(firstWindow), L"Test View");
    vx::ui::Rect frameArea, windowArea;
    vx::ui::GetClientRect(site->Frame(), &frameArea);
    vx::ui::GetClientRect(firstWindow, &windowArea);
    EXPECT_EQ(windowArea.right, frameArea.right);
    EXPECT_EQ(windowArea.bottom, frameArea.bottom);
    vx::ui::MoveWindow(firstClient, 0, 0, 300, 200, true);
    vx::ui::GetClientRect(firstWindow, &windowArea);
    EXPECT_EQ(windowArea.right, 300);
    EXPECT_EQ(windowArea.bottom, 200);

    EXPECT_EQ(first->Close(), S_OK);
    EXPECT_FALSE(vx::ui::IsWindow(firstWindow));
    EXPECT_FALSE(vx::ui::IsWindow(firstClient));
    EXPECT_TRUE(vx::ui::IsWindow(secondWindow));
    EXPECT_EQ(site->Views(), std::vector<IDocView2*> { second });
    site->CloseViews();
    EXPECT_TRUE(site->Views().empty());
    EXPECT_FALSE(vx::ui::IsWindow(secondWindow));
    viewClass->GetViewCount(0, &count);
    EXPECT_EQ(count, 0u);
    const WindowHandle frame = site->Frame();
    EXPECT_EQ(site->Release(), 0u);
    EXPECT_FALSE(vx::ui::IsWindow(frame));
    EXPECT_EQ(viewClass->Release(), 0u);
}

TEST_F(DocumentRouting, RoutedMessagesReachAViewsWindowButNotTheWindowThatSentThem)
{
    auto* viewClass = new ViewClass;
    viewClass->AddRef();
    auto* site = new caf::HostViewSite;
    site->AddRef();
    auto* view = static_cast<View*>(site->OpenView(viewClass));
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->window, nullptr);
    auto* data = new caf::HostViewFrame; // any object serves as the message's data
    data->AddRef();

    auto* message = new caf::HostMessage(WORD(ClearId::Id() >> 16), ClearId::Id(), 0, nullptr);
    message->AddRef();
    message->SetData(data);
    EXPECT_EQ(view->window->Send(view->window->Source(), message), S_OK);
    message->SetFlags(IMessage::kFlagNotToSender);
    EXPECT_EQ(view->window->Send(view->window->Source(), message), S_FALSE);
    // From anyone else the same message arrives.
    EXPECT_EQ(GetCafMessageRouter()->Route(message, nullptr), S_OK);
    const std::vector<std::string> expected = {
        "window message with data",
        "window message with data",
    };
    EXPECT_EQ(Log(), expected);

    site->CloseViews();
    Log().clear();
    EXPECT_EQ(GetCafMessageRouter()->Route(message, nullptr), S_FALSE);
    EXPECT_EQ(message->Release(), 0u);
    EXPECT_EQ(data->Release(), 0u);
    EXPECT_EQ(site->Release(), 0u);
    EXPECT_EQ(viewClass->Release(), 0u);
}

// The host's factory of view-class counterparts is a generic class object: asked by the shared
// interface id it answers its class key and makes a counterpart for the view class given as
// the outer object.
TEST_F(DocumentRouting, TheViewClassCounterpartFactoryIsAGenericClassObject)
{
    void* out = nullptr;
    ASSERT_EQ(
        ObjectFactoryAccessor::Get()->CreateObject(kViewClassCounterpartClassKey, IGenericClassObject::kIid, &out),
        S_OK);
    auto* factory = static_cast<IGenericClassObject*>(out);
    DWORD id = 0;
    EXPECT_EQ(factory->GetClassId(&id), S_OK);
    EXPECT_EQ(id, kViewClassCounterpartClassKey);
    auto* viewClass = new ViewClass;
    viewClass->AddRef();
    void* counterpart = nullptr;
    ASSERT_EQ(
        factory->CreateInstance(static_cast<IDocViewClass*>(viewClass), IViewClassLink::kIid, &counterpart), S_OK);
    ASSERT_NE(counterpart, nullptr);
    static_cast<IUnknown*>(counterpart)->Release();
    counterpart = &id;
    EXPECT_EQ(factory->CreateInstance(nullptr, IGenericClassObject::kIid, &counterpart), E_NOINTERFACE);
    EXPECT_EQ(counterpart, nullptr);
    factory->Release();
    viewClass->Release();
}
