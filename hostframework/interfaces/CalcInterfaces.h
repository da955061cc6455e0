#pragma once
// The host calculation engine's interfaces as the extension's enumerator framework calls them:
// sample streams of channels, event sources and the calculation enumerator itself. The host
// implements the streams and sources over its recordings (host/recording); the extension's
// enumerators implement ICalcEnum and IEnumEventEx.
#include <cstdint>

#include "com/Bstr.h"
#include "com/Unknown.h"

struct IUnitName;

namespace vx::hf {
// The time base of a source: sample interval = numerator / denominator seconds, and the time of
// the record's first sample.
struct RateRatio {
    std::int64_t numerator = 1;
    std::int64_t denominator = 1;
    double offset = 0.0;
};
} // namespace vx::hf

// A channel's float samples in one record, read forward from a current position.
struct IFloatStreamEx : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3F1C7A52-9D0B-4E6A-A2C4-6B8E15D0F3A1}");
    // Number of samples of the record (the stream's length).
    virtual HRESULT GetLength(LONG* length) = 0;
    // Moves the current position by `distance` (clamped to 0 and the length); *position gets
    // the new position (may be null).
    virtual HRESULT SeekRelative(LONG distance, LONG* position) = 0;
    virtual HRESULT GetPosition(LONG* position) = 0;
    // The record the stream reads.
    virtual HRESULT GetRecord(LONG* record) = 0;
    virtual HRESULT GetTimeBase(vx::hf::RateRatio* ratio) = 0;
    // Reads up to `count` samples from the current position and advances it. S_OK also when
    // fewer (or none) came because the data ends there for now; a failure when the stream is
    // broken.
    virtual HRESULT Read(ULONG count, float* buffer, ULONG* read) = 0;

protected:
    ~IFloatStreamEx() = default;
};

// The calculation enumerator: an extension's formula function evaluated over one record.
struct ICalcEnum : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{532954A4-1807-428B-8A2B-8BB7282E74A6}");
    virtual HRESULT GetClassId(DWORD* id) = 0;
    virtual HRESULT GetClassObject(IUnknown** classObject) = 0;
    // The parameter text (the formula call); *flags gets the enumerator's flags.
    virtual HRESULT SetParams(const wchar_t* text, DWORD* flags) = 0;
    virtual HRESULT GetParams(BSTR* text) = 0;
    virtual HRESULT Clone(ICalcEnum** out) = 0;
    // Starts the enumeration of a record over its sources (sample streams or event sources),
    // with a unit per source, the sample interval (seconds) and the start mode.
    virtual HRESULT Init(LONG record, ULONG sourceCount, IUnknown* const* sources, IUnitName* const* units,
        double sampleInterval, DWORD mode)
        = 0;
    // Moves the enumeration to a tick position of the record.
    virtual HRESULT Seek(LONG position) = 0;
    // Releases the sources given to Init.
    virtual HRESULT ClearSources() = 0;
    // The slots after these have answers an enumerator need not give: the defaults are what an
    // enumerator without them answers.
    // The enumerator's flags for a non-zero query (0 for query 0).
    virtual HRESULT GetFlags(DWORD query, DWORD* flags)
    {
        (void)query;
        if (flags)
            *flags = 0;
        return E_NOTIMPL;
    }
    virtual HRESULT Reserved12() { return S_OK; }
    virtual HRESULT Reserved13() { return S_OK; }
    // A value the enumerator holds for its host, handed out with the call forwarded to it.
    virtual HRESULT GetHeldValue(IUnknown** out)
    {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT Reserved15(LONG* result)
    {
        if (result)
            *result = 0;
        return S_OK;
    }
    // The kind word of the events the enumerator hands out.
    virtual HRESULT GetEventKind(DWORD* kind)
    {
        if (kind)
            *kind = 0;
        return E_NOTIMPL;
    }
    // The sample-rate ratio of the enumerator's positions: from its first source once initialised,
    // else 1/1 with a zero offset.
    virtual HRESULT GetTimeBase(vx::hf::RateRatio* ratio)
    {
        if (!ratio)
            return E_POINTER;
        *ratio = vx::hf::RateRatio();
        return E_NOTIMPL;
    }

protected:
    ~ICalcEnum() = default;
};

// Events of a record: fixed-size records, each opening with its 32-bit tick position.
struct IEnumEventEx : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{FCC78051-74C0-4E33-BDCA-8BDC0A6FCA9A}");
    // Copies whole event records (at most bufferBytes / record size) with positions before
    // endOffset into buffer; *count gets the number of records, *next the position to continue
    // from (0x7FFFFFFF when no event follows). S_OK while the source works.
    virtual HRESULT Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) = 0;
    // Positions the source on the first event at or after `start` (backward 0) within
    // [lower, upper).
    virtual HRESULT Find(LONG backward, LONG start, LONG lower, LONG upper) = 0;
    // The position of the next event to be read; 0x7FFFFFFF when none follows.
    virtual HRESULT GetPosition(LONG* position) = 0;
    virtual HRESULT Reserved6(LONG* result) = 0;
    virtual HRESULT Clone(IEnumEventEx** out) = 0;
    virtual HRESULT GetRecordSize(ULONG* size) = 0;
    virtual HRESULT GetEventType(DWORD* type) = 0;
    virtual HRESULT Reserved10(LONG* result) = 0;
    virtual HRESULT GetTimeBase(vx::hf::RateRatio* ratio) = 0;

protected:
    ~IEnumEventEx() = default;
};
