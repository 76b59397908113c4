// Encoder from 32-bit BGRA to a field payload, SSE2: a whole block of 16
// pixels in 8 lanes of 16 bits, one lane per pixel pair.
//
// Lane arithmetic (the same as the SSE encoder's, so both write the same
// bytes). An 8-bit value c enters a lane as 256 × c + s; the low byte s is
// 0 for colour and 0xFF for the alpha that scales Y and U. With those,
// 256 × A + 0xFF over 65536 is A / 255 within 1/256 of a step, opaque white
// codes Y 235, U 128, V 128 as the portable encoder does, and on titles Y and
// U differ from it by 0.08 and 0.04 on average. V is scaled by the raw alpha
// word of its pair, 256 × A(2k+1) + A(2k), which costs nothing to form.
//
//   t = hi(256 B, 3211) + hi(256 G, 16515) + 2112 + hi(256 R, 8421)   (Y × 128, +16.5)
//   Y = hi(t, 256 A + 0xFF) >> 7
//   Bs = hi(64 SB, 14385), Rs = hi(64 SR, 14385)        (0.439 × pair sum, × 32)
//   Gs = hi(128 SG, 12059)                               (0.368 × pair sum, × 64)
//   V = Rs - (Gs >> 1) - his(Bs, 10599) + 8224           (× 64, +128.5)
//   U = Bs - his(Gs, 25912) - his(Rs, 22094) + 8224
//   U' = hi(U, 256 A(2k) + 0xFF) >> 6, V' = hi(V, 256 A(2k+1) + A(2k)) >> 6
//
// hi is the high half of the unsigned 16 × 16 product, his of the signed one.
// hi(64 SB, 14385) is exactly (SB × 14385) >> 10 of a 32-bit product, and
// hi(128 SG, 12059) exactly (SG × 12059) >> 9; additions saturate.
#include <emmintrin.h>

