// The HRV channel calculation: its settings, ids and per-measure channel setup, and the
// calculation made through the host's registry of calculation classes on record 100.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>

#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "host/caf/tests/RegisteredFramework.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/import/Wfdb.h"
#include "host/recording/CalculationClasses.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/ManagerDetectorHost.h"
#include "hrv/analysis/RecordingAnalysisHost.h"
#include "hrv/core/tests/HrvTestSupport.h"
#include "hrv/document/Document.h"
#include "hrv/module/ChannelCalc.h"
#include "hrv/module/ModuleEntry.h"
#include "hrv/module/tests/HoldingCollector.h"
#include "hrv_ui/Dialogs.h"
#include "integration/ExtensionChain.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialog.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

using namespace HRV;
namespace Item = HRV::ControlId;
using HRV::test::StreamRef;

TEST(ChannelCalc, SettingsRoundTripAndRefuseANewerVersion)
{
    ChannelCalcSettings s;
    s.AddRef();
    s.mParameter = kMeasureBeatRate;
    s.mSetGuideLines = false;
    s.mInterpolate = true;
    StreamRef saved;
    ASSERT_EQ(s.Save(saved.Get(), 1), S_OK);
    const std::vector<std::uint8_t> bytes = saved.Bytes();
    // Header word, then version 1, measure 2, flags 0 and 1.
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end()),
        (std::vector<std::uint8_t> { 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0 }));

    ChannelCalcSettings loaded;
    loaded.AddRef();
    StreamRef in(bytes);
    ASSERT_EQ(loaded.Load(in.Get()), S_OK);
    EXPECT_EQ(loaded.mParameter, 2u);
    EXPECT_FALSE(loaded.mSetGuideLines);
    EXPECT_TRUE(loaded.mInterpolate);

    // Version 2 is refused and changes nothing; a non-zero flag word reads as true.
    std::vector<std::uint8_t> newer = bytes;
    newer[4] = 2;
    newer[8] = 5;
    StreamRef newerIn(newer);
    EXPECT_EQ(loaded.Load(newerIn.Get()), static_cast<HRESULT>(0xA0048205u));
    EXPECT_EQ(loaded.mParameter, 2u);
    std::vector<std::uint8_t> flags = bytes;
    flags[12] = 7;
    StreamRef flagsIn(flags);
    ASSERT_EQ(loaded.Load(flagsIn.Get()), S_OK);
    EXPECT_TRUE(loaded.mSetGuideLines);
}

TEST(ChannelCalc, MeasuresGiveTheirTextsUnitsRangesAndFormula)
{
    struct Case {
        std::uint32_t measure;
        const wchar_t* description;
        const wchar_t* unit;
        float low, high;
    };
    const Case cases[] = {
        { 0, L"HRV Calculation : Beat Period", L"s", -2, 2 },
        { 1, L"HRV Calculation : Change in Beat Period", L"s", -0.1f, 0.1f },
        { 2, L"HRV Calculation : Beat Rate", L"BPM", -120, 120 },
        { 5, L"HRV Calculation : Beat Complexity", L"", -2, 2 },
        { 3, L"HRV Calculation : ", L"", -10, 10 },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CalcDescription(c.measure), c.description);
        const CalcChannelSetup s = CalcSetupFor(c.measure);
        EXPECT_EQ(s.unit, c.unit);
        EXPECT_EQ(s.low, c.low);
        EXPECT_EQ(s.high, c.high);
        EXPECT_DOUBLE_EQ(s.gain, (double(c.high) - double(c.low)) / 64000);
    }
    EXPECT_EQ(CalcFormula(2, false), L"HRVSelector(HRV_vFID,2,0)");
    EXPECT_EQ(CalcFormula(5, true), L"HRVSelector(HRV_vFID,5,1)");
}

