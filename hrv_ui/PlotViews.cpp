#include "hrv_ui/PlotViews.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>

#include "foundation/units/Prefix.h"
#include "foundation/units/UnitEntry.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/document/Document.h"
#include "log/Log.h"
#include "ui/Timer.h"
#include "ui/Window.h"
#include "webview/WebView.h"

namespace HRV {

namespace {

constexpr GUID kCopyCommandType = vx::com::MakeGuid("{62B62191-A1AD-4304-A362-A926FFAF0819}");
constexpr GUID kHostFrameInterface = vx::com::MakeGuid("{864B2DE1-3F7F-11D1-9981-00C0DF492697}");

void Log(const std::string& line)
{
    vx::log::WriteLine("KELBOOTLOG: " + line);
}

double SteadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

KEL::ScaleRangePair Pair(double min, double max)
{
    return { max, min };
}

template <class T> void ReleaseInto(T*& p)
{
    if (p)
        p->Release();
    p = nullptr;
}

} // namespace

// Passes the plot control's notifications to the view.
class PlotViewBase::Observer final : public SimpleUnknownImp1<IObserver, 1> {
public:
    explicit Observer(PlotViewBase* view)
        : mView(view)
    {
    }
    void Detach() { mView = nullptr; }
    HRESULT OnAttach(ISubject*) override { return S_OK; }
    HRESULT OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value) override
    {
        if (!mView || (eventId >> 16) != (KEL::EtchNotificationId(KEL::kCompileMarkup) >> 16))
            return S_OK;
        mView->OnPlotNotice(static_cast<KEL::EtchNotificationKind>(eventId & 0xFFFF),
            reinterpret_cast<const void*>(static_cast<std::uintptr_t>(value)));
        return S_OK;
    }

private:
    PlotViewBase* mView;
};

DWORD PlotViewBase::CopyCommandId()
{
    static const DWORD id = DWORD(HostTypeIndex(kCopyCommandType)) << 16;
    return id;
}

static IUnknown* QuerySite(IViewSite* site, const GUID& iid)
{
    void* out = nullptr;
    if (!site || FAILED(site->QueryInterface(iid, &out)))
        return nullptr;
    return static_cast<IUnknown*>(out);
}

// The host object the plot control asks for the registrar of plot state: the host's frame
// interface, or the site itself when the site offers none (its host then answers with the shared
// registrar).
static IUnknown* HostFrameOf(IViewSite* site)
{
    if (IUnknown* frame = QuerySite(site, kHostFrameInterface))
        return frame;
    if (site)
        site->AddRef();
    return site;
}

PlotViewBase::PlotViewBase(
    WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module, std::wstring plotName)
    : HRVViewBase(parent, viewClass, view, site, module, std::move(plotName))
    , mHostFrame(HostFrameOf(site))
    , mControl(mHostFrame)
    , mLifetime(std::make_shared<SourceLifetime>())
    , mClock(SteadySeconds)
{
    if (IUnknown* found = QuerySite(site, IHRVDocument::kIid)) {
        mDocument = dynamic_cast<Document*>(static_cast<IHRVDocument*>(found));
        if (!mDocument)
            found->Release(); // another object answering the document's interface
    }
}

PlotViewBase::~PlotViewBase()
{
    Destroy();
    if (mDocument)
        static_cast<IHRVDocument*>(mDocument)->Release();
    if (mHostFrame)
        mHostFrame->Release();
}

void PlotViewBase::Destroy()
{
    if (mObserver) {
        mControl.Detach(mObserver);
        mObserver->Detach();
        mObserver->Release();
        mObserver = nullptr;
    }
    if (Handle())
        vx::ui::KillTimer(Handle(), kThrottleTimer);
    HRVViewBase::Destroy();
}

IUnknown* PlotViewBase::Keeper() const
{
    return mDocument ? static_cast<IHRVDocument*>(mDocument) : nullptr;
}

double PlotViewBase::FactorOfPrefix(std::uint32_t prefixIndex) const
{
    return KEL::PrefixScaleFromChar(KEL::PrefixCharFromIndex(prefixIndex));
}

