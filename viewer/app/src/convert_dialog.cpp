#include "convert_dialog.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>

#include "custom_controls.h"
#include "layout/export_record.h"
#include "layout/export_texts.h"
#include "layout/view_layout.h"
#include "platform/debug_output.h"
#include "platform/paths.h"
#include "shell/language.h"
#include "shell/viewer_messages.h"
#include "trips/trip_grouping.h"

namespace {

// The dialog's own messages, posted to its window.
constexpr unsigned kMsgViewRead = 1410;    // the preview's view has been read
constexpr unsigned kMsgExportDone = 1411;  // the export job has ended

constexpr guint kPreviewCheckMs = 5000;  // the preview decides square or flat
constexpr guint kPreviewRetryMs = 200;   // then asks again this often
constexpr int kPreviewTries = 10;
constexpr guint kProgressMs = 1000;

constexpr const char* kNameKey = "kvp-dialog-control";

// The controls that choose the view, shown for a fisheye recording only.
constexpr std::string_view kViewControls[] = {
    "optUp",         "optDown",     "optLeft",      "optWide",      "optSlit2",   "optSlit4",
    "Label_quality", "Label_model", "Label_direct", "comboquality", "chkOverlay",
};
constexpr std::string_view kOptions[] = {"optLeft",  "optRight", "optDown", "optUp",
                                         "optSlit2", "optSlit4", "optWide"};

void trace(const std::string& line) {
    platform::debug_printf(300, "Translate: %s\n", line.c_str());
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    return slash == std::string::npos ? std::string(".")
                                      : path.substr(0, std::max<std::size_t>(slash, 1));
}

bool ends_with_ts(const std::string& path) {
    return path.size() > 3 && (path.compare(path.size() - 3, 3, ".ts") == 0 ||
                               path.compare(path.size() - 3, 3, ".TS") == 0);
}

void open_in_file_manager(const std::string& folder) {
    gchar* uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
    if (uri == nullptr) return;
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
        trace(std::string("cannot open the folder: ") + (error ? error->message : "?"));
        g_clear_error(&error);
    }
    g_free(uri);
}

}  // namespace

// What the preview's player reports of its views, read on its worker.
struct ConvertDialog::ViewRead {
    bool playing = false;
    float zoom[view_layout::kMaxViewports] = {};
    view_layout::Angles angles[view_layout::kMaxViewports] = {};
    int video_height = 0;
};

std::unique_ptr<ConvertDialog> ConvertDialog::create(Context context, std::string* error) {
    kvp_register_custom_controls();
    std::unique_ptr<LayoutSet> layouts = LayoutSet::build("translage", error);
    if (!layouts) return nullptr;
    std::unique_ptr<ConvertDialog> dialog(
        new ConvertDialog(std::move(layouts), std::move(context)));
    if (!dialog->start_messages(error)) return nullptr;
    return dialog;
}

ConvertDialog::ConvertDialog(std::unique_ptr<LayoutSet> layouts, Context context)
    : layouts_(std::move(layouts)), context_(std::move(context)) {
    open_folder = open_in_file_manager;
    GtkWindow* w = window();
    if (context_.parent != nullptr) gtk_window_set_transient_for(w, context_.parent);
    gtk_window_set_modal(w, TRUE);
    gtk_window_set_position(w, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_icon_name(w, "camera-video");
    apply_texts();
    connect_controls();
    g_signal_connect(w, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         static_cast<ConvertDialog*>(self)->request_close();
                         return TRUE;
                     }),
                     this);
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget("comboquality")), view_layout::kDefaultQuality);
    set_label("labpersent", " ");
    set_label("labetime", " ");
    set_sensitive("btnStart", false);
    set_sensitive("btnStop", false);
    show_view_controls(false);
}

ConvertDialog::~ConvertDialog() {
    stop_timers();
    job_.reset();      // cancels and waits; the file is completed
    preview_.reset();  // stops the preview's player and its worker
    if (open_message_ != nullptr) gtk_widget_destroy(open_message_);
    bridge_.reset();
    // layouts_ goes last and destroys the window with its video child.
}

