#pragma once
// The host's dialogs (HRV::IDialogService): the settings dialog, answered from the host's
// options (a scripted answer, the user, or Cancel).
#include "host/hrvdoc/HrvHostState.h"

namespace vx::host {

class DialogServiceSide : public HRV::IDialogService {
public:
    explicit DialogServiceSide(HrvHostState& state)
        : mState(state)
    {
    }
    DialogServiceSide(const DialogServiceSide&) = delete;
    DialogServiceSide& operator=(const DialogServiceSide&) = delete;

    int RunSettings(HRV::ISettingsEditor* settings) override;

private:
    HrvHostState& mState;
};

} // namespace vx::host
