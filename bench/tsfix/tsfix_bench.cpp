// The repair of damaged 100 MiB and 1 GiB recorder TS files (their own
// recording ends at 61.8 %, an older recording's packets follow), on a warm
// cache: the files are written just before and read again by every
// iteration. Each iteration is a dry run, which reads exactly what the
// repair reads; one real repair per file afterwards checks the cut.
//
// Reported per file: time per repair, windows and bytes read, and for
// comparison the time to read the whole file once.
//
//     build/bin/tsfix_bench [--benchmark_repetitions=N]
//
// The files are generated into a folder under $TMPDIR (or /tmp) and deleted
// at the end; they need about 1.2 GB of free space.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tsfix/ts_fix_tool.h"

namespace {

struct BenchFile {
    std::string label;
    std::string path;
    long long expected_size = 0;
};

std::string make_temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/kvp-tsfix-bench-XXXXXX";
    return ::mkdtemp(templ.data()) != nullptr ? templ : std::string();
}

std::vector<BenchFile> generate(const std::string& dir) {
    const std::string cmd =
        std::string(KVP_BIN_DIR "/kvp-samplegen '") + dir + "' tsfix_100m tsfix_1g";
    if (std::system(cmd.c_str()) != 0) return {};
    std::vector<BenchFile> files;
    std::ifstream in(dir + "/recorder_large_expected.txt");
    std::string name;
    long long size = 0;
    const char* labels[] = {"100MiB", "1GiB"};
    for (std::size_t i = 0; in >> name >> size && i < 2; ++i) {
        files.push_back({labels[i], dir + "/" + name, size});
    }
    return files;
}

void repair_dry_run(benchmark::State& state, const std::string& path) {
    tsfix::RepairReport r;
    for (auto _ : state) {
        r = tsfix::TSFixTool(tsfix::RepairOptions{true}).repair(path);
        benchmark::DoNotOptimize(r);
    }
    state.counters["windows"] = static_cast<double>(r.windows_read);
    state.counters["MB_read"] = static_cast<double>(r.bytes_read) / 1e6;
    state.counters["file_MB"] = static_cast<double>(r.size_before) / 1e6;
    state.counters["cut_at_MB"] = static_cast<double>(r.size_after) / 1e6;
}

void read_whole_file(benchmark::State& state, const std::string& path) {
    std::vector<char> buffer(1 << 20);
    long long total = 0;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        total = 0;
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) total += n;
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.counters["MB_read"] = static_cast<double>(total) / 1e6;
}

bool check_real_repair(const BenchFile& f) {
    const tsfix::RepairReport r = tsfix::TSFixTool().repair(f.path);
    std::printf(
        "%s: real repair cut %lld -> %lld bytes (expected %lld), %lld windows, %lld bytes read\n",
        f.label.c_str(), static_cast<long long>(r.size_before),
        static_cast<long long>(r.size_after), f.expected_size,
        static_cast<long long>(r.windows_read), static_cast<long long>(r.bytes_read));
    return r.action == tsfix::Action::cut && r.size_after == f.expected_size;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string dir = make_temp_dir();
    const std::vector<BenchFile> files = dir.empty() ? std::vector<BenchFile>{} : generate(dir);
    if (files.size() != 2) {
        std::fprintf(stderr, "tsfix_bench: cannot generate the files in %s\n", dir.c_str());
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
        return 1;
    }
    for (const auto& f : files) {
        benchmark::RegisterBenchmark(("tsfix_repair/" + f.label).c_str(), repair_dry_run, f.path)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("read_whole_file/" + f.label).c_str(), read_whole_file,
                                     f.path)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    bool ok = true;
    for (const auto& f : files) ok = check_real_repair(f) && ok;
    benchmark::Shutdown();
    std::system(("rm -rf '" + dir + "'").c_str());
    return ok ? 0 : 1;
}
