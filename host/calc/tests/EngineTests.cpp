#include "host/calc/CalcError.h"
#include "host/calc/Engine.h"
#include "host/calc/tests/TestRecording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <locale>
#include <sstream>

using namespace vx::calc;
using namespace vx::calc::test;

namespace {

std::shared_ptr<TestRecording> Ramp()
{
    auto r = std::make_shared<TestRecording>();
    std::vector<float> a(20000), b(20000);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = std::sin(static_cast<float>(i) * 0.05f) * 5.0f;
        b[i] = static_cast<float>(i % 100);
    }
    r->records.push_back({ 1000.0, { a, b } });
    return r;
}

// Bad formulas: each gives a clear error (with its position when it lies in the text) and the
// channel keeps its previous formula and output.
TEST(Engine, BadFormulasKeepThePreviousFormula)
{
    constexpr std::size_t kNoPosition = std::string::npos;
    const struct {
        const wchar_t* formula;
        std::size_t position;
        const char* words;
    } cases[] = {
        { L"lowpass(Ch1,30", 14, "missing ')'" },
        { L"lowpas(Ch1,30)", 0, "unknown function 'lowpas'" },
        { L"lowpass(Ch1)", 0, "lowpass takes 2 arguments" },
        { L"2 * lowpass(Ch1,30,4)", 4, "not 3" },
        { L"lowpass(Ch1,-5)", 12, "greater than 0" },
        { L"lowpass(Ch1,0)", 12, "greater than 0" },
        { L"lowpass(Ch1,Ch2)", 12, "must be a number" },
        { L"lowpass(Ch1,600)", kNoPosition, "Nyquist" },
        { L"normalizeSec(Ch1,0,1,0)", 17, "window must be greater than 0" },
        { L"normalizeSec(Ch1,5,6,0)", 19, "step must not exceed the window" },
        { L"normalizeSec(Ch1,5,2.5,-1)", 23, "must not be negative" },
        { L"differentiate(Ch1,4)", 18, "odd" },
        { L"differentiate(Ch1,2.5)", 18, "whole number" },
        { L"resample(Ch1,1,1,1,160,0,1)", 25, "unsupported" },
        { L"resample(Ch1,2,1,1,160,0,2)", 13, "unsupported" },
        { L"cmpeakdet(Ch1,3,0,30)", 16, "minimum period must be greater than 0" },
        { L"cmpeakdet(Ch1,3,0.3,101)", 20, "from 0 to 100" },
        { L"cmpeakdet(Ch1,3,0.3,30) + 1", 0, "event channel cannot be used in arithmetic" },
        { L"lowpass(cmpeakdet(Ch1,3,0.3,30),30)", 8, "is an event channel" },
        { L"Ch5", 0, "there is no channel 5" },
        { L"1 + Nothing", 4, "unknown channel or function 'Nothing'" },
        { L"A + 1", 0, "refers to itself" },
        { L"sinewave()", 0, "sinewave takes 1 argument" },
    };
    Engine engine(Ramp());
    engine.SetFormula(L"A", L"lowpass(Ch1,30)");
    const auto before = ReadAll(engine, L"A");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.formula, c.formula + std::wcslen(c.formula)));
        try {
            engine.SetFormula(L"A", c.formula);
            ADD_FAILURE() << "accepted";
        } catch (const FormulaError& e) {
            EXPECT_EQ(e.Position(), c.position) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        } catch (const CalcError& e) {
            EXPECT_EQ(c.position, kNoPosition) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
        EXPECT_EQ(engine.Formula(L"A"), L"lowpass(Ch1,30)");
        EXPECT_TRUE(ReadAll(engine, L"A") == before);
    }
    // A failed formula for a new name creates no channel.
    EXPECT_THROW(engine.SetFormula(L"New", L"lowpass("), FormulaError);
    EXPECT_FALSE(engine.HasChannel(L"New"));
}

