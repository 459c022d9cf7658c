#include "tsfix/ts_fix_tool.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/debug_output.h"
#include "platform/paths.h"
#include "tsfix/ts_packet.h"

namespace tsfix {
namespace {

// A debugger line: formatted into a buffer of this size, of which at most
// kLogMaxChars characters are kept so that "\r\n" and the terminator fit.
constexpr std::size_t kLogBufferSize = 4092;
constexpr std::size_t kLogMaxChars = 4089;
constexpr const char* kLogPrefix = "TSFixTool:";
// The final scan starts two packets before the last good position found.
constexpr std::int64_t kFinalScanBackBytes = 376;

constexpr std::int64_t kPacket = static_cast<std::int64_t>(kPacketSize);
constexpr std::int64_t kWindow = static_cast<std::int64_t>(kWindowBytes);

__attribute__((format(printf, 1, 2))) void ts_log(const char* format, ...) {
    char buffer[kLogBufferSize];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, kLogMaxChars + 1, format, args);
    va_end(args);
    std::size_t len = n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), kLogMaxChars);
    while (len > 0 && (buffer[len - 1] == ' ' || buffer[len - 1] == '\t' ||
                       buffer[len - 1] == '\r' || buffer[len - 1] == '\n')) {
        --len;
    }
    buffer[len++] = '\r';
    buffer[len++] = '\n';
    platform::debug_output(kLogPrefix);
    platform::debug_output(std::string_view(buffer, len));
}

bool regular_file_size(int fd, std::int64_t& size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::int64_t>(st.st_size);
    return true;
}

// Closes a descriptor at the end of its scope.
class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

}  // namespace

const char* action_name(Action action) {
    switch (action) {
        case Action::whole:
            return "whole";
        case Action::cut:
            return "cut";
        case Action::untouched:
            return "untouched";
    }
    return "untouched";
}

TSFixTool::TSFixTool(RepairOptions options) : options_(options) {}

RepairReport TSFixTool::repair(const std::string& path) {
    const int fd = platform::open_regular_file(path, options_.dry_run ? O_RDONLY : O_RDWR);
    const FdCloser closer(fd);
    std::int64_t size = 0;
    if (fd < 0 || !regular_file_size(fd, size)) {
        ts_log("Can't open file %s ", path.c_str());
        RepairReport report;
        report.result = -1;
        report.reason = options_.dry_run ? "cannot open the file"
                                         : "cannot open the file for reading and writing";
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            report.size_before = report.size_after = st.st_size;
        }
        return report;
    }
    RepairReport report = judge(FileSource(fd, size), name_time_of(path));
    if (report.action == Action::cut && !options_.dry_run) apply_cut(fd, report);
    return report;
}

RepairReport TSFixTool::judge(const ByteSource& file, std::int64_t name_time) {
    RepairReport report;
    file_ = &file;
    file_size_ = file.size();
    name_time_ = name_time;
    windows_read_ = bytes_read_ = 0;
    pcr_ms_ = 0;
    report.size_before = report.size_after = file_size_;
    try {
        decide(report);
    } catch (const std::exception& e) {
        // Only the buffer's length errors or allocation failures end up here.
        ts_log("internal error: %s", e.what());
        report.result = -1;
        report.action = Action::untouched;
        report.reason = e.what();
    }
    file_ = nullptr;
    report.windows_read = windows_read_;
    report.bytes_read = bytes_read_;
    if (report.action == Action::untouched) report.size_after = report.size_before;
    return report;
}

void TSFixTool::decide(RepairReport& report) {
    const std::int64_t left = first_check();
    if (left < 0) {
        ts_log("first pcr package timestamp error\n");
        report.reason = "first timestamps do not match the file name";
        return;
    }
    const std::int64_t padded = (file_size_ / kPacket + 1) * kPacket;
    bool whole = false;
    const std::int64_t right = end_check(padded, whole);
    if (whole) {
        decide_whole(report);
        return;
    }
    const std::int64_t q = bisect(left, right);
    if (q < 0) {
        report.result = -1;
        report.reason = "no packet of this recording found near the damage";
        return;
    }
    decide_cut(q + kPacket, report);
}