bool PlotViewBase::HostState() const
{
    return DocumentAlive() && mDocument->HostServices()->IsBusy();
}

bool PlotViewBase::DocumentAlive() const
{
    return mDocument && mDocument->HostServices();
}

PlotContext PlotViewBase::Context() const
{
    return DocumentAlive() ? ContextOf(*mDocument, HostState()) : PlotContext {};
}

bool PlotViewBase::Create()
{
    if (!HRVViewBase::Create())
        return false;
    if (!mControl.Create(Handle()))
        Log("the plot view's control could not be made");
    mObserver = new Observer(this);
    mControl.Attach(mObserver);
    mControl.SetPlotId(KEL::String(PlotId()));
    std::uint32_t flags = 0;
    if (mRefreshLatch == 0) {
        FlagsForChange(HostState() ? 0 : 6, flags);
        Refresh(flags);
    }
    mRefreshLatch = 0xFFFF;
    return true;
}

vx::ui::LRESULT PlotViewBase::WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam)
{
    if (message == vx::ui::WM_SIZE) {
        vx::ui::Rect client;
        vx::ui::GetClientRect(Handle(), &client);
        if (mControl.GetHandle())
            vx::ui::MoveWindow(mControl.GetHandle(), 0, 0, client.Width(), client.Height(), true);
        if (mControl.GetWebView())
            webview_set_size(mControl.GetWebView(), client.Width(), client.Height(), WEBVIEW_HINT_NONE);
        return 0;
    }
    if (message == vx::ui::WM_TIMER && wParam == kThrottleTimer) {
        FlushThrottledMarkup();
        return 0;
    }
    return HRVViewBase::WindowProc(message, wParam, lParam);
}

void PlotViewBase::FlagsForChange(DWORD kind, std::uint32_t& flags)
{
    switch (kind) {
    case 0:
        flags |= 0x26;
        mLastMarkupTime.reset();
        mThrottle = true;
        break;
    case 1:
        flags |= 0x40;
        break;
    case 2:
        flags |= 0x40;
        mThrottle = false;
        break;
    case 3:
        flags |= 0x30;
        break;
    case 4:
        flags |= 0x31;
        break;
    case 5:
        flags |= 0x21;
        break;
    case 6:
        flags |= 0x25;
        break;
    default:
        break;
    }
}

void PlotViewBase::Refresh(std::uint32_t flags)
{
    if (!DocumentAlive()) {
        // The document is closed: nothing of it may be read again.
        mLifetime->Close();
        ReleaseSources();
        mControl.ClearDataSources();
        return;
    }
    if (flags & (kRefreshSources | kRefreshSourcesIfAny)) {
        ReleaseSources();
        BuildSources();
        if ((flags & kRefreshSources) || !SourcesEmpty())
            RegisterSources(true);
        else
            mControl.ClearDataSources();
    }
    if (flags & kRefreshDataChanged)
        mControl.PlotterDataChanged(KEL::String(PlotId()), DataChangedMode() == 2 ? 0x7FFFFFFF : 0);
    StoreRanges(flags);
    if ((flags & kRefreshMarkup) && SourcesExist())
        SetMarkupThrottled(Markup());
}

void PlotViewBase::StoreRanges(std::uint32_t flags)
{
    if (!(flags & (kRefreshRangesIfUnset | kRefreshRangesAlways | kRefreshApplyRanges)))
        return;
    KEL::EtchPersistTask* task = mControl.GetPersistTask();
    for (std::uint32_t bit : { kRefreshRangesIfUnset, kRefreshRangesAlways, kRefreshApplyRanges }) {
        if (!(flags & bit))
            continue;
        if (!task) {
            Log("EtchWvControl::SetScaleRanges: No persist task");
            continue;
        }
        const PlotRanges r = Ranges();
        const KEL::ScaleRangePair x = Pair(r.xMin, r.xMax), y = Pair(r.yMin, r.yMax);
        if (bit == kRefreshApplyRanges) {
            task->SetPersistedScaleRanges(x, y, true, false);
            continue;
        }
        const bool always = bit == kRefreshRangesAlways;
        if (!KEL::IsScaleRangeEmpty(x) && (always || KEL::IsScaleRangeEmpty(task->XRange())))
            task->StoreXRange(x);
        if (!KEL::IsScaleRangeEmpty(y) && (always || KEL::IsScaleRangeEmpty(task->YRange())))
            task->StoreYRange(y);
    }
}

