// Decoder from a field payload to Y16A, AVX2: literal blocks two at a time,
// each in one 128-bit half, through the lane arithmetic of the SSE2 decoder
// (decode_y16a_sse2.cpp), so that both write the same bytes.
#include <immintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_avx2.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 48;

VOXA_AVX2_INLINE void DecodeLiteralPair(uint8_t* out, const uint8_t* in, const uint8_t* left,
                                        const uint8_t* second) {
  UnpremultipliedPair s = UnpremultiplyPair(in, second);
  BorrowMissingChroma(&s, left, in);
  const bool both = second != nullptr;
  StoreBlocks(out, kBlockBytes, both, kLumaOffset, _mm256_packus_epi16(s.y_low, s.y_high));
  StoreBlocks(out, kBlockBytes, both, kAlphaOffset, s.alpha);
  StoreBlocks(out, kBlockBytes, both, kUOffset, _mm256_packus_epi16(s.u, s.v));
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 3 bytes.
VOXA_VECTOR_ENTRY bool DecodeY16aField_avx2(uint8_t* destination, const uint8_t** in,
                                            const uint8_t* in_end, uint32_t width, uint32_t lines,
                                            std::ptrdiff_t step, int32_t* pending) {
  NoteWideRegistersUsed();
  if (lines == 0 || width < kBlockPixels) return true;
  // A transparent block is luma 16, alpha 0, chroma 128 (see the SSE2 decoder).
  const __m128i neutral =
      _mm_load_si128(reinterpret_cast<const __m128i*>(AlphaScaleTable().form(8)) + kFlipRow);
  const __m128i black = _mm_srli_epi64(neutral, 3);
  const __m128i zero = _mm_setzero_si128();
  return WalkFieldRuns<kBlockBytes>(
      destination, step, width, lines, in, in_end, pending,
      [&](uint8_t* out, uint32_t n) {
        for (; n != 0; --n, out += kBlockBytes) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kLumaOffset), black);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kAlphaOffset), zero);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kUOffset), neutral);
        }
      },
      [](uint8_t* out, const uint8_t* block, const uint8_t* left, uint32_t n) {
        // Two blocks at a time; the second's left block is the first.
        for (; n >= 2; n -= 2, out += 2 * kBlockBytes, block += 2 * kLiteralBlockBytes) {
          DecodeLiteralPair(out, block, left, block + kLiteralBlockBytes);
          left = block + kLiteralBlockBytes;
        }
        if (n != 0) DecodeLiteralPair(out, block, left, nullptr);
      });
}

}  // namespace voxa
