// The engine's stages computed ahead of an extension enumerator on worker threads give the
// enumerator exactly what it reads on its own thread, whatever the number of workers and however
// the events are asked for.
#include "host/calc/CalcError.h"
#include "host/calc/ReadAhead.h"
#include "host/calc/tests/TestRecording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace vx::calc::test {
namespace {

// An enumerator that walks its sampled source through the whole record in odd-sized reads and,
// for every event of its event source, writes a 24-byte record: the position, the sum of the
// samples within 300 samples of it (reaching beyond the record's edges near them) and the sum of
// every sample before the stretch the event lies in.
class WalkEnum final : public IEventEnumerator {
public:
    uint32_t RecordSize() const override { return 24; }
    void SetParams(const std::wstring&) override { }
    void Init(int, const std::vector<EnumeratorSource>& sources, double) override
    {
        mSources = sources;
        Seek(0);
    }
    void Seek(int32_t position) override
    {
        mPos = position;
        mWalked = 0;
        mRunning = 0;
    }
    bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) override
    {
        const EnumeratorSource& signal = mSources[0];
        const EnumeratorSource& reference = mSources[1];
        const int64_t length = reference.info.length;
        const int64_t end = std::min<int64_t>({ endOffset, length, int64_t(mPos) + 5000 });
        // The samples of the record up to the stretch's end, 7919 at a time.
        std::vector<float> chunk;
        while (mWalked < end) {
            chunk.resize(static_cast<std::size_t>(std::min<int64_t>(7919, end - mWalked)));
            signal.samples->Read(signal.record, mWalked, chunk);
            for (float v : chunk)
                mRunning += v;
            mWalked += static_cast<int64_t>(chunk.size());
        }
        EventBuffer events;
        reference.events->Read(reference.record, mPos, end, events);
        count = 0;
        std::vector<float> around(600);
        for (std::size_t i = 0; i < events.Count() && count < buffer.size() / 24; ++i) {
            const int32_t pos = events.Position(i);
            signal.samples->Read(signal.record, pos - 300, around);
            double window = 0;
            for (float v : around)
                window += v;
            const float fraction = static_cast<float>(mRunning * 1e-6);
            std::byte* out = buffer.data() + count * 24;
            std::memcpy(out, &pos, 4);
            std::memcpy(out + 4, &fraction, 4);
            std::memcpy(out + 8, &window, 8);
            std::memcpy(out + 16, &mRunning, 8);
            ++count;
        }
        mPos = static_cast<int32_t>(end);
        next = end >= length ? kEnd : mPos;
        return next != kEnd;
    }

private:
    std::vector<EnumeratorSource> mSources;
    int32_t mPos = 0;
    int64_t mWalked = 0;
    double mRunning = 0;
};

EnumeratorClass WalkClass()
{
    EnumeratorClass cls;
    cls.functionName = "walk";
    cls.params = { { "Signal", EnumeratorParam::Kind::Samples }, { "Reference", EnumeratorParam::Kind::Events } };
    cls.create = [] { return std::make_unique<WalkEnum>(); };
    return cls;
}

const std::wstring kChain[][2] = {
    { L"LPF", L"lowpass(Ch1,30)" },
    { L"DIF", L"differentiate(LPF,3)" },
    { L"HLB", L"resample(DIF,1,1,1,57,0,2)" },
    { L"ENV", L"DIF * DIF + HLB * HLB" },
    { L"NRM", L"normalizeSec(ENV,5,2.5,0)" },
    { L"DET", L"cmpeakdet(NRM,3,0.3,30)" },
};

// Five and a half segments of an ECG-like channel at 360 Hz.
std::vector<float> LongEcg()
{
    static const std::vector<float> ecg = SyntheticEcg(ReadAhead::kSegment * 11 / 2, 360.0, nullptr);
    return ecg;
}

// The events of the formula, asked for in the given stretches (in that order) and put back in
// position order. (The walk's running sums depend on where its calls start, so runs are compared
// over the same stretches.)
std::vector<std::byte> Events(bool concurrent, int workers, const std::wstring& formula,
    const std::vector<std::pair<int64_t, int64_t>>& stretches)
{
    auto recording = OneChannel(LongEcg(), 360.0);
    recording->concurrent = concurrent;
    Engine engine(recording);
    engine.SetWorkerThreads(workers);
    engine.RegisterEnumerator(WalkClass());
    for (const auto& [name, f] : kChain)
        engine.SetFormula(name, f);
    engine.SetFormula(L"OUT", formula);
    Compiled c = engine.Channel(L"OUT");
    std::vector<EventBuffer> parts;
    for (const auto& [from, to] : stretches)
        c.events->Read(0, from, to, parts.emplace_back());
    std::vector<std::pair<int64_t, std::size_t>> order;
    for (std::size_t i = 0; i < parts.size(); ++i)
        order.emplace_back(stretches[i].first, i);
    std::sort(order.begin(), order.end());
    std::vector<std::byte> all;
    for (const auto& [from, i] : order)
        all.insert(all.end(), parts[i].bytes.begin(), parts[i].bytes.end());
    return all;
}

