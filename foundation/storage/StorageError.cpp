#include "foundation/storage/StorageError.h"

#include <string>

#include "log/Log.h"

namespace KEL {

namespace {
// Carries an HRESULT and a context text until it is turned back into an HRESULT at an
// interface boundary.
class StorageException : public std::exception {
public:
    StorageException(HRESULT code, std::string text) : mCode(code), mText(std::move(text)) {}
    const char* what() const noexcept override { return mText.c_str(); }
    HRESULT Code() const noexcept { return mCode; }

private:
    HRESULT mCode;
    std::string mText;
};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}
} // namespace

void ThrowStorageError(HRESULT code, const std::wstring& context)
{
    std::string text = Narrow(context);
    vx::log::WriteLine("KELBOOTLOG: XKEL: " + text);
    throw StorageException(code, std::move(text));
}

HRESULT StorageErrorCode(const std::exception& e, HRESULT fallback) noexcept
{
    if (auto* own = dynamic_cast<const StorageException*>(&e); own && FAILED(own->Code()))
        return own->Code();
    return fallback;
}

} // namespace KEL
