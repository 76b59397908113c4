// The look-up of eight reciprocal scales into the lanes of an XMM register,
// shared by the SSE2 and AVX2 decoders (see decode_common.h for why it has
// internal linkage). Forced inline, so that its VEX form stays inside the
// AVX2 kernels.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "codec/simd/decode_common.h"

namespace voxa {
namespace {

// The scales of the alphas of every second pixel from `inverse_alpha`.
// Inserted lane by lane: building the vectors in general registers and
// reloading them from the stack stalls on store forwarding.
inline __attribute__((always_inline)) __m128i GatherEight(const uint8_t* inverse_alpha) {
  const uint16_t* rc = kReciprocals.by_inverse_alpha.data();
  __m128i v = _mm_cvtsi32_si128(rc[inverse_alpha[0]]);
  v = _mm_insert_epi16(v, rc[inverse_alpha[2]], 1);
  v = _mm_insert_epi16(v, rc[inverse_alpha[4]], 2);
  v = _mm_insert_epi16(v, rc[inverse_alpha[6]], 3);
  v = _mm_insert_epi16(v, rc[inverse_alpha[8]], 4);
  v = _mm_insert_epi16(v, rc[inverse_alpha[10]], 5);
  v = _mm_insert_epi16(v, rc[inverse_alpha[12]], 6);
  return _mm_insert_epi16(v, rc[inverse_alpha[14]], 7);
}

}  // namespace
}  // namespace voxa
