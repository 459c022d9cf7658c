// Playback in the real main window, in this process under the test run's X
// server, with the real player: opening clips the suite generated, the
// control sets, the layouts as pixels of the video window, stepping,
// stopping, full screen, failures, stale messages, and the playlist's play
// modes across the end of each file and across a restart.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "controller/player_controller.h"
#include "custom_controls.h"
#include "kvp_process.h"
#include "playback_wiring.h"
#include "shell/settings_files.h"
#include "viewer_shell.h"
#include "viewer_support.h"

namespace {

using viewer_test::pump_for;
using viewer_test::pump_until;
using State = PlaybackWiring::State;

const std::string kFisheye = KVP_SAMPLES_DIR "/fisheye.mp4";
const std::string kFlat = KVP_SAMPLES_DIR "/flat.mp4";
const std::string kOutput = KVP_TEST_OUTPUT_DIR;

// Each test program draws on an X server of its own when it can start one:
// the pixels it reads back and the screenshots it takes are then of its own
// window, never of a window another test program put on top of it.
class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<viewer_test::PrivateXServer>(1920, 1080);
        if (!server_->display().empty()) ::setenv("DISPLAY", server_->display().c_str(), 1);
        XInitThreads();
        gdk_set_allowed_backends("x11");
        available = gtk_init_check(nullptr, nullptr);
    }
    static bool available;

