// The plot data sources over the document's vectors: reading in blocks, moving the position,
// ranges, units, labels, and a source whose document is gone.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/units/UnitEntry.h"
#include "hrv_ui/PlotSources.h"

using namespace HRV;

namespace {

struct Held {
    IEnumFloatEx* source = nullptr;
    ~Held()
    {
        if (source)
            source->Release();
    }
};

KEL::String TextOf(IEnumFloatEx* source, LONG index)
{
    KEL::IEtchEnum* labels = nullptr;
    EXPECT_EQ(source->QueryInterface(KEL::IEtchEnum::kIid, reinterpret_cast<void**>(&labels)), S_OK);
    KEL::String text;
    EXPECT_EQ(labels->GetElementText(index, &text), S_OK);
    labels->Release();
    return text;
}

} // namespace

TEST(PlotSource, ReadsScaledValuesInBlocksAndMovesWithinTheVector)
{
    const std::vector<double> rr { 0.8, 0.75, 0.9, 0.85 };
    Held h { MakeSource(KEL::String(L"$RR"), &rr, 1000.0, nullptr, std::make_shared<SourceLifetime>(), nullptr) };
    float values[8] = {};
    ULONG fetched = 0;
    ASSERT_EQ(h.source->Next(3, values, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_FLOAT_EQ(values[0], 800.0f);
    EXPECT_FLOAT_EQ(values[2], 900.0f);
    EXPECT_EQ(h.source->Next(3, values, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_FLOAT_EQ(values[0], 850.0f);
    // At the end nothing more comes, and still S_OK.
    EXPECT_EQ(h.source->Next(3, values, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);

    struct SkipCase {
        LONG from, by;
        HRESULT result;
        LONG skipped, position;
    };
    const SkipCase cases[] = {
        { 0, 2, S_OK, 2, 2 }, // within the vector
        { 2, 5, S_FALSE, 2, 4 }, // past the end stops at the size
        { 3, -7, S_FALSE, -3, 0 }, // before the start stops at 0
        { 4, 0, S_OK, 0, 4 },
    };
    for (const SkipCase& c : cases) {
        LONG position = 0, skipped = 99;
        h.source->GetPosition(&position);
        h.source->Skip(-position, nullptr);
        h.source->Skip(c.from, nullptr);
        EXPECT_EQ(h.source->Skip(c.by, &skipped), c.result) << c.from << " by " << c.by;
        EXPECT_EQ(skipped, c.skipped);
        h.source->GetPosition(&position);
        EXPECT_EQ(position, c.position);
    }

    // A clone keeps the position and reads the same vector on its own.
    h.source->Skip(-4, nullptr);
    h.source->Skip(1, nullptr);
    IEnumFloatEx* clone = nullptr;
    ASSERT_EQ(h.source->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, values, &fetched), S_OK);
    EXPECT_FLOAT_EQ(values[0], 750.0f);
    LONG position = 0;
    h.source->GetPosition(&position);
    EXPECT_EQ(position, 1);
    clone->Release();
}

TEST(PlotSource, InfoGivesNameCountScaledRangeAndUnit)
{
    const std::vector<double> rr { 0.8, 0.7, 0.9, 0.7 };
    const std::vector<double> none;
    auto* unit = new KEL::UnitEntry(KEL::String(L"s"), 7);
    unit->AddRef();
    Held full { MakeSource(KEL::String(L"$RR"), &rr, 1000.0, unit, std::make_shared<SourceLifetime>(), nullptr) };
    Held empty { MakeSource(
        KEL::String(L"$None"), &none, 1000.0, nullptr, std::make_shared<SourceLifetime>(), nullptr) };
    unit->Release();

    IEtchEnumInfo* info = InfoOf(full.source);
    ASSERT_NE(info, nullptr);
    IKELString* rep = nullptr;
    ASSERT_EQ(info->GetName(&rep), S_OK);
    KEL::String name;
    name.AssignRep(rep);
    EXPECT_EQ(name.ToWString(), L"$RR");
    std::int64_t count = 0;
    EXPECT_EQ(info->GetCount(&count), S_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(info->GetCount(nullptr), E_FAIL);
    double lo = 0, hi = 0;
    EXPECT_EQ(info->GetRange(&lo, &hi), S_OK);
    EXPECT_DOUBLE_EQ(lo, 700.0);
    EXPECT_DOUBLE_EQ(hi, 900.0);
    EXPECT_EQ(info->GetRange(nullptr, &hi), S_OK); // either output may be left out
    IUnitName* u = nullptr;
    ASSERT_EQ(info->GetUnit(&u), S_OK);
    ASSERT_NE(u, nullptr);
    u->GetText(0xFFFF, &rep);
    KEL::String unitText;
    unitText.AssignRep(rep);
    EXPECT_EQ(unitText.ToWString(), L"ms");
    u->Release();
    info->Release();

    // An empty vector: S_FALSE, and the outputs stay as the caller set them, times the factor.
    info = InfoOf(empty.source);
    lo = -1, hi = 2;
    EXPECT_EQ(info->GetRange(&lo, &hi), S_FALSE);
    EXPECT_DOUBLE_EQ(lo, -1000.0);
    EXPECT_DOUBLE_EQ(hi, 2000.0);
    EXPECT_EQ(info->GetUnit(&u), S_FALSE);
    EXPECT_EQ(u, nullptr);
    info->Release();
}

TEST(PlotSource, LabelsOfValuesAndOfPointsAndNothingBeyondTheEnd)
{
    const std::vector<double> rr { 0.8, 0.75 };
    const std::vector<PoincarePoint> points { { 0.8, 0.75, 1, 360, 0 }, { 0.75, 0.9, 2, 630, 0x7FFFFFFF } };
    const auto lifetime = std::make_shared<SourceLifetime>();
    Held values { MakeSource(KEL::String(L"$RR"), &rr, 1000.0, nullptr, lifetime, nullptr) };
    Held x, y;
    MakeSourcePair(KEL::String(L"$X"), KEL::String(L"$Y"), &points, 1000.0, 1000.0, nullptr, nullptr, lifetime, nullptr,
        &x.source, &y.source);
    EXPECT_EQ(TextOf(values.source, 1).ToWString(), L"1\t0.75"); // unscaled
    EXPECT_EQ(TextOf(values.source, 2).ToWString(), L"");
    EXPECT_EQ(TextOf(values.source, -1).ToWString(), L"");
    EXPECT_EQ(TextOf(x.source, 0).ToWString(), L"360\t0"); // position, then record
    EXPECT_EQ(TextOf(y.source, 1).ToWString(), L"630\t2147483647");

    float v[2] = {};
    ULONG fetched = 0;
    y.source->Next(2, v, &fetched);
    ASSERT_EQ(fetched, 2u);
    EXPECT_FLOAT_EQ(v[1], 900.0f);

    // Once the document is gone the sources read as empty.
    lifetime->Close();
    x.source->Skip(-2, nullptr);
    EXPECT_EQ(x.source->Next(2, v, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(TextOf(x.source, 0).ToWString(), L"");
    IEtchEnumInfo* info = InfoOf(values.source);
    std::int64_t count = -1;
    info->GetCount(&count);
    EXPECT_EQ(count, 0);
    info->Release();
}

TEST(PlotSource, AnswersItsThreeInterfacesAndNoOther)
{
    const std::vector<double> rr { 0.8 };
    Held h { MakeSource(KEL::String(L"$RR"), &rr, 1.0, nullptr, std::make_shared<SourceLifetime>(), nullptr) };
    for (const IID& iid : { IUnknown::kIid, IEnumFloatEx::kIid, IEtchEnumInfo::kIid, KEL::IEtchEnum::kIid }) {
        void* out = nullptr;
        EXPECT_EQ(h.source->QueryInterface(iid, &out), S_OK);
        ASSERT_NE(out, nullptr);
        static_cast<IUnknown*>(out)->Release();
    }
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(h.source->QueryInterface(IUnitName::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}
