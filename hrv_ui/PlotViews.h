#pragma once
// The six HRV plot views: each is a host view over one plot control. The document's change
// messages become refresh flags; a refresh rebuilds the data sources over the document's result
// vectors, registers them with the control, stores scale ranges in the plot's persisted state and
// hands the control new markup, throttled while the host samples. Copy and Print ask the page for
// its SVG; dragged band limits, a resized classifier box and clicked beats act on the document.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hrv_ui/PlotMarkup.h"
#include "hrv_ui/PlotSources.h"
#include "hrv_ui/ViewWindows.h"
#include "plotcontrol/control/EtchWvControl.h"

namespace HRV {

class Document;

// Refresh flags.
enum PlotRefresh : std::uint32_t {
    kRefreshSourcesIfAny = 0x01,
    kRefreshSources = 0x02,
    kRefreshRangesIfUnset = 0x04,
    kRefreshRangesAlways = 0x08,
    kRefreshApplyRanges = 0x10,
    kRefreshMarkup = 0x20,
    kRefreshDataChanged = 0x40,
};

class PlotViewBase : public HRVViewBase {
public:
    // Command and message ids of the plot views' table.
    static constexpr DWORD kCmdPlotPrint = 0x80010008u;
    static constexpr DWORD kCmdAnswerOne = 0x8001000Bu;
    static constexpr DWORD kCmdResetLatch = 0x8001000Cu;
    static constexpr DWORD kMsgAccepted = 0x80080002u;
    // The plot views' Copy command: the host type index of the copy command's GUID << 16.
    static DWORD CopyCommandId();
    static constexpr std::uintptr_t kThrottleTimer = 0x5150;

    PlotViewBase(
        WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module, std::wstring plotName);
    ~PlotViewBase() override;

    bool Create() override;
    void Destroy() override;
    vx::ui::LRESULT WindowProc(UINT message, vx::ui::WPARAM wParam, vx::ui::LPARAM lParam) override;

    static const EventTable& GetEventTable();
    const EventTableEntry* FindEntry(const EventTrigger& trigger, void** object) override;
    void ForEachEntry(TableEntryAction& action) override;

    // Change kinds to refresh flags (with the throttle's side effects).
    virtual void FlagsForChange(DWORD kind, std::uint32_t& flags);
    void Refresh(std::uint32_t flags);
    virtual double MinRefreshInterval() const { return 0.05; }
    virtual int DataChangedMode() const = 0;
    virtual std::wstring PlotId() const = 0;

    // Handlers of the table.
    void EnablePlotCopy(ICommandEnabler*& enabler);
    void CopyPlot();
    void PrintPlot();
    void AnswerOne() { }
    void ResetRefreshLatch() { mRefreshLatch = 0; }
    HRESULT OnAnalysisChanging();
    HRESULT OnAnalysisChanged();
    HRESULT OnRecordingChanged();
    HRESULT OnAccepted() { return S_OK; }

    // The clock the throttle reads, in seconds (a steady clock unless a test sets one).
    void SetClock(std::function<double()> clock) { mClock = std::move(clock); }
    // Sends the markup kept back by the throttle once the interval since the last one has passed.
    void FlushThrottledMarkup();
    bool Throttling() const noexcept { return mThrottle; }
    bool HasPendingMarkup() const noexcept { return mPending.has_value(); }

    KEL::EtchWvControl& Control() noexcept { return mControl; }
    Document* GetDocument() const noexcept { return mDocument; }
    // The host's state flag: set while the host samples.
    bool HostState() const;
    // Whether the document can still be read: a closed document (its host gone) reads nothing.
    bool DocumentAlive() const;
    // The plot control's notifications.
    virtual void OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload);

protected:
    // The family's parts of a refresh.
    virtual void BuildSources() = 0;
    virtual void RegisterSources(bool registerClickable) = 0;
    virtual bool SourcesExist() const = 0;
    virtual bool SourcesEmpty() const = 0;
    virtual void ReleaseSources() = 0;
    virtual PlotRanges Ranges() = 0;
    virtual std::wstring Markup() = 0;
    virtual PlotContext Context() const;
    void SetMarkupThrottled(const std::wstring& markup);
    SourceLifetimePtr Lifetime() const { return mLifetime; }
    IUnknown* Keeper() const;
    double FactorOfPrefix(std::uint32_t prefixIndex) const;

    Document* mDocument = nullptr; // held
    std::uint16_t mRefreshLatch = 0;

private:
    class Observer;
    void StoreRanges(std::uint32_t flags);

    IUnknown* mHostFrame = nullptr; // held, may be null
    KEL::EtchWvControl mControl;
    Observer* mObserver = nullptr; // held
    SourceLifetimePtr mLifetime;
    std::function<double()> mClock;
    std::optional<double> mLastMarkupTime;
    bool mThrottle = false;
    std::optional<std::wstring> mPending;
};

