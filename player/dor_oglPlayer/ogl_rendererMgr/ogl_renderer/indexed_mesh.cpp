#include "ogl_rendererMgr/ogl_renderer/indexed_mesh.h"

#include <cstring>
#include <limits>

#include "ogl_rendererMgr/stitching_program.h"

namespace sphere_player::ogl {
namespace {

constexpr int kVertexFloats = 9;  // position, texture coordinates, weight, index
static_assert(kSlotComponents[kSlotPosition] == 3 && kSlotComponents[kSlotTexcoord] == 4 &&
                  kSlotComponents[kSlotWeight] == 1 && kSlotComponents[kSlotIndex] == 1,
              "the copies below follow this layout");
constexpr uint32_t kEmptySlot = std::numeric_limits<uint32_t>::max();
constexpr std::size_t kLargestShortElementCount = std::size_t{1} << 16;
constexpr int kTriangleVertices = 3;
constexpr std::size_t kVerticesPerQuadCorner = 6;

// A vertex as the bits of its nine floats, so that equality is exact (0.0
// and -0.0 stay apart, a NaN equals its own copy).
struct VertexBits {
    std::array<uint32_t, kVertexFloats> word;
    bool operator==(const VertexBits& o) const {
        uint32_t differ = 0;
        for (int i = 0; i < kVertexFloats; ++i) differ |= word[i] ^ o.word[i];
        return differ == 0;
    }
};

// Fixed-size copies, which the compiler turns into plain moves.
template <int kFloats>
uint32_t* copy_floats(uint32_t* out, const float* in) {
    std::memcpy(out, in, kFloats * sizeof(float));
    return out + kFloats;
}

VertexBits vertex_bits(const MeshArrays& mesh, std::size_t vertex) {
    VertexBits v;
    uint32_t* out = v.word.data();
    out = copy_floats<3>(out, mesh[kSlotPosition].data + 3 * vertex);
    out = copy_floats<4>(out, mesh[kSlotTexcoord].data + 4 * vertex);
    out = copy_floats<1>(out, mesh[kSlotWeight].data + vertex);
    copy_floats<1>(out, mesh[kSlotIndex].data + vertex);
    return v;
}

// Four independent products folded together, so that the multiplications
// do not wait on each other; 32 bits are plenty for a table of at most a
// few million slots.
uint32_t hash_of(const VertexBits& v) {
    auto pair = [&v](int i) { return v.word[i] | (uint64_t{v.word[i + 1]} << 32); };
    const uint64_t a = (pair(0) ^ v.word[8]) * 0x9E3779B97F4A7C15ull;
    const uint64_t b = pair(2) * 0xC2B2AE3D27D4EB4Full;
    const uint64_t c = pair(4) * 0x165667B19E3779F9ull;
    const uint64_t d = pair(6) * 0xD6E8FEB86659FD93ull;
    const uint64_t h = ((a ^ (b >> 17)) + (c ^ (d >> 23))) * 0xFF51AFD7ED558CCDull;
    return static_cast<uint32_t>(h >> 32);
}

// An open-addressing set of unique vertex numbers, each with its hash. It
// starts at the size a mesh of quad cells needs and doubles whenever it is
// half full.
class VertexTable {
public:
    explicit VertexTable(std::size_t expected_uniques) { reset(expected_uniques); }

    // The number of the unique vertex equal to `v`, or kEmptySlot after
    // recording `v` as number uniques.size(), which the caller appends.
    uint32_t find_or_add(const VertexBits& v, uint32_t hash,
                         const std::vector<VertexBits>& uniques) {
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.id == kEmptySlot) {
                slots_[i] = {static_cast<uint32_t>(uniques.size()), hash};
                if (++used_ * 2 > slots_.size()) grow();
                return kEmptySlot;
            }
            if (s.hash == hash && uniques[s.id] == v) return s.id;
        }
    }

private:
    struct Slot {
        uint32_t id = kEmptySlot;
        uint32_t hash = 0;
    };

    void reset(std::size_t expected_uniques) {
        std::size_t size = 64;
        while (size < 2 * expected_uniques) size *= 2;
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        used_ = 0;
    }

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        reset(old.size());
        for (const Slot& s : old) {
            if (s.id == kEmptySlot) continue;
            std::size_t i = s.hash & mask_;
            while (slots_[i].id != kEmptySlot) i = (i + 1) & mask_;
            slots_[i] = s;
            ++used_;
        }
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t used_ = 0;
};

