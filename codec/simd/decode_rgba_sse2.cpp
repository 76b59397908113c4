// Placeholder until the vector kernel lands: the portable kernel.
#include "codec/field_kernels.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {

VOXA_VECTOR_ENTRY bool DecodeRgbaField_sse2(uint8_t* destination, const uint8_t** in,
                                const uint8_t* in_end, uint32_t width, uint32_t lines,
                                std::ptrdiff_t step, int32_t* pending) {
  return DecodeRgbaField_portable(destination, in, in_end, width, lines, step, pending);
}

}  // namespace voxa
