// The real main window, built in this process under the test run's X
// server: every named control, the video host's X child, the message
// bridge, the notifications, the texts and the close path.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <webkit2/webkit2.h>
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "custom_controls.h"
#include "layouts.h"
#include "platform/window_messages.h"
#include "shell/controls.h"
#include "shell/language.h"
#include "shell/map_page.h"
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

GType type_of_kind(shell::ControlKind kind) {
    using K = shell::ControlKind;
    switch (kind) {
        case K::container:
            return GTK_TYPE_CONTAINER;
        case K::button:
            return GTK_TYPE_BUTTON;
        case K::label:
            return GTK_TYPE_LABEL;
        case K::image:
            return GTK_TYPE_IMAGE;
        case K::slider:
            return GTK_TYPE_SCALE;
        case K::seek_slider:
            return KVP_TYPE_SEEK_SLIDER;
        case K::video_host:
            return KVP_TYPE_MEDIA_DISPLAY;
        case K::browser:
            return KVP_TYPE_BROWSER;
        case K::chart:
            return KVP_TYPE_CHART;
        case K::edit:
            return GTK_TYPE_ENTRY;
        case K::tree:
            return GTK_TYPE_TREE_VIEW;
        case K::tree_model:
            return GTK_TYPE_TREE_STORE;
        case K::option:
            return GTK_TYPE_RADIO_BUTTON;
        case K::combo:
            return GTK_TYPE_COMBO_BOX_TEXT;
        case K::progress:
            return GTK_TYPE_PROGRESS_BAR;
        case K::popover:
            return GTK_TYPE_POPOVER;
        case K::window:
            return GTK_TYPE_WINDOW;
    }
    return G_TYPE_INVALID;
}

// A shell on a program folder of its own and a settings folder of its own,
// started and drawn.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GtkEnvironment::available) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(viewer_test::make_program_dir(program_, leave_out_));
        ::setenv("KVP_PROGRAM_DIR", program_.path().c_str(), 1);
        ::setenv("KVP_SETTINGS_DIR", settings_.path().c_str(), 1);
        // A recent stamp: no update check runs behind the tests' backs.
        kvp_test::write_file(settings_.file("tstamp.szy"),
                             shell::encode_stamp(shell::system_time_of(shell::file_time_now())));
    }
    void TearDown() override {
        shell_.reset();
        ::unsetenv("KVP_PROGRAM_DIR");
        ::unsetenv("KVP_SETTINGS_DIR");
    }
    void start() {
        shell_ = std::make_unique<ViewerShell>();
        shell_->on_quit = [this] { quit_ = true; };
        std::string error;
        ASSERT_TRUE(shell_->start(&error)) << error;
        GtkWidget* top = GTK_WIDGET(shell_->window()->window());
        ASSERT_TRUE(pump_until([top] { return gtk_widget_get_mapped(top); }));
        viewer_test::pump_for(100);
    }
    GtkWidget* widget(const char* name) { return shell_->window()->widget(name); }

    std::vector<std::string> leave_out_;
    kvp_test::TempDir program_, settings_;
    std::unique_ptr<ViewerShell> shell_;
    bool quit_ = false;
};

