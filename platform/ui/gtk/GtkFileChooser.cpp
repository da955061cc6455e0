#include "ui/gtk/GtkFileChooser.h"

#include "ui/gtk/GtkText.h"

namespace vx::ui {

std::optional<std::string> RunGtkFileChooser(GtkWindow* parent, const FileDialogRequest& request)
{
    const GtkFileChooserAction action = request.save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(Utf8(request.title).c_str(), parent, action, "_Cancel",
        GTK_RESPONSE_CANCEL, request.save ? "_Save" : "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    if (request.save) {
        gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
        if (!request.suggestedName.empty())
            gtk_file_chooser_set_current_name(chooser, request.suggestedName.c_str());
    }
    for (const auto& [name, patterns] : request.filters) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, Utf8(name).c_str());
        std::string list = Utf8(patterns);
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t end = std::min(list.find(';', start), list.size());
            if (end > start)
                gtk_file_filter_add_pattern(filter, list.substr(start, end - start).c_str());
            start = end + 1;
        }
        gtk_file_chooser_add_filter(chooser, filter); // the chooser takes it
    }
    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
            chosen = name;
            g_free(name);
        }
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

} // namespace vx::ui
