#include <gtest/gtest.h>

#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/base/ComObjectRoot.h"

namespace {

struct IAlpha : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{11111111-0000-0000-0000-000000000001}");
    virtual int Alpha() = 0;
};
struct IBeta : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{11111111-0000-0000-0000-000000000002}");
    virtual int Beta() = 0;
};
struct IBetaBase : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{11111111-0000-0000-0000-000000000003}");
    virtual int Base() = 0;
};
struct IBetaDerived : IBetaBase {
    static constexpr IID kIid = vx::com::MakeGuid("{11111111-0000-0000-0000-000000000004}");
};
constexpr IID kOther = vx::com::MakeGuid("{11111111-0000-0000-0000-0000000000FF}");

int gDestroyed = 0;

template <ULONG n> struct One : SimpleUnknownImp1<IAlpha, n> {
    int Alpha() override { return 1; }
    ~One() override { ++gDestroyed; }
};

struct Two : SimpleUnknownImp2<IAlpha, IBeta, 0> {
    int Alpha() override { return 1; }
    int Beta() override { return 2; }
    ~Two() override { ++gDestroyed; }
};

struct Plain : SimpleUnknownImp1<IAlpha, 1> {
    int Alpha() override { return 5; }
};

struct TwoOne : SimpleUnknownImp2_1<IBetaDerived, IBetaBase, IAlpha, 1> {
    int Base() override { return 3; }
    int Alpha() override { return 1; }
};

class RefCountTest : public ::testing::Test {
protected:
    void SetUp() override { gDestroyed = 0; }
};

TEST_F(RefCountTest, InitialCountOneIsDestroyedByCreatorsRelease)
{
    auto* object = new One<1>;
    EXPECT_EQ(object->RefCount(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCountTest, QueryInterfaceAnswersOnlyItsOwnIds)
{
    auto* object = new One<0>;
    object->AddRef();
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(kOther, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->RefCount(), 1u);

    for (const IID* iid : { &IUnknown::kIid, &IAlpha::kIid }) {
        ASSERT_EQ(object->QueryInterface(*iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<IAlpha*>(object));
        EXPECT_EQ(object->RefCount(), 2u);
        static_cast<IAlpha*>(out)->Release();
    }
    EXPECT_EQ(object->QueryInterface(IAlpha::kIid, nullptr), E_POINTER);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCountTest, TwoInterfacesShareOneCount)
{
    auto* object = new Two;
    object->AddRef();
    void* out = nullptr;
    ASSERT_EQ(object->QueryInterface(IBeta::kIid, &out), S_OK);
    IBeta* beta = static_cast<IBeta*>(out);
    EXPECT_EQ(beta->Beta(), 2);
    EXPECT_EQ(object->RefCount(), 2u);
    // IUnknown through the second interface forwards to the first base.
    ASSERT_EQ(beta->QueryInterface(IUnknown::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<IAlpha*>(object));
    EXPECT_EQ(beta->AddRef(), 4u);
    beta->Release();
    beta->Release();
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(RefCountTest, DerivedFirstInterfaceAlsoAnswersItsBase)
{
    auto* object = new TwoOne;
    void* out = nullptr;
    ASSERT_EQ(object->QueryInterface(IBetaBase::kIid, &out), S_OK);
    EXPECT_EQ(static_cast<IBetaBase*>(out)->Base(), 3);
    static_cast<IBetaBase*>(out)->Release();
    ASSERT_EQ(object->QueryInterface(IAlpha::kIid, &out), S_OK);
    static_cast<IAlpha*>(out)->Release();
    EXPECT_EQ(object->Release(), 0u);
}

// An object whose destructor takes and drops a reference to itself, as an object does when it
// hands itself to a callee during teardown.
template <class Base> struct Reentrant : Base {
    ~Reentrant() override
    {
        seenDuringDestruction = this->AddRef();
        this->Release();
        ++gDestroyed;
    }
    inline static ULONG seenDuringDestruction = 0;
};

struct RootObject : IAlpha, KEL::CComObjectRoot {
    static const KEL::InterfaceMapEntry* GetInterfaceMap()
    {
        static const KEL::InterfaceMapEntry map[] = { KEL::MapEntry<RootObject, IAlpha>(), KEL::kMapEnd };
        return map;
    }
    int Alpha() override { return 7; }
};

// Implements IUnknown itself, so its own destructor can still call its operations.
struct ReentrantRoot final : RootObject {
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        return InternalQueryInterface(static_cast<RootObject*>(this), GetInterfaceMap(), iid, out);
    }
    ULONG AddRef() override { return InternalAddRef(); }
    ULONG Release() override { return ReleaseObject(this); }
    ~ReentrantRoot() override
    {
        seenDuringDestruction = AddRef();
        Release();
        ++gDestroyed;
    }
    inline static ULONG seenDuringDestruction = 0;
};

TEST_F(RefCountTest, ReleaseDuringDestructionDoesNotDestroyTwice)
{
    auto* simple = new Reentrant<Plain>;
    EXPECT_EQ(simple->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(Reentrant<Plain>::seenDuringDestruction, vx::com::kDyingCount + 1);

    gDestroyed = 0;
    IAlpha* root = new ReentrantRoot;
    root->AddRef();
    EXPECT_EQ(root->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(ReentrantRoot::seenDuringDestruction, vx::com::kDyingCount + 1);
}

TEST_F(RefCountTest, InterfaceMapLookup)
{
    auto* object = new KEL::CComObject<RootObject>;
    object->AddRef();
    void* out = reinterpret_cast<void*>(0x1);
    const KEL::InterfaceMapEntry* map = RootObject::GetInterfaceMap();
    EXPECT_EQ(KEL::CComObjectRoot::InternalQueryInterface(nullptr, map, IAlpha::kIid, &out), E_INVALIDARG);
    EXPECT_EQ(KEL::CComObjectRoot::InternalQueryInterface(object, nullptr, IAlpha::kIid, &out), E_INVALIDARG);
    EXPECT_EQ(KEL::CComObjectRoot::InternalQueryInterface(static_cast<RootObject*>(object), map, IAlpha::kIid, nullptr),
        E_POINTER);
    EXPECT_EQ(object->QueryInterface(kOther, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->RefCount(), 1u);
    ASSERT_EQ(object->QueryInterface(IUnknown::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<IAlpha*>(object));
    EXPECT_EQ(object->RefCount(), 2u);
    static_cast<IAlpha*>(out)->Release();
    EXPECT_FALSE(object->CriticalSectionInitialised());
    {
        std::lock_guard lock(object->CriticalSection());
        EXPECT_TRUE(object->CriticalSectionInitialised());
    }
    EXPECT_EQ(object->Release(), 0u);
}

} // namespace
