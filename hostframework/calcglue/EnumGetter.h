#pragma once
// Drives a host calculation enumerator the way the host's formula engine would: creates it from
// a formula expression, finds the channels the expression names, hands it their data at a
// position and stops it again. It also hears, as an online-data sink, when sampling stops.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/core/Array.h"
#include "hostframework/interfaces/CalcInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/RecordingInterfaces.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

// A member object reached through an interface: AddRef and Release only answer 1, it is never
// deleted through the interface.
template <class I> class NoDeleteUnknownImp1 : public SimpleUnknownImp1<I, 1> {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
};

namespace ExtLib {

// A channel named by an expression: number from 0; r: written "rch", v: written "vch".
struct SourceEntry {
    std::uint32_t channel = 0;
    std::uint8_t r = 0;
    std::uint8_t v = 0;
    std::uint8_t reserved[2] = {};
    bool operator==(const SourceEntry& o) const { return channel == o.channel && r == o.r && v == o.v; }
};
static_assert(sizeof(SourceEntry) == 8);

class EnumGetterBase : public NoDeleteUnknownImp1<IOnlineDataSink> {
public:
    explicit EnumGetterBase(IRecordingDoc* document);
    ~EnumGetterBase() override;
    EnumGetterBase(const EnumGetterBase&) = delete;
    EnumGetterBase& operator=(const EnumGetterBase&) = delete;

    // The channel references of a (lower-case) expression: "ch3", "channel3", "rch3", "vch3"
    // (numbers from 1). A reference whose number does not parse as a positive number is skipped.
    static void ParseChannelReferences(const KEL::String& expression, std::vector<SourceEntry>& out);

    bool CreateEnum(DWORD classId, const KEL::String& expression);
    // Hands the enumerator its sources at a tick position (record high, offset low); `value`
    // is the sample interval given to the enumerator unless the first source reports one. On
    // failure nothing changes: no source is kept and the sources are not set.
    bool SetSources(std::int64_t position, bool flag, double value);
    bool GetSourceData(
        IRecordingDoc* document, IUnknown** data, std::uint32_t channel, std::int64_t position, DWORD kind);

    // Registers with the document's online registry (once). While registered the getter reads
    // online: the enumerator is started in sampling mode.
    bool RegisterAsSink();
    // Ends online reading: stops the enumerator, lets its sources go and leaves the registry.
    void EndOnlineReading();
    // Stops the enumerator and lets its sources go, so that SetSources can place it again.
    void ReleaseSources();
    void SetCallback(std::function<void()> callback);
    void SetKindMode(DWORD mode) { mKindMode = mode; }

    ICalcEnum* Enumerator() const { return mEnumerator; }
    const std::vector<SourceEntry>& Sources() const { return mSources; }
    bool SourcesSet() const { return mSourcesSet; }
    ULONG SourceDataCount() const { return mSourceData.Count(); }

    // IOnlineDataSink
    HRESULT MaySamplingStart(IUnknown** context, WORD* verdict) override;
    HRESULT SamplingFinished() override { return S_OK; }
    HRESULT RecordStart(LONG, DWORD, WORD) override { return S_OK; }
    HRESULT RecordEnd() override { return S_OK; }
    HRESULT SamplingEnd() override { return OnSamplingStopped(); }
    HRESULT NewData() override { return S_OK; }
    HRESULT Reserved9() override { return S_OK; }
    HRESULT Reserved10() override { return E_NOTIMPL; }
    HRESULT Reserved11() override { return E_NOTIMPL; }
    HRESULT Reserved12() override { return S_OK; }
    HRESULT GetValue13(DWORD* value) override;
    HRESULT GetValue14(DWORD a, DWORD b, DWORD c, DWORD* value) override;

    // Calls the callback (when one is set), then stops the enumerator and releases the sources.
    HRESULT OnSamplingStopped();

protected:
    // The host's object factory; tests hand in their own.
    virtual IObjectFactory* ObjectFactory();

private:
    void StopAndRelease();

