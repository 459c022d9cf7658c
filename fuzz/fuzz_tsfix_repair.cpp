// The TS repair's decision (TSFixTool::judge) on arbitrary file bytes, laid
// out as virtual_ts_file.h describes, for a file named after 2024-12-07
// 15:30:00. Beyond the sanitizers it checks what every report promises: a
// cut keeps whole packets and removes something, nothing else changes the
// size, and the reads stay within a few per window of the file.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "tsfix/ts_fix_tool.h"
#include "tsfix/ts_packet.h"
#include "virtual_ts_file.h"

namespace {

constexpr const char* kFileName = "20241207_153000A.ts";

// Windows the repair may read: two at the start, one at the end, one per
// bisection step (each step moves an end by a window) and the final scan
// (at most the file).
std::int64_t max_windows(std::int64_t file_size) {
    const auto window = static_cast<std::int64_t>(tsfix::kWindowBytes);
    return 2 * (file_size / window + 1) + 4;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvp_fuzz::use_utc();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::int64_t name_time = tsfix::name_time_of(kFileName);
    const kvp_fuzz::VirtualTsFile file(data, size);
    tsfix::TSFixTool tool(tsfix::RepairOptions{true});
    const tsfix::RepairReport r = tool.judge(file, name_time);

    const auto packet = static_cast<std::int64_t>(tsfix::kPacketSize);
    if (r.size_before != file.size()) __builtin_trap();
    if (r.action == tsfix::Action::cut) {
        if (r.size_after <= 0 || r.size_after >= r.size_before) __builtin_trap();
        if (r.size_after % packet != 0) __builtin_trap();
    } else if (r.size_after != r.size_before) {
        __builtin_trap();
    }
    if (r.result != 0 && r.action != tsfix::Action::untouched) __builtin_trap();
    if (r.reason.empty() && r.action != tsfix::Action::untouched) __builtin_trap();
    if (r.windows_read > max_windows(file.size())) __builtin_trap();
    if (r.bytes_read > r.windows_read * static_cast<std::int64_t>(tsfix::kWindowBytes)) {
        __builtin_trap();
    }
    return 0;
}
