#include "host/calc/Engine.h"

#include "host/calc/CalcError.h"
#include "host/calc/Parser.h"
#include "host/calc/ReadAhead.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vx::calc {
namespace {

// Hands the memory that worker threads freed back to the system: their allocator arenas keep it
// otherwise, and no later allocation of this thread would reuse it.
void ReturnFreedMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

std::string Narrow(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring Lower(std::wstring_view text)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

std::wstring Widen(std::string_view text)
{
    return std::wstring(text.begin(), text.end());
}

// A compiled subexpression: a number, samples or events.
struct Value {
    std::size_t position = 0;
    bool isConstant = false;
    double constant = 0;
    SignalPtr samples;
    EventSignalPtr events;
};

// Samples of a recorded channel, constant-extended beyond its length.
class RecordedChannel final : public Signal {
public:
    RecordedChannel(std::shared_ptr<IRecording> recording, int channel, bool raw)
        : mRecording(std::move(recording))
        , mChannel(channel)
        , mRaw(raw)
    {
    }
    TimeBase Info(int record) override { return mRecording->ChannelInfo(mChannel, record); }
    void Read(int record, int64_t start, std::span<float> out) override
    {
        const int64_t length = Info(record).length;
        if (length <= 0) {
            std::fill(out.begin(), out.end(), 0.0f);
            return;
        }
        const int64_t end = start + static_cast<int64_t>(out.size());
        const int64_t from = std::clamp<int64_t>(start, 0, length);
        const int64_t to = std::clamp<int64_t>(end, 0, length);
        if (to > from)
            mRecording->ReadChannel(mChannel, record, from,
                out.subspan(static_cast<std::size_t>(from - start), static_cast<std::size_t>(to - from)), mRaw);
        if (start < 0) {
            float first = 0;
            if (to > from)
                first = out[static_cast<std::size_t>(from - start)];
            else
                mRecording->ReadChannel(mChannel, record, 0, std::span<float>(&first, 1), mRaw);
            std::fill(out.begin(), out.begin() + (std::min<int64_t>(0, end) - start), first);
        }
        if (end > length) {
            float last = 0;
            if (to > from)
                last = out[static_cast<std::size_t>(to - 1 - start)];
            else
                mRecording->ReadChannel(mChannel, record, length - 1, std::span<float>(&last, 1), mRaw);
            std::fill(out.begin() + (std::max(length, start) - start), out.end(), last);
        }
    }

private:
    std::shared_ptr<IRecording> mRecording;
    int mChannel;
    bool mRaw;
};

// The time base of formulas without channels.
class RecordTimeBase final : public Signal {
public:
    explicit RecordTimeBase(std::shared_ptr<IRecording> recording)
        : mRecording(std::move(recording))
    {
    }
    TimeBase Info(int record) override { return mRecording->RecordInfo(record); }
    void Read(int, int64_t, std::span<float> out) override { std::fill(out.begin(), out.end(), 0.0f); }

private:
    std::shared_ptr<IRecording> mRecording;
};

// A call of an extension enumerator. One enumerator per record (the last few records are kept),
// driven in the calling order the extension expects: SetParams, Init, Seek, Next.
class EnumeratorCall final : public EventSignal {
public:
    // copies: private copies of the sources for worker threads (none: the sources are read on
    // the enumerator's thread only).
    EnumeratorCall(const EnumeratorClass& cls, std::vector<Value> sources, std::wstring params, SignalPtr timeBase,
        std::shared_ptr<IRecording> recording, StageCopies copies)
        : mClass(cls)
        , mSources(std::move(sources))
        , mParams(std::move(params))
        , mTimeBase(std::move(timeBase))
        , mRecording(std::move(recording))
        , mCopies(std::move(copies))
    {
        auto probe = mClass.create();
        if (!probe)
            throw CalcError("the enumerator of '" + mClass.functionName + "' could not be created");
        probe->SetParams(mParams); // refuses bad parameters before the formula is accepted
        mRecordSize = probe->RecordSize();
        mEventType = probe->EventType();
        if (mRecordSize < 8)
            throw CalcError("the enumerator of '" + mClass.functionName + "' has an event record smaller than 8 bytes");
    }

    TimeBase Info(int record) override
    {
        for (const Value& v : mSources)
            return v.samples ? v.samples->Info(record) : v.events->Info(record);
        return mTimeBase->Info(record);
    }
    uint32_t RecordSize() override { return mRecordSize; }
    uint32_t EventType() override { return mEventType; }

    void Read(int record, int64_t start, int64_t end, EventBuffer& out) override
    {
        const int64_t length = Info(record).length;
        start = std::max<int64_t>(start, 0);
        end = std::min<int64_t>({ end, length, IEventEnumerator::kEnd });
        out.recordSize = mRecordSize;
        if (start >= end)
            return;
        // What the record's memo holds is handed out again; the enumerator runs on from its end.
        Memo& memo = MemoOf(record);
        if (start <= memo.end) {
            for (const auto& held : memo.blocks) {
                const std::vector<std::byte>& block = *held;
                const std::size_t count = block.size() / mRecordSize;
                if (count == 0 || PositionIn(block, count - 1) < start)
                    continue;
                const std::size_t from = SeekEvent(block, count, start), to = SeekEvent(block, count, end);
                out.bytes.insert(out.bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(from * mRecordSize),
                    block.begin() + static_cast<std::ptrdiff_t>(to * mRecordSize));
                if (to < count)
                    break;
            }
            if (end <= memo.end)
                return;
            const std::size_t before = out.bytes.size();
            const int64_t reached = Produce(record, memo.end, end, out);
            if (memo.bytes < MemoLimit(record)) {
                Keep(memo, out.bytes.data() + before, out.bytes.size() - before);
                memo.end = reached;
            }
            return;
        }
        Produce(record, start, end, out);
    }

    bool ReadShared(int record, int64_t start, int64_t end, SharedEvents& out) override
    {
        const int64_t length = Info(record).length;
        start = std::max<int64_t>(start, 0);
        end = std::min<int64_t>({ end, length, IEventEnumerator::kEnd });
        out.recordSize = mRecordSize;
        out.runs.clear();
        if (start >= end)
            return true;
        Memo& memo = MemoOf(record);
        if (start > memo.end)
            return false;
        // The memo is filled up to `end` a stretch at a time, as a walk of Read would fill it.
        while (memo.end < end) {
            EventBuffer more;
            more.recordSize = mRecordSize;
            const int64_t from = memo.end;
            const int64_t reached = Produce(record, from, std::min(end, from + kShareStretch), more);
            if (memo.bytes >= MemoLimit(record))
                return false; // beyond what the memo keeps: Read gives them
            Keep(memo, more.bytes.data(), more.bytes.size());
            memo.end = reached;
            if (reached <= from)
                return false; // a record being sampled has settled no further
        }
        for (const auto& block : memo.blocks) {
            const std::size_t count = block->size() / mRecordSize;
            if (count == 0 || PositionIn(*block, count - 1) < start)
                continue;
            const std::size_t from = SeekEvent(*block, count, start), to = SeekEvent(*block, count, end);
            if (to > from)
                out.runs.push_back({ block, from, to - from });
            if (to < count)
                break;
        }
        // The blocks handed out no longer change: later events go to new blocks.
        memo.sealed = true;
        return true;
    }

private:
    // The events of [0, end) of a record as the enumerator gave them. A second reader of the same
    // stretch (the document's analysis, then the data pad's) then costs a copy, not a second run of
    // the extension and the stages below it. Events are far fewer than samples. The memo grows up
    // to kMemoBytes, or further in a long record: as far as kMemoEventsPerSecond events for every
    // second of it (a heart beating 300 times a minute throughout), so that every reader of a
    // week-long record's beats finds them all; a denser enumerator's memo stops growing there.
    // They are kept in blocks of about kMemoBlock bytes, so that the memo of a long record is
    // never copied to grow.
    static constexpr std::size_t kMemoBytes = std::size_t(32) << 20;
    static constexpr double kMemoEventsPerSecond = 5.0;
    static constexpr std::size_t kMemoBlock = std::size_t(256) << 10;
    // Ticks the enumerator is driven through at a time when the memo is filled for ReadShared.
    static constexpr int64_t kShareStretch = int64_t(1) << 20;

    std::size_t MemoLimit(int record)
    {
        const TimeBase tb = Info(record);
        const double seconds = static_cast<double>(tb.length) * tb.interval;
        const double bytes = seconds * kMemoEventsPerSecond * static_cast<double>(mRecordSize);
        // Compared as doubles: a bad interval must not overflow the conversion.
        return bytes > static_cast<double>(kMemoBytes) && bytes < 1e15 ? static_cast<std::size_t>(bytes) : kMemoBytes;
    }
    struct Memo {
        int record = -1;
        int64_t end = 0;
        std::vector<std::shared_ptr<std::vector<std::byte>>> blocks;
        std::size_t bytes = 0;
        bool sealed = false; // the last block was handed out by ReadShared: no more is added to it
        uint64_t lastUse = 0;
    };

    int32_t PositionIn(const std::vector<std::byte>& block, std::size_t i) const
    {
        int32_t p;
        std::memcpy(&p, block.data() + i * mRecordSize, sizeof p);
        return p;
    }
    // The first of the block's `count` events at or after `position`.
    std::size_t SeekEvent(const std::vector<std::byte>& block, std::size_t count, int64_t position) const
    {
        std::size_t lo = 0, hi = count;
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (PositionIn(block, mid) < position)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    // Appends whole event records to the memo's blocks.
    void Keep(Memo& memo, const std::byte* bytes, std::size_t size) const
    {
        const std::size_t perBlock = std::max<std::size_t>(1, kMemoBlock / mRecordSize) * mRecordSize;
        memo.bytes += size;
        while (size > 0) {
            if (memo.blocks.empty() || memo.blocks.back()->size() == perBlock || memo.sealed) {
                memo.blocks.push_back(std::make_shared<std::vector<std::byte>>());
                memo.blocks.back()->reserve(perBlock);
                memo.sealed = false;
            }
            std::vector<std::byte>& block = *memo.blocks.back();
            const std::size_t take = std::min(size, perBlock - block.size());
            block.insert(block.end(), bytes, bytes + take);
            bytes += take;
            size -= take;
        }
    }

    Memo& MemoOf(int record)
    {
        ++mClock;
        for (Memo& m : mMemos)
            if (m.record == record) {
                m.lastUse = mClock;
                return m;
            }
        if (mMemos.size() >= 4)
            mMemos.erase(std::min_element(
                mMemos.begin(), mMemos.end(), [](const Memo& a, const Memo& b) { return a.lastUse < b.lastUse; }));
        Memo& m = mMemos.emplace_back();
        m.record = record;
        m.lastUse = mClock;
        return m;
    }

    // Appends the events of [start, end) of the record from the enumerator. Returns end, or
    // where the enumerator stopped short of it: in a record that is being sampled it hands out
    // nothing beyond the data that have settled, and says so by answering no event and no
    // progress.
    int64_t Produce(int record, int64_t start, int64_t end, EventBuffer& out)
    {
        Instance& inst = Get(record);
        if (inst.position != start) {
            inst.enumerator->Seek(static_cast<int32_t>(start));
            inst.position = start;
        }
        mBuffer.resize(static_cast<std::size_t>(mRecordSize) * 64);
        for (;;) {
            std::size_t count = 0;
            int32_t next = IEventEnumerator::kEnd;
            const bool more = inst.enumerator->Next(mBuffer, static_cast<int32_t>(end), count, next);
            count = std::min(count, mBuffer.size() / mRecordSize);
            for (std::size_t i = 0; i < count; ++i) {
                const std::byte* record = mBuffer.data() + i * mRecordSize;
                int32_t pos;
                std::memcpy(&pos, record, sizeof pos);
                if (pos >= start && pos < end)
                    out.Append(record);
            }
            if (!more || next == IEventEnumerator::kEnd) {
                inst.position = IEventEnumerator::kEnd;
                // The walk is over: the workers and the segments they computed go (a later walk of
                // this instance reads its sources itself).
                if (ReclaimCopies(inst))
                    ReturnFreedMemory();
                return end;
            }
            if (next <= inst.position && count == 0)
                return std::max<int64_t>(inst.position, start);
            inst.position = next;
            if (next >= end)
                return end;
        }
    }

private:
    struct Instance {
        int record = -1;
        std::unique_ptr<ReadAhead> readAhead; // outlives the enumerator, which reads its stand-ins
        std::unique_ptr<IEventEnumerator> enumerator;
        int64_t position = 0;
        uint64_t lastUse = 0;
    };

    Instance& Get(int record)
    {
        ++mClock;
        for (Instance& inst : mInstances)
            if (inst.record == record) {
                inst.lastUse = mClock;
                return inst;
            }
        Instance fresh;
        fresh.enumerator = mClass.create();
        fresh.enumerator->SetParams(mParams);
        fresh.readAhead = MakeReadAhead(record);
        std::vector<EnumeratorSource> sources;
        for (std::size_t i = 0; i < mSources.size(); ++i) {
            const Value& v = mSources[i];
            EnumeratorSource s;
            s.samples = v.samples ? (fresh.readAhead ? fresh.readAhead->Samples(i) : v.samples.get()) : nullptr;
            s.events = v.events ? (fresh.readAhead ? fresh.readAhead->Events(i) : v.events.get()) : nullptr;
            s.record = record;
            s.info = v.samples ? v.samples->Info(record) : v.events->Info(record);
            sources.push_back(s);
        }
        const TimeBase tb = Info(record);
        fresh.enumerator->Init(record, sources, tb.interval);
        fresh.record = record;
        fresh.position = 0;
        fresh.lastUse = mClock;
        if (mInstances.size() < 4) {
            mInstances.push_back(std::move(fresh));
            return mInstances.back();
        }
        auto oldest = std::min_element(mInstances.begin(), mInstances.end(),
            [](const Instance& a, const Instance& b) { return a.lastUse < b.lastUse; });
        ReclaimCopies(*oldest);
        oldest->enumerator.reset(); // before the stand-ins it reads go
        *oldest = std::move(fresh);
        return *oldest;
    }

    // The worker copies go to the newest instance of a record whose samples stay as they are; an
    // older instance that holds them gives them back and reads its sources itself from then on.
    std::unique_ptr<ReadAhead> MakeReadAhead(int record)
    {
        if (!mRecording || !mRecording->ReadsConcurrently(record))
            return nullptr;
        for (Instance& inst : mInstances)
            ReclaimCopies(inst);
        if (mCopies.empty())
            return nullptr;
        std::vector<StageSource> sources;
        for (const Value& v : mSources)
            sources.push_back({ v.samples, v.events });
        return std::make_unique<ReadAhead>(std::move(sources), std::move(mCopies), record);
    }

    // True when the instance held the copies and gave them back.
    bool ReclaimCopies(Instance& inst)
    {
        if (!inst.readAhead || !inst.readAhead->HoldsCopies())
            return false;
        mCopies = inst.readAhead->Release();
        return true;
    }

    EnumeratorClass mClass;
    std::vector<Value> mSources;
    std::wstring mParams;
    SignalPtr mTimeBase;
    std::shared_ptr<IRecording> mRecording;
    StageCopies mCopies;
    uint32_t mRecordSize = 0;
    uint32_t mEventType = 0;
    std::vector<Instance> mInstances;
    std::vector<Memo> mMemos;
    std::vector<std::byte> mBuffer;
    uint64_t mClock = 0;
};

// Arguments of a built-in call, with checks that point at the offending argument.
class Args {
public:
    Args(std::string name, std::size_t position, std::vector<Value> values)
        : mName(std::move(name))
        , mPosition(position)
        , mValues(std::move(values))
    {
    }

    void Expect(std::size_t count, const std::string& usage) const
    {
        if (mValues.size() != count)
            throw FormulaError(mPosition,
                mName + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") + " " + usage
                    + ", not " + std::to_string(mValues.size()));
    }

    SignalPtr Samples(std::size_t i, const SignalPtr& timeBase) const
    {
        const Value& v = mValues[i];
        if (v.events)
            throw FormulaError(v.position,
                mName + ": argument " + std::to_string(i + 1) + " is an event channel; a sampled channel is needed");
        if (v.isConstant)
            return MakeConstant(timeBase, v.constant);
        return v.samples;
    }

    double Number(std::size_t i, const std::string& what) const
    {
        const Value& v = mValues[i];
        if (!v.isConstant)
            throw FormulaError(
                v.position, mName + ": the " + what + " (argument " + std::to_string(i + 1) + ") must be a number");
        if (!std::isfinite(v.constant))
            throw FormulaError(v.position, mName + ": the " + what + " is not a finite number");
        return v.constant;
    }

    double Positive(std::size_t i, const std::string& what) const
    {
        const double v = Number(i, what);
        if (!(v > 0))
            throw FormulaError(mValues[i].position, mName + ": the " + what + " must be greater than 0");
        return v;
    }

    double NonNegative(std::size_t i, const std::string& what) const
    {
        const double v = Number(i, what);
        if (v < 0)
            throw FormulaError(mValues[i].position, mName + ": the " + what + " must not be negative");
        return v;
    }

    int Integer(std::size_t i, const std::string& what, int minimum, int maximum) const
    {
        const double v = Number(i, what);
        if (v != std::floor(v) || v < minimum || v > maximum)
            throw FormulaError(mValues[i].position,
                mName + ": the " + what + " must be a whole number from " + std::to_string(minimum) + " to "
                    + std::to_string(maximum));
        return static_cast<int>(v);
    }

    const Value& operator[](std::size_t i) const { return mValues[i]; }
    std::size_t Size() const { return mValues.size(); }
    std::size_t Position() const { return mPosition; }
    const std::string& Name() const { return mName; }

private:
    std::string mName;
    std::size_t mPosition;
    std::vector<Value> mValues;
};

Value SamplesValue(SignalPtr s)
{
    Value v;
    v.samples = std::move(s);
    return v;
}

// A built-in function: its name as messages spell it and how to build it from checked arguments.
struct Builtin {
    std::string name;
    std::function<Value(const Args&, const SignalPtr& timeBase)> build;
};

// Keyed by the lower-case name: function names are case-insensitive.
const std::map<std::wstring, Builtin>& Builtins()
{
    static const std::map<std::wstring, Builtin> table = {
        { L"lowpass",
            { "lowpass",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(2, "(x, cut-off Hz)");
                    return SamplesValue(MakeLowPass(a.Samples(0, tb), a.Positive(1, "cut-off")));
                } } },
        { L"differentiate",
            { "differentiate",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(2, "(x, points)");
                    const int n = a.Integer(1, "number of points", 3, 20001);
                    if (n % 2 == 0)
                        throw FormulaError(a[1].position,
                            "differentiate: the number of points must be odd so that the derivative stays centred");
                    return SamplesValue(MakeDifferentiate(a.Samples(0, tb), n));
                } } },
        { L"resample",
            { "resample",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(7, "(x, 1, 1, 1, points, 0, 2)");
                    const double expected[] = { 1, 1, 1, 0, 0, 2 };
                    const std::size_t index[] = { 1, 2, 3, 4, 5, 6 };
                    for (std::size_t k = 0; k < 6; ++k) {
                        if (index[k] == 4)
                            continue;
                        if (a.Number(index[k], "mode argument") != expected[k])
                            throw FormulaError(a[index[k]].position,
                                "resample: unsupported form; only the quadrature transform resample(x, 1, 1, 1, "
                                "points, 0, 2) is available");
                    }
                    const int n = a.Integer(4, "kernel length", 3, 20001);
                    return SamplesValue(MakeHilbert(a.Samples(0, tb), n));
                } } },
        { L"normalizesec",
            { "normalizeSec",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(4, "(x, window s, step s, noise)");
                    const double window = a.Positive(1, "window");
                    const double step = a.Positive(2, "step");
                    if (window > 3600)
                        throw FormulaError(a[1].position, "normalizeSec: the window must not exceed 3600 s");
                    if (step > window)
                        throw FormulaError(a[2].position, "normalizeSec: the step must not exceed the window");
                    return SamplesValue(
                        MakeNormalizeSec(a.Samples(0, tb), window, step, a.NonNegative(3, "noise floor")));
                } } },
        { L"cmpeakdet",
            { "cmpeakdet",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(4, "(x, height, minimum period s, T-wave percent)");
                    const double height = a.Number(1, "height");
                    const double period = a.Positive(2, "minimum period");
                    if (period > 60)
                        throw FormulaError(a[2].position, "cmpeakdet: the minimum period must not exceed 60 s");
                    const double percent = a.NonNegative(3, "T-wave percentage");
                    if (percent > 100)
                        throw FormulaError(a[3].position, "cmpeakdet: the T-wave percentage must be from 0 to 100");
                    Value v;
                    v.events = MakePeakDetector(a.Samples(0, tb), height, period, percent);
                    return v;
                } } },
        { L"sinewave",
            { "sinewave",
                [](const Args& a, const SignalPtr& tb) {
                    a.Expect(1, "(frequency Hz)");
                    return SamplesValue(MakeSineWave(tb, a.NonNegative(0, "frequency")));
                } } },
    };
    return table;
}

} // namespace