// The dialog's window receives the preview's and the job's messages.
bool ConvertDialog::start_messages(std::string* error) {
    GtkWidget* top = layouts_->root();
    gtk_widget_realize(top);
    GdkWindow* gdk = gtk_widget_get_window(top);
    if (gdk == nullptr) {
        *error = "the dialog has no window";
        return false;
    }
    bridge_ = std::make_unique<MessageBridge>(GDK_WINDOW_XID(gdk));
    preview_ = std::make_unique<controller::PlayerController>(bridge_->window(), context_.players,
                                                              context_.program_dir);
    bridge_->on(controller::kMsgStopped, [this](const platform::WindowMessage&) {
        if (pending_stops_ > 0 && --pending_stops_ > 0) return;
        std::vector<std::function<void()>> then;
        then.swap(after_stop_);
        for (auto& f : then) f();
    });
    bridge_->on(controller::kMsgOpenFailed,
                [this](const platform::WindowMessage&) { preview_failed(); });
    bridge_->on(controller::kMsgDisplayFailed,
                [this](const platform::WindowMessage&) { preview_failed(); });
    bridge_->on(shell::kMsgMouse,
                [this](const platform::WindowMessage&) { preview_->save_view(); });
    bridge_->on(kMsgViewRead, [this](const platform::WindowMessage&) { on_view_read(); });
    bridge_->on(kMsgExportDone, [this](const platform::WindowMessage&) { on_job_done(); });
    // An open that took longer than the preview check gets checked when it
    // arrives.
    bridge_->on(controller::kMsgFileOpened, [this](const platform::WindowMessage&) {
        if (!ready_ && check_timer_ == 0 && check_tries_ >= kPreviewTries) check_preview();
    });
    // Playback's own news matter to the main window only.
    for (unsigned m : {controller::kMsgEndOfFile, unsigned{shell::kMsgPosition},
                       unsigned{shell::kMsgDoubleClick}, unsigned{shell::kMsgDropFile}}) {
        bridge_->on(m, [](const platform::WindowMessage&) {});
    }
    return true;
}

void ConvertDialog::present() {
    gtk_widget_show(layouts_->root());
    gtk_window_present(window());
}

// --- texts and controls

std::string ConvertDialog::text(int number, const char* fallback) const {
    const std::string t = context_.texts != nullptr ? context_.texts->text(number) : "";
    return t.empty() ? std::string(fallback) : t;
}

void ConvertDialog::set_label(std::string_view control, const std::string& t) {
    GtkWidget* w = widget(control);
    if (GTK_IS_BUTTON(w)) {
        gtk_button_set_label(GTK_BUTTON(w), t.c_str());
    } else if (GTK_IS_LABEL(w)) {
        gtk_label_set_text(GTK_LABEL(w), t.c_str());
    } else if (GTK_IS_ENTRY(w)) {
        gtk_entry_set_text(GTK_ENTRY(w), t.c_str());
    }
}

void ConvertDialog::set_sensitive(std::string_view control, bool sensitive) {
    if (GtkWidget* w = widget(control)) gtk_widget_set_sensitive(w, sensitive);
}

void ConvertDialog::apply_texts() {
    if (context_.texts == nullptr) return;
    for (const auto& t : view_layout::kExportControlTexts) {
        const std::string s = context_.texts->text(t.text);
        if (!s.empty()) set_label(t.control, s);
    }
    for (const auto& t : view_layout::kExportTooltips) {
        const std::string s = context_.texts->text(t.text);
        if (GtkWidget* w = widget(t.control)) {
            gtk_widget_set_tooltip_text(w, s.empty() ? nullptr : s.c_str());
        }
    }
    auto* combo = GTK_COMBO_BOX_TEXT(widget("comboquality"));
    if (combo == nullptr) return;
    gtk_combo_box_text_remove_all(combo);
    for (int i = 0; i < view_layout::kQualityCount; ++i) {
        const char letter[2] = {view_layout::kQualityLetters[i], '\0'};
        gtk_combo_box_text_append_text(combo,
                                       text(view_layout::kQualityItemTexts[i], letter).c_str());
    }
}

