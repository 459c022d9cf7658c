#include "premux.h"

#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "ffmpeg_support/handles.h"
#include "platform/paths.h"

namespace converter {
namespace {

constexpr const char* kTsFormatName = "mpegts";
// A relative output path that begins with '-' would read as an option.
std::string not_an_option(const std::string& path) {
    return !path.empty() && path[0] == '-' ? "./" + path : path;
}

bool identity_of(const std::string& path, dev_t& device, ino_t& inode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

bool non_empty_regular_file(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// The path of the opened TS file when it needs a remux, else "".
std::string ts_input_path(AVFormatContext* ctx, const char* src_url) {
    if (std::strcmp(ctx->iformat->name, kTsFormatName) != 0) return {};
    return ctx->url != nullptr ? ctx->url : src_url;
}

// Runs the tool into `temp`; on any failure nothing of that name is left and
// the reason is in `error`.
int remux(const std::string& input, const std::string& temp, ErrorText& error) {
    // Whatever had this name is replaced by the copy; removing it first means
    // a failed remux never leaves an older copy to be taken for this one.
    ::unlink(temp.c_str());
    const platform::ProcessResult r = run_tool(remux_arguments(input, temp));
    if (r.started && r.exit_code == 0 && non_empty_regular_file(temp)) return kPremuxDone;
    ::unlink(temp.c_str());
    if (!r.started) {
        return error.fail(kPremuxFailed, "error: can not start %s to remux %s;\n", kRemuxProgram,
                          input.c_str());
    }
    if (r.exit_code != 0) {
        return error.fail(kPremuxFailed, "error: %s failed to remux %s, exit code %d;\n",
                          kRemuxProgram, input.c_str(), r.exit_code);
    }
    return error.fail(kPremuxFailed, "error: %s made no copy of %s;\n", kRemuxProgram,
                      input.c_str());
}

}  // namespace

void RemuxedCopy::adopt(const std::string& path) {
    remove();
    if (identity_of(path, device_, inode_)) path_ = path;
}

void RemuxedCopy::remove() {
    dev_t device = 0;
    ino_t inode = 0;
    if (!path_.empty() && identity_of(path_, device, inode) && device == device_ &&
        inode == inode_) {
        ::unlink(path_.c_str());
    }
    path_.clear();
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Input, no console output, overwrite, copy both streams, turn ADTS-framed
// AAC into the MP4 form, output.
std::vector<std::string> remux_arguments(const std::string& input_path,
                                         const std::string& output_path) {
    return {kRemuxProgram,
            "-i",
            input_path,
            "-v",
            "quiet",
            "-y",
            "-acodec",
            "copy",
            "-vcodec",
            "copy",
            "-absf",
            "aac_adtstoasc",
            not_an_option(output_path)};
}

platform::ProcessResult run_tool(const std::vector<std::string>& args) {
    platform::ProcessResult r = platform::run_program(args, kRunResultBytes - 1);
    if (!r.started) {
        r.output = kRunFailedText;
        return r;
    }
    log_line("Run Result \r\n %s\n", r.output.c_str());
    return r;
}

int premux_ts(ConverterInitParam& param, RemuxedCopy& copy, ErrorText& error) {
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) {
        log_line("error: couldn't allocate formate contex;\n");
        return kPremuxNoContext;
    }
    if (param.src_url == nullptr ||
        avformat_open_input(&raw, param.src_url, nullptr, nullptr) < 0) {
        if (param.src_url == nullptr) avformat_free_context(raw);
        return kPremuxCannotOpen;
    }
    av::InputContextPtr ctx(raw);
    const std::string input = ts_input_path(ctx.get(), param.src_url);
    ctx.reset();
    if (input.empty()) return kPremuxDone;
    const std::string temp = folder_of(input) + kRemuxFileName;
    // A copy that could not be named in src_url would be made for nothing;
    // the TS file is then read as it is.
    if (temp.size() >= DOR_CONVERTER_SRC_URL_BYTES || platform::same_file(temp, input)) {
        return kPremuxDone;
    }
    copy.remove();
    if (const int rc = remux(input, temp, error)) return rc;
    copy.adopt(temp);
    std::memcpy(param.src_url, temp.c_str(), temp.size() + 1);
    return kPremuxDone;
}

}  // namespace converter
