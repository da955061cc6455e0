#include "caf/FrameworkServices.h"
#include "caf/PlotStateRegistrar.h"

#include "caf/Documents.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "foundation/ResString.h"
#include "foundation/String.h"
#include "hostframework/events/ComQuery.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/EventDrawInterfaces.h"
#include "log/Log.h"

namespace caf {
namespace {

// Message-box buttons by the low four bits of the style, in the order they are shown.
constexpr int kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7,
              kIdTryAgain = 10, kIdContinue = 11;

std::vector<int> ButtonsOf(UINT style)
{
    switch (style & 0xF) {
    case 1:
        return { kIdOk, kIdCancel };
    case 2:
        return { kIdAbort, kIdRetry, kIdIgnore };
    case 3:
        return { kIdYes, kIdNo, kIdCancel };
    case 4:
        return { kIdYes, kIdNo };
    case 5:
        return { kIdRetry, kIdCancel };
    case 6:
        return { kIdCancel, kIdTryAgain, kIdContinue };
    default:
        return { kIdOk };
    }
}

std::string Utf8(const std::wstring& text)
{
    return KEL::String(text).Utf8();
}

// Whether two interface pointers belong to one object (the same IUnknown identity).
bool SameObject(IUnknown* a, IUnknown* b)
{
    if (!a || !b)
        return false;
    void* ia = nullptr;
    void* ib = nullptr;
    if (FAILED(a->QueryInterface(IUnknown::kIid, &ia)) || FAILED(b->QueryInterface(IUnknown::kIid, &ib))) {
        if (ia)
            static_cast<IUnknown*>(ia)->Release();
        return false;
    }
    const bool same = ia == ib;
    static_cast<IUnknown*>(ia)->Release();
    static_cast<IUnknown*>(ib)->Release();
    return same;
}

// No exception leaves an interface method: running out of memory is E_OUTOFMEMORY, anything
// else (a message-box handler that throws, say) is logged and answered with E_FAIL.
template <class F> HRESULT Guarded(F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        vx::log::WriteLine(std::string("libcaf: ") + e.what());
    } catch (...) {
        vx::log::WriteLine("libcaf: unknown exception");
    }
    return E_FAIL;
}

template <class I> HRESULT Hand(I& object, REFIID iid, void** out)
{
    return object.QueryInterface(iid, out);
}

} // namespace

int DefaultMessageBoxAnswer(UINT style)
{
    const std::vector<int> buttons = ButtonsOf(style);
    const std::size_t defaultButton = (style >> 8) & 0xF; // MB_DEFBUTTON1..4
    return defaultButton < buttons.size() ? buttons[defaultButton] : buttons.front();
}

// ---- SubjectRegistry

HRESULT SubjectRegistry::Attach(ISubject* subject, IObserver* observer)
{
    return Guarded([&]() -> HRESULT {
        if (!subject || !observer)
            return E_POINTER;
        std::lock_guard lock(mMutex);
        for (const Subscription& s : mSubscriptions)
            if (s.subject == subject && s.observer == observer && !s.eventId)
                return S_FALSE;
        mSubscriptions.push_back({ subject, observer, std::nullopt, 0 });
        return S_OK;
    });
}

HRESULT SubjectRegistry::AttachForEvent(ISubject* subject, IObserver* observer, DWORD eventId, LONG flags)
{
    return Guarded([&]() -> HRESULT {
        if (!subject || !observer)
            return E_POINTER;
        std::lock_guard lock(mMutex);
        for (Subscription& s : mSubscriptions)
            if (s.subject == subject && s.observer == observer && s.eventId == eventId) {
                s.flags = flags;
                return S_FALSE;
            }
        mSubscriptions.push_back({ subject, observer, eventId, flags });
        return S_OK;
    });
}

HRESULT SubjectRegistry::Detach(ISubject* subject, IObserver* observer)
{
    std::lock_guard lock(mMutex);
    const auto removed = std::erase_if(
        mSubscriptions, [&](const Subscription& s) { return s.subject == subject && s.observer == observer; });
    return removed ? S_OK : S_FALSE;
}

HRESULT SubjectRegistry::ForgetSubject(ISubject* subject)
{
    std::lock_guard lock(mMutex);
    std::erase_if(mSubscriptions, [&](const Subscription& s) { return s.subject == subject; });
    return S_OK;
}

