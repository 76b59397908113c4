// Portable encoder from Y16A (top-down, 48-byte blocks) to a field payload.
#include "codec/field_kernels.h"

#include "codec/encode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 48;

bool HasVisibleAlpha(const uint8_t* block) {
  uint8_t max_alpha = 0;
  for (uint32_t i = 0; i < kBlockPixels; ++i) {
    const uint8_t a = block[kAlphaOffset + i];
    if (a > max_alpha) max_alpha = a;
  }
  return max_alpha >= kLiteralAlphaThreshold;
}

// Premultiplication on this path scales by alpha / 256, rounding down.
uint8_t Premultiply(uint32_t value, uint32_t alpha) {
  return static_cast<uint8_t>((value * alpha) >> 8);
}

void EncodeLiteralBlock(const uint8_t* s, uint8_t* out) {
  for (uint32_t i = 0; i < kBlockPixels; ++i) {
    out[kLumaOffset + i] = Premultiply(s[kLumaOffset + i], s[kAlphaOffset + i]);
    out[kAlphaOffset + i] = static_cast<uint8_t>(255 - s[kAlphaOffset + i]);
  }
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
    out[kUOffset + k] = Premultiply(s[kUOffset + k], s[kAlphaOffset + 2 * k]);
    out[kVOffset + k] = Premultiply(s[kVOffset + k], s[kAlphaOffset + 2 * k + 1]);
  }
}

}  // namespace

// Preconditions: width a multiple of 16; the output area holds 4 + 48 bytes
// per block; `step` is twice the frame's line length (width × 3).
void EncodeY16aField_portable(uint8_t** out, const uint8_t* source, uint32_t width,
                              uint32_t lines, std::ptrdiff_t step, uint8_t** run_word) {
  WalkField(out, source, width, lines, step, run_word, LineOrder::kTopDown, kBlockBytes,
            [](const uint8_t* block, RunWriter& runs) {
              if (HasVisibleAlpha(block)) {
                EncodeLiteralBlock(block, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
}

}  // namespace voxa
