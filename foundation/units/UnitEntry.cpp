#include "foundation/units/UnitEntry.h"

#include <atomic>
#include <locale>
#include <sstream>

#include "foundation/units/Prefix.h"

namespace KEL {

namespace {
constexpr GUID kUnitClassType = vx::com::MakeGuid("{C203FC30-7AAA-11D3-80B9-005004AD3C53}");

std::atomic<TypeIndexLookup> gTypeIndexLookup { nullptr };

HRESULT HandOut(const String& text, IKELString** out)
{
    *out = text.CopyRep();
    return S_OK;
}
} // namespace

String UnitEntry::Text(bool withPrefix) const
{
    if (!withPrefix)
        return mUnitName;
    if (mPrefixIndex == kPrefixUnknown || mPrefixIndex > kPrefixLast)
        return String(L"?") + mUnitName;
    const wchar_t letter = PrefixCharFromIndex(mPrefixIndex);
    return letter ? String(1u, letter) + mUnitName : mUnitName;
}

String UnitEntry::FormatValue(DWORD flags, double value) const
{
    std::uint32_t index = mPrefixIndex;
    if (index == kPrefixUnknown)
        index = (flags & kFormatAutoPrefix) && value != 0.0 ? EngineeringPrefixIndex(value) : kPrefixNone;

    String unit = mUnitName;
    if (flags & kFormatScaleToPrefix) {
        const wchar_t letter = PrefixCharFromIndex(index);
        const double scale = PrefixScaleFromChar(letter);
        // A scale of 0 means the index names no prefix we know: the value stays in base units
        // and the unit is written bare, rather than claiming a prefix or writing 0.
        if (scale != 0.0 && index >= 1 && index <= kPrefixLast) {
            value *= scale;
            if (letter)
                unit = String(1u, letter) + mUnitName;
        }
    }

    std::wostringstream out;
    out.imbue(std::locale::classic());
    const DWORD digits = flags & kFormatDigitsMask;
    out.precision(digits ? static_cast<std::streamsize>(digits) : 7);
    if (flags & kFormatNumber)
        out << value;
    if ((flags & kFormatNumber) && (flags & kFormatUnit))
        out << L' ';
    if (flags & kFormatUnit)
        out << unit.View();
    return String(out.str());
}

HRESULT UnitEntry::GetPrefixIndex(ULONG* index)
{
    if (!index)
        return E_INVALIDARG;
    *index = mPrefixIndex;
    return S_OK;
}

HRESULT UnitEntry::GetText(DWORD withPrefix, IKELString** text)
{
    if (!text)
        return E_INVALIDARG;
    return HandOut(Text(withPrefix != 0), text);
}

HRESULT UnitEntry::GetFlag(ULONG* flag)
{
    if (!flag)
        return E_INVALIDARG;
    *flag = mFlag;
    return S_OK;
}

HRESULT UnitEntry::SetPrefixIndex(ULONG index)
{
    mPrefixIndex = index;
    return S_OK;
}

HRESULT UnitEntry::SetUnitName(IKELString* name)
{
    mUnitName = String(name);
    return S_OK;
}

HRESULT UnitEntry::SetFlag(ULONG flag)
{
    mFlag = flag ? 1 : 0;
    return S_OK;
}

HRESULT UnitEntry::Clone(IUnitName** copy)
{
    if (!copy)
        return E_INVALIDARG;
    auto* entry = new UnitEntry(mUnitName, mPrefixIndex, mFlag != 0);
    entry->AddRef();
    *copy = entry;
    return S_OK;
}

HRESULT UnitEntry::Format(DWORD flags, double value, IKELString** text)
{
    if (!text)
        return E_INVALIDARG;
    *text = nullptr;
    try {
        return HandOut(FormatValue(flags, value), text);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnitEntry::Load(IBinInStream* stream)
{
    if (!stream)
        return E_FAIL;
    // Read into locals first, so that a damaged stream leaves the entry as it was.
    ULONG index = 0;
    ULONG flag = 0;
    IKELString* name = nullptr;
    stream->ReadUInt32(&index);
    const HRESULT nameResult = stream->ReadString(&name);
    stream->ReadUInt32(&flag);
    String text(name);
    if (name)
        name->Release();
    if (FAILED(nameResult) || stream->CheckState() != S_OK)
        return E_FAIL;
    mPrefixIndex = index;
    mUnitName = text;
    mFlag = flag ? 1 : 0;
    return S_OK;
}

HRESULT UnitEntry::Save(IBinOutStream* stream)
{
    if (!stream)
        return E_FAIL;
    stream->WriteInt32(mPrefixIndex);
    stream->WriteString(mUnitName.Rep());
    stream->WriteInt32(mFlag);
    return stream->CheckState() == S_OK ? S_OK : E_FAIL;
}

HRESULT UnitEntry::GetClassId(DWORD* id)
{
    if (!id)
        return E_INVALIDARG;
    const TypeIndexLookup lookup = gTypeIndexLookup.load();
    *id = (DWORD(lookup ? lookup(kUnitClassType) : 0) << 16) | 19;
    return S_OK;
}

void SetTypeIndexLookup(TypeIndexLookup lookup)
{
    gTypeIndexLookup.store(lookup);
}

} // namespace KEL