namespace {

// The framework library's type registry gives the class ids, as in the product.
class CalcHost : public caf::test::RegisteredFramework { };

class FactoryManager final : public ExtLib::ArithmeticChannelManager {
public:
    explicit FactoryManager(IObjectFactory* f)
        : factory(f)
    {
    }
    IObjectFactory* factory;
    IObjectFactory* ObjectFactory() override { return factory; }
    DWORD CalcClassKey() override { return ExtLib::ArithmeticCalcClassId(); }
};

// The first two minutes of MIT-BIH record 100, channel 1.
std::shared_ptr<vx::host::Recording> Record100Start()
{
    const char* data = std::getenv("VX_TEST_DATA");
    const std::filesystem::path dir = data ? data : VX_TEST_DATA_DIR;
    const vx::import::WfdbRecord wfdb = vx::import::ReadRecord(dir / "mitdb" / "100.hea");
    auto r = std::make_shared<vx::host::Recording>();
    vx::host::ChannelSetup ecg;
    ecg.title = L"ECG";
    ecg.unit = L"mV";
    ecg.factor = 1.0 / wfdb.header.signals[0].gain;
    ecg.offset = -static_cast<double>(wfdb.header.signals[0].baseline);
    r->AddChannel(ecg);
    const std::size_t n = static_cast<std::size_t>(120 * wfdb.header.frequency);
    r->AddRecord(1.0 / wfdb.header.frequency, 0.0);
    r->records[0].channels[0]
        = vx::host::SampleStore(std::vector<int16_t>(wfdb.samples[0].begin(), wfdb.samples[0].begin() + n));
    r->records[0].length = static_cast<int64_t>(n);
    return r;
}

using HRV::test::HoldingCollector;

// A recording document with the extension's enumerators in its engine, a factory of the host's
// formula calculations, and the extension's calculation classes registered with the host.
struct Bench {
    vx::host::HostDocument* doc = new vx::host::HostDocument(Record100Start());
    vx::host::HostObjectFactory* factory
        = new vx::host::HostObjectFactory(ExtLib::ArithmeticCalcClassId(), ExtLib::FormulaSettingsClassKey());
    vx::host::CalculationClassRegistry registry;

    Bench()
    {
        auto context = std::make_shared<FiducialContext>();
        context->numbers = std::make_shared<BeatNumberCache>();
        EXPECT_EQ(vx::integration::InstallExtensionEnumerators(doc->Engine(), context), 2);
        auto* collector = new HoldingCollector;
        EXPECT_EQ(RegisterModuleClassObjectsWith(collector, nullptr, nullptr), S_OK);
        EXPECT_EQ(registry.RegisterAll(collector->objects), 2); // the calculation and its settings
        collector->Release();
    }
    ~Bench()
    {
        EXPECT_EQ(doc->Release(), 0u);
        factory->Release();
    }
    std::uint32_t Named(const wchar_t* name)
    {
        vx::hf::ChannelRef ref;
        EXPECT_EQ(doc->CreateNamedChannel(0, name, nullptr, &ref), S_OK);
        return ref.number;
    }
    // Settings of the measure, made by the registered settings class.
    IUnknown* SettingsFor(std::uint32_t measure)
    {
        IUnknown* settings = nullptr;
        EXPECT_EQ(registry.CreateSettings(CalculationSettingsClassId(), &settings), S_OK);
        auto* s = dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(settings));
        EXPECT_NE(s, nullptr);
        if (s)
            s->mParameter = measure;
        return settings;
    }
};

} // namespace

