#include "hostframework/datapad/DataPadFunc.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "foundation/XKEL.h"

using vx::hf::MakeTickPosition;
using vx::hf::SourceDescriptor;

namespace {

class FakeDataAccess final : public SimpleUnknownImp1<IDataAccess, 1> {
public:
    DWORD descriptorCode = 0x801E0001u;
    int textCalls = 0;
    HRESULT GetChannelSetting(DWORD kind, LONG channel, LONG, IUnknown** out) override
    {
        lastKind = kind;
        lastChannel = channel;
        *out = this;
        AddRef();
        return S_OK;
    }
    HRESULT GetText(DWORD code, LONG value, LONG channel, BSTR* text) override
    {
        ++textCalls;
        const std::wstring t
            = std::to_wstring(code == 0xC0002000u) + L":" + std::to_wstring(value) + L":" + std::to_wstring(channel);
        *text = SysAllocString(t.c_str());
        return S_OK;
    }
    HRESULT GetSourceDescriptor(DWORD, SourceDescriptor* out) override
    {
        *out = { descriptorCode, 7, 0 };
        return S_OK;
    }
    DWORD lastKind = 0;
    LONG lastChannel = -1;
};

class FakeClass final : public SimpleUnknownImp1<IDataPadFuncClass, 1> {
public:
    DWORD sourceWord = 0x20000000u;
    HRESULT GetIds(DWORD* a, DWORD* b) override
    {
        *a = 11;
        *b = 22;
        return S_OK;
    }
    HRESULT GetKindText(DWORD kind, BSTR* text) override
    {
        *text = SysAllocString(kind == 1 ? L"Average RR" : L"?");
        return S_OK;
    }
    HRESULT GetSourceDescription(SourceDescriptor* out) override
    {
        *out = { 0x801E0002u, sourceWord, 0 };
        return S_OK;
    }
};

// A data-pad function whose calculation is a test's function; it records the change flags it saw.
class TestFunc final : public ChanDataFuncIfRecordDataMatchesDoc {
public:
    TestFunc(IDataPadFuncClass* c, LONG channel)
        : ChanDataFuncIfRecordDataMatchesDoc(c, nullptr, channel)
    {
    }
    std::function<HRESULT(TestFunc&, VARIANT*)> calculate = [](TestFunc&, VARIANT* v) {
        v->vt = VT_R8;
        v->dblVal = 0.75;
        return S_OK;
    };
    std::vector<DWORD> seenFlags;
    const SourceDescriptor& AccessSource() const { return mAccessSource; }
    void SetDocument(IDataAccess* a) { mDocumentDataAccess = a; }
    void AskForText(LONG value)
    {
        mTextFlag = 1;
        mTextValue = value;
    }

    HRESULT CalculateValue(VARIANT* result) override
    {
        seenFlags.push_back(ChangeFlags());
        return calculate(*this, result);
    }
};

struct DataPadFixture : ::testing::Test {
    FakeClass classObject;
    FakeDataAccess access;
    TestFunc* f = new TestFunc(&classObject, 2);
    ~DataPadFixture() override { f->Release(); }
};

TEST_F(DataPadFixture, EvaluatesOnlyWithDataAccessAndReportsWhatChanged)
{
    VARIANT v;
    EXPECT_EQ(f->Evaluate(2, 2, &v), E_FAIL);
    EXPECT_TRUE(f->seenFlags.empty());

    f->SetDataAccess(&access);
    ASSERT_EQ(f->Evaluate(2, 2, &v), S_OK);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 0.75);
    EXPECT_EQ(f->ChangeFlags(), 0u);
    VARIANT again;
    EXPECT_EQ(f->GetResult(&again), S_OK);
    EXPECT_EQ(again.dblVal, 0.75);

    // Each reason adds its flag; reason 0 after any other leaves all five.
    const struct {
        DWORD reason;
        DWORD flags;
    } cases[] = { { 2, 0x01 }, { 1, 0x02 }, { 8, 0x08 }, { 16, 0x10 }, { 5, 0 }, { 0, 31 } };
    for (const auto& c : cases) {
        f->Evaluate(c.reason, 2, &v);
        EXPECT_EQ(f->seenFlags.back(), c.flags) << c.reason;
    }
    f->Evaluate(2, 2, &v);
    f->Evaluate(0, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 31u);
    // The same access again is no change; a new one is, and its descriptor is read.
    f->SetDataAccess(&access);
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0u);
    EXPECT_EQ(f->AccessSource().code, 0x801E0001u);
    FakeDataAccess other;
    other.descriptorCode = 0x801E0002u;
    f->SetDataAccess(&other);
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0x08u);
    EXPECT_EQ(f->AccessSource().code, 0x801E0002u);
    EXPECT_EQ(f->AccessSource().word, 7u);
    f->SetDataAccess(&access);
    EXPECT_EQ(f->RefCount(), 1u);
}