private:
    std::unique_ptr<viewer_test::PrivateXServer> server_;
};
bool GtkEnvironment::available = false;
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// What the side panels would hear.
struct Recorder : PlaybackObserver {
    std::vector<std::string> opened;
    int positions = 0, paused = 0, resumed = 0, seeks = 0, seeks_done = 0, stopped = 0;
    void on_opened(const std::string& media, int64_t) override { opened.push_back(media); }
    void on_position(int64_t) override { ++positions; }
    void on_paused() override { ++paused; }
    void on_resumed() override { ++resumed; }
    void on_seek_started() override { ++seeks; }
    void on_seek_finished(int64_t) override { ++seeks_done; }
    void on_stopped() override { ++stopped; }
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GtkEnvironment::available) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(viewer_test::make_program_dir(program_));
        ::setenv("KVP_PROGRAM_DIR", program_.path().c_str(), 1);
        ::setenv("KVP_SETTINGS_DIR", settings_.path().c_str(), 1);
        ::setenv("KVP_NO_MESSAGE_BOXES", "1", 1);
        ::setenv("XDG_CACHE_HOME", cache_.path().c_str(), 1);
        kvp_test::write_file(settings_.file("tstamp.szy"),
                             shell::encode_stamp(shell::system_time_of(shell::file_time_now())));
        start();
    }
    void TearDown() override {
        close();
        ::unsetenv("KVP_PROGRAM_DIR");
        ::unsetenv("KVP_SETTINGS_DIR");
        ::unsetenv("KVP_NO_MESSAGE_BOXES");
    }
    void start() {
        shell_ = std::make_unique<ViewerShell>();
        shell_->on_quit = [] {};
        std::string error;
        ASSERT_TRUE(shell_->start(&error)) << error;
        shell_->add_playback_observer(&recorder_);
        wiring_ = std::make_unique<PlaybackWiring>(*shell_);
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        ASSERT_TRUE(pump_until([top] { return gtk_widget_get_mapped(top); }));
        pump_for(200);
    }
    // The close path, then the shutdown (settings saved).
    void close() {
        if (!shell_) return;
        bool stopped = false;
        shell_->stop_playback([&] { stopped = true; });
        pump_until([&] { return stopped; }, 10000);
        wiring_.reset();
        shell_->shutdown();
        shell_.reset();
    }
    void click(const char* name) {
        GtkWidget* w = shell_->window()->widget(name);
        ASSERT_TRUE(GTK_IS_BUTTON(w)) << name;
        gtk_button_clicked(GTK_BUTTON(w));
    }
    bool visible(const char* name) {
        return gtk_widget_get_visible(shell_->window()->widget(name));
    }
    bool wait_state(State s, int ms = 20000) {
        return pump_until([&] { return wiring_->state() == s; }, ms);
    }
    bool play_and_wait(const std::string& path) {
        if (!wiring_->open_paths({path})) return false;
        return pump_until([&] { return wiring_->state() == State::opening; }, 5000) &&
               wait_state(State::playing);
    }
    void key(guint keyval, bool press, GtkWidget* focus) {
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        if (focus != nullptr) gtk_widget_grab_focus(focus);
        GdkEvent* e = gdk_event_new(press ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
        e->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
        e->key.keyval = keyval;
        e->key.time = GDK_CURRENT_TIME;
        gdk_event_set_device(
            e, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_main_do_event(e);
        gdk_event_free(e);
    }
    // The video child's pixels, as the X server holds them.
    struct Picture {
        int width = 0, height = 0;
        std::vector<unsigned> rgb;
        unsigned at(int x, int y) const { return rgb[static_cast<std::size_t>(y * width + x)]; }
        // The share of non-black pixels in a rectangle (X origin top left).
        double lit(int x0, int y0, int x1, int y1) const {
            int n = 0, lit = 0;
            for (int y = y0; y < y1; y += 2) {
                for (int x = x0; x < x1; x += 2) {
                    ++n;
                    const unsigned p = at(x, y);
                    if (((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff) > 60) ++lit;
                }
            }
            return n > 0 ? static_cast<double>(lit) / n : 0;
        }
    };
    Picture video_picture() {
        Picture pic;
        const Window child = wnd_media_display_video_window(shell_->window()->widget("wndMedia"));
        Display* d = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
        XWindowAttributes a;
        if (child == 0 || !XGetWindowAttributes(d, child, &a)) return pic;
        XImage* image = XGetImage(d, child, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
        if (image == nullptr) return pic;
        pic.width = a.width;
        pic.height = a.height;
        pic.rgb.resize(static_cast<std::size_t>(a.width * a.height));
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                pic.rgb[static_cast<std::size_t>(y * a.width + x)] =
                    static_cast<unsigned>(XGetPixel(image, x, y)) & 0xffffff;
            }
        }
        XDestroyImage(image);
        return pic;
    }
    void screenshot(const std::string& name) {
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        GdkWindow* w = gtk_widget_get_window(top);
        GdkPixbuf* shot =
            gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
        ASSERT_NE(shot, nullptr);
        ASSERT_TRUE(gdk_pixbuf_save(shot, (kOutput + "/" + name).c_str(), "png", nullptr, nullptr));
        g_object_unref(shot);
    }

    kvp_test::TempDir program_, settings_, cache_;
    Recorder recorder_;
    std::unique_ptr<ViewerShell> shell_;
    std::unique_ptr<PlaybackWiring> wiring_;
};

TEST_F(PlaybackTest, FisheyeAndFlatClipsGetTheirControlSetsAndStopReturnsToIdle) {
    EXPECT_FALSE(visible("split2btn"));
    EXPECT_FALSE(visible("btnPause") && visible("btnPlay"));
    ASSERT_TRUE(play_and_wait(kFisheye));
    EXPECT_EQ(wiring_->controller().snapshot().kind, controller::VideoKind::fisheye);
    for (const char* name :
         {"split2btn", "split4btn", "widebtn", "ballbtn", "sliderBright", "btnPause"}) {
        EXPECT_TRUE(visible(name)) << name;
    }
    EXPECT_FALSE(visible("OffMirrorbtn"));
    EXPECT_FALSE(visible("btnPlay"));
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(shell_->window()->widget("Label_PlayPath"))), kFisheye);
    ASSERT_EQ(recorder_.opened.size(), 1u);
    EXPECT_EQ(recorder_.opened[0], kFisheye);
    EXPECT_TRUE(pump_until([&] { return recorder_.positions > 0; }, 5000));

    ASSERT_TRUE(play_and_wait(kFlat));
    EXPECT_EQ(wiring_->controller().snapshot().kind, controller::VideoKind::flat);
    EXPECT_TRUE(visible("OffMirrorbtn"));
    for (const char* name : {"split2btn", "split4btn", "widebtn", "ballbtn", "sliderBright"}) {
        EXPECT_FALSE(visible(name)) << name;
    }
    click("OffMirrorbtn");
    EXPECT_TRUE(visible("OnMirrorbtn"));
    EXPECT_FALSE(visible("OffMirrorbtn"));

    click("btnStop");
    EXPECT_EQ(wiring_->state(), State::idle);
    EXPECT_FALSE(visible("OnMirrorbtn"));
    EXPECT_TRUE(visible("btnPlay"));
    EXPECT_FALSE(visible("btnPause"));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(shell_->window()->widget("labelPlayTime"))), "");
    EXPECT_GE(recorder_.stopped, 1);
    // Every clip stays in the playlist once.
    EXPECT_EQ(wiring_->playlist().model().size(), 2u);
}

