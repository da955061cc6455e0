#pragma once
// The document class "HRV2 Document": the host opens the HRV document of a recording through it.
#include <atomic>

#include "hrv/module/ModuleInterfaces.h"

namespace HRV {

class DocumentClass final : public IHRVDocumentClass {
public:
    DocumentClass() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override;
    // T(HRV document) << 16.
    HRESULT GetClassId(DWORD* id) override;
    HRESULT GetName(IKELString** out) override;
    HRESULT GetClassGuid(const GUID** out) override;
    HRESULT CreateDocument(IUnknown* hostDocument, IUnknown** out) override;

private:
    ~DocumentClass() = default;
    std::atomic<ULONG> mCount { 0 };
};

} // namespace HRV
