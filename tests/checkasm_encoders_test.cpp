// The vector encoders, checked the way a checkasm checks assembly: every
// variant against a scalar model of its own lane arithmetic, byte for byte,
// with guard bytes around the output and the input in an exact-size buffer
// (so that AddressSanitizer sees any read past it); against the portable
// encoder in structure exactly and in values within 2; worked values; whole
// frames once per variant.
//
// Random fields come from a seed printed with every failure; set
// VOXA_CHECKASM_SEED to run another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/field_kernels.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "encoder_lane_model.h"
#include "kernel_variants.h"
#include "test_frames.h"
#include "support/sample_frames.h"
#include "sample_format.h"

namespace voxa {
namespace {

struct EncoderCase {
  const char* name;
  KernelVariant variant;
  PixelFormat format;
};

const EncoderCase kEncoders[] = {
    {"RgbaSse", KernelVariant::kSse, PixelFormat::kRgba32},
    {"RgbaSse2", KernelVariant::kSse2, PixelFormat::kRgba32},
    {"Y16aSse", KernelVariant::kSse, PixelFormat::kY16a},
    {"Y16aSse2", KernelVariant::kSse2, PixelFormat::kY16a},
    {"RgbaAvx2", KernelVariant::kAvx2, PixelFormat::kRgba32},
    {"Y16aAvx2", KernelVariant::kAvx2, PixelFormat::kY16a},
};

void PrintTo(const EncoderCase& c, std::ostream* os) { *os << c.name; }

bool IsRgba(PixelFormat format) { return format == PixelFormat::kRgba32; }
std::size_t BlockBytes(PixelFormat format) { return IsRgba(format) ? 64 : 48; }
std::size_t AlphaAt(PixelFormat format, int pixel) {
  return IsRgba(format) ? 4 * pixel + 3 : kAlphaOffset + pixel;
}

uint32_t CheckasmSeed() {
  const char* text = std::getenv("VOXA_CHECKASM_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : 0x766f7861u;
}

// The lines of one field as the kernel sees them: from the lowest-addressed
// line to the end of the highest, with whatever lies between the lines.
struct Field {
  uint32_t width = 0, lines = 0;
  std::ptrdiff_t step = 0;
  std::vector<uint8_t> bytes;

  // Line `row` of the field in picture order (top first).
  uint8_t* Line(PixelFormat format, uint32_t row) {
    const uint32_t stored = IsRgba(format) ? lines - 1 - row : row;
    return bytes.data() + stored * step;
  }
};

Field EmptyField(PixelFormat format, uint32_t width, uint32_t lines, std::ptrdiff_t step) {
  Field f{width, lines, step, {}};
  if (lines > 0) f.bytes.resize((lines - 1) * step + width * BytesPerPixel(format));
  return f;
}

// What an encoder wrote: the whole output area with its guards, and where the
// output position and the current run word were handed back.
constexpr std::size_t kGuardBytes = 32;
constexpr uint8_t kGuardByte = 0xA5;

struct Encoded {
  std::vector<uint8_t> buffer;
  std::ptrdiff_t out = 0, run_word = 0;
};

Encoded Encode(EncodeFieldFn encode, const Field& f, int32_t opening_word = 0,
               std::size_t misalign = 0) {
  const std::size_t size = f.bytes.size();
  std::unique_ptr<uint8_t[]> input(new uint8_t[size + misalign]);
  uint8_t* source = input.get() + misalign;  // ends exactly where the allocation ends
  if (size > 0) std::memcpy(source, f.bytes.data(), size);

  Encoded e;
  e.buffer.assign(2 * kGuardBytes + MaxFieldPayloadBytes(f.width, f.lines), kGuardByte);
  uint8_t* start = e.buffer.data() + kGuardBytes;
  StoreWord(start, opening_word);
  uint8_t* run_word = start;
  uint8_t* out = start + kRunWordBytes;
  encode(&out, source, f.width, f.lines, f.step, &run_word);
  e.out = out - e.buffer.data();
  e.run_word = run_word - e.buffer.data();
  return e;
}

testing::AssertionResult SameBytes(const Encoded& got, const Encoded& want) {
  if (got.out != want.out || got.run_word != want.run_word) {
    return testing::AssertionFailure()
           << "handed back out " << got.out << ", run word " << got.run_word << "; model "
           << want.out << ", " << want.run_word;
  }
  for (std::size_t n = 0; n < got.buffer.size(); ++n) {
    if (got.buffer[n] != want.buffer[n]) {
      return testing::AssertionFailure()
             << "payload byte " << static_cast<std::ptrdiff_t>(n - kGuardBytes) << " is "
             << int{got.buffer[n]} << ", model " << int{want.buffer[n]};
    }
  }
  return testing::AssertionSuccess();
}

// Nothing written before the payload or behind the handed-back position.
testing::AssertionResult GuardsIntact(const Encoded& e) {
  for (std::size_t n = 0; n < e.buffer.size(); ++n) {
    const bool payload = n >= kGuardBytes && static_cast<std::ptrdiff_t>(n) < e.out;
    if (!payload && e.buffer[n] != kGuardByte) {
      return testing::AssertionFailure() << "byte " << n << " outside the payload changed";
    }
  }
  return testing::AssertionSuccess();
}

// The same run words and literal blocks in the same places; inverse alpha
// equal, Y, U and V within 2. A positive opening word counts blocks written
// before the call.
testing::AssertionResult AgreesWithPortable(const Encoded& got, const Encoded& portable,
                                            int32_t opening_word) {
  if (got.out != portable.out || got.run_word != portable.run_word) {
    return testing::AssertionFailure() << "payload of " << got.out - kGuardBytes
                                       << " bytes, portable " << portable.out - kGuardBytes;
  }
  for (std::ptrdiff_t at = kGuardBytes; at < got.out;) {
    const int32_t word = LoadWord(&got.buffer[at]);
    if (word != LoadWord(&portable.buffer[at])) {
      return testing::AssertionFailure() << "run word " << word << " at " << at - kGuardBytes
                                         << ", portable " << LoadWord(&portable.buffer[at]);
    }
    at += kRunWordBytes;
    const int32_t earlier = at == kGuardBytes + kRunWordBytes ? std::max(opening_word, 0) : 0;
    for (int32_t block = earlier; block < word; ++block, at += kLiteralBlockBytes) {
      for (std::size_t i = 0; i < kLiteralBlockBytes; ++i) {
        const int a = got.buffer[at + i], b = portable.buffer[at + i];
        const bool alpha = i >= kAlphaOffset && i < kUOffset;
        if (alpha ? a != b : std::abs(a - b) > 2) {
          return testing::AssertionFailure() << "byte " << i << " of the block at "
                                             << at - kGuardBytes << ": " << a << ", portable " << b;
        }
      }
    }
  }
  return testing::AssertionSuccess();
}

// Blocks of the kinds that stress a kernel differently.
enum class BlockKind { kTransparent, kRandom, kOpaque, kSparse, kExtreme, kCount };
constexpr uint8_t kExtremes[] = {0, 1, 2, 254, 255};

void FillBlock(test::Random& r, PixelFormat format, BlockKind kind, uint8_t* block) {
  for (std::size_t n = 0; n < BlockBytes(format); ++n) {
    block[n] = kind == BlockKind::kExtreme ? kExtremes[r.Byte() % 5] : r.Byte();
  }
  for (int i = 0; i < 16; ++i) {
    uint8_t& a = block[AlphaAt(format, i)];
    if (kind == BlockKind::kTransparent) a = r.Byte() & 1;
    if (kind == BlockKind::kOpaque) a = 255;
    if (kind == BlockKind::kSparse) a = 0;
  }
  if (kind == BlockKind::kSparse) block[AlphaAt(format, r.Byte() % 16)] = 2 + r.Byte() % 254;
}

// A field of 1-6 lines of 1-7 blocks, kinds changing now and then so that runs
// of both signs cross line ends; the bytes between lines are noise.
Field RandomField(test::Random& r, PixelFormat format) {
  const uint32_t width = 16 * (1 + r.Byte() % 7), lines = 1 + r.Byte() % 6;
  const std::ptrdiff_t line_bytes = width * BytesPerPixel(format);
  Field f = EmptyField(format, width, lines, line_bytes * (1 + r.Byte() % 2));
  for (auto& b : f.bytes) b = r.Byte();
  BlockKind kind = BlockKind::kRandom;
  for (uint32_t row = 0; row < lines; ++row) {
    for (uint32_t b = 0; b < width / 16; ++b) {
      if (r.Byte() % 3 == 0) kind = static_cast<BlockKind>(r.Byte() % int(BlockKind::kCount));
      FillBlock(r, format, kind, f.Line(format, row) + b * BlockBytes(format));
    }
  }
  return f;
}

// A field of one line holding the given blocks.
Field LineOf(PixelFormat format, const std::vector<std::vector<uint8_t>>& blocks) {
  Field f = EmptyField(format, 16 * blocks.size(), 1, 0);
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    std::copy(blocks[b].begin(), blocks[b].end(), f.bytes.begin() + b * BlockBytes(format));
  }
  return f;
}

// A block of 16 equal pixels (Y16A: luma `b`, chroma `g`, `r`).
std::vector<uint8_t> UniformBlock(PixelFormat format, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  return IsRgba(format) ? test::BgraBlocks(1, test::Bgra{b, g, r, a}) : test::Y16aBlock(b, a, g, r);
}

class VectorEncoder : public testing::TestWithParam<EncoderCase> {
 protected:
  void SetUp() override {
    if (!HasKernelVariant(GetParam().variant)) {
      ASSERT_TRUE(test::MayLackVariant(GetParam().variant));
      GTEST_SKIP() << "processor lacks the variant";
    }
  }
  PixelFormat format() const { return GetParam().format; }
  EncodeFieldFn kernel(KernelVariant variant) const {
    const FieldKernels k = KernelsOfVariant(variant);
    return IsRgba(format()) ? k.encode_rgba : k.encode_y16a;
  }
  EncodeFieldFn vector() const { return kernel(GetParam().variant); }
  EncodeFieldFn model() const {
    return IsRgba(format()) ? test::EncodeRgbaField_model : test::EncodeY16aField_model;
  }
  EncodeFieldFn portable() const {
    return IsRgba(format()) ? EncodeRgbaField_portable : EncodeY16aField_portable;
  }

