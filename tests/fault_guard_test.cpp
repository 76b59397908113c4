// The fault guard of Windows: faults inside become a result, nest, and leave
// the process healthy; everything else passes it untouched.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <stdexcept>

#include "codec/kernel_slots.h"
#include "codec/cpu_class.h"
#include "codec/fault_guard.h"
#include "codec/field_payload.h"
#include "kernel_variants.h"
#include "page_end_buffer.h"
#include "test_frames.h"

namespace voxa {
namespace {

struct Probe {
  volatile uint8_t* address;
  volatile int reached = 0;  // stores the compiler must not merge across the fault
};

void ReadFaulting(Probe& p) {
  p.reached = 1;
  (void)*p.address;
  p.reached = 2;
}

void WriteFaulting(Probe& p) {
  p.reached = 1;
  *p.address = 7;
  p.reached = 2;
}

void Returns(Probe& p) { p.reached = 2; }

void ExecutesIllegalInstruction(Probe& p) {
  p.reached = 1;
  asm volatile("ud2");
  p.reached = 2;
}

TEST(FaultGuard, TurnsAccessViolationsIntoResults) {
  test::PageEndBuffer page(0);
  ASSERT_NE(page.data(), nullptr);
  for (auto fn : {ReadFaulting, WriteFaulting}) {
    Probe p{page.data() + 100};
    EXPECT_FALSE(RunGuarded([&] { fn(p); }));
    EXPECT_EQ(p.reached, 1);  // the write before the fault stays
  }
  Probe ok{nullptr};
  EXPECT_TRUE(RunGuarded([&] { Returns(ok); }));
  EXPECT_EQ(ok.reached, 2);
}

TEST(FaultGuard, ManyFaultsInARowAndNested) {
  test::PageEndBuffer page(0);
  for (int i = 0; i < 2000; ++i) {
    Probe p{page.data() + i % 4096};
    ASSERT_FALSE(RunGuarded([&] { ReadFaulting(p); })) << i;
  }
  // A fault inside an inner guard ends only the inner one.
  bool inner_result = true, after_inner = false;
  Probe inner{page.data()};
  EXPECT_TRUE(RunGuarded([&] {
    inner_result = RunGuarded([&] { ReadFaulting(inner); });
    after_inner = true;
  }));
  EXPECT_FALSE(inner_result);
  EXPECT_TRUE(after_inner);
  // C++ exceptions still work afterwards.
  EXPECT_THROW(throw std::runtime_error("still fine"), std::runtime_error);
}

// Faults raised inside each kernel of every variant this processor runs
// (reading a source or writing a picture in a page without access) end at
// the guard around it.
TEST(FaultGuard, FaultsInsideEveryKernelVariant) {
  test::PageEndBuffer page(0);
  const std::vector<uint8_t> payload = test::PayloadBuilder().Word(-1).bytes();
  for (KernelVariant variant : {KernelVariant::kPortable, KernelVariant::kSse, KernelVariant::kSse2,
                                KernelVariant::kAvx2}) {
    if (!HasKernelVariant(variant)) {
      EXPECT_TRUE(test::MayLackVariant(variant));
      continue;
    }
    const FieldKernels kernels = KernelsOfVariant(variant);
    for (int family = 0; family < 4; ++family) {
      // Nothing the jump back would have to free lives in the guarded call.
      uint8_t out[4 + 48] = {};
      uint8_t* pos = out + 4;
      uint8_t* run_word = out;
      const uint8_t* in = payload.data();
      const uint8_t* in_end = in + payload.size();
      int32_t pending = 0;
      uint8_t* const target = page.data();
      EXPECT_FALSE(RunGuarded([&] {
        switch (family) {
          case 0: kernels.encode_rgba(&pos, target, 16, 1, 64, &run_word); break;
          case 1: kernels.encode_y16a(&pos, target, 16, 1, 48, &run_word); break;
          case 2: kernels.decode_rgba(target, &in, in_end, 16, 1, 64, &pending); break;
          default: kernels.decode_y16a(target, &in, in_end, 16, 1, 48, &pending); break;
        }
      })) << "variant " << static_cast<int>(variant) << ", family " << family;
    }
  }
}

// A fault inside a kernel on the MMX registers (the SSE variant), after it
// has computed: the x87 arithmetic that follows still works.
TEST(FaultGuard, FloatingPointWorksAfterAFaultInAnSseKernel) {
  if (!HasKernelVariant(KernelVariant::kSse)) {
    ASSERT_TRUE(test::MayLackVariant(KernelVariant::kSse));
    GTEST_SKIP() << "processor lacks SSE";
  }
  test::PageEndBuffer page(0);
  const std::vector<uint8_t> payload =
      test::PayloadBuilder().Word(1).Block(test::LiteralBlock(200, 40, 90, 170)).bytes();
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  EXPECT_FALSE(RunGuarded([&] {
    KernelsOfVariant(KernelVariant::kSse)
        .decode_rgba(page.data(), &in, in + payload.size(), 16, 1, 64, &pending);
  }));
  volatile long double a = 1.5L, b = 2.25L;  // x87 arithmetic on every x86
  EXPECT_EQ(a * b + a, 4.875L);
}

// Whether the upper halves of the 256-bit registers are all zero, as
// VZEROUPPER leaves them. Their values are read, not the processor's
// in-use flag (XINUSE): a hypervisor exit, such as the one a CPUID makes,
// can set that flag again but never changes a value. The test code around
// is built without AVX, and legacy SSE instructions keep the upper halves.
bool UpperHalvesZero() {
  alignas(16) uint8_t upper[16][16] = {};
  asm volatile(
      "vextractf128 $1, %%ymm0, 0(%0)\n\t"
      "vextractf128 $1, %%ymm1, 16(%0)\n\t"
      "vextractf128 $1, %%ymm2, 32(%0)\n\t"
      "vextractf128 $1, %%ymm3, 48(%0)\n\t"
      "vextractf128 $1, %%ymm4, 64(%0)\n\t"
      "vextractf128 $1, %%ymm5, 80(%0)\n\t"
      "vextractf128 $1, %%ymm6, 96(%0)\n\t"
      "vextractf128 $1, %%ymm7, 112(%0)\n\t"
#if defined(_WIN64)
      "vextractf128 $1, %%ymm8, 128(%0)\n\t"
      "vextractf128 $1, %%ymm9, 144(%0)\n\t"
      "vextractf128 $1, %%ymm10, 160(%0)\n\t"
      "vextractf128 $1, %%ymm11, 176(%0)\n\t"
      "vextractf128 $1, %%ymm12, 192(%0)\n\t"
      "vextractf128 $1, %%ymm13, 208(%0)\n\t"
      "vextractf128 $1, %%ymm14, 224(%0)\n\t"
      "vextractf128 $1, %%ymm15, 240(%0)\n\t"
#endif
      :
      : "r"(upper)
      : "memory");
  for (const auto& half : upper) {
    for (uint8_t byte : half) {
      if (byte != 0) return false;
    }
  }
  return true;
}

// A fault inside an AVX2 kernel, after it has computed: the host's SSE code
// afterwards must not run with dirty upper registers (on many processors
// every SSE instruction would then pay for a merge).
TEST(FaultGuard, NoWideRegisterStateLeftAfterAFaultInAnAvx2Kernel) {
  if (!HasKernelVariant(KernelVariant::kAvx2)) {
    ASSERT_TRUE(test::MayLackVariant(KernelVariant::kAvx2));
    GTEST_SKIP() << "processor lacks AVX2";
  }
  if (VariantForClass(DetectCpuClass()) != KernelVariant::kAvx2) GTEST_SKIP() << "AVX2 not installed";
  test::PageEndBuffer page(0);
  const std::vector<uint8_t> payload = test::PayloadBuilder()
                                           .Word(2)
                                           .Block(test::LiteralBlock(200, 40, 90, 170))
                                           .Block(test::LiteralBlock(20, 140, 190, 70))
                                           .bytes();
  const uint8_t* in = payload.data();
  int32_t pending = 0;
  const bool returned = RunGuarded([&] {
    SlotKernels().decode_rgba(page.data(), &in, in + payload.size(), 32, 1, 128, &pending);
  });
  const bool clear = UpperHalvesZero();
  EXPECT_FALSE(returned);
  EXPECT_TRUE(clear);
}

// The head of the thread's exception chain (32-bit), or null (64-bit, where
// handlers live in the unwind tables).
void* ExceptionChainHead() {
#if defined(_WIN64)
  return nullptr;
#else
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
#endif
}

bool DirectionFlagSet() {
  uintptr_t flags;
  asm volatile("pushf\n\tpop %0" : "=r"(flags));
  return (flags & 0x400) != 0;
}

// A fault inside a backward copy: the direction flag is set when it strikes.
void FaultsCopyingBackwards(Probe& p) {
  asm volatile("std" ::: "cc");
  ReadFaulting(p);
}

void FaultsInAnInnerGuard(Probe& p) {
  RunGuarded([&] { FaultsCopyingBackwards(p); });
  ReadFaulting(p);
}

// What the host finds after a guarded call, whether it returned or faulted:
// its exception chain, its last error and a clear direction flag.
TEST(FaultGuard, LeavesTheHostsStateAsItFoundIt) {
  test::PageEndBuffer page(0);
  const struct {
    const char* name;
    void (*fn)(Probe&);
    bool returns;
  } cases[] = {
      {"returns", Returns, true},
      {"faults with the direction flag set", FaultsCopyingBackwards, false},
      {"faults after a nested guard faulted", FaultsInAnInnerGuard, false},
      {"illegal instruction", ExecutesIllegalInstruction, false},
  };
  for (const auto& c : cases) {
    Probe p{page.data()};
    void* const chain = ExceptionChainHead();
    SetLastError(1234);
    const bool returned = RunGuarded([&] { c.fn(p); });
    const bool backwards = DirectionFlagSet();
    asm volatile("cld" ::: "cc");
    const DWORD last_error = GetLastError();
    EXPECT_EQ(returned, c.returns) << c.name;
    EXPECT_FALSE(backwards) << c.name;
    EXPECT_EQ(last_error, 1234u) << c.name;
    EXPECT_EQ(ExceptionChainHead(), chain) << c.name;
  }
}

// An exception the program raises itself inside a guarded call is not a
// fault of the codec's: it reaches the host's own handler (here the last
// one, the unhandled-exception filter), and the call goes on.
int g_host_exceptions = 0;
constexpr DWORD kHostException = 0xE0484F53;

LONG WINAPI HostFilter(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != kHostException) return EXCEPTION_CONTINUE_SEARCH;
  ++g_host_exceptions;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(FaultGuard, SoftwareExceptionsReachTheHost) {
  const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(HostFilter);
  Probe p{nullptr};
  const bool returned = RunGuarded([&] {
    RaiseException(kHostException, 0, 0, nullptr);
    Returns(p);
  });
  SetUnhandledExceptionFilter(previous);
  EXPECT_TRUE(returned);
  EXPECT_EQ(p.reached, 2);
  EXPECT_EQ(g_host_exceptions, 1);
}

}  // namespace
}  // namespace voxa
