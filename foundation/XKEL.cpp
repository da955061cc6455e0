#include "foundation/XKEL.h"

#include "foundation/ResString.h"
#include "foundation/Utf.h"
#include "log/Log.h"
#include "text/SystemMessage.h"

namespace KEL {
namespace {

// String-table ids of the own codes' texts, by the low 16 bits from 0x8200 to 0x821E.
constexpr UINT kOwnTextIds[31] = {
    0xE001, 0xE002, 0xE003, 0xE004, 0xE005, 0xE005, 0xE008, 0xE006, 0xE007, 0xE00A, // 8200-8209
    0, 0, 0, 0, 0, 0, 0, 0, // 820A-8211
    0xE00E, // 8212
    0, 0, 0, 0, 0, 0, 0, // 8213-8219
    0xE00F, 0xE010, 0, 0xE011, 0, // 821A-821E
};

constexpr HRESULT kStorageOldDll = MakeHResult(0x80030105u);
constexpr HRESULT kOwnOldDll = MakeHResult(0xA0048205u);

void WriteLogLine(std::string line)
{
    for (char& c : line)
        if (c == '\r' || c == '\n')
            c = ' ';
    vx::log::WriteLine(line);
}

} // namespace

UINT OwnCodeTextId(HRESULT code)
{
    if (code == kStorageOldDll)
        code = kOwnOldDll;
    if (!IsOwnCode(code) || code == kAlreadyReported || code == kMessageOnly || code == kNoText)
        return 0;
    const std::uint32_t low = static_cast<std::uint32_t>(code) & 0xFFFFu;
    return low >= 0x8200 && low <= 0x821E ? kOwnTextIds[low - 0x8200] : 0;
}

String HResultText(HRESULT code)
{
    if (code == kStorageOldDll)
        code = kOwnOldDll;
    String text;
    if (IsOwnCode(code)) {
        if (const UINT id = OwnCodeTextId(code))
            LoadResString(text, nullptr, id, true);
    } else {
        const auto value = static_cast<std::uint32_t>(code);
        const DWORD id = (value & 0x1FFF0000u) == 0x00070000u ? value & 0xFFFFu : value;
        wchar_t buffer[512];
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id, 0x400, buffer, 511, nullptr);
        if (length > 0)
            text = String(std::wstring_view(buffer, length));
    }
    std::wstring_view view = text.View();
    if (view.size() > 1) {
        if (view.ends_with(L"\r\n"))
            view.remove_suffix(2);
        String trimmed(view);
        if (!view.ends_with(L'.'))
            trimmed += L'.';
        return trimmed;
    }
    return text;
}

void BootLog(std::wstring_view text)
{
    WriteLogLine("KELBOOTLOG: " + Utf16ToUtf8(text.data(), text.size()));
}

void BootLog(std::string_view utf8)
{
    WriteLogLine("KELBOOTLOG: " + std::string(utf8));
}

} // namespace KEL

namespace {
void LogException(const KEL::String& message)
{
    KEL::BootLog((L"XKEL: " + message).View());
}
} // namespace

XKEL::XKEL(HRESULT code)
    : mCode(code)
    , mMessage(KEL::HResultText(code))
{
    LogException(mMessage);
}

XKEL::XKEL(const KEL::String& text, HRESULT code)
    : mCode(code)
    , mMessage(text)
{
    if (code != 0 && code != KEL::kMessageOnly && code != KEL::kNoText) {
        const KEL::String codeText = KEL::HResultText(code);
        if (!codeText.IsEmpty()) {
            mMessage += L'\n';
            mMessage += codeText;
        }
    }
    LogException(mMessage);
}

XKEL::XKEL(const XKEL& other) noexcept
    : std::exception(other)
    , mCode(other.mCode)
    , mMessage(other.mMessage)
{
}

XKEL& XKEL::operator=(const XKEL& other) noexcept
{
    std::exception::operator=(other);
    mCode = other.mCode;
    mMessage = other.mMessage;
    return *this;
}

XKEL::~XKEL() = default;

const char* XKEL::what() const noexcept
{
    try {
        mMessage = GetMessage();
        return mMessage.ToThreadACP();
    } catch (...) {
        return "";
    }
}

KEL::String XKEL::GetMessage() const
{
    return mMessage;
}
