// The message chain (delivery order, stop at the first handler that handles, parents and
// sources, removal, disconnection), sending through the router, and the subject's forwarding to
// the host's registry.
#include <gtest/gtest.h>

#include <stdexcept>

#include "hostframework/events/MessageChain.h"
#include "hostframework/events/tests/FakeFramework.h"

using fake::Lines;
using fake::Record;

namespace {

// A chain member that records what it is asked and answers as told (0: pass it down its own
// chain).
class Link final : public CAFMessageHandler {
public:
    Link(std::string name, HRESULT answer = 0)
        : mName(std::move(name))
        , mAnswer(answer)
    {
    }
    ~Link() override { Record(mName + ".destroyed"); }

    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IUnknown::kIid && iid != IMessageHandler::kIid)
            return E_NOINTERFACE;
        *out = static_cast<IMessageHandler*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override
    {
        const ULONG count = --mCount;
        if (count == 0)
            delete this;
        return count;
    }
    ULONG Count() const { return mCount; }

    HRESULT HandleMessage(IMessage* message) override
    {
        Record(mName);
        if (Accepts(message) != S_OK)
            return 0;
        return mAnswer ? mAnswer : CAFMessageHandler::HandleMessage(message);
    }
    HRESULT SetParent(IMessageHandler* parent) override
    {
        Record(mName + ".setParent " + (parent ? "parent" : "null"));
        return CAFMessageHandler::SetParent(parent);
    }

private:
    std::string mName;
    HRESULT mAnswer;
    ULONG mCount = 1;
};

class MessageChain : public fake::FrameworkTest { };

} // namespace

TEST_F(MessageChain, OffersInOrderAndStopsAtTheFirstHandlerThatHandles)
{
    struct Case {
        HRESULT answers[3];
        HRESULT handled;
        Lines calls;
    };
    const Case cases[] = {
        { { 0, 0, 0 }, 0, { "a", "b", "c" } },
        { { 1, 0, 0 }, 1, { "a" } },
        { { 0, 1, 1 }, 1, { "a", "b" } },
        { { 0, 0, 1 }, 1, { "a", "b", "c" } },
    };
    for (const Case& c : cases) {
        Link* root = new Link("root");
        Link* links[3] = { new Link("a", c.answers[0]), new Link("b", c.answers[1]), new Link("c", c.answers[2]) };
        for (Link* l : links) {
            root->AddHandler(l);
            l->Release();
        }
        fake::Calls().clear();
        fake::Message message(0x00210100);
        EXPECT_EQ(root->CAFMessageHandler::HandleMessage(&message), c.handled);
        EXPECT_EQ(fake::Calls(), c.calls);
        root->Release();
    }
}

TEST_F(MessageChain, AttachedHandlersSendWithTheRootsSource)
{
    Link* root = new Link("root");
    Link* child = new Link("child");
    Link* grandchild = new Link("grandchild");
    root->AddHandler(child);
    child->AddHandler(grandchild);
    EXPECT_EQ(child->Parent(), root);
    EXPECT_EQ(child->Source(), root);
    EXPECT_EQ(grandchild->Source(), root);
    EXPECT_EQ(root->Count(), 2u); // held by the grandchild as its source, not by its child
    IMessageHandler* source = nullptr;
    grandchild->GetSource(&source);
    EXPECT_EQ(source, root);
    source->Release();
    // Leaving the chain makes a handler its own source again.
    child->RemoveHandler(grandchild);
    EXPECT_EQ(grandchild->Parent(), nullptr);
    EXPECT_EQ(grandchild->Source(), grandchild);
    EXPECT_EQ(root->Count(), 1u);
    grandchild->Release();
    child->Release();
    root->Release();
}

TEST_F(MessageChain, RemovingAHandlerOfAnotherChainLeavesItAlone)
{
    Link* root = new Link("root");
    Link* other = new Link("other");
    Link* stranger = new Link("stranger");
    other->AddHandler(stranger);
    fake::Calls().clear();
    EXPECT_EQ(root->RemoveHandler(stranger), E_FAIL);
    EXPECT_EQ(root->RemoveHandler(nullptr), S_FALSE);
    EXPECT_EQ(fake::Calls(), Lines {});
    EXPECT_EQ(stranger->Parent(), other);
    EXPECT_EQ(stranger->Source(), other);
    EXPECT_EQ(other->RemoveHandler(stranger), 0);
    EXPECT_EQ(fake::Calls(), Lines { "stranger.setParent null" });
    stranger->Release();
    other->Release();
    root->Release();
}

