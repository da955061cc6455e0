#include "hostframework/calcglue/ChannelManager.h"

#include <algorithm>
#include <limits>
#include <locale>
#include <sstream>

#include "com/Ref.h"
#include "foundation/units/Prefix.h"
#include "hostframework/services/CafFrameWork.h"

namespace ExtLib {
namespace {

constexpr GUID kArithmeticCalcType = vx::com::MakeGuid("{88736FEF-F85F-4B09-862A-B4E59B348DE4}");
constexpr GUID kFormulaCalcType = vx::com::MakeGuid("{C3397303-5AAD-11D3-AB07-00A0CC40B4CE}");
constexpr GUID kViewRangeType = vx::com::MakeGuid("{C203FC30-7AAA-11D3-80B9-005004AD3C53}");

using vx::com::Query;
using vx::com::Ref;

std::wstring Wide(const KEL::String& s)
{
    return std::wstring(s.View());
}

// The calculation of the channel a reference names (null when it has none).
IChannelCalculation* CalculationOf(IUnknown* source, vx::hf::ChannelRef ref)
{
    const auto channels = Query<IChannelCollection>(source);
    if (!channels)
        return nullptr;
    Ref<IChannelObject> channel;
    if (FAILED(channels->GetChannelObject(ref, channel.Put())) || !channel)
        return nullptr;
    IChannelCalculation* calc = nullptr;
    if (FAILED(channel->GetCalculation(&calc)))
        return nullptr;
    return calc;
}

// A formula-settings object holding the formula; null when the factory or the settings refuse.
IUnknown* MakeFormulaSettings(
    IObjectFactory* factory, DWORD settingsKey, const KEL::String& formula, const KEL::String& second)
{
    if (!factory)
        return nullptr;
    IUnknown* settings = nullptr;
    if (FAILED(factory->CreateAggregated(
            nullptr, settingsKey, IFormulaSettingsObject::kIid, reinterpret_cast<void**>(&settings)))
        || !settings)
        return nullptr;
    const auto text = Query<IFormulaText>(settings);
    if (!text || FAILED(text->SetFormula(Wide(formula).c_str(), Wide(second).c_str(), 0))) {
        settings->Release();
        return nullptr;
    }
    return settings;
}

DWORD Key(const GUID& type, DWORD low)
{
    return (DWORD(HostTypeIndex(type)) << 16) | low;
}

} // namespace

DWORD ArithmeticCalcClassId()
{
    static const DWORD key = Key(kArithmeticCalcType, 0);
    return key;
}
DWORD FormulaCalcClassKey()
{
    static const DWORD key = Key(kFormulaCalcType, 0);
    return key;
}
DWORD FormulaSettingsClassKey()
{
    static const DWORD key = Key(kFormulaCalcType, 1);
    return key;
}
DWORD ViewRangeKey()
{
    static const DWORD key = Key(kViewRangeType, 2);
    return key;
}

bool CodeUnitLess::operator()(const KEL::String& a, const KEL::String& b) const
{
    const std::wstring_view x = a.View(), y = b.View();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
        [](wchar_t p, wchar_t q) { return static_cast<std::uint16_t>(p) < static_cast<std::uint16_t>(q); });
}

// --- ArithmeticChannelManager --------------------------------------------------------------------

ArithmeticChannelManager::~ArithmeticChannelManager()
{
    mChannels.clear();
    if (mSource)
        mSource->Release();
}

void ArithmeticChannelManager::SetChannelSource(IUnknown* source)
{
    if (source)
        source->AddRef();
    if (mSource)
        mSource->Release();
    mSource = source;
}

IObjectFactory* ArithmeticChannelManager::ObjectFactory()
{
    return KEL::GetObjectFactory();
}

bool ArithmeticChannelManager::FindChannel(const KEL::String& name, vx::hf::ChannelRef& ref)
{
    if (mChannels.find(name) == mChannels.end())
        return false;
    ref = vx::hf::kNoChannel;
    const auto names = Query<IChannelNames>(mSource);
    return names && SUCCEEDED(names->LookUp(0, Wide(name).c_str(), &ref));
}

