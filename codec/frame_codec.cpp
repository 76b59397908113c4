#include "codec/frame_codec.h"

#include <cstring>

namespace voxa {
namespace {

// The lines of a field the kernels walk: none in a frame without columns,
// whose lines hold no block however many it has.
uint32_t FieldLines(const FrameFormat& f) { return f.width == 0 ? 0 : f.height / 2; }

// A field's first stored line; a field without lines is never read or
// written, and the frame's own start stands in for it.
template <typename Byte>
Byte* FieldLine0(const FrameFormat& f, Byte* stored_line0, std::ptrdiff_t line_step,
                 uint32_t tag) {
  if (FieldLines(f) == 0) return stored_line0;
  return stored_line0 + static_cast<std::ptrdiff_t>(FieldStartLine(f.format, tag)) * line_step;
}

std::size_t EncodeFieldChunk(const FrameFormat& f, const uint8_t* stored_line0,
                             std::ptrdiff_t line_step, uint8_t* chunk, uint32_t tag,
                             const FieldKernels& kernels) {
  const EncodeFieldFn encode =
      f.format == PixelFormat::kRgba32 ? kernels.encode_rgba : kernels.encode_y16a;
  FieldChunkWriter writer = BeginFieldChunk(chunk, tag);
  encode(&writer.out, FieldLine0(f, stored_line0, line_step, tag), f.width, FieldLines(f),
         2 * line_step, &writer.run_word);
  return FinishFieldChunk(writer);
}

bool DecodeFieldChunk(const FrameFormat& f, const Chunk& chunk, uint32_t tag,
                      uint8_t* stored_line0, std::ptrdiff_t line_step,
                      const FieldKernels& kernels) {
  const DecodeFieldFn decode =
      f.format == PixelFormat::kRgba32 ? kernels.decode_rgba : kernels.decode_y16a;
  const uint8_t* in = chunk.payload;
  int32_t pending = 0;
  return decode(FieldLine0(f, stored_line0, line_step, tag), &in,
                chunk.payload + chunk.available, f.width, FieldLines(f), 2 * line_step,
                &pending);
}

std::ptrdiff_t LineBytes(const FrameFormat& f) {
  return static_cast<std::ptrdiff_t>(BytesPerPixel(f.format) * f.width);
}

}  // namespace

std::size_t EncodeFrameLines(const FrameFormat& format, const uint8_t* stored_line0,
                             std::ptrdiff_t line_step, uint8_t* out, const FieldKernels& kernels) {
  std::memcpy(out, kFrameMagic, kFrameMagicBytes);
  std::size_t size = kFrameMagicBytes;
  size += EncodeFieldChunk(format, stored_line0, line_step, out + size, kFirstFieldTag, kernels);
  size += EncodeFieldChunk(format, stored_line0, line_step, out + size, kSecondFieldTag, kernels);
  return size;
}

std::size_t EncodeFrame(const FrameFormat& format, const uint8_t* pixels, uint8_t* out,
                        const FieldKernels& kernels) {
  return EncodeFrameLines(format, pixels, LineBytes(format), out, kernels);
}

DecodeStatus DecodeFrameLines(const FrameFormat& format, const uint8_t* frame, std::size_t size,
                              uint8_t* stored_line0, std::ptrdiff_t line_step,
                              const FieldKernels& kernels) {
  if (!HasFrameMagic(frame, size)) return DecodeStatus::kNotAFrame;
  FieldChunks chunks;
  if (!FindFieldChunks(frame + kFrameMagicBytes, size - kFrameMagicBytes, &chunks)) {
    return DecodeStatus::kNotAFrame;
  }
  const bool first = DecodeFieldChunk(format, chunks.first_field, kFirstFieldTag, stored_line0,
                                      line_step, kernels);
  const bool second = DecodeFieldChunk(format, chunks.second_field, kSecondFieldTag,
                                       stored_line0, line_step, kernels);
  return first && second && !chunks.damaged ? DecodeStatus::kDecoded : DecodeStatus::kDamaged;
}

DecodeStatus DecodeFrame(const FrameFormat& format, const uint8_t* frame, std::size_t size,
                         uint8_t* pixels, const FieldKernels& kernels) {
  return DecodeFrameLines(format, frame, size, pixels, LineBytes(format), kernels);
}

}  // namespace voxa