HRESULT SubjectRegistry::ForgetObserver(IObserver* observer)
{
    std::lock_guard lock(mMutex);
    std::erase_if(mSubscriptions, [&](const Subscription& s) { return s.observer == observer; });
    return S_OK;
}

std::optional<LONG> SubjectRegistry::MatchingFlags(ISubject* subject, IObserver* observer, DWORD eventId)
{
    std::lock_guard lock(mMutex);
    for (const Subscription& s : mSubscriptions)
        if (s.subject == subject && s.observer == observer && (!s.eventId || *s.eventId == eventId))
            return s.flags;
    return std::nullopt;
}

HRESULT SubjectRegistry::Notify(ISubject* subject, DWORD eventId, ULONGLONG value)
{
    return Guarded([&]() -> HRESULT {
        if (!subject)
            return E_POINTER;
        // Observers are called without the lock, so they may subscribe and unsubscribe while they
        // are notified. Each is asked once, and only while it is still subscribed: an observer that
        // an earlier one removed (or destroyed) is not called.
        std::vector<IObserver*> observers;
        {
            std::lock_guard lock(mMutex);
            for (const Subscription& s : mSubscriptions)
                if (s.subject == subject && (!s.eventId || *s.eventId == eventId)
                    && std::find(observers.begin(), observers.end(), s.observer) == observers.end())
                    observers.push_back(s.observer);
        }
        for (IObserver* observer : observers)
            if (const std::optional<LONG> flags = MatchingFlags(subject, observer, eventId))
                observer->OnNotify(subject, eventId, static_cast<ULONGLONG>(static_cast<std::int64_t>(*flags)), value);
        return S_OK;
    });
}

// ---- TypeIdRegistry

HRESULT TypeIdRegistry::GetTypeIndex(REFGUID guid, WORD* index)
{
    return Guarded([&]() -> HRESULT {
        if (!index)
            return E_POINTER;
        *index = 0;
        std::lock_guard lock(mMutex);
        if (auto it = mIndexes.find(guid); it != mIndexes.end()) {
            *index = it->second;
            return S_OK;
        }
        const std::size_t next = kFirstTypeIndex + mGuids.size();
        if (next >= kTypeIndexLimit)
            return E_OUTOFMEMORY;
        mGuids.push_back(guid);
        mIndexes.emplace(guid, static_cast<WORD>(next));
        *index = static_cast<WORD>(next);
        return S_OK;
    });
}

HRESULT TypeIdRegistry::GetTypeGuid(WORD index, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    *guid = GUID_NULL;
    std::lock_guard lock(mMutex);
    if (index < kFirstTypeIndex || std::size_t(index - kFirstTypeIndex) >= mGuids.size())
        return E_INVALIDARG;
    *guid = mGuids[index - kFirstTypeIndex];
    return S_OK;
}

// ---- Messages

HostMessage::HostMessage(WORD typeIndex, DWORD id, DWORD flags, const void* payload)
    : mTypeIndex(typeIndex)
    , mId(id)
    , mFlags(flags)
{
    if (payload) {
        const auto* words = static_cast<const DWORD*>(payload);
        mPayload[0] = words[0];
        mPayload[1] = words[1];
    }
}

HRESULT HostMessage::GetId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = mId;
    return S_OK;
}

HRESULT HostMessage::GetFlags(DWORD* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = mFlags;
    return S_OK;
}

HRESULT HostMessage::Clone(IMessage** out)
{
    return Guarded([&]() -> HRESULT {
        if (!out)
            return E_POINTER;
        auto* copy = new HostMessage(mTypeIndex, mId, mFlags, mPayload);
        copy->SetData(mData);
        copy->AddRef();
        *out = copy;
        return S_OK;
    });
}

HRESULT HostMessage::GetPayload(DWORD* typeId, DWORD* count)
{
    if (!typeId || !count)
        return E_POINTER;
    *typeId = mPayload[0];
    *count = mPayload[1];
    return S_OK;
}

HRESULT HostMessage::GetData(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = mData;
    if (!mData)
        return S_FALSE;
    mData->AddRef();
    return S_OK;
}

void HostMessage::SetData(IUnknown* data)
{
    if (data)
        data->AddRef();
    if (mData)
        mData->Release();
    mData = data;
}

HostMessage::~HostMessage()
{
    if (mData)
        mData->Release();
}

