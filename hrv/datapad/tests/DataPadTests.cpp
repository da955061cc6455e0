// The HRV parameters on a real document: each cell analyses its own region with the document's
// settings, re-analyses only when its range, channels or data access change, and fails without
// a value for a region without intervals, for another recording's data or without a document.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/recording/Import.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/datapad/ClassObjects.h"
#include "hrv/document/Document.h"
#include "integration/ExtensionChain.h"

using namespace HRV;
using vx::host::HrvHostDocument;
using vx::host::HrvHostDocumentObject;
using vx::host::Recording;

namespace {

std::shared_ptr<Recording> Mitdb100(double seconds)
{
    const char* dir = std::getenv("VX_TEST_DATA");
    static const Recording full
        = vx::host::ImportWfdb(std::filesystem::path(dir ? dir : VX_TEST_DATA_DIR) / "mitdb" / "100.hea", {});
    auto r = std::make_shared<Recording>();
    r->channels = full.channels;
    const vx::host::Record& src = full.records[0];
    const int record = r->AddRecord(src.interval, 0.0);
    const auto n = static_cast<int64_t>(seconds / src.interval);
    std::vector<float> values(static_cast<std::size_t>(n));
    for (int c = 0; c < full.ChannelCount(); ++c) {
        src.channels[static_cast<std::size_t>(c)].Read(0, values);
        r->records[static_cast<std::size_t>(record)].channels[static_cast<std::size_t>(c)].Append(values);
    }
    r->records[static_cast<std::size_t>(record)].length = n;
    return r;
}

class DataPadTest : public caf::test::RegisteredFramework {
protected:
    // A recording of 120 s with its HRV document analysed, attached to the host document object
    // the parameters are created for.
    struct Setup {
        Setup()
            : host(Mitdb100(120))
        {
            EXPECT_EQ(vx::integration::InstallExtensionEnumerators(host.Engine()), 2);
            object = new HrvHostDocumentObject(host);
            doc = new Document(static_cast<IRecordingDocument*>(object), nullptr, 0);
            doc->AddRef();
            host.Attach(static_cast<ICAFCommandHandler*>(doc));
            object->AttachChild(DocumentClassKey(), static_cast<ICAFCommandHandler*>(doc));
            doc->GetSettings().mExcludeEctopics = false;
            EXPECT_EQ(doc->OnCommand(Document::CommandId(kCmdAnalyse)), S_OK);
        }
        ~Setup()
        {
            object->DetachChildren();
            object->Release();
            doc->Close();
            host.Detach();
            doc->Release();
        }
        IKELDataFunction* Function(const char* id)
        {
            const ParameterDesc* d = FindParameter(std::wstring(id, id + std::strlen(id)));
            DataPadFuncClass* c = DataPadFunctionClasses()[static_cast<std::size_t>(d - ParameterTable().data())];
            IUnknown* f = nullptr;
            EXPECT_EQ(c->CreateFunction(static_cast<IDataPadSource*>(object), 0, nullptr, &f), S_OK);
            void* data = nullptr;
            EXPECT_EQ(f->QueryInterface(IKELDataFunction::kIid, &data), S_OK);
            f->Release();
            auto* function = static_cast<IKELDataFunction*>(data);
            function->SetDataAccess(object->DataAccess());
            return function;
        }
        static std::int64_t Tick(double seconds)
        {
            return vx::hf::MakeTickPosition(0, static_cast<int32_t>(seconds * 360));
        }
        HrvHostDocument host;
        Document* doc;
        HrvHostDocumentObject* object;
    };
};

HRESULT Value(IKELDataFunction* f, DWORD reason, VARIANT& v)
{
    VariantClear(&v);
    return f->GetValue(reason, 0, &v);
}

} // namespace

