#include "host/recording/HostDocument.h"

#include <algorithm>
#include <cmath>

#include "foundation/String.h"
#include "foundation/base/ExceptionBoundary.h"
#include "foundation/base/RefCount.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "host/recording/HostSources.h"

namespace vx::host {
namespace {

constexpr DWORD kKindSamples = 0x40000000u;
constexpr DWORD kKindRaw = 1;
constexpr DWORD kKindNamed = 4;
constexpr DWORD kKindFlagMask = ~DWORD(0x1000);

// The source object of a channel in a record: gives its streams.
class HostSourceData final : public SimpleUnknownImp1<ISourceData, 1> {
public:
    HostSourceData(HostDocument* doc, std::uint32_t channel, LONG record)
        : mDoc(doc)
        , mChannel(channel)
        , mRecord(record)
    {
        mDoc->AddRef();
    }
    ~HostSourceData() override { mDoc->Release(); }
    HRESULT GetStream(DWORD, LONG offset, LONG, DWORD, IUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        *out = mDoc->MakeStream(mChannel, mRecord, offset);
        return *out ? S_OK : E_FAIL;
    }

private:
    HostDocument* mDoc;
    std::uint32_t mChannel;
    LONG mRecord;
};

class HostChannelObject final : public SimpleUnknownImp1<IChannelObject, 1> {
public:
    HostChannelObject(HostDocument* doc, std::uint32_t channel)
        : mDoc(doc)
        , mChannel(channel)
    {
        mDoc->AddRef();
    }
    ~HostChannelObject() override { mDoc->Release(); }
    HRESULT GetCalculation(IChannelCalculation** out) override
    {
        if (!out)
            return E_POINTER;
        *out = mDoc->CalculationOf(mChannel);
        if (!*out)
            return S_FALSE;
        (*out)->AddRef();
        return S_OK;
    }

private:
    HostDocument* mDoc;
    std::uint32_t mChannel;
};

class HostFormulaSettings final : public SimpleUnknownImp2<IFormulaSettingsObject, IFormulaText, 1> {
public:
    HRESULT SetFormula(const wchar_t* formula, const wchar_t* second, WORD) override
    {
        mFormula = formula ? formula : L"";
        mSecond = second ? second : L"";
        return S_OK;
    }
    HRESULT GetFormula(BSTR* formula) override
    {
        if (!formula)
            return E_POINTER;
        *formula = SysAllocString(mFormula.c_str());
        return S_OK;
    }

private:
    std::wstring mFormula, mSecond;
};

// The host's formula calculation: hands the formula of its settings to the calculation engine
// for the named channel it is attached to.
class HostFormulaCalc final : public SimpleUnknownImp2<INewCalculation, IChannelCalculation, 1> {
public:
    explicit HostFormulaCalc(DWORD classId)
        : mClassId(classId)
    {
    }
    // The document holds its calculations; a calculation does not hold its document (that
    // would be a cycle). The document tells it when it goes.
    void ForgetDocument() { mDoc = nullptr; }

