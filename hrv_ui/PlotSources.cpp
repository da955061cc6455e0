#include "hrv_ui/PlotSources.h"

#include <algorithm>
#include <sstream>

namespace HRV {

namespace {
template <class Element> std::wstring LabelOf(std::size_t, const Element& point)
{
    return std::to_wstring(point.mOffset) + L"\t" + std::to_wstring(point.mRecord);
}
template <> std::wstring LabelOf<double>(std::size_t index, const double& value)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << index << L'\t' << value;
    return out.str();
}
} // namespace

template <class Element, class Accessor>
WrapperEnum<Element, Accessor>::WrapperEnum(KEL::String name, IUnitName* unit, const std::vector<Element>* data,
    double factor, SourceLifetimePtr lifetime, IUnknown* keeper)
    : mName(std::move(name))
    , mUnit(unit)
    , mData(data)
    , mFactor(factor)
    , mLifetime(std::move(lifetime))
    , mKeeper(keeper)
{
    if (mUnit)
        mUnit->AddRef();
    if (mKeeper)
        mKeeper->AddRef();
}

template <class Element, class Accessor> WrapperEnum<Element, Accessor>::~WrapperEnum()
{
    if (mUnit)
        mUnit->Release();
    if (mKeeper)
        mKeeper->Release();
}

