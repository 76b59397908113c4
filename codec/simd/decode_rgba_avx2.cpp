// Decoder from a field payload to 32-bit BGRA, AVX2: literal blocks two at a
// time, each in one 128-bit half, through the lane arithmetic of the SSE2
// decoder (decode_rgba_sse2.cpp has the method), so that both write the same
// bytes.
#include <immintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_avx2.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 64;

struct Weights {
  __m256i luma_gain, chroma_centre, luma_offset;
  __m256i green_from_u, green_from_v, blue_from_u, red_from_v;
  __m256i luma_low, chroma_low;
};

VOXA_AVX2_INLINE Weights LoadWeights() {
  const uint16_t* t = DecoderWeightTable().form(8);
  return Weights{BroadcastRow(t, kLumaGainRow8),   BroadcastRow(t, kChromaCentreRow8),
                 BroadcastRow(t, kLumaOffsetRow8), BroadcastRow(t, kGreenFromURow),
                 BroadcastRow(t, kGreenFromVRow),  BroadcastRow(t, kBlueFromURow),
                 BroadcastRow(t, kRedFromVRow),    _mm256_set1_epi16(kLumaLowByte),
                 _mm256_set1_epi16(kChromaLowByte)};
}

// Chroma of pairs 0-7 to chroma of pixels 0-7 and 8-15, centred, in 1/64
// (see the SSE2 decoder: interpolation never crosses a block's edge).
VOXA_AVX2_INLINE void PixelChroma(__m256i pairs, const Weights& w, __m256i* low, __m256i* high) {
  const __m256i lanes = _mm256_or_si256(_mm256_slli_epi16(pairs, 8), w.chroma_low);
  const __m256i c = _mm256_adds_epi16(_mm256_srli_epi16(lanes, 3), w.chroma_centre);
  const __m256i next = _mm256_shufflehi_epi16(_mm256_srli_si256(c, 2), _MM_SHUFFLE(2, 2, 1, 0));
  const __m256i even = _mm256_adds_epi16(c, c);
  const __m256i odd = _mm256_adds_epi16(c, next);
  *low = _mm256_unpacklo_epi16(even, odd);
  *high = _mm256_unpackhi_epi16(even, odd);
}

struct Channels {
  __m256i b, g, r;
};

VOXA_AVX2_INLINE Channels ConvertPixels(__m256i luma, __m256i cu, __m256i cv, const Weights& w) {
  const __m256i widened = _mm256_or_si256(_mm256_slli_epi16(luma, 8), w.luma_low);
  const __m256i yt = _mm256_adds_epi16(_mm256_mulhi_epu16(widened, w.luma_gain), w.luma_offset);
  Channels c;
  c.g = _mm256_adds_epi16(_mm256_adds_epi16(_mm256_mulhi_epi16(cu, w.green_from_u), yt),
                          _mm256_mulhi_epi16(cv, w.green_from_v));
  c.g = _mm256_srai_epi16(c.g, 3);
  c.b = _mm256_srai_epi16(_mm256_adds_epi16(_mm256_mulhi_epi16(cu, w.blue_from_u), yt), 3);
  c.r = _mm256_srai_epi16(_mm256_adds_epi16(_mm256_mulhi_epi16(cv, w.red_from_v), yt), 3);
  return c;
}

VOXA_AVX2_INLINE void DecodeLiteralPair(uint8_t* out, const uint8_t* in, const uint8_t* left,
                                        const uint8_t* second, const Weights& w) {
  UnpremultipliedPair s = UnpremultiplyPair(in, second);
  const uint32_t transparent = BorrowMissingChroma(&s, left, in);
  __m256i cu_low, cu_high, cv_low, cv_high;
  PixelChroma(s.u, w, &cu_low, &cu_high);
  PixelChroma(s.v, w, &cv_low, &cv_high);
  const Channels low = ConvertPixels(s.y_low, cu_low, cv_low, w);
  const Channels high = ConvertPixels(s.y_high, cu_high, cv_high, w);

  __m256i b = _mm256_packus_epi16(low.b, high.b);
  __m256i g = _mm256_packus_epi16(low.g, high.g);
  __m256i r = _mm256_packus_epi16(low.r, high.r);
  const __m256i a = s.alpha;
  if (transparent != 0) {
    // Pixels of alpha 0 come out as four zero bytes.
    const __m256i clear = _mm256_cmpeq_epi8(a, _mm256_setzero_si256());
    b = _mm256_andnot_si256(clear, b);
    g = _mm256_andnot_si256(clear, g);
    r = _mm256_andnot_si256(clear, r);
  }
  const __m256i bg_low = _mm256_unpacklo_epi8(b, g), bg_high = _mm256_unpackhi_epi8(b, g);
  const __m256i ra_low = _mm256_unpacklo_epi8(r, a), ra_high = _mm256_unpackhi_epi8(r, a);
  const bool both = second != nullptr;
  StoreBlocks(out, kBlockBytes, both, 0, _mm256_unpacklo_epi16(bg_low, ra_low));
  StoreBlocks(out, kBlockBytes, both, 16, _mm256_unpackhi_epi16(bg_low, ra_low));
  StoreBlocks(out, kBlockBytes, both, 32, _mm256_unpacklo_epi16(bg_high, ra_high));
  StoreBlocks(out, kBlockBytes, both, 48, _mm256_unpackhi_epi16(bg_high, ra_high));
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 4 bytes.
VOXA_VECTOR_ENTRY bool DecodeRgbaField_avx2(uint8_t* destination, const uint8_t** in,
                                            const uint8_t* in_end, uint32_t width, uint32_t lines,
                                            std::ptrdiff_t step, int32_t* pending) {
  NoteWideRegistersUsed();
  if (lines == 0 || width < kBlockPixels) return true;
  const Weights w = LoadWeights();
  // The field's top line is the one at the highest address.
  uint8_t* top = destination + static_cast<std::ptrdiff_t>(lines - 1) * step;
  return WalkFieldRuns<kBlockBytes>(
      top, -step, width, lines, in, in_end, pending,
      [](uint8_t* out, uint32_t n) {
        const __m256i zero = _mm256_setzero_si256();
        for (; n != 0; --n, out += kBlockBytes) {
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), zero);
          _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), zero);
        }
      },
      [&w](uint8_t* out, const uint8_t* block, const uint8_t* left, uint32_t n) {
        // Two blocks at a time; the second's left block is the first.
        for (; n >= 2; n -= 2, out += 2 * kBlockBytes, block += 2 * kLiteralBlockBytes) {
          DecodeLiteralPair(out, block, left, block + kLiteralBlockBytes, w);
          left = block + kLiteralBlockBytes;
        }
        if (n != 0) DecodeLiteralPair(out, block, left, nullptr, w);
      });
}

}  // namespace voxa
