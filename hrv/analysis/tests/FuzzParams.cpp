// Parameter texts of the fiducial and selector enumerators: any text is refused or accepted
// without harm, and an accepted one writes a text that reads back to the same parameters.
#include "hrv/analysis/Enumerators.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

template <class E> void Check(const std::wstring& text)
{
    auto* e = new E("fuzz", nullptr);
    e->AddRef();
    DWORD flags = 0;
    if (e->SetParams(text.c_str(), &flags) == S_OK) {
        BSTR written = nullptr;
        if (e->GetParams(&written) == S_OK && written) {
            const std::wstring again = L"f 2 " + std::wstring(written, SysStringLen(written));
            SysFreeString(written);
            if (e->SetParams(again.c_str(), &flags) != S_OK)
                __builtin_trap(); // what it wrote, it must read
        }
    }
    e->Release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::wstring text;
    for (std::size_t i = 0; i < size; ++i)
        text += static_cast<wchar_t>(data[i]);
    Check<HRV::FiducialEnumerator>(text);
    Check<HRV::SelectorEnumerator>(text);
    return 0;
}
