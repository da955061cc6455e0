#pragma once
// The RR-interval text export: the used intervals of the last analysis of a recording's HRV
// document, one per line in seconds, through the host's save-as machinery.
#include <atomic>
#include <string>
#include <vector>

#include "hrv/core/ModuleObjects.h"
#include "hrv/module/ModuleInterfaces.h"

namespace HRV {

// Writes the intervals as text: each value with 6 significant digits in general notation
// ("0.8", "0.823457", "1.5e-05"), each line ended by CR LF. S_OK, S_FALSE for no interval (an
// empty file), or E_FAIL when the file cannot be opened, written or closed.
HRESULT WriteRRIntervals(const std::string& path, const std::vector<double>& intervals);

// The category of the host's save-as classes.
inline constexpr GUID kSaveAsCategory = vx::com::MakeGuid("{13D86663-7C6C-11D3-A6E1-005004D0F872}");

class RRIntervalSaveClassObject final : public ICAFClassObject,
                                        public IFileSaveAsClass,
                                        public IFileSaveAsClass2,
                                        public IDocFileDescr,
                                        public LinkedClassObject {
public:
    RRIntervalSaveClassObject() = default;

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ++mCount; }
    ULONG Release() override;

    // ICAFClassObject and IDocFileDescr: (T(HRV document) << 16) | 4.
    HRESULT GetClassId(DWORD* id) override;
    // ICAFClassObject: the save-as category; the id text is the class's own type name as the
    // run-time type information gives it ("class HRV::RRIntervalSaveClassObject"); the
    // is-category test of the base compares with the category by pointer or by value.
    HRESULT GetCategory(const GUID** out) override;
    HRESULT GetIdText(IKELString** out) override;
    // IFileSaveAsClass: IFileSaveAsClass2's with 0 before the document.
    HRESULT Save(IUnknown* application, IKELString* fileName, DWORD third, IUnknown* document) override
    {
        return Save(application, fileName, third, 0, document);
    }
    // IFileSaveAsClass2
    HRESULT Save(IUnknown* application, IKELString* fileName, DWORD, DWORD, IUnknown* document) override;
    // IDocFileDescr
    HRESULT GetExtension(IKELString** out) override;
    HRESULT GetTypeName(IKELString** out) override;
    HRESULT GetFlags(DWORD* out) override;
    HRESULT GetOrder(DWORD* out) override;

    IUnknown* ClassObjectInterface() override { return static_cast<ICAFClassObject*>(this); }

private:
    ~RRIntervalSaveClassObject() = default;
    std::atomic<ULONG> mCount { 0 };
};

} // namespace HRV
