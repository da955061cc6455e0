// The stand-in framework's services, each on a fresh instance where the test needs one.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "caf/FrameworkServices.h"
#include "com/ClassObjects.h"
#include "com/Ref.h"
#include "log/Log.h"
#include "res/Resource.h"

namespace {

constexpr GUID kGuidA = vx::com::MakeGuid("{11111111-2222-4333-8444-555555555501}");
constexpr GUID kGuidB = vx::com::MakeGuid("{11111111-2222-4333-8444-555555555502}");

// Records each notification as "<name>:<event>:<flags>:<value>"; may run an action on notify.
class RecordingObserver final : public SimpleUnknownImp1<IObserver, 1> {
public:
    RecordingObserver(std::string name, std::vector<std::string>& log)
        : mName(std::move(name))
        , mLog(log)
    {
    }
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject*, DWORD eventId, ULONGLONG flags, ULONGLONG value) override
    {
        mLog.push_back(
            mName + ":" + std::to_string(eventId) + ":" + std::to_string(flags) + ":" + std::to_string(value));
        if (onNotify)
            onNotify();
        return S_OK;
    }
    std::function<void()> onNotify;

private:
    std::string mName;
    std::vector<std::string>& mLog;
};

class DummySubject final : public SimpleUnknownImp1<ISubject, 1> {
public:
    HRESULT Notify(DWORD, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT Attach(IObserver*) override { return E_NOTIMPL; }
    HRESULT Detach(IObserver*) override { return E_NOTIMPL; }
    HRESULT AttachForEvent(IObserver*, DWORD, LONG) override { return E_NOTIMPL; }
};

// A message receiver that answers `answer` and records that it was asked.
class Receiver final : public SimpleUnknownImp1<IMessageHandler, 1> {
public:
    Receiver(HRESULT answer, std::string name, std::vector<std::string>& log)
        : mAnswer(answer)
        , mName(std::move(name))
        , mLog(log)
    {
    }
    HRESULT HandleMessage(IMessage*) override
    {
        mLog.push_back(mName);
        return mAnswer;
    }
    HRESULT AddHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT RemoveHandler(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT SetParent(IMessageHandler*) override { return E_NOTIMPL; }
    HRESULT GetSource(IMessageHandler**) override { return E_NOTIMPL; }
    HRESULT Accepts(IMessage*) override { return S_OK; }

private:
    HRESULT mAnswer;
    std::string mName;
    std::vector<std::string>& mLog;
};

// A service object made for one test, held: its reference goes when the test ends, also when an
// assertion ends it early.
template <class T, class... Args> vx::com::Ref<T> Make(Args&&... args)
{
    return vx::com::Ref<T>(new T(std::forward<Args>(args)...));
}

} // namespace

TEST(CafLibrary, FrameworkClassObjectAnswersEveryFrameworkService)
{
    void* out = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, &out), S_OK);
    auto* framework = static_cast<IUnknown*>(out);
    const IID services[] = { ISubjectRegistry::kIid, IHostClassObject::kIid, ITypeIdRegistry::kIid,
        IMessageRouter::kIid, IMessageFactory::kIid };
    for (const IID& iid : services) {
        void* first = nullptr;
        void* second = nullptr;
        ASSERT_EQ(framework->QueryInterface(iid, &first), S_OK) << vx::com::GuidToString(iid);
        ASSERT_EQ(framework->QueryInterface(iid, &second), S_OK);
        EXPECT_EQ(first, second) << "one service object per process";
        static_cast<IUnknown*>(first)->Release();
        static_cast<IUnknown*>(second)->Release();
    }
    void* none = framework;
    EXPECT_EQ(framework->QueryInterface(IAppServices::kIid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    // Handing out the framework made its companion classes reachable through the class table.
    for (const auto& [clsid, iid] : { std::pair { CLSID_CAFAppServices, IAppServices::kIid },
             std::pair { CLSID_UnitTestRegistry, IUnitTestRegistry::kIid } }) {
        void* service = nullptr;
        ASSERT_EQ(CoGetClassObject(clsid, kCafClassContext, nullptr, iid, &service), S_OK);
        static_cast<IUnknown*>(service)->Release();
    }
    framework->Release();

    EXPECT_EQ(DllGetClassObject(kGuidA, IUnknown::kIid, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_CAFFrameWork, IUnknown::kIid, nullptr), E_POINTER);
}

TEST(TypeIdRegistry, IndexesStartAtOneAndStayBelowTheBuiltInBit)
{
    const auto registry = Make<caf::TypeIdRegistry>();
    WORD a = 0, b = 0, again = 0;
    ASSERT_EQ(registry->GetTypeIndex(kGuidA, &a), S_OK);
    ASSERT_EQ(registry->GetTypeIndex(kGuidB, &b), S_OK);
    ASSERT_EQ(registry->GetTypeIndex(kGuidA, &again), S_OK);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(again, 1);
    GUID guid;
    ASSERT_EQ(registry->GetTypeGuid(2, &guid), S_OK);
    EXPECT_EQ(guid, kGuidB);
    for (WORD bad : { WORD(0), WORD(3), WORD(0x8000), WORD(0xFFFF) }) {
        EXPECT_EQ(registry->GetTypeGuid(bad, &guid), E_INVALIDARG) << bad;
        EXPECT_EQ(guid, GUID_NULL);
    }
    EXPECT_EQ(registry->GetTypeIndex(kGuidA, nullptr), E_POINTER);
    EXPECT_EQ(registry->GetTypeGuid(1, nullptr), E_POINTER);

    // Fill the registry: the last index handed out is 0x7FFF, then it refuses.
    WORD index = 0;
    for (std::uint32_t n = 3; n < 0x8000; ++n) {
        GUID g = kGuidA;
        g.Data1 = n;
        ASSERT_EQ(registry->GetTypeIndex(g, &index), S_OK);
    }
    EXPECT_EQ(index, 0x7FFF);
    GUID overflow = kGuidB;
    overflow.Data1 = 0xFFFFFFFF;
    EXPECT_EQ(registry->GetTypeIndex(overflow, &index), E_OUTOFMEMORY);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(registry->GetTypeIndex(kGuidB, &index), S_OK); // known GUIDs still answer
    EXPECT_EQ(index, 2);
}

TEST(SubjectRegistry, NotifiesSubscribersInOrderWithTheirFlags)
{
    std::vector<std::string> log;
    const auto registry = Make<caf::SubjectRegistry>();
    DummySubject subject, other;
    RecordingObserver all("all", log), five("five", log), both("both", log);
    EXPECT_EQ(registry->Attach(&subject, &all), S_OK);
    EXPECT_EQ(registry->Attach(&subject, &all), S_FALSE); // already attached
    EXPECT_EQ(registry->AttachForEvent(&subject, &five, 5, 7), S_OK);
    EXPECT_EQ(registry->AttachForEvent(&subject, &both, 5, -1), S_OK);
    EXPECT_EQ(registry->Attach(&subject, &both), S_OK);
    EXPECT_EQ(registry->Attach(&other, &five), S_OK);

    EXPECT_EQ(registry->Notify(&subject, 5, 42), S_OK);
    EXPECT_EQ(registry->Notify(&subject, 6, 43), S_OK);
    const std::vector<std::string> expected { "all:5:0:42", "five:5:7:42", "both:5:18446744073709551615:42",
        "all:6:0:43", "both:6:0:43" };
    EXPECT_EQ(log, expected);

    log.clear();
    EXPECT_EQ(registry->Detach(&subject, &both), S_OK); // every subscription of the pair
    EXPECT_EQ(registry->Detach(&subject, &both), S_FALSE);
    EXPECT_EQ(registry->ForgetObserver(&all), S_OK);
    registry->Notify(&subject, 5, 1);
    registry->Notify(&other, 9, 2);
    EXPECT_EQ(log, (std::vector<std::string> { "five:5:7:1", "five:9:0:2" }));
    EXPECT_EQ(registry->ForgetSubject(&subject), S_OK);
    log.clear();
    registry->Notify(&subject, 5, 1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(registry->Notify(nullptr, 5, 1), E_POINTER);
    EXPECT_EQ(registry->Attach(nullptr, &all), E_POINTER);
    EXPECT_EQ(registry->AttachForEvent(&subject, nullptr, 1, 0), E_POINTER);
}

TEST(SubjectRegistry, ObserverRemovedDuringNotificationIsNotCalled)
{
    std::vector<std::string> log;
    const auto registry = Make<caf::SubjectRegistry>();
    DummySubject subject;
    RecordingObserver first("first", log), second("second", log);
    registry->Attach(&subject, &first);
    registry->Attach(&subject, &second);
    first.onNotify = [&] { registry->ForgetObserver(&second); };
    registry->Notify(&subject, 1, 0);
    EXPECT_EQ(log, (std::vector<std::string> { "first:1:0:0" }));
}

TEST(AppServices, MessageBoxesAreLoggedAndAnsweredByHandlerScriptOrDefault)
{
    const auto services = Make<caf::AppServices>();
    vx::log::Capture capture;
    int result = 0;
    // Default: the style's default button.
    struct Case {
        UINT style;
        int answer;
    };
    const Case defaults[] = {
        { 0x0000, 1 }, { 0x0001, 1 }, { 0x0101, 2 }, { 0x0002, 3 }, { 0x0202, 5 }, { 0x0003, 6 }, { 0x0004, 6 },
        { 0x0104, 7 }, { 0x0005, 4 }, { 0x0006, 2 }, { 0x2031, 1 }, { 0x2010, 1 },
        { 0x0300, 1 }, // a default button beyond the buttons shown falls back to the first
    };
    for (const Case& c : defaults) {
        ASSERT_EQ(services->MessageBox(nullptr, L"t", L"c", c.style, 0, &result, 0, 0, 0), S_OK);
        EXPECT_EQ(result, c.answer) << std::hex << c.style;
        EXPECT_EQ(caf::DefaultMessageBoxAnswer(c.style), c.answer);
    }
    capture.Clear();

    services->QueueAnswer(7);
    services->QueueAnswer(2);
    services->MessageBox(nullptr, L"Save changes?", L"Varnex", 0x23, 0, &result, 0, 0, 0);
    EXPECT_EQ(result, 7);
    services->MessageBox(nullptr, L"Again?", L"Varnex", 0x23, 0, &result, 0, 0, 0);
    EXPECT_EQ(result, 2);
    services->MessageBox(nullptr, L"Once more?", L"Varnex", 0x23, 0, &result, 0, 0, 0);
    EXPECT_EQ(result, 6); // script used up: default
    EXPECT_EQ(capture.Lines(),
        (std::vector<std::string> { "MessageBox \"Varnex\": Save changes? -> 7", "MessageBox \"Varnex\": Again? -> 2",
            "MessageBox \"Varnex\": Once more? -> 6" }));

    std::vector<caf::MessageBoxRequest> seen;
    services->QueueAnswer(99); // a handler takes precedence over the script
    services->SetHandler([&](const caf::MessageBoxRequest& r) {
        seen.push_back(r);
        return 4;
    });
    services->MessageBox(nullptr, L"Retry?", nullptr, 0x15, 0, &result, 0, 0, 0);
    EXPECT_EQ(result, 4);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"Retry?");
    EXPECT_EQ(seen[0].caption, L"");
    EXPECT_EQ(seen[0].style, 0x15u);
    EXPECT_EQ(services->MessageBox(nullptr, L"x", L"y", 0, 0, nullptr, 0, 0, 0), E_POINTER);
    // A handler that throws does not take the caller down.
    services->SetHandler([](const caf::MessageBoxRequest&) -> int { throw std::runtime_error("no display"); });
    capture.Clear();
    result = 0;
    EXPECT_EQ(services->MessageBox(nullptr, L"x", L"y", 0, 0, &result, 0, 0, 0), E_FAIL);
    EXPECT_EQ(capture.Lines(), std::vector<std::string> { "libcaf: no display" });

    WORD language = 0;
    ASSERT_EQ(services->GetUILanguage(&language), S_OK);
    EXPECT_EQ(language, 0x0409);
    services->SetLanguage(0x040A);
    services->GetUILanguage(&language);
    EXPECT_EQ(language, 0x040A);
    EXPECT_EQ(services->GetUILanguage(nullptr), E_POINTER);
    services->SetHandler({});
}

TEST(HostClassObject, MakesBuiltInObjectsAndKeepsRegistrationsInOrder)
{
    caf::RegistrationList registrations;
    auto* types = new caf::TypeIdRegistry;
    auto* creator = new caf::MessageCreator;
    auto* shared = new caf::SharedHostObject;
    auto* factory = new caf::ObjectFactory;
    auto* commands = new caf::HostCommandFactory;
    auto* classes = new caf::HostClassFactory;
    const std::initializer_list<IUnknown*> made { static_cast<ITypeIdRegistry*>(types), creator, shared, factory,
        commands, classes };
    for (IUnknown* o : made)
        o->AddRef();
    {
        const auto host
            = Make<caf::HostClassObject>(registrations, *types, *creator, *shared, *factory, *commands, *classes);
        WORD factoryType = 0;
        types->GetTypeIndex(GUID_ObjectFactoryType, &factoryType);
        struct Case {
            DWORD key;
            IID iid;
            IUnknown* expected;
            HRESULT hr;
        };
        const Case cases[] = {
            { kMessageCreatorClassKey, IMessageCreator::kIid, creator, S_OK },
            { kSharedHostObjectClassKey, ISharedHostObject::kIid, shared, S_OK },
            { DWORD(factoryType) << 16, IObjectFactory::kIid, factory, S_OK },
            { kHostCommandFactoryClassKey, IHostCommandFactory::kIid, commands, S_OK },
            { kHostClassFactoryClassKey, IHostClassFactory::kIid, classes, S_OK },
            { kMessageCreatorClassKey, IObjectFactory::kIid, nullptr, E_NOINTERFACE },
            { 0x80000099u, IUnknown::kIid, nullptr, CLASS_E_CLASSNOTAVAILABLE },
            { (DWORD(factoryType) << 16) | 1, IObjectFactory::kIid, nullptr, CLASS_E_CLASSNOTAVAILABLE },
        };
        for (const Case& c : cases) {
            void* out = &registrations;
            EXPECT_EQ(host->CreateObject(c.key, c.iid, &out), c.hr) << std::hex << c.key;
            EXPECT_EQ(out, c.expected) << std::hex << c.key;
            if (out)
                static_cast<IUnknown*>(out)->Release();
        }
        EXPECT_EQ(host->CreateObject(kMessageCreatorClassKey, IUnknown::kIid, nullptr), E_POINTER);

        auto* first = new caf::ObjectFactory;
        auto* second = new caf::ObjectFactory;
        EXPECT_EQ(host->RegisterClassObject(first), S_OK);
        const auto messages = Make<caf::MessageFactory>(registrations);
        const auto tests = Make<caf::UnitTestRegistry>(registrations);
        EXPECT_EQ(messages->RegisterMessageClass(0, second), S_OK);
        EXPECT_EQ(tests->AddTest(first), S_OK);
        EXPECT_EQ(host->RegisterClassObject(nullptr), E_POINTER);
        EXPECT_EQ(first->RefCount(), 2u);
        const auto rows = registrations.Snapshot();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0].kind, caf::Registration::Kind::ClassObject);
        EXPECT_EQ(rows[1].kind, caf::Registration::Kind::MessageClass);
        EXPECT_EQ(rows[1].object, second);
        EXPECT_EQ(rows[2].kind, caf::Registration::Kind::UnitTest);
        registrations.ReleaseAll(); // the last references: both objects are destroyed
        EXPECT_TRUE(registrations.Snapshot().empty());
    }
    for (IUnknown* o : made)
        EXPECT_EQ(o->Release(), 0u);
}

