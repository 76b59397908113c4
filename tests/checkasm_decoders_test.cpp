// The vector decoders against a scalar model of their own lanes (byte for
// byte) and against the portable decoders (structure exactly, values within
// the bounds of the 256 / alpha scale and the 1/8 colour resolution).
//
// Random cases print their seed; VOXA_CHECKASM_SEED=<n> replays one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/field_kernels.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "decoder_lane_model.h"
#include "kernel_variants.h"
#include "test_frames.h"
#include "support/sample_frames.h"
#include "sample_format.h"

namespace voxa {
namespace {

// Reads a payload block by block, bounded by its end, as a model of the
// decoders' walk.
class RunReader {
 public:
  enum class Block { kTransparent, kLiteral, kUntouched, kExhausted };

  RunReader(const uint8_t* in, const uint8_t* end, int32_t pending)
      : in_(in), end_(end), pending_(pending) {}

  // Says what the next block is. For a literal block, literal() then points
  // at its 48 bytes. kExhausted means the payload ended before the block.
  Block Next() {
    if (pending_ == 0) {
      if (Remaining() < kRunWordBytes) return Block::kExhausted;
      pending_ = LoadWord(in_);
      in_ += kRunWordBytes;
    }
    if (pending_ < 0) {
      ++pending_;
      return Block::kTransparent;
    }
    if (pending_ > 0) {
      if (Remaining() < kLiteralBlockBytes) return Block::kExhausted;
      literal_ = in_;
      in_ += kLiteralBlockBytes;
      --pending_;
      return Block::kLiteral;
    }
    return Block::kUntouched;
  }

  const uint8_t* literal() const { return literal_; }

  void Finish(const uint8_t** in, int32_t* pending) const {
    *in = in_;
    *pending = pending_;
  }

 private:
  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - in_); }

  const uint8_t* in_;
  const uint8_t* end_;
  int32_t pending_;
  const uint8_t* literal_ = nullptr;
};


using test::Lanes;

uint32_t Seed() {
  const char* text = std::getenv("VOXA_CHECKASM_SEED");
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 0)) : 0x5eed1e55u;
}

struct Variant {
  const char* name;
  KernelVariant variant;
  Lanes lanes;
  bool sse2_twin;  // must decode the SSE2 kernel's bytes
};
const Variant kVariants[] = {{"sse", KernelVariant::kSse, Lanes::kFour, false},
                             {"sse2", KernelVariant::kSse2, Lanes::kEight, false},
                             {"avx2", KernelVariant::kAvx2, Lanes::kEight, true}};

// What differs between the two output formats.
struct Format {
  const char* name;
  PixelFormat pixels;
  std::size_t block_bytes;
  bool bottom_up;
  DecodeFieldFn portable;
  DecodeFieldFn FieldKernels::*slot;
};
const Format kRgba = {"bgra", PixelFormat::kRgba32, 64, true, DecodeRgbaField_portable,
                      &FieldKernels::decode_rgba};
const Format kY16a = {"y16a", PixelFormat::kY16a, 48, false, DecodeY16aField_portable,
                      &FieldKernels::decode_y16a};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }
void PrintTo(const Format* f, std::ostream* os) { *os << f->name; }

std::vector<uint8_t> TransparentBlock(const Format& f) {
  if (f.bottom_up) return std::vector<uint8_t>(64, 0);
  std::vector<uint8_t> block(48, 128);
  std::fill(block.begin(), block.begin() + 16, 16);
  std::fill(block.begin() + 16, block.begin() + 32, 0);
  return block;
}

// `left`: the previous block of the line when it is literal, else null.
std::vector<uint8_t> ModelBlock(const Format& f, Lanes lanes, const uint8_t* in,
                                const uint8_t* left) {
  if (f.bottom_up) {
    const auto px = test::ModelRgbaBlock(lanes, in, left);
    return {px.begin(), px.end()};
  }
  const auto block = test::ModelY16aBlock(in, left);
  return {block.begin(), block.end()};
}

// A field's lines inside a frame buffer with guard bytes before and after.
// Every byte starts random, so a byte the decoder should leave is checked.
constexpr std::size_t kGuardBytes = 64;

struct Canvas {
  Canvas(const Format& f, uint32_t width, uint32_t lines, test::Random& random)
      : step(static_cast<std::ptrdiff_t>(2 * width * f.block_bytes / 16)),
        bytes(random.Bytes(2 * kGuardBytes + step * std::max<uint32_t>(lines, 1))) {}
  uint8_t* field() { return bytes.data() + kGuardBytes; }
  // Where block `index` of the field (in payload order) lies.
  std::size_t BlockOffset(const Format& f, uint32_t width, uint32_t lines,
                          std::size_t index) const {
    const std::size_t per_line = width / 16;
    const std::size_t line = index / per_line;
    const std::size_t stored = f.bottom_up ? lines - 1 - line : line;
    return kGuardBytes + stored * step + (index % per_line) * f.block_bytes;
  }
  std::ptrdiff_t step;
  std::vector<uint8_t> bytes;
};

