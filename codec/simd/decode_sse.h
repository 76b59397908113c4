// Lane helpers of the SSE decoders: 4 lanes of 16 bits in MMX registers,
// with the SSE integer extensions (pmulhuw, pinsrw). Included only
// by the *_sse.cpp decoders (see decode_common.h for why everything here has
// internal linkage).
#pragma once

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "codec/simd/decode_common.h"

namespace voxa {
namespace {

inline __m64 Load8(const uint8_t* p) {
  __m64 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void Store8(uint8_t* p, __m64 v) {
  std::memcpy(p, &v, sizeof v);
}

inline __m64 TableRow(const uint16_t* table, int row) {
  return *reinterpret_cast<const __m64*>(table + 4 * row);
}

inline __m64 AllOnes() {
  const __m64 zero = _mm_setzero_si64();
  return _mm_cmpeq_pi8(zero, zero);
}

// The reciprocal scales of a block's alphas, from its inverse alpha bytes:
// even[h] of pixels 8h, 8h + 2, 8h + 4, 8h + 6 (the alphas of U of pairs
// 4h to 4h + 3), odd[h] of the odd pixels after them (the alphas of V).
struct Reciprocals {
  __m64 even[2], odd[2];
};

// Inserted lane by lane: building the vector in general registers and
// reloading it from the stack stalls on store forwarding.
inline __m64 GatherFour(const uint8_t* inverse_alpha) {
  const uint16_t* rc = kReciprocals.by_inverse_alpha.data();
  __m64 v = _mm_cvtsi32_si64(rc[inverse_alpha[0]]);
  v = _mm_insert_pi16(v, rc[inverse_alpha[2]], 1);
  v = _mm_insert_pi16(v, rc[inverse_alpha[4]], 2);
  return _mm_insert_pi16(v, rc[inverse_alpha[6]], 3);
}

inline Reciprocals GatherReciprocals(const uint8_t* inverse_alpha) {
  Reciprocals r;
  r.even[0] = GatherFour(inverse_alpha);
  r.odd[0] = GatherFour(inverse_alpha + 1);
  r.even[1] = GatherFour(inverse_alpha + 8);
  r.odd[1] = GatherFour(inverse_alpha + 9);
  return r;
}

// hi(256 × c, Rc) limited to 255, for lanes holding 256 × c; the high
// product reaches 65278 for alpha 1, so the limit is x - max(x - 255, 0).
inline __m64 Unpremultiply(__m64 widened, __m64 rc) {
  const __m64 x = _mm_mulhi_pu16(widened, rc);
  return _mm_sub_pi16(x, _mm_subs_pu16(x, _mm_set1_pi16(255)));
}

// MMX registers alias the x87 stack: free them before the caller's floating
// point runs.
// The block's transparent pixels, bit i for pixel i, from its inverse alphas.
inline uint32_t TransparentPixelMask(const uint8_t* in) {
  const __m64 all = AllOnes();
  const uint32_t low =
      static_cast<uint32_t>(_mm_movemask_pi8(_mm_cmpeq_pi8(Load8(in + kAlphaOffset), all)));
  const uint32_t high =
      static_cast<uint32_t>(_mm_movemask_pi8(_mm_cmpeq_pi8(Load8(in + kAlphaOffset + 8), all)));
  return low | high << 8;
}

// The chroma that transparent pixels could not carry, borrowed from their
// neighbours (codec/chroma_borrowing.h), in the lanes of pairs 0-3 and 4-7.
inline void BorrowMissingChroma(uint32_t transparent, __m64 u[2], __m64 v[2], const uint8_t* in,
                                const uint8_t* left) {
  const uint32_t pairs = PairsWithTransparentPixels(transparent);
  if (__builtin_expect(pairs == 0, 1)) return;
  uint16_t u_lanes[8], v_lanes[8];
  std::memcpy(u_lanes, u, sizeof u_lanes);
  std::memcpy(v_lanes, v, sizeof v_lanes);
  BorrowVectorChroma(pairs, u_lanes, v_lanes, in, left);
  std::memcpy(u, u_lanes, sizeof u_lanes);
  std::memcpy(v, v_lanes, sizeof v_lanes);
}

inline void LeaveMultimediaState() {
  _mm_empty();
}

}  // namespace
}  // namespace voxa
