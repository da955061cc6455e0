#pragma once
// Host sources for the enumerator tests: a sampled channel from a vector and an event channel
// from a list of event records.
#include "hostframework/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hrv/analysis/FiducialEvent.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace HRV::test {

class FakeSource final : public SimpleUnknownImp1<ICalcSource, 1> {
public:
    // A sampled source.
    FakeSource(std::vector<float> samples, double interval)
        : mSamples(std::move(samples))
        , mLength(static_cast<int64_t>(mSamples.size()))
        , mInterval(interval)
        , mSampled(true)
    {
    }
    // An event source of the given record size (records sorted by position).
    FakeSource(std::vector<std::byte> records, uint32_t recordSize, int64_t length, double interval)
        : mRecords(std::move(records))
        , mRecordSize(recordSize)
        , mLength(length)
        , mInterval(interval)
        , mSampled(false)
    {
    }
    static std::vector<std::byte> PeakEvents(const std::vector<int32_t>& positions)
    {
        std::vector<std::byte> out;
        for (int32_t p : positions) {
            SelectorEvent e;
            e.mPosition = p;
            e.mValue = 1.0;
            const auto* b = reinterpret_cast<const std::byte*>(&e);
            out.insert(out.end(), b, b + sizeof e);
        }
        return out;
    }

    HRESULT GetInfo(LONGLONG* length, double* interval, DWORD* kind) override
    {
        *length = mLength;
        *interval = mInterval;
        *kind = mSampled ? kCalcSourceSampled : kCalcSourceEvents;
        return S_OK;
    }
    HRESULT ReadSamples(LONGLONG start, DWORD count, float* out) override
    {
        ++mSampleReads;
        for (DWORD i = 0; i < count; ++i) {
            const int64_t p = std::clamp<int64_t>(start + i, 0, mLength - 1);
            out[i] = mSamples[static_cast<std::size_t>(p)];
        }
        return S_OK;
    }
    HRESULT ReadEvents(LONG start, LONG end, DWORD bufferBytes, void* buffer, DWORD* recordSize, DWORD* count,
        LONG* next) override
    {
        *recordSize = mRecordSize;
        *count = 0;
        *next = end;
        const std::size_t n = mRecords.size() / mRecordSize;
        const DWORD capacity = bufferBytes / mRecordSize;
        for (std::size_t i = 0; i < n; ++i) {
            int32_t p;
            std::memcpy(&p, mRecords.data() + i * mRecordSize, 4);
            if (p < start || p >= end)
                continue;
            if (*count == capacity) {
                *next = p;
                break;
            }
            std::memcpy(static_cast<std::byte*>(buffer) + *count * mRecordSize, mRecords.data() + i * mRecordSize,
                mRecordSize);
            ++*count;
        }
        return S_OK;
    }
    HRESULT GetRateRatio(LONG* num, LONG* den) override
    {
        *num = 1;
        *den = 1;
        return S_OK;
    }

    long mSampleReads = 0;

private:
    std::vector<float> mSamples;
    std::vector<std::byte> mRecords;
    uint32_t mRecordSize = 16;
    int64_t mLength = 0;
    double mInterval = 0.0;
    bool mSampled = true;
};

} // namespace HRV::test