// A payload planned block by block, with what each block should become and
// how many payload bytes must be there for the decoder to reach it.
struct PlannedBlock {
  enum Kind { kTransparent, kLiteral, kUntouched } kind;
  std::size_t literal_at;
  std::size_t needs;
};

struct FieldPlan {
  uint32_t width, lines;
  int32_t initial_pending;
  std::vector<uint8_t> payload;
  std::vector<PlannedBlock> blocks;
};

using BlockSource = std::function<std::vector<uint8_t>(test::Random&)>;

// Runs of random sign and length (often past a line's end), zero words now
// and then, sometimes a count carried in from before the field, and a last
// word that may announce more blocks than the field has.
FieldPlan PlanField(uint32_t width, uint32_t lines, test::Random& random,
                    const BlockSource& literal) {
  FieldPlan plan{width, lines, 0, {}, {}};
  const std::size_t total = static_cast<std::size_t>(width / 16) * lines;
  test::PayloadBuilder payload;
  auto add_literal = [&] {
    const std::vector<uint8_t> block = literal(random);
    const std::size_t at = payload.bytes().size();
    payload.Block(block);
    plan.blocks.push_back({PlannedBlock::kLiteral, at, at + 48});
  };
  if (total > 0 && random.Byte() < 48) {
    const int n = 1 + random.Byte() % std::min<std::size_t>(total, 3);
    plan.initial_pending = random.Byte() < 128 ? -n : n;
    for (int i = 0; i < n; ++i) {
      if (plan.initial_pending < 0) plan.blocks.push_back({PlannedBlock::kTransparent, 0, 0});
      else add_literal();
    }
  }
  while (plan.blocks.size() < total) {
    const std::size_t left = total - plan.blocks.size();
    if (random.Byte() < 24) {
      payload.Word(0);
      plan.blocks.push_back({PlannedBlock::kUntouched, 0, payload.bytes().size()});
      continue;
    }
    std::size_t n = 1 + random.Byte() % (2 * width / 16 + 2);
    const bool past_end = n > left;
    const bool literal_run = random.Byte() < 160;
    payload.Word(literal_run ? static_cast<int32_t>(n) : -static_cast<int32_t>(n));
    const std::size_t word_end = payload.bytes().size();
    if (past_end) n = left;
    for (std::size_t i = 0; i < n; ++i) {
      if (literal_run) add_literal();
      else plan.blocks.push_back({PlannedBlock::kTransparent, 0, word_end});
    }
  }
  plan.payload = payload.bytes();
  return plan;
}

// Random literal blocks of several kinds.
std::vector<uint8_t> AnyBytes(test::Random& r) { return r.Bytes(48); }

// As the Y16A encoder stores them: (value × alpha) >> 8, inverse alpha.
std::vector<uint8_t> Premultiplied(const std::array<uint8_t, 16>& y,
                                   const std::array<uint8_t, 16>& alpha,
                                   const std::array<uint8_t, 8>& u,
                                   const std::array<uint8_t, 8>& v) {
  std::vector<uint8_t> block(48);
  for (int i = 0; i < 16; ++i) {
    block[i] = static_cast<uint8_t>(y[i] * alpha[i] >> 8);
    block[16 + i] = static_cast<uint8_t>(255 - alpha[i]);
  }
  for (int k = 0; k < 8; ++k) {
    block[32 + k] = static_cast<uint8_t>(u[k] * alpha[2 * k] >> 8);
    block[40 + k] = static_cast<uint8_t>(v[k] * alpha[2 * k + 1] >> 8);
  }
  return block;
}

template <std::size_t N>
std::array<uint8_t, N> Pick(test::Random& r, std::initializer_list<uint8_t> from) {
  std::array<uint8_t, N> out{};
  for (auto& x : out) x = from.begin()[r.Byte() % from.size()];
  return out;
}

template <std::size_t N>
std::array<uint8_t, N> AnyOf(test::Random& r) {
  std::array<uint8_t, N> out{};
  for (auto& x : out) x = r.Byte();
  return out;
}

std::vector<uint8_t> EncoderMade(test::Random& r) {
  return Premultiplied(AnyOf<16>(r), AnyOf<16>(r), AnyOf<8>(r), AnyOf<8>(r));
}

