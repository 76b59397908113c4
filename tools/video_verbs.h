// The verbs on whole video files: encode, decode and info. The command line
// (tools/cli.cpp) parses them; the work is done by an implementation built
// on FFmpeg's libraries (tools/video_files.h), which only the native build
// of the tool has; without it these verbs say they are not available.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "codec/cpu_class.h"
#include "tools/frame_geometry.h"

namespace voxa {

// Bad input, or output that cannot be written: the tool prints the message
// and exits with status 1.
struct VideoError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Ctrl-C (or a termination request) stopped the run: exit status 130.
struct Interrupted : std::runtime_error {
  Interrupted() : std::runtime_error("interrupted") {}
};

// Frames a second, as a fraction.
struct FrameRate {
  int num;
  int den;
};

struct EncodeOptions {
  std::string input;
  std::string output;
  KernelVariant kernels = KernelVariant::kPortable;
  unsigned threads = 1;
  std::optional<PictureSize> raw_size;  // INPUT is raw BGRA frames of this size
  bool top_down = false;                // raw frames stored top line first
  std::optional<FrameRate> rate;        // instead of the input's
  bool fill_gaps = false;               // a PNG sequence's missing numbers repeat a picture
  bool pad = false;
  bool overwrite = false;
  bool quiet = false;
  bool keep_partial = false;
};

enum class OutputFormat { kPng, kProres, kQtrle, kBgra, kY16a };

struct DecodeOptions {
  std::string input;
  std::string output;
  KernelVariant kernels = KernelVariant::kPortable;
  unsigned threads = 1;
  OutputFormat format = OutputFormat::kPng;
  bool keep_going = false;  // damaged frames show the last good picture
  bool overwrite = false;
  bool quiet = false;
  bool keep_partial = false;
};

struct InfoOptions {
  std::string input;
  bool per_frame = false;
};

class VideoVerbs {
 public:
  virtual ~VideoVerbs() = default;
  // Each returns the exit status or throws VideoError, OutputRefused or
  // Interrupted. Standard output carries only data (frames written to "-"
  // and the report of Info); the progress bar, summaries and warnings go to
  // `err`.
  virtual int Encode(const EncodeOptions& options, std::ostream& err) = 0;
  virtual int Decode(const DecodeOptions& options, std::ostream& err) = 0;
  virtual int Info(const InfoOptions& options, std::ostream& out) = 0;
  // The FFmpeg libraries' versions, one line.
  virtual std::string LibraryVersions() = 0;
};

}  // namespace voxa
