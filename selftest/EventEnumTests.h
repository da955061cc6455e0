#pragma once
// The standard conformance routines of event enumerators reached through the host's formula
// calculation: how Next reports results and positions, that restarting anywhere finds the same
// events, that events found while data arrive equal those found afterwards, that Find lands on
// known events in both directions and that placing by SetSources is exact. Each builds its own
// synthetic recording; every failed check throws UnitTestException. TBufType is the
// enumerator's event record: tick (i32) at byte 0, offset in the tick (f32) at 4, value (f64) at
// 8 and an identifying field (i32) at 20.
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <vector>

#include "hostframework/calcglue/ChannelManager.h"
#include "hostframework/calcglue/EnumGetter.h"
#include "hostframework/services/CafFrameWork.h"
#include "selftest/DataAdder.h"
#include "selftest/EnumTestConfig.h"
#include "selftest/UniformRandom.h"

namespace EventEnumTests {

constexpr LONG kRecordEndOffset = 0x7FFFFFFF;

inline void Check(bool ok, const char* expression, unsigned line, const KEL::String& message = {})
{
    UnitTestBase::Check(ok, expression, __FILE__, line, message);
}

struct EventHelper {
    template <class T> static std::int32_t Tick(const T& e) { return Field<std::int32_t>(e, 0); }
    template <class T> static float Offset(const T& e) { return Field<float>(e, 4); }
    template <class T> static double Value(const T& e) { return Field<double>(e, 8); }
    template <class T> static std::int32_t Id(const T& e) { return Field<std::int32_t>(e, 20); }
    template <class T> static bool same(const T& a, const T& b) { return Tick(a) == Tick(b) && Id(a) == Id(b); }
    template <class T> static std::wstring Text(const T& e)
    {
        std::wostringstream out;
        out << L"[" << Id(e) << L", " << Tick(e) << L", " << Value(e) << L"]";
        return out.str();
    }

private:
    template <class F, class T> static F Field(const T& e, std::size_t offset)
    {
        static_assert(sizeof(T) >= 24);
        F value;
        std::memcpy(&value, reinterpret_cast<const std::byte*>(&e) + offset, sizeof value);
        return value;
    }
};

// A counted reference that lets go on every exit, a failed check included.
template <class I> struct Held {
    I* p = nullptr;
    Held() = default;
    explicit Held(I* q)
        : p(q)
    {
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held()
    {
        if (p)
            p->Release();
    }
    I* operator->() const { return p; }
};

// A synthetic recording with its data adder.
class TestRecording {
public:
    TestRecording()
        : mRecordData(ExtLib::CreateRecordData())
        , mAdder(new ExtLib::FormulaDataAdder(mRecordData.p))
    {
        mAdder.p->AddRef();
    }
    ~TestRecording()
    {
        if (mAdder.p->RecordOpen())
            mAdder.p->CloseRecord();
    }
    IUnknown* RecordData() const { return mRecordData.p; }
    ExtLib::FormulaDataAdder& Adder() const { return *mAdder.p; }

    // One calculated channel per text of the configuration.
    void ApplyCalculations(const EnumTestConfig& config)
    {
        for (const std::wstring& text : config.mCalculations) {
            void* names = nullptr;
            mRecordData.p->QueryInterface(IChannelNames::kIid, &names);
            Held<IChannelNames> channelNames(static_cast<IChannelNames*>(names));
            vx::hf::ChannelRef ref;
            const std::wstring name = L"calc" + std::to_wstring(mCalculated++);
            const HRESULT hr
                = channelNames.p ? channelNames->CreateNamedChannel(0, name.c_str(), nullptr, &ref) : E_NOINTERFACE;
            Check(hr == S_OK, "hr==S_OK", 85);
            ExtLib::CreateChannelCalculation(channelNames.p, KEL::GetObjectFactory(), ExtLib::FormulaCalcClassKey(),
                ExtLib::FormulaSettingsClassKey(), KEL::String(text), KEL::String(), ref);
        }
    }

    // The tick at or before `tick` at which the record has data.
    LONG SnapToDataTick(LONG record, LONG tick) const
    {
        void* out = nullptr;
        mRecordData.p->QueryInterface(IHostRecordData::kIid, &out);
        Held<IHostRecordData> data(static_cast<IHostRecordData*>(out));
        LONG snapped = tick;
        if (data.p)
            data->GetDataTick(record, tick, &snapped);
        return snapped;
    }

private:
    Held<IUnknown> mRecordData;
    Held<ExtLib::FormulaDataAdder> mAdder;
    int mCalculated = 0;
};

// The seed of the random routines: the host's, or the calendar time.
inline std::int32_t SeedOf(std::int32_t hostSeed)
{
    const auto t = static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
    const std::int32_t s = hostSeed != 0 ? hostSeed : t;
    return s > 0 ? -s : s;
}

inline int Draw(UniformRandom& random, double scale)
{
    return static_cast<int>(random.Draw() * scale);
}

template <class TBufType> void EventEnumTestNextOffline(const EnumTestConfig& config, std::uint32_t s)
{
    constexpr ULONG numbufelems = 5;
    std::vector<std::byte> buffer(static_cast<std::size_t>(numbufelems) * s);
    const std::int32_t N = config.mNumSamplesToTest;
    const LONG endTick = N - 10;
    Check(N > 200, "config.mNumSamplesToTest > 200", 102);
    TestRecording recording;
    recording.Adder().AddRecordAtRate(config.mSourceExpressions, N, 1000.0, 0.0);
    recording.ApplyCalculations(config);
    ExtLib::EventEnumDataGetter edg(recording.RecordData());
    edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
    LONG start = N / 3;
    if (config.mFilling)
        start = recording.SnapToDataTick(0, start);
    edg.SetSourcesAt(0, start);
    Held<IEnumEventEx> theenum(edg.Events());
    Check(theenum.p != nullptr, "theenum", 128, KEL::String(L"The calculation gives no event enumerator."));
    HRESULT hr = S_OK;
    ULONG nRetd = 0;
    LONG nut = 0;
    // Every round that returns nothing must move on: a stuck enumerator ends the case.
    std::int64_t rounds = 0;
    do {
        hr = theenum->Next(numbufelems * s, endTick, buffer.data(), &nRetd, &nut);
        Check(hr == S_OK || hr == S_FALSE, "hr==S_OK || hr==S_FALSE", 141, KEL::String(L"Bad HResult from Next."));
        Check(nut == kRecordEndOffset || hr == S_OK, "nut==kRecordEndOffset || hr==S_OK", 142,
            KEL::String(L"Bad HResult from Next."));
        Check(nut <= endTick || nut == kRecordEndOffset, "nut<=endTick || nut==kRecordEndOffset", 143,
            KEL::String(L"Bad nextUnexaminedTick from Next."));
        if (nRetd != numbufelems) {
            if (nut == endTick)
                break;
            Check(nRetd == numbufelems || nut == endTick || nut == kRecordEndOffset,
                "nRetd == numbufelems || nut == endTick || nut == kRecordEndOffset", 144,
                KEL::String(L"nRetd and nextUnexaminedTick inconsistent in Next."));
        }
        Check(++rounds <= N, "rounds <= config.mNumSamplesToTest", 146,
            KEL::String(L"Next keeps returning events without reaching endTick."));
    } while (nut < endTick);
    if (nut != kRecordEndOffset) {
        Check(nut == kRecordEndOffset || nut == endTick, "nut == kRecordEndOffset || nut == endTick", 148,
            KEL::String(L"Enumerators must be positioned either at endTick or at kRecordEndOffset following a "
                        L"completed call to next."));
        int preventinfiniteloop = 0;
        rounds = 0;
        while (nut != kRecordEndOffset && nut <= N) {
            hr = theenum->Next(numbufelems * s, kRecordEndOffset, buffer.data(), &nRetd, &nut);
            Check(hr == S_OK || hr == S_FALSE, "hr==S_OK || hr==S_FALSE", 154, KEL::String(L"Bad HResult from Next."));
            Check(nut == kRecordEndOffset || hr == S_OK, "nut==kRecordEndOffset || hr==S_OK", 155,
                KEL::String(L"Bad HResult from Next."));
            if (nut == N)
                ++preventinfiniteloop;
            Check(preventinfiniteloop < 4, "preventinfiniteloop<4", 158,
                KEL::String(L"Enumerator isn't returning kRecordEndOffset at end of record"));
            Check(++rounds <= N, "rounds <= config.mNumSamplesToTest", 159,
                KEL::String(L"Next keeps answering without reaching the end of the record."));
        }
    }
    if (!config.mFilling) {
        Check(hr == S_FALSE, "hr == S_FALSE", 163,
            KEL::String(L"Enumerators should return S_FALSE when out of data and not filling."));
        Check(nut == kRecordEndOffset, "nut==kRecordEndOffset", 164,
            KEL::String(L"When no more events are going to be available Enumerators are supposed to return "
                        L"kRecordEndOffset as their position. See IEventEnums.idl."));
    }
}

template <class TBufType> void EventEnumTestNextOnline(const EnumTestConfig& config, std::uint32_t s)
{
    constexpr ULONG numbufelems = 50;
    std::vector<std::byte> buffer(static_cast<std::size_t>(numbufelems) * s);
    const std::int32_t numsamples = config.mNumSamplesToTest;
    Check(numsamples > 200, "config.mNumSamplesToTest > 200", 175);
    TestRecording recording;
    recording.Adder().StartRecordAtRate(config.mSourceExpressions, numsamples, 1000.0, 0.0);
    recording.Adder().CommitTicks(100);
    std::int32_t itot = 100;
    ExtLib::EventEnumDataGetter edg(recording.RecordData());
    edg.RegisterAsSink();
    edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
    edg.SetSourcesAt(0, 0);
    Held<IEnumEventEx> theenum(edg.Events());
    Check(theenum.p != nullptr, "theenum", 196, KEL::String(L"The calculation gives no event enumerator."));
    ULONG nRetd = numbufelems;
    LONG nut = 0;
    std::int64_t idle = 0;
    while (itot < numsamples || nRetd > 0) {
        if (nRetd < numbufelems) {
            recording.Adder().CommitTicks(100);
            itot = std::min(itot + 100, numsamples);
        }
        const HRESULT hr
            = theenum->Next(numbufelems * s, config.mFilling ? itot : kRecordEndOffset, buffer.data(), &nRetd, &nut);
        if (hr == S_OK) {
            Check(nut == kRecordEndOffset || nut <= itot, "nut==kRecordEndOffset || nut <= itot", 215,
                KEL::String(L"NextUnusedTick returned by Next is bad."));
        } else {
            Check(hr == S_OK || hr == S_FALSE, "hr==S_OK || hr==S_FALSE", 213,
                KEL::String(L"Unexpected HResult from Next"));
            Check(hr == S_OK || nut == kRecordEndOffset, "hr==S_OK || nut==kRecordEndOffset", 214,
                KEL::String(L"S_FALSE and kRecordEndOffset must go together."));
        }
        // With every tick committed the events run out: a full buffer forever is a stuck enumerator.
        idle = itot < numsamples ? 0 : idle + 1;
        Check(idle <= numsamples, "rounds <= numsamples", 216,
            KEL::String(L"Next keeps returning events after the record is complete."));
    }
    Check(nut <= numsamples || nut == kRecordEndOffset, "nut<=numsamples || nut==kRecordEndOffset", 218);
    edg.EndOnlineReading();
    recording.Adder().CloseRecord();
}

template <class TBufType> void EventEnumBounceTest(const EnumTestConfig& config, int variant, std::int32_t seed)
{
    UniformRandom random(SeedOf(seed));
    TestRecording recording;
    for (int r = 0; r < config.mNumRecords; ++r)
        recording.Adder().AddRecord(config.mSourceExpressions, config.mNumSamplesToTest, config.mSampleRates, 0.0);
    recording.ApplyCalculations(config);
    std::vector<std::vector<TBufType>> results(static_cast<std::size_t>(std::max(config.mNumRecords, 0)));
    {
        ExtLib::EventEnumDataGetter edg(recording.RecordData());
        Check(edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString)),
            "edg.CreateEnum(config.mEnumID, config.mArithString)", 183);
        for (int i = 0; i < config.mNumRecords; ++i) {
            Check(edg.GetRecordData<TBufType>(i, results[static_cast<std::size_t>(i)]),
                "edg.GetRecordData<TBufType>(i,results[i])", 186);
            const std::size_t nn = results[static_cast<std::size_t>(i)].size();
            Check(nn > 0, "nn>0", 188);
        }
    }
    ExtLib::EventEnumDataGetter edg(recording.RecordData());
    if (variant == 1)
        edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
    std::vector<TBufType> buffer(10);
    for (int round = 0; round < 50; ++round) {
        const int r = Draw(random, config.mNumRecords - 1 + 0.999999999);
        const std::vector<TBufType>& events = results[static_cast<std::size_t>(r)];
        const int n = static_cast<int>(events.size());
        if (n == 0)
            continue;
        int k = Draw(random, n - 1 + 0.999999999);
        const LONG lo = k > 0 ? EventHelper::Tick(events[static_cast<std::size_t>(k - 1)]) + 1 : 0;
        LONG hi = EventHelper::Tick(events[static_cast<std::size_t>(k)]);
        if (EventHelper::Offset(events[static_cast<std::size_t>(k)]) < 0)
            hi -= 1;
        LONG start = hi;
        if (lo < hi)
            start = lo + Draw(random, hi - lo + 0.999999999);
        if (config.mFilling) {
            start = recording.SnapToDataTick(r, start);
            while (k > 0 && EventHelper::Tick(events[static_cast<std::size_t>(k - 1)]) > start)
                --k;
        }
        edg.ReleaseSources();
        if (variant == 0)
            edg.CreateEnum(config.mEnumID, KEL::String(std::wstring(config.mArithString)));
        edg.SetSourcesAt(r, start);
        Held<IEnumEventEx> theenum(edg.Events());
        Check(theenum.p != nullptr, "theenum", 230, KEL::String(L"The calculation gives no event enumerator."));
        ULONG nRetd = 0;
        LONG nut = 0;
        theenum->Next(static_cast<ULONG>(sizeof(TBufType) * 10), kRecordEndOffset, buffer.data(), &nRetd, &nut);
        Check(nRetd > 0, "n>0", 233);
        const std::int32_t tp1 = EventHelper::Tick(buffer[0]);
        const std::int32_t tp2 = EventHelper::Tick(events[static_cast<std::size_t>(k)]);
        std::wostringstream message;
        message << L"Bounce gave different result! Peak was at " << tp1 << L", but bouncing put it at " << tp2 << L".";
        Check(tp1 == tp2, "tp1 == tp2", 255, KEL::String(message.str()));
        const double to1 = EventHelper::Offset(buffer[0]);
        const double to2 = EventHelper::Offset(events[static_cast<std::size_t>(k)]);
        Check(std::fabs(to1 - to2) < 0.01, "fabs( to1 - to2 ) < 0.01", 257);
    }
}

