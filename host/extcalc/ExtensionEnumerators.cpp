#include "host/extcalc/ExtensionEnumerators.h"

#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/calc/CalcError.h"
#include "host/extcalc/StageFloatStream.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace vx::extcalc {

namespace {

std::string Narrow(const wchar_t* text, UINT length)
{
    std::string s;
    for (UINT i = 0; i < length; ++i)
        s += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return s;
}

std::string TakeBstr(BSTR text)
{
    if (!text)
        return {};
    std::string s = Narrow(text, SysStringLen(text));
    SysFreeString(text);
    return s;
}

// A sampled stage of the engine whose length is known when its stream is made.
class EngineStage {
public:
    EngineStage(const calc::EnumeratorSource& source, bool growing)
        : mSource(source)
        , mGrowing(growing)
    {
    }
    void Refresh() { }
    int64_t Length() const { return mSource.info.length; }
    bool Growing() const { return mGrowing; }
    int Record() const { return mSource.record; }
    double Interval() const { return mSource.info.interval; }
    void Read(int64_t position, std::span<float> out) { mSource.samples->Read(mSource.record, position, out); }

private:
    calc::EnumeratorSource mSource;
    bool mGrowing;
};

using CalcFloatStream = StageFloatStream<EngineStage>;

// An event stage of the engine as the extension reads it: events from a current position on,
// read from the engine a stretch at a time.
class CalcEventSource final : public SimpleUnknownImp1<IEnumEventEx, 0> {
public:
    explicit CalcEventSource(const calc::EnumeratorSource& source)
        : mSource(source)
    {
        mEvents.recordSize = mSource.events->RecordSize();
    }
    HRESULT Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) override
    {
        if (!count || !next || (!buffer && bufferBytes))
            return E_POINTER;
        *count = 0;
        *next = 0x7FFFFFFF;
        const ULONG size = mEvents.recordSize;
        if (size == 0)
            return E_FAIL;
        auto* out = static_cast<std::byte*>(buffer);
        return vx::hf::Guarded("IEnumEventEx::Next", [&] {
            while (*count < bufferBytes / size) {
                if (!Fetch())
                    return S_OK; // no event follows
                if (mEvents.Position(mIndex) >= endOffset)
                    break;
                std::memcpy(out + std::size_t(*count) * size, mEvents.Record(mIndex), size);
                mPosition = mEvents.Position(mIndex) + 1;
                ++mIndex;
                ++*count;
            }
            if (Fetch())
                *next = mEvents.Position(mIndex);
            return S_OK;
        });
    }
    HRESULT Find(LONG, LONG start, LONG, LONG) override
    {
        mPosition = std::max<LONG>(start, 0);
        mIndex = 0;
        mEvents.Clear();
        mStretchEnd = mPosition;
        return S_OK;
    }
    HRESULT GetPosition(LONG* position) override
    {
        if (!position)
            return E_POINTER;
        *position = static_cast<LONG>(std::min<int64_t>(mPosition, 0x7FFFFFFF));
        return S_OK;
    }
    HRESULT Reserved6(LONG* result) override { return result ? (*result = 0, E_NOTIMPL) : E_NOTIMPL; }
    HRESULT Clone(IEnumEventEx** out) override
    {
        if (!out)
            return E_POINTER;
        auto* copy = new CalcEventSource(mSource);
        copy->Find(0, static_cast<LONG>(mPosition), 0, 0);
        copy->AddRef();
        *out = copy;
        return S_OK;
    }
    HRESULT GetRecordSize(ULONG* size) override
    {
        if (!size)
            return E_POINTER;
        *size = mEvents.recordSize;
        return S_OK;
    }
    HRESULT GetEventType(DWORD* type) override { return type ? (*type = 0, S_OK) : E_POINTER; }
    HRESULT Reserved10(LONG* result) override { return result ? (*result = 0, E_NOTIMPL) : E_NOTIMPL; }
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override
    {
        if (!ratio)
            return E_POINTER;
        *ratio = RatioOf(mSource.info.interval);
        return S_OK;
    }

private:
    // Makes mIndex name the next event at or after mPosition; false when none follows.
    bool Fetch()
    {
        constexpr int64_t kStretch = 1 << 16;
        while (mIndex >= mEvents.Count()) {
            const int64_t length = mSource.info.length;
            if (mStretchEnd >= length)
                return false;
            const int64_t from = std::max(mPosition, mStretchEnd);
            const int64_t to = std::min(from + kStretch, length);
            mEvents.Clear();
            mIndex = 0;
            mSource.events->Read(mSource.record, from, to, mEvents);
            mStretchEnd = to;
        }
        return true;
    }

