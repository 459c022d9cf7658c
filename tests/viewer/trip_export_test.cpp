// Exporting a trip from the playlist as a user does: the trip's recordings
// in the real main window's playlist, a right click on a row, "Export this
// trip…" in its menu, the conversion dialog it opens with the trip chosen,
// an export at quality L checked with ffprobe. A recording that is no part
// of a trip leaves the item disabled.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "convert_dialog.h"
#include "playback_wiring.h"
#include "shell/settings_files.h"
#include "viewer_shell.h"
#include "viewer_support.h"

namespace {

using viewer_test::pump_for;
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

const char* const kTripClips[] = {"20241207_153000A.ts", "20241207_153004A.ts",
                                  "20241207_153008A.ts"};

int pictures_in(const std::string& path) {
    const auto r = kvp_test::run_command(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -of csv=p=0 '" +
        path + "' 2>/dev/null");
    return r.exit_code == 0 ? std::atoi(r.out.c_str()) : -1;
}

class TripExportTest : public ::testing::Test {
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
        wiring_ = std::make_unique<PlaybackWiring>(*shell_);
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        ASSERT_TRUE(pump_until([top] { return gtk_widget_get_mapped(top); }));
        pump_for(200);
    }
    void TearDown() override {
        if (shell_) {
            bool stopped = false;
            shell_->stop_playback([&] { stopped = true; });
            pump_until([&] { return stopped; }, 10000);
        }
        wiring_.reset();
        shell_.reset();
        ::unsetenv("KVP_PROGRAM_DIR");
        ::unsetenv("KVP_SETTINGS_DIR");
    }

    // The pointer moved onto a playlist row and its right button pressed
    // there: the menu opens where the pointer is.
    void right_click_row(int row) {
        GtkTreeView* tree = GTK_TREE_VIEW(shell_->window()->widget("treePlaylist"));
        ASSERT_NE(tree, nullptr);
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        GdkRectangle cell;
        gtk_tree_view_get_cell_area(tree, path, nullptr, &cell);
        gtk_tree_path_free(path);
        GdkWindow* bin = gtk_tree_view_get_bin_window(tree);
        GdkEvent* e = gdk_event_new(GDK_BUTTON_PRESS);
        e->button.window = GDK_WINDOW(g_object_ref(bin));
        e->button.x = cell.x + 20;
        e->button.y = cell.y + cell.height / 2.0;
        int root_x = 0, root_y = 0;
        gdk_window_get_root_coords(bin, static_cast<int>(e->button.x),
                                   static_cast<int>(e->button.y), &root_x, &root_y);
        e->button.x_root = root_x;
        e->button.y_root = root_y;
        GdkDevice* pointer =
            gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
        gdk_device_warp(pointer, gdk_screen_get_default(), root_x, root_y);
        pump_for(100);
        e->button.button = 3;
        e->button.time = GDK_CURRENT_TIME;
        gdk_event_set_device(e, pointer);
        gtk_main_do_event(e);
        gdk_event_free(e);
    }
    PlaylistView& playlist() { return wiring_->playlist(); }
    GtkWidget* trip_item() {
        return playlist().row_menu() ? playlist().row_menu()->widget("menuExportTrip") : nullptr;
    }
    // The screen where the window lies: the menu is a window of its own.
    void screenshot(GtkWidget* top, const std::string& name) {
        GdkWindow* w = gtk_widget_get_window(top);
        GdkRectangle frame;
        gdk_window_get_frame_extents(w, &frame);
        GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), frame.x,
                                                     frame.y, frame.width, frame.height);
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(gdk_pixbuf_save(shot, (std::string(KVP_TEST_OUTPUT_DIR "/") + name).c_str(),
                                    "png", nullptr, nullptr));
        g_object_unref(shot);
    }

    kvp_test::TempDir program_, settings_, trip_, other_;
    std::unique_ptr<ViewerShell> shell_;
    std::unique_ptr<PlaybackWiring> wiring_;
};

