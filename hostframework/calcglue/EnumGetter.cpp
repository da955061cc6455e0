#include "hostframework/calcglue/EnumGetter.h"

#include <algorithm>
#include <cwctype>
#include <limits>
#include <locale>
#include <sstream>

#include "foundation/base/ExceptionBoundary.h"
#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"
#include "hostframework/services/CafFrameWork.h"

namespace ExtLib {
namespace {

// Interfaces asked of a calculation's host site and inner object (held without a count).
constexpr IID kHostSiteIid = vx::com::MakeGuid("{AD6CD303-7868-4A12-B4AE-97C02EE8F5E3}");
constexpr IID kInnerCalcIid = vx::com::MakeGuid("{4021A447-7899-11D4-8110-00A0C9E26433}");
constexpr GUID kViewRangeType = vx::com::MakeGuid("{C203FC30-7AAA-11D3-80B9-005004AD3C53}");

// Reads the current position of a stream or event source (the host expects the read).
void TouchPosition(IUnknown* data)
{
    LONG p = 0;
    IFloatStreamEx* stream = nullptr;
    if (SUCCEEDED(data->QueryInterface(IFloatStreamEx::kIid, reinterpret_cast<void**>(&stream))) && stream) {
        stream->GetPosition(&p);
        stream->Release();
        return;
    }
    IEnumEventEx* events = nullptr;
    if (SUCCEEDED(data->QueryInterface(IEnumEventEx::kIid, reinterpret_cast<void**>(&events))) && events) {
        events->GetPosition(&p);
        events->Release();
    }
}

} // namespace

EnumGetterBase::EnumGetterBase(IRecordingDoc* document)
    : mDocument(document)
{
    if (mDocument)
        mDocument->AddRef();
}

EnumGetterBase::~EnumGetterBase()
{
    if (mRegistered && mDocument) {
        IOnlineRegistry* registry = nullptr;
        if (SUCCEEDED(mDocument->QueryInterface(IOnlineRegistry::kIid, reinterpret_cast<void**>(&registry)))
            && registry) {
            registry->RemoveSink(this);
            registry->Release();
        }
    }
    if (mSourcesSet)
        StopAndRelease();
    if (mEnumerator)
        mEnumerator->Release();
    mSources.clear();
    mSourceData.RemoveRange(0, mSourceData.Count());
    if (mDocument)
        mDocument->Release();
}

void EnumGetterBase::ParseChannelReferences(const KEL::String& expression, std::vector<SourceEntry>& out)
{
    out.clear();
    const std::wstring_view text = expression.View();
    const std::size_t n = text.size();
    std::size_t from = 0;
    for (;;) {
        const std::size_t c = text.find(L'c', from);
        if (c == std::wstring_view::npos || n - c < 3)
            break;
        from = c + 1;
        SourceEntry entry;
        entry.r = c > 0 && text[c - 1] == L'r';
        entry.v = c > 0 && text[c - 1] == L'v';
        if (text[c + 1] != L'h')
            continue;
        std::size_t at = c + 2;
        if (n - c >= 8 && text.substr(at, 5) == L"annel")
            at += 5;
        if (at >= n || !std::iswdigit(static_cast<wint_t>(text[at])))
            continue;
        std::wistringstream in { std::wstring(text.substr(at)) };
        in.imbue(std::locale::classic());
        long long number = 0;
        // Numbers from 1: "ch0" and a number that does not fit name no channel, and are skipped
        // like any other reference that does not parse.
        if (!(in >> number) || number < 1 || number > 0x7FFFFFFF)
            continue;
        entry.channel = static_cast<std::uint32_t>(number - 1);
        out.push_back(entry);
    }
    // Later duplicates go; the first of each stays where it is.
    std::vector<SourceEntry> unique;
    for (const SourceEntry& e : out)
        if (std::find(unique.begin(), unique.end(), e) == unique.end())
            unique.push_back(e);
    out.swap(unique);
}

IObjectFactory* EnumGetterBase::ObjectFactory()
{
    return KEL::GetObjectFactory();
}

bool EnumGetterBase::CreateEnum(DWORD classId, const KEL::String& expression)
{
    std::wstring lower(expression.View());
    for (wchar_t& ch : lower)
        ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(ch)));
    ParseChannelReferences(KEL::String(lower), mSources);
    IObjectFactory* factory = ObjectFactory();
    if (!factory)
        return false;
    IEnumCreator* creator = nullptr;
    if (FAILED(factory->CreateInstance(classId, IEnumCreator::kIid, reinterpret_cast<void**>(&creator))) || !creator)
        return false;
    if (mEnumerator) {
        mEnumerator->Release();
        mEnumerator = nullptr;
    }
    ICalcEnum* enumerator = nullptr;
    const HRESULT hr = creator->CreateEnumerator(mDocument, &enumerator);
    creator->Release();
    if (!enumerator || hr != S_OK) {
        if (enumerator)
            enumerator->Release();
        return false;
    }
    mEnumerator = enumerator;
    DWORD flags = 0;
    return mEnumerator->SetParams(std::wstring(expression.View()).c_str(), &flags) == S_OK;
}