#include "codec/field_kernels.h"
#include "codec/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {
namespace {

constexpr std::size_t kPixelBytes = 4;
constexpr std::size_t kBlockBytes = kBlockPixels * kPixelBytes;
// Bits of the byte-wise comparison that stand for the alpha bytes.
constexpr int kAlphaByteMask = 0x8888;

// The constant rows, 16-byte aligned: read as memory operands.
struct Rows {
  const __m128i* alpha;
  const __m128i* weights;
};

inline Rows TableRows() {
  return Rows{reinterpret_cast<const __m128i*>(AlphaScaleTable().form(8)),
              reinterpret_cast<const __m128i*>(EncoderWeightTable().form(8))};
}

// Luma of 8 pixels (one of each pair) × 128, from their zero-extended
// channels.
inline __m128i Luma128(const __m128i* w, __m128i b, __m128i g, __m128i r) {
  const __m128i tb = _mm_mulhi_epu16(_mm_slli_epi16(b, 8), w[kBlueLumaRow]);
  const __m128i tg = _mm_mulhi_epu16(_mm_slli_epi16(g, 8), w[kGreenLumaRow]);
  const __m128i tr = _mm_mulhi_epu16(_mm_slli_epi16(r, 8), w[kRedLumaRow]);
  return _mm_adds_epi16(_mm_adds_epi16(_mm_adds_epi16(tb, tg), w[kLumaOffsetRow]), tr);
}

inline void EncodeLiteralBlock(const Rows& c, const __m128i px[4], uint8_t* out) {
  const __m128i* w = c.weights;
  const __m128i ones = c.alpha[kAllOnesRow];
  // Transpose to channel planes split by parity: even pixels (the left of
  // each pair) and odd pixels, 8 bytes per channel, pair order kept.
  const __m128i t0 = _mm_unpacklo_epi8(px[0], px[2]);  // pixels 0 8 1 9
  const __m128i t1 = _mm_unpackhi_epi8(px[0], px[2]);  // 2 10 3 11
  const __m128i t2 = _mm_unpacklo_epi8(px[1], px[3]);  // 4 12 5 13
  const __m128i t3 = _mm_unpackhi_epi8(px[1], px[3]);  // 6 14 7 15
  const __m128i q0 = _mm_unpacklo_epi8(t0, t2);        // channels of 0 4 8 12
  const __m128i q1 = _mm_unpackhi_epi8(t0, t2);        // 1 5 9 13
  const __m128i q2 = _mm_unpacklo_epi8(t1, t3);        // 2 6 10 14
  const __m128i q3 = _mm_unpackhi_epi8(t1, t3);        // 3 7 11 15
  const __m128i even_bg = _mm_unpacklo_epi8(q0, q2);   // B of 0 2 .. 14, then G
  const __m128i even_ra = _mm_unpackhi_epi8(q0, q2);   // R, then A
  const __m128i odd_bg = _mm_unpacklo_epi8(q1, q3);
  const __m128i odd_ra = _mm_unpackhi_epi8(q1, q3);

  const __m128i zero = _mm_setzero_si128();
  const __m128i b0 = _mm_unpacklo_epi8(even_bg, zero), b1 = _mm_unpacklo_epi8(odd_bg, zero);
  const __m128i g0 = _mm_unpackhi_epi8(even_bg, zero), g1 = _mm_unpackhi_epi8(odd_bg, zero);
  const __m128i r0 = _mm_unpacklo_epi8(even_ra, zero), r1 = _mm_unpacklo_epi8(odd_ra, zero);

  // The alpha bytes in pixel order; as words, each pair's 256 × A(2k+1) + A(2k).
  const __m128i alpha = _mm_unpackhi_epi8(even_ra, odd_ra);
  const __m128i scale0 = _mm_unpackhi_epi8(ones, even_ra);  // 256 × A(2k) + 0xFF
  const __m128i scale1 = _mm_unpackhi_epi8(ones, odd_ra);   // 256 × A(2k+1) + 0xFF

  // Y ≤ 235 in every lane, so the odd pixels' luma can be shifted into the
  // high bytes without the clamp of a pack.
  const __m128i y0 = _mm_srai_epi16(_mm_mulhi_epu16(Luma128(w, b0, g0, r0), scale0), 7);
  const __m128i y1 = _mm_srai_epi16(_mm_mulhi_epu16(Luma128(w, b1, g1, r1), scale1), 7);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kLumaOffset),
                   _mm_or_si128(y0, _mm_slli_epi16(y1, 8)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kAlphaOffset), _mm_xor_si128(alpha, ones));

  const __m128i sb = _mm_add_epi16(b0, b1), sg = _mm_add_epi16(g0, g1);
  const __m128i sr = _mm_add_epi16(r0, r1);
  const __m128i bs = _mm_mulhi_epu16(_mm_slli_epi16(sb, 6), w[kBlueRedChromaRow]);
  const __m128i gs = _mm_mulhi_epu16(_mm_slli_epi16(sg, 7), w[kGreenChromaRow]);
  const __m128i rs = _mm_mulhi_epu16(_mm_slli_epi16(sr, 6), w[kBlueRedChromaRow]);
  __m128i v = _mm_subs_epi16(rs, _mm_srai_epi16(gs, 1));
  v = _mm_adds_epi16(_mm_subs_epi16(v, _mm_mulhi_epi16(bs, w[kBlueOfVRow])), w[kChromaOffsetRow]);
  __m128i u = _mm_subs_epi16(bs, _mm_mulhi_epi16(gs, w[kGreenOfURow]));
  u = _mm_adds_epi16(_mm_subs_epi16(u, _mm_mulhi_epi16(rs, w[kRedOfURow])), w[kChromaOffsetRow]);
  const __m128i u_out = _mm_srai_epi16(_mm_mulhi_epu16(u, scale0), 6);
  const __m128i v_out = _mm_srai_epi16(_mm_mulhi_epu16(v, alpha), 6);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kUOffset), _mm_packus_epi16(u_out, v_out));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeRgbaField_sse2(uint8_t** out, const uint8_t* source,
                                            uint32_t width, uint32_t lines, std::ptrdiff_t step,
                                            uint8_t** run_word) {
  const Rows c = TableRows();
  WalkField(out, source, width, lines, step, run_word, LineOrder::kBottomUp, kBlockBytes,
            [c](const uint8_t* block, RunWriter& runs) {
              // No prefetch: with a non-temporal hint two blocks ahead the
              // kernel measured several times slower.
              __m128i px[4];
              for (int n = 0; n < 4; ++n) {
                px[n] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * n));
              }
              // Alpha 2 or more anywhere: after the flip of the top bit, a
              // signed byte above 0x81 (-127) at an alpha position.
              const __m128i most = _mm_max_epu8(_mm_max_epu8(px[0], px[1]),
                                                _mm_max_epu8(px[2], px[3]));
              const __m128i visible = _mm_cmpgt_epi8(_mm_xor_si128(most, c.alpha[kFlipRow]),
                                                     c.alpha[kBgraThresholdRow]);
              if (_mm_movemask_epi8(visible) & kAlphaByteMask) {
                EncodeLiteralBlock(c, px, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
}

}  // namespace voxa
