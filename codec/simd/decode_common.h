// What the four vector decoders share beside the walk over a field's run
// words and blocks (codec/decode_field_walk.h): the reciprocal scale of every
// alpha.
//
// Included only by the decoders' translation units. Everything here has
// internal linkage, so each instruction set gets its own copy and no inline
// function compiled with SSE2 can stand in for the SSE one at link time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/chroma_borrowing.h"
#include "codec/decode_field_walk.h"
#include "codec/field_payload.h"

namespace voxa {
namespace {

// Rc(a) = 2 × round-to-nearest-even(fl(fl(1 / a) × 32767)), the 16-bit
// multiplier that divides a value widened to 256 × c by alpha on a scale of
// 256 / a: hi(256 × c, Rc(a)) ≈ c × 256 / a. The reciprocal is the exactly
// rounded single-precision one, fixed at compile time, so every processor
// decodes the same bytes and no floating-point state (rounding mode,
// unmasked exceptions) of the host matters. Alpha 0 gets 0: the reciprocal
// +infinity converts to the most negative integer, which narrows to -32768
// and doubles to 0 modulo 65536, so a pixel of alpha 0 decodes to zeros.
constexpr uint16_t ReciprocalScale(int alpha) {
  if (alpha == 0) return 0;
  // Separate statements: each product is rounded to single precision even
  // where the compiler evaluates floats with excess precision.
  const float reciprocal = 1.0f / static_cast<float>(alpha);
  const float scaled = reciprocal * 32767.0f;
  int32_t n = static_cast<int32_t>(scaled);
  const float fraction = scaled - static_cast<float>(n);
  if (fraction > 0.5f || (fraction == 0.5f && (n & 1) != 0)) ++n;
  return static_cast<uint16_t>(n * 2);
}

// Indexed by the stored byte, inverse alpha: the entry for 255 - a.
struct ReciprocalTable {
  alignas(64) std::array<uint16_t, 256> by_inverse_alpha{};
  constexpr ReciprocalTable() {
    for (int inverse = 0; inverse < 256; ++inverse) {
      by_inverse_alpha[inverse] = ReciprocalScale(255 - inverse);
    }
  }
};
constexpr ReciprocalTable kReciprocals{};

static_assert(ReciprocalScale(255) == 256, "opaque pixels keep their stored values");
static_assert(ReciprocalScale(1) == 65534, "alpha 1 multiplies by 255.99");
static_assert(ReciprocalScale(0) == 0, "alpha 0 decodes to zeros");

// The vector decoders' division of a stored byte by its pixel's alpha, one
// lane's worth: hi(256 × c, Rc) limited to 255.
inline uint16_t VectorUnpremultiply(uint8_t stored, uint8_t inverse_alpha) {
  const uint32_t x = (uint32_t{stored} * 256u * kReciprocals.by_inverse_alpha[inverse_alpha]) >> 16;
  return static_cast<uint16_t>(x > 255 ? 255 : x);
}

// Low bytes of the colour stage's widenings, 256 × c + s. Luma enters the
// gain multiply as Y′ + 1/16: that adds about half a unit of 1/8 to Yt, what
// the truncating high product and the final shift lose on average, and
// brings the colours closest to the portable decoder's (mean difference on an
// opaque picture 0.21 instead of 0.23, bias -0.01 instead of -0.08). Chroma
// lanes are exact multiples: any low byte there only moves them away.
constexpr uint16_t kLumaLowByte = 16;
constexpr uint16_t kChromaLowByte = 0;

// The decoders store as usual and prefetch nothing. The decoded frame is
// read by the host right after, and non-temporal stores made mostly
// transparent frames up to a third slower on a current processor without
// making opaque ones faster; prefetch hints changed nothing, since the
// payload is read front to back, which the hardware follows by itself.
// Without non-temporal stores no store fence is needed.

}  // namespace
}  // namespace voxa