HRESULT HostMessage::SetSender(ULONGLONG sender)
{
    mSender = sender;
    return S_OK;
}

HRESULT HostMessage::IsSender(ULONGLONG sender, WORD* isSender)
{
    if (!isSender)
        return E_POINTER;
    *isSender = mSender != 0 && mSender == sender ? 0xFFFF : 0;
    return S_OK;
}

HRESULT MessageCreator::CreateMessage(
    WORD typeIndex, DWORD messageId, DWORD, DWORD, const void* payload, IMessage** out)
{
    return Guarded([&]() -> HRESULT {
        if (!out)
            return E_POINTER;
        auto* message = new HostMessage(typeIndex, messageId, 0, payload);
        message->AddRef();
        *out = message;
        return S_OK;
    });
}

HRESULT MessageRouter::Route(IMessage* message, IMessageHandler* /*source*/)
{
    return Guarded([&]() -> HRESULT {
        if (!message)
            return E_POINTER;
        std::vector<IMessageHandler*> receivers;
        {
            std::lock_guard lock(mMutex);
            receivers = mReceivers;
            for (IMessageHandler* r : receivers)
                r->AddRef();
        }
        // Each receiver decides itself whether it takes a message its own chain sent.
        HRESULT result = S_FALSE;
        for (IMessageHandler* r : receivers)
            if (result == S_FALSE && r->HandleMessage(message) != 0)
                result = S_OK;
        for (IMessageHandler* r : receivers)
            r->Release();
        return result;
    });
}

void MessageRouter::AddReceiver(IMessageHandler* handler)
{
    if (!handler)
        return;
    handler->AddRef();
    std::lock_guard lock(mMutex);
    mReceivers.push_back(handler);
}

void MessageRouter::RemoveReceiver(IMessageHandler* handler)
{
    {
        std::lock_guard lock(mMutex);
        auto it = std::find(mReceivers.begin(), mReceivers.end(), handler);
        if (it == mReceivers.end())
            return;
        mReceivers.erase(it);
    }
    handler->Release();
}

MessageRouter::~MessageRouter()
{
    for (IMessageHandler* r : mReceivers)
        r->Release();
}

// ---- Registrations

HRESULT RegistrationList::Add(Registration::Kind kind, IUnknown* object)
{
    return Guarded([&]() -> HRESULT {
        if (!object)
            return E_POINTER;
        object->AddRef();
        std::lock_guard lock(mMutex);
        mRows.push_back({ kind, object });
        return S_OK;
    });
}

std::vector<Registration> RegistrationList::Snapshot()
{
    std::lock_guard lock(mMutex);
    return mRows;
}

void RegistrationList::ReleaseAll()
{
    std::vector<Registration> rows;
    {
        std::lock_guard lock(mMutex);
        rows.swap(mRows);
    }
    // Last registered first, as a host tears down what it built.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        it->object->Release();
}

HostClassObject::HostClassObject(RegistrationList& registrations, TypeIdRegistry& types, MessageCreator& creator,
    SharedHostObject& shared, ObjectFactory& factory, HostCommandFactory& commands, HostClassFactory& classes)
    : mRegistrations(registrations)
    , mTypes(types)
    , mCreator(creator)
    , mShared(shared)
    , mFactory(factory)
    , mCommands(commands)
    , mClasses(classes)
{
}

HRESULT HostClassObject::CreateObject(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (classKey == kMessageCreatorClassKey)
        return Hand(mCreator, iid, out);
    if (classKey == kSharedHostObjectClassKey)
        return Hand(mShared, iid, out);
    if (classKey == kHostCommandFactoryClassKey)
        return Hand(mCommands, iid, out);
    if (classKey == kHostClassFactoryClassKey)
        return Hand(mClasses, iid, out);
    if (IUnknown* counterparts = CounterpartFactoryFor(classKey))
        return counterparts->QueryInterface(iid, out);
    WORD factoryType = 0;
    if (SUCCEEDED(mTypes.GetTypeIndex(GUID_ObjectFactoryType, &factoryType)) && classKey == DWORD(factoryType) << 16)
        return Hand(mFactory, iid, out);
    return ProvideHostClass(classKey, iid, out);
}

namespace {
std::mutex& ProviderMutex()
{
    static std::mutex mutex;
    return mutex;
}
HostClassProvider& Provider()
{
    static HostClassProvider provider;
    return provider;
}
} // namespace