TEST_F(WindowTest, EveryMainControlIsFoundByNameWithItsKindAndTooltip) {
    start();
    std::string error;
    auto texts = shell::LanguagePlugin::load(program_.path(), &error);
    ASSERT_NE(texts, nullptr) << error;
    std::size_t count = 0, tooltips = 0;
    const shell::ControlSpec* specs = shell::control_specs(&count);
    for (std::size_t i = 0; i < count; ++i) {
        const shell::ControlSpec& c = specs[i];
        if (c.layout != shell::Layout::main) continue;
        GObject* o = shell_->window()->object(c.name);
        ASSERT_NE(o, nullptr) << c.name;
        EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(o, type_of_kind(c.kind)))
            << c.name << " is a " << G_OBJECT_TYPE_NAME(o) << ", not a "
            << shell::control_kind_name(c.kind);
        if (c.tooltip_text == 0) continue;
        gchar* tip = gtk_widget_get_tooltip_text(GTK_WIDGET(o));
        EXPECT_EQ(tip != nullptr ? std::string(tip) : "", texts->text(c.tooltip_text)) << c.name;
        g_free(tip);
        ++tooltips;
    }
    EXPECT_EQ(tooltips, shell::kMainTooltipCount);
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(widget("PlayListTitle"))), texts->text(44));
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(widget("btnTitle"))), texts->text(19));
    // The start-up state.
    EXPECT_TRUE(gtk_widget_get_visible(widget("gpsview")));
    EXPECT_TRUE(gtk_widget_get_visible(widget("btnPlay")));
    EXPECT_FALSE(gtk_widget_get_visible(widget("btnPause")));
    EXPECT_EQ(gtk_range_get_value(GTK_RANGE(widget("sliderBright"))), 50.0);
}

