#include "codec/cpu_class.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>

#include "codec/simd/register_state.h"
#endif

namespace voxa {
namespace {

constexpr uint32_t kFeatureMmx = 1u << 23;               // leaf 1 EDX bit 23: MMX
constexpr uint32_t kFeatureConditionalMove = 1u << 15;   // leaf 1 EDX bit 15: CMOV
constexpr uint32_t kFeatureSse = 1u << 25;               // leaf 1 EDX bit 25: SSE
constexpr uint32_t kFeatureSse2 = 1u << 26;              // leaf 1 EDX bit 26: SSE2
constexpr uint32_t kFeatureAmdMmxExtensions = 1u << 22;  // leaf 0x80000001 EDX bit 22
constexpr uint32_t kFeatureOsxsave = 1u << 27;  // leaf 1 ECX bit 27: the system enabled XGETBV
constexpr uint32_t kFeatureAvx = 1u << 28;      // leaf 1 ECX bit 28: AVX
constexpr uint32_t kFeatureAvx2 = 1u << 5;      // leaf 7 EBX bit 5: AVX2
// XCR0 bits 1 and 2: the system saves the XMM registers and the upper halves
// of the YMM registers on a thread switch. Systems before Windows 7 SP1 set
// neither OSXSAVE nor these bits.
constexpr uint64_t kSavesWideRegisters = 0x6;
constexpr uint32_t kStructuredLeaf = 7;

constexpr char kIntel[12] = {'G', 'e', 'n', 'u', 'i', 'n', 'e', 'I', 'n', 't', 'e', 'l'};
constexpr char kAmd[12] = {'A', 'u', 't', 'h', 'e', 'n', 't', 'i', 'c', 'A', 'M', 'D'};

bool IsVendor(const CpuIdentity& id, const char (&vendor)[12]) {
  return std::memcmp(id.vendor, vendor, sizeof vendor) == 0;
}

#if defined(__i386__) || defined(__x86_64__)
#if defined(__i386__)
// Whether the processor has the identification instruction: exactly those
// that have it let a program flip the ID bit (bit 21) of EFLAGS. Asked so,
// no fault handler is needed to find out.
bool HasCpuid() {
  constexpr uint32_t kIdFlag = 1u << 21;
  uint32_t original, flipped;
  asm volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl %2, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl"
      : "=&r"(original), "=&r"(flipped)
      : "i"(kIdFlag)
      : "cc");
  return ((original ^ flipped) & kIdFlag) != 0;
}
#else
// Every processor in 64-bit mode has it.
constexpr bool HasCpuid() { return true; }
#endif

void Probe(CpuIdentity& id) {
  std::memcpy(id.vendor, "VendorIsNone", sizeof id.vendor);
  if (!HasCpuid()) return;
  unsigned a, b, c, d;
  __cpuid(0, a, b, c, d);
  const uint32_t highest_leaf = a;
  std::memcpy(id.vendor + 0, &b, 4);
  std::memcpy(id.vendor + 4, &d, 4);
  std::memcpy(id.vendor + 8, &c, 4);
  if (!IsVendor(id, kIntel) && !IsVendor(id, kAmd)) return;
  __cpuid(1, a, b, c, d);
  id.features = d;
  id.features_ecx = c;
  if (highest_leaf >= kStructuredLeaf) {
    __cpuid_count(kStructuredLeaf, 0, a, b, c, d);
    id.structured_features = b;
  }
  // XGETBV exists, and may be run, only where the system says so.
  if (id.features_ecx & kFeatureOsxsave) id.register_state = ReadRegisterStateMask();
  if (IsVendor(id, kAmd)) {
    __cpuid(0x80000001, a, b, c, d);
    id.extended_features = d;
  }
}
#endif

// AVX2 kernels need the instructions and a system that keeps the upper
// halves of the registers across thread switches: the AVX2 bit alone is not
// enough.
bool HasUsableAvx2(const CpuIdentity& id) {
  return (id.features_ecx & kFeatureOsxsave) && (id.features_ecx & kFeatureAvx) &&
         (id.structured_features & kFeatureAvx2) &&
         (id.register_state & kSavesWideRegisters) == kSavesWideRegisters;
}

}  // namespace

KernelVariant VariantForClass(CpuClass cpu_class) {
  if (cpu_class == kIntelAvx2 || cpu_class == kAmdAvx2) return KernelVariant::kAvx2;
  if (cpu_class == kIntelSse2 || cpu_class == kAmdSse2) return KernelVariant::kSse2;
  if (cpu_class == kIntelSse || cpu_class == kAmdSse) return KernelVariant::kSse;
  return KernelVariant::kPortable;
}

CpuClass ClassifyCpu(const CpuIdentity& id) {
  const uint32_t f = id.features;
  if (IsVendor(id, kIntel)) {
    if ((f & kFeatureSse2) && HasUsableAvx2(id)) return kIntelAvx2;
    if (f & kFeatureSse2) return kIntelSse2;
    if (f & kFeatureSse) return kIntelSse;
    const bool mmx = f & kFeatureMmx, cmov = f & kFeatureConditionalMove;
    if (mmx && cmov) return kCpuMmx | kCpuConditionalMove;
    if (cmov) return kCpuConditionalMove;
    if (mmx) return kCpuMmx;
    return 0;
  }
  if (IsVendor(id, kAmd)) {
    if ((f & kFeatureSse2) && HasUsableAvx2(id)) return kAmdAvx2;
    if (f & kFeatureSse2) return kAmdSse2;
    if (f & kFeatureSse) return kAmdSse;
    if (!(f & kFeatureMmx)) return 0;
    // Conditional move is not asked of AMD processors.
    if (id.extended_features & kFeatureAmdMmxExtensions) {
      return kCpuAmd | kCpuMmxExtensions | kCpuConditionalMove | kCpuMmx;
    }
    return kCpuMmx;
  }
  return 0;
}

CpuClass DetectCpuClass() {
#if defined(__i386__) || defined(__x86_64__)
  CpuIdentity id{};
  Probe(id);
  return ClassifyCpu(id);
#else
  return 0;
#endif
}

}  // namespace voxa
