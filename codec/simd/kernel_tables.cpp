#include "codec/simd/kernel_tables.h"

#include <array>

namespace voxa {
namespace {

// One row: the word of the even lanes and the word of the odd lanes.
struct Row {
  uint16_t even, odd;
};

constexpr Row Same(int value) {
  return Row{static_cast<uint16_t>(value), static_cast<uint16_t>(value)};
}

template <std::size_t kLanes, std::size_t kRows>
constexpr std::array<uint16_t, kLanes * kRows> Spread(const Row (&rows)[kRows]) {
  std::array<uint16_t, kLanes * kRows> words{};
  for (std::size_t r = 0; r < kRows; ++r) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      words[r * kLanes + lane] = lane % 2 == 0 ? rows[r].even : rows[r].odd;
    }
  }
  return words;
}

constexpr Row kAlphaScaleRows[] = {
    Same(0x8080),      // top-bit flip before the signed compare; the 128s of a Y16A block
    Same(0x8181),      // Y16A classification threshold: alpha 2 or more after the flip
    Same(0xFFFF),      // all ones, to invert alpha
    {0xFFFF, 0x81FF},  // BGRA classification threshold: 0x81 at each pixel's alpha byte
};

constexpr Row kEncoderWeightRows[] = {
    Same(3211),   // blue weight of luma, 0.098 × 32768
    Same(16515),  // green weight of luma, 0.504 × 32768
    Same(8421),   // red weight of luma, 0.257 × 32768
    Same(2112),   // luma offset 16.5 in units of 1/128
    Same(14385),  // 0.439 × 32768: blue and red pair sums for chroma
    Same(12059),  // 0.368 × 32768: green pair sum for chroma
    Same(10599),  // turns the blue term of V from 0.439 to 0.071
    Same(25912),  // turns the green term of U from 0.368 to 0.291
    Same(22094),  // turns the red term of U from 0.439 to 0.148
    Same(8224),   // chroma offset 128.5 in units of 1/64
};

constexpr Row kDecoderWeightRows4[] = {
    Same(2384),   // luma gain 1.164 × 2048
    Same(-145),   // luma offset in units of 1/8
    Same(-8192),  // chroma centre 128 × 64, subtracted from a sum of two lanes
    Same(-3203),  // green from U, -0.391 × 8192
    Same(-6660),  // green from V, -0.813 × 8192
    Same(16531),  // blue from U, 2.018 × 8192
    Same(13074),  // red from V, 1.596 × 8192
};

constexpr Row kDecoderWeightRows8[] = {
    Same(2384),   // luma gain 1.164 × 2048
    Same(-4096),  // chroma centre 128 × 32, subtracted from each chroma lane
    Same(-145),   // luma offset in units of 1/8
    Same(-3203), Same(-6660), Same(16531), Same(13074),
};

// The 8-lane forms are read as aligned 16-byte memory operands and start on
// 128-byte boundaries, as do the 4-lane weight tables; the 4-lane alpha table
// needs 16 bytes.
alignas(16) constexpr auto kAlphaScale4 = Spread<4>(kAlphaScaleRows);
alignas(kTableBoundary) constexpr auto kAlphaScale8 = Spread<8>(kAlphaScaleRows);
alignas(kTableBoundary) constexpr auto kEncoderWeights4 = Spread<4>(kEncoderWeightRows);
alignas(kTableBoundary) constexpr auto kEncoderWeights8 = Spread<8>(kEncoderWeightRows);
alignas(kTableBoundary) constexpr auto kDecoderWeights4 = Spread<4>(kDecoderWeightRows4);
alignas(kTableBoundary) constexpr auto kDecoderWeights8 = Spread<8>(kDecoderWeightRows8);

ConstantTable g_alpha_scale(kAlphaScale4.data(), kAlphaScale8.data());
ConstantTable g_encoder_weights(kEncoderWeights4.data(), kEncoderWeights8.data());
ConstantTable g_decoder_weights(kDecoderWeights4.data(), kDecoderWeights8.data());

}  // namespace

ConstantTable& AlphaScaleTable() { return g_alpha_scale; }
ConstantTable& EncoderWeightTable() { return g_encoder_weights; }
ConstantTable& DecoderWeightTable() { return g_decoder_weights; }

}  // namespace voxa
