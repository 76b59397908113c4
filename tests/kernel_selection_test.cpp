// Processor classes, kernel slots and the constant tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/cpu_class.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "codec/simd/kernel_tables.h"
#include "kernel_variants.h"
#include "test_frames.h"

namespace voxa {
namespace {

constexpr uint32_t kMmx = 1u << 23, kCmov = 1u << 15, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr uint32_t kAmdMmxExt = 1u << 22;
// The wide-register state: leaf 1 ECX (OSXSAVE, AVX), leaf 7 EBX (AVX2), XCR0.
constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28, kAvx2 = 1u << 5;
struct Wide {
  uint32_t ecx, structured;
  uint64_t xcr0;
};
constexpr Wide kNoWide{0, 0, 0};
constexpr Wide kAvx2Saved{kOsxsave | kAvx, kAvx2, 0x7};

CpuIdentity Identity(const char* vendor, uint32_t features, uint32_t extended = 0,
                     Wide wide = kNoWide) {
  CpuIdentity id{};
  std::memcpy(id.vendor, vendor, 12);
  id.features = features;
  id.extended_features = extended;
  id.features_ecx = wide.ecx;
  id.structured_features = wide.structured;
  id.register_state = wide.xcr0;
  return id;
}

TEST(CpuClass, ClassTable) {
  struct Row {
    const char* vendor;
    uint32_t features, extended;
    CpuClass expected;
    KernelVariant variant;
    Wide wide = kNoWide;
  };
  const uint32_t sse2 = kSse2 | kSse | kMmx | kCmov;
  const Row rows[] = {
      {"GenuineIntel", kSse2 | kSse | kMmx | kCmov, 0, 31, KernelVariant::kSse2},
      {"GenuineIntel", kSse2, 0, 31, KernelVariant::kSse2},
      {"GenuineIntel", kSse | kMmx | kCmov, 0, 15, KernelVariant::kSse},
      {"GenuineIntel", kMmx | kCmov, 0, 3, KernelVariant::kPortable},
      {"GenuineIntel", kCmov, 0, 2, KernelVariant::kPortable},
      {"GenuineIntel", kMmx, 0, 1, KernelVariant::kPortable},
      {"GenuineIntel", 0, 0, 0, KernelVariant::kPortable},
      {"AuthenticAMD", kSse2 | kSse | kMmx, 0, 159, KernelVariant::kSse2},
      {"AuthenticAMD", kSse | kMmx, 0, 143, KernelVariant::kSse},
      {"AuthenticAMD", kMmx, kAmdMmxExt, 135, KernelVariant::kPortable},
      {"AuthenticAMD", kMmx | kCmov, 0, 1, KernelVariant::kPortable},
      {"AuthenticAMD", kCmov, kAmdMmxExt, 0, KernelVariant::kPortable},
      {"CyrixInstead", kSse2 | kSse | kMmx | kCmov, 0, 0, KernelVariant::kPortable},
      {"HygonGenuine", kSse2 | kSse | kMmx | kCmov, 0, 0, KernelVariant::kPortable},
      {"VendorIsNone", 0, 0, 0, KernelVariant::kPortable},
      {"genuineintel", kSse2, 0, 0, KernelVariant::kPortable},
      {"GenuineIntel", sse2, 0, 63, KernelVariant::kAvx2, kAvx2Saved},
      {"AuthenticAMD", sse2, 0, 191, KernelVariant::kAvx2, kAvx2Saved},
      // AVX2 without a system that saves the upper halves (before Windows 7
      // SP1), without XGETBV, with AVX2 but not AVX, or on a processor the
      // SSE2 check turns down: the class below.
      {"GenuineIntel", sse2, 0, 31, KernelVariant::kSse2, {kOsxsave | kAvx, kAvx2, 0x3}},
      {"GenuineIntel", sse2, 0, 31, KernelVariant::kSse2, {kOsxsave | kAvx, kAvx2, 0x5}},
      {"AuthenticAMD", sse2, 0, 159, KernelVariant::kSse2, {kAvx, kAvx2, 0x7}},
      {"GenuineIntel", sse2, 0, 31, KernelVariant::kSse2, {kOsxsave, kAvx2, 0x7}},
      {"GenuineIntel", sse2, 0, 31, KernelVariant::kSse2, {kOsxsave | kAvx, 0, 0x7}},
      {"GenuineIntel", sse2, 0, 31, KernelVariant::kSse2, {kAvx, kAvx2, 0x7}},
      {"GenuineIntel", kSse | kMmx, 0, 15, KernelVariant::kSse, kAvx2Saved},
      {"AuthenticAMD", kSse | kMmx, 0, 143, KernelVariant::kSse, kAvx2Saved},
      {"HygonGenuine", sse2, 0, 0, KernelVariant::kPortable, kAvx2Saved},
  };
  for (const Row& r : rows) {
    const CpuClass c = ClassifyCpu(Identity(r.vendor, r.features, r.extended, r.wide));
    EXPECT_EQ(c, r.expected) << r.vendor << " " << std::hex << r.features;
    EXPECT_EQ(VariantForClass(c), r.variant) << r.vendor << " " << std::hex << r.features;
  }
}

TEST(CpuClass, OnlySixCodesSelectVectorKernels) {
  for (CpuClass c = 0; c < 256; ++c) {
    const bool sse = c == 15 || c == 143, sse2 = c == 31 || c == 159;
    const bool avx2 = c == 63 || c == 191;
    EXPECT_EQ(VariantForClass(c), avx2   ? KernelVariant::kAvx2
                                  : sse2 ? KernelVariant::kSse2
                                  : sse  ? KernelVariant::kSse
                                         : KernelVariant::kPortable)
        << c;
  }
}

// The class selects the best variant this processor runs: on x86 at least
// SSE2, and AVX2 where the processor has it.
TEST(CpuClass, DetectsThisProcessor) {
  const KernelVariant installed = VariantForClass(DetectCpuClass());
  for (KernelVariant better : {KernelVariant::kSse2, KernelVariant::kAvx2}) {
    if (installed < better) {
      EXPECT_TRUE(test::MayLackVariant(better));
    }
  }
  EXPECT_EQ(DetectCpuClass(), DetectCpuClass());
}

struct TableCase {
  const char* name;
  ConstantTable& table;
  int lanes;
  std::vector<std::vector<uint16_t>> rows;  // {value} or {even, odd}
};

TEST(KernelTables, ContentsOfBothForms) {
  const auto w = [](int v) { return static_cast<uint16_t>(v); };
  const TableCase cases[] = {
      {"alpha_scale", AlphaScaleTable(), 4, {{0x8080}, {0x8181}, {0xFFFF}, {0xFFFF, 0x81FF}}},
      {"alpha_scale", AlphaScaleTable(), 8, {{0x8080}, {0x8181}, {0xFFFF}, {0xFFFF, 0x81FF}}},
      {"encoder_weights", EncoderWeightTable(), 4,
       {{3211}, {16515}, {8421}, {2112}, {14385}, {12059}, {10599}, {25912}, {22094}, {8224}}},
      {"encoder_weights", EncoderWeightTable(), 8,
       {{3211}, {16515}, {8421}, {2112}, {14385}, {12059}, {10599}, {25912}, {22094}, {8224}}},
      {"decoder_weights", DecoderWeightTable(), 4,
       {{2384}, {w(-145)}, {w(-8192)}, {w(-3203)}, {w(-6660)}, {16531}, {13074}}},
      {"decoder_weights", DecoderWeightTable(), 8,
       {{2384}, {w(-4096)}, {w(-145)}, {w(-3203)}, {w(-6660)}, {16531}, {13074}}},
  };
  for (const TableCase& c : cases) {
    const uint16_t* form = c.table.form(c.lanes);
    const bool alpha4 = &c.table == &AlphaScaleTable() && c.lanes == 4;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(form) % (alpha4 ? 16 : 128), 0u)
        << c.name << " " << c.lanes;
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
      for (int lane = 0; lane < c.lanes; ++lane) {
        const uint16_t expected = c.rows[r].size() == 2 ? c.rows[r][lane % 2] : c.rows[r][0];
        ASSERT_EQ(form[r * c.lanes + lane], expected)
            << c.name << " " << c.lanes << " lanes, row " << r << " lane " << lane;
      }
    }
  }
}