template <class TBufType> void EventEnumOnlineOfflineComparison(const EnumTestConfig& config)
{
    std::vector<TBufType> vec;
    {
        TestRecording offline;
        offline.Adder().AddRecord(config.mSourceExpressions, config.mNumSamplesToTest, config.mSampleRates, 0.0);
        offline.ApplyCalculations(config);
        ExtLib::EventEnumDataGetter edg(offline.RecordData());
        Check(edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString)),
            "edg.CreateEnum(config.mEnumID, config.mArithString)", 309);
        Check(edg.GetRecordData<TBufType>(0, vec), "edg.GetRecordData<TBufType>(0,vec)", 310);
        Check(!vec.empty(), "vec.size()>0", 311,
            KEL::String(L"OnlineOffline Comparison needs some events to work with."));
    }
    TestRecording online;
    online.Adder().StartRecord(config.mSourceExpressions, config.mNumSamplesToTest, config.mSampleRates, 0.0);
    online.Adder().CommitTicks(10);
    std::int32_t committed = 10;
    ExtLib::EventEnumDataGetter edg(online.RecordData());
    edg.RegisterAsSink();
    edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
    edg.SetSourcesAt(0, 0);
    Held<IEnumEventEx> theenum(edg.Events());
    Check(theenum.p != nullptr, "theenum", 330, KEL::String(L"The calculation gives no event enumerator."));
    constexpr ULONG numbufelems = 20;
    std::vector<TBufType> buf(numbufelems);
    std::size_t ndx = 0;
    bool finished = false;
    while (committed < config.mNumSamplesToTest || !finished) {
        ULONG nRetd = 0;
        LONG nut = 0;
        const HRESULT hr = theenum->Next(
            static_cast<ULONG>(sizeof(TBufType) * numbufelems), kRecordEndOffset, buf.data(), &nRetd, &nut);
        if (committed >= config.mNumSamplesToTest && nRetd == 0) {
            edg.EndOnlineReading();
            online.Adder().CloseRecord();
            finished = true;
        }
        Check(hr == S_OK || nut == kRecordEndOffset, "hr==S_OK || nut==kRecordEndOffset", 373);
        if (nRetd < numbufelems && !finished) {
            online.Adder().CommitTicks(10);
            committed = std::min(committed + 10, config.mNumSamplesToTest);
        }
        nRetd = std::min(nRetd, numbufelems);
        for (ULONG i = 0; i < nRetd; ++i) {
            Check(vec.size() > ndx + i, "vec.size() > ndx+i", 382);
            std::wostringstream message;
            message << L"Event #" << (ndx + i) << L" differs between online and offline (" << EventHelper::Text(buf[i])
                    << L" vs " << EventHelper::Text(vec[ndx + i]) << L").";
            Check(EventHelper::same(buf[i], vec[ndx + i]), "EventHelper::same(buf[i],vec[ndx+i])", 386,
                KEL::String(message.str()));
        }
        ndx += nRetd;
        // Past the offline count the online side can only be wrong or stuck.
        Check(ndx <= vec.size(), "ndx <= vec.size()", 390);
    }
    std::wostringstream message;
    message << L"Offline found " << vec.size() << L" events, but online found " << ndx << L" events!";
    Check(ndx == vec.size(), "ndx==vec.size()", 399, KEL::String(message.str()));
}

