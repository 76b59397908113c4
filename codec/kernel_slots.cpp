#include "codec/kernel_slots.h"

#include <atomic>
#include <type_traits>

#include "codec/simd/kernel_tables.h"
#if defined(VOXA_HAVE_X86_KERNELS)
#include "codec/simd/vector_kernels.h"
#endif

namespace voxa {
namespace {

// One slot per kernel family: empty until the first use of the family.
template <typename Fn>
using KernelSlot = std::atomic<Fn>;

KernelSlot<EncodeFieldFn> g_encode_rgba{nullptr};
KernelSlot<DecodeFieldFn> g_decode_rgba{nullptr};
KernelSlot<DecodeFieldFn> g_decode_y16a{nullptr};
KernelSlot<EncodeFieldFn> g_encode_y16a{nullptr};
std::atomic<int> g_install_count{0};

enum class Family { kEncodeRgba, kDecodeRgba, kEncodeY16a, kDecodeY16a };

// Fills a family's slot: the processor is identified again, the variant's
// tables that this family reads are prepared, then the slot is published.
// Two threads doing this at once compute and store the same values.
template <typename Fn>
Fn Install(KernelSlot<Fn>& slot, Family family) {
  const KernelVariant variant = VariantForClass(DetectCpuClass());
  if (variant != KernelVariant::kPortable) {
    const int lanes = variant == KernelVariant::kSse ? 4 : 8;
    if (family != Family::kDecodeRgba) AlphaScaleTable().Prepare(lanes);
    if (family == Family::kEncodeRgba) EncoderWeightTable().Prepare(lanes);
    if (family == Family::kDecodeRgba) DecoderWeightTable().Prepare(lanes);
  }
  const FieldKernels kernels = KernelsOfVariant(variant);
  Fn fn;
  if constexpr (std::is_same_v<Fn, EncodeFieldFn>) {
    fn = family == Family::kEncodeRgba ? kernels.encode_rgba : kernels.encode_y16a;
  } else {
    fn = family == Family::kDecodeRgba ? kernels.decode_rgba : kernels.decode_y16a;
  }
  slot.store(fn, std::memory_order_release);
  g_install_count.fetch_add(1, std::memory_order_relaxed);
  return fn;
}

template <typename Fn>
Fn Installed(KernelSlot<Fn>& slot, Family family) {
  const Fn fn = slot.load(std::memory_order_acquire);
  return fn != nullptr ? fn : Install(slot, family);
}

// The entries of SlotKernels: the family's installed kernel, with the same
// arguments.
template <KernelSlot<EncodeFieldFn>& kSlot, Family kFamily>
void EncodeThroughSlot(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                       std::ptrdiff_t step, uint8_t** run_word) {
  Installed(kSlot, kFamily)(out, source, width, lines, step, run_word);
}

template <KernelSlot<DecodeFieldFn>& kSlot, Family kFamily>
bool DecodeThroughSlot(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                       uint32_t width, uint32_t lines, std::ptrdiff_t step, int32_t* pending) {
  return Installed(kSlot, kFamily)(destination, in, in_end, width, lines, step, pending);
}

constexpr FieldKernels kSlotKernels = {
    EncodeThroughSlot<g_encode_rgba, Family::kEncodeRgba>,
    DecodeThroughSlot<g_decode_rgba, Family::kDecodeRgba>,
    EncodeThroughSlot<g_encode_y16a, Family::kEncodeY16a>,
    DecodeThroughSlot<g_decode_y16a, Family::kDecodeY16a>};

}  // namespace

const FieldKernels& SlotKernels() { return kSlotKernels; }

bool HasKernelVariant(KernelVariant variant) {
  if (variant == KernelVariant::kPortable) return true;
#if defined(VOXA_HAVE_X86_KERNELS)
  const CpuClass cpu = DetectCpuClass();
  if (variant == KernelVariant::kSse) return (cpu & kCpuSse) != 0;
  if (variant == KernelVariant::kSse2) return (cpu & kCpuSse2) != 0;
  return (cpu & kCpuAvx2) != 0;
#else
  return false;
#endif
}

FieldKernels KernelsOfVariant(KernelVariant variant) {
#if defined(VOXA_HAVE_X86_KERNELS)
  if (variant == KernelVariant::kSse) {
    return {EncodeRgbaField_sse, DecodeRgbaField_sse, EncodeY16aField_sse, DecodeY16aField_sse};
  }
  if (variant == KernelVariant::kSse2) {
    return {EncodeRgbaField_sse2, DecodeRgbaField_sse2, EncodeY16aField_sse2,
            DecodeY16aField_sse2};
  }
  if (variant == KernelVariant::kAvx2) {
    return {EncodeRgbaField_avx2, DecodeRgbaField_avx2, EncodeY16aField_avx2,
            DecodeY16aField_avx2};
  }
#else
  (void)variant;
#endif
  return kPortableKernels;
}

KernelVariant InstalledVariant() { return VariantForClass(DetectCpuClass()); }

int KernelSlotInstallCount() { return g_install_count.load(std::memory_order_relaxed); }

}  // namespace voxa