std::size_t TSFixTool::read_window(std::int64_t offset) {
    window_.clear();
    if (offset < 0 || offset >= file_size_) return 0;
    std::uint8_t* out = window_.prepare(kWindowBytes);
    const std::size_t got = file_->read_at(out, kWindowBytes, offset);
    window_.commit(got);
    ++windows_read_;
    bytes_read_ += static_cast<std::int64_t>(got);
    return got;
}

TSFixTool::PcrHit TSFixTool::find_pcr_packet(std::int64_t offset) {
    PcrHit hit;
    read_window(offset);
    for (std::int64_t pos = offset; window_.size() >= kPacketSize; pos += kPacket) {
        const std::uint8_t* p = window_.data();
        if (is_pcr_packet(p)) {
            read_pcr_ms(p, pcr_ms_);
            hit.pos = pos;
            hit.time = read_packet_time(p);
            ts_log("pcr= %lld   time= %lld   pos=%lld ", static_cast<long long>(pcr_ms_),
                   static_cast<long long>(hit.time), static_cast<long long>(pos));
            break;
        }
        window_.consume(kPacketSize);
    }
    return hit;
}

TSFixTool::ScanResult TSFixTool::find_last_consistent_pcr_packet(std::int64_t offset) {
    ScanResult result;
    int inconsistent = 0;
    for (std::int64_t start = offset; start < file_size_; start += kWindow) {
        if (read_window(start) < kPacketSize) break;
        for (std::int64_t pos = start; window_.size() >= kPacketSize; pos += kPacket) {
            const std::uint8_t* p = window_.data();
            if (is_pcr_packet(p)) {
                read_pcr_ms(p, pcr_ms_);
                const std::int64_t time = read_packet_time(p);
                ts_log("pcr= %lld time=%lld pos= %lld", static_cast<long long>(pcr_ms_),
                       static_cast<long long>(time), static_cast<long long>(pos));
                result.last_diff = time - name_time_;
                result.last_consistent = is_consistent(time, name_time_);
                if (result.last_consistent) {
                    result.pos = pos;
                } else if (++inconsistent == kInconsistentPacketsToStop) {
                    return result;
                }
            }
            window_.consume(kPacketSize);
        }
    }
    return result;
}

// The first recorder packet, or failing that the one found from the fourth
// packet on, must belong to this recording; returns its offset or -1.
std::int64_t TSFixTool::first_check() {
    PcrHit hit = find_pcr_packet(0);
    if (hit.pos < 0) {
        ts_log("cant find first pcr package");
        return -1;
    }
    ts_log("first time check = %lld", static_cast<long long>(hit.time - name_time_));
    ts_log("first pos check = %lld", static_cast<long long>(hit.pos));
    if (is_consistent(hit.time, name_time_)) return hit.pos;

    hit = find_pcr_packet(kSecondCheckOffset);
    if (hit.pos < 0) {
        ts_log("cant find secord pcr package");
        return -1;
    }
    ts_log("second time check =%lld", static_cast<long long>(hit.time - name_time_));
    ts_log("second pos check = %lld", static_cast<long long>(hit.pos));
    return is_consistent(hit.time, name_time_) ? hit.pos : -1;
}

// Looks at the last window. Sets `whole` when the file ends inside its own
// recording; otherwise returns the right end for the bisection.
std::int64_t TSFixTool::end_check(std::int64_t padded_size, bool& whole) {
    whole = false;
    const ScanResult end =
        find_last_consistent_pcr_packet(std::max<std::int64_t>(0, padded_size - kWindow));
    if (end.pos < 0) {
        ts_log("Cant find end pcr package\n");
        return padded_size;
    }
    ts_log("end time check = %lld,", static_cast<long long>(end.last_diff));
    ts_log("end pos check = %lld", static_cast<long long>(end.pos));
    if (end.last_consistent) {
        platform::debug_output("ts file is ok\n");
        whole = true;
        return padded_size;
    }
    ts_log("end pcr package timestamp error");
    return end.pos;
}