void ConvertDialog::connect_controls() {
    GSList* objects = gtk_builder_get_objects(layouts_->builder());
    for (GSList* o = objects; o != nullptr; o = o->next) {
        GObject* object = G_OBJECT(o->data);
        if (!GTK_IS_BUILDABLE(object)) continue;
        const char* name = gtk_buildable_get_name(GTK_BUILDABLE(object));
        if (name == nullptr) continue;
        g_object_set_data_full(object, kNameKey, g_strdup(name), g_free);
        if (GTK_IS_RADIO_BUTTON(object)) {
            g_signal_connect(
                object, "toggled", G_CALLBACK(+[](GtkToggleButton* b, gpointer self) {
                    if (!gtk_toggle_button_get_active(b)) return;
                    static_cast<ConvertDialog*>(self)->on_option(
                        static_cast<const char*>(g_object_get_data(G_OBJECT(b), kNameKey)));
                }),
                this);
        } else if (GTK_IS_BUTTON(object)) {
            g_signal_connect(
                object, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer self) {
                    static_cast<ConvertDialog*>(self)->on_click(
                        static_cast<const char*>(g_object_get_data(G_OBJECT(b), kNameKey)));
                }),
                this);
        }
    }
    g_slist_free(objects);
}

void ConvertDialog::on_click(const std::string& control) {
    if (control == "btnAdd") {
        choose_source_file();
    } else if (control == "btnBorse") {
        choose_output_file();
    } else if (control == "btnStart") {
        start_export();
    } else if (control == "btnStop") {
        cancel_export();
    } else if (control == "closebtn") {
        request_close();
    } else if (control == "minbtn") {
        gtk_window_iconify(window());
    }
}

void ConvertDialog::on_option(const std::string& control) {
    if (!preview_ || source_.empty()) return;
    for (const auto& o : view_layout::kDirectionOptions) {
        if (o.control != control) continue;
        direction_ = o.text;
        preview_->forget_view();
        preview_->set_view(direction_, layout_, preview_width_, preview_height_);
        return;
    }
    for (const auto& o : view_layout::kLayoutOptions) {
        if (o.control != control) continue;
        preview_->save_view();
        layout_ = o.text;
        preview_->set_view(direction_, layout_, preview_width_, preview_height_);
        return;
    }
}

void ConvertDialog::show_view_controls(bool shown) {
    for (std::string_view name : kViewControls) {
        if (GtkWidget* w = widget(name)) {
            gtk_widget_set_visible(w, shown);
            gtk_widget_set_sensitive(w, shown);
        }
    }
}

// The controls that change the export, given back after it or taken while
// it runs.
void ConvertDialog::enable_editing(bool enabled) {
    for (std::string_view name : {"btnStart", "btnAdd", "btnBorse", "comboquality", "chkOverlay"}) {
        set_sensitive(name, enabled);
    }
    set_sensitive("btnStop", !enabled);
    for (std::string_view name : kOptions) set_sensitive(name, enabled);
}

// --- the source and its preview

void ConvertDialog::choose_source_file() {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        nullptr, window(), GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
    GtkFileFilter* movies = gtk_file_filter_new();
    gtk_file_filter_set_name(movies, "Movie Files(*.mp4,*.mov,*.ts)");
    for (const char* p : {"*.mp4", "*.mov", "*.ts", "*.MP4", "*.MOV", "*.TS"}) {
        gtk_file_filter_add_pattern(movies, p);
    }
    GtkFileFilter* all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, "All Files(*.*)");
    gtk_file_filter_add_pattern(all, "*");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), movies);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), all);
    g_signal_connect(chooser, "response",
                     G_CALLBACK(+[](GtkNativeDialog* d, gint response, gpointer self) {
                         auto* dialog = static_cast<ConvertDialog*>(self);
                         if (response == GTK_RESPONSE_ACCEPT) {
                             gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
                             dialog->choose_source(path != nullptr ? path : "");
                             g_free(path);
                         } else {
                             dialog->choose_source("");
                         }
                         g_object_unref(d);
                     }),
                     this);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void ConvertDialog::choose_source(const std::string& path) {
    set_source(path, {});
}

void ConvertDialog::choose_trip(const std::vector<std::string>& files) {
    if (files.size() < 2) {
        set_source(files.empty() ? std::string() : files.front(), {});
        return;
    }
    set_source(files.front(), files);
}

