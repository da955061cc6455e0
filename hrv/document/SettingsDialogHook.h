#pragma once
// The settings command's one need of the user interface: a dialog that edits the settings it is
// given. The dialogs live above the document (hrv_ui/), which hands the document the function
// that runs its settings dialog; the module does so as it registers its classes.
#include <string>
#include <vector>

#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hrv/core/Settings.h"
#include "ui/Messages.h"

namespace HRV {

// Runs the settings dialog, modal over `parent`, on `settings` (a copy of the document's) with the
// source channels' titles; the host's dialog service (may be null) can drive it field by field.
// True when it was confirmed with OK and the settings hold the values taken.
using SettingsDialogRunner = bool (*)(vx::ui::HWND parent, std::vector<std::wstring> channelTitles, Settings& settings,
    IDialogService* service, IDocumentHost* host);

// The runner the settings command uses from now on; null (as before any is given) leaves the
// command without a dialog: it then changes nothing and says so on the diagnostic line.
void SetSettingsDialog(SettingsDialogRunner runner);
SettingsDialogRunner GetSettingsDialog();

} // namespace HRV