// Every walk of a formula's tree recurses through it, and a chain of operators makes it one level
// deeper per operator: a long formula works up to the limit and gives its reason beyond it, never
// a crash (a 20,000-term sum once overflowed the stack while compiling and freeing its tree).
TEST(Engine, LongFormulasWorkOrGiveTheirReason)
{
    const auto chain = [](const std::wstring& term, const std::wstring& op, int count) {
        std::wstring text = term;
        for (int i = 1; i < count; ++i)
            text += op + term;
        return text;
    };
    std::wstring nested;
    for (int level = 0; level < 150; ++level)
        nested += chain(L"Ch2", L"+", 20) + L"+(";
    nested += L"1" + std::wstring(150, L')');
    const struct {
        const char* name;
        std::wstring formula;
    } refused[] = {
        { "a flat sum of 20,000 ones", chain(L"1", L"+", 20000) },
        { "a flat product of 20,000 channels", chain(L"Ch2", L"*", 20000) },
        { "a chain of signs", std::wstring(150, L'-') + L"(" + chain(L"-Ch1", L"-", 20000) + L")" },
        { "sums inside sums", nested },
    };
    Engine engine(Ramp());
    engine.SetFormula(L"A", L"Ch2");
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        try {
            engine.SetFormula(L"A", c.formula);
            ADD_FAILURE() << "accepted";
        } catch (const FormulaError& e) {
            EXPECT_NE(e.Message().find("the formula is too long"), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line";
        }
        EXPECT_EQ(engine.Formula(L"A"), L"Ch2");
    }
    // A thousand terms are far more than anyone writes, and work.
    engine.SetFormula(L"A", chain(L"Ch2", L"+", 1000));
    const auto sum = ReadAll(engine, L"A");
    for (std::size_t i = 0; i < sum.size(); i += 37)
        ASSERT_EQ(sum[i], 1000.0f * static_cast<float>(i % 100)) << i;
}

TEST(Engine, NamesReferencesAndCase)
{
    Engine engine(Ramp());
    engine.SetFormula(L"A", L"lowpass(Ch1,30)");
    engine.SetFormula(L"B", L"LOWPASS(channel1, 30)");
    EXPECT_TRUE(ReadAll(engine, L"A") == ReadAll(engine, L"B"));
    engine.SetFormula(L"C", L"(Ch2 - 1) * 2 / 4 + -A");
    auto c = ReadAll(engine, L"C");
    auto a = ReadAll(engine, L"A");
    for (std::size_t i = 0; i < c.size(); i += 31)
        ASSERT_FLOAT_EQ(c[i], (static_cast<float>(i % 100) - 1) * 2 / 4 - a[i]);
    engine.SetFormula(L"R", L"RCh2");
    EXPECT_EQ(ReadAll(engine, L"R")[5], 500.0f);
    engine.SetFormula(L"K", L"2 * (3 + 4)");
    EXPECT_EQ(ReadAll(engine, L"K")[123], 14.0f);
    // vCh<n> names the formula channel shown in position n, else the recorded channel.
    engine.SetFormula(L"V", L"vCh2");
    EXPECT_EQ(ReadAll(engine, L"V")[7], 7.0f);
    engine.BindChannelNumber(L"K", 1);
    EXPECT_EQ(ReadAll(engine, L"V")[7], 14.0f);
}

TEST(Engine, ReplacingAndRemovingUpstreamChannels)
{
    Engine engine(Ramp());
    engine.SetFormula(L"A", L"Ch2 * 2");
    engine.SetFormula(L"B", L"A + 1");
    EXPECT_EQ(ReadAll(engine, L"B")[10], 21.0f);
    engine.SetFormula(L"A", L"Ch2 * 3");
    EXPECT_EQ(ReadAll(engine, L"B")[10], 31.0f);
    // A cycle through another channel is refused and changes nothing.
    EXPECT_THROW(engine.SetFormula(L"A", L"B * 2"), FormulaError);
    EXPECT_EQ(engine.Formula(L"A"), L"Ch2 * 3");
    EXPECT_EQ(ReadAll(engine, L"B")[10], 31.0f);
    engine.RemoveChannel(L"A");
    try {
        engine.Channel(L"B");
        ADD_FAILURE() << "B still compiles";
    } catch (const CalcError& e) {
        EXPECT_NE(std::string(e.what()).find("'A'"), std::string::npos) << e.what();
    }
    engine.AddChannel(L"E");
    EXPECT_THROW(engine.Channel(L"E"), CalcError);
    EXPECT_THROW(engine.SetFormula(L"F", L"E * 2"), FormulaError);
}