    HRESULT Attach(vx::hf::ChannelRef ref, IChannelCollection* channels, IChannelCalculation** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        auto* doc = dynamic_cast<HostDocument*>(channels);
        if (!doc || !ref.Known())
            return E_INVALIDARG;
        if (mDoc)
            return E_UNEXPECTED;
        mDoc = doc;
        mChannel = ref.number;
        mDoc->SetCalculation(mChannel, this);
        *out = this;
        AddRef();
        return S_OK;
    }
    HRESULT SetSettings(IUnknown* settings, DWORD) override
    {
        if (!mDoc)
            return E_UNEXPECTED;
        const std::wstring* name = mDoc->NameOfNumber(mChannel);
        if (!name)
            return E_INVALIDARG; // recorded channels take no formula
        IFormulaText* text = nullptr;
        if (!settings || FAILED(settings->QueryInterface(IFormulaText::kIid, reinterpret_cast<void**>(&text))) || !text)
            return E_INVALIDARG;
        BSTR formula = nullptr;
        const HRESULT hr = text->GetFormula(&formula);
        text->Release();
        if (FAILED(hr))
            return hr;
        const std::wstring f = formula ? formula : L"";
        SysFreeString(formula);
        // On failure the engine keeps the channel's previous formula.
        return vx::hf::Guarded("the channel calculation's formula", [&] { mDoc->Engine().SetFormula(*name, f); });
    }
    HRESULT Detach() override
    {
        if (mDoc)
            mDoc->ClearCalculation(mChannel, this);
        return S_OK;
    }
    HRESULT GetClassId(DWORD* id) override
    {
        if (!id)
            return E_POINTER;
        *id = mClassId;
        return S_OK;
    }
    HRESULT GetChannelCalc(IChannelCalc** out) override
    {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }

private:
    DWORD mClassId;
    HostDocument* mDoc = nullptr;
    std::uint32_t mChannel = 0;
};

// What a channel calculation of an extension's class is made on: the document (not held, the
// document holds the calculation; it tells the site when it goes), the channel and the factory.
class HostCalcSite final : public SimpleUnknownImp1<ICalculationSite, 1> {
public:
    HostCalcSite(HostDocument* doc, std::uint32_t channel, IObjectFactory* factory)
        : mDoc(doc)
        , mChannel(channel)
        , mFactory(factory)
    {
        if (mFactory)
            mFactory->AddRef();
    }
    ~HostCalcSite() override
    {
        if (mFactory)
            mFactory->Release();
    }
    void ForgetDocument() { mDoc = nullptr; }

    HRESULT GetDocument(IUnknown** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!mDoc)
            return E_UNEXPECTED; // the document was closed
        *out = static_cast<IRecordingDoc*>(mDoc);
        mDoc->AddRef();
        return S_OK;
    }
    HRESULT GetChannel(ULONG* channel) override
    {
        if (!channel)
            return E_POINTER;
        *channel = mChannel;
        return S_OK;
    }
    HRESULT GetObjectFactory(IObjectFactory** out) override
    {
        if (!out)
            return E_POINTER;
        *out = mFactory;
        if (!mFactory)
            return E_FAIL;
        mFactory->AddRef();
        return S_OK;
    }

private:
    HostDocument* mDoc;
    std::uint32_t mChannel;
    IObjectFactory* mFactory;
};

IKELString* TextRep(const std::wstring& text)
{
    return KEL::String(text).CopyRep();
}

} // namespace

HostDocument::HostDocument(std::shared_ptr<Recording> recording)
    : mRecording(std::move(recording))
    , mEngine(mRecording)
{
}

HostDocument::~HostDocument()
{
    while (!mComputed.empty())
        DropComputed(mComputed.begin()->first);
    for (auto& [channel, calc] : mCalculations) {
        if (auto* own = dynamic_cast<HostFormulaCalc*>(calc))
            own->ForgetDocument();
        calc->Release();
    }
}

HRESULT HostDocument::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IRecordingDoc::kIid)
        *out = static_cast<IRecordingDoc*>(this);
    else if (iid == IOnlineRegistry::kIid)
        *out = static_cast<IOnlineRegistry*>(this);
    else if (iid == IChannelNames::kIid)
        *out = static_cast<IChannelNames*>(this);
    else if (iid == IChannelCollection::kIid)
        *out = static_cast<IChannelCollection*>(this);
    else if (iid == IChannelValues::kIid)
        *out = static_cast<IChannelValues*>(this);
    else if (iid == IDataAccess::kIid)
        *out = static_cast<IDataAccess*>(this);
    else if (iid == IDocumentTime::kIid)
        *out = static_cast<IDocumentTime*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG HostDocument::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG HostDocument::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

int HostDocument::NamedChannelNumber(const std::wstring& name) const
{
    const auto it = std::find(mNamed.begin(), mNamed.end(), name);
    if (name.empty() || it == mNamed.end())
        return -1;
    return mRecording->ChannelCount() + static_cast<int>(it - mNamed.begin());
}

