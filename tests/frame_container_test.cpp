// The frame container: layout, field geometry, chunk search and whole frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/frame_codec.h"
#include "codec/frame_container.h"
#include "test_frames.h"

namespace voxa {
namespace {

using test::FrameFromChunks;
using test::PayloadBuilder;

std::vector<uint8_t> Encode(const FrameFormat& f, const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(f.width, f.height));
  frame.resize(EncodeFrame(f, raw.data(), frame.data(), kPortableKernels));
  return frame;
}

TEST(FieldGeometry, StartLinesOfBothFormats) {
  struct Case {
    PixelFormat format;
    uint32_t tag;
    std::size_t start_line;
    std::size_t line_bytes;
  };
  const Case cases[] = {{PixelFormat::kRgba32, kFirstFieldTag, 1, 64 * 4},
                        {PixelFormat::kRgba32, kSecondFieldTag, 0, 64 * 4},
                        {PixelFormat::kY16a, kFirstFieldTag, 0, 64 * 3},
                        {PixelFormat::kY16a, kSecondFieldTag, 1, 64 * 3}};
  for (const Case& c : cases) {
    for (uint32_t height : {0u, 1u, 2u, 5u, 576u}) {
      const FieldGeometry g = GetFieldGeometry(c.format, 64, height, c.tag);
      EXPECT_EQ(g.first_line_offset, c.start_line * c.line_bytes);
      EXPECT_EQ(g.step, static_cast<std::ptrdiff_t>(2 * c.line_bytes));
      EXPECT_EQ(g.lines, height / 2);
      EXPECT_EQ(g.width, 64u);
    }
  }
}

TEST(FrameLayout, SmallFramesByteForByte) {
  struct Case {
    const char* name;
    FrameFormat format;
    std::vector<uint8_t> raw;
    std::vector<uint8_t> expected;
  };
  const auto empty_field = PayloadBuilder().Word(0).bytes();
  const auto clear_field = PayloadBuilder().Word(-1).bytes();
  const Case cases[] = {
      {"height_0", {PixelFormat::kRgba32, 16, 0}, {},
       FrameFromChunks({{kFirstFieldTag, empty_field}, {kSecondFieldTag, empty_field}})},
      {"height_1", {PixelFormat::kY16a, 32, 1}, std::vector<uint8_t>(96, 200),
       FrameFromChunks({{kFirstFieldTag, empty_field}, {kSecondFieldTag, empty_field}})},
      {"transparent_16x2", {PixelFormat::kRgba32, 16, 2}, std::vector<uint8_t>(128, 0),
       FrameFromChunks({{kFirstFieldTag, clear_field}, {kSecondFieldTag, clear_field}})},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encode(c.format, c.raw), c.expected) << c.name;
    EXPECT_EQ(c.expected.size(), 28u);
  }
  // Opaque 16x2: each payload is +1 and one block, 52 bytes.
  const std::vector<uint8_t> frame =
      Encode({PixelFormat::kRgba32, 16, 2}, std::vector<uint8_t>(128, 255));
  ASSERT_EQ(frame.size(), 124u);
  EXPECT_EQ(LoadLe32(&frame[8]), 52u);
  EXPECT_EQ(LoadWord(&frame[12]), 1);
  EXPECT_EQ(LoadLe32(&frame[64]), kSecondFieldTag);
  EXPECT_EQ(LoadLe32(&frame[68]), 52u);
}

// A frame without columns is coded at once, however many lines it says it
// has: the kernels get none of them to pass over.
uint64_t g_lines_given = 0;

TEST(FrameLayout, NoColumnsWalksNoLines) {
  FieldKernels counting = kPortableKernels;
  counting.encode_rgba = [](uint8_t** out, const uint8_t* in, uint32_t width, uint32_t lines,
                            std::ptrdiff_t step, uint8_t** run_word) {
    g_lines_given += lines;
    EncodeRgbaField_portable(out, in, width, lines, step, run_word);
  };
  const FrameFormat f{PixelFormat::kRgba32, 0, UINT32_MAX};
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(f.width, f.height));
  EXPECT_EQ(EncodeFrame(f, nullptr, frame.data(), counting), 28u);
  EXPECT_EQ(g_lines_given, 0u);
}