std::wstring FormatEnumeratorParams(const EnumeratorClass& cls, const std::vector<double>& numbers, std::size_t sources)
{
    std::string text = cls.functionName + " " + std::to_string(sources);
    for (double v : numbers) {
        char buffer[64];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v); // shortest round trip, classic
        text += ' ';
        text.append(buffer, ec == std::errc() ? end : buffer);
    }
    return Widen(text);
}

struct Engine::Slot {
    std::wstring formula;
    NodePtr tree;
    Compiled compiled;
    std::string error;
    std::size_t errorPosition = 0;
    bool hasError = false;
};

struct Engine::CompileContext {
    std::map<std::wstring, Compiled> done;
    std::set<std::wstring> active;
    std::map<std::pair<int, bool>, SignalPtr> channels;

    Value Compile(Engine& engine, const Node& node);
    Value Call(Engine& engine, const Node& node, const CallNode& call);
};

Value Engine::CompileContext::Compile(Engine& engine, const Node& node)
{
    return std::visit(
        [&](const auto& n) -> Value {
            using T = std::decay_t<decltype(n)>;
            Value v;
            v.position = node.position;
            if constexpr (std::is_same_v<T, NumberNode>) {
                v.isConstant = true;
                v.constant = n.value;
            } else if constexpr (std::is_same_v<T, ChannelNode>) {
                if (n.kind == ChannelNode::Kind::View) {
                    auto bound = engine.mBoundNumbers.find(n.index);
                    if (bound != engine.mBoundNumbers.end()) {
                        Compiled c = engine.CompileSlot(bound->second, *this, node.position);
                        v.samples = c.samples;
                        v.events = c.events;
                        return v;
                    }
                }
                const int count = engine.mRecording->ChannelCount();
                if (n.index >= count)
                    throw FormulaError(node.position,
                        "there is no channel " + std::to_string(n.index + 1) + " (the recording has "
                            + std::to_string(count) + ")");
                const bool raw = n.kind == ChannelNode::Kind::Raw;
                SignalPtr& s = channels[{ n.index, raw }];
                if (!s)
                    s = std::make_shared<RecordedChannel>(engine.mRecording, n.index, raw);
                v.samples = s;
            } else if constexpr (std::is_same_v<T, NameNode>) {
                Compiled c = engine.CompileSlot(n.name, *this, node.position);
                v.samples = c.samples;
                v.events = c.events;
            } else if constexpr (std::is_same_v<T, UnaryNode>) {
                Value x = Compile(engine, *n.operand);
                if (x.events)
                    throw FormulaError(node.position, "an event channel cannot be used in arithmetic");
                x.position = node.position;
                if (n.op == L'+')
                    return x;
                if (x.isConstant) {
                    x.constant = -x.constant;
                    return x;
                }
                v.samples = MakeNegate(x.samples);
            } else if constexpr (std::is_same_v<T, BinaryNode>) {
                Value l = Compile(engine, *n.left);
                Value r = Compile(engine, *n.right);
                if (l.events || r.events)
                    throw FormulaError(
                        l.events ? l.position : r.position, "an event channel cannot be used in arithmetic");
                if (l.isConstant && r.isConstant) {
                    v.isConstant = true;
                    switch (n.op) {
                    case L'+':
                        v.constant = l.constant + r.constant;
                        break;
                    case L'-':
                        v.constant = l.constant - r.constant;
                        break;
                    case L'*':
                        v.constant = l.constant * r.constant;
                        break;
                    default:
                        v.constant = l.constant / r.constant;
                        break;
                    }
                } else if (r.isConstant)
                    v.samples = MakeBinaryConstant(n.op, l.samples, r.constant, false);
                else if (l.isConstant)
                    v.samples = MakeBinaryConstant(n.op, r.samples, l.constant, true);
                else
                    v.samples = MakeBinary(n.op, l.samples, r.samples);
            } else {
                return Call(engine, node, n);
            }
            return v;
        },
        node.value);
}