void PlotViewBase::SetMarkupThrottled(const std::wstring& markup)
{
    if (!mThrottle) {
        mPending.reset();
        mControl.SetMarkup(KEL::String(markup));
        return;
    }
    const double now = mClock();
    if (!mLastMarkupTime || now - *mLastMarkupTime >= MinRefreshInterval()) {
        mLastMarkupTime = now;
        mPending.reset();
        mControl.SetMarkup(KEL::String(markup));
        return;
    }
    // Kept, not dropped: the latest markup goes out when the interval ends.
    mPending = markup;
    if (Handle()) {
        const double wait = MinRefreshInterval() - (now - *mLastMarkupTime);
        vx::ui::SetTimer(Handle(), kThrottleTimer, static_cast<UINT>(std::ceil(std::max(wait, 0.0) * 1000.0)) + 1);
    }
}

void PlotViewBase::FlushThrottledMarkup()
{
    if (!mPending) {
        if (Handle())
            vx::ui::KillTimer(Handle(), kThrottleTimer);
        return;
    }
    const double now = mClock();
    if (mLastMarkupTime && now - *mLastMarkupTime < MinRefreshInterval())
        return; // the timer comes again
    if (Handle())
        vx::ui::KillTimer(Handle(), kThrottleTimer);
    mLastMarkupTime = now;
    const std::wstring markup = std::move(*mPending);
    mPending.reset();
    mControl.SetMarkup(KEL::String(markup));
}

void PlotViewBase::EnablePlotCopy(ICommandEnabler*& enabler)
{
    enabler->Enable(0xFFFF);
}

void PlotViewBase::CopyPlot()
{
    const bool ok
        = mControl.GetWebView() && mControl.ExecJavaScript(KEL::String(L"etch.get_plot('local').copy('copy');"));
    Log("ExecJavaScript err: " + std::to_string(ok ? 0 : -2));
}

void PlotViewBase::PrintPlot()
{
    // The page printed under the view's title ("HRV Tachogram Plot").
    mControl.Print(KEL::String(L"HRV " + PlotName()));
}

HRESULT PlotViewBase::OnAnalysisChanging()
{
    if (mRefreshLatch != 0) {
        mRefreshLatch = 0xFFFF;
        return S_OK;
    }
    std::uint32_t flags = 0;
    FlagsForChange(mMessageFlags, flags);
    Refresh(flags);
    mRefreshLatch = 0xFFFF;
    return S_OK;
}

HRESULT PlotViewBase::OnAnalysisChanged()
{
    Refresh(kRefreshMarkup);
    return S_OK;
}

HRESULT PlotViewBase::OnRecordingChanged()
{
    Refresh(kRefreshMarkup);
    return S_OK;
}

void PlotViewBase::OnPlotNotice(KEL::EtchNotificationKind, const void*) { }

namespace {
using Rows = EventRows<PlotViewBase>;
const DWORD* CopyId()
{
    static const DWORD id = PlotViewBase::CopyCommandId();
    return &id;
}
const DWORD* ChangingId()
{
    static const DWORD id = Document::MsgIdAnalysisChanging();
    return &id;
}
const DWORD* ChangedId()
{
    static const DWORD id = Document::MsgIdAnalysisChanged();
    return &id;
}
const EventTableEntry kPlotRows[] = {
    Rows::Header(),
    Rows::Message<&PlotViewBase::OnAccepted>(EventIdOf(PlotViewBase::kMsgAccepted)),
    Rows::Enable<&PlotViewBase::EnablePlotCopy>(EventIdOf(&CopyId)),
    Rows::Command<&PlotViewBase::CopyPlot>(EventIdOf(&CopyId)),
    Rows::Command<&PlotViewBase::PrintPlot>(EventIdOf(PlotViewBase::kCmdPlotPrint)),
    Rows::Command<&PlotViewBase::AnswerOne>(EventIdOf(PlotViewBase::kCmdAnswerOne)),
    Rows::Command<&PlotViewBase::ResetRefreshLatch>(EventIdOf(PlotViewBase::kCmdResetLatch)),
    Rows::Message<&PlotViewBase::OnAnalysisChanging>(EventIdOf(&ChangingId)),
    Rows::Message<&PlotViewBase::OnAnalysisChanged>(EventIdOf(&ChangedId)),
    Rows::Message<&PlotViewBase::OnRecordingChanged>(EventIdOf(&RecordingEventId<8>::Get)),
    Rows::End(),
};
} // namespace

