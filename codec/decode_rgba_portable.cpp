// Portable decoder from a field payload to 32-bit BGRA (straight alpha,
// bottom-up).
#include "codec/field_kernels.h"

#include <cstring>

#include "codec/color_math.h"
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

void DecodeLiteralBlock(const uint8_t* in, uint8_t* px) {
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k, px += 2 * kPixelBytes) {
    const uint32_t a0 = 255u - in[kAlphaOffset + 2 * k];
    const uint32_t a1 = 255u - in[kAlphaOffset + 2 * k + 1];
    // A pair shares its chroma, and one pixel of alpha 0 leaves nothing to
    // divide by: the whole pair becomes transparent black.
    if (a0 == 0 || a1 == 0) {
      std::memset(px, 0, 2 * kPixelBytes);
      continue;
    }
    const uint32_t u = DivideByAlpha(in[kUOffset + k] * 255u, a0);
    const uint32_t v = DivideByAlpha(in[kVOffset + k] * 255u, a1);
    StorePixel(px, DivideByAlpha(in[kLumaOffset + 2 * k] * 255u, a0), u, v, a0);
    StorePixel(px + kPixelBytes, DivideByAlpha(in[kLumaOffset + 2 * k + 1] * 255u, a1), u, v,
               a1);
  }
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 4 bytes.
bool DecodeRgbaField_portable(uint8_t* destination, const uint8_t** in,
                              const uint8_t* in_end, uint32_t width, uint32_t lines,
                              std::ptrdiff_t step, int32_t* pending) {
  if (lines == 0) return true;
  const uint32_t blocks = width / kBlockPixels;
  RunReader runs(*in, in_end, *pending);
  bool complete = true;
  for (uint32_t l = 0; l < lines && complete; ++l) {
    // The field's top line is the one at the highest address.
    uint8_t* px = destination + static_cast<std::ptrdiff_t>(lines - 1 - l) * step;
    for (uint32_t b = 0; b < blocks; ++b, px += kBlockBytes) {
      const RunReader::Block kind = runs.Next();
      if (kind == RunReader::Block::kExhausted) {
        complete = false;
        break;
      }
      if (kind == RunReader::Block::kTransparent) {
        std::memset(px, 0, kBlockBytes);
      } else if (kind == RunReader::Block::kLiteral) {
        DecodeLiteralBlock(runs.literal(), px);
      }
    }
  }
  runs.Finish(in, pending);
  return complete;
}

}  // namespace voxa
