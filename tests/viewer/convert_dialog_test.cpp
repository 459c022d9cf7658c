// The conversion dialog as a user meets it: opened from the main window's
// button, a recording added, its preview checked, an export started,
// watched, cancelled or refused. The file choosers are stood in for by the
// paths they would return; everything else goes through the real controls.
// Exports are checked with ffprobe.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdlib.h>

#include <string>

#include "convert_dialog.h"
#include "shell/language.h"
#include "shell/settings_files.h"
#include "shell/settings_store.h"
#include "viewer_shell.h"
#include "viewer_support.h"

namespace {

using viewer_test::pump_until;

class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        XInitThreads();
        gdk_set_allowed_backends("x11");
        available = gtk_init_check(nullptr, nullptr);
    }
    static bool available;
};
bool GtkEnvironment::available = false;

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

std::string sample(const std::string& name) {
    return std::string(KVP_SAMPLES_DIR) + "/" + name;
}

// "codec width height" of each stream, one per line, or "" when ffprobe
// cannot read the file.
std::string probe(const std::string& path) {
    const auto r = kvp_test::run_command(
        "ffprobe -v error -show_entries stream=codec_type,codec_name,width,height "
        "-of csv=p=0 '" +
        path + "' 2>/dev/null");
    return r.exit_code == 0 ? r.out : "";
}

double probe_duration(const std::string& path) {
    const auto r = kvp_test::run_command(
        "ffprobe -v error -show_entries format=duration -of "
        "csv=p=0 '" +
        path + "' 2>/dev/null");
    return r.exit_code == 0 ? std::atof(r.out.c_str()) : -1.0;
}

void copy(const std::string& from, const std::string& to) {
    ASSERT_EQ(kvp_test::run_command("cp '" + from + "' '" + to + "'").exit_code, 0);
}

class ConvertDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GtkEnvironment::available) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(viewer_test::make_program_dir(program_));
        ::setenv("KVP_PROGRAM_DIR", program_.path().c_str(), 1);
        ::setenv("KVP_SETTINGS_DIR", settings_.path().c_str(), 1);
        kvp_test::write_file(settings_.file("tstamp.szy"),
                             shell::encode_stamp(shell::system_time_of(shell::file_time_now())));
        shell_ = std::make_unique<ViewerShell>();
        shell_->on_quit = [] {};
        std::string error;
        ASSERT_TRUE(shell_->start(&error)) << error;
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        ASSERT_TRUE(pump_until([top] { return gtk_widget_get_mapped(top); }));
    }
    void TearDown() override {
        shell_.reset();
        ::unsetenv("KVP_PROGRAM_DIR");
        ::unsetenv("KVP_SETTINGS_DIR");
    }

    // Clicks the main window's button and waits for the dialog.
    ConvertDialog* open_dialog() {
        gtk_button_clicked(GTK_BUTTON(shell_->window()->widget("btnTranslate")));
        EXPECT_TRUE(pump_until([this] {
            return shell_->convert_dialog() != nullptr &&
                   gtk_widget_get_mapped(GTK_WIDGET(shell_->convert_dialog()->window()));
        }));
        ConvertDialog* d = shell_->convert_dialog();
        if (d != nullptr) d->open_folder = [this](const std::string& f) { opened_folder_ = f; };
        return d;
    }
    // Adds a recording and waits for the preview check that enables
    // "btnStart".
    void add_source(ConvertDialog* d, const std::string& path) {
        d->choose_source(path);
        ASSERT_TRUE(pump_until([d] { return d->ready(); }, 30000)) << path;
    }
    void click(ConvertDialog* d, const char* control) {
        GtkWidget* w = d->widget(control);
        ASSERT_TRUE(gtk_widget_is_sensitive(w)) << control;
        gtk_button_clicked(GTK_BUTTON(w));
    }
    bool wait_for_end(ConvertDialog* d, int ms = 120000) {
        return pump_until([d] { return !d->exporting(); }, ms);
    }
    std::string label(ConvertDialog* d, const char* control) {
        return gtk_label_get_text(GTK_LABEL(d->widget(control)));
    }
    void screenshot(GtkWidget* top, const std::string& name) {
        GdkWindow* w = gtk_widget_get_window(top);
        GdkPixbuf* shot =
            gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(gdk_pixbuf_save(shot, (std::string(KVP_TEST_OUTPUT_DIR "/") + name).c_str(),
                                    "png", nullptr, nullptr));
        g_object_unref(shot);
    }

    kvp_test::TempDir program_, settings_, media_;
    std::unique_ptr<ViewerShell> shell_;
    std::string opened_folder_;
};