bool ArithmeticChannelManager::AddChannel(
    const KEL::String& name, const KEL::String& formula, const KEL::String& second)
{
    vx::hf::ChannelRef ref;
    if (!FindChannel(name, ref)) {
        ref = vx::hf::kNoChannel;
        const auto names = Query<IChannelNames>(mSource);
        if (names) {
            IKELString* text = nullptr;
            if (FAILED(names->CreateNamedChannel(0, Wide(name).c_str(), &text, &ref)))
                ref = vx::hf::kNoChannel;
            if (text)
                text->Release();
        }
        // Only a channel the host made is remembered: a failed creation leaves the map alone,
        // so the name is not shadowed by the no-channel reference.
        if (ref.Known())
            mChannels[name] = ref;
    }
    if (!formula.View().empty())
        return ref.Known() && SetChannelFormula(ref, formula, second);
    return ref.Known();
}

bool ArithmeticChannelManager::SetChannelFormula(
    vx::hf::ChannelRef ref, const KEL::String& formula, const KEL::String& second)
{
    const auto channels = Query<IChannelCollection>(mSource);
    if (!channels)
        return false;
    auto calc = Ref<IChannelCalculation>::Adopt(CalculationOf(mSource, ref));
    DWORD classId = 0;
    if (!calc || FAILED(calc->GetClassId(&classId)) || classId != CalcClassKey()) {
        if (calc)
            calc->Detach();
        calc.Reset();
        IObjectFactory* factory = ObjectFactory();
        if (!factory)
            return false;
        Ref<INewCalculation> made;
        if (FAILED(factory->CreateInstance(CalcClassKey(), INewCalculation::kIid, reinterpret_cast<void**>(made.Put())))
            || !made)
            return false;
        if (FAILED(made->Attach(ref, channels.Get(), calc.Put())) || !calc)
            return false;
    }
    IUnknown* settings = MakeFormulaSettings(ObjectFactory(), SettingsClassKey(), formula, second);
    if (!settings)
        return false;
    const HRESULT hr = calc->SetSettings(settings, 65535);
    settings->Release();
    return SUCCEEDED(hr);
}

bool ArithmeticChannelManager::RemoveChannel(const KEL::String& name, bool clearFlag)
{
    vx::hf::ChannelRef ref;
    if (!FindChannel(name, ref))
        return true;
    if (auto calc = Ref<IChannelCalculation>::Adopt(CalculationOf(mSource, ref)); calc)
        calc->Detach();
    const auto names = Query<IChannelNames>(mSource);
    if (!names)
        return false;
    const std::wstring wide = Wide(name);
    WORD flag = 0;
    if (clearFlag && SUCCEEDED(names->GetNameFlag(0, wide.c_str(), &flag)) && flag)
        names->SetNameFlag(0, wide.c_str(), 0);
    if (FAILED(names->RemoveName(0, wide.c_str())))
        return false;
    mChannels.erase(name);
    return true;
}

// --- Utilities -----------------------------------------------------------------------------------

ULONG GetDocumentChannelCount(IRecordingDoc* document)
{
    if (!document)
        return 16;
    ULONG a = 16, b = 16, c = 16;
    if (FAILED(document->GetChannelCount(&a)))
        a = 16;
    if (FAILED(document->GetShownChannelCount(&b)))
        b = 16;
    if (FAILED(document->GetCalculatedChannelCount(0, &c)))
        c = 16;
    return std::max({ a, b, c });
}

bool GetChannelCalcOfClass(IUnknown* channelSource, ULONG channel, DWORD classId, IChannelCalc** out)
{
    if (!out)
        return false;
    *out = nullptr;
    auto calc = Ref<IChannelCalculation>::Adopt(CalculationOf(channelSource, { channel, 0 }));
    DWORD id = 0;
    if (!calc || FAILED(calc->GetClassId(&id)) || id != classId)
        return false;
    return SUCCEEDED(calc->GetChannelCalc(out)) && *out;
}

