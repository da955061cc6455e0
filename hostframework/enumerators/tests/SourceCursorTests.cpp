#include "host/recording/HostSources.h"
#include "hostframework/enumerators/SourceCursors.h"

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/units/UnitEntry.h"

using namespace EEH3;
using vx::host::HostEventSource;
using vx::host::HostFloatStream;
using vx::host::Recording;

namespace {

// One channel of `n` samples whose value is its position, and an event channel with events
// every 10 ticks from 5 on (16-byte records).
std::shared_ptr<Recording> MakeRecording(int64_t n, int events = 0)
{
    auto r = std::make_shared<Recording>();
    r->AddChannel({});
    r->AddRecord(0.001);
    std::vector<float> v(static_cast<std::size_t>(n));
    for (int64_t i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<float>(i);
    r->records[0].channels[0] = vx::host::SampleStore(std::move(v));
    r->records[0].length = n;
    vx::host::EventChannel e;
    e.records.resize(1);
    for (int i = 0; i < events; ++i) {
        vx::host::AnnotationEvent a {};
        a.position = 5 + 10 * i;
        a.code = static_cast<uint8_t>(i % 7 + 1);
        const auto* p = reinterpret_cast<const std::byte*>(&a);
        e.records[0].insert(e.records[0].end(), p, p + sizeof a);
    }
    r->eventChannels.push_back(std::move(e));
    return r;
}

// Walks a cursor to its end; the values seen and the size of every block read.
std::vector<float> Walk(FloatExWrapper& cursor, HostFloatStream& stream, std::vector<int>* blocks = nullptr)
{
    std::vector<float> seen;
    int reads = stream.reads;
    for (bool ok = cursor.IsValid(); ok; ok = cursor.Next()) {
        if (blocks && stream.reads != reads) {
            LONG p = 0;
            stream.GetPosition(&p);
            blocks->push_back(static_cast<int>(p - cursor.BufferStart()));
            reads = stream.reads;
        }
        EXPECT_EQ(cursor.Position(), static_cast<LONG>(seen.size()));
        seen.push_back(cursor.Value());
    }
    return seen;
}

TEST(FloatExWrapper, WithoutAStreamItOnlyCounts)
{
    FloatExWrapper c(nullptr);
    for (LONG expected = 0; expected < 4; ++expected) {
        EXPECT_TRUE(c.IsValid());
        EXPECT_EQ(c.Position(), expected);
        EXPECT_TRUE(c.Next());
    }
    c.SeekTo(0x7FFFFFFE);
    EXPECT_TRUE(c.Next());
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
    EXPECT_TRUE(c.Next()); // stays at the largest position instead of overflowing
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
}

TEST(FloatExWrapper, ReadsBlocksUpToTheLimitIncludingItsLastSample)
{
    const struct {
        LONG limit;
        std::vector<int> blocks;
    } cases[] = {
        { 1000, { 1000 } },
        { 3000, { 1024, 1024, 952 } },
        { 1025, { 1024, 1 } }, // the sample at limit - 1 opens a block of its own
        { 1, { 1 } },
        { 2048, { 1024, 1024 } },
    };
    auto recording = MakeRecording(5000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        auto* stream = new HostFloatStream(recording, 0, 0);
        FloatExWrapper cursor(stream, c.limit);
        std::vector<int> blocks;
        const std::vector<float> seen = Walk(cursor, *stream, &blocks);
        EXPECT_EQ(blocks, c.blocks);
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(c.limit));
        EXPECT_EQ(seen.back(), static_cast<float>(c.limit - 1));
        EXPECT_TRUE(cursor.AtEnd());
        EXPECT_EQ(cursor.Position(), c.limit);
        stream->Release();
    }
    // A limit beyond the data: the stream's end (S_FALSE from a finished record) ends the walk.
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper cursor(stream);
    EXPECT_EQ(Walk(cursor, *stream).size(), 5000u);
    EXPECT_TRUE(cursor.AtEnd());
    stream->Release();
}

TEST(FloatExWrapper, SeeksInsideTheBufferDoNotTouchTheStream)
{
    auto recording = MakeRecording(5000);
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper c(stream, 5000);
    ASSERT_TRUE(c.IsValid());
    const int reads = stream->reads, seeks = stream->seeks;
    for (LONG p : { 1000, 3, 1023, 0 }) {
        c.SeekTo(p);
        ASSERT_TRUE(c.IsValid());
        EXPECT_EQ(c.Position(), p);
        EXPECT_EQ(c.Value(), static_cast<float>(p));
    }
    EXPECT_EQ(stream->reads, reads);
    EXPECT_EQ(stream->seeks, seeks);

    // Outside the block the stream moves, relative to where it is, and reads anew.
    for (LONG p : { 4000, 1024, 2500, 17 }) {
        c.SeekTo(p);
        ASSERT_TRUE(c.IsValid());
        EXPECT_EQ(c.Position(), p);
        EXPECT_EQ(c.Value(), static_cast<float>(p));
        ASSERT_TRUE(c.Next());
        EXPECT_EQ(c.Value(), static_cast<float>(p + 1));
    }
    EXPECT_GT(stream->seeks, seeks);
    stream->Release();
}

TEST(FloatExWrapper, SeekingToTheLargestPositionEndsAndASeekBackResumes)
{
    auto recording = MakeRecording(3000);
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper c(stream);
    ASSERT_TRUE(c.IsValid());
    c.SeekTo(0x7FFFFFFF);
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
    // Back inside the data: the stream lands on the sample asked for, not where the stale
    // block would have put it.
    c.SeekTo(10);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Value(), 10.0f);
    c.SeekTo(2999);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Value(), 2999.0f);
    EXPECT_FALSE(c.Next());
    EXPECT_TRUE(c.AtEnd());
    stream->Release();
}