template <class TBufType> void EventEnumTestFind(const EnumTestConfig& config, std::int32_t seed)
{
    UniformRandom random(SeedOf(seed));
    const std::int32_t numsamples = config.mNumSamplesToTest;
    TestRecording recording;
    recording.Adder().AddRecord(config.mSourceExpressions, numsamples, config.mSampleRates, 0.0);
    recording.ApplyCalculations(config);
    std::vector<TBufType> vec;
    {
        ExtLib::EventEnumDataGetter edg(recording.RecordData());
        Check(edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString)),
            "edg.CreateEnum(config.mEnumID, config.mArithString)", 428);
        Check(edg.GetRecordData<TBufType>(0, vec), "edg.GetRecordData<TBufType>(0,vec)", 429);
        Check(vec.size() > 2, "vec.size() > 2", 433,
            KEL::String(L"EventEnumTestFind Comparison needs > 2 events to work with."));
    }
    {
        ExtLib::EventEnumDataGetter edg(recording.RecordData());
        edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
        edg.SetSourcesAt(0, Draw(random, numsamples - 1 + 0.999999999));
        Held<IEnumEventEx> theenum(edg.Events());
        Check(theenum.p != nullptr, "theenum", 440, KEL::String(L"The calculation gives no event enumerator."));
        const int count = static_cast<int>(vec.size());
        const KEL::String forwards(L"Find fails to find known event going forwards.");
        const KEL::String backwards(L"Find fails to find known event going backwards.");
        const KEL::String none(L"Bad position returned by Find when going backwards and no event found.");
        for (int round = 0; round < 100; ++round) {
            const int k = Draw(random, count - 2 + 0.999999999);
            const LONG pos0 = EventHelper::Tick(vec[static_cast<std::size_t>(k)]);
            const LONG pos1 = EventHelper::Tick(vec[static_cast<std::size_t>(k + 1)]);
            const LONG start = pos0 + 1 + Draw(random, pos1 - pos0 - 2 + 0.999999999);
            const int mode = -static_cast<int>(random.Draw() * -3.999999999);
            LONG nPos = 0;
            HRESULT hr = S_OK;
            switch (mode) {
            case 0:
                hr = theenum->Find(0, start, pos0 + 1, kRecordEndOffset);
                Check(hr == S_OK, "hr==S_OK", 455);
                theenum->GetPosition(&nPos);
                Check(nPos == pos1, "nPos == pos1", 457, forwards);
                hr = theenum->Find(0, start, pos0 + 1, pos1 + 1);
                Check(hr == S_OK, "hr==S_OK", 461);
                theenum->GetPosition(&nPos);
                Check(nPos == pos1, "nPos == pos1", 463, forwards);
                break;
            case 1:
                hr = theenum->Find(0, pos0 + 1, pos0 + 1, pos1);
                Check(hr == S_FALSE, "hr==S_FALSE", 470);
                theenum->GetPosition(&nPos);
                Check(nPos > pos0 && nPos <= pos1, "nPos>pos0 && nPos<=pos1", 473, none);
                break;
            case 2:
                hr = theenum->Find(1, start, 0, pos1);
                Check(hr == S_OK, "hr==S_OK", 480);
                theenum->GetPosition(&nPos);
                Check(nPos == pos0, "nPos == pos0", 483, backwards);
                hr = theenum->Find(1, start, pos0, pos1);
                Check(hr == S_OK, "hr==S_OK", 487);
                theenum->GetPosition(&nPos);
                Check(nPos == pos0, "nPos == pos0", 490, backwards);
                break;
            default:
                hr = theenum->Find(1, pos1 - 1, pos0 + 1, pos1);
                Check(hr == S_FALSE, "hr==S_FALSE", 496);
                theenum->GetPosition(&nPos);
                Check(nPos > pos0 && nPos <= pos1, "nPos>pos0 && nPos<=pos1", 499, none);
                break;
            }
        }
    }
    ExtLib::EventEnumDataGetter edg(recording.RecordData());
    edg.CreateEnum(config.mEnumID, KEL::String(config.mArithString));
    edg.SetSourcesAt(0, numsamples - 1);
    Held<IEnumEventEx> theenum(edg.Events());
    Check(theenum.p != nullptr, "theenum", 508, KEL::String(L"The calculation gives no event enumerator."));
    LONG startpos = 0;
    Check(theenum->GetPosition(&startpos) == S_OK, "theenum->GetPosition(&startpos)==S_OK", 511);
    Check(startpos == numsamples - 1, "startpos==numsamples-1", 512);
    Check(theenum->Find(1, startpos, 0, numsamples) == S_OK, "hr==S_OK", 514);
    LONG pos = 0;
    Check(theenum->GetPosition(&pos) == S_OK, "theenum->GetPosition(&pos)==S_OK", 515);
    Check(pos == EventHelper::Tick(vec[vec.size() - 1]), "pos==vec[vec.size()-1].GetPosition()", 516);
}