template <class Element, class Accessor> std::size_t WrapperEnum<Element, Accessor>::Size() const
{
    if (!mData || (mLifetime && !mLifetime->Alive()))
        return 0;
    return mData->size();
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IUnknown::kIid || iid == IEnumFloatEx::kIid)
        *out = static_cast<IEnumFloatEx*>(this);
    else if (iid == IEtchEnumInfo::kIid)
        *out = static_cast<IEtchEnumInfo*>(this);
    else if (iid == KEL::IEtchEnum::kIid)
        *out = static_cast<KEL::IEtchEnum*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::Clone(IEnumFloatEx** out)
{
    if (!out)
        return E_POINTER;
    auto* copy = new WrapperEnum(mName, mUnit, mData, mFactor, mLifetime, mKeeper);
    copy->mPosition = mPosition;
    copy->AddRef();
    *out = copy;
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::Skip(LONG count, LONG* skipped)
{
    const auto size = static_cast<std::int64_t>(Size());
    const std::int64_t old = mPosition;
    const std::int64_t target = std::clamp<std::int64_t>(old + count, 0, size);
    mPosition = static_cast<std::uint32_t>(target);
    const auto moved = static_cast<LONG>(target - old);
    if (skipped)
        *skipped = moved;
    return moved == count ? S_OK : S_FALSE;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetPosition(LONG* position)
{
    if (!position)
        return E_POINTER;
    *position = static_cast<LONG>(mPosition);
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetSampledFlag(WORD* flag)
{
    if (flag)
        *flag = 0;
    return S_FALSE;
}

template <class Element, class Accessor>
HRESULT WrapperEnum<Element, Accessor>::Next(ULONG count, float* values, ULONG* fetched)
{
    const std::size_t size = Size();
    std::size_t written = 0;
    if (values)
        for (std::size_t i = mPosition; i < size && written < count; ++i, ++written)
            values[written] = static_cast<float>(Accessor::Value((*mData)[i]) * mFactor);
    mPosition += static_cast<std::uint32_t>(written);
    if (fetched)
        *fetched = static_cast<ULONG>(written);
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetName(IKELString** name)
{
    if (!name)
        return E_POINTER;
    *name = mName.CopyRep();
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetCount(std::int64_t* count)
{
    if (!count)
        return E_FAIL;
    *count = static_cast<std::int64_t>(Size());
    return S_OK;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetRange(double* min, double* max)
{
    const std::size_t size = Size();
    if (size > 0) {
        double lo = Accessor::Value((*mData)[0]), hi = lo;
        for (std::size_t i = 1; i < size; ++i)
            if (Accessor::Value((*mData)[i]) < lo)
                lo = Accessor::Value((*mData)[i]);
        for (std::size_t i = 1; i < size; ++i)
            if (Accessor::Value((*mData)[i]) > hi)
                hi = Accessor::Value((*mData)[i]);
        if (min)
            *min = lo;
        if (max)
            *max = hi;
    }
    if (min)
        *min *= mFactor;
    if (max)
        *max *= mFactor;
    return size > 0 ? S_OK : S_FALSE;
}

template <class Element, class Accessor> HRESULT WrapperEnum<Element, Accessor>::GetUnit(IUnitName** unit)
{
    if (!unit)
        return E_POINTER;
    *unit = mUnit;
    if (!mUnit)
        return S_FALSE;
    mUnit->AddRef();
    return S_OK;
}

template <class Element, class Accessor>
HRESULT WrapperEnum<Element, Accessor>::GetElementText(LONG index, KEL::String* text)
{
    if (!text)
        return E_POINTER;
    if (index >= 0 && static_cast<std::size_t>(index) < Size())
        *text
            = KEL::String(LabelOf<Element>(static_cast<std::size_t>(index), (*mData)[static_cast<std::size_t>(index)]));
    else
        *text = KEL::String();
    return S_OK;
}

template class WrapperEnum<double, AccessDirect>;
template class WrapperEnum<PoincarePoint, AccessPoincareX>;
template class WrapperEnum<PoincarePoint, AccessPoincareY>;
template class WrapperEnum<BeatPoint, AccessBeatX>;
template class WrapperEnum<BeatPoint, AccessBeatY>;

IEnumFloatEx* MakeSource(const KEL::String& name, const std::vector<double>* data, double factor, IUnitName* unit,
    SourceLifetimePtr lifetime, IUnknown* keeper)
{
    auto* source = new WrapperEnum<double, AccessDirect>(name, unit, data, factor, std::move(lifetime), keeper);
    source->AddRef();
    return source;
}

namespace {
template <class Point> struct PointAccess;
template <> struct PointAccess<PoincarePoint> {
    using X = AccessPoincareX;
    using Y = AccessPoincareY;
};
template <> struct PointAccess<BeatPoint> {
    using X = AccessBeatX;
    using Y = AccessBeatY;
};
} // namespace

template <class Point>
void MakeSourcePair(const KEL::String& xName, const KEL::String& yName, const std::vector<Point>* data, double xFactor,
    double yFactor, IUnitName* xUnit, IUnitName* yUnit, SourceLifetimePtr lifetime, IUnknown* keeper, IEnumFloatEx** x,
    IEnumFloatEx** y)
{
    auto* xs = new WrapperEnum<Point, typename PointAccess<Point>::X>(xName, xUnit, data, xFactor, lifetime, keeper);
    auto* ys = new WrapperEnum<Point, typename PointAccess<Point>::Y>(yName, yUnit, data, yFactor, lifetime, keeper);
    xs->AddRef();
    ys->AddRef();
    *x = xs;
    *y = ys;
}

template void MakeSourcePair<PoincarePoint>(const KEL::String&, const KEL::String&, const std::vector<PoincarePoint>*,
    double, double, IUnitName*, IUnitName*, SourceLifetimePtr, IUnknown*, IEnumFloatEx**, IEnumFloatEx**);
template void MakeSourcePair<BeatPoint>(const KEL::String&, const KEL::String&, const std::vector<BeatPoint>*, double,
    double, IUnitName*, IUnitName*, SourceLifetimePtr, IUnknown*, IEnumFloatEx**, IEnumFloatEx**);

IEtchEnumInfo* InfoOf(IEnumFloatEx* source)
{
    void* out = nullptr;
    if (!source || FAILED(source->QueryInterface(IEtchEnumInfo::kIid, &out)))
        return nullptr;
    return static_cast<IEtchEnumInfo*>(out);
}

} // namespace HRV
