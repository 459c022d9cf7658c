// The update check's files beside the program: which must be there, and the
// updater program that the viewer carries and writes anew when it is
// missing.
//
// Thread-safety: every function is independent.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace shell {

// The scripts and settings of the update check, in the order they are
// tested.
const std::vector<std::string>& required_update_files();

// The updater program the viewer starts when the check finds a newer
// version.
inline constexpr const char* kUpdaterFileName = "kqswup_ex";

// The first required file in `folder` that cannot be opened for reading,
// or nothing when all can.
std::optional<std::string> first_missing_update_file(const std::string& folder);

enum class UpdaterState { present, recreated, missing };

// Writes the updater from `program_bytes` (mode 0755) when it cannot be
// opened for reading; `missing` with a reason in `error` when it still
// cannot.
UpdaterState ensure_updater(const std::string& folder, const std::string& program_bytes,
                            std::string* error);

}  // namespace shell