const std::wstring* HostDocument::NameOfNumber(std::uint32_t number) const
{
    const auto recorded = static_cast<std::uint32_t>(mRecording->ChannelCount());
    if (number < recorded || number - recorded >= mNamed.size() || mNamed[number - recorded].empty())
        return nullptr;
    return &mNamed[number - recorded];
}

IChannelCalculation* HostDocument::CalculationOf(std::uint32_t channel) const
{
    const auto it = mCalculations.find(channel);
    return it == mCalculations.end() ? nullptr : it->second;
}

void HostDocument::SetCalculation(std::uint32_t channel, IChannelCalculation* calc)
{
    calc->AddRef();
    if (IChannelCalculation* old = CalculationOf(channel))
        old->Release();
    mCalculations[channel] = calc;
}

void HostDocument::ClearCalculation(std::uint32_t channel, IChannelCalculation* calc)
{
    const auto it = mCalculations.find(channel);
    if (it == mCalculations.end() || it->second != calc)
        return;
    mCalculations.erase(it);
    if (auto* own = dynamic_cast<HostFormulaCalc*>(calc))
        own->ForgetDocument();
    calc->Release();
}

bool HostDocument::DropComputed(std::uint32_t channel)
{
    const auto it = mComputed.find(channel);
    if (it == mComputed.end())
        return false;
    const ComputedChannel gone = it->second;
    mComputed.erase(it);
    static_cast<HostCalcSite*>(gone.site)->ForgetDocument();
    gone.calc->Release();
    gone.calcClass->Release();
    ++mComputedChanges;
    gone.site->Release();
    return true;
}

HRESULT HostDocument::ComputeChannel(
    std::uint32_t channel, ICalculationClass* calcClass, IUnknown* settings, IObjectFactory* factory)
{
    if (!calcClass || !settings)
        return E_POINTER;
    if (!NameOfNumber(channel))
        return E_INVALIDARG; // recorded channels keep their samples
    auto* site = new HostCalcSite(this, channel, factory);
    IChannelCalc* calc = nullptr;
    HRESULT hr = calcClass->CreateCalc(nullptr, static_cast<ICalculationSite*>(site), &calc);
    if (SUCCEEDED(hr) && !calc)
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = calc->Setup(settings);
    if (FAILED(hr)) {
        site->ForgetDocument();
        if (calc)
            calc->Release();
        site->Release();
        return hr;
    }
    DropComputed(channel);
    calcClass->AddRef();
    mComputed[channel] = { calc, static_cast<ICalculationSite*>(site), calcClass };
    ++mComputedChanges;
    if (mSetupListener)
        mSetupListener(channel, calc);
    return hr;
}

IChannelCalc* HostDocument::ChannelCalcOf(std::uint32_t channel) const
{
    const auto it = mComputed.find(channel);
    return it == mComputed.end() ? nullptr : it->second.calc;
}

std::vector<HostDocument::ComputedChannelInfo> HostDocument::ComputedChannels() const
{
    std::vector<ComputedChannelInfo> channels;
    for (const auto& [channel, computed] : mComputed)
        channels.push_back({ channel, computed.calcClass, computed.calc });
    return channels;
}

HRESULT HostDocument::ReadComputedChannel(std::uint32_t channel, LONG record, LONG start, std::span<float> out)
{
    IChannelCalc* calc = ChannelCalcOf(channel);
    if (!calc || out.size() > 0x7FFFFFFF)
        return E_INVALIDARG;
    ULONG written = 0;
    const HRESULT hr = calc->Calculate(record, start, static_cast<ULONG>(out.size()), out.data(), &written);
    if (hr == S_OK && written != out.size())
        return E_FAIL;
    return hr;
}

