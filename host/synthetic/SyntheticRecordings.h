#pragma once
// The host's side of the extension's self-tests: new, empty record data that a data source
// writes records into through its recording sink (as sampling hardware would), and the formula
// calculation that evaluates a formula over a recording, either as the samples of a channel or,
// for a call of an extension's enumerator function, through that enumerator itself.
#include <memory>
#include <string>
#include <vector>

#include "host/calc/Enumerator.h"
#include "hostframework/interfaces/CalcEnumInterfaces.h"
#include "hostframework/interfaces/SelfTestInterfaces.h"

namespace vx::host {

// The calculation-enumerator classes an extension registered, by function name.
class ExtensionEnumerators {
public:
    explicit ExtensionEnumerators(const std::vector<IUnknown*>& classObjects);
    ~ExtensionEnumerators();
    ExtensionEnumerators(const ExtensionEnumerators&) = delete;
    ExtensionEnumerators& operator=(const ExtensionEnumerators&) = delete;

    struct Entry {
        calc::EnumeratorClass description;
        ICalcEnumClass2* classObject; // held
    };
    // The class of a function name (any case), or null.
    const Entry* Find(const std::wstring& functionName) const;
    const std::vector<Entry>& Entries() const { return mEntries; }
    const std::vector<IUnknown*>& ClassObjects() const { return mObjects; }

private:
    std::vector<Entry> mEntries;
    std::vector<IUnknown*> mObjects; // held
};

// The ticks a growing record must hold beyond a position before the events there count as
// settled (the look-ahead of the host's event functions is well below this).
constexpr double kSettleSeconds = 2.0;

// Serves the record-data factory and the formula calculation class under their class keys.
// While it exists, the framework hands them to whoever asks (the extension's self-tests).
class SyntheticRecordingHost {
public:
    // Keys from the framework's type registry; the enumerators of `classObjects` become
    // callable in formulas.
    SyntheticRecordingHost(ITypeIdRegistry* types, const std::vector<IUnknown*>& classObjects);
    ~SyntheticRecordingHost();
    SyntheticRecordingHost(const SyntheticRecordingHost&) = delete;
    SyntheticRecordingHost& operator=(const SyntheticRecordingHost&) = delete;

    DWORD RecordDataFactoryKey() const { return mFactoryKey; }
    DWORD FormulaCalcKey() const { return mCalcKey; }
    HRESULT Create(DWORD classKey, REFIID iid, void** out);

    // New, empty record data (IHostRecordData and the recording sink), with one reference.
    IUnknown* NewRecordData();

private:
    std::shared_ptr<const ExtensionEnumerators> mEnumerators;
    IUnknown* mFactory = nullptr; // not counted: it and the class live as long as the process
    IUnknown* mCalcClass = nullptr;
    DWORD mFactoryKey = 0;
    DWORD mCalcKey = 0;
};

} // namespace vx::host
