#pragma once
// The extension's detector and enumerators on the host's calculation engine, wired as the host
// and the extension meet in the product: the extension registers its enumerator classes through
// the host's class-object service, the host bridges them into its engine, and the detector writes
// its formula chain through the host's named channels. Used by the integration tests and the
// detection scorer.
#include "host/calc/CalcError.h"
#include "host/calc/Engine.h"
#include "host/extcalc/ExtensionEnumerators.h"
#include "hostframework/base/SimpleUnknownImp.h"
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
    bool AddChannel(const std::wstring& name, const std::wstring& formula) override
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
    bool RemoveChannel(const std::wstring& name, bool) override
    {
        if (!mEngine.HasChannel(name))
            return false;
        mEngine.RemoveChannel(name);
        return true;
    }
    bool FindChannel(const std::wstring& name, HRV::ChannelRef& out) override
    {
        if (!mEngine.HasChannel(name))
            return false;
        out = { 0x100u, 0x40000000u };
        return true;
    }
    bool HasChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override { return mLinks.count(Key(a, b)) > 0; }
    bool AddChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override { return mLinks.insert(Key(a, b)).second; }
    bool RemoveChannelLink(const HRV::ChannelRef& a, const HRV::ChannelRef& b) override { return mLinks.erase(Key(a, b)) > 0; }

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
inline int InstallExtensionEnumerators(calc::Engine& engine, std::shared_ptr<const HRV::FiducialContext> context = {})
{
    RegistrationCollector collector;
    if (FAILED(HRV::RegisterEnumeratorClasses(&collector, nullptr, std::move(context))))
        return 0;
    return extcalc::RegisterExtensionEnumerators(engine, collector.mObjects);
}

// Every beat event of a record of a named event channel, read in stretches of 2^20 samples.
inline std::vector<HRV::FiducialEvent> ReadBeats(calc::Engine& engine, const std::wstring& channel, int record,
    int64_t start, int64_t end)
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

} // namespace vx::integration