  // The vector kernel against the model byte for byte, guards intact, and
  // against the portable kernel within its tolerance.
  void Check(const Field& f, int32_t opening_word = 0, std::size_t misalign = 0) {
    const Encoded got = Encode(vector(), f, opening_word, misalign);
    EXPECT_TRUE(SameBytes(got, Encode(model(), f, opening_word)));
    // Every variant writes the SSE2 kernel's bytes, whatever the model says.
    if (HasKernelVariant(KernelVariant::kSse2)) {
      EXPECT_TRUE(SameBytes(got, Encode(kernel(KernelVariant::kSse2), f, opening_word)));
    }
    EXPECT_TRUE(GuardsIntact(got));
    EXPECT_TRUE(AgreesWithPortable(got, Encode(portable(), f, opening_word), opening_word));
  }
};

TEST_P(VectorEncoder, MatchesLaneModelOnRandomFields) {
  const uint32_t seed = CheckasmSeed();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VOXA_CHECKASM_SEED)");
  test::Random r(seed);
  const int32_t kOpeningWords[] = {0, 0, 3, -2};  // a field's own word, or one carried on
  for (int n = 0; n < 300 && !HasFailure(); ++n) {
    const Field f = RandomField(r, format());
    SCOPED_TRACE("field " + std::to_string(n) + ": " + std::to_string(f.width) + "x" +
                 std::to_string(f.lines) + ", step " + std::to_string(f.step));
    Check(f, kOpeningWords[r.Byte() % 4], r.Byte() % 16);
  }
}

// Alphas 0, 1, 2, 254 and 255 in every position, channels at 0 and 255 that
// flip from pixel to pixel (sharp chroma changes, pairs with one alpha of 0),
// saturated and zero colours.
TEST_P(VectorEncoder, MatchesLaneModelOnExtremeBlocks) {
  std::vector<std::vector<uint8_t>> blocks;
  for (int shift = 0; shift < 5; ++shift) {
    for (int colours = 0; colours < 8; ++colours) {
      std::vector<uint8_t> block = UniformBlock(format(), 0, 0, 0, 0);
      for (int i = 0; i < 16; ++i) {
        const int bits = (3 * i + colours) % 8;
        if (IsRgba(format())) {
          for (int c = 0; c < 3; ++c) block[4 * i + c] = (bits >> c & 1) ? 255 : 0;
        } else {
          block[kLumaOffset + i] = (bits & 1) ? 255 : 0;
          if (i % 2 == 0) block[kUOffset + i / 2] = (bits & 2) ? 255 : 0;
          if (i % 2 == 0) block[kVOffset + i / 2] = (bits & 4) ? 255 : 0;
        }
        block[AlphaAt(format(), i)] = kExtremes[(i + shift) % 5];
      }
      blocks.push_back(block);
    }
  }
  for (uint8_t a : kExtremes) {
    for (uint8_t c : {0, 255}) blocks.push_back(UniformBlock(format(), c, c, c, a));
  }
  for (std::size_t n = 0; n < blocks.size(); ++n) {
    SCOPED_TRACE("block " + std::to_string(n));
    Check(LineOf(format(), {blocks[n]}));
  }
  Check(LineOf(format(), blocks));
}

TEST_P(VectorEncoder, AgreesWithPortableOnSamplePictures) {
  for (SampleKind kind : {SampleKind::kTitle, SampleKind::kOpaque}) {
    const std::vector<uint8_t> frame = MakeSampleFrame(kind, SampleFormat(format()), 320, 240);
    for (uint32_t tag : {kFirstFieldTag, kSecondFieldTag}) {
      const FieldGeometry g = GetFieldGeometry(format(), 320, 240, tag);
      Field f = EmptyField(format(), g.width, g.lines, g.step);
      std::copy_n(frame.begin() + g.first_line_offset, f.bytes.size(), f.bytes.begin());
      const Encoded got = Encode(vector(), f);
      EXPECT_TRUE(AgreesWithPortable(got, Encode(portable(), f), 0)) << int(kind) << " " << tag;
      EXPECT_TRUE(SameBytes(got, Encode(model(), f)));
    }
  }
}

// Without a whole block the kernel must not even store its run word.
TEST_P(VectorEncoder, WritesNothingWithoutAWholeBlock) {
  struct Geometry {
    uint32_t width, lines;
  };
  for (const Geometry g : {Geometry{0, 3}, Geometry{8, 2}, Geometry{15, 1}, Geometry{32, 0}}) {
    SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.lines));
    Field f = EmptyField(format(), g.width, g.lines, 2 * g.width * BytesPerPixel(format()));
    std::fill(f.bytes.begin(), f.bytes.end(), 255);  // opaque, were any of it read
    const Encoded e = Encode(vector(), f, 5);
    EXPECT_EQ(e.run_word, static_cast<std::ptrdiff_t>(kGuardBytes));
    EXPECT_EQ(e.out, static_cast<std::ptrdiff_t>(kGuardBytes + kRunWordBytes));
    EXPECT_EQ(LoadWord(&e.buffer[kGuardBytes]), 5);
    for (std::size_t n = kGuardBytes + kRunWordBytes; n < e.buffer.size(); ++n) {
      ASSERT_EQ(e.buffer[n], kGuardByte) << n;
    }
  }
}

