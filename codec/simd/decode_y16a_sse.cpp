// Decoder from a field payload to Y16A, 4 lanes of 16 bits (SSE: MMX
// registers with the SSE integer extensions).
//
// Each value of a literal block is widened to 256 × c and divided by its
// alpha with a high multiply by the reciprocal scale Rc of that alpha, four
// values at a time.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/decode_sse.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 48;

// Eight values of one kind, the first four divided by the alphas of `rc_low`,
// the last four by those of `rc_high`.
inline __m64 UnpremultiplyEight(__m64 bytes, __m64 rc_low, __m64 rc_high) {
  const __m64 zero = _mm_setzero_si64();
  const __m64 low = Unpremultiply(_mm_unpacklo_pi8(zero, bytes), rc_low);
  const __m64 high = Unpremultiply(_mm_unpackhi_pi8(zero, bytes), rc_high);
  return _mm_packs_pu16(low, high);
}

inline void DecodeLiteral(uint8_t* out, const uint8_t* in, const uint8_t* left) {
  const Reciprocals rc = GatherReciprocals(in + kAlphaOffset);
  for (int h = 0; h < 2; ++h) {
    const __m64 pixels_low = _mm_unpacklo_pi16(rc.even[h], rc.odd[h]);
    const __m64 pixels_high = _mm_unpackhi_pi16(rc.even[h], rc.odd[h]);
    Store8(out + kLumaOffset + 8 * h,
           UnpremultiplyEight(Load8(in + kLumaOffset + 8 * h), pixels_low, pixels_high));
    Store8(out + kAlphaOffset + 8 * h,
           _mm_xor_si64(Load8(in + kAlphaOffset + 8 * h), AllOnes()));
  }
  // U of pair k goes with the alpha of pixel 2k, V with that of pixel 2k + 1.
  const __m64 zero = _mm_setzero_si64();
  const __m64 u_bytes = Load8(in + kUOffset), v_bytes = Load8(in + kVOffset);
  __m64 u[2] = {Unpremultiply(_mm_unpacklo_pi8(zero, u_bytes), rc.even[0]),
                Unpremultiply(_mm_unpackhi_pi8(zero, u_bytes), rc.even[1])};
  __m64 v[2] = {Unpremultiply(_mm_unpacklo_pi8(zero, v_bytes), rc.odd[0]),
                Unpremultiply(_mm_unpackhi_pi8(zero, v_bytes), rc.odd[1])};
  BorrowMissingChroma(TransparentPixelMask(in), u, v, in, left);
  Store8(out + kUOffset, _mm_packs_pu16(u[0], u[1]));
  Store8(out + kVOffset, _mm_packs_pu16(v[0], v[1]));
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 3 bytes.
VOXA_VECTOR_ENTRY bool DecodeY16aField_sse(uint8_t* destination, const uint8_t** in,
                                           const uint8_t* in_end, uint32_t width,
                                           uint32_t lines, std::ptrdiff_t step,
                                           int32_t* pending) {
  if (lines == 0 || width < kBlockPixels) return true;
  // A transparent block is luma 16, alpha 0, chroma 128: the 128s are the
  // flip row, and shifting it right by 3 as one 64-bit value makes its 0x80
  // bytes into 0x10 bytes.
  const __m64 neutral = TableRow(AlphaScaleTable().form(4), kFlipRow);
  const __m64 black = _mm_srli_si64(neutral, 3);
  const __m64 zero = _mm_setzero_si64();
  const bool complete = WalkField<kBlockBytes>(
      destination, step, width, lines, in, in_end, pending,
      [&](uint8_t* out, uint32_t n) {
        for (; n != 0; --n, out += kBlockBytes) {
          for (std::size_t half = 0; half < 16; half += 8) {
            Store8(out + kLumaOffset + half, black);
            Store8(out + kAlphaOffset + half, zero);
            Store8(out + kUOffset + half, neutral);
          }
        }
      },
      [](uint8_t* out, const uint8_t* block, const uint8_t* left) {
        DecodeLiteral(out, block, left);
      });
  LeaveMultimediaState();
  return complete;
}

}  // namespace voxa
