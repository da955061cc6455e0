#pragma once
// The HRV parameters of the host's data pad: one function object per cell. Each analyses the
// cell's own region with the settings of the recording's HRV document (its detector, normal-beat
// box, bands) and an analysis engine of its own, and reports one measure of that analysis.
#include <array>
#include <cstdint>
#include <string_view>

#include "foundation/String.h"
#include "hostframework/datapad/DataPadFunc.h"
#include "hrv/analysis/AnalysisEngine.h"
#include "hrv/datapad/DataPadHost.h"

namespace HRV {

class Document;

// How an engine value becomes the reported one: seconds to milliseconds (time), seconds squared
// to milliseconds squared (power), or as it is.
enum class ParameterScale { None, Time, Power };
enum class ParameterKind { AnalysisStart, AnalysisEnd, Count, Real };

struct ParameterDesc {
    const wchar_t* id; // the text the host knows the function by
    unsigned stringId; // first string-table entry (display name; +1 description; +2, +3 names)
    const wchar_t* name;
    const wchar_t* description;
    ParameterKind kind;
    ParameterScale scale;
    const wchar_t* unit; // empty: none
    const wchar_t* format;
    double (*real)(const AnalysisEngine&); // kind Real, in engine units
    std::uint32_t (*count)(const AnalysisEngine&); // kind Count
};

// The 27 parameters in the order their class objects are built.
const std::array<ParameterDesc, 27>& ParameterTable();
// The parameter of an id text, or null.
const ParameterDesc* FindParameter(std::wstring_view id);

// The class key under which the host keeps the HRV document of a recording.
DWORD DocumentClassKey();
// The HRV document attached to a host document, without a reference; null when there is none.
Document* FindDocument(IUnknown* hostDocument);

class HRVDPFuncBase final : public ChanDataFuncIfRecordDataMatchesDoc, public IDataFunctionTexts {
public:
    // The class object is not counted; the source (the host document) is held.
    HRVDPFuncBase(IDataPadFuncClass* classObject, const ParameterDesc& desc, IUnknown* source, LONG channel);

    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return ChanDataFuncIfRecordDataMatchesDoc::AddRef(); }
    ULONG Release() override { return ChanDataFuncIfRecordDataMatchesDoc::Release(); }

    HRESULT ReleaseSources() override;
    HRESULT CalculateValue(VARIANT* result) override;
    // IDataFunctionTexts
    HRESULT GetUnitText(IKELString** out) override;
    HRESULT GetFormatText(IKELString** out) override;

    const ParameterDesc& Desc() const { return mDesc; }
    const AnalysisEngine& Engine() const { return mEngine; }
    bool Valid() const { return mValid; }

    // The value of a parameter for an engine state, scaled to its unit: what a cell shows after
    // its analysis. Times (the first two parameters) are not engine values and give VT_EMPTY.
    static void ValueOf(const ParameterDesc& desc, const AnalysisEngine& engine, VARIANT* out);

private:
    ~HRVDPFuncBase() override;
    bool AnalyseRegion();
    HRESULT GetTime(bool end, VARIANT* out);

    const ParameterDesc& mDesc;
    Document* mDocument = nullptr; // held
    AnalysisEngine mEngine;
    bool mValid = false;
};

} // namespace HRV
