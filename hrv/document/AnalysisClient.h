#pragma once
// A document's face towards the host's analysis manager, which lists the analyses stored with a
// recording and asks them to report their range, clear or re-analyse.
#include "com/HResult.h"

namespace AnalysisManager {

template <class T> class AnalysisClientBase {
public:
    // Registers the document with the manager; 1 when the stored analysis was reported.
    virtual int RegisterWithManager() = 0;
    virtual void ReportRange(DWORD value) = 0;
    virtual void ClearRequest(DWORD value) = 0;
    virtual void ReanalyseRequest(DWORD value) = 0;

protected:
    ~AnalysisClientBase() = default;
};

} // namespace AnalysisManager