void ConvertDialog::set_source(const std::string& path, std::vector<std::string> trip) {
    if (job_ || closing_) return;
    source_ = path;
    trip_ = std::move(trip);
    ready_ = false;
    set_label("srcEdit", trip_.empty() ? source_ : trips::trip_files_text(trip_));
    if (const auto name = view_layout::proposed_output_name(source_, '\0')) {
        output_ = *name;
        set_label("editPath", output_);
    }
    stop_timers();
    set_sensitive("btnStart", false);
    if (source_.empty()) return;
    // The old player's GL context lives in the video child: a new child
    // once it has stopped.
    stop_preview([this] { open_preview(); });
}

void ConvertDialog::stop_preview(std::function<void()> then) {
    ++pending_stops_;
    after_stop_.push_back(std::move(then));
    preview_->stop();
}

void ConvertDialog::open_preview() {
    if (source_.empty() || closing_) return;
    GtkWidget* media = widget("wndMedia");
    gtk_widget_show(media);
    gtk_widget_realize(media);
    const platform::NativeWindow video = wnd_media_display_recreate(media);
    // The control is shown at its requested size; until it has been
    // allocated, that request is its size.
    int width = gtk_widget_get_allocated_width(media);
    int height = gtk_widget_get_allocated_height(media);
    if (width <= 1 || height <= 1) gtk_widget_get_size_request(media, &width, &height);
    const int scale = gtk_widget_get_scale_factor(media);
    preview_width_ = width * scale;
    preview_height_ = height * scale;
    trace("Start Play function");
    preview_->set_view(direction_, layout_, preview_width_, preview_height_);
    if (video == 0 || preview_width_ <= 0 || preview_height_ <= 0 ||
        !preview_->open(source_, reinterpret_cast<DOR_NativeWindow>(video), preview_width_,
                        preview_height_)) {
        preview_failed();
        return;
    }
    trace("Success Play function");
    check_tries_ = 0;
    check_timer_ = g_timeout_add(kPreviewCheckMs, &ConvertDialog::on_preview_check, this);
}

void ConvertDialog::preview_failed() {
    stop_timers();
    set_sensitive("btnStart", false);
    if (source_.empty()) return;
    source_.clear();
    trip_.clear();
    ready_ = false;
    set_sensitive("btnStart", false);
    set_sensitive("btnAdd", true);
    show_message(std::string(view_layout::kCannotPlayCaption),
                 text(view_layout::kTextCannotPlay, "This file cannot be played."), true);
}

gboolean ConvertDialog::on_preview_check(gpointer self) {
    auto* dialog = static_cast<ConvertDialog*>(self);
    dialog->check_timer_ = 0;
    dialog->check_preview();
    return G_SOURCE_REMOVE;
}

// The preview has had its time: a recording it has recognised is paused
// and the export offered, with the view controls for a fisheye one.
void ConvertDialog::check_preview() {
    const controller::PlaybackSnapshot s = preview_->snapshot();
    if (s.kind == controller::VideoKind::undecided) {
        if (++check_tries_ < kPreviewTries) {
            check_timer_ = g_timeout_add(kPreviewRetryMs, &ConvertDialog::on_preview_check, this);
        }
        return;
    }
    preview_->pause();
    const bool fisheye = s.kind == controller::VideoKind::fisheye;
    show_view_controls(fisheye);
    if (fisheye) {
        gtk_combo_box_set_active(GTK_COMBO_BOX(widget("comboquality")),
                                 view_layout::kDefaultQuality);
    }
    ready_ = true;
    set_sensitive("btnStart", true);
}

