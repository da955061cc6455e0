#pragma once
// The host document's services that the enumerator getter, the channel manager and the channel
// calculations use: the recording's channels and their data objects, the online-data
// registry, named channels and links, channel calculations and formula settings. Operations are
// listed in the order the host's tables hold them; the host operations these callers never use
// are left out.
#include <cstdint>

#include "com/Bstr.h"
#include "com/Storage.h"
#include "com/Unknown.h"
#include "foundation/IKELString.h"
#include "hostframework/interfaces/HostServices.h"
#include "hostframework/interfaces/TickPosition.h"

namespace vx::hf {
// A channel as formulas name it: number (from 0) and kind; no channel is {0x80000000, 0xC0000000}.
struct ChannelRef {
    std::uint32_t number = 0x80000000u;
    std::uint32_t kind = 0xC0000000u;
    bool Known() const { return number != 0x80000000u; }
    bool operator==(const ChannelRef&) const = default;
};
inline constexpr ChannelRef kNoChannel {};

// A link item: 16 bytes, {channel a, 4, 0x801D0001, 0} ties channel a to the key's channel.
struct LinkItem {
    std::uint32_t channel = 0;
    std::uint32_t kind = 4;
    std::uint32_t tag = 0x801D0001u;
    std::uint32_t reserved = 0;
    bool operator==(const LinkItem&) const = default;
};

// Low and high of a channel's stored values.
struct ValueRange {
    double low;
    double high;
};
} // namespace vx::hf

struct ICalcEnum;
struct IOnlineDataSink;

// The host document of a recording.
struct IRecordingDoc : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2BC6F321-B62F-11D2-8227-00C0DFE13362}");
    // Three channel counts the document keeps (recorded, shown, and with calculations).
    virtual HRESULT GetShownChannelCount(ULONG* count) = 0;
    virtual HRESULT GetChannelCount(ULONG* count) = 0;
    virtual HRESULT GetCalculatedChannelCount(DWORD reserved, ULONG* count) = 0;
    // The sample interval (seconds) of a channel's source of a kind in a record.
    virtual HRESULT GetSampleInterval(DWORD kind, LONG record, ULONG channel, double* interval) = 0;
    // A channel's data object of a kind at a tick position, up to a limit offset.
    virtual HRESULT GetDataObject(
        DWORD kind, ULONG channel, std::int64_t position, LONG limit, DWORD reserved, IUnknown** out)
        = 0;
    // The source object of a channel of a kind in a record; its ISourceData gives streams.
    virtual HRESULT GetSourceObject(DWORD kind, LONG record, ULONG channel, IUnknown** out) = 0;
    // The object through which channel values, ranges and settings are read (IChannelValues).
    virtual HRESULT GetChannelValues(IUnknown** out) = 0;

protected:
    ~IRecordingDoc() = default;
};

// A source object's streams.
struct ISourceData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{0E338061-A23A-474C-8081-463357BE86C9}");
    // The stream (IFloatStreamEx or IEnumEventEx) of a kind from a tick offset up to a limit.
    virtual HRESULT GetStream(DWORD kind, LONG offset, LONG limit, DWORD reserved, IUnknown** out) = 0;

protected:
    ~ISourceData() = default;
};

// Channel values, ranges and settings of a document.
struct IChannelValues : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5E7A1C92-3D48-4F0B-A6E5-9B2C4D7F1A83}");
    // The range of a channel's stored values over a kind (2: every record).
    virtual HRESULT GetValueRange(DWORD reserved, ULONG channel, DWORD kind, vx::hf::ValueRange* range) = 0;
    // A channel setting for a record (-2: the default record). 0x40001000: two doubles, factor and
    // offset (physical = (stored + offset) * factor). 0x40002000: the unit, as UnitSetting.
    virtual HRESULT GetSetting(DWORD code, LONG record, ULONG channel, void* out) = 0;

