// Decoder from a field payload to Y16A, 8 lanes of 16 bits (SSE2).
//
// A literal block is one 16-byte vector each of luma, inverse alpha and
// chroma (U of pairs 0-7, then V of pairs 0-7), and so is the Y16A block it
// becomes: each value is widened to 256 × c and divided by its alpha with a
// high multiply by the reciprocal scale Rc of that alpha.
#include <emmintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/decode_sse2.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 48;

inline void DecodeLiteral(uint8_t* out, const uint8_t* in, const uint8_t* left) {
  Unpremultiplied s = UnpremultiplyBlock(in);
  BorrowMissingChroma(&s, left);
  StoreBytes(out + kLumaOffset, _mm_packus_epi16(s.y_low, s.y_high));
  StoreBytes(out + kAlphaOffset, s.alpha);
  StoreBytes(out + kUOffset, _mm_packus_epi16(s.u, s.v));
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 3 bytes.
VOXA_VECTOR_ENTRY bool DecodeY16aField_sse2(uint8_t* destination, const uint8_t** in,
                                            const uint8_t* in_end, uint32_t width,
                                            uint32_t lines, std::ptrdiff_t step,
                                            int32_t* pending) {
  if (lines == 0 || width < kBlockPixels) return true;
  // A transparent block is luma 16, alpha 0, chroma 128: the 128s are the
  // flip row, and shifting each of its 64-bit halves right by 3 makes 0x80
  // bytes into 0x10 bytes.
  const __m128i neutral = _mm_load_si128(
      reinterpret_cast<const __m128i*>(AlphaScaleTable().form(8)) + kFlipRow);
  const __m128i black = _mm_srli_epi64(neutral, 3);
  const __m128i zero = _mm_setzero_si128();
  const bool complete = WalkField<kBlockBytes>(
      destination, step, width, lines, in, in_end, pending,
      [&](uint8_t* out, uint32_t n) {
        for (; n != 0; --n, out += kBlockBytes) {
          StoreBytes(out + kLumaOffset, black);
          StoreBytes(out + kAlphaOffset, zero);
          StoreBytes(out + kUOffset, neutral);
        }
      },
      [](uint8_t* out, const uint8_t* block, const uint8_t* left) {
        DecodeLiteral(out, block, left);
      });
  return complete;
}

}  // namespace voxa
