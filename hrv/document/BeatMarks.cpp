// The user's corrections of the detected beats: a beat added at the selection, the beats inside
// the selection removed, and the normal-beat box widened so that every beat counts as normal.
// Each edit redoes the fiducial stage and the engine's work, and marks the data for saving.
#include "hrv/document/BeatMarks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "hrv/core/UserEventData.h"
#include "hrv/document/Document.h"

namespace HRV {

namespace {
constexpr int32_t kWholeRecord = 0x7FFFFFFF;
constexpr std::size_t kRecordsPerRead = 8;
}

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
                if (FAILED(events->Next(static_cast<ULONG>(buffer.size()), to, buffer.data(), &count, &next)) || count == 0)
                    break;
                for (ULONG i = 0; i < count && i < kRecordsPerRead; ++i)
                    handler(r, buffer.data() + std::size_t(i) * size);
            }
        }
        events->Release();
    }
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
