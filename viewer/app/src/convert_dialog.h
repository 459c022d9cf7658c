// The conversion dialog "translage": a preview of the chosen recording
// (a player controller of its own in the "wndMedia" video child), the
// direction, layout and quality of the export, and the export itself, run
// by an export job on its own thread and watched once a second.
//
//   empty -> source (a recording, or a trip: consecutive recordings
//   joined before the conversion, previewed by its first) chosen, preview
//   opening -> preview paused after 5 s,
//   view controls and the telemetry choice "chkOverlay" shown (fisheye) or
//   hidden (flat, copied as it is), "btnStart" enabled ->
//   exporting -> finished (message, output folder opened), cancelled (no
//   message) or failed (the converter's text) -> back to the paused preview.
//
// Nothing here waits: the file choosers, the message boxes and the
// questions are windows of their own whose answers arrive as callbacks;
// stopping the preview, reading its view and the export's end come back as
// messages posted to the dialog's window.
//
// Thread-safety: UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controller/player_controller.h"
#include "export/export_job.h"
#include "layouts.h"
#include "message_bridge.h"

namespace shell {
class LanguagePlugin;
}

class ConvertDialog {
public:
    struct Context {
        GtkWindow* parent = nullptr;
        std::string program_dir;
        const shell::LanguagePlugin* texts = nullptr;  // null: the layout's own texts
        // Called once the dialog has closed (its export and preview stopped);
        // the owner may destroy the dialog from an idle callback then.
        std::function<void()> closed;
        // The viewer's units for the telemetry overlay: 1 metric, 0 imperial.
        int units_flag = 1;
        controller::PlayerFactory players = controller::library_player_factory();
        exporter::ConverterFactory converters = exporter::library_converter_factory();
    };

    // Builds the dialog, modal to the parent and centred on it; shown by
    // present(). Null with a reason in `error`.
    static std::unique_ptr<ConvertDialog> create(Context context, std::string* error);
    // Cancels an export and stops the preview, waiting for both.
    ~ConvertDialog();
    ConvertDialog(const ConvertDialog&) = delete;
    ConvertDialog& operator=(const ConvertDialog&) = delete;

    void present();
    // What the open and save dialogs do with the path the user accepts.
    void choose_source(const std::string& path);
    // Two or more consecutive recordings, in order, exported as one; one
    // recording is chosen as by choose_source.
    void choose_trip(const std::vector<std::string>& files);
    void choose_output(const std::string& path);
    // The close button's path: asks first while an export runs, then stops
    // the export and the preview, hides the dialog and calls `closed`.
    void request_close();

    GtkWindow* window() const { return GTK_WINDOW(layouts_->root()); }
    GtkWidget* widget(std::string_view name) const { return layouts_->widget(name); }
    const std::string& source() const { return source_; }
    // The recordings of a trip chosen as the source; empty for one recording.
    const std::vector<std::string>& trip() const { return trip_; }
    bool exporting() const { return static_cast<bool>(job_); }
    // The preview has been checked and "btnStart" may be used.
    bool ready() const { return ready_; }

    // Every message box shown, in order (for the record and the tests).
    struct Message {
        std::string caption, text;
        bool error = false;
    };
    const std::vector<Message>& messages() const { return messages_; }
    // The message box or question on screen, null when none.
    GtkWidget* open_message() const { return open_message_; }
    // Opens a folder in the desktop's file manager; replaceable.
    std::function<void(const std::string& folder)> open_folder;

private:
    enum class Kind { unknown, fisheye, flat };
    struct ViewRead;

    ConvertDialog(std::unique_ptr<LayoutSet> layouts, Context context);
    bool start_messages(std::string* error);
    void apply_texts();
    void connect_controls();
    void on_click(const std::string& control);
    void on_option(const std::string& control);
    std::string text(int number, const char* fallback) const;
    void set_label(std::string_view control, const std::string& text);
    void set_sensitive(std::string_view control, bool sensitive);
    void show_view_controls(bool shown);
    void enable_editing(bool enabled);

    // --- the source and its preview
    void set_source(const std::string& path, std::vector<std::string> trip);
    void choose_source_file();
    void choose_output_file();
    void stop_preview(std::function<void()> then);
    void open_preview();
    void preview_failed();
    static gboolean on_preview_check(gpointer self);
    void check_preview();

    // --- the export
    void start_export();
    bool refuse_output();
    void export_fisheye();
    void on_view_read();
    void run_job(exporter::ExportRequest request);
    static gboolean on_progress_tick(gpointer self);
    void show_progress();
    void on_job_done();
    void cancel_export();
    void finish_close();

    // --- message boxes
    void show_message(const std::string& caption, const std::string& text, bool error);
    void ask(const std::string& text, std::function<void()> yes);
    void stop_timers();

    std::unique_ptr<LayoutSet> layouts_;
    Context context_;
    std::unique_ptr<MessageBridge> bridge_;
    std::unique_ptr<controller::PlayerController> preview_;

    std::string source_;             // the recording previewed: a trip's first
    std::vector<std::string> trip_;  // two or more, or empty
    std::string output_;
    std::string confirmed_output_;  // the user agreed to replace this file
    int direction_ = controller::kInitialDirection;
    int layout_ = controller::kInitialLayout;
    int preview_width_ = 0, preview_height_ = 0;  // the size the preview was opened at
    bool ready_ = false;
    bool closing_ = false;
    int pending_stops_ = 0;
    std::vector<std::function<void()>> after_stop_;
    guint check_timer_ = 0;
    int check_tries_ = 0;
    guint progress_timer_ = 0;
    std::shared_ptr<ViewRead> view_read_;
    std::vector<Message> messages_;
    GtkWidget* open_message_ = nullptr;

    // --- the export job; its end is posted to the dialog
    std::unique_ptr<exporter::ExportJob> job_;
    std::shared_ptr<exporter::ExportResult> job_result_;
    std::string job_output_;
    bool job_overlay_ = false;  // the export asked for the telemetry overlay
};
