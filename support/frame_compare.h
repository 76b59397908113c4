// How close a decoded frame is to its source: PSNR of the alpha-weighted
// colour (what a viewer sees over black) and of alpha. What the tool's
// compare command reports, and what the host test program measures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "voxa/voxa.h"

namespace voxa {

struct FrameDifference {
  double colour_psnr;  // dB; infinity when identical
  double alpha_psnr;
  int max_colour_difference;
  int max_alpha_difference;
  // Pixels of alpha 2 or more that decoded to alpha 0 (alpha 1 alone is
  // transparent to the codec: a block of alphas 0 and 1 is stored as such).
  uint64_t visible_lost;
  uint64_t far_off;       // pixels with a premultiplied value off by more than kFarOff
};

// The lowest alpha a coded block keeps visible: blocks of alpha 0 and 1
// only are coded as transparent.
constexpr uint8_t kVisibleAlpha = 2;

// What counts as a visibly wrong pixel: a premultiplied channel (what a
// viewer sees over black) off by more than this.
constexpr double kFarOff = 48;

// Both frames hold a raw frame of the format and size, lines back to back.
FrameDifference CompareFrames(voxa_pixel_format format, uint32_t width, uint32_t height,
                              const std::vector<uint8_t>& reference,
                              const std::vector<uint8_t>& decoded);

}  // namespace voxa
