// Placeholder until the vector kernel lands: the portable kernel.
#include "codec/field_kernels.h"
#include "codec/simd/vector_kernels.h"

namespace voxa {

VOXA_VECTOR_ENTRY void EncodeY16aField_sse2(uint8_t** out, const uint8_t* source, uint32_t width,
                                uint32_t lines, std::ptrdiff_t step, uint8_t** run_word) {
  EncodeY16aField_portable(out, source, width, lines, step, run_word);
}

}  // namespace voxa
