#include "file_dialogs.h"

namespace {

using Chosen = std::function<void(const std::vector<std::string>&)>;

void on_response(GtkNativeDialog* dialog, gint response, gpointer data) {
    auto* chosen = static_cast<Chosen*>(data);
    std::vector<std::string> paths;
    if (response == GTK_RESPONSE_ACCEPT) {
        GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
        for (GSList* f = files; f != nullptr; f = f->next) {
            paths.emplace_back(static_cast<char*>(f->data));
            g_free(f->data);
        }
        g_slist_free(files);
    }
    (*chosen)(paths);
    delete chosen;
    g_object_unref(dialog);
}

}  // namespace

void choose_recordings(GtkWindow* parent, bool multiple, Chosen chosen) {
    GtkFileChooserNative* dialog =
        gtk_file_chooser_native_new(multiple ? "Add recordings" : "Open a recording", parent,
                                    GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_select_multiple(chooser, multiple);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Movie Files(*.ts,*.mp4,etc)");
    gtk_file_filter_add_pattern(filter, "*.[mM][pP]4");
    gtk_file_filter_add_pattern(filter, "*.[tT][sS]");
    gtk_file_chooser_add_filter(chooser, filter);
    g_signal_connect(dialog, "response", G_CALLBACK(on_response), new Chosen(std::move(chosen)));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
}