IUnknown* HostDocument::MakeStream(std::uint32_t channel, LONG record, LONG offset)
{
    if (record < 0 || record >= mRecording->RecordCount() || offset < 0)
        return nullptr;
    HostFloatStream* stream = nullptr;
    if (channel < static_cast<std::uint32_t>(mRecording->ChannelCount())) {
        stream = new HostFloatStream(mRecording, static_cast<int>(channel), record);
    } else if (const std::wstring* name = NameOfNumber(channel)) {
        // A formula that cannot be compiled has no source.
        IUnknown* events = vx::hf::GuardedValue<IUnknown*>("a source of a named channel", nullptr, [&]() -> IUnknown* {
            calc::Compiled compiled = mEngine.Channel(*name);
            if (compiled.events) {
                // A formula that gives events (beat detection, an extension enumerator).
                auto* source = new HostEventSource(mRecording, compiled.events, record);
                source->Find(0, offset, 0, 0x7FFFFFFF);
                return static_cast<IEnumEventEx*>(source);
            }
            if (compiled.samples)
                stream = new HostFloatStream(mRecording, compiled.samples, record);
            return nullptr;
        });
        if (events || !stream)
            return events;
    } else {
        return nullptr;
    }
    stream->SeekRelative(offset, nullptr);
    return static_cast<IFloatStreamEx*>(stream);
}

// --- IRecordingDoc -------------------------------------------------------------------------------

HRESULT HostDocument::GetShownChannelCount(ULONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<ULONG>(mRecording->ChannelCount()) + static_cast<ULONG>(mNamed.size());
    return S_OK;
}

HRESULT HostDocument::GetChannelCount(ULONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<ULONG>(mRecording->ChannelCount());
    return S_OK;
}

HRESULT HostDocument::GetCalculatedChannelCount(DWORD, ULONG* count)
{
    return GetShownChannelCount(count);
}

HRESULT HostDocument::GetSampleInterval(DWORD, LONG record, ULONG channel, double* interval)
{
    if (!interval)
        return E_POINTER;
    if (record < 0 || record >= mRecording->RecordCount())
        return E_INVALIDARG;
    const calc::TimeBase tb = channel < static_cast<ULONG>(mRecording->ChannelCount())
        ? mRecording->ChannelInfo(static_cast<int>(channel), record)
        : mRecording->RecordInfo(record);
    if (!(tb.interval > 0))
        return E_FAIL;
    *interval = tb.interval;
    return S_OK;
}

HRESULT HostDocument::GetDataObject(DWORD kind, ULONG channel, std::int64_t position, LONG, DWORD, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    kind &= kKindFlagMask;
    if (kind != kKindSamples && kind != kKindRaw && kind != kKindNamed) {
        *out = nullptr;
        return E_INVALIDARG;
    }
    *out = MakeStream(channel, vx::hf::TickRecord(position), vx::hf::TickOffset(position));
    return *out ? S_OK : E_FAIL;
}

HRESULT HostDocument::GetSourceObject(DWORD, LONG record, ULONG channel, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (record < 0 || record >= mRecording->RecordCount()
        || (channel >= static_cast<ULONG>(mRecording->ChannelCount()) && !NameOfNumber(channel)))
        return E_INVALIDARG;
    *out = new HostSourceData(this, channel, record);
    return S_OK;
}

HRESULT HostDocument::GetChannelValues(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IChannelValues*>(this);
    AddRef();
    return S_OK;
}

// --- IOnlineRegistry and the online service --------------------------------------------------------

HRESULT HostDocument::AddSink(IOnlineDataSink* sink)
{
    if (!sink)
        return E_POINTER;
    if (std::find(mSinks.begin(), mSinks.end(), sink) == mSinks.end())
        mSinks.push_back(sink);
    return S_OK;
}

HRESULT HostDocument::RemoveSink(IOnlineDataSink* sink)
{
    const auto it = std::find(mSinks.begin(), mSinks.end(), sink);
    if (it == mSinks.end())
        return S_FALSE;
    mSinks.erase(it);
    return S_OK;
}

