#pragma once
// The services of the stand-in framework. Each is a process-wide singleton kept by the framework.
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "caf/CafHost.h"
#include "hostframework/base/SimpleUnknownImp.h"

namespace caf {

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

class TypeIdRegistry final : public SimpleUnknownImp1<ITypeIdRegistry, 0> {
public:
    HRESULT GetTypeIndex(REFGUID guid, WORD* index) override;
    HRESULT GetTypeGuid(WORD index, GUID* guid) override;

private:
    std::mutex mMutex;
    std::map<GUID, WORD> mIndexes;
    std::vector<GUID> mGuids; // index - kFirstTypeIndex
};

class HostMessage final : public SimpleUnknownImp1<IMessage, 0> {
public:
    HostMessage(WORD typeIndex, DWORD id, DWORD flags, const void* payload);
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

private:
    WORD mTypeIndex;
    DWORD mId;
    DWORD mFlags;
    DWORD mPayload[2] = {0, 0};
    ULONGLONG mSender = 0;
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

class SharedHostObject final : public SimpleUnknownImp1<ISharedHostObject, 0> {};
class ObjectFactory final : public SimpleUnknownImp1<IObjectFactory, 0> {};

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
                    SharedHostObject& shared, ObjectFactory& factory);
    HRESULT CreateObject(DWORD classKey, REFIID iid, void** out) override;
    HRESULT RegisterClassObject(IUnknown* classObject) override;

private:
    RegistrationList& mRegistrations;
    TypeIdRegistry& mTypes;
    MessageCreator& mCreator;
    SharedHostObject& mShared;
    ObjectFactory& mFactory;
};

class MessageFactory final : public SimpleUnknownImp1<IMessageFactory, 0> {
public:
    explicit MessageFactory(RegistrationList& registrations) : mRegistrations(registrations) {}
    HRESULT RegisterMessageClass(DWORD reserved, IUnknown* messageClass) override;

private:
    RegistrationList& mRegistrations;
};

class UnitTestRegistry final : public SimpleUnknownImp1<IUnitTestRegistry, 0> {
public:
    explicit UnitTestRegistry(RegistrationList& registrations) : mRegistrations(registrations) {}
    HRESULT AddTest(IUnknown* test) override;

private:
    RegistrationList& mRegistrations;
};

class AppServices final : public SimpleUnknownImp1<IAppServices, 0> {
public:
    HRESULT MessageBox(void* owner, const wchar_t* text, const wchar_t* caption, UINT style,
                       std::uintptr_t helpContext, int* result, std::uintptr_t reserved1, std::uintptr_t reserved2,
                       std::uintptr_t options) override;
    HRESULT GetUILanguage(WORD* language) override;

    MessageBoxHandler SetHandler(MessageBoxHandler handler);
    void QueueAnswer(int buttonId);
    void ClearAnswers();
    void SetLanguage(WORD language);

private:
    std::mutex mMutex;
    MessageBoxHandler mHandler;
    std::vector<int> mAnswers; // scripted, first answer first
    WORD mLanguage = 0x0409;   // English (United States)
};

// The framework's class object: answers each framework service interface with its service.
class FrameworkClassObject final : public SimpleUnknownImp1<IUnknown, 0> {
public:
    FrameworkClassObject(SubjectRegistry& subjects, HostClassObject& host, TypeIdRegistry& types,
                         MessageRouter& router, MessageFactory& messages);
    HRESULT QueryInterface(REFIID iid, void** out) override;

private:
    SubjectRegistry& mSubjects;
    HostClassObject& mHost;
    TypeIdRegistry& mTypes;
    MessageRouter& mRouter;
    MessageFactory& mMessages;
};

} // namespace caf