TEST_F(DataPadFixture, RangePositionAndChannelSetRecordChangesOnce)
{
    const SourceDescriptor d { 0x801E0003u, 1, 0 };
    f->SetDataAccess(&access);
    VARIANT v;
    f->Evaluate(7, 2, &v); // clears the flags
    f->SetRange(&d, MakeTickPosition(0, 0), MakeTickPosition(0, 100));
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0x02u);
    EXPECT_TRUE(f->RangeSet());
    f->SetRange(&d, MakeTickPosition(0, 0), MakeTickPosition(0, 100));
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0u);
    IKELString* text = nullptr;
    EXPECT_EQ(f->GetRangeText(&text), S_OK);
    ASSERT_NE(text, nullptr);
    text->Release();

    // An end record of 0x7FFFFFFF is stored, but the range is not set.
    f->SetRange(&d, MakeTickPosition(0, 0), MakeTickPosition(0x7FFFFFFF, 100));
    EXPECT_EQ(f->RangeEnd(), MakeTickPosition(0x7FFFFFFF, 100));
    EXPECT_FALSE(f->RangeSet());
    EXPECT_EQ(f->GetRangeText(&text), S_FALSE);
    EXPECT_EQ(text, nullptr);

    f->Evaluate(7, 2, &v);
    f->SetPosition(&d, MakeTickPosition(1, 5), 3);
    f->SetPosition(&d, MakeTickPosition(1, 5), 3);
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0x01u);
    EXPECT_TRUE(f->PositionSet());

    // Channel sets compare by value.
    KEL::Bitset same; // empty, like the held set
    f->SetChannels(same.Rep());
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0u);
    KEL::Bitset other;
    other.Set(3);
    f->SetChannels(other.Rep());
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0x02u);
    EXPECT_TRUE(KEL::Bitset(f->Channels()).Test(3));
    KEL::Bitset equal;
    equal.Set(3);
    f->SetChannels(equal.Rep());
    f->Evaluate(7, 2, &v);
    EXPECT_EQ(f->seenFlags.back(), 0u);
}

TEST_F(DataPadFixture, OnlyTheDocumentsOwnDataAccessIsEvaluated)
{
    FakeDataAccess otherDocument;
    f->SetDocument(&access);
    f->SetDataAccess(&otherDocument);
    VARIANT v;
    v.vt = VT_R8;
    EXPECT_EQ(f->GetValue(0, 2, &v), E_FAIL);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_TRUE(f->seenFlags.empty());
    f->SetDataAccess(&access);
    EXPECT_EQ(f->GetValue(0, 2, &v), S_OK);
    EXPECT_EQ(v.dblVal, 0.75);
    // Through the interface the host holds.
    IKELDataFunction* data = nullptr;
    ASSERT_EQ(f->QueryInterface(IKELDataFunction::kIid, reinterpret_cast<void**>(&data)), S_OK);
    DWORD id = 0;
    EXPECT_EQ(data->GetSecondId(&id), S_OK);
    EXPECT_EQ(id, 22u);
    EXPECT_EQ(data->Detach(), S_OK); // releases the data access
    EXPECT_EQ(f->DataAccess(), nullptr);
    EXPECT_EQ(data->GetValue(0, 2, &v), E_FAIL);
    data->Release();
}

TEST_F(DataPadFixture, FailuresComeBackAsResultsNeverAsExceptions)
{
    f->SetDataAccess(&access);
    VARIANT v;
    const struct {
        const char* what;
        std::function<HRESULT(TestFunc&, VARIANT*)> calculate;
        HRESULT expected;
    } cases[] = {
        { "returned failure", [](TestFunc&, VARIANT*) { return E_INVALIDARG; }, E_INVALIDARG },
        { "XKEL", [](TestFunc&, VARIANT*) -> HRESULT { throw XKEL(E_OUTOFMEMORY); }, E_OUTOFMEMORY },
        { "standard exception", [](TestFunc&, VARIANT*) -> HRESULT { throw std::runtime_error("x"); }, E_FAIL },
        { "bad result type",
            [](TestFunc&, VARIANT* r) {
                r->vt = 0x77;
                return S_OK;
            },
            DISP_E_BADVARTYPE },
        { "aborted meanwhile",
            [](TestFunc& self, VARIANT* r) {
                r->vt = VT_R8;
                self.SetAbort(1);
                return S_OK;
            },
            E_ABORT },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        f->calculate = c.calculate;
        HRESULT hr = S_OK;
        EXPECT_NO_THROW(hr = f->Evaluate(0, 2, &v));
        EXPECT_EQ(hr, c.expected);
        EXPECT_EQ(f->LastResult(), c.expected);
        VariantClear(&v);
    }
    f->calculate = [](TestFunc&, VARIANT*) { return E_INVALIDARG; };
    f->Evaluate(0, 2, &v);
    // The bad-type case leaves VT_ERROR with the code in the caller's VARIANT.
    f->calculate = [](TestFunc&, VARIANT* r) {
        r->vt = 0x77;
        return S_OK;
    };
    f->Evaluate(0, 2, &v);
    EXPECT_EQ(v.vt, VT_ERROR);
    EXPECT_EQ(v.scode, DISP_E_BADVARTYPE);
}

TEST_F(DataPadFixture, ChannelSettingAndValueText)
{
    IUnknown* setting = nullptr;
    EXPECT_EQ(f->GetChannelSetting(&setting), S_FALSE); // no data access yet
    EXPECT_EQ(setting, nullptr);
    f->SetDataAccess(&access);
    ASSERT_EQ(f->GetChannelSetting(&setting), S_OK);
    EXPECT_EQ(access.lastKind, 0x40000000u);
    EXPECT_EQ(access.lastChannel, 2);
    setting->Release();
    classObject.sourceWord = 0; // a function that reads no channel
    EXPECT_EQ(f->GetChannelSetting(&setting), S_FALSE);

    KEL::String text;
    EXPECT_EQ(f->GetValueText(text), S_OK);
    EXPECT_EQ(text, L"");
    EXPECT_EQ(access.textCalls, 0);
    f->AskForText(42);
    EXPECT_EQ(f->GetValueText(text), S_OK);
    EXPECT_EQ(text, L"1:42:2");
    BSTR kind = nullptr;
    EXPECT_EQ(f->GetKindText(1, &kind), S_OK);
    EXPECT_EQ(std::wstring(kind), L"Average RR");
    SysFreeString(kind);
}

} // namespace
