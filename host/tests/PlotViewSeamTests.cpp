// The spectrum view of the real extension, opened by the host in a frame of its own over the fake
// web view: dragging the LF/HF boundary in the page re-analyses, and the data pad's LF/HF follows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "caf/CafHost.h"
#include "caf/Documents.h"
#include "com/Ref.h"
#include "foundation/String.h"
#include "host/hrvdoc/HrvDataPadHost.h"
#include "host/hrvdoc/HrvHostDocument.h"
#include "host/recording/Import.h"
#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hostframework/interfaces/DataPadHostInterfaces.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/TickPosition.h"
#include "varnex/startup/ExtensionLoader.h"
#include "varnex/views/ViewFrames.h"
#include "webview/FakeWebView.h"

namespace {

using vx::com::Query;

std::wstring Take(IKELString* rep)
{
    KEL::String s;
    s.AssignRep(rep);
    return s.ToWString();
}

} // namespace

TEST(PlotViewSeam, DraggingTheLfHfBoundaryReanalysesAndTheDataPadFollows)
{
    varnex::HostFramework framework(varnex::FrameworkSource::Host);
    ASSERT_EQ(framework.Result(), S_OK);
    caf::SetApplicationFlag(L"kel\\application\\visible", false);
    std::string error;
    auto extension = varnex::Extension::Load(HRV_EXTENSION_PATH, error);
    ASSERT_TRUE(extension) << error;
    ASSERT_EQ(extension->RegisterClassObjects(framework.Object()), S_OK);
    std::vector<IUnknown*> classObjects;
    for (const caf::Registration& r : caf::Registrations())
        if (r.kind == caf::Registration::Kind::ClassObject)
            classObjects.push_back(r.object);

    vx::webview::FakeEngine engine;
    {
        auto recording = std::make_shared<vx::host::Recording>(vx::host::ImportWfdb(VX_SAMPLE_RECORD, {}));
        vx::host::HrvHostDocument host(recording, {});
        host.RegisterEnumerators(classObjects);
        auto* hostObject = new vx::host::HrvHostDocumentObject(host);
        auto* recordingDocument = new caf::HostDocument(L"100", static_cast<HRV::IDataPadSource*>(hostObject));
        recordingDocument->AddRef();
        HRESULT hr = E_FAIL;
        ICustomDocument2* document = recordingDocument->OpenDocument(HRV::GUID_HRVDocumentObj, 0, &hr);
        ASSERT_NE(document, nullptr);
        const auto commands = Query<ICAFCommandHandler>(document);
        ASSERT_TRUE(commands);
        WORD typeIndex = 0, copyType = 0;
        if (const auto types = Query<ITypeIdRegistry>(framework.Object())) {
            types->GetTypeIndex(HRV::GUID_HRVDocumentObj, &typeIndex);
            types->GetTypeIndex(vx::com::MakeGuid("{62B62191-A1AD-4304-A362-A926FFAF0819}"), &copyType);
        }
        const DWORD classKey = DWORD(typeIndex) << 16;
        hostObject->AttachChild(classKey, document);
        host.Attach(document);
        ASSERT_EQ(commands->OnCommand(classKey | 18), S_OK); // HRV|Analyse

        // The data pad's LF/HF over the whole record, as the host's data pad asks it.
        auto lfhf = [&]() {
            for (IUnknown* c : classObjects) {
                const auto f = Query<HRV::IDataPadFunctionClass2>(c);
                if (!f)
                    continue;
                IKELString* id = nullptr;
                f->GetIdText(&id);
                if (Take(id) != L"LFHFRatio")
                    continue;
                vx::com::Ref<IUnknown> function;
                f->CreateFunction(static_cast<HRV::IDataPadSource*>(hostObject), 0, nullptr, function.Put());
                const auto data = Query<IKELDataFunction>(function.Get());
                if (!data)
                    return std::nan("");
                const vx::hf::SourceDescriptor own {};
                const HRV::Position end = host.DataEnd();
                VARIANT value;
                VariantInit(&value);
                data->SetDataAccess(hostObject->DataAccess());
                data->SetRange(
                    &own, vx::hf::MakeTickPosition(0, 0), vx::hf::MakeTickPosition(end.mRecord, end.mOffset));
                data->GetValue(0, 0, &value);
                return value.vt == VT_R8 ? value.dblVal : std::nan("");
            }
            return std::nan("");
        };
        const double before = lfhf();
        ASSERT_TRUE(std::isfinite(before));

        {
            varnex::ViewFrames frames(classObjects, document);
            frames.SetPlotCopyCommand(DWORD(copyType) << 16);
            host.options.updated = [&frames](DWORD id, DWORD code) { frames.DeliverUpdate(id, code); };
            DWORD spectrumClass = 0;
            for (IUnknown* c : classObjects)
                if (const auto v = Query<IDocViewClass>(c)) {
                    IKELString* name = nullptr;
                    DWORD id = 0;
                    if (SUCCEEDED(v->GetName(&name)) && Take(name) == L"HRV Spectrum View"
                        && SUCCEEDED(v->GetClassId(&id)))
                        spectrumClass = id;
                }
            ASSERT_EQ(frames.Open(spectrumClass), S_OK);
            vx::webview::FakeWebView* page = engine.Last();
            ASSERT_NE(page, nullptr);
            const std::size_t scripts = page->evaluated.size();
            // The user drags the LF/HF boundary from 0.15 Hz to 0.25 Hz.
            page->Call("etch_proxy_VLinesDragged", R"(["spectrum_freq_bands", [0.0033, 0.04, 0.04, 0.25, 0.25, 0.4]])");
            // The re-analysis reached the view, which sent the page new markup.
            EXPECT_GT(page->evaluated.size(), scripts);
            EXPECT_NE(page->evaluated.back().find("[0.04, 0.25], [0.25, 0.4]"), std::string::npos)
                << page->evaluated.back();
            // Edit|Copy reaches the page as the plot's copy.
            EXPECT_EQ(frames.RunMenuCommand(varnex::ViewFrames::MenuCommand::Copy), S_OK);
            EXPECT_EQ(page->evaluated.back(), "etch.get_plot('local').copy('copy');");
            host.options.updated = nullptr;
        }
        const double after = lfhf();
        EXPECT_GT(after, before);

        host.Detach();
        hostObject->DetachChildren();
        recordingDocument->Release();
        hostObject->Release();
    }
    caf::ReleaseRegistrations();
}