TEST_F(TripExportTest, TheRowMenuExportsTheWholeTripAtQualityL) {
    std::vector<std::string> trip;
    int pictures = 0;
    for (const char* name : kTripClips) {
        trip.push_back(trip_.file(name));
        ASSERT_EQ(kvp_test::run_command(std::string("cp '" KVP_SAMPLES_DIR "/trips/") + name +
                                        "' '" + trip.back() + "'")
                      .exit_code,
                  0);
        pictures += pictures_in(trip.back());
    }
    const std::string lone = other_.file("clip.mp4");
    ASSERT_EQ(
        kvp_test::run_command("cp '" KVP_SAMPLES_DIR "/fisheye.mp4' '" + lone + "'").exit_code, 0);
    playlist().add({lone, trip[0], trip[1], trip[2]});
    pump_for(200);

    // A recording alone in its folder: the item stays disabled.
    right_click_row(0);
    ASSERT_NE(trip_item(), nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(playlist().row_menu()->root()));
    ASSERT_TRUE(pump_until([this] { return !playlist().row_trip().empty(); }, 20000));
    EXPECT_EQ(playlist().row_trip(), std::vector<std::string>{lone});
    EXPECT_FALSE(gtk_widget_is_sensitive(trip_item()));
    // Closed, as Escape would, before the next click.
    gtk_menu_popdown(GTK_MENU(playlist().row_menu()->root()));
    pump_for(200);

    // The trip's middle recording: the whole trip, in order.
    right_click_row(2);
    ASSERT_TRUE(pump_until([this] { return gtk_widget_is_sensitive(trip_item()); }, 20000));
    EXPECT_TRUE(gtk_widget_get_mapped(playlist().row_menu()->root()));
    EXPECT_EQ(playlist().row_trip(), trip);
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(trip_item())), "Export this trip…");
    pump_for(300);
    screenshot(GTK_WIDGET(shell_->window()->window()), "playlist-trip-menu.png");
    gtk_menu_shell_activate_item(GTK_MENU_SHELL(playlist().row_menu()->root()), trip_item(), TRUE);

    ASSERT_TRUE(pump_until([this] {
        return shell_->convert_dialog() != nullptr &&
               gtk_widget_get_mapped(GTK_WIDGET(shell_->convert_dialog()->window()));
    }));
    ConvertDialog* d = shell_->convert_dialog();
    std::string opened_folder;
    d->open_folder = [&](const std::string& f) { opened_folder = f; };
    EXPECT_EQ(d->trip(), trip);
    EXPECT_EQ(d->source(), trip[0]);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(d->widget("srcEdit"))),
                 "20241207_153000A.ts … 20241207_153008A.ts (3 recordings)");
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(d->widget("editPath")))),
              trip_.file("20241207_153000A_out.mp4"));
    ASSERT_TRUE(pump_until([d] { return d->ready(); }, 30000));
    EXPECT_TRUE(gtk_widget_get_visible(d->widget("comboquality")));  // a fisheye trip
    EXPECT_TRUE(gtk_widget_is_sensitive(d->widget("btnStart")));
    gtk_combo_box_set_active(GTK_COMBO_BOX(d->widget("comboquality")), 0);
    pump_for(300);  // drawn
    screenshot(GTK_WIDGET(d->window()), "convert-dialog-trip.png");

    // An output that is one of the recordings is refused.
    d->choose_output(trip[1]);
    gtk_button_clicked(GTK_BUTTON(d->widget("btnStart")));
    ASSERT_FALSE(d->messages().empty());
    EXPECT_TRUE(d->messages().back().error);
    EXPECT_FALSE(d->exporting());
    if (d->open_message() != nullptr) gtk_dialog_response(GTK_DIALOG(d->open_message()), 0);

    const std::string output = trip_.file("trip_L.mp4");
    d->choose_output(output);
    gtk_button_clicked(GTK_BUTTON(d->widget("btnStart")));
    ASSERT_TRUE(pump_until([d] { return d->exporting(); }, 10000));
    ASSERT_TRUE(pump_until([d] { return !d->exporting(); }, 180000));
    ASSERT_FALSE(d->messages().empty());
    EXPECT_FALSE(d->messages().back().error) << d->messages().back().text;
    EXPECT_EQ(opened_folder, trip_.path());
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(pictures_in(output), pictures);
    for (const std::string& name : kvp_test::names_in(trip_.path())) {
        EXPECT_EQ(name.find(".join-"), std::string::npos) << name;
    }
}

}  // namespace