// Rewriting a later stage keeps the computed blocks of the stages it reads; rewriting an earlier
// one recomputes everything after it.
TEST(Engine, RewritingAStageKeepsTheStagesBeforeIt)
{
    auto recording = OneChannel(SyntheticEcg(50000, 1000, nullptr), 1000);
    Engine engine(recording);
    engine.SetFormula(L"L", L"lowpass(Ch1,30)");
    engine.SetFormula(L"P", L"cmpeakdet(L,0.5,0.3,30)");
    const auto peaks = EventPositions(engine, L"P");
    ASSERT_GT(peaks.size(), 20u);
    const int64_t read = recording->samplesRead;
    engine.SetFormula(L"P", L"cmpeakdet(L,0.5,0.3,0)");
    engine.SetFormula(L"Q", L"L * 2");
    EXPECT_EQ(EventPositions(engine, L"P").size(), peaks.size());
    ReadAll(engine, L"Q");
    EXPECT_EQ(recording->samplesRead, read);
    engine.SetFormula(L"L", L"lowpass(Ch1,20)");
    EventPositions(engine, L"P");
    EXPECT_GT(recording->samplesRead, read);
}

TEST(Engine, CutOffIsCheckedAgainstEveryRecord)
{
    auto r = std::make_shared<TestRecording>();
    r->records.push_back({ 1000.0, { std::vector<float>(1000, 1.0f) } });
    r->records.push_back({ 50.0, { std::vector<float>(100, 1.0f) } });
    Engine engine(r);
    engine.SetFormula(L"A", L"lowpass(Ch1,20)");
    try {
        engine.SetFormula(L"A", L"lowpass(Ch1,30)");
        ADD_FAILURE();
    } catch (const CalcError& e) {
        EXPECT_NE(std::string(e.what()).find("record 2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadAll(engine, L"A", 1).size(), 100u);
}

// A test enumerator: for every reference event it emits a 24-byte record {position, fraction,
// signal value at the position times its parameter, serial number}. It logs the calls it gets.
struct EnumLog {
    std::vector<std::string> calls;
};

class TestEnum final : public IEventEnumerator {
public:
    explicit TestEnum(std::shared_ptr<EnumLog> log)
        : mLog(std::move(log))
    {
    }
    uint32_t RecordSize() const override { return 24; }
    void SetParams(const std::wstring& text) override
    {
        mLog->calls.push_back("params " + std::string(text.begin(), text.end()));
        std::wistringstream in(text);
        std::wstring word;
        int sources = 0;
        in >> word >> sources >> mScale;
        if (mScale > 5)
            throw CalcError("the scale " + std::to_string(mScale) + " is refused");
    }
    void Init(int record, const std::vector<EnumeratorSource>& sources, double interval) override
    {
        mLog->calls.push_back(
            "init " + std::to_string(record) + " " + std::to_string(sources.size()) + " " + std::to_string(interval));
        mSources = sources;
        mPos = 0;
    }
    void Seek(int32_t position) override
    {
        mLog->calls.push_back("seek " + std::to_string(position));
        mPos = position;
    }
    bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) override
    {
        const EnumeratorSource& signal = mSources[0];
        const EnumeratorSource& reference = mSources[1];
        const int64_t end = std::min<int64_t>(endOffset, reference.info.length);
        EventBuffer events;
        reference.events->Read(reference.record, mPos, end, events);
        count = 0;
        const std::size_t capacity = buffer.size() / 24;
        for (std::size_t i = 0; i < events.Count(); ++i) {
            if (count == capacity) {
                mPos = events.Position(i);
                next = mPos;
                return true;
            }
            float v = 0;
            signal.samples->Read(signal.record, events.Position(i), std::span<float>(&v, 1));
            const double value = v * mScale;
            const int32_t pos = events.Position(i), serial = ++mSerial;
            const float fraction = 0;
            std::byte* out = buffer.data() + count * 24;
            std::memcpy(out, &pos, 4);
            std::memcpy(out + 4, &fraction, 4);
            std::memcpy(out + 8, &value, 8);
            std::memcpy(out + 16, &serial, 4);
            ++count;
        }
        mPos = static_cast<int32_t>(end);
        next = end >= reference.info.length ? kEnd : mPos;
        return next != kEnd;
    }

private:
    std::shared_ptr<EnumLog> mLog;
    std::vector<EnumeratorSource> mSources;
    double mScale = 1;
    int32_t mPos = 0;
    int32_t mSerial = 0;
};

EnumeratorClass TestEnumClass(std::shared_ptr<EnumLog> log)
{
    EnumeratorClass cls;
    cls.functionName = "TestEnum";
    cls.params = { { "Signal", EnumeratorParam::Kind::Samples }, { "Reference", EnumeratorParam::Kind::Events },
        { "Scale", EnumeratorParam::Kind::Number, 0, 10 } };
    cls.create = [log] { return std::make_unique<TestEnum>(log); };
    return cls;
}

TEST(Enumerators, CalledFromFormulasWithSourcesAndParameters)
{
    auto log = std::make_shared<EnumLog>();
    Engine engine(Ramp());
    EXPECT_THROW(engine.SetFormula(L"F", L"testenum(Ch1, cmpeakdet(Ch1,3,0.1,0), 2.5)"), FormulaError);
    engine.RegisterEnumerator(TestEnumClass(log));
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.1,0)");
    // Parameters travel in the classic locale whatever the process locale is.
    struct CommaPunct : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    engine.SetFormula(L"F", L"TESTENUM(Ch1, P, 2.5)");
    std::locale::global(previous);
    EXPECT_EQ(log->calls.front(), "params TestEnum 2 2.5");

    const auto peaks = EventPositions(engine, L"P");
    ASSERT_GT(peaks.size(), 100u);
    log->calls.clear();
    Compiled f = engine.Channel(L"F");
    EXPECT_EQ(f.events->RecordSize(), 24u);
    EventBuffer whole;
    f.events->Read(0, 0, 20000, whole);
    ASSERT_EQ(whole.Count(), peaks.size());
    for (std::size_t i = 0; i < whole.Count(); ++i) {
        EXPECT_EQ(whole.Position(i), peaks[i]);
        double v;
        std::memcpy(&v, whole.Record(i) + 8, 8);
        EXPECT_NEAR(v, 2.5 * 5.0 * std::sin(peaks[i] * 0.05), 1e-4);
    }
    EXPECT_EQ(log->calls[0], "params TestEnum 2 2.5");
    EXPECT_EQ(log->calls[1], "init 0 2 0.001000");

    // What the enumerator gave is handed out again without running it: the document's analysis
    // and the data pad read the same beats.
    log->calls.clear();
    EventBuffer again;
    f.events->Read(0, 2000, 20000, again);
    EXPECT_TRUE(log->calls.empty());
    EXPECT_EQ(again.Count(),
        static_cast<std::size_t>(std::count_if(peaks.begin(), peaks.end(), [](int32_t p) { return p >= 2000; })));

    // On a fresh channel, adjacent requests continue where the enumerator stands; a jump seeks.
    engine.SetFormula(L"F", L"TESTENUM(Ch1, P, 2.5)");
    f = engine.Channel(L"F");
    log->calls.clear();
    EventBuffer a, b, c;
    f.events->Read(0, 5000, 8000, a);
    f.events->Read(0, 8000, 12000, b);
    f.events->Read(0, 3000, 5000, c);
    ASSERT_GE(log->calls.size(), 2u);
    EXPECT_EQ(log->calls.front(), "params TestEnum 2 2.5");
    EXPECT_EQ(std::vector<std::string>(log->calls.begin() + 2, log->calls.end()),
        (std::vector<std::string> { "seek 5000", "seek 3000" }));
    for (std::size_t i = 0; i < a.Count(); ++i)
        EXPECT_TRUE(a.Position(i) >= 5000 && a.Position(i) < 8000);
    EXPECT_EQ(a.Count() + b.Count() + c.Count(),
        static_cast<std::size_t>(
            std::count_if(peaks.begin(), peaks.end(), [](int32_t p) { return p >= 3000 && p < 12000; })));

    // Nested calls as sources.
    engine.SetFormula(L"G", L"testenum(lowpass(Ch1,30), cmpeakdet(Ch1,3,0.1,0), 1)");
    EXPECT_EQ(EventPositions(engine, L"G"), peaks);
}

// A long record's events are kept in several blocks: any stretch of them is handed out again, in
// order, without running the enumerator.
TEST(Enumerators, LongMemosHandOutAnyStretch)
{
    auto log = std::make_shared<EnumLog>();
    std::vector<float> wave(150000);
    for (std::size_t i = 0; i < wave.size(); ++i)
        wave[i] = std::sin(static_cast<float>(i) * 0.6f) * 5.0f; // a peak about every 10 samples
    Engine engine(OneChannel(wave, 1000.0));
    engine.RegisterEnumerator(TestEnumClass(log));
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.004,0)");
    engine.SetFormula(L"F", L"testenum(Ch1, P, 1)");
    Compiled f = engine.Channel(L"F");
    EventBuffer whole;
    f.events->Read(0, 0, 150000, whole);
    ASSERT_GT(whole.bytes.size(), std::size_t(256) << 10); // more than one block of events
    log->calls.clear();
    for (const auto& [from, to] : { std::pair<int64_t, int64_t> { 0, 150000 }, { 12345, 100001 }, { 149990, 150000 },
             { 5, 6 }, { 75000, 75000 } }) {
        EventBuffer part;
        f.events->Read(0, from, to, part);
        std::vector<std::byte> expected;
        for (std::size_t i = 0; i < whole.Count(); ++i)
            if (whole.Position(i) >= from && whole.Position(i) < to)
                expected.insert(expected.end(), whole.Record(i), whole.Record(i) + whole.recordSize);
        EXPECT_TRUE(part.bytes == expected) << from << "-" << to << ": " << part.Count() << " events";
    }
    EXPECT_TRUE(log->calls.empty());
}

