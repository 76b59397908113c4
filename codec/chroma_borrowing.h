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
// The borrowing runs only for blocks with a transparent pixel: in portable
// code (chroma_borrowing.cpp) for the portable decoders and the SSE ones,
// which call it, so that nothing of it is compiled for a vector instruction
// set; the SSE2 decoders do the same in their registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/field_payload.h"

namespace voxa {

// Replace the chroma of the transparent pixels of the pairs marked in
// `pairs` (from PairsWithTransparentPixels) in a literal block's pair
// chroma `u` and `v`, as each decoder un-premultiplied it: the portable BGRA
// decoder (c × 255 / a), the portable Y16A decoder (c × 256 / a, limited to
// 255) and the vector decoders (their reciprocal scale). `left` is the
// previous block of the line when it is literal, else null.
void BorrowBgraChroma(uint32_t pairs, uint32_t* u, uint32_t* v, const uint8_t* block,
                      const uint8_t* left);
void BorrowY16aChroma(uint32_t pairs, uint8_t* u, uint8_t* v, const uint8_t* block,
                      const uint8_t* left);
void BorrowVectorChroma(uint32_t pairs, uint16_t* u, uint16_t* v, const uint8_t* block,
                        const uint8_t* left);

namespace {

constexpr uint8_t kTransparentInverseAlpha = 255;
constexpr uint32_t kNeutralChroma = 128;

// One bit a pair (bit 2k) for the pairs with a transparent pixel, from a
// mask with one bit a pixel (bit i: pixel i has alpha 0).
constexpr uint32_t PairsWithTransparentPixels(uint32_t transparent_pixels) {
  return (transparent_pixels | (transparent_pixels >> 1)) & 0x5555u;
}

// Whether a literal block has a transparent pixel (an inverse alpha of 255),
// eight inverse alphas at a time.
inline bool HasTransparentPixel(const uint8_t* block) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighBits = 0x8080808080808080u;
  for (int half = 0; half < 2; ++half) {
    uint64_t inverse;
    std::memcpy(&inverse, block + kAlphaOffset + 8 * half, sizeof inverse);
    const uint64_t x = ~inverse;  // a zero byte where the pixel is transparent
    if (((x - kOnes) & ~x & kHighBits) != 0) return true;
  }
  return false;
}

}  // namespace
}  // namespace voxa