// Alphas 0, 1, 2, 254, 255 with saturated and zero colours, as stored and as
// raw bytes (stored values above their alpha).
std::vector<uint8_t> Extremes(test::Random& r) {
  const auto alpha = Pick<16>(r, {0, 1, 2, 254, 255});
  if (r.Byte() < 128) {
    std::vector<uint8_t> block = test::LiteralBlock(0, 0, 0, 0);
    const auto values = Pick<32>(r, {0, 1, 2, 16, 127, 128, 235, 240, 254, 255});
    for (int i = 0; i < 16; ++i) block[i] = values[i], block[16 + i] = 255 - alpha[i];
    for (int k = 0; k < 16; ++k) block[32 + k] = values[16 + k];
    return block;
  }
  return Premultiplied(Pick<16>(r, {0, 16, 235, 255}), alpha, Pick<8>(r, {0, 16, 128, 240, 255}),
                       Pick<8>(r, {0, 16, 128, 240, 255}));
}

// Every pair has one pixel of alpha 0 beside one of any alpha.
std::vector<uint8_t> HalfTransparentPairs(test::Random& r) {
  auto alpha = AnyOf<16>(r);
  for (int k = 0; k < 8; ++k) alpha[2 * k + (r.Byte() & 1)] = 0;
  return Premultiplied(AnyOf<16>(r), alpha, AnyOf<8>(r), AnyOf<8>(r));
}

// Chroma swinging between its extremes from pair to pair.
std::vector<uint8_t> SharpChroma(test::Random& r) {
  std::array<uint8_t, 8> u{}, v{};
  for (int k = 0; k < 8; ++k) {
    u[k] = k % 2 == 0 ? 16 : 240;
    v[k] = (k / 2) % 2 == 0 ? 240 : 16;
  }
  return Premultiplied(AnyOf<16>(r), Pick<16>(r, {128, 200, 255}), u, v);
}

const std::pair<const char*, BlockSource> kMaterials[] = {
    {"any_bytes", AnyBytes},       {"encoder_made", EncoderMade},
    {"extremes", Extremes},        {"half_transparent_pairs", HalfTransparentPairs},
    {"sharp_chroma", SharpChroma},
};

struct DecodeResult {
  bool complete;
  std::ptrdiff_t consumed;
  int32_t pending;
};

// Decodes `input` (copied into a buffer of exactly its size) onto `canvas`.
DecodeResult Decode(DecodeFieldFn decode, const FieldPlan& plan, const std::vector<uint8_t>& input,
                    Canvas& canvas) {
  std::vector<uint8_t> exact(input);
  const uint8_t* in = exact.data();
  int32_t pending = plan.initial_pending;
  const bool complete = decode(canvas.field(), &in, exact.data() + exact.size(), plan.width,
                               plan.lines, canvas.step, &pending);
  return {complete, in - exact.data(), pending};
}

class DecoderCheck : public testing::TestWithParam<std::tuple<Variant, const Format*>> {
 protected:
  void SetUp() override {
    if (!HasKernelVariant(variant().variant)) {
      ASSERT_TRUE(test::MayLackVariant(variant().variant));
      GTEST_SKIP() << "processor lacks " << variant().name;
    }
  }
  const Variant& variant() const { return std::get<0>(GetParam()); }
  const Format& format() const { return *std::get<1>(GetParam()); }
  DecodeFieldFn kernel() const { return KernelsOfVariant(variant().variant).*format().slot; }
};

// Each planned field decoded from its whole payload and from cuts of it:
// every byte of the canvas must be what the plan and the model say, and the
// read position, the remaining count and the result those of the portable
// decoder.
TEST_P(DecoderCheck, MatchesLaneModelByteForByte) {
  const uint32_t seed = Seed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  test::Random random(seed);
  const uint32_t widths[] = {16, 32, 48, 80, 720};
  for (const auto& [material, source] : kMaterials) {
    SCOPED_TRACE(material);
    for (int n = 0; n < 24; ++n) {
      const uint32_t width = widths[n % 5];
      const uint32_t lines = 1 + random.Byte() % (width > 100 ? 2 : 5);
      const FieldPlan plan = PlanField(width, lines, random, source);
      const std::size_t size = plan.payload.size();
      std::vector<std::size_t> cuts = {size, size - 1, random.Byte() * size / 256};
      for (const PlannedBlock& b : plan.blocks) {
        if (b.needs > 0 && random.Byte() < 16) cuts.push_back(b.needs - 1 - random.Byte() % 4);
      }
      for (std::size_t cut : cuts) {
        cut = std::min(cut, size);
        SCOPED_TRACE("field " + std::to_string(n) + ", " + std::to_string(width) + "x" +
                     std::to_string(lines) + ", payload cut to " + std::to_string(cut) + " of " +
                     std::to_string(size));
        const std::vector<uint8_t> input(plan.payload.begin(), plan.payload.begin() + cut);
        test::Random canvas_bytes(seed + n);
        Canvas canvas(format(), width, lines, canvas_bytes);
        std::vector<uint8_t> expected = canvas.bytes;
        Canvas reference = canvas;

        bool reached_all = true;
        for (std::size_t i = 0; i < plan.blocks.size(); ++i) {
          const PlannedBlock& b = plan.blocks[i];
          if (b.needs > cut) {
            reached_all = false;
            break;
          }
          if (b.kind == PlannedBlock::kUntouched) continue;
          const bool after_literal = i % (width / 16) != 0 &&
                                     plan.blocks[i - 1].kind == PlannedBlock::kLiteral;
          const std::vector<uint8_t> value =
              b.kind == PlannedBlock::kTransparent
                  ? TransparentBlock(format())
                  : ModelBlock(format(), variant().lanes, &plan.payload[b.literal_at],
                               after_literal ? &plan.payload[plan.blocks[i - 1].literal_at]
                                             : nullptr);
          std::copy(value.begin(), value.end(),
                    expected.begin() + canvas.BlockOffset(format(), width, lines, i));
        }

        Canvas twin = canvas;
        const DecodeResult got = Decode(kernel(), plan, input, canvas);
        const DecodeResult want = Decode(format().portable, plan, input, reference);
        if (variant().sse2_twin) {
          Decode(KernelsOfVariant(KernelVariant::kSse2).*format().slot, plan, input, twin);
          EXPECT_TRUE(canvas.bytes == twin.bytes) << "not the SSE2 decoder's bytes";
        }
        EXPECT_EQ(got.complete, reached_all);
        EXPECT_EQ(got.complete, want.complete);
        EXPECT_EQ(got.consumed, want.consumed);
        EXPECT_EQ(got.pending, want.pending);
        const auto diff = std::mismatch(canvas.bytes.begin(), canvas.bytes.end(), expected.begin());
        ASSERT_TRUE(diff.first == canvas.bytes.end())
            << "first wrong byte at " << (diff.first - canvas.bytes.begin()) << " of "
            << canvas.bytes.size() << ": " << int{*diff.first} << ", model "
            << int{*diff.second};
      }
    }
  }
}