Value Engine::CompileContext::Call(Engine& engine, const Node& node, const CallNode& call)
{
    const std::wstring key = Lower(call.name);
    std::vector<Value> args;
    for (const NodePtr& arg : call.args)
        args.push_back(Compile(engine, *arg));

    const auto& builtins = Builtins();
    if (auto b = builtins.find(key); b != builtins.end()) {
        Value v = b->second.build(Args(b->second.name, node.position, std::move(args)), engine.mRecordTimeBase);
        v.position = node.position;
        return v;
    }
    auto e = engine.mEnumerators.find(key);
    if (e == engine.mEnumerators.end())
        throw FormulaError(node.position, "unknown function '" + Narrow(call.name) + "'");
    const EnumeratorClass& cls = e->second;
    if (args.size() != cls.params.size())
        throw FormulaError(node.position,
            cls.functionName + " takes " + std::to_string(cls.params.size()) + " arguments, not "
                + std::to_string(args.size()));
    std::vector<Value> sources;
    std::vector<double> numbers;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const EnumeratorParam& p = cls.params[i];
        Value& a = args[i];
        switch (p.kind) {
        case EnumeratorParam::Kind::Samples:
            if (a.events || a.isConstant)
                throw FormulaError(a.position, cls.functionName + ": '" + p.name + "' must be a sampled channel");
            sources.push_back(a);
            break;
        case EnumeratorParam::Kind::Events:
            if (!a.events)
                throw FormulaError(a.position, cls.functionName + ": '" + p.name + "' must be an event channel");
            sources.push_back(a);
            break;
        case EnumeratorParam::Kind::Number:
            if (!a.isConstant)
                throw FormulaError(a.position, cls.functionName + ": '" + p.name + "' must be a number");
            if (!(a.constant >= p.minimum && a.constant <= p.maximum))
                throw FormulaError(a.position, cls.functionName + ": '" + p.name + "' is out of its range");
            numbers.push_back(a.constant);
            break;
        }
    }
    // Sources built from the engine's own stages alone are computed ahead of the enumerator on
    // worker threads, each with a private copy compiled from the same formulas.
    StageCopies copies;
    bool ownStages = true;
    for (std::size_t i = 0; i < args.size(); ++i)
        if (cls.params[i].kind != EnumeratorParam::Kind::Number) {
            std::set<std::wstring> visited;
            ownStages = ownStages && engine.BuiltinsOnly(*call.args[i], visited);
        }
    for (int w = 0; ownStages && !sources.empty() && w < engine.mWorkerThreads; ++w) {
        CompileContext fresh;
        std::vector<StageSource>& copy = copies.emplace_back();
        for (std::size_t i = 0; i < args.size(); ++i)
            if (cls.params[i].kind != EnumeratorParam::Kind::Number) {
                const Value c = fresh.Compile(engine, *call.args[i]);
                copy.push_back({ c.samples, c.events });
            }
    }
    Value v;
    v.position = node.position;
    const std::size_t sourceCount = sources.size();
    try {
        v.events = std::make_shared<EnumeratorCall>(cls, std::move(sources),
            FormatEnumeratorParams(cls, numbers, sourceCount), engine.mRecordTimeBase, engine.mRecording,
            std::move(copies));
    } catch (const FormulaError&) {
        throw;
    } catch (const CalcError& error) {
        throw FormulaError(node.position, error.what());
    }
    return v;
}

