// The evidence package of an export: what went in (every source file's
// SHA-256 as read before the export, and again after it, to show it was
// not altered), what was done to it (repairs with sizes before and after),
// how the export was made (its parameters, the calibration and its hash,
// the tool's version) and what came out (the output's SHA-256). Written as
// a JSON manifest, a short summary for people, and a list in the format
// `sha256sum -c` checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "evidence/sha256.h"

namespace evidence {

// The files of a package, in its folder.
inline constexpr const char* kManifestName = "manifest.json";
inline constexpr const char* kSummaryName = "summary.txt";
inline constexpr const char* kChecksumsName = "sha256sums.txt";
// A calibration made for the export alone is gone after it: its bytes are
// kept in the package under this name.
inline constexpr const char* kCalibrationCopyName = "calibration.inf";
// The manifest's own format, for readers that must tell versions apart.
inline constexpr const char* kManifestFormat = "kvp-evidence-1";

enum class Status { finished, failed, interrupted };
const char* status_text(Status s);

struct Source {
    FileHash before;                // hashed before the export opened it
    std::optional<FileHash> after;  // hashed again once the export ended
    std::string error;              // why a hash is missing
    bool unchanged() const {
        return after && after->size == before.size && after->sha256 == before.sha256;
    }
};

struct Repair {
    std::string file;
    std::string action;  // what was done ("cut", ...)
    std::uint64_t size_before = 0, size_after = 0;
};

struct Calibration {
    std::string origin;  // "given", "beside the recording", "made from the first picture"
    std::optional<FileHash> file;
    std::string kept_bytes;  // non-empty: written as kCalibrationCopyName
};

struct Manifest {
    std::string tool = "kvptool";
    std::string tool_version;
    std::string created_utc;  // "YYYY-MM-DDThh:mm:ssZ"
    Status status = Status::failed;
    int exit_code = 1;
    std::string error;  // the export's failure, empty when it finished
    std::vector<Source> sources;
    std::vector<Repair> repairs;
    nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
    std::optional<Calibration> calibration;
    std::optional<FileHash> output;  // only for a finished export
};

// The current time as "YYYY-MM-DDThh:mm:ssZ".
std::string utc_now_text();

nlohmann::ordered_json manifest_json(const Manifest& m);
std::string summary_text(const Manifest& m);
// "HASH  PATH" lines for every hashed file (sources as read before, the
// calibration, the output); a kept calibration is named by its name in the
// package, so the list is checked from the package's folder.
std::string checksums_text(const Manifest& m);

// Creates the package folder (and its parents) when missing and checks that
// a file can be made in it: done before an export starts, so that an
// export is not run for a package that cannot be written.
bool prepare_package_dir(const std::string& dir, std::string& why);

// Writes the three files, each through a temporary file renamed into place.
bool write_package(const std::string& dir, const Manifest& m, std::string& why);

}  // namespace evidence
