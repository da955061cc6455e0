#include "ui/Region.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace vx::ui {

namespace {

// Rows of spans: for each band [y0, y1) the sorted disjoint x spans. Bands with equal spans that
// touch are merged, so equal areas always give equal rectangle lists.
std::vector<Rect> Normalise(std::vector<std::pair<int, std::vector<std::pair<int, int>>>> rows)
{
    std::vector<Rect> out;
    // rows: (y, spans) for each pixel row; consecutive rows with equal spans make one band.
    std::size_t i = 0;
    while (i < rows.size()) {
        std::size_t j = i + 1;
        while (j < rows.size() && rows[j].first == rows[j - 1].first + 1 && rows[j].second == rows[i].second)
            ++j;
        for (const auto& [x0, x1] : rows[i].second)
            out.push_back({ x0, rows[i].first, x1, rows[j - 1].first + 1 });
        i = j;
    }
    return out;
}

std::vector<std::pair<int, int>> MergeSpans(std::vector<std::pair<int, int>> spans)
{
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& s : spans) {
        if (s.second <= s.first)
            continue;
        if (!merged.empty() && s.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, s.second);
        else
            merged.push_back(s);
    }
    return merged;
}

} // namespace

Region::Region(const Rect& rect)
{
    if (!rect.IsEmpty())
        mRects.push_back(rect);
}

Region Region::FromRects(const std::vector<Rect>& rects)
{
    Region r;
    for (const Rect& rect : rects)
        r = Combine(r, Region(rect), RegionOp::Or);
    return r;
}

Region Region::Combine(const Region& a, const Region& b, RegionOp op)
{
    if (op == RegionOp::Copy)
        return a;
    // Coordinate compression: the cells between all edges are wholly in or out of each operand.
    std::vector<int> xs, ys;
    for (const auto* region : { &a, &b })
        for (const Rect& r : region->mRects) {
            xs.insert(xs.end(), { r.left, r.right });
            ys.insert(ys.end(), { r.top, r.bottom });
        }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<std::pair<int, int>> previous;
    int previousBottom = 0;
    Region result;
    for (std::size_t yi = 0; yi + 1 < ys.size(); ++yi) {
        std::vector<std::pair<int, int>> spans;
        for (std::size_t xi = 0; xi + 1 < xs.size(); ++xi) {
            const Point probe { xs[xi], ys[yi] };
            const bool inA = a.Contains(probe), inB = b.Contains(probe);
            bool in = false;
            switch (op) {
            case RegionOp::And:
                in = inA && inB;
                break;
            case RegionOp::Or:
                in = inA || inB;
                break;
            case RegionOp::Xor:
                in = inA != inB;
                break;
            case RegionOp::Diff:
                in = inA && !inB;
                break;
            case RegionOp::Copy:
                in = inA;
                break;
            }
            if (in)
                spans.push_back({ xs[xi], xs[xi + 1] });
        }
        spans = MergeSpans(std::move(spans));
        if (spans.empty())
            continue;
        // Merge with the band above when it touches and has the same spans.
        if (!result.mRects.empty() && previousBottom == ys[yi] && spans == previous) {
            for (Rect& r : result.mRects)
                if (r.bottom == ys[yi])
                    r.bottom = ys[yi + 1];
        } else {
            for (const auto& [x0, x1] : spans)
                result.mRects.push_back({ x0, ys[yi], x1, ys[yi + 1] });
        }
        previous = spans;
        previousBottom = ys[yi + 1];
    }
    return result;
}

Region Region::Polygon(const std::vector<Point>& points, FillMode mode)
{
    Region result;
    if (points.size() < 3)
        return result;
    int top = points[0].y, bottom = points[0].y;
    for (const Point& p : points) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    std::vector<std::pair<int, std::vector<std::pair<int, int>>>> rows;
    for (int y = top; y < bottom; ++y) {
        const double cy = y + 0.5;
        std::vector<std::pair<double, int>> crossings; // x, direction
        for (std::size_t i = 0; i < points.size(); ++i) {
            const Point p = points[i], q = points[(i + 1) % points.size()];
            if ((p.y <= cy) == (q.y <= cy))
                continue;
            const double x = p.x + (cy - p.y) * (q.x - p.x) / double(q.y - p.y);
            crossings.push_back({ x, q.y > p.y ? 1 : -1 });
        }
        std::sort(crossings.begin(), crossings.end());
        std::vector<std::pair<int, int>> spans;
        int winding = 0;
        for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += crossings[i].second;
            const bool inside = mode == FillMode::Alternate ? (i % 2 == 0) : winding != 0;
            if (!inside)
                continue;
            // Pixels whose centre lies in [x0, x1).
            const int x0 = static_cast<int>(std::ceil(crossings[i].first - 0.5));
            const int x1 = static_cast<int>(std::ceil(crossings[i + 1].first - 0.5));
            spans.push_back({ x0, x1 });
        }
        spans = MergeSpans(std::move(spans));
        if (!spans.empty())
            rows.push_back({ y, std::move(spans) });
    }
    result.mRects = Normalise(std::move(rows));
    return result;
}

Region Region::RoundRect(const Rect& rect, int ellipseWidth, int ellipseHeight)
{
    Region result;
    if (rect.IsEmpty())
        return result;
    const double rx = std::min(std::abs(ellipseWidth), rect.Width()) / 2.0;
    const double ry = std::min(std::abs(ellipseHeight), rect.Height()) / 2.0;
    if (rx < 1 || ry < 1)
        return Region(rect);
    std::vector<std::pair<int, std::vector<std::pair<int, int>>>> rows;
    for (int y = rect.top; y < rect.bottom; ++y) {
        const double cy = y + 0.5;
        double inset = 0;
        const double dyTop = rect.top + ry - cy, dyBottom = cy - (rect.bottom - ry);
        const double dy = std::max(dyTop, dyBottom);
        if (dy > 0) {
            const double t = std::min(1.0, dy / ry);
            inset = rx - rx * std::sqrt(1 - t * t);
        }
        const int x0 = rect.left + static_cast<int>(std::lround(inset));
        const int x1 = rect.right - static_cast<int>(std::lround(inset));
        if (x1 > x0)
            rows.push_back({ y, { { x0, x1 } } });
    }
    result.mRects = Normalise(std::move(rows));
    return result;
}

Region Region::Ellipse(const Rect& rect)
{
    return RoundRect(rect, rect.Width(), rect.Height());
}

bool Region::Contains(Point p) const
{
    return std::any_of(mRects.begin(), mRects.end(), [&](const Rect& r) { return r.Contains(p); });
}

bool Region::Intersects(const Rect& rect) const
{
    return std::any_of(mRects.begin(), mRects.end(), [&](const Rect& r) { return !r.Intersect(rect).IsEmpty(); });
}

Rect Region::Bounds() const
{
    Rect b;
    for (const Rect& r : mRects)
        b = b.Union(r);
    return b;
}

Region Region::Offset(int dx, int dy) const
{
    Region out = *this;
    for (Rect& r : out.mRects)
        r = r.Offset(dx, dy);
    return out;
}

} // namespace vx::ui