// Only the alpha bytes decide, at every position of the block; colour bytes
// of 255 beside alphas of 0 and 1 must not count.
TEST_P(VectorEncoder, ClassifiesByAlphaOfTwoAtEveryPosition) {
  struct Case {
    const char* name;
    uint8_t alpha_at_pixel, other_alphas;
    int32_t word;
  };
  const Case kCases[] = {
      {"all_0", 0, 0, -1}, {"all_1", 1, 1, -1}, {"one_1", 1, 0, -1},
      {"one_2", 2, 0, 1},  {"one_2_among_1", 2, 1, 1}, {"one_255", 255, 0, 1},
  };
  for (const Case& c : kCases) {
    for (int pixel = 0; pixel < 16; ++pixel) {
      SCOPED_TRACE(std::string(c.name) + " at pixel " + std::to_string(pixel));
      std::vector<uint8_t> block = UniformBlock(format(), 255, 255, 255, c.other_alphas);
      block[AlphaAt(format(), pixel)] = c.alpha_at_pixel;
      const Encoded e = Encode(vector(), LineOf(format(), {block}));
      EXPECT_EQ(LoadWord(&e.buffer[kGuardBytes]), c.word);
      EXPECT_EQ(e.out - e.run_word, static_cast<std::ptrdiff_t>(
                                        kRunWordBytes + (c.word > 0 ? kLiteralBlockBytes : 0)));
    }
  }
}