TEST_F(ConvertDialogTest, ExportsTheFisheyeSampleAtQualityLWithSound) {
    const std::string source = media_.file("clip.mp4");
    copy(sample("fisheye.mp4"), source);
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    int width = 0, height = 0;
    gtk_window_get_size(d->window(), &width, &height);
    EXPECT_EQ(width, 687);
    // The options say what the main window's buttons for the same view say.
    std::string error;
    auto texts = shell::LanguagePlugin::load(program_.path(), &error);
    ASSERT_NE(texts, nullptr) << error;
    for (const auto& [option, main_button] : {std::pair{"optLeft", "leftbtn"},
                                              {"optUp", "top_btn"},
                                              {"optDown", "downbtn"},
                                              {"optWide", "widebtn"},
                                              {"optSlit2", "split2btn"},
                                              {"optSlit4", "split4btn"}}) {
        gchar* tip = gtk_widget_get_tooltip_text(d->widget(option));
        gchar* main_tip = gtk_widget_get_tooltip_text(shell_->window()->widget(main_button));
        EXPECT_STREQ(tip, main_tip) << option;
        g_free(tip);
        g_free(main_tip);
    }
    EXPECT_EQ(label(d, "Label_output"), texts->text(11));
    EXPECT_FALSE(gtk_widget_get_visible(d->widget("comboquality")));

    add_source(d, source);
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(d->widget("editPath")))),
              media_.file("clip_out.mp4"));
    EXPECT_TRUE(gtk_widget_get_visible(d->widget("comboquality")));
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(d->widget("optSlit4"))));
    gtk_combo_box_set_active(GTK_COMBO_BOX(d->widget("comboquality")), 0);
    const std::string output = media_.file("clip_L.mp4");
    d->choose_output(output);
    click(d, "btnStart");
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnStop")));
    EXPECT_FALSE(gtk_widget_is_sensitive(d->widget("btnAdd")));
    viewer_test::pump_for(1100);  // one progress tick
    screenshot(GTK_WIDGET(d->window()), "convert-dialog-exporting.png");
    ASSERT_TRUE(wait_for_end(d));

    ASSERT_FALSE(d->messages().empty());
    EXPECT_FALSE(d->messages().back().error) << d->messages().back().text;
    EXPECT_EQ(d->messages().back().text, texts->text(16));
    EXPECT_EQ(label(d, "labpersent"), "100%");
    EXPECT_EQ(opened_folder_, media_.path());
    EXPECT_EQ(probe(output), "h264,video,640,384\naac,audio\n");
    EXPECT_NEAR(probe_duration(output), 2.0, 0.3);
    EXPECT_FALSE(kvp_test::names_in(media_.path()).count("clip_L.gpx"));  // left unticked
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnStart")));
    EXPECT_FALSE(gtk_widget_is_sensitive(d->widget("btnStop")));
}

// The telemetry choice ticked on a trip clip: the pictures carry it, the
// MP4 a subtitle track in the viewer's units, and the GPX lies beside it.
TEST_F(ConvertDialogTest, TheTelemetryChoiceAddsASubtitleTrackAndAGpx) {
    const std::string source = media_.file("20241207_153000A.ts");
    copy(sample("trips/20241207_153000A.ts"), source);
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    GtkWidget* box = d->widget("chkOverlay");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(gtk_widget_get_visible(box));
    add_source(d, source);
    ASSERT_TRUE(gtk_widget_get_visible(box));
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box)));
    EXPECT_EQ(std::string(gtk_button_get_label(GTK_BUTTON(box))),
              "Telemetry in the picture (time, speed, position)");
    click(d, "chkOverlay");
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box)));
    gtk_combo_box_set_active(GTK_COMBO_BOX(d->widget("comboquality")), 0);
    const std::string output = media_.file("trip_L.mp4");
    d->choose_output(output);
    viewer_test::pump_for(200);
    screenshot(GTK_WIDGET(d->window()), "convert-dialog-overlay.png");
    click(d, "btnStart");
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    EXPECT_FALSE(gtk_widget_is_sensitive(box));
    ASSERT_TRUE(wait_for_end(d));

    ASSERT_FALSE(d->messages().empty());
    EXPECT_FALSE(d->messages().back().error) << d->messages().back().text;
    EXPECT_NE(probe(output).find("mov_text,subtitle"), std::string::npos) << probe(output);
    const auto cues =
        kvp_test::run_command("ffmpeg -v error -i '" + output + "' -map 0:s -f srt - 2>/dev/null");
    const bool metric = shell_->language_rules().units_flag == 1;
    EXPECT_NE(cues.out.find(metric ? "36KM/H" : "22MPH"), std::string::npos) << cues.out;
    EXPECT_NE(cues.out.find("15:30:03"), std::string::npos) << cues.out;
    const std::string gpx = kvp_test::read_file(media_.file("trip_L.gpx"));
    EXPECT_NE(gpx.find("<trkpt"), std::string::npos) << gpx;
    EXPECT_TRUE(gtk_widget_is_sensitive(box));
}