TEST(Layouts, MenuAndConversionDialogControlsByName) {
    if (!GtkEnvironment::available) GTEST_SKIP() << "no X display";
    std::size_t count = 0;
    const shell::ControlSpec* specs = shell::control_specs(&count);
    for (const char* layout : {"menu", "translage"}) {
        std::string error;
        auto set = LayoutSet::build(layout, &error);
        ASSERT_NE(set, nullptr) << error;
        const shell::Layout which =
            std::string(layout) == "menu" ? shell::Layout::menu : shell::Layout::translate;
        for (std::size_t i = 0; i < count; ++i) {
            if (specs[i].layout != which) continue;
            GObject* o = set->object(specs[i].name);
            ASSERT_NE(o, nullptr) << layout << ": " << specs[i].name;
            EXPECT_TRUE(G_TYPE_CHECK_INSTANCE_TYPE(o, type_of_kind(specs[i].kind)))
                << specs[i].name << " is a " << G_OBJECT_TYPE_NAME(o);
        }
    }
    std::string error;
    EXPECT_EQ(LayoutSet::build("nosuchlayout", &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(layout_resource("PLAYPANEL"), "/kvp/layouts/PlayPanel.ui");
}

TEST_F(WindowTest, VideoHostIsAGlChildThatFollowsTheControlAndReportsToTheWindow) {
    start();
    GtkWidget* host = widget("wndMedia");
    const platform::NativeWindow video = wnd_media_display_video_window(host);
    ASSERT_NE(video, 0u);
    const platform::NativeWindow top = shell_->window()->native_window();
    EXPECT_EQ(platform::parent_window(video), top);

    Display* d = GDK_DISPLAY_XDISPLAY(gtk_widget_get_display(host));
    // The child hangs under the control's own native window, inside the
    // top-level window.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(d, video, &root, &parent, &children, &n));
    if (children != nullptr) XFree(children);
    EXPECT_EQ(parent, GDK_WINDOW_XID(gtk_widget_get_window(host)));
    auto child_size = [&] {
        XWindowAttributes a{};
        XGetWindowAttributes(d, video, &a);
        return std::make_pair(a.width, a.height);
    };
    const int scale = gtk_widget_get_scale_factor(host);
    EXPECT_EQ(child_size(), std::make_pair(gtk_widget_get_allocated_width(host) * scale,
                                           gtk_widget_get_allocated_height(host) * scale));
    XWindowAttributes attrs{};
    XGetWindowAttributes(d, video, &attrs);
    EXPECT_EQ(attrs.map_state, IsViewable);

    // A larger window gives a larger child.
    const auto before = child_size();
    gtk_window_resize(shell_->window()->window(), 1500, 900);
    EXPECT_TRUE(pump_until([&] { return child_size().first > before.first; }));
    EXPECT_EQ(child_size().first, gtk_widget_get_allocated_width(host) * scale);

    // A new child replaces the old one and reports to the same window.
    const platform::NativeWindow fresh = wnd_media_display_recreate(host);
    EXPECT_NE(fresh, 0u);
    EXPECT_EQ(platform::parent_window(fresh), top);
    EXPECT_EQ(platform::parent_window(video), 0u);
}

TEST_F(WindowTest, MessagesPostedFromAnyThreadAreHandledOnTheUiThread) {
    start();
    const platform::NativeWindow video = wnd_media_display_video_window(widget("wndMedia"));
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> positions;
    std::thread::id handled_on;
    shell_->messages()->on(1225, [&](const platform::WindowMessage& m) {
        positions.emplace_back(m.wparam, m.lparam);
        handled_on = std::this_thread::get_id();
    });
    // As the player does: to the parent of the window it draws into.
    std::thread player([video] {
        for (int s = 1; s <= 3; ++s) {
            platform::post_message(platform::parent_window(video), 1225, s, s * 1000 + 40);
        }
    });
    player.join();
    ASSERT_TRUE(pump_until([&] { return positions.size() == 3; }));
    EXPECT_EQ(positions[2], std::make_pair(std::uintptr_t{3}, std::intptr_t{3040}));
    EXPECT_EQ(handled_on, std::this_thread::get_id());
}

TEST_F(WindowTest, ClicksAndUserValueChangesAreNotificationsAndProgramValuesAreNot) {
    start();
    std::vector<std::pair<std::string, Notify>> seen;
    shell_->window()->connect_notifications(
        [&](const std::string& name, Notify kind) { seen.emplace_back(name, kind); });
    gtk_button_clicked(GTK_BUTTON(widget("btnPlay")));
    gtk_range_set_value(GTK_RANGE(widget("sliderPlay")), 300);
    gtk_range_set_value(GTK_RANGE(widget("sliderBright")), 20);
    gboolean handled = FALSE;
    g_signal_emit_by_name(widget("sliderVol"), "change-value", GTK_SCROLL_JUMP, 75.0, &handled);
    shell_->window()->show_playlist({"/rec/a.mp4", "/rec/b.ts"}, 1);
    GtkTreePath* path = gtk_tree_path_new_from_indices(0, -1);
    gtk_tree_view_row_activated(GTK_TREE_VIEW(widget("treePlaylist")), path, nullptr);
    gtk_tree_path_free(path);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(std::string("btnPlay"), Notify::click));
    EXPECT_EQ(seen[1], std::make_pair(std::string("sliderVol"), Notify::value_changed));
    EXPECT_EQ(gtk_range_get_value(GTK_RANGE(widget("sliderVol"))), 75.0);
    EXPECT_EQ(seen[2], std::make_pair(std::string("treePlaylist"), Notify::item_activate));
}

TEST_F(WindowTest, PlaylistAndLastIndexAreRestored) {
    kvp_test::write_file(settings_.file("Playlist.lmr"), "/rec/one.mp4\n/rec/two.TS\n");
    kvp_test::write_file(settings_.file("KVP.cfg"), std::string("\1\0\0\0\1\0\0\0", 8));
    start();
    GtkTreeModel* model = GTK_TREE_MODEL(shell_->window()->object("nodePlaylist"));
    EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 2);
    GtkTreeIter row;
    GtkTreeSelection* selection =
        gtk_tree_view_get_selection(GTK_TREE_VIEW(widget("treePlaylist")));
    ASSERT_TRUE(gtk_tree_selection_get_selected(selection, nullptr, &row));
    gchar* name = nullptr;
    gtk_tree_model_get(model, &row, 0, &name, -1);
    EXPECT_STREQ(name, "two.TS");
    g_free(name);
}

