// The conversion pipeline: three stages that overlap, in frame order.
//
//   decode thread  -> [decoded pictures + the sound read before each]
//   worker (GL)    -> [output pictures + that sound]
//   encode thread  -> the output file
//
// Every decoded picture is uploaded, rendered and encoded exactly once, in
// decode order, with presentation times 0, 1, 2, ...; the sound packets read
// before a picture are written, unchanged but for their shifted times, just
// before it is encoded, so the file holds what a single thread reading,
// rendering and encoding in turn would have written. At most
// `frames_to_render` pictures are decoded; at the end of the input the
// decoder's last pictures are drained too, and the sound read after the
// last picture is written before the trailer.
//
// A stop request ends each stage after the unit it is working on; pictures
// and sound still queued are dropped.
#pragma once

#include <atomic>
#include <cstdint>

#include "converter_log.h"
#include "media_context.h"
#include "ogl_rendererMgr.h"
#include "overlay_band.h"

namespace converter {

// Pictures queued between the decoder and the renderer.
constexpr int kDecodedQueueLength = 2;

struct Pipeline {
    InputMedia& in;
    OutputMedia& out;
    ogl_rendererMgr& renderer;  // initialised, current on the calling thread
    ErrorText& error;
    const std::atomic<int32_t>& stop;      // set by the caller to end early
    std::atomic<int64_t>& frames_encoded;  // counted by the encoder
    int64_t frames_to_render = 0;
    int64_t first_audio_pts = -1;      // of the span, in the input's time base; -1 none yet
    OverlayDrawer* overlay = nullptr;  // draws into each rendered picture; null: nothing
};

// Runs a conversion to its end on the calling thread (the renderer's) and
// two threads of its own, which it joins. Returns 0, or 21 when an upload or
// a render failed (its text is in the error buffer). The encoder is drained;
// the trailer is the caller's.
int run_pipeline(Pipeline& p);

}  // namespace converter
