#include "varnex/cli/ReportFile.h"

#include <fstream>

#include "foundation/String.h"
#include "foundation/Utf.h"
#include "hostframework/interfaces/ReportInterfaces.h"

namespace varnex {

std::string WriteReportFile(const std::vector<IUnknown*>& classObjects, IUnknown* hostDocument, const std::string& file)
{
    IReportSource* source = nullptr;
    for (IUnknown* c : classObjects) {
        void* out = nullptr;
        if (c && SUCCEEDED(c->QueryInterface(IReportSource::kIid, &out)) && out) {
            source = static_cast<IReportSource*>(out);
            break;
        }
    }
    if (!source)
        return "the extension offers no HRV report";
    IKELString* rep = nullptr;
    const HRESULT hr = source->GetReport(hostDocument, &rep);
    source->Release();
    KEL::String text;
    text.AssignRep(rep);
    if (FAILED(hr))
        return "the extension cannot make the HRV report";
    const std::string utf8 = KEL::Utf16ToUtf8(text.c_str(), text.Length());
    // S_FALSE: no page, only the sentence that says why.
    if (hr != S_OK)
        return utf8;
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    if (!stream)
        return "cannot write " + file;
    stream.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    stream.close();
    if (stream.fail())
        return "cannot write " + file;
    return {};
}

} // namespace varnex
