// The commands on whole video files: encode, decode and info. The command
// line (tools/cli.cpp) parses their options; the work is done by an
// implementation on FFmpeg's libraries (tools/ffmpeg_commands.h), which only
// the Linux build of the tool has; without it these commands say they are
// not available.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "tools/frame_geometry.h"
#include "tools/interrupt.h"
#include "voxa/voxa.h"

namespace voxa {

// Bad input, or output that cannot be written: the tool prints the message
// and exits with status 1.
struct VideoError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Frames a second, as a fraction.
struct FrameRate {
  int num;
  int den;
};

// What encode and decode share.
struct CodingOptions {
  std::string input;
  std::string output;
  voxa_kernels kernels = VOXA_KERNELS_PORTABLE;
  unsigned threads = 1;
  bool overwrite = false;
  bool quiet = false;
  bool keep_partial = false;  // after an error, keep the frames written
};

struct EncodeOptions : CodingOptions {
  std::optional<PictureSize> raw_size;  // INPUT is raw BGRA frames of this size
  bool bottom_up = false;               // raw frames stored bottom line first
  std::optional<FrameRate> rate;        // instead of the input's
  bool fill_gaps = false;               // a PNG sequence's missing numbers repeat a picture
  bool pad = false;
};

enum class OutputFormat { kPng, kProres, kQtrle, kBgra, kY16a };

struct DecodeOptions : CodingOptions {
  OutputFormat format = OutputFormat::kPng;
  bool bottom_up = false;   // raw BGRA frames written bottom line first
  bool keep_going = false;  // damaged frames show the last good picture
};

struct InfoOptions {
  std::string input;
  bool per_frame = false;
};

class VideoCommands {
 public:
  virtual ~VideoCommands() = default;
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
