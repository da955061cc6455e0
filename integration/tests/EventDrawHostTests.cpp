// The host's event-draw classes with the HRV extension loaded as the host loads it (libhrv.so,
// registered through the framework): the beat marks of MIT-BIH record 100 (testdata) after a
// detection run on the host's engine with the extension's enumerators, looked up by the event
// type that the fiducial enumerator reports.
#include "bench/WfdbRecording.h"
#include "caf/CafHost.h"
#include "com/ClassObjects.h"
#include "host/eventdraw/EventDrawClasses.h"
#include "hostframework/interfaces/FrameworkIds.h"
#include "hrv/eventdraw/BeatMarkDraw.h"
#include "integration/ExtensionChain.h"
#include "integration/tests/LoadedExtension.h"
#include "log/Log.h"
#include "varnex/startup/ExtensionLoader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace vx;

namespace {

class EventDrawHost : public vx::integration::test::LoadedExtension {
protected:
    // The event type of the fiducial channel's records, as its enumerator reports it.
    DWORD BeatEventType()
    {
        ICalcEnumClass2* fiducial = nullptr;
        for (IUnknown* o : objects) {
            void* out = nullptr;
            if (FAILED(o->QueryInterface(ICalcEnumClass2::kIid, &out)))
                continue;
            auto* c = static_cast<ICalcEnumClass2*>(out);
            BSTR name = nullptr;
            if (SUCCEEDED(c->GetName(&name)) && name && std::wstring(name) == L"HRVFiducialEnum" && !fiducial)
                fiducial = c;
            else
                c->Release();
            SysFreeString(name);
        }
        EXPECT_NE(fiducial, nullptr);
        if (!fiducial)
            return 0;
        ICalcEnum* calc = nullptr;
        EXPECT_EQ(fiducial->CreateInstance(nullptr, &calc), S_OK);
        fiducial->Release();
        void* out = nullptr;
        EXPECT_EQ(calc->QueryInterface(IEnumEventEx::kIid, &out), S_OK);
        DWORD type = 0;
        static_cast<IEnumEventEx*>(out)->GetEventType(&type);
        static_cast<IEnumEventEx*>(out)->Release();
        calc->Release();
        return type;
    }
};

// "%.4g" of the interval in milliseconds: the hint's RR text, worked out apart from the formatter.
std::wstring ExpectedRR(double rr)
{
    if (std::isnan(rr))
        return L"no data";
    char text[32];
    std::snprintf(text, sizeof text, "%.4g ms", rr * 1000.0);
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

TEST_F(EventDrawHost, KeepsTheExtensionsClassByEventTypeWithOneReferencePerInterface)
{
    eventdraw::EventDrawClasses host;
    EXPECT_EQ(host.AddAll(objects), 1); // only the beat class among everything registered
    const DWORD type = BeatEventType();
    EXPECT_NE(type & 0xFFFF0000u, 0u);
    EXPECT_EQ(type & 0xFFFFu, 1u);
    ASSERT_TRUE(host.Has(type));

    IUnknown* registered = nullptr;
    for (IUnknown* o : objects) {
        void* out = nullptr;
        if (SUCCEEDED(o->QueryInterface(IEventDrawClass::kIid, &out))) {
            registered = o;
            static_cast<IUnknown*>(out)->Release();
        }
    }
    ASSERT_NE(registered, nullptr);
    // The framework's reference and one on each of the two interfaces the host keeps.
    EXPECT_EQ(registered->AddRef(), 4u);
    EXPECT_EQ(registered->Release(), 3u);

    // A second class for the same type is refused and leaves its count as it was.
    vx::log::Capture capture;
    EXPECT_EQ(host.Add(registered), S_FALSE);
    EXPECT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(host.Add(nullptr), E_POINTER);
    EXPECT_EQ(host.Add(sFramework), S_FALSE);
    EXPECT_EQ(host.Count(), 1u);
    EXPECT_EQ(registered->AddRef(), 4u);
    EXPECT_EQ(registered->Release(), 3u);

    host.Clear();
    EXPECT_FALSE(host.Has(type));
    EXPECT_EQ(registered->AddRef(), 2u);
    EXPECT_EQ(registered->Release(), 1u); // the framework's, let go in TearDown
}

TEST_F(EventDrawHost, ColoursAndHintsOfTheBeatsOfRecord100)
{
    eventdraw::EventDrawClasses host;
    ASSERT_EQ(host.AddAll(objects), 1);
    const DWORD type = BeatEventType();

    // The detector chain on the host's engine, with the enumerator classes the module registered.
    const char* data = std::getenv("VX_TEST_DATA");
    const std::filesystem::path dir = data ? data : VX_TEST_DATA_DIR;
    auto record = std::make_shared<import::WfdbRecord>(import::ReadRecord(dir / "mitdb" / "100.hea"));
    auto recording = std::make_shared<bench::WfdbRecording>(record);
    calc::Engine engine(recording);
    ASSERT_EQ(extcalc::RegisterExtensionEnumerators(engine, objects), 2);
    integration::EngineDetectorHost detectorHost(engine, recording);
    HRV::HRVDetector detector(&detectorHost);
    HRV::DetectorSettings settings = HRV::DefaultDetectorSettings();
    settings.mRangeStart = { 0, 0 };
    settings.mRangeEnd = { 0, 0x7FFFFFFF };
    ASSERT_TRUE(detector.Update(0xFFFFFFFF, &settings)) << detectorHost.mLastError;
    const std::vector<HRV::FiducialEvent> beats = integration::ReadBeats(engine, L"HRV_vFID", 0, 0, 360 * 60);
    ASSERT_GT(beats.size(), 60u); // about 75 beats a minute

    int normal = 0, ectopic = 0;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const HRV::FiducialEvent& b = beats[i];
        DWORD colour = 1;
        std::wstring hint;
        ASSERT_EQ(host.MarkColour(type, &b, sizeof b, colour), S_OK);
        ASSERT_EQ(host.HintText(type, &b, sizeof b, hint), S_OK);
        const std::wstring head = L"HRV Beat " + std::to_wstring(i + 1) + L": RR = " + ExpectedRR(b.mRR) + L"; FF = ";
        EXPECT_EQ(hint.substr(0, head.size()), head) << i;
        // The word in the hint and the colour of the mark tell the same class.
        const std::size_t open = hint.rfind(L'(');
        ASSERT_NE(open, std::wstring::npos) << i;
        const std::wstring word = hint.substr(open);
        if (word == L"(Normal)") {
            EXPECT_EQ(colour, HRV::kMarkBlue) << i;
            ++normal;
        } else if (word == L"(Ectopic)") {
            EXPECT_TRUE(colour == HRV::kMarkRed || colour == HRV::kMarkOrange || colour == HRV::kMarkPurple) << i;
            ++ectopic;
        } else {
            EXPECT_TRUE(word == L"(Unknown)" || word == L"(Unused)") << i;
            EXPECT_TRUE(colour == HRV::kMarkGrey || colour == HRV::kMarkGreen) << i;
        }
    }
    // The first beat of the record has no interval: "no data", grey and unknown.
    DWORD colour = 0;
    std::wstring hint;
    ASSERT_EQ(host.MarkColour(type, &beats[0], sizeof beats[0], colour), S_OK);
    EXPECT_EQ(colour, HRV::kMarkGrey);
    ASSERT_EQ(host.HintText(type, &beats[0], sizeof beats[0], hint), S_OK);
    EXPECT_EQ(hint.rfind(L"HRV Beat 1: RR = no data; FF = ", 0), 0u) << std::string(hint.begin(), hint.end());
    EXPECT_EQ(hint.substr(hint.size() - 10), L" (Unknown)");
    // With the detector's default box both kinds occur in this minute, so both rows were drawn.
    EXPECT_GT(normal, 0);
    EXPECT_GT(ectopic, 0);

    // Bad arguments are answered with an HRESULT and cleared outputs.
    EXPECT_EQ(host.MarkColour(type ^ 0x10000u, &beats[1], sizeof beats[1], colour), E_INVALIDARG);
    EXPECT_EQ(colour, 0u);
    EXPECT_EQ(host.HintText(type, &beats[1], sizeof beats[1] - 8, hint), E_INVALIDARG);
    EXPECT_TRUE(hint.empty());
    EXPECT_EQ(host.HintText(type, nullptr, sizeof beats[1], hint), E_FAIL);
    EXPECT_EQ(host.MarkColour(type, nullptr, sizeof beats[1], colour), E_FAIL);
}
