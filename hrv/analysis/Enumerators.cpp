#include "hrv/analysis/Enumerators.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"
#include "hostframework/enumerators/SourceCursors.h"
#include "hrv/core/EventIdCache.h"
#include "hrv/core/UserEventData.h"
#include "log/Log.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>

namespace HRV {

namespace {

void SetParamsOf(FiducialParams& p, const std::shared_ptr<const FiducialContext>& context)
{
    if (context) {
        p.mMarks = context->marks;
        p.mNumbers = context->numbers;
    }
}
void SetParamsOf(SelectorParams&, const std::shared_ptr<const FiducialContext>&) { }

int32_t StartRecord(const FiducialParams& p)
{
    return p.mStartRecord;
}
int32_t StartOffset(const FiducialParams& p)
{
    return p.mStartOffset;
}
int32_t EndRecord(const FiducialParams& p)
{
    return p.mEndRecord;
}
int32_t EndOffset(const FiducialParams& p)
{
    return p.mEndOffset;
}
int32_t StartRecord(const SelectorParams&)
{
    return 0;
}
int32_t StartOffset(const SelectorParams&)
{
    return 0;
}
int32_t EndRecord(const SelectorParams&)
{
    return kEventEnd;
}
int32_t EndOffset(const SelectorParams&)
{
    return kEventEnd;
}

bool Unset(const FiducialEvent& e)
{
    uint64_t bits;
    std::memcpy(&bits, &e.mPeakValue, sizeof bits);
    return bits == 0x7FF8500000000000ull;
}
bool Unset(const SelectorEvent&)
{
    return false;
}

BSTR MakeBstr(const std::wstring& text)
{
    return SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}

} // namespace

template <class Algo> HRESULT CheckpointEnumerator<Algo>::SetParams(const wchar_t* text, DWORD* flags)
{
    if (!text)
        return E_POINTER;
    std::wstring copy(text);
    // Texts written by older versions carry a terminator character; it is not part of the numbers.
    copy.erase(std::remove(copy.begin(), copy.end(), L'\0'), copy.end());
    std::wistringstream in(copy);
    in.imbue(std::locale::classic());
    std::wstring word;
    long long sources = 0;
    in >> word >> sources;
    Params parsed;
    std::string error;
    if (in.fail()) {
        vx::log::WriteLine(mName + ": the parameter text has no function name and source count");
        return E_INVALIDARG;
    }
    if (!parsed.Read(in, error)) {
        vx::log::WriteLine(error);
        return E_INVALIDARG;
    }
    SetParamsOf(parsed, mContext);
    mParams = std::move(parsed);
    mHasParams = true;
    mCheckpoints.clear();
    mCurrent.reset();
    mHeld.reset();
    if (flags)
        *flags = 0x40000000;
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetParams(BSTR* text)
{
    if (!text)
        return E_POINTER;
    std::wostringstream out;
    out.imbue(std::locale::classic());
    mParams.Write(out);
    *text = MakeBstr(out.str());
    return S_OK;
}

template <class Algo> CheckpointEnumerator<Algo>* CheckpointEnumerator<Algo>::Copy() const
{
    auto* copy = new CheckpointEnumerator(mName, mContext, mClass, mStore);
    copy->mTimeBase = mTimeBase;
    copy->mParams = mParams;
    copy->mHasParams = mHasParams;
    copy->mInitialised = mInitialised;
    copy->mOnline = mOnline;
    copy->mRecord = mRecord;
    copy->mInterval = mInterval;
    copy->mPosition = mPosition;
    copy->mCheckpoints = mCheckpoints;
    copy->mCurrent = mCurrent;
    copy->mLastBeatBlock = mLastBeatBlock;
    copy->mHeld = mHeld;
    copy->mResume = mResume;
    copy->mOnlineEnd = mOnlineEnd;
    copy->mGrowing = mGrowing;
    copy->AddRef();
    return copy;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Clone(ICalcEnum** out)
{
    if (!out)
        return E_POINTER;
    *out = Copy();
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Clone(IEnumEventEx** out)
{
    if (!out)
        return E_POINTER;
    *out = Copy();
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::QueryInterface(REFIID iid, void** out)
{
    if (mOuter)
        return mOuter->QueryInterface(iid, out);
    return OwnQuery(iid, out);
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::OwnQuery(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (mOuter && iid == IUnknown::kIid) {
        *out = &mInner;
        mInner.AddRef();
        return S_OK;
    }
    if (iid == ICalcEnumUnit::kIid) {
        *out = static_cast<ICalcEnumUnit*>(this);
        AddRef();
        return S_OK;
    }
    return Base::QueryInterface(iid, out);
}

template <class Algo> IUnknown* CheckpointEnumerator<Algo>::Aggregate(IUnknown* outer)
{
    mOuter = outer;
    mInner.AddRef();
    return &mInner;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetUnit(IUnitName** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if constexpr (std::is_same_v<Algo, FiducialAlgorithm>) {
        auto* unit = new KEL::UnitEntry(KEL::String(L"s"), KEL::kPrefixNone);
        unit->AddRef();
        *out = unit;
        return S_OK;
    } else {
        return EEH3::SelectorUnit(out);
    }
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = 0;
    return mClass ? mClass->GetClassId(id) : S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetClassObject(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = mClass ? static_cast<ICalcEnumClass2*>(mClass) : nullptr;
    return mClass ? S_OK : E_NOTIMPL;
}

template <class Algo>
HRESULT CheckpointEnumerator<Algo>::Init(
    LONG record, ULONG count, IUnknown* const* sources, IUnitName* const*, double interval, DWORD flags)
{
    if (!mHasParams)
        return E_UNEXPECTED;
    mOnline = (flags & kCalcEnumSampling) != 0;
    mTimeBase = vx::hf::RateRatio();
    if (count > 0 && sources && sources[0]) {
        void* p = nullptr;
        if (SUCCEEDED(sources[0]->QueryInterface(IFloatStreamEx::kIid, &p)) && p) {
            static_cast<IFloatStreamEx*>(p)->GetTimeBase(&mTimeBase);
            static_cast<IFloatStreamEx*>(p)->Release();
        } else if (SUCCEEDED(sources[0]->QueryInterface(IEnumEventEx::kIid, &p)) && p) {
            static_cast<IEnumEventEx*>(p)->GetTimeBase(&mTimeBase);
            static_cast<IEnumEventEx*>(p)->Release();
        }
    }
    mRecord = record;
    mInterval = interval;
    // The document's objects as they are now: the user may have changed the marks since.
    if (mStore)
        SetParamsOf(mParams, ContextFromStore(mStore));
    std::string error;
    if (!mParams.OpenSources(sources, count, interval, record, error)) {
        vx::log::WriteLine(error);
        mInitialised = false;
        return E_INVALIDARG;
    }
    mCheckpoints.clear();
    const int32_t start = record == StartRecord(mParams) ? StartOffset(mParams) : 0;
    mCheckpoints.emplace(0, Algo::Initial(mParams, start));
    mCurrent.reset();
    mHeld.reset();
    mResume.reset();
    mOnlineEnd = -1;
    mGrowing = false;
    mLastBeatBlock = -1;
    mPosition = 0;
    mInitialised = true;
    if (mOnline) {
        mResume = mCheckpoints.begin()->second;
        RefreshOnline();
    }
    return S_OK;
}

template <class Algo> void CheckpointEnumerator<Algo>::RefreshOnline()
{
    if constexpr (requires(Params & p, bool& g) { Algo::SettledEnd(p, g); }) {
        if (!mOnline || !mInitialised)
            return;
        bool growing = false;
        const int32_t end = Algo::SettledEnd(mParams, growing);
        if (end == mOnlineEnd && growing == mGrowing)
            return;
        mOnlineEnd = end;
        mGrowing = growing;
        // The states kept carry the end of the data they were computed with.
        for (auto& [block, state] : mCheckpoints)
            state.mDataEnd = end;
        if (mResume)
            mResume->mDataEnd = end;
        ResumeOnline();
    }
}

template <class Algo> void CheckpointEnumerator<Algo>::ResumeOnline()
{
    mHeld.reset();
    if (mResume)
        mCurrent = mResume; // gives out its event again, which the position skips
    else
        mCurrent.reset();
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Seek(LONG position)
{
    mCurrent.reset();
    mHeld.reset();
    mResume.reset();
    position = std::max<LONG>(position, 0);
    if (mRecord == StartRecord(mParams))
        position = std::max<LONG>(position, StartOffset(mParams));
    mPosition = position;
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::ClearSources()
{
    mParams.ClearSources();
    mInitialised = false;
    return S_OK;
}

template <class Algo> int32_t CheckpointEnumerator<Algo>::RangeEnd() const
{
    if (mRecord > EndRecord(mParams) || mRecord < StartRecord(mParams))
        return 0;
    return mRecord == EndRecord(mParams) ? EndOffset(mParams) : kEventEnd;
}

template <class Algo> bool CheckpointEnumerator<Algo>::InRange(int32_t p) const
{
    if (mRecord == StartRecord(mParams) && p < StartOffset(mParams))
        return false;
    return p < RangeEnd();
}

template <class Algo> bool CheckpointEnumerator<Algo>::Produce(Event& event, int32_t end)
{
    if (mHeld) {
        if (mHeld->mPosition < end) {
            event = *mHeld;
            mHeld.reset();
            return true;
        }
        mPosition = end;
        return false;
    }
    if (!mCurrent) {
        // The highest checkpoint at or before the block of the position.
        auto it = mCheckpoints.upper_bound(mPosition / kCheckpointBlock);
        --it; // block 0 is always there
        mCurrent = it->second;
        mLastBeatBlock = it->first - 1;
    }
    State& st = *mCurrent;
    Event ev;
    for (;;) {
        if (st.mStopped || st.mNext == kEventEnd) {
            mPosition = kEventEnd;
            return false;
        }
        if (st.mNext >= end) {
            mPosition = std::max(mPosition, end);
            return false;
        }
        const State before = st;
        if (!Algo::Step(st, mParams, ev))
            continue;
        const int32_t block = ev.mPosition / kCheckpointBlock;
        // The state before this event yields every event from here on: it is the checkpoint of
        // each block that begins after the previous event and not after this one.
        for (int32_t b = mLastBeatBlock + 1; b <= block; ++b)
            mCheckpoints.try_emplace(b, before);
        mLastBeatBlock = std::max(mLastBeatBlock, block);
        if (ev.mPosition < mPosition || !InRange(ev.mPosition) || Unset(ev))
            continue;
        if (ev.mPosition >= end) {
            mHeld = ev;
            mPosition = end;
            return false;
        }
        if (mOnline)
            mResume = before;
        event = ev;
        return true;
    }
}

template <class Algo>
HRESULT CheckpointEnumerator<Algo>::Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next)
{
    if (!count || !next)
        return E_POINTER;
    *count = 0;
    // The host's buffers are whole multiples of the record size; a smaller one cannot take a record.
    if (!buffer || bufferBytes < Algo::kRecordSize) {
        vx::log::WriteLine(mName + ": the event buffer has no room for one record");
        return E_INVALIDARG;
    }
    if (!mInitialised)
        return E_UNEXPECTED;
    RefreshOnline();
    const ULONG capacity = bufferBytes / Algo::kRecordSize;
    int32_t end = endOffset < 0 ? kEventEnd : endOffset;
    const int32_t rangeEnd = RangeEnd();
    if (mPosition != kEventEnd && mPosition >= rangeEnd)
        mPosition = kEventEnd;
    auto* out = static_cast<std::byte*>(buffer);
    while (*count < capacity && mPosition != kEventEnd && mPosition < end) {
        Event ev;
        const int32_t at = mPosition;
        if (!Produce(ev, std::min(end, rangeEnd))) {
            if (mPosition == kEventEnd && GrowingOnline()) {
                // Not the end of the record: its data end here for now.
                mPosition = at;
                ResumeOnline();
                break;
            }
            if (mPosition != kEventEnd && mPosition >= rangeEnd)
                mPosition = kEventEnd;
            break;
        }
        std::memcpy(out + static_cast<std::size_t>(*count) * Algo::kRecordSize, &ev, Algo::kRecordSize);
        ++*count;
        mPosition = ev.mPosition + 1;
    }
    if (mPosition == kEventEnd) {
        *next = kEventEnd;
        return S_FALSE;
    }
    *next = std::min(mPosition, end);
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetPosition(LONG* position)
{
    if (!position)
        return E_POINTER;
    *position = mPosition;
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Find(LONG backward, LONG start, LONG lower, LONG upper)
{
    if (!mInitialised)
        return E_UNEXPECTED;
    RefreshOnline();
    mHeld.reset();
    mCurrent.reset();
    mResume.reset();
    if (backward && start == 0) {
        mPosition = lower;
        return S_FALSE;
    }
    if (upper == 0 || lower == upper) {
        mPosition = upper;
        return S_FALSE;
    }
    const int32_t s = std::min(std::max(start, lower), upper - 1);
    std::optional<Event> found;
    Event ev;
    if (!backward) {
        mPosition = s;
        if (Produce(ev, upper))
            found = ev;
    } else {
        // Block by block towards the record start, each block read up to s.
        for (int32_t blockStart = (s / kCheckpointBlock) * kCheckpointBlock;; blockStart -= kCheckpointBlock) {
            mCurrent.reset();
            mHeld.reset();
            mPosition = std::max(blockStart, lower);
            while (mPosition != kEventEnd && mPosition <= s && Produce(ev, s + 1)) {
                found = ev;
                mPosition = ev.mPosition + 1;
            }
            if (found || blockStart <= std::max(lower, 0))
                break;
        }
    }
    // Where the search itself left the position: a forward search that found nothing has read
    // up to its upper bound, a backward one up to s.
    const int32_t searched = mPosition;
    mCurrent.reset();
    mHeld.reset();
    if (found && found->mPosition >= 1 && found->mPosition >= lower && found->mPosition < upper) {
        mHeld = found;
        mPosition = found->mPosition;
        return S_OK;
    }
    // Nothing found: the position moves to s only when s lies further in the search direction
    // than where the search left it.
    mPosition = (backward ? s < searched : s > searched) ? s : searched;
    return S_FALSE;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Reserved6(LONG* result)
{
    if (result)
        *result = 0;
    return E_NOTIMPL;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::Reserved10(LONG* result)
{
    if (result)
        *result = 0;
    return E_NOTIMPL;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetFlags(DWORD query, DWORD* flags)
{
    if (!flags)
        return E_POINTER;
    *flags = query ? 0x40000000u : 0u;
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetEventKind(DWORD* kind)
{
    if (!kind)
        return E_POINTER;
    *kind = 0x801B0002u;
    return S_OK;
}

// The ICalcEnum and the IEnumEventEx slots answer alike.
template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetTimeBase(vx::hf::RateRatio* ratio)
{
    if (!ratio)
        return E_POINTER;
    *ratio = mInitialised ? mTimeBase : vx::hf::RateRatio();
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetRecordSize(ULONG* bytes)
{
    if (!bytes)
        return E_POINTER;
    *bytes = Algo::kRecordSize;
    return S_OK;
}

template <class Algo> HRESULT CheckpointEnumerator<Algo>::GetEventType(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = 0;
    if constexpr (std::is_same_v<Algo, FiducialAlgorithm>) {
        // The event type of a beat: the class id's type index with number 1.
        static const DWORD type = [] {
            DWORD classId = 0;
            FiducialEnumClass().GetClassId(&classId);
            return (classId & 0xFFFF0000u) | 1u;
        }();
        *id = type;
    }
    return S_OK;
}

template <class Algo> std::vector<int32_t> CheckpointEnumerator<Algo>::CheckpointBlocks() const
{
    std::vector<int32_t> blocks;
    for (const auto& [b, s] : mCheckpoints)
        blocks.push_back(b);
    return blocks;
}

template class CheckpointEnumerator<FiducialAlgorithm>;
template class CheckpointEnumerator<SelectorAlgorithm>;

// ---- class objects

EnumeratorClassObject::EnumeratorClassObject(Kind kind)
    : mKind(kind)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    if (kind == Kind::Fiducial)
        mParams = { { L"Signal", 0, 0, kCalcSourceSampled }, { L"Reference", 0, 0, kCalcSourceEvents },
            { L"Width[s]", 0.01, 10, 0 }, { L"Type", 0, 1, 0 }, { L"MinRR[s]", 0, 60, 0 }, { L"MaxRR[s]", 0, 60, 0 },
            { L"MinFF", 0, 10, 0 }, { L"MaxFF", 0, 10, 0 }, { L"LimitStartRecord", -1, kMax, 0 },
            { L"LimitStartOffset", -1, kMax, 0 }, { L"LimitEndRecord", -1, kMax, 0 },
            { L"LimitEndOffset", -1, kMax, 0 }, { L"ExcludeEctopic", 0, 1, 0 } };
    else
        mParams = { { L"Source", 0, 0, kCalcSourceEvents }, { L"Type", 0, 5, 0 }, { L"Interpolate", 0, 1, 0 } };
}

HRESULT EnumeratorClassObject::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::kIid || iid == ICAFClassObject::kIid || iid == ICalcEnumClass2::kIid)
        *out = static_cast<ICalcEnumClass2*>(this);
    else if (iid == ICalcNumericParamsFuncClass::kIid)
        *out = static_cast<ICalcNumericParamsFuncClass*>(this);
    else
        return E_NOINTERFACE;
    return S_OK;
}

HRESULT EnumeratorClassObject::GetClassId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    *id = (static_cast<DWORD>(mTypeIndex) << 16) | (mKind == Kind::Fiducial ? 0u : 2u);
    return S_OK;
}

HRESULT EnumeratorClassObject::GetName(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = MakeBstr(mKind == Kind::Fiducial ? L"HRVFiducialEnum" : L"HRVSelectorEnum");
    return S_OK;
}

HRESULT EnumeratorClassObject::GetNameString(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(mKind == Kind::Fiducial ? L"HRVFiducialEnum" : L"HRVSelectorEnum").CopyRep();
    return S_OK;
}

HRESULT EnumeratorClassObject::GetDescription(IKELString** out)
{
    if (!out)
        return E_POINTER;
    *out = KEL::String(mKind == Kind::Fiducial ? L"Detect fiducial points around a given reference event."
                                               : L"Selects a single HRV parameter")
               .CopyRep();
    return S_OK;
}

IUnknown* EnumeratorClassObject::Make(IUnknown* creator, IUnknown* outer)
{
    // The host creates the enumerators of a document's formulas with the document's data store.
    IDataChildStore* store = nullptr;
    if (creator && mKind == Kind::Fiducial) {
        void* p = nullptr;
        if (SUCCEEDED(creator->QueryInterface(IDataChildStore::kIid, &p)))
            store = static_cast<IDataChildStore*>(p);
    }
    const auto make = [&](auto* e) -> IUnknown* {
        if (outer)
            return e->Aggregate(outer);
        e->AddRef();
        return static_cast<ICalcEnum*>(e);
    };
    IUnknown* made = mKind == Kind::Fiducial ? make(new FiducialEnumerator("Fiducial", mContext, this, store))
                                             : make(new SelectorEnumerator("HRVSelector", mContext, this));
    if (store)
        store->Release(); // the enumerator holds its own
    return made;
}

HRESULT EnumeratorClassObject::CreateInstance(IUnknown* creator, ICalcEnum** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<ICalcEnum*>(Make(creator, nullptr));
    return S_OK;
}

HRESULT EnumeratorClassObject::CreateAggregated(IUnknown* outer, IUnknown* creator, IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = Make(creator, outer);
    return S_OK;
}

std::shared_ptr<const FiducialContext> ContextFromStore(IDataChildStore* store)
{
    auto context = std::make_shared<FiducialContext>();
    if (!store)
        return context;
    const auto fetch = [&](DWORD id, const IID& iid) -> void* {
        IVarnDataChildData* child = nullptr;
        void* p = nullptr;
        if (store->GetDataChild(id, &child) == S_OK && child) {
            child->QueryInterface(iid, &p);
            child->Release();
        }
        return p;
    };
    if (auto* marks = static_cast<IUserEventData*>(fetch(UserEventData::ChildDataId(), IUserEventData::kIid))) {
        context->marks = std::make_shared<UserEventMarks>(marks);
        marks->Release();
    }
    if (auto* cache = static_cast<IEventIdCache*>(fetch(EventIdCache::ChildDataId(), IEventIdCache::kIid))) {
        context->numbers = std::make_shared<BeatNumberCache>(cache);
        cache->Release();
    }
    return context;
}

HRESULT EnumeratorClassObject::GetFunctionName(DWORD index, BSTR* name)
{
    if (!name)
        return E_POINTER;
    if (index != 0)
        return E_INVALIDARG;
    *name = MakeBstr(mKind == Kind::Fiducial ? L"Fiducial" : L"HRVSelector");
    return S_OK;
}

HRESULT EnumeratorClassObject::GetFunctionInfo(DWORD index, BSTR* name, DWORD* classId, DWORD* paramCount)
{
    if (!name || !classId || !paramCount)
        return E_POINTER;
    if (index != 0)
        return E_INVALIDARG;
    GetFunctionName(0, name);
    GetClassId(classId);
    *paramCount = static_cast<DWORD>(mParams.size());
    return S_OK;
}

HRESULT EnumeratorClassObject::GetParamInfo(DWORD index, double* maximum, double* minimum, DWORD* flags, BSTR* name)
{
    if (!maximum || !minimum || !flags || !name)
        return E_POINTER;
    if (index >= mParams.size())
        return E_INVALIDARG;
    const PublishedParam& p = mParams[index];
    *maximum = p.maximum;
    *minimum = p.minimum;
    *flags = 0x40000000;
    *name = MakeBstr(p.name);
    return S_OK;
}

HRESULT EnumeratorClassObject::CheckSource(DWORD index, DWORD sourceFlags)
{
    if (index >= mParams.size() || mParams[index].sourceFlags == 0)
        return E_INVALIDARG;
    return (sourceFlags & mParams[index].sourceFlags) ? S_OK : S_FALSE;
}

EnumeratorClassObject& FiducialEnumClass()
{
    static EnumeratorClassObject object(EnumeratorClassObject::Kind::Fiducial);
    return object;
}

EnumeratorClassObject& SelectorEnumClass()
{
    static EnumeratorClassObject object(EnumeratorClassObject::Kind::Selector);
    return object;
}

HRESULT RegisterEnumeratorClasses(
    IHostClassObject* host, ITypeIdRegistry* types, std::shared_ptr<const FiducialContext> context)
{
    if (!host)
        return E_POINTER;
    WORD index = 0;
    if (types && FAILED(types->GetTypeIndex(GUID_HRVEnumObj, &index)))
        index = 0;
    for (EnumeratorClassObject* c : { &FiducialEnumClass(), &SelectorEnumClass() }) {
        c->SetTypeIndex(index);
        c->SetContext(context);
        const HRESULT hr = host->RegisterClassObject(static_cast<ICalcEnumClass2*>(c));
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

} // namespace HRV