TEST_F(CalcHost, ClassesAnswerTheirIdsAndTexts)
{
    CalcClass<ChannelCalc>& c = ChannelCalcClass();
    DWORD id = 0;
    ASSERT_EQ(c.GetClassId(&id), S_OK);
    EXPECT_EQ(id, DWORD(HostTypeIndex(GUID_HRVCalculationType)) << 16);
    EXPECT_NE(id, 0u);
    ASSERT_EQ(c.Settings().GetClassId(&id), S_OK);
    EXPECT_EQ(id, (DWORD(HostTypeIndex(GUID_HRVCalculationType)) << 16) | 1);

    void* out = nullptr;
    ASSERT_EQ(c.QueryInterface(ICalculationClass::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<ICalculationClass*>(&c));
    EXPECT_EQ(c.QueryInterface(IPersistClassObject::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(c.Release(), 1u); // static
    ASSERT_EQ(c.Settings().QueryInterface(IPersistClassObject::kIid, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();

    auto text = [](IKELString* rep) {
        KEL::String s;
        s.AssignRep(rep);
        return std::wstring(s.View());
    };
    IKELString* rep = nullptr;
    ASSERT_EQ(c.GetName(&rep), S_OK);
    EXPECT_EQ(text(rep), L"HRV");
    ASSERT_EQ(c.GetDisplayName(&rep), S_OK);
    EXPECT_EQ(text(rep), L"HRV Calculation");
    ASSERT_EQ(c.Settings().GetIdText(&rep), S_OK);
    EXPECT_EQ(text(rep), L"HRVSettings");

    const GUID category = GUID_CalculationClassCategory; // another buffer
    EXPECT_EQ(c.IsCategory(&category), S_OK);
    EXPECT_EQ(c.IsCategory(nullptr), S_FALSE);
    EXPECT_EQ(c.Settings().IsCategory(&category), S_FALSE);
    EXPECT_EQ(c.Settings().IsCategory(&GUID_CalculationSettingsCategory), S_OK);

    // The calculation needs a site that describes its channel.
    IChannelCalc* calc = reinterpret_cast<IChannelCalc*>(1);
    EXPECT_EQ(c.CreateCalc(nullptr, nullptr, &calc), E_FAIL);
    EXPECT_EQ(calc, nullptr);
    EXPECT_EQ(c.CreateCalc(nullptr, sFramework, &calc), E_FAIL);
    EXPECT_EQ(c.CreateCalc(nullptr, nullptr, nullptr), E_POINTER);
}

// The host computes a channel through the registered class: the channel becomes the selector
// formula over the detector's fiducial channel, and its samples hold each beat's measure.
TEST_F(CalcHost, AChannelComputedThroughTheHostShowsTheBeatsOfTheAnalysis)
{
    Bench b;
    const std::uint32_t rate = b.Named(L"HRV Rate");

    // Before any detection there is no fiducial channel: the calculation is kept but shows nothing.
    IUnknown* settings = b.SettingsFor(kMeasureBeatRate);
    EXPECT_EQ(b.registry.ComputeChannel(*b.doc, rate, CalculationClassId(), settings, b.factory), S_FALSE);
    EXPECT_EQ(b.doc->Engine().Formula(L"HRV Rate"), L"");
    std::vector<float> values(1000);
    EXPECT_EQ(b.doc->ReadComputedChannel(rate, 0, 0, values), S_FALSE);

    FactoryManager manager(b.factory);
    manager.SetChannelSource(static_cast<IChannelNames*>(b.doc));
    {
        ManagerDetectorHost detectorHost(manager, b.doc);
        HRVDetector detector(&detectorHost);
        DetectorSettings detection = DefaultDetectorSettings();
        detection.mRangeStart = { 0, 0 };
        detection.mRangeEnd = { 0x7FFFFFFE, 0x7FFFFFFF };
        ASSERT_TRUE(detector.Update(0xFFFFFFFF, &detection));
        const ChannelRef fid = detector.GetFiducialChannel();
        ASSERT_TRUE(fid.IsSet());

        ASSERT_EQ(b.registry.ComputeChannel(*b.doc, rate, CalculationClassId(), settings, b.factory), S_OK);
        EXPECT_EQ(b.doc->Engine().Formula(L"HRV Rate"), L"HRVSelector(HRV_vFID,2,0)");
        const std::uint32_t period = b.Named(L"HRV RR");
        IUnknown* rr = b.SettingsFor(kMeasureBeatPeriod);
        ASSERT_EQ(b.registry.ComputeChannel(*b.doc, period, CalculationClassId(), rr, b.factory), S_OK);
        rr->Release();

        IChannelCalc* calc = b.doc->ChannelCalcOf(rate);
        ASSERT_NE(calc, nullptr);
        BSTR description = nullptr;
        ASSERT_EQ(calc->GetDescription(&description), S_OK);
        EXPECT_STREQ(description, L"HRV Calculation : Beat Rate");
        SysFreeString(description);
        DWORD flags = 0;
        EXPECT_EQ(calc->GetFlags(&flags), S_OK);
        EXPECT_EQ(flags, 0x10000000u);

        // The analysis engine's beats, read from the same fiducial channel.
        RecordingAnalysisHost analysisHost(b.doc, { 0, 0xC0000000u });
        AnalysisEngine engine;
        ASSERT_GT(engine.Analyse(0xFFFFFFFF, &analysisHost, fid, detection.mRangeStart, detection.mRangeEnd,
                      DefaultAnalysisParameters()),
            50u);
        ASSERT_GT(engine.mBeats.size(), 100u) << "record 100 beats about 75 times a minute";

        const LONG length = static_cast<LONG>(b.doc->Data().records[0].length);
        std::vector<float> rates(static_cast<std::size_t>(length)), periods(rates.size());
        ASSERT_EQ(b.doc->ReadComputedChannel(rate, 0, 0, rates), S_OK);
        ASSERT_EQ(b.doc->ReadComputedChannel(period, 0, 0, periods), S_OK);
        EXPECT_TRUE(std::isnan(periods[0])); // before the first beat
        const BeatPoint* previous = nullptr;
        for (const BeatPoint& beat : engine.mBeats) {
            // The selector places a beat at its fractional position rounded: at or after the
            // beat's sample, before the next one.
            const std::size_t after = static_cast<std::size_t>(beat.mOffset) + 1;
            ASSERT_LT(after, periods.size());
            EXPECT_EQ(periods[after], static_cast<float>(beat.mRR)) << "beat " << beat.mBeatNumber;
            EXPECT_NEAR(rates[after], 60.0 / beat.mRR, 1e-3) << "beat " << beat.mBeatNumber;
            if (previous && previous->mOffset + 1 < beat.mOffset - 1) {
                EXPECT_EQ(periods[static_cast<std::size_t>(beat.mOffset) - 1], static_cast<float>(previous->mRR));
            }
            previous = &beat;
        }

        // A stretch read from the middle agrees with the whole.
        std::vector<float> part(5000);
        ASSERT_EQ(b.doc->ReadComputedChannel(period, 0, 20000, part), S_OK);
        for (std::size_t i = 0; i < part.size(); ++i)
            ASSERT_EQ(part[i], periods[20000 + i]) << i;

        // Refused: settings of another kind, bad arguments.
        EXPECT_EQ(calc->Setup(static_cast<IRecordingDoc*>(b.doc)), E_INVALIDARG);
        EXPECT_EQ(calc->Setup(nullptr), E_POINTER);
        EXPECT_EQ(b.doc->Engine().Formula(L"HRV Rate"), L"HRVSelector(HRV_vFID,2,0)");
        IUnknown* kept = nullptr;
        ASSERT_EQ(calc->GetSettings(&kept), S_OK);
        EXPECT_EQ(dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(kept))->mParameter, 2u);
        kept->Release();
        ULONG written = 7;
        float one = 0;
        EXPECT_EQ(calc->Calculate(0, -1, 1, &one, &written), E_INVALIDARG);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(calc->Calculate(0, 0, 1, nullptr, &written), E_POINTER);
        EXPECT_EQ(calc->Calculate(0, 0x7FFFFFF0, 100, &one, &written), E_INVALIDARG);
        EXPECT_EQ(b.registry.ComputeChannel(*b.doc, 0, CalculationClassId(), settings, b.factory), E_INVALIDARG);
        EXPECT_EQ(
            b.registry.ComputeChannel(*b.doc, rate, CalculationSettingsClassId(), settings, b.factory), E_INVALIDARG);
        EXPECT_EQ(b.doc->ChannelCalcOf(rate), calc); // a refused request keeps the calculation

        // Measures without a name here (3, 4 and any other) are taken, with the nominal range
        // of -10 to 10.
        for (const std::uint32_t measure : { 3u, 4u, 7u }) {
            IUnknown* other = b.SettingsFor(measure);
            EXPECT_NE(calc->Setup(other), E_INVALIDARG) << measure;
            other->Release();
            ASSERT_EQ(calc->GetSettings(&kept), S_OK);
            EXPECT_EQ(dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(kept))->mParameter, measure);
            kept->Release();
        }

        // A calculation kept past its document learns that the document is gone.
        calc->AddRef();
        EXPECT_TRUE(detector.RemoveChannels(0xFFFFFFFF, &detection));
        manager.SetChannelSource(nullptr);
        settings->Release();
        b.doc->RemoveName(0, L"HRV Rate");
        EXPECT_EQ(b.doc->ChannelCalcOf(rate), nullptr);
        EXPECT_EQ(calc->Calculate(0, 0, 1, &one, &written), E_UNEXPECTED);
        EXPECT_EQ(calc->Release(), 0u);
    }
}

TEST_F(CalcHost, SettingsRoundTripThroughTheirRegisteredClass)
{
    Bench b;
    IUnknown* settings = b.SettingsFor(kMeasureBeatComplexity);
    auto* s = dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(settings));
    s->mSetGuideLines = false;
    s->mInterpolate = true;
    StreamRef saved;
    ASSERT_EQ(b.registry.SaveSettings(CalculationSettingsClassId(), settings, saved.Get()), S_OK);
    settings->Release();
    const std::vector<std::uint8_t> bytes = saved.Bytes();

    IUnknown* loaded = nullptr;
    StreamRef in(bytes);
    ASSERT_EQ(b.registry.LoadSettings(in.Get(), &loaded), S_OK);
    auto* l = dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(loaded));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->mParameter, kMeasureBeatComplexity);
    EXPECT_FALSE(l->mSetGuideLines);
    EXPECT_TRUE(l->mInterpolate);
    loaded->Release();

    // A newer version, an unknown class, a stream too short to name its class: refused, nothing
    // handed out.
    std::vector<std::uint8_t> newer = bytes;
    newer[8] = 2; // after the class id and the header word
    StreamRef newerIn(newer);
    loaded = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(b.registry.LoadSettings(newerIn.Get(), &loaded), static_cast<HRESULT>(0xA0048205u));
    EXPECT_EQ(loaded, nullptr);
    std::vector<std::uint8_t> unknown = bytes;
    unknown[0] ^= 0x5A;
    StreamRef unknownIn(unknown);
    EXPECT_EQ(b.registry.LoadSettings(unknownIn.Get(), &loaded), E_INVALIDARG);
    StreamRef shortIn({ 1, 2 });
    EXPECT_EQ(b.registry.LoadSettings(shortIn.Get(), &loaded), E_FAIL);
    EXPECT_EQ(b.registry.CreateSettings(CalculationClassId(), &loaded), E_INVALIDARG);
    EXPECT_EQ(b.registry.SaveSettings(CalculationSettingsClassId(), nullptr, saved.Get()), E_POINTER);

    // The settings class itself hands out the defaults with a refused load.
    IUnknown* defaults = nullptr;
    StreamRef again(std::vector<std::uint8_t>(newer.begin() + 4, newer.end()));
    EXPECT_EQ(ChannelCalcClass().Settings().LoadObject(again.Get(), &defaults), static_cast<HRESULT>(0xA0048205u));
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(defaults))->mParameter, 0u);
    defaults->Release();

    // A class registers once under its id.
    EXPECT_EQ(b.registry.Register(static_cast<ICalculationClass*>(&ChannelCalcClass())), E_INVALIDARG);
    EXPECT_EQ(b.registry.Register(b.factory), E_NOINTERFACE);
}

