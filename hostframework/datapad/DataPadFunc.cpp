#include "hostframework/datapad/DataPadFunc.h"

#include <new>

#include "foundation/XKEL.h"
#include "foundation/base/ExceptionBoundary.h"

namespace {

bool SameSource(const vx::hf::SourceDescriptor& a, const vx::hf::SourceDescriptor& b)
{
    return a.code == b.code && a.word == b.word;
}

} // namespace

// --- DataPadFuncBase -----------------------------------------------------------------------------

DataPadFuncBase::DataPadFuncBase(IDataPadFuncClass* classObject, IUnknown* source, LONG channel)
    : mClassObject(classObject)
    , mChannel(channel)
    , mSource(source)
{
    VariantInit(&mResult);
    if (mSource)
        mSource->AddRef();
}

DataPadFuncBase::~DataPadFuncBase()
{
    if (mSource)
        mSource->Release();
    VariantClear(&mResult);
}

HRESULT DataPadFuncBase::GetKindText(DWORD kind, BSTR* text)
{
    if (!text)
        return E_POINTER;
    *text = nullptr;
    return mClassObject ? mClassObject->GetKindText(kind, text) : E_FAIL;
}

HRESULT DataPadFuncBase::GetResult(VARIANT* result)
{
    if (!result)
        return E_POINTER;
    const HRESULT hr = VariantCopy(result, &mResult);
    return FAILED(hr) ? hr : mLastResult;
}

HRESULT DataPadFuncBase::ClearResult()
{
    return VariantClear(&mResult);
}

HRESULT DataPadFuncBase::GetFirstId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    DWORD second = 0;
    *id = 0;
    return mClassObject ? mClassObject->GetIds(id, &second) : E_FAIL;
}

HRESULT DataPadFuncBase::GetSecondId(DWORD* id)
{
    if (!id)
        return E_POINTER;
    DWORD first = 0;
    *id = 0;
    return mClassObject ? mClassObject->GetIds(&first, id) : E_FAIL;
}

HRESULT DataPadFuncBase::GetClassObject(IDataPadFuncClass** out)
{
    if (!out)
        return E_POINTER;
    *out = mClassObject;
    if (mClassObject)
        mClassObject->AddRef();
    return mClassObject ? S_OK : E_FAIL;
}

// --- ChanValueFunc -------------------------------------------------------------------------------

ChanValueFunc::ChanValueFunc(IDataPadFuncClass* classObject, IUnknown* source, LONG channel)
    : KEL::MixinInterface1<DataPadFuncBase, IKELDataFunction>(classObject, source, channel)
    , mChannels(new KEL::BitsetRep(2))
{
    mChannels->AddRef();
}

ChanValueFunc::~ChanValueFunc()
{
    mResultText = KEL::String();
    mRangeText = KEL::String();
    mChannels->Release();
    if (mDataAccess)
        mDataAccess->Release();
}

HRESULT ChanValueFunc::GetChannelSetting(IUnknown** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    vx::hf::SourceDescriptor description;
    const bool described = mClassObject && SUCCEEDED(mClassObject->GetSourceDescription(&description));
    if (mChannel >= 0 && described && (description.word & 0x20000000u) && mDataAccess) {
        const HRESULT hr = mDataAccess->GetChannelSetting(0x40000000u, mChannel, 0, out);
        return FAILED(hr) ? hr : S_OK;
    }
    return S_FALSE;
}

HRESULT ChanValueFunc::GetRangeText(IKELString** text)
{
    if (!text)
        return E_POINTER;
    if (!mRangeSet) {
        *text = nullptr;
        return S_FALSE;
    }
    *text = mRangeText.CopyRep();
    return S_OK;
}

HRESULT ChanValueFunc::Evaluate(DWORD reason, LONG channel, VARIANT* result)
{
    return RunEvaluation(reason, channel, result);
}

HRESULT ChanValueFunc::RunEvaluation(DWORD reason, LONG channel, VARIANT* result)
{
    VariantClear(&mResult);
    mAbort = 0;
    switch (reason) {
    case 0:
        mChangeFlags |= kAllChanged;
        break;
    case 1:
        mChangeFlags |= kChannelsOrRangeChanged;
        break;
    case 2:
        mChangeFlags |= kPositionChanged;
        break;
    case 8:
        mChangeFlags |= kDataAccessChanged;
        break;
    case 16:
        mChangeFlags |= kHostChanged;
        break;
    default:
        break;
    }
    if (channel != mChannel)
        mChannelChanged = true;
    mChannel = channel;
    if (!mDataAccess) {
        mAbort = 0;
        return E_FAIL;
    }
    // A calculation that throws fails like one that returns its failure.
    HRESULT hr = vx::hf::Guarded("a data-pad function's calculation", [&] { return CalculateValue(&mResult); });
    mLastResult = hr;
    if (result) {
        const HRESULT copied = VariantCopy(result, &mResult);
        if (FAILED(copied)) {
            // The caller gets the failure as its VARIANT and as the result, never as an exception.
            result->vt = VT_ERROR;
            result->scode = copied;
            mTextFlag = 0;
            mChangeFlags = 0;
            mAbort = 0;
            mLastResult = copied;
            return copied;
        }
    }
    mTextFlag = 0;
    mChangeFlags = 0;
    if (mAbort) {
        hr = E_ABORT;
        mLastResult = hr;
    }
    mAbort = 0;
    return hr;
}

