// The coder objects a begin message builds inside an instance: a
// FrameEncoder or a FrameDecoder. Both are prepared from the uncompressed
// header and the instance's settings at begin; nothing is allocated per frame.
#pragma once

#include <windows.h>

#include <vfw.h>

#include <cstddef>
#include <cstdint>

#include "codec/color_kernels.h"
#include "config/codec_settings.h"
#include "driver/private_heap.h"

namespace voxa {

// One field of a raw frame in a host's buffer: its first stored line, the
// step from one of its lines to the next (negative for a top-down BGRA
// bitmap), its width and line count. A field without lines is never read or
// written, and the buffer's own start stands in for its first line.
struct FieldLines {
  const uint8_t* first;
  std::ptrdiff_t step;
  uint32_t width;
  uint32_t lines;
};
FieldLines FieldLinesOf(const BITMAPINFOHEADER& raw, const void* pixels, uint32_t tag);

// The field operations, allocated from the private heap like every object of
// the library.
class DriverColorKernels final : public ColorKernels, public HeapObject {};

// What the two coders share.
class FrameCoder : public HeapObject {
 public:
  FrameCoder(const FrameCoder&) = delete;
  FrameCoder& operator=(const FrameCoder&) = delete;

  // False until a Prepare succeeded; a coder that is not prepared is not used.
  bool prepared() const { return prepared_; }

  // Drops the kernels and the scratch frame, swallowing any fault.
  void Release();

 protected:
  FrameCoder() = default;
  virtual ~FrameCoder();

  // Copies the settings, allocates the kernels and, when the field-order
  // flag is 1, a scratch frame the size of the uncompressed frame (the
  // header's width and height at `bit_count` bits a pixel) that nothing
  // reads or writes.
  bool PrepareFor(const BITMAPINFOHEADER& frame, WORD bit_count, const CodecSettings& settings);

  ColorKernels* kernels_ = nullptr;
  void* scratch_frame_ = nullptr;
  CodecSettings settings_;
  bool prepared_ = false;
};

class FrameEncoder final : public FrameCoder {
 public:
  FrameEncoder() = default;
  ~FrameEncoder() override = default;

  bool Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
               const CodecSettings& settings);

  // Codes one frame of a record whose headers the caller has checked; false
  // when a fault ended a field.
  bool CompressFrame(const ICCOMPRESS& record);

 private:
  // Writes one chunk at `chunk`; its size, header included, goes to `size`.
  bool EncodeField(uint8_t* chunk, const ICCOMPRESS& record, uint32_t tag, std::size_t* size);
};

enum class DecompressResult { kDecoded, kNotOurs, kDamaged };

class FrameDecoder final : public FrameCoder {
 public:
  FrameDecoder() = default;
  ~FrameDecoder() override = default;

  bool Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
               const CodecSettings& settings);

  // Decodes one frame of a record whose headers the caller has checked.
  DecompressResult DecompressFrame(const ICDECOMPRESS& record);
};

}  // namespace voxa