    calc::EnumeratorSource mSource;
    calc::EventBuffer mEvents;
    std::size_t mIndex = 0;
    int64_t mPosition = 0;
    int64_t mStretchEnd = 0;
};

// Releases an interface when the last holder lets go.
template <class I> std::shared_ptr<I> Hold(I* object)
{
    return std::shared_ptr<I>(object, [](I* p) {
        if (p)
            p->Release();
    });
}

class BridgeEnumerator final : public calc::IEventEnumerator {
public:
    BridgeEnumerator(std::string name, ICalcEnum* calcEnum, SamplingProbe sampling)
        : mName(std::move(name))
        , mEnum(Hold(calcEnum))
        , mSampling(std::move(sampling))
    {
        void* events = nullptr;
        if (FAILED(calcEnum->QueryInterface(IEnumEventEx::kIid, &events)) || !events)
            throw calc::CalcError("the enumerator of '" + mName + "' has no event interface");
        mEvents = Hold(static_cast<IEnumEventEx*>(events));
        ULONG size = 0;
        if (FAILED(mEvents->GetRecordSize(&size)))
            throw calc::CalcError("the enumerator of '" + mName + "' does not tell its record size");
        mRecordSize = size;
        DWORD type = 0;
        if (SUCCEEDED(mEvents->GetEventType(&type)))
            mEventType = type;
    }

    ~BridgeEnumerator() override
    {
        if (mEnum)
            mEnum->ClearSources();
    }

    uint32_t RecordSize() const override { return mRecordSize; }
    uint32_t EventType() const override { return mEventType; }

    void SetParams(const std::wstring& text) override
    {
        DWORD flags = 0;
        if (FAILED(mEnum->SetParams(text.c_str(), &flags)))
            throw calc::CalcError("the enumerator of '" + mName + "' refused its parameters");
    }

    void Init(int record, const std::vector<calc::EnumeratorSource>& sources, double sampleInterval) override
    {
        mRecord = record;
        mSources = sources;
        mInterval = sampleInterval;
        Start(mSampling && mSampling(record));
    }

    void Seek(int32_t position) override
    {
        StopSamplingWhenDone();
        mEnum->Seek(position);
        mPosition = position;
    }

    bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) override
    {
        if (StopSamplingWhenDone())
            mEnum->Seek(mPosition);
        ULONG n = 0;
        LONG at = kEnd;
        const HRESULT hr = mEvents->Next(
            static_cast<ULONG>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF)), endOffset, buffer.data(), &n, &at);
        if (FAILED(hr))
            throw calc::CalcError("the enumerator of '" + mName + "' failed");
        // Only an enumerator of a record that is being sampled may wait for more data.
        if (hr == S_OK && n == 0 && at <= mPosition && !mSamplingMode)
            throw calc::CalcError(
                "the enumerator of '" + mName + "' made no progress at position " + std::to_string(at));
        count = n;
        next = at;
        mPosition = at;
        return hr == S_OK;
    }

private:
    // Starts the record over fresh sources, in sampling mode while the record grows.
    void Start(bool sampling)
    {
        std::vector<std::shared_ptr<IUnknown>> held;
        std::vector<IUnknown*> raw;
        for (const auto& s : mSources) {
            IUnknown* source = MakeCalcSource(s, sampling);
            held.push_back(Hold(source));
            raw.push_back(source);
        }
        mSamplingMode = sampling;
        if (FAILED(mEnum->Init(mRecord, static_cast<ULONG>(raw.size()), raw.data(), nullptr, mInterval,
                sampling ? kCalcEnumSampling : 0)))
            throw calc::CalcError(
                "the enumerator of '" + mName + "' could not start record " + std::to_string(mRecord));
        mPosition = 0;
    }

    // Once the record's sampling has ended, the enumerator starts the record again without the
    // sampling mode, so that it reads the data to their end. True when it did.
    bool StopSamplingWhenDone()
    {
        if (!mSamplingMode || (mSampling && mSampling(mRecord)))
            return false;
        const int32_t position = mPosition;
        Start(false);
        mPosition = position;
        return true;
    }

    std::string mName;
    std::shared_ptr<ICalcEnum> mEnum;
    std::shared_ptr<IEnumEventEx> mEvents;
    SamplingProbe mSampling;
    uint32_t mRecordSize = 0;
    uint32_t mEventType = 0;
    int mRecord = 0;
    std::vector<calc::EnumeratorSource> mSources;
    double mInterval = 0.0;
    bool mSamplingMode = false;
    int32_t mPosition = 0;
};

} // namespace

