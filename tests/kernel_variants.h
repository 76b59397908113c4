// Whether a test may go without a vector variant that this processor seems
// to lack. On Intel's and AMD's x86 processors (the only ones the codec gives
// vector kernels) it may not where the processor has the instructions: SSE
// and SSE2 (architectural on x86-64, and present on every machine these tests
// run on), and AVX2 wherever the compiler's own check finds it usable. A
// variant missing there is a fault of the processor check, and the test that
// finds it fails instead of skipping.
#pragma once

#include <gtest/gtest.h>

#include "codec/cpu_class.h"

namespace voxa::test {

inline testing::AssertionResult MayLackVariant(KernelVariant variant) {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  // The codec picks vector kernels on Intel's and AMD's processors only.
  const bool known_vendor = __builtin_cpu_is("intel") != 0 || __builtin_cpu_is("amd") != 0;
  const bool has_it = known_vendor && (variant == KernelVariant::kAvx2
                                           ? __builtin_cpu_supports("avx2") != 0
                                           : variant != KernelVariant::kPortable);
  if (has_it) {
    return testing::AssertionFailure()
           << "this processor runs variant " << static_cast<int>(variant)
           << ", but the processor check (class " << DetectCpuClass() << ") finds it missing";
  }
#else
  (void)variant;
#endif
  return testing::AssertionSuccess();
}

}  // namespace voxa::test
