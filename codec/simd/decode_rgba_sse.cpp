// Decoder from a field payload to 32-bit BGRA, 4 lanes of 16 bits (SSE: MMX
// registers with the SSE integer extensions).
//
// Luma, alpha and chroma of a literal block are divided by alpha (256 / a
// scale, as for Y16A), then the block is converted in two halves of 8 pixels
// (pairs 0-3, pairs 4-7) with 1/8 resolution. Each pixel is handled on its
// own, so a pixel of alpha 0 does not blank its neighbour; chroma is
// interpolated between pairs instead of repeated.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/decode_common.h"
#include "codec/simd/decode_sse.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kBlockBytes = 64;

struct Weights {
  __m64 luma_gain, luma_offset, chroma_centre;
  __m64 green_from_u, green_from_v, blue_from_u, red_from_v;
};

Weights LoadWeights() {
  const uint16_t* t = DecoderWeightTable().form(4);
  return Weights{TableRow(t, kLumaGainRow4),  TableRow(t, kLumaOffsetRow4),
                 TableRow(t, kChromaCentreRow4), TableRow(t, kGreenFromURow),
                 TableRow(t, kGreenFromVRow), TableRow(t, kBlueFromURow),
                 TableRow(t, kRedFromVRow)};
}

// Chroma of the four pairs of a half (lanes hold U′ or V′) to chroma of its
// eight pixels, in units of 1/64 centred on 0. Pixel 2k takes its pair's
// value twice, pixel 2k + 1 the sum of its pair's and the next pair's. The
// half's last pixel takes as its next value `beyond` (in lane 3): for pixel 7
// U′ or V′ of pair 4 shifted left by 5, for pixel 15 that of pair 7 itself,
// so interpolation never crosses the block's edge.
inline void PixelChroma(__m64 pairs, __m64 beyond, const Weights& w, __m64* low, __m64* high) {
  const __m64 lanes = _mm_or_si64(_mm_slli_pi16(pairs, 8), _mm_set1_pi16(kChromaLowByte));
  const __m64 c = _mm_srli_pi16(lanes, 3);
  const __m64 next = _mm_or_si64(_mm_srli_si64(c, 16), beyond);
  const __m64 even = _mm_adds_pi16(_mm_adds_pi16(c, c), w.chroma_centre);
  const __m64 odd = _mm_adds_pi16(_mm_adds_pi16(c, next), w.chroma_centre);
  *low = _mm_unpacklo_pi16(even, odd);
  *high = _mm_unpackhi_pi16(even, odd);
}

struct Channels {
  __m64 b, g, r;
};

// Four pixels from their luma Y′ and centred chroma, as B, G, R lanes
// clamped to 0..255 by the packing that follows.
inline Channels ConvertPixels(__m64 luma, __m64 cu, __m64 cv, const Weights& w) {
  const __m64 widened = _mm_or_si64(_mm_slli_pi16(luma, 8), _mm_set1_pi16(kLumaLowByte));
  const __m64 yt = _mm_adds_pi16(_mm_mulhi_pu16(widened, w.luma_gain), w.luma_offset);
  Channels c;
  c.g = _mm_adds_pi16(_mm_adds_pi16(_mm_mulhi_pi16(cu, w.green_from_u), yt),
                      _mm_mulhi_pi16(cv, w.green_from_v));
  c.g = _mm_srai_pi16(c.g, 3);
  c.b = _mm_srai_pi16(_mm_adds_pi16(_mm_mulhi_pi16(cu, w.blue_from_u), yt), 3);
  c.r = _mm_srai_pi16(_mm_adds_pi16(_mm_mulhi_pi16(cv, w.red_from_v), yt), 3);
  return c;
}

// Lane 3 of `pairs` (h = 1) or lane 0 (h = 0) shifted left by 5, in lane 3.
inline __m64 Beyond(__m64 second_half_pairs, int h) {
  const __m64 scaled = _mm_slli_pi16(second_half_pairs, 5);
  return h == 0 ? _mm_slli_si64(scaled, 48) : _mm_slli_si64(_mm_srli_si64(scaled, 48), 48);
}