// Run words of fields drawn as lines of blocks (top line first): 'O' opaque,
// '4' four opaque pixels then twelve of alpha 0, 'T' all alpha 0.
TEST_P(VectorEncoder, KeepsRunWordsAcrossBlocksAndLines) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::vector<int32_t> words;
  };
  const Case kCases[] = {
      {"three_block_line", {"O4T"}, {2, -1}},
      {"literal_run_across_line_end", {"TO", "4T"}, {-1, 2, -1}},
      {"transparent_run_across_lines", {"T", "T", "T"}, {-3}},
      {"alternating", {"OTOT"}, {1, -1, 1, -1}},
      {"one_run_through_the_field", {"O4", "4O"}, {4}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const uint32_t width = 16 * c.lines[0].size();
    const std::ptrdiff_t line_bytes = width * BytesPerPixel(format());
    Field f = EmptyField(format(), width, c.lines.size(), line_bytes);
    for (uint32_t row = 0; row < f.lines; ++row) {
      for (uint32_t b = 0; b < c.lines[row].size(); ++b) {
        const char kind = c.lines[row][b];
        std::vector<uint8_t> block = UniformBlock(format(), 200, 100, 50, kind == 'T' ? 0 : 255);
        if (kind == '4') {
          for (int i = 4; i < 16; ++i) block[AlphaAt(format(), i)] = 0;
        }
        std::copy(block.begin(), block.end(), f.Line(format(), row) + b * BlockBytes(format()));
      }
    }
    const Encoded e = Encode(vector(), f);
    std::vector<int32_t> words;
    std::ptrdiff_t at = kGuardBytes;
    while (at < e.out) {
      words.push_back(LoadWord(&e.buffer[at]));
      at += kRunWordBytes + std::max(words.back(), 0) * kLiteralBlockBytes;
    }
    EXPECT_EQ(words, c.words);
    EXPECT_EQ(at, e.out);
  }
}

