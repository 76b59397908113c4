// Portable encoder from 32-bit BGRA (straight alpha, bottom-up) to a field
// payload.
#include "codec/field_kernels.h"

#include "codec/color_math.h"
#include "codec/encode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

constexpr std::size_t kPixelBytes = 4;
constexpr std::size_t kBlockBytes = kBlockPixels * kPixelBytes;

// A transparent block costs only these 16 reads.
bool HasVisibleAlpha(const uint8_t* px) {
  uint8_t max_alpha = 0;
  for (uint32_t i = 0; i < kBlockPixels; ++i) {
    const uint8_t a = px[i * kPixelBytes + 3];
    if (a > max_alpha) max_alpha = a;
  }
  return max_alpha >= kLiteralAlphaThreshold;
}

void EncodeLiteralBlock(const uint8_t* px, uint8_t* out) {
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
    const uint8_t* left = px + 2 * k * kPixelBytes;
    const uint8_t* right = left + kPixelBytes;
    const int32_t b0 = left[0], g0 = left[1], r0 = left[2];
    const int32_t b1 = right[0], g1 = right[1], r1 = right[2];
    const uint32_t a0 = left[3], a1 = right[3];

    out[kLumaOffset + 2 * k] = PremultiplyBy255(RgbToLuma(b0, g0, r0), a0);
    out[kLumaOffset + 2 * k + 1] = PremultiplyBy255(RgbToLuma(b1, g1, r1), a1);
    out[kAlphaOffset + 2 * k] = static_cast<uint8_t>(255 - a0);
    out[kAlphaOffset + 2 * k + 1] = static_cast<uint8_t>(255 - a1);

    const int32_t sb = b0 + b1, sg = g0 + g1, sr = r0 + r1;
    out[kUOffset + k] = PremultiplyBy255(PairSumsToU(sb, sg, sr), a0);
    out[kVOffset + k] = PremultiplyBy255(PairSumsToV(sb, sg, sr), a1);
  }
}

}  // namespace

// Preconditions: width a multiple of 16 (pixels past the last whole block are
// not coded); the output area holds 4 + 48 bytes per block; `step` is twice
// the frame's line length.
void EncodeRgbaField_portable(uint8_t** out, const uint8_t* source, uint32_t width,
                              uint32_t lines, std::ptrdiff_t step, uint8_t** run_word) {
  // The field's top line is the one at the highest address.
  WalkField(out, source, width, lines, step, run_word, LineOrder::kBottomUp, kBlockBytes,
            [](const uint8_t* px, RunWriter& runs) {
              if (HasVisibleAlpha(px)) {
                EncodeLiteralBlock(px, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
}

}  // namespace voxa