void ConvertDialog::choose_output_file() {
    std::string proposal = output_;
    const bool quality_shown = gtk_widget_get_visible(widget("comboquality"));
    if (!output_.empty()) {
        const int q = gtk_combo_box_get_active(GTK_COMBO_BOX(widget("comboquality")));
        const char letter = quality_shown && q >= 0 && q < view_layout::kQualityCount
                                ? view_layout::kQualityLetters[q]
                                : '\0';
        if (const auto name = view_layout::proposed_output_name(source_, letter)) proposal = *name;
    }
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        nullptr, window(), GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
    GtkFileFilter* movies = gtk_file_filter_new();
    gtk_file_filter_set_name(movies, "Movie Files(*.mp4)");
    gtk_file_filter_add_pattern(movies, "*.mp4");
    GtkFileFilter* all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, "All Files(*.*)");
    gtk_file_filter_add_pattern(all, "*");
    gtk_file_chooser_add_filter(fc, movies);
    gtk_file_chooser_add_filter(fc, all);
    gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
    if (!proposal.empty()) {
        gtk_file_chooser_set_current_folder(fc, folder_of(proposal).c_str());
        gtk_file_chooser_set_current_name(fc, platform::file_name_of(proposal).c_str());
    }
    g_signal_connect(chooser, "response",
                     G_CALLBACK(+[](GtkNativeDialog* d, gint response, gpointer self) {
                         auto* dialog = static_cast<ConvertDialog*>(self);
                         if (response == GTK_RESPONSE_ACCEPT) {
                             gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
                             std::string chosen = path != nullptr ? path : "";
                             g_free(path);
                             // The chooser has asked before replacing it.
                             if (chosen.find('.', chosen.rfind('/') + 1) == std::string::npos) {
                                 chosen += ".mp4";
                             } else {
                                 dialog->confirmed_output_ = chosen;
                             }
                             dialog->choose_output(chosen);
                         }
                         g_object_unref(d);
                     }),
                     this);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void ConvertDialog::choose_output(const std::string& path) {
    if (job_) return;
    output_ = path;
    set_label("editPath", output_);
}

// --- the export

void ConvertDialog::start_export() {
    if (job_ || closing_ || source_.empty() || !ready_) return;
    if (output_.empty()) {
        show_message(text(view_layout::kTextExportCaption, "Export"),
                     text(view_layout::kTextNoOutputPath, "Choose the output file first."), true);
        return;
    }
    if (refuse_output()) return;
    if (platform::path_exists(output_) && confirmed_output_ != output_) {
        const std::string asked = output_;
        ask(output_ + " already exists. Replace it?", [this, asked] {
            confirmed_output_ = asked;
            start_export();
        });
        return;
    }
    const controller::PlaybackSnapshot s = preview_->snapshot();
    if (s.kind == controller::VideoKind::fisheye) {
        export_fisheye();
        return;
    }
    exporter::ExportRequest request;
    request.source = source_;
    request.sources = trip_;
    request.output = output_;
    request.dewarp = false;
    run_job(std::move(request));
}

// An output that is the recording itself would be emptied before it is
// read; one that is the remuxed copy of a TS recording would be replaced
// by that copy and then removed with it.
bool ConvertDialog::refuse_output() {
    const char* why = nullptr;
    const bool a_source = platform::same_file(output_, source_) ||
                          std::any_of(trip_.begin(), trip_.end(), [this](const std::string& file) {
                              return platform::same_file(output_, file);
                          });
    if (a_source) {
        why = trip_.empty()
                  ? "The output file is the recording itself. Choose another output file."
                  : "The output file is one of the trip's recordings. Choose another output file.";
    } else if (ends_with_ts(source_) && platform::file_name_of(output_) == "temp.mp4" &&
               folder_of(output_) == folder_of(source_)) {
        why =
            "temp.mp4 beside a TS recording is the export's working copy. Choose another "
            "output file.";
    }
    if (why == nullptr) return false;
    show_message(text(view_layout::kTextExportCaption, "Export"), why, true);
    return true;
}

// The views are read from the preview's player on its worker; the export
// goes on when that message arrives.
void ConvertDialog::export_fisheye() {
    enable_editing(false);
    set_sensitive("btnStop", false);
    auto read = std::make_shared<ViewRead>();
    view_read_ = read;
    const int count = view_layout::layout_viewports(layout_, 1, 1).count;
    MessageBridge* bridge = bridge_.get();
    preview_->pause();
    preview_->run_on_worker([read, count, bridge](DOR_SpherePlayer* p) {
        if (p != nullptr && p->IsPlaying() != 0) {
            read->playing = true;
            for (int k = 0; k < count; ++k) {
                read->zoom[k] = p->GetZoom(k);
                p->GetViewAngles(k, &read->angles[k].pitch_deg, &read->angles[k].yaw_deg,
                                 &read->angles[k].roll_deg);
            }
            int w = 0;
            p->GetVideoSize(&w, &read->video_height);
        }
        bridge->post(kMsgViewRead);
    });
}

