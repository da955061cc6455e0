#include "hrv/document/Menus.h"

#include <map>
#include <mutex>

#include "foundation/ResString.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/core/HRVInterfaces.h"
#include "res/Resource.h"

namespace HRV {

namespace {

// The module's texts for the menu, the analyse command and the online question: each command has
// three consecutive entries, the menu text with its accelerator mark first, then two short forms
// (the text without the mark).
const vx::res::StringTableRegistrar kTexts(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
    {
        { 1, L"HRV" },
        { 5, L"txt" },
        { 6, L"HRV RR Interval Text File" },
        { 7, L"HRV Export RR Interval requires a valid HRV analysis. No data will be saved." },
        { 8, L"HRV Calculation" },
        { 4,
            L"Online data would be discontinuous with the existing analysis region.\r\n"
            L"Do you wish to delete the current analysis region and continue sampling?" },
        { 27, L"HRV" },
        { 30, L"&Settings..." },
        { 31, L"Settings" },
        { 32, L"Settings" },
        { 33, L"&Beat Classifier View" },
        { 34, L"Beat Classifier View" },
        { 35, L"Beat Classifier View" },
        { 36, L"&Report View" },
        { 37, L"Report View" },
        { 38, L"Report View" },
        { 39, L"Analysis Plots" },
        { 40, L"Analysis Plots" },
        { 41, L"Analysis Plots" },
        { 42, L"Analyze" },
        { 43, L"Analyze" },
        { 44, L"Analyze" },
        { 45, L"Tachogram Plot" },
        { 46, L"Tachogram Plot" },
        { 47, L"Tachogram Plot" },
        { 48, L"RR Histogram Plot" },
        { 49, L"RR Histogram Plot" },
        { 50, L"RR Histogram Plot" },
        { 51, L"Delta RR Histogram Plot" },
        { 52, L"Delta RR Histogram Plot" },
        { 53, L"Delta RR Histogram Plot" },
        { 54, L"Poincaré Plot" },
        { 55, L"Poincaré Plot" },
        { 56, L"Poincaré Plot" },
        { 57, L"Power Spectrum Plot" },
        { 58, L"Power Spectrum Plot" },
        { 59, L"Power Spectrum Plot" },
        { 60, L"&Add Beat Marker" },
        { 61, L"Add Beat Marker" },
        { 62, L"Add Beat Marker" },
        { 63, L"&Delete Beat Marker" },
        { 64, L"Delete Beat Marker" },
        { 65, L"Delete Beat Marker" },
        { 66, L"&Show Beat Markers" },
        { 67, L"Show Beat Markers" },
        { 68, L"Show Beat Markers" },
        { 69, L"Classify all Beats as Normal" },
        { 70, L"Classify all Beats as Normal" },
        { 71, L"Classify all Beats as Normal" },
        { 74, L"Analyze &while Sampling" },
        { 75, L"Analyze while Sampling" },
        { 76, L"Analyze while Sampling" },
        { 77, L"Reselect Analyzed Data" },
        { 78, L"Reselect Analyzed Data" },
        { 79, L"Reselect Analyzed Data" },
        { 80, L"Clear Analysis" },
        { 81, L"Clear Analysis" },
        { 82, L"Clear Analysis" },
        { 83, L"Analyze Channel" },
        { 84, L"Analyze Selection" },
    });

DWORD CommandIdOf(DWORD n)
{
    return (DWORD(TypeIndexOf<&GUID_HRVDocumentObj>::Get()) << 16) | n;
}

class Inserter {
public:
    explicit Inserter(HostClassObjectPair& pair, ICommandRegistration* registration)
        : mPair(pair)
        , mRegistration(registration)
    {
    }

