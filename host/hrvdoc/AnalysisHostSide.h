#pragma once
// The host as the analysis reads it (HRV::IAnalysisHost): the records' timing, the events of the
// detector's named event channels as the engine evaluates them (only what has settled while a
// record is being sampled), the links from event channels and the host's comments on a channel.
#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

class AnalysisHostSide : public HRV::IAnalysisHost {
public:
    explicit AnalysisHostSide(HrvHostState& state)
        : mState(state)
    {
    }
    AnalysisHostSide(const AnalysisHostSide&) = delete;
    AnalysisHostSide& operator=(const AnalysisHostSide&) = delete;

    int32_t RecordCount() override { return mState.RecordCount(); }
    bool GetRecordInfo(int32_t record, HRV::RecordInfo& info) override;
    IEnumEventEx* OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end) override;
    // The events OpenEvents hands out for a complete record, as runs of the blocks in which the
    // engine keeps them (no copy); false when the engine does not keep them all or the record is
    // being sampled: OpenEvents reads them then.
    bool ShareEvents(
        const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end, calc::SharedEvents& out);
    int32_t SampledRecord() override;
    bool LinkedEventChannel(const HRV::ChannelRef& channel, int32_t index, HRV::ChannelRef& out) override;
    IEnumHostComments* OpenComments(
        const HRV::ChannelRef& channel, int32_t record, int32_t start, bool forwards) override;

private:
    HrvHostState& mState;
};

} // namespace vx::host
