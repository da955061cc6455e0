#pragma once
// The state a user gave a plot (the axis ranges scaled to, where the legend and the text regions
// were dragged and what they say), kept for one plot id and shared by every plot control showing
// that id: changes go to the host's settings registrar, which hands them back to every task of the
// plot; the state is appended to the plot's markup each time the markup goes to the page.
#include <string>
#include <unordered_map>
#include <utility>

#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "hostframework/interfaces/MessageInterfaces.h"
#include "hostframework/interfaces/PlotStateInterfaces.h"

namespace KEL {

// (max, min); 0/0 means not set.
using ScaleRangePair = std::pair<double, double>;

// A pair stands for a range when neither member is NaN or infinite, max is not the largest double,
// min is not its negative, and the pair is not 0/0.
bool IsScaleRangeSet(const ScaleRangePair& pair);
inline bool IsScaleRangeEmpty(const ScaleRangePair& pair)
{
    return pair.first == 0 && pair.second == 0;
}

class EtchPersistTask final : public SimpleUnknownImp2<IObserver, IPlotStateSink, 1> {
public:
    // Attaches to `subject` (the plot control's notifications) and to the registrar, which hands
    // over what it kept for the plot first. Either may be null.
    EtchPersistTask(String plotId, IPlotStateRegistrar* registrar, ISubject* subject);
    // Detaches from both; call before the last release.
    void Disconnect();

    const String& PlotId() const { return mPlotId; }
    const ScaleRangePair& XRange() const { return mXRange; }
    const ScaleRangePair& YRange() const { return mYRange; }
    const ScaleRangePair& XFirstRange() const { return mXFirstRange; }
    const ScaleRangePair& YFirstRange() const { return mYFirstRange; }
    void StoreXRange(const ScaleRangePair& pair) { mXRange = pair; }
    void StoreYRange(const ScaleRangePair& pair) { mYRange = pair; }

    // To every task of the plot, through the registrar (the plot id is this task's).
    void SendXRange(const ScaleRangePair& pair, bool flag) { SendRange(PlotStateMessage::kXRange, pair, flag); }
    void SendYRange(const ScaleRangePair& pair, bool flag) { SendRange(PlotStateMessage::kYRange, pair, flag); }
    void SendItemPosition(const String& itemId, double xPercent, double yPercent);
    void SendItemText(const String& itemId, const String& text);

    // The ranges a view wants. With `now` each non-empty pair is sent to every task of the plot;
    // otherwise it is stored here, unless `keep` is set and a range is stored already.
    void SetPersistedScaleRanges(const ScaleRangePair& x, const ScaleRangePair& y, bool now, bool keep);

    // Appends the ranges and the legend's and text regions' positions to a markup text.
    void WriteAxisScaleMarkup(std::wstring& markup) const;

    bool ItemPosition(const String& itemId, std::pair<double, double>& position) const;
    bool ItemText(const String& itemId, String& text) const;

    // IObserver: the plot control's scaling, region and text notifications.
    HRESULT OnAttach(ISubject* subject) override;
    HRESULT OnNotify(ISubject* subject, DWORD eventId, ULONGLONG flags, ULONGLONG value) override;
    // IPlotStateSink: a message for any plot; those of other plots are ignored.
    HRESULT OnPlotState(const PlotStateMessage* message) override;

private:
    ~EtchPersistTask() override;
    void Post(PlotStateMessage& message);
    void SendRange(DWORD number, const ScaleRangePair& pair, bool flag);
    void WriteItemPositionsMarkup(std::wstring& markup, const std::wstring& kind) const;

    String mPlotId;
    IPlotStateRegistrar* mRegistrar = nullptr; // held
    ISubject* mSubject = nullptr; // not held: the control outlives its task's attachment
    ScaleRangePair mXRange { 0, 0 };
    ScaleRangePair mYRange { 0, 0 };
    ScaleRangePair mXFirstRange { 0, 0 };
    ScaleRangePair mYFirstRange { 0, 0 };
    std::unordered_map<std::wstring, std::pair<double, double>> mItemPositions;
    std::unordered_map<std::wstring, std::wstring> mItemTexts;
};

} // namespace KEL
