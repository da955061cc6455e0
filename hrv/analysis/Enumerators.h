#pragma once
// The extension's calculation enumerators "HRVFiducialEnum" (formula function "Fiducial") and
// "HRVSelectorEnum" ("HRVSelector"), and their class objects. Both share one engine: an event
// enumerator that keeps checkpoints of its running state every 100000 samples of a record, so
// that the host can ask for any stretch of any record in any order without running the
// detection from the record's start again.
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hostframework/interfaces/DataChild.h"
#include "hrv/analysis/Fiducial.h"
#include "hrv/analysis/Selector.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace HRV {

inline constexpr GUID GUID_HRVEnumObj = vx::com::MakeGuid("{DCF2F97C-4F1B-491A-B0A1-9D089AC03CDC}");
constexpr int32_t kCheckpointBlock = 100000;

// What the document gives the fiducial enumerators it owns: the user's beat marks and the
// beat-number cache. Both may be null (no marks; numbers restart in each record).
struct FiducialContext {
    std::shared_ptr<const IBeatMarks> marks;
    std::shared_ptr<BeatNumberCache> numbers;
};

class EnumeratorClassObject;

template <class Algo>
class CheckpointEnumerator final : public SimpleUnknownImp2<ICalcEnum, IEnumEventEx, 0>, public ICalcEnumUnit {
    using Base = SimpleUnknownImp2<ICalcEnum, IEnumEventEx, 0>;

public:
    using Params = typename Algo::Params;
    using State = typename Algo::State;
    using Event = typename Algo::Event;

    // `store`, when given, is the document's data store (held), from which Init fetches the
    // user's beat marks and the beat-number cache.
    CheckpointEnumerator(std::string name, std::shared_ptr<const FiducialContext> context,
        EnumeratorClassObject* classObject = nullptr, IDataChildStore* store = nullptr)
        : mName(std::move(name))
        , mContext(std::move(context))
        , mClass(classObject)
        , mStore(store)
    {
        if (mStore)
            mStore->AddRef();
    }
    ~CheckpointEnumerator() override
    {
        if (mStore)
            mStore->Release();
    }

    // Aggregated by an outer object, every interface but the inner unknown delegates to it.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return mOuter ? mOuter->AddRef() : Base::AddRef(); }
    ULONG Release() override { return mOuter ? mOuter->Release() : Base::Release(); }
    // Makes this enumerator a part of `outer` (not held); the inner unknown to hand the outer,
    // with one reference.
    IUnknown* Aggregate(IUnknown* outer);

    // ICalcEnumUnit: "s" for the fiducial enumerator (beat times), "?" for the selector.
    HRESULT GetUnit(IUnitName** out) override;

    // ICalcEnum
    HRESULT GetClassId(DWORD* id) override;
    HRESULT GetClassObject(IUnknown** classObject) override;
    HRESULT SetParams(const wchar_t* text, DWORD* flags) override;
    HRESULT GetParams(BSTR* text) override;
    HRESULT Clone(ICalcEnum** out) override;
    HRESULT Init(LONG record, ULONG sourceCount, IUnknown* const* sources, IUnitName* const* units,
        double sampleInterval, DWORD mode) override;
    HRESULT Seek(LONG position) override;
    HRESULT ClearSources() override;
    // 0x40000000 for a non-zero query: the enumerator hands out events.
    HRESULT GetFlags(DWORD query, DWORD* flags) override;
    // 0x801B0002.
    HRESULT GetEventKind(DWORD* kind) override;

    // IEnumEventEx
    HRESULT Next(ULONG bufferBytes, LONG endOffset, void* buffer, ULONG* count, LONG* next) override;
    HRESULT Find(LONG backward, LONG start, LONG lower, LONG upper) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT Reserved6(LONG* result) override;
    HRESULT Clone(IEnumEventEx** out) override;
    HRESULT GetRecordSize(ULONG* bytes) override;
    HRESULT GetEventType(DWORD* type) override;
    HRESULT Reserved10(LONG* result) override;
    HRESULT GetTimeBase(vx::hf::RateRatio* ratio) override;

    // Diagnostics for tests: the blocks of the record that hold a checkpoint.
    std::vector<int32_t> CheckpointBlocks() const;

private:
    // The next taken event at or after mPosition and before end; false when there is none before
    // end (mPosition then is end, or kEventEnd at the end of the record).
    bool Produce(Event& event, int32_t end);
    bool InRange(int32_t position) const;
    int32_t RangeEnd() const;

    CheckpointEnumerator* Copy() const;