// Narrows the damage down between a good `left` and a bad `right`, then scans
// from the last good position found; returns the offset of the last packet
// of this recording, or -1.
std::int64_t TSFixTool::bisect(std::int64_t left, std::int64_t right) {
    std::int64_t last_good = left;  // the latest probe found consistent
    std::int64_t mid = -1;
    bool last_probe_good = false;
    while (left < right) {
        ts_log("file left pos = %lld ", static_cast<long long>(left));
        ts_log("file right pos = %lld", static_cast<long long>(right));
        mid = (left + right) / 2 / kPacket * kPacket + kPacket;
        const PcrHit hit = find_pcr_packet(mid);
        last_probe_good = hit.pos >= 0 && is_consistent(hit.time, name_time_);
        if (hit.pos < 0)
            ts_log("search pcr package failed, pos=%lld ", static_cast<long long>(mid));
        if (last_probe_good) {
            last_good = hit.pos;
            left = mid + kWindow;
        } else {
            right = mid - kWindow;
        }
    }
    ts_log("cur pos = %lld ", static_cast<long long>(mid));
    ts_log("left pos = %lld ", static_cast<long long>(left));
    ts_log("right pos = %lld", static_cast<long long>(right));
    if (!last_probe_good) ts_log("last ok pos = %lld", static_cast<long long>(last_good));

    const std::int64_t start = std::max<std::int64_t>(0, last_good - kFinalScanBackBytes);
    const ScanResult final_scan = find_last_consistent_pcr_packet(start);
    ts_log("file end pcr pos = %lld", static_cast<long long>(final_scan.pos));
    if (final_scan.pos < 0) ts_log("search end pcr pos failed %lld", static_cast<long long>(start));
    return final_scan.pos;
}

// A file that ends inside its own recording keeps every whole packet; only
// an incomplete packet at its very end goes.
void TSFixTool::decide_whole(RepairReport& report) {
    const std::int64_t whole_packets_end = file_size_ / kPacket * kPacket;
    if (whole_packets_end == file_size_) {
        report.action = Action::whole;
        report.reason = "the file ends inside its own recording";
        return;
    }
    decide_cut(whole_packets_end, report);
    if (report.action == Action::cut) report.reason = "an incomplete packet ends the file";
}

void TSFixTool::decide_cut(std::int64_t new_size, RepairReport& report) {
    if (new_size >= file_size_) {
        report.action = Action::whole;
        report.reason = "the last packet of the file belongs to its own recording";
        return;
    }
    report.action = Action::cut;
    report.reason = "packets of another recording end the file";
    report.size_after = new_size;
}

void TSFixTool::apply_cut(int fd, RepairReport& report) {
    ts_log("Reize file to %lld", static_cast<long long>(report.size_after));
    if (::ftruncate(fd, static_cast<off_t>(report.size_after)) == 0) return;
    report.result = -1;
    report.action = Action::untouched;
    report.reason = "the file could not be truncated";
    report.size_after = report.size_before;
}

bool repair_forbidden(const std::string& marker_dir) {
    return platform::path_exists(platform::join_path(marker_dir, kMarkerFileName));
}

std::string marker_dir_of(const std::string& path) {
    return platform::mount_root_of(path);
}

RepairReport repair_unless_marked(const std::string& path, const std::string& marker_dir,
                                  RepairOptions options) {
    if (repair_forbidden(marker_dir)) {
        RepairReport report;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) report.size_before = report.size_after = st.st_size;
        report.reason = std::string(kMarkerFileName) + " forbids changes on this file system";
        return report;
    }
    return TSFixTool(options).repair(path);
}

}  // namespace tsfix
