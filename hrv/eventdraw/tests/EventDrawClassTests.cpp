// The beat event-draw class through its interfaces: identity and exact reference counts, the
// last release with and without its critical section, and the colour and hint text of beat
// records as the host hands them over (anywhere in its buffer).
#include "hrv/eventdraw/FiducialEventDraw.h"

#include <gtest/gtest.h>

#include "hrv/analysis/tests/TestBeats.h"

#include <cstring>
#include <string>
#include <vector>

using namespace HRV;
using HRV::test::Beat;

namespace {

// The beat class with an event type of the test's own: the one the host framework gives is
// checked where the module registers the class with a framework.
struct TestType {
    static DWORD Id()
    {
        ++asked;
        return 0x002A0001;
    }
    static inline int asked = 0;
};
using DrawObject = KEL::CComObject<VarnClient::TEventDrawClass<FiducialEvent, TestType, FiducialDrawPolicy>>;

std::wstring Take(BSTR text)
{
    std::wstring s = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return s;
}

} // namespace

TEST(EventDrawClass, OneCountForBothInterfacesAndTheLastReleaseFreesIt)
{
    auto* object = new DrawObject;
    EXPECT_EQ(object->RefCount(), 0u);

    IEventDrawClass* cls = object;
    EXPECT_EQ(cls->AddRef(), 1u);
    void* out = nullptr;
    ASSERT_EQ(cls->QueryInterface(IEventDraw::kIid, &out), S_OK);
    auto* draw = static_cast<IEventDraw*>(out);
    EXPECT_EQ(draw, static_cast<IEventDraw*>(object));
    EXPECT_EQ(object->RefCount(), 2u);

    // One identity: IUnknown is the first interface from either side.
    void* fromClass = nullptr;
    void* fromDraw = nullptr;
    ASSERT_EQ(cls->QueryInterface(IUnknown::kIid, &fromClass), S_OK);
    ASSERT_EQ(draw->QueryInterface(IUnknown::kIid, &fromDraw), S_OK);
    EXPECT_EQ(fromClass, fromDraw);
    EXPECT_EQ(fromClass, static_cast<void*>(static_cast<IEventDraw*>(object)));
    ASSERT_EQ(draw->QueryInterface(ICAFClassObject::kIid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<ICAFClassObject*>(cls)));
    EXPECT_EQ(object->RefCount(), 5u);
    EXPECT_EQ(draw->Release(), 4u);
    EXPECT_EQ(draw->Release(), 3u);
    EXPECT_EQ(cls->Release(), 2u);

    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(cls->QueryInterface(ICalcEnumClass2::kIid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(cls->QueryInterface(IEventDraw::kIid, nullptr), E_POINTER);
    EXPECT_EQ(object->RefCount(), 2u);

    // The last release frees the object with its critical section once one was made; the
    // sanitizer build sees either form freed whole.
    object->CriticalSection().lock();
    object->CriticalSection().unlock();
    EXPECT_TRUE(object->CriticalSectionInitialised());
    EXPECT_EQ(draw->Release(), 1u);
    EXPECT_EQ(cls->Release(), 0u);

    IEventDrawClass* plain = CreateFiducialEventDrawClass();
    EXPECT_EQ(plain->AddRef(), 1u);
    EXPECT_FALSE(static_cast<KEL::CComObject<FiducialEventDrawClass>*>(plain)->CriticalSectionInitialised());
    EXPECT_EQ(plain->Release(), 0u);
}

TEST(EventDrawClass, NameRecordSizeAndEventType)
{
    IEventDrawClass* cls = new DrawObject;
    cls->AddRef();
    const int asked = TestType::asked;
    DWORD type = 0, id = 0;
    EXPECT_EQ(cls->GetEventType(&type), S_OK);
    EXPECT_EQ(cls->GetClassId(&id), S_OK);
    EXPECT_EQ(type, 0x002A0001u);
    EXPECT_EQ(id, type);
    EXPECT_EQ(TestType::asked, asked + 2);
    const long bstrs = vx::com::LiveBstrCount();
    BSTR name = nullptr;
    ASSERT_EQ(cls->GetName(&name), S_OK);
    EXPECT_EQ(Take(name), L"PkStimEventDrawClass");
    ULONG bytes = 0;
    EXPECT_EQ(cls->GetRecordSize(&bytes), S_OK);
    EXPECT_EQ(bytes, 80u);
    EXPECT_EQ(cls->GetName(nullptr), E_POINTER);
    EXPECT_EQ(cls->GetEventType(nullptr), E_POINTER);
    EXPECT_EQ(cls->GetClassId(nullptr), E_POINTER);
    EXPECT_EQ(cls->GetRecordSize(nullptr), E_POINTER);
    EXPECT_EQ(vx::com::LiveBstrCount(), bstrs);
    cls->Release();
}

TEST(EventDrawClass, ColourAndHintOfBeatRecordsAnywhereInTheHostBuffer)
{
    const double nan = MissingValue();
    struct Case {
        FiducialEvent beat;
        DWORD colour;
        const wchar_t* hint;
    };
    const Case cases[] = {
        { Beat(0.8, 0.01, 1.5, 0x300), 0xFF5000, L"HRV Beat 12: RR = 800 ms; FF = 1.5 (Normal)" },
        // The first beat of a record: no interval yet.
        { Beat(nan, nan, 1.2, 255, 1), 0xC8C8C8, L"HRV Beat 1: RR = no data; FF = 1.2 (Unknown)" },
        { Beat(0.8, 0.01, nan, 255), 0xC8C8C8, L"HRV Beat 12: RR = 800 ms; FF = no data (Unknown)" },
        { Beat(1.4, 0.5, 1.2, 0x3), 0x0000FF, L"HRV Beat 12: RR = 1400 ms; FF = 1.2 (Ectopic)" },
        { Beat(1.4, 0.5, 1.2, 0x1), 0x00AAFF, L"HRV Beat 12: RR = 1400 ms; FF = 1.2 (Ectopic)" },
        { Beat(0.9, 0.1, 3.25, 0x2), 0xAA00FF, L"HRV Beat 12: RR = 900 ms; FF = 3.25 (Ectopic)" },
        // A user-added beat inside both boxes after an ectopic one (exclusion on): green, unused.
        { Beat(0.9, 0.2, 1.2, 0x10100), 0x00FF00, L"HRV Beat 12: RR = 900 ms; FF = 1.2 (Unused)" },
    };
    IEventDrawClass* cls = CreateFiducialEventDrawClass();
    cls->AddRef();
    void* out = nullptr;
    ASSERT_EQ(cls->QueryInterface(IEventDraw::kIid, &out), S_OK);
    auto* draw = static_cast<IEventDraw*>(out);
    const long bstrs = vx::com::LiveBstrCount();

    std::vector<unsigned char> buffer(3 + sizeof(FiducialEvent));
    for (const Case& c : cases) {
        std::memcpy(buffer.data() + 3, &c.beat, sizeof c.beat); // not 8-byte aligned
        DWORD colour = 0;
        EXPECT_EQ(draw->GetMarkColour(buffer.data() + 3, sizeof(FiducialEvent), &colour), S_OK);
        EXPECT_EQ(colour, c.colour) << std::hex << c.beat.mClass;
        BSTR text = nullptr;
        EXPECT_EQ(draw->GetHintText(buffer.data() + 3, sizeof(FiducialEvent), &text), S_OK);
        EXPECT_EQ(Take(text), c.hint);
    }

    // Bad arguments are answered, never thrown, and leave the outputs empty.
    const FiducialEvent beat = cases[0].beat;
    DWORD colour = 7;
    BSTR text = reinterpret_cast<BSTR>(buffer.data());
    EXPECT_EQ(draw->GetHintText(nullptr, sizeof beat, &text), E_FAIL);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(draw->GetMarkColour(nullptr, sizeof beat, &colour), E_FAIL);
    EXPECT_EQ(colour, 0u);
    EXPECT_EQ(draw->GetHintText(&beat, sizeof beat - 1, &text), E_INVALIDARG);
    EXPECT_EQ(draw->GetMarkColour(&beat, 16, &colour), E_INVALIDARG);
    EXPECT_EQ(draw->GetHintText(&beat, sizeof beat, nullptr), E_POINTER);
    EXPECT_EQ(draw->GetMarkColour(&beat, sizeof beat, nullptr), E_POINTER);
    EXPECT_EQ(vx::com::LiveBstrCount(), bstrs);

    EXPECT_EQ(draw->Release(), 1u);
    EXPECT_EQ(cls->Release(), 0u);
}