// Plots over one vector of doubles.
class HRVViewBaseYT : public PlotViewBase {
public:
    using PlotViewBase::PlotViewBase;
    ~HRVViewBaseYT() override;

    virtual std::wstring BuildMarkup(const PlotContext& context, IEtchEnumInfo* info) = 0;
    virtual PlotRanges ComputeRanges(const PlotContext& context, IEtchEnumInfo* info) = 0;
    virtual std::wstring DataId() const = 0;
    virtual std::wstring UnitText() const = 0;
    virtual std::uint32_t UnitPrefix() const = 0;
    virtual const std::vector<double>* DataVector() const = 0;
    virtual double YScaleFactor() const { return FactorOfPrefix(UnitPrefix()); }

    IEnumFloatEx* Source() const noexcept { return mSource; }

protected:
    void BuildSources() override;
    void RegisterSources(bool registerClickable) override;
    bool SourcesExist() const override { return mSource != nullptr; }
    bool SourcesEmpty() const override;
    void ReleaseSources() override;
    PlotRanges Ranges() override { return ComputeRanges(Context(), mInfo); }
    std::wstring Markup() override { return BuildMarkup(Context(), mInfo); }

private:
    IEnumFloatEx* mSource = nullptr;
    IEtchEnumInfo* mInfo = nullptr;
};

// Scatter plots over one vector of points.
class HRVViewBaseXY : public PlotViewBase {
public:
    using PlotViewBase::PlotViewBase;
    ~HRVViewBaseXY() override;

    virtual std::wstring BuildMarkup(const PlotContext& context, IEtchEnumInfo* x, IEtchEnumInfo* y) = 0;
    virtual PlotRanges ComputeRanges(const PlotContext& context, IEtchEnumInfo* x, IEtchEnumInfo* y) = 0;
    virtual std::wstring XDataId() const = 0;
    virtual std::wstring YDataId() const = 0;
    virtual std::wstring XUnitText() const = 0;
    virtual std::wstring YUnitText() const = 0;
    virtual std::uint32_t XUnitPrefix() const = 0;
    virtual std::uint32_t YUnitPrefix() const = 0;
    // The x and y sources over the document's points.
    virtual void MakePointSources(
        double xFactor, double yFactor, IUnitName* xUnit, IUnitName* yUnit, IEnumFloatEx** x, IEnumFloatEx** y)
        = 0;
    // A click on a point: its label is its sample position, a tab and its record.
    void OnPlotClick(const std::wstring& plotId, const std::wstring& label);
    void OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload) override;

    IEnumFloatEx* XSource() const noexcept { return mX; }
    IEnumFloatEx* YSource() const noexcept { return mY; }

protected:
    void BuildSources() override;
    void RegisterSources(bool registerClickable) override;
    bool SourcesExist() const override { return mX && mY; }
    bool SourcesEmpty() const override;
    void ReleaseSources() override;
    PlotRanges Ranges() override { return ComputeRanges(Context(), mXInfo, mYInfo); }
    std::wstring Markup() override { return BuildMarkup(Context(), mXInfo, mYInfo); }

private:
    IEnumFloatEx* mX = nullptr;
    IEnumFloatEx* mY = nullptr;
    IEtchEnumInfo* mXInfo = nullptr;
    IEtchEnumInfo* mYInfo = nullptr;
};

class TachogramView final : public HRVViewBaseYT {
public:
    TachogramView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
    void FlagsForChange(DWORD kind, std::uint32_t& flags) override;
    int DataChangedMode() const override { return 2; }
    std::wstring PlotId() const override { return L"hrv_tachogram_view"; }
    std::wstring BuildMarkup(const PlotContext& c, IEtchEnumInfo* info) override;
    PlotRanges ComputeRanges(const PlotContext& c, IEtchEnumInfo* info) override { return TachogramRanges(c, info); }
    std::wstring DataId() const override { return L"$HRV_Tachogram"; }
    std::wstring UnitText() const override { return L"s"; }
    std::uint32_t UnitPrefix() const override { return 7; }
    const std::vector<double>* DataVector() const override;
    // A click on an interval shows the comment of its beat.
    void OnTachogramClick(const std::wstring& plotId, const std::wstring& label);
    void OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload) override;

private:
    std::pair<double, double> mKnownX { 0, 0 }; // the x range of the last markup or change
};

