#include "overlay_band.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace converter {
namespace {

// Sizes at the smallest output (384 rows), scaled with the height.
constexpr double kReferenceRows = 384.0;
constexpr double kFontScaleAtReference = 0.5;  // Hershey simplex: capitals ~11 rows
constexpr double kLineGapFactor = 0.6;         // of the capital height, between lines
constexpr double kPaddingFactor = 0.6;         // of the capital height, around the text
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

// Video range: the band's dark and the text's light, and neutral chroma.
constexpr int kBandLuma = 16;
constexpr int kTextLuma = 235;
constexpr int kNeutralChroma = 128;
constexpr int kBandOpacity = 160;  // of 255: the picture shows through

// "°" in UTF-8.
constexpr unsigned char kDegreeLead = 0xC2, kDegreeTail = 0xB0;

struct Metrics {
    double scale;
    int thickness;
    int cap_rows;  // height of a capital
    int line_rows;
    int padding;
};

Metrics metrics_for(int height) {
    Metrics m{};
    m.scale = kFontScaleAtReference * std::max(1.0, height / kReferenceRows);
    m.thickness = std::max(1, static_cast<int>(std::lround(m.scale * 2.0)));
    int baseline = 0;
    m.cap_rows = cv::getTextSize("H", kFont, m.scale, m.thickness, &baseline).height;
    m.line_rows = m.cap_rows + static_cast<int>(std::lround(m.cap_rows * (kLineGapFactor + 0.4)));
    m.padding = static_cast<int>(std::lround(m.cap_rows * kPaddingFactor));
    return m;
}

// A line as pieces the Hershey font can print: ASCII runs, and the degree
// sign as an empty piece of its own.
std::vector<std::string> pieces_of(const std::string& line) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == kDegreeLead && i + 1 < line.size() &&
            static_cast<unsigned char>(line[i + 1]) == kDegreeTail) {
            pieces.emplace_back();  // the degree sign
            pieces.emplace_back();
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            pieces.back() += static_cast<char>(c);
        } else if ((c & 0xC0) != 0x80) {  // one '?' per character, not per byte
            pieces.back() += '?';
        }
    }
    return pieces;
}

// Draws (when `mask` is given) or measures one line; returns its width.
// Pieces alternate: text, degree sign, text, ...
int draw_line(const std::string& line, const Metrics& m, cv::Mat* mask, cv::Point origin) {
    const int ring = std::max(2, m.cap_rows / 4);  // radius of the degree ring
    int x = origin.x;
    const auto pieces = pieces_of(line);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::string& piece = pieces[k];
        if (k % 2 == 1) {  // a degree sign
            if (mask != nullptr) {
                cv::circle(*mask, {x + ring + m.thickness, origin.y - m.cap_rows + ring}, ring, 255,
                           m.thickness, cv::LINE_AA);
            }
            x += 2 * (ring + m.thickness);
            continue;
        }
        if (piece.empty()) continue;
        int baseline = 0;
        const cv::Size size = cv::getTextSize(piece, kFont, m.scale, m.thickness, &baseline);
        if (mask != nullptr) {
            cv::putText(*mask, piece, {x, origin.y}, kFont, m.scale, 255, m.thickness, cv::LINE_AA);
        }
        x += size.width;
    }
    return x - origin.x;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int even_up(int v) {
    return (v + 1) & ~1;
}

// The weights of one plane from the text's coverage (0..255).
void weights(const cv::Mat& coverage, int band_value, int text_value, cv::Mat& keep, cv::Mat& add) {
    keep.create(coverage.size(), CV_8U);
    add.create(coverage.size(), CV_8U);
    for (int r = 0; r < coverage.rows; ++r) {
        const uint8_t* c = coverage.ptr<uint8_t>(r);
        uint8_t* k = keep.ptr<uint8_t>(r);
        uint8_t* a = add.ptr<uint8_t>(r);
        for (int i = 0; i < coverage.cols; ++i) {
            // Band over the picture, then the text over the band.
            const int band_part = kBandOpacity * (255 - c[i]) / 255;
            const int opacity = band_part + c[i];
            k[i] = static_cast<uint8_t>(255 - opacity);
            a[i] = static_cast<uint8_t>((band_value * band_part + text_value * c[i] + 127) / 255);
        }
    }
}

