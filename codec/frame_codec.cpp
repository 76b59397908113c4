#include "codec/frame_codec.h"

#include <cstring>

namespace voxa {
namespace {

std::size_t EncodeFieldChunk(const FrameFormat& f, const uint8_t* pixels, uint8_t* chunk,
                             uint32_t tag, const FieldKernels& kernels) {
  const FieldGeometry g = GetFieldGeometry(f.format, f.width, f.height, tag);
  const EncodeFieldFn encode =
      f.format == PixelFormat::kRgba32 ? kernels.encode_rgba : kernels.encode_y16a;
  FieldChunkWriter writer = BeginFieldChunk(chunk, tag);
  encode(&writer.out, FieldStart(pixels, g), g.width, g.lines, g.step, &writer.run_word);
  return FinishFieldChunk(writer);
}

bool DecodeFieldChunk(const FrameFormat& f, const Chunk& chunk, uint32_t tag, uint8_t* pixels,
                      const FieldKernels& kernels) {
  const FieldGeometry g = GetFieldGeometry(f.format, f.width, f.height, tag);
  const DecodeFieldFn decode =
      f.format == PixelFormat::kRgba32 ? kernels.decode_rgba : kernels.decode_y16a;
  const uint8_t* in = chunk.payload;
  int32_t pending = 0;
  return decode(FieldStart(pixels, g), &in, chunk.payload + chunk.available, g.width,
                g.lines, g.step, &pending);
}

}  // namespace

std::size_t EncodeFrame(const FrameFormat& format, const uint8_t* pixels, uint8_t* out,
                        const FieldKernels& kernels) {
  std::memcpy(out, kFrameMagic, kFrameMagicBytes);
  std::size_t size = kFrameMagicBytes;
  size += EncodeFieldChunk(format, pixels, out + size, kFirstFieldTag, kernels);
  size += EncodeFieldChunk(format, pixels, out + size, kSecondFieldTag, kernels);
  return size;
}

DecodeStatus DecodeFrame(const FrameFormat& format, const uint8_t* frame, std::size_t size,
                         uint8_t* pixels, const FieldKernels& kernels) {
  if (!HasFrameMagic(frame, size)) return DecodeStatus::kNotAFrame;
  FieldChunks chunks;
  if (!FindFieldChunks(frame + kFrameMagicBytes, size - kFrameMagicBytes, &chunks)) {
    return DecodeStatus::kNotAFrame;
  }
  const bool first =
      DecodeFieldChunk(format, chunks.first_field, kFirstFieldTag, pixels, kernels);
  const bool second =
      DecodeFieldChunk(format, chunks.second_field, kSecondFieldTag, pixels, kernels);
  return first && second && !chunks.damaged ? DecodeStatus::kDecoded : DecodeStatus::kDamaged;
}

}  // namespace voxa
