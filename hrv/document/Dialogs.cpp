#include "hrv/document/Dialogs.h"

#include <string>
#include <utility>

namespace HRV {

namespace {

HRESULT GiveText(const std::wstring& text, BSTR* out)
{
    if (!out)
        return S_OK;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

SettingsDialog::SettingsDialog(
    std::vector<std::wstring> channelTitles, Settings& working, IDialogService* service, IDocumentHost* host)
    : mTitles(std::move(channelTitles))
    , mWorking(working)
    , mService(service)
    , mHost(host)
{
}

int SettingsDialog::Execute()
{
    if (!mService)
        return 2;
    const int result = mService->RunSettings(this);
    if (result != 1)
        return result;
    mWorking.OrderPairs();
    std::wstring reason;
    if (mWorking.Validate(&reason)) {
        if (mWorking.mSourceChannel < mTitles.size() || mTitles.empty())
            return 1;
        reason = L"SourceChannel must name one of the " + std::to_wstring(mTitles.size()) + L" channels";
    }
    if (mHost)
        mHost->MessageBox(L"HRV Settings", (L"The settings are not valid: " + reason).c_str(), 0x30, 0);
    return 2;
}

HRESULT SettingsDialog::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IUnknown::kIid || iid == ISettingsEditor::kIid) {
        *out = static_cast<ISettingsEditor*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT SettingsDialog::GetChannelCount(DWORD* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<DWORD>(mTitles.size());
    return S_OK;
}

HRESULT SettingsDialog::GetChannelTitle(DWORD index, BSTR* title)
{
    if (!title)
        return E_POINTER;
    *title = nullptr;
    if (index >= mTitles.size())
        return E_INVALIDARG;
    return GiveText(mTitles[index], title);
}

HRESULT SettingsDialog::SelectSpecies(LONG index)
{
    return mWorking.ApplySpeciesPreset(index) ? S_OK : E_INVALIDARG;
}

HRESULT SettingsDialog::SetValue(const wchar_t* name, const wchar_t* text, BSTR* error)
{
    if (error)
        *error = nullptr;
    if (!name || !text)
        return E_POINTER;
    std::wstring reason;
    bool done = false;
    if (std::wstring_view(name) == L"SourceChannel" && !mTitles.empty()) {
        // A source channel is one of the channels the dialog offers.
        Settings trial;
        trial.CopyFields(mWorking);
        done = trial.SetField(name, text, &reason);
        if (done && trial.mSourceChannel >= mTitles.size()) {
            done = false;
            reason = L"SourceChannel must be from 0 to " + std::to_wstring(mTitles.size() - 1) + L", not " + text;
        }
        if (done)
            mWorking.mSourceChannel = trial.mSourceChannel;
    } else {
        done = mWorking.SetField(name, text, &reason);
    }
    if (done)
        return S_OK;
    GiveText(reason, error);
    return E_INVALIDARG;
}

HRESULT SettingsDialog::GetValue(const wchar_t* name, BSTR* text)
{
    if (!name || !text)
        return E_POINTER;
    *text = nullptr;
    if (!FindSettingsField(name))
        return E_INVALIDARG;
    return GiveText(mWorking.FieldText(name), text);
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
    const int result = mService->RunCalculation(mHelpContext, &working);
    if (result != 2)
        mSettings = working;
    return result;
}

} // namespace HRV
