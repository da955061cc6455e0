#include "host/extcalc/ExtensionEnumerators.h"

#include "host/calc/CalcError.h"
#include "hostframework/base/SimpleUnknownImp.h"

#include <algorithm>
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

class CalcSource final : public SimpleUnknownImp1<ICalcSource, 0> {
public:
    explicit CalcSource(const calc::EnumeratorSource& source)
        : mSource(source)
    {
    }

    HRESULT GetInfo(LONGLONG* length, double* interval, DWORD* kind) override
    {
        if (!length || !interval || !kind)
            return E_POINTER;
        *length = mSource.info.length;
        *interval = mSource.info.interval;
        *kind = mSource.samples ? kCalcSourceSampled : kCalcSourceEvents;
        return S_OK;
    }

    HRESULT ReadSamples(LONGLONG start, DWORD count, float* out) override
    {
        if (!mSource.samples)
            return E_NOTIMPL;
        if (!out && count)
            return E_POINTER;
        try {
            mSource.samples->Read(mSource.record, start, std::span<float>(out, count));
        } catch (const std::exception&) {
            return E_FAIL;
        }
        return S_OK;
    }

    HRESULT ReadEvents(LONG start, LONG end, DWORD bufferBytes, void* buffer, DWORD* recordSize, DWORD* count,
        LONG* next) override
    {
        if (!mSource.events)
            return E_NOTIMPL;
        if (!buffer || !recordSize || !count || !next)
            return E_POINTER;
        *count = 0;
        *next = end;
        try {
            if (start != mStart || end != mEnd) {
                mEvents.Clear();
                mEvents.recordSize = mSource.events->RecordSize();
                mSource.events->Read(mSource.record, start, end, mEvents);
                mStart = start;
                mEnd = end;
            }
        } catch (const std::exception&) {
            mStart = mEnd = -1;
            return E_FAIL;
        }
        *recordSize = mEvents.recordSize;
        if (mEvents.recordSize == 0 || bufferBytes < mEvents.recordSize)
            return E_INVALIDARG;
        const std::size_t capacity = bufferBytes / mEvents.recordSize;
        const std::size_t n = std::min(capacity, mEvents.Count());
        std::memcpy(buffer, mEvents.bytes.data(), n * mEvents.recordSize);
        *count = static_cast<DWORD>(n);
        if (n < mEvents.Count())
            *next = mEvents.Position(n);
        return S_OK;
    }

    HRESULT GetRateRatio(LONG* numerator, LONG* denominator) override
    {
        if (!numerator || !denominator)
            return E_POINTER;
        *numerator = 1;
        *denominator = 1;
        return S_OK;
    }

private:
    calc::EnumeratorSource mSource;
    calc::EventBuffer mEvents;
    LONG mStart = -1;
    LONG mEnd = -1;
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
    BridgeEnumerator(std::string name, ICalcEnum* calcEnum)
        : mName(std::move(name))
        , mEnum(Hold(calcEnum))
    {
        void* events = nullptr;
        if (FAILED(calcEnum->QueryInterface(IEnumEventEx::kIid, &events)) || !events)
            throw calc::CalcError("the enumerator of '" + mName + "' has no event interface");
        mEvents = Hold(static_cast<IEnumEventEx*>(events));
        DWORD size = 0;
        if (FAILED(mEvents->GetRecordSize(&size)))
            throw calc::CalcError("the enumerator of '" + mName + "' does not tell its record size");
        mRecordSize = size;
    }

    ~BridgeEnumerator() override
    {
        if (mEnum)
            mEnum->ClearSources();
    }

    uint32_t RecordSize() const override { return mRecordSize; }

    void SetParams(const std::wstring& text) override
    {
        DWORD flags = 0;
        if (FAILED(mEnum->SetParams(text.c_str(), &flags)))
            throw calc::CalcError("the enumerator of '" + mName + "' refused its parameters");
    }

    void Init(int record, const std::vector<calc::EnumeratorSource>& sources, double sampleInterval) override
    {
        std::vector<std::shared_ptr<ICalcSource>> held;
        std::vector<ICalcSource*> raw;
        for (const auto& s : sources) {
            ICalcSource* source = MakeCalcSource(s);
            held.push_back(Hold(source));
            raw.push_back(source);
        }
        if (FAILED(mEnum->Init(record, raw.data(), static_cast<DWORD>(raw.size()), sampleInterval, 0)))
            throw calc::CalcError("the enumerator of '" + mName + "' could not start record " + std::to_string(record));
    }

    void Seek(int32_t position) override { mEnum->Seek(position); }

    bool Next(std::span<std::byte> buffer, int32_t endOffset, std::size_t& count, int32_t& next) override
    {
        DWORD n = 0;
        LONG at = kEnd;
        const HRESULT hr = mEvents->Next(static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 0x7FFFFFFF)),
            endOffset, buffer.data(), &n, &at);
        if (FAILED(hr))
            throw calc::CalcError("the enumerator of '" + mName + "' failed");
        count = n;
        next = at;
        return hr == S_OK;
    }

private:
    std::string mName;
    std::shared_ptr<ICalcEnum> mEnum;
    std::shared_ptr<IEnumEventEx> mEvents;
    uint32_t mRecordSize = 0;
};

} // namespace

ICalcSource* MakeCalcSource(const calc::EnumeratorSource& source)
{
    auto* s = new CalcSource(source);
    s->AddRef();
    return s;
}

std::optional<calc::EnumeratorClass> DescribeEnumeratorClass(IUnknown* object)
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
    out.create = [cls, fn]() -> std::unique_ptr<calc::IEventEnumerator> {
        ICalcEnum* e = nullptr;
        if (FAILED(cls->CreateInstance(nullptr, &e)) || !e)
            return nullptr;
        return std::make_unique<BridgeEnumerator>(fn, e);
    };
    return out;
}

int RegisterExtensionEnumerators(calc::Engine& engine, const std::vector<IUnknown*>& objects)
{
    int n = 0;
    for (IUnknown* o : objects)
        if (auto cls = DescribeEnumeratorClass(o)) {
            engine.RegisterEnumerator(std::move(*cls));
            ++n;
        }
    return n;
}

} // namespace vx::extcalc
