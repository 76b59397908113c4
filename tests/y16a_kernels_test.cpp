// Worked values of the portable Y16A encoder and decoder.
#include <gtest/gtest.h>

#include <vector>

#include "codec/field_kernels.h"
#include "test_frames.h"

namespace voxa {
namespace {

std::vector<uint8_t> EncodeBlock(const std::vector<uint8_t>& block) {
  std::vector<uint8_t> out(52);
  StoreWord(out.data(), 0);
  uint8_t* run_word = out.data();
  uint8_t* pos = out.data() + 4;
  EncodeY16aField_portable(&pos, block.data(), 16, 1, 48, &run_word);
  out.resize(static_cast<std::size_t>(pos - out.data()));
  return out;
}

std::vector<uint8_t> DecodePayload(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out(48, 0x33);
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  EXPECT_TRUE(DecodeY16aField_portable(out.data(), &in, payload.data() + payload.size(), 16, 1,
                                       48, &pending));
  return out;
}

struct Case {
  const char* name;
  uint8_t y, alpha, u, v;        // source block, every pixel alike
  uint8_t stored_y, stored_uv;   // stored luma, stored chroma (u == v here)
  uint8_t decoded_y, decoded_uv;
};

// Premultiplication by alpha / 256 rounds down; the way back multiplies by
// 256 / alpha, rounds down and limits to 255.
const Case kCases[] = {
    {"opaque_white", 235, 255, 128, 128, 234, 127, 234, 127},
    {"opaque_black", 16, 255, 128, 128, 15, 127, 15, 127},
    {"white_alpha_128", 235, 128, 128, 128, 117, 64, 234, 128},
    {"alpha_2_high_values", 200, 2, 255, 255, 1, 1, 128, 128},
    {"alpha_2_low_values", 100, 2, 127, 127, 0, 0, 0, 0},
};

class Y16aTest : public testing::TestWithParam<Case> {};

TEST_P(Y16aTest, StoresAndDecodes) {
  const Case& c = GetParam();
  const std::vector<uint8_t> payload = EncodeBlock(test::Y16aBlock(c.y, c.alpha, c.u, c.v));
  ASSERT_EQ(payload.size(), 52u);
  EXPECT_EQ(payload, test::PayloadBuilder()
                         .Word(1)
                         .Block(test::LiteralBlock(c.stored_y, 255 - c.alpha, c.stored_uv,
                                                   c.stored_uv))
                         .bytes());
  EXPECT_EQ(DecodePayload(payload),
            test::Y16aBlock(c.decoded_y, c.alpha, c.decoded_uv, c.decoded_uv));
}

INSTANTIATE_TEST_SUITE_P(Blocks, Y16aTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Y16a, MixedAlphasInOneBlock) {
  std::vector<uint8_t> block = test::Y16aBlock(200, 255, 180, 60);
  block[kAlphaOffset + 0] = 0;  // pair 0 left: its U is borrowed from pair 1
  block[kAlphaOffset + 3] = 0;  // pair 1 right: its V is borrowed from pair 0
  block[kAlphaOffset + 4] = 1;  // alpha 1 stores and decodes Y 0
  const std::vector<uint8_t> out = DecodePayload(EncodeBlock(block));
  EXPECT_EQ(out[kLumaOffset + 0], 0);
  EXPECT_EQ(out[kAlphaOffset + 0], 0);
  EXPECT_EQ(out[kUOffset + 0], 179);
  EXPECT_EQ(out[kVOffset + 0], 59);
  EXPECT_EQ(out[kUOffset + 1], 179);
  EXPECT_EQ(out[kVOffset + 1], 59);
  EXPECT_EQ(out[kLumaOffset + 4], 0);
  EXPECT_EQ(out[kAlphaOffset + 4], 1);
  EXPECT_EQ(out[kLumaOffset + 5], 199);
}

TEST(Y16a, TransparentBlockDecodesAsBlackNeutralAlpha0) {
  EXPECT_EQ(DecodePayload(test::PayloadBuilder().Word(-1).bytes()),
            test::Y16aBlock(16, 0, 128, 128));
  // Alphas of 1 are lost with the block.
  EXPECT_EQ(EncodeBlock(test::Y16aBlock(200, 1, 20, 30)), test::PayloadBuilder().Word(-1).bytes());
}

// A payload of the BGRA encoder (alpha / 255 scale) read back as Y16A
// (256 / alpha scale): luma 235 at alpha 2 was stored as 2 and comes out 256,
// limited to 255.
TEST(Y16a, DecodesBgraPayloadWithItsOwnScale) {
  std::vector<uint8_t> bgra = test::BgraBlocks(1, {255, 255, 255, 2});
  std::vector<uint8_t> payload(52);
  StoreWord(payload.data(), 0);
  uint8_t* run_word = payload.data();
  uint8_t* pos = payload.data() + 4;
  EncodeRgbaField_portable(&pos, bgra.data(), 16, 1, 64, &run_word);
  ASSERT_EQ(payload[4], 2);
  EXPECT_EQ(DecodePayload(payload)[kLumaOffset], 255);
}

// Decoding reads the payload only: the same payload twice gives the same block.
TEST(Y16a, DecodingIsRepeatable) {
  test::Random random(11);
  std::vector<uint8_t> payload = test::PayloadBuilder().Word(1).Block(random.Bytes(48)).bytes();
  const std::vector<uint8_t> copy = payload;
  EXPECT_EQ(DecodePayload(payload), DecodePayload(payload));
  EXPECT_EQ(payload, copy);
}

}  // namespace
}  // namespace voxa