TEST(FloatExWrapper, WhileSamplingAnEmptyReadWaitsInsteadOfEnding)
{
    auto recording = MakeRecording(100);
    recording->samplingRecord = 0;
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper c(stream);
    EXPECT_EQ(Walk(c, *stream).size(), 100u);
    EXPECT_FALSE(c.AtEnd());
    const float more[] = { 100.0f, 101.0f };
    recording->records[0].channels[0].Append(more);
    recording->records[0].length = 102;
    ASSERT_TRUE(c.Next());
    EXPECT_EQ(c.Position(), 100);
    EXPECT_EQ(c.Value(), 100.0f);
    stream->Release();
}

TEST(FloatExWrapper, TimeBaseComesFromTheStream)
{
    auto recording = MakeRecording(10);
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper c(stream);
    vx::hf::RateRatio r;
    ASSERT_EQ(c.GetTimeBase(&r), S_OK);
    EXPECT_EQ(r.numerator, 1);
    EXPECT_EQ(r.denominator, 1000);
    FloatExWrapper none(nullptr);
    ASSERT_EQ(none.GetTimeBase(&r), S_OK);
    EXPECT_EQ(r.denominator, 1);
    EXPECT_EQ(r.offset, 0.0);
    c.SetStart(7);
    EXPECT_TRUE(c.SeekRequested());
    LONG p = 0;
    stream->GetPosition(&p);
    EXPECT_EQ(p, 7);
    stream->Release();
}

std::vector<LONG> WalkEvents(EventWrapper& c)
{
    std::vector<LONG> seen;
    for (bool ok = c.IsValid(); ok; ok = c.Next())
        seen.push_back(c.Position());
    return seen;
}

