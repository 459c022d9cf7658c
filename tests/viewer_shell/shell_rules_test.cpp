// The size rule, the control table, the language rules and the browser
// request order: small tables checked by numbers.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/browser_queue.h"
#include "shell/controls.h"
#include "shell/language.h"
#include "shell/map_page.h"
#include "shell/window_rules.h"
#include "temp_dir.h"

namespace {

TEST(SizeRule, WindowAndPlaylistByScreenWidth) {
    struct Case {
        int screen, width, height, playlist;
    } cases[] = {
        {800, 775, 458, 225},   {1024, 775, 458, 225},  {1025, 968, 544, 225},
        {1280, 968, 544, 225},  {1281, 1224, 658, 246}, {1366, 1224, 658, 246},
        {1367, 1224, 658, 225}, {1920, 1224, 658, 225}, {3840, 1224, 658, 225},
    };
    for (const Case& c : cases) {
        const shell::WindowGeometry g = shell::window_geometry_for_screen(c.screen);
        EXPECT_EQ(g.width, c.width) << c.screen;
        EXPECT_EQ(g.height, c.height) << c.screen;
        EXPECT_EQ(g.playlist_width, c.playlist) << c.screen;
        EXPECT_EQ(g.search_width, c.playlist - 32) << c.screen;
        EXPECT_EQ(g.search_button_x, c.playlist - 24) << c.screen;
    }
    EXPECT_EQ(shell::centred_origin(0, 1366, 1224), 71);
    EXPECT_EQ(shell::centred_origin(1920, 1024, 1224), 1820);
}

TEST(ControlTable, NamesAreUniquePerLayoutAndTooltipsAreTheMainWindows36) {
    std::size_t count = 0;
    const shell::ControlSpec* specs = shell::control_specs(&count);
    std::set<std::pair<int, std::string>> names;
    std::set<int> tooltip_numbers;
    std::size_t tooltips = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const shell::ControlSpec& c = specs[i];
        EXPECT_TRUE(names.insert({static_cast<int>(c.layout), std::string(c.name)}).second)
            << c.name << " twice";
        if (c.tooltip_text == 0) continue;
        EXPECT_EQ(c.layout, shell::Layout::main) << c.name;
        EXPECT_GE(c.tooltip_text, 20) << c.name;
        EXPECT_LE(c.tooltip_text, 66) << c.name;
        // Texts used as messages, titles and menu entries are no tooltips.
        for (int message : {36, 44, 50, 51, 52, 53, 54}) EXPECT_NE(c.tooltip_text, message);
        EXPECT_TRUE(tooltip_numbers.insert(c.tooltip_text).second) << c.tooltip_text << " twice";
        ++tooltips;
    }
    EXPECT_EQ(tooltips, shell::kMainTooltipCount);
    // The pairs every skin shares.
    const std::pair<const char*, int> fixed[] = {
        {"btnPlay", 20}, {"btnStop", 21}, {"leftbtn", 22},   {"top_btn", 23},   {"downbtn", 24},
        {"widebtn", 25}, {"ballbtn", 26}, {"split4btn", 27}, {"split2btn", 28}, {"btnVolume", 29},
    };
    for (const auto& [name, number] : fixed) {
        bool found = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (specs[i].layout == shell::Layout::main && specs[i].name == name) {
                EXPECT_EQ(specs[i].tooltip_text, number) << name;
                found = true;
            }
        }
        EXPECT_TRUE(found) << name;
    }
}

TEST(LanguageRules, MapTypeUnitsAndTitle) {
    EXPECT_EQ(shell::language_rules(4).map_type, 0);
    EXPECT_EQ(shell::language_rules(4).units_flag, 1);
    EXPECT_EQ(shell::language_rules(17).map_type, 1);
    EXPECT_EQ(shell::language_rules(17).units_flag, 1);
    EXPECT_EQ(shell::language_rules(9).map_type, 1);
    EXPECT_EQ(shell::language_rules(9).units_flag, 0);
    EXPECT_EQ(shell::language_rules(31748).map_type, 1);
    EXPECT_EQ(shell::language_rules(std::nullopt).map_type, 0);
    EXPECT_EQ(shell::language_rules(std::nullopt).units_flag, 0);

    EXPECT_EQ(shell::title_button_text("Player", ""), "Player");
    EXPECT_EQ(shell::title_button_text("Player", "V2.1 beta"), "V2.1 beta");
    EXPECT_EQ(shell::map_page_url(0, "http://h:9191/download/"),
              "http://h:9191/download/tarnwellmap_5.html");
    EXPECT_EQ(shell::map_page_url(1, "http://h:9191/download/"),
              "http://h:9191/download/tarnwell_osm_6.html");
}