TEST(KernelTables, FirstPreparationDecidesTheForm) {
  for (int first : {4, 8}) {
    ConstantTable table(DecoderWeightTable().form(4), DecoderWeightTable().form(8));
    EXPECT_EQ(table.rows(), nullptr);
    table.Prepare(first);
    const uint16_t* rows = table.rows();
    EXPECT_EQ(rows, table.form(first));
    table.Prepare(first);
    table.Prepare(12 - first);
    EXPECT_EQ(table.rows(), rows);
  }
}

// Installing the BGRA decoder prepares the decoder table in the form of this
// processor's vector kernels, and nothing for the portable ones.
TEST(KernelTables, PreparedForTheInstalledVariant) {
  const FieldKernels& kernels = SlotKernels();
  const auto payload = test::PayloadBuilder().Word(-1).bytes();
  std::vector<uint8_t> out(64);
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  kernels.decode_rgba(out.data(), &in, in + 4, 16, 1, 64, &pending);
  const KernelVariant v = InstalledVariant();
  const uint16_t* expected = v == KernelVariant::kPortable ? nullptr
                             : DecoderWeightTable().form(v == KernelVariant::kSse ? 4 : 8);
  EXPECT_EQ(DecoderWeightTable().rows(), expected);
}

// The slots fill once per family; afterwards each call goes straight to the
// installed kernel: the frame and the picture are that variant's own.
TEST(KernelSlots, SlotsFillOnceAndCode) {
  const FieldKernels& kernels = SlotKernels();
  const std::vector<uint8_t> src = test::BgraBlocks(2, {40, 80, 120, 200});
  std::vector<uint8_t> out(4 + 2 * 48), reference(out.size()), decoded(src.size());
  for (int round = 0; round < 3; ++round) {
    StoreWord(out.data(), 0);
    uint8_t* pos = out.data() + 4;
    uint8_t* run_word = out.data();
    kernels.encode_rgba(&pos, src.data(), 32, 1, 128, &run_word);
    EXPECT_EQ(pos, out.data() + out.size());
    decoded.assign(src.size(), 0x5C);
    const uint8_t* in = out.data();
    int32_t pending = 0;
    EXPECT_TRUE(kernels.decode_rgba(decoded.data(), &in, out.data() + out.size(), 32, 1, 128,
                                    &pending));
  }
  StoreWord(reference.data(), 0);
  uint8_t* pos = reference.data() + 4;
  uint8_t* run_word = reference.data();
  KernelsOfVariant(InstalledVariant()).encode_rgba(&pos, src.data(), 32, 1, 128, &run_word);
  EXPECT_EQ(out, reference);
  std::vector<uint8_t> picture(src.size(), 0x5C);
  const uint8_t* from = reference.data();
  int32_t left = 0;
  KernelsOfVariant(InstalledVariant())
      .decode_rgba(picture.data(), &from, from + reference.size(), 32, 1, 128, &left);
  EXPECT_EQ(decoded, picture);
  const int installed = KernelSlotInstallCount();
  EXPECT_GE(installed, 2);
  EXPECT_LE(installed, 4);
  const uint8_t* in = out.data();
  int32_t pending = 0;
  decoded.assign(src.size(), 0x5C);
  SlotKernels().decode_rgba(decoded.data(), &in, out.data() + out.size(), 32, 1, 128, &pending);
  EXPECT_EQ(decoded, picture);
  EXPECT_EQ(KernelSlotInstallCount(), installed);
}