// The HRV document on the host's document of a recording whose channels show beat measures: the
// document finds them when it is attached and marks the normal-beat box on them after each
// analysis, and forgets a channel that loses its calculation.
TEST_F(CalcHost, TheDocumentMarksTheNormalBeatBoxOnChannelsThatShowBeatMeasures)
{
    vx::host::HrvHostDocument host(Record100Start());
    vx::integration::RegistrationCollector enumerators;
    ASSERT_EQ(HRV::RegisterEnumeratorClasses(&enumerators, nullptr, {}), S_OK);
    vx::extcalc::RegisterExtensionEnumerators(host.Engine(), enumerators.mObjects, host.DataStore());
    auto* collector = new HoldingCollector;
    ASSERT_EQ(RegisterModuleClassObjectsWith(collector, nullptr, nullptr), S_OK);
    vx::host::CalculationClassRegistry registry;
    ASSERT_EQ(registry.RegisterAll(collector->objects), 2);
    collector->Release();
    auto* factory = new vx::host::HostObjectFactory(ExtLib::ArithmeticCalcClassId(), ExtLib::FormulaSettingsClassKey());
    const auto named = [&](const wchar_t* name) {
        vx::hf::ChannelRef ref;
        EXPECT_EQ(host.Document().CreateNamedChannel(0, name, nullptr, &ref), S_OK);
        return ref.number;
    };
    const auto settingsFor = [&](std::uint32_t measure, bool guides) {
        IUnknown* settings = nullptr;
        EXPECT_EQ(registry.CreateSettings(CalculationSettingsClassId(), &settings), S_OK);
        auto* s = dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(settings));
        s->mParameter = measure;
        s->mSetGuideLines = guides;
        return settings;
    };
    const std::uint32_t period = named(L"HRV RR"), rate = named(L"HRV Rate"), plain = named(L"HRV Delta");
    for (auto [channel, measure, guides] : { std::tuple { period, kMeasureBeatPeriod, true },
             std::tuple { rate, kMeasureBeatRate, true }, std::tuple { plain, kMeasureBeatPeriod, false } }) {
        IUnknown* settings = settingsFor(measure, guides);
        registry.ComputeChannel(host.Document(), channel, CalculationClassId(), settings, factory);
        settings->Release();
    }

    auto* parent = new vx::host::HrvHostDocumentObject(host);
    auto* doc = new HRV::Document(static_cast<IRecordingDocument*>(parent), nullptr, 0);
    doc->AddRef();
    host.Attach(static_cast<ICAFCommandHandler*>(doc));
    doc->RebuildChannelCalcMap();
    EXPECT_EQ(doc->ChannelCalcMap(), (std::set<std::uint32_t> { period, rate, plain }));
    doc->OnCommand(Document::CommandId(kCmdAnalyse));
    ASSERT_EQ(host.guides.count(period), 1u);
    EXPECT_DOUBLE_EQ(host.guides.at(period).lines[0].value, 1.2);
    EXPECT_DOUBLE_EQ(host.guides.at(period).lines[1].value, 0.8);
    EXPECT_TRUE(host.guides.at(period).band);
    EXPECT_DOUBLE_EQ(host.guides.at(rate).lines[0].value, 50.0);
    EXPECT_EQ(host.guides.at(rate).lines[0].label, L"BPM");
    EXPECT_FALSE(host.guides.at(plain).band) << "guide lines off for this channel";

    // The calculation of the rate channel goes: its guide lines go with it.
    doc->OnChannelSetupChanged(rate, 0);
    EXPECT_EQ(doc->ChannelCalcMap(), (std::set<std::uint32_t> { period, plain }));
    EXPECT_FALSE(host.guides.at(rate).band || host.guides.at(rate).lines[0].shown);

    doc->Close();
    host.Detach();
    doc->Release();
    static_cast<HRV::IDataPadSource*>(parent)->Release();
    factory->Release();
}

