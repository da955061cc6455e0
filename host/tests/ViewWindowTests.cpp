// The seven HRV view classes of the real extension, loaded by the host as it loads it: each view
// opens in a host frame with a window of its own, answers the host's Copy and Print commands
// through that window's table, passes the frame's message on, and has a size grip.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HrvExtensionTest.h"
#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "caf/FrameworkServices.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/DocViewInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "varnex/startup/ExtensionLoader.h"

namespace {

using vx::com::Query;

std::wstring Take(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    return s.c_str();
}

class Enabler final : public SimpleUnknownImp1<ICommandEnabler, 1> {
public:
    HRESULT SetText(const wchar_t* t) override { return text = t, S_OK; }
    HRESULT Enable(WORD e) override { return enabled = e, S_OK; }
    std::wstring text;
    int enabled = -1;
};

class HRVViews : public vx::host::test::HrvExtensionTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(HrvExtensionTest::SetUp());
        for (IUnknown* o : mClassObjects)
            if (auto* c = Query<IDocViewClass>(o).Detach())
                mClasses.push_back(c);
    }
    void TearDown() override
    {
        for (IDocViewClass* c : mClasses)
            c->Release();
        HrvExtensionTest::TearDown();
    }
    std::vector<IDocViewClass*> mClasses;
};

} // namespace

TEST_F(HRVViews, EachViewClassMakesAViewWithAWindowInAHostFrame)
{
    struct Expected {
        const wchar_t* name;
        const wchar_t* fallback;
        const wchar_t* plot;
    };
    const Expected expected[] = {
        { L"HRV Report View", L"HRV Report", L"HRV Report" },
        { L"HRV Tachogram View", L"HRV Tachogram Plot", L"Tachogram Plot" },
        { L"HRV Spectrum View", L"HRV Power Spectrum Plot", L"Power Spectrum Plot" },
        { L"HRV RR Histogram View", L"HRV RR Histogram Plot", L"RR Histogram Plot" },
        { L"HRV Delta RR Histogram View", L"HRV Delta RR Histogram Plot", L"Delta RR Histogram Plot" },
        { L"HRV Classifier View", L"HRV Classifier Plot", L"Classifier Plot" },
        { L"HRV Poincare View", L"HRV Poincar\u00E9 Plot", L"Poincar\u00E9 Plot" },
    };
    ASSERT_EQ(mClasses.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        const Expected& e = expected[i];
        IDocViewClass* viewClass = mClasses[i];
        IKELString* text = nullptr;
        viewClass->GetName(&text);
        ASSERT_EQ(Take(text), e.name);
        IDocView2* unattached = nullptr;
        ASSERT_EQ(viewClass->CreateView(nullptr, nullptr, &unattached), S_OK);
        unattached->GetTitle(&text);
        EXPECT_EQ(Take(text), e.fallback) << "before it has a window";
        unattached->Release();

        auto* site = new caf::HostViewSite;
        site->AddRef();
        HRESULT hr = E_FAIL;
        IDocView2* view = site->OpenView(viewClass, &hr);
        ASSERT_EQ(hr, S_OK) << e.name;
        view->GetTitle(&text);
        EXPECT_EQ(Take(text), e.name);

        // The view's window fills its client window in the frame.
        const vx::ui::HWND client = site->ClientWindowOf(view);
        const vx::ui::HWND window = vx::ui::GetWindow(client, vx::ui::GW_CHILD);
        ASSERT_TRUE(vx::ui::IsWindow(window)) << e.name;
        EXPECT_EQ(vx::ui::GetClassName(window), L"VxViewBase");
        EXPECT_EQ(vx::ui::GetWindowText(window), e.name);
        vx::ui::MoveWindow(client, 0, 0, 400, 300, true);
        vx::ui::MoveWindow(window, 0, 0, 400, 300, true);

        // Copy and Print through the view object, answered by the window's table.
        auto commands = Query<ICAFCommandHandler>(view);
        ASSERT_TRUE(commands);
        Enabler copy, print, third;
        EXPECT_EQ(commands->OnCommandEnable(0x80170004u, &copy), S_OK);
        EXPECT_EQ(copy.text, std::wstring(L"Copy ") + e.plot);
        EXPECT_EQ(copy.enabled, 0xFFFF);
        EXPECT_EQ(commands->OnCommandEnable(0x80170000u, &print), S_OK);
        EXPECT_EQ(print.text, std::wstring(L"Print ") + e.plot);
        EXPECT_EQ(print.enabled, 0xFFFF);
        commands->OnCommandEnable(0x80170001u, &third);
        EXPECT_EQ(third.enabled, 0);
        commands.Reset(); // the view must be able to go

        // The frame's message is passed on to the frame.
        auto handler = Query<IMessageHandler>(view);
        ASSERT_TRUE(handler);
        const vx::com::Ref<caf::HostMessage> message(new caf::HostMessage(0x8001, 0x8001000Du, 0, nullptr));
        handler->HandleMessage(message.Get());
        EXPECT_EQ(site->FrameObject().viewMessages, 1) << e.name;
        handler.Reset();

        // The size grip's corner answers as the frame's sizing corner, unless the frame is
        // maximised.
        vx::ui::Point corner { 398, 298 }, middle { 200, 150 };
        vx::ui::ClientToScreen(window, &corner);
        vx::ui::ClientToScreen(window, &middle);
        const auto hit = [&](vx::ui::Point p) {
            return vx::ui::SendMessage(
                window, vx::ui::WM_NCHITTEST, 0, vx::ui::MAKELPARAM(unsigned(p.x), unsigned(p.y)));
        };
        EXPECT_EQ(hit(corner), vx::ui::HTBOTTOMRIGHT);
        EXPECT_NE(hit(middle), vx::ui::HTBOTTOMRIGHT);
        vx::ui::ShowWindow(site->Frame(), vx::ui::SW_MAXIMIZE);
        vx::ui::MoveWindow(window, 0, 0, 400, 300, true);
        EXPECT_NE(hit(corner), vx::ui::HTBOTTOMRIGHT);

        DWORD count = 0;
        viewClass->GetViewCount(0, &count);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(view->Close(), S_OK);
        EXPECT_FALSE(vx::ui::IsWindow(window));
        viewClass->GetViewCount(0, &count);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(site->Release(), 0u);
    }
}

TEST_F(HRVViews, TheTypeRegistryNamesTheRegisteredClasses)
{
    const auto types = Query<ITypeIdRegistry>(mFramework->Object());
    ASSERT_TRUE(types);
    const auto names = Query<ITypeNameRegistry>(types.Get());
    ASSERT_TRUE(names);
    for (IDocViewClass* c : mClasses) {
        IKELString* text = nullptr;
        c->GetName(&text);
        const std::wstring name = Take(text);
        DWORD classId = 0, id = 0;
        c->GetClassId(&classId);
        EXPECT_EQ(names->NameToId(name.c_str(), &id), S_OK) << std::string(name.begin(), name.end());
        EXPECT_EQ(id, classId);
        IKELString* back = nullptr;
        ASSERT_EQ(names->IdToName(classId, &back), S_OK);
        EXPECT_EQ(Take(back), name);
    }
    DWORD id = 7;
    EXPECT_EQ(names->NameToId(L"HRV2 Document", &id), S_OK) << "document classes are named too";
    EXPECT_EQ(names->NameToId(L"No Such View", &id), E_INVALIDARG);
    EXPECT_EQ(id, 0u);
    IKELString* none = nullptr;
    EXPECT_EQ(names->IdToName(0x12345678u, &none), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
}
