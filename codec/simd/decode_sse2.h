// Lane helpers of the SSE2 decoders: 8 lanes of 16 bits in XMM registers.
// Included only by the *_sse2.cpp decoders (see decode_common.h for why
// everything here has internal linkage).
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "codec/simd/decode_common.h"
#include "codec/simd/reciprocal_lanes.h"

namespace voxa {
namespace {

inline __m128i LoadBytes(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void StoreBytes(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// A row of a constant table as an operand; the 8-lane forms are aligned.
inline __m128i TableRow(const uint16_t* table, int row) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table) + row);
}

// The reciprocal scales of a block's 16 alphas, from its inverse alpha
// bytes: of the even pixels (the alphas of U), of the odd pixels (the alphas
// of V), and of pixels 0-7 and 8-15 in order.
struct Reciprocals {
  __m128i even, odd, pixels_low, pixels_high;
};

inline Reciprocals GatherReciprocals(const uint8_t* inverse_alpha) {
  Reciprocals r;
  r.even = GatherEight(inverse_alpha);
  r.odd = GatherEight(inverse_alpha + 1);
  r.pixels_low = _mm_unpacklo_epi16(r.even, r.odd);
  r.pixels_high = _mm_unpackhi_epi16(r.even, r.odd);
  return r;
}

// hi(256 × c, Rc) limited to 255, for lanes holding 256 × c. The high
// product reaches 65278 for alpha 1, beyond the signed range that a packing
// step would saturate correctly, so the limit is x - max(x - 255, 0).
inline __m128i Unpremultiply(__m128i widened, __m128i rc) {
  const __m128i x = _mm_mulhi_epu16(widened, rc);
  return _mm_sub_epi16(x, _mm_subs_epu16(x, _mm_set1_epi16(255)));
}

// Stage 1 of a literal block: luma and chroma divided by their pixels'
// alphas, in 16-bit lanes, and the alphas themselves.
struct Unpremultiplied {
  __m128i y_low, y_high;  // Y′ of pixels 0-7 and 8-15
  __m128i u, v;           // U′ and V′ of pairs 0-7
  __m128i alpha;          // the 16 alphas, as bytes
};

inline Unpremultiplied UnpremultiplyBlock(const uint8_t* in) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i luma = LoadBytes(in + kLumaOffset);
  const __m128i chroma = LoadBytes(in + kUOffset);
  const Reciprocals rc = GatherReciprocals(in + kAlphaOffset);
  Unpremultiplied b;
  b.y_low = Unpremultiply(_mm_unpacklo_epi8(zero, luma), rc.pixels_low);
  b.y_high = Unpremultiply(_mm_unpackhi_epi8(zero, luma), rc.pixels_high);
  // U of pair k goes with the alpha of pixel 2k, V with that of pixel 2k + 1.
  b.u = Unpremultiply(_mm_unpacklo_epi8(zero, chroma), rc.even);
  b.v = Unpremultiply(_mm_unpackhi_epi8(zero, chroma), rc.odd);
  b.alpha = _mm_xor_si128(LoadBytes(in + kAlphaOffset), _mm_cmpeq_epi8(zero, zero));
  return b;
}

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// The rule of codec/chroma_borrowing.h in the lanes of one component of the
// pairs: where `carried` (all ones where the pair's pixel of this component
// is visible) is clear, the lane on the left if its pixel carries it (lane
// 0: `edge`, the previous literal block's last pair, with `edge_carried`),
// else the lane on the right within the block, else 128. Only the lanes as
// they came are read.
inline __m128i BorrowLanes(__m128i c, __m128i carried, __m128i edge, __m128i edge_carried) {
  const __m128i left = _mm_or_si128(_mm_slli_si128(c, 2), edge);
  const __m128i left_carried = _mm_or_si128(_mm_slli_si128(carried, 2), edge_carried);
  const __m128i right = _mm_srli_si128(c, 2);
  const __m128i right_carried = _mm_srli_si128(carried, 2);  // lane 7: no pair on the right
  const __m128i from_neighbours =
      Select(left_carried, left, Select(right_carried, right, _mm_set1_epi16(kNeutralChroma)));
  return Select(carried, c, from_neighbours);
}

// The chroma that transparent pixels could not carry, borrowed from their
// neighbours, in registers; a block without transparent pixels costs a
// compare. Returns the block's transparent pixels, bit i for pixel i.
inline uint32_t BorrowMissingChroma(Unpremultiplied* s, const uint8_t* left) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i transparent_bytes = _mm_cmpeq_epi8(s->alpha, zero);
  const uint32_t transparent = static_cast<uint32_t>(_mm_movemask_epi8(transparent_bytes));
  if (transparent == 0) return 0;
  const __m128i visible = _mm_xor_si128(transparent_bytes, _mm_cmpeq_epi8(zero, zero));
  // Pixel 2k is the low byte of lane k, pixel 2k + 1 the high byte.
  const __m128i u_carried = _mm_srai_epi16(_mm_slli_epi16(visible, 8), 15);
  const __m128i v_carried = _mm_srai_epi16(visible, 15);
  __m128i u_edge = zero, v_edge = zero, u_edge_carried = zero, v_edge_carried = zero;
  if (left != nullptr) {
    const uint8_t* inverse = left + kAlphaOffset;
    if (inverse[14] != kTransparentInverseAlpha) {
      u_edge = _mm_cvtsi32_si128(VectorUnpremultiply(left[kUOffset + 7], inverse[14]));
      u_edge_carried = _mm_cvtsi32_si128(0xFFFF);
    }
    if (inverse[15] != kTransparentInverseAlpha) {
      v_edge = _mm_cvtsi32_si128(VectorUnpremultiply(left[kVOffset + 7], inverse[15]));
      v_edge_carried = _mm_cvtsi32_si128(0xFFFF);
    }
  }
  s->u = BorrowLanes(s->u, u_carried, u_edge, u_edge_carried);
  s->v = BorrowLanes(s->v, v_carried, v_edge, v_edge_carried);
  return transparent;
}

}  // namespace
}  // namespace voxa
