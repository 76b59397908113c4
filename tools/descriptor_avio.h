// FFmpeg's output through a descriptor the tool opened itself: FFmpeg never
// opens a file by name for the tool, so it writes exactly the file the run
// made. Seekable when the descriptor is (a regular file, not a FIFO or a
// pipe).
#pragma once

#include <memory>

#include "tools/ffmpeg_support.h"

namespace voxa {

struct AvioDeleter {
  void operator()(AVIOContext* context) const;
};
using AvioPtr = std::unique_ptr<AVIOContext, AvioDeleter>;

// Writes to `fd`, which stays its owner's. Throws std::bad_alloc.
AvioPtr DescriptorAvio(int fd);

}  // namespace voxa
