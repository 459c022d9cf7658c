// The evidence package around one export (kvptool export --evidence DIR):
// the sources are hashed before the export opens them and again after it,
// the export runs, the output is hashed, and the package is written with
// the export's outcome, whatever it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kvptool {

// What the export tells the package about itself while it runs.
struct ExportNotes {
    nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
    std::string calibration;         // the calibration file used, empty: none
    std::string calibration_origin;  // how it was chosen
    std::string failure;             // the text of the failure, when it failed
    // Hashes the calibration now, while it exists (a calibration made for
    // the export is removed with it).
    void hash_calibration();
    bool calibration_hashed = false;
    std::string calibration_sha256;
    std::uint64_t calibration_size = 0;
    std::string calibration_error;
    bool keep_calibration = false;  // the file is temporary: keep its bytes
    std::string calibration_bytes;
};

struct EvidenceRequest {
    std::string dir;
    std::vector<std::string> sources;
    std::string output;
};

// Runs `run_export` inside the package's bookkeeping. Returns the export's
// exit code, or 1 when it succeeded but the package could not be written
// (and at once, without exporting, when the folder cannot be made).
int run_with_evidence(const EvidenceRequest& request,
                      const std::function<int(ExportNotes&)>& run_export);

// The exit code of an export that ended on a signal is at least this.
inline constexpr int kInterruptedExitBase = 128;

}  // namespace kvptool
