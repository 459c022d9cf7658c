#include "premux.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "converter_log.h"
#include "ffmpeg_support/handles.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace converter {
namespace {

// The external tool's command line: input, no console output, overwrite,
// copy both streams, turn ADTS-framed AAC into the MP4 form, output.
constexpr const char* kRemuxCommand =
    "ffmpeg -i \"%s\" -v quiet -y -acodec  copy -vcodec copy  -absf  aac_adtstoasc \"%s\"";
constexpr const char* kTsFormatName = "mpegts";

}  // namespace

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind(platform::kPathSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string run_command(const std::string& command_line) {
    if (command_line.size() >= kCommandLineBytes) return kRunFailedText;
    const platform::ProcessResult r = platform::run_command_line(command_line, kRunResultBytes - 1);
    if (!r.started) return kRunFailedText;
    log_line("Run Result \r\n %s\n", r.output.c_str());
    return r.output;
}

int remux_command(const char* input_path, const char* output_path) {
    char command[kCommandLineBytes];
    const int n = std::snprintf(command, sizeof command, kRemuxCommand, input_path, output_path);
    // A command line that does not fit is not run: the remuxed file is then
    // missing and opening it fails with the usual text.
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof command) return 0;
    run_command(command);
    return 0;
}

int premux_ts(ConverterInitParam& param) {
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
    if (std::strcmp(ctx->iformat->name, kTsFormatName) != 0) return kPremuxDone;
    const std::string input = ctx->url != nullptr ? ctx->url : param.src_url;
    const std::string temp = folder_of(input) + kRemuxFileName;
    ctx.reset();
    remux_command(input.c_str(), temp.c_str());
    if (temp.size() < DOR_CONVERTER_SRC_URL_BYTES) {
        std::memcpy(param.src_url, temp.c_str(), temp.size() + 1);
    }
    return kPremuxDone;
}

}  // namespace converter
