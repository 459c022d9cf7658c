// kvptool export IN... OUT [--layout wide|split2|split4] [--quality L|M|H]
//                [--direction up|down|side] [--from MM:SS] [--to MM:SS]
//                [--calib FILE] [--print-param] [--evidence DIR]
//                [--overlay time,speed,position] [--units kmh|mph]
// kvptool export --trip DIR [--from HH:MM:SS] [--to HH:MM:SS] OUT [...]
// Exports a recording the way the viewer's conversion dialog does: a square
// (fisheye) recording is dewarped by the converter library into the chosen
// layout at the chosen quality, with the default view of that layout; any
// other recording is delivered as a stream copy (the remuxed copy for TS).
// Several recordings, or a trip's, are joined first (export_trip.h).
// Exit code: 0, the converter's code (15, 16, 21) with its text on stderr,
// 1 for other failures, 128 + the signal number when interrupted by SIGINT,
// SIGTERM or SIGHUP (the file written so far is complete).
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

extern "C" {
#include <libavformat/avformat.h>
}

#include "SphereVideoConverter.h"
#include "autocalib/prepare_calibration.h"
#include "command.h"
#include "common.h"
#include "export_evidence.h"
#include "export_overlay.h"
#include "export_trip.h"
#include "export/flat_copy.h"
#include "layout/export_record.h"
#include "layout/view_layout.h"
#include "platform/paths.h"
#include "platform/text.h"

