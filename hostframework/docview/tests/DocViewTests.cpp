// The document/view bases: the interface-id enumerator, the view class object, the view's
// identity, attaching a window, closing once, and the open-view count.
#include <gtest/gtest.h>

#include "hostframework/docview/DocView.h"
#include "hostframework/docview/ViewBase.h"
#include "hostframework/events/tests/FakeFramework.h"

using fake::Lines;
using fake::Record;

namespace {

constexpr GUID kCategory = vx::com::MakeGuid("{D6F52E80-B34D-11D3-80C7-005004AD3C53}");
constexpr GUID kIdA = vx::com::MakeGuid("{CD8A64F4-48D2-11D1-8D03-00C0D1570D74}");
constexpr GUID kIdB = vx::com::MakeGuid("{D6EA89AC-5B62-402C-A488-1E8CDDA95E3A}");
constexpr GUID kIdC = vx::com::MakeGuid("{0AE13F60-6A62-11D3-80B3-005004AD3C53}");

class ViewClass final : public OwlDocViewClassBase {
public:
    explicit ViewClass(const wchar_t* title = nullptr)
        : OwlDocViewClassBase(KEL::String(L"HRV Tachogram View"), &kCategory, 1, title)
    {
    }
    HRESULT GetClassId(DWORD* id) override
    {
        *id = 0x00240001;
        return S_OK;
    }
    HRESULT CreateView(IUnknown*, IViewSite*, IDocView2** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetRequiredInterfaces(IEnumInterface** out) override
    {
        static const GUID* const ids[] = { &kIdA, &kIdB };
        return CreateInterfaceIdEnumerator(ids, 2, out);
    }
    HRESULT InsertCommands(ICAFCommandHandler* handler) override
    {
        Record(std::string("class.InsertCommands ") + (handler ? "handler" : "none"));
        return S_OK;
    }
};

class Site final : public SimpleUnknownImp1<IViewSite, 1> {
public:
    HRESULT GetFrame(IViewFrame** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT QueryClose(IDocView2*, WORD* canClose) override
    {
        Record("site.QueryClose");
        if (refuse)
            *canClose = 0;
        return S_OK;
    }
    HRESULT ViewClosed(IDocView2*) override
    {
        Record("site.ViewClosed");
        return S_OK;
    }
    HRESULT ViewInitialised(IDocView2*, IViewSite*) override
    {
        Record("site.ViewInitialised");
        return S_OK;
    }
    bool refuse = false;
};

class Client final : public SimpleUnknownImp1<IHostClient, 1> {
public:
    explicit Client(std::uintptr_t parent)
        : mParent(parent)
    {
    }
    HRESULT GetParentWindow(WindowHandle* out) override
    {
        Record("client.GetParentWindow " + std::to_string(mParent));
        *out = reinterpret_cast<WindowHandle>(mParent);
        return S_OK;
    }
    HRESULT LetGo() override
    {
        Record("client.LetGo");
        return keep;
    }
    HRESULT keep = 0;

private:
    std::uintptr_t mParent;
};

class TestWindow final : public IExtensionWindow {
public:
    explicit TestWindow(WindowHandle parent)
        : mParent(reinterpret_cast<std::uintptr_t>(parent))
    {
    }
    ~TestWindow() override { Record("window.deleted"); }
    bool Create() override
    {
        Record("window.Create in " + std::to_string(mParent));
        return true;
    }
    WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(mParent + 1); }
    bool CanClose() override
    {
        Record("window.CanClose");
        return canClose;
    }
    void Destroy() override { Record("window.Destroy"); }
    static inline bool canClose = true;

private:
    std::uintptr_t mParent;
};

class View final : public DocWindowViewBase {
public:
    View(OwlDocViewClassBase* viewClass, IViewSite* site)
        : DocWindowViewBase(viewClass, site, nullptr)
    {
    }
    IExtensionWindow* CreateExtensionWindow(WindowHandle parent, void*) override { return new TestWindow(parent); }
};

class DocViews : public fake::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        viewClass = new ViewClass;
        viewClass->AddRef();
        TestWindow::canClose = true;
        fake::Calls().clear();
    }
    void TearDown() override { viewClass->Release(); }

    View* MakeView()
    {
        auto* view = new View(viewClass, &site);
        view->AddRef();
        return view;
    }

    ViewClass* viewClass = nullptr;
    Site site;
};

