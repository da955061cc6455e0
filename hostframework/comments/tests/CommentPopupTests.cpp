// The comment popup: its layout for a text, where it goes on the screen, its time label, and that
// it is made but not shown while the host application is hidden.
#include <gtest/gtest.h>

#include "host/caf/tests/RegisteredFramework.h"
#include "hostframework/comments/CommentPopup.h"
#include "hostframework/comments/Comments.h"
#include "ui/Desktop.h"
#include "ui/Window.h"

using vx::hf::CommentPopup;

TEST(CommentPopupLayout, FortyCharactersALineAndSevenLinesAtMost)
{
    struct Case {
        std::size_t characters;
        int lines;
    };
    for (Case c : { Case { 0, 1 }, Case { 39, 1 }, Case { 40, 2 }, Case { 41, 2 }, Case { 400, 7 } }) {
        const vx::hf::CommentPopupLayout l = vx::hf::LayOutCommentPopup(6, 14, 7, c.characters);
        EXPECT_EQ(l.lines, c.lines) << c.characters;
        EXPECT_EQ(l.text.bottom - l.text.top, c.lines * 14) << c.characters;
        // Both parts inside the window with a margin of 7.
        EXPECT_EQ(l.width, 40 * 6 + 14);
        EXPECT_EQ(l.height, 14 + 7 + c.lines * 14 + 14);
        EXPECT_EQ(l.marker.left, 9);
        EXPECT_EQ(l.label.x, l.marker.right + 14);
    }
}

TEST(CommentPopupLayout, StaysInsideTheWorkArea)
{
    const vx::ui::Rect work { 100, 50, 1100, 850 };
    struct Case {
        const char* name;
        vx::ui::Point anchor;
        vx::ui::Point expected;
    };
    const Case cases[] = {
        { "room above", { 500, 400 }, { 500, 300 } },
        // 5 pixels below the top: no room above, below the anchor by the gap.
        { "at the top", { 500, 55 }, { 500, 55 + 20 } },
        { "near the right edge", { 1050, 400 }, { 1100 - 10 - 250, 300 } },
        { "left of the work area", { 20, 400 }, { 100, 300 } },
    };
    for (const Case& c : cases) {
        const vx::ui::Point p = vx::hf::PlaceCommentPopup(c.anchor, 250, 100, 20, work);
        EXPECT_EQ(p.x, c.expected.x) << c.name;
        EXPECT_EQ(p.y, c.expected.y) << c.name;
    }
    EXPECT_EQ(vx::hf::CommentTimeLabel(L"00:01:02.500"), L"t = 00:01:02.500");
    EXPECT_EQ(vx::hf::CommentTimeLabel(std::wstring(40, L'9')), L"t = " + std::wstring(27, L'9'));
}

class CommentPopupWindow : public caf::test::RegisteredFramework { };

TEST_F(CommentPopupWindow, ShownOnlyWhileTheHostIsVisible)
{
    auto* comment = new vx::hf::EventDataComment(0, 360, 0, nullptr, 0, 0, nullptr);
    comment->AddRef();
    comment->SetText(L"Beat added by the user");
    for (bool visible : { true, false }) {
        caf::SetApplicationFlag(L"kel\\application\\visible", visible);
        EXPECT_EQ(vx::hf::IsHostApplicationVisible(), visible);
        auto* popup = new CommentPopup(nullptr, { 400, 300 }, comment, L"00:00:01.000", 20);
        popup->AddRef();
        ASSERT_TRUE(vx::ui::IsWindow(popup->Handle()));
        EXPECT_EQ(vx::ui::IsWindowVisible(popup->Handle()), visible);
        EXPECT_EQ(vx::ui::GetClassName(popup->Handle()), L"CommentPopup");
        vx::ui::Rect r;
        vx::ui::GetWindowRect(popup->Handle(), &r);
        EXPECT_EQ(r.bottom, 300) << "just above the anchor";
        IVarnComment* held = nullptr;
        EXPECT_EQ(popup->GetComment(&held), S_OK);
        EXPECT_EQ(held, static_cast<IVarnComment*>(comment));
        held->Release();
        EXPECT_EQ(popup->GetComment(nullptr), E_INVALIDARG);
        EXPECT_EQ(popup->Refresh(), S_OK);
        const vx::ui::HWND handle = popup->Handle();
        EXPECT_EQ(popup->Release(), 0u);
        EXPECT_FALSE(vx::ui::IsWindow(handle));
    }
    caf::SetApplicationFlag(L"kel\\application\\visible", true);
    EXPECT_EQ(comment->Release(), 0u);
}