bool GetChannelValueRange(IRecordingDoc* document, ULONG channel, double& low, double& high)
{
    if (!document)
        return false;
    Ref<IUnknown> object;
    if (FAILED(document->GetChannelValues(object.Put())) || !object)
        return false;
    const auto values = Query<IChannelValues>(object.Get());
    if (!values)
        return false;
    vx::hf::ValueRange range { std::numeric_limits<double>::max(), -std::numeric_limits<double>::max() };
    // A range that cannot be read, or that comes back inverted (as the empty start value is),
    // is no range: it is never reported as one.
    if (FAILED(values->GetValueRange(0, channel, 2, &range)) || !(range.low <= range.high))
        return false;
    double scaling[2] = { 1.0, 0.0 };
    const bool read = SUCCEEDED(values->GetSetting(0x40001000u, 0, channel, scaling))
        || SUCCEEDED(values->GetSetting(0x40001000u, -2, channel, scaling));
    if (!read)
        return false;
    const double a = (range.low + scaling[1]) * scaling[0];
    const double b = (range.high + scaling[1]) * scaling[0];
    low = std::min(a, b); // a negative factor turns the range over
    high = std::max(a, b);
    return true;
}

bool GetChannelTextSetting(IChannelValues* values, ULONG channel, LONG record, UnitRecord& unit)
{
    if (!values)
        return false;
    UnitSetting setting;
    if (FAILED(values->GetSetting(0x40002000u, record, channel, &setting))
        && FAILED(values->GetSetting(0x40002000u, -2, channel, &setting)))
        return false;
    const KEL::String text(setting.text); // shares or copies
    if (setting.text)
        setting.text->Release();
    unit.text = std::wstring(text.View());
    unit.prefix = KEL::PrefixIndexFromChar(setting.prefix);
    return true;
}

bool CreateChannelCalculation(IUnknown* channelSource, IObjectFactory* factory, DWORD calcClassKey,
    DWORD settingsClassKey, const KEL::String& formula, const KEL::String& second, vx::hf::ChannelRef ref)
{
    if (!factory)
        factory = KEL::GetObjectFactory();
    IUnknown* settings = MakeFormulaSettings(factory, settingsClassKey, formula, second);
    if (!settings)
        return false;
    const auto heldSettings = Ref<IUnknown>::Adopt(settings);
    const auto channels = Query<IChannelCollection>(channelSource);
    if (!channels)
        return false;
    if (auto old = Ref<IChannelCalculation>::Adopt(CalculationOf(channelSource, ref)); old)
        old->Detach();
    Ref<INewCalculation> made;
    if (FAILED(factory->CreateInstance(calcClassKey, INewCalculation::kIid, reinterpret_cast<void**>(made.Put())))
        || !made)
        return false;
    Ref<IChannelCalculation> calc;
    if (FAILED(made->Attach(ref, channels.Get(), calc.Put())) || !calc)
        return false;
    return calc->SetSettings(settings, 65535) == S_OK;
}

namespace {
bool LinkCall(IUnknown* source, ULONG a, ULONG b, bool add)
{
    const auto names = Query<IChannelNames>(source);
    if (!names)
        return false;
    const vx::hf::ChannelRef key { b, 0xC0000000u };
    vx::hf::LinkItem item;
    item.channel = a;
    return SUCCEEDED(add ? names->AddLinkItem(0, key, &item) : names->RemoveLinkItem(0, key, &item));
}
} // namespace

bool AddChannelLink(IUnknown* channelSource, ULONG a, ULONG b)
{
    return LinkCall(channelSource, a, b, true);
}
bool RemoveChannelLink(IUnknown* channelSource, ULONG a, ULONG b)
{
    return LinkCall(channelSource, a, b, false);
}

