// The MPEG-TS GPS scan against plain reading of the same file.
//
//   gps_scan_bench [benchmark options]
//
// Generates into $TMPDIR (or /tmp) a recording of KVP_BENCH_GPS_MB MiB
// (default 1024) with one GPS packet per 1.25 MB (one per second at
// 10 Mbit/s) and a 64 MiB recording without GPS, reads both once so that
// they are in the page cache, runs the benchmarks and deletes the files.
//   TsScanWithGps      the whole scan through read_track, bytes per wall second
//   RawRead            read() of the same file in the same block size: the
//                      disk (here: page cache) speed the scan is held to
//   TsScanWithoutGps   a recording without GPS: bytes_read is the cost
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "byte_source.h"
#include "gps/track_reader.h"
#include "readers.h"

namespace {

constexpr std::size_t kPacket = gps::kTsPacketSize;
constexpr std::size_t kPacketsPerGps = 1250000 / kPacket;  // one a second at 10 Mbit/s

std::string g_with_gps;
std::string g_without_gps;
std::uint64_t g_with_gps_size = 0;

std::string packet(unsigned pid, std::uint32_t seed) {
    std::string p(kPacket, '\0');
    p[0] = 0x47;
    p[1] = static_cast<char>(0x40 | (pid >> 8));
    p[2] = static_cast<char>(pid & 0xFF);
    p[3] = 0x10;
    for (std::size_t i = 4; i < kPacket; ++i) {
        seed = seed * 1664525u + 1013904223u;
        p[i] = static_cast<char>(seed >> 24);
    }
    return p;
}

std::string gps_packet(int second) {
    std::string p = packet(gps::kGpsPid, 1);
    gps::GpsRecord r{};
    r.hour = second / 3600 % 24;
    r.minute = second / 60 % 60;
    r.second = second % 60;
    r.year = 2023;
    r.month = 5;
    r.day = 17 + second / 86400;
    r.status = gps::kStatusValid;
    std::memcpy(&p[gps::kTsRecordOffset], &r, sizeof r);
    return p;
}

bool write_recording(const std::string& path, std::uint64_t bytes, bool with_gps) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const std::string video = packet(0x100, 7);
    std::string block;
    int second = 0;
    bool ok = true;
    for (std::uint64_t n = 0; n * kPacket < bytes && ok; ++n) {
        block += with_gps && n % kPacketsPerGps == 2 ? gps_packet(second++) : video;
        if (block.size() >= (1 << 20)) {
            ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
            block.clear();
        }
    }
    ok = ok && std::fwrite(block.data(), 1, block.size(), f) == block.size();
    return std::fclose(f) == 0 && ok;
}

// Reads the file once so that the measurements see the page cache.
void warm(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buf(1 << 20);
    while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
    }
    if (fd >= 0) ::close(fd);
}

void TsScanWithGps(benchmark::State& state) {
    std::vector<gps::GpsRecord> track;
    bool continuous = false;
    for (auto _ : state) {
        gps::read_track(g_with_gps, true, track, continuous);
        benchmark::DoNotOptimize(track.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_with_gps_size));
    state.counters["records"] = static_cast<double>(track.size());
}

void RawRead(benchmark::State& state) {
    std::vector<char> buf(gps::kTsChunkSize);
    for (auto _ : state) {
        const int fd = ::open(g_with_gps.c_str(), O_RDONLY);
        while (::read(fd, buf.data(), buf.size()) > 0) benchmark::DoNotOptimize(buf.data());
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_with_gps_size));
}

void TsScanWithoutGps(benchmark::State& state) {
    std::uint64_t bytes_read = 0;
    for (auto _ : state) {
        auto source = gps::FileSource::open(g_without_gps);
        bytes_read = gps::scan_ts(*source).bytes_read;
    }
    state.counters["bytes_read"] = static_cast<double>(bytes_read);
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string dir = tmp && *tmp ? tmp : "/tmp";
    const char* mb = std::getenv("KVP_BENCH_GPS_MB");
    g_with_gps_size = (mb ? std::strtoull(mb, nullptr, 10) : 1024) << 20;
    g_with_gps = dir + "/kvp-bench-gps-" + std::to_string(::getpid()) + ".ts";
    g_without_gps = dir + "/kvp-bench-nogps-" + std::to_string(::getpid()) + ".ts";
    g_with_gps_size = g_with_gps_size / kPacket * kPacket;
    if (!write_recording(g_with_gps, g_with_gps_size, true) ||
        !write_recording(g_without_gps, 64 << 20, false)) {
        std::fprintf(stderr, "gps_scan_bench: cannot write the recordings in %s\n", dir.c_str());
        std::remove(g_with_gps.c_str());
        std::remove(g_without_gps.c_str());
        return 1;
    }
    warm(g_with_gps);
    warm(g_without_gps);

    benchmark::RegisterBenchmark("TsScanWithGps", TsScanWithGps)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("RawRead", RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("TsScanWithoutGps", TsScanWithoutGps)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(g_with_gps.c_str());
    std::remove(g_without_gps.c_str());
    return 0;
}
