// Encoder from Y16A to a field payload, AVX2: two blocks at a time, each in
// one 128-bit half, through the lane arithmetic of the SSE2 encoder
// (encode_y16a_sse2.cpp), so that both write the same bytes.
#include <immintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/avx2_pairs.h"
#include "codec/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = kLiteralBlockBytes;

// (256 × x) × scale >> 24, as 8 lanes in each half.
VOXA_AVX2_INLINE __m256i Scale(__m256i x256, __m256i scale) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(x256, scale), 8);
}

// `second` is the first block again for the last block of an odd count.
VOXA_AVX2_INLINE void EncodeLiteralPair(const uint8_t* first, const uint8_t* second, __m256i alpha,
                                        __m256i ones, uint8_t* first_out, uint8_t* second_out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i luma = LoadPair(first + kLumaOffset, second + kLumaOffset);
  const __m256i chroma = LoadPair(first + kUOffset, second + kUOffset);
  const __m256i y_lo = Scale(_mm256_unpacklo_epi8(zero, luma), _mm256_unpacklo_epi8(zero, alpha));
  const __m256i y_hi = Scale(_mm256_unpackhi_epi8(zero, luma), _mm256_unpackhi_epi8(zero, alpha));
  // As words the alpha bytes are each pair's 256 × A(2k+1) + A(2k).
  const __m256i u = Scale(_mm256_unpacklo_epi8(zero, chroma), _mm256_slli_epi16(alpha, 8));
  const __m256i v = Scale(_mm256_unpackhi_epi8(zero, chroma), alpha);
  StorePair(first_out, second_out, kLumaOffset, _mm256_packus_epi16(y_lo, y_hi));
  StorePair(first_out, second_out, kAlphaOffset, _mm256_xor_si256(alpha, ones));
  StorePair(first_out, second_out, kUOffset, _mm256_packus_epi16(u, v));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeY16aField_avx2(uint8_t** out, const uint8_t* source, uint32_t width,
                                            uint32_t lines, std::ptrdiff_t step,
                                            uint8_t** run_word) {
  NoteWideRegistersUsed();
  const uint16_t* rows = AlphaScaleTable().form(8);
  const __m256i flip = BroadcastRow(rows, kFlipRow);
  const __m256i threshold = BroadcastRow(rows, kY16aThresholdRow);
  const __m256i ones = BroadcastRow(rows, kAllOnesRow);
  WalkFieldInPairs(out, source, width, lines, step, run_word, LineOrder::kTopDown, kBlockBytes,
                   [&](const uint8_t* first, const uint8_t* second, RunWriter& runs) {
                     // Alpha 2 or more: after the flip of the top bit, a signed byte above
                     // 0x81 (-127).
                     const uint8_t* other = second != nullptr ? second : first;
                     const __m256i alpha = LoadPair(first + kAlphaOffset, other + kAlphaOffset);
                     const uint32_t visible = static_cast<uint32_t>(_mm256_movemask_epi8(
                         _mm256_cmpgt_epi8(_mm256_xor_si256(alpha, flip), threshold)));
                     uint8_t* const first_out = runs.Block((visible & 0xFFFFu) != 0);
                     uint8_t* const second_out =
                         second != nullptr ? runs.Block((visible >> 16) != 0) : nullptr;
                     if (first_out != nullptr || second_out != nullptr) {
                       EncodeLiteralPair(first, other, alpha, ones, first_out, second_out);
                     }
                   });
}

}  // namespace voxa