void ConvertDialog::on_view_read() {
    const std::shared_ptr<ViewRead> read = std::move(view_read_);
    if (!read || closing_) return;
    const controller::PlaybackSnapshot s = preview_->snapshot();
    const int q = gtk_combo_box_get_active(GTK_COMBO_BOX(widget("comboquality")));
    exporter::ExportRequest request;
    request.source = source_;
    request.sources = trip_;
    request.output = output_;
    request.calibration = s.calibration_path;
    view_layout::set_quality(request.param,
                             *view_layout::quality_of_index(q >= 0 && q < view_layout::kQualityCount
                                                                ? q
                                                                : view_layout::kDefaultQuality));
    // The layout's own rectangles and draw mode in the preview's pixels; the
    // player's angles and zoom when it still plays, else the layout's
    // default view.
    view_layout::PreviewLayout preview =
        view_layout::default_preview(layout_, direction_, preview_width_, preview_height_,
                                     s.calibration_path, read->video_height);
    if (read->playing) {
        for (int k = 0; k < preview.count; ++k) {
            preview.views[k].angles = read->angles[k];
            preview.views[k].zoom = read->zoom[k];
        }
    }
    // The telemetry overlay: every field, in the units the viewer shows.
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget("chkOverlay")))) {
        request.overlay = {true, true, true};
        request.units_flag = context_.units_flag;
    }
    if (!view_layout::fill_export_viewports(request.param, preview)) {
        enable_editing(true);
        show_message(text(view_layout::kTextExportCaption, "Export"),
                     "The preview has no size yet; the export cannot be set up.", true);
        return;
    }
    for (int k = 0; k < preview.count; ++k) {
        char line[128];
        std::snprintf(line, sizeof line, "[%d], pitch(%0.2f),yaw(%0.2f),roll(%0.2f)", k,
                      static_cast<double>(request.param.pitch[k]),
                      static_cast<double>(request.param.yaw[k]),
                      static_cast<double>(request.param.roll[k]));
        trace(line);
    }
    trace("This cabli file is :\n" + s.calibration_path);
    run_job(std::move(request));
}

void ConvertDialog::run_job(exporter::ExportRequest request) {
    enable_editing(false);
    set_label("labpersent", view_layout::percent_text(0.0f));
    set_label("labetime", " ");
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget("ProgressTranslate")), 0.0);
    job_output_ = request.output;
    job_overlay_ = request.overlay.any();
    auto result = std::make_shared<exporter::ExportResult>();
    job_result_ = result;
    MessageBridge* bridge = bridge_.get();
    job_ = std::make_unique<exporter::ExportJob>(
        context_.converters, std::move(request), [result, bridge](const exporter::ExportResult& r) {
            *result = r;  // read by the UI thread once the message arrives
            bridge->post(kMsgExportDone);
        });
    progress_timer_ = g_timeout_add(kProgressMs, &ConvertDialog::on_progress_tick, this);
}

gboolean ConvertDialog::on_progress_tick(gpointer self) {
    static_cast<ConvertDialog*>(self)->show_progress();
    return G_SOURCE_CONTINUE;
}

void ConvertDialog::show_progress() {
    if (!job_) return;
    const ConvertProgress p = job_->progress();
    set_label("labpersent", view_layout::percent_text(p.percent));
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget("ProgressTranslate")),
                                  view_layout::progress_bar_value(p.percent) / 100.0);
    set_label("labetime", view_layout::remaining_text(p.remaining_minutes, p.remaining_seconds));
}

