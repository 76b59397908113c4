// The coder objects a begin message builds inside an instance: a
// FrameEncoder or a FrameDecoder. Both are prepared from the uncompressed
// header and the instance's settings at begin; nothing is allocated per
// frame. Frames are coded by the codec core's frame functions through the
// process-wide kernel slots, straight between the host's buffers.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "config/codec_settings.h"
#include "driver/private_heap.h"

namespace voxa {

// What the two coders share: the settings they were prepared with and, when
// the field-order flag is 1, a scratch frame that nothing reads or writes.
class FrameCoder : public HeapObject {
 public:
  FrameCoder(const FrameCoder&) = delete;
  FrameCoder& operator=(const FrameCoder&) = delete;

  // False until a Prepare succeeded; a coder that is not prepared is not used.
  bool prepared() const { return prepared_; }

  // Drops the scratch frame.
  void Release();

 protected:
  FrameCoder() = default;
  virtual ~FrameCoder();

  // Copies the settings and, when the field-order flag is 1, allocates a
  // scratch frame the size of the uncompressed frame (the header's width and
  // height at `bit_count` bits a pixel).
  bool PrepareFor(const BITMAPINFOHEADER& frame, WORD bit_count, const CodecSettings& settings);

 private:
  void* scratch_frame_ = nullptr;
  CodecSettings settings_;
  bool prepared_ = false;
};

}  // namespace voxa