const EventTable& PlotViewBase::GetEventTable()
{
    static const EventTable table(kPlotRows);
    return table;
}

const EventTableEntry* PlotViewBase::FindEntry(const EventTrigger& trigger, void** object)
{
    if (const EventTableEntry* row = FindInTable(this, trigger, object))
        return row;
    return HRVViewBase::FindEntry(trigger, object);
}

void PlotViewBase::ForEachEntry(TableEntryAction& action)
{
    ForEachInTable(this, action);
    HRVViewBase::ForEachEntry(action);
}

// ---- YT

HRVViewBaseYT::~HRVViewBaseYT()
{
    ReleaseSources();
}

void HRVViewBaseYT::ReleaseSources()
{
    ReleaseInto(mInfo);
    ReleaseInto(mSource);
}

void HRVViewBaseYT::BuildSources()
{
    auto* unit = new KEL::UnitEntry(KEL::String(UnitText()), UnitPrefix());
    unit->AddRef();
    mSource = MakeSource(KEL::String(DataId()), DataVector(), YScaleFactor(), unit, Lifetime(), Keeper());
    unit->Release();
    mInfo = InfoOf(mSource);
}

void HRVViewBaseYT::RegisterSources(bool)
{
    Control().SetEnumSource(KEL::String(DataId()), mSource);
    Control().RegisterClickablePlot(KEL::String(DataId()), KEL::String(), KEL::String(PlotId()), 0);
}

bool HRVViewBaseYT::SourcesEmpty() const
{
    std::int64_t n = 0;
    return !mInfo || FAILED(mInfo->GetCount(&n)) || n <= 0;
}

// ---- XY

HRVViewBaseXY::~HRVViewBaseXY()
{
    ReleaseSources();
}

void HRVViewBaseXY::ReleaseSources()
{
    ReleaseInto(mYInfo);
    ReleaseInto(mXInfo);
    ReleaseInto(mY);
    ReleaseInto(mX);
}

void HRVViewBaseXY::BuildSources()
{
    auto* xUnit = new KEL::UnitEntry(KEL::String(XUnitText()), XUnitPrefix());
    auto* yUnit = new KEL::UnitEntry(KEL::String(YUnitText()), YUnitPrefix());
    xUnit->AddRef();
    yUnit->AddRef();
    MakePointSources(FactorOfPrefix(XUnitPrefix()), FactorOfPrefix(YUnitPrefix()), xUnit, yUnit, &mX, &mY);
    xUnit->Release();
    yUnit->Release();
    mXInfo = InfoOf(mX);
    mYInfo = InfoOf(mY);
}

void HRVViewBaseXY::RegisterSources(bool)
{
    Control().SetEnumSource(KEL::String(XDataId()), mX);
    Control().SetEnumSource(KEL::String(YDataId()), mY);
    Control().RegisterClickablePlot(KEL::String(YDataId()), KEL::String(XDataId()), KEL::String(PlotId()), 1);
}

bool HRVViewBaseXY::SourcesEmpty() const
{
    std::int64_t x = 0, y = 0;
    return !mXInfo || !mYInfo || FAILED(mXInfo->GetCount(&x)) || FAILED(mYInfo->GetCount(&y)) || x <= 0 || y <= 0;
}

void HRVViewBaseXY::OnPlotClick(const std::wstring&, const std::wstring& label)
{
    std::wistringstream in(label);
    long long position = 0x7FFFFFFF, record = 0x7FFFFFFF;
    in >> position >> record;
    if (record == 0x7FFFFFFF || !in || !DocumentAlive())
        return;
    Position p;
    p.mRecord = static_cast<std::int32_t>(record);
    p.mOffset = static_cast<std::int32_t>(position);
    mDocument->ShowBeatComment(p);
}

