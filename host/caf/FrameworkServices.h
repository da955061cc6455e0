#pragma once
// The services of the stand-in framework. Each is a process-wide singleton kept by the framework.
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "caf/CafHost.h"
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CommandInterfaces.h"

namespace caf {

class HostCommandFactory;
class HostClassFactory;

class SubjectRegistry final : public SimpleUnknownImp1<ISubjectRegistry, 0> {
public:
    HRESULT Attach(ISubject* subject, IObserver* observer) override;
    HRESULT Detach(ISubject* subject, IObserver* observer) override;
    HRESULT Notify(ISubject* subject, DWORD eventId, ULONGLONG value) override;
    HRESULT AttachForEvent(ISubject* subject, IObserver* observer, DWORD eventId, LONG flags) override;
    HRESULT ForgetSubject(ISubject* subject) override;
    HRESULT ForgetObserver(IObserver* observer) override;

private:
    struct Subscription {
        ISubject* subject;
        IObserver* observer;
        std::optional<DWORD> eventId; // none: every event
        LONG flags;
    };
    std::optional<LONG> MatchingFlags(ISubject* subject, IObserver* observer, DWORD eventId);

    std::mutex mMutex;
    std::vector<Subscription> mSubscriptions; // in order of subscription; nothing held
};

class TypeIdRegistry final : public SimpleUnknownImp2<ITypeIdRegistry, ITypeNameRegistry, 0> {
public:
    HRESULT GetTypeIndex(REFGUID guid, WORD* index) override;
    HRESULT GetTypeGuid(WORD index, GUID* guid) override;
    // The names of the registered view and document classes and their class ids.
    HRESULT NameToId(const wchar_t* name, DWORD* id) override;
    HRESULT IdToName(DWORD id, IKELString** name) override;

private:
    std::mutex mMutex;
    std::map<GUID, WORD> mIndexes;
    std::vector<GUID> mGuids; // index - kFirstTypeIndex
};

class HostMessage final : public SimpleUnknownImp2<IMessage, IMessagePayload, 0> {
public:
    HostMessage(WORD typeIndex, DWORD id, DWORD flags, const void* payload);
    HRESULT GetPayload(DWORD* typeId, DWORD* count) override;
    HRESULT GetId(DWORD* id) override;
    HRESULT GetFlags(DWORD* flags) override;
    HRESULT Clone(IMessage** out) override;
    HRESULT GetData(IUnknown** out) override;
    HRESULT SetSender(ULONGLONG sender) override;
    HRESULT IsSender(ULONGLONG sender, WORD* isSender) override;

    WORD TypeIndex() const { return mTypeIndex; }
    // The payload's two words {type id, count}; {0, 0} without one.
    DWORD PayloadType() const { return mPayload[0]; }
    DWORD PayloadCount() const { return mPayload[1]; }

