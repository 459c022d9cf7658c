// The two media bundles of a conversion: the opened recording with its
// decoders, and the output file with its encoder and the copied sound stream.
//
// Ownership: both belong to the converter object. They are opened by Init on
// the caller's thread and closed by the end of the conversion; while a
// conversion runs, the input belongs to its decode thread and the output to
// its encode thread (the worker only reads sizes and formats).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "SphereVideoConverter.h"
#include "converter_log.h"
#include "ffmpeg_support/handles.h"

namespace converter {

// How many output pictures circulate between the renderer and the encoder.
constexpr int kOutputPictureCount = 3;

struct InputMedia {
    av::InputContextPtr container;  // null when closed
    av::CodecContextPtr video_codec;
    av::CodecContextPtr audio_codec;  // opened only to prove the sound is readable
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    int video_index = -1;
    int audio_index = -1;
    AVRational frame_rate_q{0, 1};  // the video stream's real frame rate
    float frame_rate = 0.0f;        // the same, frames per second
    int64_t total_frames = 0;
    int32_t total_seconds = 0;

    bool is_open() const { return container != nullptr; }
    int width() const { return video_codec ? video_codec->width : 0; }
    int height() const { return video_codec ? video_codec->height : 0; }
};

struct OutputMedia {
    av::OutputContextPtr container;  // null when closed
    av::CodecContextPtr video_codec;
    av::CodecContextPtr audio_codec;  // describes the copied stream; never encodes
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    int video_index = -1;
    int audio_index = -1;
    float frame_rate = 0.0f;
    // Pictures of the output size in the encoder's format, black where no
    // viewport draws; allocated once when the output opens.
    std::vector<av::FramePtr> pictures;
    // Held around every packet write.
    std::mutex write_lock;

    bool is_open() const { return container != nullptr; }
};

// Opens `url`, picks the streams (the last audio and the last video stream
// win), opens their decoders and works out the duration. 0, 15, 16 or 21.
int open_input(InputMedia& in, const char* url, ErrorText& error);

// Creates the output file named by param.dst_url (its extension chooses the
// container) with a video stream of the container's default codec and, when
// the input has sound, a copy of the input's audio stream; writes the
// header. 0 or 21.
int open_output(OutputMedia& out, const InputMedia& in, const ConverterInitParam& param,
                ErrorText& error);

// Releases everything; an open output file is closed as it stands (no
// trailer). Closing a closed bundle does nothing.
void close_input(InputMedia& in);
void close_output(OutputMedia& out);

// Interleaved write of one packet under the write lock; the packet is
// consumed. Returns the muxer's result.
int write_packet(OutputMedia& out, AVPacket* packet);

}  // namespace converter
