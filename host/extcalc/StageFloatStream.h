#pragma once
// The samples of a stage of the calculation engine as an extension reads them: an IFloatStreamEx
// with a current position. What the stage is comes from `Stage`, which offers
//   void Refresh();            brings the stage up to date (a growing record) before it is read
//   int64_t Length() const;    the samples there are now
//   bool Growing() const;      the record is being sampled and will grow beyond Length()
//   int Record() const;
//   double Interval() const;   the sample interval in seconds
//   void Read(int64_t position, std::span<float> out);
// No exception leaves the stream: a failure is an HRESULT and one diagnostic line.
#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/extcalc/ExtensionEnumerators.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

namespace vx::extcalc {

template <class Stage> class StageFloatStream final : public SimpleUnknownImp1<IFloatStreamEx, 0> {
public:
    template <class... Args>
    explicit StageFloatStream(Args&&... args)
        : mStage(std::forward<Args>(args)...)
    {
    }

    // S_FALSE: the record is being sampled and will grow beyond this length.
    HRESULT GetLength(LONG* length) override
    {
        if (!length)
            return E_POINTER;
        return vx::hf::Guarded("IFloatStreamEx::GetLength", [&] {
            mStage.Refresh();
            *length = static_cast<LONG>(std::min<int64_t>(mStage.Length(), 0x7FFFFFFF));
            return mStage.Growing() ? S_FALSE : S_OK;
        });
    }
    HRESULT SeekRelative(LONG distance, LONG* position) override
    {
        return vx::hf::Guarded("IFloatStreamEx::SeekRelative", [&] {
            mStage.Refresh();
            mPosition = std::clamp<int64_t>(mPosition + distance, 0, mStage.Length());
            if (position)
                *position = static_cast<LONG>(mPosition);
            return S_OK;
        });
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = static_cast<LONG>(mPosition);
        return S_OK;
    }
    HRESULT GetRecord(LONG* record) override
    {
        if (!record)
            return E_POINTER;
        *record = mStage.Record();
        return S_OK;
    }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        if (!ratio)
            return E_POINTER;
        *ratio = RatioOf(mStage.Interval());
        return S_OK;
    }
    HRESULT Read(ULONG count, float* buffer, ULONG* read) override
    {
        if (!read || (!buffer && count))
            return E_POINTER;
        *read = 0;
        return vx::hf::Guarded("IFloatStreamEx::Read", [&] {
            mStage.Refresh();
            const int64_t n = std::min<int64_t>(count, mStage.Length() - mPosition);
            if (n <= 0)
                return S_FALSE;
            mStage.Read(mPosition, std::span<float>(buffer, static_cast<std::size_t>(n)));
            mPosition += n;
            *read = static_cast<ULONG>(n);
            return S_OK;
        });
    }

    Stage& GetStage() { return mStage; }

private:
    Stage mStage;
    int64_t mPosition = 0;
};

} // namespace vx::extcalc
