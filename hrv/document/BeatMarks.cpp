// The user's corrections of the detected beats: a beat added at the selection, the beats inside
// the selection removed, and the normal-beat box widened so that every beat counts as normal.
// Each edit redoes the fiducial stage and the engine's work, and marks the data for saving.
#include "hrv/document/BeatMarks.h"

#include "hostframework/comments/Comments.h"
#include "hostframework/interfaces/EventDrawInterfaces.h"
#include "hostframework/services/CafFrameWork.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/String.h"
#include "hrv/core/HRVInterfaces.h"
#include "hrv/core/UserEventData.h"
#include "hrv/document/Document.h"

namespace HRV {

namespace {
constexpr int32_t kWholeRecord = 0x7FFFFFFF;
constexpr std::size_t kRecordsPerRead = 8;
} // namespace

void ForEachEventInRange(IAnalysisHost* host, const ChannelRef& channel, Position start, Position end,
    const std::function<void(int32_t record, const void* event)>& handler)
{
    if (!host || !start.IsSet() || !end.IsSet())
        return;
    const int32_t last = std::min(end.mRecord, host->RecordCount() - 1);
    const ChannelRef ref { channel.mChannel, (channel.mKind & 0xFF) == 4 ? 0x80000004u : 0xC0000000u };
    for (int32_t r = std::max(start.mRecord, 0); r <= last; ++r) {
        const int32_t from = r == start.mRecord ? start.mOffset : 0;
        const int32_t to = r == end.mRecord ? end.mOffset : kWholeRecord;
        IEnumEventEx* events = host->OpenEvents(ref, r, from, to);
        if (!events)
            continue;
        ULONG size = 0;
        if (SUCCEEDED(events->GetRecordSize(&size)) && size > 0) {
            std::vector<unsigned char> buffer(std::size_t(size) * kRecordsPerRead);
            for (;;) {
                ULONG count = 0;
                LONG next = 0;
                if (FAILED(events->Next(static_cast<ULONG>(buffer.size()), to, buffer.data(), &count, &next))
                    || count == 0)
                    break;
                for (ULONG i = 0; i < count && i < kRecordsPerRead; ++i)
                    handler(r, buffer.data() + std::size_t(i) * size);
            }
        }
        events->Release();
    }
}

int NextEventComment(vx::hf::MultiSourceEventWalk& walk, IVarnComment** out)
{
    if (out)
        *out = nullptr;
    std::shared_ptr<const std::vector<unsigned char>> record;
    if (walk.NextEvent(record) != S_OK || !record)
        return 1;
    IVarnComment* comment = nullptr;
    if (walk.ChosenSlot() == 0) {
        comment = walk.CurrentComment();
        if (comment)
            comment->AddRef();
    } else {
        IEnumEventEx* source = walk.SourceEvents(walk.ChosenSlot());
        DWORD kind = 0;
        if (source)
            source->GetEventType(&kind);
        int32_t position = 0;
        std::memcpy(&position, record->data(), sizeof position);
        // The comment's colour and text come from the draw class of the event's kind, made
        // through the host's object factory.
        IEventDraw* draw = nullptr;
        if (IObjectFactory* factory = kind != 0 ? KEL::GetObjectFactory() : nullptr) {
            void* out = nullptr;
            if (SUCCEEDED(factory->CreateInstance(kind, IEventDraw::kIid, &out)))
                draw = static_cast<IEventDraw*>(out);
        }
        auto* made = new vx::hf::EventDataComment(walk.Record(), position,
            walk.SourceChannel(walk.ChosenSlot()).mChannel, record->data(), record->size(), kind, draw);
        if (draw)
            draw->Release();
        made->AddRef();
        comment = made;
    }
    if (out)
        *out = comment;
    else if (comment)
        comment->Release();
    return 0;
}

void Document::ShowBeatComment(Position position)
{
    const Settings& s = *mSettings.Get();
    if (!s.mShowEventMarkers || !Host() || !position.IsSet())
        return;
    vx::hf::MultiSourceEventWalk walk(
        Host()->AnalysisHost(), position.mRecord, { s.mSourceChannel, s.mSourceChannelFlags }, position.mOffset);
    IVarnComment* comment = nullptr;
    NextEventComment(walk, &comment);
    if (!comment)
        return;
    auto* message = new vx::hf::ShowComment2Msg(comment, 0xE0000000u);
    message->AddRef();
    Host()->RouteMessage(message);
    message->Release();
    comment->Release();
}

bool Document::IsSelectionUsable()
{
    Position start, end;
    return Host() && Host()->GetSelection(start, end) && start.IsSet() && end.IsSet();
}

bool Document::CanAddBeatMarker()
{
    if (!mSettings->HasValidRange() || Busy() || !Host())
        return false;
    Position start, end;
    if (!Host()->GetSelection(start, end) || !start.IsSet())
        return false;
    if (Host()->SelectionIsPoint())
        return true;
    return end.IsSet() && end.mRecord == start.mRecord && int64_t(end.mOffset) == int64_t(start.mOffset) + 1;
}

void Document::ReanalyseBeatMarks(DWORD code)
{
    const DetectorSettings ds = DetectorView();
    mDetector.Update(kChangeBeatClasses, &ds);
    AnalyseRange(kChangeBeatClasses);
    SendUpdate(MsgIdAnalysisChanged(), code);
}

void Document::AddBeatMarker()
{
    if (Busy() || !Host())
        return;
    Position start, end;
    // Without a selection there is no place to put the beat.
    if (!Host()->GetSelection(start, end) || !start.IsSet())
        return;
    SendUpdate(MsgIdAnalysisChanging(), kUpdateBeatMarks);
    UserEventData* marks = mData->GetUserEvents();
    marks->Remove(&start, 1);
    marks->Add(&start, 0);
    ReanalyseBeatMarks(kUpdateBeatMarks);
    MarkDataChanged();
}

bool Document::MarkBeatRemoved(int32_t record, const void* event)
{
    UserEventData* marks = mData->GetUserEvents();
    if (!marks || !event)
        return false;
    int32_t offset = 0;
    std::memcpy(&offset, event, sizeof offset);
    const Position p { offset, record };
    marks->Remove(&p, 0);
    return marks->Add(&p, 1) >= 0;
}

void Document::RemoveBeatMarkers()
{
    if (Busy() || !Host())
        return;
    Position start, end;
    // An unfilled selection leaves both records unset: nothing to walk.
    if (!Host()->GetSelection(start, end) || !start.IsSet() || !end.IsSet())
        return;
    SendUpdate(MsgIdAnalysisChanging(), kUpdateBeatMarks);
    ForEachEventInRange(Host()->AnalysisHost(), mDetector.GetFiducialChannel(), start, end,
        [this](int32_t record, const void* event) { MarkBeatRemoved(record, event); });
    ReanalyseBeatMarks(kUpdateBeatMarks);
    MarkDataChanged();
}

bool Document::AllBeatsNormal()
{
    const AnalysisEngine& e = mEngine;
    if (Busy() || std::isnan(e.mMinRR) || std::isnan(e.mMaxRR) || std::isnan(e.mMinComplexity)
        || std::isnan(e.mMaxComplexity))
        return false;
    SendUpdate(MsgIdAnalysisChanging(), kUpdateRange);
    Settings& s = *mSettings.Get();
    s.mRRMin = std::max(0.0, e.mMinRR - 0.05 * e.mMaxRR);
    s.mRRMax = 1.05 * e.mMaxRR;
    s.mComplexityMin = std::max(0.0, e.mMinComplexity - 0.05 * e.mMaxComplexity);
    s.mComplexityMax = 1.05 * e.mMaxComplexity;
    // The widened box is a change of the settings like any other: it must be saved.
    StoreWithHost();
    s.mDirty = true;
    const DetectorSettings ds = DetectorView();
    const bool updated = mDetector.Update(kChangeBeatClasses, &ds);
    UpdateChannelCalcs();
    AnalyseRange(kChangeBeatClasses);
    SendUpdate(MsgIdAnalysisChanged(), kUpdateRange);
    return updated;
}

void Document::EnableAddMarker(ICommandEnabler*& enabler)
{
    enabler->Enable(CanAddBeatMarker() ? 0xFFFF : 0);
}

void Document::EnableRemoveMarkers(ICommandEnabler*& enabler)
{
    enabler->Enable(mSettings->HasValidRange() && !Busy() && IsSelectionUsable() ? 0xFFFF : 0);
}

void Document::EnableAllBeatsNormal(ICommandEnabler*& enabler)
{
    const AnalysisEngine& e = mEngine;
    const bool extents = !std::isnan(e.mMinRR) && !std::isnan(e.mMaxRR) && !std::isnan(e.mMinComplexity)
        && !std::isnan(e.mMaxComplexity);
    enabler->Enable(!Busy() && mSettings->HasValidRange() && extents ? 0xFFFF : 0);
}

} // namespace HRV

