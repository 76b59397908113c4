// Which kernels a processor can run, from the processor identification
// instruction.
#pragma once

#include <cstdint>

namespace voxa {

// A set of feature bits.
using CpuClass = uint32_t;
constexpr CpuClass kCpuMmx = 1;
constexpr CpuClass kCpuConditionalMove = 2;
constexpr CpuClass kCpuMmxExtensions = 4;  // the integer part of SSE
constexpr CpuClass kCpuSse = 8;
constexpr CpuClass kCpuSse2 = 16;
constexpr CpuClass kCpuAvx2 = 32;  // and an operating system that saves the wide registers
constexpr CpuClass kCpuAmd = 128;

// The classes that select vector kernels; every other code selects the
// portable ones.
constexpr CpuClass kIntelSse = kCpuMmx | kCpuConditionalMove | kCpuMmxExtensions | kCpuSse;  // 15
constexpr CpuClass kIntelSse2 = kIntelSse | kCpuSse2;                                         // 31
constexpr CpuClass kAmdSse = kIntelSse | kCpuAmd;                                             // 143
constexpr CpuClass kAmdSse2 = kIntelSse2 | kCpuAmd;                                           // 159
constexpr CpuClass kIntelAvx2 = kIntelSse2 | kCpuAvx2;                                        // 63
constexpr CpuClass kAmdAvx2 = kAmdSse2 | kCpuAvx2;                                            // 191

enum class KernelVariant { kPortable, kSse, kSse2, kAvx2 };

KernelVariant VariantForClass(CpuClass cpu_class);

// What the identification instruction reports, as the decision needs it.
// Fields of leaves a processor does not have stay 0.
struct CpuIdentity {
  char vendor[12];             // leaf 0: the bytes of EBX, EDX, ECX in that order
  uint32_t features;           // leaf 1: EDX
  uint32_t extended_features;  // leaf 0x80000001: EDX (asked only of AMD processors)
  uint32_t features_ecx;       // leaf 1: ECX
  uint32_t structured_features;  // leaf 7, subleaf 0: EBX (when leaf 0 reports 7 or more)
  uint64_t register_state;     // XGETBV of register 0, what the system saves (when
                               // leaf 1 reports OSXSAVE)
};

// The decision from vendor and feature words to class: a pure function.
CpuClass ClassifyCpu(const CpuIdentity& identity);

// Identifies this processor. A processor without the identification
// instruction and any build for another processor give 0. Installs no
// handler and keeps nothing.
CpuClass DetectCpuClass();

}  // namespace voxa
