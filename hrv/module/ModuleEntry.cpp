#include "hrv/module/ModuleEntry.h"

#include <cstdio>
#include <string>

#include "hostframework/commands/HostCommands.h"
#include "hostframework/docview/CAFDocument.h"
#include "hostframework/services/CafFrameWork.h"
#include "hrv/analysis/Enumerators.h"
#include "hrv/core/ModuleObjects.h"
#include "hrv/datapad/ClassObjects.h"
#include "hrv/document/Document.h"
#include "hrv/document/NamedMessages.h"
#include "hrv/eventdraw/FiducialEventDraw.h"
#include "hrv/module/ChannelCalc.h"
#include "hrv/module/RRExport.h"
#include "hrv/module/ReportViewClass.h"
#include "hrv/module/ViewClasses.h"
#include "hrv_ui/Dialogs.h"
#include "log/Log.h"
#include "selftest/HRVSelfTests.h"

namespace HRV {
namespace {

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string Utf8(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// The text in double quotes.
std::string Quoted(const wchar_t* text)
{
    std::string out = "\"";
    out += Utf8(text);
    out += '"';
    return out;
}

// Hands a class object to the host; a refusal is reported, never fatal.
void Register(IHostClassObject* classes, IUnknown* object, const std::string& what)
{
    object->AddRef();
    const HRESULT hr = classes ? classes->RegisterClassObject(object) : E_POINTER;
    object->Release();
    if (FAILED(hr))
        vx::log::WriteLine("HRV: the host refused the class object " + what + " (" + Hex(hr) + ")");
}

ModuleClassObjects ModuleObjects()
{
    ModuleClassObjects objects;
    auto& classes = DataPadFunctionClasses();
    for (std::size_t i = 0; i < classes.size(); ++i)
        objects.dataPadFunctions[i] = classes[i];
    objects.calculationSettings = &ChannelCalcClass().Settings();
    objects.calculation = &ChannelCalcClass();
    return objects;
}

} // namespace

HRESULT RegisterModuleClassObjects(IUnknown* host)
{
    if (!host)
        return E_FAIL;
    const HRESULT hr = RegisterModuleClassObjectsWith(
        ObjectFactoryAccessor::Get(), CAFFrameWork::GetMessageFactory(), CAFFrameWork::GetTypeIdRegistry());
    // Last, the built-in self-test for the host's test runner.
    RegisterSelfTests(CAFFrameWork::GetUnitTestRegistry());
    return hr;
}

HRESULT RegisterModuleClassObjectsWith(IHostClassObject* classes, IMessageFactory* messages, ITypeIdRegistry* types)
{
    RegistrationLists& lists = ModuleLists();
    static const bool linked = (lists = RegistrationLists::Link(ModuleObjects()), true);
    (void)linked;

    for (LinkedClassObject* node = lists.selfRegistration; node; node = node->Next()) {
        IUnknown* object = node->ClassObjectInterface();
        std::string what = "(self-registered)";
        if (auto* function = dynamic_cast<DataPadFuncClass*>(node))
            what = Quoted(function->Desc().id);
        Register(classes, object, what);
    }
    // The named messages, last built first, as a list of static objects pushed at its head
    // would give them.
    const auto& named = NamedMessageClasses();
    for (auto it = named.rbegin(); it != named.rend(); ++it) {
        const HRESULT hr
            = messages ? messages->RegisterMessageClass(0, static_cast<IMsgIdMessageClassObject*>(*it)) : E_POINTER;
        if (FAILED(hr))
            vx::log::WriteLine("HRV: the host refused the message class " + Hex(HRESULT((*it)->MessageId() & 0xFFFF))
                + " (" + Hex(hr) + ")");
    }
    // The document's settings command runs the settings dialog of the user interface.
    InstallSettingsDialog();
    // The document class: the host opens the HRV document of a recording through it. Its value
    // is the host's category of documents the class belongs to.
    static constexpr GUID kDocumentCategory = vx::com::MakeGuid("{D6F52E84-B34D-11D3-80C7-005004AD3C53}");
    Register(classes,
        static_cast<ICustomDocClass*>(new CAFDocumentClass<Document>(KEL::String(L"HRV2 Document"),
            reinterpret_cast<std::uintptr_t>(&kDocumentCategory), &GUID_HRVDocumentObj,
            DWORD(HostTypeIndex(GUID_HRVDocumentObj)) << 16, 1, 0)),
        "\"HRV2 Document\"");

    WORD enumIndex = 0;
    if (types)
        if (FAILED(types->GetTypeIndex(GUID_HRVEnumObj, &enumIndex)))
            enumIndex = 0;
    const std::pair<EnumeratorClassObject*, const char*> enums[] = {
        { &FiducialEnumClass(), "\"HRVFiducialEnum\"" },
        { &SelectorEnumClass(), "\"HRVSelectorEnum\"" },
    };
    for (const auto& [c, name] : enums) {
        c->SetTypeIndex(enumIndex);
        Register(classes, static_cast<ICalcEnumClass2*>(c), name);
    }

    // The beat event-draw class, handed over through its class-object interface; the host owns
    // it from here (a refused one is freed at once).
    Register(classes, CreateFiducialEventDrawClass(), "\"PkStimEventDrawClass\"");

    for (const ViewClassDesc& desc : ViewClassTable()) {
        // The report's class also makes the report without a window.
        auto* view = desc.number == 0 ? new ReportViewClass(desc) : new ViewClass(desc);
        Register(classes, static_cast<IDocViewClass*>(view), Quoted(desc.name));
    }

    // Not linked into the module's list: the host holds it, and a list node freed by the host
    // would dangle if the host registered the module again.
    auto* save = new RRIntervalSaveClassObject;
    Register(classes, static_cast<ICAFClassObject*>(save), "\"HRV RR Interval Text File\"");
    return S_OK;
}

} // namespace HRV
