// A data-pad function evaluated against the stand-in host's document: it reads the cell's channel
// through the document's data access.
#include "host/recording/HostDocument.h"
#include "hostframework/datapad/DataPadFunc.h"
#include "hostframework/interfaces/CalcInterfaces.h"

#include <gtest/gtest.h>

namespace {

class ChannelClass final : public SimpleUnknownImp1<IDataPadFuncClass, 1> {
public:
    HRESULT GetIds(DWORD* a, DWORD* b) override
    {
        *a = *b = 1;
        return S_OK;
    }
    HRESULT GetKindText(DWORD, BSTR* t) override
    {
        *t = nullptr;
        return S_OK;
    }
    HRESULT GetSourceDescription(vx::hf::SourceDescriptor* out) override
    {
        *out = { 0x801E0002u, 0x20000000u, 0 };
        return S_OK;
    }
};

// The mean of the first ten samples of the cell's channel.
class MeanOfTen final : public ChanDataFuncIfRecordDataMatchesDoc {
public:
    MeanOfTen(IDataPadFuncClass* c, LONG channel, IDataAccess* document)
        : ChanDataFuncIfRecordDataMatchesDoc(c, nullptr, channel)
    {
        mDocumentDataAccess = document;
    }
    int calculations = 0;
    HRESULT CalculateValue(VARIANT* result) override
    {
        ++calculations;
        IUnknown* object = nullptr;
        if (GetChannelSetting(&object) != S_OK)
            return E_FAIL;
        IFloatStreamEx* stream = nullptr;
        object->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(&stream));
        object->Release();
        if (!stream)
            return E_NOINTERFACE;
        float v[10];
        ULONG got = 0;
        const HRESULT hr = stream->Read(10, v, &got);
        stream->Release();
        if (FAILED(hr) || got != 10)
            return E_FAIL;
        double sum = 0;
        for (float x : v)
            sum += x;
        result->vt = VT_R8;
        result->dblVal = sum / 10;
        return S_OK;
    }
};

std::shared_ptr<vx::host::Recording> Ramp()
{
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup setup;
    setup.factor = 0.5;
    r->AddChannel(setup);
    r->AddRecord(0.01);
    std::vector<int16_t> v(100);
    for (int i = 0; i < 100; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<int16_t>(i);
    r->records[0].channels[0] = vx::host::SampleStore(std::move(v));
    r->records[0].length = 100;
    return r;
}

TEST(DataPadOnHost, ReadsTheCellsChannelThroughItsOwnDocument)
{
    auto* doc = new vx::host::HostDocument(Ramp());
    auto* other = new vx::host::HostDocument(Ramp());
    ChannelClass classObject;
    auto* f = new MeanOfTen(&classObject, 0, doc);
    VARIANT v;
    f->SetDataAccess(other);
    EXPECT_EQ(f->GetValue(0, 0, &v), E_FAIL);
    EXPECT_EQ(f->calculations, 0);
    f->SetDataAccess(doc);
    ASSERT_EQ(f->GetValue(0, 0, &v), S_OK);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_DOUBLE_EQ(v.dblVal, 4.5 * 0.5); // mean of 0..9, scaled
    // A channel the document does not have fails with an HRESULT.
    EXPECT_EQ(f->GetValue(0, 5, &v), E_FAIL);
    f->Release();
    EXPECT_EQ(doc->Release(), 0u);
    EXPECT_EQ(other->Release(), 0u);
}

} // namespace