// An enumerator of large records, one every ten samples of its source, logging every call that
// makes it work.
class WideEnum final : public IEventEnumerator {
public:
    static constexpr uint32_t kSize = 1024;
    explicit WideEnum(std::shared_ptr<EnumLog> log)
        : mLog(std::move(log))
    {
    }
    uint32_t RecordSize() const override { return kSize; }
    void SetParams(const std::wstring&) override { }
    void Init(int, const std::vector<EnumeratorSource>& sources, double) override { mLength = sources[0].info.length; }
    void Seek(int32_t position) override
    {
        mLog->calls.push_back("seek " + std::to_string(position));
        mPos = position;
    }
    bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) override
    {
        mLog->calls.push_back("next " + std::to_string(mPos));
        const int64_t end = std::min<int64_t>(endOffset, mLength);
        count = 0;
        int64_t p = (mPos + 9) / 10 * 10;
        for (; p < end && (count + 1) * kSize <= buffer.size(); p += 10, ++count) {
            std::byte* out = buffer.data() + count * kSize;
            std::memset(out, static_cast<int>(p % 251), kSize);
            const auto pos = static_cast<int32_t>(p);
            std::memcpy(out, &pos, 4);
        }
        mPos = static_cast<int32_t>(std::min(p, end));
        next = mPos >= mLength ? kEnd : mPos;
        return next != kEnd;
    }