TEST(LanguagePlugin, LoadsTheBuiltPluginAndFailsCleanlyWithoutIt) {
    std::string error;
    auto plugin = shell::LanguagePlugin::load(KVP_BIN_DIR, &error);
    ASSERT_NE(plugin, nullptr) << error;
    EXPECT_FALSE(plugin->text(shell::kTextTitle).empty());
    EXPECT_EQ(plugin->text(100000), "");
    EXPECT_GT(plugin->language_code(), 0);

    kvp_test::TempDir empty;
    EXPECT_EQ(shell::LanguagePlugin::load(empty.path(), &error), nullptr);
    EXPECT_NE(error.find("ovlplug.so"), std::string::npos) << error;

    // A library without GetInterface.
    kvp_test::TempDir other;
    ASSERT_EQ(kvp_test::run_command("cp '" KVP_BIN_DIR "/libkvp_window_messages.so' '" +
                                    other.file("ovlplug.so") + "'")
                  .exit_code,
              0);
    EXPECT_EQ(shell::LanguagePlugin::load(other.path(), &error), nullptr);
    EXPECT_NE(error.find("GetInterface"), std::string::npos) << error;
}

TEST(LanguagePlugin, VersionComesFromTheOptionSection) {
    kvp_test::TempDir dir;
    EXPECT_EQ(shell::configured_version(dir.path()), "");
    kvp_test::write_file(dir.file("lumoraui.osd"), "[Option]\nOption=0\nversion=  V3.0.1 \n");
    EXPECT_EQ(shell::configured_version(dir.path()), "V3.0.1");
    kvp_test::write_file(dir.file("lumoraui.osd"), "[option]\nversion=" + std::string(300, 'v'));
    EXPECT_EQ(shell::configured_version(dir.path()).size(), 260u);
}

using shell::BrowserRequest;
using Requests = shell::BrowserRequestQueue::Requests;
using Role = BrowserRequest::Role;

TEST(BrowserQueue, NothingBeforeTheViewAndNoScriptBeforeItsPage) {
    shell::BrowserRequestQueue q;
    EXPECT_TRUE(q.submit(BrowserRequest::load("http://map/a.html")).empty());
    EXPECT_TRUE(q.submit(BrowserRequest::script("start(\"1,2;\")", Role::track)).empty());
    EXPECT_EQ(q.waiting(), 2u);
    // The view is drawn: the load goes; the script waits for it to finish.
    EXPECT_EQ(q.view_ready(), (Requests{BrowserRequest::load("http://map/a.html")}));
    EXPECT_TRUE(q.submit(BrowserRequest::script("setpos(1)", Role::position)).empty());
    EXPECT_EQ(q.load_finished(), (Requests{BrowserRequest::script("start(\"1,2;\")", Role::track),
                                           BrowserRequest::script("setpos(1)", Role::position)}));
    // Loaded: scripts run at once, in order.
    EXPECT_EQ(q.submit(BrowserRequest::script("Stop()")),
              (Requests{BrowserRequest::script("Stop()")}));
    // A second load holds back what follows it.
    EXPECT_EQ(q.submit(BrowserRequest::load("http://map/b.html")),
              (Requests{BrowserRequest::load("http://map/b.html")}));
    EXPECT_TRUE(q.submit(BrowserRequest::script("HidePos()")).empty());
    EXPECT_EQ(q.load_finished(), (Requests{BrowserRequest::script("HidePos()")}));
    EXPECT_EQ(q.waiting(), 0u);
}

TEST(BrowserQueue, ACrashedPageIsLoadedAgainWithTheLastTrackAndPosition) {
    shell::BrowserRequestQueue q;
    q.view_ready();
    q.submit(BrowserRequest::load("u"));
    q.load_finished();
    q.submit(BrowserRequest::script("start(\"a\")", Role::track));
    q.submit(BrowserRequest::script("setpos(3)", Role::position));
    q.submit(BrowserRequest::script("setpos(4)", Role::position));
    q.submit(BrowserRequest::script("window.clearInterval(timer);"));
    EXPECT_EQ(q.page_crashed(), (Requests{BrowserRequest::load("u")}));
    // A request made while the page reloads waits behind the replay.
    EXPECT_TRUE(q.submit(BrowserRequest::script("setpos(5)", Role::position)).empty());
    EXPECT_EQ(q.load_finished(), (Requests{BrowserRequest::script("start(\"a\")", Role::track),
                                           BrowserRequest::script("setpos(4)", Role::position),
                                           BrowserRequest::script("setpos(5)", Role::position)}));

    // A new track forgets the old position; a new page forgets both.
    q.submit(BrowserRequest::script("start(\"b\")", Role::track));
    EXPECT_EQ(q.page_crashed(), (Requests{BrowserRequest::load("u")}));
    EXPECT_EQ(q.load_finished(), (Requests{BrowserRequest::script("start(\"b\")", Role::track)}));
    q.submit(BrowserRequest::load("v"));
    q.load_finished();
    EXPECT_EQ(q.page_crashed(), (Requests{BrowserRequest::load("v")}));
    EXPECT_TRUE(q.load_finished().empty());
}

TEST(BrowserQueue, CrashBeforeAnyPageReplaysNothing) {
    shell::BrowserRequestQueue q;
    EXPECT_TRUE(q.page_crashed().empty());
    EXPECT_EQ(q.view_ready(), Requests{});
    EXPECT_EQ(q.submit(BrowserRequest::script("x")), (Requests{BrowserRequest::script("x")}));
}

}  // namespace