inline void DecodeLiteral(uint8_t* out, const uint8_t* in, const uint8_t* left,
                          const Weights& w) {
  const __m64 zero = _mm_setzero_si64();
  const Reciprocals rc = GatherReciprocals(in + kAlphaOffset);
  const __m64 u_bytes = Load8(in + kUOffset);
  const __m64 v_bytes = Load8(in + kVOffset);
  __m64 u[2] = {Unpremultiply(_mm_unpacklo_pi8(zero, u_bytes), rc.even[0]),
                Unpremultiply(_mm_unpackhi_pi8(zero, u_bytes), rc.even[1])};
  __m64 v[2] = {Unpremultiply(_mm_unpacklo_pi8(zero, v_bytes), rc.odd[0]),
                Unpremultiply(_mm_unpackhi_pi8(zero, v_bytes), rc.odd[1])};
  const uint32_t transparent = TransparentPixelMask(in);
  BorrowMissingChroma(transparent, u, v, in, left);
  for (int h = 0; h < 2; ++h) {
    const __m64 luma = Load8(in + kLumaOffset + 8 * h);
    const __m64 y_low =
        Unpremultiply(_mm_unpacklo_pi8(zero, luma), _mm_unpacklo_pi16(rc.even[h], rc.odd[h]));
    const __m64 y_high =
        Unpremultiply(_mm_unpackhi_pi8(zero, luma), _mm_unpackhi_pi16(rc.even[h], rc.odd[h]));
    __m64 cu_low, cu_high, cv_low, cv_high;
    PixelChroma(u[h], Beyond(u[1], h), w, &cu_low, &cu_high);
    PixelChroma(v[h], Beyond(v[1], h), w, &cv_low, &cv_high);
    const Channels low = ConvertPixels(y_low, cu_low, cv_low, w);
    const Channels high = ConvertPixels(y_high, cu_high, cv_high, w);

    __m64 b = _mm_packs_pu16(low.b, high.b);
    __m64 g = _mm_packs_pu16(low.g, high.g);
    __m64 r = _mm_packs_pu16(low.r, high.r);
    const __m64 a = _mm_xor_si64(Load8(in + kAlphaOffset + 8 * h), AllOnes());
    if (transparent != 0) {
      // Pixels of alpha 0 come out as four zero bytes.
      const __m64 clear = _mm_cmpeq_pi8(a, zero);
      b = _mm_andnot_si64(clear, b);
      g = _mm_andnot_si64(clear, g);
      r = _mm_andnot_si64(clear, r);
    }
    const __m64 bg_low = _mm_unpacklo_pi8(b, g), bg_high = _mm_unpackhi_pi8(b, g);
    const __m64 ra_low = _mm_unpacklo_pi8(r, a), ra_high = _mm_unpackhi_pi8(r, a);
    uint8_t* px = out + 32 * h;
    Store8(px, _mm_unpacklo_pi16(bg_low, ra_low));
    Store8(px + 8, _mm_unpackhi_pi16(bg_low, ra_low));
    Store8(px + 16, _mm_unpacklo_pi16(bg_high, ra_high));
    Store8(px + 24, _mm_unpackhi_pi16(bg_high, ra_high));
  }
}

}  // namespace

// Preconditions: width a multiple of 16; the destination holds `lines` lines
// `step` bytes apart, each of width × 4 bytes.
VOXA_VECTOR_ENTRY bool DecodeRgbaField_sse(uint8_t* destination, const uint8_t** in,
                                           const uint8_t* in_end, uint32_t width,
                                           uint32_t lines, std::ptrdiff_t step,
                                           int32_t* pending) {
  if (lines == 0 || width < kBlockPixels) return true;
  const Weights w = LoadWeights();
  const __m64 zero = _mm_setzero_si64();
  // The field's top line is the one at the highest address.
  uint8_t* top = destination + static_cast<std::ptrdiff_t>(lines - 1) * step;
  const bool complete = WalkField<kBlockBytes>(
      top, -step, width, lines, in, in_end, pending,
      [&](uint8_t* out, uint32_t n) {
        for (std::size_t i = 0; i < n * kBlockBytes; i += 8) Store8(out + i, zero);
      },
      [&](uint8_t* out, const uint8_t* block, const uint8_t* left) {
        DecodeLiteral(out, block, left, w);
      });
  LeaveMultimediaState();
  return complete;
}

}  // namespace voxa
