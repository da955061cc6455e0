#pragma once
// The settings dialog and the channel-calculation dialog without windows: each runs through a
// dialog service that the host answers (from its options, or a test's script), with the same
// contract as the windowed dialogs: the settings dialog edits a working copy in place and
// returns 1 for OK; the calculation dialog returns 2 when cancelled and otherwise has written
// the chosen measure and the guide-line choice.
#include <cstdint>
#include <string>
#include <vector>

#include "hrv/core/Settings.h"

namespace HRV {

class SettingsDialog;

// What the calculation dialog edits: the measure shown by a channel and whether guide lines
// are drawn for it.
struct CalculationChoice {
    int32_t mParameter = 0;
    bool mSetGuideLines = false;
};

class IDialogService {
public:
    virtual ~IDialogService() = default;
    // Runs the settings dialog: the answer edits dialog.Working() (species through
    // dialog.SelectSpecies) and returns the dialog's result.
    virtual int RunSettings(SettingsDialog& dialog) = 0;
    // Runs the calculation dialog on `choice`; 2 for cancel, anything else for OK with `choice`
    // holding the answer.
    virtual int RunCalculation(std::uintptr_t helpContext, CalculationChoice& choice) = 0;
};

class SettingsDialog {
public:
    SettingsDialog(std::vector<std::wstring> channelTitles, Settings& working, IDialogService* service);
    // 1 when confirmed with OK; 2 (cancel) without a dialog service.
    int Execute();

    const std::vector<std::wstring>& ChannelTitles() const { return mTitles; }
    Settings& Working() { return mWorking; }
    // Choosing a species in the dialog applies its preset to the working settings.
    bool SelectSpecies(int32_t index) { return mWorking.ApplySpeciesPreset(index); }

private:
    std::vector<std::wstring> mTitles;
    Settings& mWorking;
    IDialogService* mService;
};

// The "HRV Calculations" dialog; its help topic is "HRV_Calculations" in "HRVHelp".
class Dialog {
public:
    static constexpr const wchar_t* kHelpFile = L"HRVHelp";
    static constexpr const wchar_t* kHelpTopic = L"HRV_Calculations";

    Dialog(std::uintptr_t helpContext, CalculationChoice& settings, IDialogService* service);
    // 2 when cancelled (also without a dialog service); otherwise the settings given to the
    // constructor hold the chosen measure and guide-line choice. A cancel leaves them untouched.
    int Execute();

private:
    std::uintptr_t mHelpContext;
    CalculationChoice& mSettings;
    IDialogService* mService;
};

} // namespace HRV