void blend_plane(uint8_t* data, int linesize, int x, int y, const cv::Mat& keep,
                 const cv::Mat& add) {
    for (int r = 0; r < keep.rows; ++r) {
        uint8_t* row = data + static_cast<std::ptrdiff_t>(y + r) * linesize + x;
        const uint8_t* k = keep.ptr<uint8_t>(r);
        const uint8_t* a = add.ptr<uint8_t>(r);
        for (int i = 0; i < keep.cols; ++i) {
            row[i] = static_cast<uint8_t>((row[i] * k[i] + 127) / 255 + a[i]);
        }
    }
}

}  // namespace

OverlayBand render_band(const std::string& text, int width, int height) {
    OverlayBand band;
    const auto lines = lines_of(text);
    if (lines.empty() || width < 2 || height < 2) return band;
    const Metrics m = metrics_for(height);
    int text_width = 0;
    for (const auto& line : lines)
        text_width = std::max(text_width, draw_line(line, m, nullptr, {}));
    const int band_w = std::min(even_up(text_width + 2 * m.padding), width & ~1);
    const int band_h = std::min(even_up(static_cast<int>(lines.size()) * m.line_rows -
                                        (m.line_rows - m.cap_rows) + 2 * m.padding),
                                height & ~1);
    cv::Mat coverage = cv::Mat::zeros(band_h, band_w, CV_8U);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int baseline_y = m.padding + m.cap_rows + static_cast<int>(i) * m.line_rows;
        draw_line(lines[i], m, &coverage, {m.padding, baseline_y});
    }
    band.x = 0;
    band.y = (height - band_h) & ~1;
    weights(coverage, kBandLuma, kTextLuma, band.luma_keep, band.luma_add);
    cv::Mat half;
    cv::resize(coverage, half, {band_w / 2, band_h / 2}, 0, 0, cv::INTER_AREA);
    weights(half, kNeutralChroma, kNeutralChroma, band.chroma_keep, band.chroma_add);
    return band;
}

void blend_band(const OverlayBand& band, AVFrame& picture) {
    const auto format = static_cast<AVPixelFormat>(picture.format);
    if (band.empty() || (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P)) return;
    if (band.x + band.luma_keep.cols > picture.width ||
        band.y + band.luma_keep.rows > picture.height) {
        return;
    }
    blend_plane(picture.data[0], picture.linesize[0], band.x, band.y, band.luma_keep,
                band.luma_add);
    for (int plane = 1; plane <= 2; ++plane) {
        blend_plane(picture.data[plane], picture.linesize[plane], band.x / 2, band.y / 2,
                    band.chroma_keep, band.chroma_add);
    }
}

OverlayDrawer::OverlayDrawer(std::vector<OverlayCueCopy> cues, AVRational frame_rate, int width,
                             int height)
    : cues_(std::move(cues)), frame_rate_(frame_rate), width_(width), height_(height) {}

const OverlayCueCopy* OverlayDrawer::cue_at(int64_t time_ms) const {
    // The last cue starting at or before the time, if it still lasts.
    auto it = std::upper_bound(cues_.begin(), cues_.end(), time_ms,
                               [](int64_t t, const OverlayCueCopy& c) { return t < c.start_ms; });
    if (it == cues_.begin()) return nullptr;
    --it;
    return time_ms < it->end_ms ? &*it : nullptr;
}

void OverlayDrawer::draw(AVFrame& picture, int64_t index) {
    if (cues_.empty() || frame_rate_.num <= 0 || frame_rate_.den <= 0) return;
    const int64_t time_ms = index * 1000 * frame_rate_.den / frame_rate_.num;
    const OverlayCueCopy* cue = cue_at(time_ms);
    if (cue == nullptr) return;
    if (cue != shown_) {
        band_ = render_band(cue->text, width_, height_);
        shown_ = cue;
    }
    blend_band(band_, picture);
}

}  // namespace converter