void SetHostClassProvider(HostClassProvider provider)
{
    std::lock_guard lock(ProviderMutex());
    Provider() = std::move(provider);
}

HRESULT SharedHostObject::QueryInterface(REFIID iid, void** out)
{
    if (out && iid == IPlotStateRegistrar::kIid)
        return PlotStateRegistrarObject()->QueryInterface(iid, out);
    return SimpleUnknownImp1<ISharedHostObject, 0>::QueryInterface(iid, out);
}

HRESULT ProvideHostClass(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    HostClassProvider provider;
    {
        std::lock_guard lock(ProviderMutex());
        provider = Provider();
    }
    if (!provider)
        return CLASS_E_CLASSNOTAVAILABLE;
    return Guarded([&] { return provider(classKey, iid, out); });
}

HRESULT ObjectFactory::CreateInstance(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    // The key of an event type names the event-draw class registered for it: its objects draw
    // and word that type's events (an event comment asks for its colour and text so).
    if (classKey != 0)
        for (const Registration& r : Registrations()) {
            if (r.kind != Registration::Kind::ClassObject)
                continue;
            void* found = nullptr;
            if (FAILED(r.object->QueryInterface(IEventDrawClass::kIid, &found)) || !found)
                continue;
            auto* drawClass = static_cast<IEventDrawClass*>(found);
            DWORD type = 0;
            const bool matches = SUCCEEDED(drawClass->GetEventType(&type)) && type == classKey;
            drawClass->Release();
            if (matches)
                return r.object->QueryInterface(iid, out);
        }
    return ProvideHostClass(classKey, iid, out);
}

namespace {
// The prefix letters by index: "?" for unknown, none for 1 and 8.
constexpr const wchar_t* kPrefixLetters[]
    = { L"?", L"", L"a", L"f", L"p", L"n", L"\u00B5", L"m", L"", L"k", L"M", L"G", L"T", L"P", L"E" };
constexpr ULONG kPrefixCount = sizeof kPrefixLetters / sizeof kPrefixLetters[0];
} // namespace

HRESULT ObjectFactory::CreateUnitName(ULONG prefixIndex, IKELString* name, IUnitName** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (prefixIndex >= kPrefixCount)
        return E_INVALIDARG;
    return Guarded([&] {
        auto* unit = new HostUnitName(prefixIndex, KEL::String(name));
        unit->AddRef();
        *out = unit;
        return S_OK;
    });
}

HRESULT HostUnitName::GetPrefixIndex(ULONG* index)
{
    if (!index)
        return E_INVALIDARG;
    *index = mPrefixIndex;
    return S_OK;
}

HRESULT HostUnitName::GetText(DWORD withPrefix, IKELString** text)
{
    if (!text)
        return E_INVALIDARG;
    *text = nullptr;
    return Guarded([&] {
        KEL::String result = mName;
        if (withPrefix) {
            result = KEL::String(mPrefixIndex < kPrefixCount ? kPrefixLetters[mPrefixIndex] : L"?");
            result += mName;
        }
        *text = result.CopyRep();
        return S_OK;
    });
}

HRESULT HostUnitName::GetFlag(ULONG* flag)
{
    if (!flag)
        return E_INVALIDARG;
    *flag = mFlag;
    return S_OK;
}

HRESULT HostUnitName::SetPrefixIndex(ULONG index)
{
    if (index >= kPrefixCount)
        return E_INVALIDARG;
    mPrefixIndex = index;
    return S_OK;
}

HRESULT HostUnitName::SetUnitName(IKELString* name)
{
    return Guarded([&] {
        mName = KEL::String(name);
        return S_OK;
    });
}

HRESULT HostUnitName::SetFlag(ULONG flag)
{
    mFlag = flag ? 1 : 0;
    return S_OK;
}

HRESULT HostUnitName::Clone(IUnitName** copy)
{
    if (!copy)
        return E_INVALIDARG;
    *copy = nullptr;
    return Guarded([&] {
        auto* unit = new HostUnitName(mPrefixIndex, mName);
        unit->mFlag = mFlag;
        unit->AddRef();
        *copy = unit;
        return S_OK;
    });
}

HRESULT HostUnitName::Format(DWORD, double, IKELString** text)
{
    if (text)
        *text = nullptr;
    return E_NOTIMPL;
}