vx::hf::RateRatio RatioOf(double interval)
{
    vx::hf::RateRatio r;
    if (!(interval > 0))
        return r;
    const double rate = 1.0 / interval;
    if (std::abs(rate - std::round(rate)) < 1e-9 * rate) {
        r.numerator = 1;
        r.denominator = std::llround(rate);
    } else {
        r.numerator = std::llround(interval * 1e9);
        r.denominator = 1000000000;
    }
    return r;
}

IUnknown* MakeCalcSource(const calc::EnumeratorSource& source, bool growing)
{
    if (source.samples) {
        auto* s = new CalcFloatStream(source, growing);
        s->AddRef();
        return static_cast<IFloatStreamEx*>(s);
    }
    if (source.events) {
        auto* s = new CalcEventSource(source);
        s->AddRef();
        return static_cast<IEnumEventEx*>(s);
    }
    return nullptr;
}

std::optional<calc::EnumeratorClass> DescribeEnumeratorClass(
    IUnknown* object, IUnknown* creator, SamplingProbe sampling)
{
    if (!object)
        return std::nullopt;
    void* a = nullptr;
    void* b = nullptr;
    if (FAILED(object->QueryInterface(ICalcEnumClass2::kIid, &a)) || !a)
        return std::nullopt;
    auto cls = Hold(static_cast<ICalcEnumClass2*>(a));
    if (FAILED(object->QueryInterface(ICalcNumericParamsFuncClass::kIid, &b)) || !b)
        return std::nullopt;
    auto params = Hold(static_cast<ICalcNumericParamsFuncClass*>(b));

    BSTR name = nullptr;
    DWORD classId = 0, count = 0;
    if (FAILED(params->GetFunctionInfo(0, &name, &classId, &count)))
        return std::nullopt;
    calc::EnumeratorClass out;
    out.functionName = TakeBstr(name);
    for (DWORD i = 0; i < count; ++i) {
        double maximum = 0, minimum = 0;
        DWORD flags = 0;
        BSTR paramName = nullptr;
        if (FAILED(params->GetParamInfo(i, &maximum, &minimum, &flags, &paramName)))
            return std::nullopt;
        calc::EnumeratorParam p;
        p.name = TakeBstr(paramName);
        if (params->CheckSource(i, kCalcSourceSampled) == S_OK)
            p.kind = calc::EnumeratorParam::Kind::Samples;
        else if (params->CheckSource(i, kCalcSourceEvents) == S_OK)
            p.kind = calc::EnumeratorParam::Kind::Events;
        else {
            p.kind = calc::EnumeratorParam::Kind::Number;
            p.minimum = minimum;
            p.maximum = maximum;
        }
        out.params.push_back(std::move(p));
    }
    const std::string fn = out.functionName;
    out.create = [cls, fn, creator, sampling]() -> std::unique_ptr<calc::IEventEnumerator> {
        ICalcEnum* e = nullptr;
        if (FAILED(cls->CreateInstance(creator, &e)) || !e)
            return nullptr;
        return std::make_unique<BridgeEnumerator>(fn, e, sampling);
    };
    return out;
}

int RegisterExtensionEnumerators(
    calc::Engine& engine, const std::vector<IUnknown*>& objects, IUnknown* creator, SamplingProbe sampling)
{
    int n = 0;
    for (IUnknown* o : objects)
        if (auto cls = DescribeEnumeratorClass(o, creator, sampling)) {
            engine.RegisterEnumerator(std::move(*cls));
            ++n;
        }
    return n;
}

} // namespace vx::extcalc