void HRVViewBaseXY::OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload)
{
    if (kind == KEL::kMouseClick && payload) {
        const auto* click = static_cast<const KEL::EtchMouseClickNotice*>(payload);
        OnPlotClick(click->dataId.ToWString(), click->pointText.ToWString());
    }
}

// ---- Tachogram

TachogramView::TachogramView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HRVViewBaseYT(parent, c, v, s, m, L"Tachogram Plot")
{
}

const std::vector<double>* TachogramView::DataVector() const
{
    return mDocument ? &mDocument->Engine().mRR : nullptr;
}

void TachogramView::FlagsForChange(DWORD kind, std::uint32_t& flags)
{
    if (kind != 1 && kind != 2) {
        PlotViewBase::FlagsForChange(kind, flags);
        return;
    }
    PlotViewBase::FlagsForChange(kind, flags);
    // The number of intervals may have changed: new x range, new scale ranges and markup.
    const PlotRanges now = Ranges();
    if (now.xMax != mKnownX.second || now.xMin != mKnownX.first)
        flags |= 0x28;
    mKnownX = { now.xMin, now.xMax };
}

std::wstring TachogramView::BuildMarkup(const PlotContext& c, IEtchEnumInfo* info)
{
    const PlotRanges r = TachogramRanges(c, info);
    mKnownX = { r.xMin, r.xMax };
    return TachogramMarkup(c, info);
}

void TachogramView::OnTachogramClick(const std::wstring&, const std::wstring& label)
{
    if (label.empty() || !DocumentAlive())
        return;
    std::wistringstream in(label);
    long long index = -1;
    in >> index;
    const auto& points = mDocument->Engine().mPoincarePoints;
    if (!in || index < 0 || static_cast<std::size_t>(index) >= points.size())
        return;
    const PoincarePoint& point = points[static_cast<std::size_t>(index)];
    if (point.mRecord == 0x7FFFFFFF)
        return;
    Position p;
    p.mRecord = point.mRecord;
    p.mOffset = point.mOffset;
    mDocument->ShowBeatComment(p);
}

void TachogramView::OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload)
{
    if (kind == KEL::kMouseClick && payload) {
        const auto* click = static_cast<const KEL::EtchMouseClickNotice*>(payload);
        OnTachogramClick(click->dataId.ToWString(), click->pointText.ToWString());
    }
}

// ---- Spectrum

SpectrumView::SpectrumView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HRVViewBaseYT(parent, c, v, s, m, L"Power Spectrum Plot")
{
}

const std::vector<double>* SpectrumView::DataVector() const
{
    return mDocument ? &mDocument->Engine().mSpectrum.mPower : nullptr;
}

double SpectrumView::YScaleFactor() const
{
    const double f = FactorOfPrefix(UnitPrefix());
    return f * f;
}

void SpectrumView::OnBandsDragged(const std::wstring& id, const double* values, std::int64_t count)
{
    if (id != L"spectrum_freq_bands" || count < 6 || !values || !DocumentAlive())
        return;
    Settings& s = mDocument->GetSettings();
    double* const limits[6] = { &s.mVLFLow, &s.mVLFHigh, &s.mLFLow, &s.mLFHigh, &s.mHFLow, &s.mHFHigh };
    double next[6];
    const double top = std::isfinite(s.mMaxFrequency) && s.mMaxFrequency > 0 ? s.mMaxFrequency : 0.0;
    for (int i = 0; i < 6; ++i)
        next[i] = std::isnan(values[i]) ? *limits[i] : std::clamp(values[i], 0.0, top);
    std::sort(std::begin(next), std::end(next));
    for (int i = 0; i < 6; ++i)
        *limits[i] = next[i];
    s.mDirty = true;
    mDocument->InvalidateAnalysis();
    if (!HostState())
        mDocument->Reanalyse(2, 6);
}

void SpectrumView::OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload)
{
    if (kind == KEL::kVLinesDragged && payload) {
        const auto* n = static_cast<const KEL::EtchValuesNotice*>(payload);
        OnBandsDragged(n->id.ToWString(), n->values, n->count);
    }
}