// A drop as the window receives it: the uri-list's bytes in a selection
// (fetched through the X server from a clipboard this test owns).
GtkSelectionData* uri_list_selection(const std::string& uris) {
    static std::string bytes;
    bytes = uris;
    GtkClipboard* clipboard = gtk_clipboard_get(gdk_atom_intern_static_string("KVP_TEST_DROP"));
    GtkTargetEntry target{const_cast<char*>("text/uri-list"), 0, 0};
    gtk_clipboard_set_with_data(
        clipboard, &target, 1,
        [](GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
            gtk_selection_data_set(data, gdk_atom_intern_static_string("text/uri-list"), 8,
                                   reinterpret_cast<const guchar*>(bytes.data()),
                                   static_cast<gint>(bytes.size()));
        },
        nullptr, nullptr);
    return gtk_clipboard_wait_for_contents(clipboard,
                                           gdk_atom_intern_static_string("text/uri-list"));
}

TEST_F(PlaybackTest, DroppingAFolderAndAClipPlaysTheFirstRecordingFound) {
    kvp_test::TempDir media;
    ASSERT_EQ(
        kvp_test::run_command("cp '" + kFisheye + "' '" + media.file("a clip.mp4") + "'").exit_code,
        0);
    GtkSelectionData* data =
        uri_list_selection("# from a file manager\r\nfile://" + media.path() + "\r\nfile://" +
                           kFlat + "\r\nhttp://example.org/x.mp4\r\n");
    ASSERT_NE(data, nullptr);
    // A space in a dropped name comes escaped.
    GtkSelectionData* escaped = uri_list_selection("file://" + media.path() + "/a%20clip.mp4\r\n");
    ASSERT_NE(escaped, nullptr);
    GtkWidget* top = GTK_WIDGET(shell_->window()->window());
    g_signal_emit_by_name(top, "drag-data-received", nullptr, 10, 10, data, 0u, GDK_CURRENT_TIME);
    ASSERT_TRUE(wait_state(State::playing));
    EXPECT_EQ(wiring_->current_file(), media.file("a clip.mp4"));
    EXPECT_EQ(wiring_->controller().snapshot().kind, controller::VideoKind::fisheye);
    EXPECT_EQ(shell_->settings().playlist,
              (std::vector<std::string>{media.file("a clip.mp4"), kFlat}));
    g_signal_emit_by_name(top, "drag-data-received", nullptr, 10, 10, escaped, 0u,
                          GDK_CURRENT_TIME);
    EXPECT_EQ(shell_->settings().playlist.size(), 2u);
    // Dropped again, the clip plays again from its start.
    ASSERT_TRUE(pump_until([&] { return wiring_->state() == State::opening; }, 5000));
    ASSERT_TRUE(wait_state(State::playing));
    EXPECT_EQ(wiring_->current_file(), media.file("a clip.mp4"));
    gtk_selection_data_free(data);
    gtk_selection_data_free(escaped);
}