// Every stored byte with every inverse alpha, in blocks of one alpha each:
// exact against the model, and within the bound of the 256 / alpha scale of
// the portable Y16A decoder. With the exact reciprocal alpha 255 gets Rc 256
// and returns the stored values unchanged; alpha 1 gets Rc 65534 and makes
// any stored value of 1 or more 255.
TEST_P(DecoderCheck, EveryValueAndAlpha) {
  test::PayloadBuilder builder;
  builder.Word(256 * 16);
  for (int inverse = 0; inverse < 256; ++inverse) {
    for (int first = 0; first < 256; first += 16) {
      std::vector<uint8_t> block(48);
      for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(first + i);
      for (int i = 0; i < 16; ++i) block[16 + i] = static_cast<uint8_t>(inverse);
      for (int k = 0; k < 16; ++k) block[32 + k] = static_cast<uint8_t>(first + k);
      builder.Block(block);
    }
  }
  const FieldPlan plan{16 * 256, 16, 0, builder.bytes(), {}};
  test::Random random(1);
  Canvas canvas(format(), plan.width, plan.lines, random);
  Canvas reference = canvas;
  ASSERT_TRUE(Decode(kernel(), plan, plan.payload, canvas).complete);
  ASSERT_TRUE(Decode(format().portable, plan, plan.payload, reference).complete);
  for (std::size_t index = 0; index < 256 * 16; ++index) {
    const uint8_t* in = &plan.payload[4 + 48 * index];
    const std::size_t at = canvas.BlockOffset(format(), plan.width, plan.lines, index);
    // A block of alpha 0 takes its chroma from the block before it.
    const std::vector<uint8_t> model =
        ModelBlock(format(), variant().lanes, in, index % 256 != 0 ? in - 48 : nullptr);
    ASSERT_TRUE(std::equal(model.begin(), model.end(), canvas.bytes.begin() + at))
        << "stored bytes from " << int{in[0]} << ", inverse alpha " << int{in[16]};
    if (format().bottom_up) continue;
    const int alpha = 255 - in[16];
    for (std::size_t j = 0; j < 48; ++j) {
      if ((j >= 16 && j < 32) || (alpha == 0 && j >= 32)) continue;  // alpha; borrowed chroma
      const int got = canvas.bytes[at + j], want = reference.bytes[at + j];
      if (alpha == 255 || alpha == 1) {
        ASSERT_EQ(got, alpha == 255 ? in[j] : in[j] == 0 ? 0 : 255) << "stored " << int{in[j]};
      }
      // c × Rc / 256 - 256 c / a = (c / 256)(Rc - 65536 / a), and
      // |Rc - 65536 / a| <= 1 + 2 / a: under 2 for any byte; for c <= a under
      // (a + 2) / 256, below 1 up to alpha 253 (at 254 and 255 Rc is within
      // 0.02 of 65536 / a).
      const int bound = in[j] <= alpha ? 1 : 2;
      ASSERT_LE(std::abs(got - want), bound)
          << "stored " << int{in[j]} << " at alpha " << alpha << ": " << got << " vs " << want;
    }
  }
}