// Worked values with the kernels' low bytes, inside the ranges every choice
// of low bytes must keep: opaque white Y 234-236 and chroma 127-128 (here
// 235, 128), white at alpha 128 Y 117-118 and chroma 64 (here 118), opaque
// black Y 16-17 (here 16). Y16A keeps the portable products: an opaque value
// above 0 stores one lower, 235 at alpha 128 stores 117, alpha 2 stores 1.
TEST_P(VectorEncoder, StoresWorkedValues) {
  struct Case {
    const char* name;
    PixelFormat format;
    uint8_t b_or_y, g_or_u, r_or_v, alpha;
    uint8_t y, inverse_alpha, u, v;
  };
  const Case kCases[] = {
      {"opaque_white", PixelFormat::kRgba32, 255, 255, 255, 255, 235, 0, 128, 128},
      {"white_alpha_128", PixelFormat::kRgba32, 255, 255, 255, 128, 118, 127, 64, 64},
      {"opaque_black", PixelFormat::kRgba32, 0, 0, 0, 255, 16, 0, 128, 128},
      {"white_alpha_2", PixelFormat::kRgba32, 255, 255, 255, 2, 2, 253, 1, 1},
      {"opaque_white", PixelFormat::kY16a, 235, 128, 128, 255, 234, 0, 127, 127},
      {"opaque_black", PixelFormat::kY16a, 16, 128, 128, 255, 15, 0, 127, 127},
      {"white_alpha_128", PixelFormat::kY16a, 235, 128, 128, 128, 117, 127, 64, 64},
      {"alpha_2", PixelFormat::kY16a, 255, 128, 200, 2, 1, 253, 1, 1},
  };
  for (const Case& c : kCases) {
    if (c.format != format()) continue;
    SCOPED_TRACE(c.name);
    const Encoded e =
        Encode(vector(), LineOf(format(), {UniformBlock(format(), c.b_or_y, c.g_or_u,
                                                        c.r_or_v, c.alpha)}));
    const uint8_t* block = &e.buffer[kGuardBytes + kRunWordBytes];
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(block[kLumaOffset + i], c.y) << "pixel " << i;
      EXPECT_EQ(block[kAlphaOffset + i], c.inverse_alpha) << "pixel " << i;
    }
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(block[kUOffset + k], c.u) << "pair " << k;
      EXPECT_EQ(block[kVOffset + k], c.v) << "pair " << k;
    }
  }
}

