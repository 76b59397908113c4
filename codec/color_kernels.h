// The four field operations the frame coders use. Each goes to a
// process-wide slot, filled the first time the operation is used with the
// variant this processor runs best; afterwards a call costs one indirect call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/cpu_class.h"
#include "codec/field_kernels.h"

namespace voxa {

// Prepares the encoder weight table for this processor's class.
class ColorTables {
 public:
  ColorTables();
  virtual ~ColorTables() = default;
};

class ColorKernels : public ColorTables {
 public:
  ColorKernels() = default;
  ~ColorKernels() override = default;

  // The arguments go to the installed kernel unchanged. The BGRA operations
  // run their kernel under a fault guard and return false when it faulted;
  // then the in/out arguments keep their values from before the call, and
  // whatever the kernel wrote stays. The decoders also return false when the
  // payload ended before the field did.
  bool EncodeRgbaField(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                       std::ptrdiff_t step, uint8_t** run_word) const;
  bool DecodeRgbaField(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                       uint32_t width, uint32_t lines, std::ptrdiff_t step,
                       int32_t* pending) const;
  // The Y16A operations run unguarded: a fault reaches the caller's guard.
  void EncodeY16aField(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                       std::ptrdiff_t step, uint8_t** run_word) const;
  bool DecodeY16aField(uint8_t* destination, const uint8_t** in, const uint8_t* in_end,
                       uint32_t width, uint32_t lines, std::ptrdiff_t step,
                       int32_t* pending) const;
};

// Whether this build has a variant and this processor can run it: the
// portable one always. KernelsOfVariant gives the portable kernels for a
// variant the build lacks.
bool HasKernelVariant(KernelVariant variant);
FieldKernels KernelsOfVariant(KernelVariant variant);

// What the slots hold (or will hold at first use) on this processor.
KernelVariant InstalledVariant();

// How often the slots were filled: once per family in a process. For tests.
int KernelSlotInstallCount();

}  // namespace voxa
