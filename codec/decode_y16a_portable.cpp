// Portable decoder from a field payload to Y16A (top-down, 48-byte blocks).
#include "codec/field_kernels.h"

#include <cstring>

#include "codec/chroma_borrowing.h"
#include "codec/color_math.h"
#include "codec/decode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 48;
constexpr uint8_t kBlackLuma = 16;

void WriteTransparentBlock(uint8_t* block) {
  std::memset(block + kLumaOffset, kBlackLuma, kBlockPixels);
  std::memset(block + kAlphaOffset, 0, kBlockPixels);
  std::memset(block + kUOffset, kNeutralChroma, kBlockPixels);
}

// value × 256 / alpha, rounded down and limited to 255; 0 where alpha is 0.
uint8_t Unpremultiply(uint32_t value, uint32_t alpha) {
  if (alpha == 0) return 0;
  const uint32_t q = DivideByAlpha(value * 256u, alpha);
  return static_cast<uint8_t>(q > 255 ? 255 : q);
}

// `left` is the previous block of the line when it is literal, else null.
void DecodeLiteralBlock(const uint8_t* in, const uint8_t* left, uint8_t* out) {
  uint32_t transparent = 0;
  for (uint32_t i = 0; i < kBlockPixels; ++i) {
    const uint32_t alpha = 255u - in[kAlphaOffset + i];
    transparent |= uint32_t{alpha == 0} << i;
    out[kLumaOffset + i] = Unpremultiply(in[kLumaOffset + i], alpha);
    out[kAlphaOffset + i] = static_cast<uint8_t>(alpha);
  }
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
    out[kUOffset + k] = Unpremultiply(in[kUOffset + k], 255u - in[kAlphaOffset + 2 * k]);
    out[kVOffset + k] = Unpremultiply(in[kVOffset + k], 255u - in[kAlphaOffset + 2 * k + 1]);
  }
  // What a transparent pixel could not carry comes from the pairs beside it.
  if (transparent != 0) {
    BorrowY16aChroma(PairsWithTransparentPixels(transparent), out + kUOffset, out + kVOffset, in,
                     left);
  }
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 3 bytes.
bool DecodeY16aField_portable(uint8_t* destination, const uint8_t** in,
                              const uint8_t* in_end, uint32_t width, uint32_t lines,
                              std::ptrdiff_t step, int32_t* pending) {
  return WalkField<kBlockBytes>(
      destination, step, width, lines, in, in_end, pending,
      [](uint8_t* block, uint32_t n) {
        for (; n != 0; --n, block += kBlockBytes) WriteTransparentBlock(block);
      },
      [](uint8_t* out, const uint8_t* block, const uint8_t* left) {
        DecodeLiteralBlock(block, left, out);
      });
}

}  // namespace voxa