TEST_F(PlaybackTest, EachLayoutDrawsWhereItsViewportsAre) {
    ASSERT_TRUE(play_and_wait(kFisheye));
    click("btnPause");
    ASSERT_EQ(wiring_->state(), State::paused);
    struct Case {
        const char* button;
        const char* file;
    };
    const Case cases[] = {{"widebtn", "kvp-layout-1-wide.png"},
                          {"split2btn", "kvp-layout-2-two-way.png"},
                          {"split4btn", "kvp-layout-3-four-way.png"},
                          {"ballbtn", "kvp-layout-4-strip.png"}};
    for (const Case& c : cases) {
        click(c.button);
        wiring_->controller().drain();
        // A step redraws the paused picture with the new views.
        key(GDK_KEY_Right, false, nullptr);
        wiring_->controller().drain();
        const std::string button = c.button;
        // What each layout lights, read back until the player has drawn it
        // (a busy machine draws late).
        const auto drawn = [&](const Picture& p) {
            const int w = p.width, h = p.height;
            if (w <= 100) return false;
            if (button == "split2btn") {
                // Two views in the middle half; the sides stay black.
                return p.lit(0, 0, w / 4 - 4, h) < 0.02 && p.lit(3 * w / 4 + 4, 0, w, h) < 0.02 &&
                       p.lit(w / 4 + 4, 0, 3 * w / 4 - 4, h) > 0.5;
            }
            if (button == "ballbtn") {
                // The strip: w / pi high, centred when the window is taller.
                const int strip = static_cast<int>(w / 3.1415925f);
                if (strip >= h - 8) return p.lit(0, 0, w, h) > 0.7;
                const int top = (h - strip) / 2;
                return p.lit(0, 0, w, top - 4) < 0.02 &&
                       p.lit(0, top + 4, w, top + strip - 4) > 0.5;
            }
            return p.lit(0, 0, w, h) > 0.7;
        };
        Picture p;
        EXPECT_TRUE(pump_until(
            [&] {
                p = video_picture();
                return drawn(p);
            },
            15000))
            << button << " " << p.width << "x" << p.height;
        EXPECT_TRUE(visible("split2btn")) << "the fisheye control set while paused";
        pump_for(300);  // the window's own controls drawn too
        screenshot(c.file);
    }
}

TEST_F(PlaybackTest, ArrowReleaseStepsOnePictureEvenWithTheFocusOnASlider) {
    ASSERT_TRUE(play_and_wait(kFisheye));
    click("btnPause");
    pump_for(300);
    GtkWidget* volume = shell_->window()->widget("sliderVol");
    const double volume_before = gtk_range_get_value(GTK_RANGE(volume));
    key(GDK_KEY_Right, false, volume);
    ASSERT_TRUE(pump_until([&] { return wiring_->position_ms() > 0; }, 5000));
    const auto first = wiring_->position_ms();
    key(GDK_KEY_Right, true, volume);
    key(GDK_KEY_Right, false, volume);
    ASSERT_TRUE(pump_until([&] { return wiring_->position_ms() != first; }, 5000));
    // One picture of a 30 fps clip.
    EXPECT_NEAR(wiring_->position_ms() - first, 33, 2);
    const auto second = wiring_->position_ms();
    key(GDK_KEY_Left, false, shell_->window()->widget("treePlaylist"));
    ASSERT_TRUE(pump_until([&] { return wiring_->position_ms() != second; }, 5000));
    EXPECT_NEAR(wiring_->position_ms(), first, 2);
    EXPECT_EQ(gtk_range_get_value(GTK_RANGE(volume)), volume_before);
    EXPECT_EQ(wiring_->state(), State::paused);
}

