#include "controls/ValidatingEdit.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iomanip>

#include "controls/ErrorProvider.h"
#include "foundation/FormatStream.h"
#include "foundation/LocaleInfo.h"
#include "foundation/ResString.h"
#include "foundation/StringStream.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Input.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"

namespace KELControls {

namespace {

std::atomic<wchar_t> gSeparator { 0 };

constexpr std::size_t kReadLimit = 29;

// The text with the given separator turned into the '.' that the C library reads (the classic
// locale is the process's own), so "1,5" with ',' reads as 1.5, and a '.' that is not the
// separator stops the number.
std::wstring ToClassic(const std::wstring& text, wchar_t separator)
{
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c == separator)
            c = L'.';
        else if (c == L'.')
            c = L'\x1'; // not a number character
    }
    return out;
}

std::wstring FromClassic(std::wstring text, wchar_t separator)
{
    for (wchar_t& c : text)
        if (c == L'.')
            c = separator;
    return text;
}

const KEL::String& HostString(UINT id)
{
    // Each text is loaded once from the host executable's table.
    static const KEL::String range = KEL::GetResString(nullptr, kRangeErrorText, true);
    static const KEL::String title = KEL::GetResString(nullptr, kInvalidValueTitle, true);
    static const KEL::String message = KEL::GetResString(nullptr, kValueRangeText, true);
    switch (id) {
    case kRangeErrorText:
        return range;
    case kInvalidValueTitle:
        return title;
    default:
        return message;
    }
}

template <class T> std::wstring FormatRange(UINT id, T lower, T upper)
{
    KEL::OFormatStringStream stream(HostString(id));
    stream << lower << upper;
    return std::wstring(stream.Str().View());
}

void ShowRangeMessage(const std::wstring& text)
{
    const vx::ui::Application& app = vx::ui::GetApplication();
    HWND owner = app.mainWindow ? vx::ui::GetLastActivePopup(app.mainWindow) : vx::ui::GetActiveWindow();
    vx::ui::MessageBox(owner, text, app.name, app.mainWindow ? 0x30 : 0x2030);
}

// Fills the marker with the range message and shows it.
void ShowOnProvider(ErrorProvider& provider, const std::wstring& message)
{
    provider.SetTitle(std::wstring(HostString(kInvalidValueTitle).View()));
    provider.SetMessage(message);
    vx::ui::ShowWindow(provider.GetHandle(), vx::ui::SW_SHOW);
}

bool IsNumberCharacter(wchar_t c, wchar_t separator)
{
    return c == L'-' || c == L'+' || c == L'e' || c == L'E' || (c >= L'0' && c <= L'9') || c == separator;
}

} // namespace

wchar_t DecimalSeparator()
{
    const wchar_t set = gSeparator.load();
    if (set)
        return set;
    const wchar_t user = KEL::LocaleInfo::Build().mDecimalSeparator[0];
    return user ? user : L'.';
}

void SetDecimalSeparator(wchar_t separator)
{
    gSeparator = separator;
}

bool ParseDouble(const std::wstring& text, wchar_t separator, double* value)
{
    const std::wstring classic = ToClassic(text, separator);
    if (classic.empty())
        return false;
    wchar_t* end = nullptr;
    const double v = std::wcstod(classic.c_str(), &end);
    if (end == classic.c_str() || *end != L'\0')
        return false;
    if (value)
        *value = v;
    return true;
}

double ParseDoublePrefix(const std::wstring& text, wchar_t separator)
{
    const std::wstring classic = ToClassic(text, separator);
    return std::wcstod(classic.c_str(), nullptr);
}

// ---- Validators ---------------------------------------------------------------------------------

FltRangeValidator::FltRangeValidator(double upper, double lower)
    : mUpper(upper)
    , mLower(lower)
{
}

bool FltRangeValidator::IsValidInput(wchar_t character) const
{
    return IsNumberCharacter(character, DecimalSeparator());
}

bool FltRangeValidator::IsValid(const std::wstring& text) const
{
    const wchar_t separator = DecimalSeparator();
    for (wchar_t c : text)
        if (!IsNumberCharacter(c, separator))
            return false;
    double v = 0;
    if (!ParseDouble(text, separator, &v))
        return false;
    return mLower <= v && v <= mUpper;
}