TEST_F(DataPadTest, CellsAnalyseTheirOwnRegion)
{
    Setup s;
    const vx::hf::SourceDescriptor own {};
    IKELDataFunction* total = s.Function("TotalCount");
    IKELDataFunction* mean = s.Function("MeanRR");
    VARIANT v;
    VariantInit(&v);

    // Over the document's whole range a cell equals the document's own analysis.
    const AnalysisEngine& e = s.doc->Engine();
    ASSERT_GT(e.mStats.mCount, 100u);
    total->SetRange(&own, Setup::Tick(0), Setup::Tick(120));
    ASSERT_EQ(Value(total, 1, v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, static_cast<LONG>(e.mNormalCount + e.mEctopicCount));
    mean->SetRange(&own, Setup::Tick(0), Setup::Tick(120));
    ASSERT_EQ(Value(mean, 1, v), S_OK);
    EXPECT_NEAR(v.dblVal, e.mStats.mSumRR / static_cast<double>(e.mStats.mCount) * 1000, 1e-9);

    // The first half holds about half the intervals.
    total->SetRange(&own, Setup::Tick(0), Setup::Tick(60));
    ASSERT_EQ(Value(total, 1, v), S_OK);
    const LONG half = v.lVal;
    EXPECT_NEAR(half, static_cast<double>(e.mStats.mCount) / 2, 8);

    // A change of position only keeps the last analysis, even when the settings changed since;
    // a change of range analyses again with the document's current settings.
    IKELDataFunction* pnn = s.Function("pNNx");
    pnn->SetRange(&own, Setup::Tick(0), Setup::Tick(60));
    ASSERT_EQ(Value(pnn, 1, v), S_OK);
    const double before = v.dblVal;
    EXPECT_GT(before, 0.0);
    s.doc->GetSettings().mPRRThreshold = 10.0; // no difference of successive intervals is that large
    pnn->SetPosition(&own, Setup::Tick(10), 0);
    ASSERT_EQ(Value(pnn, 2, v), S_OK);
    EXPECT_EQ(v.dblVal, before);
    pnn->SetRange(&own, Setup::Tick(0), Setup::Tick(61));
    ASSERT_EQ(Value(pnn, 1, v), S_OK);
    EXPECT_EQ(v.dblVal, 0.0);
    pnn->Release();

    total->Release();
    mean->Release();
}

TEST_F(DataPadTest, NoIntervalNoDocumentOrAnotherRecordingGiveNoValue)
{
    Setup s;
    const vx::hf::SourceDescriptor own {};
    VARIANT v;
    VariantInit(&v);

    // A range whose start equals its end covers one sample: no interval.
    IKELDataFunction* f = s.Function("MeanRR");
    f->SetRange(&own, Setup::Tick(30), Setup::Tick(30));
    EXPECT_EQ(Value(f, 0, v), E_FAIL);
    EXPECT_EQ(v.vt, VT_EMPTY);

    // The data access of another recording.
    HrvHostDocument other(Mitdb100(20));
    auto* otherObject = new HrvHostDocumentObject(other);
    f->SetDataAccess(otherObject->DataAccess());
    f->SetRange(&own, Setup::Tick(0), Setup::Tick(60));
    EXPECT_EQ(Value(f, 8, v), E_FAIL);
    EXPECT_EQ(v.vt, VT_EMPTY);
    f->Release();

    // A host document without an HRV document.
    IUnknown* raw = nullptr;
    ASSERT_EQ(
        DataPadFunctionClasses()[5]->CreateFunction(static_cast<IDataPadSource*>(otherObject), 0, nullptr, &raw), S_OK);
    void* data = nullptr;
    raw->QueryInterface(IKELDataFunction::kIid, &data);
    raw->Release();
    auto* orphan = static_cast<IKELDataFunction*>(data);
    orphan->SetDataAccess(otherObject->DataAccess());
    orphan->SetRange(&own, Setup::Tick(0), Setup::Tick(10));
    EXPECT_EQ(Value(orphan, 0, v), E_FAIL);
    orphan->Release();
    otherObject->Release();
}

TEST_F(DataPadTest, StartAndEndFollowTheDocumentRangeAndTextsComeWithTheFunction)
{
    Setup s;
    const vx::hf::SourceDescriptor own {};
    VARIANT v;
    VariantInit(&v);
    IKELDataFunction* start = s.Function("AnalysisStart");
    IKELDataFunction* end = s.Function("AnalysisEnd");
    for (IKELDataFunction* f : { start, end })
        f->SetRange(&own, Setup::Tick(40), Setup::Tick(80));
    ASSERT_EQ(Value(start, 0, v), S_OK);
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 0.0);
    ASSERT_EQ(Value(end, 0, v), S_OK);
    EXPECT_NEAR(v.dblVal, 120.0, 1.0 / 360);

    void* texts = nullptr;
    ASSERT_EQ(end->QueryInterface(IDataFunctionTexts::kIid, &texts), S_OK);
    IKELString* text = nullptr;
    EXPECT_EQ(static_cast<IDataFunctionTexts*>(texts)->GetUnitText(&text), E_FAIL);
    ASSERT_EQ(static_cast<IDataFunctionTexts*>(texts)->GetFormatText(&text), S_OK);
    EXPECT_EQ(KEL::String(text), KEL::String(L"HH:mm:ss.00"));
    text->Release();
    static_cast<IDataFunctionTexts*>(texts)->Release();
    start->Release();
    end->Release();
}

TEST_F(DataPadTest, CellsOfOneRegionReadTheBeatsOnceUntilTheAnalysisChanges)
{
    Setup s;
    const vx::hf::SourceDescriptor own {};
    VARIANT v;
    VariantInit(&v);
    IKELDataFunction* mean = s.Function("MeanRR");
    IKELDataFunction* sdrr = s.Function("SDRR");
    for (IKELDataFunction* f : { mean, sdrr })
        f->SetRange(&own, Setup::Tick(0), Setup::Tick(100));
    ASSERT_EQ(Value(mean, 0, v), S_OK);
    const double first = v.dblVal;
    ASSERT_EQ(Value(sdrr, 0, v), S_OK);
    EXPECT_EQ(s.object->Events().DocumentReads(), 1u);

    // A new analysis of the document may change the beats: they are read again, and the value is
    // the one of a fresh read.
    EXPECT_EQ(s.doc->OnCommand(Document::CommandId(kCmdAnalyse)), S_OK);
    ASSERT_EQ(Value(mean, 0, v), S_OK);
    EXPECT_EQ(s.object->Events().DocumentReads(), 2u);
    EXPECT_EQ(v.dblVal, first);
    mean->Release();
    sdrr->Release();
}