HRESULT HostClassObject::RegisterClassObject(IUnknown* classObject)
{
    return mRegistrations.Add(Registration::Kind::ClassObject, classObject);
}

HRESULT MessageFactory::RegisterMessageClass(DWORD, IUnknown* messageClass)
{
    return mRegistrations.Add(Registration::Kind::MessageClass, messageClass);
}

HRESULT UnitTestRegistry::AddTest(IUnknown* test)
{
    return mRegistrations.Add(Registration::Kind::UnitTest, test);
}

// ---- AppServices

HRESULT AppServices::MessageBox(void*, const wchar_t* text, const wchar_t* caption, UINT style, std::uintptr_t,
    int* result, std::uintptr_t, std::uintptr_t, std::uintptr_t)
{
    return Guarded([&]() -> HRESULT {
        if (!result)
            return E_POINTER;
        MessageBoxRequest request { text ? text : L"", caption ? caption : L"", style };
        MessageBoxHandler handler;
        std::optional<int> scripted;
        {
            std::lock_guard lock(mMutex);
            handler = mHandler;
            if (!handler && !mAnswers.empty()) {
                scripted = mAnswers.front();
                mAnswers.erase(mAnswers.begin());
            }
        }
        const int answer = handler ? handler(request) : scripted ? *scripted : DefaultMessageBoxAnswer(style);
        vx::log::WriteLine(
            "MessageBox \"" + Utf8(request.caption) + "\": " + Utf8(request.text) + " -> " + std::to_string(answer));
        *result = answer;
        return S_OK;
    });
}

namespace {
// Calls `visit(name, id)` for every registered view and document class until it returns true.
template <class F> bool ForEachNamedClass(F&& visit)
{
    for (const Registration& r : Registrations()) {
        if (r.kind != Registration::Kind::ClassObject || !r.object)
            continue;
        IKELString* name = nullptr;
        DWORD id = 0;
        if (const auto view = vx::hf::Query<IDocViewClass>(r.object)) {
            view->GetName(&name);
            view->GetClassId(&id);
        } else if (const auto document = vx::hf::Query<ICustomDocClass>(r.object)) {
            document->GetName(&name);
            document->GetClassId(&id);
        } else {
            continue;
        }
        KEL::String text;
        text.AssignRep(name);
        if (!text.IsEmpty() && visit(text, id))
            return true;
    }
    return false;
}
} // namespace

HRESULT TypeIdRegistry::NameToId(const wchar_t* name, DWORD* id)
{
    if (!name || !id)
        return E_POINTER;
    *id = 0;
    const bool found = ForEachNamedClass([&](const KEL::String& text, DWORD classId) {
        if (text.Compare(name) != 0)
            return false;
        *id = classId;
        return true;
    });
    return found ? S_OK : E_INVALIDARG;
}

HRESULT TypeIdRegistry::IdToName(DWORD id, IKELString** name)
{
    if (!name)
        return E_POINTER;
    *name = nullptr;
    const bool found = ForEachNamedClass([&](const KEL::String& text, DWORD classId) {
        if (classId != id)
            return false;
        *name = text.CopyRep();
        return true;
    });
    return found ? S_OK : E_INVALIDARG;
}

HRESULT AppServices::GetFlag(const wchar_t* name, WORD defaultValue, WORD* value)
{
    if (!value || !name)
        return E_POINTER;
    std::lock_guard lock(mMutex);
    const auto it = mFlags.find(name);
    *value = it == mFlags.end() ? defaultValue : (it->second ? 0xFFFF : 0);
    return S_OK;
}

void AppServices::SetFlag(const std::wstring& name, bool value)
{
    std::lock_guard lock(mMutex);
    mFlags[name] = value;
}

HRESULT AppServices::GetUILanguage(WORD* language)
{
    if (!language)
        return E_POINTER;
    std::lock_guard lock(mMutex);
    *language = mLanguage;
    return S_OK;
}

HRESULT AppServices::GetBuildLabelState(DWORD, DWORD* hidden, DWORD* shown)
{
    if (!hidden || !shown)
        return E_POINTER;
    std::lock_guard lock(mMutex);
    *hidden = mBuildLabelsHidden ? 1 : 0;
    *shown = static_cast<DWORD>(mBuildLabels.size());
    return S_OK;
}

