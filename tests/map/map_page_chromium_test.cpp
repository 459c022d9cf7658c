// Each map page in headless Chromium (Debian's chromium), loaded from the
// viewer's server with no tile server reachable, driven through the
// DevTools protocol on a pipe: the same checks as in the WebKit view, and
// a screenshot. Skipped only when chromium is not installed.
#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "map_test_support.h"
#include "page_checks.h"
#include "temp_dir.h"

extern char** environ;

namespace {

const char* chromium_program() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (::access(p, X_OK) == 0) return p;
    }
    return nullptr;
}

// A headless Chromium and its DevTools pipe (it reads fd 3, writes fd 4;
// messages end with a NUL byte).
class Chromium {
public:
    Chromium(const std::string& url, const std::string& profile) {
        int to_browser[2], from_browser[2];
        if (::pipe(to_browser) != 0 || ::pipe(from_browser) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_browser[0], 3);
        posix_spawn_file_actions_adddup2(&actions, from_browser[1], 4);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const std::string data_dir = "--user-data-dir=" + profile;
        std::vector<std::string> args = {chromium_program(),
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--no-first-run",
                                         "--disable-extensions",
                                         "--disable-background-networking",
                                         "--remote-debugging-pipe",
                                         "--window-size=640,480",
                                         data_dir,
                                         url};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(to_browser[0]);
        ::close(from_browser[1]);
        out_ = to_browser[1];
        in_ = from_browser[0];
    }
    ~Chromium() {
        if (out_ >= 0) ::close(out_);
        if (in_ >= 0) ::close(in_);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }

    // One command; its result (or an error object), skipping events.
    nlohmann::json call(const std::string& method, nlohmann::json params = nlohmann::json::object(),
                        const std::string& session = "") {
        const int id = ++last_id_;
        nlohmann::json message = {{"id", id}, {"method", method}, {"params", params}};
        if (!session.empty()) message["sessionId"] = session;
        const std::string text = message.dump() + std::string(1, '\0');
        if (::write(out_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            return {{"error", "write"}};
        }
        for (;;) {
            const std::size_t end = buffer_.find('\0');
            if (end == std::string::npos) {
                char chunk[65536];
                const ssize_t n = ::read(in_, chunk, sizeof chunk);
                if (n <= 0) return {{"error", "closed"}};
                buffer_.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            const nlohmann::json reply =
                nlohmann::json::parse(buffer_.substr(0, end), nullptr, false);
            buffer_.erase(0, end + 1);
            if (reply.is_object() && reply.value("id", 0) == id) {
                return reply.contains("result") ? reply["result"] : reply;
            }
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1, in_ = -1;
    int last_id_ = 0;
    std::string buffer_;
};

class MapPageChromium : public ::testing::TestWithParam<int> {};

TEST_P(MapPageChromium, DrawsTheTrackAndFollowsTheViewersScriptsOffline) {
    if (chromium_program() == nullptr) {
        GTEST_SKIP() << "chromium is not installed (Debian package chromium): page test skipped";
    }
    const int map_type = GetParam();
    map_test::ServerThread server("http://127.0.0.1:9/{z}/{x}/{y}.png");
    ASSERT_GT(server.port(), 0) << server.error();
    kvp_test::TempDir profile;
    Chromium browser(server.url(map_type == 0 ? "tarnwellmap_5.html" : "tarnwell_osm_6.html"),
                     profile.path());
    ASSERT_TRUE(browser.running());

    const nlohmann::json targets = browser.call("Target.getTargets");
    std::string target;
    for (const auto& t : targets.value("targetInfos", nlohmann::json::array())) {
        if (t.value("type", "") == "page") target = t.value("targetId", "");
    }
    ASSERT_FALSE(target.empty()) << targets.dump();
    const nlohmann::json attached =
        browser.call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}});
    const std::string session = attached.value("sessionId", "");
    ASSERT_FALSE(session.empty()) << attached.dump();

    auto eval = [&](const std::string& code) -> std::string {
        const nlohmann::json r = browser.call(
            "Runtime.evaluate", {{"expression", code}, {"returnByValue", true}}, session);
        if (!r.contains("result")) return "error: " + r.dump();
        const nlohmann::json& v = r["result"];
        return v.contains("value") ? v["value"].dump() : "undefined";
    };
    bool ready = false;
    for (int i = 0; i < 200 && !ready; ++i) {
        ready = eval("document.readyState === 'complete' && typeof kvpMapState") == "\"function\"";
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(ready) << eval("location.href + ' ' + document.readyState");
    EXPECT_EQ(eval("typeof start + typeof setpos + typeof HidePos + typeof Stop"),
              "\"functionfunctionfunctionfunction\"");

    map_test::check_page(
        eval, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }, map_type);

    const nlohmann::json shot =
        browser.call("Page.captureScreenshot", {{"format", "png"}}, session);
    const std::string data = shot.value("data", "");
    ASSERT_FALSE(data.empty()) << shot.dump().substr(0, 300);
    gsize size = 0;
    guchar* bytes = g_base64_decode(data.c_str(), &size);
    const std::string png = std::string(KVP_TEST_OUTPUT_DIR) + "/map_page_type" +
                            std::to_string(map_type) + "_chromium.png";
    std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes), size);
    g_free(bytes);
    EXPECT_GT(size, 1000u);
}

INSTANTIATE_TEST_SUITE_P(MapTypes, MapPageChromium, ::testing::Values(0, 1));

}  // namespace
