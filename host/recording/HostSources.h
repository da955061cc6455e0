#pragma once
// The host's sample streams and event sources over a recording: what the extension's
// enumerators and cursors read.
#include <memory>

#include "foundation/base/SimpleUnknownImp.h"
#include "host/recording/Recording.h"
#include "hostframework/interfaces/CalcInterfaces.h"

namespace vx::host {

// Rate ratio of a sample interval: 1/n seconds when the rate is a whole number of hertz, else
// the interval in nanoseconds over 10^9.
vx::hf::RateRatio RatioOf(double interval, double offset);

// Physical samples of one channel in one record. While the record is being sampled
// (recording->samplingRecord), a read at the end of the data returns S_OK with nothing; at the
// end of a finished record it returns S_FALSE.
class HostFloatStream final : public SimpleUnknownImp1<IFloatStreamEx, 1> {
public:
    HostFloatStream(std::shared_ptr<const Recording> recording, int channel, int record);
    // The samples of a formula channel (a compiled signal of the calculation engine); the
    // recording gives the record's time base.
    HostFloatStream(std::shared_ptr<const Recording> recording, std::shared_ptr<calc::Signal> signal, int record);

    HRESULT GetLength(LONG* length) override;
    HRESULT SeekRelative(LONG distance, LONG* position) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT GetRecord(LONG* record) override;
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override;
    HRESULT Read(ULONG count, float* buffer, ULONG* read) override;

    // Calls made, for tests that check which operations touch the stream.
    int reads = 0;
    int seeks = 0;

private:
    int64_t Length() const;

    std::shared_ptr<const Recording> mRecording;
    std::shared_ptr<calc::Signal> mSignal;
    int mChannel;
    int mRecord;
    int64_t mPosition = 0;
};

// The events of one event channel in one record.
class HostEventSource final : public SimpleUnknownImp1<IEnumEventEx, 1> {
public:
    HostEventSource(std::shared_ptr<const Recording> recording, int eventChannel, int record);
    // The events of a formula channel that compiles to events (read once, for the whole record).
    HostEventSource(
        std::shared_ptr<const Recording> recording, const std::shared_ptr<calc::EventSignal>& signal, int record);
    // Events kept outside the recording (a snapshot of computed events), shared without copying;
    // null bytes: none.
    HostEventSource(std::shared_ptr<const Recording> recording, std::shared_ptr<const std::vector<std::byte>> bytes,
        uint32_t recordSize, int record);

    HRESULT Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) override;
    HRESULT Find(LONG backward, LONG start, LONG lower, LONG upper) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT Reserved6(LONG* result) override;
    HRESULT Clone(IEnumEventEx** out) override;
    HRESULT GetRecordSize(ULONG* size) override;
    HRESULT GetEventType(DWORD* type) override;
    HRESULT Reserved10(LONG* result) override;
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override;

    int reads = 0;
    int finds = 0;

private:
    std::size_t Count() const { return mRecordSize ? mBytes->size() / mRecordSize : 0; }
    int32_t PositionAt(std::size_t i) const;

    std::shared_ptr<const Recording> mRecording;
    int mRecord;
    uint32_t mRecordSize = 16;
    // The record's events: the recording's own bytes, or the copy read from a formula channel.
    std::shared_ptr<const std::vector<std::byte>> mBytes;
    std::size_t mIndex = 0;
};

} // namespace vx::host
