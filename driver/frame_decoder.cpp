// FrameDecoder: the two field chunks of a "QTZ1" frame into an uncompressed
// frame.
#include <cstdint>

#include "codec/frame_container.h"
#include "driver/format_negotiation.h"
#include "driver/frame_coders.h"

namespace voxa {
namespace {

// Frames are at most this large: the size bound of the compress side fits in
// a 32-bit signed integer.
constexpr DWORD kLargestFrameBytes = INT32_MAX;

bool DecodeField(const ColorKernels& kernels, const Chunk& chunk, const ICDECOMPRESS& record,
                 uint32_t tag) {
  const BITMAPINFOHEADER& out = *record.lpbiOutput;
  const PixelFormat format = RawPixelFormat(out);
  const FieldLines field = FieldLinesOf(out, record.lpOutput, tag);
  auto* pixels = const_cast<uint8_t*>(field.first);  // the host's output buffer
  // The decoder reads as much of the chunk as the field needs, and no more
  // than the chunk holds inside the frame.
  const uint8_t* in = chunk.payload;
  const uint8_t* end = chunk.payload + chunk.available;
  int32_t pending = 0;
  return format == PixelFormat::kRgba32
             ? kernels.DecodeRgbaField(pixels, &in, end, field.width, field.lines, field.step,
                                       &pending)
             : kernels.DecodeY16aField(pixels, &in, end, field.width, field.lines, field.step,
                                       &pending);
}

}  // namespace

DecompressResult FrameDecoder::DecompressFrame(const ICDECOMPRESS& record) {
  // Hosts send zero-length frames for dropped frames: not ours, nothing done.
  const DWORD size = record.lpbiInput->biSizeImage;
  if (size <= kFrameMagicBytes || size > kLargestFrameBytes) return DecompressResult::kNotOurs;
  const auto* frame = static_cast<const uint8_t*>(record.lpInput);
  if (!HasFrameMagic(frame, size)) return DecompressResult::kNotOurs;
  FieldChunks chunks;
  if (!FindFieldChunks(frame + kFrameMagicBytes, size - kFrameMagicBytes, &chunks)) {
    return DecompressResult::kNotOurs;
  }
  const bool first = DecodeField(*kernels_, chunks.first_field, record, kFirstFieldTag);
  const bool second = DecodeField(*kernels_, chunks.second_field, record, kSecondFieldTag);
  return first && second && !chunks.damaged ? DecompressResult::kDecoded
                                            : DecompressResult::kDamaged;
}

}  // namespace voxa
