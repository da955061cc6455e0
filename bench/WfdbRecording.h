#pragma once
// Adapter from an imported WFDB record to the calculation engine's recording interface (one
// record, the signals as channels). The host document takes this role in the product.
#include "host/calc/Engine.h"
#include "host/import/Wfdb.h"

#include <memory>

namespace vx::bench {

class WfdbRecording final : public calc::IRecording {
public:
    explicit WfdbRecording(std::shared_ptr<const import::WfdbRecord> record)
        : mRecord(std::move(record))
    {
    }
    int RecordCount() const override { return 1; }
    int ChannelCount() const override { return static_cast<int>(mRecord->samples.size()); }
    calc::TimeBase ChannelInfo(int channel, int record) const override
    {
        if (record != 0 || channel < 0 || channel >= ChannelCount())
            return {};
        return { static_cast<int64_t>(mRecord->samples[static_cast<std::size_t>(channel)].size()),
            1.0 / mRecord->header.frequency };
    }
    calc::TimeBase RecordInfo(int record) const override { return record == 0 ? ChannelInfo(0, 0) : calc::TimeBase {}; }
    void ReadChannel(int channel, int, int64_t start, std::span<float> out, bool raw) override
    {
        const auto& s = mRecord->samples[static_cast<std::size_t>(channel)];
        const auto& info = mRecord->header.signals[static_cast<std::size_t>(channel)];
        const float scale = raw ? 1.0f : static_cast<float>(1.0 / info.gain);
        const float offset = raw ? 0.0f : static_cast<float>(info.baseline);
        const int16_t* p = s.data() + start;
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = (static_cast<float>(p[i]) - offset) * scale;
    }

private:
    std::shared_ptr<const import::WfdbRecord> mRecord;
};

} // namespace vx::bench
