#pragma once
// The host document's services as the HRV document calls them (HRV::IDocumentHost): the
// recording's records and channels, the selection and busy state, the data-child store and the
// store of persisted objects, the online registry, update notifications, messages to the host
// and back to the document, and message boxes. It hands out the host's other sides.
#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

class DocumentHostSide : public HRV::IDocumentHost {
public:
    // The host's other sides, handed out by Dialogs(), AnalysisManager(), DetectorHost() and
    // AnalysisHost(); they live as long as this one.
    struct Sides {
        HRV::IDialogService* dialogs;
        HRV::IAnalysisManager* manager;
        HRV::IDetectorHost* detector;
        HRV::IAnalysisHost* analysis;
    };
    DocumentHostSide(HrvHostState& state, Sides sides);
    DocumentHostSide(const DocumentHostSide&) = delete;
    DocumentHostSide& operator=(const DocumentHostSide&) = delete;

    // The data-child store as the extension's enumerators reach it (IDataChildStore); borrowed,
    // it lives as long as this document. The host creates the enumerators of its formulas with it.
    IUnknown* DataStore() { return &mStore; }

    ULONGLONG ChildSite() override { return reinterpret_cast<std::uintptr_t>(&mState); }
    bool IsBusy() override { return mState.busy; }
    bool GetSelection(HRV::Position& start, HRV::Position& end) override;
    void ClearSelection() override;
    void SelectRegion(HRV::Position start, HRV::Position end) override;
    void SelectChannel(uint32_t channel) override;
    bool SelectionIsPoint() override { return mState.hasSelection && mState.selectionIsPoint; }
    HRV::Position DataEnd() override;
    int32_t LastRecord() override { return mState.RecordCount() - 1; }
    int32_t ChannelCount() override { return mState.GetRecording().ChannelCount(); }
    HRESULT ChannelTitle(int32_t channel, BSTR* title) override;
    HRESULT ChannelUnit(int32_t channel, BSTR* unit) override;
    bool RegionExists(HRV::Position start, HRV::Position end) override;
    bool ChannelHasData(uint32_t channel, uint32_t kind, int32_t startRecord, int32_t endRecord) override;
    int32_t CanSample() override { return mState.canSample; }
    void LegacyLoaded(DWORD id) override;
    bool HasDataChild(DWORD id) override { return mState.dataChildren.count(id) > 0; }
    bool AddDataChild(IVarnDataChildData* child) override;
    bool RemoveDataChild(DWORD id) override;
    bool StoreObject(DWORD index, IPersist* object) override;
    bool HasRegionObject() override { return mState.regionObject; }
    void RemoveRegionObject() override { mState.regionObject = false; }
    bool HasOnlineRegistry() override { return true; }
    HRESULT RegisterOnlineSink(IOnlineDataSink* sink) override;
    HRESULT UnregisterOnlineSink(IOnlineDataSink* sink) override;
    void SendUpdate(DWORD messageId, DWORD code) override { mState.Updated(messageId, code); }
    HRESULT SendDocumentMessage(DWORD messageId, DWORD flags) override;
    // Opens views (through the host's openView) and keeps the guide lines of the channels.
    HRESULT SendHostMessage(DWORD messageId, DWORD flags, const void* record, std::size_t size) override;
    // Shows the comments the document asks to be shown (through the host's showComment).
    HRESULT RouteMessage(IMessage* message) override;
    int MessageBox(const wchar_t* caption, const wchar_t* text, UINT style, DWORD value) override;
    HRV::IDialogService* Dialogs() override { return mSides.dialogs; }
    HRV::IAnalysisManager* AnalysisManager() override { return mSides.manager; }
    int32_t ShownChannelCount() override;
    IChannelCalc* ChannelCalculation(int32_t channel) override;
    HRV::IDetectorHost* DetectorHost() override { return mSides.detector; }
    HRV::IAnalysisHost* AnalysisHost() override { return mSides.analysis; }
    // A preview of a channel over the recording and the formula channels (HostPreviewSource).
    HRESULT PreviewSource(uint32_t channel, IUnknown** source) override;

private:
    // The data children as the extension's enumerators read them.
    class Store final : public IDataChildStore {
    public:
        explicit Store(HrvHostState& state)
            : mState(state)
        {
        }
        HRESULT QueryInterface(REFIID iid, void** out) override;
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT GetDataChild(DWORD id, IVarnDataChildData** out) override;

    private:
        HrvHostState& mState;
    };

    HrvHostState& mState;
    Sides mSides;
    Store mStore { mState };
};

} // namespace vx::host
