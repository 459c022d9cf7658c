// A minimal ISO base media file walk: only the boxes that lead to the GPS
// index box and to the chunk offsets of a subtitle track are read. Every box
// must fit inside its parent (the file for top-level boxes); a box that does
// not ends the walk of its parent, and the data found so far is kept.
#include <algorithm>
#include <cstring>

#include "readers.h"
#include "record_codec.h"

namespace gps {
namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

constexpr std::uint32_t kMoov = fourcc("moov");
constexpr std::uint32_t kTrak = fourcc("trak");
constexpr std::uint32_t kMdia = fourcc("mdia");
constexpr std::uint32_t kHdlr = fourcc("hdlr");
constexpr std::uint32_t kMinf = fourcc("minf");
constexpr std::uint32_t kStbl = fourcc("stbl");
constexpr std::uint32_t kStco = fourcc("stco");  // 32-bit chunk offsets
constexpr std::uint32_t kC064 = fourcc("c064");  // the recorder's name for 32-bit offsets too
constexpr std::uint32_t kCo64 = fourcc("co64");  // 64-bit chunk offsets
constexpr std::uint32_t kGpsIndex = fourcc("gps ");
constexpr std::uint32_t kSubtitleHandler = fourcc("sbtl");

constexpr std::uint64_t kBoxHeaderSize = 8;
constexpr std::uint64_t kLargeBoxHeaderSize = 16;  // size field 1: a 64-bit size follows
constexpr std::uint32_t kLargeSizeMark = 1;
constexpr std::uint64_t kFullBoxHeaderSize = 4;  // version and flags
constexpr std::uint64_t kHandlerTypeOffset = 8;  // in hdlr's payload: version/flags, pre_defined
// "gps " payload: a 32-bit value (ignored), the entry count, then entries of
// a 32-bit absolute offset of a sample block and a 32-bit size (ignored).
constexpr std::uint64_t kGpsIndexHeaderSize = 8;
constexpr std::uint64_t kGpsIndexEntrySize = 8;
// A sample block begins with 44 bytes the reader skips, then the sample.
constexpr std::uint64_t kGpsBlockSkip = 44;

struct Box {
    std::uint32_t type = 0;
    std::uint64_t payload = 0;  // offset of the payload
    std::uint64_t end = 0;      // offset just past the box
};

struct TrackInfo {
    std::uint32_t handler = 0;
    std::vector<std::uint64_t> chunk_offsets;
};

struct WalkState {
    ByteSource& source;
    bool have_subtitle = false;                  // a subtitle track was met
    std::vector<std::uint64_t> subtitle_chunks;  // chunk offsets of the first one
    std::vector<std::uint64_t> gps_blocks;       // from the last "gps " box read
};

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint64_t be64(const std::uint8_t* p) {
    return (std::uint64_t{be32(p)} << 32) | be32(p + 4);
}

// The box at `pos`, which must end at or before `parent_end`. False for a box
// that cannot be: a header cut short, size 0 (the rest of the file, which the
// walk treats as its end), a size smaller than its header, or a box that runs
// past its parent.
bool read_box(ByteSource& source, std::uint64_t pos, std::uint64_t parent_end, Box& box) {
    std::uint8_t h[kLargeBoxHeaderSize];
    if (pos > parent_end || parent_end - pos < kBoxHeaderSize) return false;
    if (!source.read_exact(pos, h, kBoxHeaderSize)) return false;
    std::uint64_t size = be32(h);
    std::uint64_t header = kBoxHeaderSize;
    if (size == kLargeSizeMark) {
        if (parent_end - pos < kLargeBoxHeaderSize) return false;
        if (!source.read_exact(pos + kBoxHeaderSize, h + kBoxHeaderSize, 8)) return false;
        size = be64(h + kBoxHeaderSize);
        header = kLargeBoxHeaderSize;
    }
    if (size < header || size > parent_end - pos) return false;
    box.type = be32(h + 4);
    box.payload = pos + header;
    box.end = pos + size;
    return true;
}

// Calls visit(child) for each child box of [begin, end) in order.
template <typename Visit>
void for_each_child(ByteSource& source, std::uint64_t begin, std::uint64_t end, Visit visit) {
    Box box;
    for (std::uint64_t pos = begin; read_box(source, pos, end, box); pos = box.end) visit(box);
}

// Reads `count` big-endian values of `width` bytes at `offset`; the count is
// first cut to what the box holds and to the track limit.
std::vector<std::uint64_t> read_be_table(ByteSource& source, std::uint64_t offset,
                                         std::uint64_t end, std::uint64_t count,
                                         std::uint64_t width, std::uint64_t stride) {
    const std::uint64_t fits = offset <= end ? (end - offset) / stride : 0;
    count = std::min({count, fits, std::uint64_t{kMaxTrackRecords}});
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count * stride));
    if (!source.read_exact(offset, bytes.data(), bytes.size())) return {};
    std::vector<std::uint64_t> values(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint8_t* p = bytes.data() + i * stride;
        values[i] = width == 8 ? be64(p) : be32(p);
    }
    return values;
}