// A record that grows: the cursors read past their old limit once told the new one. A cloned
// cursor reads on its own: the sample cursor's clone shares the stream but moves it where it
// reads, the event cursor's clone reads a clone of the source.
TEST(SourceCursors, AGrownRecordReadsPastTheOldLimitAndClonesReadApart)
{
    auto recording = MakeRecording(100, 10); // events at 5 ... 95
    recording->samplingRecord = 0;
    auto* stream = new HostFloatStream(recording, 0, 0);
    FloatExWrapper samples(stream, 100);
    EXPECT_EQ(Walk(samples, *stream).size(), 100u);
    EXPECT_TRUE(samples.AtEnd());
    std::vector<float> more(50);
    for (int i = 0; i < 50; ++i)
        more[static_cast<std::size_t>(i)] = static_cast<float>(100 + i);
    recording->records[0].channels[0].Append(more);
    recording->records[0].length = 150;
    LONG length = 0;
    EXPECT_EQ(samples.GetLength(&length), S_OK);
    EXPECT_EQ(length, 150);
    samples.SetLimit(150);
    EXPECT_FALSE(samples.AtEnd());
    samples.SeekTo(120);
    ASSERT_TRUE(samples.IsValid());
    EXPECT_EQ(samples.Value(), 120.0f);
    const std::unique_ptr<FloatExWrapper> copy = samples.Clone();
    copy->SeekTo(7);
    ASSERT_TRUE(copy->IsValid());
    EXPECT_EQ(copy->Value(), 7.0f);
    samples.SeekTo(149);
    ASSERT_TRUE(samples.IsValid());
    EXPECT_EQ(samples.Value(), 149.0f);
    EXPECT_FALSE(samples.Next());
    stream->Release();

    auto* source = new HostEventSource(recording, 0, 0);
    EventWrapperEx<vx::host::AnnotationEvent> events(source, 60);
    EXPECT_EQ(WalkEvents(events).size(), 6u); // 5 ... 55
    EXPECT_TRUE(events.AtEnd());
    events.SetLimit(100);
    events.SeekTo(60);
    ASSERT_TRUE(events.IsValid());
    EXPECT_EQ(events.Position(), 65);
    const auto clone = events.Clone();
    EXPECT_FALSE(events.SharesSource() || clone->SharesSource());
    clone->SeekTo(0);
    EXPECT_EQ(WalkEvents(*clone).size(), 10u); // 5 ... 95
    ASSERT_TRUE(events.Next());
    EXPECT_EQ(events.Position(), 75);
    source->Release();
}

TEST(EventWrapper, ReadsEightRecordsAtATimeUpToTheLimit)
{
    auto recording = MakeRecording(1000, 20); // events at 5, 15, ... 195
    auto* source = new HostEventSource(recording, 0, 0);
    EventWrapperEx<vx::host::AnnotationEvent> c(source);
    EXPECT_EQ(c.RecordSize(), 16u);
    const auto seen = WalkEvents(c);
    ASSERT_EQ(seen.size(), 20u);
    EXPECT_EQ(seen.front(), 5);
    EXPECT_EQ(seen.back(), 195);
    EXPECT_EQ(source->reads, 4); // 8 + 8 + 4, then one read that finds nothing
    EXPECT_TRUE(c.AtEnd());
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
    source->Release();

    source = new HostEventSource(recording, 0, 0);
    EventWrapperEx<vx::host::AnnotationEvent> limited(source, 100);
    EXPECT_EQ(WalkEvents(limited).size(), 10u); // 5 ... 95
    source->Release();
}

TEST(EventWrapper, SeeksInsideTheBufferOrThroughTheSource)
{
    auto recording = MakeRecording(1000, 20);
    auto* source = new HostEventSource(recording, 0, 0);
    EventWrapperEx<vx::host::AnnotationEvent> c(source);
    ASSERT_TRUE(c.IsValid()); // buffer holds 5 ... 75
    c.SeekTo(40);
    EXPECT_EQ(c.Position(), 45);
    vx::host::AnnotationEvent e {};
    ASSERT_TRUE(c.Get(e));
    EXPECT_EQ(e.position, 45);
    EXPECT_EQ(e.code, 5);
    EXPECT_EQ(source->finds, 0);
    c.SeekTo(150); // beyond the buffer
    EXPECT_EQ(source->finds, 1);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Position(), 155);
    // Past the last event the source reports 0x7FFFFFFF: the cursor is at its end.
    c.SeekTo(500);
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
    c.SeekTo(0);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.Position(), 5);
    c.SeekTo(0x7FFFFFFF);
    EXPECT_FALSE(c.IsValid());
    source->Release();
}

TEST(EventWrapper, WithoutASourceItIsAtItsEnd)
{
    EventWrapper c(nullptr);
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(c.Position(), 0x7FFFFFFF);
    c.SeekTo(3);
    EXPECT_FALSE(c.Next());
}

