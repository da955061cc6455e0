#pragma once
// The default backend: no display at all. Windows exist only as the core's objects; tests drive
// them with messages and a manual clock.
#include <memory>

#include "ui/Backend.h"

namespace vx::ui {

// A headless backend whose screen has the given size (used for maximised and default-sized
// top-level windows).
std::shared_ptr<Backend> CreateHeadlessBackend(Size display = { 1920, 1080 });

} // namespace vx::ui
