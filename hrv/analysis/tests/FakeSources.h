#pragma once
// Host sources for the enumerator tests: a sample stream from a vector and an event source from a
// list of event records, behaving as the host's streams do.
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CalcInterfaces.h"
#include "hrv/analysis/FiducialEvent.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace HRV::test {

class FakeStream final : public SimpleUnknownImp1<IFloatStreamEx, 1> {
public:
    FakeStream(std::vector<float> samples, double interval)
        : mSamples(std::move(samples))
        , mInterval(interval)
    {
    }
    HRESULT GetLength(LONG* length) override { return *length = static_cast<LONG>(mSamples.size()), S_OK; }
    HRESULT SeekRelative(LONG distance, LONG* position) override
    {
        mPosition = std::clamp<int64_t>(mPosition + distance, 0, static_cast<int64_t>(mSamples.size()));
        if (position)
            *position = static_cast<LONG>(mPosition);
        return S_OK;
    }
    HRESULT GetPosition(LONG* position) override { return *position = static_cast<LONG>(mPosition), S_OK; }
    HRESULT GetRecord(LONG* record) override { return *record = 0, S_OK; }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        *ratio = { 1, std::llround(1.0 / mInterval), 0.0 };
        return S_OK;
    }
    HRESULT Read(ULONG count, float* buffer, ULONG* read) override
    {
        ++reads;
        const auto n = std::min<int64_t>(count, static_cast<int64_t>(mSamples.size()) - mPosition);
        std::copy_n(mSamples.begin() + mPosition, n, buffer);
        mPosition += n;
        *read = static_cast<ULONG>(n);
        return S_OK;
    }
    long reads = 0;

private:
    std::vector<float> mSamples;
    double mInterval;
    int64_t mPosition = 0;
};

class FakeEvents final : public SimpleUnknownImp1<IEnumEventEx, 1> {
public:
    FakeEvents(std::vector<std::byte> records, ULONG recordSize)
        : mRecords(std::move(records))
        , mSize(recordSize)
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
    std::size_t Count() const { return mRecords.size() / mSize; }
    int32_t Position(std::size_t i) const
    {
        int32_t p;
        std::memcpy(&p, mRecords.data() + i * mSize, 4);
        return p;
    }
    HRESULT Next(ULONG bytes, LONG end, void* buffer, ULONG* count, LONG* next) override
    {
        *count = 0;
        while (*count < bytes / mSize && mIndex < Count() && Position(mIndex) < end) {
            std::memcpy(static_cast<std::byte*>(buffer) + *count * mSize, mRecords.data() + mIndex * mSize, mSize);
            ++*count;
            ++mIndex;
        }
        *next = mIndex < Count() ? Position(mIndex) : 0x7FFFFFFF;
        return S_OK;
    }
    HRESULT Find(LONG, LONG start, LONG, LONG) override
    {
        mIndex = 0;
        while (mIndex < Count() && Position(mIndex) < start)
            ++mIndex;
        return S_OK;
    }
    HRESULT GetPosition(LONG* p) override { return *p = mIndex < Count() ? Position(mIndex) : 0x7FFFFFFF, S_OK; }
    HRESULT Reserved6(LONG*) override { return E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx**) override { return E_NOTIMPL; }
    HRESULT GetRecordSize(ULONG* size) override { return *size = mSize, S_OK; }
    HRESULT GetEventType(DWORD* type) override { return *type = 0, S_OK; }
    HRESULT Reserved10(LONG*) override { return E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override { return *ratio = { 1, 1000, 0.0 }, S_OK; }

private:
    std::vector<std::byte> mRecords;
    ULONG mSize;
    std::size_t mIndex = 0;
};

} // namespace HRV::test
