// The recorder writes one GPS packet per second of recording on its own PID,
// between the audio and video packets, and marks the end of its data with a
// packet on a second PID. Packets are taken at fixed 188-byte steps from the
// start of the file, as the recorder writes them: no resynchronisation.
#include <cstdlib>
#include <memory>

#include "readers.h"
#include "record_codec.h"

namespace gps {
namespace {

constexpr unsigned kPidMask = 0x1FFF;  // 13 bits over header bytes 1 and 2

unsigned packet_pid(const std::uint8_t* packet) {
    return ((unsigned{packet[1]} << 8) | packet[2]) & kPidMask;
}

bool accepted_status(char status) {
    return status == kStatusValid || status == kStatusTsValid || status == kStatusNoFix;
}

struct ScanState {
    std::vector<GpsRecord> kept;
    std::int64_t last_time_s = 0;  // time of the last kept record
    std::size_t gps_packets = 0;   // GPS packets met, the skipped first one included
    std::size_t packets = 0;       // packets examined
    bool done = false;
};

// One GPS packet; the first of the file carries no record of its own.
void take_gps_packet(ScanState& st, const std::uint8_t* packet) {
    if (++st.gps_packets == 1) return;
    const GpsRecord r = decode_record(packet + kTsRecordOffset);
    if (!accepted_status(r.status)) return;
    const std::int64_t t = record_time_s(r);
    if (!st.kept.empty() && std::llabs(t - st.last_time_s) > kTsMaxTimeJump_s) {
        st.done = true;  // a jump means the rest belongs to another recording
        return;
    }
    st.kept.push_back(r);
    st.last_time_s = t;
    if (st.kept.size() >= kMaxTrackRecords) st.done = true;
}

void take_packet(ScanState& st, const std::uint8_t* packet) {
    ++st.packets;
    const unsigned pid = packet_pid(packet);
    if (pid == kGpsPid) {
        take_gps_packet(st, packet);
    } else if (pid == kGpsEndPid) {
        st.done = true;
        return;
    }
    if (st.gps_packets == 0 && st.packets > kTsPacketsWithoutGps) st.done = true;
}

static_assert(kTsRecordOffset + kGpsRecordSize <= kTsPacketSize);

}  // namespace

TsScanResult scan_ts(ByteSource& source) {
    TsScanResult result;
    ScanState st;
    st.kept.reserve(kTsReservedRecords);
    const auto chunk = std::make_unique<std::uint8_t[]>(kTsChunkSize);
    for (std::uint64_t offset = 0; !st.done;) {
        const std::size_t got = source.read_at(offset, chunk.get(), kTsChunkSize);
        result.bytes_read += got;
        offset += got;
        // Only whole packets are examined: a file cut inside a packet ends
        // the scan before it.
        for (std::size_t p = 0; p + kTsPacketSize <= got && !st.done; p += kTsPacketSize) {
            take_packet(st, chunk.get() + p);
        }
        if (st.gps_packets == 0 || got < kTsChunkSize) break;
    }
    if (st.kept.size() > 1) {
        result.track = std::move(st.kept);
        result.continuous = true;
    }
    return result;
}

}  // namespace gps