// A literal pixel of alpha 1 (beside one of 2): white stores Y 1 from BGRA,
// as (235 + 128) / 255 does, and Y 0 from Y16A, as (255 × 1) >> 8 does.
TEST_P(VectorEncoder, StoresAlphaOnePixelOfALiteralBlock) {
  std::vector<uint8_t> block = UniformBlock(format(), 255, 255, 255, 1);
  block[AlphaAt(format(), 1)] = 2;
  const Encoded e = Encode(vector(), LineOf(format(), {block}));
  EXPECT_EQ(e.buffer[kGuardBytes + kRunWordBytes + kLumaOffset], IsRgba(format()) ? 1 : 0);
  EXPECT_EQ(e.buffer[kGuardBytes + kRunWordBytes + kAlphaOffset], 254);
}

// The multimedia state is cleared on return: x87 arithmetic still works.
TEST_P(VectorEncoder, LeavesFloatingPointUsable) {
  const Field f = LineOf(format(), {UniformBlock(format(), 9, 99, 199, 99)});
  Encode(vector(), f);
  volatile long double x = 1.5L;
  const long double y = x * x + 0.25L;
  EXPECT_EQ(y, 2.5L);
}

INSTANTIATE_TEST_SUITE_P(Kernels, VectorEncoder, testing::ValuesIn(kEncoders),
                         [](const auto& info) { return std::string(info.param.name); });

// Whole frames through EncodeFrame and DecodeFrame with each variant's
// kernels: the frame's bytes equal the model's; decoded alpha is the source
// alpha wherever a pair is visible in full, and 0 in transparent blocks.
struct VariantCase {
  const char* name;
  KernelVariant variant;
};
void PrintTo(const VariantCase& c, std::ostream* os) { *os << c.name; }