bool HostDocument::StartSampling(double interval)
{
    if (mRecording->samplingRecord >= 0 || !(interval > 0))
        return false;
    const std::vector<IOnlineDataSink*> sinks = mSinks;
    for (IOnlineDataSink* s : sinks) {
        WORD verdict = 65535;
        if (FAILED(s->MaySamplingStart(nullptr, &verdict)) || verdict != 65535)
            return false;
    }
    double start = 0.0;
    if (!mRecording->records.empty()) {
        const Record& last = mRecording->records.back();
        start = last.startTime + static_cast<double>(last.length) * last.interval;
    }
    const int r = mRecording->AddRecord(interval, start);
    for (SampleStore& s : mRecording->records[static_cast<std::size_t>(r)].channels)
        s = SampleStore(std::vector<float> {});
    mRecording->samplingRecord = r;
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->RecordStart(r, 0, 1);
    return true;
}

bool HostDocument::DeliverBlock(const std::vector<std::span<const float>>& channels)
{
    const int r = mRecording->samplingRecord;
    if (r < 0 || channels.size() != static_cast<std::size_t>(mRecording->ChannelCount()) || channels.empty())
        return false;
    const std::size_t n = channels.front().size();
    for (const auto& c : channels)
        if (c.size() != n)
            return false; // a ragged block would leave channels of different lengths
    Record& record = mRecording->records[static_cast<std::size_t>(r)];
    for (std::size_t c = 0; c < channels.size(); ++c)
        record.channels[c].Append(channels[c]);
    record.length += static_cast<int64_t>(n);
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->NewData();
    return true;
}

bool HostDocument::DeliverShared(int64_t count)
{
    const int r = mRecording->samplingRecord;
    if (r < 0 || count <= 0 || mRecording->ChannelCount() == 0)
        return false;
    Record& record = mRecording->records[static_cast<std::size_t>(r)];
    std::vector<SampleStore> grown = record.channels;
    for (SampleStore& s : grown)
        if (!s.Grow(count))
            return false;
    record.channels = std::move(grown);
    record.length += count;
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->NewData();
    return true;
}

void HostDocument::StopSampling()
{
    if (mRecording->samplingRecord < 0)
        return;
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->RecordEnd();
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->SamplingEnd();
    mRecording->samplingRecord = -1;
    for (IOnlineDataSink* s : std::vector<IOnlineDataSink*>(mSinks))
        s->SamplingFinished();
}

// --- IChannelNames ---------------------------------------------------------------------------------

HRESULT HostDocument::CreateNamedChannel(DWORD, const wchar_t* name, IKELString** text, vx::hf::ChannelRef* ref)
{
    if (!name || !ref || !*name)
        return E_INVALIDARG;
    const std::wstring n(name);
    int number = NamedChannelNumber(n);
    if (number < 0) {
        const HRESULT added = vx::hf::Guarded("CreateNamedChannel", [&] { mEngine.AddChannel(n); });
        if (FAILED(added))
            return added;
        mNamed.push_back(n);
        number = NamedChannelNumber(n);
        mEngine.BindChannelNumber(n, number);
    }
    *ref = { static_cast<std::uint32_t>(number), 0 };
    if (text)
        *text = TextRep(n);
    return S_OK;
}

HRESULT HostDocument::RemoveName(DWORD, const wchar_t* name)
{
    const int number = name ? NamedChannelNumber(name) : -1;
    if (number < 0)
        return E_INVALIDARG;
    if (IChannelCalculation* calc = CalculationOf(static_cast<std::uint32_t>(number))) {
        mCalculations.erase(static_cast<std::uint32_t>(number));
        if (auto* own = dynamic_cast<HostFormulaCalc*>(calc))
            own->ForgetDocument();
        calc->Release();
    }
    const bool computed = DropComputed(static_cast<std::uint32_t>(number));
    mEngine.RemoveChannel(name);
    mNamed[static_cast<std::size_t>(number - mRecording->ChannelCount())].clear();
    mNameFlags.erase(name);
    mLinks.erase(static_cast<std::uint32_t>(number));
    if (computed && mSetupListener)
        mSetupListener(static_cast<std::uint32_t>(number), nullptr);
    return S_OK;
}

HRESULT HostDocument::LookUp(DWORD, const wchar_t* name, vx::hf::ChannelRef* ref)
{
    if (!name || !ref)
        return E_POINTER;
    const int number = NamedChannelNumber(name);
    if (number < 0)
        return E_FAIL;
    *ref = { static_cast<std::uint32_t>(number), 0 };
    return S_OK;
}

