// The pre-remux of MPEG-TS recordings: before the converter opens its input,
// the external ffmpeg program copies the TS streams into "temp.mp4" in the
// same folder, and the conversion works on that file.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "SphereVideoConverter.h"
#include "converter_log.h"
#include "platform/process.h"

namespace converter {

// Results of premux_ts.
constexpr int kPremuxDone = 0;          // remuxed, or nothing to remux
constexpr int kPremuxNoContext = 310;   // no container context could be allocated
constexpr int kPremuxCannotOpen = 317;  // the input could not be opened
constexpr int kPremuxFailed = DOR_CONVERTER_ERROR_FAILURE;  // the tool failed; text written

// Name of the remuxed copy, beside the TS file.
constexpr const char* kRemuxFileName = "temp.mp4";
// The program that remuxes, found beside the program or on the search path.
constexpr const char* kRemuxProgram = "ffmpeg";
// What the runner keeps of the program's output, and its text when the
// program cannot be started.
constexpr std::size_t kRunResultBytes = 1024;
constexpr const char* kRunFailedText = "faild!";

// The remuxed copy one converter made. It is removed when the object goes
// (or by remove()), unless the file at its path is no longer the one the
// remux wrote: a caller that delivers the copy may move it away first.
class RemuxedCopy {
public:
    RemuxedCopy() = default;
    ~RemuxedCopy() { remove(); }
    RemuxedCopy(const RemuxedCopy&) = delete;
    RemuxedCopy& operator=(const RemuxedCopy&) = delete;

    // Takes charge of the file at `path` as it is now.
    void adopt(const std::string& path);
    void remove();

private:
    std::string path_;  // empty: nothing to remove
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// When param.src_url is an MPEG-TS file: has ffmpeg copy its streams into
// "<folder of src_url>/temp.mp4", which `copy` then owns, and puts that path
// into src_url. An earlier file of that name is replaced; when the tool
// fails, nothing of that name is left and the failure is written into
// `error` (kPremuxFailed). src_url is left alone, and nothing remuxed, when
// the path would not fit its DOR_CONVERTER_SRC_URL_BYTES buffer or names the
// recording itself.
int premux_ts(ConverterInitParam& param, RemuxedCopy& copy, ErrorText& error);

// The folder part of a path, with its trailing separator ("" without one).
std::string folder_of(const std::string& path);

// The remux tool's arguments, input -> output.
std::vector<std::string> remux_arguments(const std::string& input_path,
                                         const std::string& output_path);

// Runs a program (args[0]) with these arguments and waits for it; its output
// is kept up to kRunResultBytes - 1 bytes and logged, and reads
// kRunFailedText when it could not be started.
platform::ProcessResult run_tool(const std::vector<std::string>& args);

}  // namespace converter
