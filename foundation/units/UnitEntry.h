#pragma once
// KEL::UnitEntry: a unit name with an SI prefix index and a flag, behind the host's IUnitName;
// it persists itself and formats a value with its unit.
#include <cstdint>

#include "foundation/String.h"
#include "foundation/base/SimpleUnknownImp.h"
#include "foundation/stream/PersistObject.h"
#include "foundation/units/IUnitName.h"

namespace KEL {

// Flags of IUnitName::Format.
constexpr DWORD kFormatDigitsMask = 0x00FF; // significant digits; 0 means 7
constexpr DWORD kFormatNumber = 0x0100;
constexpr DWORD kFormatUnit = 0x0200;
constexpr DWORD kFormatScaleToPrefix = 0x0400;
constexpr DWORD kFormatAutoPrefix = 0x0800;

// The host's type index of a class, by its GUID: persisted class ids carry it. The framework
// glue gives it as it is loaded; until then the index is 0.
using TypeIndexLookup = WORD (*)(const GUID& type);
void SetTypeIndexLookup(TypeIndexLookup lookup);

class UnitEntry : public SimpleUnknownImp2<IUnitName, IPersistObject, 0> {
public:
    UnitEntry() = default;
    UnitEntry(const String& unitName, std::uint32_t prefixIndex, bool flag = false)
        : mFlag(flag ? 1 : 0)
        , mPrefixIndex(prefixIndex)
        , mUnitName(unitName)
    {
    }

    // The unit text with (or without) its prefix letter.
    String Text(bool withPrefix) const;
    // The value formatted as Format does.
    String FormatValue(DWORD flags, double value) const;
    const String& UnitName() const noexcept { return mUnitName; }

    HRESULT GetPrefixIndex(ULONG* index) override;
    HRESULT GetText(DWORD withPrefix, IKELString** text) override;
    HRESULT GetFlag(ULONG* flag) override;
    HRESULT SetPrefixIndex(ULONG index) override;
    HRESULT SetUnitName(IKELString* name) override;
    HRESULT SetFlag(ULONG flag) override;
    HRESULT Clone(IUnitName** copy) override;
    HRESULT Format(DWORD flags, double value, IKELString** text) override;

    HRESULT Load(IBinInStream* stream) override;
    HRESULT Save(IBinOutStream* stream) override;
    // The host id (type index of the unit class << 16) | 19, the type index as the lookup given
    // to SetTypeIndexLookup answers.
    HRESULT GetClassId(DWORD* id) override;

private:
    std::uint32_t mFlag = 0;
    std::uint32_t mPrefixIndex = 0;
    String mUnitName;
};

} // namespace KEL