HRESULT HostDocument::NameOf(DWORD, vx::hf::ChannelRef ref, IKELString** text)
{
    if (!text)
        return E_POINTER;
    *text = nullptr;
    if (ref.number < static_cast<std::uint32_t>(mRecording->ChannelCount())) {
        *text = TextRep(mRecording->channels[ref.number].title);
        return S_OK;
    }
    const std::wstring* name = NameOfNumber(ref.number);
    if (!name)
        return E_INVALIDARG;
    *text = TextRep(*name);
    return S_OK;
}

HRESULT HostDocument::AddLinkItem(DWORD, vx::hf::ChannelRef key, const vx::hf::LinkItem* item)
{
    if (!item)
        return E_POINTER;
    mLinks[key.number].push_back(*item);
    return S_OK;
}

HRESULT HostDocument::ReadLinkItem(DWORD, vx::hf::ChannelRef key, ULONG i, vx::hf::LinkItem* item, ULONG* count)
{
    if (!item || !count)
        return E_POINTER;
    const auto it = mLinks.find(key.number);
    *count = it == mLinks.end() ? 0 : static_cast<ULONG>(it->second.size());
    if (i >= *count)
        return S_FALSE;
    *item = it->second[i];
    return S_OK;
}

HRESULT HostDocument::RemoveLinkItem(DWORD, vx::hf::ChannelRef key, const vx::hf::LinkItem* item)
{
    if (!item)
        return E_POINTER;
    const auto it = mLinks.find(key.number);
    if (it == mLinks.end())
        return S_FALSE;
    const auto found = std::find(it->second.begin(), it->second.end(), *item);
    if (found == it->second.end())
        return S_FALSE;
    it->second.erase(found);
    return S_OK;
}

HRESULT HostDocument::SetNameFlag(DWORD, const wchar_t* name, WORD value)
{
    if (!name || NamedChannelNumber(name) < 0)
        return E_INVALIDARG;
    mNameFlags[name] = value;
    return S_OK;
}

HRESULT HostDocument::GetNameFlag(DWORD, const wchar_t* name, WORD* value)
{
    if (!name || !value)
        return E_POINTER;
    if (NamedChannelNumber(name) < 0)
        return E_INVALIDARG;
    const auto it = mNameFlags.find(name);
    *value = it == mNameFlags.end() ? 0 : it->second;
    return S_OK;
}

// --- IChannelCollection ----------------------------------------------------------------------------

HRESULT HostDocument::GetChannelObject(vx::hf::ChannelRef ref, IChannelObject** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (ref.number >= static_cast<std::uint32_t>(mRecording->ChannelCount()) && !NameOfNumber(ref.number))
        return E_INVALIDARG;
    *out = new HostChannelObject(this, ref.number);
    return S_OK;
}

// --- IChannelValues --------------------------------------------------------------------------------

HRESULT HostDocument::GetValueRange(DWORD, ULONG channel, DWORD, vx::hf::ValueRange* range)
{
    if (!range)
        return E_POINTER;
    if (channel >= static_cast<ULONG>(mRecording->ChannelCount()))
        return E_INVALIDARG;
    bool any = false;
    for (const Record& r : mRecording->records) {
        double lo, hi;
        if (r.channels[channel].Range(lo, hi)) {
            range->low = any ? std::min(range->low, lo) : lo;
            range->high = any ? std::max(range->high, hi) : hi;
            any = true;
        }
    }
    return any ? S_OK : S_FALSE; // S_FALSE: no samples, the range is left as it was
}