#if defined(__i386__) && defined(_WIN32)
// Calls fn(context) with the stack pointer 4 bytes past a 16-byte boundary at
// the call, as a host built for 4-byte stacks may call.
extern "C" void CallOffAlignment(void (*fn)(void*), void* context);
asm(".text\n"
    ".globl _CallOffAlignment\n"
    "_CallOffAlignment:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  andl $-16, %esp\n"
    "  subl $8, %esp\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n");

struct FrameCall {
  FieldKernels kernels;
  const std::vector<uint8_t>* raw;
  std::vector<uint8_t> frame, decoded;
};

void CodeFrame(void* context) {
  FrameCall& c = *static_cast<FrameCall*>(context);
  const FrameFormat f{PixelFormat::kRgba32, 96, 6};
  c.frame.resize(EncodeFrame(f, c.raw->data(), c.frame.data(), c.kernels));
  DecodeFrame(f, c.frame.data(), c.frame.size(), c.decoded.data(), c.kernels);
}

// Every vector variant codes the same frames on a stack of 4-byte alignment.
TEST(VectorKernels, CodeOnAStackOfFourByteAlignment) {
  test::Random random(11);
  const std::vector<uint8_t> raw = random.Bytes(96 * 6 * 4);
  for (KernelVariant v : {KernelVariant::kSse, KernelVariant::kSse2, KernelVariant::kAvx2}) {
    if (!HasKernelVariant(v)) {
      EXPECT_TRUE(test::MayLackVariant(v));
      continue;
    }
    FrameCall aligned{KernelsOfVariant(v), &raw,
                      std::vector<uint8_t>(MaxCompressedFrameBytes(96, 6)),
                      std::vector<uint8_t>(raw.size())};
    FrameCall off = aligned;
    CodeFrame(&aligned);
    CallOffAlignment(CodeFrame, &off);
    EXPECT_EQ(off.frame, aligned.frame) << static_cast<int>(v);
    EXPECT_EQ(off.decoded, aligned.decoded) << static_cast<int>(v);
  }
}
#endif

}  // namespace
}  // namespace voxa
