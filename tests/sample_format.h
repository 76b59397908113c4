// The sample pictures (support/sample_frames.h) speak libvoxa's names of the
// pixel formats; the codec's tests speak the codec's.
#pragma once

#include "codec/frame_container.h"
#include "voxa/voxa.h"

namespace voxa {

inline voxa_pixel_format SampleFormat(PixelFormat format) {
  return format == PixelFormat::kY16a ? VOXA_Y16A : VOXA_BGRA;
}

}  // namespace voxa