TEST(MessageRouter, OffersMessagesInOrderUntilOneIsHandled)
{
    std::vector<std::string> log;
    const auto router = Make<caf::MessageRouter>();
    // Receivers answer 0 (not handled) or 1 (handled).
    Receiver no(0, "no", log), yes(1, "yes", log), late(1, "late", log);
    Receiver* receivers[] = { &no, &yes, &late };
    for (Receiver* r : receivers)
        router->AddReceiver(r);
    const auto creator = Make<caf::MessageCreator>();
    vx::com::Ref<IMessage> message;
    ASSERT_EQ(creator->CreateMessage(3, 0x00030100, 0, 0, nullptr, message.Put()), S_OK);
    EXPECT_EQ(router->Route(message.Get(), nullptr), S_OK);
    EXPECT_EQ(log, (std::vector<std::string> { "no", "yes" }));
    router->RemoveReceiver(&yes);
    router->RemoveReceiver(&late);
    log.clear();
    EXPECT_EQ(router->Route(message.Get(), nullptr), S_FALSE);
    EXPECT_EQ(log, (std::vector<std::string> { "no" }));
    EXPECT_EQ(router->Route(nullptr, nullptr), E_POINTER);
    router->RemoveReceiver(&no);
    EXPECT_EQ(no.RefCount(), 1u);
}

