#include "codec/cpu_class.h"

#include <cstring>

#include "codec/fault_guard.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace voxa {
namespace {

constexpr uint32_t kFeatureMmx = 1u << 23;               // leaf 1 EDX bit 23: MMX
constexpr uint32_t kFeatureConditionalMove = 1u << 15;   // leaf 1 EDX bit 15: CMOV
constexpr uint32_t kFeatureSse = 1u << 25;               // leaf 1 EDX bit 25: SSE
constexpr uint32_t kFeatureSse2 = 1u << 26;              // leaf 1 EDX bit 26: SSE2
constexpr uint32_t kFeatureAmdMmxExtensions = 1u << 22;  // leaf 0x80000001 EDX bit 22

constexpr char kIntel[12] = {'G', 'e', 'n', 'u', 'i', 'n', 'e', 'I', 'n', 't', 'e', 'l'};
constexpr char kAmd[12] = {'A', 'u', 't', 'h', 'e', 'n', 't', 'i', 'c', 'A', 'M', 'D'};

bool IsVendor(const CpuIdentity& id, const char (&vendor)[12]) {
  return std::memcmp(id.vendor, vendor, sizeof vendor) == 0;
}

#if defined(__i386__) || defined(__x86_64__)
void Probe(void* result) {
  CpuIdentity& id = *static_cast<CpuIdentity*>(result);
  std::memcpy(id.vendor, "VendorIsNone", sizeof id.vendor);
  unsigned a, b, c, d;
  // No check of the highest leaf first: a processor without the instruction
  // faults, and the guard turns that into class 0.
  __cpuid(0, a, b, c, d);
  std::memcpy(id.vendor + 0, &b, 4);
  std::memcpy(id.vendor + 4, &d, 4);
  std::memcpy(id.vendor + 8, &c, 4);
  if (!IsVendor(id, kIntel) && !IsVendor(id, kAmd)) return;
  __cpuid(1, a, b, c, d);
  id.features = d;
  if (IsVendor(id, kAmd)) {
    __cpuid(0x80000001, a, b, c, d);
    id.extended_features = d;
  }
}
#endif

}  // namespace

KernelVariant VariantForClass(CpuClass cpu_class) {
  if (cpu_class == kIntelSse2 || cpu_class == kAmdSse2) return KernelVariant::kSse2;
  if (cpu_class == kIntelSse || cpu_class == kAmdSse) return KernelVariant::kSse;
  return KernelVariant::kPortable;
}

CpuClass ClassifyCpu(const CpuIdentity& id) {
  const uint32_t f = id.features;
  if (IsVendor(id, kIntel)) {
    if (f & kFeatureSse2) return kIntelSse2;
    if (f & kFeatureSse) return kIntelSse;
    const bool mmx = f & kFeatureMmx, cmov = f & kFeatureConditionalMove;
    if (mmx && cmov) return kCpuMmx | kCpuConditionalMove;
    if (cmov) return kCpuConditionalMove;
    if (mmx) return kCpuMmx;
    return 0;
  }
  if (IsVendor(id, kAmd)) {
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
#if defined(__x86_64__)
  // Every processor in 64-bit mode has the identification instruction: no
  // guard (and so no fault handler) is needed to ask it.
  Probe(&id);
#else
  if (!RunGuarded(Probe, &id)) return 0;
#endif
  return ClassifyCpu(id);
#else
  return 0;
#endif
}

}  // namespace voxa
