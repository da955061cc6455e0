#pragma once
// How an event comment is drawn on a trace (a disc, a dotted line down from it and a label that
// reads upwards beside the line), how its marker is flashed, and the fonts of its labels, one pair
// per point size and screen resolution.
#include <functional>

#include "hostframework/interfaces/CommentInterfaces.h"
#include "ui/Gdi.h"

namespace vx::hf {

// The label fonts of one point size at one resolution: rotated to read upwards, and upright,
// with their heights.
struct CommentFonts {
    vx::ui::Font rotated;
    vx::ui::Font upright;
    int rotatedHeight = 0;
    int uprightHeight = 0;
};

// The fonts for `dc` at `dpi` dots per inch: 12 points when the application's language is Chinese
// or Japanese, else 10. Made on first use and kept until exit.
const CommentFonts& GetCommentFonts(const vx::ui::DC& dc, int dpi);

// Draws `comment` on `dc` as `info` says: the label when the comment has display flags, the
// info asks for it and the text is not empty; the line when asked; and always the disc.
void DrawEventComment(IVarnComment* comment, vx::ui::DC& dc, const vx::ui::DC* target, const CommentDrawInfo& info);

// Flashes the marker of `comment` drawn at `point` of `window`: a circle shrinks onto it from 50
// pixels further out, when the window is shown normally or maximised and the point is over it.
void HighlightComment(IVarnComment* comment, vx::ui::HWND window, vx::ui::Point point, int duration);

// Animates a shape (0 rectangle, 1 ellipse) from one rectangle onto another (client coordinates
// of `window`), inverting what it covers, on the first ancestor with a sizing border.
void AnimateCommentShape(
    vx::ui::HWND window, int shape, const vx::ui::Rect& from, const vx::ui::Rect& to, int duration);

// The pause between the frames of an animation (a sleep unless replaced: tests record it).
void SetCommentAnimationWait(std::function<void(int ms)> wait);

// The style bit of a window with a sizing border.
inline constexpr DWORD kSizingBorderStyle = 0x00040000;

} // namespace vx::hf
