#include "evidence/manifest.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace evidence {
namespace {

nlohmann::ordered_json hash_json(const FileHash& h) {
    return {{"path", h.path}, {"size", h.size}, {"sha256", h.sha256}};
}

nlohmann::ordered_json source_json(const Source& s) {
    nlohmann::ordered_json j = hash_json(s.before);
    j["size_after"] = s.after ? nlohmann::ordered_json(s.after->size) : nullptr;
    j["sha256_after"] = s.after ? nlohmann::ordered_json(s.after->sha256) : nullptr;
    j["unchanged"] = s.unchanged();
    if (!s.error.empty()) j["error"] = s.error;
    return j;
}

nlohmann::ordered_json calibration_json(const Calibration& c) {
    nlohmann::ordered_json j = {{"origin", c.origin}};
    j["kept_as"] = c.kept_bytes.empty() ? nullptr : nlohmann::ordered_json(kCalibrationCopyName);
    j["path"] = c.file ? nlohmann::ordered_json(c.file->path) : nullptr;
    j["size"] = c.file ? nlohmann::ordered_json(c.file->size) : nullptr;
    j["sha256"] = c.file ? nlohmann::ordered_json(c.file->sha256) : nullptr;
    return j;
}

std::string size_text(std::uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

// mkdir -p: every missing folder on the way.
bool make_dirs(const std::string& dir, std::string& why) {
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            why = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        why = dir + " is not a folder";
        return false;
    }
    return true;
}

// Writes `text` to dir/name through dir/.name.part, flushed to the disk
// before the rename.
bool write_atomic(const std::string& dir, const std::string& name, const std::string& text,
                  std::string& why) {
    const std::string path = platform::join_path(dir, name);
    const std::string temp = platform::join_path(dir, "." + name + ".part");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = "cannot create " + temp + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool written = done == text.size() && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        why = "cannot write " + path + ": " + std::strerror(written ? errno : saved);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void summary_sources(std::ostringstream& s, const Manifest& m) {
    s << "Sources (hashed before the export read them):\n";
    for (const Source& src : m.sources) {
        s << "  " << src.before.path << "\n";
        if (!src.error.empty() && src.before.sha256.empty()) {
            s << "    not hashed: " << src.error << "\n";
            continue;
        }
        s << "    SHA-256 " << src.before.sha256 << ", " << size_text(src.before.size) << "\n";
        s << "    "
          << (src.unchanged() ? "unchanged after the export"
                              : "CHANGED or unreadable after the export: " +
                                    (src.error.empty() ? "hash differs" : src.error))
          << "\n";
    }
}

void summary_repairs(std::ostringstream& s, const Manifest& m) {
    if (m.repairs.empty()) {
        s << "Repairs: none\n";
        return;
    }
    s << "Repairs:\n";
    for (const Repair& r : m.repairs) {
        s << "  " << r.file << ": " << r.action << ", " << size_text(r.size_before) << " -> "
          << size_text(r.size_after) << "\n";
    }
}

}  // namespace

const char* status_text(Status s) {
    switch (s) {
        case Status::finished:
            return "finished";
        case Status::interrupted:
            return "interrupted";
        case Status::failed:
            break;
    }
    return "failed";
}

std::string utc_now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

nlohmann::ordered_json manifest_json(const Manifest& m) {
    nlohmann::ordered_json sources = nlohmann::ordered_json::array();
    for (const Source& s : m.sources) sources.push_back(source_json(s));
    nlohmann::ordered_json repairs = nlohmann::ordered_json::array();
    for (const Repair& r : m.repairs) {
        repairs.push_back({{"file", r.file},
                           {"action", r.action},
                           {"size_before", r.size_before},
                           {"size_after", r.size_after}});
    }
    nlohmann::ordered_json j = {
        {"format", kManifestFormat}, {"tool", {{"name", m.tool}, {"version", m.tool_version}}},
        {"created", m.created_utc},  {"status", status_text(m.status)},
        {"exit_code", m.exit_code},  {"error", m.error},
        {"sources", sources},        {"repairs", repairs},
        {"parameters", m.parameters}};
    j["calibration"] = m.calibration ? calibration_json(*m.calibration) : nullptr;
    j["output"] = m.output ? hash_json(*m.output) : nullptr;
    return j;
}

std::string summary_text(const Manifest& m) {
    std::ostringstream s;
    s << "Evidence package of an export by " << m.tool << " " << m.tool_version << "\n";
    s << "Created " << m.created_utc << "\n\n";
    if (m.status == Status::finished) {
        s << "Export: finished\n";
    } else {
        s << "Export: " << (m.status == Status::failed ? "FAILED" : "INTERRUPTED") << " (exit code "
          << m.exit_code << ")" << (m.error.empty() ? "" : ": " + m.error) << "\n";
    }
    if (m.output) {
        s << "Output: " << m.output->path << "\n    SHA-256 " << m.output->sha256 << ", "
          << size_text(m.output->size) << "\n";
    } else {
        s << "Output: none recorded\n";
    }
    s << "\n";
    summary_sources(s, m);
    summary_repairs(s, m);
    if (m.calibration) {
        s << "Calibration: " << m.calibration->origin;
        if (m.calibration->file) {
            s << ", " << m.calibration->file->path << "\n    SHA-256 "
              << m.calibration->file->sha256;
            if (!m.calibration->kept_bytes.empty())
                s << " (kept as " << kCalibrationCopyName << ")";
        }
        s << "\n";
    }
    s << "\nParameters and every hash: " << kManifestName << "; check the files with\n"
      << "    sha256sum -c " << kChecksumsName << "\n";
    return s.str();
}

std::string checksums_text(const Manifest& m) {
    std::string out;
    auto line = [&out](const FileHash& h) {
        if (!h.sha256.empty()) out += h.sha256 + "  " + h.path + "\n";
    };
    for (const Source& s : m.sources) line(s.before);
    if (m.calibration && m.calibration->file) {
        FileHash h = *m.calibration->file;
        if (!m.calibration->kept_bytes.empty()) h.path = kCalibrationCopyName;
        line(h);
    }
    if (m.output) line(*m.output);
    return out;
}

bool prepare_package_dir(const std::string& dir, std::string& why) {
    if (dir.empty()) {
        why = "no folder named";
        return false;
    }
    if (!make_dirs(dir, why)) return false;
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        why = "cannot write in " + dir + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool write_package(const std::string& dir, const Manifest& m, std::string& why) {
    const bool keep = m.calibration && !m.calibration->kept_bytes.empty();
    return prepare_package_dir(dir, why) &&
           (!keep || write_atomic(dir, kCalibrationCopyName, m.calibration->kept_bytes, why)) &&
           write_atomic(dir, kManifestName,
                        manifest_json(m).dump(2, ' ', false,
                                              nlohmann::ordered_json::error_handler_t::replace) +
                            "\n",
                        why) &&
           write_atomic(dir, kSummaryName, summary_text(m), why) &&
           write_atomic(dir, kChecksumsName, checksums_text(m), why);
}

}  // namespace evidence