protected:
    ~IChannelValues() = default;
};

// The unit a channel reports: text (with a reference) and prefix letter (0: none).
struct UnitSetting {
    IKELString* text = nullptr;
    wchar_t prefix = 0;
};

// The online-data registry of a document.
struct IOnlineRegistry : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{91BC9AF0-D20B-11D3-80E8-00A0C9E26433}");
    virtual HRESULT AddSink(IOnlineDataSink* sink) = 0;
    virtual HRESULT RemoveSink(IOnlineDataSink* sink) = 0;

protected:
    ~IOnlineRegistry() = default;
};

// What the host tells a document (or a getter) while it samples. Operations and their neutral
// answers in order.
struct IOnlineDataSink : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C4AEA2A0-0F3D-11D4-80F2-00A0C9E26433}");
    virtual HRESULT MaySamplingStart(IUnknown** context, WORD* verdict) = 0;
    virtual HRESULT SamplingFinished() = 0;
    virtual HRESULT RecordStart(LONG record, DWORD reserved, WORD follow) = 0;
    virtual HRESULT RecordEnd() = 0;
    virtual HRESULT SamplingEnd() = 0;
    virtual HRESULT NewData() = 0;
    virtual HRESULT Reserved9() = 0;
    virtual HRESULT Reserved10() = 0;
    virtual HRESULT Reserved11() = 0;
    virtual HRESULT Reserved12() = 0;
    virtual HRESULT GetValue13(DWORD* value) = 0;
    virtual HRESULT GetValue14(DWORD a, DWORD b, DWORD c, DWORD* value) = 0;

protected:
    ~IOnlineDataSink() = default;
};

// A class of calculation enumerators: makes the enumerator for a document.
struct IEnumCreator : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{48436189-60B9-47D1-A159-6BF8B43E294F}");
    virtual HRESULT CreateEnumerator(IUnknown* document, ICalcEnum** out) = 0;

protected:
    ~IEnumCreator() = default;
};

// A channel calculation the host attaches to a channel.
struct IChannelCalc : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{8FC37F01-9357-11D4-8112-00A0C9E26433}");
    virtual HRESULT Calculate(LONG record, LONG position, ULONG count, float* out, ULONG* written) = 0;
    virtual HRESULT Setup(IUnknown* settings) = 0;
    virtual HRESULT Reserved5() = 0;
    virtual HRESULT GetSettings(IUnknown** settings) = 0;
    virtual HRESULT GetFlags(DWORD* flags) = 0;
    virtual HRESULT GetDescription(BSTR* text) = 0;
    virtual HRESULT GetExtra(IUnknown** out) = 0;
    virtual HRESULT Refresh() = 0;

protected:
    ~IChannelCalc() = default;
};

struct IChannelCollection;

// Named channels and the links between channels, kept by the host document.
struct IChannelNames : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{920CDDCC-3748-4EC1-83F8-59EFEE7ED007}");
    // Creates a named channel (or finds the one of that name); *text (may be null) gets the name
    // as the host keeps it, with a reference.
    virtual HRESULT CreateNamedChannel(DWORD reserved, const wchar_t* name, IKELString** text, vx::hf::ChannelRef* ref)
        = 0;
    virtual HRESULT RemoveName(DWORD reserved, const wchar_t* name) = 0;
    virtual HRESULT LookUp(DWORD reserved, const wchar_t* name, vx::hf::ChannelRef* ref) = 0;
    virtual HRESULT NameOf(DWORD reserved, vx::hf::ChannelRef ref, IKELString** text) = 0;
    virtual HRESULT AddLinkItem(DWORD reserved, vx::hf::ChannelRef key, const vx::hf::LinkItem* item) = 0;
    // Item i under the key and the number of items there.
    virtual HRESULT ReadLinkItem(DWORD reserved, vx::hf::ChannelRef key, ULONG i, vx::hf::LinkItem* item, ULONG* count)
        = 0;
    virtual HRESULT RemoveLinkItem(DWORD reserved, vx::hf::ChannelRef key, const vx::hf::LinkItem* item) = 0;
    virtual HRESULT SetNameFlag(DWORD reserved, const wchar_t* name, WORD value) = 0;
    virtual HRESULT GetNameFlag(DWORD reserved, const wchar_t* name, WORD* value) = 0;

