#pragma once
// The host as the beat detector calls it (HRV::IDetectorHost): the recording's records and their
// sampling, the detector's named formula channels made, found and removed in the host's
// calculation engine, and the links between channels. A channel the engine refuses is kept as
// the standing refusal until a later request for it stands.
#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

class DetectorHostSide : public HRV::IDetectorHost {
public:
    explicit DetectorHostSide(HrvHostState& state)
        : mState(state)
    {
    }
    DetectorHostSide(const DetectorHostSide&) = delete;
    DetectorHostSide& operator=(const DetectorHostSide&) = delete;

    // The first of the detector's channel requests that the engine refused and that still stands.
    ChannelRefusal StandingRefusal() const;

    int32_t RecordCount() override { return mState.RecordCount(); }
    bool HasData(const HRV::ChannelRef& channel, int32_t record) override;
    double SampleInterval(const HRV::ChannelRef& channel, int32_t record) override;
    bool AddChannel(const wchar_t* name, const wchar_t* formula) override;
    bool RemoveChannel(const wchar_t* name, bool clear) override;
    bool FindChannel(const wchar_t* name, HRV::ChannelRef& out) override;
    bool HasChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    bool AddChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    bool RemoveChannelLink(const HRV::ChannelRef& from, const HRV::ChannelRef& to) override;
    IUnknown* ChannelSource() override { return static_cast<IChannelNames*>(&mState.Document()); }
    bool SetChannelKept(const wchar_t* name, WORD state) override;
    bool SetChannelGroup(const wchar_t* name, const wchar_t* group) override;

private:
    void ForgetRefusal(const std::wstring& name);

    HrvHostState& mState;
};

} // namespace vx::host
