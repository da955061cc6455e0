#pragma once
// The host document as an extension's objects reach it through interfaces: it hands the HRV
// document its services, keeps the extension documents attached to it by class key, gives the
// data-pad functions the data access of its own data, and turns record positions into times.
#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "host/hrvdoc/HrvHostDocument.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hostframework/interfaces/ReportInterfaces.h"

namespace vx::host {

// The recording as the data-pad functions' analyses read it. Every cell of the data pad analyses
// its own region, so many cells read the same beats: the events of a complete record are read
// from the document once per region and handed out again until the document's channels or
// analysis change. A record being sampled is always read live.
class CachedAnalysisHost final : public HRV::IAnalysisHost {
public:
    explicit CachedAnalysisHost(HrvHostDocument& document)
        : mDocument(document)
    {
    }
    int32_t RecordCount() override { return mDocument.RecordCount(); }
    bool GetRecordInfo(int32_t record, HRV::RecordInfo& info) override { return mDocument.GetRecordInfo(record, info); }
    IEnumEventEx* OpenEvents(const HRV::ChannelRef& channel, int32_t record, int32_t start, int32_t end) override;
    int32_t SampledRecord() override { return mDocument.SampledRecord(); }

    // Enumerations opened on the document (not served from the cache), for tests.
    std::size_t DocumentReads() const { return mDocumentReads; }

    // Events read once: runs of whole records in blocks, either the blocks in which the engine
    // keeps a channel's events (shared, not copied) or copies made in blocks of kPerBlock records
    // (a long record's events are not copied again each time an array would grow).
    struct Events {
        static constexpr std::size_t kPerBlock = 4096;
        DWORD recordSize = 0;
        DWORD typeId = 0;
        vx::hf::RateRatio timeBase;
        std::vector<calc::SharedEventRun> runs;
        std::vector<std::size_t> starts; // index of each run's first record
        std::size_t count = 0;
        std::shared_ptr<std::vector<std::byte>> filling; // the last run's block while Append fills it

        // Record i; `run` is a hint (the run of the last record asked for) kept by the reader.
        const std::byte* Record(std::size_t i, std::size_t& run) const;
        void Append(const std::byte* records, std::size_t n);
        void Share(const calc::SharedEvents& shared);
    };

private:
    struct Key {
        uint32_t channel, kind;
        int32_t record, start, end;
        auto operator<=>(const Key&) const = default;
    };
    // What the cached events depend on: the document's updates and channel requests and the
    // record lengths.
    std::vector<std::size_t> Generation() const;

    HrvHostDocument& mDocument;
    std::map<Key, std::shared_ptr<const Events>> mCache;
    std::vector<std::size_t> mGeneration;
    std::size_t mDocumentReads = 0;
};

// The data access of the document's own data.
class HrvDataAccess final : public IDataAccess, public HRV::IRecordData {
public:
    explicit HrvDataAccess(HrvHostDocument& document);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override;
    // IDataAccess
    HRESULT GetChannelSetting(DWORD, LONG, LONG, IUnknown** out) override;
    HRESULT GetText(DWORD, LONG, LONG, BSTR* text) override;
    HRESULT GetSourceDescriptor(DWORD, vx::hf::SourceDescriptor* out) override;
    // HRV::IRecordData
    HRESULT ResolvePosition(std::int64_t* position, DWORD word) override;
    HRV::IAnalysisHost* AnalysisHost() override { return &mEvents; }
    const CachedAnalysisHost& Events() const { return mEvents; }

private:
    ~HrvDataAccess() = default;
    HrvHostDocument& mDocument;
    CachedAnalysisHost mEvents { mDocument };
    std::atomic<ULONG> mCount { 1 };
};

class HrvHostDocumentObject final : public HRV::IDataPadSource,
                                    public HRV::IRecordingDocument,
                                    public IDocumentWindowName {
public:
    // Count 1 for the creator. The document must outlive this object.
    explicit HrvHostDocumentObject(HrvHostDocument& document);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override;

    // Attaches an extension document under its class key (held until DetachChildren).
    void AttachChild(DWORD classKey, IUnknown* document);
    void DetachChildren();
    IDataAccess* DataAccess() { return mAccess; }
    const CachedAnalysisHost& Events() const { return mAccess->Events(); }

    // HRV::IDataPadSource
    HRESULT GetDataAccess(const vx::hf::SourceDescriptor* source, IUnknown** out) override;
    HRESULT GetChildDocument(DWORD classKey, IUnknown** out) override;
    HRESULT PositionToTime(
        IUnknown*, const vx::hf::SourceDescriptor*, std::int64_t position, DWORD, DWORD, VARIANT* out) override;
    // HRV::IRecordingDocument
    HRV::IDocumentHost* DocumentHost() override { return &mDocument; }
    // The host shows times in one mode: the time from the start of the recording as
    // hours:minutes:seconds with milliseconds ("0:30:05.556"), whatever the flags.
    static constexpr DWORD kTimeFromStart = 0;
    HRESULT GetTimeDisplayMode(DWORD* mode) override;
    HRESULT PositionToText(std::int64_t position, DWORD flags, DWORD mode, IKELString** out) override;
    // IDocumentWindowName: the window name of the host's options.
    HRESULT GetWindowName(BSTR* out) override;

private:
    ~HrvHostDocumentObject();
    HrvHostDocument& mDocument;
    HrvDataAccess* mAccess;
    std::map<DWORD, IUnknown*> mChildren; // held
    std::atomic<ULONG> mCount { 1 };
};

} // namespace vx::host