Engine::Engine(std::shared_ptr<IRecording> recording)
    : mRecording(std::move(recording))
    , mRecordTimeBase(std::make_shared<RecordTimeBase>(mRecording))
    , mWorkerThreads(std::max(0, static_cast<int>(std::min(std::thread::hardware_concurrency(), 5u)) - 1))
{
}

void Engine::SetWorkerThreads(int count)
{
    mWorkerThreads = std::max(0, count);
    Rebuild();
}

// Whether the formula uses the engine's own functions only (no extension enumerator), through
// the channels it names as well.
bool Engine::BuiltinsOnly(const Node& node, std::set<std::wstring>& visited) const
{
    return std::visit(
        [&](const auto& n) -> bool {
            using T = std::decay_t<decltype(n)>;
            auto named = [&](const std::wstring& name) {
                if (!visited.insert(name).second)
                    return true;
                auto it = mSlots.find(name);
                return it != mSlots.end() && it->second->tree && BuiltinsOnly(*it->second->tree, visited);
            };
            if constexpr (std::is_same_v<T, NameNode>)
                return named(n.name);
            else if constexpr (std::is_same_v<T, ChannelNode>) {
                auto bound = mBoundNumbers.find(n.index);
                return n.kind != ChannelNode::Kind::View || bound == mBoundNumbers.end() || named(bound->second);
            } else if constexpr (std::is_same_v<T, UnaryNode>)
                return BuiltinsOnly(*n.operand, visited);
            else if constexpr (std::is_same_v<T, BinaryNode>)
                return BuiltinsOnly(*n.left, visited) && BuiltinsOnly(*n.right, visited);
            else if constexpr (std::is_same_v<T, CallNode>) {
                if (!Builtins().count(Lower(n.name)))
                    return false;
                for (const NodePtr& arg : n.args)
                    if (!BuiltinsOnly(*arg, visited))
                        return false;
                return true;
            } else
                return true;
        },
        node.value);
}