protected:
    ~IChannelNames() = default;
};

// A channel's calculation, attached by the host.
struct IChannelCalculation : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CA800C31-F889-11D3-80EE-00A0C9E26433}");
    // Takes a settings object for a record selector (65535: every record).
    virtual HRESULT SetSettings(IUnknown* settings, DWORD records) = 0;
    // Called before the calculation is replaced or its channel removed.
    virtual HRESULT Detach() = 0;
    virtual HRESULT GetClassId(DWORD* id) = 0;
    // The IChannelCalc of the calculation (with a reference), when it has one.
    virtual HRESULT GetChannelCalc(IChannelCalc** out) = 0;

protected:
    ~IChannelCalculation() = default;
};

// A calculation made by the object factory, before it is attached to a channel. The host's own
// interface, with an id of our own: {CA800C32-...} is the calculation class's (ICalculationClass).
struct INewCalculation : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6B1F4E27-93A0-4C5D-8E61-2D7A0B9C4F35}");
    virtual HRESULT Attach(vx::hf::ChannelRef ref, IChannelCollection* channels, IChannelCalculation** out) = 0;

protected:
    ~INewCalculation() = default;
};

// The class object of a channel calculation that an extension registers: describes the class
// and makes its calculations.
struct ICalculationClass : ICAFClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{CA800C32-F889-11D3-80EE-00A0C9E26433}");
    virtual HRESULT GetCategory(const GUID** out) = 0;
    virtual HRESULT GetIdText(IKELString** out) = 0;
    // S_OK for the class's category, S_FALSE for anything else (null too).
    virtual HRESULT IsCategory(const GUID* category) = 0;
    virtual HRESULT GetName(IKELString** out) = 0;
    virtual HRESULT GetDisplayName(IKELString** out) = 0;
    virtual HRESULT GetReserved(DWORD* out) = 0;
    // Lets the user edit a copy of `current`; *out gets the edited copy (S_OK) or null (1: cancelled).
    virtual HRESULT Configure(void* parentWindow, IUnknown* current, IUnknown** out) = 0;
    // A new calculation for the channel the site describes, with default settings.
    virtual HRESULT CreateCalc(IUnknown* reserved, IUnknown* site, IChannelCalc** out) = 0;

protected:
    ~ICalculationClass() = default;
};

// The class object of persisted objects (the settings of a channel calculation): makes them new
// or loads them from a stream. Its create operation (IGenericClassObject's) makes new objects
// with their defaults.
struct IPersistClassObject : IGenericClassObject {
    static constexpr IID kIid = vx::com::MakeGuid("{3AAE4790-6DF9-11D2-81EF-00C0DFE13362}");
    virtual HRESULT GetCategory(const GUID** out) = 0;
    virtual HRESULT GetIdText(IKELString** out) = 0;
    virtual HRESULT IsCategory(const GUID* category) = 0;
    // A new object loaded from the stream. When the load fails *out may still hold the new
    // object (with its defaults), which the caller releases.
    virtual HRESULT LoadObject(IStream* stream, IUnknown** out) = 0;

protected:
    ~IPersistClassObject() = default;
};

// What the host hands a channel calculation it creates: the document and channel the
// calculation computes, and the object factory through which it makes host objects. The host
// may close the document first: GetDocument then fails.
struct ICalculationSite : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{A4C2E918-5D37-4B06-9F1E-7C30B85D2A64}");
    virtual HRESULT GetDocument(IUnknown** out) = 0;
    virtual HRESULT GetChannel(ULONG* channel) = 0;
    virtual HRESULT GetObjectFactory(IObjectFactory** out) = 0;