bool HasChannelLink(IUnknown* channelSource, ULONG a, ULONG b)
{
    const auto names = Query<IChannelNames>(channelSource);
    if (!names)
        return false;
    const vx::hf::ChannelRef key { b, 0xC0000000u };
    ULONG count = 0;
    for (ULONG i = 0;; ++i) {
        vx::hf::LinkItem item {};
        if (FAILED(names->ReadLinkItem(0, key, i, &item, &count)) || i >= count)
            return false;
        if (item.channel == a && item.tag == 0x801D0001u)
            return true;
    }
}

KEL::String FormatChannelReference(IUnknown* channelSource, vx::hf::ChannelRef ref)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    switch (ref.kind & 0xFF) {
    case 1:
        out << L"RCh" << (static_cast<std::uint64_t>(ref.number) + 1);
        break;
    case 4: {
        const auto names = Query<IChannelNames>(channelSource);
        IKELString* text = nullptr;
        if (names && SUCCEEDED(names->NameOf(0, ref, &text)) && text) {
            const KEL::String name(text);
            text->Release();
            return name;
        }
        if (text)
            text->Release();
        break;
    }
    default:
        out << L"Ch" << (static_cast<std::uint64_t>(ref.number) + 1);
        break;
    }
    return KEL::String(out.str());
}

void ReadChannelSetup(IHostView* view, std::int32_t& startTick, vx::hf::DocPosition& start, vx::hf::DocPosition& end,
    double& step, DWORD rangeKey)
{
    startTick = 0;
    start = { 0, 0 };
    end = { 0, 0 };
    step = 1.0;
    if (!view)
        return;
    Ref<IUnknown> docObject;
    view->GetDocument(docObject.Put());
    const auto doc = Query<IDocumentTime>(docObject.Get());
    Ref<IUnknown> rangeObject;
    view->GetKeyedObject(rangeKey ? rangeKey : ViewRangeKey(), rangeObject.Put());
    const auto range = Query<IViewRange>(rangeObject.Get());
    Ref<IViewSelection> selection;
    view->GetSelection(selection.Put());

    std::int64_t startT = vx::hf::kNoTickPosition, endT = vx::hf::kNoTickPosition;
    bool usedSelection = false;
    WORD flag = 0;
    if (selection && SUCCEEDED(selection->GetFlag(&flag)) && flag && doc) {
        vx::hf::DocPosition a, b; // both start as not set
        selection->GetPositions(&a, &b);
        usedSelection = SUCCEEDED(doc->PositionsToTicks(&a, &b, &startT, &endT));
    } else if (range) {
        range->GetTicks(&startT, &endT);
    }
    if (!doc)
        return;
    if (doc->IsTickValid(startT) == S_OK && SUCCEEDED(doc->TickToPosition(startT, &start)))
        startTick = vx::hf::TickOffset(startT);
    else
        start = { 0, 0 };
    if (doc->IsTickValid(endT) != S_OK || FAILED(doc->TickToPosition(endT, &end))) {
        end = { 0, 0 };
        LONG count = 0;
        std::int64_t last = 0;
        if (SUCCEEDED(doc->GetRecordCount(&count)) && count > 0 && SUCCEEDED(doc->GetRecordEndTick(count - 1, &last))
            && doc->IsTickValid(last) == S_OK && SUCCEEDED(doc->TickToPosition(last, &end)))
            endT = last;
        else
            end = { 0, 0 };
    }
    if (usedSelection && !(end == start)) {
        double t0 = 0, t1 = 0;
        doc->GetTickTime(startT, &t0);
        doc->GetTickTime(endT, &t1);
        const double wanted = (t1 - t0) / 400.0;
        static constexpr double kSteps[] = { 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000 };
        step = 2000.0;
        for (double s : kSteps)
            if (s >= wanted) {
                step = s;
                break;
            }
        return;
    }
    double value = 1.0;
    if (range && SUCCEEDED(range->GetScale(&value)) && value >= -0.5)
        step = value;
    else
        step = 1.0;
}

} // namespace ExtLib