std::vector<GUID> Drain(IEnumInterface* e, ULONG count, HRESULT expected)
{
    std::vector<GUID> items(count);
    ULONG fetched = 99;
    EXPECT_EQ(e->Next(count, items.data(), &fetched), expected);
    items.resize(fetched);
    return items;
}

} // namespace

TEST_F(DocViews, InterfaceIdEnumeratorWalksClonesAndUnlocksTheModule)
{
    const GUID* const ids[] = { &kIdA, &kIdB, &kIdC };
    const long locks = KELCOM::ModuleLockCount();
    IEnumInterface* e = nullptr;
    ASSERT_EQ(CreateInterfaceIdEnumerator(ids, 3, &e), S_OK);
    EXPECT_EQ(KELCOM::ModuleLockCount(), locks + 1);
    EXPECT_EQ(Drain(e, 1, S_OK), std::vector<GUID> { kIdA });
    IEnumInterface* clone = nullptr;
    ASSERT_EQ(e->Clone(&clone), S_OK);
    EXPECT_EQ(Drain(e, 3, S_FALSE), (std::vector<GUID> { kIdB, kIdC }));
    EXPECT_EQ(Drain(e, 3, S_FALSE), std::vector<GUID> {});
    EXPECT_EQ(Drain(clone, 1, S_OK), std::vector<GUID> { kIdB });
    EXPECT_EQ(clone->Skip(5), S_FALSE);
    EXPECT_EQ(clone->Skip(0), S_OK);
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(clone->Skip(2), S_OK);
    EXPECT_EQ(Drain(clone, 1, S_OK), std::vector<GUID> { kIdC });
    GUID one {};
    EXPECT_EQ(e->Next(2, &one, nullptr), E_POINTER);
    EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);
    e->Reset();
    EXPECT_EQ(e->Next(1, &one, nullptr), S_OK);
    EXPECT_EQ(one, kIdA);
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(e->Release(), 0u);
    EXPECT_EQ(KELCOM::ModuleLockCount(), locks);
}

TEST_F(DocViews, ViewClassTitleCategoryCounterpartAndInitialise)
{
    EXPECT_EQ(framework->factories.last->RefCount(), 1u);
    IKELString* text = nullptr;
    viewClass->GetTitle(&text);
    EXPECT_EQ(KEL::String(text), KEL::String(L"HRV Tachogram View"));
    text->Release();
    ViewClass* titled = new ViewClass(L"HRV Tachogram Plot");
    titled->AddRef();
    titled->GetTitle(&text);
    EXPECT_EQ(KEL::String(text), KEL::String(L"HRV Tachogram Plot"));
    text->Release();
    titled->Release();

    const GUID copy = kCategory;
    EXPECT_EQ(viewClass->IsCategory(&kCategory), S_OK);
    EXPECT_EQ(viewClass->IsCategory(&copy), S_OK);
    EXPECT_EQ(viewClass->IsCategory(&kIdA), S_FALSE);
    EXPECT_EQ(viewClass->IsCategory(nullptr), S_FALSE);

    IEnumInterface* required = nullptr;
    viewClass->GetRequiredInterfaces(&required);
    EXPECT_EQ(Drain(required, 5, S_FALSE), (std::vector<GUID> { kIdA, kIdB }));
    required->Release();

    fake::Calls().clear();
    EXPECT_EQ(viewClass->Initialise(), S_OK);
    EXPECT_EQ(fake::Calls(), (Lines { "viewClassCounterpart.classInitialised", "class.InsertCommands handler" }));
}

TEST_F(DocViews, ViewIdentityAndOpenViewCount)
{
    View* first = MakeView();
    View* second = MakeView();
    DWORD count = 0;
    viewClass->GetViewCount(0, &count);
    EXPECT_EQ(count, 2u);
    first->SetNumberA(0x12345);
    first->SetNumberB(7);
    DWORD classNumber = 0, instance = 0;
    first->GetViewId(&classNumber, &instance);
    EXPECT_EQ(classNumber, 0x00240001u);
    EXPECT_EQ(instance, 0x00072345u);
    EXPECT_EQ(first->GetViewClass(nullptr), S_OK);
    EXPECT_EQ(first->GetSite(nullptr), S_OK);
    second->Release();
    viewClass->GetViewCount(0, &count);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(first->Initialise(), S_OK);
    // The released view left the host's registry as an observer.
    EXPECT_EQ(fake::Calls(),
        (Lines { "registry.forgetObserver", "viewClassCounterpart.viewInitialised", "site.ViewInitialised" }));
    first->Release();
    EXPECT_EQ(site.RefCount(), 1u);
}

