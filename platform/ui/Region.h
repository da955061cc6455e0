#pragma once
// Regions: areas of whole pixels kept as a list of disjoint rectangles (y-x banded: sorted by
// top, then left). Used for clipping, window shapes and update areas.
#include <vector>

#include "ui/Geometry.h"

namespace vx::ui {

enum class RegionOp { And = 1, Or = 2, Xor = 3, Diff = 4, Copy = 5 };
enum class FillMode { Alternate = 1, Winding = 2 };

class Region {
public:
    Region() = default;
    explicit Region(const Rect& rect);
    // An ellipse-cornered rectangle; the corner ellipse is `ellipseWidth` by `ellipseHeight`.
    static Region RoundRect(const Rect& rect, int ellipseWidth, int ellipseHeight);
    static Region Ellipse(const Rect& rect);
    // Pixels whose centres lie inside the polygon.
    static Region Polygon(const std::vector<Point>& points, FillMode mode = FillMode::Alternate);
    static Region FromRects(const std::vector<Rect>& rects); // their union

    static Region Combine(const Region& a, const Region& b, RegionOp op);

    bool IsEmpty() const { return mRects.empty(); }
    bool Contains(Point p) const;
    bool Intersects(const Rect& rect) const;
    Rect Bounds() const;
    Region Offset(int dx, int dy) const;
    const std::vector<Rect>& Rects() const { return mRects; }

    friend bool operator==(const Region&, const Region&) = default;

private:
    std::vector<Rect> mRects;
};

} // namespace vx::ui
