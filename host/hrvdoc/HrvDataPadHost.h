#pragma once
// The host document as an extension's objects reach it through interfaces: it hands the HRV
// document its services, keeps the extension documents attached to it by class key, gives the
// data-pad functions the data access of its own data, and turns record positions into times.
#include <atomic>
#include <map>

#include "host/hrvdoc/HrvHostDocument.h"
#include "hrv/datapad/DataPadHost.h"
#include "hrv/module/ModuleInterfaces.h"

namespace vx::host {

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
    HRV::IAnalysisHost* AnalysisHost() override { return &mDocument; }

private:
    ~HrvDataAccess() = default;
    HrvHostDocument& mDocument;
    std::atomic<ULONG> mCount { 1 };
};

class HrvHostDocumentObject final : public HRV::IDataPadSource, public HRV::IDocumentHostProvider {
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

    // HRV::IDataPadSource
    HRESULT GetDataAccess(const vx::hf::SourceDescriptor* source, IUnknown** out) override;
    HRESULT GetChildDocument(DWORD classKey, IUnknown** out) override;
    HRESULT PositionToTime(
        IUnknown*, const vx::hf::SourceDescriptor*, std::int64_t position, DWORD, DWORD, VARIANT* out) override;
    // HRV::IDocumentHostProvider
    HRV::IDocumentHost* DocumentHost() override { return &mDocument; }

private:
    ~HrvHostDocumentObject();
    HrvHostDocument& mDocument;
    HrvDataAccess* mAccess;
    std::map<DWORD, IUnknown*> mChildren; // held
    std::atomic<ULONG> mCount { 1 };
};

} // namespace vx::host
