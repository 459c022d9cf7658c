#include "overlay/overlay_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ffmpeg_support/handles.h"
#include "gps/track_reader.h"
#include "trips/gpx.h"

namespace overlay {
namespace {

constexpr AVRational kMilliseconds{1, 1000};

// The style the mov_text encoder builds the track's sample description
// from: white text at the bottom-left.
constexpr const char* kSubtitleHeader =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
    "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Sans,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,1,10,10,10,0\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

std::string av_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An ASS dialogue line as the encoder takes it; '\n' becomes "\N".
std::string ass_event(const std::string& text) {
    std::string line = "0,0,Default,,0,0,0,,";
    for (char c : text) {
        if (c == '\n') {
            line += "\\N";
        } else {
            line += c;
        }
    }
    return line;
}

av::CodecContextPtr open_subtitle_encoder(std::string& why) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
    av::CodecContextPtr enc(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    if (!enc) {
        why = "no mov_text subtitle encoder";
        return nullptr;
    }
    enc->time_base = kMilliseconds;
    const std::size_t size = std::strlen(kSubtitleHeader);
    enc->subtitle_header = static_cast<uint8_t*>(av_mallocz(size + 1));
    if (enc->subtitle_header == nullptr) return nullptr;
    std::memcpy(enc->subtitle_header, kSubtitleHeader, size);
    enc->subtitle_header_size = static_cast<int>(size);
    if (const int rc = avcodec_open2(enc.get(), codec, nullptr); rc < 0) {
        why = "cannot open the subtitle encoder: " + av_text(rc);
        return nullptr;
    }
    return enc;
}

// One cue as a packet of the subtitle stream.
bool write_cue(AVFormatContext* out, AVStream* st, AVCodecContext* enc, const OverlayCue& cue,
               std::string& why) {
    std::string event = ass_event(cue.text);
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = event.data();
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle sub{};
    sub.num_rects = 1;
    sub.rects = rects;
    sub.end_display_time = static_cast<uint32_t>(cue.end_ms - cue.start_ms);
    uint8_t buffer[4096];
    const int size = avcodec_encode_subtitle(enc, buffer, sizeof buffer, &sub);
    av::PacketPtr packet = av::make_packet();
    if (size < 0 || !packet || av_new_packet(packet.get(), size) < 0) {
        why = "cannot encode a subtitle";
        return false;
    }
    std::memcpy(packet->data, buffer, static_cast<std::size_t>(size));
    packet->pts = packet->dts = cue.start_ms;
    packet->duration = cue.end_ms - cue.start_ms;
    packet->stream_index = st->index;
    av_packet_rescale_ts(packet.get(), kMilliseconds, st->time_base);
    if (const int rc = av_interleaved_write_frame(out, packet.get()); rc < 0) {
        why = "cannot write a subtitle: " + av_text(rc);
        return false;
    }
    return true;
}

// Copies every packet of `in` to the stream of the same number in `out`.
bool copy_packets(AVFormatContext* in, AVFormatContext* out, std::string& why) {
    av::PacketPtr packet = av::make_packet();
    while (av_read_frame(in, packet.get()) >= 0) {
        const AVStream* from = in->streams[packet->stream_index];
        av_packet_rescale_ts(packet.get(), from->time_base,
                             out->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        if (const int rc = av_interleaved_write_frame(out, packet.get()); rc < 0) {
            why = "cannot copy a packet: " + av_text(rc);
            return false;
        }
    }
    return true;
}

bool copy_streams(AVFormatContext* in, AVFormatContext* out, std::string& why) {
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* st = avformat_new_stream(out, nullptr);
        if (st == nullptr || avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar) < 0) {
            why = "cannot copy a stream";
            return false;
        }
        st->codecpar->codec_tag = 0;
        st->time_base = in->streams[i]->time_base;
        st->disposition = in->streams[i]->disposition;
        av_dict_copy(&st->metadata, in->streams[i]->metadata, 0);
    }
    return true;
}

// The remux itself, from `path` into the open output `out` (`temp`).
bool remux_with_subtitles(const std::string& path, const std::string& temp,
                          const std::vector<OverlayCue>& cues, std::string& why) {
    AVFormatContext* raw_in = nullptr;
    if (const int rc = avformat_open_input(&raw_in, path.c_str(), nullptr, nullptr); rc < 0) {
        why = "cannot open " + path + ": " + av_text(rc);
        return false;
    }
    av::InputContextPtr in(raw_in);
    AVFormatContext* raw_out = nullptr;
    if (avformat_find_stream_info(in.get(), nullptr) < 0 ||
        avformat_alloc_output_context2(&raw_out, nullptr, nullptr, path.c_str()) < 0) {
        why = "cannot prepare the output for " + path;
        return false;
    }
    av::OutputContextPtr out(raw_out);
    av::CodecContextPtr enc = open_subtitle_encoder(why);
    if (!enc || !copy_streams(in.get(), out.get(), why)) return false;
    AVStream* sub = avformat_new_stream(out.get(), nullptr);
    if (sub == nullptr || avcodec_parameters_from_context(sub->codecpar, enc.get()) < 0) {
        why = "cannot add the subtitle stream";
        return false;
    }
    sub->time_base = kMilliseconds;
    av_dict_set(&sub->metadata, "handler_name", "Telemetry", 0);
    if (const int rc = avio_open(&out->pb, temp.c_str(), AVIO_FLAG_WRITE); rc < 0) {
        why = "cannot create " + temp + ": " + av_text(rc);
        return false;
    }
    av_dict_copy(&out->metadata, in->metadata, 0);
    if (const int rc = avformat_write_header(out.get(), nullptr); rc < 0) {
        why = "cannot write the header: " + av_text(rc);
        return false;
    }
    for (const auto& cue : cues) {
        if (!write_cue(out.get(), sub, enc.get(), cue, why)) return false;
    }
    if (!copy_packets(in.get(), out.get(), why)) return false;
    if (const int rc = av_write_trailer(out.get()); rc < 0) {
        why = "cannot finish the file: " + av_text(rc);
        return false;
    }
    return true;
}

bool write_gpx(const ExportOverlay& overlay, const std::string& output, std::string& why) {
    std::vector<trips::GpxTrack> tracks;
    for (const OverlaySource& s : overlay.sources) {
        trips::GpxTrack t{base_name(s.path), {}};
        for (std::size_t i = 0; i < s.track.size(); ++i) {
            const auto second_ms = static_cast<int64_t>(i) * 1000;
            if (second_ms + 1000 > s.from_ms && second_ms < s.to_ms)
                t.records.push_back(s.track[i]);
        }
        tracks.push_back(std::move(t));
    }
    std::size_t points = 0;
    return trips::write_gpx_file(gpx_path_for(output), tracks, points, why);
}

}  // namespace

