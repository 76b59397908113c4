// Encoder from 32-bit BGRA to a field payload, SSE: MMX registers with the
// SSE integer extensions, 4 lanes of 16 bits, a block in two halves of 8
// pixels (pairs 0-3, then pairs 4-7).
//
// The lane arithmetic and the low bytes of the widened lanes are those of the
// SSE2 encoder (see encode_rgba_sse2.cpp), so both variants write the same
// bytes: colour enters a lane as 256 × c, the alpha that scales Y and U as
// 256 × A + 0xFF, and V is scaled by its pair's raw alpha word.
#include <xmmintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kPixelBytes = 4;
constexpr std::size_t kBlockBytes = kBlockPixels * kPixelBytes;
// Bits of the byte-wise comparison that stand for the alpha bytes.
constexpr int kAlphaByteMask = 0x88;

inline __m64 Load(const uint8_t* p) {
  __m64 v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

// The payload is not read back while the field is coded: the stores go
// around the caches.
inline void Stream(uint8_t* p, __m64 v) { _mm_stream_pi(reinterpret_cast<__m64*>(p), v); }

inline __m64 Row(const uint16_t* table, int row) {
  return *reinterpret_cast<const __m64*>(table + 4 * row);
}

struct Constants {
  __m64 flip, threshold, ones;
  __m64 blue_luma, green_luma, red_luma, luma_offset;
  __m64 blue_red_chroma, green_chroma, blue_of_v, green_of_u, red_of_u, chroma_offset;

  Constants() {
    const uint16_t* alpha = AlphaScaleTable().form(4);
    const uint16_t* weights = EncoderWeightTable().form(4);
    flip = Row(alpha, kFlipRow);
    threshold = Row(alpha, kBgraThresholdRow);
    ones = Row(alpha, kAllOnesRow);
    blue_luma = Row(weights, kBlueLumaRow);
    green_luma = Row(weights, kGreenLumaRow);
    red_luma = Row(weights, kRedLumaRow);
    luma_offset = Row(weights, kLumaOffsetRow);
    blue_red_chroma = Row(weights, kBlueRedChromaRow);
    green_chroma = Row(weights, kGreenChromaRow);
    blue_of_v = Row(weights, kBlueOfVRow);
    green_of_u = Row(weights, kGreenOfURow);
    red_of_u = Row(weights, kRedOfURow);
    chroma_offset = Row(weights, kChromaOffsetRow);
  }
};

inline __m64 Luma128(const Constants& c, __m64 b, __m64 g, __m64 r) {
  const __m64 tb = _mm_mulhi_pu16(_mm_slli_pi16(b, 8), c.blue_luma);
  const __m64 tg = _mm_mulhi_pu16(_mm_slli_pi16(g, 8), c.green_luma);
  const __m64 tr = _mm_mulhi_pu16(_mm_slli_pi16(r, 8), c.red_luma);
  return _mm_adds_pi16(_mm_adds_pi16(_mm_adds_pi16(tb, tg), c.luma_offset), tr);
}

struct HalfChroma {
  __m64 u, v;  // 4 lanes each, not yet packed
};

// Codes pixels 8h..8h+7 of the block at `px`: their Y and inverse alpha go
// straight out, their U and V are handed back to be stored with the other
// half's.
HalfChroma EncodeHalf(const Constants& c, const uint8_t* px, uint8_t* out) {
  const __m64 p0 = Load(px), p1 = Load(px + 8), p2 = Load(px + 16), p3 = Load(px + 24);
  const __m64 t0 = _mm_unpacklo_pi8(p0, p2);          // pixels 0 4
  const __m64 t1 = _mm_unpackhi_pi8(p0, p2);          // 1 5
  const __m64 t2 = _mm_unpacklo_pi8(p1, p3);          // 2 6
  const __m64 t3 = _mm_unpackhi_pi8(p1, p3);          // 3 7
  const __m64 even_bg = _mm_unpacklo_pi8(t0, t2);     // B of 0 2 4 6, then G
  const __m64 even_ra = _mm_unpackhi_pi8(t0, t2);     // R, then A
  const __m64 odd_bg = _mm_unpacklo_pi8(t1, t3);
  const __m64 odd_ra = _mm_unpackhi_pi8(t1, t3);

  const __m64 zero = _mm_setzero_si64();
  const __m64 b0 = _mm_unpacklo_pi8(even_bg, zero), b1 = _mm_unpacklo_pi8(odd_bg, zero);
  const __m64 g0 = _mm_unpackhi_pi8(even_bg, zero), g1 = _mm_unpackhi_pi8(odd_bg, zero);
  const __m64 r0 = _mm_unpacklo_pi8(even_ra, zero), r1 = _mm_unpacklo_pi8(odd_ra, zero);

  const __m64 alpha = _mm_unpackhi_pi8(even_ra, odd_ra);  // per pair 256 × A(2k+1) + A(2k)
  const __m64 scale0 = _mm_unpackhi_pi8(c.ones, even_ra);
  const __m64 scale1 = _mm_unpackhi_pi8(c.ones, odd_ra);

  // Y ≤ 235: the odd pixels' luma goes into the high bytes without a pack.
  const __m64 y0 = _mm_srai_pi16(_mm_mulhi_pu16(Luma128(c, b0, g0, r0), scale0), 7);
  const __m64 y1 = _mm_srai_pi16(_mm_mulhi_pu16(Luma128(c, b1, g1, r1), scale1), 7);
  Stream(out + kLumaOffset, _mm_or_si64(y0, _mm_slli_pi16(y1, 8)));
  Stream(out + kAlphaOffset, _mm_xor_si64(alpha, c.ones));

  const __m64 bs = _mm_mulhi_pu16(_mm_slli_pi16(_mm_add_pi16(b0, b1), 6), c.blue_red_chroma);
  const __m64 gs = _mm_mulhi_pu16(_mm_slli_pi16(_mm_add_pi16(g0, g1), 7), c.green_chroma);
  const __m64 rs = _mm_mulhi_pu16(_mm_slli_pi16(_mm_add_pi16(r0, r1), 6), c.blue_red_chroma);
  const __m64 v = _mm_adds_pi16(
      _mm_subs_pi16(_mm_subs_pi16(rs, _mm_srai_pi16(gs, 1)), _mm_mulhi_pi16(bs, c.blue_of_v)),
      c.chroma_offset);
  const __m64 u = _mm_adds_pi16(
      _mm_subs_pi16(_mm_subs_pi16(bs, _mm_mulhi_pi16(gs, c.green_of_u)),
                    _mm_mulhi_pi16(rs, c.red_of_u)),
      c.chroma_offset);
  return HalfChroma{_mm_srai_pi16(_mm_mulhi_pu16(u, scale0), 6),
                    _mm_srai_pi16(_mm_mulhi_pu16(v, alpha), 6)};
}

void EncodeLiteralBlock(const Constants& c, const uint8_t* px, uint8_t* out) {
  const HalfChroma first = EncodeHalf(c, px, out);
  const HalfChroma second = EncodeHalf(c, px + kBlockBytes / 2, out + 8);
  Stream(out + kUOffset, _mm_packs_pu16(first.u, second.u));
  Stream(out + kVOffset, _mm_packs_pu16(first.v, second.v));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeRgbaField_sse(uint8_t** out, const uint8_t* source, uint32_t width,
                                           uint32_t lines, std::ptrdiff_t step,
                                           uint8_t** run_word) {
  const Constants c;
  WalkField(out, source, width, lines, step, run_word, LineOrder::kBottomUp, kBlockBytes,
            [&c](const uint8_t* block, VectorRunWriter& runs) {
              // Alpha 2 or more anywhere: after the flip of the top bit, a
              // signed byte above 0x81 (-127) at an alpha position.
              __m64 most = Load(block);
              for (std::size_t n = 8; n < kBlockBytes; n += 8) {
                most = _mm_max_pu8(most, Load(block + n));
              }
              const __m64 visible = _mm_cmpgt_pi8(_mm_xor_si64(most, c.flip), c.threshold);
              if (_mm_movemask_pi8(visible) & kAlphaByteMask) {
                EncodeLiteralBlock(c, block, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
  // Order the streamed stores before anything the caller does with the
  // payload, and leave the floating-point unit usable.
  _mm_sfence();
  _mm_empty();
}

}  // namespace voxa
