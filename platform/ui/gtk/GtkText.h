#pragma once
// Texts for GTK: wide strings (UTF-32 here) as GTK's UTF-8.
#include <glib.h>

#include <string>

namespace vx::ui {

inline std::string Utf8(const std::wstring& text)
{
    gchar* s = g_ucs4_to_utf8(
        reinterpret_cast<const gunichar*>(text.c_str()), static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

} // namespace vx::ui
