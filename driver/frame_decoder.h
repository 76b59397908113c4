// The decoder of an instance: one compressed frame into one host picture.
#pragma once

#include "driver/frame_coder.h"

namespace voxa {

enum class DecompressResult {
  kDecoded,  // both fields in full
  kNotOurs,  // no frame of this codec: nothing written
  kDamaged,  // decoded as far as the frame's bytes allow
};

class FrameDecoder final : public FrameCoder {
 public:
  FrameDecoder() = default;
  ~FrameDecoder() override = default;

  bool Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
               const CodecSettings& settings);

  // Decodes one frame of a record whose headers the caller has checked. A
  // fault inside ends it at the caller's guard.
  DecompressResult DecompressFrame(const ICDECOMPRESS& record);
};

}  // namespace voxa
