#include "codec/chroma_borrowing.h"

#include "codec/color_math.h"
#include "codec/simd/decode_common.h"

namespace voxa {
namespace {

// Component of pair k carried by its pixel 2k + side (0: U, 1: V), which is
// transparent.
template <typename T, typename Unpremultiply>
T BorrowedComponent(uint32_t k, uint32_t side, const T* stored, const uint8_t* inverse,
                    const uint8_t* left, std::size_t offset, Unpremultiply unpremultiply) {
  if (k > 0) {
    if (inverse[2 * (k - 1) + side] != kTransparentInverseAlpha) return stored[k - 1];
  } else if (left != nullptr && left[kAlphaOffset + 14 + side] != kTransparentInverseAlpha) {
    return static_cast<T>(unpremultiply(left[offset + 7], left[kAlphaOffset + 14 + side]));
  }
  if (k < 7 && inverse[2 * (k + 1) + side] != kTransparentInverseAlpha) return stored[k + 1];
  return static_cast<T>(kNeutralChroma);
}

// Replaces the missing components in `u` and `v` (the block's pairs, as the
// decoder un-premultiplied them) of the pairs marked in `pairs` (from
// PairsWithTransparentPixels). `left` is the previous block of the line when it
// is literal, else null; `unpremultiply(byte, inverse_alpha)` is the
// decoder's own division of a stored byte by its pixel's alpha.
template <typename T, typename Unpremultiply>
void BorrowChroma(uint32_t pairs, T* u, T* v, const uint8_t* block, const uint8_t* left,
                  Unpremultiply unpremultiply) {
  const uint8_t* inverse = block + kAlphaOffset;
  T stored_u[kBlockPixels / 2], stored_v[kBlockPixels / 2];
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) stored_u[k] = u[k], stored_v[k] = v[k];
  for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
    if ((pairs & (1u << (2 * k))) == 0) continue;
    if (inverse[2 * k] == kTransparentInverseAlpha) {
      u[k] = BorrowedComponent(k, 0, stored_u, inverse, left, kUOffset, unpremultiply);
    }
    if (inverse[2 * k + 1] == kTransparentInverseAlpha) {
      v[k] = BorrowedComponent(k, 1, stored_v, inverse, left, kVOffset, unpremultiply);
    }
  }
}

}  // namespace

void BorrowBgraChroma(uint32_t pairs, uint32_t* u, uint32_t* v, const uint8_t* block,
                      const uint8_t* left) {
  BorrowChroma(pairs, u, v, block, left, [](uint8_t stored, uint8_t inverse_alpha) {
    return DivideByAlpha(stored * 255u, 255u - inverse_alpha);
  });
}

void BorrowY16aChroma(uint32_t pairs, uint8_t* u, uint8_t* v, const uint8_t* block,
                      const uint8_t* left) {
  BorrowChroma(pairs, u, v, block, left, [](uint8_t stored, uint8_t inverse_alpha) {
    const uint32_t q = DivideByAlpha(stored * 256u, 255u - inverse_alpha);
    return static_cast<uint8_t>(q > 255 ? 255 : q);
  });
}

void BorrowVectorChroma(uint32_t pairs, uint16_t* u, uint16_t* v, const uint8_t* block,
                        const uint8_t* left) {
  BorrowChroma(pairs, u, v, block, left, VectorUnpremultiply);
}

}  // namespace voxa
