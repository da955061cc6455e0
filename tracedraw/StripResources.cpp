#include "tracedraw/StripResources.h"

#include <map>
#include <mutex>

#include "foundation/ResString.h"

// Generated from resources/strips: the pictures, registered for the module given.
void VarnDrawRegisterStripImages(HMODULE module);

namespace VarnDraw {

namespace {

struct StripResources {
    StripResources()
    {
        const HMODULE module = vx::res::ModuleOf(this);
        VarnDrawRegisterStripImages(module);
        vx::res::AddStringTable(module, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
            {
                { kTipStacked, L"Autoscale and stack traces" },
                { kTipOverlaid, L"Autoscale and overlay traces" },
                { kTipSourceOnly, L"Autoscale and show the source trace only" },
                { kTipDocumentView, L"Varn View" },
                { kTipStartSampling, L"Start Sampling" },
                { kTipPauseSampling, L"Pause Sampling" },
                { kTipExpand, L"Expand horizontal scaling" },
                { kTipCompress, L"Compress horizontal scaling" },
                { kTipRatioMenu, L"Set horizontal scaling" },
                { kTipScrollWhileSampling, L"Toggle scroll while sampling on/off" },
                { kTipNoSamplingDevice, L"No %1 available - sampling is disabled" },
                { kTipAutoScaleX, L"Auto-scale horizontally to fit all traces in overlay" },
                { kTextApplicationName, L"VARNFORWINDOWS" },
                { kTextCannotStartSampling, L"Cannot start sampling" },
                { kTipShowLatest, L"Show latest data" },
            });
    }
};
const StripResources kResources;

} // namespace

HMODULE StripModule()
{
    return vx::res::ModuleOf(&kResources);
}

const std::wstring& StripText(UINT id)
{
    static std::mutex mutex;
    static std::map<UINT, std::wstring> texts;
    std::lock_guard lock(mutex);
    auto it = texts.find(id);
    if (it == texts.end())
        it = texts.emplace(id, KEL::GetResString(StripModule(), id, true).ToWString()).first;
    return it->second;
}

} // namespace VarnDraw