TEST(MessageCreator, MessagesCarryIdPayloadAndSender)
{
    const auto creator = Make<caf::MessageCreator>();
    const DWORD payload[2] = { 12, 1 };
    IMessage* message = nullptr;
    ASSERT_EQ(creator->CreateMessage(4, 0x00040101, 0, 0, payload, &message), S_OK);
    auto* host = static_cast<caf::HostMessage*>(message);
    DWORD id = 0, flags = 99;
    message->GetId(&id);
    message->GetFlags(&flags);
    EXPECT_EQ(id, 0x00040101u);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(host->TypeIndex(), 4);
    EXPECT_EQ(host->PayloadType(), 12u);
    EXPECT_EQ(host->PayloadCount(), 1u);

    WORD isSender = 1;
    message->IsSender(0, &isSender);
    EXPECT_EQ(isSender, 0); // no sender yet: nobody sent it, not even "0"
    message->SetSender(0x1234);
    message->IsSender(0x1234, &isSender);
    EXPECT_EQ(isSender, 0xFFFF);
    message->IsSender(0x1235, &isSender);
    EXPECT_EQ(isSender, 0);

    IMessage* clone = nullptr;
    ASSERT_EQ(message->Clone(&clone), S_OK);
    clone->GetId(&id);
    EXPECT_EQ(id, 0x00040101u);
    EXPECT_EQ(static_cast<caf::HostMessage*>(clone)->PayloadType(), 12u);
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(message->Release(), 0u);
    EXPECT_EQ(creator->CreateMessage(4, 1, 0, 0, nullptr, nullptr), E_POINTER);
}

