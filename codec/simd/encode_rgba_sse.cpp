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
#include "codec/encode_field_walk.h"
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

// Ordinary stores: streaming the literal blocks past the caches (movntq) and
// prefetching the source with a non-temporal hint both measured slower, on
// titles by up to half, and without streamed stores no fence is needed.
inline void Store(uint8_t* p, __m64 v) { __builtin_memcpy(p, &v, sizeof v); }

// The constant rows, read as memory operands: MMX has eight registers.
struct Rows {
  const __m64* alpha;
  const __m64* weights;
};

inline Rows TableRows() {
  return Rows{reinterpret_cast<const __m64*>(AlphaScaleTable().form(4)),
              reinterpret_cast<const __m64*>(EncoderWeightTable().form(4))};
}

inline __m64 Luma128(const __m64* w, __m64 b, __m64 g, __m64 r) {
  const __m64 tb = _mm_mulhi_pu16(_mm_slli_pi16(b, 8), w[kBlueLumaRow]);
  const __m64 tg = _mm_mulhi_pu16(_mm_slli_pi16(g, 8), w[kGreenLumaRow]);
  const __m64 tr = _mm_mulhi_pu16(_mm_slli_pi16(r, 8), w[kRedLumaRow]);
  return _mm_adds_pi16(_mm_adds_pi16(_mm_adds_pi16(tb, tg), w[kLumaOffsetRow]), tr);
}

struct HalfChroma {
  __m64 u, v;  // 4 lanes each, not yet packed
};

// Codes pixels 8h..8h+7 of the block at `px`: their Y and inverse alpha go
// straight out, their U and V are handed back to be stored with the other
// half's.
inline HalfChroma EncodeHalf(const Rows& c, const uint8_t* px, uint8_t* out) {
  const __m64* w = c.weights;
  const __m64 ones = c.alpha[kAllOnesRow];
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
  const __m64 scale0 = _mm_unpackhi_pi8(ones, even_ra);
  const __m64 scale1 = _mm_unpackhi_pi8(ones, odd_ra);

  // Y ≤ 235: the odd pixels' luma goes into the high bytes without a pack.
  const __m64 y0 = _mm_srai_pi16(_mm_mulhi_pu16(Luma128(w, b0, g0, r0), scale0), 7);
  const __m64 y1 = _mm_srai_pi16(_mm_mulhi_pu16(Luma128(w, b1, g1, r1), scale1), 7);
  Store(out + kLumaOffset, _mm_or_si64(y0, _mm_slli_pi16(y1, 8)));
  Store(out + kAlphaOffset, _mm_xor_si64(alpha, ones));

  const __m64 sb = _mm_add_pi16(b0, b1), sg = _mm_add_pi16(g0, g1), sr = _mm_add_pi16(r0, r1);
  const __m64 bs = _mm_mulhi_pu16(_mm_slli_pi16(sb, 6), w[kBlueRedChromaRow]);
  const __m64 gs = _mm_mulhi_pu16(_mm_slli_pi16(sg, 7), w[kGreenChromaRow]);
  const __m64 rs = _mm_mulhi_pu16(_mm_slli_pi16(sr, 6), w[kBlueRedChromaRow]);
  __m64 v = _mm_subs_pi16(rs, _mm_srai_pi16(gs, 1));
  v = _mm_adds_pi16(_mm_subs_pi16(v, _mm_mulhi_pi16(bs, w[kBlueOfVRow])), w[kChromaOffsetRow]);
  __m64 u = _mm_subs_pi16(bs, _mm_mulhi_pi16(gs, w[kGreenOfURow]));
  u = _mm_adds_pi16(_mm_subs_pi16(u, _mm_mulhi_pi16(rs, w[kRedOfURow])), w[kChromaOffsetRow]);
  return HalfChroma{_mm_srai_pi16(_mm_mulhi_pu16(u, scale0), 6),
                    _mm_srai_pi16(_mm_mulhi_pu16(v, alpha), 6)};
}

inline void EncodeLiteralBlock(const Rows& c, const uint8_t* px, uint8_t* out) {
  const HalfChroma first = EncodeHalf(c, px, out);
  const HalfChroma second = EncodeHalf(c, px + kBlockBytes / 2, out + 8);
  Store(out + kUOffset, _mm_packs_pu16(first.u, second.u));
  Store(out + kVOffset, _mm_packs_pu16(first.v, second.v));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeRgbaField_sse(uint8_t** out, const uint8_t* source, uint32_t width,
                                           uint32_t lines, std::ptrdiff_t step,
                                           uint8_t** run_word) {
  const Rows c = TableRows();
  WalkField(out, source, width, lines, step, run_word, LineOrder::kBottomUp, kBlockBytes,
            [c](const uint8_t* block, RunWriter& runs) {
              // Alpha 2 or more anywhere: after the flip of the top bit, a
              // signed byte above 0x81 (-127) at an alpha position.
              const __m64 m0 = _mm_max_pu8(Load(block), Load(block + 8));
              const __m64 m1 = _mm_max_pu8(Load(block + 16), Load(block + 24));
              const __m64 m2 = _mm_max_pu8(Load(block + 32), Load(block + 40));
              const __m64 m3 = _mm_max_pu8(Load(block + 48), Load(block + 56));
              const __m64 most = _mm_max_pu8(_mm_max_pu8(m0, m1), _mm_max_pu8(m2, m3));
              const __m64 visible = _mm_cmpgt_pi8(_mm_xor_si64(most, c.alpha[kFlipRow]),
                                                  c.alpha[kBgraThresholdRow]);
              if (_mm_movemask_pi8(visible) & kAlphaByteMask) {
                EncodeLiteralBlock(c, block, runs.Literal());
              } else {
                runs.Transparent();
              }
            });
  // The x87 unit shares the MMX registers: leave it usable.
  _mm_empty();
}

}  // namespace voxa
