// Shared by the fuzz targets: a file to hand path-based parsers, and fixed
// settings for everything the parsers read from the environment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

namespace kvp_fuzz {

// A folder of this process (in /dev/shm where there is one: one file is
// written per input), removed at exit. Not thread-safe; libFuzzer runs
// inputs one at a time.
inline const std::string& scratch_dir() {
    // Never destroyed: the exit handler that removes the folder runs after
    // the destructors of function-local statics.
    static const std::string* const dir = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        auto* path = new std::string(std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                                     "/kvp-fuzz-XXXXXX");
        if (::mkdtemp(path->data()) == nullptr) std::abort();
        std::atexit([] { std::system(("rm -rf '" + scratch_dir() + "'").c_str()); });
        return path;
    }();
    return *dir;
}

// Writes the bytes to `name` in the scratch folder, replacing what it held;
// returns the path.
inline std::string write_scratch_file(const std::string& name, const std::uint8_t* data,
                                      std::size_t size) {
    const std::string path = scratch_dir() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path;
}

// Local time is UTC, so that wall-clock bytes and file names mean the same
// on every machine.
inline void use_utc() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

}  // namespace kvp_fuzz