protected:
    ~ICalculationSite() = default;
};

// A channel of a document.
struct IChannelObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7A4D0E61-5B93-4C2F-8E17-3F6B9D2A0C75}");
    // The channel's calculation with a reference; S_FALSE and null when it has none.
    virtual HRESULT GetCalculation(IChannelCalculation** out) = 0;

protected:
    ~IChannelObject() = default;
};

// The channels of a document.
struct IChannelCollection : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{C2406F50-F163-11D2-8098-00A0C9E26433}");
    virtual HRESULT GetChannelObject(vx::hf::ChannelRef ref, IChannelObject** out) = 0;

protected:
    ~IChannelCollection() = default;
};

// A settings object that carries a formula to a calculation.
struct IFormulaSettingsObject : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{7B3091F0-7395-11D2-81F7-00C0DFE13362}");

protected:
    ~IFormulaSettingsObject() = default;
};

struct IFormulaText : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{D78C7904-2F6F-4087-8543-8691558E2E22}");
    virtual HRESULT SetFormula(const wchar_t* formula, const wchar_t* second, WORD flag) = 0;
    virtual HRESULT GetFormula(BSTR* formula) = 0;

protected:
    ~IFormulaText() = default;
};

namespace vx::hf {
// A position in a document: sample offset, then record.
struct DocPosition {
    std::int32_t offset = 0x7FFFFFFF;
    std::int32_t record = 0x7FFFFFFF;
    bool operator==(const DocPosition&) const = default;
};
} // namespace vx::hf

// The document's conversions between positions, ticks and times.
struct IDocumentTime : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{B5F1E0A3-6C27-4D89-9A4E-0D3C7B6F2E18}");
    // S_OK when the tick names a place in the recording, S_FALSE otherwise.
    virtual HRESULT IsTickValid(std::int64_t tick) = 0;
    virtual HRESULT PositionsToTicks(const vx::hf::DocPosition* start, const vx::hf::DocPosition* end,
        std::int64_t* startTick, std::int64_t* endTick)
        = 0;
    virtual HRESULT TickToPosition(std::int64_t tick, vx::hf::DocPosition* position) = 0;
    virtual HRESULT GetRecordCount(LONG* count) = 0;
    virtual HRESULT GetRecordEndTick(LONG record, std::int64_t* tick) = 0;
    // Seconds from the recording's start.
    virtual HRESULT GetTickTime(std::int64_t tick, double* seconds) = 0;

protected:
    ~IDocumentTime() = default;
};

// A selection in a view.
struct IViewSelection : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{3D92C6B8-1F05-4E7A-B3D1-8A6E0F4C2B97}");
    virtual HRESULT GetPositions(vx::hf::DocPosition* start, vx::hf::DocPosition* end) = 0;
    // Non-zero when the selection is not empty.
    virtual HRESULT GetFlag(WORD* flag) = 0;

protected:
    ~IViewSelection() = default;
};

// The range a view shows.
struct IViewRange : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{E99E1950-6188-11D3-80B1-005004AD3C53}");
    virtual HRESULT GetTicks(std::int64_t* start, std::int64_t* end) = 0;
    // The view's time scale value.
    virtual HRESULT GetScale(double* value) = 0;

protected:
    ~IViewRange() = default;
};

// A host view.
struct IHostView : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CD8A64F4-48D2-11D1-8D03-00C0D1570D74}");
    virtual HRESULT GetSelection(IViewSelection** out) = 0;
    virtual HRESULT GetDocument(IUnknown** out) = 0;
    // The object the view hands out under a key (the view range under ViewRangeKey).
    virtual HRESULT GetKeyedObject(DWORD key, IUnknown** out) = 0;

protected:
    ~IHostView() = default;
};