void FltRangeValidator::Error(HWND)
{
    ShowRangeMessage(FormatRange(kRangeErrorText, mLower, mUpper));
}

std::size_t FltRangeValidator::Transfer(std::wstring& text, void* buffer, TransferDirection direction)
{
    if (!(Options() & voTransfer))
        return 0;
    if (direction == TransferDirection::GetData) {
        *static_cast<double*>(buffer) = ParseDoublePrefix(text, DecimalSeparator());
    } else {
        wchar_t out[64];
        std::swprintf(out, 64, L"%lg", *static_cast<const double*>(buffer));
        text = FromClassic(out, DecimalSeparator());
    }
    return sizeof(double);
}

KELRangeValidator::KELRangeValidator(long min, long max)
    : mMin(min)
    , mMax(max)
{
}

bool KELRangeValidator::IsValidInput(wchar_t character) const
{
    return character == L'-' || character == L'+' || (character >= L'0' && character <= L'9');
}

bool KELRangeValidator::IsValid(const std::wstring& text) const
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long v = std::wcstol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != L'\0' || errno == ERANGE)
        return false;
    return mMin <= v && v <= mMax;
}

void KELRangeValidator::Error(HWND)
{
    ShowRangeMessage(FormatRange(kRangeErrorText, mMin, mMax));
}

std::size_t KELRangeValidator::Transfer(std::wstring& text, void* buffer, TransferDirection direction)
{
    if (!(Options() & voTransfer))
        return 0;
    if (direction == TransferDirection::GetData)
        *static_cast<long*>(buffer) = std::wcstol(text.c_str(), nullptr, 10);
    else
        text = std::to_wstring(*static_cast<const long*>(buffer));
    return sizeof(long);
}

FltRangeValidatorErrProv::FltRangeValidatorErrProv(double upper, double lower, ErrorProvider* provider)
    : FltRangeValidator(upper, lower)
    , mProvider(provider)
{
}

void FltRangeValidatorErrProv::Error(HWND owner)
{
    if (!mProvider)
        return FltRangeValidator::Error(owner);
    ShowOnProvider(*mProvider, FormatRange(kValueRangeText, Lower(), Upper()));
}

LongRangeValidatorErrProv::LongRangeValidatorErrProv(long min, long max, ErrorProvider* provider)
    : KELRangeValidator(min, max)
    , mProvider(provider)
{
}

void LongRangeValidatorErrProv::Error(HWND owner)
{
    if (!mProvider)
        return KELRangeValidator::Error(owner);
    ShowOnProvider(*mProvider, FormatRange(kValueRangeText, Min(), Max()));
}

// ---- Edits ----------------------------------------------------------------------------------------

ValidatingEdit::ValidatingEdit(HWND parent, int id)
    : mParent(parent)
{
    Attach(vx::ui::GetDlgItem(parent, id));
    if (GetHandle())
        vx::ui::SendMessage(GetHandle(), vx::ui::EM_LIMITTEXT, 255, 0);
}

ValidatingEdit::~ValidatingEdit() = default;

void ValidatingEdit::SetErrorProvider(ErrorProvider* provider)
{
    mErrorProvider = provider;
}

std::wstring ValidatingEdit::GetText() const
{
    return GetHandle() ? vx::ui::GetWindowText(GetHandle()) : std::wstring();
}

void ValidatingEdit::SetText(const std::wstring& text)
{
    if (GetHandle())
        vx::ui::SetWindowText(GetHandle(), text);
}

std::wstring ValidatingEdit::ReadText() const
{
    return GetText().substr(0, kReadLimit);
}

bool ValidatingEdit::Validate()
{
    if (!mValidator || mValidator->IsValid(GetText()))
        return true;
    if (GetHandle())
        vx::ui::SendMessage(GetHandle(), vx::ui::WM_CHILDINVALID, 0, 0);
    return false;
}

