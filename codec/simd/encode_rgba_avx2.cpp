// Encoder from 32-bit BGRA to a field payload, AVX2: two blocks at a time
// through the lane arithmetic of the SSE2 encoder (encode_rgba_sse2.cpp has
// the formulas), so that both write the same bytes. Each 128-bit half takes
// four pixels of each 8-pixel row of the pair as the SSE2 encoder takes its
// four registers: the left half pixels 0-3 and 8-11 of both blocks, the right
// half pixels 4-7 and 12-15. The loads are then plain 32-byte ones, pairs of
// pixels stay together, and one cross-half permutation per output puts each
// block's bytes back in order. The widenings are arranged to need fewer
// shifts. Pairs whose blocks differ in kind are coded together and only the
// literal one is stored.
#include <immintrin.h>

#include "codec/field_kernels.h"
#include "codec/simd/avx2_pairs.h"
#include "codec/encode_field_walk.h"
#include "codec/simd/kernel_tables.h"
#include "codec/simd/vector_kernels.h"
#include "codec/simd/wide_registers.h"

namespace voxa {
namespace {

constexpr std::size_t kPixelBytes = 4;
constexpr std::size_t kBlockBytes = kBlockPixels * kPixelBytes;
// Bits of the byte-wise comparison that stand for the alpha bytes.
constexpr uint32_t kAlphaByteMask = 0x88888888u;

struct Rows {
  __m256i flip, threshold, ones;
  __m256i blue_luma, green_luma, red_luma, luma_offset;
  __m256i blue_red_chroma, green_chroma, blue_of_v, green_of_u, red_of_u, chroma_offset;
};

VOXA_AVX2_INLINE Rows TableRows() {
  const uint16_t* a = AlphaScaleTable().form(8);
  const uint16_t* w = EncoderWeightTable().form(8);
  return Rows{BroadcastRow(a, kFlipRow),        BroadcastRow(a, kBgraThresholdRow),
              BroadcastRow(a, kAllOnesRow),     BroadcastRow(w, kBlueLumaRow),
              BroadcastRow(w, kGreenLumaRow),   BroadcastRow(w, kRedLumaRow),
              BroadcastRow(w, kLumaOffsetRow),  BroadcastRow(w, kBlueRedChromaRow),
              BroadcastRow(w, kGreenChromaRow), BroadcastRow(w, kBlueOfVRow),
              BroadcastRow(w, kGreenOfURow),    BroadcastRow(w, kRedOfURow),
              BroadcastRow(w, kChromaOffsetRow)};
}

// Luma × 128 from channels that enter as 256 × c (the high byte of each lane).
VOXA_AVX2_INLINE __m256i Luma128(const Rows& w, __m256i b, __m256i g, __m256i r) {
  const __m256i tb = _mm256_mulhi_epu16(b, w.blue_luma);
  const __m256i tg = _mm256_mulhi_epu16(g, w.green_luma);
  const __m256i tr = _mm256_mulhi_epu16(r, w.red_luma);
  return _mm256_adds_epi16(_mm256_adds_epi16(_mm256_adds_epi16(tb, tg), w.luma_offset), tr);
}

VOXA_AVX2_INLINE __m256i Load32(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Whether the alpha bytes of `most` (the largest of a block's bytes) hold 2
// or more.
VOXA_AVX2_INLINE uint32_t Visible(const Rows& w, __m256i most) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(
             _mm256_cmpgt_epi8(_mm256_xor_si256(most, w.flip), w.threshold))) &
         kAlphaByteMask;
}

VOXA_AVX2_INLINE void EncodeLiteralPair(const Rows& w, const __m256i px[4], uint8_t* first,
                                        uint8_t* second) {
  // Channel planes split by parity, as in the SSE2 encoder, in each half:
  // the "pixels" of the left half are 0-3 and 8-11 of the first block, then
  // of the second, those of the right half 4-7 and 12-15.
  const __m256i t0 = _mm256_unpacklo_epi8(px[0], px[2]);
  const __m256i t1 = _mm256_unpackhi_epi8(px[0], px[2]);
  const __m256i t2 = _mm256_unpacklo_epi8(px[1], px[3]);
  const __m256i t3 = _mm256_unpackhi_epi8(px[1], px[3]);
  const __m256i q0 = _mm256_unpacklo_epi8(t0, t2);
  const __m256i q1 = _mm256_unpackhi_epi8(t0, t2);
  const __m256i q2 = _mm256_unpacklo_epi8(t1, t3);
  const __m256i q3 = _mm256_unpackhi_epi8(t1, t3);
  const __m256i even_bg = _mm256_unpacklo_epi8(q0, q2);
  const __m256i even_ra = _mm256_unpackhi_epi8(q0, q2);
  const __m256i odd_bg = _mm256_unpacklo_epi8(q1, q3);
  const __m256i odd_ra = _mm256_unpackhi_epi8(q1, q3);

  // The channels widened straight to 256 × c, which the luma products take.
  const __m256i zero = _mm256_setzero_si256();
  const __m256i b0 = _mm256_unpacklo_epi8(zero, even_bg), b1 = _mm256_unpacklo_epi8(zero, odd_bg);
  const __m256i g0 = _mm256_unpackhi_epi8(zero, even_bg), g1 = _mm256_unpackhi_epi8(zero, odd_bg);
  const __m256i r0 = _mm256_unpacklo_epi8(zero, even_ra), r1 = _mm256_unpacklo_epi8(zero, odd_ra);

  const __m256i alpha = _mm256_unpackhi_epi8(even_ra, odd_ra);
  const __m256i scale0 = _mm256_unpackhi_epi8(w.ones, even_ra);
  const __m256i scale1 = _mm256_unpackhi_epi8(w.ones, odd_ra);

  const __m256i y0 = _mm256_srai_epi16(_mm256_mulhi_epu16(Luma128(w, b0, g0, r0), scale0), 7);
  const __m256i y1 = _mm256_srai_epi16(_mm256_mulhi_epu16(Luma128(w, b1, g1, r1), scale1), 7);
  // Groups of four pixels: A0-3 A8-11 B0-3 B8-11 | A4-7 A12-15 B4-7 B12-15.
  const __m256i in_order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  StorePair(first, second, kLumaOffset,
            _mm256_permutevar8x32_epi32(_mm256_or_si256(y0, _mm256_slli_epi16(y1, 8)), in_order));
  StorePair(first, second, kAlphaOffset,
            _mm256_permutevar8x32_epi32(_mm256_xor_si256(alpha, w.ones), in_order));

  // The rounding average of 256 × c0 and 256 × c1 is exactly 128 × (c0 + c1):
  // the pair sums × 64 and × 128 with one shift at most.
  const __m256i sb64 = _mm256_srli_epi16(_mm256_avg_epu16(b0, b1), 1);
  const __m256i sg128 = _mm256_avg_epu16(g0, g1);
  const __m256i sr64 = _mm256_srli_epi16(_mm256_avg_epu16(r0, r1), 1);
  const __m256i bs = _mm256_mulhi_epu16(sb64, w.blue_red_chroma);
  const __m256i gs = _mm256_mulhi_epu16(sg128, w.green_chroma);
  const __m256i rs = _mm256_mulhi_epu16(sr64, w.blue_red_chroma);
  __m256i v = _mm256_subs_epi16(rs, _mm256_srai_epi16(gs, 1));
  v = _mm256_adds_epi16(_mm256_subs_epi16(v, _mm256_mulhi_epi16(bs, w.blue_of_v)), w.chroma_offset);
  __m256i u = _mm256_subs_epi16(bs, _mm256_mulhi_epi16(gs, w.green_of_u));
  u = _mm256_adds_epi16(_mm256_subs_epi16(u, _mm256_mulhi_epi16(rs, w.red_of_u)), w.chroma_offset);
  const __m256i u_out = _mm256_srai_epi16(_mm256_mulhi_epu16(u, scale0), 6);
  const __m256i v_out = _mm256_srai_epi16(_mm256_mulhi_epu16(v, alpha), 6);
  // Pairs of pairs (two bytes): U of A01 A45 B01 B45, V of the same | U of
  // A23 A67 B23 B67, V of the same. The permutation gathers each block's,
  // the shuffle orders them.
  const __m256i blocks = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(u_out, v_out),
                                                     _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7));
  const __m256i pair_order = _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15,
                                              0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
  StorePair(first, second, kUOffset, _mm256_shuffle_epi8(blocks, pair_order));
}

}  // namespace

