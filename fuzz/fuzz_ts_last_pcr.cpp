// The last-PCR reader on arbitrary file bytes, laid out as
// virtual_ts_file.h describes. The answer is 0 or a PCR base (33 bits) plus
// an extension (9 bits).
#include <cstddef>
#include <cstdint>

#include "tsfix/ts_fix_tool.h"
#include "virtual_ts_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kvp_fuzz::VirtualTsFile file(data, size);
    const std::int64_t pcr = tsfix::read_last_pcr(file);
    constexpr std::int64_t kMaxRawPcr = (std::int64_t{1} << 33) - 1 + 511;
    if (pcr < 0 || pcr > kMaxRawPcr) __builtin_trap();
    return 0;
}
