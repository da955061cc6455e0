#pragma once
// The extension's detector and enumerators on the host's calculation engine, wired as the host
// and the extension meet in the product: the extension registers its enumerator classes through
// the host's class-object service, the host bridges them into its engine, and the detector writes
// its formula chain through the host's named channels. Used by the integration tests and the
// detection scorer.
#include "foundation/base/SimpleUnknownImp.h"
#include "host/calc/CalcError.h"
#include "host/calc/Engine.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/analysis/Detector.h"
#include "hrv/analysis/Enumerators.h"

#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace vx::integration {

// The host's class-object service as far as registration goes: keeps what is registered.
class RegistrationCollector final : public SimpleUnknownImp1<IHostClassObject, 1> {
public:
    HRESULT CreateObject(DWORD, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT RegisterClassObject(IUnknown* object) override
    {
        if (!object)
            return E_POINTER;
        mObjects.push_back(object);
        return S_OK;
    }
    std::vector<IUnknown*> mObjects;
};

// The detector's view of the host document: records and channels of the recording, the engine's
// named channels and the channel links.
class EngineDetectorHost final : public HRV::IDetectorHost {
public:
    EngineDetectorHost(calc::Engine& engine, std::shared_ptr<calc::IRecording> recording)
        : mEngine(engine)
        , mRecording(std::move(recording))
    {
    }
    int32_t RecordCount() override { return mRecording->RecordCount(); }
    bool HasData(const HRV::ChannelRef& c, int32_t record) override
    {
        return mRecording->ChannelInfo(static_cast<int>(c.mChannel), record).length > 0;
    }
    double SampleInterval(const HRV::ChannelRef& c, int32_t record) override
    {
        return mRecording->ChannelInfo(static_cast<int>(c.mChannel), record).interval;
    }
    bool AddChannel(const wchar_t* name, const wchar_t* formula) override
    {
        try {
            mEngine.SetFormula(name, formula);
            mFormulas.emplace_back(name, formula);
            return true;
        } catch (const calc::CalcError& e) {
            mLastError = e.what();
            return false;
        }
    }
    bool RemoveChannel(const wchar_t* name, bool) override
    {
        if (!mEngine.HasChannel(name))
            return false;
        mEngine.RemoveChannel(name);
        return true;
    }
    bool FindChannel(const wchar_t* name, HRV::ChannelRef& out) override
    {
        if (!mEngine.HasChannel(name))
            return false;
        out = { 0x100u, 0x40000000u };
        return true;
    }
    bool HasChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override
    {
        return mLinks.count(Key(a, b)) > 0;
    }
    bool AddChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override
    {
        return mLinks.insert(Key(a, b)).second;
    }
    IUnknown* ChannelSource() override { return nullptr; }
    bool RemoveChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override
    {
        return mLinks.erase(Key(a, b)) > 0;
    }