    // What the host attaches before it routes a message: its flags (such as bit 8, not back to
    // its sender) and the data object that window handlers read (held by the message).
    void SetFlags(DWORD flags) { mFlags = flags; }
    void SetData(IUnknown* data);
    ~HostMessage() override;

private:
    WORD mTypeIndex;
    DWORD mId;
    DWORD mFlags;
    DWORD mPayload[2] = { 0, 0 };
    ULONGLONG mSender = 0;
    IUnknown* mData = nullptr;
};

class MessageCreator final : public SimpleUnknownImp1<IMessageCreator, 0> {
public:
    HRESULT CreateMessage(WORD typeIndex, DWORD messageId, DWORD reserved1, DWORD reserved2, const void* payload,
        IMessage** out) override;
};

class MessageRouter final : public SimpleUnknownImp1<IMessageRouter, 0> {
public:
    HRESULT Route(IMessage* message, IMessageHandler* source) override;
    void AddReceiver(IMessageHandler* handler);
    void RemoveReceiver(IMessageHandler* handler);
    ~MessageRouter() override;

private:
    std::mutex mMutex;
    std::vector<IMessageHandler*> mReceivers; // held
};

// The shared host object also hands out the host's settings registrar of plot state.
class SharedHostObject final : public SimpleUnknownImp1<ISharedHostObject, 0> {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
};
class ObjectFactory final : public SimpleUnknownImp1<IObjectFactory, 0> {
public:
    HRESULT CreateInstance(DWORD classKey, REFIID iid, void** out) override;
    // A HostUnitName; E_INVALIDARG for an index beyond the prefix table.
    HRESULT CreateUnitName(ULONG prefixIndex, IKELString* name, IUnitName** out) override;
};

// The host's own unit name: a base unit, a prefix index and a flag it keeps for its caller.
class HostUnitName final : public SimpleUnknownImp1<IUnitName, 0> {
public:
    HostUnitName(ULONG prefixIndex, KEL::String name)
        : mPrefixIndex(prefixIndex)
        , mName(std::move(name))
    {
    }
    HRESULT GetPrefixIndex(ULONG* index) override;
    HRESULT GetText(DWORD withPrefix, IKELString** text) override;
    HRESULT GetFlag(ULONG* flag) override;
    HRESULT SetPrefixIndex(ULONG index) override;
    HRESULT SetUnitName(IKELString* name) override;
    HRESULT SetFlag(ULONG flag) override;
    HRESULT Clone(IUnitName** copy) override;
    // The host formats values itself; its unit names do not.
    HRESULT Format(DWORD flags, double value, IKELString** text) override;

private:
    ULONG mPrefixIndex;
    KEL::String mName;
    ULONG mFlag = 0;
};

// The host application's own classes (SetHostClassProvider); CLASS_E_CLASSNOTAVAILABLE without.
HRESULT ProvideHostClass(DWORD classKey, REFIID iid, void** out);

// Keeps what the extension registers, in order, across the three registration services.
class RegistrationList {
public:
    HRESULT Add(Registration::Kind kind, IUnknown* object);
    std::vector<Registration> Snapshot();
    void ReleaseAll();

private:
    std::mutex mMutex;
    std::vector<Registration> mRows;
};

class HostClassObject final : public SimpleUnknownImp1<IHostClassObject, 0> {
public:
    HostClassObject(RegistrationList& registrations, TypeIdRegistry& types, MessageCreator& creator,
        SharedHostObject& shared, ObjectFactory& factory, HostCommandFactory& commands, HostClassFactory& classes);
    HRESULT CreateObject(DWORD classKey, REFIID iid, void** out) override;
    HRESULT RegisterClassObject(IUnknown* classObject) override;

private:
    RegistrationList& mRegistrations;
    TypeIdRegistry& mTypes;
    MessageCreator& mCreator;
    SharedHostObject& mShared;
    ObjectFactory& mFactory;
    HostCommandFactory& mCommands;
    HostClassFactory& mClasses;
};

class MessageFactory final : public SimpleUnknownImp1<IMessageFactory, 0> {
public:
    explicit MessageFactory(RegistrationList& registrations)
        : mRegistrations(registrations)
    {
    }
    HRESULT RegisterMessageClass(DWORD reserved, IUnknown* messageClass) override;

private:
    RegistrationList& mRegistrations;
};

class UnitTestRegistry final : public SimpleUnknownImp1<IUnitTestRegistry, 0> {
public:
    explicit UnitTestRegistry(RegistrationList& registrations)
        : mRegistrations(registrations)
    {
    }
    HRESULT AddTest(IUnknown* test) override;

private:
    RegistrationList& mRegistrations;
};

class AppServices final : public SimpleUnknownImp2<IAppServices, IHostValues, 0> {
public:
    // IHostValues: the application's named flags.
    HRESULT GetFlag(const wchar_t* name, WORD defaultValue, WORD* value) override;
    void SetFlag(const std::wstring& name, bool value);

    HRESULT MessageBox(void* owner, const wchar_t* text, const wchar_t* caption, UINT style, std::uintptr_t helpContext,
        int* result, std::uintptr_t reserved1, std::uintptr_t reserved2, std::uintptr_t options) override;
    HRESULT GetUILanguage(WORD* language) override;
    HRESULT GetBuildLabelState(DWORD reserved, DWORD* hidden, DWORD* shown) override;
    HRESULT ShowBuildLabel(DWORD reserved, IKELString* label) override;
    HRESULT ShowHelp(const wchar_t* topic, const wchar_t* helpFile) override;

