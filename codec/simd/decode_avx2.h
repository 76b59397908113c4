// Lane helpers of the AVX2 decoders: two literal blocks at a time, each in
// one 128-bit half, through the lane arithmetic of decode_sse2.h, so that
// both decode the same bytes. Included only by the *_avx2.cpp decoders (see
// decode_common.h for why everything here has internal linkage).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/simd/avx2_pairs.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/reciprocal_lanes.h"

namespace voxa {
namespace {

// The reciprocal scales of one block's alphas, as in decode_sse2.h: of the
// even pixels (the alphas of U) and of the odd pixels (the alphas of V).
struct BlockReciprocals {
  __m128i even, odd;
};

// A block whose 16 alphas are one value (opaque, or a fade) needs one look-up.
VOXA_AVX2_INLINE BlockReciprocals GatherBlock(const uint8_t* inverse_alpha, __m128i inverse) {
  const __m128i first = _mm_broadcastb_epi8(inverse);
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(inverse, first)) == 0xFFFF) {
    const __m128i rc =
        _mm_set1_epi16(static_cast<int16_t>(kReciprocals.by_inverse_alpha[inverse_alpha[0]]));
    return BlockReciprocals{rc, rc};
  }
  return BlockReciprocals{GatherEight(inverse_alpha), GatherEight(inverse_alpha + 1)};
}

VOXA_AVX2_INLINE __m256i Join(__m128i first, __m128i second) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// hi(256 × c, Rc) limited to 255 (see decode_sse2.h).
VOXA_AVX2_INLINE __m256i Unpremultiply(__m256i widened, __m256i rc) {
  const __m256i x = _mm256_mulhi_epu16(widened, rc);
  return _mm256_sub_epi16(x, _mm256_subs_epu16(x, _mm256_set1_epi16(255)));
}

// Stage 1 of a pair of literal blocks, each half as decode_sse2.h's
// Unpremultiplied.
struct UnpremultipliedPair {
  __m256i y_low, y_high;  // Y′ of pixels 0-7 and 8-15
  __m256i u, v;           // U′ and V′ of pairs 0-7
  __m256i alpha;          // the 16 alphas, as bytes
};

// `second` may be null: the first block then fills both halves.
VOXA_AVX2_INLINE UnpremultipliedPair UnpremultiplyPair(const uint8_t* first,
                                                       const uint8_t* second) {
  const uint8_t* other = second != nullptr ? second : first;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i luma = LoadPair(first + kLumaOffset, other + kLumaOffset);
  const __m256i chroma = LoadPair(first + kUOffset, other + kUOffset);
  const __m128i inverse_first = LoadHalf(first + kAlphaOffset);
  const __m128i inverse_other = LoadHalf(other + kAlphaOffset);
  UnpremultipliedPair s;
  s.alpha = _mm256_xor_si256(Join(inverse_first, inverse_other), _mm256_cmpeq_epi8(zero, zero));
  const __m128i either = _mm_or_si128(inverse_first, inverse_other);
  if (_mm_testz_si128(either, either)) {
    // Both blocks opaque: Rc(255) is 256, and hi(256 × c, 256) is c itself.
    s.y_low = _mm256_unpacklo_epi8(luma, zero);
    s.y_high = _mm256_unpackhi_epi8(luma, zero);
    s.u = _mm256_unpacklo_epi8(chroma, zero);
    s.v = _mm256_unpackhi_epi8(chroma, zero);
    return s;
  }
  const BlockReciprocals a = GatherBlock(first + kAlphaOffset, inverse_first);
  const BlockReciprocals b =
      second != nullptr ? GatherBlock(other + kAlphaOffset, inverse_other) : a;
  const __m256i even = Join(a.even, b.even), odd = Join(a.odd, b.odd);
  s.y_low = Unpremultiply(_mm256_unpacklo_epi8(zero, luma), _mm256_unpacklo_epi16(even, odd));
  s.y_high = Unpremultiply(_mm256_unpackhi_epi8(zero, luma), _mm256_unpackhi_epi16(even, odd));
  // U of pair k goes with the alpha of pixel 2k, V with that of pixel 2k + 1.
  s.u = Unpremultiply(_mm256_unpacklo_epi8(zero, chroma), even);
  s.v = Unpremultiply(_mm256_unpackhi_epi8(zero, chroma), odd);
  return s;
}

