#include "hrv/document/Dialogs.h"

#include <utility>

namespace HRV {

SettingsDialog::SettingsDialog(std::vector<std::wstring> channelTitles, Settings& working, IDialogService* service)
    : mTitles(std::move(channelTitles))
    , mWorking(working)
    , mService(service)
{
}

int SettingsDialog::Execute()
{
    return mService ? mService->RunSettings(*this) : 2;
}

Dialog::Dialog(std::uintptr_t helpContext, CalculationChoice& settings, IDialogService* service)
    : mHelpContext(helpContext)
    , mSettings(settings)
    , mService(service)
{
}

int Dialog::Execute()
{
    if (!mService)
        return 2;
    // The dialog works on its own copy, so a cancel leaves the caller's settings as they were.
    CalculationChoice working = mSettings;
    const int result = mService->RunCalculation(mHelpContext, working);
    if (result != 2)
        mSettings = working;
    return result;
}

} // namespace HRV