TEST_F(DocViews, AttachOnceAndCloseOnce)
{
    View* view = MakeView();
    Client client(100);
    Client intruder(200);
    WindowHandle handle = nullptr;
    EXPECT_EQ(view->Attach(&client, &handle), S_OK);
    EXPECT_EQ(handle, reinterpret_cast<WindowHandle>(101));
    EXPECT_EQ(view->Attach(&intruder, &handle), E_FAIL);
    EXPECT_EQ(view->Client(), &client);

    WORD canClose = 0;
    TestWindow::canClose = false;
    EXPECT_EQ(view->CanClose(&canClose), 1);
    TestWindow::canClose = true;
    site.refuse = true;
    EXPECT_EQ(view->CanClose(&canClose), 1);
    site.refuse = false;
    EXPECT_EQ(view->CanClose(&canClose), 0);
    EXPECT_EQ(canClose, 0xFFFF);

    client.keep = 1;
    EXPECT_EQ(view->Close(), 1);
    client.keep = 0;
    EXPECT_EQ(view->Close(), S_OK);
    EXPECT_EQ(site.RefCount(), 1u);
    // Closed: further closes and questions are harmless and reach nobody.
    EXPECT_EQ(view->Close(), S_OK);
    EXPECT_EQ(view->DocViewBase::Close(), S_OK);
    EXPECT_EQ(view->Initialise(), S_OK);
    EXPECT_EQ(view->CanClose(&canClose), 1);
    IViewSite* gone = reinterpret_cast<IViewSite*>(1);
    view->GetSite(&gone);
    EXPECT_EQ(gone, nullptr);
    const Lines expected = {
        "client.GetParentWindow 100",
        "window.Create in 100",
        "window.CanClose",
        "window.CanClose",
        "site.QueryClose",
        "window.CanClose",
        "site.QueryClose",
        "client.LetGo",
        "client.LetGo",
        "window.Destroy",
        "window.deleted",
        "site.ViewClosed",
        "viewClassCounterpart.viewInitialised",
    };
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_EQ(view->Release(), 0u);
}

TEST(ViewBasePrintText, SpanishHostsSayImprimirWhereTheTextBeginsWithPrint)
{
    struct Case {
        const wchar_t* text;
        WORD language;
        const wchar_t* shown;
    };
    const Case cases[] = {
        { L"&Print Tachogram Plot", 0x0C0A, L"&Imprimir Tachogram Plot" }, // Spanish (Spain)
        { L"&Print", 0x080A, L"&Imprimir" }, // Spanish (Mexico)
        { L"&Print Tachogram Plot", 0x0409, L"&Print Tachogram Plot" }, // English
        { L"Quick &Print", 0x0C0A, L"Quick &Print" }, // "&Print" not at the start
        { L"Print ", 0x0C0A, L"Print " },
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalisedPrintText(c.text, c.language), c.shown) << c.text << " " << c.language;
}

namespace {
class PlainView final : public ViewBase {
public:
    using ViewBase::ViewBase;
    std::wstring GetCopyCommandText() override { return L"Copy it"; }
    std::wstring GetPrintCommandText() override { return L"Print it"; }
};
} // namespace

TEST_F(DocViews, ViewBaseKnowsItsPlaceNameAndFrame)
{
    View* view = MakeView();
    view->SetNumberA(0x0005);
    view->SetNumberB(0x12340007); // only the low 16 bits have a place
    {
        PlainView window(
            nullptr, static_cast<IDocViewClass*>(viewClass), static_cast<IDocView2*>(view), &site, nullptr);
        EXPECT_EQ(window.ViewName().ToWString(), L"HRV Tachogram View");
        EXPECT_EQ(window.GetPackedDocPosition(), 0x0007000500240001ull);
        // A frame that gives no answer cannot print.
        EXPECT_FALSE(window.CanPrint());
        EXPECT_FALSE(window.Create()) << "no parent window";
    }
    // Without a view class: no name and no place.
    PlainView bare(nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(bare.ViewName().IsEmpty());
    EXPECT_EQ(bare.GetPackedDocPosition(), 0u);
    EXPECT_EQ(view->Release(), 0u);
}