int64_t export_start_ms(const std::string& media, int64_t from_s) {
    const int64_t asked_ms = from_s * 1000;
    AVFormatContext* raw = nullptr;
    if (from_s <= 0 || avformat_open_input(&raw, media.c_str(), nullptr, nullptr) < 0) {
        return asked_ms;
    }
    av::InputContextPtr in(raw);
    const int v = av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (v < 0) return asked_ms;
    // The converter's own seek: backward to the key frame, in stream time.
    const AVStream* st = in->streams[v];
    const auto ts = static_cast<int64_t>(static_cast<double>(from_s) / av_q2d(st->time_base));
    av::PacketPtr packet = av::make_packet();
    if (av_seek_frame(in.get(), v, ts, AVSEEK_FLAG_BACKWARD) < 0) return asked_ms;
    while (av_read_frame(in.get(), packet.get()) >= 0) {
        if (packet->stream_index == v && packet->pts != AV_NOPTS_VALUE) {
            const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            return av_rescale_q(packet->pts - start, st->time_base, kMilliseconds);
        }
        av_packet_unref(packet.get());
    }
    return asked_ms;
}

bool add_overlay_source(ExportOverlay& overlay, const std::string& path, int64_t from_ms,
                        int64_t to_ms, int64_t output_start_ms) {
    OverlaySource s;
    s.path = path;
    bool continuous = false;
    if (gps::read_track(path, gps::is_ts_path(path), s.track, continuous) != gps::kTrackExamined ||
        s.track.empty()) {
        return false;
    }
    s.from_ms = from_ms;
    s.to_ms = to_ms;
    s.origin_ms = output_start_ms - s.from_ms;
    overlay.sources.push_back(std::move(s));
    return true;
}

