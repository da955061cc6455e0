#pragma once
// Window classes of code that more than one module links (the host and an extension each link the
// UI libraries): each copy registers its classes under names of its own, made from the class's
// name and the copy's window procedure, so that windows run the procedure of the copy that made
// them, and a module that is unloaded leaves no class behind that another module's windows use.
#include <cstdint>
#include <cwchar>
#include <string>

#include "ui/Window.h"

namespace vx::ui {

inline std::wstring ModuleClassName(const wchar_t* name, WNDPROC proc)
{
    wchar_t suffix[32];
    std::swprintf(suffix, 32, L"@%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(proc)));
    return std::wstring(name) + suffix;
}

} // namespace vx::ui
