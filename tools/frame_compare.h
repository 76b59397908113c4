// How close a decoded frame is to its source: PSNR of the alpha-weighted
// colour (what a viewer sees over black) and of alpha.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/frame_container.h"

namespace voxa {

struct FrameDifference {
  double colour_psnr;  // dB; infinity when identical
  double alpha_psnr;
  int max_colour_difference;
  int max_alpha_difference;
};

// Both frames hold RawFrameBytes(format, width, height) bytes.
FrameDifference CompareFrames(PixelFormat format, uint32_t width, uint32_t height,
                              const std::vector<uint8_t>& reference,
                              const std::vector<uint8_t>& decoded);

}  // namespace voxa