Engine::~Engine() = default;

void Engine::RegisterEnumerator(EnumeratorClass cls)
{
    const std::wstring key = Lower(Widen(cls.functionName));
    if (key.empty() || !cls.create)
        throw CalcError("an enumerator needs a function name and a factory");
    if (Builtins().count(key) || mEnumerators.count(key))
        throw CalcError("the function name '" + cls.functionName + "' is already taken");
    mEnumerators.emplace(key, std::move(cls));
    Rebuild(); // formulas that named it can compile now
}

void Engine::AddChannel(const std::wstring& name)
{
    if (!mSlots.count(name))
        mSlots.emplace(name, std::make_unique<Slot>());
}

void Engine::SetFormula(const std::wstring& name, std::wstring_view formula)
{
    NodePtr tree = ParseFormula(formula); // throws before anything changes
    auto [it, created] = mSlots.try_emplace(name, nullptr);
    if (created)
        it->second = std::make_unique<Slot>();
    Slot& slot = *it->second;
    NodePtr oldTree = std::move(slot.tree);
    std::wstring oldFormula = std::move(slot.formula);
    slot.tree = std::move(tree);
    slot.formula = std::wstring(formula);
    try {
        Rebuild(name);
        if (slot.hasError)
            throw FormulaError(slot.errorPosition, slot.error);
        Validate(slot.compiled);
    } catch (...) {
        slot.tree = std::move(oldTree);
        slot.formula = std::move(oldFormula);
        if (created)
            mSlots.erase(name);
        Rebuild(name);
        throw;
    }
}

