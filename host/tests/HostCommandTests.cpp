// The extension's command and class-object helpers against the stand-in framework's factories.
#include <gtest/gtest.h>

#include "caf/FrameworkServices.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/commands/HostCommands.h"
#include "hostframework/services/CafFrameWork.h"

namespace {

constexpr GUID kClassGuid = vx::com::MakeGuid("{EA881A0C-B5E6-42DD-9B2E-4714888D1B5B}");

caf::HostCommand& Host(ICAFCommand* command)
{
    return *static_cast<caf::HostCommand*>(command);
}

class Handler final : public SimpleUnknownImp1<IUnknown, 1> { };

} // namespace

// The host has registered its framework.
class HostCommands : public caf::test::RegisteredFramework { };

TEST_F(HostCommands, ClassObjectPairCarriesTheHostsObjectForTheClass)
{
    Handler handler, owner;
    HostClassObjectPair pair { 5, nullptr };
    ASSERT_EQ(CreateHostObjectForClass(pair, kClassGuid, &handler, &owner), S_OK);
    EXPECT_EQ(pair.flag, 0);
    ASSERT_NE(pair.object, nullptr);
    auto* counterpart = static_cast<caf::HostClassCounterpart*>(pair.object);
    EXPECT_EQ(counterpart->ClassGuid(), kClassGuid);
    EXPECT_EQ(counterpart->Handler(), &handler);
    EXPECT_EQ(counterpart->Owner(), &owner);
    EXPECT_EQ(handler.RefCount(), 2u); // the host holds the handler, not the owner
    EXPECT_EQ(owner.RefCount(), 1u);
    EXPECT_EQ(pair.object->Release(), 0u);
    EXPECT_EQ(handler.RefCount(), 1u);
}

TEST_F(HostCommands, SeparatorTextGoesToTheSeparatorOrCaptionPosition)
{
    ICAFCommand* command = nullptr;
    ASSERT_EQ(CreateHostSeparator(command, L"-"), S_OK);
    const caf::HostCommand::Fields& plain = Host(command).Describe();
    EXPECT_EQ(plain.kind, caf::HostCommand::Kind::Group);
    EXPECT_EQ(plain.separator, L"-");
    EXPECT_EQ(plain.caption, L"");
    EXPECT_EQ(plain.groupKind, 2u);
    ICAFCommand* first = command;
    first->AddRef();
    ASSERT_EQ(CreateHostSeparator(command, L"HRV|-"), S_OK); // the command held before is released
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(Host(command).Describe().caption, L"HRV|-");
    EXPECT_EQ(Host(command).Describe().separator, L"");
    EXPECT_EQ(Host(command).Describe().groupKind, 2u);
    EXPECT_EQ(command->Release(), 0u);
}

TEST_F(HostCommands, CommandGetsItsArgumentsIdAndAttribute)
{
    ICAFCommand* command = nullptr;
    const DWORD textId = 84;
    ASSERT_EQ(CreateHostCommand(command, 0x00070012, &textId, L"HRV|Analyse", HostCommandId { 18, 7 }, 10, 1004,
                  L"analyse", L"HRV", L""),
        S_OK);
    const caf::HostCommand& host = Host(command);
    const caf::HostCommand::Fields& f = host.Describe();
    EXPECT_EQ(f.kind, caf::HostCommand::Kind::Command);
    EXPECT_EQ(f.textId, 84u);
    EXPECT_EQ(f.caption, L"HRV|Analyse");
    EXPECT_EQ(f.first, 10u);
    EXPECT_EQ(f.second, 1004u);
    EXPECT_EQ(f.group, L"HRV");
    EXPECT_EQ(f.text, L"");
    EXPECT_EQ(f.flag, 1u);
    EXPECT_EQ(f.attribute, L"analyse");
    // The resources come from the module that made the command: this test executable.
    EXPECT_EQ(f.module, vx::res::ModuleOf(reinterpret_cast<const void*>(&CreateHostCommand)));
    EXPECT_EQ(f.id, 0x00070012u);
    EXPECT_EQ(host.TableId(), 0x00070012u);
    command->Release();
    command = nullptr;

    // A zero id pair: the command's own id, the one it was made for, is kept.
    ASSERT_EQ(CreateHostCommandSimple(command, 0x00070005, &textId, L"HRV|Report"), S_OK);
    EXPECT_EQ(Host(command).Describe().id, 0x00070005u);
    EXPECT_EQ(Host(command).TableId(), 0x00070005u);
    EXPECT_EQ(Host(command).Describe().attribute, L"");
    // A given id pair wins over the command's own.
    ASSERT_EQ(
        CreateHostCommand(command, 0x00070005, nullptr, L"HRV|Report", HostCommandId { 6, 2 }, 0, 0, L"", L"", L""),
        S_OK);
    EXPECT_EQ(Host(command).Describe().id, 0x00020006u);
    EXPECT_EQ(Host(command).Describe().textId, 0u); // no text id given
    EXPECT_EQ(command->Release(), 0u);
}