// One field of `lines` lines from a payload, onto a canvas.
struct Decoded {
  Canvas canvas;
  DecodeResult result;
};

Decoded DecodeOnto(DecodeFieldFn decode, const Format& f, uint32_t width, uint32_t lines,
                   const std::vector<uint8_t>& payload, int32_t pending = 0) {
  test::Random random(width * 7 + lines);
  Decoded d{Canvas(f, width, lines, random), {}};
  const FieldPlan plan{width, lines, pending, payload, {}};
  d.result = Decode(decode, plan, payload, d.canvas);
  return d;
}

// Encodes `pixels` (a field of `lines` lines, stored contiguously with the
// canvas's step) with the portable encoder of the format.
std::vector<uint8_t> EncodePortable(const Format& f, const std::vector<uint8_t>& pixels,
                                    uint32_t width, uint32_t lines) {
  std::vector<uint8_t> out(MaxFieldPayloadBytes(width, lines));
  StoreWord(out.data(), 0);
  uint8_t* run_word = out.data();
  uint8_t* pos = out.data() + 4;
  const EncodeFieldFn encode = f.bottom_up ? EncodeRgbaField_portable : EncodeY16aField_portable;
  encode(&pos, pixels.data(), width, lines, static_cast<std::ptrdiff_t>(width * f.block_bytes / 16),
         &run_word);
  out.resize(pos - out.data());
  return out;
}

