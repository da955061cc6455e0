#pragma once
// The settings dialog and the channel-calculation dialog without windows: each runs through a
// dialog service that the host answers (from its options, or a test's script), with the same
// contract as the windowed dialogs: the settings dialog edits a working copy in place and
// returns 1 for OK; the calculation dialog returns 2 when cancelled and otherwise has written
// the chosen measure and the guide-line choice.
#include <cstdint>
#include <string>
#include <vector>

#include "hostframework/interfaces/AnalysisHostInterfaces.h"
#include "hrv/core/Settings.h"

namespace HRV {

// The settings dialog: the host's dialog service answers it through the dialog's settings editor,
// which sets the working settings by name and refuses what lies outside a field's range. OK
// stores swapped minimum and maximum entries in order; working settings that are still not valid
// then are not taken: the dialog tells the user why through the host's message box and ends as
// cancelled.
class SettingsDialog final : public ISettingsEditor {
public:
    SettingsDialog(std::vector<std::wstring> channelTitles, Settings& working, IDialogService* service,
        IDocumentHost* host = nullptr);
    // 1 when confirmed with OK and valid; 2 (cancel) without a dialog service.
    int Execute();

    const std::vector<std::wstring>& ChannelTitles() const { return mTitles; }
    Settings& Working() { return mWorking; }

    // ISettingsEditor. The dialog lives on its caller's stack for the time it runs: the counts
    // do not own it.
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetChannelCount(DWORD* count) override;
    HRESULT GetChannelTitle(DWORD index, BSTR* title) override;
    // Choosing a species in the dialog applies its preset to the working settings.
    HRESULT SelectSpecies(LONG index) override;
    HRESULT SetValue(const wchar_t* name, const wchar_t* text, BSTR* error) override;
    HRESULT GetValue(const wchar_t* name, BSTR* text) override;

private:
    std::vector<std::wstring> mTitles;
    Settings& mWorking;
    IDialogService* mService;
    IDocumentHost* mHost;
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
