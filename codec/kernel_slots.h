// The kernels a processor runs best, behind four process-wide slots: each is
// filled the first time its family is used (the processor is identified, the
// constant tables the variant reads are prepared, the variant is installed)
// and afterwards a call costs one indirect call. The Windows driver codes
// every frame through them.
#pragma once

#include "codec/cpu_class.h"
#include "codec/field_kernels.h"

namespace voxa {

// The four families through their slots, in the shape the frame functions
// take (codec/frame_codec.h).
const FieldKernels& SlotKernels();

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
