#include "foundation/storage/StorageError.h"

#include "foundation/XKEL.h"

namespace KEL {

void ThrowStorageError(HRESULT code, const std::wstring& context)
{
    if (context.empty())
        throw XKEL(code);
    throw XKEL(String(context), code);
}

HRESULT StorageErrorCode(const std::exception& e, HRESULT fallback) noexcept
{
    if (auto* own = dynamic_cast<const XKEL*>(&e); own && FAILED(own->GetHResult()))
        return own->GetHResult();
    return fallback;
}

} // namespace KEL