TEST(CafLibrary, HostsUserInterfaceLanguageIsReportedAndUsedForResourceTexts)
{
    const LANGID before = vx::res::UserInterfaceLanguage();
    caf::SetUILanguage(0x040A);
    void* out = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_CAFAppServices, IAppServices::kIid, &out), S_OK);
    auto* services = static_cast<IAppServices*>(out);
    WORD language = 0;
    services->GetUILanguage(&language);
    EXPECT_EQ(language, 0x040A);
    EXPECT_EQ(vx::res::UserInterfaceLanguage(), 0x040A);
    services->Release();
    caf::SetUILanguage(0x0409);
    vx::res::SetUserInterfaceLanguage(before);
}

TEST(CafLibrary, HelpRequestsAreLoggedInOneLineAndHandedToTheDesktop)
{
    void* out = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_CAFAppServices, IAppServices::kIid, &out), S_OK);
    auto* services = static_cast<IAppServices*>(out);
    {
        vx::log::Capture capture;
        EXPECT_EQ(services->ShowHelp(L"HRV_Settings2", L"HRVHelp"), S_OK); // headless: logged only
        EXPECT_EQ(capture.Lines(), std::vector<std::string> { "Help: HRVHelp HRV_Settings2" });
    }
    std::vector<std::wstring> asked;
    caf::HelpHandler previous = caf::SetHelpHandler([&](const std::wstring& file, const std::wstring& topic) {
        asked.push_back(file + L"/" + topic);
        return topic == L"HRV_Calculations" ? S_OK : E_INVALIDARG;
    });
    EXPECT_EQ(services->ShowHelp(L"HRV_Calculations", L"HRVHelp"), S_OK);
    EXPECT_EQ(services->ShowHelp(L"Unknown", L"HRVHelp"), E_INVALIDARG);
    EXPECT_EQ(services->ShowHelp(nullptr, L"HRVHelp"), E_POINTER);
    EXPECT_EQ(asked, (std::vector<std::wstring> { L"HRVHelp/HRV_Calculations", L"HRVHelp/Unknown" }));
    caf::SetHelpHandler(previous);
    services->Release();
}
