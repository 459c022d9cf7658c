// Construction, messages and buffer accessors of VertexFactory.
#include <cstdarg>
#include <cstdio>

#include "camera_model.h"
#include "geometry/vertex_factory.h"
#include "mesh_buffers.h"

namespace geometry {
namespace {

void write_to_stdout(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int32_t length_of(const FloatBuffer& buffer) {
    return static_cast<int32_t>(buffer.size());
}

}  // namespace

VertexFactory::VertexFactory(Variant variant)
    : variant_(variant), buffers_(std::make_unique<Buffers>()), sink_(write_to_stdout) {}

VertexFactory::~VertexFactory() = default;

void VertexFactory::set_message_sink(MessageSink sink) {
    sink_ = std::move(sink);
}

void VertexFactory::set_error_buffer(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        error_buffer_ = own_error_text_.data();
        error_buffer_size_ = own_error_text_.size();
    } else {
        error_buffer_ = buffer;
        error_buffer_size_ = size;
    }
}

void VertexFactory::report(const char* format, ...) {
    char text[kErrorTextBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::snprintf(error_buffer_, error_buffer_size_, "%s", text);
    if (variant_ == Variant::player && sink_) sink_(text);
}

ImagePoint VertexFactory::sphere_to_image(float latitude_rad, float longitude_rad) const {
    const detail::LensParams lens{cameras_[0], t_max_, circle_radius_, frame_width_, frame_height_};
    return detail::sphere_to_image(lens, latitude_rad, longitude_rad);
}

TexCoord VertexFactory::circle_unwrap_point(int32_t column, int32_t row, float rotation_rad) const {
    const CameraRecord& cam = cameras_[0];
    const float angle =
        static_cast<float>(static_cast<double>(column) / kCylinderColumns * 2.0 * detail::kPiFull +
                           static_cast<double>(rotation_rad));
    // Orientation 0 puts the image circle's rim at the bottom row.
    const int32_t n = orientation_ != 0 ? row : kCylinderRows - row;
    const float g = circle_radius_ *
                    (t_max_ * static_cast<float>(n) / static_cast<float>(kCylinderRows)) / t_max_;
    const float px = cam.cx + g * std::cos(angle);
    const float py = cam.cy + g * std::sin(angle);
    const bool inside = px >= 0.0f && px <= static_cast<double>(frame_width_) - 1.0 && py >= 0.0f &&
                        py <= static_cast<double>(frame_height_) - 1.0 && g <= circle_radius_;
    if (!inside) return {-1.0f, -1.0f};
    return {px / static_cast<float>(frame_width_), 1.0f - py / static_cast<float>(frame_height_)};
}

void VertexFactory::release_mesh() {
    *buffers_ = Buffers{};
    mesh_mode_ = -1;
}

const float* VertexFactory::positions() const {
    return buffers_->positions.data();
}
const float* VertexFactory::texcoords() const {
    return buffers_->texcoords.data();
}
const float* VertexFactory::weights() const {
    return buffers_->weights.data();
}
const float* VertexFactory::indices() const {
    return buffers_->indices.data();
}
int32_t VertexFactory::position_length() const {
    return length_of(buffers_->positions);
}
int32_t VertexFactory::texcoord_length() const {
    return length_of(buffers_->texcoords);
}
int32_t VertexFactory::weight_length() const {
    return length_of(buffers_->weights);
}
int32_t VertexFactory::index_length() const {
    return length_of(buffers_->indices);
}

}  // namespace geometry
