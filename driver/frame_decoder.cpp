#include "driver/frame_decoder.h"

#include <cstdint>

#include "codec/frame_codec.h"
#include "codec/kernel_slots.h"
#include "driver/format_negotiation.h"

namespace voxa {
namespace {

constexpr WORD kLargestPixelBits = 32;
// Frames are at most this large: the size bound of the compress side fits in
// a 32-bit signed integer.
constexpr DWORD kLargestFrameBytes = INT32_MAX;

}  // namespace

bool FrameDecoder::Prepare(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
                           const CodecSettings& settings) {
  // A host may begin without naming the output: the frame's size is the
  // input's, and its pixels are at most 32 bits.
  if (output == nullptr) return PrepareFor(*input, kLargestPixelBits, settings);
  return PrepareFor(*output, output->biBitCount, settings);
}

DecompressResult FrameDecoder::DecompressFrame(const ICDECOMPRESS& record) {
  const DWORD size = record.lpbiInput->biSizeImage;
  if (size > kLargestFrameBytes) return DecompressResult::kNotOurs;
  const BITMAPINFOHEADER& out = *record.lpbiOutput;
  const RawLines stored = StoredLineLayout(out);
  const FrameFormat format{RawPixelFormat(out), static_cast<uint32_t>(out.biWidth),
                           FrameHeight(out)};
  switch (DecodeFrameLines(format, static_cast<const uint8_t*>(record.lpInput), size,
                           static_cast<uint8_t*>(record.lpOutput) + stored.first, stored.step,
                           SlotKernels())) {
    case DecodeStatus::kDecoded: return DecompressResult::kDecoded;
    case DecodeStatus::kNotAFrame: return DecompressResult::kNotOurs;
    case DecodeStatus::kDamaged: break;
  }
  return DecompressResult::kDamaged;
}

}  // namespace voxa
