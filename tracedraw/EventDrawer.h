#pragma once
// The event drawer: marks the events of one channel of the shown record with a dotted vertical
// line through the strip and a small filled circle at its top, coloured by the event type's draw
// policy.
#include <vector>

#include "tracedraw/Drawer.h"

namespace VarnDraw {

class EventDrawer final : public DrawerBase {
public:
    static constexpr vx::ui::Colour kLineColour = vx::ui::Colour::Rgb(192, 192, 192);

    EventDrawer(std::int32_t drawOrder, std::int64_t identity);
    ~EventDrawer() override;

    HRESULT SetSource(DWORD flags, IRecordSource* source) override;
    HRESULT GetKind(vx::ui::DC* dc, DWORD* kind, std::int32_t* left, std::int32_t* right) override;
    HRESULT GetRecordData(std::int64_t position, IUnknown** out) override;
    HRESULT Refresh(DWORD flags) override;
    HRESULT Draw(vx::ui::DC* dc, const DrawParams* params) override;
    HRESULT SetRecord(LONG record, DWORD flag) override;
    HRESULT GetDrawnPosition(DWORD, DWORD, std::int64_t* position) override;
    HRESULT ClearRecord() override;
    HRESULT ResetIterator() override;
    HRESULT Clone(DWORD flags, IVarnRecordDrawer** out) override;

    // The circle radius for a horizontal resolution: max(dpi / 96, 1) x 3, truncated.
    static int Radius(int dpiX);

private:
    EventDrawer(const EventDrawer& other);
    void UpdatePolicy();
    double OutputScale(const vx::ui::DC& dc) const;

    double mLastX = -1.0;
    std::int64_t mDrawnPosition = -1;
    IColourSource* mColourSource = nullptr;
    std::vector<std::byte> mEvents; // the block of event records of one drawing
    ULONG mRecordSize = 0;
    IEnumEventEx* mEnumerator = nullptr;
    IEventDrawPolicy* mPolicy = nullptr;
    DWORD mPolicyType = 0;
};

} // namespace VarnDraw
