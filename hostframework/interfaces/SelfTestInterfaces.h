#pragma once
// What the host's built-in self-test runner and its synthetic recordings offer an extension: the
// test interface the runner drives, the record-data factory that makes an empty recording, the
// record data and its recording sink through which a data source writes records, and the data
// source the sink reads channel by channel.
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/IKELString.h"

// One test object with numbered cases. Texts cross with a reference for the receiver.
struct IUnitTest : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E2EE6DD6-5D96-4BF4-B34B-08B817C9998B}");
    // E_FAIL for a null out pointer.
    virtual HRESULT GetTestCount(ULONG* count) = 0;
    // Runs one case; S_OK whether it passed or not (GetTestResult tells). E_INVALIDARG for an
    // index outside the cases.
    virtual HRESULT RunTest(ULONG index) = 0;
    virtual HRESULT GetTestName(ULONG index, IKELString** name) = 0;
    // The outcome of the last run: VARIANT_TRUE or VARIANT_FALSE and the failure text (empty
    // after a pass).
    virtual HRESULT GetTestResult(VARIANT_BOOL* passed, IKELString** message) = 0;
    // Lists the cases (again on every call).
    virtual HRESULT Initialise(DWORD a, DWORD b, DWORD c) = 0;
    virtual HRESULT GetAuthor(IKELString** author) = 0;
    virtual HRESULT GetTestValue(ULONG index, double* value) = 0;

protected:
    ~IUnitTest() = default;
};

// The bit of an enumerator's Init flags (bit 31) that says the record is still growing: data
// arrive after Init, and the end of the data seen so far is not the end of the record. The host
// that starts an enumerator sets it exactly while the record grows.
constexpr DWORD kCalcEnumSampling = 0x80000000u;

namespace vx::hf {
// A record position: record index, then the tick in the record (0x7FFFFFFF: its end).
struct RecordTick {
    std::int32_t record = 0x7FFFFFFF;
    std::int32_t tick = 0x7FFFFFFF;
};
// An exact interval: numerator / denominator seconds.
struct TickRatio {
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
};
// How a channel announced to a recording sink is shown: display range and unit.
struct ChannelDisplay {
    float top = 0.0f;
    float bottom = 0.0f;
    const wchar_t* unit = L"";
};
} // namespace vx::hf

// The host's record data of one recording, as a data source and the self-tests read it. The
// host's own interface, with an id of our own (the data pad's record data has another table).
// QueryInterface also gives the recording's document (IRecordingDoc), its channel names
// (IChannelNames), its online registry (IOnlineRegistry) and its recording sink.
struct IHostRecordData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6C1D2E83-4B70-4F5A-9E21-D08A3B7C5F14}");
    // The end of the data: the last record and the number of its ticks available.
    virtual HRESULT GetEndPosition(DWORD reserved, vx::hf::RecordTick* end) = 0;
    // Seconds of the record's start; E_INVALIDARG (and -1.0 left as it was) for no such record.
    virtual HRESULT GetRecordStartTime(DWORD reserved, LONG record, double* seconds) = 0;
    // The nearest tick at or before `tick` at which data exist in the record.
    virtual HRESULT GetDataTick(LONG record, LONG tick, LONG* dataTick) = 0;

protected:
    ~IHostRecordData() = default;
};

// What writes records into record data (a synthetic generator, sampling hardware). The sink calls
// it back while a record is open.
struct IRecordingDataSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{53E49452-8EE6-11D2-8211-00C0DFE13362}");
    virtual HRESULT Reserved3() = 0;
    // The samples of a channel (an IFloatStreamEx from its first sample), with a reference.
    virtual HRESULT CreateChannelSource(DWORD reserved, LONG channel, IUnknown** source) = 0;
    virtual HRESULT Reserved5() = 0;
    virtual HRESULT GetTickCount(LONG* ticks) = 0;
    // Ticks of the record being written.
    virtual HRESULT GetTicks(LONG* ticks) = 0;

protected:
    ~IRecordingDataSource() = default;
};

// The recording sink of record data. A record is written as: AnnounceChannel for each channel,
// CanSample, PrepareRecord, StartRecord, CommitTicks as ticks become available, EndRecord and
// CloseRecord.
struct IRecordingSink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{53E49453-8EE6-11D2-8211-00C0DFE13362}");
    virtual HRESULT CanSample(const wchar_t* text, VARIANT_BOOL* canSample) = 0;
    virtual HRESULT PrepareRecord(DWORD reserved) = 0;
    virtual HRESULT StartRecord(DWORD reserved, IRecordingDataSource* source, double tickInterval, double startTime,
        DWORD reserved2, DWORD recordFlags, VARIANT_BOOL reserved3)
        = 0;
    // `ticks` more ticks are available, of `total`.
    virtual HRESULT CommitTicks(ULONG ticks, ULONG total) = 0;
    virtual HRESULT EndRecord(DWORD reserved, DWORD* result) = 0;
    virtual HRESULT CloseRecord(VARIANT_BOOL keep) = 0;
    // A channel of the next record; `inSet` says whether it is recorded.
    virtual HRESULT AnnounceChannel(ULONG channel, VARIANT_BOOL inSet, const vx::hf::ChannelDisplay* display,
        vx::hf::TickRatio channelInterval, vx::hf::TickRatio tickInterval, DWORD flags, IRecordingDataSource* source)
        = 0;

protected:
    ~IRecordingSink() = default;
};
