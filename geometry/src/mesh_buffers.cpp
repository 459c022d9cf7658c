#include "mesh_buffers.h"

#include <new>

#include <sys/mman.h>

namespace geometry {
namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

}  // namespace

float* allocate_floats(std::size_t count) {
    const std::size_t bytes = count * sizeof(float);
    void* p = nullptr;
    if (bytes >= kHugePageBytes) {
        const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
        p = std::aligned_alloc(kHugePageBytes, rounded);
        if (p != nullptr) ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only; may be refused
    } else {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<float*>(p);
}

}  // namespace geometry