void split_uniques(const std::vector<VertexBits>& uniques, IndexedMesh& out) {
    const std::size_t n = uniques.size();
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        out.arrays[slot].resize(n * kSlotComponents[slot]);
    }
    float* position = out.arrays[kSlotPosition].data();
    float* texcoord = out.arrays[kSlotTexcoord].data();
    for (std::size_t u = 0; u < n; ++u) {
        const uint32_t* in = uniques[u].word.data();
        std::memcpy(position + 3 * u, in, 3 * sizeof(float));
        std::memcpy(texcoord + 4 * u, in + 3, 4 * sizeof(float));
        std::memcpy(out.arrays[kSlotWeight].data() + u, in + 7, sizeof(float));
        std::memcpy(out.arrays[kSlotIndex].data() + u, in + 8, sizeof(float));
    }
}

}  // namespace

std::size_t common_vertex_count(const MeshArrays& mesh) {
    const std::size_t count = mesh[kSlotPosition].length / kSlotComponents[kSlotPosition];
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        if (mesh[slot].data == nullptr ||
            mesh[slot].length != count * static_cast<std::size_t>(kSlotComponents[slot])) {
            return 0;
        }
    }
    return count;
}

const void* IndexedMesh::element_data() const {
    return elements16.empty() ? static_cast<const void*>(elements32.data())
                              : static_cast<const void*>(elements16.data());
}

std::size_t IndexedMesh::element_bytes() const {
    return elements16.size() * sizeof(uint16_t) + elements32.size() * sizeof(uint32_t);
}

MeshArrays IndexedMesh::view() const {
    MeshArrays mesh;
    for (int slot = 0; slot < gl::kMeshSlotCount; ++slot) {
        mesh[slot] = {arrays[slot].data(), arrays[slot].size()};
    }
    return mesh;
}

bool index_mesh(const MeshArrays& mesh, IndexedMesh& out) {
    const std::size_t count = common_vertex_count(mesh);
    if (count == 0 || count > kEmptySlot) return false;
    std::vector<VertexBits> uniques;
    std::vector<uint32_t> elements(count);
    {
        // Quad cells of six vertices share their four corners with their
        // neighbours: about one vertex in six is new.
        VertexTable table(count / kVerticesPerQuadCorner);
        for (std::size_t i = 0; i < count; ++i) {
            const VertexBits v = vertex_bits(mesh, i);
            const uint32_t found = table.find_or_add(v, hash_of(v), uniques);
            if (found != kEmptySlot) {
                elements[i] = found;
            } else {
                elements[i] = static_cast<uint32_t>(uniques.size());
                uniques.push_back(v);
            }
        }
    }
    split_uniques(uniques, out);
    out.unique_count = uniques.size();
    out.elements16.clear();
    out.elements32.clear();
    if (uniques.size() <= kLargestShortElementCount) {
        out.elements16.assign(elements.begin(), elements.end());
    } else {
        out.elements32 = std::move(elements);
    }
    return true;
}

unsigned run_branches(const std::vector<DrawRun>& runs) {
    unsigned branches = 0;
    for (const DrawRun& run : runs) branches |= run.branches;
    return branches;
}

std::vector<DrawRun> mesh_runs(const float* indices, std::size_t vertex_count) {
    const std::vector<DrawRun> whole = {{0, vertex_count, kAllBranches}};
    std::vector<DrawRun> runs;
    uint32_t last_bits = 0;
    for (std::size_t t = 0; t + kTriangleVertices <= vertex_count; t += kTriangleVertices) {
        uint32_t bits[kTriangleVertices];
        std::memcpy(bits, indices + t, sizeof bits);
        if (bits[1] != bits[0] || bits[2] != bits[0]) return whole;
        if (!runs.empty() && bits[0] == last_bits) {
            runs.back().count += kTriangleVertices;
            continue;
        }
        last_bits = bits[0];
        const unsigned branch = index_branch(indices[t]);
        if (branch == kAllBranches) return whole;
        if (!runs.empty() && runs.back().branches == branch) {
            runs.back().count += kTriangleVertices;
        } else {
            runs.push_back({t, kTriangleVertices, branch});
        }
    }
    if (runs.empty()) return {{0, vertex_count, 0}};
    if (runs.size() > kMaxDrawRuns) return {{0, vertex_count, run_branches(runs)}};
    runs.back().count = vertex_count - runs.back().first;
    return runs;
}

}  // namespace sphere_player::ogl