HRESULT HostDocument::GetSetting(DWORD code, LONG record, ULONG channel, void* out)
{
    if (!out)
        return E_POINTER;
    if (channel >= static_cast<ULONG>(mRecording->ChannelCount()) || record < -2 || record >= mRecording->RecordCount())
        return E_INVALIDARG;
    const ChannelSetup& setup = mRecording->channels[channel];
    switch (code) {
    case 0x40001000u: {
        auto* scaling = static_cast<double*>(out);
        scaling[0] = setup.factor;
        scaling[1] = setup.offset;
        return S_OK;
    }
    case 0x40002000u: {
        auto* unit = static_cast<UnitSetting*>(out);
        unit->text = TextRep(setup.unit);
        unit->prefix = 0;
        return S_OK;
    }
    default:
        return E_INVALIDARG;
    }
}

// --- IDataAccess -----------------------------------------------------------------------------------

HRESULT HostDocument::GetChannelSetting(DWORD kind, LONG channel, LONG record, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (channel < 0 || (kind & kKindFlagMask) != kKindSamples)
        return E_INVALIDARG;
    *out = MakeStream(static_cast<std::uint32_t>(channel), record, 0);
    return *out ? S_OK : E_FAIL;
}

HRESULT HostDocument::GetText(DWORD code, LONG, LONG channel, BSTR* text)
{
    if (!text)
        return E_POINTER;
    *text = nullptr;
    if (code != 0xC0002000u || channel < 0 || channel >= mRecording->ChannelCount())
        return E_INVALIDARG;
    const ChannelSetup& setup = mRecording->channels[static_cast<std::size_t>(channel)];
    const std::wstring t = setup.unit.empty() ? setup.title : setup.title + L" (" + setup.unit + L")";
    *text = SysAllocString(t.c_str());
    return S_OK;
}

HRESULT HostDocument::GetSourceDescriptor(DWORD, vx::hf::SourceDescriptor* out)
{
    if (!out)
        return E_POINTER;
    *out = { 0x801E0001u, 0x20000000u, static_cast<DWORD>(mRecording->RecordCount()) };
    return S_OK;
}

// --- IDocumentTime ----------------------------------------------------------------------------------

HRESULT HostDocument::IsTickValid(std::int64_t tick)
{
    const int r = vx::hf::TickRecord(tick);
    const int64_t o = vx::hf::TickOffset(tick);
    if (r < 0 || r >= mRecording->RecordCount() || o < 0 || o > mRecording->records[static_cast<std::size_t>(r)].length)
        return S_FALSE;
    return S_OK;
}

HRESULT HostDocument::PositionsToTicks(
    const vx::hf::DocPosition* start, const vx::hf::DocPosition* end, std::int64_t* startTick, std::int64_t* endTick)
{
    if (!start || !end || !startTick || !endTick)
        return E_POINTER;
    if (start->record == 0x7FFFFFFF || end->record == 0x7FFFFFFF)
        return E_INVALIDARG;
    *startTick = vx::hf::MakeTickPosition(start->record, start->offset);
    *endTick = vx::hf::MakeTickPosition(end->record, end->offset);
    return S_OK;
}

HRESULT HostDocument::TickToPosition(std::int64_t tick, vx::hf::DocPosition* position)
{
    if (!position)
        return E_POINTER;
    if (IsTickValid(tick) != S_OK)
        return E_INVALIDARG;
    *position = { vx::hf::TickOffset(tick), vx::hf::TickRecord(tick) };
    return S_OK;
}

HRESULT HostDocument::GetRecordCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = mRecording->RecordCount();
    return S_OK;
}

HRESULT HostDocument::GetRecordEndTick(LONG record, std::int64_t* tick)
{
    if (!tick)
        return E_POINTER;
    if (record < 0 || record >= mRecording->RecordCount())
        return E_INVALIDARG;
    const int64_t length = mRecording->records[static_cast<std::size_t>(record)].length;
    *tick = vx::hf::MakeTickPosition(record, static_cast<std::int32_t>(std::min<int64_t>(length, 0x7FFFFFFE)));
    return S_OK;
}

HRESULT HostDocument::GetTickTime(std::int64_t tick, double* seconds)
{
    if (!seconds)
        return E_POINTER;
    if (IsTickValid(tick) != S_OK)
        return E_INVALIDARG;
    const Record& r = mRecording->records[static_cast<std::size_t>(vx::hf::TickRecord(tick))];
    *seconds = r.startTime + static_cast<double>(vx::hf::TickOffset(tick)) * r.interval;
    return S_OK;
}

