#include "pipeline.h"

#include <exception>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "bounded_queue.h"

namespace converter {
namespace {

// A decoded picture and the sound packets read before it. The end of the
// input is an item without a picture (it may still carry sound).
struct DecodedItem {
    av::FramePtr picture;
    std::vector<av::PacketPtr> audio;
};

// An output picture (one of the output's own) and the sound to write first.
struct RenderedItem {
    AVFrame* picture = nullptr;
    std::vector<av::PacketPtr> audio;
};

struct Queues {
    BoundedQueue<DecodedItem> decoded{kDecodedQueueLength};
    BoundedQueue<RenderedItem> rendered{kOutputPictureCount + 1};
    BoundedQueue<AVFrame*> free_pictures{kOutputPictureCount};
};

// --- decode thread

class Decoder {
public:
    Decoder(Pipeline& p, BoundedQueue<DecodedItem>& queue) : p_(p), queue_(queue) {}
    void run();

private:
    bool deliver(AVFrame* frame);
    void route(AVPacket* packet);
    void queue_audio(AVPacket* packet);
    av::FramePtr uploadable(AVFrame* frame);

    Pipeline& p_;
    BoundedQueue<DecodedItem>& queue_;
    std::vector<av::PacketPtr> pending_audio_;
    int64_t decoded_ = 0;
    av::SwsContextPtr scaler_;
};

// The picture as the renderer takes it: planar 8-bit YUV of the stream's
// size. Anything else is converted to 4:2:0 first.
av::FramePtr Decoder::uploadable(AVFrame* frame) {
    av::FramePtr out = av::make_frame();
    const AVCodecContext* dec = p_.in.video_codec.get();
    if (can_upload(static_cast<AVPixelFormat>(frame->format)) && frame->width == dec->width &&
        frame->height == dec->height) {
        av_frame_move_ref(out.get(), frame);
        return out;
    }
    scaler_.reset(sws_getCachedContext(
        scaler_.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        dec->width, dec->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    out->format = AV_PIX_FMT_YUV420P;
    out->width = dec->width;
    out->height = dec->height;
    if (!scaler_ || av_frame_get_buffer(out.get(), 0) < 0) {
        p_.error.set("error: on createing converter context for video;\n");
        av_frame_unref(frame);
        return nullptr;
    }
    sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, out->data,
              out->linesize);
    av_frame_unref(frame);
    return out;
}

bool Decoder::deliver(AVFrame* frame) {
    DecodedItem item;
    item.picture = uploadable(frame);
    if (!item.picture) return true;  // that picture is lost; go on
    item.audio = std::move(pending_audio_);
    pending_audio_.clear();
    ++decoded_;
    return queue_.push(std::move(item));
}

// Sound keeps its own timing, shifted so that the first packet of the span
// is at 0, in the output stream's time base.
void Decoder::queue_audio(AVPacket* packet) {
    const int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (p_.first_audio_pts == -1 && t != AV_NOPTS_VALUE) p_.first_audio_pts = t;
    const int64_t shifted = t == AV_NOPTS_VALUE ? t : t - p_.first_audio_pts;
    av::PacketPtr copy = av::make_packet();
    av_packet_move_ref(copy.get(), packet);
    copy->pts = copy->dts = shifted;
    copy->stream_index = p_.out.audio_index;
    av_packet_rescale_ts(copy.get(), p_.in.audio_stream->time_base, p_.out.audio_stream->time_base);
    pending_audio_.push_back(std::move(copy));
}

void Decoder::route(AVPacket* packet) {
    if (packet->stream_index == p_.in.audio_index && p_.out.audio_stream != nullptr) {
        queue_audio(packet);
    } else if (packet->stream_index == p_.in.video_index) {
        const int rc = avcodec_send_packet(p_.in.video_codec.get(), packet);
        if (rc < 0 && rc != AVERROR(EAGAIN)) p_.error.set("error: decode video error;\n");
    }
    av_packet_unref(packet);
}

void Decoder::run() {
    AVCodecContext* dec = p_.in.video_codec.get();
    av::PacketPtr packet = av::make_packet();
    av::FramePtr frame = av::make_frame();
    bool input_done = false;
    while (!p_.stop.load() && decoded_ < p_.frames_to_render) {
        const int rc = avcodec_receive_frame(dec, frame.get());
        if (rc == 0) {
            if (!deliver(frame.get())) return;  // aborted: the renderer has ended
            continue;
        }
        if (rc == AVERROR_EOF) break;  // drained at the end of the input
        if (rc != AVERROR(EAGAIN)) p_.error.set("error: decode video error;\n");
        if (input_done) break;
        if (av_read_frame(p_.in.container.get(), packet.get()) < 0) {
            input_done = true;
            avcodec_send_packet(dec, nullptr);  // the pictures it still holds
            continue;
        }
        route(packet.get());
    }
    if (p_.stop.load()) return;
    DecodedItem end;
    end.audio = std::move(pending_audio_);
    queue_.push(std::move(end));
}

// --- encode thread

void write_audio(Pipeline& p, av::PacketPtr& packet) {
    if (write_packet(p.out, packet.get()) < 0) {
        p.error.set("error: failed to write one audio frame;\n");
        log_line("error: failed to write one audio frame;");
    }
}

void write_video_packets(Pipeline& p, AVPacket* packet) {
    AVCodecContext* enc = p.out.video_codec.get();
    while (avcodec_receive_packet(enc, packet) == 0) {
        packet->stream_index = p.out.video_index;
        av_packet_rescale_ts(packet, enc->time_base, p.out.video_stream->time_base);
        if (write_packet(p.out, packet) < 0) {
            p.error.set("av_interleaved_write_frame error: failed to write one video frame;\n");
            log_line("av_interleaved_write_frame error: failed to write one video frame;\n");
        }
        av_packet_unref(packet);
    }
}

void encode(Pipeline& p, AVFrame* picture, AVPacket* packet) {
    picture->pts = p.frames_encoded.fetch_add(1);
    if (avcodec_send_frame(p.out.video_codec.get(), picture) < 0) {
        p.error.set("error: failed to encode one video frame! \n");
    }
    write_video_packets(p, packet);
}

void encode_loop(Pipeline& p, Queues& q) {
    av::PacketPtr packet = av::make_packet();
    RenderedItem item;
    while (q.rendered.pop(item)) {
        if (p.stop.load()) break;  // the frame being encoded was the last
        for (av::PacketPtr& a : item.audio) write_audio(p, a);
        if (item.picture == nullptr) break;  // the end of the input
        encode(p, item.picture, packet.get());
        q.free_pictures.push(item.picture);
    }
    // Nothing more will be encoded: let the renderer go, and drain the
    // encoder of the pictures its threads still hold.
    q.rendered.abort();
    q.free_pictures.abort();
    avcodec_send_frame(p.out.video_codec.get(), nullptr);
    write_video_packets(p, packet.get());
}

// --- render loop (the calling thread)

// Picture `index` of the output: rendered, overlaid, handed to the encoder.
int render_one(Pipeline& p, Queues& q, DecodedItem& item, int64_t index) {
    AVFrame* out = nullptr;
    if (!q.free_pictures.pop(out)) return DOR_CONVERTER_OK;  // the encoder has ended
    if (av_frame_make_writable(out) < 0) {
        return p.error.fail(DOR_CONVERTER_ERROR_FAILURE, "error: fail to fill image arrays;\n");
    }
    if (const int rc = p.renderer.upload(*item.picture)) return rc;
    if (const int rc = p.renderer.render(*out)) return rc;
    if (p.overlay != nullptr) p.overlay->draw(*out, index);
    item.picture.reset();
    q.rendered.push(RenderedItem{out, std::move(item.audio)});
    return DOR_CONVERTER_OK;
}

int render_loop(Pipeline& p, Queues& q) {
    DecodedItem item;
    int64_t rendered = 0;
    while (!p.stop.load() && q.decoded.pop(item)) {
        if (!item.picture) {
            q.rendered.push(RenderedItem{nullptr, std::move(item.audio)});
            break;
        }
        if (const int rc = render_one(p, q, item, rendered++)) return rc;
    }
    return DOR_CONVERTER_OK;
}

}  // namespace

int run_pipeline(Pipeline& p) {
    Queues q;
    for (const av::FramePtr& picture : p.out.pictures) q.free_pictures.push(picture.get());
    Decoder decoder(p, q.decoded);
    std::thread decode_thread([&p, &decoder, &q] {
        try {
            decoder.run();
        } catch (const std::exception& e) {
            p.error.set("error: %s;\n", e.what());
        }
        q.decoded.close();
    });
    std::thread encode_thread;
    try {
        encode_thread = std::thread([&p, &q] {
            try {
                encode_loop(p, q);
            } catch (const std::exception& e) {
                p.error.set("error: %s;\n", e.what());
                q.rendered.abort();
                q.free_pictures.abort();
            }
        });
    } catch (...) {
        q.decoded.abort();
        decode_thread.join();
        throw;
    }
    const int rc = render_loop(p, q);
    q.decoded.abort();  // the decoder may wait for room
    if (rc != DOR_CONVERTER_OK) {
        q.rendered.abort();
    } else {
        q.rendered.close();
    }
    decode_thread.join();
    encode_thread.join();
    return rc;
}

}  // namespace converter