HRESULT AppServices::ShowBuildLabel(DWORD, IKELString* label)
{
    return Guarded([&]() -> HRESULT {
        if (!label)
            return E_POINTER;
        const KEL::String text(label);
        vx::log::WriteLine("Build label: " + text.Utf8());
        std::lock_guard lock(mMutex);
        mBuildLabels.push_back(text.ToWString());
        return S_OK;
    });
}

HRESULT AppServices::ShowHelp(const wchar_t* topic, const wchar_t* helpFile)
{
    return Guarded([&]() -> HRESULT {
        if (!topic || !helpFile)
            return E_POINTER;
        vx::log::WriteLine("Help: " + Utf8(helpFile) + " " + Utf8(topic));
        HelpHandler handler;
        {
            std::lock_guard lock(mMutex);
            handler = mHelpHandler;
        }
        return handler ? handler(helpFile, topic) : S_OK;
    });
}

HelpHandler AppServices::SetHelpHandler(HelpHandler handler)
{
    std::lock_guard lock(mMutex);
    return std::exchange(mHelpHandler, std::move(handler));
}

void AppServices::SetBuildLabelsHidden(bool hidden)
{
    std::lock_guard lock(mMutex);
    mBuildLabelsHidden = hidden;
}

std::vector<std::wstring> AppServices::BuildLabels()
{
    std::lock_guard lock(mMutex);
    return mBuildLabels;
}

MessageBoxHandler AppServices::SetHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(mMutex);
    MessageBoxHandler previous = std::move(mHandler);
    mHandler = std::move(handler);
    return previous;
}

void AppServices::QueueAnswer(int buttonId)
{
    std::lock_guard lock(mMutex);
    mAnswers.push_back(buttonId);
}

void AppServices::ClearAnswers()
{
    std::lock_guard lock(mMutex);
    mAnswers.clear();
}

void AppServices::SetLanguage(WORD language)
{
    std::lock_guard lock(mMutex);
    mLanguage = language;
}

// ---- Commands

namespace {
std::wstring TextOf(IKELString* text)
{
    return text ? KEL::String(text).ToWString() : std::wstring();
}

HRESULT HandOut(HostCommand* command, ICAFCommand** out)
{
    command->AddRef();
    *out = command;
    return S_OK;
}
} // namespace

HRESULT HostCommand::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == ICAFCommandId::kIid)
        *out = static_cast<ICAFCommandId*>(this);
    else if (iid == ICAFCommandAttribute::kIid)
        *out = static_cast<ICAFCommandAttribute*>(this);
    else if (iid == ICAFCommandPlacement::kIid)
        *out = static_cast<ICAFCommandPlacement*>(this);
    else
        return SimpleUnknownImp1<ICAFCommand, 0>::QueryInterface(iid, out);
    AddRef();
    return S_OK;
}

HRESULT HostCommand::SetId(DWORD id)
{
    mFields.id = id;
    return S_OK;
}

HRESULT HostCommand::GetId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = mFields.id;
    return S_OK;
}

HRESULT HostCommand::SetId(DWORD, DWORD id)
{
    mTableId = id;
    return S_OK;
}

HRESULT HostCommand::SetAttribute(IKELString* value)
{
    return Guarded([&]() -> HRESULT {
        mFields.attribute = TextOf(value);
        return S_OK;
    });
}

HRESULT HostCommand::GetPlacement(DWORD* value)
{
    if (!value)
        return E_POINTER;
    *value = mPlacement;
    return S_OK;
}

HRESULT HostCommandFactory::CreateGroup(DWORD, DWORD, IKELString* caption, DWORD, DWORD, DWORD, IKELString* separator,
    DWORD, DWORD, DWORD style, DWORD kind, DWORD, DWORD order, ICAFCommand** out)
{
    return Guarded([&]() -> HRESULT {
        if (!out)
            return E_POINTER;
        HostCommand::Fields fields;
        fields.kind = HostCommand::Kind::Group;
        fields.groupKind = kind;
        fields.style = style;
        fields.order = order;
        fields.caption = TextOf(caption);
        fields.separator = TextOf(separator);
        return HandOut(new HostCommand(std::move(fields)), out);
    });
}

