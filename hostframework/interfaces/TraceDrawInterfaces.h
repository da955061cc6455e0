#pragma once
// The host's drawing interfaces that the trace drawing library paints from: the record source of
// a data pane and the record data of a shown record (with the segment iterator that hands out the
// per-pixel-column minimum and maximum runs of a channel, and event enumerators), the colour
// source, the scale factory and its scale objects, channel and display settings and event draw
// policies. The host implements them (host/tracedraw); the drawers see only these declarations.
#include <cstdint>

#include "com/Bstr.h"
#include "com/Unknown.h"
#include "hostframework/interfaces/CalcInterfaces.h"
#include "hostframework/interfaces/TickPosition.h"
#include "ui/Geometry.h"
#include "ui/Messages.h"

namespace vx::ui {
class DC;
}

namespace vx::hf {
// Where a channel's samples land in a strip: sample s of the record lies at pixel column
// (s - firstSample) / samplesPerPixel + firstColumn; `columns` columns from firstColumn are
// drawn; values map to rows through the displayed range (top at row 0, bottom at row `height`).
struct StripGeometry {
    double firstSample = 0.0;
    double samplesPerPixel = 1.0;
    std::int32_t firstColumn = 0;
    std::int32_t columns = 0;
    std::int32_t height = 0;
};

// A displayed amplitude range: bottom and top value.
struct DisplayRange {
    double bottom = 0.0;
    double top = 1.0;
};

// One guide-line or band setting of a channel's display settings.
struct GuideSetting {
    std::int32_t on = 0; // 0: off
    std::uint32_t colour = 0; // COLORREF
    double value = 0.0; // a guide line's value in the channel's units
    wchar_t unit[16] {}; // the unit the value is given in
    wchar_t label[48] {};
};

// Ids of the channel display settings the graticule reads.
inline constexpr DWORD kGuideBandSetting = 0x800C0084u;
inline constexpr DWORD kGuideLineSetting = 0x800C0086u;
} // namespace vx::hf

// Pixel runs of a channel for one drawing: for each pixel column one vertical segment from the
// column's smallest to its largest value, stretched to reach the previous column's last value so
// that columns join. Each segment is two points.
struct ISegmentIterator : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{6E0B4D39-2A75-4C1E-9F83-51D7A2C6B094}");
    // Writes up to maxPoints points (whole segments); *count gets the points written, *columns
    // the pixel columns they cover. S_FALSE once no column is left.
    virtual HRESULT Next(ULONG maxPoints, vx::ui::Point* points, ULONG* count, ULONG* columns) = 0;
    // Samples read so far from the first sample of the drawing.
    virtual HRESULT GetSamplesConsumed(std::int64_t* samples) = 0;
    // Continues from a later sample (data that arrived since); the columns before it are skipped.
    virtual HRESULT AdvanceTo(std::int64_t sample) = 0;

protected:
    ~ISegmentIterator() = default;
};

// A shown record's data.
struct IRecordData : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{AD6CD303-7868-4A12-B4AE-97C02EE8F5E3}");
    // The event type of an event channel (0 when it has none).
    virtual HRESULT GetEventType(ULONG channel, DWORD* type) = 0;
    // The end of the data: *end's offset is the number of ticks available.
    virtual HRESULT GetEndPosition(DWORD reserved, std::int64_t* end) = 0;
    // The sample position of the shown block.
    virtual HRESULT GetCurrentBlock(std::int64_t* block) = 0;
    // The lowest and highest value of a channel in the record (S_FALSE: no samples).
    virtual HRESULT QueryValues(DWORD request, ULONG channel, vx::hf::DisplayRange* range) = 0;
    // Non-zero when the channel holds samples in the record.
    virtual HRESULT GetPresence(ULONG channel, std::int64_t block, WORD* present) = 0;
    // The value of a channel at a sample position and its unit text (a new BSTR, may be null).
    virtual HRESULT GetValue(ULONG channel, std::int64_t position, double* value, BSTR* unit) = 0;
    // The record's start time in seconds; -1.0 when unknown.
    virtual HRESULT GetStartTime(DWORD reserved, LONG record, double* seconds) = 0;
    // The events of an event channel from `first` up to `last` (0x7FFFFFFF: the record's end).
    virtual HRESULT CreateEventEnumerator(
        DWORD request, ULONG channel, DWORD reserved, LONG first, LONG last, IEnumEventEx** out)
        = 0;
    // The pixel runs of a channel over the strip, from the drawn position on.
    virtual HRESULT CreateSegmentIterator(DWORD request, ULONG channel, const vx::hf::DisplayRange* range,
        std::int64_t drawnPosition, const vx::hf::StripGeometry* geometry, ISegmentIterator** out)
        = 0;

