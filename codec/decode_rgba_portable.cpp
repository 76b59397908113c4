// Portable decoder from a field payload to 32-bit BGRA (straight alpha,
// bottom-up).
#include "codec/field_kernels.h"

#include <cstring>

#include "codec/chroma_borrowing.h"
#include "codec/color_math.h"
#include "codec/decode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

constexpr std::size_t kPixelBytes = 4;
constexpr std::size_t kBlockBytes = kBlockPixels * kPixelBytes;

void StorePixel(uint8_t* px, uint32_t y, uint32_t u, uint32_t v, uint32_t alpha) {
  px[0] = YuvToBlue(y, u);
  px[1] = YuvToGreen(y, u, v);
  px[2] = YuvToRed(y, v);
  px[3] = static_cast<uint8_t>(alpha);
}

// A block without transparent pixels (most of a picture's visible part):
// each pair's chroma divided once and used for both pixels.
void DecodeVisibleBlock(const uint8_t* in, uint8_t* px) {
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k, px += 2 * kPixelBytes) {
    const uint32_t a0 = 255u - in[kAlphaOffset + 2 * k];
    const uint32_t a1 = 255u - in[kAlphaOffset + 2 * k + 1];
    const uint32_t u = DivideByAlpha(in[kUOffset + k] * 255u, a0);
    const uint32_t v = DivideByAlpha(in[kVOffset + k] * 255u, a1);
    StorePixel(px, DivideByAlpha(in[kLumaOffset + 2 * k] * 255u, a0), u, v, a0);
    StorePixel(px + kPixelBytes, DivideByAlpha(in[kLumaOffset + 2 * k + 1] * 255u, a1), u, v,
               a1);
  }
}

// `left` is the previous block of the line when it is literal, else null.
void DecodeLiteralBlock(const uint8_t* in, const uint8_t* left, uint8_t* px) {
  if (!HasTransparentPixel(in)) {
    DecodeVisibleBlock(in, px);
    return;
  }
  uint32_t u[kBlockPixels / 2], v[kBlockPixels / 2];
  uint32_t transparent = 0;
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
    const uint32_t a0 = 255u - in[kAlphaOffset + 2 * k], a1 = 255u - in[kAlphaOffset + 2 * k + 1];
    transparent |= uint32_t{a0 == 0} << (2 * k) | uint32_t{a1 == 0} << (2 * k + 1);
    u[k] = a0 == 0 ? 0 : DivideByAlpha(in[kUOffset + k] * 255u, a0);
    v[k] = a1 == 0 ? 0 : DivideByAlpha(in[kVOffset + k] * 255u, a1);
  }
  // What a transparent pixel could not carry comes from the pairs beside it;
  // the transparent pixel itself is four zero bytes.
  BorrowBgraChroma(PairsWithTransparentPixels(transparent), u, v, in, left);
  for (uint32_t i = 0; i < kBlockPixels; ++i, px += kPixelBytes) {
    const uint32_t alpha = 255u - in[kAlphaOffset + i];
    if (alpha == 0) {
      std::memset(px, 0, kPixelBytes);
    } else {
      StorePixel(px, DivideByAlpha(in[kLumaOffset + i] * 255u, alpha), u[i / 2], v[i / 2], alpha);
    }
  }
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 4 bytes.
bool DecodeRgbaField_portable(uint8_t* destination, const uint8_t** in,
                              const uint8_t* in_end, uint32_t width, uint32_t lines,
                              std::ptrdiff_t step, int32_t* pending) {
  // The field's top line is the one at the highest address.
  uint8_t* const top = destination + static_cast<std::ptrdiff_t>(lines == 0 ? 0 : lines - 1) * step;
  return WalkField<kBlockBytes>(
      top, -step, width, lines, in, in_end, pending,
      [](uint8_t* px, uint32_t n) { std::memset(px, 0, std::size_t{n} * kBlockBytes); },
      [](uint8_t* px, const uint8_t* block, const uint8_t* left) {
        DecodeLiteralBlock(block, left, px);
      });
}

}  // namespace voxa