// --- HostView --------------------------------------------------------------------------------------

namespace {
class HostSelection final : public SimpleUnknownImp1<IViewSelection, 1> {
public:
    explicit HostSelection(const Selection& s)
        : mSelection(s)
    {
    }
    HRESULT GetPositions(vx::hf::DocPosition* start, vx::hf::DocPosition* end) override
    {
        if (!start || !end)
            return E_POINTER;
        if (mSelection.empty)
            return S_FALSE;
        *start = { static_cast<std::int32_t>(mSelection.start.offset), mSelection.start.record };
        *end = { static_cast<std::int32_t>(mSelection.end.offset), mSelection.end.record };
        return S_OK;
    }
    HRESULT GetFlag(WORD* flag) override
    {
        if (!flag)
            return E_POINTER;
        *flag = mSelection.empty ? 0 : 0xFFFF;
        return S_OK;
    }

private:
    Selection mSelection;
};

class HostViewRange final : public SimpleUnknownImp1<IViewRange, 1> {
public:
    HostViewRange(std::int64_t s, std::int64_t e, double scale)
        : mStart(s)
        , mEnd(e)
        , mScale(scale)
    {
    }
    HRESULT GetTicks(std::int64_t* start, std::int64_t* end) override
    {
        if (!start || !end)
            return E_POINTER;
        *start = mStart;
        *end = mEnd;
        return S_OK;
    }
    HRESULT GetScale(double* value) override
    {
        if (!value)
            return E_POINTER;
        *value = mScale;
        return S_OK;
    }

private:
    std::int64_t mStart, mEnd;
    double mScale;
};
} // namespace

HostView::HostView(HostDocument* document, DWORD rangeKey)
    : mDocument(document)
    , mRangeKey(rangeKey)
{
    mDocument->AddRef();
}

HostView::~HostView()
{
    mDocument->Release();
}

HRESULT HostView::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != IHostView::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IHostView*>(this);
    AddRef();
    return S_OK;
}

ULONG HostView::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG HostView::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

HRESULT HostView::GetSelection(IViewSelection** out)
{
    if (!out)
        return E_POINTER;
    *out = new HostSelection(mDocument->Data().selection);
    return S_OK;
}

HRESULT HostView::GetDocument(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IRecordingDoc*>(mDocument);
    mDocument->AddRef();
    return S_OK;
}

HRESULT HostView::GetKeyedObject(DWORD key, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (key != mRangeKey)
        return E_INVALIDARG;
    *out = new HostViewRange(rangeStart, rangeEnd, scale);
    return S_OK;
}

// --- HostObjectFactory -----------------------------------------------------------------------------

HostObjectFactory::HostObjectFactory(DWORD formulaCalcKey, DWORD formulaSettingsKey)
    : mCalcKey(formulaCalcKey)
    , mSettingsKey(formulaSettingsKey)
{
}

HRESULT HostObjectFactory::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::kIid && iid != IObjectFactory::kIid)
        return E_NOINTERFACE;
    *out = static_cast<IObjectFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG HostObjectFactory::AddRef()
{
    return vx::com::AddRefCount(mRefCount);
}

ULONG HostObjectFactory::Release()
{
    ULONG count = 0;
    if (vx::com::ReleaseCount(mRefCount, count))
        delete this;
    return count;
}

HRESULT HostObjectFactory::CreateAggregated(IUnknown* outer, DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (classKey != mSettingsKey)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* settings = new HostFormulaSettings();
    const HRESULT hr = settings->QueryInterface(iid, out);
    settings->Release();
    return hr;
}

HRESULT HostObjectFactory::CreateInstance(DWORD classKey, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (classKey != mCalcKey)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* calc = new HostFormulaCalc(mCalcKey);
    const HRESULT hr = calc->QueryInterface(iid, out);
    calc->Release();
    return hr;
}

} // namespace vx::host