// The host's calculation framework lets the user edit a channel's calculation in the "HRV
// Calculations" dialog, starting from the channel's settings; OK sets the channel up anew.
TEST_F(CalcHost, ConfiguringAChannelRunsTheCalculationsDialog)
{
    using namespace vx::ui;
    struct Case {
        const char* what;
        std::uint32_t stored;
        bool storedGuides;
        LRESULT choose; // list entry to choose; -1: none
        bool toggleGuides;
        int button;
        std::uint32_t parameter;
        bool guides;
    };
    const Case cases[] = {
        { "beat complexity stores 5", kMeasureBeatRate, true, 3, false, IDOK, 5, true },
        { "guide lines cleared", kMeasureBeatPeriod, true, -1, true, IDOK, 0, false },
        { "change in beat period keeps the guide-line choice", kMeasureBeatRate, false, 1, false, IDOK, 1, false },
        { "cancel changes nothing", kMeasureBeatRate, true, 0, true, IDCANCEL, kMeasureBeatRate, true },
        { "a measure without an entry is kept", 3, true, -1, false, IDOK, 3, true },
    };
    std::vector<std::pair<std::wstring, std::wstring>> help;
    caf::HelpHandler previousHelp = caf::SetHelpHandler([&](const std::wstring& file, const std::wstring& topic) {
        help.emplace_back(file, topic);
        return S_OK;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        const std::uint32_t channel = b.Named(L"HRV Measure");
        IUnknown* settings = b.SettingsFor(c.stored);
        dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(settings))->mSetGuideLines = c.storedGuides;
        b.registry.ComputeChannel(*b.doc, channel, CalculationClassId(), settings, b.factory);
        settings->Release();

        bool shown = false;
        DialogScript previous = SetDialogScript([&](HWND dialog) {
            shown = true;
            EXPECT_EQ(GetWindowText(dialog), L"HRV Calculations");
            HWND list = GetDlgItem(dialog, Item::kMeasure);
            EXPECT_EQ(SendMessage(list, CB_GETCOUNT, 0, 0), 4);
            // The entry of the stored measure is selected; an unnamed measure selects none.
            const LRESULT selected = SendMessage(list, CB_GETCURSEL, 0, 0);
            EXPECT_EQ(selected, c.stored == 3 ? CB_ERR : c.stored == kMeasureBeatRate ? 2 : 0);
            if (c.choose >= 0) {
                SendMessage(list, CB_SETCURSEL, static_cast<WPARAM>(c.choose), 0);
                SendMessage(
                    dialog, WM_COMMAND, MAKEWPARAM(Item::kMeasure, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            }
            HWND guides = GetDlgItem(dialog, Item::kGuideLines);
            EXPECT_EQ(IsWindowEnabled(guides), c.choose != 1);
            if (c.toggleGuides)
                SendMessage(guides, BM_CLICK, 0, 0);
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(Item::kHelp, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(dialog, Item::kHelp)));
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(c.button), BN_CLICKED), 0);
        });
        const HRESULT hr = b.registry.ConfigureChannel(*b.doc, channel, CalculationClassId(), nullptr, b.factory);
        SetDialogScript(previous);
        EXPECT_TRUE(shown);
        if (c.button == IDCANCEL) {
            EXPECT_EQ(hr, S_FALSE);
        }
        IUnknown* now = nullptr;
        ASSERT_EQ(b.doc->ChannelCalcOf(channel)->GetSettings(&now), S_OK);
        const auto* s = dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(now));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->mParameter, c.parameter);
        EXPECT_EQ(s->mSetGuideLines, c.guides);
        now->Release();
    }
    caf::SetHelpHandler(previousHelp);
    ASSERT_EQ(help.size(), std::size(cases));
    EXPECT_EQ(help.front(), std::make_pair(std::wstring(L"HRVHelp"), std::wstring(L"HRV_Calculations")));

    // The class gives defaults for settings of another kind, and refuses a missing out pointer.
    DialogScript previous = SetDialogScript([](HWND dialog) {
        EXPECT_EQ(SendMessage(GetDlgItem(dialog, Item::kMeasure), CB_GETCURSEL, 0, 0), 0);
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    IUnknown* out = nullptr;
    EXPECT_EQ(ChannelCalcClass().Configure(nullptr, sFramework, &out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(
        dynamic_cast<ChannelCalcSettings*>(static_cast<IPersistStreamInit*>(out))->mParameter, kMeasureBeatPeriod);
    out->Release();
    EXPECT_EQ(ChannelCalcClass().Configure(nullptr, nullptr, nullptr), E_POINTER);
    SetDialogScript(previous);
}

// Each change of the measure in the "HRV Calculations" dialog is stored in the settings at once,
// with the guide-line choice as it stands, not only when OK is pressed.
TEST_F(CalcHost, TheCalculationsDialogStoresEveryChangeOfTheMeasure)
{
    using namespace vx::ui;
    CalculationChoice choice;
    choice.mParameter = kMeasureBeatPeriod;
    choice.mSetGuideLines = true;
    struct Step {
        LRESULT entry;
        bool clickGuides; // before choosing the entry
        std::uint32_t parameter;
        bool guides;
    };
    const Step steps[] = {
        { 2, false, kMeasureBeatRate, true },
        { 3, true, kMeasureBeatComplexity, false }, // the box cleared before the change goes with it
        { 1, false, kMeasureDeltaBeatPeriod, false },
    };
    DialogScript previous = SetDialogScript([&](HWND dialog) {
        HWND list = GetDlgItem(dialog, Item::kMeasure);
        for (const Step& s : steps) {
            if (s.clickGuides)
                SendMessage(GetDlgItem(dialog, Item::kGuideLines), BM_CLICK, 0, 0);
            SendMessage(list, CB_SETCURSEL, static_cast<WPARAM>(s.entry), 0);
            SendMessage(dialog, WM_COMMAND, MAKEWPARAM(Item::kMeasure, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
            EXPECT_EQ(choice.mParameter, s.parameter) << "entry " << s.entry;
            EXPECT_EQ(choice.mSetGuideLines, s.guides) << "entry " << s.entry;
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, Item::kGuideLines)), s.parameter != kMeasureDeltaBeatPeriod);
        }
        SendMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    Dialog dialog(nullptr, 0, choice);
    EXPECT_EQ(dialog.Execute(), 2);
    SetDialogScript(previous);
}

// The settings class answers the shared class-object interface with the same object as its
// persisted-class interface; its create operation makes default settings for the interface asked.
TEST_F(CalcHost, TheSettingsClassCreatesThroughTheGenericClassInterface)
{
    auto& settingsClass = ChannelCalcClass().Settings();
    void* generic = nullptr;
    void* persist = nullptr;
    ASSERT_EQ(settingsClass.QueryInterface(IGenericClassObject::kIid, &generic), S_OK);
    ASSERT_EQ(settingsClass.QueryInterface(IPersistClassObject::kIid, &persist), S_OK);
    EXPECT_EQ(static_cast<IGenericClassObject*>(generic),
        static_cast<IGenericClassObject*>(static_cast<IPersistClassObject*>(persist)));

    struct Case {
        bool outer;
        IID iid;
        HRESULT hr;
    };
    const Case cases[] = {
        { false, IPersistStreamInit::kIid, S_OK },
        { false, IUnknown::kIid, S_OK },
        { false, ICAFClassObject::kIid, E_NOINTERFACE },
        { true, IUnknown::kIid, CLASS_E_NOAGGREGATION },
    };
    for (const Case& c : cases) {
        void* out = &persist;
        IUnknown* outer = c.outer ? static_cast<IUnknown*>(generic) : nullptr;
        EXPECT_EQ(static_cast<IGenericClassObject*>(generic)->CreateInstance(outer, c.iid, &out), c.hr);
        EXPECT_EQ(out != nullptr, c.hr == S_OK);
        if (!out)
            continue;
        auto* made = dynamic_cast<ChannelCalcSettings*>(static_cast<IUnknown*>(out));
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->mParameter, 0u);
        static_cast<IUnknown*>(out)->Release();
    }
    EXPECT_EQ(static_cast<IGenericClassObject*>(generic)->CreateInstance(nullptr, IUnknown::kIid, nullptr), E_POINTER);
    static_cast<IUnknown*>(generic)->Release();
    static_cast<IUnknown*>(persist)->Release();
}