namespace HRV {

namespace {

// The shared colours of the guide lines (0x00BBGGRR).
constexpr DWORD Rgb(unsigned r, unsigned g, unsigned b)
{
    return DWORD(r) | DWORD(g) << 8 | DWORD(b) << 16;
}
constexpr DWORD kGuideColour = Rgb(137, 137, 137);
constexpr DWORD kBandColour = Rgb(254, 194, 194);
constexpr DWORD kMsgGuideShown = 0x800C0084u, kMsgGuideBand = 0x800C0085u, kMsgGuideValue = 0x800C0086u;

#pragma pack(push, 1)
struct GuideValueRecord {
    DWORD descriptor = 0x77322; // integer, integer, double, text, text
    int32_t channel;
    int32_t line;
    double value;
    IKELString* label;
    IKELString* second;
};
struct GuideShownRecord {
    DWORD descriptor = 0x21122;
    int32_t channel;
    int32_t line;
    DWORD shown;
    DWORD second;
    DWORD colour;
};
struct GuideBandRecord {
    DWORD descriptor = 0x2121212;
    int32_t channel;
    DWORD on;
    DWORD colour;
    DWORD a;
    DWORD b;
    DWORD on2;
    DWORD colour2;
};
#pragma pack(pop)
static_assert(sizeof(GuideValueRecord) == 36 && sizeof(GuideShownRecord) == 24 && sizeof(GuideBandRecord) == 32);

} // namespace

void Document::SetGuideLines(int32_t channel, double first, double second, const wchar_t* label)
{
    if (!Host())
        return;
    // The records borrow the two texts: they stay alive until each send has returned.
    const KEL::String labelText(label ? label : L"");
    const KEL::String empty(L"");
    const double values[2] = { first, second };
    for (int32_t line = 1; line <= 2; ++line) {
        const GuideValueRecord r { 0x77322, channel, line, values[line - 1], labelText.Rep(), empty.Rep() };
        Host()->SendHostMessage(kMsgGuideValue, 1, &r, sizeof r);
    }
    for (int32_t line = 1; line <= 2; ++line) {
        const GuideShownRecord r { 0x21122, channel, line, 1, 1, kGuideColour };
        Host()->SendHostMessage(kMsgGuideShown, 1, &r, sizeof r);
    }
    const GuideBandRecord band { 0x2121212, channel, 1, kBandColour, 0, 0, 1, kBandColour };
    Host()->SendHostMessage(kMsgGuideBand, 1, &band, sizeof band);
}

void Document::ClearGuideLines(int32_t channel)
{
    if (!Host())
        return;
    for (int32_t line = 1; line <= 2; ++line) {
        const GuideShownRecord r { 0x21122, channel, line, 0, 0, kGuideColour };
        Host()->SendHostMessage(kMsgGuideShown, 1, &r, sizeof r);
    }
    const GuideBandRecord band { 0x2121212, channel, 0, 0, 0, 0, 0, 0 };
    Host()->SendHostMessage(kMsgGuideBand, 1, &band, sizeof band);
}

namespace {
// The HRV channel calculation of a host channel: its calculation interface and its choice; null
// when the channel has no calculation or one of another kind. The caller releases it.
IChannelCalc* HRVCalcOf(
    IDocumentHost* host, int32_t channel, CalculationChoice* choice, IUnknown** settingsOut = nullptr)
{
    IChannelCalc* calc = host ? host->ChannelCalculation(channel) : nullptr;
    if (!calc)
        return nullptr;
    calc->AddRef();
    IUnknown* settings = nullptr;
    IChannelCalcChoice* read = nullptr;
    if (SUCCEEDED(calc->GetSettings(&settings)) && settings)
        settings->QueryInterface(IChannelCalcChoice::kIid, reinterpret_cast<void**>(&read));
    const bool ours = read && SUCCEEDED(read->GetChoice(choice));
    if (read)
        read->Release();
    if (ours && settingsOut)
        *settingsOut = settings;
    else if (settings)
        settings->Release();
    if (!ours) {
        calc->Release();
        return nullptr;
    }
    return calc;
}
} // namespace

IChannelCalc* Document::HRVChannelCalcChoice(int32_t channel, CalculationChoice& choice)
{
    return HRVCalcOf(Host(), channel, &choice);
}

void Document::RebuildChannelCalcMap()
{
    mChannelCalcMap.clear();
    if (!Host())
        return;
    const int32_t count = Host()->ShownChannelCount();
    for (int32_t n = 0; n < count; ++n) {
        CalculationChoice choice;
        IUnknown* settings = nullptr;
        if (IChannelCalc* calc = HRVCalcOf(Host(), n, &choice, &settings)) {
            // Its own settings handed back rebuild the calculation's formula.
            calc->Setup(settings);
            settings->Release();
            calc->Release();
            mChannelCalcMap.insert(static_cast<uint32_t>(n));
        }
    }
}

void Document::UpdateChannelCalcs()
{
    for (uint32_t n : mChannelCalcMap) {
        CalculationChoice choice;
        if (IChannelCalc* calc = HRVCalcOf(Host(), static_cast<int32_t>(n), &choice)) {
            calc->Release();
            RefreshChannelCalcGuides(static_cast<int32_t>(n), choice);
        }
    }
}

void Document::RefreshChannelCalcGuides(int32_t channel, const CalculationChoice& choice)
{
    const Settings& s = *mSettings.Get();
    if (!choice.mSetGuideLines) {
        ClearGuideLines(channel);
        return;
    }
    switch (choice.mParameter) {
    case 0:
        SetGuideLines(channel, s.mRRMax, s.mRRMin, L"s");
        break;
    case 2:
        SetGuideLines(channel, 60.0 / std::max(0.01, s.mRRMax), 60.0 / std::max(0.01, s.mRRMin), L"BPM");
        break;
    case 5:
        SetGuideLines(channel, s.mComplexityMax, s.mComplexityMin, L"");
        break;
    default:
        ClearGuideLines(channel);
        break;
    }
}

} // namespace HRV