// Field 32 is the picture's lines 0, 2, 4, ... from the top in both formats.
TEST(FrameLayout, FirstFieldHoldsTopLine) {
  // BGRA 16x2: stored line 1 is the top line; make only it visible.
  std::vector<uint8_t> bgra(128, 0);
  std::fill(bgra.begin() + 64, bgra.end(), 255);
  std::vector<uint8_t> frame = Encode({PixelFormat::kRgba32, 16, 2}, bgra);
  EXPECT_EQ(LoadWord(&frame[12]), 1);
  // Y16A 16x2: stored line 0 is the top line.
  std::vector<uint8_t> y16a = test::Y16aBlock(100, 255, 128, 128);
  const auto clear = test::Y16aBlock(100, 0, 128, 128);
  y16a.insert(y16a.end(), clear.begin(), clear.end());
  frame = Encode({PixelFormat::kY16a, 16, 2}, y16a);
  EXPECT_EQ(LoadWord(&frame[12]), 1);
}

struct RoundTrip {
  const char* name;
  PixelFormat format;
  uint32_t width, height;
};

class RoundTripTest : public testing::TestWithParam<RoundTrip> {};

// Opaque random pictures. Y16A at alpha 255 comes back with every luma and
// chroma value above 0 one lower; BGRA, whose pairs share their chroma, within
// a few steps when both pixels of a pair have one colour. An odd height's last
// stored line is neither read nor written.
TEST_P(RoundTripTest, OpaqueFrame) {
  const RoundTrip& c = GetParam();
  const FrameFormat f{c.format, c.width, c.height};
  test::Random random(c.width * 31 + c.height);
  std::vector<uint8_t> raw = random.Bytes(RawFrameBytes(f.format, f.width, f.height));
  const std::size_t line_bytes = BytesPerPixel(c.format) * c.width;
  const std::size_t pixels = raw.size() / BytesPerPixel(c.format);
  if (c.format == PixelFormat::kRgba32) {
    for (std::size_t i = 0; i < pixels; i += 2) {
      raw[4 * i + 3] = 255;
      std::copy_n(&raw[4 * i], 4, &raw[4 * i + 4]);
    }
  } else {
    for (std::size_t b = 0; b < raw.size() / 48; ++b) std::fill_n(&raw[48 * b + 16], 16, 255);
  }
  const std::vector<uint8_t> frame = Encode(f, raw);
  // The last stored line of an odd height is never read.
  std::vector<uint8_t> changed = raw;
  if (c.height % 2 == 1) std::fill(changed.end() - line_bytes, changed.end(), 0x11);
  EXPECT_EQ(Encode(f, changed), frame);

  std::vector<uint8_t> out(raw.size(), 0xEE);
  ASSERT_EQ(DecodeFrame(f, frame.data(), frame.size(), out.data(), kPortableKernels),
            DecodeStatus::kDecoded);
  const std::size_t coded = raw.size() - (c.height % 2) * line_bytes;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (i >= coded) {
      ASSERT_EQ(out[i], 0xEE) << "byte " << i << " of the uncoded line";
    } else if (c.format == PixelFormat::kY16a) {
      const bool alpha = i % 48 >= 16 && i % 48 < 32;
      ASSERT_EQ(out[i], alpha || raw[i] == 0 ? raw[i] : raw[i] - 1) << "byte " << i;
    } else {
      ASSERT_NEAR(out[i], raw[i], 3) << "byte " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, RoundTripTest,
                         testing::Values(RoundTrip{"bgra_64x6", PixelFormat::kRgba32, 64, 6},
                                         RoundTrip{"bgra_720x577", PixelFormat::kRgba32, 720, 577},
                                         RoundTrip{"y16a_48x4", PixelFormat::kY16a, 48, 4},
                                         RoundTrip{"y16a_720x577", PixelFormat::kY16a, 720, 577},
                                         RoundTrip{"y16a_16x3", PixelFormat::kY16a, 16, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Which chunk decodes into which field: different tags follow their tags,
// equal tags (or a lone chunk) the order of appearance.
TEST(FindFieldChunks, TieBreaks) {
  const std::vector<uint8_t> a = PayloadBuilder().Word(-1).bytes();
  const std::vector<uint8_t> b = PayloadBuilder().Word(-2).bytes();
  const std::vector<uint8_t> c = PayloadBuilder().Word(-3).bytes();
  struct Case {
    const char* name;
    std::vector<uint8_t> frame;
    int32_t first_field_word, second_field_word;
  };
  const Case cases[] = {
      {"normal", FrameFromChunks({{kFirstFieldTag, a}, {kSecondFieldTag, b}}), -1, -2},
      {"swapped", FrameFromChunks({{kSecondFieldTag, a}, {kFirstFieldTag, b}}), -2, -1},
      {"both_first", FrameFromChunks({{kFirstFieldTag, a}, {kFirstFieldTag, b}}), -1, -2},
      {"both_second", FrameFromChunks({{kSecondFieldTag, a}, {kSecondFieldTag, b}}), -1, -2},
      {"only_second", FrameFromChunks({{kSecondFieldTag, a}}), -1, -1},
      {"only_first", FrameFromChunks({{kFirstFieldTag, b}}), -2, -2},
      {"other_tag_before", FrameFromChunks({{7, c}, {kFirstFieldTag, a}, {kSecondFieldTag, b}}),
       -1, -2},
      {"other_tag_between", FrameFromChunks({{kSecondFieldTag, a}, {7, c}, {kFirstFieldTag, b}}),
       -2, -1},
      {"third_field_ignored",
       FrameFromChunks({{kFirstFieldTag, a}, {kSecondFieldTag, b}, {kFirstFieldTag, c}}), -1, -2},
  };
  for (const Case& t : cases) {
    FieldChunks chunks;
    ASSERT_TRUE(FindFieldChunks(t.frame.data() + 4, t.frame.size() - 4, &chunks)) << t.name;
    EXPECT_EQ(LoadWord(chunks.first_field.payload), t.first_field_word) << t.name;
    EXPECT_EQ(LoadWord(chunks.second_field.payload), t.second_field_word) << t.name;
    EXPECT_FALSE(chunks.damaged) << t.name;
  }
}

// Frames that are broken or not ours. Each is decoded from an exact-size
// copy, so any read outside it is caught by the sanitizer build.
TEST(DecodeFrame, MalformedFrames) {
  const FrameFormat f{PixelFormat::kRgba32, 32, 4};
  test::Random random(3);
  std::vector<uint8_t> raw = random.Bytes(RawFrameBytes(f.format, f.width, f.height));
  const std::vector<uint8_t> good = Encode(f, raw);
  const auto block = PayloadBuilder().Word(-4).bytes();

  auto with_length = [&](std::size_t at, uint32_t length) {
    std::vector<uint8_t> frame = good;
    StoreLe32(&frame[at], length);
    return frame;
  };
  const std::size_t n1 = LoadLe32(&good[8]);
  struct Case {
    const char* name;
    std::vector<uint8_t> frame;
    DecodeStatus status;
  };
  std::vector<Case> cases = {
      {"lower_case_magic", [&] { auto x = good; x[0] = 'q'; return x; }(), DecodeStatus::kNotAFrame},
      {"only_magic", {'Q', 'T', 'Z', '1'}, DecodeStatus::kNotAFrame},
      {"shorter_than_magic", {'Q', 'T'}, DecodeStatus::kNotAFrame},
      {"no_field_chunk", FrameFromChunks({{7, block}, {9, block}}), DecodeStatus::kNotAFrame},
      {"header_cut", std::vector<uint8_t>(good.begin(), good.begin() + 10),
       DecodeStatus::kNotAFrame},
      {"first_length_past_end", with_length(8, 0x7FFFFFF0), DecodeStatus::kDamaged},
      {"first_length_wraps", with_length(8, 0xFFFFFFF8), DecodeStatus::kDamaged},
      {"first_length_too_short", with_length(8, 4), DecodeStatus::kDamaged},
      {"second_length_past_end", with_length(16 + n1, 0xFFFFFFFF), DecodeStatus::kDamaged},
      {"other_chunk_length_past_end",
       [&] {
         auto x = FrameFromChunks({{kFirstFieldTag, block}, {7, block}});
         StoreLe32(&x[20], 0xFFFFFFF0);
         return x;
       }(),
       DecodeStatus::kDamaged},
  };
  for (std::size_t cut : {good.size() - 1, good.size() - 48, 12 + n1 + 4, std::size_t{40}}) {
    cases.push_back({"cut", std::vector<uint8_t>(good.begin(), good.begin() + cut),
                     DecodeStatus::kDamaged});
  }
  for (const Case& c : cases) {
    const std::vector<uint8_t> frame = c.frame;
    std::vector<uint8_t> out(raw.size(), 0xEE);
    EXPECT_EQ(DecodeFrame(f, frame.data(), frame.size(), out.data(), kPortableKernels), c.status)
        << c.name << " (" << frame.size() << " bytes)";
    if (c.status == DecodeStatus::kNotAFrame) {
      EXPECT_EQ(out, std::vector<uint8_t>(raw.size(), 0xEE)) << c.name;
    }
  }
}

TEST(DecodeFrame, ChunkLengthPastEndEndsWalkWithoutLooping) {
  // An unrelated chunk whose length runs past the frame: the walk stops there.
  std::vector<uint8_t> frame =
      FrameFromChunks({{7, PayloadBuilder().Word(1).bytes()}, {kFirstFieldTag, {}}});
  StoreLe32(&frame[8], 0xFFFFFFF8);
  FieldChunks chunks;
  EXPECT_FALSE(FindFieldChunks(frame.data() + 4, frame.size() - 4, &chunks));
}

}  // namespace
}  // namespace voxa
