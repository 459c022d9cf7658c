#include "export/export_job.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "export/flat_copy.h"
#include "overlay/overlay_output.h"

namespace exporter {

namespace {

// How often the job reads the converter's progress; a cancel does not wait
// for it.
constexpr int kPollMs = 100;
constexpr int kCopyFailed = 1;
constexpr int kOverlayFailed = 1;
constexpr int kJoinFailed = 1;

ExportResult failure(int code, const std::string& text) {
    ExportResult r;
    r.outcome = ExportOutcome::failed;
    r.code = code;
    r.text = text;
    return r;
}

ExportResult outcome(ExportOutcome o) {
    ExportResult r;
    r.outcome = o;
    return r;
}

bool copy_text(char* buffer, std::size_t size, const std::string& text) {
    if (text.size() >= size) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

}  // namespace

ConverterFactory library_converter_factory() {
    return {[] { return CreateSphereVideoConverter(); },
            [](DOR_SphereVideoConverter* c) { DestroySphereVideoConverter(c); }};
}

ExportJob::ExportJob(ConverterFactory factory, ExportRequest request, Done done)
    : factory_(std::move(factory)),
      request_(std::move(request)),
      on_done_(std::move(done)),
      thread_([this] { run(); }) {}

ExportJob::~ExportJob() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void ExportJob::cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
    }
    cancel_changed_.notify_all();
}

ConvertProgress ExportJob::progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
}

bool ExportJob::done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

bool ExportJob::cancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancel_;
}

// True as soon as a cancel is asked for, false after `ms` without one.
bool ExportJob::wait_for_cancel(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cancel_changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return cancel_; });
}

void ExportJob::run() {
    DOR_SphereVideoConverter* c = factory_.create();
    const ExportResult r =
        c != nullptr ? run_steps(c) : failure(DOR_CONVERTER_ERROR_FAILURE, "no converter");
    // Destroying the converter removes the remuxed copy it made, if any.
    if (c != nullptr) factory_.destroy(c);
    joined_.remove();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    on_done_(r);
}

ExportResult ExportJob::run_steps(DOR_SphereVideoConverter* c) {
    ConverterInitParam& p = request_.param;
    media_ = request_.source;
    if (request_.sources.size() > 1) {
        ExportResult failed;
        if (!join_sources(failed)) return failed;
    }
    if (!copy_text(src_, sizeof src_, media_) ||
        !copy_text(calib_, sizeof calib_, request_.calibration) ||
        !copy_text(dst_, sizeof dst_, request_.output)) {
        return failure(DOR_CONVERTER_ERROR_FAILURE, "a path is too long");
    }
    p.src_url = src_;
    p.calib_filename = calib_;
    p.dst_url = dst_;
    if (cancelled()) return outcome(ExportOutcome::cancelled);
    const std::string source_before = src_;
    if (const int rc = c->Init(&p)) return failure(rc, c->GetLastErrorText());
    if (!request_.dewarp) return deliver_copy(source_before);
    return convert(c);
}

// The sources joined beside the output (nothing of it exists yet); the
// joined file becomes the one the converter reads.
bool ExportJob::join_sources(ExportResult& failed) {
    std::string why;
    if (!joined_.create(request_.output, why)) {
        failed = failure(kJoinFailed, "cannot join the recordings: " + why);
        return false;
    }
    if (!join_recordings(request_.sources, joined_.path(), timeline_, why,
                         [this] { return cancelled(); })) {
        failed = cancelled() ? outcome(ExportOutcome::cancelled)
                             : failure(kJoinFailed, "cannot join the recordings: " + why);
        return false;
    }
    media_ = joined_.path();
    return true;
}

// Init has remuxed a TS source into a copy beside it (src_url names that
// copy now), which becomes the output; any other source is copied itself.
// An unrelated file that happens to have the copy's name is never touched.
ExportResult ExportJob::deliver_copy(const std::string& source_before) {
    std::string why;
    const bool remuxed = source_before != src_;
    const bool ok = remuxed ? move_file(src_, request_.output, &why)
                            : stream_copy(media_, request_.output, &why);
    if (!ok) return failure(kCopyFailed, why);
    ExportResult r = outcome(ExportOutcome::finished);
    r.copied = true;
    return r;
}