void Engine::RemoveChannel(const std::wstring& name)
{
    if (mSlots.count(name)) {
        const bool bound = std::erase_if(mBoundNumbers, [&](const auto& entry) { return entry.second == name; }) > 0;
        mSlots.erase(name);
        Rebuild(bound ? std::wstring() : name);
    }
}

bool Engine::HasChannel(const std::wstring& name) const
{
    return mSlots.count(name) != 0;
}

std::wstring Engine::Formula(const std::wstring& name) const
{
    auto it = mSlots.find(name);
    return it == mSlots.end() ? std::wstring() : it->second->formula;
}

void Engine::BindChannelNumber(const std::wstring& name, int index)
{
    mBoundNumbers[index] = name;
    Rebuild();
}

Compiled Engine::Channel(const std::wstring& name)
{
    auto it = mSlots.find(name);
    if (it == mSlots.end())
        throw CalcError("there is no channel '" + Narrow(name) + "'");
    const Slot& slot = *it->second;
    if (!slot.tree)
        throw CalcError("channel '" + Narrow(name) + "' has no formula");
    if (slot.hasError)
        throw CalcError("channel '" + Narrow(name) + "': " + slot.error);
    return slot.compiled;
}

Compiled Engine::Compile(std::wstring_view formula)
{
    NodePtr tree = ParseFormula(formula);
    CompileContext ctx;
    for (const auto& [name, slot] : mSlots)
        if (slot->tree && !slot->hasError)
            ctx.done.emplace(name, slot->compiled);
    Value v = ctx.Compile(*this, *tree);
    Compiled c;
    c.samples = v.isConstant ? MakeConstant(mRecordTimeBase, v.constant) : v.samples;
    c.events = v.events;
    Validate(c);
    return c;
}

