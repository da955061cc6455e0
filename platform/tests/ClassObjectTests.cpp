#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "com/ClassObjects.h"

namespace {

constexpr CLSID kClassA = vx::com::MakeGuid("{5B0E0F10-0000-4000-8000-0000000000A1}");
constexpr CLSID kClassB = vx::com::MakeGuid("{5B0E0F10-0000-4000-8000-0000000000B2}");

struct IProbe : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5B0E0F10-0000-4000-8000-00000000C0DE}");
    virtual int Tag() = 0;
};

// A class object answering IUnknown and IProbe; counts its references.
class ProbeClass final : public IProbe {
public:
    explicit ProbeClass(int tag)
        : mTag(tag)
    {
    }
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IUnknown::kIid || iid == IProbe::kIid) {
            *out = static_cast<IProbe*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override { return --mCount; }
    int Tag() override { return mTag; }
    ULONG Count() const { return mCount; }

private:
    int mTag;
    std::atomic<ULONG> mCount { 1 };
};

// Revokes a registration when a test ends, whatever happened in it.
struct Registered {
    DWORD cookie = 0;
    Registered(REFCLSID clsid, IUnknown* object, DWORD context = CLSCTX_INPROC_SERVER)
    {
        EXPECT_EQ(CoRegisterClassObject(clsid, object, context, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    }
    ~Registered()
    {
        if (cookie)
            CoRevokeClassObject(cookie);
    }
};

} // namespace

TEST(ClassObjects, RegisteredObjectIsFoundAndHeldUntilRevoked)
{
    ProbeClass probe(7);
    const std::size_t before = vx::com::RegisteredClassObjectCount();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClassA, &probe, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(probe.Count(), 2u); // the registration's reference
    EXPECT_EQ(vx::com::RegisteredClassObjectCount(), before + 1);

    void* out = nullptr;
    ASSERT_EQ(CoGetClassObject(kClassA, CLSCTX_SERVER, nullptr, IProbe::kIid, &out), S_OK);
    EXPECT_EQ(static_cast<IProbe*>(out)->Tag(), 7);
    EXPECT_EQ(probe.Count(), 3u); // the caller's reference
    static_cast<IProbe*>(out)->Release();

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(probe.Count(), 1u);
    EXPECT_EQ(vx::com::RegisteredClassObjectCount(), before);
    EXPECT_EQ(CoRevokeClassObject(cookie), OLE_E_NOCONNECTION);
    out = &probe;
    EXPECT_EQ(CoGetClassObject(kClassA, CLSCTX_SERVER, nullptr, IProbe::kIid, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
}

TEST(ClassObjects, LookupFailuresLeaveNullAndCountsUnchanged)
{
    ProbeClass probe(1);
    Registered reg(kClassA, &probe, CLSCTX_INPROC_SERVER);
    struct Case {
        const char* what;
        CLSID clsid;
        DWORD context;
        IID iid;
        HRESULT expected;
    };
    const Case cases[] = {
        { "other class", kClassB, CLSCTX_SERVER, IProbe::kIid, REGDB_E_CLASSNOTREG },
        { "context without in-process server", kClassA, CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, IProbe::kIid,
            REGDB_E_CLASSNOTREG },
        { "zero context", kClassA, 0, IProbe::kIid, E_INVALIDARG },
        { "unsupported interface", kClassA, CLSCTX_SERVER, IClassFactory::kIid, E_NOINTERFACE },
    };
    for (const Case& c : cases) {
        void* out = &probe;
        EXPECT_EQ(CoGetClassObject(c.clsid, c.context, nullptr, c.iid, &out), c.expected) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
        EXPECT_EQ(probe.Count(), 2u) << c.what;
    }
    EXPECT_EQ(CoGetClassObject(kClassA, CLSCTX_SERVER, nullptr, IProbe::kIid, nullptr), E_INVALIDARG);
}

TEST(ClassObjects, BadRegistrationsAreRefused)
{
    ProbeClass probe(1);
    DWORD cookie = 99;
    EXPECT_EQ(CoRegisterClassObject(kClassA, nullptr, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(CoRegisterClassObject(kClassA, &probe, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, nullptr), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClassA, &probe, 0, REGCLS_MULTIPLEUSE, &cookie), E_INVALIDARG);
    EXPECT_EQ(CoRegisterClassObject(kClassA, &probe, CLSCTX_INPROC_SERVER, 0, &cookie), E_INVALIDARG);
    EXPECT_EQ(probe.Count(), 1u);
    EXPECT_EQ(CoRevokeClassObject(0), OLE_E_NOCONNECTION);
}

TEST(ClassObjects, EarliestLiveRegistrationAnswers)
{
    ProbeClass first(1), second(2);
    DWORD firstCookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClassB, &first, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &firstCookie), S_OK);
    Registered later(kClassB, &second);
    EXPECT_NE(firstCookie, later.cookie);
    auto tag = [] {
        void* out = nullptr;
        if (FAILED(CoGetClassObject(kClassB, CLSCTX_SERVER, nullptr, IProbe::kIid, &out)))
            return 0;
        const int t = static_cast<IProbe*>(out)->Tag();
        static_cast<IProbe*>(out)->Release();
        return t;
    };
    EXPECT_EQ(tag(), 1);
    ASSERT_EQ(CoRevokeClassObject(firstCookie), S_OK);
    EXPECT_EQ(tag(), 2);
}

TEST(ClassObjects, ConcurrentRegistrationAndLookupKeepCountsExact)
{
    ProbeClass probe(3);
    Registered reg(kClassA, &probe);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&probe] {
            for (int i = 0; i < 500; ++i) {
                DWORD cookie = 0;
                CoRegisterClassObject(kClassB, &probe, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
                void* out = nullptr;
                if (SUCCEEDED(CoGetClassObject(kClassA, CLSCTX_SERVER, nullptr, IProbe::kIid, &out)))
                    static_cast<IProbe*>(out)->Release();
                CoRevokeClassObject(cookie);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(probe.Count(), 2u);
}

TEST(OleInitialisation, FirstCallOnAThreadIsOkLaterCallsReportAlreadyInitialised)
{
    auto run = [] {
        std::vector<HRESULT> results;
        results.push_back(OleInitialize(nullptr));
        results.push_back(OleInitialize(nullptr));
        OleUninitialize();
        OleUninitialize();
        results.push_back(OleInitialize(nullptr)); // balanced: initialised afresh
        OleUninitialize();
        return results;
    };
    const std::vector<HRESULT> expected { S_OK, S_FALSE, S_OK };
    EXPECT_EQ(run(), expected);
    std::vector<HRESULT> other;
    std::thread([&] { other = run(); }).join(); // each thread keeps its own state
    EXPECT_EQ(other, expected);
}
