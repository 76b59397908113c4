// The chroma a transparent pixel could not carry.
//
// A pair of pixels stores one U, premultiplied by its left pixel's alpha,
// and one V, premultiplied by its right pixel's. When a pixel is
// transparent, the component it carries is 0 and says nothing of the
// picture: for a visible partner it would be a false colour, and the vector
// decoders, which interpolate chroma between pairs, would draw that colour
// into the neighbouring pixels too. Every decoder takes such a component
// from the adjacent pair on the left in the same picture line, if the
// corresponding pixel there carries it (across the block's edge too: the last
// pair of the previous block of the line, when that block is literal); else
// from the adjacent pair on the right within the block, if it carries it;
// else the neutral 128. Only stored values are borrowed, never a borrowed
// one. Each decoder un-premultiplies with its own arithmetic; the choice is
// the same in all.
//
// Included by the portable and the vector decoders. Everything here has
// internal linkage, so each instruction set gets its own copy.
#pragma once

#include <cstdint>

#include "codec/field_payload.h"

// Everything here is inlined where it is used: in the vector decoders no
// function outside the kernels may hold their instructions.
#define VOXA_ALWAYS_INLINE inline __attribute__((always_inline))

namespace voxa {
namespace {

constexpr uint8_t kTransparentInverseAlpha = 255;
constexpr uint32_t kNeutralChroma = 128;

// One bit a pair (bit 2k) for the pairs with a transparent pixel, from a
// mask with one bit a pixel (bit i: pixel i has alpha 0).
VOXA_ALWAYS_INLINE uint32_t PairsWithTransparentPixels(uint32_t transparent_pixels) {
  return (transparent_pixels | (transparent_pixels >> 1)) & 0x5555u;
}

// The mask of transparent pixels of a literal block, from its inverse alphas.
VOXA_ALWAYS_INLINE uint32_t TransparentPixels(const uint8_t* block) {
  uint32_t mask = 0;
  for (uint32_t i = 0; i < kBlockPixels; ++i) {
    if (block[kAlphaOffset + i] == kTransparentInverseAlpha) mask |= 1u << i;
  }
  return mask;
}

// Component of pair k carried by its pixel 2k + side (0: U, 1: V), which is
// transparent.
template <typename T, typename Unpremultiply>
VOXA_ALWAYS_INLINE T BorrowedComponent(uint32_t k, uint32_t side, const T* stored,
                                       const uint8_t* inverse, const uint8_t* left,
                                       std::size_t offset, Unpremultiply unpremultiply) {
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
VOXA_ALWAYS_INLINE void BorrowChroma(uint32_t pairs, T* u, T* v, const uint8_t* block,
                                     const uint8_t* left, Unpremultiply unpremultiply) {
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
}  // namespace voxa
