#pragma once
// The gtk backend's file dialogs: GTK's file chooser for opening or saving one file.
#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "ui/Desktop.h"

namespace vx::ui {

// The chosen path; empty when the user cancelled.
std::optional<std::string> RunGtkFileChooser(GtkWindow* parent, const FileDialogRequest& request);

} // namespace vx::ui
