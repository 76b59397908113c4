// Encoder from Y16A to a field payload, SSE: MMX registers with the SSE
// integer extensions, 4 lanes of 16 bits.
//
// The lane arithmetic and low bytes are those of the SSE2 encoder (see
// encode_y16a_sse2.cpp): hi(256 × x, 256 × A) >> 8 for Y and U, which equals
// the portable (x × A) >> 8, and V scaled by its pair's raw alpha word.
#include <xmmintrin.h>

#include "codec/field_kernels.h"
#include "codec/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = kLiteralBlockBytes;

inline __m64 Load(const uint8_t* p) {
  __m64 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

// Ordinary stores: streaming the literal blocks past the caches (movntq) and
// prefetching the source with a non-temporal hint both measured slower, on
// titles by up to half, and without streamed stores no fence is needed.
inline void Store(uint8_t* p, __m64 v) { __builtin_memcpy(p, &v, sizeof v); }

// (256 × x) × scale >> 24, as 4 lanes.
inline __m64 Scale(__m64 x256, __m64 scale) {
  return _mm_srli_pi16(_mm_mulhi_pu16(x256, scale), 8);
}

// Y of 8 pixels from their luma and alpha bytes.
inline __m64 LumaOf8(__m64 luma, __m64 alpha) {
  const __m64 zero = _mm_setzero_si64();
  const __m64 lo = Scale(_mm_unpacklo_pi8(zero, luma), _mm_unpacklo_pi8(zero, alpha));
  const __m64 hi = Scale(_mm_unpackhi_pi8(zero, luma), _mm_unpackhi_pi8(zero, alpha));
  return _mm_packs_pu16(lo, hi);
}

// U (or V) of the 8 pairs from the chroma bytes and the pairs' scales: the
// alpha words of pixels 0-7 for pairs 0-3, of pixels 8-15 for pairs 4-7.
inline __m64 ChromaOf8(__m64 chroma, __m64 scale_lo, __m64 scale_hi) {
  const __m64 zero = _mm_setzero_si64();
  return _mm_packs_pu16(Scale(_mm_unpacklo_pi8(zero, chroma), scale_lo),
                        Scale(_mm_unpackhi_pi8(zero, chroma), scale_hi));
}

inline void EncodeLiteralBlock(const __m64* rows, const uint8_t* s, __m64 alpha_lo,
                               __m64 alpha_hi, uint8_t* out) {
  Store(out + kLumaOffset, LumaOf8(Load(s + kLumaOffset), alpha_lo));
  Store(out + kLumaOffset + 8, LumaOf8(Load(s + kLumaOffset + 8), alpha_hi));
  Store(out + kAlphaOffset, _mm_xor_si64(alpha_lo, rows[kAllOnesRow]));
  Store(out + kAlphaOffset + 8, _mm_xor_si64(alpha_hi, rows[kAllOnesRow]));
  // As words the alpha bytes are each pair's 256 × A(2k+1) + A(2k).
  Store(out + kUOffset, ChromaOf8(Load(s + kUOffset), _mm_slli_pi16(alpha_lo, 8),
                                   _mm_slli_pi16(alpha_hi, 8)));
  Store(out + kVOffset, ChromaOf8(Load(s + kVOffset), alpha_lo, alpha_hi));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeY16aField_sse(uint8_t** out, const uint8_t* source, uint32_t width,
                                           uint32_t lines, std::ptrdiff_t step,
                                           uint8_t** run_word) {
  // The constant rows, read as memory operands.
  const __m64* rows = reinterpret_cast<const __m64*>(AlphaScaleTable().form(4));
  WalkField(out, source, width, lines, step, run_word, LineOrder::kTopDown, kBlockBytes,
            [rows](const uint8_t* block, RunWriter& runs) {
              // Alpha 2 or more: after the flip of the top bit, a signed byte
              // above 0x81 (-127).
              const __m64 alpha_lo = Load(block + kAlphaOffset);
              const __m64 alpha_hi = Load(block + kAlphaOffset + 8);
              const __m64 most = _mm_max_pu8(alpha_lo, alpha_hi);
              const __m64 visible =
                  _mm_cmpgt_pi8(_mm_xor_si64(most, rows[kFlipRow]), rows[kY16aThresholdRow]);
              if (_mm_movemask_pi8(visible)) {
                EncodeLiteralBlock(rows, block, alpha_lo, alpha_hi, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
  // The x87 unit shares the MMX registers: leave it usable.
  _mm_empty();
}

}  // namespace voxa