    std::vector<std::pair<std::wstring, std::wstring>> mFormulas; // every channel request, in order
    std::string mLastError;

private:
    static std::pair<uint64_t, uint64_t> Key(const HRV::ChannelRef& a, const HRV::ChannelRef& b)
    {
        return { (uint64_t(a.mChannel) << 32) | a.mKind, (uint64_t(b.mChannel) << 32) | b.mKind };
    }
    calc::Engine& mEngine;
    std::shared_ptr<calc::IRecording> mRecording;
    std::set<std::pair<uint64_t, uint64_t>> mLinks;
};

// Registers the extension's enumerator classes with the engine through the framework's
// class-object service; returns how many the engine took.
// `types`: the host's type registry, which gives the enumerators' event types the host's type
// index as the extension's registration does (none: index 0).
inline int InstallExtensionEnumerators(
    calc::Engine& engine, std::shared_ptr<const HRV::FiducialContext> context = {}, ITypeIdRegistry* types = nullptr)
{
    RegistrationCollector collector;
    if (FAILED(HRV::RegisterEnumeratorClasses(&collector, types, std::move(context))))
        return 0;
    return extcalc::RegisterExtensionEnumerators(engine, collector.mObjects);
}

// Every beat event of a record of a named event channel, read in stretches of 2^20 samples.
inline std::vector<HRV::FiducialEvent> ReadBeats(
    calc::Engine& engine, const std::wstring& channel, int record, int64_t start, int64_t end)
{
    calc::Compiled c = engine.Channel(channel);
    calc::EventBuffer events;
    for (int64_t s = start; s < end; s += 1 << 20)
        c.events->Read(record, s, std::min(end, s + (1 << 20)), events);
    std::vector<HRV::FiducialEvent> beats(events.Count());
    for (std::size_t i = 0; i < beats.size(); ++i)
        std::memcpy(&beats[i], events.Record(i), std::min<std::size_t>(events.recordSize, sizeof(HRV::FiducialEvent)));
    return beats;
}

// A host event enumeration of a named channel over one stretch of a record.
class EngineEvents final : public SimpleUnknownImp1<IEnumEventEx, 0> {
public:
    EngineEvents(calc::Engine& engine, const std::wstring& channel, int record, int64_t start, int64_t end)
    {
        calc::Compiled c = engine.Channel(channel);
        const int64_t length = c.events->Info(record).length;
        mEvents.recordSize = c.events->RecordSize();
        c.events->Read(record, start, std::min(end, length), mEvents);
    }
    HRESULT Next(ULONG bytes, LONG, void* buffer, ULONG* count, LONG* next) override
    {
        if (!count || !next || !buffer || bytes < mEvents.recordSize)
            return E_INVALIDARG;
        const std::size_t n = std::min<std::size_t>(bytes / mEvents.recordSize, mEvents.Count() - mIndex);
        std::memcpy(buffer, mEvents.Record(mIndex), n * mEvents.recordSize);
        mIndex += n;
        *count = static_cast<DWORD>(n);
        *next = mIndex < mEvents.Count() ? mEvents.Position(mIndex) : 0x7FFFFFFF;
        return mIndex < mEvents.Count() ? S_OK : S_FALSE;
    }
    HRESULT Find(LONG, LONG, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetPosition(LONG* p) override { return *p = 0, S_OK; }
    HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
    HRESULT GetRecordSize(ULONG* b) override { return *b = mEvents.recordSize, S_OK; }
    HRESULT GetEventType(DWORD* id) override { return *id = 0, S_OK; }
    HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* r) override { return *r = {}, S_OK; }

private:
    calc::EventBuffer mEvents;
    std::size_t mIndex = 0;
};

// The analysis engine's view of the host recording: records start one after another.
class EngineAnalysisHost final : public HRV::IAnalysisHost {
public:
    EngineAnalysisHost(calc::Engine& engine, std::shared_ptr<calc::IRecording> recording, std::wstring channel)
        : mEngine(engine)
        , mRecording(std::move(recording))
        , mChannel(std::move(channel))
    {
    }
    int32_t RecordCount() override { return mRecording->RecordCount(); }
    bool GetRecordInfo(int32_t record, HRV::RecordInfo& info) override
    {
        if (record < 0 || record >= RecordCount())
            return false;
        const calc::TimeBase tb = mRecording->RecordInfo(record);
        info = { tb.interval, 0.0, 0.0, 0, tb.length };
        return true;
    }
    IEnumEventEx* OpenEvents(const HRV::ChannelRef&, int32_t record, int32_t start, int32_t end) override
    {
        try {
            auto* e = new EngineEvents(mEngine, mChannel, record, start, end);
            e->AddRef();
            return e;
        } catch (const calc::CalcError&) {
            return nullptr;
        }
    }
    int32_t SampledRecord() override { return RecordCount() - 1; }

private:
    calc::Engine& mEngine;
    std::shared_ptr<calc::IRecording> mRecording;
    std::wstring mChannel;
};

} // namespace vx::integration
