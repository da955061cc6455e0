#include "plotcontrol/control/EtchPersistTask.h"

#include <cfloat>
#include <cmath>
#include <locale>
#include <sstream>

#include "plotcontrol/control/EtchNotifications.h"

namespace KEL {

bool IsScaleRangeSet(const ScaleRangePair& pair)
{
    // An infinite limit could never be written into markup that compiles: it is no range.
    if (!std::isfinite(pair.first) || !std::isfinite(pair.second))
        return false;
    return pair.first != DBL_MAX && pair.second != -DBL_MAX && !IsScaleRangeEmpty(pair);
}

namespace {

std::wstring Number(double value)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

bool IsIdentifierChar(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
}

// The position just after "<name>:" where name stands as a whole identifier (not the end of a
// longer one such as "mylegend", nor the start of "legend_box"), blanks allowed before the colon.
std::wstring::size_type FindProperty(const std::wstring& text, const std::wstring& name, std::wstring::size_type from)
{
    for (auto at = text.find(name, from); at != std::wstring::npos; at = text.find(name, at + 1)) {
        if (at > 0 && IsIdentifierChar(text[at - 1]))
            continue;
        auto after = at + name.size();
        while (after < text.size() && (text[after] == L' ' || text[after] == L'\t'))
            ++after;
        if (after < text.size() && text[after] == L':')
            return after + 1;
    }
    return std::wstring::npos;
}

} // namespace

EtchPersistTask::EtchPersistTask(String plotId, IPlotStateRegistrar* registrar, ISubject* subject)
    : mPlotId(std::move(plotId))
    , mRegistrar(registrar)
    , mSubject(subject)
{
    if (mSubject)
        mSubject->Attach(this);
    if (mRegistrar) {
        mRegistrar->AddRef();
        mRegistrar->Attach(this);
    }
}

EtchPersistTask::~EtchPersistTask()
{
    Disconnect();
}

void EtchPersistTask::Disconnect()
{
    if (mSubject)
        mSubject->Detach(this);
    mSubject = nullptr;
    if (mRegistrar) {
        mRegistrar->Detach(this);
        mRegistrar->Release();
    }
    mRegistrar = nullptr;
}

void EtchPersistTask::Post(PlotStateMessage& message)
{
    message.plotId = mPlotId.c_str();
    if (mRegistrar)
        mRegistrar->Post(&message);
    else
        OnPlotState(&message); // without a host the state still holds for this control
}

void EtchPersistTask::SendRange(DWORD number, const ScaleRangePair& pair, bool flag)
{
    PlotStateMessage message;
    message.number = number;
    message.first = pair.first;
    message.second = pair.second;
    message.flag = flag ? 1 : 0;
    Post(message);
}

void EtchPersistTask::SendItemPosition(const String& itemId, double xPercent, double yPercent)
{
    PlotStateMessage message;
    message.number = PlotStateMessage::kItemPosition;
    message.itemId = itemId.c_str();
    message.first = xPercent;
    message.second = yPercent;
    Post(message);
}

void EtchPersistTask::SendItemText(const String& itemId, const String& text)
{
    PlotStateMessage message;
    message.number = PlotStateMessage::kItemText;
    message.itemId = itemId.c_str();
    message.text = text.c_str();
    Post(message);
}

void EtchPersistTask::SetPersistedScaleRanges(const ScaleRangePair& x, const ScaleRangePair& y, bool now, bool keep)
{
    if (now) {
        if (!IsScaleRangeEmpty(x))
            SendXRange(x, false);
        if (!IsScaleRangeEmpty(y))
            SendYRange(y, false);
        return;
    }
    // A stored range counts as set when either member is non-zero or a NaN.
    const auto stored = [](const ScaleRangePair& p) { return !IsScaleRangeEmpty(p); };
    if (!IsScaleRangeEmpty(x) && !(keep && stored(mXRange)))
        mXRange = x;
    if (!IsScaleRangeEmpty(y) && !(keep && stored(mYRange)))
        mYRange = y;
}

HRESULT EtchPersistTask::OnPlotState(const PlotStateMessage* message)
{
    if (!message || !message->plotId)
        return S_FALSE;
    switch (message->number) {
    case PlotStateMessage::kXRange:
    case PlotStateMessage::kYRange: {
        if (mPlotId.View() != message->plotId)
            return S_OK;
        const bool x = message->number == PlotStateMessage::kXRange;
        ScaleRangePair& range = x ? mXRange : mYRange;
        ScaleRangePair& first = x ? mXFirstRange : mYFirstRange;
        range = { message->first, message->second };
        if (IsScaleRangeEmpty(first))
            first = range;
        return S_OK;
    }
    case PlotStateMessage::kItemPosition:
        if (mPlotId.EqualsNoCase(message->plotId) && message->itemId)
            mItemPositions[message->itemId] = { message->first, message->second };
        return S_OK;
    case PlotStateMessage::kItemText:
        if (mPlotId.EqualsNoCase(message->plotId) && message->itemId)
            mItemTexts[message->itemId] = message->text ? message->text : L"";
        return S_OK;
    default:
        return S_FALSE;
    }
}

HRESULT EtchPersistTask::OnAttach(ISubject*)
{
    return S_OK;
}

HRESULT EtchPersistTask::OnNotify(ISubject*, DWORD eventId, ULONGLONG, ULONGLONG value)
{
    if (!value)
        return S_FALSE;
    if (eventId == EtchNotificationId(kXScalingChanged) || eventId == EtchNotificationId(kYScalingChanged)) {
        const auto& notice = *reinterpret_cast<const EtchScalingNotice*>(value);
        if (notice.count < 1 || !notice.values)
            return S_OK;
        const ScaleRangePair pair { notice.values[1], notice.values[0] };
        if (eventId == EtchNotificationId(kXScalingChanged))
            SendXRange(pair, notice.autoScale != 0);
        else
            SendYRange(pair, notice.autoScale != 0);
    } else if (eventId == EtchNotificationId(kRegionPosChanged)) {
        const auto& notice = *reinterpret_cast<const EtchRegionPosNotice*>(value);
        SendItemPosition(notice.regionId, notice.xPercent, notice.yPercent);
    } else if (eventId == EtchNotificationId(kRegionTextChanged)) {
        const auto& notice = *reinterpret_cast<const EtchRegionTextNotice*>(value);
        SendItemText(notice.regionId, notice.text);
    }
    return S_OK;
}

bool EtchPersistTask::ItemPosition(const String& itemId, std::pair<double, double>& position) const
{
    auto found = mItemPositions.find(itemId.ToWString());
    if (found == mItemPositions.end())
        return false;
    position = found->second;
    return true;
}

bool EtchPersistTask::ItemText(const String& itemId, String& text) const
{
    auto found = mItemTexts.find(itemId.ToWString());
    if (found == mItemTexts.end())
        return false;
    text = String(found->second);
    return true;
}

void EtchPersistTask::WriteAxisScaleMarkup(std::wstring& markup) const
{
    if (markup.empty())
        return;
    std::wstring text;
    const auto last = markup.find_last_not_of(L" \t");
    if (last == std::wstring::npos || markup[last] != L',')
        text += L", ";
    const auto axis = [&text](const ScaleRangePair& range, const wchar_t* name) {
        const std::wstring n(name);
        if (IsScaleRangeSet(range))
            text += n + L"scalemin: " + Number(range.second) + L"," + n + L"scalemax: " + Number(range.first)
                + L", do_initial_autoscale_" + n + L": false, ";
        else
            text += n + L"scalemin: 0.0, " + n + L"scalemax: 1.0, do_initial_autoscale_" + n + L": true, ";
    };
    axis(mYRange, L"y");
    axis(mXRange, L"x");
    markup += text;
    WriteItemPositionsMarkup(markup, L"legend");
    WriteItemPositionsMarkup(markup, L"text_region");
}

void EtchPersistTask::WriteItemPositionsMarkup(std::wstring& markup, const std::wstring& kind) const
{
    const auto body = FindProperty(markup, kind, 0);
    if (body == std::wstring::npos)
        return;
    const auto idValue = FindProperty(markup, L"id", body);
    if (idValue == std::wstring::npos)
        return;
    auto open = markup.find_first_of(L"\"'", idValue);
    if (open == std::wstring::npos)
        return;
    const auto close = markup.find(markup[open], open + 1);
    if (close == std::wstring::npos)
        return;
    auto found = mItemPositions.find(markup.substr(open + 1, close - open - 1));
    if (found == mItemPositions.end())
        return;
    const auto brace = markup.find(L'}', close);
    if (brace == std::wstring::npos || brace == 0)
        return;
    // The markup writers put a separator before the closing brace; the position goes before it.
    markup.insert(
        brace - 1, L", x_percent: " + Number(found->second.first) + L", y_percent: " + Number(found->second.second));
}

} // namespace KEL
