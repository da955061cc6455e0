// The colour and hint text of a beat mark by the beat's class.
#include "hrv/eventdraw/BeatMarkDraw.h"

#include <gtest/gtest.h>

#include "hrv/analysis/tests/TestBeats.h"

using namespace HRV;
using HRV::test::Beat;

namespace {

TEST(BeatMark, ColoursByClassAndHintOfNoEvent)
{
    const double nan = MissingValue();
    struct Case {
        FiducialEvent event;
        uint32_t colour;
    };
    FiducialEvent none = Beat(0.8, 0.0, 1.2, 0x300);
    none.mPosition = kEventEnd;
    const Case cases[] = {
        { none, kMarkGrey },
        { Beat(nan, nan, 1.2, 255), kMarkGrey },
        { Beat(0.8, nan, 1.2, 0x100), kMarkGrey },
        { Beat(0.8, 0.0, 1.2, 0x10300), kMarkGreen },
        { Beat(1.4, 0.0, 2.0, 0x10003), kMarkGreen }, // user beats are green whatever their class
        { Beat(1.4, 0.0, 2.0, 0x3), kMarkRed },
        { Beat(1.4, 0.0, 1.2, 0x1), kMarkOrange },
        { Beat(0.9, 0.0, 2.0, 0x302), kMarkPurple },
        { Beat(0.9, 0.0, 1.2, 0x300), kMarkBlue },
        { Beat(0.9, 0.0, 1.2, 0x100), kMarkGrey },
    };
    for (const Case& c : cases)
        EXPECT_EQ(BeatMarkColour(c.event), c.colour) << std::hex << c.event.mClass;
    std::wstring text;
    EXPECT_EQ(BeatMarkHint(nullptr, text), E_FAIL);
    const FiducialEvent beat = Beat(0.8, 0.01, 1.5, 0x300);
    EXPECT_EQ(BeatMarkHint(&beat, text), S_OK);
    EXPECT_EQ(text, L"HRV Beat 12: RR = 800 ms; FF = 1.5 (Normal)");
}

} // namespace
