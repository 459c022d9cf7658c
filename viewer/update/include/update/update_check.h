// The update check: runs the script checkver.ulf from the program folder in
// a fresh Lua 5.1 state and asks its CheckLastVersion() whether a newer
// version exists.
//
// The script may block (it may ask a server), so the viewer runs the check
// in the helper program kvp-update-check, with a time limit, never on its
// UI thread.
//
// Thread-safety: safe; each call has its own Lua state.
#pragma once

#include <string>

namespace update {

inline constexpr const char* kCheckScriptName = "checkver.ulf";
// The result is a text of at most this many bytes; longer ones are cut.
inline constexpr std::size_t kResultMaxBytes = 259;

struct CheckResult {
    std::string text;     // what CheckLastVersion returned; "" means no update
    std::string failure;  // "pcall FAILED <message> <code>" when the script failed to run
};

// Loads and runs `folder`/checkver.ulf, then calls its global
// CheckLastVersion with no arguments. The script sees the folder in the
// global PROGRAM_DIR. A script that fails to load or run gives a failure
// text; a missing or failing CheckLastVersion, or a result that is not a
// string or number, gives an empty text.
CheckResult check_for_update(const std::string& folder);

}  // namespace update
