// The encoder of an instance: one host frame into one compressed frame.
#pragma once

#include "driver/frame_coder.h"

namespace voxa {

class FrameEncoder final : public FrameCoder {
 public:
  FrameEncoder() = default;
  ~FrameEncoder() override = default;

  bool Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
               const CodecSettings& settings);

  // Codes one frame of a record whose headers the caller has checked: the
  // frame goes to lpOutput, its size to lpbiOutput's biSizeImage, and every
  // frame is a key frame. A fault inside ends it at the caller's guard.
  void CompressFrame(const ICCOMPRESS& record);
};

}  // namespace voxa
