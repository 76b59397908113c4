// Run words and block placement, checked through the portable kernels of both
// pixel formats.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/field_kernels.h"
#include "codec/field_payload.h"
#include "test_frames.h"

namespace voxa {
namespace {

using test::Bgra;
using test::PayloadBuilder;

enum Kind { T, L };  // transparent, literal

struct Format {
  const char* name;
  std::size_t block_bytes;
  EncodeFieldFn encode;
  DecodeFieldFn decode;
  bool bottom_up;
};

const Format kFormats[] = {
    {"bgra", 64, EncodeRgbaField_portable, DecodeRgbaField_portable, true},
    {"y16a", 48, EncodeY16aField_portable, DecodeY16aField_portable, false},
};

std::vector<uint8_t> SourceBlock(const Format& f, Kind kind) {
  if (f.block_bytes == 64) return test::BgraBlocks(1, Bgra{10, 200, 30, uint8_t(kind == L ? 255 : 0)});
  return test::Y16aBlock(100, uint8_t(kind == L ? 255 : 0), 90, 140);
}

// A field of `width` pixels whose blocks, top line first, are `kinds`; lines
// lie one after another (step = one line) in the format's storage order.
std::vector<uint8_t> FieldSource(const Format& f, uint32_t width, uint32_t lines,
                                 const std::vector<Kind>& kinds) {
  const uint32_t blocks = width / 16;
  std::vector<uint8_t> src;
  for (uint32_t s = 0; s < lines; ++s) {
    const uint32_t picture_line = f.bottom_up ? lines - 1 - s : s;
    for (uint32_t b = 0; b < blocks; ++b) {
      const auto block = SourceBlock(f, kinds[picture_line * blocks + b]);
      src.insert(src.end(), block.begin(), block.end());
    }
  }
  return src;
}

std::vector<uint8_t> Encode(const Format& f, const std::vector<uint8_t>& src, uint32_t width,
                            uint32_t lines) {
  std::vector<uint8_t> out(MaxFieldPayloadBytes(width, lines));
  StoreWord(out.data(), 0);
  uint8_t* run_word = out.data();
  uint8_t* pos = out.data() + 4;
  f.encode(&pos, src.data(), width, lines, static_cast<std::ptrdiff_t>(width / 16 * f.block_bytes),
           &run_word);
  EXPECT_GE(run_word, out.data());
  EXPECT_LT(run_word, pos);
  out.resize(static_cast<std::size_t>(pos - out.data()));
  return out;
}

std::vector<int32_t> RunWords(const std::vector<uint8_t>& payload) {
  std::vector<int32_t> words;
  for (std::size_t pos = 0; pos + 4 <= payload.size();) {
    const int32_t w = LoadWord(&payload[pos]);
    words.push_back(w);
    pos += 4 + (w > 0 ? 48 * static_cast<std::size_t>(w) : 0);
  }
  return words;
}

struct RunCase {
  const char* name;
  uint32_t width, lines;
  std::vector<Kind> kinds;  // top line first
  std::vector<int32_t> words;
  std::size_t payload_bytes;
};

const RunCase kRunCases[] = {
    {"transparent_then_literal_108_bytes", 32, 2, {T, L, L, T}, {-1, 2, -1}, 108},
    {"narrow_field_all_transparent", 16, 3, {T, T, T}, {-3}, 4},
    {"all_literal", 32, 2, {L, L, L, L}, {4}, 4 + 4 * 48},
    {"alternating", 16, 4, {L, T, L, T}, {1, -1, 1, -1}, 4 * 4 + 2 * 48},
    {"transparent_run_crosses_line_end", 32, 2, {L, T, T, L}, {1, -2, 1}, 12 + 2 * 48},
    {"literal_run_crosses_line_end", 32, 2, {T, L, L, T}, {-1, 2, -1}, 108},
    {"no_lines", 32, 0, {}, {0}, 4},
    {"no_width", 0, 3, {}, {0}, 4},
};

class RunWordsTest : public testing::TestWithParam<std::tuple<Format, RunCase>> {};

TEST_P(RunWordsTest, EncodesWordsAndDecodesBlocksInPlace) {
  const auto& [f, c] = GetParam();
  const std::vector<uint8_t> src = FieldSource(f, c.width, c.lines, c.kinds);
  const std::vector<uint8_t> payload = Encode(f, src, c.width, c.lines);
  EXPECT_EQ(RunWords(payload), c.words);
  EXPECT_EQ(payload.size(), c.payload_bytes);

  // Decoding writes every block; a transparent block is recognisable by
  // alpha 0 and a literal one by alpha 255 in both formats.
  std::vector<uint8_t> out(src.size(), 0x5A);
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  EXPECT_TRUE(f.decode(out.data(), &in, payload.data() + payload.size(), c.width, c.lines,
                       static_cast<std::ptrdiff_t>(c.width / 16 * f.block_bytes), &pending));
  // A field without blocks reads nothing, not even its lone word.
  EXPECT_EQ(in, payload.data() + (c.kinds.empty() ? 0 : payload.size()));
  EXPECT_EQ(pending, 0);
  const std::size_t alpha_at = f.block_bytes == 64 ? 3 : kAlphaOffset;
  for (std::size_t b = 0; b < src.size() / f.block_bytes; ++b) {
    EXPECT_EQ(out[b * f.block_bytes + alpha_at], src[b * f.block_bytes + alpha_at])
        << "block " << b;
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, RunWordsTest,
                         testing::Combine(testing::ValuesIn(kFormats), testing::ValuesIn(kRunCases)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

// Alphas 0 and 1 only make a transparent block; a single 2 makes it literal.
TEST(Classification, AlphaThresholdIsTwo) {
  struct Case {
    std::vector<uint8_t> alphas;  // pixel i gets alphas[i % size]
    int32_t word;
  };
  const Case cases[] = {{{0}, -1}, {{1}, -1}, {{0, 1}, -1}, {{2, 0, 0, 0, 0, 0, 0, 0}, 1},
                        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 1}};
  for (const Format& f : kFormats) {
    for (const Case& c : cases) {
      std::vector<uint8_t> src = SourceBlock(f, L);
      for (int i = 0; i < 16; ++i) {
        src[f.block_bytes == 64 ? 4 * i + 3 : kAlphaOffset + i] = c.alphas[i % c.alphas.size()];
      }
      EXPECT_EQ(RunWords(Encode(f, src, 16, 1)), std::vector<int32_t>{c.word})
          << f.name << " alphas[0]=" << int(c.alphas[0]);
    }
  }
}

// Payloads no encoder writes: zero words, words that outlast the field, and
// payloads cut short. The decoder never reads past the payload's end.
TEST(DecodeRuns, ZeroWordLeavesBlockAndNextWordTakesNextBlock) {
  for (const Format& f : kFormats) {
    const auto payload = PayloadBuilder().Word(0).Word(-1).bytes();
    std::vector<uint8_t> out(2 * f.block_bytes, 0x77);
    const uint8_t* in = payload.data();
    int32_t pending = 0;
    EXPECT_TRUE(f.decode(out.data(), &in, in + payload.size(), 32, 1, 0, &pending)) << f.name;
    EXPECT_EQ(out[0], 0x77) << f.name;  // first block untouched
    EXPECT_NE(out[f.block_bytes], 0x77) << f.name;
    EXPECT_EQ(in, payload.data() + 8);
  }
}

TEST(DecodeRuns, LeftoverCountIsHandedBack) {
  for (const Format& f : kFormats) {
    const auto payload = PayloadBuilder().Word(-5).bytes();
    std::vector<uint8_t> out(f.block_bytes);
    const uint8_t* in = payload.data();
    int32_t pending = 0;
    EXPECT_TRUE(f.decode(out.data(), &in, in + payload.size(), 16, 1, 0, &pending));
    EXPECT_EQ(pending, -4) << f.name;
  }
}

TEST(DecodeRuns, StopsWhereThePayloadEnds) {
  struct Case {
    const char* name;
    std::vector<uint8_t> payload;
    std::size_t blocks_written;
  };
  const auto literal = test::LiteralBlock(50, 0, 60, 70);
  std::vector<uint8_t> cut_block = PayloadBuilder().Word(2).Block(literal).bytes();
  cut_block.insert(cut_block.end(), literal.begin(), literal.begin() + 47);
  std::vector<uint8_t> cut_word = PayloadBuilder().Word(-1).bytes();
  cut_word.insert(cut_word.end(), {1, 0, 0});
  const Case cases[] = {
      {"empty", {}, 0},
      {"word_cut", cut_word, 1},
      {"literal_cut", cut_block, 1},
      {"words_run_out", PayloadBuilder().Word(-1).bytes(), 1},
  };
  for (const Format& f : kFormats) {
    for (const Case& c : cases) {
      // An exact-size copy, so a read past the end is caught by the sanitizer.
      const std::vector<uint8_t> payload = c.payload;
      std::vector<uint8_t> out(3 * f.block_bytes, 0x77);
      const uint8_t* in = payload.data();
      int32_t pending = 0;
      EXPECT_FALSE(f.decode(out.data(), &in, payload.data() + payload.size(), 48, 1, 0, &pending))
          << f.name << " " << c.name;
      for (std::size_t b = 0; b < 3; ++b) {
        EXPECT_EQ(out[b * f.block_bytes + 5] == 0x77, b >= c.blocks_written)
            << f.name << " " << c.name << " block " << b;
      }
    }
  }
}

TEST(DecodeRuns, NoLinesReadsNothing) {
  for (const Format& f : kFormats) {
    const uint8_t* in = nullptr;
    int32_t pending = 3;
    EXPECT_TRUE(f.decode(nullptr, &in, nullptr, 16, 0, 0, &pending));
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(pending, 3);
  }
}

}  // namespace
}  // namespace voxa
