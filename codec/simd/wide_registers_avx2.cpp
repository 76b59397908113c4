#include <immintrin.h>

#include "codec/simd/wide_registers.h"

namespace voxa {

void ClearUpperRegisters_avx2() { _mm256_zeroupper(); }

}  // namespace voxa