namespace {

void CollectReferences(const Node& node, const std::map<int, std::wstring>& bound, std::set<std::wstring>& out)
{
    std::visit(
        [&](const auto& n) {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, NameNode>)
                out.insert(n.name);
            else if constexpr (std::is_same_v<T, ChannelNode>) {
                if (auto it = bound.find(n.index); n.kind == ChannelNode::Kind::View && it != bound.end())
                    out.insert(it->second);
            } else if constexpr (std::is_same_v<T, UnaryNode>)
                CollectReferences(*n.operand, bound, out);
            else if constexpr (std::is_same_v<T, BinaryNode>) {
                CollectReferences(*n.left, bound, out);
                CollectReferences(*n.right, bound, out);
            } else if constexpr (std::is_same_v<T, CallNode>) {
                for (const NodePtr& arg : n.args)
                    CollectReferences(*arg, bound, out);
            }
        },
        node.value);
}

} // namespace

// The channel itself and every channel that names it, directly or through others.
std::set<std::wstring> Engine::Dependants(const std::wstring& changed) const
{
    std::map<std::wstring, std::set<std::wstring>> references;
    for (const auto& [name, slot] : mSlots)
        if (slot->tree)
            CollectReferences(*slot->tree, mBoundNumbers, references[name]);
    std::set<std::wstring> affected = { changed };
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [name, refs] : references)
            if (!affected.count(name))
                for (const std::wstring& r : refs)
                    if (affected.count(r)) {
                        affected.insert(name);
                        grew = true;
                        break;
                    }
    }
    return affected;
}