int32_t set_overlay(ExportOverlay& overlay, DOR_SphereVideoConverter& converter) {
    std::vector<Segment> segments;
    for (const OverlaySource& s : overlay.sources) {
        segments.push_back({&s.track, s.origin_ms, s.from_ms, s.to_ms});
    }
    overlay.cues = make_cues(segments, overlay.fields, overlay.units_flag);
    std::vector<ConverterOverlayCue> plain;
    plain.reserve(overlay.cues.size());
    for (const auto& c : overlay.cues) plain.push_back({c.start_ms, c.end_ms, c.text.c_str()});
    return converter.SetOverlay(plain.data(), static_cast<int32_t>(plain.size()));
}

std::string gpx_path_for(const std::string& output) {
    const std::size_t slash = output.rfind('/');
    const std::size_t dot = output.rfind('.');
    const bool has_ext =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (has_ext ? output.substr(0, dot) : output) + ".gpx";
}

bool add_subtitle_track(const std::string& path, const std::vector<OverlayCue>& cues,
                        std::string& why) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string temp = dir + ".subtitles-" + base_name(path);
    const bool ok = remux_with_subtitles(path, temp, cues, why);
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    if (ok) why = "cannot replace " + path + " by " + temp;
    std::remove(temp.c_str());
    return false;
}

bool takes_subtitles(const std::string& path) {
    const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
    return format != nullptr &&
           avformat_query_codec(format, AV_CODEC_ID_MOV_TEXT, FF_COMPLIANCE_NORMAL) == 1;
}

bool add_export_span(ExportOverlay& overlay, const std::string& in, const std::string& media,
                     int64_t from_s, int64_t to_s) {
    const int64_t start_ms = export_start_ms(media, from_s);
    // The converter renders the span's length from that key frame on.
    const int64_t end_ms = start_ms + (to_s - from_s) * 1000;
    return add_overlay_source(overlay, in, start_ms, end_ms, 0);
}

void add_joined_span(ExportOverlay& overlay, const std::vector<JoinedSource>& sources,
                     const std::string& media, int64_t from_s, int64_t to_s,
                     std::vector<std::string>& without_track) {
    const int64_t start_ms = export_start_ms(media, from_s);
    const int64_t end_ms = start_ms + (to_s - from_s) * 1000;
    for (const JoinedSource& source : sources) {
        // The part of the exported span this recording covers, in its own time.
        const int64_t from = std::max(start_ms, source.start_ms);
        const int64_t to = std::min(end_ms, source.start_ms + source.duration_ms);
        if (from >= to) continue;
        if (!add_overlay_source(overlay, source.path, from - source.start_ms, to - source.start_ms,
                                from - start_ms)) {
            without_track.push_back(source.path);
        }
    }
}

bool finish_overlay(const ExportOverlay& overlay, const std::string& output, SubtitleStep& step,
                    std::string& why) {
    step = SubtitleStep::no_cues;
    if (!overlay.cues.empty() && !takes_subtitles(output)) {
        step = SubtitleStep::container_refuses;
    } else if (!overlay.cues.empty()) {
        if (!add_subtitle_track(output, overlay.cues, why)) return false;
        step = SubtitleStep::added;
    }
    return write_gpx(overlay, output, why);
}

}  // namespace overlay