class VectorFrames : public testing::TestWithParam<VariantCase> {};

std::vector<uint8_t> RandomFrame(test::Random& r, PixelFormat format, uint32_t width,
                                 uint32_t height) {
  std::vector<uint8_t> frame(RawFrameBytes(format, width, height));
  BlockKind kind = BlockKind::kRandom;
  for (std::size_t at = 0; at + BlockBytes(format) <= frame.size(); at += BlockBytes(format)) {
    if (r.Byte() % 4 == 0) kind = static_cast<BlockKind>(r.Byte() % int(BlockKind::kCount));
    FillBlock(r, format, kind, &frame[at]);
  }
  return frame;
}

TEST_P(VectorFrames, EncodeAndDecode) {
  const KernelVariant variant = GetParam().variant;
  if (!HasKernelVariant(variant)) {
    ASSERT_TRUE(test::MayLackVariant(variant));
    GTEST_SKIP() << "processor lacks the variant";
  }
  const FieldKernels kernels = KernelsOfVariant(variant);
  const FieldKernels model = {test::EncodeRgbaField_model, DecodeRgbaField_portable,
                              test::EncodeY16aField_model, DecodeY16aField_portable};
  test::Random r(CheckasmSeed());
  struct Size {
    uint32_t width, height;
  };
  for (PixelFormat format : {PixelFormat::kRgba32, PixelFormat::kY16a}) {
    for (const Size s : {Size{16, 2}, Size{48, 7}, Size{112, 33}, Size{320, 180}}) {
      SCOPED_TRACE((IsRgba(format) ? "bgra " : "y16a ") + std::to_string(s.width) + "x" +
                   std::to_string(s.height));
      const FrameFormat ff{format, s.width, s.height};
      const std::vector<uint8_t> raw =
          s.width >= 320 ? MakeSampleFrame(SampleKind::kTitle, SampleFormat(format), s.width, s.height)
                         : RandomFrame(r, format, s.width, s.height);
      const std::size_t capacity = MaxCompressedFrameBytes(s.width, s.height);
      std::vector<uint8_t> got(capacity), want(capacity);
      const std::size_t size = EncodeFrame(ff, raw.data(), got.data(), kernels);
      ASSERT_EQ(size, EncodeFrame(ff, raw.data(), want.data(), model));
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + size, want.begin()));

      std::vector<uint8_t> decoded(raw.size());
      ASSERT_EQ(DecodeFrame(ff, got.data(), size, decoded.data(), kernels), DecodeStatus::kDecoded);
      // Both fields together cover every line but the last of an odd height.
      const std::size_t covered = (s.height & ~1u) * s.width * BytesPerPixel(format);
      for (std::size_t block = 0; block + BlockBytes(format) <= covered;
           block += BlockBytes(format)) {
        uint8_t most = 0;
        for (int i = 0; i < 16; ++i) most = std::max(most, raw[block + AlphaAt(format, i)]);
        for (int k = 0; k < 8; ++k) {
          const std::size_t left = block + AlphaAt(format, 2 * k);
          const std::size_t right = block + AlphaAt(format, 2 * k + 1);
          if (most < 2) {
            ASSERT_EQ(decoded[left], 0) << "byte " << left;
            ASSERT_EQ(decoded[right], 0) << "byte " << right;
          } else if (raw[left] > 0 && raw[right] > 0) {
            ASSERT_EQ(decoded[left], raw[left]) << "byte " << left;
            ASSERT_EQ(decoded[right], raw[right]) << "byte " << right;
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, VectorFrames,
                         testing::Values(VariantCase{"Sse", KernelVariant::kSse},
                                         VariantCase{"Sse2", KernelVariant::kSse2},
                                         VariantCase{"Avx2", KernelVariant::kAvx2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxa
