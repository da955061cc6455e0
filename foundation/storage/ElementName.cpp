#include "foundation/storage/ElementName.h"

#include <algorithm>
#include <iterator>

#include "foundation/storage/CaseFoldTable.h"
#include "foundation/storage/Format.h"
#include "text/Unicode.h"

namespace KEL {

char16_t FoldNameUnit(char16_t unit)
{
    using detail::kFoldRuns;
    auto after = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), unit,
        [](char16_t u, const detail::FoldRun& r) { return u < r.first; });
    if (after == std::begin(kFoldRuns))
        return unit;
    const detail::FoldRun& run = *std::prev(after);
    const unsigned offset = unit - run.first;
    if (offset >= unsigned(run.length) * run.stride || offset % run.stride != 0)
        return unit;
    return static_cast<char16_t>(unit + run.delta);
}

bool NamesEqual(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldNameUnit(a[i]) != FoldNameUnit(b[i]))
            return false;
    return true;
}

HRESULT NameFromCaller(const OLECHAR* name, std::u16string& out)
{
    out.clear();
    if (!name)
        return STG_E_INVALIDPOINTER;
    for (const OLECHAR* p = name; *p; ++p) {
        const auto c = static_cast<std::uint32_t>(*p);
        if (c > 0x10FFFF)
            return STG_E_INVALIDNAME;
        vx::text::AppendUtf16(out, c);
        if (out.size() > StorageFormat::kMaxNameUnits)
            return STG_E_INVALIDNAME;
    }
    return out.empty() ? STG_E_INVALIDNAME : S_OK;
}

std::wstring NameToWide(const std::u16string& name)
{
    std::wstring out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t u = name[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (name[i + 1] - 0xDC00)));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(u));
        }
    }
    return out;
}

} // namespace KEL
