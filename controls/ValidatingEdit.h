#pragma once
// Numeric dialog fields: an edit that takes a floating-point number (DoubleEdit) or a whole number
// (IntEdit) and checks it against an inclusive range. A bad entry is reported by a message box
// (the plain validators) or by an error marker beside the field (the validators that report
// through an ErrorProvider). The fields take over the edit controls of a dialog by control id.
#include <memory>
#include <string>

#include "controls/SubclassedWindow.h"
#include "ui/Framework.h"

namespace KELControls {
class ErrorProvider;

// The character the number fields accept and write as the decimal separator: the user's (the
// locale reader's) unless one was set here.
wchar_t DecimalSeparator();
// Replaces the user's separator for the number fields (0 goes back to the user's).
void SetDecimalSeparator(wchar_t separator);

// Resource strings of the host's table used by the validators.
enum ValidatorText : UINT { kRangeErrorText = 20001, kInvalidValueTitle = 22022, kValueRangeText = 22023 };

// The validator protocol of the window system's class library: a character filter for typing, a
// check of the whole text, an error report, and the transfer of the value between the text and a
// buffer.
using Validator = OWL::TValidator;
using TransferDirection = OWL::TValidator::TTransferDirection;

// Text of digits, signs, exponents and the decimal separator; valid when the number read from it
// lies within [lower, upper]. The constructor takes the upper bound first.
class FltRangeValidator : public Validator {
public:
    FltRangeValidator(double upper, double lower);
    bool IsValidInput(wchar_t character) const override;
    bool IsValid(const std::wstring& text) const override;
    // A message box with the range (string 20001).
    void Error(HWND owner) override;
    // A double: GetData reads the text, SetData writes it; 0 without the transfer option.
    std::size_t Transfer(std::wstring& text, void* buffer, TransferDirection direction) override;

    double Upper() const { return mUpper; }
    double Lower() const { return mLower; }

private:
    double mUpper;
    double mLower;
};

class KELRangeValidator : public Validator {
public:
    KELRangeValidator(long min, long max);
    bool IsValidInput(wchar_t character) const override;
    bool IsValid(const std::wstring& text) const override;
    void Error(HWND owner) override;
    std::size_t Transfer(std::wstring& text, void* buffer, TransferDirection direction) override;

    long Min() const { return mMin; }
    long Max() const { return mMax; }

private:
    long mMin;
    long mMax;
};

// Report through the provider: title "Invalid Value" (22022), message "Value must be in range %1 to
// %2." (22023), the provider shown. Without a provider they report as their base.
class FltRangeValidatorErrProv : public FltRangeValidator {
public:
    FltRangeValidatorErrProv(double upper, double lower, ErrorProvider* provider);
    void Error(HWND owner) override;

private:
    ErrorProvider* mProvider;
};

class LongRangeValidatorErrProv : public KELRangeValidator {
public:
    LongRangeValidatorErrProv(long min, long max, ErrorProvider* provider);
    void Error(HWND owner) override;

private:
    ErrorProvider* mProvider;
};

// A number in the text: the whole text, read with the given separator as the decimal point.
// Empty texts, "-", "e", "1e" and texts with anything after the number are not numbers.
bool ParseDouble(const std::wstring& text, wchar_t separator, double* value);
// The longest number at the start of the text (0 when there is none).
double ParseDoublePrefix(const std::wstring& text, wchar_t separator);

class ValidatingEdit : public SubclassedWindow {
public:
    // Takes over the edit `id` of `parent` (a dialog) and limits its text to 255 characters.
    ValidatingEdit(HWND parent, int id);
    ~ValidatingEdit() override;

    // True when the whole text (its first 29 characters) is one number.
    virtual bool IsValidNumber() const = 0;
    virtual void SetErrorProvider(ErrorProvider* provider);
    ErrorProvider* GetErrorProvider() const { return mErrorProvider; }

    Validator* GetValidator() const { return mValidator.get(); }
    void SetValidator(std::unique_ptr<Validator> validator) { mValidator = std::move(validator); }

    std::wstring GetText() const;
    void SetText(const std::wstring& text);
    // The validation of a dialog's OK: true when the text passes the validator; otherwise
    // WM_CHILDINVALID goes to the field, which shows the message box (no provider) or leaves
    // the marker to speak (with a provider).
    bool Validate();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The text as the number readers see it: at most 29 characters.
    std::wstring ReadText() const;

    ErrorProvider* mErrorProvider = nullptr;
    std::unique_ptr<Validator> mValidator;

private:
    void EvChar(WPARAM wParam, LPARAM lParam);
    HWND mParent;
};

class DoubleEdit : public ValidatingEdit {
public:
    DoubleEdit(HWND parent, int id, double lower, double upper);
    bool IsValidNumber() const override;
    void SetErrorProvider(ErrorProvider* provider) override;

    // The text as a number rounded to the precision's significant digits.
    double GetValue() const;
    // Writes the value with the precision (and fixed notation when set).
    void SetValue(double value);

    int precision = 0; // below 1: 9
    bool fixed = false;
};

class IntEdit : public ValidatingEdit {
public:
    IntEdit(HWND parent, int id, long lower, long upper);
    bool IsValidNumber() const override;
    void SetErrorProvider(ErrorProvider* provider) override;
};

} // namespace KELControls