TEST(ReadAhead, WorkersGiveTheEnumeratorWhatItReadsAlone)
{
    const int64_t length = static_cast<int64_t>(LongEcg().size());
    const std::vector<std::pair<int64_t, int64_t>> whole = { { 0, length } };
    const std::vector<std::pair<int64_t, int64_t>> halvesBackwards = { { length / 2, length }, { 0, length / 2 } };
    std::vector<std::pair<int64_t, int64_t>> pieces;
    for (int64_t from = 0; from < length; from += 100003)
        pieces.emplace_back(from, std::min(length, from + 100003));

    struct Case {
        const char* what;
        std::wstring formula;
        bool concurrent;
        int workers;
        std::vector<std::pair<int64_t, int64_t>> stretches;
    };
    const Case cases[] = {
        { "the detector chain, three workers", L"walk(LPF, DET)", true, 3, whole },
        { "one worker", L"walk(LPF, DET)", true, 1, whole },
        { "read backwards in halves", L"walk(LPF, DET)", true, 3, halvesBackwards },
        { "read in stretches", L"walk(LPF, DET)", true, 2, pieces },
        { "arithmetic on the sources", L"walk(LPF * 2 - Ch1, cmpeakdet(NRM,2,0.25,0))", true, 3, whole },
        { "a source that is itself an enumerator", L"walk(LPF, walk(Ch1, DET))", true, 3, whole },
        { "a record that may not be read concurrently", L"walk(LPF, DET)", false, 3, whole },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::byte> alone = Events(false, 0, c.formula, c.stretches);
        ASSERT_GT(alone.size(), 24u * 1000);
        const std::vector<std::byte> ahead = Events(c.concurrent, c.workers, c.formula, c.stretches);
        EXPECT_TRUE(ahead == alone) << ahead.size() << " bytes against " << alone.size();
    }
}

// The workers' copies are trimmed when a walk ends; a trimmed stage computes again what it needs
// and reads as it did, whatever it had kept.
TEST(ReadAhead, TrimmedStagesReadAsBefore)
{
    auto recording = OneChannel(LongEcg(), 360.0);
    Engine engine(recording);
    for (const auto& [name, f] : kChain)
        engine.SetFormula(name, f);
    const int64_t length = static_cast<int64_t>(LongEcg().size());
    Compiled nrm = engine.Channel(L"NRM"), det = engine.Channel(L"DET");
    std::vector<float> before(static_cast<std::size_t>(length)), after(before.size());
    nrm.samples->Read(0, 0, before);
    EventBuffer peaksBefore, peaksAfter;
    det.events->Read(0, 0, length, peaksBefore);
    ASSERT_GT(peaksBefore.Count(), 1000u);
    // Read again in odd pieces from the back, trimmed after every other piece.
    bool trim = true;
    for (int64_t to = length; to > 0; to -= 70001, trim = !trim) {
        if (trim)
            nrm.samples->Trim();
        const int64_t from = std::max<int64_t>(0, to - 70001);
        nrm.samples->Read(0, from, std::span<float>(after).subspan(std::size_t(from), std::size_t(to - from)));
    }
    EXPECT_TRUE(std::memcmp(before.data(), after.data(), before.size() * sizeof(float)) == 0);
    det.events->Trim();
    det.events->Read(0, 0, length, peaksAfter);
    EXPECT_TRUE(peaksAfter.bytes == peaksBefore.bytes);
}

// A stage that fails in a segment a worker computes fails the enumerator's read, as it would on
// the enumerator's own thread.
class FailingRecording final : public IRecording {
public:
    explicit FailingRecording(int64_t failAt)
        : mFailAt(failAt)
    {
    }
    int RecordCount() const override { return 1; }
    int ChannelCount() const override { return 1; }
    TimeBase ChannelInfo(int, int) const override { return { ReadAhead::kSegment * 8, 1.0 / 360.0 }; }
    TimeBase RecordInfo(int) const override { return ChannelInfo(0, 0); }
    bool ReadsConcurrently(int) const override { return true; }
    void ReadChannel(int, int, int64_t start, std::span<float> out, bool) override
    {
        if (start + static_cast<int64_t>(out.size()) > mFailAt)
            throw CalcError("the channel cannot be read beyond " + std::to_string(mFailAt));
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(start + static_cast<int64_t>(i))));
    }

private:
    int64_t mFailAt;
};

TEST(ReadAhead, AFailureInAWorkersSegmentReachesTheReader)
{
    Engine engine(std::make_shared<FailingRecording>(ReadAhead::kSegment * 6));
    engine.SetWorkerThreads(3);
    engine.RegisterEnumerator(WalkClass());
    engine.SetFormula(L"OUT", L"walk(lowpass(Ch1,30), cmpeakdet(Ch1,0.5,0.1,0))");
    Compiled c = engine.Channel(L"OUT");
    EventBuffer early;
    c.events->Read(0, 0, ReadAhead::kSegment * 4, early);
    EXPECT_GT(early.Count(), 100u);
    EventBuffer late;
    try {
        c.events->Read(0, ReadAhead::kSegment * 4, ReadAhead::kSegment * 8, late);
        ADD_FAILURE() << "the read went through";
    } catch (const CalcError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot be read beyond"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace vx::calc::test
