#pragma once
// XKEL: the exception of the libraries, for failures that cannot be returned as an HRESULT. It
// carries the HRESULT and a readable message, and every construction writes one boot-log line,
// so a failure shows in the diagnostics even when the exception is caught and swallowed.
#include <exception>
#include <string_view>

#include "com/HResult.h"
#include "foundation/String.h"
#include "foundation/base/ExceptionBoundary.h"

class XKEL : public std::exception, public vx::hf::HResultCarrier {
public:
    // The message is the text for the code (KEL::HResultText).
    explicit XKEL(HRESULT code);
    // The message is `text`; unless the code is 0, KEL::kMessageOnly or KEL::kNoText, a line
    // break and the text for the code follow it.
    XKEL(const KEL::String& text, HRESULT code);
    // Copies share the message and write no line.
    XKEL(const XKEL& other) noexcept;
    XKEL& operator=(const XKEL& other) noexcept;
    ~XKEL() override;

    // The message in the thread's ANSI code page (UTF-8 here); valid while the exception lives.
    const char* what() const noexcept override;
    virtual KEL::String GetMessage() const;
    HRESULT GetHResult() const noexcept override { return mCode; }

private:
    HRESULT mCode;
    mutable KEL::String mMessage;
};

namespace KEL {

using ::XKEL;

// The library's own codes: facility 4 (FACILITY_ITF) with the customer bit and bit 0x8000.
constexpr HRESULT kBadStreamString = MakeHResult(0xA0048203u); // a string in a binary stream is bad
constexpr HRESULT kStreamVersionTooNew = MakeHResult(0xA0048205u);
constexpr HRESULT kAlreadyReported = MakeHResult(0xA004820Fu); // the user has been told; no text
constexpr HRESULT kMessageOnly = MakeHResult(0xA0048210u); // the context text says everything
constexpr HRESULT kNoText = MakeHResult(0xA0048211u);

// Whether a code belongs to the library's own range.
constexpr bool IsOwnCode(HRESULT code)
{
    const auto value = static_cast<std::uint32_t>(code);
    return (value & 0x1FFF0000u) == 0x00040000u && (value & 0x20000000u) && (value & 0x8000u);
}

// The string-table id in the host executable that holds the text of an own code, or 0.
UINT OwnCodeTextId(HRESULT code);

// The text for a code: an own code's text from the host's string table (branded), any other the
// system's message, ending in "." without the line end; empty when there is none.
String HResultText(HRESULT code);

// Writes one diagnostic line: "KELBOOTLOG: " and the text, as UTF-8 through the log sink. Line
// breaks inside the text become spaces, so the line stays one line.
void BootLog(std::wstring_view text);
void BootLog(std::string_view utf8);

} // namespace KEL