TEST_F(PlaybackTest, FullScreenOnAndOffRestoresThePlacement) {
    GtkWindow* top = shell_->window()->window();
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(top, &x, &y);
    gtk_window_get_size(top, &w, &h);
    GdkRectangle screen;
    gdk_monitor_get_geometry(gdk_display_get_primary_monitor(gdk_display_get_default()), &screen);
    ASSERT_LT(w, screen.width);
    click("btnScreenFull");
    EXPECT_TRUE(wiring_->full_screen());
    ASSERT_TRUE(pump_until(
        [&] {
            int fw = 0, fh = 0;
            gtk_window_get_size(top, &fw, &fh);
            return fw == screen.width;
        },
        5000));
    EXPECT_TRUE(visible("btnScreenNormal"));
    EXPECT_FALSE(visible("btnScreenFull"));
    EXPECT_FALSE(visible("ctnCaption"));
    // Escape outside full screen does nothing; inside it leaves.
    key(GDK_KEY_Escape, false, shell_->window()->widget("sliderVol"));
    EXPECT_FALSE(wiring_->full_screen());
    ASSERT_TRUE(pump_until(
        [&] {
            int rw = 0, rh = 0;
            gtk_window_get_size(top, &rw, &rh);
            return rw == w && rh == h;
        },
        5000));
    pump_for(300);
    int x2 = 0, y2 = 0;
    gtk_window_get_position(top, &x2, &y2);
    EXPECT_EQ(x2, x);
    EXPECT_EQ(y2, y);
    EXPECT_TRUE(visible("btnScreenFull"));
    EXPECT_TRUE(visible("ctnCaption"));
    EXPECT_FALSE(visible("btnScreenNormal"));
    key(GDK_KEY_Escape, false, nullptr);
    EXPECT_FALSE(wiring_->full_screen());
}

TEST_F(PlaybackTest, SeekAndVolumeFollowTheSliders) {
    ASSERT_TRUE(play_and_wait(kFisheye));
    click("btnPause");
    GtkWidget* seek = shell_->window()->widget("sliderPlay");
    // A user's value change at the very end: the seek is clamped, not refused.
    gboolean handled = FALSE;
    g_signal_emit_by_name(seek, "change-value", GTK_SCROLL_JUMP, 1000.0, &handled);
    gtk_range_set_value(GTK_RANGE(seek), 1000);
    EXPECT_EQ(recorder_.seeks, 1);
    key(GDK_KEY_Right, false, nullptr);
    ASSERT_TRUE(pump_until([&] { return recorder_.seeks_done == 1; }, 5000));
    EXPECT_GE(wiring_->position_ms(), 1000);
    EXPECT_EQ(wiring_->state(), State::paused);

    click("btnVolume");
    wiring_->controller().drain();
    EXPECT_EQ(wiring_->controller().snapshot().volume, 0);
    EXPECT_TRUE(visible("btnVolumeZero"));
    click("btnVolumeZero");
    wiring_->controller().drain();
    EXPECT_EQ(
        wiring_->controller().snapshot().volume,
        static_cast<int>(gtk_range_get_value(GTK_RANGE(shell_->window()->widget("sliderVol"))) /
                         100.0f * 128));
    click("btnPlay");
    EXPECT_EQ(recorder_.paused, 1);
    EXPECT_EQ(recorder_.resumed, 1);
}