protected:
    ~IRecordData() = default;
};

// A data pane's record source: the shown record and where its samples lie on the screen.
struct IRecordSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{1D5C7E82-40B6-4F9A-8C13-E6A29F07B5D4}");
    // Layout values the drawers tell the source's time axis (id, value).
    virtual HRESULT SetAxis(DWORD id, LONG value) = 0;
    // The sample position the source stands at (where data is being written while sampling).
    virtual HRESULT GetCurrentPosition(std::int64_t* position) = 0;
    // The shown record's data object (IRecordData), with a reference.
    virtual HRESULT GetCurrentRecord(IUnknown** recordData) = 0;
    // The shown record's index.
    virtual HRESULT GetRecordIndex(LONG* record) = 0;
    // Seconds per sample of the shown record.
    virtual HRESULT GetSampleInterval(double* seconds) = 0;
    // The sample positions at the left edge of pixel column x0 and at the left edge of x1.
    virtual HRESULT PixelsToSamples(DWORD flags, LONG record, LONG x0, LONG x1, double* first, double* last) = 0;
    // The pixel column (fractional) of a sample position.
    virtual HRESULT SampleToPixel(DWORD flags, LONG record, double sample, double* x) = 0;

protected:
    ~IRecordSource() = default;
};

// The channel scale settings of each record, answered by a record source that knows them: the
// unit text and displayed range of a channel in a record. S_FALSE when the record's settings for
// the channel cannot be read (no such record or channel, no samples).
struct IRecordChannelScale : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{4A7C2E19-8B3D-4F06-9E51-C2D8A6B07F13}");
    virtual HRESULT GetRecordCount(LONG* count) = 0;
    virtual HRESULT GetChannelScale(LONG record, LONG channel, BSTR* unit, vx::hf::DisplayRange* range) = 0;

protected:
    ~IRecordChannelScale() = default;
};

// The colour source of a record source (absent when the source has none): the mode in which
// traces are coloured and the sample range that a pixel range covers.
struct IColourSource : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{9BC31240-8993-40B9-B4A2-6D23DC5B68B5}");
    // 2: black (lightened in the light trace style), 3: the mapped trace colour, else the trace
    // colour.
    virtual HRESULT GetColourMode(DWORD* mode) = 0;
    virtual HRESULT GetSampleRange(DWORD flags, LONG x0, LONG x1, LONG record, double* first, double* last) = 0;

protected:
    ~IColourSource() = default;
};

// What a scale reports to the strip that shows it.
struct IDragScaleObserver : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{5F2A9C61-7B04-4D8E-A3B9-0C6E1F47D825}");
    virtual HRESULT ScaleDragged(DWORD flags, LONG a, LONG b) = 0;
    virtual HRESULT ScaleSelected(LONG scaleNumber, LONG value) = 0;
    virtual HRESULT ScaleRangeChanged(LONG scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range) = 0;
    virtual HRESULT SendScaleCommand(LONG scaleNumber) = 0;
    virtual HRESULT GetAutoRange(DWORD flags, vx::hf::DisplayRange* range, WORD* flag) = 0;

protected:
    ~IDragScaleObserver() = default;
};

