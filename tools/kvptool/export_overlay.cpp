#include "export_overlay.h"

#include <cstdio>

namespace kvptool {

namespace {
constexpr int kMetric = 1, kImperial = 0;
}  // namespace

int units_flag_of(const std::string& units) {
    return units == "mph" ? kImperial : kMetric;
}

std::string check_overlay_fields(const std::string& fields) {
    overlay::Fields parsed;
    std::string why;
    return overlay::parse_fields(fields, parsed, why) ? std::string() : why;
}

bool parse_overlay(const std::string& fields, const std::string& units, ExportOverlay& overlay,
                   std::string& why) {
    overlay.units_flag = units_flag_of(units);
    return overlay::parse_fields(fields, overlay.fields, why);
}

int32_t begin_overlay(const std::string& fields, const std::string& units, const std::string& in,
                      const std::string& media, int64_t from_s, int64_t to_s,
                      DOR_SphereVideoConverter& converter, ExportOverlay& overlay) {
    std::string why;
    if (!parse_overlay(fields, units, overlay, why)) {
        std::fprintf(stderr, "kvptool export: %s\n", why.c_str());
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    if (!overlay::add_export_span(overlay, in, media, from_s, to_s)) {
        std::fprintf(stderr,
                     "kvptool export: notice: %s has no GPS track; exporting without "
                     "overlay, subtitles or GPX\n",
                     in.c_str());
        return DOR_CONVERTER_OK;
    }
    return overlay::set_overlay(overlay, converter);
}

int32_t begin_joined_overlay(const std::string& fields, const std::string& units,
                             const std::vector<JoinedSource>& sources, const std::string& media,
                             int64_t from_s, int64_t to_s, DOR_SphereVideoConverter& converter,
                             ExportOverlay& overlay) {
    std::string why;
    if (!parse_overlay(fields, units, overlay, why)) {
        std::fprintf(stderr, "kvptool export: %s\n", why.c_str());
        return DOR_CONVERTER_ERROR_FAILURE;
    }
    std::vector<std::string> without_track;
    overlay::add_joined_span(overlay, sources, media, from_s, to_s, without_track);
    if (!overlay.active()) {
        std::fprintf(stderr,
                     "kvptool export: notice: none of the recordings has a GPS track; exporting "
                     "without overlay, subtitles or GPX\n");
        return DOR_CONVERTER_OK;
    }
    for (const std::string& path : without_track) {
        std::fprintf(stderr,
                     "kvptool export: notice: %s has no GPS track; its part has no overlay\n",
                     path.c_str());
    }
    return overlay::set_overlay(overlay, converter);
}

bool finish_overlay(const ExportOverlay& overlay, const std::string& output, std::string& why) {
    overlay::SubtitleStep step = overlay::SubtitleStep::no_cues;
    const bool ok = overlay::finish_overlay(overlay, output, step, why);
    if (step == overlay::SubtitleStep::container_refuses) {
        std::fprintf(stderr,
                     "kvptool export: notice: %s cannot hold a mov_text subtitle track; "
                     "written without it\n",
                     output.c_str());
    }
    return ok;
}

}  // namespace kvptool
