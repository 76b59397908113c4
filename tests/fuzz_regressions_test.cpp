// The fuzz target's check in every build: its seed inputs replayed through
// it, and kernels with planted faults that it must reject.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/field_kernels.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "fuzz/decode_frame_check.h"
#include "fuzz/seed_inputs.h"
#include "support/sample_frames.h"
#include "sample_format.h"

namespace voxa::fuzz {
namespace {

struct CheckFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Runs the check with its failures turned into exceptions: the failure's
// message, or "" when every check held.
std::string RunCheck(const std::vector<uint8_t>& input,
                     const FieldKernels& kernels = kPortableKernels) {
  const CheckFailureHandler previous =
      SetCheckFailureHandler([](const char* message) { throw CheckFailure(message); });
  std::string failure;
  try {
    CheckDecodeFrameWith(input.data(), input.size(), kernels);
  } catch (const CheckFailure& e) {
    failure = e.what();
  }
  SetCheckFailureHandler(previous);
  return failure;
}

std::vector<uint8_t> EncodedInput(SampleKind kind, PixelFormat format, uint32_t width,
                                  uint32_t height) {
  const FrameFormat f{format, width, height};
  std::vector<uint8_t> raw = MakeSampleFrame(kind, SampleFormat(format), width, height);
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(width, height));
  frame.resize(EncodeFrame(f, raw.data(), frame.data(), kPortableKernels));
  return MakeCheckInput(format, width, height, false, frame);
}

TEST(FuzzSeeds, CoverBothFormatsAndEveryDecodeStatus) {
  std::set<DecodeStatus> statuses;
  std::set<uint8_t> formats;
  for (const SeedInput& seed : MakeSeedInputs()) {
    ASSERT_GE(seed.bytes.size(), kCheckHeaderBytes) << seed.name;
    formats.insert(seed.bytes[0] & kFlagY16a);
    const FrameFormat f{(seed.bytes[0] & kFlagY16a) != 0 ? PixelFormat::kY16a
                                                          : PixelFormat::kRgba32,
                        seed.bytes[1] * kBlockPixels, seed.bytes[2]};
    ASSERT_LE(seed.bytes[1], kMaxWidthBlocks) << seed.name;
    ASSERT_LE(seed.bytes[2], kMaxHeight) << seed.name;
    std::vector<uint8_t> pixels(RawFrameBytes(f.format, f.width, f.height) +
                                2 * BytesPerPixel(f.format) * f.width + 1);
    statuses.insert(DecodeFrame(f, seed.bytes.data() + kCheckHeaderBytes,
                                seed.bytes.size() - kCheckHeaderBytes, pixels.data(),
                                kPortableKernels));
  }
  EXPECT_EQ(formats.size(), 2u);
  EXPECT_EQ(statuses.count(DecodeStatus::kDecoded), 1u);
  EXPECT_EQ(statuses.count(DecodeStatus::kDamaged), 1u);
  EXPECT_EQ(statuses.count(DecodeStatus::kNotAFrame), 1u);
}

// The seeds through CheckDecodeFrame itself, with every kernel variant this
// build and processor have.
std::string RunNamedKernels(const std::vector<uint8_t>& input) {
  const CheckFailureHandler previous =
      SetCheckFailureHandler([](const char* message) { throw CheckFailure(message); });
  std::string failure;
  try {
    CheckDecodeFrame(input.data(), input.size());
  } catch (const CheckFailure& e) {
    failure = e.what();
  }
  SetCheckFailureHandler(previous);
  return failure;
}

const KernelVariant kVariants[] = {KernelVariant::kPortable, KernelVariant::kSse,
                                   KernelVariant::kSse2, KernelVariant::kAvx2};

TEST(FuzzSeeds, PassTheCheck) {
  for (KernelVariant variant : kVariants) {
    if (!HasKernelVariant(variant)) continue;
    SCOPED_TRACE(static_cast<int>(variant));
    for (const SeedInput& seed : MakeSeedInputs()) {
      EXPECT_EQ(RunNamedKernels(WithVariant(seed.bytes, variant)), "") << seed.name;
    }
  }
}

TEST(FuzzSeeds, PassTheCheckWithRoundTrips) {
  for (KernelVariant variant : kVariants) {
    if (!HasKernelVariant(variant)) continue;
    SCOPED_TRACE(static_cast<int>(variant));
    for (SeedInput seed : MakeSeedInputs()) {
      seed.bytes[0] |= kFlagRoundTrip;
      EXPECT_EQ(RunNamedKernels(WithVariant(seed.bytes, variant)), "") << seed.name;
    }
  }
}

// Kernels with planted faults. Each wraps a portable kernel.

// Flips a byte one field length behind the field: past the frame's end for
// both fields of an even height.
bool WritesPastTheFrame(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                        uint32_t width, uint32_t lines, std::ptrdiff_t step, int32_t* pending) {
  const bool complete =
      DecodeY16aField_portable(destination, in, in_end, width, lines, step, pending);
  uint8_t* past = destination + static_cast<std::ptrdiff_t>(lines) * step;
  *past = static_cast<uint8_t>(~*past);
  return complete;
}

int g_decode_calls = 0;

bool CountsIntoThePixels(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                         uint32_t width, uint32_t lines, std::ptrdiff_t step, int32_t* pending) {
  const bool complete =
      DecodeY16aField_portable(destination, in, in_end, width, lines, step, pending);
  destination[0] = static_cast<uint8_t>(++g_decode_calls);
  return complete;
}

bool KeepsAnOldByte(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                    uint32_t width, uint32_t lines, std::ptrdiff_t step, int32_t* pending) {
  const uint8_t old = destination[0];
  const bool complete =
      DecodeY16aField_portable(destination, in, in_end, width, lines, step, pending);
  destination[0] = static_cast<uint8_t>(old ^ 0x55);
  return complete;
}

bool GivesUp(uint8_t*, const uint8_t**, const uint8_t*, uint32_t, uint32_t, std::ptrdiff_t,
             int32_t*) {
  return false;
}

// In the first field of a Y16A frame of odd height, also writes a transparent
// block on the line that belongs to no field.
bool WritesTheLeftoverLine(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                           uint32_t width, uint32_t lines, std::ptrdiff_t step,
                           int32_t* pending) {
  const bool complete =
      DecodeY16aField_portable(destination, in, in_end, width, lines, step, pending);
  if (g_decode_calls++ % 2 == 0) {
    uint8_t* block = destination + static_cast<std::ptrdiff_t>(lines) * step;
    std::memset(block + kLumaOffset, 16, 16);
    std::memset(block + kAlphaOffset, 0, 16);
    std::memset(block + kUOffset, 128, 16);
  }
  return complete;
}

// Codes every alpha from 2 to 254 one higher.
void RaisesAlphas(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                  std::ptrdiff_t step, uint8_t** run_word) {
  std::vector<uint8_t> copy(static_cast<std::size_t>(lines) * static_cast<std::size_t>(step) + 1);
  const std::size_t line_bytes = width * std::size_t{3};
  for (uint32_t l = 0; l < lines; ++l) {
    uint8_t* line = copy.data() + l * static_cast<std::size_t>(step);
    std::memcpy(line, source + l * step, line_bytes);
    for (std::size_t b = 0; b < line_bytes; b += 48) {
      for (std::size_t i = 0; i < 16; ++i) {
        uint8_t& alpha = line[b + kAlphaOffset + i];
        if (alpha >= 2 && alpha < 255) ++alpha;
      }
    }
  }
  EncodeY16aField_portable(out, copy.data(), width, lines, step, run_word);
}

// Codes pixels of alpha 2 as alpha 1, so that faint blocks become transparent.
void DropsFaintBlocks(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                      std::ptrdiff_t step, uint8_t** run_word) {
  std::vector<uint8_t> copy(static_cast<std::size_t>(lines) * static_cast<std::size_t>(step) + 1);
  const std::size_t line_bytes = width * std::size_t{4};
  for (uint32_t l = 0; l < lines; ++l) {
    uint8_t* line = copy.data() + l * static_cast<std::size_t>(step);
    std::memcpy(line, source + l * step, line_bytes);
    for (std::size_t i = 3; i < line_bytes; i += 4) {
      if (line[i] == 2) line[i] = 1;
    }
  }
  EncodeRgbaField_portable(out, copy.data(), width, lines, step, run_word);
}

FieldKernels WithY16aDecoder(DecodeFieldFn decode) {
  FieldKernels k = kPortableKernels;
  k.decode_y16a = decode;
  return k;
}

TEST(CheckDecodeFrame, CatchesADecoderWritingPastTheFrame) {
  const auto input = EncodedInput(SampleKind::kOpaque, PixelFormat::kY16a, 32, 4);
  ASSERT_EQ(RunCheck(input), "");
  EXPECT_NE(RunCheck(input, WithY16aDecoder(WritesPastTheFrame))
                .find("DecodeFrame wrote outside the frame"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesADecoderThatIsNotDeterministic) {
  const auto input = EncodedInput(SampleKind::kOpaque, PixelFormat::kY16a, 32, 4);
  g_decode_calls = 0;
  EXPECT_NE(RunCheck(input, WithY16aDecoder(CountsIntoThePixels))
                .find("two decodes of the same frame differ"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesADecoderThatReadsTheOldPixels) {
  const auto input = EncodedInput(SampleKind::kOpaque, PixelFormat::kY16a, 32, 4);
  EXPECT_NE(RunCheck(input, WithY16aDecoder(KeepsAnOldByte))
                .find("a decoded byte depends on the frame's old bytes"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesADecoderThatStopsOnAWellFormedFrame) {
  const auto input = EncodedInput(SampleKind::kOpaque, PixelFormat::kY16a, 32, 4);
  EXPECT_NE(RunCheck(input, WithY16aDecoder(GivesUp))
                .find("the inspection finds the frame well-formed"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesADecoderWritingTheLineOfAnOddHeight) {
  const auto input = EncodedInput(SampleKind::kOpaque, PixelFormat::kY16a, 32, 3);
  ASSERT_EQ(RunCheck(input), "");
  g_decode_calls = 0;
  EXPECT_NE(RunCheck(input, WithY16aDecoder(WritesTheLeftoverLine))
                .find("DecodeFrame wrote the line of an odd height"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesAnEncoderThatChangesAlphas) {
  // Pixels from the input: one Y16A block of luma 200, alpha 100, chroma 90.
  std::vector<uint8_t> block(48, 90);
  std::memset(block.data() + kLumaOffset, 200, 16);
  std::memset(block.data() + kAlphaOffset, 100, 16);
  const auto input = MakeCheckInput(PixelFormat::kY16a, 32, 4, true, block);
  ASSERT_EQ(RunCheck(input), "");
  FieldKernels kernels = kPortableKernels;
  kernels.encode_y16a = RaisesAlphas;
  EXPECT_NE(RunCheck(input, kernels).find("a Y16A alpha did not survive the round trip"),
            std::string::npos);
}

TEST(CheckDecodeFrame, CatchesAnEncoderThatDropsFaintBlocks) {
  // Pixels from the input: BGRA 10, 20, 30 at alpha 2 everywhere.
  const auto input = MakeCheckInput(PixelFormat::kRgba32, 32, 4, true, {10, 20, 30, 2});
  ASSERT_EQ(RunCheck(input), "");
  FieldKernels kernels = kPortableKernels;
  kernels.encode_rgba = DropsFaintBlocks;
  EXPECT_NE(RunCheck(input, kernels).find("a BGRA alpha did not survive the round trip"),
            std::string::npos);
}

}  // namespace
}  // namespace voxa::fuzz