HRESULT ChanValueFunc::GetValueText(KEL::String& text)
{
    if (!mTextFlag) {
        mResultText.Clear();
        text = mResultText;
        return S_OK;
    }
    if (!mDataAccess)
        return E_FAIL;
    BSTR value = nullptr;
    const HRESULT hr = mDataAccess->GetText(0xC0002000u, mTextValue, mChannel, &value);
    if (FAILED(hr)) {
        if (value)
            SysFreeString(value);
        return hr;
    }
    mResultText = KEL::String::TakeBSTR(value);
    text = mResultText;
    return S_OK;
}

HRESULT ChanValueFunc::ReleaseSources()
{
    if (mSource) {
        IUnknown* s = mSource;
        mSource = nullptr;
        s->Release();
    }
    if (mDataAccess) {
        IDataAccess* a = mDataAccess;
        mDataAccess = nullptr;
        a->Release();
    }
    return S_OK;
}

HRESULT ChanValueFunc::SetDataAccess(IDataAccess* access)
{
    if (access == mDataAccess)
        return S_OK;
    mChangeFlags |= kDataAccessChanged;
    if (access)
        access->AddRef();
    if (mDataAccess)
        mDataAccess->Release();
    mDataAccess = access;
    mAccessSource = vx::hf::SourceDescriptor {};
    if (access && FAILED(access->GetSourceDescriptor(0, &mAccessSource)))
        mAccessSource = vx::hf::SourceDescriptor {};
    return S_OK;
}

HRESULT ChanValueFunc::SetChannels(IKELBitset* channels)
try {
    // Compared by value: the same bits in another object are no change.
    if (KEL::Bitset(channels) == KEL::Bitset(mChannels))
        return S_OK;
    mChangeFlags |= kChannelsOrRangeChanged;
    IKELBitset* held = nullptr;
    if (channels && channels->Kind() == KEL::BitsetRep::kKind)
        held = channels;
    else
        held = KEL::BitsetRep::Clone(channels);
    held->AddRef();
    mChannels->Release();
    mChannels = held;
    return S_OK;
} catch (...) {
    // The copy of a set could not be made; the held one stays.
    return vx::hf::HResultOfCurrentException("ChanValueFunc::SetChannels");
}

HRESULT ChanValueFunc::SetRange(const vx::hf::SourceDescriptor* source, std::int64_t start, std::int64_t end)
{
    if (!source)
        return E_POINTER;
    if (SameSource(*source, mRangeSource) && start == mRangeStart && end == mRangeEnd)
        return S_OK;
    mChangeFlags |= kChannelsOrRangeChanged;
    mRangeSource = *source;
    mRangeStart = start;
    mRangeEnd = end;
    mRangeSet = vx::hf::TickRecord(start) != 0x7FFFFFFF && vx::hf::TickRecord(end) != 0x7FFFFFFF;
    return S_OK;
}

HRESULT ChanValueFunc::SetPosition(const vx::hf::SourceDescriptor* source, std::int64_t position, LONG value)
{
    if (!source)
        return E_POINTER;
    if (SameSource(*source, mPositionSource) && position == mPosition && value == mPositionValue)
        return S_OK;
    mChangeFlags |= kPositionChanged;
    mPositionSource = *source;
    mPosition = position;
    mPositionValue = value;
    mPositionSet = vx::hf::TickRecord(position) != 0x7FFFFFFF;
    return S_OK;
}

HRESULT ChanValueFunc::GetValue(DWORD, std::int64_t, VARIANT* result)
{
    VariantClear(&mResult);
    if (result)
        VariantCopy(result, &mResult);
    mLastResult = E_FAIL;
    return E_FAIL;
}

HRESULT ChanValueFunc::SetAbort(BOOL abort)
{
    mAbort = abort ? 0xFFFF : 0;
    return S_OK;
}

HRESULT ChanDataFuncIfRecordDataMatchesDoc::GetValue(DWORD reason, std::int64_t channel, VARIANT* result)
{
    VariantClear(&mResult);
    mAbort = 0;
    if (mDataAccess && mDataAccess == mDocumentDataAccess)
        return Evaluate(reason, static_cast<LONG>(channel), result);
    return ChanValueFunc::GetValue(reason, channel, result);
}