// Ticked on a recording without a GPS track: exported as without the
// choice, and the finished message says why nothing was added.
TEST_F(ConvertDialogTest, TheTelemetryChoiceOnARecordingWithoutTrackSaysSo) {
    const std::string source = media_.file("clip.mp4");
    copy(sample("fisheye.mp4"), source);
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    add_source(d, source);
    click(d, "chkOverlay");
    gtk_combo_box_set_active(GTK_COMBO_BOX(d->widget("comboquality")), 0);
    click(d, "btnStart");
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    ASSERT_TRUE(wait_for_end(d));
    ASSERT_FALSE(d->messages().empty());
    EXPECT_FALSE(d->messages().back().error);
    EXPECT_NE(d->messages().back().text.find("no GPS track"), std::string::npos)
        << d->messages().back().text;
    EXPECT_EQ(probe(media_.file("clip_out.mp4")), "h264,video,640,384\naac,audio\n");
    EXPECT_FALSE(kvp_test::names_in(media_.path()).count("clip_out.gpx"));
}

TEST_F(ConvertDialogTest, CancelLeavesAPlayableFileOrNoneAndNoMessage) {
    // Ten seconds: long enough to be cancelled half-way.
    const std::string source = media_.file("long.mp4");
    ASSERT_EQ(kvp_test::run_command("ffmpeg -v error -stream_loop 4 -i '" + sample("fisheye.mp4") +
                                    "' -c copy '" + source + "'")
                  .exit_code,
              0);
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    add_source(d, source);
    const std::string output = media_.file("cancelled.mp4");
    d->choose_output(output);
    click(d, "btnStart");
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    ASSERT_TRUE(pump_until([&] { return label(d, "labpersent") != "0.00%"; }, 20000));
    click(d, "btnStop");
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_for_end(d, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
    EXPECT_TRUE(d->messages().empty());
    if (kvp_test::names_in(media_.path()).count("cancelled.mp4")) {
        EXPECT_EQ(probe(output).substr(0, 17), "h264,video,800,48");
        const double seconds = probe_duration(output);
        EXPECT_GT(seconds, 0.0);
        EXPECT_LT(seconds, 9.5);
    }
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnStart")));
    viewer_test::pump_for(200);  // drawn as it is now
    screenshot(GTK_WIDGET(d->window()), "convert-dialog-cancelled.png");

    // Closing during an export asks first, then stops the export and the
    // preview before the dialog goes.
    d->choose_output(media_.file("closed.mp4"));
    click(d, "btnStart");
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    gtk_button_clicked(GTK_BUTTON(d->widget("closebtn")));
    ASSERT_NE(d->open_message(), nullptr);
    gtk_dialog_response(GTK_DIALOG(d->open_message()), GTK_RESPONSE_YES);
    ASSERT_TRUE(pump_until([this] { return shell_->convert_dialog() == nullptr; }, 10000));
    if (kvp_test::names_in(media_.path()).count("closed.mp4")) {
        EXPECT_FALSE(probe(media_.file("closed.mp4")).empty());
    }
}

TEST_F(ConvertDialogTest, AFlatRecordingIsDeliveredAsACopyBesideAnUntouchedTempFile) {
    const std::string source = media_.file("flat.mp4");
    copy(sample("flat.mp4"), source);
    kvp_test::write_file(media_.file("temp.mp4"), "somebody else's temp.mp4");
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    add_source(d, source);
    EXPECT_FALSE(gtk_widget_get_visible(d->widget("comboquality")));
    EXPECT_FALSE(gtk_widget_get_visible(d->widget("optSlit4")));
    EXPECT_FALSE(gtk_widget_get_visible(d->widget("chkOverlay")));  // a copy has no overlay
    click(d, "btnStart");
    ASSERT_TRUE(wait_for_end(d, 30000));
    ASSERT_FALSE(d->messages().empty());
    EXPECT_FALSE(d->messages().back().error) << d->messages().back().text;
    EXPECT_EQ(probe(media_.file("flat_out.mp4")), probe(source));
    EXPECT_NEAR(probe_duration(media_.file("flat_out.mp4")), probe_duration(source), 0.1);
    EXPECT_EQ(kvp_test::read_file(media_.file("temp.mp4")), "somebody else's temp.mp4");
}

TEST_F(ConvertDialogTest, TheSourceItselfIsRefusedAndAnExistingFileIsOnlyReplacedWhenAsked) {
    const std::string source = media_.file("clip.mp4");
    copy(sample("fisheye.mp4"), source);
    const std::string before = kvp_test::read_file(source);
    ConvertDialog* d = open_dialog();
    ASSERT_NE(d, nullptr);
    add_source(d, source);

    // The same file under another name is the same file.
    d->choose_output(media_.path() + "/./clip.mp4");
    click(d, "btnStart");
    viewer_test::pump_for(300);
    EXPECT_FALSE(d->exporting());
    ASSERT_EQ(d->messages().size(), 1u);
    EXPECT_TRUE(d->messages()[0].error);
    EXPECT_EQ(kvp_test::read_file(source), before);

    // An existing output: a question; "No" leaves the file alone.
    const std::string existing = media_.file("existing.mp4");
    kvp_test::write_file(existing, "keep me");
    d->choose_output(existing);
    click(d, "btnStart");
    ASSERT_NE(d->open_message(), nullptr);
    gtk_dialog_response(GTK_DIALOG(d->open_message()), GTK_RESPONSE_NO);
    viewer_test::pump_for(300);
    EXPECT_FALSE(d->exporting());
    EXPECT_EQ(kvp_test::read_file(existing), "keep me");
    // "Yes" replaces it.
    click(d, "btnStart");
    ASSERT_NE(d->open_message(), nullptr);
    gtk_dialog_response(GTK_DIALOG(d->open_message()), GTK_RESPONSE_YES);
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    ASSERT_TRUE(wait_for_end(d));
    EXPECT_EQ(probe(existing).substr(0, 10), "h264,video");
    EXPECT_EQ(kvp_test::read_file(source), before);
}

// A converter that refuses to start, as one does on a damaged recording.
struct RefusingConverter : DOR_SphereVideoConverter {
    int32_t Init(ConverterInitParam*) override { return 16; }
    int32_t StartDewarpingAsync(VideoTime, VideoTime) override { return 21; }
    int32_t Stop() override { return 0; }
    ConvertProgress GetProgress() override { return {}; }
    VideoTime GetVideoDuration() override { return {-1, -1, -1}; }
    int32_t IsRendering() override { return 0; }
    const char* GetLastErrorText() override { return "error: the input has no video stream;\n"; }
    int32_t GetConversionResult() override { return -1; }
    int32_t SetOverlay(const ConverterOverlayCue*, int32_t) override { return 0; }
};

TEST_F(ConvertDialogTest, AConverterFailureIsShownWithItsTextAndNeverAsFinished) {
    const std::string source = media_.file("clip.mp4");
    copy(sample("fisheye.mp4"), source);
    ConvertDialog::Context context;
    context.parent = shell_->window()->window();
    context.program_dir = program_.path();
    context.converters = {[] { return new RefusingConverter; },
                          [](DOR_SphereVideoConverter* c) { delete c; }};
    std::string error;
    auto d = ConvertDialog::create(std::move(context), &error);
    ASSERT_NE(d, nullptr) << error;
    d->present();
    add_source(d.get(), source);
    click(d.get(), "btnStart");
    ASSERT_TRUE(pump_until([&] { return !d->messages().empty(); }, 10000));
    EXPECT_FALSE(d->exporting());
    EXPECT_TRUE(d->messages().back().error);
    EXPECT_NE(d->messages().back().text.find("the input has no video stream"), std::string::npos)
        << d->messages().back().text;
    EXPECT_EQ(label(d.get(), "labpersent"), " ");
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnStart")));
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnAdd")));
    EXPECT_FALSE(gtk_widget_is_sensitive(d->widget("btnStop")));
    EXPECT_FALSE(kvp_test::names_in(media_.path()).count("clip_out.mp4"));
}

}  // namespace
