#include <gtest/gtest.h>

#include "ui/Geometry.h"

using vx::ui::Colour;
using vx::ui::Point;
using vx::ui::Rect;

TEST(Geometry, RectEdgesAreExclusiveOnTheRightAndBottom)
{
    struct Case {
        Rect rect;
        Point point;
        bool inside;
    };
    static const Case kCases[] = {
        { { 10, 20, 30, 40 }, { 10, 20 }, true }, // top-left corner is inside
        { { 10, 20, 30, 40 }, { 29, 39 }, true },
        { { 10, 20, 30, 40 }, { 30, 39 }, false }, // right edge is outside
        { { 10, 20, 30, 40 }, { 29, 40 }, false }, // bottom edge is outside
        { { 10, 20, 30, 40 }, { 9, 25 }, false },
        { { 10, 20, 10, 40 }, { 10, 20 }, false }, // zero width holds no point
        { { -5, -5, 5, 5 }, { -5, 4 }, true },
    };
    for (const auto& c : kCases)
        EXPECT_EQ(c.rect.Contains(c.point), c.inside) << c.rect.left << "," << c.rect.top << "," << c.rect.right << ","
                                                      << c.rect.bottom << " p " << c.point.x << "," << c.point.y;
}

TEST(Geometry, IntersectAndUnionFollowTheOriginalRules)
{
    struct Case {
        Rect a;
        Rect b;
        Rect intersection;
        Rect unionRect;
    };
    static const Case kCases[] = {
        { { 0, 0, 10, 10 }, { 5, 5, 15, 15 }, { 5, 5, 10, 10 }, { 0, 0, 15, 15 } },
        { { 0, 0, 10, 10 }, { 10, 0, 20, 10 }, {}, { 0, 0, 20, 10 } }, // touching edges share no point
        { { 0, 0, 10, 10 }, { 20, 20, 30, 30 }, {}, { 0, 0, 30, 30 } },
        { { 0, 0, 10, 10 }, { 50, 50, 50, 60 }, {}, { 0, 0, 10, 10 } }, // an empty operand is ignored
        { { 5, 5, 5, 5 }, { 1, 2, 3, 4 }, {}, { 1, 2, 3, 4 } },
        { { 3, 3, 3, 9 }, { 7, 7, 2, 8 }, {}, {} }, // two empty (one inverted) give the empty rectangle
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.a.Intersect(c.b), c.intersection);
        EXPECT_EQ(c.b.Intersect(c.a), c.intersection);
        EXPECT_EQ(c.a.Union(c.b), c.unionRect);
        EXPECT_EQ(c.b.Union(c.a), c.unionRect);
    }
}

TEST(Geometry, RectContainsRectAndSizes)
{
    const Rect r { 0, 0, 10, 10 };
    EXPECT_TRUE(r.Contains(Rect { 0, 0, 10, 10 }));
    EXPECT_FALSE(r.Contains(Rect { 0, 0, 11, 10 }));
    EXPECT_TRUE(r.Contains(Rect { 50, 50, 50, 50 })); // nothing to hold
    EXPECT_EQ(Rect::FromPointSize({ 3, 4 }, { 5, 6 }), (Rect { 3, 4, 8, 10 }));
    EXPECT_EQ((Rect { 3, 4, 8, 10 }).Offset(-3, 1).Inflate(1, 2), (Rect { -1, 3, 6, 13 }));
    EXPECT_TRUE((Rect { 5, 0, 4, 10 }).IsEmpty());
}

TEST(Geometry, ColourIsStoredAsBlueGreenRed)
{
    constexpr Colour c = Colour::Rgb(255, 239, 210);
    static_assert(c.value == 0x00D2EFFFu);
    EXPECT_EQ(c.Red(), 255);
    EXPECT_EQ(c.Green(), 239);
    EXPECT_EQ(c.Blue(), 210);
}