void ConvertDialog::on_job_done() {
    if (!job_) return;
    if (progress_timer_ != 0) g_source_remove(progress_timer_);
    progress_timer_ = 0;
    job_.reset();  // the job's thread has ended or is about to
    const exporter::ExportResult r = *job_result_;
    job_result_.reset();
    enable_editing(true);
    if (closing_) {
        finish_close();
        return;
    }
    switch (r.outcome) {
        case exporter::ExportOutcome::finished:
            trace(r.copied ? "delivered as a copy" : "渲染结束");
            set_label("labpersent", "100%");
            set_label("labetime", view_layout::remaining_text(0, 0));
            gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget("ProgressTranslate")), 1.0);
            show_message(text(view_layout::kTextExportCaption, "Export"),
                         text(view_layout::kTextExportFinished, "The export has finished.") +
                             (job_overlay_ && !r.overlaid
                                  ? "\nThe recording has no GPS track: no telemetry was added."
                                  : ""),
                         false);
            if (open_folder) open_folder(folder_of(job_output_));
            break;
        case exporter::ExportOutcome::cancelled:
            trace("cancelled");
            break;
        case exporter::ExportOutcome::failed: {
            std::string why = r.text;
            while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
            trace("failed: " + why);
            set_label("labpersent", " ");
            set_label("labetime", " ");
            show_message(text(view_layout::kTextExportCaption, "Export"),
                         "The export failed (" + std::to_string(r.code) + "): " + why, true);
            break;
        }
    }
}

void ConvertDialog::cancel_export() {
    if (!job_) return;
    set_sensitive("btnStop", false);
    job_->cancel();  // its end arrives as a message
}

// --- closing

void ConvertDialog::request_close() {
    if (closing_) return;
    if (job_) {
        ask("An export is running. Stop it and close?", [this] {
            if (closing_) return;
            closing_ = true;
            if (job_) {
                cancel_export();  // closes once the job's end arrives
            } else {
                finish_close();
            }
        });
        return;
    }
    closing_ = true;
    finish_close();
}

void ConvertDialog::finish_close() {
    stop_timers();
    stop_preview([this] {
        gtk_widget_hide(layouts_->root());
        if (context_.closed) context_.closed();
    });
}

void ConvertDialog::stop_timers() {
    for (guint* t : {&check_timer_, &progress_timer_}) {
        if (*t != 0) g_source_remove(*t);
        *t = 0;
    }
}

// --- message boxes

void ConvertDialog::show_message(const std::string& caption, const std::string& t, bool error) {
    messages_.push_back({caption, t, error});
    if (open_message_ != nullptr) gtk_widget_destroy(open_message_);
    GtkWidget* box = gtk_message_dialog_new(window(), GTK_DIALOG_MODAL,
                                            error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO,
                                            GTK_BUTTONS_OK, "%s", t.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    open_message_ = box;
    g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog* d, gint, gpointer self) {
                         auto* dialog = static_cast<ConvertDialog*>(self);
                         if (dialog->open_message_ == GTK_WIDGET(d))
                             dialog->open_message_ = nullptr;
                         gtk_widget_destroy(GTK_WIDGET(d));
                     }),
                     this);
    gtk_widget_show(box);
}

void ConvertDialog::ask(const std::string& question, std::function<void()> yes) {
    if (open_message_ != nullptr) gtk_widget_destroy(open_message_);
    GtkWidget* box = gtk_message_dialog_new(window(), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                            GTK_BUTTONS_YES_NO, "%s", question.c_str());
    gtk_window_set_title(GTK_WINDOW(box), text(view_layout::kTextExportCaption, "Export").c_str());
    open_message_ = box;
    auto* answer = new std::function<void()>(std::move(yes));
    g_object_set_data_full(G_OBJECT(box), "kvp-yes", answer,
                           [](gpointer f) { delete static_cast<std::function<void()>*>(f); });
    g_signal_connect(box, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer self) {
                         auto* dialog = static_cast<ConvertDialog*>(self);
                         if (dialog->open_message_ == GTK_WIDGET(d))
                             dialog->open_message_ = nullptr;
                         std::function<void()> yes = *static_cast<std::function<void()>*>(
                             g_object_get_data(G_OBJECT(d), "kvp-yes"));
                         gtk_widget_destroy(GTK_WIDGET(d));
                         if (response == GTK_RESPONSE_YES) yes();
                     }),
                     this);
    gtk_widget_show(box);
}
