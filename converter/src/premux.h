// The pre-remux of MPEG-TS recordings: before the converter opens its input,
// the external ffmpeg program copies the TS streams into "temp.mp4" in the
// same folder, and the conversion works on that file.
#pragma once

#include <string>

#include "SphereVideoConverter.h"

namespace converter {

// Results of premux_ts.
constexpr int kPremuxDone = 0;          // remuxed, or not a TS file
constexpr int kPremuxNoContext = 310;   // no container context could be allocated
constexpr int kPremuxCannotOpen = 317;  // the input could not be opened

// Name of the remuxed copy, beside the TS file.
constexpr const char* kRemuxFileName = "temp.mp4";
// The command buffer of the runner (the longest command line is one less).
constexpr std::size_t kCommandLineBytes = 1024;
// What the runner keeps of the program's output, and its text when the
// program cannot be started.
constexpr std::size_t kRunResultBytes = 1024;
constexpr const char* kRunFailedText = "faild!";

// When param.src_url is an MPEG-TS file: runs the remux command into
// "<folder of src_url>/temp.mp4" (overwriting it) and puts that path into
// src_url. The tool's success is not checked: a failed remux shows when the
// input is opened. src_url is left alone when the path would not fit its
// DOR_CONVERTER_SRC_URL_BYTES buffer.
int premux_ts(ConverterInitParam& param);

// The folder part of a path, with its trailing separator ("" without one).
std::string folder_of(const std::string& path);

// Formats the remux command line for input -> output and runs it. Always 0.
int remux_command(const char* input_path, const char* output_path);

// Runs a command line (at most kCommandLineBytes - 1 characters) and waits
// for it; returns what it printed (at most kRunResultBytes - 1 bytes), or
// kRunFailedText when it could not be started.
std::string run_command(const std::string& command_line);

}  // namespace converter
