#include "host/hrvdoc/DialogServiceSide.h"

namespace vx::host {

int DialogServiceSide::RunSettings(HRV::ISettingsEditor* settings)
{
    DWORD channels = 0;
    if (settings)
        settings->GetChannelCount(&channels);
    if (auto* log = mState.Log())
        log->push_back("dialog.settings " + std::to_string(channels));
    if (settings && mState.options.settingsDialog)
        return mState.options.settingsDialog(*settings);
    return mState.options.userAnswersDialogs ? 0 : 2;
}

} // namespace vx::host