// Compiles named channels afresh. Named channels are shared: a stage that several formulas name
// is one node with one cache. Channels that do not depend on the changed one keep their nodes, so
// rewriting the last stage of a chain does not throw away the computed blocks of the stages before
// it. A channel whose formula cannot be compiled (for example it names a removed channel) keeps its
// error, reported when it is read.
void Engine::Rebuild(const std::wstring& changed)
{
    CompileContext ctx;
    const std::set<std::wstring> affected = changed.empty() ? std::set<std::wstring> {} : Dependants(changed);
    auto isAffected = [&](const std::wstring& name) { return changed.empty() || affected.count(name) != 0; };
    std::set<std::wstring> kept;
    for (auto& [name, slot] : mSlots) {
        if (!isAffected(name) && slot->tree && !slot->hasError) {
            ctx.done.emplace(name, slot->compiled);
            kept.insert(name);
            continue;
        }
        slot->compiled = {};
        slot->hasError = false;
        slot->error.clear();
    }
    for (auto& [name, slot] : mSlots) {
        if (!slot->tree || kept.count(name))
            continue;
        try {
            slot->compiled = CompileSlot(name, ctx, 0);
        } catch (const FormulaError& error) {
            slot->hasError = true;
            slot->error = error.Message();
            slot->errorPosition = error.Position();
        } catch (const CalcError& error) {
            slot->hasError = true;
            slot->error = error.what();
        }
    }
}

Compiled Engine::CompileSlot(const std::wstring& name, CompileContext& ctx, std::size_t position)
{
    if (auto done = ctx.done.find(name); done != ctx.done.end())
        return done->second;
    auto it = mSlots.find(name);
    if (it == mSlots.end())
        throw FormulaError(position, "unknown channel or function '" + Narrow(name) + "'");
    Slot& slot = *it->second;
    if (!slot.tree)
        throw FormulaError(position, "channel '" + Narrow(name) + "' has no formula");
    if (!ctx.active.insert(name).second)
        throw FormulaError(position, "channel '" + Narrow(name) + "' refers to itself");
    Compiled c;
    try {
        Value v = ctx.Compile(*this, *slot.tree);
        if (v.isConstant)
            c.samples = MakeConstant(mRecordTimeBase, v.constant);
        else if (v.samples)
            c.samples = dynamic_cast<BlockSignal*>(v.samples.get()) ? v.samples : MakeCached(v.samples);
        c.events = v.events;
    } catch (const FormulaError& error) {
        ctx.active.erase(name);
        if (position == 0 && ctx.active.empty())
            throw;
        // An error inside another channel's formula is reported at the reference to it.
        throw FormulaError(position, "channel '" + Narrow(name) + "': " + error.Message());
    }
    ctx.active.erase(name);
    ctx.done.emplace(name, c);
    return c;
}

void Engine::Validate(const Compiled& c)
{
    const int records = mRecording->RecordCount();
    for (int r = 0; r < records; ++r) {
        if (c.samples)
            c.samples->Info(r);
        else if (c.events)
            c.events->Info(r);
    }
}

} // namespace vx::calc
