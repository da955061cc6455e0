#pragma once
// Synthetic recordings for the self-tests: a data source that writes records into new, empty
// host record data. It announces its channels to the record data's recording sink, starts a
// record and makes its ticks available in steps, as sampling hardware would. The samples are not
// computed here: each channel is a formula that the host's formula calculation evaluates when
// the sink reads the channel.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/core/Bitset.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

namespace ExtLib {

// New, empty host record data (IHostRecordData) with one reference; throws UnitTestException
// when the host offers no record-data factory.
IUnknown* CreateRecordData();

class DataAdderBase : public SimpleUnknownImp1<IRecordingDataSource, 0> {
public:
    // Writes into `recordData` (held), or into record data of its own when null.
    explicit DataAdderBase(IUnknown* recordData);
    ~DataAdderBase() override;
    DataAdderBase(const DataAdderBase&) = delete;
    DataAdderBase& operator=(const DataAdderBase&) = delete;

    HRESULT Reserved3() override { return E_NOTIMPL; }
    HRESULT CreateChannelSource(DWORD, LONG, IUnknown** source) override;
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT GetTickCount(LONG* ticks) override { return GetTicks(ticks); }
    HRESULT GetTicks(LONG* ticks) override;

    void SetChannelSet(const KEL::Bitset& channels);
    void AddChannels(const KEL::Bitset& channels);
    void RemoveChannels(const KEL::Bitset& channels);
    // A negative entry gives its channel the display range +10 to -10.
    void SetChannelRanges(std::vector<std::int32_t> ranges) { mRanges = std::move(ranges); }
    void SetRecordFlags(DWORD flags) { mRecordFlags = flags; }

    IUnknown* RecordData() const { return mRecordData; }
    std::uint32_t TicksAdded() const { return mTicksAdded; }
    bool RecordOpen() const { return mSink != nullptr; }

protected:
    IUnknown* mRecordData = nullptr;
    IUnknown* mOwnRecordData = nullptr;
    IRecordingSink* mSink = nullptr; // the open record's sink, not counted
    KEL::Bitset mChannelSet;
    std::vector<double> mSampleRates;
    double mTickRate = 0.0;
    std::int32_t mTicks = -1;
    std::vector<std::int32_t> mRanges;
    DWORD mRecordFlags = 0;
    std::uint32_t mTicksAdded = 0;
};

class FormulaDataAdder : public DataAdderBase {
public:
    explicit FormulaDataAdder(IUnknown* recordData);

    // The host's calls while it reads the record: the samples of one channel, and the ticks.
    // E_INVALIDARG for a channel outside the channels; nothing is thrown into the host.
    HRESULT CreateChannelSource(DWORD, LONG channel, IUnknown** source) override;
    HRESULT GetTicks(LONG* ticks) override;

    void SetChannels(
        const std::vector<std::wstring>& expressions, std::int32_t ticks, const std::vector<double>& rates);
    // Starts a record (0.0: now). Failed checks throw UnitTestException.
    void AddSamples(double startTime);
    // Makes n more ticks available (no more than the record has).
    void CommitTicks(std::uint32_t n);
    // Ends the open record.
    void CloseRecord();

    void AddRecord(const std::vector<std::wstring>& expressions, std::int32_t ticks, const std::vector<double>& rates,
        double startTime);
    void AddRecordAtRate(
        const std::vector<std::wstring>& expressions, std::int32_t ticks, double rate, double startTime);
    void StartRecord(const std::vector<std::wstring>& expressions, std::int32_t ticks, const std::vector<double>& rates,
        double startTime);
    void StartRecordAtRate(
        const std::vector<std::wstring>& expressions, std::int32_t ticks, double rate, double startTime);

    const std::vector<std::wstring>& Expressions() const { return mExpressions; }

private:
    HRESULT MakeChannelSource(LONG channel, IUnknown** source);

    std::vector<std::wstring> mExpressions;
};

} // namespace ExtLib
