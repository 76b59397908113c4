// Decoder from a field payload to 32-bit BGRA, 8 lanes of 16 bits (SSE2).
//
// A literal block is decoded whole: luma, alpha and chroma are divided by
// alpha (256 / a scale, as for Y16A), then the 16 pixels are converted in
// two vectors of 8 with 1/8 resolution. Each pixel is handled on its own, so
// a pixel of alpha 0 does not blank its neighbour (it gets the chroma its
// transparent partner could not carry from the pairs beside it); chroma is
// interpolated between pairs instead of repeated.
#include <emmintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/decode_sse2.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 64;

struct Weights {
  __m128i luma_gain, chroma_centre, luma_offset;
  __m128i green_from_u, green_from_v, blue_from_u, red_from_v;
  __m128i luma_low, chroma_low;
};

Weights LoadWeights() {
  const uint16_t* t = DecoderWeightTable().form(8);
  return Weights{TableRow(t, kLumaGainRow8),  TableRow(t, kChromaCentreRow8),
                 TableRow(t, kLumaOffsetRow8), TableRow(t, kGreenFromURow),
                 TableRow(t, kGreenFromVRow), TableRow(t, kBlueFromURow),
                 TableRow(t, kRedFromVRow),   _mm_set1_epi16(kLumaLowByte),
                 _mm_set1_epi16(kChromaLowByte)};
}

// Chroma of pairs 0-7 (lanes hold U′ or V′) to chroma of pixels 0-7 and
// 8-15, in units of 1/64 centred on 0. Pixel 2k takes its pair's value
// twice, pixel 2k + 1 the sum of its pair's and the next pair's; pixel 15
// has no next pair in the block and repeats its own: interpolation never
// crosses the block's edge.
inline void PixelChroma(__m128i pairs, const Weights& w, __m128i* low, __m128i* high) {
  const __m128i lanes = _mm_or_si128(_mm_slli_epi16(pairs, 8), w.chroma_low);
  const __m128i c = _mm_adds_epi16(_mm_srli_epi16(lanes, 3), w.chroma_centre);
  // Lanes 1-7 moved down one, lane 7 repeated.
  const __m128i next = _mm_shufflehi_epi16(_mm_srli_si128(c, 2), _MM_SHUFFLE(2, 2, 1, 0));
  const __m128i even = _mm_adds_epi16(c, c);
  const __m128i odd = _mm_adds_epi16(c, next);
  *low = _mm_unpacklo_epi16(even, odd);
  *high = _mm_unpackhi_epi16(even, odd);
}

struct Channels {
  __m128i b, g, r;
};

// Eight pixels from their luma Y′ and centred chroma, as B, G, R lanes
// clamped to 0..255 by the packing that follows.
inline Channels ConvertPixels(__m128i luma, __m128i cu, __m128i cv, const Weights& w) {
  const __m128i widened = _mm_or_si128(_mm_slli_epi16(luma, 8), w.luma_low);
  const __m128i yt = _mm_adds_epi16(_mm_mulhi_epu16(widened, w.luma_gain), w.luma_offset);
  Channels c;
  c.g = _mm_adds_epi16(_mm_adds_epi16(_mm_mulhi_epi16(cu, w.green_from_u), yt),
                       _mm_mulhi_epi16(cv, w.green_from_v));
  c.g = _mm_srai_epi16(c.g, 3);
  c.b = _mm_srai_epi16(_mm_adds_epi16(_mm_mulhi_epi16(cu, w.blue_from_u), yt), 3);
  c.r = _mm_srai_epi16(_mm_adds_epi16(_mm_mulhi_epi16(cv, w.red_from_v), yt), 3);
  return c;
}

inline void DecodeLiteral(uint8_t* out, const uint8_t* in, const uint8_t* left,
                          const Weights& w) {
  Unpremultiplied s = UnpremultiplyBlock(in);
  const uint32_t transparent = BorrowMissingChroma(&s, left);
  __m128i cu_low, cu_high, cv_low, cv_high;
  PixelChroma(s.u, w, &cu_low, &cu_high);
  PixelChroma(s.v, w, &cv_low, &cv_high);
  const Channels low = ConvertPixels(s.y_low, cu_low, cv_low, w);
  const Channels high = ConvertPixels(s.y_high, cu_high, cv_high, w);

  __m128i b = _mm_packus_epi16(low.b, high.b);
  __m128i g = _mm_packus_epi16(low.g, high.g);
  __m128i r = _mm_packus_epi16(low.r, high.r);
  const __m128i a = s.alpha;
  if (transparent != 0) {
    // Pixels of alpha 0 come out as four zero bytes.
    const __m128i clear = _mm_cmpeq_epi8(a, _mm_setzero_si128());
    b = _mm_andnot_si128(clear, b);
    g = _mm_andnot_si128(clear, g);
    r = _mm_andnot_si128(clear, r);
  }
  const __m128i bg_low = _mm_unpacklo_epi8(b, g), bg_high = _mm_unpackhi_epi8(b, g);
  const __m128i ra_low = _mm_unpacklo_epi8(r, a), ra_high = _mm_unpackhi_epi8(r, a);
  StoreBytes(out, _mm_unpacklo_epi16(bg_low, ra_low));
  StoreBytes(out + 16, _mm_unpackhi_epi16(bg_low, ra_low));
  StoreBytes(out + 32, _mm_unpacklo_epi16(bg_high, ra_high));
  StoreBytes(out + 48, _mm_unpackhi_epi16(bg_high, ra_high));
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 4 bytes.
VOXA_VECTOR_ENTRY bool DecodeRgbaField_sse2(uint8_t* destination, const uint8_t** in,
                                            const uint8_t* in_end, uint32_t width,
                                            uint32_t lines, std::ptrdiff_t step,
                                            int32_t* pending) {
  if (lines == 0 || width < kBlockPixels) return true;
  const Weights w = LoadWeights();
  const __m128i zero = _mm_setzero_si128();
  // The field's top line is the one at the highest address.
  uint8_t* top = destination + static_cast<std::ptrdiff_t>(lines - 1) * step;
  const bool complete = WalkField<kBlockBytes>(
      top, -step, width, lines, in, in_end, pending,
      [&](uint8_t* out, uint32_t n) {
        for (; n != 0; --n, out += kBlockBytes) {
          StoreBytes(out, zero);
          StoreBytes(out + 16, zero);
          StoreBytes(out + 32, zero);
          StoreBytes(out + 48, zero);
        }
      },
      [&](uint8_t* out, const uint8_t* block, const uint8_t* left) {
        DecodeLiteral(out, block, left, w);
      });
  return complete;
}

}  // namespace voxa