    ICalcEnum* mEnumerator = nullptr;
    IRecordingDoc* mDocument;
    std::vector<SourceEntry> mSources;
    bool mRegistered = false;
    DWORD mKindMode = 0;
    bool mSourcesSet = false;
    IUnknownArray mSourceData;
    std::function<void()> mCallback;
    bool mHasCallback = false;
};

// A getter over the host's record data of one recording: reads a record's events into a list.
class EventEnumDataGetter : public EnumGetterBase {
public:
    using EnumGetterBase::EnumGetterBase;
    // Bound to record data (IHostRecordData, answering the recording's document too).
    explicit EventEnumDataGetter(IUnknown* recordData);
    ~EventEnumDataGetter() override;

    // The start time of a record; -1.0 without record data or for a record it does not know.
    double RecordStartTime(LONG record) const;
    // Places the enumerator at a tick of a record.
    bool SetSourcesAt(LONG record, LONG tick);
    // The enumerator's event interface, with a reference; null when it has none.
    IEnumEventEx* Events() const;

    // Every event of record i, in order; false when the enumerator cannot be placed there, has
    // no event interface or stops answering before the record's end.
    template <class TBufType> bool GetRecordData(std::int32_t i, std::vector<TBufType>& results)
    {
        constexpr std::size_t kBuffer = 100;
        std::vector<TBufType> buffer(kBuffer);
        results.clear();
        results.reserve(kBuffer);
        ReleaseSources();
        if (!SetSourcesAt(i, 0))
            return false;
        IEnumEventEx* events = Events();
        if (!events)
            return false;
        std::size_t total = 0;
        bool complete = false;
        LONG previous = -1;
        // Every answer with events must move on: an enumerator that does not is stuck, and the
        // record is not read to its end.
        for (std::size_t round = 0; round <= kMaxRounds; ++round) {
            ULONG count = 0;
            LONG next = 0x7FFFFFFF;
            const HRESULT hr = events->Next(
                static_cast<ULONG>(sizeof(TBufType) * kBuffer), 0x7FFFFFFF, buffer.data(), &count, &next);
            if (FAILED(hr) || (count > 0 && next != 0x7FFFFFFF && next <= previous))
                break;
            previous = next;
            count = std::min<ULONG>(count, kBuffer);
            results.insert(results.end(), buffer.begin(), buffer.begin() + count);
            total += count;
            if (count == 0) {
                complete = true;
                break;
            }
        }
        events->Release();
        if (!complete || results.size() != total)
            return false;
        EndOnlineReading();
        return true;
    }

private:
    static constexpr std::size_t kMaxRounds = 1u << 20;
    IHostRecordData* mRecordData = nullptr;
};

} // namespace ExtLib

// Base of a channel calculation the host attaches to a channel. It aggregates an inner object
// that the host makes for it, which answers the interfaces the calculation does not implement.
class ChannelCalcBase : public SimpleUnknownImp1<IChannelCalc, 1> {
public:
    HRESULT QueryInterface(REFIID iid, void** out) override;
    HRESULT GetExtra(IUnknown** out) override;
    HRESULT Refresh() override { return S_OK; }

    IUnknown* Inner() const { return mInner; }

protected:
    // `factory` makes the inner object (null: the host's object factory) under `innerKey` (0: the
    // host's key, type index of the view-range type << 16 | 17).
    ChannelCalcBase(IUnknown* hostObject, std::uintptr_t value, ULONG channel, IObjectFactory* factory = nullptr,
        DWORD innerKey = 0);
    ~ChannelCalcBase() override;

    IUnknown* mInner = nullptr;
    IUnknown* mInnerCalc = nullptr; // the inner object's {4021A447-...} interface, not counted
    IUnknown* mHostSite = nullptr;
    IUnknown* mHostSiteInterface = nullptr; // not counted
    IUnknown* mHostObject;
    std::uintptr_t mValue;
    ULONG mChannel;
    double mGain = 1.0;
    double mOffset = 0.0;
    float mRangeLow;
    float mRangeHigh;
    std::uint32_t mA = 2;
    std::uint32_t mB = 1;
    void* mField1 = nullptr;
    IUnknown* mHeld = nullptr;
    void* mField3 = nullptr;
};

// The host object that a calculation is made for: slot 12 gives its site object.
struct ICalcHostObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{1C8E2B57-90D3-4A6F-8B14-E5D27A0C3F69}");
    virtual HRESULT GetSite(IUnknown** site) = 0;

protected:
    ~ICalcHostObject() = default;
};
