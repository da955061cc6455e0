#include "hrv/analysis/Enumerators.h"
#include "hrv/analysis/tests/FakeSources.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/UserEventData.h"

#include "log/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

using namespace HRV;
using HRV::test::FakeEvents;
using HRV::test::FakeStream;

namespace {

constexpr double kDt = 0.001; // 1 kHz

// A signal of narrow triangular beats of the given heights at the given positions.
std::vector<float> Beats(int64_t length, const std::vector<int32_t>& at, const std::vector<float>& heights = {})
{
    std::vector<float> s(static_cast<std::size_t>(length), 0.0f);
    for (std::size_t i = 0; i < at.size(); ++i) {
        const float h = heights.empty() ? 1.0f : heights[i];
        for (int k = -10; k <= 10; ++k) {
            const int64_t p = at[i] + k;
            if (p >= 0 && p < length)
                s[static_cast<std::size_t>(p)]
                    = std::max(s[static_cast<std::size_t>(p)], h * (1.0f - std::abs(k) / 11.0f));
        }
    }
    return s;
}

class Marks final : public IBeatMarks {
public:
    std::set<int32_t> sets[2];
    bool FirstAtOrAfter(int set, int32_t, int32_t offset, int32_t& found) const override
    {
        auto it = sets[set].lower_bound(offset);
        if (it == sets[set].end())
            return false;
        found = *it;
        return true;
    }
};

// One enumerator over a fake signal and reference channel.
struct Fixture {
    FakeStream* signal;
    FakeEvents* reference;
    FiducialEnumerator* e;

