// Encoder from Y16A to a field payload, SSE2: a block of 16 pixels in 8 lanes
// of 16 bits.
//
// Each product (x × A) >> 8 of the portable encoder is taken on widened
// lanes, hi(256 × x + s, 256 × A + s') >> 8. Luma, chroma and the alpha that
// scales Y enter with a low byte of 0, which makes Y and U equal to the
// portable encoder's. V is scaled by the raw alpha word of its pair,
// 256 × A(2k+1) + A(2k), and comes out one higher where the left pixel's
// alpha carries it over a step.
#include <emmintrin.h>

#include "codec/field_kernels.h"
#include "codec/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = kLiteralBlockBytes;

inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Ordinary unaligned stores; the source is not prefetched, which measured
// slower with a non-temporal hint.
inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// (256 × x) × scale >> 24, as 8 lanes.
inline __m128i Scale(__m128i x256, __m128i scale) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x256, scale), 8);
}

inline void EncodeLiteralBlock(const __m128i* rows, const uint8_t* s, __m128i alpha,
                               uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i luma = Load(s + kLumaOffset);
  const __m128i chroma = Load(s + kUOffset);  // U of pairs 0-7, then V
  const __m128i y_lo = Scale(_mm_unpacklo_epi8(zero, luma), _mm_unpacklo_epi8(zero, alpha));
  const __m128i y_hi = Scale(_mm_unpackhi_epi8(zero, luma), _mm_unpackhi_epi8(zero, alpha));
  // As words the alpha bytes are each pair's 256 × A(2k+1) + A(2k).
  const __m128i u = Scale(_mm_unpacklo_epi8(zero, chroma), _mm_slli_epi16(alpha, 8));
  const __m128i v = Scale(_mm_unpackhi_epi8(zero, chroma), alpha);
  Store(out + kLumaOffset, _mm_packus_epi16(y_lo, y_hi));
  Store(out + kAlphaOffset, _mm_xor_si128(alpha, rows[kAllOnesRow]));
  Store(out + kUOffset, _mm_packus_epi16(u, v));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeY16aField_sse2(uint8_t** out, const uint8_t* source,
                                            uint32_t width, uint32_t lines, std::ptrdiff_t step,
                                            uint8_t** run_word) {
  // The constant rows, 16-byte aligned: read as memory operands.
  const __m128i* rows = reinterpret_cast<const __m128i*>(AlphaScaleTable().form(8));
  WalkField(out, source, width, lines, step, run_word, LineOrder::kTopDown, kBlockBytes,
            [rows](const uint8_t* block, RunWriter& runs) {
              // Alpha 2 or more: after the flip of the top bit, a signed byte
              // above 0x81 (-127).
              const __m128i alpha = Load(block + kAlphaOffset);
              const __m128i visible = _mm_cmpgt_epi8(_mm_xor_si128(alpha, rows[kFlipRow]),
                                                     rows[kY16aThresholdRow]);
              if (_mm_movemask_epi8(visible)) {
                EncodeLiteralBlock(rows, block, alpha, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
}

}  // namespace voxa