private:
    std::shared_ptr<EnumLog> mLog;
    int64_t mLength = 0;
    int32_t mPos = 0;
};

// A long record's events are all kept, however many a week of beats makes: every later reader of
// the record gets them without running the enumerator again. An enumerator far denser than any
// heart still has its memo stop growing.
TEST(Enumerators, MemosKeepTheEventsOfALongRecord)
{
    // 40,000 events of 1 kB (40 MB) in 400,000 samples.
    std::vector<float> wave(400000, 1.0f);
    const struct {
        double rate;
        bool rerun;
    } cases[] = {
        { 1.0, false }, // 4.6 days: about one event every 10 s
        { 1000.0, true }, // 400 s: 100 events every second
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        auto log = std::make_shared<EnumLog>();
        Engine engine(OneChannel(wave, c.rate));
        EnumeratorClass cls;
        cls.functionName = "WideEnum";
        cls.params = { { "Signal", EnumeratorParam::Kind::Samples } };
        cls.create = [log] { return std::make_unique<WideEnum>(log); };
        engine.RegisterEnumerator(cls);
        engine.SetFormula(L"F", L"wideenum(Ch1)");
        Compiled f = engine.Channel(L"F");
        // The first reader walks the record in stretches, as the document's analysis does.
        EventBuffer first;
        for (int64_t s = 0; s < 400000; s += 40000)
            f.events->Read(0, s, s + 40000, first);
        ASSERT_EQ(first.Count(), 40000u);
        log->calls.clear();
        EventBuffer second;
        f.events->Read(0, 0, 400000, second);
        EXPECT_TRUE(second.bytes == first.bytes);
        EXPECT_EQ(!log->calls.empty(), c.rerun);
    }
}