// Named for the build that compiles the commands together.
namespace export_command {
namespace {

// --- what the dialog offers

struct Options {
    std::string in, out;
    std::vector<std::string> files;  // the recordings, then the output
    std::string trip;                // --trip DIR, empty: none
    std::vector<std::string> sources;
    kvptool::JoinPlan plan;
    std::string calib_near;  // where the calibration is looked for, empty: beside `in`
    // The recordings inside a joined `in`, for the overlay; empty: `in` itself.
    std::vector<kvptool::JoinedSource> joined;
    std::string layout = "split4", quality = "M", direction = "down";
    std::string from, to, calib;
    bool print_param = false;
    std::string evidence;  // the evidence package's folder, empty: none
    std::string overlay;   // telemetry fields drawn into the pictures, empty: none
    std::string units = "kmh";
};

// The evidence package's notes on the export running now, when one is kept.
kvptool::ExportNotes* g_notes = nullptr;

int layout_number(const std::string& name) {
    if (name == "wide") return view_layout::kLayoutWide;
    if (name == "split2") return view_layout::kLayoutSplit2;
    return view_layout::kLayoutSplit4;
}

int direction_number(const std::string& name) {
    if (name == "up") return view_layout::kDirectionUp;
    if (name == "side") return view_layout::kDirectionSide;
    return view_layout::kDirectionDown;
}

view_layout::Quality quality_of(const std::string& letter) {
    const auto q = view_layout::quality_of_letter(letter.size() == 1 ? letter[0] : '\0');
    return q ? *q : *view_layout::quality_of_index(view_layout::kDefaultQuality);
}

// Buffers behind the record's three text pointers.
struct ParamBuffers {
    char src[DOR_CONVERTER_SRC_URL_BYTES] = {};
    char calib[DOR_CONVERTER_CALIB_FILENAME_BYTES] = {};
    char dst[DOR_CONVERTER_DST_URL_BYTES] = {};
};

bool copy_text(char* buffer, std::size_t size, const std::string& text) {
    if (text.size() >= size) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

// The record as the dialog fills it from a preview of the output's size.
ConverterInitParam fill_param(const Options& opt, const std::string& calib, int video_height,
                              ParamBuffers& b) {
    ConverterInitParam p{};
    p.src_url = b.src;
    p.calib_filename = b.calib;
    p.dst_url = b.dst;
    view_layout::set_quality(p, quality_of(opt.quality));
    view_layout::fill_export_viewports(
        p, view_layout::default_preview(layout_number(opt.layout), direction_number(opt.direction),
                                        p.dst_width, p.dst_height, calib, video_height));
    return p;
}

nlohmann::json param_json(const ConverterInitParam& p) {
    nlohmann::json views = nlohmann::json::array();
    for (int k = 0; k < p.viewport_count; ++k) {
        views.push_back({{"prj_mode", p.prj_mode[k]},
                         {"pitch", p.pitch[k]},
                         {"yaw", p.yaw[k]},
                         {"roll", p.roll[k]},
                         {"zoom", p.zoom[k]},
                         {"x", p.viewport_x[k]},
                         {"y", p.viewport_y[k]},
                         {"width", p.viewport_width[k]},
                         {"height", p.viewport_height[k]}});
    }
    return {{"src_url", p.src_url},
            {"calib_filename", p.calib_filename},
            {"dst_url", p.dst_url},
            {"bitrate", p.bitrate},
            {"dst_width", p.dst_width},
            {"dst_height", p.dst_height},
            {"orientation", p.orientation},
            {"viewport_count", p.viewport_count},
            {"viewports", views}};
}

// --- the source

// The converter's remuxed copy of an MPEG-TS recording, beside it.
constexpr const char* kRemuxCopyName = "temp.mp4";
constexpr const char* kTsFormatName = "mpegts";

struct SourceInfo {
    bool opened = false;
    bool mpegts = false;  // the converter remuxes it first
    int width = 0, height = 0;
};

SourceInfo probe_source(const std::string& path) {
    SourceInfo info;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return info;
    // Most containers name the picture size in their header; only the
    // others need a look at the stream itself.
    int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0 || fmt->streams[v]->codecpar->width <= 0) {
        avformat_find_stream_info(fmt, nullptr);
        v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    }
    if (v >= 0) {
        info.width = fmt->streams[v]->codecpar->width;
        info.height = fmt->streams[v]->codecpar->height;
    }
    info.mpegts = std::strcmp(fmt->iformat->name, kTsFormatName) == 0;
    info.opened = true;
    avformat_close_input(&fmt);
    return info;
}

// The first "*.inf" file beside the recording (names in order), or "".
std::string calibration_beside(const std::string& media) {
    const std::size_t slash = media.rfind(platform::kPathSeparator);
    const std::string dir = slash == std::string::npos ? "." : media.substr(0, slash);
    std::vector<std::string> found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && platform::iequals(name.substr(name.size() - 4), ".inf") &&
                platform::is_regular_file(platform::join_path(dir, name))) {
                found.push_back(name);
            }
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : platform::join_path(dir, found.front());
}

// --- interruption
//
// SIGINT, SIGTERM and SIGHUP end an export early but properly: the handler
// only notes the signal; the export looks at it between its steps and on
// every poll of the conversion, stops the converter (the file is completed
// with its trailer) and leaves through its usual paths, so that every
// temporary file goes. A second signal does not wait: the handler removes
// the temporary calibration itself and lets the signal take its default
// course.

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalExitBase = 128;

volatile std::sig_atomic_t g_signal = 0;  // the first signal received, 0 none
// The temporary calibration, for the handler: the path is written before
// g_temp_armed is set and changed only while it is clear.
volatile std::sig_atomic_t g_temp_armed = 0;
char g_temp_path[PATH_MAX] = {};
// The same for the joined recordings of a multi-file export.
volatile std::sig_atomic_t g_join_armed = 0;
char g_join_path[PATH_MAX] = {};

extern "C" void on_interrupt(int sig) {
    if (g_signal == 0) {
        g_signal = sig;
        return;
    }
    if (g_temp_armed) ::unlink(g_temp_path);  // async-signal-safe, as are the three below
    if (g_join_armed) ::unlink(g_join_path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// The handlers for the length of one export; the previous ones come back.
class InterruptHandlers {
public:
    InterruptHandlers() {
        g_signal = 0;
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kInterruptSignals); ++i) {
            ::sigaction(kInterruptSignals[i], &action, &previous_[i]);
        }
    }
    ~InterruptHandlers() {
        for (std::size_t i = 0; i < std::size(kInterruptSignals); ++i) {
            ::sigaction(kInterruptSignals[i], &previous_[i], nullptr);
        }
    }
    InterruptHandlers(const InterruptHandlers&) = delete;
    InterruptHandlers& operator=(const InterruptHandlers&) = delete;

private:
    struct sigaction previous_[std::size(kInterruptSignals)]{};
};

bool interrupted() {
    return g_signal != 0;
}

int interrupted_exit() {
    return kSignalExitBase + static_cast<int>(g_signal);
}

// A calibration made for this export, removed with the scope (or by the
// handler of a second signal).
class TempCalibration {
public:
    TempCalibration() = default;
    ~TempCalibration() {
        g_temp_armed = 0;
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempCalibration(const TempCalibration&) = delete;
    TempCalibration& operator=(const TempCalibration&) = delete;

    // Creates the empty file; false when it cannot be made.
    bool create() {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/kvptool-XXXXXX";
        if (templ.size() >= sizeof g_temp_path) return false;
        const int fd = ::mkstemp(templ.data());
        if (fd < 0) return false;
        ::close(fd);
        path_ = templ;
        std::memcpy(g_temp_path, templ.c_str(), templ.size() + 1);
        g_temp_armed = 1;
        return true;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool make_temp_calibration(const std::string& media, TempCalibration& temp, std::string& why) {
    if (!temp.create()) {
        why = "cannot create a temporary calibration file";
        return false;
    }
    std::string text;
    if (autocalib::prepare_calibration(media.c_str(), temp.path().c_str(), &text) != 0) {
        why = text.empty() ? "automatic calibration failed" : text;
        return false;
    }
    return true;
}

// --- progress

constexpr int kPollMs = 20;

class ProgressLine {
public:
    ProgressLine() : tty_(::isatty(STDOUT_FILENO) != 0) {}
    int interval_ms() const { return tty_ ? 250 : 1000; }
    void show(const ConvertProgress& p) {
        if (tty_) {
            constexpr int kBarWidth = 30;
            const int filled =
                std::clamp(static_cast<int>(p.percent / 100.0f * kBarWidth), 0, kBarWidth);
            std::printf("\r[%s%s] %6.2f%%  %6.1f fps  %02d:%02d left ",
                        std::string(filled, '#').c_str(),
                        std::string(kBarWidth - filled, '.').c_str(), p.percent, p.speed,
                        p.remaining_minutes, p.remaining_seconds);
        } else {
            std::printf("%.2f%%  %.1f fps  %02d:%02d left\n", p.percent, p.speed,
                        p.remaining_minutes, p.remaining_seconds);
        }
        std::fflush(stdout);
    }
    void end() {
        if (tty_) std::printf("\n");
    }

private:
    bool tty_;
};

// "MM:SS" (or plain seconds) into a VideoTime; false when malformed.
bool parse_time(const std::string& text, VideoTime& t) {
    int minutes = 0, seconds = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d:%d%c", &minutes, &seconds, &extra) == 2 ||
        (std::sscanf(text.c_str(), "%d%c", &seconds, &extra) == 1 && minutes == 0)) {
        t = {minutes, seconds, 0};
        return minutes >= 0 && seconds >= 0;
    }
    return false;
}

int fail(const char* what, const std::string& text, int code) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.pop_back();
    std::fprintf(stderr, "kvptool export: %s%s%s\n", what, t.empty() ? "" : ": ", t.c_str());
    if (g_notes != nullptr && code != 0) g_notes->failure = what + (t.empty() ? "" : ": " + t);
    return code;
}

int fail_interrupted() {
    return fail("interrupted", "", interrupted_exit());
}

struct ConverterHandle {
    DOR_SphereVideoConverter* c = CreateSphereVideoConverter();
    ~ConverterHandle() { DestroySphereVideoConverter(c); }
};

// --- flat delivery and conversion

int deliver_flat(const Options& opt, ParamBuffers& b, ConverterInitParam& p) {
    if (!opt.overlay.empty())
        fail("notice: a flat recording is copied as it is, without overlay", "", 0);
    ConverterHandle conv;
    const std::string before = b.src;
    // Remuxes a TS file to temp.mp4, which the converter removes when it goes;
    // a flat input opens nothing.
    if (const int rc = conv.c->Init(&p)) return fail("init failed", conv.c->GetLastErrorText(), rc);
    if (interrupted()) return fail_interrupted();
    if (before != b.src) {
        std::string why;
        if (!exporter::move_file(b.src, opt.out, &why)) {
            return fail("cannot deliver the remuxed copy", why, 1);
        }
    } else {
        std::string why;
        if (!exporter::stream_copy(opt.in, opt.out, &why))
            return fail("stream copy failed", why, 1);
    }
    std::printf("flat video: delivered as a stream copy: %s\n", opt.out.c_str());
    return 0;
}

int convert(const Options& opt, ConverterInitParam& p) {
    ConverterHandle conv;
    if (const int rc = conv.c->Init(&p)) return fail("init failed", conv.c->GetLastErrorText(), rc);
    const VideoTime duration = conv.c->GetVideoDuration();
    VideoTime from{0, 0, 0}, to = duration;
    if ((!opt.from.empty() && !parse_time(opt.from, from)) ||
        (!opt.to.empty() && !parse_time(opt.to, to))) {
        return fail("times are MM:SS", "", 1);
    }
    if (interrupted()) return fail_interrupted();
    kvptool::ExportOverlay overlay;
    if (!opt.overlay.empty()) {
        const int64_t from_s = from.minutes * 60 + from.seconds,
                      to_s = to.minutes * 60 + to.seconds;
        const int rc =
            opt.joined.empty()
                ? kvptool::begin_overlay(opt.overlay, opt.units, opt.in, p.src_url, from_s, to_s,
                                         *conv.c, overlay)
                : kvptool::begin_joined_overlay(opt.overlay, opt.units, opt.joined, p.src_url,
                                                from_s, to_s, *conv.c, overlay);
        if (rc != 0) return fail("overlay", conv.c->GetLastErrorText(), rc);
    }
    const std::string text_before = conv.c->GetLastErrorText();
    if (const int rc = conv.c->StartDewarpingAsync(from, to)) {
        return fail("cannot start", conv.c->GetLastErrorText(), rc);
    }
    ProgressLine line;
    auto next_line = std::chrono::steady_clock::now();
    for (;;) {
        // Poll often, so that the end is seen at once; print less often.
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        if (interrupted()) conv.c->Stop();
        const bool rendering = conv.c->IsRendering() != 0;  // read first: then the
        const ConvertProgress now = conv.c->GetProgress();  // last line is final
        if (!rendering || std::chrono::steady_clock::now() >= next_line) {
            line.show(now);
            next_line += std::chrono::milliseconds(line.interval_ms());
        }
        if (!rendering) break;
    }
    line.end();
    conv.c->Stop();
    // A damaged packet costs that packet and leaves its text; only the
    // converter's result says whether the file was finished.
    const std::string text = conv.c->GetLastErrorText();
    if (const int rc = conv.c->GetConversionResult()) return fail("conversion failed", text, rc);
    // Interrupted before its first picture, the file has nothing to play.
    if (interrupted() && !exporter::holds_a_picture(opt.out)) std::remove(opt.out.c_str());
    if (text != text_before) fail("warning: some input was skipped", text, 0);
    std::string why;
    if (overlay.active() && !interrupted() && !kvptool::finish_overlay(overlay, opt.out, why)) {
        return fail("overlay", why, 1);
    }
    std::printf("exported: %s (%dx%d)\n", opt.out.c_str(), p.dst_width, p.dst_height);
    return interrupted() ? interrupted_exit() : 0;
}

// --- the paths

// The converter's remuxed copy of a TS recording at `in`.
std::string remux_copy_of(const std::string& in) {
    const std::size_t slash = in.rfind(platform::kPathSeparator);
    return (slash == std::string::npos ? std::string() : in.substr(0, slash + 1)) + kRemuxCopyName;
}

// Nothing that is not a regular file is opened: a FIFO would block for ever.
int refuse_special_files(const Options& opt) {
    for (const std::string* path : {&opt.in, &opt.calib, &opt.out}) {
        if (kvptool::is_special_file(*path)) {
            return kvptool::refuse_special_file("export", *path, 1);
        }
    }
    return 0;
}

// An output that is the recording itself (under any name) would be emptied
// before it is read; one that is the remuxed copy would be removed with it.
int refuse_output(const Options& opt, const SourceInfo& source) {
    if (platform::same_file(opt.out, opt.in)) {
        return fail("the output file is the recording itself", opt.out, 1);
    }
    if (source.mpegts && platform::same_file(opt.out, remux_copy_of(opt.in))) {
        return fail("the output file would be overwritten by the remuxed copy of the recording",
                    opt.out, 1);
    }
    return 0;
}

// --- the export

// What the evidence package records of the export about to run.
void note_export(const Options& opt, const ConverterInitParam& p, bool square,
                 const std::string& calib, const std::string& temp_calib) {
    g_notes->parameters = {{"layout", opt.layout},
                           {"quality", opt.quality},
                           {"direction", opt.direction},
                           {"from", opt.from.empty() ? "start" : opt.from},
                           {"to", opt.to.empty() ? "end" : opt.to},
                           {"delivery", square ? "dewarped" : "stream copy"},
                           {"converter", param_json(p)}};
    g_notes->calibration = calib;
    g_notes->keep_calibration = !temp_calib.empty() && calib == temp_calib;
    g_notes->calibration_origin = !square               ? "none (flat recording)"
                                  : !opt.calib.empty()  ? "given"
                                  : calib == temp_calib ? "made from the first picture"
                                                        : "beside the recording";
    g_notes->hash_calibration();
}

int export_one(const Options& opt) {
    if (const int rc = refuse_special_files(opt)) return rc;
    ParamBuffers b;
    if (!copy_text(b.src, sizeof b.src, opt.in) || !copy_text(b.dst, sizeof b.dst, opt.out)) {
        return fail("path too long", "", 1);
    }
    const SourceInfo source = probe_source(opt.in);
    if (!opt.print_param) {
        if (const int rc = refuse_output(opt, source)) return rc;
    }
    const bool square = source.opened && source.width > 0 && source.width == source.height;
    TempCalibration temp;
    std::string calib = opt.calib;
    if (square && calib.empty()) {
        calib = calibration_beside(opt.calib_near.empty() ? opt.in : opt.calib_near);
    }
    if (square && calib.empty()) {
        std::string why;
        if (!make_temp_calibration(opt.in, temp, why)) return fail("no calibration", why, 1);
        calib = temp.path();
    }
    if (interrupted()) return fail_interrupted();
    if (!copy_text(b.calib, sizeof b.calib, calib)) return fail("path too long", calib, 1);
    ConverterInitParam p = fill_param(opt, calib, source.height, b);
    if (g_notes != nullptr) note_export(opt, p, square, calib, temp.path());
    if (opt.print_param) {
        std::cout << kvptool::json_text(param_json(p)) << "\n";
        return 0;
    }
    if (source.opened && !square && source.width > 0) return deliver_flat(opt, b, p);
    return convert(opt, p);
}

// The joined recordings, named for the signal handler while they exist.
class JoinedFile {
public:
    ~JoinedFile() {
        g_join_armed = 0;
        file_.remove();
    }
    bool create(const std::string& near, std::string& why) {
        if (!file_.create(near, why)) return false;
        if (file_.path().size() >= sizeof g_join_path) {
            why = "path too long: " + file_.path();
            return false;
        }
        std::memcpy(g_join_path, file_.path().c_str(), file_.path().size() + 1);
        g_join_armed = 1;
        return true;
    }
    const std::string& path() const { return file_.path(); }

private:
    exporter::TempFileBeside file_;
};

// Several recordings: joined beside the output, then exported as one.
int export_joined(const Options& opt) {
    for (const std::string& path : opt.sources) {
        if (kvptool::is_special_file(path)) return kvptool::refuse_special_file("export", path, 1);
        if (!opt.print_param && platform::same_file(opt.out, path)) {
            return fail("the output file is one of the recordings", opt.out, 1);
        }
    }
    JoinedFile joined;
    std::string why;
    if (!joined.create(opt.out, why)) return fail("cannot join the recordings", why, 1);
    exporter::JoinTimeline timeline;
    if (!exporter::join_recordings(opt.sources, joined.path(), timeline, why, interrupted)) {
        return interrupted() ? fail_interrupted() : fail("cannot join the recordings", why, 1);
    }
    Options one = opt;
    one.in = joined.path();
    if (!kvptool::converter_span(opt.plan, timeline, one.from, one.to, why)) {
        return fail("cannot export that span", why, 1);
    }
    one.calib_near = opt.sources.front();
    for (const exporter::JoinSegment& seg : timeline) {
        one.joined.push_back({seg.path, seg.start_ms, seg.duration_ms});
    }
    kvptool::print_timeline(exporter::shift_timeline(timeline, kvptool::span_start_ms(one.from)));
    const int rc = export_one(one);
    if (g_notes != nullptr) {
        nlohmann::ordered_json segments = nlohmann::ordered_json::array();
        for (const exporter::JoinSegment& seg : timeline) {
            segments.push_back(
                {{"path", seg.path}, {"start_ms", seg.start_ms}, {"duration_ms", seg.duration_ms}});
        }
        g_notes->parameters["joined"] = {{"from", one.from.empty() ? "start" : one.from},
                                         {"to", one.to.empty() ? "end" : one.to},
                                         {"segments", segments}};
    }
    return rc;
}

int run_export(const Options& opt) {
    // The media library's statistics are noise here unless debugging.
    const char* debug = std::getenv("KVP_DEBUG");
    if (debug == nullptr || std::strcmp(debug, "1") != 0) av_log_set_level(AV_LOG_ERROR);
    InterruptHandlers handlers;
    return opt.sources.size() > 1 || !opt.trip.empty() ? export_joined(opt) : export_one(opt);
}

// The recordings and the output from the positional arguments and --trip;
// 0, or the exit code of a clear refusal.
int settle_inputs(Options& opt) {
    if (!opt.trip.empty()) {
        if (opt.files.size() != 1) return fail("with --trip give only the output file", "", 1);
        std::string why;
        if (!kvptool::plan_trip(opt.trip, opt.from, opt.to, opt.plan, why)) {
            return fail("cannot export from the trip", why, 1);
        }
        opt.sources = opt.plan.sources;
        opt.in = opt.sources.front();
    } else {
        if (opt.files.size() < 2) return fail("give the recordings, then the output file", "", 1);
        opt.sources.assign(opt.files.begin(), opt.files.end() - 1);
        opt.in = opt.files.front();
    }
    opt.out = opt.files.back();
    return 0;
}

void setup_export(CLI::App& app, int& exit_code) {
    auto opt = std::make_shared<Options>();
    auto* sub = app.add_subcommand("export", "Export a recording to a flat H.264 MP4");
    sub->add_option("files", opt->files,
                    "recordings (MP4 or MPEG-TS; several are joined in this order), then the "
                    "output file (.mp4)")
        ->required();
    sub->add_option("--trip", opt->trip,
                    "export a trip of this folder (--from/--to: clock times HH:MM:SS)");
    sub->add_option("--layout", opt->layout, "wide (one view), split2 or split4")
        ->check(CLI::IsMember({"wide", "split2", "split4"}));
    sub->add_option("--quality", opt->quality, "L 640x384, M 800x480 or H 1280x768")
        ->check(CLI::IsMember({"L", "M", "H"}));
    sub->add_option("--direction", opt->direction, "camera looking up, down or to the side")
        ->check(CLI::IsMember({"up", "down", "side"}));
    sub->add_option("--from", opt->from,
                    "start MM:SS (from the key frame before it); with --trip HH:MM:SS");
    sub->add_option("--to", opt->to,
                    "end MM:SS (default: the whole recording); with --trip HH:MM:SS");
    sub->add_option("--calib", opt->calib,
                    "calibration file (default: the first *.inf beside the recording, "
                    "else a calibration made from its first picture)");
    sub->add_flag("--print-param", opt->print_param,
                  "print the converter's parameter record as JSON and stop");
    sub->add_option("--evidence", opt->evidence,
                    "write an evidence package to this folder: SHA-256 of the recording before "
                    "and after, the parameters, the calibration and the output")
        ->excludes("--print-param");
    sub->add_option("--overlay", opt->overlay,
                    "draw telemetry into the pictures (time,speed,position) from the recording's "
                    "GPS track; also a subtitle track and OUT.gpx")
        ->check([](const std::string& v) { return kvptool::check_overlay_fields(v); });
    sub->add_option("--units", opt->units, "overlay speed and date: kmh or mph")
        ->check(CLI::IsMember({"kmh", "mph"}));
    sub->callback([opt, &exit_code] {
        if ((exit_code = settle_inputs(*opt)) != 0) return;
        if (opt->evidence.empty()) {
            exit_code = run_export(*opt);
            return;
        }
        const kvptool::EvidenceRequest request{opt->evidence, opt->sources, opt->out};
        exit_code = kvptool::run_with_evidence(request, [&opt](kvptool::ExportNotes& notes) {
            g_notes = &notes;
            const int rc = run_export(*opt);
            g_notes = nullptr;
            return rc;
        });
    });
}

}  // namespace
}  // namespace export_command

KVPTOOL_COMMAND(export, export_command::setup_export)