TEST_F(PlaybackTest, AFileThatDoesNotPlayLeavesThePlaylistAMissingOneStays) {
    const std::string broken = settings_.file("broken.mp4");
    kvp_test::write_file(broken, std::string(4096, 'x'));
    const std::string missing = settings_.file("gone/card.mp4");
    wiring_->playlist().add({missing});
    ASSERT_TRUE(wiring_->open_paths({broken}));
    ASSERT_TRUE(pump_until([&] { return !wiring_->last_message().empty(); }, 30000));
    EXPECT_EQ(wiring_->state(), State::idle);
    EXPECT_TRUE(visible("btnPlay"));
    EXPECT_FALSE(visible("btnPause"));
    EXPECT_FALSE(wiring_->playlist().model().index_of(broken).has_value());

    // An unplugged card: the open fails at once, the entry stays.
    wiring_->play(missing);
    ASSERT_TRUE(pump_until([&] { return wiring_->state() == State::opening; }, 5000));
    ASSERT_TRUE(wait_state(State::idle, 5000));
    EXPECT_TRUE(wiring_->playlist().model().index_of(missing).has_value());
}

TEST_F(PlaybackTest, TwoQuickOpensPlayTheLatestAndStaleMessagesAreDropped) {
    ASSERT_TRUE(play_and_wait(kFisheye));
    const unsigned old_generation = wiring_->controller().snapshot().generation;
    wiring_->open_paths({kFlat});
    wiring_->open_paths({kFisheye});
    wiring_->open_paths({kFlat});
    ASSERT_TRUE(pump_until([&] { return wiring_->state() == State::opening; }, 5000));
    ASSERT_TRUE(wait_state(State::playing));
    pump_for(300);
    EXPECT_EQ(wiring_->current_file(), kFlat);
    EXPECT_EQ(wiring_->controller().snapshot().kind, controller::VideoKind::flat);
    // Opened: the first clip, then only the latest of the burst.
    ASSERT_EQ(recorder_.opened.size(), 2u);
    EXPECT_EQ(recorder_.opened[1], kFlat);
    // An end of file of the clip before must not skip this one.
    shell_->messages()->post(controller::kMsgEndOfFile, old_generation);
    pump_for(300);
    EXPECT_EQ(wiring_->state(), State::playing);
    EXPECT_EQ(wiring_->current_file(), kFlat);
}

TEST_F(PlaybackTest, StopOrCloseWhileAFileOpensLeavesNothingPlaying) {
    ASSERT_TRUE(wiring_->open_paths({kFisheye}));
    ASSERT_TRUE(pump_until([&] { return wiring_->state() == State::opening; }, 5000));
    click("btnStop");
    EXPECT_EQ(wiring_->state(), State::idle);
    pump_for(1500);
    // The open was given up or its report dropped: nothing plays.
    EXPECT_EQ(wiring_->state(), State::idle);
    EXPECT_TRUE(recorder_.opened.empty());
    EXPECT_FALSE(wiring_->controller().snapshot().open);

    ASSERT_TRUE(wiring_->open_paths({kFlat}));
    pump_for(20);
    close();
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), kFisheye + "\n" + kFlat + "\n");
}

// --- the playlist

TEST_F(PlaybackTest, TheSameFileAddedTwiceGivesOneRow) {
    wiring_->playlist().add({kFisheye, kFisheye});
    wiring_->playlist().add({kFisheye, settings_.file("notes.txt")});
    GtkTreeModel* rows = GTK_TREE_MODEL(shell_->window()->object("nodePlaylist"));
    EXPECT_EQ(gtk_tree_model_iter_n_children(rows, nullptr), 1);
    click("btnDelete");
    EXPECT_EQ(gtk_tree_model_iter_n_children(rows, nullptr), 0);
    EXPECT_TRUE(shell_->settings().playlist.empty());
    EXPECT_EQ(shell_->settings().config.last_index, -1);
}

TEST_F(PlaybackTest, SequenceModePlaysEachClipInTurnAndThenStops) {
    ASSERT_TRUE(wiring_->open_paths({kFisheye, kFlat}));
    ASSERT_TRUE(pump_until([&] { return recorder_.opened.size() == 2; }, 30000));
    EXPECT_EQ(recorder_.opened[0], kFisheye);
    EXPECT_EQ(recorder_.opened[1], kFlat);
    ASSERT_TRUE(pump_until([&] { return wiring_->state() == State::idle; }, 30000));
    EXPECT_EQ(recorder_.opened.size(), 2u);
    EXPECT_EQ(shell_->settings().config.last_index, 1);
}