class SpectrumView final : public HRVViewBaseYT {
public:
    SpectrumView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
    int DataChangedMode() const override { return 1; }
    std::wstring PlotId() const override { return L"hrv_spectrum_view"; }
    std::wstring BuildMarkup(const PlotContext& c, IEtchEnumInfo* info) override { return SpectrumMarkup(c, info); }
    PlotRanges ComputeRanges(const PlotContext& c, IEtchEnumInfo* info) override { return SpectrumRanges(c, info); }
    std::wstring DataId() const override { return L"$HRV_Spectrum"; }
    std::wstring UnitText() const override { return L"s\u00B2"; }
    std::uint32_t UnitPrefix() const override { return 7; }
    const std::vector<double>* DataVector() const override;
    double YScaleFactor() const override;
    // The band lines were dragged: the settings take the six limits, ordered and clamped to
    // [0, maximum frequency], and the document re-analyses.
    void OnBandsDragged(const std::wstring& id, const double* values, std::int64_t count);
    void OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload) override;
};

class HistogramViewBase : public HRVViewBaseYT {
public:
    HistogramViewBase(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module,
        std::wstring plotName, bool delta);
    void FlagsForChange(DWORD kind, std::uint32_t& flags) override;
    double MinRefreshInterval() const override { return 2.0; }
    int DataChangedMode() const override { return 1; }
    std::wstring PlotId() const override { return mDelta ? L"hrv_delta_rr_histogram_view" : L"hrv_rr_histogram_view"; }
    std::wstring BuildMarkup(const PlotContext& c, IEtchEnumInfo* info) override
    {
        return HistogramMarkup(c, info, mDelta);
    }
    PlotRanges ComputeRanges(const PlotContext& c, IEtchEnumInfo* info) override
    {
        return HistogramRanges(c, info, mDelta);
    }
    std::wstring DataId() const override { return mDelta ? L"$HRV_DeltaRRHistogram" : L"$HRV_RRHistogram"; }
    std::wstring UnitText() const override { return L""; }
    std::uint32_t UnitPrefix() const override { return 8; }
    const std::vector<double>* DataVector() const override;

protected:
    PlotContext Context() const override;

private:
    bool mDelta;
};

class RRHistogramView final : public HistogramViewBase {
public:
    RRHistogramView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
};
class DeltaRRHistogramView final : public HistogramViewBase {
public:
    DeltaRRHistogramView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
};

class PoincareView final : public HRVViewBaseXY {
public:
    PoincareView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
    int DataChangedMode() const override { return 2; }
    std::wstring PlotId() const override { return L"hrv_poincare_view"; }
    std::wstring BuildMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y) override
    {
        return PoincareMarkup(c, x, y);
    }
    PlotRanges ComputeRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y) override
    {
        return PoincareRanges(c, x, y);
    }
    std::wstring XDataId() const override { return L"$HRV_Poincare_X"; }
    std::wstring YDataId() const override { return L"$HRV_Poincare_Y"; }
    std::wstring XUnitText() const override { return L"s"; }
    std::wstring YUnitText() const override { return L"s"; }
    std::uint32_t XUnitPrefix() const override { return 7; }
    std::uint32_t YUnitPrefix() const override { return 7; }
    void MakePointSources(double xFactor, double yFactor, IUnitName* xUnit, IUnitName* yUnit, IEnumFloatEx** x,
        IEnumFloatEx** y) override;
};

class ClassifierView final : public HRVViewBaseXY {
public:
    ClassifierView(WindowHandle parent, IUnknown* viewClass, IUnknown* view, IViewSite* site, void* module);
    int DataChangedMode() const override { return 2; }
    std::wstring PlotId() const override { return L"hrv_classifier_view"; }
    std::wstring BuildMarkup(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y) override
    {
        return ClassifierMarkup(c, x, y);
    }
    PlotRanges ComputeRanges(const PlotContext& c, IEtchEnumInfo* x, IEtchEnumInfo* y) override
    {
        return ClassifierRanges(c, x, y);
    }
    std::wstring XDataId() const override { return L"$HRV_Classifier_X"; }
    std::wstring YDataId() const override { return L"$HRV_Classifier_Y"; }
    std::wstring XUnitText() const override { return L"s"; }
    std::wstring YUnitText() const override { return L""; }
    std::uint32_t XUnitPrefix() const override { return 7; }
    std::uint32_t YUnitPrefix() const override { return 8; }
    void MakePointSources(double xFactor, double yFactor, IUnitName* xUnit, IUnitName* yUnit, IEnumFloatEx** x,
        IEnumFloatEx** y) override;
    // The normal-beat box was resized: the settings take its limits (minimum and maximum swapped
    // when reversed, clamped) and the document re-analyses.
    void OnBoxResized(const std::wstring& id, const double* values, std::int64_t count);
    void OnPlotNotice(KEL::EtchNotificationKind kind, const void* payload) override;
};

} // namespace HRV