    HRESULT Add(HRESULT made, ICAFCommand*& item)
    {
        if (FAILED(made) || !item) {
            Release(item);
            return Note(FAILED(made) ? made : E_FAIL);
        }
        mRegistration->AddCommand(item);
        ICAFCommandPlacement* placement = nullptr;
        if (SUCCEEDED(item->QueryInterface(ICAFCommandPlacement::kIid, reinterpret_cast<void**>(&placement)))
            && placement) {
            DWORD value = 0;
            if (SUCCEEDED(placement->GetPlacement(&value)) && value != 0)
                mPair.flag = 1;
            placement->Release();
        }
        Release(item);
        return S_OK;
    }
    void Separator()
    {
        ICAFCommand* item = nullptr;
        Add(CreateHostSeparator(item, KEL::String(L"HRV|-")), item);
    }
    void Simple(DWORD n, DWORD textId, const wchar_t* path)
    {
        ICAFCommand* item = nullptr;
        Add(CreateHostCommandSimple(item, n ? CommandIdOf(n) : 0, &textId, KEL::String(path)), item);
    }
    void Anchored(DWORD n, DWORD textId, const wchar_t* path, DWORD first, DWORD second, const char* anchor)
    {
        ICAFCommand* item = nullptr;
        Add(CreateHostCommand(item, CommandIdOf(n), &textId, KEL::String(path), HostCommandId {}, first, second,
                KEL::String(std::string(anchor)), KEL::String(L"HRV"), KEL::String()),
            item);
    }
    HRESULT Result() const { return mResult; }

private:
    static void Release(ICAFCommand*& item)
    {
        if (item)
            item->Release();
        item = nullptr;
    }
    HRESULT Note(HRESULT hr)
    {
        if (SUCCEEDED(mResult))
            mResult = hr;
        return hr;
    }

    HostClassObjectPair& mPair;
    ICommandRegistration* mRegistration;
    HRESULT mResult = S_OK;
};

} // namespace

const KEL::String& DocumentText(UINT id)
{
    static std::mutex mutex;
    static std::map<UINT, KEL::String> texts;
    std::lock_guard lock(mutex);
    auto it = texts.find(id);
    if (it == texts.end()) {
        static const int anchor = 0;
        it = texts.emplace(id, KEL::GetResString(vx::res::ModuleOf(&anchor), id, true)).first;
    }
    return it->second;
}

HRESULT InsertDocumentCommands(HostClassObjectPair& pair)
{
    if (!pair.object)
        return E_POINTER;
    ICommandRegistration* registration = nullptr;
    if (FAILED(pair.object->QueryInterface(ICommandRegistration::kIid, reinterpret_cast<void**>(&registration)))
        || !registration)
        return E_NOINTERFACE;
    Inserter menu(pair, registration);

    // The command group: "HRV" as its caption and separator text, style 0x38, order 10000.
    if (IHostCommandFactory* factory = GetHostCommandFactory()) {
        ICAFCommand* group = nullptr;
        const KEL::String hrv(L"HRV");
        menu.Add(factory->CreateGroup(0, 0, hrv.Rep(), 0, 0, 0, hrv.Rep(), 0, 0, 0x38, 0, 0, 10000, &group), group);
    } else {
        ICAFCommand* none = nullptr;
        menu.Add(E_FAIL, none);
    }
    menu.Simple(0, 27, L"HRV^EXTENSION|");
    menu.Anchored(1, 30, L"HRV|Settings", 10, 1003, "settings");
    menu.Separator();
    menu.Anchored(2, 33, L"HRV|ClassifierView", 10, 1006, "window_BPClass");
    menu.Anchored(3, 36, L"HRV|Report", 10, 1007, "Spiro_Report");
    menu.Anchored(4, 39, L"HRV|AnalysisPlots|", 522, 1005, "windows_graphsmenu");
    menu.Simple(5, 45, L"HRV|AnalysisPlots|Tachogram");
    menu.Simple(6, 48, L"HRV|AnalysisPlots|RRHistogram");
    menu.Simple(7, 51, L"HRV|AnalysisPlots|DeltaRRHistogram");
    menu.Simple(8, 54, L"HRV|AnalysisPlots|Poincare");
    menu.Simple(9, 57, L"HRV|AnalysisPlots|Spectrum");
    menu.Separator();
    menu.Simple(10, 60, L"HRV|AddMarker");
    menu.Simple(11, 63, L"HRV|RemoveMarker");
    menu.Simple(12, 66, L"HRV|ShowMarkers");
    menu.Simple(13, 69, L"HRV|AllBeatsNormal");
    menu.Separator();
    menu.Simple(15, 74, L"HRV|OnlineMode");
    menu.Separator();
    menu.Simple(16, 77, L"HRV|Reselect");
    menu.Simple(17, 80, L"HRV|ClearAnalysis");
    menu.Anchored(18, 42, L"HRV|Analyse", 10, 1004, "analyse");
    registration->Release();
    return menu.Result();
}

} // namespace HRV
