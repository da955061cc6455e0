#pragma once
// Poly-line trace drawers: one channel's samples as a trace, drawn from the pixel runs that the
// host's record data hands out per pixel column (its minimum and maximum and the join to the
// column before), in batches of 128 segments.
#include <memory>
#include <optional>
#include <string>

#include "tracedraw/Drawer.h"

namespace VarnDraw {

// Turns a channel's unit text and SI-prefix index into the ones shown.
class UnitMapper {
public:
    virtual ~UnitMapper() = default;
    virtual const std::wstring& Map(std::wstring& out, const std::wstring& unit, int prefixIndex, int* outIndex) = 0;
};

class PolyLineTraceDrawer : public DrawerBase {
public:
    static constexpr int kBatchPoints = 256;

    // Without an explicit colour the trace takes the palette colour of its data channel.
    PolyLineTraceDrawer(DWORD addFlags, std::int64_t identity, int scaleNumber,
        std::optional<vx::ui::Colour> colour = {}, std::int64_t alternate = kNoIdentity,
        const TracePalette& palette = ProcessTracePalette());
    ~PolyLineTraceDrawer() override;

    HRESULT SetSource(DWORD flags, IRecordSource* source) override;
    HRESULT GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right) override;
    HRESULT GetData(int scaleNumber, std::int64_t position, IUnknown** out, DWORD* flag) override;
    HRESULT SetScaleRange(int scaleNumber, DWORD ignored, const vx::hf::DisplayRange* range, IUnknown* scale) override;
    HRESULT Refresh(DWORD flags) override;
    HRESULT Draw(vx::ui::DC* dc, const DrawParams* params) override;
    HRESULT GetDrawnPosition(DWORD, DWORD, std::int64_t* position) override;
    HRESULT ClearRecord() override;
    HRESULT QueryValues(DWORD flags, int scaleNumber, vx::hf::DisplayRange* range) override;
    HRESULT GetScaleNumber(int* number) override;
    HRESULT ResetIterator() override;
    HRESULT UpdateSettings(IUnknown* channelSettings, IUnknown* displaySettings, int channel) override;
    HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) override;

    vx::ui::Colour TraceColour() const { return vx::ui::Colour { mColour }; }
    bool HoldsIterator() const { return mIterator != nullptr; }
    int LastColumns() const { return mLastColumns; }
    // The colour a segment batch is drawn in (mode from the colour source).
    DWORD SegmentColour(DWORD mode) const;

    // The value of the data channel at a sample position and its unit text.
    HRESULT ReadValue(std::int64_t position, double& value, std::wstring& unit);

protected:
    PolyLineTraceDrawer(const PolyLineTraceDrawer& other);
    virtual void BeforeRun() { }
    virtual void AfterRun() { }
    virtual void RangeStarts() { }
    virtual int DrawSegments(vx::ui::DC& dc, int columns, int firstColumn, DWORD mode, int extra);
    virtual DWORD MapColour(DWORD colour) const { return colour; }
    virtual bool Test() const { return false; }

    std::int64_t mDrawnPosition = 0;
    vx::hf::DisplayRange mRange { 1.0, 0.0 };
    ISegmentIterator* mIterator = nullptr;
    IColourSource* mColourSource = nullptr;
    LONG mStyle = 0;
    DWORD mColour = 0;
    int mScaleNumber = 1;
    std::int32_t mReserved1 = 0x7FFFFFFF;
    std::int32_t mReserved2 = 0;
    LONG mPenWidth = 1;
    int mLastColumns = 0;
};

// A trace whose values and unit pass through a unit mapper first.
class CustomUnitsPolyLineTraceDrawer final : public PolyLineTraceDrawer {
public:
    CustomUnitsPolyLineTraceDrawer(std::unique_ptr<UnitMapper> mapper, DWORD addFlags, std::int64_t identity,
        int scaleNumber, std::optional<vx::ui::Colour> colour = {}, std::int64_t alternate = kNoIdentity);

    // The mapped value (scaled by the mapped prefix's factor) and the mapped unit text.
    HRESULT ReadMappedValue(std::int64_t position, double& value, std::wstring& unit, int prefixIndex);
    HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) override;

private:
    CustomUnitsPolyLineTraceDrawer(const CustomUnitsPolyLineTraceDrawer& other) = default;
    std::shared_ptr<UnitMapper> mMapper; // shared with clones
};

// The SI prefix of a scale or axis by index: its letter (none: 0) and the factor from base units.
struct SiPrefix {
    wchar_t letter;
    double factor;
};
SiPrefix SiPrefixOf(int index);

} // namespace VarnDraw