TEST_F(WindowTest, TheMapPageLoadsAfterTheFirstFrameAndAgainWhenItsProcessDies) {
    start();
    WebKitWebView* map = WEBKIT_WEB_VIEW(widget("gpsview"));
    const std::string page =
        "/download/" + shell::map_page_url(shell_->language_rules().map_type, "");
    // Nothing answers on the map server here: the load fails, and finishes.
    ASSERT_TRUE(pump_until([&] {
        const char* uri = webkit_web_view_get_uri(map);
        return uri != nullptr && g_str_has_suffix(uri, page.c_str()) &&
               !webkit_web_view_is_loading(map);
    }));
    int loads = 0;
    g_signal_connect(map, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer n) {
                         if (e == WEBKIT_LOAD_STARTED) ++*static_cast<int*>(n);
                     }),
                     &loads);
    webkit_web_view_terminate_web_process(map);
    EXPECT_TRUE(pump_until([&] { return loads > 0; }));
    EXPECT_TRUE(g_str_has_suffix(webkit_web_view_get_uri(map), page.c_str()));
    g_signal_handlers_disconnect_matched(map, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &loads);
}

class WindowWithoutPlugin : public WindowTest {
protected:
    WindowWithoutPlugin() { leave_out_ = {"ovlplug.so"}; }
};

TEST_F(WindowWithoutPlugin, StartsWithoutTextsOnMapTypeZero) {
    start();
    EXPECT_EQ(gtk_widget_get_tooltip_text(widget("btnPlay")), nullptr);
    EXPECT_EQ(shell_->language_rules().map_type, 0);
    EXPECT_EQ(shell_->language_rules().units_flag, 0);
    EXPECT_TRUE(gtk_widget_get_mapped(widget("wndMedia")));
}

TEST_F(WindowTest, TitleButtonShowsTheConfiguredVersion) {
    std::string osd = kvp_test::read_file(std::string(KVP_BIN_DIR) + "/lumoraui.osd");
    // The shipped [Option] has an empty version key; fill it in.
    const auto key = osd.find("\nversion=");
    ASSERT_NE(key, std::string::npos);
    osd.insert(key + 9, "KVP 2.4.1 test");
    kvp_test::write_file(program_.file("lumoraui.osd"), osd);
    start();
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(widget("btnTitle"))), "KVP 2.4.1 test");
}

TEST_F(WindowTest, CloseStopsPlaybackFirstThenQuitsAndTheShutdownSaves) {
    start();
    std::vector<std::string> order;
    std::function<void()> pending_stop;
    shell_->stop_playback = [&](std::function<void()> stopped) {
        order.push_back("stop");
        // The video child still exists while the player stops.
        EXPECT_NE(wnd_media_display_video_window(widget("wndMedia")), 0u);
        pending_stop = std::move(stopped);
    };
    shell_->on_quit = [&] { order.push_back("quit"); };
    gtk_button_clicked(GTK_BUTTON(widget("closebtn")));
    // A second close while the player stops changes nothing.
    GdkEvent* del = gdk_event_new(GDK_DELETE);
    del->any.window =
        GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(shell_->window()->window()))));
    gtk_main_do_event(del);
    gdk_event_free(del);
    EXPECT_EQ(order, (std::vector<std::string>{"stop"}));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(shell_->window()->window())));
    pending_stop();
    EXPECT_EQ(order, (std::vector<std::string>{"stop", "quit"}));
    shell_->settings().config.play_mode = 2;
    shell_->shutdown();
    EXPECT_EQ(kvp_test::read_file(settings_.file("KVP.cfg")),
              std::string("\2\0\0\0\xFF\xFF\xFF\xFF", 8));
    EXPECT_EQ(kvp_test::read_file(settings_.file("Playlist.lmr")), "");
    EXPECT_EQ(shell_->window(), nullptr);
}

TEST_F(WindowTest, WindowManagerCloseTakesTheClosePath) {
    start();
    bool stopped = false;
    shell_->stop_playback = [&](std::function<void()> done) {
        stopped = true;
        done();
    };
    GdkEvent* del = gdk_event_new(GDK_DELETE);
    del->any.window =
        GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(shell_->window()->window()))));
    gtk_main_do_event(del);
    gdk_event_free(del);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(quit_);
    EXPECT_TRUE(shell_->closing());
}

}  // namespace
