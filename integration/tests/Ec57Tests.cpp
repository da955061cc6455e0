// EC57 matching: nearest detection within the window, each used once; misses and extras listed.
#include "integration/Ec57.h"

#include <gtest/gtest.h>

using vx::ec57::Match;

TEST(Ec57, EachReferenceTakesTheNearestUnusedDetectionWithinTheWindow)
{
    struct Case {
        const char* name;
        std::vector<std::int64_t> reference, detected;
        long tp, fn, fp;
        std::vector<double> offsetsMs;
    };
    const Case cases[] = {
        { "exact", { 100, 200 }, { 100, 200 }, 2, 0, 0, { 0, 0 } },
        { "nearest of two", { 100 }, { 93, 104 }, 1, 0, 1, { 4 } },
        { "window edge is in", { 100 }, { 110 }, 1, 0, 0, { 10 } },
        { "outside the window", { 100 }, { 111 }, 0, 1, 1, {} },
        { "one detection for two references", { 100, 106 }, { 103 }, 1, 1, 0, { 3 } },
        { "nothing detected", { 100, 200 }, {}, 0, 2, 0, {} },
        { "nothing to find", {}, { 5 }, 0, 0, 1, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::int64_t> missed, extra;
        const vx::ec57::Score s = Match(c.reference, c.detected, 10, 1000.0, &missed, &extra);
        EXPECT_EQ(s.tp, c.tp);
        EXPECT_EQ(s.fn, c.fn);
        EXPECT_EQ(s.fp, c.fp);
        EXPECT_EQ(s.offsetsMs, c.offsetsMs);
        EXPECT_EQ(static_cast<long>(missed.size()), c.fn);
        EXPECT_EQ(static_cast<long>(extra.size()), c.fp);
    }
    const vx::ec57::Score s = Match({ 100, 200, 300, 400 }, { 101, 199, 305, 500, 600 }, 10, 1000.0);
    EXPECT_DOUBLE_EQ(s.Se(), 75.0);
    EXPECT_DOUBLE_EQ(s.PP(), 60.0);
    EXPECT_EQ(s.Timing(), std::make_pair(1.0, 5.0));
    EXPECT_DOUBLE_EQ(vx::ec57::Score {}.Se(), 100.0);
}