template <class TBufType> void EventEnumTestSetSources(const EnumTestConfig& config)
{
    if (config.mFilling)
        return;
    constexpr LONG ticks = 17000;
    TestRecording recording;
    recording.Adder().AddRecord(config.mSourceExpressions, ticks, config.mSampleRates, 0.0);
    recording.ApplyCalculations(config);
    std::vector<TBufType> vec;
    ExtLib::EventEnumDataGetter edg1(recording.RecordData());
    Check(edg1.CreateEnum(config.mEnumID, KEL::String(config.mArithString)),
        "edg1.CreateEnum(config.mEnumID, config.mArithString)", 855);
    Check(edg1.GetRecordData<TBufType>(0, vec), "edg1.GetRecordData<TBufType>(0,vec)", 856);
    ExtLib::EventEnumDataGetter edg2(recording.RecordData());
    Check(edg2.CreateEnum(config.mEnumID, KEL::String(config.mArithString)),
        "edg2.CreateEnum(config.mEnumID, config.mArithString)", 859);
    const LONG ticknum = ticks - 1;
    Check(edg2.SetSourcesAt(0, ticknum), "edg2.SetSources(TickPosition(0,ticknum))", 862);
    Held<IEnumEventEx> theenum(edg2.Events());
    LONG position = -1;
    const bool posok = theenum.p && theenum->GetPosition(&position) == S_OK && position == ticknum;
    std::wostringstream message;
    message << L"Incorrect position after SetSources (" << position << L" instead of " << ticknum << L" in record with "
            << ticks << L" ticks).";
    Check(posok, "posok", 872, KEL::String(message.str()));
}

} // namespace EventEnumTests