TEST(ReadIntRect, ParsesFourNumbersWithDefaults)
{
    const struct {
        const wchar_t* text;
        int32_t expected[4];
    } cases[] = {
        { L"1 2 3 4", { 2, 1, 4, 3 } },
        { L"-5 7", { 7, 0, 0x7FFFFFFF, 0x7FFFFFFF } },
        { L"", { 0, 0, 0x7FFFFFFF, 0x7FFFFFFF } },
        { L"2.5 -2.5 1e12 -1e12", { 0, 3, 0x7FFFFFFF, 0x7FFFFFFF } },
        { L"1 x 3 4", { 0, 1, 0x7FFFFFFF, 0x7FFFFFFF } },
        { L"0 0 2147483647.6 3", { 0, 0, 3, 0x7FFFFFFF } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        std::wistringstream in(c.text);
        int32_t out[4] = {};
        ReadIntRect(in, out);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(out[i], c.expected[i]) << i;
    }
}

TEST(SelectorUnit, IsANewQuestionMarkUnitWithOneReference)
{
    IUnitName* a = nullptr;
    IUnitName* b = nullptr;
    ASSERT_EQ(SelectorUnit(&a), S_OK);
    ASSERT_EQ(SelectorUnit(&b), S_OK);
    EXPECT_NE(a, b);
    IKELString* text = nullptr;
    ASSERT_EQ(a->GetText(1, &text), S_OK);
    EXPECT_EQ(KEL::String(text), L"?");
    text->Release();
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(SelectorUnit(nullptr), E_POINTER);
}

// An extension enumerator read as an event source: SetStart reaches its Seek, not Find.
class EnumeratorSource final : public SimpleUnknownImp2<IEnumEventEx, ICalcEnum, 1> {
public:
    LONG seek = -1;
    int finds = 0;
    HRESULT Next(ULONG, LONG, void*, ULONG* count, LONG* next) override
    {
        *count = 0;
        *next = 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT Find(LONG, LONG, LONG, LONG) override
    {
        ++finds;
        return S_OK;
    }
    HRESULT GetPosition(LONG* p) override
    {
        *p = 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx** o) override
    {
        *o = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetRecordSize(ULONG* s) override
    {
        *s = 80;
        return S_OK;
    }
    HRESULT GetEventType(DWORD* t) override
    {
        *t = 0;
        return S_OK;
    }
    HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* r) override
    {
        *r = { 1, 360, 0.0 };
        return S_OK;
    }
    HRESULT GetClassId(DWORD* id) override
    {
        *id = 0;
        return S_OK;
    }
    HRESULT GetClassObject(IUnknown** o) override
    {
        *o = nullptr;
        return E_NOTIMPL;
    }
    HRESULT SetParams(const wchar_t*, DWORD*) override { return S_OK; }
    HRESULT GetParams(BSTR* t) override
    {
        *t = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Clone(ICalcEnum** o) override
    {
        *o = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Init(LONG, ULONG, IUnknown* const*, IUnitName* const*, double, DWORD) override { return S_OK; }
    HRESULT Seek(LONG p) override
    {
        seek = p;
        return S_OK;
    }
    HRESULT ClearSources() override { return S_OK; }
};

TEST(EventWrapper, SetStartOnAnEnumeratorSeeksIt)
{
    auto* source = new EnumeratorSource();
    {
        EventWrapper c(static_cast<IEnumEventEx*>(source));
        EXPECT_EQ(c.RecordSize(), 80u);
        c.SetStart(1234);
        EXPECT_TRUE(c.SeekRequested());
        EXPECT_EQ(source->seek, 1234);
        EXPECT_EQ(source->finds, 0);
        vx::hf::RateRatio r;
        ASSERT_EQ(c.GetTimeBase(&r), S_OK);
        EXPECT_EQ(r.denominator, 360);
        EXPECT_FALSE(c.IsValid()); // no events: the source reports none follow
        // A source that cannot be cloned is shared by the clone, and both cursors know it.
        EventWrapperEx<KELEventBase> typed(static_cast<IEnumEventEx*>(source));
        EXPECT_FALSE(typed.SharesSource());
        const auto clone = typed.Clone();
        EXPECT_TRUE(typed.SharesSource());
        EXPECT_TRUE(clone->SharesSource());
        EXPECT_EQ(clone->RecordSize(), 80u);
    }
    EXPECT_EQ(source->Release(), 0u);
}

} // namespace
