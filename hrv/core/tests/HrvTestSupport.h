#pragma once
// Helpers of the HRV core tests: streams of hand-built bytes, held settings and a snapshot of
// every settings field for before/after comparisons.
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/XKEL.h"
#include "foundation/stream/MemoryStream.h"
#include "hrv/core/Settings.h"

namespace HRV::test {

// Little-endian bytes, built field by field.
struct Bytes {
    std::vector<std::uint8_t> b;
    Bytes& U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& F64(double v)
    {
        const auto bits = std::bit_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i)
            b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        return *this;
    }
    Bytes& Header() { return U32(0x5515AAAA); }
    Bytes& Str(const char16_t* text)
    {
        std::uint32_t n = 0;
        while (text[n])
            ++n;
        U32(0x80000001).U32(n + 1).U32(0u - (n + 1));
        for (std::uint32_t i = 0; i <= n; ++i) {
            b.push_back(static_cast<std::uint8_t>(text[i] & 0xFF));
            b.push_back(static_cast<std::uint8_t>(text[i] >> 8));
        }
        return *this;
    }
};

// Fresh settings, held for the scope of a test.
struct SettingsRef {
    SettingsRef()
        : s(new Settings())
    {
        s->AddRef();
    }
    ~SettingsRef() { s->Release(); }
    Settings* operator->() const { return s; }
    Settings& operator*() const { return *s; }
    Settings* s;
};

class StreamRef {
public:
    explicit StreamRef(std::vector<std::uint8_t> bytes = {})
        : mStream(KEL::MemoryStream::Create(std::move(bytes)))
    {
    }
    ~StreamRef() { mStream->Release(); }
    StreamRef(const StreamRef&) = delete;
    StreamRef& operator=(const StreamRef&) = delete;
    KEL::MemoryStream* operator->() const { return mStream; }
    KEL::MemoryStream* Get() const { return mStream; }
    std::vector<std::uint8_t> Bytes() const { return mStream->Bytes(); }

private:
    KEL::MemoryStream* mStream;
};

// Every field of the settings after the reference count, compared bit for bit (so NaN payloads
// and -0.0 count).
struct Snapshot {
    std::vector<std::uint8_t> bytes;
    explicit Snapshot(const Settings& s)
    {
        auto add = [&](const void* p, std::size_t n) {
            const auto* c = static_cast<const std::uint8_t*>(p);
            bytes.insert(bytes.end(), c, c + n);
        };
        add(&s.mSourceChannel, 4);
        add(&s.mSourceChannelFlags, 4);
        add(&s.mUseSelection, 1);
        add(&s.mShowEventMarkers, 1);
        add(&s.mRangeStart, 8);
        add(&s.mRangeEnd, 8);
        for (const double* d : { &s.mHistogramBinWidth, &s.mPRRThreshold, &s.mSDARRAveraging, &s.mRRMin, &s.mRRMax,
                 &s.mComplexityMin, &s.mComplexityMax, &s.mLowPassCutoff, &s.mLevellingWindow, &s.mNoiseLevel,
                 &s.mMinPeakHeight, &s.mQRSWidth, &s.mMinPeriod, &s.mMaxFrequency, &s.mVLFLow, &s.mVLFHigh, &s.mLFLow,
                 &s.mLFHigh, &s.mHFLow, &s.mHFHigh })
            add(d, 8);
        for (const bool* f : { &s.mAutoBinWidth, &s.mExcludeEctopics, &s.mAnalyzeWhileSampling, &s.mStoredWithHost,
                 &s.mLoaded, &s.mDirty })
            add(f, 1);
        add(&s.mSpecies, 4);
        add(&s.mNumFrequencies, 4);
        add(&s.mDataWindow, 4);
        add(&s.mLoadedVersion, 4);
    }
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

} // namespace HRV::test