    MessageBoxHandler SetHandler(MessageBoxHandler handler);
    HelpHandler SetHelpHandler(HelpHandler handler);
    void SetBuildLabelsHidden(bool hidden);
    std::vector<std::wstring> BuildLabels();
    void QueueAnswer(int buttonId);
    void ClearAnswers();
    void SetLanguage(WORD language);

private:
    std::mutex mMutex;
    MessageBoxHandler mHandler;
    HelpHandler mHelpHandler;
    std::vector<int> mAnswers; // scripted, first answer first
    WORD mLanguage = 0x0409; // English (United States)
    std::map<std::wstring, bool> mFlags;
    bool mBuildLabelsHidden = false;
    std::vector<std::wstring> mBuildLabels;
};

// A menu command, separator or command group of the host.
class HostCommand final : public SimpleUnknownImp1<ICAFCommand, 0>,
                          public ICAFCommandId,
                          public ICAFCommandAttribute,
                          public ICAFCommandPlacement {
public:
    enum class Kind { Group, Command };
    struct Fields {
        Kind kind = Kind::Command;
        DWORD id = 0;
        DWORD groupKind = 0; // 2: separator
        DWORD style = 0;
        DWORD order = 0;
        HMODULE module = nullptr;
        DWORD textId = 0;
        DWORD first = 0;
        DWORD second = 0;
        DWORD flag = 0;
        std::wstring caption;
        std::wstring separator;
        std::wstring group;
        std::wstring text;
        std::wstring attribute;
    };
    explicit HostCommand(Fields fields)
        : mFields(std::move(fields))
    {
    }

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp1<ICAFCommand, 0>::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1<ICAFCommand, 0>::Release(); }
    HRESULT SetId(DWORD id) override;
    HRESULT GetId(DWORD* id) override;
    HRESULT SetId(DWORD reserved, DWORD id) override;
    HRESULT SetAttribute(IKELString* value) override;
    // Once registered, an item is placed at its position among the class's items (from 1).
    HRESULT GetPlacement(DWORD* value) override;
    void SetPlacement(DWORD value) { mPlacement = value; }

    const Fields& Describe() const { return mFields; }
    // The id the host's command tables know it by (0 until it is set).
    DWORD TableId() const { return mTableId; }

private:
    Fields mFields;
    DWORD mTableId = 0;
    DWORD mPlacement = 0;
};

class HostCommandFactory final : public SimpleUnknownImp1<IHostCommandFactory, 0> {
public:
    HRESULT CreateGroup(DWORD reserved1, DWORD reserved2, IKELString* caption, DWORD reserved4, DWORD reserved5,
        DWORD reserved6, IKELString* separator, DWORD reserved8, DWORD reserved9, DWORD style, DWORD kind,
        DWORD reserved12, DWORD order, ICAFCommand** out) override;
    HRESULT CreateCommand(DWORD commandId, HMODULE module, DWORD textId, IKELString* caption, DWORD second,
        IKELString* group, IKELString* text, DWORD first, DWORD reserved1, DWORD reserved2, ICAFCommand** out,
        DWORD flag) override;
};

// The host object of one extension class: the class's GUID, its command handler (held, unless it
// is the owner's own interface) and its owner (not held: the owner is the class object that keeps
// this object, and holding it, or its handler, would keep both alive for ever).
class HostClassCounterpart final : public SimpleUnknownImp1<ICommandRegistration, 0> {
public:
    HostClassCounterpart(const GUID& classGuid, IUnknown* handler, IUnknown* owner);
    ~HostClassCounterpart() override;
    // Keeps the item (held) in registration order.
    HRESULT AddCommand(ICAFCommand* command) override;
    const std::vector<ICAFCommand*>& Commands() const { return mCommands; }
    const GUID& ClassGuid() const { return mClassGuid; }
    IUnknown* Handler() const { return mHandler; }
    IUnknown* Owner() const { return mOwner; }

private:
    GUID mClassGuid;
    IUnknown* mHandler;
    bool mHandlerHeld = false;
    IUnknown* mOwner;
    std::vector<ICAFCommand*> mCommands;
};

class HostClassFactory final : public SimpleUnknownImp1<IHostClassFactory, 0> {
public:
    HRESULT CreateClassObject(REFGUID classGuid, IUnknown* handler, IUnknown* owner, IUnknown** out) override;
};

// The framework's class object: answers each framework service interface with its service.
class FrameworkClassObject final : public SimpleUnknownImp1<IUnknown, 0> {
public:
    FrameworkClassObject(SubjectRegistry& subjects, HostClassObject& host, TypeIdRegistry& types, MessageRouter& router,
        MessageFactory& messages);
    HRESULT QueryInterface(REFIID iid, void** out) override;

private:
    SubjectRegistry& mSubjects;
    HostClassObject& mHost;
    TypeIdRegistry& mTypes;
    MessageRouter& mRouter;
    MessageFactory& mMessages;
};

} // namespace caf