VOXA_VECTOR_ENTRY void EncodeRgbaField_avx2(uint8_t** out, const uint8_t* source, uint32_t width,
                                            uint32_t lines, std::ptrdiff_t step,
                                            uint8_t** run_word) {
  NoteWideRegistersUsed();
  const Rows w = TableRows();
  WalkFieldInPairs(
      out, source, width, lines, step, run_word, LineOrder::kBottomUp, kBlockBytes,
      [&w](const uint8_t* first, const uint8_t* second, RunWriter& runs) {
        // The last block of an odd count stands in for its missing partner.
        const uint8_t* other = second != nullptr ? second : first;
        const __m256i px[4] = {Load32(first), Load32(first + 32), Load32(other),
                               Load32(other + 32)};
        // Alpha 2 or more anywhere in a block: after the flip of the top bit,
        // a signed byte above 0x81 (-127) at an alpha position.
        uint8_t* const first_out = runs.Block(Visible(w, _mm256_max_epu8(px[0], px[1])) != 0);
        uint8_t* const second_out =
            second != nullptr ? runs.Block(Visible(w, _mm256_max_epu8(px[2], px[3])) != 0)
                              : nullptr;
        if (first_out != nullptr || second_out != nullptr) {
          EncodeLiteralPair(w, px, first_out, second_out);
        }
      });
}

}  // namespace voxa
