// The MPEG-TS GPS scan on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "byte_source.h"
#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gps::MemorySource source(data, size);
    const gps::TsScanResult r = gps::scan_ts(source);
    if (r.bytes_read > size) __builtin_trap();
    if (r.continuous != (r.track.size() > 1)) __builtin_trap();
    // Each kept record came from its own packet after the skipped first one.
    if (r.track.size() > size / gps::kTsPacketSize) __builtin_trap();
    return 0;
}
