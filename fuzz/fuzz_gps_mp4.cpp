// The MP4 walk of the GPS reader on arbitrary bytes: the "gps " index box,
// track handlers and chunk-offset tables (stco, c064, co64).
#include <cstddef>
#include <cstdint>

#include "byte_source.h"
#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gps::MemorySource source(data, size);
    const auto track = gps::walk_mp4(source);
    // Every record needs its own bytes in the file: 88 per index block, 120
    // per subtitle chunk, though blocks may overlap; never more than a day.
    if (track.size() > gps::kMaxTrackRecords) __builtin_trap();
    return 0;
}
