#pragma once
// The interfaces between the host's data pad (and tables) and the extension's data-pad
// functions, and the host's data access that the functions read.
#include <cstdint>

#include "com/Bstr.h"
#include "com/Variant.h"
#include "foundation/IKELString.h"
#include "foundation/core/Bitset.h"
#include "hostframework/interfaces/TickPosition.h"

namespace vx::hf {
// Where a value comes from, as the host describes it: a code and two words. The code 0x801E0000
// with zero words means "none".
struct SourceDescriptor {
    DWORD code = 0x801E0000u;
    DWORD word = 0;
    DWORD third = 0;
};
inline constexpr DWORD kNoSourceCode = 0x801E0000u;
} // namespace vx::hf

// The host's access to the data of a document, as data-pad functions use it.
struct IDataAccess : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6B0E2D41-8C5A-4F3B-9E27-1D4A6C8F0B52}");
    // The data object of a channel for a source kind (0x40000000: the channel's samples) at a
    // record; the object is returned with a reference.
    virtual HRESULT GetChannelSetting(DWORD kind, LONG channel, LONG record, IUnknown** out) = 0;
    // The display text of a value of a kind (0xC0002000: a channel's value text) for a channel.
    virtual HRESULT GetText(DWORD code, LONG value, LONG channel, BSTR* text) = 0;
    // The descriptor of the data this access reads.
    virtual HRESULT GetSourceDescriptor(DWORD reserved, vx::hf::SourceDescriptor* out) = 0;

protected:
    ~IDataAccess() = default;
};

// The class object of a data-pad function: its display texts and ids.
struct IDataPadFuncClass : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0A7C93E5-41D2-4B86-A5F1-2C9E7B3D6048}");
    virtual HRESULT GetIds(DWORD* first, DWORD* second) = 0;
    virtual HRESULT GetKindText(DWORD kind, BSTR* text) = 0;
    // The host's description of the source the function reads; bit 0x20000000 of its word says
    // the function reads a channel.
    virtual HRESULT GetSourceDescription(vx::hf::SourceDescriptor* out) = 0;

protected:
    ~IDataPadFuncClass() = default;
};

struct IDataPadFunction : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D4E6A0F3-2B17-4C59-8A3E-5F1B9C7D2E60}");
    virtual HRESULT GetChannelSetting(IUnknown** out) = 0;
    virtual HRESULT GetKindText(DWORD kind, BSTR* text) = 0;
    virtual HRESULT GetRangeText(IKELString** text) = 0;
    // reason: 0 everything changed, 1 channels or range, 2 position, 8 data access, 16 a host
    // change of kind 16.
    virtual HRESULT Evaluate(DWORD reason, LONG channel, VARIANT* result) = 0;
    // A copy of the last result; returns the last evaluation's HRESULT.
    virtual HRESULT GetResult(VARIANT* result) = 0;
    virtual HRESULT ClearResult() = 0;
    virtual HRESULT ReleaseSources() = 0;
    virtual HRESULT GetFirstId(DWORD* id) = 0;
    virtual HRESULT GetSecondId(DWORD* id) = 0;
    virtual HRESULT GetClassObject(IDataPadFuncClass** out) = 0;

protected:
    ~IDataPadFunction() = default;
};

struct IKELDataFunction : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{9C21F4B7-6E3A-4D08-B5C2-7A8E1F3D9B64}");
    virtual HRESULT SetDataAccess(IDataAccess* access) = 0;
    virtual HRESULT SetChannels(IKELBitset* channels) = 0;
    virtual HRESULT SetRange(const vx::hf::SourceDescriptor* source, std::int64_t start, std::int64_t end) = 0;
    virtual HRESULT SetPosition(const vx::hf::SourceDescriptor* source, std::int64_t position, LONG value) = 0;
    virtual HRESULT GetValue(DWORD reason, std::int64_t channel, VARIANT* result) = 0;
    virtual HRESULT SetAbort(BOOL abort) = 0;
    // Forwarders to the IDataPadFunction operations of the same names.
    virtual HRESULT GetChannelSetting(IUnknown** out) = 0;
    virtual HRESULT GetKindText(DWORD kind, BSTR* text) = 0;
    virtual HRESULT GetRangeText(IKELString** text) = 0;
    virtual HRESULT GetResult(VARIANT* result) = 0;
    virtual HRESULT ClearResult() = 0;
    virtual HRESULT Detach() = 0;
    virtual HRESULT GetFirstId(DWORD* id) = 0;
    virtual HRESULT GetSecondId(DWORD* id) = 0;
    virtual HRESULT Reserved17() = 0;
    virtual HRESULT Reserved18() = 0;

protected:
    ~IKELDataFunction() = default;
};
