// One export, run on a thread of its own: the converter's Init (which may
// run the remux tool for a long time), then either the flat copy of a
// recording that needs no dewarping or the conversion, polled until it
// ends. The caller keeps its own thread free and reads the progress.
//
//     ExportJob job(library_converter_factory(), request, [](const ExportResult& r) {
//         post_to_ui(r);                    // called on the job's thread
//     });
//     ... job.progress() once a second ...
//     job.cancel();                         // optional; returns at once
//
// Thread-safety: every public method may be called from any thread but
// the job's own (the destructor waits for the job's thread).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SphereVideoConverter.h"
#include "export/recording_join.h"
#include "overlay/overlay_cues.h"

namespace overlay {
struct ExportOverlay;
}

namespace exporter {

// The converter's factory, replaceable by tests.
struct ConverterFactory {
    std::function<DOR_SphereVideoConverter*()> create;
    std::function<void(DOR_SphereVideoConverter*)> destroy;
};
// The converter library's own factory functions.
ConverterFactory library_converter_factory();

struct ExportRequest {
    std::string source, output, calibration;
    // Two or more consecutive recordings (a trip), in order: they are joined
    // into a temporary file beside the output, which is then exported as
    // `source` would be (`source` is not read), and removed however the
    // export ends. The overlay places each recording's own track on the
    // joined timeline.
    std::vector<std::string> sources;
    // A fisheye recording is dewarped; any other is delivered as a copy.
    bool dewarp = true;
    // Quality and viewports; its three text pointers are the job's own.
    ConverterInitParam param{};
    // Telemetry drawn into the pictures of a conversion (none when no field
    // is chosen) from the source's GPS track, in the viewer's units (1
    // metric, 0 imperial); the MP4 gets it as a subtitle track too and a
    // GPX beside it. A source without a track is converted without it; a
    // copy never carries it.
    overlay::Fields overlay;
    int units_flag = 1;
};

enum class ExportOutcome {
    finished,   // the output is complete
    cancelled,  // cancelled: the output is complete but shorter, or absent
    failed,     // `code` and `text` say why (a failed join: code 1 and the
                // join's reason); no incomplete output is left, but
                // a finished conversion whose subtitle track or GPX could
                // not be added stays (`output_kept`)
};

struct ExportResult {
    ExportOutcome outcome = ExportOutcome::failed;
    int code = 0;              // the converter's code (15, 16, 17, 21), 1 for a copy
    std::string text;          // the converter's text or the copy's reason
    bool copied = false;       // the output is a flat copy, not a conversion
    bool output_kept = false;  // failed after the conversion: its output stays
    bool overlaid = false;     // the telemetry is in the pictures
};

class ExportJob {
public:
    using Done = std::function<void(const ExportResult&)>;

    // Starts at once; `done` is called once, on the job's thread, after the
    // converter has been destroyed.
    ExportJob(ConverterFactory factory, ExportRequest request, Done done);
    // Cancels and waits for the job's thread.
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    // Asks the job to stop: a running conversion ends after the picture it
    // is encoding (the file is completed), a job not yet converting ends
    // before it starts. Returns at once.
    void cancel();
    // The latest progress the job has read (zero before the conversion).
    ConvertProgress progress() const;
    bool done() const;

private:
    void run();
    ExportResult run_steps(DOR_SphereVideoConverter* c);
    bool join_sources(ExportResult& failed);
    ExportResult deliver_copy(const std::string& source_before);
    ExportResult convert(DOR_SphereVideoConverter* c);
    bool add_track(overlay::ExportOverlay& telemetry, int64_t end_s) const;
    ExportResult finish_overlay(const overlay::ExportOverlay& telemetry);
    bool wait_for_cancel(int ms);
    bool cancelled() const;

    const ConverterFactory factory_;
    ExportRequest request_;
    const Done on_done_;

    // --- the record's text buffers, owned by the job's thread
    char src_[DOR_CONVERTER_SRC_URL_BYTES] = {};
    char calib_[DOR_CONVERTER_CALIB_FILENAME_BYTES] = {};
    char dst_[DOR_CONVERTER_DST_URL_BYTES] = {};
    // The file the converter reads: the source, or the joined sources.
    std::string media_;
    TempFileBeside joined_;
    JoinTimeline timeline_;

    // --- guarded by mutex_
    mutable std::mutex mutex_;
    std::condition_variable cancel_changed_;
    bool cancel_ = false;
    bool done_ = false;
    ConvertProgress progress_{};

    std::thread thread_;  // last: starts after everything above exists
};

}  // namespace exporter
