#include "export_evidence.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "evidence/manifest.h"
#include "platform/paths.h"

#ifndef KVP_VERSION_TEXT
#error "KVP_VERSION_TEXT is set by the build"
#endif

namespace kvptool {
namespace {

// Calibrations are a few hundred bytes; anything far larger is not kept.
constexpr std::size_t kMaxKeptCalibrationBytes = 1 << 20;

// The absolute path, so that the package is checked from anywhere; the
// path as given when it does not resolve.
std::string absolute(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

evidence::Source hash_source(const std::string& path) {
    evidence::Source s;
    if (!evidence::sha256_file(absolute(path), s.before, s.error)) s.before.path = absolute(path);
    return s;
}

void hash_again(evidence::Source& s) {
    if (s.before.sha256.empty()) return;  // never read: nothing to compare
    evidence::FileHash after;
    std::string why;
    if (evidence::sha256_file(s.before.path, after, why)) {
        s.after = after;
    } else {
        s.error = "after the export: " + why;
    }
}

evidence::Status status_of(int exit_code) {
    if (exit_code == 0) return evidence::Status::finished;
    return exit_code > kInterruptedExitBase ? evidence::Status::interrupted
                                            : evidence::Status::failed;
}

std::optional<evidence::Calibration> calibration_of(const ExportNotes& notes) {
    if (notes.calibration_origin.empty()) return std::nullopt;
    evidence::Calibration c;
    c.origin = notes.calibration_origin;
    if (notes.calibration_hashed) {
        c.file =
            evidence::FileHash{notes.calibration, notes.calibration_size, notes.calibration_sha256};
        c.kept_bytes = notes.calibration_bytes;
    }
    return c;
}

}  // namespace

void ExportNotes::hash_calibration() {
    if (calibration.empty()) return;
    calibration = absolute(calibration);
    evidence::FileHash h;
    calibration_hashed = evidence::sha256_file(calibration, h, calibration_error);
    calibration_sha256 = h.sha256;
    calibration_size = h.size;
    if (calibration_hashed && keep_calibration && h.size <= kMaxKeptCalibrationBytes) {
        std::ifstream in(calibration, std::ios::binary);
        calibration_bytes.assign(std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>());
        // Kept only when it is the very file hashed.
        if (evidence::sha256_hex(calibration_bytes) != calibration_sha256)
            calibration_bytes.clear();
    }
}

int run_with_evidence(const EvidenceRequest& request,
                      const std::function<int(ExportNotes&)>& run_export) {
    std::string why;
    if (!evidence::prepare_package_dir(request.dir, why)) {
        std::fprintf(stderr, "kvptool export: evidence folder: %s\n", why.c_str());
        return 1;
    }
    evidence::Manifest m;
    m.tool_version = KVP_VERSION_TEXT;
    m.created_utc = evidence::utc_now_text();
    // Before the export opens anything: what was handed over, as it was.
    for (const std::string& path : request.sources) m.sources.push_back(hash_source(path));

    ExportNotes notes;
    const int rc = run_export(notes);
    m.exit_code = rc;
    m.status = status_of(rc);
    m.error = notes.failure;
    m.parameters = notes.parameters;
    m.calibration = calibration_of(notes);
    for (evidence::Source& s : m.sources) hash_again(s);
    // A failed export leaves no output of its own; a file there is not it.
    if (m.status != evidence::Status::failed && platform::is_regular_file(request.output)) {
        evidence::FileHash out;
        if (evidence::sha256_file(absolute(request.output), out, why)) m.output = out;
    }
    if (!evidence::write_package(request.dir, m, why)) {
        std::fprintf(stderr, "kvptool export: evidence package: %s\n", why.c_str());
        return rc != 0 ? rc : 1;
    }
    std::printf("evidence: %s (%s)\n", request.dir.c_str(), evidence::status_text(m.status));
    return rc;
}

}  // namespace kvptool
