// Worked values of the portable BGRA encoder and decoder.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "codec/color_math.h"
#include "codec/field_kernels.h"
#include "test_frames.h"

namespace voxa {
namespace {

using test::Bgra;

// Codes one block whose pairs all hold `left` and `right`; returns the 48
// stored bytes.
std::vector<uint8_t> EncodePairBlock(Bgra left, Bgra right) {
  std::vector<uint8_t> src(64);
  for (int k = 0; k < 8; ++k) {
    const Bgra* px[2] = {&left, &right};
    for (int p = 0; p < 2; ++p) {
      uint8_t* d = &src[8 * k + 4 * p];
      d[0] = px[p]->b, d[1] = px[p]->g, d[2] = px[p]->r, d[3] = px[p]->a;
    }
  }
  std::vector<uint8_t> out(52);
  StoreWord(out.data(), 0);
  uint8_t* run_word = out.data();
  uint8_t* pos = out.data() + 4;
  EncodeRgbaField_portable(&pos, src.data(), 16, 1, 64, &run_word);
  EXPECT_EQ(pos, out.data() + 52);
  EXPECT_EQ(LoadWord(out.data()), 1);
  return std::vector<uint8_t>(out.begin() + 4, out.end());
}

struct EncodeCase {
  const char* name;
  Bgra left, right;
  uint8_t y0, y1, inverse_a0, inverse_a1, u, v;
};

const EncodeCase kEncodeCases[] = {
    {"opaque_white", {255, 255, 255, 255}, {255, 255, 255, 255}, 235, 235, 0, 0, 128, 128},
    {"opaque_black", {0, 0, 0, 255}, {0, 0, 0, 255}, 16, 16, 0, 0, 128, 128},
    {"opaque_blue", {255, 0, 0, 255}, {255, 0, 0, 255}, 41, 41, 0, 0, 240, 110},
    {"opaque_red", {0, 0, 255, 255}, {0, 0, 255, 255}, 82, 82, 0, 0, 91, 240},
    {"opaque_green", {0, 255, 0, 255}, {0, 255, 0, 255}, 145, 145, 0, 0, 54, 34},
    {"red_left_blue_right", {0, 0, 255, 255}, {255, 0, 0, 255}, 82, 41, 0, 0, 165, 175},
    // (value × alpha + 128) / 255
    {"white_alpha_128", {255, 255, 255, 128}, {255, 255, 255, 128}, 118, 118, 127, 127, 64, 64},
    {"white_alpha_2", {255, 255, 255, 2}, {255, 255, 255, 2}, 2, 2, 253, 253, 1, 1},
    {"white_alpha_1_beside_2", {255, 255, 255, 1}, {255, 255, 255, 2}, 1, 2, 254, 253, 1, 1},
    {"left_alpha_0_stores_u_0", {90, 10, 200, 0}, {255, 255, 255, 255}, 0, 235, 255, 0, 0, 167},
    {"right_alpha_0_stores_v_0", {255, 255, 255, 255}, {90, 10, 200, 0}, 235, 0, 0, 255, 131, 0},
};

class RgbaEncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(RgbaEncodeTest, StoresPremultipliedBt601) {
  const EncodeCase& c = GetParam();
  const std::vector<uint8_t> out = EncodePairBlock(c.left, c.right);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(out[2 * k], c.y0) << "pair " << k;
    EXPECT_EQ(out[2 * k + 1], c.y1) << "pair " << k;
    EXPECT_EQ(out[16 + 2 * k], c.inverse_a0);
    EXPECT_EQ(out[17 + 2 * k], c.inverse_a1);
    EXPECT_EQ(out[32 + k], c.u);
    EXPECT_EQ(out[40 + k], c.v);
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, RgbaEncodeTest, testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// With alpha 255 the stored values are the plain BT.601 values, whatever the
// colour: premultiplication by 255/255 must be exact.
TEST(RgbaEncode, OpaqueStoresUnpremultipliedValues) {
  test::Random random(7);
  for (int n = 0; n < 2000; ++n) {
    const Bgra left{random.Byte(), random.Byte(), random.Byte(), 255};
    const Bgra right{random.Byte(), random.Byte(), random.Byte(), 255};
    const std::vector<uint8_t> out = EncodePairBlock(left, right);
    ASSERT_EQ(out[0], RgbToLuma(left.b, left.g, left.r));
    ASSERT_EQ(out[1], RgbToLuma(right.b, right.g, right.r));
    const int sb = left.b + right.b, sg = left.g + right.g, sr = left.r + right.r;
    ASSERT_EQ(out[32], PairSumsToU(sb, sg, sr));
    ASSERT_EQ(out[40], PairSumsToV(sb, sg, sr));
    ASSERT_GE(out[32], 16);
    ASSERT_LE(out[32], 240);
  }
}

TEST(ColorMath, DivideBy255IsExact) {
  for (uint32_t x = 0; x <= 255 * 255 + 255; ++x) ASSERT_EQ(DivideBy255(x), x / 255) << x;
  for (uint32_t x : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 4294967040u}) {
    EXPECT_EQ(DivideBy255(x), x / 255) << x;
  }
}

// Every quotient the decoders form: stored byte × 255 or × 256 over alpha.
TEST(ColorMath, DivideByAlphaIsExact) {
  for (uint32_t alpha = 1; alpha < 256; ++alpha) {
    for (uint32_t n = 0; n < 65536; ++n) ASSERT_EQ(DivideByAlpha(n, alpha), n / alpha) << n << "/" << alpha;
  }
}

TEST(ColorMath, ClampToByte) {
  const std::pair<int64_t, uint8_t> cases[] = {
      {-1, 0}, {INT64_MIN, 0}, {0, 0}, {128, 128}, {255, 255}, {256, 255}, {INT64_MAX, 255}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ClampToByte(in), out) << in;
}

// Decodes one literal block whose pairs all hold the given stored bytes;
// returns the 8 bytes of pair 0.
std::array<uint8_t, 8> DecodePair(uint8_t y0, uint8_t y1, uint8_t inverse_a0,
                                  uint8_t inverse_a1, uint8_t u, uint8_t v) {
  std::vector<uint8_t> payload(52);
  StoreWord(payload.data(), 1);
  for (int k = 0; k < 8; ++k) {
    payload[4 + 2 * k] = y0, payload[5 + 2 * k] = y1;
    payload[20 + 2 * k] = inverse_a0, payload[21 + 2 * k] = inverse_a1;
    payload[36 + k] = u, payload[44 + k] = v;
  }
  std::vector<uint8_t> out(64, 0x33);
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  EXPECT_TRUE(DecodeRgbaField_portable(out.data(), &in, payload.data() + payload.size(), 16, 1,
                                       64, &pending));
  EXPECT_EQ(in, payload.data() + 52);
  std::array<uint8_t, 8> pair;
  std::copy(out.begin(), out.begin() + 8, pair.begin());
  return pair;
}

struct DecodeCase {
  const char* name;
  uint8_t y0, y1, inverse_a0, inverse_a1, u, v;
  std::array<uint8_t, 8> bgra;
};

const DecodeCase kDecodeCases[] = {
    {"opaque_white", 235, 235, 0, 0, 128, 128, {255, 255, 255, 255, 255, 255, 255, 255}},
    {"opaque_black", 16, 16, 0, 0, 128, 128, {0, 0, 0, 255, 0, 0, 0, 255}},
    {"opaque_red", 82, 82, 0, 0, 91, 240, {2, 0, 255, 255, 2, 0, 255, 255}},
    // Every pair alike: no neighbour carries the missing chroma, which is
    // then neutral; the visible pixel keeps its luma and alpha.
    {"left_alpha_0_keeps_right_pixel", 0, 235, 255, 0, 0, 128, {0, 0, 0, 0, 255, 255, 255, 255}},
    {"right_alpha_0_keeps_left_pixel", 235, 0, 0, 255, 128, 0, {255, 255, 255, 255, 0, 0, 0, 0}},
    // 118 × 255 / 128 = 235 and 64 × 255 / 128 = 127: near white at half alpha.
    {"white_alpha_128", 118, 118, 127, 127, 64, 64, {253, 255, 253, 128, 253, 255, 253, 128}},
    // Bytes no encoder writes: luma and chroma far above their alpha. The
    // products leave the 32-bit range and must still limit, not wrap.
    {"overflowing_values", 255, 255, 254, 254, 255, 255, {255, 0, 255, 1, 255, 0, 255, 1}},
    {"overflowing_luma", 255, 255, 254, 254, 0, 0, {255, 255, 255, 1, 255, 255, 255, 1}},
};

class RgbaDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(RgbaDecodeTest, DecodesPair) {
  const DecodeCase& c = GetParam();
  EXPECT_EQ(DecodePair(c.y0, c.y1, c.inverse_a0, c.inverse_a1, c.u, c.v), c.bgra);
}

INSTANTIATE_TEST_SUITE_P(Pairs, RgbaDecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RgbaDecode, TransparentRunWritesZeroBytes) {
  const auto payload = test::PayloadBuilder().Word(-3).bytes();
  std::vector<uint8_t> out(3 * 64, 0x33);
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  EXPECT_TRUE(DecodeRgbaField_portable(out.data(), &in, in + 4, 48, 1, 192, &pending));
  EXPECT_EQ(out, std::vector<uint8_t>(3 * 64, 0));
}

}  // namespace
}  // namespace voxa
