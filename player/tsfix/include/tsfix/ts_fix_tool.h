// Repair of recorder TS files whose end holds packets of another recording
// (the recorder reuses files): the recorder's wall-clock packets (PID 0x1000)
// are checked against the time in the file name, and the file is truncated in
// place after the last packet that belongs to its own recording.
//
// The file is read in windows of kWindowBytes from packet-aligned offsets: a
// look at the start and at the end, a bisection between the last good and
// the first bad position, and a final scan, so that a damaged file costs a
// few dozen reads whatever its size.
//
// Every step writes a debugger line through platform::debug_output: first
// the string "TSFixTool:", then the line itself ending in "\r\n".
//
// A marker file ".libhole.ini" in the root of a file system (its mount
// point) forbids modifying the TS files on it.
//
// Thread-safety: a TSFixTool is used by one thread; separate objects may run
// on separate files at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "tsfix/byte_source.h"
#include "tsfix/byte_streambuf.h"

namespace tsfix {

inline constexpr std::size_t kWindowPackets = 2000;
inline constexpr std::size_t kWindowBytes = 376000;      // kWindowPackets packets of 188 bytes
inline constexpr std::int64_t kSecondCheckOffset = 564;  // the fourth packet
inline constexpr int kInconsistentPacketsToStop = 4;
inline constexpr const char* kMarkerFileName = ".libhole.ini";

enum class Action {
    whole,      // nothing removed
    cut,        // the file was (with dry_run: would be) truncated
    untouched,  // the repair declined: marker, unknown recording, open or search failure
};
const char* action_name(Action action);  // "whole", "cut", "untouched"

struct RepairOptions {
    bool dry_run = false;  // judge and report, open read-only, never truncate
};

struct RepairReport {
    int result = 0;  // 0 done or nothing to do; -1 cannot open, final search or truncation failed
    Action action = Action::untouched;
    std::string reason;  // one short phrase: why the file was judged as it was
    std::int64_t size_before = 0;
    std::int64_t size_after = 0;  // what the file holds (or, with dry_run, would hold)
    std::int64_t windows_read = 0;
    std::int64_t bytes_read = 0;
};

class TSFixTool {
public:
    explicit TSFixTool(RepairOptions options = {});
    TSFixTool(const TSFixTool&) = delete;
    TSFixTool& operator=(const TSFixTool&) = delete;

    // Checks and, when it is damaged, truncates the file. Does not look for
    // the marker file (see repair_unless_marked).
    RepairReport repair(const std::string& path);

    // The decision alone, on the bytes of a file whose name gives
    // `name_time` (see name_time_of): what repair() does to such a file,
    // without changing anything. A cut is reported as action cut with the
    // size the file would keep; result and reason as repair() gives them.
    RepairReport judge(const ByteSource& file, std::int64_t name_time);

private:
    struct PcrHit {
        std::int64_t pos = -1;  // offset of the packet, -1 none
        std::int64_t time = 0;  // its wall-clock time, seconds since 1970
    };
    struct ScanResult {
        std::int64_t pos = -1;         // last consistent packet before the stop, -1 none
        std::int64_t last_diff = 0;    // time - name time of the last packet examined
        bool last_consistent = false;  // whether that packet was consistent
    };

    void decide(RepairReport& report);
    std::size_t read_window(std::int64_t offset);
    PcrHit find_pcr_packet(std::int64_t offset);
    ScanResult find_last_consistent_pcr_packet(std::int64_t offset);
    std::int64_t first_check();
    std::int64_t end_check(std::int64_t padded_size, bool& whole);
    std::int64_t bisect(std::int64_t left, std::int64_t right);
    void decide_whole(RepairReport& report);
    void decide_cut(std::int64_t new_size, RepairReport& report);
    void apply_cut(int fd, RepairReport& report);

    RepairOptions options_;
    // --- set for one judge() call
    const ByteSource* file_ = nullptr;
    std::int64_t file_size_ = 0;
    std::int64_t name_time_ = 0;
    std::int64_t pcr_ms_ = 0;  // last PCR read; kept when a packet carries none
    byte_streambuf window_;
    std::int64_t windows_read_ = 0;
    std::int64_t bytes_read_ = 0;
};

// True when `marker_dir` holds the marker file.
bool repair_forbidden(const std::string& marker_dir);

// The folder whose marker governs `path`: the mount point of its file system.
std::string marker_dir_of(const std::string& path);

// The repair as the player runs it: nothing when `marker_dir` holds the
// marker (action untouched, result 0), else TSFixTool::repair.
RepairReport repair_unless_marked(const std::string& path, const std::string& marker_dir,
                                  RepairOptions options = {});

// The raw PCR (base plus extension, see read_pcr_raw) of the last recorder
// packet that starts a payload unit, searched from the end of the file in
// blocks of up to 1000 packets; 0 when there is none or the file cannot be
// read.
std::int64_t read_last_pcr(const std::string& path);
// The same on the bytes of a file.
std::int64_t read_last_pcr(const ByteSource& file);

}  // namespace tsfix