LRESULT ValidatingEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case vx::ui::WM_CHAR:
        EvChar(wParam, lParam);
        return 0;
    case vx::ui::WM_CHILDINVALID:
        // With a provider the marker already tells the user.
        if (!mErrorProvider && mValidator) {
            mValidator->Error(mParent);
            vx::ui::SetFocus(GetHandle());
        }
        return 0;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

void ValidatingEdit::EvChar(WPARAM wParam, LPARAM lParam)
{
    const auto c = static_cast<wchar_t>(wParam);
    // The validator's filter: characters outside its set never reach the text.
    if (c >= 0x20 && mValidator && !mValidator->IsValidInput(c))
        return;
    DefaultProc(vx::ui::WM_CHAR, wParam, lParam);
    if (!mErrorProvider || !GetHandle())
        return;
    if (IsValidNumber() && mValidator && mValidator->IsValid(GetText())) {
        mErrorProvider->SetTitle(L"");
        mErrorProvider->SetMessage(L"");
        vx::ui::ShowWindow(mErrorProvider->GetHandle(), vx::ui::SW_HIDE);
    } else if (mValidator) {
        mValidator->Error(nullptr);
    }
}

DoubleEdit::DoubleEdit(HWND parent, int id, double lower, double upper)
    : ValidatingEdit(parent, id)
{
    SetValidator(std::make_unique<FltRangeValidator>(upper, lower));
}

bool DoubleEdit::IsValidNumber() const
{
    return ParseDouble(ReadText(), DecimalSeparator(), nullptr);
}

void DoubleEdit::SetErrorProvider(ErrorProvider* provider)
{
    mErrorProvider = provider;
    const auto* current = dynamic_cast<FltRangeValidator*>(mValidator.get());
    const double upper = current ? current->Upper() : 0;
    const double lower = current ? current->Lower() : 0;
    if (provider)
        SetValidator(std::make_unique<FltRangeValidatorErrProv>(upper, lower, provider));
    else
        SetValidator(std::make_unique<FltRangeValidator>(upper, lower));
}

double DoubleEdit::GetValue() const
{
    const double v = ParseDoublePrefix(ReadText(), DecimalSeparator());
    if (v == 0)
        return 0;
    const int p = precision < 1 ? 9 : precision;
    const double k = std::floor(std::log10(std::fabs(v)) + 0.5);
    const double s = std::pow(10.0, p - k);
    const double scaled = s * v;
    // Near the ends of the double range the scale overflows or the product does: the value
    // itself is the best answer.
    if (!std::isfinite(s) || !std::isfinite(scaled) || s == 0)
        return v;
    const double rounded = std::floor(scaled + 0.5) / s;
    return std::isfinite(rounded) ? rounded : v;
}

void DoubleEdit::SetValue(double value)
{
    KEL::OStringStream stream;
    stream << std::setprecision(precision < 1 ? 9 : precision);
    if (fixed)
        stream << std::fixed << std::showpoint;
    stream << value;
    SetText(FromClassic(std::wstring(stream.Str().View()), DecimalSeparator()));
}

IntEdit::IntEdit(HWND parent, int id, long lower, long upper)
    : ValidatingEdit(parent, id)
{
    SetValidator(std::make_unique<KELRangeValidator>(lower, upper));
    if (GetHandle()) {
        const auto style = vx::ui::GetWindowLongPtr(GetHandle(), vx::ui::GWL_STYLE);
        vx::ui::SetWindowLongPtr(GetHandle(), vx::ui::GWL_STYLE, style | vx::ui::ES_NUMBER);
    }
}

bool IntEdit::IsValidNumber() const
{
    const std::wstring text = ReadText();
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    std::wcstol(text.c_str(), &end, 10);
    return end != text.c_str() && *end == L'\0';
}

void IntEdit::SetErrorProvider(ErrorProvider* provider)
{
    mErrorProvider = provider;
    const auto* current = dynamic_cast<KELRangeValidator*>(mValidator.get());
    const long min = current ? current->Min() : 0;
    const long max = current ? current->Max() : 0;
    if (provider)
        SetValidator(std::make_unique<LongRangeValidatorErrProv>(min, max, provider));
    else
        SetValidator(std::make_unique<KELRangeValidator>(min, max));
}

} // namespace KELControls
