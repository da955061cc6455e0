#pragma once
// The controls take over their windows through the window system's window objects.
#include "ui/WindowObject.h"

namespace KELControls {

using vx::ui::HWND;
using vx::ui::LPARAM;
using vx::ui::LRESULT;
using vx::ui::WPARAM;
using SubclassedWindow = vx::ui::WindowObject;

} // namespace KELControls