    Fixture(std::vector<float> samples, const std::vector<int32_t>& refs, const std::wstring& params,
        std::shared_ptr<const FiducialContext> context = {}, int32_t record = 0)
    {
        const auto length = static_cast<int64_t>(samples.size());
        (void)length;
        signal = new FakeStream(std::move(samples), kDt);
        reference = new FakeEvents(FakeEvents::PeakEvents(refs), 16);
        e = new FiducialEnumerator("Fiducial", std::move(context));
        e->AddRef();
        DWORD flags = 0;
        EXPECT_EQ(e->SetParams(params.c_str(), &flags), S_OK);
        EXPECT_EQ(flags, 0x40000000u);
        IUnknown* sources[] = { signal, reference };
        EXPECT_EQ(e->Init(record, 2, sources, nullptr, kDt, 0), S_OK);
    }
    ~Fixture()
    {
        e->Release();
        signal->Release();
        reference->Release();
    }
    std::vector<FiducialEvent> Read(int32_t from, int32_t to, DWORD records = 5)
    {
        return ReadWith(e, from, to, records);
    }
    static std::vector<FiducialEvent> ReadWith(IEnumEventEx* events, int32_t from, int32_t to, DWORD records)
    {
        auto* calcEnum = dynamic_cast<ICalcEnum*>(events);
        calcEnum->Seek(from);
        std::vector<FiducialEvent> out;
        std::vector<FiducialEvent> buffer(records);
        for (int guard = 0; guard < 1000000; ++guard) {
            ULONG count = 0;
            LONG next = 0;
            const HRESULT hr = events->Next(records * 80, to, buffer.data(), &count, &next);
            EXPECT_TRUE(SUCCEEDED(hr));
            out.insert(out.end(), buffer.begin(), buffer.begin() + count);
            if (hr != S_OK || next >= to)
                break;
        }
        return out;
    }
};

const std::wstring kWide = L"Fiducial 2 0.04 0 0.5 1.5 0 100 0 0 0 0 0"; // every beat inside both boxes

TEST(FiducialEnumerator, BeatsWithRRAndClasses)
{
    Fixture f(Beats(5000, { 500, 1300, 2100, 3000 }), { 503, 1302, 2098, 3004 }, kWide);
    const auto beats = f.Read(0, 5000);
    ASSERT_EQ(beats.size(), 4u);
    EXPECT_EQ(beats[0].mPosition, 500);
    EXPECT_EQ(beats[0].mPeakOffset, -3);
    EXPECT_FLOAT_EQ(static_cast<float>(beats[0].mPeakValue), 1.0f);
    EXPECT_EQ(beats[0].mBeatNumber, 1);
    EXPECT_TRUE(std::isnan(beats[0].mRR) && std::isnan(beats[0].mRate) && std::isnan(beats[0].mDeltaRR));
    EXPECT_EQ(beats[0].mClass, 255u);
    EXPECT_DOUBLE_EQ(beats[1].mRR, 0.8);
    EXPECT_DOUBLE_EQ(beats[1].mRate, 1.25);
    EXPECT_TRUE(std::isnan(beats[1].mDeltaRR));
    EXPECT_EQ(beats[1].mClass, 0x100u); // no delta yet
    EXPECT_NEAR(beats[3].mRR, 0.9, 1e-12);
    EXPECT_NEAR(beats[3].mDeltaRR, 0.1, 1e-12);
    EXPECT_EQ(beats[3].mClass, 0x300u);
    EXPECT_EQ(beats[3].mBeatNumber, 4);
    EXPECT_TRUE(std::isfinite(beats[3].mComplexity) && beats[3].mComplexity > 0);

    // At the end: S_FALSE, no records, next 0x7FFFFFFF.
    FiducialEvent one;
    ULONG count = 9;
    LONG next = 0;
    EXPECT_EQ(f.e->Next(80, 5000, &one, &count, &next), S_FALSE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(next, kEventEnd);
}

TEST(FiducialEnumerator, WindowRules)
{
    // Equal maxima: the earliest wins. A reference 5 samples after the start: the window starts at 0.
    std::vector<float> s(3000, 0.0f);
    s[3] = 2.0f;
    s[1000] = s[1004] = 1.0f;
    // A second reference inside the first beat's window finds the same peak: no second beat.
    Fixture f(s, { 5, 1002, 1010, 2000 }, kWide);
    const auto beats = f.Read(0, 3000);
    ASSERT_EQ(beats.size(), 3u);
    EXPECT_EQ(beats[0].mPosition, 3);
    EXPECT_EQ(beats[1].mPosition, 1000);
    EXPECT_EQ(beats[2].mPeakOffset, 2000 - 2000 - 20); // flat window: its first sample
    // A flat window has zero variances: no complexity and no class.
    EXPECT_TRUE(std::isnan(beats[2].mComplexity));
    EXPECT_EQ(beats[2].mClass, 255u);
}

TEST(FiducialEnumerator, UserMarksAndExclusion)
{
    auto marks = std::make_shared<Marks>();
    marks->sets[0] = { 1700 }; // added
    marks->sets[1] = { 2500 }; // removed
    auto context = std::make_shared<FiducialContext>();
    context->marks = marks;
    // RR box 0.75-0.85 with exclusion: the user beat at 1700 makes two short intervals.
    Fixture f(Beats(6000, { 100, 900, 1700, 2500, 3300, 4100, 4900 }), { 100, 900, 2500, 3300, 4100, 4900 },
        L"Fiducial 2 0.04 0 0.75 0.85 0 100 0 0 0 0 1", context);
    const auto beats = f.Read(0, 6000);
    std::vector<int32_t> at;
    for (const auto& b : beats)
        at.push_back(b.mPosition);
    EXPECT_EQ(at, (std::vector<int32_t> { 100, 900, 1700, 3300, 4100, 4900 }));
    const FiducialEvent& user = beats[2];
    EXPECT_EQ(user.mClass & kClassUserAdded, kClassUserAdded);
    EXPECT_EQ(user.mPeakOffset, 0);
    EXPECT_EQ(user.mPeakValue, 0.0);
    EXPECT_EQ(user.mClass & 0xFF, 0u) << "0.8 s after the last beat";
    EXPECT_EQ(beats[3].mClass & 0xFF, kClassRROutside); // 1.6 s
    EXPECT_EQ(beats[3].mClass & kClassIntervalUsable, 0u);
    // Normal again, but after an ectopic interval: its delta-RR is not usable.
    EXPECT_EQ(beats[4].mClass, kClassIntervalUsable);
    EXPECT_EQ(beats[5].mClass, kClassIntervalUsable | kClassDeltaUsable);
}

TEST(FiducialEnumerator, RangeAndBeatNumbersAcrossRecords)
{
    auto context = std::make_shared<FiducialContext>();
    context->numbers = std::make_shared<BeatNumberCache>();
    const std::vector<int32_t> at { 500, 1300, 2100, 2900, 3700 };
    {
        Fixture r0(Beats(4000, at), at, kWide, context, 0);
        EXPECT_EQ(r0.Read(0, 4000).size(), 5u);
    }
    Fixture r1(Beats(4000, at), at, kWide, context, 1);
    const auto beats = r1.Read(0, 4000);
    ASSERT_FALSE(beats.empty());
    EXPECT_EQ(beats[0].mBeatNumber, 6);

    // Range record 0 from 1000 to 3000: the beats inside it only, the first without an RR.
    Fixture ranged(Beats(4000, at), at, L"Fiducial 2 0.04 0 0.5 1.5 0 100 0 1000 0 3000 0");
    const auto inside = ranged.Read(0, 4000);
    ASSERT_EQ(inside.size(), 3u);
    EXPECT_EQ(inside[0].mPosition, 1300);
    EXPECT_TRUE(std::isnan(inside[0].mRR));
    EXPECT_EQ(inside[2].mPosition, 2900);
}

TEST(FiducialEnumerator, DocumentMarksAndBeatNumberCache)
{
    auto* marks = new UserEventData();
    marks->AddRef();
    auto* ids = new EventIdCache();
    ids->AddRef();
    Position removed;
    removed.mRecord = 1;
    removed.mOffset = 1300;
    ASSERT_EQ(marks->Add(&removed, 1), S_OK);
    Position elsewhere = removed;
    elsewhere.mRecord = 0;
    elsewhere.mOffset = 2100; // a mark of another record changes nothing here
    ASSERT_EQ(marks->Add(&elsewhere, 1), S_OK);
    auto context = std::make_shared<FiducialContext>();
    context->marks = std::make_shared<UserEventMarks>(marks);
    context->numbers = std::make_shared<BeatNumberCache>(ids);
    ASSERT_EQ(ids->SetId(0, 41), S_OK); // record 0 reached beat 41
    const std::vector<int32_t> at { 500, 1300, 2100 };
    Fixture f(Beats(3000, at), at, kWide, context, 1);
    const auto beats = f.Read(0, 3000);
    ASSERT_EQ(beats.size(), 2u);
    EXPECT_EQ(beats[0].mPosition, 500);
    EXPECT_EQ(beats[0].mBeatNumber, 42);
    EXPECT_EQ(beats[1].mPosition, 2100);
    EXPECT_EQ(beats[1].mBeatNumber, 43);
    DWORD id = 0;
    EXPECT_EQ(ids->GetId(1, &id), S_OK);
    EXPECT_EQ(id, 43u);
    context.reset();
    marks->Release();
    ids->Release();
}

TEST(FiducialEnumerator, SeekResumesFromCheckpointWithEqualBeats)
{
    // 1.2 million samples, beats every 700-900 samples with varying heights.
    std::vector<int32_t> at;
    std::vector<float> heights;
    for (int32_t p = 400, i = 0; p < 1200000 - 500; p += 700 + (i * 37) % 200, ++i) {
        at.push_back(p);
        heights.push_back(0.8f + 0.05f * static_cast<float>(i % 7));
    }
    const auto samples = Beats(1200000, at, heights);
    std::vector<int32_t> refs;
    for (std::size_t i = 0; i < at.size(); ++i)
        refs.push_back(at[i] + static_cast<int32_t>(i % 5) - 2);
    const std::wstring params = L"Fiducial 2 0.08 0 0.75 0.85 0 100 0 0 0 0 1";

    Fixture whole(samples, refs, params);
    const auto all = whole.Read(0, 1200000, 64);
    ASSERT_EQ(all.size(), at.size());
    // Checkpoints every 100000 samples of the way.
    EXPECT_GE(whole.e->CheckpointBlocks().size(), 12u);

    const auto same
        = [](const std::vector<FiducialEvent>& part, const std::vector<FiducialEvent>& ref, int32_t from, int32_t to) {
              std::vector<FiducialEvent> expected;
              for (const auto& b : ref)
                  if (b.mPosition >= from && b.mPosition < to)
                      expected.push_back(b);
              ASSERT_EQ(part.size(), expected.size());
              for (std::size_t i = 0; i < part.size(); ++i) {
                  EXPECT_EQ(part[i].mPosition, expected[i].mPosition);
                  EXPECT_EQ(part[i].mBeatNumber, expected[i].mBeatNumber);
                  EXPECT_EQ(std::isnan(part[i].mRR), std::isnan(expected[i].mRR));
                  if (!std::isnan(part[i].mRR)) {
                      EXPECT_EQ(part[i].mRR, expected[i].mRR);
                  }
                  EXPECT_EQ(part[i].mClass, expected[i].mClass);
                  EXPECT_EQ(part[i].mComplexity, expected[i].mComplexity);
              }
          };
    // The same enumerator, seeking back into the middle: resumes from a checkpoint and reads
    // little of the signal.
    const long before = whole.signal->reads;
    const auto middle = whole.Read(654321, 700000, 7);
    EXPECT_LT(whole.signal->reads - before, 500);
    same(middle, all, 654321, 700000);
    // A fresh enumerator asked for the middle first, then the start.
    Fixture fresh(samples, refs, params);
    same(fresh.Read(987654, 1200000, 3), all, 987654, 1200000);
    same(fresh.Read(0, 150000, 3), all, 0, 150000);
    // A clone continues where its original stands.
    ICalcEnum* clone = nullptr;
    ASSERT_EQ(whole.e->Clone(&clone), S_OK);
    auto* cloneEvents = dynamic_cast<IEnumEventEx*>(clone);
    same(Fixture::ReadWith(cloneEvents, 300000, 400000, 16), all, 300000, 400000);
    clone->Release();
}

TEST(FiducialEnumerator, RefusesBadParametersAndBuffers)
{
    vx::log::Capture capture;
    auto* e = new FiducialEnumerator("Fiducial", nullptr);
    e->AddRef();
    for (const wchar_t* text :
        { L"Fiducial 2 0 0 0.5 1.5 0 100 0 0 0 0 0", L"Fiducial 2 -0.08 0 0.5 1.5 0 100 0 0 0 0 0",
            L"Fiducial 2 nan 0 0.5 1.5 0 100 0 0 0 0 0", L"Fiducial 2 inf 0 0.5 1.5 0 100 0 0 0 0 0",
            L"Fiducial 2 0.08 0 0.5", L"Fiducial 2 0.08 2 0.5 1.5 0 100 0 0 0 0 0" }) {
        DWORD flags = 0;
        EXPECT_EQ(e->SetParams(text, &flags), E_INVALIDARG) << std::string(text, text + wcslen(text));
    }
    bool explained = false;
    for (const std::string& line : capture.Lines())
        explained = explained || line.find("the width must be a positive finite number") != std::string::npos;
    EXPECT_TRUE(explained);
    // Outside the published range but a usable number: accepted.
    DWORD flags = 0;
    EXPECT_EQ(e->SetParams(L"Fiducial 2 20 0 0.5 1.5 0 100 0 0 0 0 0", &flags), S_OK);
    // All four range words 0: the whole recording.
    EXPECT_EQ(e->SetParams(L"Fiducial 2 0.08 0 0.5 1.5 0 100 0 0 0 0 0", &flags), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(e->GetParams(&text), S_OK);
    EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"0.08 0 0.5 1.5 0 100 0 0 2147483647 2147483647 0.0");
    SysFreeString(text);
    // A buffer smaller than one record.
    auto* signal = new FakeStream(Beats(3000, { 500 }), kDt);
    auto* reference = new FakeEvents(FakeEvents::PeakEvents({ 500 }), 16);
    IUnknown* sources[] = { signal, reference };
    ASSERT_EQ(e->Init(0, 2, sources, nullptr, kDt, 0), S_OK);
    FiducialEvent one;
    ULONG count = 0;
    LONG next = 0;
    EXPECT_EQ(e->Next(79, 3000, &one, &count, &next), E_INVALIDARG);
    EXPECT_EQ(e->Next(80, 3000, &one, &count, &next), S_OK);
    EXPECT_EQ(count, 1u);
    e->Release();
    signal->Release();
    reference->Release();
}

TEST(FiducialEnumerator, FindForwardAndBackward)
{
    // Beats only in the first 50000 samples of a 500000-sample record.
    std::vector<int32_t> at;
    for (int32_t p = 300; p < 50000; p += 800)
        at.push_back(p);
    Fixture f(Beats(500000, at), at, kWide);
    FiducialEvent one;
    ULONG count = 0;
    LONG next = 0;

    EXPECT_EQ(f.e->Find(0, 10000, 0, 500000), S_OK);
    LONG position = 0;
    f.e->GetPosition(&position);
    EXPECT_EQ(position, 10700);
    ASSERT_EQ(f.e->Next(80, 500000, &one, &count, &next), S_OK);
    EXPECT_EQ(one.mPosition, 10700);
    EXPECT_EQ(one.mBeatNumber, 14);

    // Backward over a long empty stretch: block by block down to the last beat.
    EXPECT_EQ(f.e->Find(1, 450000, 0, 500000), S_OK);
    ASSERT_EQ(f.e->Next(80, 500000, &one, &count, &next), S_OK);
    EXPECT_EQ(one.mPosition, at.back());
    EXPECT_EQ(one.mBeatNumber, static_cast<int32_t>(at.size()));
    // Nothing inside the bounds.
    EXPECT_EQ(f.e->Find(1, 450000, 100000, 500000), S_FALSE);
    EXPECT_EQ(f.e->Find(0, 60000, 0, 500000), S_FALSE);
    EXPECT_EQ(f.e->Find(1, 0, 1234, 500000), S_FALSE);
    f.e->GetPosition(&position);
    EXPECT_EQ(position, 1234);

    // A search that finds nothing moves the position to its start only when that start lies
    // further in the search direction than where the search left it: a forward search reads on to
    // its bound (here past the last beat to the end of the data), a backward one back to its start.
    struct Case {
        LONG from, backward, start, lower, upper, position;
    };
    const Case cases[] = {
        { 1000, 0, 60000, 0, 500000, 2147483647 }, // forward from before the start: read to the end
        { 300000, 0, 60000, 0, 500000, 2147483647 }, // forward from after the start: the same
        { 70000, 1, 450000, 100000, 500000, 450000 }, // backward: at its start, wherever it came from
        { 480000, 1, 450000, 100000, 500000, 450000 },
    };
    for (const Case& c : cases) {
        ASSERT_EQ(f.e->Seek(c.from), S_OK);
        EXPECT_EQ(f.e->Find(c.backward, c.start, c.lower, c.upper), S_FALSE) << c.from;
        f.e->GetPosition(&position);
        EXPECT_EQ(position, c.position) << c.from << (c.backward ? " backward" : " forward");
    }
}

TEST(FiducialEnumerator, AnswersTheFlagsEventKindAndTimeBaseSlots)
{
    // Before Init: 1/1 with no offset; after it, the signal source's ratio (1/1000 for 1 kHz).
    auto* fresh = new FiducialEnumerator("Fiducial", nullptr);
    fresh->AddRef();
    ICalcEnum* calc = fresh;
    vx::hf::RateRatio ratio { 7, 7, 7.0 };
    EXPECT_EQ(calc->GetTimeBase(&ratio), S_OK);
    EXPECT_EQ(ratio.numerator, 1);
    EXPECT_EQ(ratio.denominator, 1);
    EXPECT_EQ(ratio.offset, 0.0);
    fresh->Release();

    Fixture f(Beats(5000, { 1000, 2000 }), { 1000, 2000 }, kWide);
    calc = f.e;
    DWORD word = 7;
    EXPECT_EQ(calc->GetFlags(1, &word), S_OK);
    EXPECT_EQ(word, 0x40000000u);
    EXPECT_EQ(calc->GetFlags(0, &word), S_OK);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(calc->GetEventKind(&word), S_OK);
    EXPECT_EQ(word, 0x801B0002u);
    EXPECT_EQ(calc->GetTimeBase(&ratio), S_OK);
    EXPECT_EQ(ratio.numerator, 1);
    EXPECT_EQ(ratio.denominator, 1000);
    EXPECT_EQ(calc->GetFlags(1, nullptr), E_POINTER);
}

TEST(EnumeratorClass, PublishedDescription)
{
    EnumeratorClassObject& fid = FiducialEnumClass();
    ICalcNumericParamsFuncClass* params = nullptr;
    ASSERT_EQ(fid.QueryInterface(ICalcNumericParamsFuncClass::kIid, reinterpret_cast<void**>(&params)), S_OK);
    BSTR name = nullptr;
    DWORD id = 0, n = 0;
    ASSERT_EQ(params->GetFunctionInfo(0, &name, &id, &n), S_OK);
    EXPECT_EQ(std::wstring(name), L"Fiducial");
    SysFreeString(name);
    EXPECT_EQ(n, 13u);
    double mx = 0, mn = 0;
    DWORD flags = 0;
    ASSERT_EQ(params->GetParamInfo(2, &mx, &mn, &flags, &name), S_OK);
    EXPECT_EQ(std::wstring(name), L"Width[s]");
    SysFreeString(name);
    EXPECT_EQ(mn, 0.01);
    EXPECT_EQ(mx, 10.0);
    EXPECT_EQ(flags, 0x40000000u);
    EXPECT_EQ(params->GetParamInfo(13, &mx, &mn, &flags, &name), E_INVALIDARG);
    EXPECT_EQ(params->CheckSource(0, kCalcSourceSampled), S_OK);
    EXPECT_EQ(params->CheckSource(1, kCalcSourceSampled), S_FALSE);
    EXPECT_EQ(params->CheckSource(1, kCalcSourceEvents), S_OK);
    EXPECT_EQ(params->CheckSource(2, kCalcSourceEvents), E_INVALIDARG);
    void* other = nullptr;
    EXPECT_EQ(fid.QueryInterface(IAppServices::kIid, &other), E_NOINTERFACE);
}

// ---- selector

TEST(SelectorEnumerator, ValuesByType)
{
    FiducialEvent b;
    b.mRR = 0.8;
    b.mRate = 1.25;
    b.mDeltaRR = 0.05;
    b.mComplexity = 1.3;
    EXPECT_DOUBLE_EQ(SelectorAlgorithm::Value(2, b), 75.0);
    EXPECT_DOUBLE_EQ(SelectorAlgorithm::Value(0, b), 0.8);
    EXPECT_DOUBLE_EQ(SelectorAlgorithm::Value(5, b), 1.3);
    EXPECT_TRUE(std::isnan(SelectorAlgorithm::Value(6, b)));
    b.mRR = b.mRate = b.mDeltaRR = MissingValue();
    for (int t = 0; t <= 2; ++t)
        EXPECT_TRUE(std::isnan(SelectorAlgorithm::Value(t, b)));
}

TEST(SelectorEnumerator, EmitsOneValuePerBeatAndKeepsItsTextClean)
{
    std::vector<std::byte> records;
    for (int i = 0; i < 3; ++i) {
        FiducialEvent e;
        e.mPosition = 1000 * (i + 1);
        e.mFraction = i == 1 ? 0.75f : 0.0f;
        e.mRR = 0.8;
        e.mRate = 1.25;
        const auto* p = reinterpret_cast<const std::byte*>(&e);
        records.insert(records.end(), p, p + sizeof e);
    }
    auto* source = new FakeEvents(records, 80);
    auto* e = new SelectorEnumerator("HRVSelector", nullptr);
    e->AddRef();
    DWORD flags = 0;
    // A text that carries a terminator character, as older versions wrote it.
    const wchar_t withTerminator[] = L"HRVSelector 1 2 1\0";
    EXPECT_EQ(e->SetParams(std::wstring(withTerminator, 18).c_str(), &flags), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(e->GetParams(&text), S_OK);
    EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"2 1");
    SysFreeString(text);
    IUnknown* sources[] = { source };
    ASSERT_EQ(e->Init(0, 1, sources, nullptr, kDt, 0), S_OK);
    SelectorEvent out[8];
    ULONG count = 0;
    LONG next = 0;
    EXPECT_EQ(e->Next(sizeof out, 5000, out, &count, &next), S_FALSE);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(out[1].mPosition, 2001);
    EXPECT_FLOAT_EQ(out[1].mFraction, -0.25f);
    EXPECT_DOUBLE_EQ(out[0].mValue, 75.0);
    EXPECT_EQ(next, kEventEnd);
    e->Release();
    source->Release();
}

} // namespace

// Hjorth's measures against their closed forms: for x = sum of A_k sin(w_k t) sampled at dt over
// whole periods, the central difference has the amplitude A_k S_k with S_k = sin(w_k dt) / dt,
// the moving average of length m the gain G_k = sin(m w_k dt / 2) / (m sin(w_k dt / 2)); so
// var(x) = sum A_k^2 / 2, var(s1) = sum (A_k G_k S_k)^2 / 2 and var(d2) = sum (A_k G_k S_k^2)^2 / 2.
TEST(Hjorth, MeasuresOfSinesMatchTheirClosedForms)
{
    struct Case {
        int m;
        std::vector<std::pair<double, double>> sines; // amplitude, frequency in Hz
    };
    const double dt = 1.0 / 360.0;
    const Case cases[] = {
        { 1, { { 1.0, 5.0 } } }, // one sine: complexity 1
        { 1, { { 2.5, 18.0 } } },
        { 5, { { 1.0, 10.0 } } }, // smoothed: complexity 1 / G
        { 1, { { 1.0, 2.0 }, { 0.5, 30.0 } } }, // two sines: complexity above 1
        { 3, { { 1.0, 4.0 }, { 1.0, 12.0 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m);
        const std::size_t n = 36000; // 100 s: whole periods of every frequency
        std::vector<float> x(n);
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0;
            for (const auto& [a, f] : c.sines)
                v += a * std::sin(2 * M_PI * f * static_cast<double>(i) * dt);
            x[i] = static_cast<float>(v);
        }
        double vx = 0, vs1 = 0, vd2 = 0;
        for (const auto& [a, f] : c.sines) {
            const double w = 2 * M_PI * f;
            const double s = std::sin(w * dt) / dt;
            const double g = std::sin(c.m * w * dt / 2) / (c.m * std::sin(w * dt / 2));
            vx += a * a / 2;
            vs1 += std::pow(a * g * s, 2) / 2;
            vd2 += std::pow(a * g * s * s, 2) / 2;
        }
        double activity = 0, mobility = 0, complexity = 0;
        ComputeHjorth(c.m, dt, x, activity, mobility, complexity);
        EXPECT_NEAR(activity, vx, 1e-3 * vx);
        EXPECT_NEAR(mobility, std::sqrt(vs1 / vx), 1e-3 * std::sqrt(vs1 / vx));
        const double expected = std::sqrt(vd2 * vx) / vs1;
        EXPECT_NEAR(complexity, expected, 1e-3 * expected);
        if (c.sines.size() > 1) {
            EXPECT_GT(complexity, 1.2);
        }
    }
}