// Against the portable decoder on what the encoders write: the same bytes
// written, transparent blocks identical, alpha identical everywhere (pixels
// beside a transparent one included); Y16A values within 1 (the stored values
// do not exceed their alpha; see EveryValueAndAlpha).
TEST_P(DecoderCheck, AgreesWithPortableOnEncodedPictures) {
  const Format& f = format();
  for (const SampleKind kind : {SampleKind::kTitle, SampleKind::kOpaque}) {
    SCOPED_TRACE(kind == SampleKind::kTitle ? "title" : "opaque");
    const uint32_t width = 160, lines = 24;
    const std::vector<uint8_t> payload =
        EncodePortable(f, MakeSampleFrame(kind, SampleFormat(f.pixels), width, lines), width, lines);
    const Decoded got = DecodeOnto(kernel(), f, width, lines, payload);
    const Decoded want = DecodeOnto(f.portable, f, width, lines, payload);
    EXPECT_TRUE(got.result.complete);
    EXPECT_EQ(got.result.consumed, want.result.consumed);
    std::vector<bool> in_block(got.canvas.bytes.size());
    const std::vector<uint8_t> transparent = TransparentBlock(f);
    std::size_t beside_transparent = 0;
    RunReader runs(payload.data(), payload.data() + payload.size(), 0);
    for (std::size_t b = 0; b < (width / 16) * lines; ++b) {
      const std::size_t at = got.canvas.BlockOffset(f, width, lines, b);
      std::fill_n(in_block.begin() + at, f.block_bytes, true);
      const uint8_t* g = &got.canvas.bytes[at];
      const uint8_t* w = &want.canvas.bytes[at];
      if (runs.Next() == RunReader::Block::kTransparent) {
        ASSERT_TRUE(std::equal(transparent.begin(), transparent.end(), w)) << "block " << b;
        ASSERT_TRUE(std::equal(transparent.begin(), transparent.end(), g)) << "block " << b;
        continue;
      }
      for (int i = 0; i < 16; ++i) {
        if (!f.bottom_up) {
          ASSERT_EQ(g[16 + i], w[16 + i]) << "block " << b << " pixel " << i;
          continue;
        }
        const uint8_t alpha = g[4 * i + 3], mate = g[4 * (i ^ 1) + 3];
        ASSERT_EQ(alpha, w[4 * i + 3]) << "block " << b << " pixel " << i;
        beside_transparent += alpha != 0 && mate == 0;
      }
      for (std::size_t j = 0; !f.bottom_up && j < 48; ++j) {
        ASSERT_LE(std::abs(g[j] - w[j]), 1) << "block " << b << " byte " << j;
      }
    }
    for (std::size_t i = 0; i < in_block.size(); ++i) {
      if (!in_block[i]) {
        ASSERT_EQ(got.canvas.bytes[i], want.canvas.bytes[i]) << "byte " << i;
      }
    }
    // The title's anti-aliased edges hold pairs with one pixel of alpha 0.
    if (f.bottom_up) {
      EXPECT_EQ(beside_transparent > 0, kind == SampleKind::kTitle);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, DecoderCheck,
    testing::Combine(testing::ValuesIn(kVariants), testing::Values(&kRgba, &kY16a)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param)->name;
    });

// Blocks of one colour and one alpha, coded by the portable encoder: no
// chroma changes between pairs, so interpolation changes nothing and only the
// scales differ. Stage 1 gives Y′, U′, V′ within -1..+2 of the portable
// decoder's value × 255 / a (stored values do not exceed alpha, and
// |Rc - 65534 / a| <= 1); through the weights 1.164 and 2.018 (blue), -0.391
// and -0.813 (green), 1.596 (red), plus under 0.35 of rounding in the 1/8
// fixed point, that bounds blue by 7, green by 4 and red by 6. Opaque pixels
// divide exactly and differ only by the rounding: 1.
struct ColourBound {
  int alpha_from, alpha_to;
  int blue, green, red;
};
const ColourBound kColourBounds[] = {{2, 254, 7, 4, 6}, {255, 255, 1, 1, 1}};

class VectorDecoder : public testing::TestWithParam<Variant> {
 protected:
  void SetUp() override {
    if (!HasKernelVariant(GetParam().variant)) {
      ASSERT_TRUE(test::MayLackVariant(GetParam().variant));
      GTEST_SKIP() << "processor lacks " << GetParam().name;
    }
  }
  FieldKernels kernels() const { return KernelsOfVariant(GetParam().variant); }
};

TEST_P(VectorDecoder, UniformChromaWithinBoundOfPortable) {
  const uint32_t seed = Seed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  test::Random random(seed);
  for (const ColourBound& bound : kColourBounds) {
    // One line of blocks, each its own colour at an alpha of the range.
    const uint32_t blocks = 2048, width = 16 * blocks;
    std::vector<uint8_t> line;
    for (uint32_t b = 0; b < blocks; ++b) {
      const int alpha =
          bound.alpha_from + static_cast<int>(b) % (bound.alpha_to - bound.alpha_from + 1);
      const test::Bgra px{random.Byte(), random.Byte(), random.Byte(), static_cast<uint8_t>(alpha)};
      const std::vector<uint8_t> block = test::BgraBlocks(1, px);
      line.insert(line.end(), block.begin(), block.end());
    }
    const std::vector<uint8_t> payload = EncodePortable(kRgba, line, width, 1);
    const Decoded got = DecodeOnto(kernels().decode_rgba, kRgba, width, 1, payload);
    const Decoded want = DecodeOnto(DecodeRgbaField_portable, kRgba, width, 1, payload);
    int worst[3] = {0, 0, 0};
    for (std::size_t i = kGuardBytes; i < kGuardBytes + line.size(); i += 4) {
      ASSERT_EQ(got.canvas.bytes[i + 3], want.canvas.bytes[i + 3]) << "pixel " << i / 4;
      for (int c = 0; c < 3; ++c) {
        worst[c] = std::max(worst[c], std::abs(got.canvas.bytes[i + c] - want.canvas.bytes[i + c]));
      }
    }
    SCOPED_TRACE("alpha " + std::to_string(bound.alpha_from) + " to " +
                 std::to_string(bound.alpha_to));
    EXPECT_LE(worst[0], bound.blue);
    EXPECT_LE(worst[1], bound.green);
    EXPECT_LE(worst[2], bound.red);
  }
}

TEST_P(VectorDecoder, NegativeRunWordWritesTransparentBlocks) {
  const std::vector<uint8_t> payload = test::PayloadBuilder().Word(-5).bytes();
  for (const Format* f : {&kRgba, &kY16a}) {
    SCOPED_TRACE(f->name);
    // Five blocks over two lines of three: the run goes on into the next line.
    const Decoded got = DecodeOnto(kernels().*(f->slot), *f, 48, 2, payload);
    const Decoded want = DecodeOnto(f->portable, *f, 48, 2, payload);
    EXPECT_EQ(got.canvas.bytes, want.canvas.bytes);
    const std::vector<uint8_t> transparent = TransparentBlock(*f);
    for (std::size_t b = 0; b < 5; ++b) {
      const std::size_t at = got.canvas.BlockOffset(*f, 48, 2, b);
      EXPECT_TRUE(std::equal(transparent.begin(), transparent.end(), &got.canvas.bytes[at]));
    }
    EXPECT_FALSE(got.result.complete);  // the sixth block has no word
    EXPECT_EQ(got.result.consumed, 4);
  }
}

// Pairs with one transparent pixel in every position of a block, at a
// line's start and after a transparent block, the other pixels opaque (so
// that every decoder gives the stored values back and the Y16A output shows
// which neighbour a missing component came from): every variant writes what
// the model of the rule says, and in BGRA the same alphas, a transparent
// pixel as four zeros.
TEST(ChromaBorrowing, EveryVariantTakesTheSameNeighbour) {
  const uint32_t seed = Seed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  test::Random random(seed);
  constexpr uint32_t kWidth = 48, kLines = 2, kBlocks = kWidth / 16 * kLines;
  for (int n = 0; n < 300; ++n) {
    test::PayloadBuilder payload;
    std::vector<std::vector<uint8_t>> literals(kBlocks);
    for (uint32_t b = 0; b < kBlocks; ++b) {
      if (b % 3 == 1 && random.Byte() < 96) {
        payload.Word(-1);
        continue;
      }
      std::vector<uint8_t> block = random.Bytes(48);
      for (int i = 0; i < 16; ++i) {
        const bool hidden = random.Byte() < 80;
        block[16 + i] = hidden ? 255 : 0;
        if (hidden) block[i] = 0, block[(i % 2 == 0 ? 32 : 40) + i / 2] = 0;
      }
      literals[b] = block;
      payload.Word(1).Block(block);
    }
    std::vector<uint8_t> want_y16a;
    for (uint32_t line = 0; line < kLines; ++line) {
      for (uint32_t b = line * 3; b < line * 3 + 3; ++b) {
        const bool after_literal = b % 3 != 0 && !literals[b - 1].empty();
        const std::vector<uint8_t> block =
            literals[b].empty()
                ? TransparentBlock(kY16a)
                : ModelBlock(kY16a, Lanes::kEight, literals[b].data(),
                             after_literal ? literals[b - 1].data() : nullptr);
        want_y16a.insert(want_y16a.end(), block.begin(), block.end());
      }
      want_y16a.resize(want_y16a.size() + kWidth * 3);  // the other field's line
    }
    want_y16a.resize(want_y16a.size() - kWidth * 3);
    const Decoded portable_bgra = DecodeOnto(DecodeRgbaField_portable, kRgba, kWidth, kLines, payload.bytes());
    for (KernelVariant variant : {KernelVariant::kPortable, KernelVariant::kSse,
                                  KernelVariant::kSse2, KernelVariant::kAvx2}) {
      if (!HasKernelVariant(variant)) continue;
      SCOPED_TRACE("field " + std::to_string(n) + ", variant " + std::to_string(static_cast<int>(variant)));
      const FieldKernels k = KernelsOfVariant(variant);
      const Decoded y16a = DecodeOnto(k.decode_y16a, kY16a, kWidth, kLines, payload.bytes());
      for (std::size_t i = 0; i < want_y16a.size(); ++i) {
        if ((i / (kWidth * 3)) % 2 == 1) continue;  // between the field's lines
        ASSERT_EQ(y16a.canvas.bytes[kGuardBytes + i], want_y16a[i]) << "byte " << i;
      }
      const Decoded bgra = DecodeOnto(k.decode_rgba, kRgba, kWidth, kLines, payload.bytes());
      for (uint32_t b = 0; b < kBlocks; ++b) {
        const std::size_t at = bgra.canvas.BlockOffset(kRgba, kWidth, kLines, b);
        for (int i = 0; i < 16; ++i) {
          const uint8_t* px = &bgra.canvas.bytes[at + 4 * i];
          ASSERT_EQ(px[3], portable_bgra.canvas.bytes[at + 4 * i + 3]) << "block " << b << " pixel " << i;
          if (px[3] == 0) {
            ASSERT_EQ(px[0] | px[1] | px[2], 0) << "block " << b << " pixel " << i;
          }
        }
      }
    }
  }
}

TEST_P(VectorDecoder, ZeroRunWordLeavesItsBlockAsItWas) {
  const std::vector<uint8_t> payload = test::PayloadBuilder()
                                           .Word(0)
                                           .Word(-1)
                                           .Word(0)
                                           .Word(1)
                                           .Block(test::LiteralBlock(100, 0, 128, 128))
                                           .bytes();
  for (const Format* f : {&kRgba, &kY16a}) {
    SCOPED_TRACE(f->name);
    test::Random random(64 * 7 + 1);
    const std::vector<uint8_t> before = Canvas(*f, 64, 1, random).bytes;
    const Decoded got = DecodeOnto(kernels().*(f->slot), *f, 64, 1, payload);
    EXPECT_TRUE(got.result.complete);
    EXPECT_EQ(got.result.consumed, static_cast<std::ptrdiff_t>(payload.size()));
    for (std::size_t b : {0, 2}) {
      const std::size_t at = got.canvas.BlockOffset(*f, 64, 1, b);
      EXPECT_TRUE(std::equal(&before[at], &before[at] + f->block_bytes, &got.canvas.bytes[at]))
          << "block " << b;
    }
    const std::vector<uint8_t> transparent = TransparentBlock(*f);
    EXPECT_TRUE(std::equal(transparent.begin(), transparent.end(),
                           &got.canvas.bytes[got.canvas.BlockOffset(*f, 64, 1, 1)]));
    // The literal block lands on the fourth block: its first pixel's alpha.
    const std::size_t literal = got.canvas.BlockOffset(*f, 64, 1, 3);
    EXPECT_EQ(got.canvas.bytes[literal + (f->bottom_up ? 3 : 16)], 255);
  }
}

struct EmptyField {
  uint32_t width, lines;
};
const EmptyField kEmptyFields[] = {{16, 0}, {0, 3}, {8, 2}, {15, 1}, {0, 0}};

TEST_P(VectorDecoder, NoLinesOrNarrowerThanABlockWritesAndReadsNothing) {
  const std::vector<uint8_t> payload = test::PayloadBuilder().Word(-1).Word(2).bytes();
  for (const Format* f : {&kRgba, &kY16a}) {
    for (const EmptyField& e : kEmptyFields) {
      SCOPED_TRACE(std::string(f->name) + " " + std::to_string(e.width) + "x" +
                   std::to_string(e.lines));
      test::Random random(e.width * 7 + e.lines);
      const std::vector<uint8_t> before = Canvas(*f, e.width, e.lines, random).bytes;
      const Decoded got = DecodeOnto(kernels().*(f->slot), *f, e.width, e.lines, payload, 5);
      EXPECT_TRUE(got.result.complete);
      EXPECT_EQ(got.result.consumed, 0);
      EXPECT_EQ(got.result.pending, 5);
      EXPECT_EQ(got.canvas.bytes, before);
    }
  }
}

// The model of a whole frame: the portable decoders' run bookkeeping with
// the lane model's blocks.
void ModelDecodeFrame(const Format& f, Lanes lanes, const FrameFormat& format,
                      const std::vector<uint8_t>& frame, uint8_t* pixels) {
  FieldChunks chunks;
  ASSERT_TRUE(FindFieldChunks(frame.data() + 4, frame.size() - 4, &chunks));
  const std::pair<uint32_t, const Chunk*> fields[] = {{kFirstFieldTag, &chunks.first_field},
                                                      {kSecondFieldTag, &chunks.second_field}};
  for (const auto& [tag, chunk] : fields) {
    const FieldGeometry g = GetFieldGeometry(f.pixels, format.width, format.height, tag);
    const uint32_t per_line = g.width / 16;
    RunReader runs(chunk->payload, chunk->payload + chunk->available, 0);
    const uint8_t* left = nullptr;
    for (uint32_t b = 0; b < per_line * g.lines; ++b) {
      const uint32_t line = f.bottom_up ? g.lines - 1 - b / per_line : b / per_line;
      uint8_t* out = pixels + g.first_line_offset + line * g.step + (b % per_line) * f.block_bytes;
      const RunReader::Block kind = runs.Next();
      ASSERT_NE(kind, RunReader::Block::kExhausted);
      if (b % per_line == 0) left = nullptr;
      std::vector<uint8_t> value;
      if (kind == RunReader::Block::kTransparent) value = TransparentBlock(f);
      if (kind == RunReader::Block::kLiteral) value = ModelBlock(f, lanes, runs.literal(), left);
      left = kind == RunReader::Block::kLiteral ? runs.literal() : nullptr;
      std::copy(value.begin(), value.end(), out);
    }
  }
}

// Whole frames through EncodeFrame and DecodeFrame with the variant's
// kernels: every byte of the decoded frame as the model says, the last line
// of an odd height (in neither field) left as it was.
TEST_P(VectorDecoder, WholeFrames) {
  const FrameFormat sizes[] = {{PixelFormat::kRgba32, 16, 2},
                               {PixelFormat::kRgba32, 48, 7},
                               {PixelFormat::kRgba32, 720, 9},
                               {PixelFormat::kRgba32, 32, 1}};
  for (const Format* f : {&kRgba, &kY16a}) {
    for (FrameFormat size : sizes) {
      for (const SampleKind kind : {SampleKind::kTitle, SampleKind::kOpaque}) {
        size.format = f->pixels;
        SCOPED_TRACE(std::string(f->name) + " " + std::to_string(size.width) + "x" +
                     std::to_string(size.height) +
                     (kind == SampleKind::kTitle ? " title" : " opaque"));
        const std::vector<uint8_t> picture =
            MakeSampleFrame(kind, SampleFormat(f->pixels), size.width, size.height);
        std::vector<uint8_t> frame(MaxCompressedFrameBytes(size.width, size.height));
        frame.resize(EncodeFrame(size, picture.data(), frame.data(), kernels()));
        test::Random random(size.width + size.height);
        const std::vector<uint8_t> before = random.Bytes(picture.size());
        std::vector<uint8_t> got = before, want = before;
        EXPECT_EQ(DecodeFrame(size, frame.data(), frame.size(), got.data(), kernels()),
                  DecodeStatus::kDecoded);
        ModelDecodeFrame(*f, GetParam().lanes, size, frame, want.data());
        EXPECT_EQ(got, want);
        if (size.height % 2 == 1) {
          // The last stored line belongs to neither field.
          const std::size_t line = picture.size() / size.height;
          EXPECT_TRUE(std::equal(before.end() - line, before.end(), got.end() - line));
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Decoders, VectorDecoder, testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voxa