// The range side of a scale: its range, its grid lines and the range in which values are valid.
struct IScaleRange : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{CDD20818-F236-4416-88AC-3631F931A539}");
    virtual HRESULT GetRange(vx::hf::DisplayRange* range) = 0;
    virtual HRESULT SetRange(const vx::hf::DisplayRange* range) = 0;
    virtual HRESULT GetGridLineCount(ULONG* count) = 0;
    // Grid line i: its value and kind (2: major, 1: minor).
    virtual HRESULT GetGridLine(ULONG i, double* value, LONG* kind) = 0;
    virtual HRESULT GetValidRange(vx::hf::DisplayRange* range) = 0;

protected:
    ~IScaleRange() = default;
};

// An amplitude scale: a child window beside a strip (or window-less, for output) that paints
// its axis with the unit and reports drags to its observer.
struct IHostScale : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{EBAD47D1-A398-11D3-80C0-005004AD3C53}");
    virtual HRESULT SetObserver(IDragScaleObserver* observer) = 0;
    // The scale's window, null when window-less.
    virtual HRESULT GetWindow(vx::ui::HWND* window) = 0;
    virtual HRESULT Place(const vx::ui::Rect* rect) = 0;
    // Sets the unit transform (displayed = value * factor + offset) and the unit text.
    virtual HRESULT SetTransform(double factor, double offset, const wchar_t* unit) = 0;
    // The unit text, a new BSTR.
    virtual HRESULT GetUnitText(BSTR* unit) = 0;
    virtual HRESULT SetRange(const vx::hf::DisplayRange* range) = 0;
    virtual HRESULT Show(WORD shown) = 0;
    virtual HRESULT SetColour(DWORD colour) = 0;
    virtual HRESULT Paint(vx::ui::DC* dc, const vx::ui::Rect* rect) = 0;
    // The answer to a scale command (auto-scale).
    virtual HRESULT Command(LONG command) = 0;
    virtual HRESULT SetChannel(LONG channel) = 0;

protected:
    ~IHostScale() = default;
};

// The host's scale factory.
struct IScaleFactory : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{EBAD47D2-A398-11D3-80C0-005004AD3C53}");
    virtual HRESULT CreateScaleWindow(
        vx::ui::HWND parent, LONG insetTop, LONG insetBottom, DWORD style, LONG scaleNumber, IHostScale** out)
        = 0;
    virtual HRESULT CreateWindowlessScale(DWORD style, LONG scaleNumber, DWORD reserved, IHostScale** out) = 0;

protected:
    ~IScaleFactory() = default;
};

// A channel's drawing settings.
struct IChannelDrawSettings : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{B43836B3-BDA6-4F14-8DB2-754731A027BE}");
    virtual HRESULT GetBackground(DWORD* colour, WORD* showGrid) = 0;
    virtual HRESULT GetRecordStartMarker(WORD* shown) = 0;
    virtual HRESULT GetPenWidth(LONG channel, LONG* width) = 0;
    // 1: the lightened style.
    virtual HRESULT GetTraceStyle(DWORD item, LONG channel, LONG* style) = 0;
    virtual HRESULT GetTraceColour(DWORD item, std::int64_t identity, DWORD* colour) = 0;

protected:
    ~IChannelDrawSettings() = default;
};

// The display settings of the channels (guide lines and bands).
struct IDisplaySettings : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{8C9C3423-CD9C-11D1-B2EA-00600894D72A}");
    // S_FALSE and a cleared setting when the channel has none.
    virtual HRESULT GetSetting(DWORD id, LONG channel, LONG subItem, vx::hf::GuideSetting* setting) = 0;

protected:
    ~IDisplaySettings() = default;
};

// How the marks of one event type are coloured; the host's object factory makes one for an
// event type (class key = the type).
struct IEventDrawPolicy : IUnknown {
    static constexpr IID kIid = vx::com::MakeGuid("{2DE99796-4D8F-4666-97C0-4F6F7203229E}");
    // The fill colour of an event's mark (a COLORREF) from one event record of recordBytes
    // bytes; S_FALSE leaves the default (also for a record shorter than the type's).
    virtual HRESULT GetColour(DWORD recordBytes, const void* event, DWORD* colour) = 0;

protected:
    ~IEventDrawPolicy() = default;
};