    // While the record is being sampled (Init's sampling bit): the detection uses only data that
    // have settled, and goes on from the state before the last event it gave out when more data
    // arrive, so that what it gives out while the record grows is what it gives afterwards.
    void RefreshOnline();
    void ResumeOnline();
    bool GrowingOnline() const { return mOnline && mGrowing; }

    // The non-delegating unknown of an aggregated enumerator.
    struct Inner final : IUnknown {
        explicit Inner(CheckpointEnumerator* self)
            : self(self)
        {
        }
        HRESULT QueryInterface(REFIID iid, void** out) override { return self->OwnQuery(iid, out); }
        ULONG AddRef() override { return self->Base::AddRef(); }
        ULONG Release() override { return self->Base::Release(); }
        CheckpointEnumerator* self;
    };
    HRESULT OwnQuery(REFIID iid, void** out);

    IUnknown* mOuter = nullptr;
    Inner mInner { this };
    std::string mName;
    std::shared_ptr<const FiducialContext> mContext;
    EnumeratorClassObject* mClass;
    IDataChildStore* mStore;
    vx::hf::RateRatio mTimeBase;
    Params mParams;
    bool mHasParams = false;
    bool mInitialised = false;
    bool mOnline = false;
    int32_t mRecord = 0;
    double mInterval = 0.0;
    int32_t mPosition = 0;
    std::map<int32_t, State> mCheckpoints; // by block
    std::optional<State> mCurrent;
    int32_t mLastBeatBlock = -1;
    std::optional<Event> mHeld;
    std::optional<State> mResume; // online: the state before the last event given out
    int32_t mOnlineEnd = -1;
    bool mGrowing = false;
};

using FiducialEnumerator = CheckpointEnumerator<FiducialAlgorithm>;
using SelectorEnumerator = CheckpointEnumerator<SelectorAlgorithm>;

// Published description of one parameter.
struct PublishedParam {
    const wchar_t* name;
    double minimum;
    double maximum;
    DWORD sourceFlags; // 0 for a number
};

// The class object of an enumerator kind; static for the life of the module (AddRef and Release
// answer 1).
class EnumeratorClassObject final : public ICalcEnumClass2, public ICalcNumericParamsFuncClass {
public:
    enum class Kind { Fiducial, Selector };
    explicit EnumeratorClassObject(Kind kind);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetClassId(DWORD* id) override;
    HRESULT GetName(BSTR* name) override;
    HRESULT GetNameString(IKELString** out) override;
    HRESULT GetDescription(IKELString** out) override;
    HRESULT CreateInstance(IUnknown* creator, ICalcEnum** out) override;
    HRESULT CreateAggregated(IUnknown* outer, IUnknown* creator, IUnknown** out) override;

    HRESULT GetFunctionName(DWORD index, BSTR* name) override;
    HRESULT GetFunctionInfo(DWORD index, BSTR* name, DWORD* classId, DWORD* paramCount) override;
    HRESULT GetParamInfo(DWORD index, double* maximum, double* minimum, DWORD* flags, BSTR* name) override;
    HRESULT CheckSource(DWORD index, DWORD sourceFlags) override;

    // The host's type index of GUID_HRVEnumObj, which makes the class id; set at registration.
    void SetTypeIndex(WORD index) { mTypeIndex = index; }
    void SetContext(std::shared_ptr<const FiducialContext> context) { mContext = std::move(context); }
    const std::vector<PublishedParam>& Params() const { return mParams; }

private:
    // A new enumerator of the kind (no reference yet), or its inner unknown aggregated by outer.
    IUnknown* Make(IUnknown* creator, IUnknown* outer);

    Kind mKind;
    WORD mTypeIndex = 0;
    std::vector<PublishedParam> mParams;
    std::shared_ptr<const FiducialContext> mContext;
};

EnumeratorClassObject& FiducialEnumClass();
EnumeratorClassObject& SelectorEnumClass();

// The document's objects of the fiducial enumerators, fetched from its data store by their
// data-child ids: the user's beat marks and the beat-number cache (each null when the store has
// none).
std::shared_ptr<const FiducialContext> ContextFromStore(IDataChildStore* store);

// Registers "HRVFiducialEnum" and then "HRVSelectorEnum" with the host; the type registry, when
// given, supplies the type index of the class ids. S_OK or the first failure.
HRESULT RegisterEnumeratorClasses(
    IHostClassObject* host, ITypeIdRegistry* types, std::shared_ptr<const FiducialContext> context = {});

} // namespace HRV