// ---- Histograms

HistogramViewBase::HistogramViewBase(
    WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m, std::wstring plotName, bool delta)
    : HRVViewBaseYT(parent, c, v, s, m, std::move(plotName))
    , mDelta(delta)
{
}

void HistogramViewBase::FlagsForChange(DWORD kind, std::uint32_t& flags)
{
    if (kind == 1 || kind == 2) {
        flags |= 0x68;
        if (kind == 2)
            PlotViewBase::FlagsForChange(2, flags);
        return;
    }
    PlotViewBase::FlagsForChange(kind, flags);
}

const std::vector<double>* HistogramViewBase::DataVector() const
{
    if (!mDocument)
        return nullptr;
    const IntervalStats& st = mDocument->Engine().mStats;
    return mDelta ? &st.mDeltaRRHistogram.mCounts : &st.mRRHistogram.mCounts;
}

PlotContext HistogramViewBase::Context() const
{
    return DocumentAlive() ? ContextOf(*mDocument, HostState(), mDelta) : PlotContext {};
}

RRHistogramView::RRHistogramView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HistogramViewBase(parent, c, v, s, m, L"RR Histogram Plot", false)
{
}

DeltaRRHistogramView::DeltaRRHistogramView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HistogramViewBase(parent, c, v, s, m, L"Delta RR Histogram Plot", true)
{
}

// ---- Poincaré and classifier

PoincareView::PoincareView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HRVViewBaseXY(parent, c, v, s, m, L"Poincar\u00E9 Plot")
{
}

void PoincareView::MakePointSources(
    double xf, double yf, IUnitName* xu, IUnitName* yu, IEnumFloatEx** x, IEnumFloatEx** y)
{
    MakeSourcePair(KEL::String(XDataId()), KEL::String(YDataId()),
        mDocument ? &mDocument->Engine().mPoincarePoints : nullptr, xf, yf, xu, yu, Lifetime(), Keeper(), x, y);
}

ClassifierView::ClassifierView(WindowHandle parent, IUnknown* c, IUnknown* v, IViewSite* s, void* m)
    : HRVViewBaseXY(parent, c, v, s, m, L"Classifier Plot")
{
}

void ClassifierView::MakePointSources(
    double xf, double yf, IUnitName* xu, IUnitName* yu, IEnumFloatEx** x, IEnumFloatEx** y)
{
    MakeSourcePair(KEL::String(XDataId()), KEL::String(YDataId()), mDocument ? &mDocument->Engine().mBeats : nullptr,
        xf, yf, xu, yu, Lifetime(), Keeper(), x, y);
}

void ClassifierView::OnBoxResized(const std::wstring& id, const double* values, std::int64_t count)
{
    if (id != L"classifier_box" || count < 4 || !values || !DocumentAlive())
        return;
    for (int i = 0; i < 4; ++i)
        if (std::isnan(values[i]))
            return;
    const double fx = FactorOfPrefix(7), fy = FactorOfPrefix(8);
    double xMin = values[0], xMax = values[1], yMin = values[2], yMax = values[3];
    if (xMin > xMax)
        std::swap(xMin, xMax);
    if (yMin > yMax)
        std::swap(yMin, yMax);
    Settings& s = mDocument->GetSettings();
    s.mRRMin = std::max(0.0, xMin / fx);
    s.mRRMax = std::min(60.0, xMax / fx);
    s.mComplexityMin = std::max(0.0, yMin / fy);
    s.mComplexityMax = std::min(10.0, yMax / fy);
    s.mDirty = true;
    mDocument->InvalidateAnalysis();
    if (!HostState())
        mDocument->Reanalyse(0x4FFFFFF, 6);
}

void ClassifierView::OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload)
{
    if (kind == KEL::kBoxResized && payload) {
        const auto* n = static_cast<const KEL::EtchValuesNotice*>(payload);
        OnBoxResized(n->id.ToWString(), n->values, n->count);
        return;
    }
    HRVViewBaseXY::OnPlotNotice(kind, payload);
}

} // namespace HRV