// A reader that holds a record's events for long (the data pad) gets the blocks of the memo
// itself: the same bytes Read gives, for any stretch, and blocks once handed out never change as
// the memo grows. Where the memo does not keep the events, it says so and Read gives them.
TEST(Enumerators, SharedReadsHandOutTheMemosOwnBlocks)
{
    const auto bytesOf = [](const SharedEvents& shared) {
        std::vector<std::byte> bytes;
        for (const SharedEventRun& run : shared.runs)
            bytes.insert(bytes.end(), run.block->begin() + static_cast<std::ptrdiff_t>(run.first * shared.recordSize),
                run.block->begin() + static_cast<std::ptrdiff_t>((run.first + run.count) * shared.recordSize));
        return bytes;
    };
    const auto readBytes = [](const Compiled& f, int64_t from, int64_t to) {
        EventBuffer events;
        f.events->Read(0, from, to, events);
        return events.bytes;
    };
    for (const double rate : { 1.0, 1000.0 }) {
        SCOPED_TRACE(rate);
        auto log = std::make_shared<EnumLog>();
        Engine engine(OneChannel(std::vector<float>(400000, 1.0f), rate));
        EnumeratorClass cls;
        cls.functionName = "WideEnum";
        cls.params = { { "Signal", EnumeratorParam::Kind::Samples } };
        cls.create = [log] { return std::make_unique<WideEnum>(log); };
        engine.RegisterEnumerator(cls);
        engine.SetFormula(L"F", L"wideenum(Ch1)");
        const Compiled f = engine.Channel(L"F");
        SharedEvents first;
        if (rate > 1.0) {
            // 100 events of 1 kB a second, read in stretches: the memo stops at 32 MiB, short of
            // the record's 40 MB.
            for (int64_t s = 0; s < 400000; s += 40000)
                EXPECT_EQ(readBytes(f, s, s + 40000).size(), 4000u * WideEnum::kSize);
            EXPECT_FALSE(f.events->ReadShared(0, 0, 400000, first));
            EXPECT_EQ(readBytes(f, 0, 400000).size(), 40000u * WideEnum::kSize);
            continue;
        }
        // The first half, read shared before anything else: the memo is filled as far as asked.
        ASSERT_TRUE(f.events->ReadShared(0, 0, 200001, first));
        EXPECT_EQ(first.recordSize, WideEnum::kSize);
        const std::vector<std::byte> handedOut = bytesOf(first);
        EXPECT_EQ(handedOut.size(), 20001u * WideEnum::kSize);
        // The rest of the record is read; what was handed out stays as it was.
        EXPECT_EQ(readBytes(f, 0, 400000).size(), 40000u * WideEnum::kSize);
        EXPECT_TRUE(bytesOf(first) == handedOut);
        log->calls.clear();
        for (const auto& [from, to] : { std::pair<int64_t, int64_t> { 0, 400000 }, { 12345, 300007 },
                 { 399990, 500000 }, { 5, 6 }, { -10, 10 } }) {
            SharedEvents part;
            ASSERT_TRUE(f.events->ReadShared(0, from, to, part));
            EXPECT_TRUE(bytesOf(part) == readBytes(f, from, to)) << from << "-" << to;
        }
        EXPECT_TRUE(log->calls.empty()) << "the enumerator does not run again";
    }
}

TEST(Enumerators, ArgumentErrors)
{
    auto log = std::make_shared<EnumLog>();
    Engine engine(Ramp());
    engine.RegisterEnumerator(TestEnumClass(log));
    engine.SetFormula(L"P", L"cmpeakdet(Ch1,3,0.1,0)");
    const struct {
        const wchar_t* formula;
        std::size_t position;
        const char* words;
    } cases[] = {
        { L"testenum(Ch1, P)", 0, "takes 3 arguments, not 2" },
        { L"testenum(1, P, 2)", 9, "'Signal' must be a sampled channel" },
        { L"testenum(Ch1, Ch1, 2)", 14, "'Reference' must be an event channel" },
        { L"testenum(Ch1, P, Ch1)", 17, "'Scale' must be a number" },
        { L"testenum(Ch1, P, 11)", 17, "'Scale' is out of its range" },
        { L"testenum(Ch1, P, 7)", 0, "the scale 7" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.formula, c.formula + std::wcslen(c.formula)));
        try {
            engine.SetFormula(L"F", c.formula);
            ADD_FAILURE() << "accepted";
        } catch (const FormulaError& e) {
            EXPECT_EQ(e.Position(), c.position) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(engine.RegisterEnumerator(TestEnumClass(log)), CalcError);
    auto clash = TestEnumClass(log);
    clash.functionName = "LowPass";
    EXPECT_THROW(engine.RegisterEnumerator(clash), CalcError);
}

} // namespace