ExportResult ExportJob::convert(DOR_SphereVideoConverter* c) {
    // The converter's own length: the viewer's TS length rule would cut a
    // TS recording short.
    const VideoTime end = c->GetVideoDuration();
    if (end.minutes < 0 || end.seconds < 0) {
        std::remove(request_.output.c_str());
        return failure(DOR_CONVERTER_ERROR_FAILURE, "the recording's length is unknown");
    }
    if (cancelled()) {
        std::remove(request_.output.c_str());  // created by Init, nothing in it
        return outcome(ExportOutcome::cancelled);
    }
    // The track is read from the recording itself, the start from the file
    // the converter reads (a TS source's remuxed copy). A part second at the
    // end gets its second's cue.
    overlay::ExportOverlay telemetry;
    telemetry.fields = request_.overlay;
    telemetry.units_flag = request_.units_flag;
    const int64_t end_s = int64_t{end.minutes} * 60 + end.seconds + (end.milliseconds > 0 ? 1 : 0);
    if (request_.overlay.any() && add_track(telemetry, end_s)) {
        if (const int rc = overlay::set_overlay(telemetry, *c)) {
            const std::string text = c->GetLastErrorText();
            std::remove(request_.output.c_str());
            return failure(rc, text);
        }
    }
    if (const int rc = c->StartDewarpingAsync({0, 0, 0}, end)) {
        const std::string text = c->GetLastErrorText();
        std::remove(request_.output.c_str());
        return failure(rc, text);
    }
    while (c->IsRendering() != 0) {
        {
            const ConvertProgress now = c->GetProgress();
            std::lock_guard<std::mutex> lock(mutex_);
            progress_ = now;
        }
        if (wait_for_cancel(kPollMs)) c->Stop();  // returns with the file complete
    }
    const ConvertProgress last = c->GetProgress();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        progress_ = last;
    }
    c->Stop();
    if (const int rc = c->GetConversionResult()) {
        const std::string text = c->GetLastErrorText();
        std::remove(request_.output.c_str());
        return failure(rc, text);
    }
    if (cancelled()) {
        // Stopped before its first picture, the file has nothing to play.
        if (!holds_a_picture(request_.output)) std::remove(request_.output.c_str());
        return outcome(ExportOutcome::cancelled);
    }
    if (!telemetry.active()) return outcome(ExportOutcome::finished);
    return finish_overlay(telemetry);
}

// The track of the source, or of each joined recording in its place on the
// joined timeline. False when there is none.
bool ExportJob::add_track(overlay::ExportOverlay& telemetry, int64_t end_s) const {
    if (timeline_.empty()) {
        return overlay::add_export_span(telemetry, request_.source, src_, 0, end_s);
    }
    std::vector<overlay::JoinedSource> sources;
    for (const JoinSegment& seg : timeline_) {
        sources.push_back({seg.path, seg.start_ms, seg.duration_ms});
    }
    std::vector<std::string> without_track;
    overlay::add_joined_span(telemetry, sources, src_, 0, end_s, without_track);
    return telemetry.active();
}

// The subtitle track and the GPX of a finished conversion. A failure leaves
// the converter's output as it is, and says so.
ExportResult ExportJob::finish_overlay(const overlay::ExportOverlay& telemetry) {
    std::string why;
    overlay::SubtitleStep step = overlay::SubtitleStep::no_cues;
    if (!overlay::finish_overlay(telemetry, request_.output, step, why)) {
        const std::string text =
            "the subtitle track or the GPX could not be written: " + why + "; the video is kept";
        ExportResult r = failure(kOverlayFailed, text);
        r.output_kept = true;
        return r;
    }
    ExportResult r = outcome(ExportOutcome::finished);
    r.overlaid = true;
    return r;
}

}  // namespace exporter
