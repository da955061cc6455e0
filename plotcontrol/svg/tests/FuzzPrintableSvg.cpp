// Any text handed over as the plot's SVG is either drawn or refused with an exception; it never
// crashes, hangs or reads out of bounds.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "plotcontrol/svg/PrintableSvgRenderer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4 * 1024 * 1024)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        auto renderer = KEL::RenderPrintableSvg(text, "", L"");
        renderer->GetMetafileHandle();
    } catch (const std::exception&) {
    }
    return 0;
}