HRESULT HostCommandFactory::CreateCommand(DWORD commandId, HMODULE module, DWORD textId, IKELString* caption,
    DWORD second, IKELString* group, IKELString* text, DWORD first, DWORD, DWORD, ICAFCommand** out, DWORD flag)
{
    return Guarded([&]() -> HRESULT {
        if (!out)
            return E_POINTER;
        HostCommand::Fields fields;
        // A command starts with the id it was made for; its maker may set another.
        fields.id = commandId;
        fields.module = module;
        fields.textId = textId;
        fields.first = first;
        fields.second = second;
        fields.flag = flag;
        fields.caption = TextOf(caption);
        fields.group = TextOf(group);
        fields.text = TextOf(text);
        return HandOut(new HostCommand(std::move(fields)), out);
    });
}

namespace {

std::mutex gCounterpartMutex;
std::vector<HostClassCounterpart*> gCounterparts;

} // namespace

HostClassCounterpart::HostClassCounterpart(const GUID& classGuid, IUnknown* handler, IUnknown* owner)
    : mClassGuid(classGuid)
    , mHandler(handler)
    , mOwner(owner)
{
    {
        std::lock_guard lock(gCounterpartMutex);
        gCounterparts.push_back(this);
    }
    if (mHandler && !SameObject(mHandler, mOwner)) {
        mHandler->AddRef();
        mHandlerHeld = true;
    }
}

HostClassCounterpart::~HostClassCounterpart()
{
    {
        std::lock_guard lock(gCounterpartMutex);
        gCounterparts.erase(std::remove(gCounterparts.begin(), gCounterparts.end(), this), gCounterparts.end());
    }
    if (mHandlerHeld)
        mHandler->Release();
    for (ICAFCommand* command : mCommands)
        command->Release();
}

HRESULT HostClassCounterpart::AddCommand(ICAFCommand* command)
{
    return Guarded([&]() -> HRESULT {
        if (!command)
            return E_POINTER;
        command->AddRef();
        mCommands.push_back(command);
        // Items of the stand-in host's own command factory learn their place.
        if (auto* own = dynamic_cast<HostCommand*>(command))
            own->SetPlacement(static_cast<DWORD>(mCommands.size()));
        return S_OK;
    });
}

HRESULT HostClassFactory::CreateClassObject(REFGUID classGuid, IUnknown* handler, IUnknown* owner, IUnknown** out)
{
    return Guarded([&]() -> HRESULT {
        if (!out)
            return E_POINTER;
        auto* counterpart = new HostClassCounterpart(classGuid, handler, owner);
        counterpart->AddRef();
        *out = counterpart;
        return S_OK;
    });
}

// ---- FrameworkClassObject

FrameworkClassObject::FrameworkClassObject(SubjectRegistry& subjects, HostClassObject& host, TypeIdRegistry& types,
    MessageRouter& router, MessageFactory& messages)
    : mSubjects(subjects)
    , mHost(host)
    , mTypes(types)
    , mRouter(router)
    , mMessages(messages)
{
}

HRESULT FrameworkClassObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == ISubjectRegistry::kIid)
        return Hand(mSubjects, iid, out);
    if (iid == IHostClassObject::kIid)
        return Hand(mHost, iid, out);
    if (iid == ITypeIdRegistry::kIid)
        return Hand(mTypes, iid, out);
    if (iid == IMessageRouter::kIid)
        return Hand(mRouter, iid, out);
    if (iid == IMessageFactory::kIid)
        return Hand(mMessages, iid, out);
    return SimpleUnknownImp1<IUnknown, 0>::QueryInterface(iid, out);
}

std::vector<RegisteredCommand> RegisteredCommands()
{
    std::vector<RegisteredCommand> out;
    std::lock_guard lock(gCounterpartMutex);
    for (const HostClassCounterpart* counterpart : gCounterparts)
        for (ICAFCommand* command : counterpart->Commands())
            if (auto* own = dynamic_cast<HostCommand*>(command)) {
                const HostCommand::Fields& f = own->Describe();
                out.push_back(
                    { counterpart->ClassGuid(), counterpart->Handler() ? counterpart->Handler() : counterpart->Owner(),
                        own->TableId() ? own->TableId() : f.id, f.caption, f.kind == HostCommand::Kind::Group,
                        f.textId ? KEL::GetResString(f.module, f.textId, false).ToWString() : std::wstring() });
            }
    return out;
}

} // namespace caf
