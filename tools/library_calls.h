// The tool codes frames through libvoxa's C API (include/voxa/voxa.h), as
// any other program would: frames stored as the tool keeps them (BGRA
// bottom line first, Y16A top line first, lines back to back).
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/cpu_class.h"
#include "codec/frame_codec.h"
#include "voxa/voxa.h"

namespace voxa {

inline voxa_kernels LibraryKernels(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::kSse: return VOXA_KERNELS_SSE;
    case KernelVariant::kSse2: return VOXA_KERNELS_SSE2;
    case KernelVariant::kAvx2: return VOXA_KERNELS_AVX2;
    default: return VOXA_KERNELS_PORTABLE;
  }
}

// A frame of the tool's layout as the library's picture.
inline voxa_picture LibraryPicture(const FrameFormat& f, uint8_t* frame) {
  const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(BytesPerPixel(f.format) * f.width);
  if (f.format == PixelFormat::kY16a) return voxa_picture{VOXA_Y16A, f.width, f.height, frame, line};
  const std::ptrdiff_t top = f.height == 0 ? 0 : static_cast<std::ptrdiff_t>(f.height - 1) * line;
  return voxa_picture{VOXA_BGRA, f.width, f.height, frame + top, -line};
}

inline DecodeStatus LibraryDecodeStatus(int status) {
  return status == VOXA_OK ? DecodeStatus::kDecoded
         : status == VOXA_ERROR_DAMAGED ? DecodeStatus::kDamaged
                                        : DecodeStatus::kNotAFrame;
}

}  // namespace voxa