TEST_F(MessageChain, DisconnectingAHandlerHeldOnlyByItsParentFinishesBeforeItGoes)
{
    Link* root = new Link("root");
    Link* child = new Link("child");
    Link* below = new Link("below");
    root->AddHandler(child);
    child->AddHandler(below);
    child->Release();
    below->Release();
    fake::Calls().clear();
    child->Disconnect(); // the parent's reference was the last one
    const Lines expected = {
        "child.setParent null",
        "below.setParent null",
        "below.destroyed",
        "child.destroyed",
    };
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(root->Handlers().Count(), 0u);
    root->Release();
}

TEST_F(MessageChain, SendRoutesWithTheSenderNamedAndClearsItAfterwards)
{
    Link* root = new Link("root");
    fake::Message message(0x00210101);
    framework->router.result = 0x1234;
    EXPECT_EQ(root->SendMessage(&message), 0x1234);
    EXPECT_EQ(framework->router.lastSource, root);
    EXPECT_EQ(message.sender, 0u);
    EXPECT_EQ(message.RefCount(), 1u);

    // A router that throws: the sender is cleared and the reference given back all the same.
    framework->router.onRoute = [] { throw std::runtime_error("router failed"); };
    EXPECT_THROW(root->SendMessage(&message), std::runtime_error);
    EXPECT_EQ(message.sender, 0u);
    EXPECT_EQ(message.RefCount(), 1u);
    framework->router.onRoute = nullptr;

    // Disabled: nothing is routed and the message is not touched.
    root->Enable(false);
    fake::Calls().clear();
    EXPECT_EQ(root->SendMessage(&message), E_FAIL);
    EXPECT_EQ(fake::Calls(), Lines {});
    root->Release();
}

TEST_F(MessageChain, AMessageNotForItsSenderIsRefusedByTheSendersChain)
{
    Link* root = new Link("root");
    Link* child = new Link("child", 1);
    root->AddHandler(child);
    child->Release();
    framework->router.receivers = { root };
    fake::Message ownMessage(0x00210102, IMessage::kFlagNotToSender);
    fake::Calls().clear();
    EXPECT_EQ(root->SendMessage(&ownMessage), S_FALSE);
    fake::Message anyMessage(0x00210102);
    EXPECT_EQ(root->SendMessage(&anyMessage), S_OK);
    const Lines expected = {
        "router.route 210102 with sender from source",
        "root",
        "router.route 210102 with sender from source",
        "root",
        "child",
    };
    EXPECT_EQ(fake::Calls(), expected);
    root->Release();
}

TEST_F(MessageChain, SubjectForwardsEverythingToTheRegistry)
{
    struct Observer final : SimpleUnknownImp1<IObserver, 1> {
        HRESULT OnAttach(ISubject*) override { return S_OK; }
        HRESULT OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value) override
        {
            Record("observer " + fake::Hex(eventId) + " " + std::to_string(value));
            return S_OK;
        }
    } observer;
    CAFSubjectObject* subject = new CAFSubjectObject;
    subject->Attach(&observer);
    subject->Notify(0x10, 1);
    subject->Detach(&observer);
    subject->Notify(0x10, 2);
    subject->AttachForEvent(&observer, 0x11, 3);
    subject->Notify(0x10, 4);
    subject->Notify(0x11, 5);
    subject->Release();
    const Lines expected = {
        "registry.attach",
        "registry.notify 10",
        "observer 10 1",
        "registry.detach",
        "registry.notify 10",
        "registry.attachForEvent 11 3",
        "registry.notify 10",
        "registry.notify 11",
        "observer 11 5",
        "registry.forgetSubject",
    };
    EXPECT_EQ(fake::Calls(), expected);
}