// Chunk-offset box: version and flags, a 32-bit count, the offsets.
std::vector<std::uint64_t> read_chunk_offsets(ByteSource& source, const Box& box,
                                              std::uint64_t width) {
    std::uint8_t h[8];
    if (box.end - box.payload < sizeof h || !source.read_exact(box.payload, h, sizeof h)) return {};
    const std::uint64_t count = be32(h + kFullBoxHeaderSize);
    return read_be_table(source, box.payload + sizeof h, box.end, count, width, width);
}

std::uint32_t read_handler(ByteSource& source, const Box& box) {
    std::uint8_t t[4];
    if (box.end - box.payload < kHandlerTypeOffset + sizeof t) return 0;
    if (!source.read_exact(box.payload + kHandlerTypeOffset, t, sizeof t)) return 0;
    return be32(t);
}

void walk_stbl(WalkState& st, const Box& stbl, TrackInfo& track) {
    for_each_child(st.source, stbl.payload, stbl.end, [&](const Box& box) {
        if (box.type == kStco || box.type == kC064) {
            track.chunk_offsets = read_chunk_offsets(st.source, box, 4);
        } else if (box.type == kCo64) {
            track.chunk_offsets = read_chunk_offsets(st.source, box, 8);
        }
    });
}

void walk_mdia(WalkState& st, const Box& mdia, TrackInfo& track) {
    for_each_child(st.source, mdia.payload, mdia.end, [&](const Box& box) {
        if (box.type == kHdlr) {
            track.handler = read_handler(st.source, box);
        } else if (box.type == kMinf) {
            for_each_child(st.source, box.payload, box.end, [&](const Box& minf_child) {
                if (minf_child.type == kStbl) walk_stbl(st, minf_child, track);
            });
        }
    });
}

void walk_trak(WalkState& st, const Box& trak) {
    TrackInfo track;
    for_each_child(st.source, trak.payload, trak.end, [&](const Box& box) {
        if (box.type == kMdia) walk_mdia(st, box, track);
    });
    if (track.handler == kSubtitleHandler && !st.have_subtitle) {
        st.have_subtitle = true;
        st.subtitle_chunks = std::move(track.chunk_offsets);
    }
}

void read_gps_index(WalkState& st, const Box& box) {
    std::uint8_t h[kGpsIndexHeaderSize];
    if (box.end - box.payload < sizeof h || !st.source.read_exact(box.payload, h, sizeof h)) {
        return;
    }
    const std::uint64_t count = be32(h + 4);
    st.gps_blocks =
        read_be_table(st.source, box.payload + sizeof h, box.end, count, 4, kGpsIndexEntrySize);
}

void walk_moov(WalkState& st, const Box& moov) {
    for_each_child(st.source, moov.payload, moov.end, [&](const Box& box) {
        if (box.type == kTrak) {
            walk_trak(st, box);
        } else if (box.type == kGpsIndex) {
            read_gps_index(st, box);
        }
    });
}

// One record per index entry, up to the first block that is not in the file
// (the records of the seconds before it stay in step with the video).
std::vector<GpsRecord> records_from_index(ByteSource& source,
                                          const std::vector<std::uint64_t>& blocks) {
    std::vector<GpsRecord> track;
    track.reserve(blocks.size());
    std::uint8_t sample[kMp4SampleSize];
    for (const std::uint64_t block : blocks) {
        if (block > ~std::uint64_t{0} - kGpsBlockSkip) break;
        if (!source.read_exact(block + kGpsBlockSkip, sample, sizeof sample)) break;
        track.push_back(decode_mp4_sample(sample));
    }
    return track;
}

std::vector<GpsRecord> records_from_chunks(ByteSource& source,
                                           const std::vector<std::uint64_t>& chunks) {
    std::vector<GpsRecord> track;
    track.reserve(chunks.size());
    std::uint8_t bytes[kGpsRecordSize];
    for (const std::uint64_t chunk : chunks) {
        if (!source.read_exact(chunk, bytes, sizeof bytes)) break;
        track.push_back(decode_record(bytes));
    }
    return track;
}

}  // namespace

std::vector<GpsRecord> walk_mp4(ByteSource& source) {
    WalkState st{source, false, {}, {}};
    for_each_child(source, 0, source.size(), [&](const Box& box) {
        if (box.type == kMoov) walk_moov(st, box);
    });
    if (!st.gps_blocks.empty()) return records_from_index(source, st.gps_blocks);
    return records_from_chunks(source, st.subtitle_chunks);
}

}  // namespace gps
