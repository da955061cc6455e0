#include "ui/headless/HeadlessBackend.h"

namespace vx::ui {

std::shared_ptr<Backend> CreateHeadlessBackend(Size display)
{
    auto backend = std::make_shared<Backend>();
    backend->name = "headless";
    backend->GetDisplayBounds = [display] { return Rect::FromPointSize({ 0, 0 }, display); };
    return backend;
}

} // namespace vx::ui