VOXA_AVX2_INLINE __m256i Select(__m256i mask, __m256i a, __m256i b) {
  return _mm256_blendv_epi8(b, a, mask);
}

// decode_sse2.h's BorrowLanes in each half; `edge` and `edge_carried` hold
// each half's left neighbour in its lane 0.
VOXA_AVX2_INLINE __m256i BorrowLanes(__m256i c, __m256i carried, __m256i edge,
                                     __m256i edge_carried) {
  const __m256i left = _mm256_or_si256(_mm256_slli_si256(c, 2), edge);
  const __m256i left_carried = _mm256_or_si256(_mm256_slli_si256(carried, 2), edge_carried);
  const __m256i right = _mm256_srli_si256(c, 2);
  const __m256i right_carried = _mm256_srli_si256(carried, 2);
  const __m256i from_neighbours =
      Select(left_carried, left,
             Select(right_carried, right, _mm256_set1_epi16(static_cast<int16_t>(kNeutralChroma))));
  return Select(carried, c, from_neighbours);
}

// The last pair's U′ and V′ of a literal block, and whether its pixels carry
// them, as lane 0 of a half.
struct Edge {
  uint32_t u, v, u_carried, v_carried;
};

VOXA_AVX2_INLINE Edge EdgeOf(const uint8_t* left) {
  Edge e{0, 0, 0, 0};
  if (left == nullptr) return e;
  const uint8_t* inverse = left + kAlphaOffset;
  if (inverse[14] != kTransparentInverseAlpha) {
    e.u = VectorUnpremultiply(left[kUOffset + 7], inverse[14]);
    e.u_carried = 0xFFFF;
  }
  if (inverse[15] != kTransparentInverseAlpha) {
    e.v = VectorUnpremultiply(left[kVOffset + 7], inverse[15]);
    e.v_carried = 0xFFFF;
  }
  return e;
}

VOXA_AVX2_INLINE __m256i LaneZeros(uint32_t first, uint32_t second) {
  return Join(_mm_cvtsi32_si128(static_cast<int>(first)),
              _mm_cvtsi32_si128(static_cast<int>(second)));
}

// decode_sse2.h's BorrowMissingChroma for both blocks: `left` is the first
// block's left neighbour, and the first block is the second's. Returns the
// transparent pixels, bit i for pixel i of the first block, bit 16 + i for
// pixel i of the second.
VOXA_AVX2_INLINE uint32_t BorrowMissingChroma(UnpremultipliedPair* s, const uint8_t* left,
                                              const uint8_t* first) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i transparent_bytes = _mm256_cmpeq_epi8(s->alpha, zero);
  const uint32_t transparent = static_cast<uint32_t>(_mm256_movemask_epi8(transparent_bytes));
  if (transparent == 0) return 0;
  const __m256i visible = _mm256_xor_si256(transparent_bytes, _mm256_cmpeq_epi8(zero, zero));
  const __m256i u_carried = _mm256_srai_epi16(_mm256_slli_epi16(visible, 8), 15);
  const __m256i v_carried = _mm256_srai_epi16(visible, 15);
  const Edge a = EdgeOf(left), b = EdgeOf(first);
  s->u = BorrowLanes(s->u, u_carried, LaneZeros(a.u, b.u), LaneZeros(a.u_carried, b.u_carried));
  s->v = BorrowLanes(s->v, v_carried, LaneZeros(a.v, b.v), LaneZeros(a.v_carried, b.v_carried));
  return transparent;
}

// The halves of `v` to `offset` bytes into the blocks at `out` and, when
// `both`, at `out + block_bytes`.
VOXA_AVX2_INLINE void StoreBlocks(uint8_t* out, std::size_t block_bytes, bool both,
                                  std::size_t offset, __m256i v) {
  StoreLow(out + offset, v);
  if (both) StoreHigh(out + block_bytes + offset, v);
}

}  // namespace
}  // namespace voxa
