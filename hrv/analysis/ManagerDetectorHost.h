#pragma once
// The detector's view of the host document through the framework: the named stage channels of
// an ExtLib::ArithmeticChannelManager, the document's records and sample intervals
// (IRecordingDoc, IDocumentTime) and the host's channel links.
#include "hostframework/calcglue/ChannelManager.h"
#include "hrv/analysis/Detector.h"

namespace HRV {

class ManagerDetectorHost final : public IDetectorHost {
public:
    // The manager must have the document's channel source; the document is held.
    ManagerDetectorHost(ExtLib::ArithmeticChannelManager& manager, IRecordingDoc* document);
    ManagerDetectorHost(const ManagerDetectorHost&) = delete;
    ManagerDetectorHost& operator=(const ManagerDetectorHost&) = delete;
    ~ManagerDetectorHost();

    int32_t RecordCount() override;
    bool HasData(const ChannelRef& channel, int32_t record) override;
    double SampleInterval(const ChannelRef& channel, int32_t record) override;
    bool AddChannel(const wchar_t* name, const wchar_t* formula) override;
    bool RemoveChannel(const wchar_t* name, bool clear) override;
    bool FindChannel(const wchar_t* name, ChannelRef& out) override;
    bool HasChannelLink(const ChannelRef& from, const ChannelRef& to) override;
    bool AddChannelLink(const ChannelRef& from, const ChannelRef& to) override;
    bool RemoveChannelLink(const ChannelRef& from, const ChannelRef& to) override;
    IUnknown* ChannelSource() override { return mManager.ChannelSource(); }

private:
    ExtLib::ArithmeticChannelManager& mManager;
    IRecordingDoc* mDocument;
};

} // namespace HRV
