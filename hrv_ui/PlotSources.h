#pragma once
// The data sources of the HRV plots: float enumerators over the document's result vectors, which
// the plot control reads in blocks, with the name, count, range and unit the views and markup
// writers ask for, and a text label per point for click read-outs.
//
// A source keeps the document that owns its vector alive (a reference to its keeper), so a plot
// control that still holds a source after its view closed never reads freed memory; a source
// whose keeper has been closed (Detach) reads as empty.
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/units/IUnitName.h"
#include "hostframework/interfaces/PlotDataInterfaces.h"
#include "hrv/analysis/AnalysisEngine.h"

namespace HRV {

// Name, count, range and unit of a plot's data source.
struct IEtchEnumInfo : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{67ABF7A6-6A47-4718-A541-34FDFB024A92}");
    virtual HRESULT GetName(IKELString** name) = 0;
    virtual HRESULT GetCount(std::int64_t* count) = 0;
    // Minimum and maximum times the factor; S_FALSE for an empty source (the outputs are then
    // left as given, times the factor).
    virtual HRESULT GetRange(double* min, double* max) = 0;
    // S_FALSE when the source has no unit.
    virtual HRESULT GetUnit(IUnitName** unit) = 0;

protected:
    ~IEtchEnumInfo() = default;
};

// Whether the vectors a source reads are still there: shared by the document's views and every
// source they made; the view closes it when its document goes.
class SourceLifetime {
public:
    bool Alive() const noexcept { return mAlive; }
    void Close() noexcept { mAlive = false; }

private:
    bool mAlive = true;
};
using SourceLifetimePtr = std::shared_ptr<SourceLifetime>;

// The value of an element, and its label.
struct AccessDirect {
    static double Value(const double& v) { return v; }
};
struct AccessPoincareX {
    static double Value(const PoincarePoint& p) { return p.mPreviousRR; }
};
struct AccessPoincareY {
    static double Value(const PoincarePoint& p) { return p.mRR; }
};
struct AccessBeatX {
    static double Value(const BeatPoint& p) { return p.mRR; }
};
struct AccessBeatY {
    static double Value(const BeatPoint& p) { return p.mComplexity; }
};

template <class Element, class Accessor>
class WrapperEnum final : public SimpleUnknownImp1<IEnumFloatEx, 0>, public IEtchEnumInfo, public KEL::IEtchEnum {
public:
    WrapperEnum(KEL::String name, IUnitName* unit, const std::vector<Element>* data, double factor,
        SourceLifetimePtr lifetime, IUnknown* keeper);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return SimpleUnknownImp1::AddRef(); }
    ULONG Release() override { return SimpleUnknownImp1::Release(); }

    // IEnumFloatEx
    HRESULT Clone(IEnumFloatEx** out) override;
    HRESULT Skip(LONG count, LONG* skipped) override;
    HRESULT GetPosition(LONG* position) override;
    HRESULT GetSampledFlag(WORD* flag) override;
    HRESULT GetExtent(std::int64_t*) override { return E_NOTIMPL; }
    HRESULT Next(ULONG count, float* values, ULONG* fetched) override;
    // IEtchEnumInfo
    HRESULT GetName(IKELString** name) override;
    HRESULT GetCount(std::int64_t* count) override;
    HRESULT GetRange(double* min, double* max) override;
    HRESULT GetUnit(IUnitName** unit) override;
    // KEL::IEtchEnum
    HRESULT GetElementText(LONG index, KEL::String* text) override;

private:
    ~WrapperEnum() override;
    std::size_t Size() const;

    KEL::String mName;
    IUnitName* mUnit; // held, may be null
    const std::vector<Element>* mData;
    double mFactor;
    std::uint32_t mPosition = 0;
    SourceLifetimePtr mLifetime;
    IUnknown* mKeeper; // held, may be null
};

// A source over a vector of doubles, with a reference for the caller.
IEnumFloatEx* MakeSource(const KEL::String& name, const std::vector<double>* data, double factor, IUnitName* unit,
    SourceLifetimePtr lifetime, IUnknown* keeper);
// The x and y sources over a vector of points (Poincaré or classifier points).
template <class Point>
void MakeSourcePair(const KEL::String& xName, const KEL::String& yName, const std::vector<Point>* data, double xFactor,
    double yFactor, IUnitName* xUnit, IUnitName* yUnit, SourceLifetimePtr lifetime, IUnknown* keeper, IEnumFloatEx** x,
    IEnumFloatEx** y);

// The info interface of a source (with a reference), or null.
IEtchEnumInfo* InfoOf(IEnumFloatEx* source);

} // namespace HRV
