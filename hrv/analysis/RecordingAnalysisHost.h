#pragma once
// The analysis engine's view of the host document: the beat events of the fiducial channel
// through the document's source objects (ISourceData), record times from the document's own
// clock (IDocumentTime) and sample intervals (IRecordingDoc).
#include "hostframework/interfaces/RecordingInterfaces.h"
#include "hrv/analysis/AnalysisEngine.h"

namespace HRV {

class RecordingAnalysisHost final : public IAnalysisHost {
public:
    // The document is held; the source channel gives the sample interval of each record.
    RecordingAnalysisHost(IRecordingDoc* document, const ChannelRef& sourceChannel);
    RecordingAnalysisHost(const RecordingAnalysisHost&) = delete;
    RecordingAnalysisHost& operator=(const RecordingAnalysisHost&) = delete;
    ~RecordingAnalysisHost();

    int32_t RecordCount() override;
    bool GetRecordInfo(int32_t record, RecordInfo& info) override;
    IEnumEventEx* OpenEvents(const ChannelRef& channel, int32_t record, int32_t start, int32_t end) override;
    int32_t SampledRecord() override;

private:
    IRecordingDoc* mDocument;
    IDocumentTime* mTime = nullptr;
    ChannelRef mSource;
};

// The enumeration kind of an event channel: 0x80000004 when the low byte of the reference's
// kind word is 4, else 0xC0000000.
DWORD EventEnumerationKind(const ChannelRef& channel);

} // namespace HRV