bool EnumGetterBase::GetSourceData(
    IRecordingDoc* document, IUnknown** data, std::uint32_t channel, std::int64_t position, DWORD kind)
{
    if (!data)
        return false;
    *data = nullptr;
    if (!document)
        return false;
    const LONG record = vx::hf::TickRecord(position);
    const LONG offset = vx::hf::TickOffset(position);
    IUnknown* object = nullptr;
    if (FAILED(document->GetSourceObject(kind, record, channel, &object)) || !object)
        return false;
    ISourceData* source = nullptr;
    const HRESULT q = object->QueryInterface(ISourceData::kIid, reinterpret_cast<void**>(&source));
    object->Release();
    if (FAILED(q) || !source)
        return false;
    IUnknown* stream = nullptr;
    const HRESULT hr = source->GetStream(kind, offset, 0x7FFFFFFF, 0, &stream);
    source->Release();
    if (!stream || hr != S_OK) {
        if (stream)
            stream->Release();
        return false;
    }
    TouchPosition(stream);
    *data = stream;
    return true;
}

bool EnumGetterBase::SetSources(std::int64_t position, bool, double value)
{
    if (mSourcesSet || !mDocument || !mEnumerator)
        return false;
    const LONG record = vx::hf::TickRecord(position);
    const LONG offset = vx::hf::TickOffset(position);
    // Everything is gathered into local arrays first, so a failure leaves the getter as it was.
    std::vector<IUnknown*> data; // one reference each
    const auto releaseData = [&data] {
        for (IUnknown* p : data)
            p->Release();
        data.clear();
    };
    std::vector<DWORD> kinds;
    for (const SourceEntry& s : mSources) {
        const DWORD kind = s.v ? 4u : s.r ? 1u : 0x40000000u;
        kinds.push_back(kind);
        IUnknown* object = nullptr;
        if (!GetSourceData(mDocument, &object, s.channel, position, kind + 0x1000)) {
            if (FAILED(mDocument->GetDataObject(kind + 0x1000, s.channel, position, 0x7FFFFFFF, 0, &object))
                || !object) {
                if (object)
                    object->Release();
                releaseData();
                return false;
            }
            TouchPosition(object);
        }
        data.push_back(object);
    }
    for (std::size_t i = 0; i < mSources.size(); ++i) {
        double scratch = 0.0;
        if (i == 0)
            mDocument->GetSampleInterval(kinds[i], record, mSources[i].channel, &value);
        else
            mDocument->GetSampleInterval(0, record, mSources[i].channel, &scratch);
    }
    InterfaceArray<IUnitName> units; // capacity 8, growing by half
    std::vector<IUnitName*> unitList;
    for (std::size_t i = 0; i < mSources.size(); ++i) {
        units.Add(new KEL::UnitEntry(KEL::String(L"V"), KEL::kPrefixNone));
        unitList.push_back(units[static_cast<std::uint32_t>(i)]);
    }
    // The start mode: whether the record grows is the host's to say, not the getter's.
    const DWORD mode = (mKindMode == 0 || mKindMode == 2) ? 0xC0000000u : 0u;
    const HRESULT hr
        = mEnumerator->Init(record, static_cast<ULONG>(data.size()), data.data(), unitList.data(), value, mode);
    if (FAILED(hr)) {
        releaseData();
        return false;
    }
    mEnumerator->Seek(offset);
    mSourceData.RemoveRange(0, mSourceData.Count());
    for (IUnknown* p : data)
        mSourceData.Add(p);
    releaseData();
    mSourcesSet = true;
    return true;
}

bool EnumGetterBase::RegisterAsSink()
{
    if (mRegistered)
        return true;
    if (!mDocument)
        return false;
    IOnlineRegistry* registry = nullptr;
    if (FAILED(mDocument->QueryInterface(IOnlineRegistry::kIid, reinterpret_cast<void**>(&registry))) || !registry)
        return false;
    mRegistered = SUCCEEDED(registry->AddSink(this));
    registry->Release();
    return mRegistered;
}

void EnumGetterBase::EndOnlineReading()
{
    if (!mRegistered)
        return;
    if (mSourcesSet)
        StopAndRelease();
    if (mDocument) {
        IOnlineRegistry* registry = nullptr;
        if (SUCCEEDED(mDocument->QueryInterface(IOnlineRegistry::kIid, reinterpret_cast<void**>(&registry)))
            && registry) {
            registry->RemoveSink(this);
            registry->Release();
        }
    }
    mRegistered = false;
}

void EnumGetterBase::ReleaseSources()
{
    if (mSourcesSet)
        StopAndRelease();
}

void EnumGetterBase::SetCallback(std::function<void()> callback)
{
    mHasCallback = static_cast<bool>(callback);
    mCallback = std::move(callback);
}

HRESULT EnumGetterBase::MaySamplingStart(IUnknown** context, WORD* verdict)
{
    if (context)
        *context = nullptr;
    if (verdict)
        *verdict = 65535;
    return S_OK;
}

