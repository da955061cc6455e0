#pragma once
// Geometry and colour of the window system. Rectangles follow the original platform's rule: the
// right and bottom edges are exclusive, so a rectangle's width is right - left and a rectangle
// with right <= left or bottom <= top is empty.
#include <algorithm>
#include <cstdint>

namespace vx::ui {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;

    constexpr Point Offset(std::int32_t dx, std::int32_t dy) const { return { x + dx, y + dy }; }
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
    std::int32_t cx = 0;
    std::int32_t cy = 0;

    friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    static constexpr Rect FromPointSize(Point origin, Size size)
    {
        return { origin.x, origin.y, origin.x + size.cx, origin.y + size.cy };
    }

    constexpr std::int32_t Width() const { return right - left; }
    constexpr std::int32_t Height() const { return bottom - top; }
    constexpr Size GetSize() const { return { Width(), Height() }; }
    constexpr Point TopLeft() const { return { left, top }; }
    constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
    constexpr bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

    // True when every point of `other` lies inside this rectangle; an empty rectangle has no
    // points and so lies inside every rectangle.
    constexpr bool Contains(const Rect& other) const
    {
        return other.IsEmpty()
            || (other.left >= left && other.top >= top && other.right <= right && other.bottom <= bottom);
    }

    constexpr Rect Offset(std::int32_t dx, std::int32_t dy) const
    {
        return { left + dx, top + dy, right + dx, bottom + dy };
    }
    constexpr Rect Inflate(std::int32_t dx, std::int32_t dy) const
    {
        return { left - dx, top - dy, right + dx, bottom + dy };
    }

    // The common part; an empty rectangle (all zero) when there is none, as IntersectRect gives.
    constexpr Rect Intersect(const Rect& other) const
    {
        Rect r { std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
            std::min(bottom, other.bottom) };
        return r.IsEmpty() ? Rect {} : r;
    }

    // The smallest rectangle holding both; empty operands are ignored, as UnionRect does.
    constexpr Rect Union(const Rect& other) const
    {
        if (other.IsEmpty())
            return IsEmpty() ? Rect {} : *this;
        if (IsEmpty())
            return other;
        return { std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom) };
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// A colour as the original platform stores it: 0x00BBGGRR.
struct Colour {
    std::uint32_t value = 0;

    static constexpr Colour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return { static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8)
            | (static_cast<std::uint32_t>(b) << 16) };
    }
    constexpr std::uint8_t Red() const { return static_cast<std::uint8_t>(value & 0xFF); }
    constexpr std::uint8_t Green() const { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }
    constexpr std::uint8_t Blue() const { return static_cast<std::uint8_t>((value >> 16) & 0xFF); }

    friend constexpr bool operator==(const Colour&, const Colour&) = default;
};

} // namespace vx::ui