TEST_F(PlaybackTest, SingleCircleRepeatsTheFileAndRandomPlaysEachOncePerRound) {
    wiring_->playlist().set_play_mode(playlist::kSingleCircle);
    ASSERT_TRUE(wiring_->open_paths({kFlat}));
    ASSERT_TRUE(pump_until([&] { return recorder_.opened.size() == 2; }, 30000));
    EXPECT_EQ(recorder_.opened[1], kFlat);

    click("btnStop");
    recorder_.opened.clear();
    wiring_->playlist().add({kFisheye});
    wiring_->playlist().set_play_mode(playlist::kRandom);
    EXPECT_EQ(shell_->settings().config.play_mode, playlist::kRandom);
    wiring_->play(kFlat);
    // The file that ended, then a round of two in random order.
    ASSERT_TRUE(pump_until([&] { return recorder_.opened.size() == 3; }, 40000));
    EXPECT_NE(recorder_.opened[1], recorder_.opened[2]);
}

TEST_F(PlaybackTest, RestartRestoresTheListTheSelectionAndTheMode) {
    wiring_->playlist().add({kFisheye, kFlat});
    wiring_->playlist().set_play_mode(playlist::kSingleCircle);
    wiring_->playlist().played(kFlat);
    close();
    start();
    GtkTreeModel* rows = GTK_TREE_MODEL(shell_->window()->object("nodePlaylist"));
    EXPECT_EQ(gtk_tree_model_iter_n_children(rows, nullptr), 2);
    EXPECT_EQ(wiring_->playlist().model().play_mode(), playlist::kSingleCircle);
    EXPECT_EQ(wiring_->playlist().model().last_index(), 1);
    GtkTreeView* tree = GTK_TREE_VIEW(shell_->window()->widget("treePlaylist"));
    GtkTreeIter selected;
    ASSERT_TRUE(
        gtk_tree_selection_get_selected(gtk_tree_view_get_selection(tree), nullptr, &selected));
    GtkTreePath* path = gtk_tree_model_get_path(rows, &selected);
    EXPECT_EQ(gtk_tree_path_get_indices(path)[0], 1);
    gtk_tree_path_free(path);

    // Activating a row plays it.
    path = gtk_tree_path_new_from_indices(0, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(tree), path);
    gtk_tree_view_row_activated(tree, path, gtk_tree_view_get_column(tree, 0));
    gtk_tree_path_free(path);
    ASSERT_TRUE(wait_state(State::playing));
    EXPECT_EQ(wiring_->current_file(), kFisheye);
    EXPECT_EQ(shell_->settings().config.last_index, 0);
}

TEST_F(PlaybackTest, PlayModeMenuShowsTheCurrentModeChecked) {
    wiring_->playlist().add({kFisheye, kFlat});
    wiring_->playlist().set_play_mode(playlist::kRandom);
    click("btnPlayMode");
    LayoutSet* menu = wiring_->playlist().menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(pump_until([&] { return gtk_widget_get_mapped(menu->root()); }, 5000));
    pump_for(400);
    EXPECT_FALSE(gtk_widget_get_visible(menu->widget("lab_item0")));
    EXPECT_TRUE(gtk_widget_get_visible(menu->widget("lab_item1")));
    EXPECT_FALSE(gtk_widget_get_visible(menu->widget("lab_item2")));
    screenshot("kvp-playlist-play-mode-menu.png");
    gtk_button_clicked(GTK_BUTTON(menu->widget("menuSingleCircle")));
    EXPECT_EQ(shell_->settings().config.play_mode, playlist::kSingleCircle);
}

}  // namespace