HRESULT EnumGetterBase::GetValue13(DWORD* value)
{
    if (value)
        *value = 0;
    return S_OK;
}

HRESULT EnumGetterBase::GetValue14(DWORD, DWORD, DWORD, DWORD* value)
{
    if (value)
        *value = 100;
    return S_OK;
}

void EnumGetterBase::StopAndRelease()
{
    if (mEnumerator)
        mEnumerator->ClearSources();
    mSourceData.RemoveRange(0, mSourceData.Count());
    mSourcesSet = false;
}

HRESULT EnumGetterBase::OnSamplingStopped()
{
    // The host calls this through the interface: nothing may escape from here. An unset callback
    // is simply not called; one that throws still lets the sources go.
    HRESULT hr = S_OK;
    if (mHasCallback && mCallback)
        hr = vx::hf::Guarded("EnumGetterBase::OnSamplingStopped", [&] { mCallback(); });
    if (mSourcesSet)
        StopAndRelease();
    return hr;
}

// --- EventEnumDataGetter -------------------------------------------------------------------------

namespace {
IRecordingDoc* DocumentOf(IUnknown* recordData)
{
    IRecordingDoc* document = nullptr;
    if (!recordData || FAILED(recordData->QueryInterface(IRecordingDoc::kIid, reinterpret_cast<void**>(&document))))
        return nullptr;
    document->Release(); // the base takes its own reference; the record data keeps the document
    return document;
}
} // namespace

EventEnumDataGetter::EventEnumDataGetter(IUnknown* recordData)
    : EnumGetterBase(DocumentOf(recordData))
{
    if (recordData && FAILED(recordData->QueryInterface(IHostRecordData::kIid, reinterpret_cast<void**>(&mRecordData))))
        mRecordData = nullptr;
}

EventEnumDataGetter::~EventEnumDataGetter()
{
    if (mRecordData)
        mRecordData->Release();
}

double EventEnumDataGetter::RecordStartTime(LONG record) const
{
    double start = -1.0;
    if (mRecordData)
        mRecordData->GetRecordStartTime(0, record, &start);
    return start;
}

bool EventEnumDataGetter::SetSourcesAt(LONG record, LONG tick)
{
    return SetSources(vx::hf::MakeTickPosition(record, tick), false, 0.0);
}

IEnumEventEx* EventEnumDataGetter::Events() const
{
    IEnumEventEx* events = nullptr;
    if (!Enumerator() || FAILED(Enumerator()->QueryInterface(IEnumEventEx::kIid, reinterpret_cast<void**>(&events))))
        return nullptr;
    return events;
}

} // namespace ExtLib

// --- ChannelCalcBase -----------------------------------------------------------------------------

ChannelCalcBase::ChannelCalcBase(
    IUnknown* hostObject, std::uintptr_t value, ULONG channel, IObjectFactory* factory, DWORD innerKey)
    : mHostObject(hostObject)
    , mValue(value)
    , mChannel(channel)
    , mRangeLow(std::numeric_limits<float>::infinity())
    , mRangeHigh(-std::numeric_limits<float>::infinity())
{
    if (mHostObject) {
        ICalcHostObject* host = nullptr;
        if (SUCCEEDED(mHostObject->QueryInterface(ICalcHostObject::kIid, reinterpret_cast<void**>(&host))) && host) {
            if (SUCCEEDED(host->GetSite(&mHostSite)) && mHostSite) {
                if (SUCCEEDED(
                        mHostSite->QueryInterface(ExtLib::kHostSiteIid, reinterpret_cast<void**>(&mHostSiteInterface)))
                    && mHostSiteInterface)
                    mHostSiteInterface->Release(); // kept without a count: the site holds it
            }
            host->Release();
        }
    }
    if (!factory)
        factory = KEL::GetObjectFactory();
    if (!innerKey)
        innerKey = (DWORD(HostTypeIndex(ExtLib::kViewRangeType)) << 16) | 17;
    if (factory
        && SUCCEEDED(factory->CreateAggregated(
            static_cast<IChannelCalc*>(this), innerKey, IUnknown::kIid, reinterpret_cast<void**>(&mInner)))
        && mInner) {
        if (SUCCEEDED(mInner->QueryInterface(ExtLib::kInnerCalcIid, reinterpret_cast<void**>(&mInnerCalc)))
            && mInnerCalc)
            mInnerCalc->Release(); // not counted: the inner object lives as long as we hold it
    }
}

ChannelCalcBase::~ChannelCalcBase()
{
    if (mHeld)
        mHeld->Release();
    if (mInner)
        mInner->Release();
    if (mHostSite)
        mHostSite->Release();
}

HRESULT ChannelCalcBase::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == IChannelCalc::kIid) {
        *out = static_cast<IChannelCalc*>(this);
        AddRef();
        return S_OK;
    }
    if (!mInner)
        return E_NOINTERFACE;
    return FAILED(mInner->QueryInterface(iid, out)) ? E_NOINTERFACE : S_OK;
}

HRESULT ChannelCalcBase::GetExtra(IUnknown** out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}
