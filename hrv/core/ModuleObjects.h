#pragma once
// The objects that belong to the HRV module as a whole: the shared unit texts, the module's
// instance, its string-table titles, and the two lists of class objects that registration hands
// to the host.
//
// The lists are not filled by the constructors of static objects: the order in which static
// objects of different files are built is not something the host's registration order may
// depend on. One function links what exists in the documented order instead.
#include <array>
#include <cstdint>

#include "com/Unknown.h"
#include "foundation/String.h"
#include "res/Resource.h"

namespace HRV {

// Unit texts shared by the parameters, the report, the plots and the channel calculation.
extern const KEL::String kUnitSeconds; // "s"
extern const KEL::String kUnitBPM; // "BPM"
extern const KEL::String kUnitPercent; // "%"
extern const KEL::String kUnitHertz; // "Hz"
extern const KEL::String kUnitSecondsSquared; // "s" and U+00B2

// The module's own instance, set at attach; its resources hold the string table.
void SetModuleInstance(HMODULE module);
HMODULE ModuleInstance();

// String-table titles (product names substituted), loaded from the module on first use.
const KEL::String& ModuleTitle(); // entry 1, "HRV"
const KEL::String& CalculationTitle(); // entry 8, "HRV Calculation"
const KEL::String& RRExportExtension(); // entry 5, "txt"
const KEL::String& RRExportTypeName(); // entry 6, "HRV RR Interval Text File"
const KEL::String& RRExportNoAnalysis(); // entry 7, the export's message without an analysis
// The title, or the fallback where the module's table has none.
KEL::String TitleOr(const KEL::String& title, const wchar_t* fallback);

// A node of a class-object list: the class object answers, through its first operation, the
// interface to hand to the host.
class LinkedClassObject {
public:
    virtual IUnknown* ClassObjectInterface() = 0;
    LinkedClassObject* Next() const noexcept { return mNext; }

protected:
    LinkedClassObject() = default;
    ~LinkedClassObject() = default;

private:
    friend struct RegistrationLists;
    LinkedClassObject* mNext = nullptr;
};

// The ids of the 27 data-pad functions in the order of their table.
inline constexpr std::array<const wchar_t*, 27> kDataPadFunctionIds = {
    L"AnalysisStart",
    L"AnalysisEnd",
    L"TotalCount",
    L"NormalCount",
    L"EctopicCount",
    L"MeanRR",
    L"MedianRR",
    L"SDRR",
    L"CVRR",
    L"MeanRate",
    L"SDRate",
    L"SDSD",
    L"RMSSD",
    L"pNNx",
    L"SD1",
    L"SD2",
    L"SDARR",
    L"TotalPower",
    L"VLFPower",
    L"VLFPowerPercent",
    L"LFPower",
    L"LFPowerPercent",
    L"LFPowerNU",
    L"HFPower",
    L"HFPowerPercent",
    L"HFPowerNU",
    L"LFHFRatio",
};
constexpr std::uint32_t kFirstMessageNumber = 256; // "HRV_Analyze"
constexpr std::size_t kMessageCount = 5; // 256 to 260

// The module's class objects, each null while it does not exist.
struct ModuleClassObjects {
    std::array<LinkedClassObject*, 27> dataPadFunctions {}; // in the order of kDataPadFunctionIds
    LinkedClassObject* calculationSettings = nullptr;
    LinkedClassObject* calculation = nullptr;
    std::array<LinkedClassObject*, kMessageCount> messages {}; // message 256 + index
};

struct RegistrationLists {
    LinkedClassObject* selfRegistration = nullptr;
    LinkedClassObject* messages = nullptr;

    // Links the class objects in the order the host registers them: the data-pad functions from
    // "LFHFRatio" back to "AnalysisStart", then the calculation settings, then the calculation;
    // the messages from 260 down to 256. Missing objects are left out.
    static RegistrationLists Link(const ModuleClassObjects& objects);
    // Pushes a class object built during registration onto the head of the self-registration
    // list (after the list has been walked).
    void PushSelfRegistered(LinkedClassObject* object);
};

// The module's lists, linked once by the registration entry.
RegistrationLists& ModuleLists();

} // namespace HRV
