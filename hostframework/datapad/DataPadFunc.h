#pragma once
// Bases of the extension's data-pad functions: the host's state that a function evaluates
// against (data access, channel set, range, position), the change flags since the last
// evaluation, and the result handed back as a VARIANT with an HRESULT. Nothing is thrown across
// the interfaces: every failure, including one raised inside a calculation, comes back as an
// HRESULT.
#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/datapad/DataPadInterfaces.h"

namespace KEL {
// Adds a second interface I2 to a base whose count serves both; IUnknown through I2 reaches the
// base's operations.
template <class Base, class I2> class MixinInterface1 : public Base, public I2 {
public:
    using Base::Base;
    HRESULT QueryInterface(REFIID iid, void** out) override
    {
        if (out && iid == I2::kIid) {
            *out = static_cast<I2*>(this);
            Base::AddRef();
            return S_OK;
        }
        return Base::QueryInterface(iid, out);
    }
    ULONG AddRef() override { return Base::AddRef(); }
    ULONG Release() override { return Base::Release(); }
};
} // namespace KEL

class DataPadFuncBase : public SimpleUnknownImp1<IDataPadFunction, 1> {
public:
    // Change flags.
    static constexpr DWORD kPositionChanged = 0x01;
    static constexpr DWORD kChannelsOrRangeChanged = 0x02;
    static constexpr DWORD kDataAccessChanged = 0x08;
    static constexpr DWORD kHostChanged = 0x10;
    static constexpr DWORD kAllChanged = 31;

    HRESULT GetKindText(DWORD kind, BSTR* text) override;
    HRESULT GetResult(VARIANT* result) override;
    HRESULT ClearResult() override;
    HRESULT GetFirstId(DWORD* id) override;
    HRESULT GetSecondId(DWORD* id) override;
    HRESULT GetClassObject(IDataPadFuncClass** out) override;

    DWORD ChangeFlags() const { return mChangeFlags; }
    LONG Channel() const { return mChannel; }
    HRESULT LastResult() const { return mLastResult; }

protected:
    // The class object is not counted here; the source (may be null) is held.
    DataPadFuncBase(IDataPadFuncClass* classObject, IUnknown* source, LONG channel);
    ~DataPadFuncBase() override;

    IDataPadFuncClass* mClassObject;
    DWORD mChangeFlags = kAllChanged;
    LONG mChannel;
    VARIANT mResult;
    HRESULT mLastResult = E_FAIL;
    IUnknown* mSource;
    std::uint16_t mAbort = 0;
};

class ChanValueFunc : public KEL::MixinInterface1<DataPadFuncBase, IKELDataFunction> {
public:
    // IDataPadFunction
    HRESULT GetChannelSetting(IUnknown** out) override;
    HRESULT GetRangeText(IKELString** text) override;
    HRESULT Evaluate(DWORD reason, LONG channel, VARIANT* result) override;
    HRESULT ReleaseSources() override;
    // Computes mResult for the current state; the concrete function supplies it. It may throw:
    // Evaluate turns an exception into its HRESULT.
    virtual HRESULT CalculateValue(VARIANT* result) = 0;
    // The result text: empty unless the calculation asked for a text (mTextFlag), then the data
    // access's text of the value for the channel.
    virtual HRESULT GetValueText(KEL::String& text);

    // IKELDataFunction
    HRESULT SetDataAccess(IDataAccess* access) override;
    HRESULT SetChannels(IKELBitset* channels) override;
    HRESULT SetRange(const vx::hf::SourceDescriptor* source, std::int64_t start, std::int64_t end) override;
    HRESULT SetPosition(const vx::hf::SourceDescriptor* source, std::int64_t position, LONG value) override;
    HRESULT GetValue(DWORD reason, std::int64_t channel, VARIANT* result) override;
    HRESULT SetAbort(BOOL abort) override;
    HRESULT Detach() override { return ReleaseSources(); }
    HRESULT Reserved17() override { return E_NOTIMPL; }
    HRESULT Reserved18() override { return E_NOTIMPL; }
    // One overrider serves the operation of the same name in both interfaces, so IKELDataFunction
    // reaches whatever a derived class overrides.
    HRESULT GetKindText(DWORD kind, BSTR* text) override { return DataPadFuncBase::GetKindText(kind, text); }
    HRESULT GetResult(VARIANT* result) override { return DataPadFuncBase::GetResult(result); }
    HRESULT ClearResult() override { return DataPadFuncBase::ClearResult(); }
    HRESULT GetFirstId(DWORD* id) override { return DataPadFuncBase::GetFirstId(id); }
    HRESULT GetSecondId(DWORD* id) override { return DataPadFuncBase::GetSecondId(id); }

    IDataAccess* DataAccess() const { return mDataAccess; }
    bool RangeSet() const { return mRangeSet; }
    bool PositionSet() const { return mPositionSet; }
    std::int64_t RangeStart() const { return mRangeStart; }
    std::int64_t RangeEnd() const { return mRangeEnd; }
    std::int64_t Position() const { return mPosition; }
    IKELBitset* Channels() const { return mChannels; }
    bool ChannelChanged() const { return mChannelChanged; }
    const KEL::String& ResultText() const { return mResultText; }

protected:
    ChanValueFunc(IDataPadFuncClass* classObject, IUnknown* source, LONG channel);
    ~ChanValueFunc() override;

    // Runs CalculateValue and stores its result; E_ABORT when aborted meanwhile.
    HRESULT RunEvaluation(DWORD reason, LONG channel, VARIANT* result);

    IDataAccess* mDataAccess = nullptr;
    vx::hf::SourceDescriptor mAccessSource, mRangeSource, mPositionSource;
    std::uint16_t mTextFlag = 0;
    LONG mTextValue = 0;
    std::int64_t mRangeStart = vx::hf::kNoTickPosition;
    std::int64_t mRangeEnd = vx::hf::kNoTickPosition;
    IKELBitset* mChannels;
    KEL::String mResultText;
    KEL::String mRangeText;
    std::int64_t mPosition = vx::hf::kNoTickPosition;
    LONG mPositionValue = 0;
    bool mRangeSet = false;
    bool mPositionSet = false;
    bool mChannelChanged = true;
};

// Evaluates only against the data access of the function's own document.
class ChanDataFuncIfRecordDataMatchesDoc : public ChanValueFunc {
public:
    HRESULT GetValue(DWORD reason, std::int64_t channel, VARIANT* result) override;

protected:
    using ChanValueFunc::ChanValueFunc;
    // Set by the derived class; compared, never called.
    IDataAccess* mDocumentDataAccess = nullptr;
};
