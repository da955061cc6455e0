// Without a host framework (the framework library cannot be loaded) the subject, the handler
// bases and the sender answer failures instead of reaching for services that are not there.
#include <gtest/gtest.h>

#include "hostframework/base/ComObjectRoot.h"
#include "hostframework/events/EventHandler.h"
#include "hostframework/services/CafFrameWork.h"

namespace {

class Handler final : public CAFEventHandlerT<1>, public KEL::CComObjectRoot {
public:
    HRESULT QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override { return ReleaseObject(this); }
};

struct Message final : SimpleUnknownImp1<IMessage, 1> {
    HRESULT GetId(DWORD* id) override { return *id = 1, S_OK; }
    HRESULT GetFlags(DWORD* flags) override { return *flags = 0, S_OK; }
    HRESULT Clone(IMessage**) override { return E_NOTIMPL; }
    HRESULT GetData(IUnknown**) override { return E_NOTIMPL; }
    HRESULT SetSender(ULONGLONG s) override { return sender = s, S_OK; }
    HRESULT IsSender(ULONGLONG, WORD* is) override { return *is = 0, S_OK; }
    ULONGLONG sender = 0;
};

} // namespace

TEST(WithoutFramework, SubjectHandlerAndSenderFailQuietly)
{
    vx::hf::FrameworkLoaderHooks hooks = vx::hf::DefaultFrameworkLoaderHooks();
    hooks.executablePath = [] { return std::string("/nonexistent/varnex"); };
    hooks.showPlainMessageBox = [](const std::wstring&, const std::wstring&) {};
    hooks.exitProcess = [](int) {};
    vx::hf::SetFrameworkLoaderHooks(std::move(hooks));
    ASSERT_EQ(CAFFrameWork::GetEventHandlerRegistry(), nullptr);

    CAFSubjectObject* subject = new CAFSubjectObject;
    Handler* handler = new Handler;
    handler->AddRef();
    EXPECT_EQ(subject->Attach(handler), E_FAIL);
    EXPECT_EQ(subject->AttachForEvent(handler, 4, 0), E_FAIL);
    EXPECT_EQ(subject->Notify(4, 0), E_FAIL);
    EXPECT_EQ(subject->Detach(handler), E_FAIL);
    Message message;
    EXPECT_EQ(handler->SendMessage(&message), E_FAIL);
    EXPECT_EQ(message.sender, 0u);
    EXPECT_EQ(message.RefCount(), 1u);
    subject->Release();
    EXPECT_EQ(handler->Release(), 0u);
}
